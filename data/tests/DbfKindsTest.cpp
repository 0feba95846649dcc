// The dataset kinds on dBase and FoxPro folders: a FileDB table created
// from its stored definitions, written, located, emptied; and queries
// whose SQL runs in SQLite over the folder's tables (joins, Chinese text,
// deleted records left out, tables added later, writes refused, a broken
// file named).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "data/DbfDataSets.h"
#include "data/tests/FolderTableKindsSupport.h"
#include "testsupport/Errors.h"
#include "testsupport/TempFiles.h"

namespace kv {
namespace {

using kvtest::ErrorOf;
using Strings = std::vector<std::string>;

class DbfKinds : public ::testing::Test {
protected:
  std::unique_ptr<TKVFileDBDataSet> Orders(const char* driver = "dBase", int32_t postRecords = 100) {
    return kvtest::NewOrdersTable(driver, dir_.Path(), ftInteger, postRecords);
  }
  static void Add(TDataSet& t, int64_t id, const std::string& code, double price) {
    t.Append();
    t.FieldByName("ID").SetValue(TVariant(id));
    t.FieldByName("CODE").SetValue(TVariant(code));
    t.FieldByName("PRICE").SetValue(TVariant(price));
    t.Post();
  }
  Strings Query(const std::string& sql, const char* driver = "DBASE") {
    return kvtest::FolderQueryRows<TDbfQueryDataSet>(sql, driver, dir_.Path());
  }

  kvtest::TempFolder dir_{"dbfkinds"};
};

TEST_F(DbfKinds, AFileDBTableIsCreatedWrittenLocatedAndEmptied) {
  for (const char* driver : {"dBase", "FOXPRO"}) {
    SCOPED_TRACE(driver);
    auto d = Orders(driver, 2);
    d->BeforeImport();
    TDataSet& t = *d->GetDataset();
    ASSERT_NE(ObjCast<TDbfTableDataSet>(&t), nullptr);
    EXPECT_EQ(t.FieldDefs()[2].DataTypeName, "N(10,2)");
    for (int i = 1; i <= 5; ++i) Add(t, i, "C" + std::to_string(i), i * 1.25);
    // A refused row fails alone.
    EXPECT_NE(ErrorOf<EDatabaseError>([&] { Add(t, 6, "toolong", 1); }).find("field 'CODE'"), std::string::npos);
    t.Cancel();
    Add(t, 7, "C7", 7);
    ASSERT_TRUE(d->LocateRecord("ID;CODE", TVariant::Array({int64_t{2}, "C2"}), 0));
    t.Edit();
    t.FieldByName("PRICE").SetValue(TVariant(99.999));
    t.Post();
    ASSERT_TRUE(d->LocateRecord("CODE", TVariant("c5"), LocateOptionBit(loCaseInsensitive)));
    t.Delete();
    d->AfterImport();

    d->BeforeImport();
    TDataSet& again = *d->GetDataset();
    EXPECT_EQ(again.RecordCount(), 5);
    ASSERT_TRUE(d->LocateRecord("ID", TVariant(int64_t{2}), 0));
    EXPECT_EQ(again.FieldByName("PRICE").AsString(), "100");
    EXPECT_FALSE(d->LocateRecord("ID", TVariant(int64_t{5}), 0));
    d->EmptyData();
    EXPECT_TRUE(again.IsEmpty());
    d->AfterImport();
    EXPECT_EQ(std::remove(dir_.File("orders.dbf").c_str()), 0);
  }
}

TEST_F(DbfKinds, QueriesRunInSQLiteOverTheFolderTables) {
  auto d = Orders();
  d->BeforeImport();
  TDataSet& t = *d->GetDataset();
  Add(t, 1, "A", 1.5);
  Add(t, 2, "B", 2.5);
  Add(t, 3, "C", 3.5);
  ASSERT_TRUE(d->LocateRecord("ID", TVariant(int64_t{2}), 0));
  t.Delete();
  d->AfterImport();

  auto names = std::make_unique<TDbfTableDataSet>();
  names->SetConnection(std::make_shared<TDbfConnection>(dir_.Path(), dbf::TDbfFlavour::DBase));
  names->SetTableName("NAMES");
  names->SetCodePage("CP936");
  names->FieldDefs().Add("CODE", ftString, 4);
  names->FieldDefs().Add("TITLE", ftString, 10);
  names->FieldDefs().Add("SINCE", ftDate);
  ASSERT_TRUE(names->CreateTable());
  names->Open();
  for (const char* code : {"A", "C"}) {
    names->Append();
    names->FieldByName("CODE").SetValue(TVariant(code));
    names->FieldByName("TITLE").SetValue(TVariant(std::string(code) == "A" ? "中文" : "plain"));
    if (std::string(code) == "A") names->FieldByName("SINCE").SetValue(TVariant("2024-05-31"));
    names->Post();
  }
  names->Close();

  EXPECT_EQ(Query("select o.ID, n.TITLE, n.SINCE, o.PRICE * 2 from orders o join NAMES n on n.CODE = o.CODE "
                  "order by o.ID desc"),
            (Strings{"3|plain|\\N|7", "1|中文|2024-05-31|3"}));
  EXPECT_EQ(Query("select count(*), sum(PRICE) from Orders where CODE <> 'B'", "FoxPro"), (Strings{"2|5"}));
  EXPECT_EQ(Query("select TITLE from names where TITLE like '中%'"), (Strings{"中文"}));

  TKVQueryDataSet q;
  q.DataBaseInfo->DriverName = "dbase";
  q.DataBaseInfo->Path = dir_.Path();
  q.SQL->SetText("delete from orders");
  const std::string error = ErrorOf<Exception>([&] { q.BeforeImport(); });
  EXPECT_EQ(error, dir_.Path() + ": cannot prepare the statement: table orders may not be modified");
}

TEST_F(DbfKinds, AQueryConnectionSeesTablesAddedLaterAndNamesBrokenFiles) {
  auto conn = std::make_shared<TDbfConnection>(dir_.Path(), dbf::TDbfFlavour::DBase);
  TDbfQueryDataSet q;
  q.SetDbfConnection(conn);
  q.SetSQL("select count(*) from orders");
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { q.Open(); }).find("no such table: orders"), std::string::npos);
  auto d = Orders();
  d->BeforeImport();
  Add(*d->GetDataset(), 1, "A", 1);
  d->AfterImport();
  q.Open();
  EXPECT_EQ(q.Fields(0).AsInteger(), 1);
  q.Close();

  kvtest::WriteFile(dir_.File("broken.dbf"), "not a table at all, but long enough for a header");
  q.SetSQL("select * from broken");
  const std::string error = ErrorOf<EDatabaseError>([&] { q.Open(); });
  EXPECT_NE(error.find("The table broken cannot be queried:"), std::string::npos) << error;
  EXPECT_NE(error.find("broken.dbf is truncated"), std::string::npos) << error;
  q.SetSQL("select ID from orders");
  q.Open();
  EXPECT_EQ(q.Fields(0).AsInteger(), 1);
}

}  // namespace
}  // namespace kv
