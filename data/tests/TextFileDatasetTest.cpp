// The text file dataset: settings and their checks, the two passes of
// opening, skipped rows, header mode, bad records, the field-count
// question, cursor rules and the stored settings.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/TextFileDataset.h"
#include "data/TextFileDatasetInfo.h"
#include "foundation/ObjectStream.h"
#include "foundation/ObjectText.h"
#include "foundation/UserInterface.h"
#include "foundation/Utf8.h"
#include "testsupport/Errors.h"
#include "testsupport/RecordingUI.h"
#include "testsupport/TempFiles.h"

using namespace kv;

namespace {

std::string TempFile(const std::string& name, const std::string& content) {
  return kvtest::WriteTempFile("vandrel_text", name, content);
}

// Answers questions with a fixed answer (or runs an action), recording them.
class TScriptedUI : public IUserInterface {
public:
  int MessageDlg(const std::string& text, TMsgDlgType, TMsgDlgButtons, int defaultAnswer) override {
    asked.push_back(text);
    if (onAsk) onAsk();
    return answer ? answer : defaultAnswer;
  }
  std::vector<std::string> asked;
  int answer = 0;
  std::function<void()> onAsk;
};

using kvtest::ErrorOf;

std::vector<std::vector<std::string>> AllRecords(TTextFileDataset& ds) {
  std::vector<std::vector<std::string>> out;
  for (ds.First(); !ds.Eof(); ds.Next()) {
    std::vector<std::string> rec;
    for (int i = 0; i < ds.FieldCount(); ++i) rec.push_back(ds.Fields(i).AsString());
    out.push_back(rec);
  }
  return out;
}

std::vector<std::string> Lines(const TPlainStringList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.Strings(i));
  return out;
}


}  // namespace

TEST(TextFileDataset, Defaults) {
  TTextFileDataset ds;
  EXPECT_EQ(ds.ColumnSeperator(), ",");
  EXPECT_EQ(ds.RowSeperator(), "<cr><lf>");
  EXPECT_EQ(ds.StringQualifier(), "\"");
  EXPECT_EQ(ds.ColumnWidths(), "");
  EXPECT_EQ(ds.TextFileType(), tftDelimited);
  EXPECT_FALSE(ds.ExtractColumnNamesFromFirstLine());
  EXPECT_EQ(ds.SkipRows(), 0);
  EXPECT_EQ(ds.MaxFieldsWarn, 999);
  EXPECT_FALSE(ds.LoadBadRecords);
}

TEST(TextFileDataset, EscapedNotation) {
  EXPECT_EQ(DecodeEscapedText("<tab>"), "\t");
  EXPECT_EQ(DecodeEscapedText("<CR><Lf>"), "\r\n");
  EXPECT_EQ(DecodeEscapedText("<NULL>"), std::string(1, '\0'));
  EXPECT_EQ(DecodeEscapedText("a<>b"), "ab");
  EXPECT_EQ(DecodeEscapedText(";"), ";");
  // "<>" goes last: what it leaves behind is not decoded again.
  EXPECT_EQ(DecodeEscapedText("<<>cr>"), "<cr>");
}

TEST(TextFileDataset, SettingChecksKeepTheOldValue) {
  TTextFileDataset ds;
  ds.SetColumnWidths("3;;2");
  EXPECT_EQ(ErrorOf([&] { ds.SetColumnWidths("3,2"); }), "Only valid chars for ColumnWidths are '0'..'9' and ';'.");
  EXPECT_EQ(ds.ColumnWidths(), "3;;2");
  EXPECT_EQ(ErrorOf([&] { ds.SetStringQualifier("<cr><lf>"); }),
            "StringQualifier should only evaluate to no more than one character.");
  EXPECT_EQ(ds.StringQualifier(), "\"");
  ds.SetStringQualifier("<tab>");
  EXPECT_EQ(ds.StringQualifier(), "<tab>");
  ds.SetStringQualifier("");
  EXPECT_EQ(ErrorOf([&] { ds.SetSkipRows(-1); }), "Skip Rows cannot be negative");
  EXPECT_EQ(ds.SkipRows(), 0);
  EXPECT_EQ(ParseColumnWidths("3;;2"), (std::vector<int32_t>{3, 2}));
  EXPECT_EQ(ErrorOf([] { ParseColumnWidths("99999999999"); }), "Invalid column widths");
}

TEST(TextFileDataset, OpensDelimitedFile) {
  TTextFileDataset ds;
  ds.SetTableName(TempFile("plain.csv", "1,\"a,b\",x\r\n2,c,y\r\n"));
  ds.Open();
  ASSERT_EQ(ds.FieldCount(), 3);
  EXPECT_EQ(ds.Fields(0).FieldName(), "Field1");
  EXPECT_EQ(ds.Fields(2).FieldName(), "Field3");
  EXPECT_EQ(ds.Fields(0).DataType(), ftString);
  EXPECT_EQ(ds.Fields(0).Size(), 30);
  EXPECT_EQ(ds.RecordCount(), 2);
  EXPECT_EQ(AllRecords(ds), (std::vector<std::vector<std::string>>{{"1", "a,b", "x"}, {"2", "c", "y"}}));
  EXPECT_EQ(ds.BadRecords().Count(), 0);
}

TEST(TextFileDataset, SkipRowsAndHeader) {
  TTextFileDataset ds;
  ds.SetTableName(TempFile("skip.csv", "title line\r\nsecond\r\nID,NAME\r\n1,Ann\r\n2,Bob\r\n"));
  ds.SetSkipRows(2);
  ds.SetExtractColumnNamesFromFirstLine(true);
  ds.Open();
  EXPECT_EQ(Lines(ds.SkippedRows()), (std::vector<std::string>{"title line", "second"}));
  ASSERT_EQ(ds.FieldCount(), 2);
  EXPECT_EQ(ds.Fields(0).FieldName(), "ID");
  EXPECT_EQ(ds.FieldByName("name").AsString(), "Ann");
  EXPECT_EQ(AllRecords(ds), (std::vector<std::vector<std::string>>{{"1", "Ann"}, {"2", "Bob"}}));
}

TEST(TextFileDataset, SkippingPastTheEndFails) {
  TTextFileDataset ds;
  ds.SetTableName(TempFile("short.csv", "a\r\nb"));
  ds.SetSkipRows(2);
  ds.Open();  // the second line is read whole although no line end follows it
  EXPECT_EQ(ds.FieldCount(), 0);
  ds.SetSkipRows(3);
  EXPECT_EQ(ErrorOf([&] { ds.Open(); }), "Hit end of file while skipping rows");
  EXPECT_FALSE(ds.Active());
}

TEST(TextFileDataset, FilesThatCannotBeReadAreRefusedAtOnce) {
  const std::string missing = kvtest::TempFilePath("vandrel_text", "no_such_file.csv");
  const std::string plain = TempFile("plain_for_paths.csv", "a\r\n");
  const std::string fifo = kvtest::TempFilePath("vandrel_text", "fifo.csv");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  struct {
    std::string path;
    std::string error;
  } cases[] = {
      {missing, "Table does not exist: " + missing + ": No such file or directory"},
      {plain + "/x.csv", "Table does not exist: " + plain + "/x.csv: Not a directory"},
      {"", "Table does not exist: no file name given"},
      {::testing::TempDir(), "Table does not exist: " + ::testing::TempDir() + " is a directory, not a regular file"},
      // A FIFO would block in open, /dev/zero never end: neither is opened.
      {fifo, "Table does not exist: " + fifo + " is a FIFO (named pipe), not a regular file"},
      {"/dev/zero", "Table does not exist: /dev/zero is a character device, not a regular file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    TTextFileDataset ds;
    ds.SetTableName(c.path);
    EXPECT_EQ(ErrorOf([&] { ds.Open(); }), c.error);
    EXPECT_FALSE(ds.Active());
  }
  if (::geteuid() != 0) {  // root reads any file
    const std::string locked = TempFile("locked.csv", "a\r\n");
    ::chmod(locked.c_str(), 0);
    TTextFileDataset ds;
    ds.SetTableName(locked);
    EXPECT_EQ(ErrorOf([&] { ds.Open(); }), "Table does not exist: " + locked + ": Permission denied");
  }
}

TEST(TextFileDataset, FileVanishesBetweenThePasses) {
  std::string path = TempFile("vanish.csv", "a,b\r\n1,2\r\n");
  TTextFileDataset ds;
  ds.SetTableName(path);
  ds.MaxFieldsWarn = 1;  // the question comes between the two passes
  TScriptedUI ui;
  ui.answer = mrYes;
  ui.onAsk = [&] { ::unlink(path.c_str()); };
  kvtest::UIScope guard(&ui);
  EXPECT_EQ(ErrorOf([&] { ds.Open(); }), "Table does not exist: " + path + ": No such file or directory");
  EXPECT_EQ(ui.asked.size(), 1u);
  EXPECT_FALSE(ds.Active());
}

TEST(TextFileDataset, FileAppendedToBetweenThePasses) {
  std::string path = TempFile("grow.csv", "a,b\r\n1,2\r\n");
  TTextFileDataset ds;
  ds.SetTableName(path);
  ds.MaxFieldsWarn = 1;  // the question comes between the two passes
  TScriptedUI ui;
  ui.answer = mrYes;
  ui.onAsk = [&] { std::ofstream(path, std::ios::binary | std::ios::app) << "3,4\r\n5,6,7\r\n"; };
  kvtest::UIScope guard(&ui);
  ds.Open();
  // The second pass reads what the file held at the first.
  EXPECT_EQ(AllRecords(ds), (std::vector<std::vector<std::string>>{{"a", "b"}, {"1", "2"}}));
  EXPECT_EQ(ds.BadRecords().Count(), 0);
  ui.onAsk = nullptr;
  ds.Close();
  ds.Open();  // a new open sees the whole file
  EXPECT_EQ(ds.RecordCount(), 3);
}

TEST(TextFileDataset, BadRecords) {
  std::string path = TempFile("bad.csv", "A,B,C\r\n1,2,3\r\n4,5\r\n6,7,8,9\r\n\r\n10,11,12\r\n");
  TTextFileDataset ds;
  ds.SetTableName(path);
  ds.SetExtractColumnNamesFromFirstLine(true);
  ds.Open();
  EXPECT_EQ(Lines(ds.BadRecords()), (std::vector<std::string>{"2", "3", "4"}));
  EXPECT_EQ(AllRecords(ds), (std::vector<std::vector<std::string>>{{"1", "2", "3"}, {"10", "11", "12"}}));
  ds.Close();
  ds.LoadBadRecords = true;
  ds.Open();
  EXPECT_EQ(Lines(ds.BadRecords()), (std::vector<std::string>{"2", "3", "4"}));
  EXPECT_EQ(AllRecords(ds), (std::vector<std::vector<std::string>>{
                                {"1", "2", "3"}, {"4", "5", ""}, {"6", "7", "8"}, {"", "", ""}, {"10", "11", "12"}}));
}

TEST(TextFileDataset, FieldCountQuestion) {
  auto line = [](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += (i ? ";" : "") + std::to_string(i);
    return s + "\r\n";
  };
  TScriptedUI ui;
  ui.answer = mrNo;
  kvtest::UIScope guard(&ui);
  TTextFileDataset ds;
  ds.SetColumnSeperator(";");
  ds.SetTableName(TempFile("f999.csv", line(999)));
  ds.Open();
  EXPECT_EQ(ds.FieldCount(), 999);
  EXPECT_TRUE(ui.asked.empty());
  ds.SetTableName(TempFile("f1000.csv", line(1000)));
  EXPECT_EQ(ErrorOf([&] { ds.Open(); }), "Load Aborted by User");
  ASSERT_EQ(ui.asked.size(), 1u);
  EXPECT_EQ(ui.asked[0],
            "There are 1000 fields in the current dataset according to the specified configuration.\r\n"
            "Do you wish to continue loading?");
  ui.answer = mrYes;
  ds.Open();
  EXPECT_EQ(ds.FieldCount(), 1000);
}

// Sets an environment variable for one scope.
struct EnvGuard {
  EnvGuard(const char* name, const char* value) : name(name) {
    if (const char* old = std::getenv(name)) saved = old, had = true;
    if (value)
      ::setenv(name, value, 1);
    else
      ::unsetenv(name);
  }
  ~EnvGuard() {
    if (had)
      ::setenv(name, saved.c_str(), 1);
    else
      ::unsetenv(name);
  }
  const char* name;
  std::string saved;
  bool had = false;
};

std::string WideLine(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += (i ? "," : "") + std::to_string(i);
  return s + "\r\n";
}

TEST(TextFileDataset, WideFirstRecordInUnattendedRuns) {
  const std::string wide = TempFile("wide10001.csv", WideLine(10001));
  const std::string refused = "There are 10001 fields in the first record of " + wide +
                              ", more than the 10000 an unattended run loads; set the environment variable "
                              "VANDREL_MAX_TEXT_FIELDS to a larger number to load it";
  std::vector<std::string> logged;
  SetHeadlessLogSink([&](const std::string& s) { logged.push_back(s); });
  struct {
    const char* name;
    const char* env;        // VANDREL_MAX_TEXT_FIELDS, null: unset
    int64_t setting;        // UnattendedMaxFields
    std::string error;      // "" when it opens
  } cases[] = {
      {"default limit", nullptr, -1, refused},
      {"raised by the environment", "20000", -1, ""},
      {"lowered by the environment", "5", -1, "There are 10001 fields in the first record of " + wide +
                                                  ", more than the 5 an unattended run loads; set the environment "
                                                  "variable VANDREL_MAX_TEXT_FIELDS to a larger number to load it"},
      {"raised by the setting", nullptr, 10001, ""},
      {"setting over environment", "20000", 100, "There are 10001 fields in the first record of " + wide +
                                                     ", more than the 100 an unattended run loads; set the "
                                                     "environment variable VANDREL_MAX_TEXT_FIELDS to a larger "
                                                     "number to load it"},
      {"bad environment value", "ten", -1, "VANDREL_MAX_TEXT_FIELDS must be a whole number of 0 or more, not \"ten\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EnvGuard env("VANDREL_MAX_TEXT_FIELDS", c.env);
    TTextFileDataset ds;
    ds.UnattendedMaxFields = c.setting;
    ds.SetTableName(wide);
    EXPECT_EQ(ErrorOf([&] { ds.Open(); }), c.error.empty() ? "(no error)" : c.error);
    EXPECT_EQ(ds.Active(), c.error.empty());
    if (c.error.empty()) {
      EXPECT_EQ(ds.FieldCount(), 10001);
    }
  }
  SetHeadlessLogSink(nullptr);
  // A user interface that answers is still asked, whatever the limit.
  TScriptedUI ui;
  ui.answer = mrYes;
  kvtest::UIScope guard(&ui);
  EnvGuard env("VANDREL_MAX_TEXT_FIELDS", "5");
  TTextFileDataset ds;
  ds.SetTableName(wide);
  ds.Open();
  EXPECT_EQ(ds.FieldCount(), 10001);
  EXPECT_EQ(ui.asked.size(), 1u);
}

TEST(TextFileDataset, FieldCountQuestionHeadlessContinuesAndLogs) {
  std::vector<std::string> logged;
  SetHeadlessLogSink([&](const std::string& s) { logged.push_back(s); });
  TTextFileDataset ds;
  ds.MaxFieldsWarn = 2;
  ds.SetTableName(TempFile("f3.csv", "a,b,c\r\n"));
  ds.Open();
  SetHeadlessLogSink(nullptr);
  EXPECT_EQ(ds.FieldCount(), 3);
  ASSERT_FALSE(logged.empty());
  EXPECT_NE(logged[0].find("There are 3 fields"), std::string::npos);
}

TEST(TextFileDataset, TenThousandFields) {
  std::string line;
  for (int i = 0; i < 10000; ++i) line += (i ? "," : "") + std::string("v") + std::to_string(i);
  TTextFileDataset ds;
  ds.MaxFieldsWarn = 20000;
  ds.SetTableName(TempFile("wide.csv", line + "\r\n" + line + "\r\n"));
  ds.Open();
  ASSERT_EQ(ds.FieldCount(), 10000);
  EXPECT_EQ(ds.RecordCount(), 2);
  EXPECT_EQ(ds.FieldByName("Field10000").AsString(), "v9999");
}

TEST(TextFileDataset, FixedWidthFile) {
  TTextFileDataset ds;
  ds.SetTextFileType(tftFixedWidths);
  ds.SetColumnWidths("3;;2");
  ds.SetTableName(TempFile("fixed.txt", "abcde\r\nxy z \r\nq"));
  ds.Open();
  ASSERT_EQ(ds.FieldCount(), 2);
  EXPECT_EQ(AllRecords(ds), (std::vector<std::vector<std::string>>{{"abc", "de"}, {"xy", "z"}, {"q", ""}}));
}

TEST(TextFileDataset, LongValuesAreNeverCut) {
  std::string longValue(100, 'L');
  TTextFileDataset ds;
  ds.SetTableName(TempFile("long.csv", "short," + longValue + "\r\n"));
  ds.Open();
  EXPECT_EQ(ds.Fields(0).Size(), 30);
  EXPECT_EQ(ds.Fields(1).Size(), 100);
  EXPECT_EQ(ds.Fields(1).AsString(), longValue);
}

TEST(TextFileDataset, HeaderNames) {
  struct {
    const char* header;
    std::vector<std::string> names;
  } cases[] = {
      {"id,ID,,name,,id,id_1", {"id", "ID_2", "", "name", "", "id_3", "id_1"}},
      {"id,ID,name", {"id", "ID_1", "name"}},
      {"a,a_1,a,A_2,a", {"a", "a_1", "a_3", "A_2", "a_4"}},
      {",,", {"", "", ""}},
      {"x_1,x,x", {"x_1", "x", "x_2"}},
      {"a_1,a_1,a_1_1", {"a_1", "a_1_2", "a_1_1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.header);
    std::string values;
    for (size_t i = 0; i < c.names.size(); ++i) values += (i ? "," : "") + std::to_string(i);
    TTextFileDataset ds;
    ds.SetExtractColumnNamesFromFirstLine(true);
    ds.SetTableName(TempFile("names.csv", std::string(c.header) + "\r\n" + values + "\r\n"));
    ds.Open();
    std::vector<std::string> names;
    for (int i = 0; i < ds.FieldCount(); ++i) names.push_back(ds.Fields(i).FieldName());
    EXPECT_EQ(names, c.names);
    // Each named field reads its own column; an empty name finds nothing.
    for (size_t i = 0; i < c.names.size(); ++i)
      if (!c.names[i].empty()) {
        EXPECT_EQ(ds.FieldByName(c.names[i]).AsString(), std::to_string(i));
      }
    EXPECT_EQ(ds.FindField(""), nullptr);
    EXPECT_EQ(ds.FieldDefs().IndexOf(""), -1);
  }
}

TEST(TextFileDataset, EmptyFileAndHeaderOnly) {
  TTextFileDataset ds;
  ds.SetTableName(TempFile("empty.csv", ""));
  ds.Open();
  EXPECT_EQ(ds.FieldCount(), 0);
  EXPECT_TRUE(ds.IsEmpty());
  ds.SetExtractColumnNamesFromFirstLine(true);
  ds.SetTableName(TempFile("header.csv", "A,B\r\n"));
  ds.Open();
  EXPECT_EQ(ds.FieldCount(), 2);
  EXPECT_EQ(ds.RecordCount(), 0);
  EXPECT_TRUE(ds.Eof());
  EXPECT_TRUE(ds.Fields(0).IsNull());
}

TEST(TextFileDataset, CursorRules) {
  TTextFileDataset ds;
  ds.SetTableName(TempFile("cursor.csv", "a\r\nb\r\nc\r\n"));
  ds.Open();
  EXPECT_EQ(ds.RecNo(), 1);
  ds.Last();
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.Fields(0).AsString(), "c");
  ds.SetRecNo(2);
  EXPECT_EQ(ds.Fields(0).AsString(), "b");
  EXPECT_EQ(ErrorOf([&] { ds.SetRecNo(4); }), "SetRecNo: out of range");
  ds.SetRecNo(0);
  EXPECT_EQ(ErrorOf([&] { ds.Fields(0).AsString(); }), "Could not fetch field data for: Field1");
  ds.Next();
  EXPECT_EQ(ds.Fields(0).AsString(), "a");
  EXPECT_TRUE(ds.Locate("Field1", TVariant("C"), LocateOptionBit(loCaseInsensitive)));
  EXPECT_EQ(ds.RecNo(), 3);
}

TEST(TextFileDataset, WritingGoesNowhere) {
  TTextFileDataset ds;
  ds.SetTableName(TempFile("write.csv", "a\r\n"));
  ds.Open();
  EXPECT_TRUE(ds.CanModify());
  ds.Edit();
  ds.Fields(0).SetAsString("changed");
  ds.Post();
  EXPECT_EQ(ds.Fields(0).AsString(), "a");
  ds.Append();
  ds.Fields(0).SetAsString("new");
  ds.Post();
  EXPECT_EQ(ds.RecordCount(), 1);
}

TEST(TextFileDataset, ChangingALayoutSettingClosesAndRecordsStay) {
  TTextFileDataset ds;
  ds.SetTableName(TempFile("close.csv", "a,b\r\n"));
  ds.Open();
  ds.SetColumnSeperator(";");
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.Records().Count(), 1u);  // kept until the next open
  ds.Open();
  EXPECT_EQ(ds.FieldCount(), 1);
  EXPECT_EQ(ds.Fields(0).AsString(), "a,b");
}

TEST(TextFileDataset, Utf8Text) {
  TTextFileDataset ds;
  ds.SetExtractColumnNamesFromFirstLine(true);
  ds.SetTableName(TempFile("utf8.csv", "名称,城市\r\n张三,\"北京,海淀\"\r\n"));
  ds.Open();
  EXPECT_EQ(ds.FieldByName("城市").AsString(), "北京,海淀");
}

TEST(TextFileDataset, ByteOrderMarksAndEncodings) {
  const std::string header = "id,名称\r\n1,北京\r\n2,\"上海,浦东\"\r\n";
  auto utf16 = [](const std::string& utf8, bool big) {
    std::string out = big ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t u : Utf8ToUtf16(utf8)) {
      char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
      out += big ? hi : lo;
      out += big ? lo : hi;
    }
    return out;
  };
  const std::vector<std::vector<std::string>> rows{{"1", "北京"}, {"2", "上海,浦东"}};
  struct {
    const char* name;
    std::string content;
    std::string encoding;
  } cases[] = {
      {"UTF-8 byte-order mark", "\xEF\xBB\xBF" + header, "UTF-8"},
      {"UTF-16LE", utf16(header, false), "UTF-8"},
      {"UTF-16BE", utf16(header, true), "UTF-8"},
      {"GBK", "id,\xC3\xFB\xB3\xC6\r\n1,\xB1\xB1\xBE\xA9\r\n2,\"\xC9\xCF\xBA\xA3,\xC6\xD6\xB6\xAB\"\r\n", "GBK"},
      {"GB18030", "id,\xC3\xFB\xB3\xC6\r\n1,\xB1\xB1\xBE\xA9\r\n2,\"\xC9\xCF\xBA\xA3,\xC6\xD6\xB6\xAB\"\r\n", "GB18030"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TTextFileDataset ds;
    ds.SetExtractColumnNamesFromFirstLine(true);
    ds.SetEncoding(c.encoding);
    ds.SetTableName(TempFile("enc.csv", c.content));
    ds.Open();
    ASSERT_EQ(ds.FieldCount(), 2);
    EXPECT_NE(ds.FindField("id"), nullptr);  // the mark is not part of the first name
    EXPECT_EQ(ds.Fields(1).FieldName(), "名称");
    EXPECT_EQ(AllRecords(ds), rows);
  }
  TTextFileDataset ds;
  ds.SetColumnSeperator(";");
  ds.SetEncoding("CP1252");
  ds.SetTableName(TempFile("cp1252.csv", "caf\xE9;\x80 5\r\n"));
  ds.Open();
  EXPECT_EQ(AllRecords(ds), (std::vector<std::vector<std::string>>{{"café", "€ 5"}}));
  EXPECT_EQ(ErrorOf([&] { ds.SetEncoding("NO-SUCH-CODEPAGE"); }), "Unknown text encoding 'NO-SUCH-CODEPAGE'");
  EXPECT_EQ(ErrorOf([&] { ds.SetEncoding("CP1252//IGNORE"); }), "Unknown text encoding 'CP1252//IGNORE'");
  EXPECT_EQ(ds.Encoding(), "CP1252");
}

TEST(TextFileDataset, BytesThatDoNotConvertMakeBadRecords) {
  const std::string path = TempFile("badgbk.csv", "A,B\r\n1,\xC8\xAB\r\n2,x\xFFy\r\n3,\xB2\xBF\r\n");
  TTextFileDataset ds;
  ds.SetExtractColumnNamesFromFirstLine(true);
  ds.SetEncoding("GBK");
  ds.SetTableName(path);
  ds.Open();
  EXPECT_EQ(AllRecords(ds), (std::vector<std::vector<std::string>>{{"1", "全"}, {"3", "部"}}));
  EXPECT_EQ(Lines(ds.BadRecords()), (std::vector<std::string>{"2"}));
  EXPECT_EQ(Lines(ds.BadRecordReasons()), (std::vector<std::string>{"bytes that do not convert from GBK at offset 14: FF"}));
  ds.Close();
  ds.LoadBadRecords = true;
  ds.Open();
  EXPECT_EQ(ds.RecordCount(), 3);
  ds.SetRecNo(2);
  EXPECT_EQ(ds.Fields(1).AsString(), "x\xEF\xBF\xBDy");
  // In the header it stops the open: the names cannot be known.
  ds.SetTableName(TempFile("badgbkheader.csv", "A,\xFF\r\n1,2\r\n"));
  EXPECT_EQ(ErrorOf([&] { ds.Open(); }), "The header record of " + ds.TableName() +
                                             " cannot be read: bytes that do not convert from GBK at offset 2: FF");
}

TEST(TextFileDataset, LineEnds) {
  struct {
    const char* name;
    TTextFileType type;
    std::string content;
    std::vector<std::vector<std::string>> rows;
  } cases[] = {
      {"LF only, delimited", tftDelimited, "ID,NAME\n1,a\n2,b\n", {{"1", "a"}, {"2", "b"}}},
      {"mixed, delimited", tftDelimited, "ID,NAME\r\n1,a\n2,b\r\n3,\"x\ny\"\n", {{"1", "a"}, {"2", "b"}, {"3", "x\ny"}}},
      {"LF only, fixed widths", tftFixedWidths, "ID NAME\n1  aaaa\n2  bbbb\n3  cccc\n", {{"1", "aaaa"}, {"2", "bbbb"}, {"3", "cccc"}}},
      {"mixed, fixed widths", tftFixedWidths, "ID NAME\r\n1  aaaa\n2  bbbb\r\n3  cccc", {{"1", "aaaa"}, {"2", "bbbb"}, {"3", "cccc"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TTextFileDataset ds;
    ds.SetTextFileType(c.type);
    if (c.type == tftFixedWidths) ds.SetColumnWidths("3;4");
    ds.SetExtractColumnNamesFromFirstLine(true);
    ds.SetTableName(TempFile("lines.txt", c.content));
    ds.Open();
    EXPECT_NE(ds.FindField("NAME"), nullptr);
    EXPECT_EQ(AllRecords(ds), c.rows);
    EXPECT_EQ(ds.BadRecords().Count(), 0);
    EXPECT_EQ(ds.Warnings().Count(), 0);
  }
}

TEST(TextFileDataset, WarnsWhenTheSeparatorNeverOccurs) {
  struct {
    const char* name;
    std::string separator;
    std::string content;
    std::string warning;  // after the file name; "" for none
  } cases[] = {
      {"CR only file", "<cr><lf>", "a,b\rc,d\r", "\"<cr><lf>\" never occurs in FILE, whose lines end with CR"},
      {"LF file, separator ;", ";", "a,b\nc,d\n", "\";\" never occurs in FILE, whose lines end with LF"},
      {"CR LF file, separator <lf><lf>", "<lf><lf>", "a\r\nb\r\n", "\"<lf><lf>\" never occurs in FILE, whose lines end with CR LF"},
      {"one line without a line end", "<cr><lf>", "a,b", ""},
      {"separator found", ";", "a;b\n;", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TScriptedUI ui;
    kvtest::UIScope guard(&ui);
    TTextFileDataset ds;
    ds.SetRowSeperator(c.separator);
    ds.SetTableName(TempFile("sep.txt", c.content));
    ds.Open();
    std::string want;
    if (!c.warning.empty()) {
      want = "The record separator " + c.warning + ": the whole file was read as one record";
      want.replace(want.find("FILE"), 4, ds.TableName());
    }
    EXPECT_EQ(Lines(ds.Warnings()), want.empty() ? std::vector<std::string>{} : std::vector<std::string>{want});
    EXPECT_EQ(ui.asked, want.empty() ? std::vector<std::string>{} : std::vector<std::string>{want});
  }
}

TEST(TextFileDataset, FileEndingInsideAQualifier) {
  const std::string path = TempFile("openq.csv", "A,B\r\n1,x\r\n2,\"never closed\r\n3,y\r\n");
  TTextFileDataset ds;
  ds.SetExtractColumnNamesFromFirstLine(true);
  ds.SetTableName(path);
  ds.Open();
  EXPECT_EQ(AllRecords(ds), (std::vector<std::vector<std::string>>{{"1", "x"}}));
  EXPECT_EQ(Lines(ds.BadRecords()), (std::vector<std::string>{"2"}));
  EXPECT_EQ(Lines(ds.BadRecordReasons()),
            (std::vector<std::string>{"the qualifier opened in field 2 is never closed: the rest of the file became one field"}));
  ds.Close();
  ds.LoadBadRecords = true;
  ds.Open();
  EXPECT_EQ(AllRecords(ds), (std::vector<std::vector<std::string>>{{"1", "x"}, {"2", "never closed\r\n3,y"}}));
}

TEST(TextFileDataset, FixedWidthsOverChineseText) {
  struct {
    const char* name;
    std::string content;
    std::vector<std::vector<std::string>> rows;
  } cases[] = {
      {"UTF-8 file: characters", "中华人民共和国万\r\n第一二三四五六七\n", {{"中华人", "民共", "和国万"}, {"第一二", "三四", "五六七"}}},
      {"one bad byte: the whole file counts bytes", "abcdefgh\r\n\xFF\xFE\xFDxxxxx\r\n", {{"abc", "de", "fgh"}, {"\xFF\xFE\xFD", "xx", "xxx"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TTextFileDataset ds;
    ds.SetTextFileType(tftFixedWidths);
    ds.SetColumnWidths("3;2;3");
    ds.SetTableName(TempFile("chinese.txt", c.content));
    ds.Open();
    EXPECT_EQ(AllRecords(ds), c.rows);
  }
  TTextFileDataset ds;
  ds.SetTextFileType(tftFixedWidths);
  ds.SetColumnWidths("2;4");
  ds.SetEncoding("GBK");  // widths count GBK bytes
  ds.SetTableName(TempFile("chinese_gbk.txt", "\xC8\xAB\xB2\xBF\xC8\xAB\r\n"));
  ds.Open();
  EXPECT_EQ(AllRecords(ds), (std::vector<std::vector<std::string>>{{"全", "部全"}}));
}

TEST(TextFileDataset, PublishesTableName) {
  TTextFileDataset ds;
  ds.SetTableName("/data/x.csv");
  std::string v;
  EXPECT_TRUE(ds.GetPublishedString("TableName", v));
  EXPECT_EQ(v, "/data/x.csv");
  EXPECT_FALSE(ds.GetPublishedString("IndexFieldName", v));
}

// ---- Stored settings ---------------------------------------------------------------------

TEST(TextFileDatasetInfo, EntriesInOrder) {
  TTextFileDataset ds;
  ds.SetTextFileType(tftFixedWidths);
  ds.SetColumnWidths("3;2");
  ds.SetSkipRows(2);
  ds.SetTableName("data.txt");
  TTextFileDatasetInfo info;
  info.ReadFrom(ds);
  TMemoryStream m;
  StreamWriteObject(m, &info);
  std::string text = ObjectBinaryToText(m.Bytes());
  EXPECT_EQ(text,
            "object TTextFileDatasetInfo\n"
            "  MaxFldsWarn = 999\n"
            "  ColSep = ','\n"
            "  ColWid = '3;2'\n"
            "  ExColNFrFLine = False\n"
            "  RowSep = '<cr><lf>'\n"
            "  SkRows = 2\n"
            "  StrQualifier = '\"'\n"
            "  LoadBadRec = False\n"
            "  TabName = 'data.txt'\n"
            "end\n");
  // The encoding is one more entry, after TabName, only when it is not UTF-8.
  ds.SetEncoding("utf8");
  info.ReadFrom(ds);
  TMemoryStream m2;
  StreamWriteObject(m2, &info);
  EXPECT_EQ(m2.Bytes(), m.Bytes());
  ds.SetEncoding("GBK");
  info.ReadFrom(ds);
  TMemoryStream m3;
  StreamWriteObject(m3, &info);
  std::string gbk = ObjectBinaryToText(m3.Bytes());
  EXPECT_NE(gbk.find("  TabName = 'data.txt'\n  Encoding = 'GBK'\nend\n"), std::string::npos) << gbk;
}

TEST(TextFileDatasetInfo, RoundTripThroughTheSetters) {
  TTextFileDataset ds;
  ds.SetTextFileType(tftFixedWidths);
  ds.SetColumnSeperator("");
  ds.SetStringQualifier("");
  ds.SetColumnWidths("1;2");
  ds.SetExtractColumnNamesFromFirstLine(true);
  ds.MaxFieldsWarn = 0;
  ds.LoadBadRecords = true;
  ds.SetEncoding("CP1252");
  TTextFileDatasetInfo info;
  info.ReadFrom(ds);
  TMemoryStream m;
  StreamWriteObject(m, &info);
  m.SetPosition(0);
  std::unique_ptr<TBaseObject> back(StreamReadObject(m));
  auto* read = ObjCast<TTextFileDatasetInfo>(back.get());
  ASSERT_NE(read, nullptr);
  TTextFileDataset copy;
  read->ApplyTo(copy);
  EXPECT_EQ(copy.TextFileType(), tftFixedWidths);
  EXPECT_EQ(copy.ColumnSeperator(), "");
  EXPECT_EQ(copy.StringQualifier(), "");
  EXPECT_EQ(copy.ColumnWidths(), "1;2");
  EXPECT_TRUE(copy.ExtractColumnNamesFromFirstLine());
  EXPECT_EQ(copy.MaxFieldsWarn, 0);
  EXPECT_TRUE(copy.LoadBadRecords);
  EXPECT_EQ(copy.RowSeperator(), "<cr><lf>");
  EXPECT_EQ(copy.Encoding(), "CP1252");
  // Without the entry (a job stored before it existed): UTF-8.
  TTextFileDatasetInfo none;
  TTextFileDataset fromOld;
  fromOld.SetEncoding("GBK");
  none.ApplyTo(fromOld);
  EXPECT_EQ(fromOld.Encoding(), "UTF-8");
}

// ---- Loading a large file in two halves ------------------------------------------------------

namespace {

// Everything an open tells about a file.
struct Loaded {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> bad, reasons, skipped;
  std::vector<int32_t> sizes;
  bool operator==(const Loaded&) const = default;
};

Loaded LoadWith(const std::string& path, const std::function<void(TTextFileDataset&)>& setUp, int64_t inTwoFrom,
                bool& inTwo) {
  TTextFileDataset ds;
  ds.SetTableName(path);
  ds.LoadInTwoFrom = inTwoFrom;
  setUp(ds);
  ds.Open();
  Loaded out;
  out.records = AllRecords(ds);
  out.bad = Lines(ds.BadRecords());
  out.reasons = Lines(ds.BadRecordReasons());
  out.skipped = Lines(ds.SkippedRows());
  for (int i = 0; i < ds.FieldDefs().Count(); ++i) out.sizes.push_back(ds.FieldDefs()[i].Size);
  inTwo = ds.LoadedInTwo();
  return out;
}

// `lines` lines made by `line(i)`, each ended by `end`.
std::string Lines(int lines, const std::function<std::string(int)>& line, const std::string& end = "\n") {
  std::string s;
  for (int i = 0; i < lines; ++i) s += line(i) + end;
  return s;
}

}  // namespace

TEST(TextFileDataset, LoadingInTwoHalvesReadsWhatOnePassReads) {
  auto plain = [](int i) { return std::to_string(i) + ",name " + std::to_string(i) + ",\"q, " + std::to_string(i) + "\""; };
  const std::string header = "ID,NAME,NOTE\n";
  const std::string body = Lines(400, plain);
  // A qualified field with line ends inside it, as long as the rest: the middle falls inside it.
  std::string spanning = "1,a,\"" + Lines(200, [](int i) { return "inside " + std::to_string(i); }) + "\"\n";
  spanning += Lines(20, plain);
  std::string bomLike = header + Lines(200, plain);
  bomLike += "\xEF\xBB\xBF" "7,x,y\n" + Lines(200, plain);
  auto utf16 = [](const std::string& ascii) {
    std::string s = "\xFF\xFE";
    for (char c : ascii) s += std::string{c, '\0'};
    return s;
  };
  auto asHeader = [](TTextFileDataset& ds) { ds.SetExtractColumnNamesFromFirstLine(true); };
  auto none = [](TTextFileDataset&) {};
  struct Case {
    const char* name;
    std::string content;
    std::function<void(TTextFileDataset&)> setUp;
    bool splits;  // whether the halves are read at once (else one pass)
  } cases[] = {
      {"LF ends, header", header + body, asHeader, true},
      {"CR LF ends, no header", Lines(400, plain, "\r\n"), none, true},
      {"a qualified field across the middle", header + spanning, asHeader, false},
      {"bad records in both halves", header + Lines(400, [&](int i) { return i % 97 == 5 ? std::string("1,2") : plain(i); }),
       [](TTextFileDataset& ds) { ds.SetExtractColumnNamesFromFirstLine(true); ds.LoadBadRecords = true; }, true},
      {"bad records left out", header + Lines(400, [&](int i) { return i % 50 == 7 ? plain(i) + ",extra" : plain(i); }),
       asHeader, true},
      {"rows skipped and a header", "junk 1\njunk 2\n" + header + body,
       [](TTextFileDataset& ds) { ds.SetSkipRows(2); ds.SetExtractColumnNamesFromFirstLine(true); }, true},
      {"a qualifier never closed in the second half", header + body + "9,late,\"open\n" + Lines(5, plain), asHeader,
       true},
      {"no line end after the last record", header + body + "last,record,here", asHeader, true},
      {"UTF-8 byte-order mark", "\xEF\xBB\xBF" + header + body, asHeader, true},
      {"a line looking like a byte-order mark after the middle", bomLike, asHeader, false},
      {"UTF-16LE", utf16(header + body), asHeader, false},
      {"record separator |", "ID,NAME,NOTE|" + Lines(400, plain, "|"),
       [](TTextFileDataset& ds) { ds.SetRowSeperator("|"); ds.SetExtractColumnNamesFromFirstLine(true); }, false},
      {"longest values in the second half", header + body + "1,a very much longer name than any before it,z\n",
       asHeader, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = TempFile("halves.csv", c.content);
    bool inTwo = true;
    const Loaded once = LoadWith(path, c.setUp, INT64_MAX, inTwo);
    EXPECT_FALSE(inTwo);
    const Loaded twice = LoadWith(path, c.setUp, 1, inTwo);
    EXPECT_EQ(inTwo, c.splits);
    ASSERT_FALSE(once.records.empty());
    EXPECT_EQ(twice, once);
    EXPECT_EQ(twice.records.size(), once.records.size());
  }
}
