// The dataset kinds on Paradox folders: the engine behind driver PARADOX
// (any letter case), a FileDB table created from its stored definitions,
// written, edited, located, deleted from and emptied; a keyed table made
// from a primary index in IndexDefs; the preview of a field; and queries whose
// SQL runs in SQLite over the folder's tables.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "data/DataBaseInfo.h"
#include "data/DataEngines.h"
#include "data/ParadoxDataSets.h"
#include "data/tests/FolderTableKindsSupport.h"
#include "testsupport/Errors.h"
#include "testsupport/TempFiles.h"

namespace kv {
namespace {

using kvtest::ErrorOf;
using Strings = std::vector<std::string>;

class ParadoxKinds : public ::testing::Test {
protected:
  std::unique_ptr<TKVFileDBDataSet> Orders(const char* driver = "Paradox", int32_t postRecords = 100) {
    auto d = kvtest::NewOrdersTable(driver, dir_.Path(), ftAutoInc, postRecords);
    d->FieldDefs->AddFieldDef("NOTE")->DataType = ftMemo;
    return d;
  }
  static void Add(TDataSet& t, const std::string& code, double price, const std::string& note = "") {
    t.Append();
    t.FieldByName("CODE").SetValue(TVariant(code));
    t.FieldByName("PRICE").SetValue(TVariant(price));
    if (!note.empty()) t.FieldByName("NOTE").SetValue(TVariant(note));
    t.Post();
  }
  static Strings Walk(TDataSet& t) {
    Strings out;
    for (t.First(); !t.Eof(); t.Next())
      out.push_back(t.FieldByName("ID").AsString() + ":" + t.FieldByName("CODE").AsString());
    return out;
  }
  Strings Query(const std::string& sql, const char* driver = "PARADOX") {
    return kvtest::FolderQueryRows<TParadoxQueryDataSet>(sql, driver, dir_.Path());
  }

  kvtest::TempFolder dir_{"pxkinds"};
};

TEST_F(ParadoxKinds, DriverParadoxInAnyCaseConnectsByPath) {
  TDataBaseInfo info;
  info.Path = dir_.Path();
  for (const char* driver : {"PARADOX", "Paradox", "paradox"}) {
    info.DriverName = driver;
    EXPECT_NE(dynamic_cast<TParadoxConnection*>(ConnectDataBase(info).get()), nullptr) << driver;
  }
  info.Path = dir_.File("nosuch");
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { ConnectDataBase(info); }).find("The folder of Paradox tables"), std::string::npos);
  info.Path = "";
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { ConnectDataBase(info); }), "No folder of Paradox tables: the dataset's Path is empty");
}

// Driver "paradox" in lower case: the table type is not "Paradox" exactly, so
// the table is made with the default type, which for a Paradox folder is a
// Paradox table.
TEST_F(ParadoxKinds, AFileDBTableIsCreatedWrittenLocatedAndEmptied) {
  for (const char* driver : {"Paradox", "paradox"}) {
    SCOPED_TRACE(driver);
    auto d = Orders(driver, 2);
    d->BeforeImport();
    TDataSet& t = *d->GetDataset();
    ASSERT_NE(ObjCast<TParadoxTableDataSet>(&t), nullptr);
    EXPECT_EQ(t.FieldDefs()[0].DataTypeName, "+");
    EXPECT_EQ(t.FieldDefs()[2].DataTypeName, "#2");
    EXPECT_EQ(t.FieldDefs()[3].DataTypeName, "M20");
    for (int i = 1; i <= 5; ++i) Add(t, "C" + std::to_string(i), i * 1.25, i == 3 ? std::string(500, 'n') : "");
    // A refused row fails alone.
    EXPECT_NE(ErrorOf<EDatabaseError>([&] { Add(t, "toolong", 1); }).find("field 'CODE'"), std::string::npos);
    t.Cancel();
    Add(t, "C7", 7);  // ID 6
    ASSERT_TRUE(d->LocateRecord("ID;CODE", TVariant::Array({int64_t{2}, "C2"}), 0));
    EXPECT_EQ(t.RecNo(), 2);
    t.Edit();
    t.FieldByName("PRICE").SetValue(TVariant(99.999));
    t.Post();
    ASSERT_TRUE(d->LocateRecord("CODE", TVariant("c5"), LocateOptionBit(loCaseInsensitive)));
    t.Delete();
    EXPECT_EQ(t.FieldByName("CODE").AsString(), "C7");  // the next record moved up
    d->AfterImport();

    d->BeforeImport();
    TDataSet& again = *d->GetDataset();
    EXPECT_EQ(Walk(again), (Strings{"1:C1", "2:C2", "3:C3", "4:C4", "6:C7"}));  // the refused row took no number
    ASSERT_TRUE(d->LocateRecord("ID", TVariant(int64_t{2}), 0));
    EXPECT_EQ(again.FieldByName("PRICE").AsString(), "100");
    ASSERT_TRUE(d->LocateRecord("ID", TVariant(int64_t{3}), 0));
    EXPECT_EQ(again.FieldByName("NOTE").AsString(), std::string(500, 'n'));
    again.Edit();  // the memo kept as it was, the code changed
    again.FieldByName("CODE").SetValue(TVariant("X3"));
    again.Post();
    EXPECT_EQ(again.FieldByName("NOTE").AsString(), std::string(500, 'n'));
    EXPECT_FALSE(d->LocateRecord("ID", TVariant(int64_t{5}), 0));
    d->EmptyData();
    EXPECT_TRUE(again.IsEmpty());
    d->AfterImport();
    auto table = px::TParadoxTable::Open(dir_.File("orders.db"), false);
    EXPECT_EQ(table->RecordCount(), 0u);
    table.reset();
    EXPECT_EQ(std::remove(dir_.File("orders.db").c_str()), 0);
    EXPECT_EQ(std::remove(dir_.File("orders.mb").c_str()), 0);
  }
}

// A primary index in IndexDefs makes a keyed table: records in key order,
// an edit of the key moves the record (and the dataset with it), a repeated
// key refused naming it; a key that is not the leading fields is refused.
TEST_F(ParadoxKinds, APrimaryIndexMakesAKeyedTable) {
  auto keyed = [&](const char* fields) {
    auto d = Orders();
    d->FieldDefs->GetObj(0)->DataType = ftInteger;
    d->IndexDefs.reset(new TKVIndexDefs);
    TKVIndexDef* def = d->IndexDefs->AddIndexDef();
    def->FieldExpression = fields;
    def->Options = (1 << ixPrimary) | (1 << ixUnique);
    return d;
  };
  auto wrong = keyed("CODE");
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { wrong->BeforeImport(); }).find("the primary key fields CODE must be the first fields"),
            std::string::npos);
  auto d = keyed("ID");
  d->BeforeImport();
  TDataSet& t = *d->GetDataset();
  for (int id : {30, 10, 20}) {
    t.Append();
    t.FieldByName("ID").SetValue(TVariant(id));
    t.FieldByName("CODE").SetValue(TVariant("C" + std::to_string(id)));
    t.Post();
    EXPECT_EQ(t.FieldByName("ID").AsInteger(), id);  // the dataset is on the new record
  }
  EXPECT_EQ(Walk(t), (Strings{"10:C10", "20:C20", "30:C30"}));
  t.First();
  t.Edit();
  t.FieldByName("ID").SetValue(TVariant(40));
  t.Post();
  EXPECT_EQ(t.FieldByName("CODE").AsString(), "C10");
  EXPECT_EQ(t.RecNo(), 3);
  t.Append();
  t.FieldByName("ID").SetValue(TVariant(20));
  const std::string error = ErrorOf<EDatabaseError>([&] { t.Post(); });
  EXPECT_NE(error.find("ID = 20"), std::string::npos) << error;
  t.Cancel();
  EXPECT_EQ(Walk(t), (Strings{"20:C20", "30:C30", "40:C10"}));
  // Locate by the key searches the key order; by another field it scans.
  for (const auto& [field, value, code] : {std::tuple{"ID", TVariant(30), "C30"}, std::tuple{"ID", TVariant("40"), "C10"},
                                           std::tuple{"CODE", TVariant("C20"), "C20"}}) {
    EXPECT_TRUE(t.Locate(field, value)) << field << " " << value.AsString();
    EXPECT_EQ(t.FieldByName("CODE").AsString(), code);
  }
  EXPECT_FALSE(t.Locate("ID", TVariant(25)));
  EXPECT_FALSE(t.Locate("ID", TVariant("not a number")));
  EXPECT_EQ(t.IndexDefs().Count(), 1);
  EXPECT_TRUE(t.IndexDefs()[0].Has(ixPrimary));
  d->AfterImport();
  EXPECT_EQ(::access(dir_.File("orders.px").c_str(), F_OK), 0);
}

// Field definitions become stored types and read back as field types.
TEST_F(ParadoxKinds, FieldDefinitionsMapToStoredTypesAndBack) {
  const struct {
    TFieldType type;
    int size, precision;
    const char* declared;
    const char* stored;
    TFieldType readBack;
  } cases[] = {
      {ftString, 12, 0, "", "A12", ftString},      {ftString, 0, 0, "", "A255", ftString},
      {ftGuid, 0, 0, "", "A38", ftString},         {ftSmallint, 0, 0, "", "S", ftSmallint},
      {ftWord, 0, 0, "", "I", ftInteger},          {ftInteger, 0, 0, "", "I", ftInteger},
      {ftAutoInc, 0, 0, "", "+", ftAutoInc},       {ftLargeint, 0, 0, "", "N", ftFloat},
      {ftFloat, 0, 0, "", "N", ftFloat},           {ftCurrency, 0, 0, "", "$", ftCurrency},
      {ftFMTBcd, 10, 3, "", "#3", ftBCD},          {ftBoolean, 0, 0, "", "L", ftBoolean},
      {ftDate, 0, 0, "", "D", ftDate},             {ftTime, 0, 0, "", "T", ftTime},
      {ftTimeStamp, 0, 0, "", "@", ftDateTime},    {ftMemo, 0, 0, "", "M20", ftMemo},
      {ftMemo, 50, 0, "", "M60", ftMemo},          {ftFmtMemo, 0, 0, "", "F20", ftFmtMemo},
      {ftBlob, 0, 0, "", "B20", ftBlob},           {ftGraphic, 0, 0, "", "G20", ftGraphic},
      {ftParadoxOle, 0, 0, "", "O20", ftParadoxOle}, {ftBytes, 6, 0, "", "Y6", ftBytes},
      {ftString, 10, 0, "a5", "A5", ftString},     {ftFloat, 0, 0, "#2", "#2", ftBCD},
  };
  auto t = std::make_unique<TParadoxTableDataSet>();
  t->SetConnection(std::make_shared<TParadoxConnection>(dir_.Path()));
  t->SetTableName("types");
  int n = 0;
  for (const auto& c : cases) {
    TFieldDef& def = t->FieldDefs().Add("F" + std::to_string(++n), c.type, c.size);
    def.Precision = c.precision;
    def.DataTypeName = c.declared;
  }
  ASSERT_TRUE(t->CreateTable());
  EXPECT_FALSE(t->CreateTable());  // it exists
  t->Open();
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(t->FieldDefs()[static_cast<int>(i)].DataTypeName, cases[i].stored) << i;
    EXPECT_EQ(t->FieldDefs()[static_cast<int>(i)].DataType, cases[i].readBack) << i;
  }
  t->Close();
  auto bad = std::make_unique<TParadoxTableDataSet>();
  bad->SetConnection(std::make_shared<TParadoxConnection>(dir_.Path()));
  bad->SetTableName("bad");
  bad->FieldDefs().Add("LONG", ftString, 256);
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { bad->CreateTable(); }).find("longer than a Paradox A field holds (255)"),
            std::string::npos);
  bad->FieldDefs().Clear();
  bad->FieldDefs().Add("V", ftVariant);
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { bad->CreateTable(); }).find("cannot be stored in a Paradox table"), std::string::npos);
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { bad->SetCodePage("KLINGON"); }).find("cannot be recorded"), std::string::npos);
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { bad->SetCodePage("CP99999"); }).find("cannot be recorded"), std::string::npos);
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { bad->SetCodePage("cp936"); }), "(no error)");
}

TEST_F(ParadoxKinds, LoadBDEPreviewShowsTheFirstRows) {
  auto d = Orders();
  d->BeforeImport();
  for (int i = 1; i <= 25; ++i) Add(*d->GetDataset(), "C" + std::to_string(i), i);
  d->AfterImport();
  Strings seen;
  LoadBDEPreview(*d->DataBaseInfo, "ORDERS", "CODE",
                 [&](int row, const TVariant& value) { seen.push_back(std::to_string(row) + "=" + value.AsString()); });
  ASSERT_EQ(seen.size(), 19u);
  EXPECT_EQ(seen.front(), "1=C1");
  EXPECT_EQ(seen.back(), "19=C19");
  EXPECT_THROW(LoadBDEPreview(*d->DataBaseInfo, "orders", "NOPE", [](int, const TVariant&) {}), EDatabaseError);
  EXPECT_THROW(LoadBDEPreview(*d->DataBaseInfo, "missing", "CODE", [](int, const TVariant&) {}), EDatabaseError);
}

TEST_F(ParadoxKinds, QueriesRunInSQLiteOverTheFolderTables) {
  auto d = Orders();
  d->BeforeImport();
  TDataSet& t = *d->GetDataset();
  Add(t, "A", 1.5, "first note");
  Add(t, "B", 2.5);
  Add(t, "C", 3.5);
  ASSERT_TRUE(d->LocateRecord("ID", TVariant(int64_t{2}), 0));
  t.Delete();
  d->AfterImport();

  auto names = std::make_unique<TParadoxTableDataSet>();
  names->SetConnection(std::make_shared<TParadoxConnection>(dir_.Path()));
  names->SetTableName("NAMES");
  names->SetCodePage("GBK");
  names->FieldDefs().Add("CODE", ftString, 4);
  names->FieldDefs().Add("NAME", ftString, 10);
  names->FieldDefs().Add("SEEN", ftDateTime);
  ASSERT_TRUE(names->CreateTable());
  names->Open();
  for (auto [code, name] : {std::pair{"A", "苹果"}, {"C", "橙子"}}) {
    names->Append();
    names->FieldByName("CODE").SetValue(TVariant(code));
    names->FieldByName("NAME").SetValue(TVariant(name));
    names->FieldByName("SEEN").SetValue(TVariant::FromDateTime(45000.25));
    names->Post();
  }
  names->Close();

  EXPECT_EQ(Query("select o.ID, o.CODE, n.NAME, o.PRICE, o.NOTE from orders o join NAMES n on n.CODE = o.CODE order by o.ID"),
            (Strings{"1|A|苹果|1.5|first note", "3|C|橙子|3.5|\\N"}));
  EXPECT_EQ(Query("select count(*), max(SEEN) from names", "paradox"), (Strings{"2|2023-03-15 06:00:00"}));
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { Query("delete from orders"); }).find("orders"), std::string::npos);
  // A file that is no table is named with the reason.
  std::ofstream(dir_.File("broken.db")) << "not a table";
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { Query("select * from broken"); }).find("The table broken cannot be queried"),
            std::string::npos);
}

}  // namespace
}  // namespace kv
