// Jobs as text: job file -> text -> job file byte for byte (random diagrams,
// both password modes), the errors of bad texts (data/jobtext_errors.txt),
// the layout of texts without a diagram, and the samples.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

#include "data/TextDataSet.h"
#include "data/TextFileDataset.h"
#include "foundation/FileUtils.h"
#include "jobs/Job.h"
#include "jobs/JobText.h"
#include "testsupport/CaseFiles.h"
#include "testsupport/Errors.h"
#include "testsupport/TempFiles.h"
#include "testsupport/TestData.h"

using namespace kv;

namespace {

using TEnvMap = std::map<std::string, std::string>;

TEnvLookup EnvOf(const TEnvMap& vars) {
  return [vars](const std::string& name) -> std::optional<std::string> {
    auto it = vars.find(name);
    if (it == vars.end()) return std::nullopt;
    return it->second;
  };
}

std::string Save(const TKVCustomFlowChart& chart) {
  TMemoryStream m;
  chart.SaveToStream(m);
  return m.Bytes();
}

// ---- Random diagrams ----------------------------------------------------------------------------
class TRandomChart {
public:
  explicit TRandomChart(unsigned seed) : rng_(seed) {}

  // Fills `chart` (with the job hooks) and returns the passwords it set,
  // shape by shape ("" for a dataset without one).
  std::vector<std::string> Fill(TKVFlowChart& chart) {
    auto* job = ObjCast<TJob>(chart.Job());
    job->Name = Pick({"Orders", "", "夜间 import", "J'1"});
    job->BeforeExecuteExp = Pick({"", "1 > 0", "Upper('a''b')"});
    job->Description = Text();
    const int shapes = Int(0, 6);
    std::vector<std::string> passwords;
    for (int i = 0; i < shapes; ++i) passwords.push_back(AddShape(chart));
    for (int i = 0; i < shapes; ++i)
      if (Int(0, 3) == 0) chart.GetObject(i)->AddToUnion(RandomShape(chart));
    for (int i = Int(0, 5); i > 0; --i) AddConnection(chart);
    return passwords;
  }

private:
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  std::string Pick(std::initializer_list<const char*> options) {
    return *(options.begin() + Int(0, static_cast<int>(options.size()) - 1));
  }
  std::string Text() { return Pick({"", "plain", "two words", "it's", "tab\there", "line\r\nend", "日本"}); }
  TKVFcObject* RandomShape(TKVFlowChart& chart) {
    const int n = chart.GetObjectCount();
    return n == 0 || Int(0, 5) == 0 ? nullptr : chart.GetObject(Int(0, n - 1));
  }

  std::string AddShape(TKVFlowChart& chart) {
    TKVFcObject* o = chart.CreateObject(Int(-100, 900), Int(-100, 900), static_cast<uint16_t>(Int(0, 400)),
                                        static_cast<uint16_t>(Int(0, 400)),
                                        static_cast<TKVFcShapeType>(Int(0, kFcShapeTypeCount - 1)),
                                        static_cast<TDataSetObjType>(Int(0, kDataSetObjTypeCount - 1)));
    o->SetText(Text());
    o->CustomData = Pick({"", "custom"});
    if (Int(0, 2) == 0) {
      o->Edge = static_cast<uint16_t>(Int(0, 65535));
      o->Border = static_cast<uint16_t>(Int(0, 15));
      o->HorzTextPos = static_cast<TKVFcHorzPos>(Int(0, 2));
      o->VertImagePos = static_cast<TKVFcVertPos>(Int(0, 2));
      o->BkColor = Int(INT32_MIN, INT32_MAX);
      o->Tag = Int(-5, 5);
      o->ImageIndex = static_cast<int16_t>(Int(-1, 9));
      o->ShapeWidth = static_cast<uint8_t>(Int(0, 255));
      o->Transparent = Int(0, 1) == 1;
    }
    if (Int(0, 2) == 0) RandomFont(*o);
    if (Int(0, 4) == 0) o->DataSetObjType = static_cast<TDataSetObjType>(Int(0, kDataSetObjTypeCount - 1));
    TKVCustomDataSet& ds = *o->DataSet();
    ds.Name = Pick({"Orders", "Orders", "", "Orders db", "客户", "x-1", "Target"});
    ds.Description = Text();
    const std::string password = Pick({"", "", "s3cret", "it's $x", "tab\tand 日本", "${NOT_A_VAR}"});
    ds.DataBaseInfo->PassWord = password;
    ds.DataBaseInfo->UserName = Pick({"", "scott"});
    if (auto* text = ObjCast<TKVTextDataSet>(&ds)) text->TextFile().SetTableName(Pick({"", "data/in.csv"}));
    return password;
  }

  void RandomFont(TKVFcItem& item) {
    item.ParentFont = false;
    item.Font.Name = Pick({"MS Sans Serif", "Arial", "宋体"});
    item.Font.Height = static_cast<int16_t>(Int(-20, 20));
    item.Font.Color = Int(0, 0xFFFFFF);
    item.Font.Style = static_cast<uint8_t>(Int(0, 15));
    item.Font.Charset = static_cast<uint8_t>(Int(0, 255));
  }

  void AddConnection(TKVFlowChart& chart) {
    TKVFcConnection* c = chart.CreateConnection(RandomShape(chart), RandomShape(chart), static_cast<uint8_t>(Int(0, 15)),
                                                static_cast<uint8_t>(Int(0, 15)));
    c->SetStyle(static_cast<TKVFclStyle>(Int(0, kFclStyleCount - 1)));
    c->SetTransparent(Int(0, 3) == 0);
    c->PenColor = Int(0, 3) == 0 ? Int(INT32_MIN, INT32_MAX) : 0;
    c->PenStyle = static_cast<uint8_t>(Int(0, 3) == 0 ? Int(0, 15) : 0);
    if (Int(0, 2) == 0) c->ArrowSource = {static_cast<TKVFcaType>(Int(0, 3)), 5, 9, Int(0, 99)};
    std::vector<TFcPoint> points;
    for (int i = Int(0, 3); i > 0; --i) points.push_back({Int(-50, 999), Int(-50, 999)});
    c->SetIntermediate(points);
    c->SetText(Text());
    if (Int(0, 3) == 0) RandomFont(*c);
    auto* link = ObjCast<TDBLink>(c->DBLink());
    link->Name = Pick({"DBLink", "L1", "", "copy 'orders'"});
    link->FilterExp = Pick({"", "Orders.ID > 10", "Name = 'x'"});
    for (int i = Int(0, 3); i > 0; --i) link->Mappings().Add(Pick({"ID=Orders.ID", "AMOUNT=Orders.AMOUNT * 1.16"}));
    link->MaxErrors = Int(0, 200);
  }

  std::mt19937 rng_;
};

// The variables ChartToJobText names, in shape order: VANDREL_PASSWORD_ and
// the dataset's name (or SHAPE<n>) upper-cased, "_2", "_3" for repeats.
TEnvMap PasswordEnv(const TKVFlowChart& chart, const std::vector<std::string>& passwords) {
  TEnvMap env;
  for (size_t i = 0; i < passwords.size(); ++i) {
    if (passwords[i].empty()) continue;
    const std::string name = chart.GetObject(static_cast<int>(i))->DataSet()->Name;
    const std::string base = PasswordVariableName(name.empty() ? "SHAPE" + std::to_string(i + 1) : name);
    std::string var = base;
    for (int n = 2; env.count(var); ++n) var = base + "_" + std::to_string(n);
    env[var] = passwords[i];
  }
  return env;
}

class JobTextRoundTrip : public ::testing::TestWithParam<unsigned> {};

TEST_P(JobTextRoundTrip, ShowThenBuildGivesTheSameBytesInBothPasswordModes) {
  TKVFlowChart made;
  const std::vector<std::string> passwords = TRandomChart(GetParam()).Fill(made);
  // A loaded chart, as `job show` sees a file.
  TKVFlowChart chart;
  TMemoryStream m(Save(made));
  chart.LoadFromStream(m);
  const std::string bytes = Save(chart);

  const std::string text = ChartToJobText(chart);
  const TEnvMap env = PasswordEnv(chart, passwords);
  for (const auto& [var, password] : env) {
    EXPECT_NE(text.find("PassWord = ${" + var + "}\n"), std::string::npos) << var << " in\n" << text;
    EXPECT_EQ(text.find(password), std::string::npos) << "a password in\n" << text;
  }
  EXPECT_EQ(JobTextToJobFileBytes(text, "t", EnvOf(env)), bytes) << text;

  const std::string plain = ChartToJobText(chart, {.WithPasswords = true});
  EXPECT_EQ(plain.find("${VANDREL_PASSWORD"), std::string::npos) << plain;
  EXPECT_EQ(JobTextToJobFileBytes(plain, "t", EnvOf({})), bytes) << plain;
}

INSTANTIATE_TEST_SUITE_P(Seeds, JobTextRoundTrip, ::testing::Range(1u, 61u));

// ---- Passwords ----------------------------------------------------------------------------------
const char* const kPasswordText =
    "jobtext 1\n"
    "job\n"
    "  object TJob\n"
    "  end\n"
    "shape Db\n"
    "  object TKVFileDBDataSet\n"
    "    Name = 'Sales db'\n"
    "    object DataBaseInfo: TDataBaseInfo\n"
    "      PassWord = ${VANDREL_PASSWORD_SALES_DB}\n"
    "    end\n"
    "  end\n";

TEST(JobTextPasswords, VariableNameFollowsTheDatasetName) {
  EXPECT_EQ(PasswordVariableName("Sales db"), "VANDREL_PASSWORD_SALES_DB");
  EXPECT_EQ(PasswordVariableName("客户-1"), "VANDREL_PASSWORD________1");
  EXPECT_EQ(PasswordVariableName(""), "VANDREL_PASSWORD_");
}

TEST(JobTextPasswords, TakenFromTheVariableAndShownAgainAsAReference) {
  TKVFlowChart chart;
  JobTextToChart(kPasswordText, "p.jobtxt", EnvOf({{"VANDREL_PASSWORD_SALES_DB", "pa'ss"}}), chart);
  ASSERT_EQ(chart.GetObjectCount(), 1);
  EXPECT_EQ(chart.GetObject(0)->DataSet()->DataBaseInfo->PassWord, "pa'ss");
  const std::string text = ChartToJobText(chart);
  EXPECT_NE(text.find("PassWord = ${VANDREL_PASSWORD_SALES_DB}"), std::string::npos) << text;
  EXPECT_EQ(text.find("pa'ss"), std::string::npos);
  EXPECT_NE(ChartToJobText(chart, {.WithPasswords = true}).find("PassWord = 'pa''ss'"), std::string::npos);
}

TEST(JobTextPasswords, UnsetVariableFailsNamingItAndWritesNothing) {
  kvtest::TempFolder dir("jobtext");
  const std::string file = dir.File("old.job");
  kvtest::WriteFile(file, "old content");
  const std::string error = kvtest::ErrorOf<EJobTextError>(
      [&] { BuildJobFile(kPasswordText, "p.jobtxt", EnvOf({}), file); });
  EXPECT_EQ(error, "p.jobtxt:9: the password variable VANDREL_PASSWORD_SALES_DB is not set");
  EXPECT_EQ(kvtest::ReadFile(file), "old content");
  EXPECT_EQ(kvtest::ErrorOf<EJobTextError>([&] { BuildJobFile(kPasswordText, "p.jobtxt", EnvOf({}), dir.File("new.job")); }),
            error);
  EXPECT_FALSE(std::filesystem::exists(dir.File("new.job")));
}

TEST(JobTextPasswords, AnErrorNeverShowsThePassword) {
  std::string text = kPasswordText;
  text += "connection Db -> Nowhere\n  object TDBLink\n  end\n";
  const std::string error =
      kvtest::ErrorOf<EJobTextError>([&] { JobTextToJobFileBytes(text, "p", EnvOf({{"VANDREL_PASSWORD_SALES_DB", "hunter2"}})); });
  EXPECT_EQ(error, "p:12: no shape is named 'Nowhere'");
}

// ---- Bad texts (data/jobtext_errors.txt) --------------------------------------------------------
// $JOB stands for the three lines "job", "object TJob", "end"; $DS for the two
// lines of a text dataset object; $LINK for the two lines of a DB link object.
std::string Expand(std::string text) {
  const std::pair<const char*, const char*> macros[] = {{"$JOB", "job\nobject TJob\nend"},
                                                        {"$DS", "object TKVTextDataSet\nend"},
                                                        {"$LINK", "object TDBLink\nend"}};
  for (const auto& [name, body] : macros)
    for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at)) text.replace(at, std::strlen(name), body);
  return text;
}

class JobTextErrors : public ::testing::TestWithParam<kvtest::CaseRow> {};

TEST_P(JobTextErrors, NameTheLineAndTheReason) {
  const kvtest::CaseRow& row = GetParam();
  ASSERT_EQ(row.problem, "");
  const std::string expected = row.fields[0];
  const std::string text = Expand(kvtest::Unescape(row.fields[1]));
  const std::string error = kvtest::ErrorOf<EJobTextError>(
      [&] { JobTextToJobFileBytes(text, "bad.jobtxt", EnvOf({{"VANDREL_PASSWORD_X", "pw"}})); });
  EXPECT_EQ(error.rfind(expected, 0), 0u) << "error: " << error << "\ntext:\n" << text;
}

INSTANTIATE_TEST_SUITE_P(CaseFile, JobTextErrors,
                         ::testing::ValuesIn(kvtest::ReadCaseFile(kvtest::TestDataFolder() + "/jobtext_errors.txt", 2)),
                         [](const auto& info) { return kvtest::CaseName(info.param); });

// ---- Layout -------------------------------------------------------------------------------------
TEST(JobTextLayout, WithoutBoundsSourcesStandLeftOfTheirDestinations) {
  // C feeds nothing and is fed by B, which A feeds; D stands alone.
  const std::string text = Expand(
      "jobtext 1\n$JOB\n"
      "connection B -> C\n$LINK\n"
      "shape C\n$DS\nshape A\n$DS\nshape B\n$DS\nshape D\n$DS\n"
      "connection A -> B\n$LINK\n");
  TKVFlowChart chart;
  JobTextToChart(text, "t", EnvOf({}), chart);
  ASSERT_EQ(chart.GetObjectCount(), 4);
  auto at = [&](int i) {
    const TKVFcObject* o = chart.GetObject(i);
    return std::vector<int>{o->Left(), o->Top(), o->Width(), o->Height()};
  };
  EXPECT_EQ(at(0), (std::vector<int>{480, 40, 120, 60}));  // C: column 2
  EXPECT_EQ(at(1), (std::vector<int>{40, 40, 120, 60}));   // A: column 0, first
  EXPECT_EQ(at(2), (std::vector<int>{260, 40, 120, 60}));  // B: column 1
  EXPECT_EQ(at(3), (std::vector<int>{40, 140, 120, 60}));  // D: column 0, second
  for (int i = 0; i < chart.GetConnectionCount(); ++i) {
    EXPECT_EQ(chart.GetConnection(i)->PointSource(), 6);
    EXPECT_EQ(chart.GetConnection(i)->PointDest(), 14);
  }
}

TEST(JobTextLayout, ACycleStillGetsPlaces) {
  const std::string text =
      Expand("jobtext 1\n$JOB\nshape A\n$DS\nshape B\n$DS\nconnection A -> B\n$LINK\nconnection B -> A\n$LINK\n");
  TKVFlowChart chart;
  JobTextToChart(text, "t", EnvOf({}), chart);
  ASSERT_EQ(chart.GetObjectCount(), 2);
  EXPECT_NE(chart.GetObject(0)->Left(), chart.GetObject(1)->Left());
  EXPECT_EQ(chart.GetObject(0)->Width(), 120);
}

}  // namespace

// ---- The samples --------------------------------------------------------------------------------
namespace {

std::string SampleFile(const std::string& name) {
  return std::string(VANDREL_SAMPLES_DIR) + "/" + name;
}

std::unique_ptr<TJob> LoadJob(const std::string& file) {
  auto job = std::make_unique<TJob>();
  job->GetDesignControl().LoadFromFile(file);
  job->LoadFromFlChart();
  job->SaveFileName = file;
  return job;
}

class JobTextSamples : public ::testing::TestWithParam<std::string> {};

TEST_P(JobTextSamples, BuildAJobThatValidatesAndShowsBackToTheSameFile) {
  const std::string text = kvtest::ReadFile(SampleFile(GetParam() + ".jobtxt"));
  ASSERT_FALSE(text.empty()) << SampleFile(GetParam() + ".jobtxt");
  kvtest::TempFolder dir("jobtext");
  const std::string file = dir.File(GetParam() + ".job");
  BuildJobFile(text, GetParam(), EnvOf({}), file);
  std::unique_ptr<TJob> job = LoadJob(file);
  std::vector<std::string> errors;
  job->OnLogOccur = [&](const TKVLog& log) {
    if (log.LogType == ltError) errors.push_back(log.Event);
  };
  for (int i = 0; i < job->DBLinks->Count(); ++i) job->DBLinks->GetObj(i)->OnLogOccur = job->OnLogOccur;
  EXPECT_EQ(job->DBLinks->Count(), 1);
  EXPECT_TRUE(job->Validate());
  EXPECT_EQ(errors, std::vector<std::string>{});

  const std::string bytes = kvtest::ReadFile(file);
  EXPECT_EQ(JobTextToJobFileBytes(text, GetParam(), EnvOf({})), bytes) << "two builds differ";
  EXPECT_EQ(JobTextToJobFileBytes(JobFileToText(file), "shown", EnvOf({})), bytes);
}

INSTANTIATE_TEST_SUITE_P(Samples, JobTextSamples, ::testing::Values("orders-to-sqlite", "sqlite-to-dbase"));

// The datasets of a loaded job open relative names from the job file's
// folder, whatever the working folder; the stored names stay as written.
TEST(JobTextSamplesRun, DatasetsOpenRelativeNamesFromTheJobFilesFolder) {
  kvtest::TempFolder dir("jobtext");
  std::filesystem::create_directory(dir.File("data"));
  for (const char* data : {"orders.csv", "shop.db"})
    std::filesystem::copy_file(SampleFile(std::string("data/") + data), dir.File(std::string("data/") + data));
  for (const char* sample : {"orders-to-sqlite", "sqlite-to-dbase"})
    BuildJobFile(kvtest::ReadFile(SampleFile(std::string(sample) + ".jobtxt")), sample, EnvOf({}),
                 dir.File(std::string(sample) + ".job"));

  std::unique_ptr<TJob> orders = LoadJob(dir.File("orders-to-sqlite.job"));
  TDBLink& link = *orders->DBLinks->GetObj(0);
  link.SourceDataSet()->BeforeImport();
  EXPECT_EQ(link.SourceDataSet()->GetDataset()->FieldByName("CUSTOMER").AsString(), "ada lovelace");
  link.SourceDataSet()->AfterImport();
  link.DestDataSet()->BeforeImport();
  link.DestDataSet()->AfterImport();
  EXPECT_TRUE(std::filesystem::exists(dir.File("orders.db")));
  EXPECT_EQ(link.DestDataSet()->DataBaseInfo->Path, "orders.db");
  EXPECT_EQ(ObjCast<TKVTextDataSet>(link.SourceDataSet())->TextFile().TableName(), "data/orders.csv");

  std::unique_ptr<TJob> customers = LoadJob(dir.File("sqlite-to-dbase.job"));
  TKVCustomDataSet& source = *customers->DBLinks->GetObj(0)->SourceDataSet();
  source.BeforeImport();
  EXPECT_EQ(source.GetDataset()->FieldByName("NAME").AsString(), "Ada Lovelace");
  source.AfterImport();
}

}  // namespace
