// The DB link's settings, stored form, copying, error data and checks.
#include <gtest/gtest.h>

#include <filesystem>

#include "data/MemDataSet.h"
#include "data/QueryDataSet.h"
#include "data/TextDataSet.h"
#include "data/TextFileDataset.h"
#include "environment/CoreMessages.h"
#include "environment/Logs.h"
#include "expression/ThreadExp.h"
#include "expression/VarList.h"
#include "foundation/ObjectText.h"
#include "jobs/Job.h"
#include "testsupport/Errors.h"
#include "testsupport/ObjectBytes.h"
#include "testsupport/TempFiles.h"

using namespace kv;

namespace {

std::string TextOf(const TBaseObject& obj) { return ObjectBinaryToText(kvtest::WriteObjectBytes(obj)); }

// A link with every stored setting away from its default.
void Configure(TDBLink& link) {
  link.BackErrorData = false;
  link.CreateTime = 45000.5;
  link.DebugMode().StopOption = soStopAfterRows;
  link.DebugMode().StopAfterRows = 7;
  link.DefaultFolder = "/data/";
  link.Description = "orders";
  link.SetSourceDataSetIndex(2);
  link.SetDestDataSetIndex(3);
  link.ErrorExp = "1=1";
  link.ErrorDataFileName = "x.err";
  link.FilterExp = "2>1";
  link.LogFileName = "l.log";
  link.Mappings().Add("ID=ORDER_ID");
  link.MatchModes = 1u << mmCaseInsensitive;
  link.MaxErrors = 5;
  link.Name = "L1";
  link.Options = 3;
  link.PauseExp = "3>1";
  link.RunTime = 45001.25;
  link.StartExp = "4>1";
  link.SetStatusValue(jsError);
  link.StopExp = "5>1";
  link.TitleStatus = "t";
}

}  // namespace

TEST(DBLinkStore, NewLinkWritesOnlyItsNonEmptySettings) {
  TDBLink link;
  const std::string text = TextOf(link);
  for (const char* name : {"BackErrorData = True", "CreateTime", "DebugMode", "MaxErrors = 100", "Name = 'DBLink'",
                           "Mappings", "VarList"}) {
    EXPECT_NE(text.find(name), std::string::npos) << name << " in\n" << text;
  }
  for (const char* name : {"DefaultFolder", "Description", "DestDataSetIndex", "ErrorExp", "FilterExp", "MatchModes",
                           "Options", "PauseExp", "RunTime", "SourceDataSetIndex", "SourceDataType", "StartExp",
                           "Status", "StopExp", "TitleStatus", "StopOption", "StopAfterRows"}) {
    EXPECT_EQ(text.find(std::string(name) + " ="), std::string::npos) << name << " in\n" << text;
  }
}

// The plain settings in their stream order, then the owned objects
// (DebugMode, Mappings, VarList) in theirs, as the object stream writes them.
TEST(DBLinkStore, ConfiguredLinkMatchesItsGoldenText) {
  TDBLink link;
  Configure(link);
  link.SetSourceDataType(sdtError);
  EXPECT_EQ(TextOf(link), kvtest::ReadFile(std::string(VANDREL_TEST_DATA_DIR) + "/ConfiguredLink.txt"));
}

TEST(DBLinkStore, ConfiguredLinkReadsBackAsWritten) {
  TDBLink link;
  Configure(link);
  link.SetSourceDataType(sdtError);
  link.Mappings().Add("NAME=upper(S.NAME)");
  const std::string bytes = kvtest::WriteObjectBytes(link);
  auto back = kvtest::ReadObjectBytes<TDBLink>(bytes);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(kvtest::WriteObjectBytes(*back), bytes);
  EXPECT_EQ(back->Name, "L1");
  EXPECT_EQ(back->SourceDataSetIndex(), 2);
  EXPECT_EQ(back->DestDataSetIndex(), 3);
  EXPECT_EQ(back->Status(), jsError);
  EXPECT_EQ(back->SourceDataType(), sdtError);
  EXPECT_EQ(back->DebugMode().StopAfterRows, 7);
  EXPECT_EQ(back->Mappings().Text(), link.Mappings().Text());
}

TEST(DBLinkStore, NoErrorLimitSurvivesSaving) {
  for (int32_t maxErrors : {0, -1, 1, 100}) {
    TDBLink link;
    link.MaxErrors = maxErrors;
    auto back = kvtest::ReadObjectBytes<TDBLink>(kvtest::WriteObjectBytes(link));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->MaxErrors, maxErrors);
  }
}

TEST(DBLinkStore, DebugModeWritesNonZeroFieldsOnly) {
  TDebugMode mode;
  EXPECT_EQ(TextOf(mode), "object TDebugMode\nend\n");
  mode.PauseOption = poPauseAfterRows;
  mode.WarningAfterRows = 9;
  EXPECT_EQ(TextOf(mode), "object TDebugMode\n  PauseOption = 1\n  WarningAfterRows = 9\nend\n");
}

TEST(DBLinkAssign, CopiesSettingsButNotIndexesOrJob) {
  TDBLink from;
  Configure(from);
  from.SetRunOperate(roDebugStep);
  from.Logs().AddLog(ltInfo, "ran");
  from.VarList().Add("V1");
  bool bound = false;
  from.OnIntelStatus = [&](TDBLink&, TJobStatus) { bound = true; };
  TJob job;
  from.Job = &job;

  TDBLink to;
  to.SetSourceDataSetIndex(8);
  to.SetDestDataSetIndex(9);
  to.Assign(&from);
  EXPECT_EQ(to.SourceDataSetIndex(), 8);
  EXPECT_EQ(to.DestDataSetIndex(), 9);
  EXPECT_EQ(to.Job, nullptr);
  EXPECT_TRUE(to.IsDebug());
  EXPECT_EQ(to.Logs().Count(), 1);
  EXPECT_EQ(to.VarList().Count(), 1);
  EXPECT_EQ(to.DebugMode().StopAfterRows, 7);
  ASSERT_TRUE(to.OnIntelStatus);
  to.OnIntelStatus(to, jsOk);
  EXPECT_TRUE(bound);
  // Apart from the indexes, the two now store the same settings.
  from.SetSourceDataSetIndex(8);
  from.SetDestDataSetIndex(9);
  EXPECT_EQ(TextOf(to), TextOf(from));
}

TEST(DBLinkAssign, DatasetsAreNewCopiesOfTheSameKind) {
  // The datasets a link refers to outlive it.
  TKVQueryDataSet query;
  query.Name = "Q";
  TKVTextDataSet text;
  text.Name = "T";
  TDBLink from;
  from.SetDestDataSet(&query);
  from.SetSourceDataSet(&text);
  EXPECT_EQ(query.OwnerLink, &from);

  TDBLink to;
  to.Assign(&from);
  ASSERT_NE(ObjCast<TKVQueryDataSet>(to.DestDataSet()), nullptr);
  ASSERT_NE(ObjCast<TKVTextDataSet>(to.SourceDataSet()), nullptr);
  EXPECT_NE(to.DestDataSet(), &query);
  EXPECT_NE(to.SourceDataSet(), &text);
  EXPECT_EQ(to.DestDataSet()->Name, "Q");
  EXPECT_EQ(to.DestDataSet()->OwnerLink, &to);
  EXPECT_EQ(query.OwnerLink, &from);
}

TEST(DBLinkAssign, LinkListCopiesEveryLink) {
  TDBLinks from;
  for (const char* name : {"A", "B"}) {
    auto link = std::make_unique<TDBLink>();
    link->Name = name;
    from.AddOwned(name, std::move(link));
  }
  TDBLinks to;
  to.Assign(&from);
  ASSERT_EQ(to.Count(), 2);
  EXPECT_EQ(to.Strings(1), "B");
  EXPECT_NE(to.GetObj(0), from.GetObj(0));
  EXPECT_EQ(to.GetObj(1)->Name, "B");
}

TEST(DBLinkIndexes, EqualIndexesAreRefused) {
  TDBLink link;
  link.SetDestDataSetIndex(1);
  EXPECT_EQ(kvtest::ErrorOf([&] { link.SetSourceDataSetIndex(1); }),
            "not allow duplicate between source and dest !");
  EXPECT_EQ(link.SourceDataSetIndex(), 0);
  EXPECT_EQ(kvtest::ErrorOf([&] { link.SetDestDataSetIndex(0); }), "not allow duplicate between source and dest !");
  EXPECT_EQ(link.DestDataSetIndex(), 1);
  link.SetSourceDataSetIndex(4);
  EXPECT_EQ(link.SourceDataSetIndex(), 4);
}

TEST(DBLinkStatus, Predicates) {
  struct Case {
    TJobStatus status;
    bool running, stopped, waiting;
  };
  const Case cases[] = {{jsStop, false, true, false},  {jsPause, false, true, false}, {jsStart, true, false, false},
                        {jsWaiting, false, false, true}, {jsRunning, true, false, false}, {jsOk, false, true, false},
                        {jsError, false, true, false}};
  TDBLink link;
  for (const Case& c : cases) {
    link.SetStatusValue(c.status);
    EXPECT_EQ(link.IsRunning(), c.running) << int(c.status);
    EXPECT_EQ(link.IsStop(), c.stopped) << int(c.status);
    EXPECT_EQ(link.IsWaiting(), c.waiting) << int(c.status);
  }
  EXPECT_FALSE(link.IsDebug());
  link.SetRunOperate(roDebugGo);
  EXPECT_TRUE(link.IsDebug());
}

TEST(DBLinkErrorData, FileNames) {
  TDBLink link;
  link.Name = "L1";
  TJob job;
  job.Name = "J1";
  link.Job = &job;
  job.SaveFileName = "/data/J1.job";
  EXPECT_EQ(link.GetErrorDataFileName(), "/data/J1L1.err");
  job.SaveFileName = "C:\\data\\J1.job";
  EXPECT_EQ(link.GetErrorDataFileName(), "C:\\data\\J1L1.err");
  job.SaveFileName = "J1.job";
  EXPECT_EQ(link.GetErrorDataFileName(), "J1L1.err");
  job.SaveFileName.clear();  // the job's file name is then J1.job
  EXPECT_EQ(link.GetErrorDataFileName(), "J1L1.err");
  link.Job = nullptr;
  const std::string folder = GlobalEnv ? GlobalEnv->DefaultFolder : std::string();
  EXPECT_EQ(link.GetErrorDataFileName(), folder + "L1.err");
}

namespace {
void FillErrorData(TKVMemDataSet& data) {
  data.FieldDefs().Add("ID", ftInteger);
  data.FieldDefs().Add("NAME", ftString, 20);
  data.CreateDataSet();
  for (int i = 1; i <= 3; ++i) {
    data.Append();
    data.Fields(0).SetValue(TVariant(int32_t(i)));
    data.Fields(1).SetValue(TVariant("row" + std::to_string(i)));
    data.Post();
  }
}
}  // namespace

TEST(DBLinkErrorData, SaveAndLoadRoundTrip) {
  const std::string dir = kvtest::NewTempFolder("jobs_err");
  const std::string file = dir + "/J1L1.err";
  TDBLink link;
  FillErrorData(link.ErrorData());
  link.SaveErrorDataToFile(file);

  TDBLink back;
  back.LoadErrorDataFromFile(file);
  TKVMemDataSet& data = back.ErrorData();
  ASSERT_TRUE(data.Active());
  EXPECT_EQ(data.FieldCount(), 2);
  EXPECT_EQ(data.RecordCount(), 3);
  data.Last();
  EXPECT_EQ(data.Fields(1).AsString(), "row3");
}

TEST(DBLinkErrorData, MissingOrBadFileLeavesErrorDataAlone) {
  const std::string dir = kvtest::NewTempFolder("jobs_err");
  TDBLink link;
  FillErrorData(link.ErrorData());
  link.LoadErrorDataFromFile(dir + "/none.err");
  EXPECT_EQ(link.ErrorData().RecordCount(), 3);
  const std::string bad = dir + "/bad.err";
  kvtest::WriteFile(bad, "not error data");
  EXPECT_ANY_THROW(link.LoadErrorDataFromFile(bad));
  EXPECT_EQ(link.ErrorData().RecordCount(), 3);
  EXPECT_EQ(link.ErrorData().FieldCount(), 2);
}

TEST(DBLinkErrorData, ErrorRecordsStandInForTheSource) {
  TKVTextDataSet source;
  TDBLink link;
  FillErrorData(link.ErrorData());
  link.SetSourceDataSet(&source);
  link.SetSourceDataType(sdtError);
  TKVMemDataSet* stand = ObjCast<TKVMemDataSet>(source.GetDataset());
  ASSERT_NE(stand, nullptr);
  EXPECT_EQ(stand->RecordCount(), 3);
  link.SetSourceDataType(sdtOrigin);
  EXPECT_EQ(ObjCast<TKVMemDataSet>(source.GetDataset()), nullptr);
  EXPECT_EQ(link.SourceDataType(), sdtOrigin);
}

TEST(DBLinkVarList, ChainRunsSourceLinkJob) {
  TJob job;
  job.VarList->Add("JOBVAR");
  TKVTextDataSet source;
  source.Name = "S";
  TDBLink link;
  link.Job = &job;
  link.VarList().Add("LINKVAR");
  link.SetSourceDataSet(&source);
  link.SetAllVarList();
  TExpTranslator* translator = GetTranslator();
  ASSERT_NE(translator, nullptr);
  EXPECT_EQ(translator->VarList, source.GetVarList());
  EXPECT_EQ(source.GetVarList()->VarListParent(), &link.VarList());
  EXPECT_TRUE(source.GetVarList()->ParentEnabled());
  EXPECT_EQ(link.VarList().VarListParent(), job.VarList.get());
  EXPECT_TRUE(link.VarList().ParentEnabled());
  // A second call gives the thread a new translator.
  link.SetAllVarList();
  EXPECT_NE(GetTranslator(), nullptr);
}

TEST(DBLinkValidate, ChecksLogTheirOutcome) {
  TDBLink link;
  link.Name = "L1";
  int raised = 0;
  link.OnLogOccur = [&](const TKVLog&) { ++raised; };
  link.StartExp = "1 > 0";
  link.StopExp = "1 +";
  EXPECT_FALSE(link.Validate());
  ASSERT_EQ(link.Logs().Count(), 2);
  EXPECT_EQ(raised, 2);
  EXPECT_EQ(link.Logs().LogAt(0).Event, "Check the start condition of DBLink:L1 succeed!");
  EXPECT_EQ(link.Logs().LogAt(0).LogType, ltInfo);
  EXPECT_EQ(link.Logs().LogAt(1).LogType, ltError);
  EXPECT_EQ(link.Logs().LogAt(1).Event.rfind("Find error while check the stop condition of DBLink:L1!Error message:", 0),
            0u)
      << link.Logs().LogAt(1).Event;
}

TEST(DBLinkValidate, MappingCheckGoesOnAfterAFailure) {
  TDBLink link;
  link.Name = "L1";
  link.Mappings().Add("A=1 +");
  link.Mappings().Add("B=2");
  link.Mappings().Add("C=(");
  EXPECT_FALSE(link.CheckMappingExp());
  ASSERT_EQ(link.Logs().Count(), 2);
  EXPECT_EQ(link.Logs().LogAt(0).Event.rfind("Find error while check the Target DataSet Field:A calculate formula of DBLink:L1!", 0), 0u);
  EXPECT_EQ(link.Logs().LogAt(1).Event.rfind("Find error while check the Target DataSet Field:C", 0), 0u);
  link.ClearLog();
  link.Mappings().Clear();
  link.Mappings().Add("B=2");
  EXPECT_TRUE(link.CheckMappingExp());
  ASSERT_EQ(link.Logs().Count(), 1);
  EXPECT_EQ(link.Logs().LogAt(0).Event, "Check the Target field calculate expressions of dblink:L1 succeed!");
}

TEST(DBLinkValidate, AllChecksPassForAnEmptyLink) {
  TDBLink link;
  EXPECT_TRUE(link.Validate());
  EXPECT_EQ(link.Logs().Count(), 6);
}

TEST(DBLinkMapping, AutoMappingAppendsOneLinePerDestinationField) {
  const std::string file = kvtest::WriteTempFile("jobs_map", "dest.csv", "ID;NAME;CITY\n1;a;x\n");
  TKVTextDataSet dest;
  dest.Name = "D";
  TTextFileDataset& text = dest.TextFile();
  text.SetTableName(file);
  text.SetColumnSeperator(";");
  text.SetExtractColumnNamesFromFirstLine(true);
  TDBLink link;
  link.SetDestDataSet(&dest);
  link.Mappings().Add("KEEP=1");
  link.AutoMapping();
  EXPECT_EQ(link.Mappings().Text(), "KEEP=1\nID=ID\nNAME=NAME\nCITY=CITY\n");
  EXPECT_TRUE(dest.GetDataset()->Active());
  link.AutoMapping();  // open already: appended again, the earlier lines stay
  EXPECT_EQ(link.Mappings().Count(), 7);
}

TEST(DBLinkStore, MappingsStoredAsAnOwningListReadToo) {
  std::string text = kvtest::ReadFile(std::string(VANDREL_TEST_DATA_DIR) + "/ConfiguredLink.txt");
  const std::string plain = "ListType = 2\n    ListCount = 1\n    Strings = (\n      2";
  const size_t at = text.find(plain);
  ASSERT_NE(at, std::string::npos);
  text.replace(at, plain.size(), "ListType = 1\n    ListCount = 1\n    Strings = (\n      1");
  auto link = kvtest::ReadObjectBytes<TDBLink>(ObjectTextToBinary(text));
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->Mappings().Values("ID"), "ORDER_ID");
}
