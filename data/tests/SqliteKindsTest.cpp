// The dataset kinds on SQLite files, as a job drives them: a table created
// from stored definitions, written (append, edit, delete, refused rows),
// located and emptied; a query walked once; field values and expressions;
// two writers on one file; the preview; and the database functions on a
// real table, stale handles included.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "data/DataSet.h"
#include "data/QueryDataSet.h"
#include "data/SqliteDataSets.h"
#include "data/SqliteDatabase.h"
#include "data/TableDataSets.h"
#include "environment/Environment.h"
#include "expression/DBFunctions.h"
#include "expression/ThreadExp.h"
#include "testsupport/Errors.h"
#include "testsupport/TempFiles.h"

using namespace kv;
using kvtest::ErrorOf;

namespace {

int64_t CountRows(const std::string& file, const std::string& table) {
  TSqliteDatabase db(file, TSqliteOpenMode::ReadOnly);
  auto q = db.Prepare("select count(*) from " + SqliteQuoteIdentifier(table));
  q->Step();
  return q->Column(0).AsInteger();
}

class SqliteKinds : public ::testing::Test {
protected:
  kvtest::TempFolder folder{"sqlitekinds"};
  std::string file = folder.File("shop.db");

  // An "Orders" table dataset on the test file, to be created from its definitions.
  std::unique_ptr<TKVFileDBDataSet> Orders(int32_t postRecords = 100) {
    auto d = std::make_unique<TKVFileDBDataSet>();
    d->Name = "Orders";
    d->DataBaseInfo->DriverName = "sqlite";
    d->DataBaseInfo->Path = file;
    d->TableName = "orders";
    d->NewTable = true;
    d->PostRecords = postRecords;
    d->FieldDefs.reset(new TKVFieldDefs);
    TKVFieldDef* id = d->FieldDefs->AddFieldDef("ID");
    id->DataType = ftLargeint;
    id->Attributes = static_cast<TFieldAttributes>(1u << faRequired);
    TKVFieldDef* code = d->FieldDefs->AddFieldDef("CODE");
    code->DataType = ftString;
    code->Size = 10;
    TKVFieldDef* price = d->FieldDefs->AddFieldDef("PRICE");
    price->DataType = ftFMTBcd;
    price->Size = 10;
    price->Precision = 2;
    d->IndexDefs.reset(new TKVIndexDefs);
    TKVIndexDef* pk = d->IndexDefs->AddIndexDef();
    pk->Name = "PK";
    pk->FieldExpression = "ID";
    pk->Options = static_cast<TIndexOptions>(1u << ixPrimary);
    return d;
  }

  static void Add(TDataSet& t, int64_t id, const std::string& code, double price) {
    t.Append();
    t.FieldByName("ID").SetValue(TVariant(id));
    t.FieldByName("CODE").SetValue(TVariant(code));
    t.FieldByName("PRICE").SetValue(TVariant(price));
    t.Post();
  }

  // A table of `rows` orders (ID 1..rows, CODE "C<id>", PRICE id * 1.5), closed again.
  void Fill(int rows) {
    auto d = Orders();
    d->BeforeImport();
    for (int i = 1; i <= rows; ++i) Add(*d->GetDataset(), i, "C" + std::to_string(i), i * 1.5);
    d->AfterImport();
  }
};

TEST_F(SqliteKinds, ANewTableIsCreatedFromTheStoredDefinitionsAndTheirDeclaredTypesComeBack) {
  auto d = Orders();
  d->BeforeImport();
  TDataSet& t = *d->GetDataset();
  EXPECT_TRUE(t.Active());
  EXPECT_EQ(t.RecordCount(), 0);
  ASSERT_EQ(d->FieldDefs->Count(), 3);
  EXPECT_FALSE(d->FieldDefs->GetObj(0)->DataTypeName.empty());
  EXPECT_TRUE(d->FieldDefs->GetObj(0)->Required());
  ASSERT_NE(d->IndexDefs.get(), nullptr);
  ASSERT_GE(d->IndexDefs->Count(), 1);
  EXPECT_EQ(d->IndexDefs->GetObj(0)->FieldExpression, "ID");
  d->AfterImport();

  // An existing table is never created again (its rows stay).
  Fill(3);
  auto again = Orders();
  again->BeforeImport();
  EXPECT_EQ(again->GetDataset()->RecordCount(), 3);
  EXPECT_EQ(again->GetTableName(), "orders");
}

TEST_F(SqliteKinds, RowsAreAppendedLocatedEditedDeletedAndEmptied) {
  Fill(5);
  auto d = Orders();
  d->ImportMode = imAppendUpdate;
  d->BeforeImport();
  TDataSet& t = *d->GetDataset();
  ASSERT_TRUE(d->LocateRecord("ID", TVariant(int64_t{4}), 0));
  EXPECT_EQ(t.FieldByName("CODE").AsString(), "C4");
  ASSERT_TRUE(d->LocateRecord("ID;CODE", TVariant::Array({int64_t{2}, "C2"}), 0));
  EXPECT_EQ(t.FieldByName("PRICE").AsFloat(), 3.0);
  EXPECT_FALSE(d->LocateRecord("ID;CODE", TVariant::Array({int64_t{2}, "C3"}), 0));
  EXPECT_EQ(t.FieldByName("ID").AsInteger(), 2);  // not found: the cursor stays

  t.Edit();
  t.FieldByName("CODE").SetValue(TVariant("changed"));
  t.Post();
  ASSERT_TRUE(d->LocateRecord("ID", TVariant(int64_t{5}), 0));
  t.Delete();
  d->AfterImport();
  EXPECT_EQ(CountRows(file, "orders"), 4);

  d->BeforeImport();
  ASSERT_TRUE(d->LocateRecord("CODE", TVariant("changed"), 0));
  EXPECT_EQ(d->GetDataset()->FieldByName("ID").AsInteger(), 2);
  d->EmptyData();
  EXPECT_TRUE(d->GetDataset()->IsEmpty());
  d->AfterImport();
  EXPECT_EQ(CountRows(file, "orders"), 0);
}

TEST_F(SqliteKinds, ARefusedRowFailsAloneAndTheRestOfTheBatchIsKept) {
  auto d = Orders(3);
  d->BeforeImport();
  TDataSet& t = *d->GetDataset();
  Add(t, 1, "A", 1);
  Add(t, 2, "B", 2);
  // A second ID 2 breaks the primary key; a missing ID breaks NOT NULL.
  EXPECT_FALSE(ErrorOf<EDatabaseError>([&] { Add(t, 2, "dup", 0); }).empty());
  t.Cancel();
  t.Append();
  t.FieldByName("CODE").SetValue(TVariant("no id"));
  EXPECT_THROW(t.Post(), EDatabaseError);
  t.Cancel();
  for (int i = 3; i <= 7; ++i) Add(t, i, "ok", i);
  d->AfterImport();
  EXPECT_EQ(CountRows(file, "orders"), 7);
}

TEST_F(SqliteKinds, TwoLinksWritingOneFileOnTwoThreadsWaitForEachOther) {
  Fill(0);
  auto writer = [&](int first) {
    auto d = Orders(50);
    d->BeforeImport();
    for (int i = first; i < first + 400; ++i) Add(*d->GetDataset(), i, "w", i);
    d->AfterImport();
  };
  std::thread one(writer, 1);
  std::thread two(writer, 10001);
  one.join();
  two.join();
  EXPECT_EQ(CountRows(file, "orders"), 800);
}

TEST_F(SqliteKinds, AQueryRunsItsStatementOncePerWalk) {
  Fill(4);
  TKVQueryDataSet q;
  q.DataBaseInfo->DriverName = "SQLITE";
  q.DataBaseInfo->Path = file;
  q.SQL->SetText("select ID, CODE\nfrom orders\nwhere ID > 1\norder by ID");
  q.BeforeImport();
  auto* engine = ObjCast<TSqliteQueryDataSet>(q.GetDataset());
  ASSERT_NE(engine, nullptr);
  q.GoFirst();
  std::vector<int64_t> ids;
  for (; q.NeedMore(); q.GoNext()) ids.push_back(q.GetFieldValue(TVariant("ID")).AsInteger());
  EXPECT_EQ(ids, (std::vector<int64_t>{2, 3, 4}));
  EXPECT_EQ(engine->ExecutionCount(), 1);
  EXPECT_FALSE(q.LocateRecord("ID", TVariant(int64_t{2}), 0));
  EXPECT_EQ(q.GetTableName(), "select ID, CODE\nfrom orders\nwhere ID > 1\norder by ID");
  q.AfterImport();
}

TEST_F(SqliteKinds, FieldValuesComeByNameAndAnythingElseIsComputed) {
  Fill(2);
  auto d = Orders();
  d->BeforeImport();
  CreatePubVarList();
  SetVarList(d->GetVarList());
  EXPECT_EQ(d->GetFieldValue(TVariant("CODE")).AsString(), "C1");
  EXPECT_EQ(d->GetFieldValue(TVariant("Orders.PRICE * 2")).AsFloat(), 3.0);
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { d->GetFieldValue(TVariant("1 +")); }).rfind("Expression: ", 0), 0u);

  // ZeroAsNull (on by default): a computed empty text or zero is Null.
  EXPECT_TRUE(d->GetFieldValue(TVariant("''")).IsNull());
  EXPECT_TRUE(d->GetFieldValue(TVariant("Orders.ID - 1")).IsNull());
  EXPECT_FALSE(d->GetFieldValue(TVariant("1 > 2")).IsNull());  // booleans never are
  TKVEnvironment env;
  env.ExpOption->ZeroAsNull = false;
  TKVEnvironment* saved = GlobalEnv;
  GlobalEnv = &env;
  const TVariant empty = d->GetFieldValue(TVariant("''"));
  const TVariant zero = d->GetFieldValue(TVariant("Orders.ID - 1"));
  GlobalEnv = saved;
  EXPECT_EQ(empty.Type(), varString);
  EXPECT_EQ(empty.AsString(), "");
  EXPECT_EQ(zero.AsInteger(), 0);
  EXPECT_FALSE(zero.IsNull());
  SetVarList(nullptr);
  d->AfterImport();
}

TEST_F(SqliteKinds, ThePreviewHandsOverTheFirstNineteenValuesOfAField) {
  Fill(25);
  TDataBaseInfo info;
  info.DriverName = "SQLITE";
  info.Path = file;
  std::vector<std::string> values;
  LoadBDEPreview(info, "orders", "CODE", [&](int row, const TVariant& value) {
    EXPECT_EQ(row, static_cast<int>(values.size()) + 1);
    values.push_back(value.AsString());
  });
  ASSERT_EQ(values.size(), 19u);
  EXPECT_EQ(values.front(), "C1");
  EXPECT_EQ(values.back(), "C19");
  EXPECT_THROW(LoadBDEPreview(info, "orders", "NOPE", [](int, const TVariant&) {}), EDatabaseError);
  EXPECT_THROW(LoadBDEPreview(info, "missing", "CODE", [](int, const TVariant&) {}), EDatabaseError);
}

// ---- Database functions on a real table ----------------------------------------------

std::string Eval(const std::string& text) {
  std::unique_ptr<TExpression> exp;
  if (!CalculateExp(text, exp)) return "translation error: " + GetTranslateStatusMsg();
  return exp ? exp->GetString() : std::string("none");
}

TEST_F(SqliteKinds, TheDatabaseFunctionsReadTheOpenTable) {
  Fill(3);
  auto d = Orders();
  d->BeforeImport();
  CreatePubVarList();
  RegisterDBFunctions();
  TVarList* fields = d->GetVarList();
  fields->SetVarListParent(GetPubVarList());
  fields->SetParentEnabled(true);
  SetVarList(fields);

  d->GetDataset()->Next();  // on record 2
  struct Case {
    const char* expression;
    const char* value;
  };
  for (const Case& c : {Case{"RecordNum(Orders)", "2"}, Case{"RecordCount(Orders)", "3"},
                        Case{"DBEOF(Orders)", "No"}, Case{"DBBOF(Orders)", "No"},
                        Case{"FieldValue(Orders, 'CODE')", "C2"}, Case{"FieldValue(Orders, 0) + 10", "12"},
                        Case{"FieldCount(Orders)", "3"}, Case{"FieldName(Orders, 1)", "CODE"},
                        Case{"FieldNo(Orders, 'PRICE')", "3"}, Case{"FieldLen(Orders, 'CODE')", "10"},
                        Case{"FieldDec(Orders, 'PRICE')", "2"}, Case{"FieldValue(Orders, 'PRICE')", "3"},
                        Case{"FieldName(Orders, 7)", "FieldName"}, Case{"FieldNo(Orders, 7)", "-1"},
                        Case{"FieldPriorValue(Orders, 'CODE')", "C1"}, Case{"FieldNextValue(Orders, 'CODE')", "C3"},
                        Case{"Orders.ID * 100", "200"}, Case{"ORDERS.code", "C2"}, Case{"DBEOF(0)", "Yes"},
                        Case{"DBBOF(0)", "No"}}) {
    EXPECT_EQ(Eval(c.expression), c.value) << c.expression;
  }
  // The prior and next value functions come back to the record they left.
  EXPECT_EQ(d->GetDataset()->RecNo(), 2);
  d->AfterImport();
  SetVarList(nullptr);
}

TEST_F(SqliteKinds, AHandleOfADatasetThatIsGoneIsAnErrorNotACrash) {
  Fill(1);
  CreatePubVarList();
  RegisterDBFunctions();
  int64_t handle = 0;
  {
    auto d = Orders();
    d->BeforeImport();
    handle = d->DataSetHandle();
    SetVarList(GetPubVarList());
    EXPECT_EQ(Eval("FieldValue(" + std::to_string(handle) + ", 'CODE')"), "C1");
  }
  std::unique_ptr<TExpression> exp;
  EXPECT_ANY_THROW(CalculateExp("FieldValue(" + std::to_string(handle) + ", 'CODE')", exp));
  EXPECT_ANY_THROW(CalculateExp("RecordCount(987654321)", exp));
}

}  // namespace
