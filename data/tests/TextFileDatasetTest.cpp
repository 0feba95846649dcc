// The text file dataset: settings and their checks, the two passes of
// opening, skipped rows, header mode, bad records, the field-count
// question, cursor rules and the stored settings.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
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

using namespace kv;

namespace {

std::string TempFile(const std::string& name, const std::string& content) {
  std::string path = ::testing::TempDir() + "/vandrel_text_" + name;
  std::ofstream(path, std::ios::binary) << content;
  return path;
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

struct UIGuard {
  explicit UIGuard(IUserInterface* ui) : old(SetUserInterface(ui)) {}
  ~UIGuard() { SetUserInterface(old); }
  IUserInterface* old;
};

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

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "(no error)";
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

TEST(TextFileDataset, MissingFile) {
  TTextFileDataset ds;
  ds.SetTableName(::testing::TempDir() + "/vandrel_no_such_file.csv");
  EXPECT_EQ(ErrorOf([&] { ds.Open(); }), "Table does not exist");
  ds.SetTableName(::testing::TempDir());
  EXPECT_EQ(ErrorOf([&] { ds.Open(); }), "Table does not exist");
  ds.SetTableName("");
  EXPECT_EQ(ErrorOf([&] { ds.Open(); }), "Table does not exist");
}

TEST(TextFileDataset, FileVanishesBetweenThePasses) {
  std::string path = TempFile("vanish.csv", "a,b\r\n1,2\r\n");
  TTextFileDataset ds;
  ds.SetTableName(path);
  ds.MaxFieldsWarn = 1;  // the question comes between the two passes
  TScriptedUI ui;
  ui.answer = mrYes;
  ui.onAsk = [&] { ::unlink(path.c_str()); };
  UIGuard guard(&ui);
  EXPECT_EQ(ErrorOf([&] { ds.Open(); }), "Table does not exist");
  EXPECT_EQ(ui.asked.size(), 1u);
  EXPECT_FALSE(ds.Active());
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
  UIGuard guard(&ui);
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

TEST(TextFileDataset, DuplicateHeaderNamesAreMadeUnique) {
  TTextFileDataset ds;
  ds.SetExtractColumnNamesFromFirstLine(true);
  ds.SetTableName(TempFile("dup.csv", "id,ID,name\r\n1,2,3\r\n"));
  ds.Open();
  EXPECT_EQ(ds.Fields(0).FieldName(), "id");
  EXPECT_EQ(ds.Fields(1).FieldName(), "ID_1");
  EXPECT_EQ(ds.Fields(2).FieldName(), "name");
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

TEST(TextFileDataset, PublishesTableName) {
  TTextFileDataset ds;
  ds.SetTableName("/tmp/x.csv");
  std::string v;
  EXPECT_TRUE(ds.GetPublishedString("TableName", v));
  EXPECT_EQ(v, "/tmp/x.csv");
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
}
