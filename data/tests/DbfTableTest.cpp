// The dBase engine on its own: tables of both flavours created from field
// definitions, every type read back, blanks and Nulls, code pages, refused
// rows, deleted records, record numbers, edits, locate, zap, what a crash
// leaves, the type mapping, table names, and corrupt or truncated files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>

#include "data/DataBaseInfo.h"
#include "data/DataEngines.h"
#include "data/DbfDataSets.h"
#include "data/DbfFormat.h"
#include "testsupport/Errors.h"
#include "testsupport/TempFiles.h"

namespace kv {
namespace {

using dbf::TDbfFlavour;
using kvtest::ErrorOf;
using kvtest::TempFolder;
using Strings = std::vector<std::string>;

class DbfTable : public ::testing::TestWithParam<TDbfFlavour> {
protected:
  std::shared_ptr<TDbfConnection> Conn(TDbfFlavour flavour) { return std::make_shared<TDbfConnection>(dir_.Path(), flavour); }
  std::unique_ptr<TDbfTableDataSet> Table(const std::string& name, TDbfFlavour flavour) {
    auto t = std::make_unique<TDbfTableDataSet>();
    t->SetConnection(Conn(flavour));
    t->SetTableName(name);
    return t;
  }
  // A table ID N(6,0), NAME C(10), with `names` appended.
  std::unique_ptr<TDbfTableDataSet> People(const Strings& names, TDbfFlavour flavour = TDbfFlavour::DBase) {
    auto t = Table("people", flavour);
    t->FieldDefs().Add("ID", ftInteger).DataTypeName = "N(6,0)";
    t->FieldDefs().Add("NAME", ftString, 10);
    EXPECT_TRUE(t->CreateTable());
    t->Open();
    for (size_t i = 0; i < names.size(); ++i) Add(*t, static_cast<int64_t>(i + 1), names[i]);
    return t;
  }
  static void Add(TDataSet& t, int64_t id, const std::string& name) {
    t.Append();
    t.FieldByName("ID").SetValue(TVariant(id));
    t.FieldByName("NAME").SetValue(TVariant(name));
    t.Post();
  }
  static Strings Walk(TDataSet& t, const char* field) {
    Strings out;
    for (t.First(); !t.Eof(); t.Next()) out.push_back(t.FieldByName(field).IsNull() ? "\\N" : t.FieldByName(field).AsString());
    return out;
  }

  TempFolder dir_{"dbftable"};
};

// Every type of each flavour, written and read back, with a Null row.
TEST_P(DbfTable, EveryTypeRoundTripsWithNulls) {
  const TDbfFlavour flavour = GetParam();
  const bool fox = flavour == TDbfFlavour::FoxPro;
  auto t = Table("all", flavour);
  struct Column {
    const char* name;
    TFieldType type;
    const char* declared;
    TVariant value;
    const char* readBack;
  };
  const Column columns[] = {
      {"TXT", ftString, "C(12)", TVariant("  padded"), "  padded"},
      {"QTY", ftInteger, "N(5,0)", TVariant(int64_t{-1234}), "-1234"},
      {"PRICE", ftFloat, "N(10,2)", TVariant(1234567.5), "1234567.5"},
      {"RATE", ftFloat, "F(12,4)", TVariant(-0.125), "-0.125"},
      {"OK", ftBoolean, "L", TVariant(true), "True"},
      {"BORN", ftDate, "D", TVariant::FromDateTime(EncodeDate(1999, 12, 31)), "1999-12-31"},
      {"NOTE", ftMemo, "M", TVariant(std::string(700, 'x') + "end"), nullptr},
      {"BIG", ftLargeint, "N(20,0)", TVariant(int64_t{123456789012345678}), "123456789012345678"},
  };
  const Column foxColumns[] = {
      {"CNT", ftInteger, "I", TVariant(int64_t{-2147483647}), "-2147483647"},
      {"DBL", ftFloat, "B", TVariant(0.1), "0.1"},
      {"STAMP", ftDateTime, "T", TVariant::FromDateTime(EncodeDateTime(2024, 2, 29, 23, 59, 58, 250)),
       "2024-02-29 23:59:58.250"},
      {"CASH", ftCurrency, "Y", TVariant(-12345678.9012), "-12345678.9012"},
  };
  std::vector<const Column*> all;
  for (const Column& c : columns) all.push_back(&c);
  if (fox)
    for (const Column& c : foxColumns) all.push_back(&c);
  for (const Column* c : all) t->FieldDefs().Add(c->name, c->type).DataTypeName = c->declared;
  ASSERT_TRUE(t->CreateTable());
  EXPECT_FALSE(t->CreateTable());
  t->Open();
  t->Append();
  for (const Column* c : all) t->FieldByName(c->name).SetValue(c->value);
  t->Post();
  t->Append();
  t->FieldByName("TXT").SetValue(TVariant("second"));
  t->Post();
  t->Close();

  t->Open();
  ASSERT_EQ(t->FieldCount(), static_cast<int>(all.size()));
  for (size_t i = 0; i < all.size(); ++i) EXPECT_EQ(t->FieldDefs()[static_cast<int>(i)].DataTypeName, all[i]->declared);
  EXPECT_EQ(t->RecordCount(), 2);
  for (const Column* c : all) {
    const TField& f = t->FieldByName(c->name);
    if (c->readBack) EXPECT_EQ(f.AsString(), c->readBack) << c->name;
    else EXPECT_EQ(f.Value(), c->value) << c->name;
  }
  t->Next();
  EXPECT_EQ(t->FieldByName("TXT").AsString(), "second");
  for (const Column* c : all) {
    if (std::string(c->name) == "TXT") continue;
    // dBase tables store Null as blanks; FoxPro tables as null flags.
    EXPECT_TRUE(t->FieldByName(c->name).IsNull()) << c->name;
  }
}

INSTANTIATE_TEST_SUITE_P(Flavours, DbfTable, ::testing::Values(TDbfFlavour::DBase, TDbfFlavour::FoxPro),
                         [](const auto& info) { return info.param == TDbfFlavour::DBase ? "DBase" : "FoxPro"; });

class DbfTableOne : public DbfTable {};

TEST_F(DbfTableOne, RefusedRowsFailAloneAndLeaveNothingWritten) {
  auto t = People({"ann"});
  struct Case {
    const char* field;
    TVariant value;
    const char* errorPart;
  };
  const Case cases[] = {
      {"NAME", TVariant("eleven char"), "the text needs 11 bytes in code page CP1252, the field holds 10"},
      {"NAME", TVariant("中"), "cannot be written in code page CP1252"},
      {"ID", TVariant(int64_t{1234567}), "1234567 does not fit N(6,0)"},
      {"ID", TVariant(int64_t{-123456}), "does not fit N(6,0)"},
  };
  for (const Case& c : cases) {
    t->Append();
    t->FieldByName("ID").SetValue(TVariant(int64_t{9}));
    t->FieldByName(c.field).SetValue(c.value);
    const std::string error = ErrorOf<EDatabaseError>([&] { t->Post(); });
    EXPECT_NE(error.find(c.errorPart), std::string::npos) << error;
    EXPECT_NE(error.find("people.dbf: record 2, field '" + std::string(c.field) + "'"), std::string::npos) << error;
    EXPECT_EQ(t->State(), dsInsert);
    t->Cancel();
  }
  Add(*t, 2, "bob");
  t->Close();
  t->Open();
  EXPECT_EQ(Walk(*t, "NAME"), (Strings{"ann", "bob"}));
  EXPECT_EQ(Walk(*t, "ID"), (Strings{"1", "2"}));
  // The exact width fits: six characters, the sign included.
  t->Append();
  t->FieldByName("ID").SetValue(TVariant(int64_t{-99999}));
  t->FieldByName("NAME").SetValue(TVariant("ten chars!"));
  t->Post();
  EXPECT_EQ(t->FieldByName("NAME").AsString(), "ten chars!");
}

TEST_F(DbfTableOne, ChineseTextThroughCodePage936) {
  auto t = Table("cn", TDbfFlavour::DBase);
  t->SetCodePage("GBK");
  t->FieldDefs().Add("NAME", ftString, 6);
  t->FieldDefs().Add("NOTE", ftMemo);
  ASSERT_TRUE(t->CreateTable());
  t->Open();
  EXPECT_EQ(t->Table()->CodePage(), "CP936");
  EXPECT_EQ(t->Table()->Language(), 0x7A);
  t->Append();
  t->FieldByName("NAME").SetValue(TVariant("中文名"));  // six bytes in GBK
  t->FieldByName("NOTE").SetValue(TVariant("备注：很长的文字"));
  t->Post();
  t->Append();
  t->FieldByName("NAME").SetValue(TVariant("中文名字"));  // eight bytes
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { t->Post(); }).find("needs 8 bytes in code page CP936, the field holds 6"),
            std::string::npos);
  t->Cancel();
  t->Append();
  t->FieldByName("NAME").SetValue(TVariant("😀"));  // not in GBK
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { t->Post(); }).find("cannot be written in code page CP936"), std::string::npos);
  t->Cancel();
  t->Close();
  t->Open();
  EXPECT_EQ(t->RecordCount(), 1);
  EXPECT_EQ(t->FieldByName("NAME").AsString(), "中文名");
  EXPECT_EQ(t->FieldByName("NOTE").AsString(), "备注：很长的文字");
  EXPECT_TRUE(t->Locate("NAME", TVariant("中文名")));
}

TEST_F(DbfTableOne, DeletedRecordsAreHiddenAndRecordNumbersAreFileNumbers) {
  auto t = People({"a", "b", "c", "d"});
  ASSERT_TRUE(t->Locate("NAME", TVariant("b")));
  t->Delete();
  EXPECT_EQ(t->FieldByName("NAME").AsString(), "c");
  t->Last();
  t->Delete();  // the last one: the cursor moves back
  EXPECT_EQ(t->FieldByName("NAME").AsString(), "c");
  EXPECT_EQ(t->RecordCount(), 2);
  t->Close();
  t->Open();
  EXPECT_EQ(Walk(*t, "NAME"), (Strings{"a", "c"}));
  EXPECT_EQ(t->RecordCount(), 2);
  t->Last();
  EXPECT_EQ(t->RecNo(), 3);
  const TBookmark mark = t->GetBookmark();
  t->First();
  EXPECT_EQ(t->RecNo(), 1);
  t->GotoBookmark(mark);
  EXPECT_EQ(t->FieldByName("NAME").AsString(), "c");
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { t->SetRecNo(2); }).find("no record 2 (or it is deleted)"), std::string::npos);
  t->SetRecNo(1);
  EXPECT_EQ(t->FieldByName("NAME").AsString(), "a");
  EXPECT_FALSE(t->Locate("NAME", TVariant("b")));
  t->Prior();
  EXPECT_TRUE(t->Bof());
}

TEST_F(DbfTableOne, EditsRewriteInPlaceAndUnchangedMemosKeepTheirBlocks) {
  auto t = Table("memo", TDbfFlavour::FoxPro);
  t->FieldDefs().Add("ID", ftInteger);
  t->FieldDefs().Add("NOTE", ftMemo);
  ASSERT_TRUE(t->CreateTable());
  t->Open();
  for (int i = 1; i <= 3; ++i) {
    t->Append();
    t->FieldByName("ID").SetValue(TVariant(int64_t{i}));
    t->FieldByName("NOTE").SetValue(TVariant("memo " + std::to_string(i)));
    t->Post();
  }
  const std::string fpt = dir_.File("memo.fpt");
  const std::string before = kvtest::ReadFile(fpt);
  ASSERT_TRUE(t->Locate("ID", TVariant(int64_t{2})));
  t->Edit();
  t->FieldByName("ID").SetValue(TVariant(int64_t{20}));
  t->Post();
  EXPECT_EQ(kvtest::ReadFile(fpt).size(), before.size());
  t->Edit();
  t->FieldByName("NOTE").SetValue(TVariant("changed"));
  t->Post();
  t->Close();
  t->Open();
  EXPECT_EQ(Walk(*t, "ID"), (Strings{"1", "20", "3"}));
  EXPECT_EQ(Walk(*t, "NOTE"), (Strings{"memo 1", "changed", "memo 3"}));
  EXPECT_EQ(t->RecordCount(), 3);
}

TEST_F(DbfTableOne, LocateByKeys) {
  auto t = People({"Ann", "bob", "Bobby", "ann"});
  struct Case {
    const char* fields;
    TVariant values;
    TLocateOptions options;
    int recNo;  // 0: not found
  };
  const Case cases[] = {
      {"NAME", TVariant("ann"), 0, 4},
      {"NAME", TVariant("ANN"), LocateOptionBit(loCaseInsensitive), 1},
      {"NAME", TVariant("Bob"), LocateOptionBit(loPartialKey), 3},
      {"NAME", TVariant("bob"), static_cast<TLocateOptions>(LocateOptionBit(loPartialKey) | LocateOptionBit(loCaseInsensitive)), 2},
      {"ID;NAME", TVariant::Array({TVariant(int64_t{3}), TVariant("Bobby")}), 0, 3},
      {"ID;NAME", TVariant::Array({TVariant(int64_t{2}), TVariant("Bobby")}), 0, 0},
      {"ID", TVariant("4"), 0, 4},
      {"NAME", TVariant("much too long for the field"), 0, 0},
      {"NAME", TVariant::Null(), 0, 0},
  };
  for (const Case& c : cases) {
    t->First();
    const bool found = t->Locate(c.fields, c.values, c.options);
    EXPECT_EQ(found, c.recNo != 0) << c.fields << " " << c.values.AsString();
    EXPECT_EQ(t->RecNo(), c.recNo ? c.recNo : 1) << c.fields;
  }
}

TEST_F(DbfTableOne, EmptyDataZapsTheTableAndItsMemos) {
  auto t = Table("zap", TDbfFlavour::DBase);
  t->FieldDefs().Add("NOTE", ftMemo);
  ASSERT_TRUE(t->CreateTable());
  t->Open();
  t->Append();
  t->FieldByName("NOTE").SetValue(TVariant("text"));
  t->Post();
  t->EmptyTable();
  EXPECT_TRUE(t->IsEmpty());
  EXPECT_EQ(t->RecordCount(), 0);
  t->Append();
  t->FieldByName("NOTE").SetValue(TVariant("after"));
  t->Post();
  t->Close();
  t->EmptyTable();  // closed: opens the file for it
  t->Open();
  EXPECT_TRUE(t->IsEmpty());
  EXPECT_EQ(kvtest::ReadFile(dir_.File("zap.dbt")).size(), dbf::kDbtBlockSize);
}

// The header counts records only every PostRecords writes: a copy of the
// files taken meanwhile (what a crash leaves) holds the rows of the last
// update, and is a valid table.
TEST_F(DbfTableOne, ACrashLosesOnlyTheRowsAfterTheLastHeaderUpdate) {
  auto t = People({});
  t->SetPostRecords(4);
  t->Close();
  t->Open();
  for (int i = 1; i <= 10; ++i) Add(*t, i, "n" + std::to_string(i));
  const std::string copy = dir_.File("copy.dbf");
  kvtest::WriteFile(copy, kvtest::ReadFile(dir_.File("people.dbf")));
  auto c = Table("copy", TDbfFlavour::DBase);
  c->Open();
  EXPECT_EQ(c->RecordCount(), 8);
  c->Last();
  EXPECT_EQ(c->FieldByName("NAME").AsString(), "n8");
  Add(*c, 9, "again");  // appends over what the crash left beyond the count
  c->Close();
  c->Open();
  EXPECT_EQ(c->RecordCount(), 9);
  t->Close();
  t->Open();
  EXPECT_EQ(t->RecordCount(), 10);
}

// Two datasets of one connection on one table share it: each sees the
// other's appends and deletes at once. A writer of another connection
// (another thread's, another program's) is refused while it is open.
TEST_F(DbfTableOne, DatasetsOfOneConnectionShareATableAndOtherWritersAreRefused) {
  People({"a", "b"})->Close();
  auto conn = Conn(TDbfFlavour::DBase);
  TDbfTableDataSet one, two;
  for (TDbfTableDataSet* t : {&one, &two}) {
    t->SetConnection(conn);
    t->SetTableName("people");
    t->Open();
  }
  EXPECT_EQ(one.Table(), two.Table());
  Add(one, 3, "c");
  EXPECT_EQ(two.RecordCount(), 3);
  ASSERT_TRUE(two.Locate("NAME", TVariant("a")));
  two.Delete();
  EXPECT_EQ(one.RecordCount(), 2);
  EXPECT_EQ(Walk(one, "NAME"), (Strings{"b", "c"}));

  auto other = Table("people", TDbfFlavour::DBase);
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { other->Open(); }).find("people.dbf is open for writing elsewhere"),
            std::string::npos);
  one.Close();
  two.Close();
  other->Open();
  EXPECT_EQ(Walk(*other, "NAME"), (Strings{"b", "c"}));
}

TEST_F(DbfTableOne, TableNamesWithOrWithoutExtensionAndAnyLetterCase) {
  People({"x"})->Close();
  ASSERT_EQ(::rename(dir_.File("people.dbf").c_str(), dir_.File("PEOPLE.DBF").c_str()), 0);
  for (const char* name : {"people", "PEOPLE", "people.dbf", "People.DBF"}) {
    auto t = Table(name, TDbfFlavour::DBase);
    t->Open();
    EXPECT_EQ(t->FieldByName("NAME").AsString(), "x") << name;
  }
  auto other = Table("sub/people", TDbfFlavour::DBase);
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { other->Open(); }).find("names another folder"), std::string::npos);
  auto missing = Table("nosuch", TDbfFlavour::DBase);
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { missing->Open(); }).find("nosuch.dbf"), std::string::npos);
}

TEST_F(DbfTableOne, TypeMappingBothWays) {
  struct Case {
    TFieldType type;
    int size, precision;
    const char* dbase;  // the stored type, or the start of the error
    const char* foxpro;
    TFieldType readBack;  // of the dBase table
  };
  const Case cases[] = {
      {ftString, 30, 0, "C(30)", "C(30)", ftString},
      {ftSmallint, 0, 0, "N(6,0)", "N(6,0)", ftInteger},
      {ftInteger, 0, 0, "N(11,0)", "I", ftLargeint},
      {ftLargeint, 0, 0, "N(20,0)", "N(20,0)", ftLargeint},
      {ftFloat, 0, 0, "N(20,6)", "B", ftFloat},
      {ftFloat, 12, 3, "N(12,3)", "N(12,3)", ftFloat},
      {ftCurrency, 0, 0, "N(20,4)", "Y", ftFloat},
      {ftBCD, 10, 2, "N(12,2)", "N(12,2)", ftFloat},
      {ftBoolean, 0, 0, "L", "L", ftBoolean},
      {ftDate, 0, 0, "D", "D", ftDate},
      {ftDateTime, 0, 0, "C(23)", "T", ftString},
      {ftMemo, 0, 0, "M", "M", ftMemo},
      {ftBlob, 0, 0, "Field 'F' of type Blob cannot be stored in a dBase table",
       "Field 'F' of type Blob cannot be stored in a FoxPro table", ftUnknown},
  };
  for (const Case& c : cases) {
    TFieldDef def;
    def.Name = "F";
    def.DataType = c.type;
    def.Size = c.size;
    def.Precision = c.precision;
    for (TDbfFlavour flavour : {TDbfFlavour::DBase, TDbfFlavour::FoxPro}) {
      const char* want = flavour == TDbfFlavour::DBase ? c.dbase : c.foxpro;
      if (c.readBack == ftUnknown) {
        EXPECT_EQ(ErrorOf<EDatabaseError>([&] { DbfFieldSpecOf(def, flavour); }), want);
        continue;
      }
      const dbf::TDbfFieldSpec spec = DbfFieldSpecOf(def, flavour);
      dbf::TDbfField field;
      field.type = spec.type;
      field.length = static_cast<uint8_t>(spec.length);
      field.decimals = static_cast<uint8_t>(spec.decimals);
      if (spec.type != 'C' && spec.type != 'N' && spec.type != 'F') field.length = 0;
      EXPECT_EQ(field.TypeName(), want) << FieldTypeName(c.type);
      if (flavour == TDbfFlavour::DBase) {
        EXPECT_EQ(DbfFieldDefOf(field, 1).DataType, c.readBack) << want;
      }
    }
  }
  // A stored type in DataTypeName is kept as it is; one of the other flavour is not.
  TFieldDef def;
  def.Name = "F";
  def.DataType = ftInteger;
  def.DataTypeName = "N(4,0)";
  EXPECT_EQ(DbfFieldSpecOf(def, TDbfFlavour::DBase).length, 4);
  def.DataTypeName = "I";
  EXPECT_EQ(DbfFieldSpecOf(def, TDbfFlavour::DBase).type, 'N');
  EXPECT_EQ(DbfFieldSpecOf(def, TDbfFlavour::FoxPro).type, 'I');
}

TEST_F(DbfTableOne, CreateRefusesFieldsATableCannotHold) {
  struct Case {
    const char* name;
    TFieldType type;
    int size;
    const char* error;
  };
  const Case cases[] = {
      {"ELEVENCHARS", ftString, 5, "field 'ELEVENCHARS' needs a name of 1 to 10 characters"},
      {"A-B", ftString, 5, "field 'A-B' has a name with a character other than letters, digits and '_'"},
      {"LONG", ftString, 255, "field 'LONG' needs a length of 1 to 254"},
  };
  for (const Case& c : cases) {
    auto t = Table("bad", TDbfFlavour::DBase);
    t->FieldDefs().Add(c.name, c.type, c.size);
    EXPECT_NE(ErrorOf<EDatabaseError>([&] { t->CreateTable(); }).find(c.error), std::string::npos) << c.name;
    EXPECT_NE(::access(dir_.File("bad.dbf").c_str(), F_OK), 0);
  }
  auto t = Table("dup", TDbfFlavour::DBase);
  t->FieldDefs().Add("name", ftString, 5);
  t->FieldDefs().Add("NAME_", ftString, 5);
  t->FieldDefs()[1].Name = "Name";
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { t->CreateTable(); }).find("the field name 'NAME' is used twice"),
            std::string::npos);
}

TEST_F(DbfTableOne, ConnectsByPathToAnExistingFolder) {
  TDataBaseInfo info;
  info.Path = dir_.Path();
  info.DriverName = "FoxPro";
  EXPECT_NE(dynamic_cast<TDbfConnection*>(ConnectDataBase(info).get()), nullptr);
  info.Path = dir_.File("nosuch");
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { ConnectDataBase(info); }).find("does not exist"), std::string::npos);
}

// ---- Corrupt and truncated files -----------------------------------------------

// A valid dBase III table of two records (ID N(3,0), NAME C(5)) to damage.
std::string ValidTable() {
  std::string h(32, '\0');
  h[0] = 0x03;
  h[4] = 2;
  h[8] = static_cast<char>(32 + 64 + 1);
  h[10] = 1 + 3 + 5;
  h[29] = 0x03;
  std::string f1(32, '\0'), f2(32, '\0');
  f1.replace(0, 2, "ID");
  f1[11] = 'N';
  f1[16] = 3;
  f2.replace(0, 4, "NAME");
  f2[11] = 'C';
  f2[16] = 5;
  return h + f1 + f2 + "\r" + " " + "  1" + "ann  " + " " + "  2" + "bob  " + "\x1a";
}

TEST_F(DbfTableOne, CorruptOrTruncatedFilesAreClearErrors) {
  const std::string good = ValidTable();
  struct Case {
    const char* what;
    std::string bytes;
    const char* error;  // "" when the file reads
  };
  auto with = [&](size_t at, char byte) {
    std::string b = good;
    b[at] = byte;
    return b;
  };
  const Case cases[] = {
      {"valid", good, ""},
      {"no end-of-file byte", good.substr(0, good.size() - 1), ""},
      {"empty", "", "is truncated: it is shorter than a table header"},
      {"half a header", good.substr(0, 20), "is truncated: it is shorter than a table header"},
      {"records cut", good.substr(0, good.size() - 5), "is truncated: the header announces 2 records of 9 bytes, the file holds 1"},
      {"header cut", good.substr(0, 60), "is truncated: the header announces 97 header bytes, the file holds 60"},
      {"version", with(0, 0x42), "is corrupt: it is not a dBase or FoxPro table (version byte 0x42)"},
      {"header length", with(8, 10), "is corrupt: the header length 10 is too small"},
      {"record length", with(10, 12), "is corrupt: the fields take 9 bytes but the header says records have 12"},
      {"field length", with(32 + 16, 0), "is corrupt: field 'ID' has length 0"},
      {"field type", with(32 + 11, 'G'), "field 'ID' has type 'G', which is not supported"},
      {"no terminator", with(96, ' '), "is corrupt: a field descriptor runs past the header"},
      {"language", with(29, 0x7F), "the code page of language byte 0x7F is not known"},
      {"memo without file", with(64 + 11, 'M'), "is corrupt: field 'NAME' of type M has length 5"},
      {"huge count", with(7, 0x7F), "is truncated: the header announces"},
  };
  for (const Case& c : cases) {
    const std::string path = dir_.File("bad.dbf");
    kvtest::WriteFile(path, c.bytes);
    auto t = Table("bad", TDbfFlavour::DBase);
    const std::string error = ErrorOf<EDatabaseError>([&] { t->Open(); });
    if (*c.error == 0) {
      EXPECT_EQ(error, "(no error)") << c.what;
      EXPECT_EQ(Walk(*t, "NAME"), (Strings{"ann", "bob"})) << c.what;
    } else {
      EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
      EXPECT_NE(error.find(path), std::string::npos) << c.what << ": " << error;
    }
  }
}

TEST_F(DbfTableOne, BadValuesInRecordsNameTheRecordAndField) {
  struct Case {
    size_t at;  // in the second record (0: the flag byte)
    const char* bytes;
    const char* field;
    const char* error;
  };
  const Case cases[] = {
      {1, "x y", "ID", "is corrupt: record 2, field 'ID' holds \"x y\", which is not a number"},
      {1, "1.5", "ID", "record 2, field 'ID' holds \"1.5\", which is not a whole number"},
      {1, "***", "ID", "record 2, field 'ID' holds \"***\", which is not a number"},
      {5, "\x81", "NAME", "record 2, field 'NAME' holds bytes that are not CP1252 text: 81"},
  };
  for (const Case& c : cases) {
    std::string bytes = ValidTable();
    bytes.replace(97 + 9 + c.at, std::strlen(c.bytes), c.bytes);
    kvtest::WriteFile(dir_.File("bad.dbf"), bytes);
    auto t = Table("bad", TDbfFlavour::DBase);
    t->Open();
    t->Next();
    const std::string error = ErrorOf<EDatabaseError>([&] { t->FieldByName(c.field).AsString(); });
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace kv
