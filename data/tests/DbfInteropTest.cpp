// dBase and FoxPro files exchanged with independent programs: tables this
// engine writes are read by python3-dbfread and python3-dbf, and tables
// python3-dbf writes are read by this engine (Chinese text in code page
// 936, Nulls, deleted records, memos, every type). The programs are run
// through data/tests/data/dbf/dbftool.py.
#include <gtest/gtest.h>

#include "data/DbfDataSets.h"
#include "data/tests/FolderTableToolSupport.h"
#include "foundation/DateUtils.h"
#include "testsupport/TempFiles.h"
#include "testsupport/TestData.h"

namespace kv {
namespace {

using dbf::TDbfFlavour;
using kvtest::TempFolder;
using Strings = std::vector<std::string>;

// The lines dbftool.py prints; fails the test when it does not succeed.
Strings RunTool(const Strings& args) {
  Strings argv{"/usr/bin/python3", kvtest::TestDataFolder() + "/dbf/dbftool.py"};
  argv.insert(argv.end(), args.begin(), args.end());
  return kvtest::ToolLines(argv);
}

struct Column {
  const char* name;
  const char* declared;
  TFieldType type;
  TVariant value;
  const char* pythonText;  // how the python readers print the value
  bool foxOnly;
};

std::vector<Column> Columns() {
  return {
      {"NAME", "C(10)", ftString, TVariant("中文名"), "中文名", false},
      {"QTY", "N(5,0)", ftInteger, TVariant(int64_t{-42}), "-42", false},
      {"PRICE", "N(10,2)", ftFloat, TVariant(1234.5), "1234.5", false},
      {"OK", "L", ftBoolean, TVariant(true), "true", false},
      {"BORN", "D", ftDate, TVariant::FromDateTime(EncodeDate(2024, 5, 31)), "2024-05-31", false},
      {"NOTE", "M", ftMemo, TVariant("备注 memo text"), "备注 memo text", false},
      {"CNT", "I", ftInteger, TVariant(int64_t{-7}), "-7", true},
      {"DBL", "B", ftFloat, TVariant(2.5), "2.5", true},
      {"STAMP", "T", ftDateTime, TVariant::FromDateTime(EncodeDateTime(2024, 5, 31, 13, 45, 10)), "2024-05-31 13:45:10",
       true},
      {"CASH", "Y", ftCurrency, TVariant(12.5), "12.5000", true},
  };
}

std::vector<Column> ColumnsOf(TDbfFlavour flavour) {
  std::vector<Column> out;
  for (const Column& c : Columns())
    if (flavour == TDbfFlavour::FoxPro || !c.foxOnly) out.push_back(c);
  return out;
}

class DbfInterop : public ::testing::TestWithParam<TDbfFlavour> {
protected:
  std::unique_ptr<TDbfTableDataSet> Table(const std::string& name) {
    auto t = std::make_unique<TDbfTableDataSet>();
    t->SetConnection(std::make_shared<TDbfConnection>(dir_.Path(), GetParam()));
    t->SetTableName(name);
    return t;
  }
  TempFolder dir_{"dbfinterop"};
};

TEST_P(DbfInterop, FilesWeWriteOpenInIndependentReaders) {
  const bool fox = GetParam() == TDbfFlavour::FoxPro;
  const std::vector<Column> columns = ColumnsOf(GetParam());
  auto t = Table("ours");
  t->SetCodePage("CP936");
  for (const Column& c : columns) t->FieldDefs().Add(c.name, c.type).DataTypeName = c.declared;
  ASSERT_TRUE(t->CreateTable());
  t->Open();
  for (const char* name : {"gone", "中文名", "plain"}) {
    t->Append();
    if (std::string(name) == "中文名") {
      for (const Column& c : columns) t->FieldByName(c.name).SetValue(c.value);
    } else {
      t->FieldByName("NAME").SetValue(TVariant(name));
    }
    t->Post();
  }
  t->First();
  t->Delete();
  t->Close();

  Strings fields, full, blank;
  for (const Column& c : columns) {
    const std::string declared = c.declared;
    fields.push_back(std::string(c.name) + "\t" + declared[0] + "\t");
    full.push_back(c.pythonText);
    blank.push_back(std::string(c.name) == "NAME" ? "plain" : "\\N");
  }
  auto joined = [](const Strings& parts) {
    std::string line = "row";
    for (const std::string& p : parts) line += "\t" + p;
    return line;
  };
  // python-dbf applies the null flags of FoxPro tables and reads every value.
  const Strings byDbf = RunTool({"read-dbf", dir_.File("ours.dbf")});
  ASSERT_EQ(byDbf.size(), columns.size() + 3);
  for (size_t i = 0; i < columns.size(); ++i) EXPECT_EQ(byDbf[i].rfind("field\t" + fields[i], 0), 0u) << byDbf[i];
  EXPECT_EQ(byDbf[columns.size()], joined(full));
  Strings blankDbf = blank;
  if (!fox) blankDbf[5] = "";  // python-dbf reads a memo without block as ""
  EXPECT_EQ(byDbf[columns.size() + 1], joined(blankDbf));
  EXPECT_EQ(byDbf[columns.size() + 2], "deleted\t1");

  // dbfread: the same values of the full row (it shows the null flags as a field of their own).
  const Strings byDbfread = RunTool({"read", dir_.File("ours.dbf")});
  ASSERT_GE(byDbfread.size(), columns.size() + 3);
  const size_t rows = byDbfread.size() - 3;
  std::string row = byDbfread[rows];
  if (fox) row = row.substr(0, row.rfind('\t'));  // the _NullFlags bytes
  Strings fullDbfread = full;
  if (fox) fullDbfread.back() = "12.5";  // dbfread shows currency without trailing zeros
  EXPECT_EQ(row, joined(fullDbfread));
  EXPECT_EQ(byDbfread.back(), "deleted\t1");
}

TEST_P(DbfInterop, FilesTheyWriteOpenHere) {
  const bool fox = GetParam() == TDbfFlavour::FoxPro;
  const std::vector<Column> columns = ColumnsOf(GetParam());
  // Rows: one deleted, every value, Nulls but NAME.
  std::string spec;
  std::string rows[3];
  for (const Column& c : columns) {
    spec += (spec.empty() ? "" : "; ") + std::string(c.name) + " " + c.declared + (fox ? " null" : "");
    std::string v;
    switch (c.type) {
      case ftString:
      case ftMemo: v = "\"" + c.value.AsString() + "\""; break;
      case ftBoolean: v = "true"; break;
      case ftDate: v = "\"D:" + c.value.AsString() + "\""; break;
      case ftDateTime: v = "\"T:2024-05-31T13:45:10\""; break;
      default: v = c.value.AsString();
    }
    const bool name = std::string(c.name) == "NAME";
    const std::string values[3] = {name ? "\"gone\"" : "null", v, name ? "\"only\"" : "null"};
    for (int r = 0; r < 3; ++r) rows[r] += (rows[r].empty() ? "[" : ",") + values[r];
  }
  const std::string json = "{\"type\":\"" + std::string(fox ? "vfp" : "db3") + "\",\"codepage\":\"cp936\",\"fields\":\"" +
                           spec + "\",\"rows\":[" + rows[0] + "]," + rows[1] + "]," + rows[2] + "]],\"delete\":[0]}";
  RunTool({"write", dir_.File("theirs.dbf"), json});

  auto t = Table("theirs");
  t->Open();
  ASSERT_EQ(t->FieldCount(), static_cast<int>(columns.size()));
  EXPECT_EQ(t->Table()->CodePage(), "CP936");
  EXPECT_EQ(t->RecordCount(), 2);
  EXPECT_EQ(t->RecNo(), 2);
  for (const Column& c : columns) {
    EXPECT_EQ(t->FieldDefs().Find(c.name)->DataTypeName, c.declared);
    EXPECT_EQ(t->FieldByName(c.name).Value(), c.value) << c.name;
  }
  t->Next();
  EXPECT_EQ(t->FieldByName("NAME").AsString(), "only");
  for (const Column& c : columns) {
    if (std::string(c.name) == "NAME") continue;
    EXPECT_TRUE(t->FieldByName(c.name).IsNull()) << c.name;
  }
  // And our appends keep the file readable to them.
  t->Append();
  for (const Column& c : columns) t->FieldByName(c.name).SetValue(c.value);
  t->Post();
  t->Close();
  const Strings lines = RunTool({"read-dbf", dir_.File("theirs.dbf")});
  ASSERT_EQ(lines.size(), columns.size() + 4);
  std::string full = "row";
  for (const Column& c : columns) full += "\t" + std::string(c.pythonText);
  EXPECT_EQ(lines[columns.size() + 2], full);
}

// FoxPro 2 tables (version 0xF5): F numbers and memos in a .fpt with
// ten-digit block numbers, text in code page 850.
TEST(DbfInteropFoxPro2, TablesTheyWriteOpenHere) {
  TempFolder dir("dbffp2");
  RunTool({"write", dir.File("fp2.dbf"),
           R"({"type":"fp","codepage":"cp850","fields":"NAME C(8); NUM F(12,4); NOTE M",)"
           R"("rows":[["Ärger",-1.25,"über"],["x",null,null]]})"});
  TDbfTableDataSet t;
  t.SetConnection(std::make_shared<TDbfConnection>(dir.Path(), TDbfFlavour::DBase));
  t.SetTableName("fp2");
  t.Open();
  EXPECT_EQ(t.Table()->Version(), 0xF5);
  EXPECT_EQ(t.Table()->CodePage(), "CP850");
  EXPECT_EQ(t.FieldDefs()[1].DataTypeName, "F(12,4)");
  EXPECT_EQ(t.FieldByName("NAME").AsString(), "Ärger");
  EXPECT_EQ(t.FieldByName("NUM").AsFloat(), -1.25);
  EXPECT_EQ(t.FieldByName("NOTE").AsString(), "über");
  t.Next();
  EXPECT_TRUE(t.FieldByName("NUM").IsNull());
  EXPECT_TRUE(t.FieldByName("NOTE").IsNull());
  // Appended here, read there.
  t.Append();
  t.FieldByName("NAME").SetValue(TVariant("Öl"));
  t.FieldByName("NUM").SetValue(TVariant(3.5));
  t.FieldByName("NOTE").SetValue(TVariant("mémo"));
  t.Post();
  t.Close();
  const Strings lines = RunTool({"read", dir.File("fp2.dbf")});
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[5], "row\tÖl\t3.5\tmémo");
}

INSTANTIATE_TEST_SUITE_P(Flavours, DbfInterop, ::testing::Values(TDbfFlavour::DBase, TDbfFlavour::FoxPro),
                         [](const auto& info) { return info.param == TDbfFlavour::DBase ? "DBase" : "FoxPro"; });

}  // namespace
}  // namespace kv
