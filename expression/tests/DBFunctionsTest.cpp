// Database functions and field variables over a cursor held in memory: the
// handle registry, definitions, reads of the current record, re-binding
// after the dataset reopens, the no-field and no-dataset answers, errors.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ExpTestUtil.h"
#include "FakeCursor.h"
#include "expression/DBFunctions.h"
#include "expression/DBVarList.h"
#include "expression/FunctionList.h"
#include "expression/ThreadExp.h"

namespace kv {
namespace {

using kvtest::Eval;
using kvtest::Field;
using kvtest::MustTranslate;
using kvtest::OrderFields;
using kvtest::OrderRows;
using kvtest::TFakeCursor;

// The thread's translator on a fresh dataset variable list (its parent the
// public list) with the database functions registered.
class DBFunctions : public ::testing::Test {
protected:
  void SetUp() override {
    kvtest::ResetThreadWithVariables();
    RegisterDBFunctions();
    List = CreateDBVarList(GetPubVarList());
    SetVarList(List.get());
  }
  void TearDown() override { List.reset(); }

  std::string Handle() const { return std::to_string(Orders->Handle()); }

  std::unique_ptr<TFakeCursor> Orders = std::make_unique<TFakeCursor>(OrderFields(), OrderRows());
  std::unique_ptr<TDBVarList> List;
};

TEST_F(DBFunctions, DefineFieldsWithAName) {
  List->DefineFields(Orders->Handle(), "Orders");
  ASSERT_EQ(List->Count(), 3);
  EXPECT_EQ(List->Strings(0), "ORDERS");
  EXPECT_EQ(List->Strings(1), "ORDERS.ID");
  EXPECT_EQ(List->Strings(2), "ORDERS.AMOUNT");
  EXPECT_EQ(List->GetVarExp("Orders")->GetInteger(), Orders->Handle());
  // The field nodes are typed at their definition.
  EXPECT_EQ(List->GetVarExp("Orders.ID")->DataType, etInteger);
  EXPECT_EQ(List->GetVarExp("Orders.AMOUNT")->DataType, etReal);
  EXPECT_EQ(Eval("Orders.ID"), "etInteger 1");
  EXPECT_EQ(Eval("Orders.amount"), "etReal 10.5");
  EXPECT_EQ(Eval("ORDERS.AMOUNT"), "etReal 10.5");
  EXPECT_EQ(Eval("Orders"), "etInteger " + Handle());
}

TEST_F(DBFunctions, DefineFieldsWithoutAName) {
  DefineFields(List.get(), Orders->Handle(), "");
  ASSERT_EQ(List->Count(), 2);
  EXPECT_EQ(List->Strings(0), "ID");
  EXPECT_EQ(List->Strings(1), "AMOUNT");
  EXPECT_EQ(Eval("ID + 1"), "etInteger 2");
  EXPECT_EQ(Eval("Orders"), "ERROR trNoVarName 1");
}

TEST_F(DBFunctions, DefineFieldsOfAStaleHandleDefinesNothing) {
  const int64_t handle = Orders->Handle();
  Orders.reset();
  EXPECT_THROW(List->DefineFields(handle, "Orders"), EDBFunctionError);
  EXPECT_THROW(List->DefineFields(0, "Orders"), EDBFunctionError);
  EXPECT_EQ(List->Count(), 0);
  // Unnamed fields get no variable.
  TFakeCursor unnamed({Field("", etInteger, 1, 12), Field("X", etInteger, 2, 12)}, {{"1", "2"}});
  List->DefineFields(unnamed.Handle(), "T");
  EXPECT_EQ(List->Count(), 2);            // T and T.X
  EXPECT_EQ(Eval("T.X"), "etInteger 2");  // a one-letter name is a character constant in the node
  EXPECT_THROW(RegisterDBCursor(nullptr), EDBFunctionError);
}

TEST_F(DBFunctions, FieldsByNameAndByIndex) {
  List->DefineFields(Orders->Handle(), "Orders");
  EXPECT_EQ(Eval("FieldValue(Orders, 'AMOUNT')"), "etReal 10.5");
  EXPECT_EQ(Eval("FieldValue(Orders, 1)"), "etReal 10.5");
  EXPECT_EQ(Eval("FieldValue(Orders, 'am' + 'ount')"), "etReal 10.5");  // a computed name
  EXPECT_EQ(Eval("FieldValue(Orders, 0)"), "etInteger 1");
  const struct {
    const char* Text;
    const char* Result;
  } cases[] = {
      {"FieldName(Orders, 1)", "etString AMOUNT"},
      {"FieldName(Orders, 'id')", "etString ID"},
      {"FieldNo(Orders, 'AMOUNT')", "etInteger 2"},
      {"FieldLen(Orders, 0)", "etInteger 12"},
      {"FieldDec(Orders, 'AMOUNT')", "etInteger 2"},
      // No such field (index past the end, negative, just past the last).
      {"FieldName(Orders, 5)", "etString FieldName"},
      {"FieldName(Orders, 2)", "etString FieldName"},
      {"FieldName(Orders, -1)", "etString FieldName"},
      {"FieldNo(Orders, 5)", "etInteger -1"},
      {"FieldLen(Orders, 5)", "etInteger -1"},
      {"FieldDec(Orders, 5)", "etInteger -1"},
      {"FieldCount(Orders)", "etInteger 2"},
      {"RecordCount(Orders)", "etInteger 3"},
      {"RecordNum(Orders)", "etInteger 1"},
      {"DBEOF(Orders)", "etBoolean No"},
      {"DBBOF(Orders)", "etBoolean Yes"},
      {"DBEOF(0)", "etBoolean Yes"},
      {"DBBOF(0)", "etBoolean No"},
  };
  for (const auto& c : cases) EXPECT_EQ(Eval(c.Text), c.Result) << c.Text;
}

TEST_F(DBFunctions, TranslationChecksTheHandleArgument) {
  List->DefineFields(Orders->Handle(), "Orders");
  EXPECT_EQ(Eval("FieldValue('x', 'ID')"), "ERROR trTypeMismatch 15");
  EXPECT_EQ(Eval("RecordNum(1.5)"), "ERROR trTypeMismatch 14");
  EXPECT_EQ(Eval("DBEOF(1 = 1)").rfind("ERROR trTypeMismatch", 0), 0u);
  EXPECT_EQ(Eval("FieldValue(Orders)"), "ERROR trNeedParameters 18");
  // A variable reference is untyped at translation and passes.
  std::unique_ptr<TExpression> tree = MustTranslate("FieldValue(Orders, 'ID')");
  EXPECT_EQ(tree->ClassType(), TExp_DBField::StaticClass());
  // Never folded, not even with constant arguments.
  tree = MustTranslate("DBEOF(0)");
  EXPECT_EQ(tree->ClassType(), TExp_EOF::StaticClass());
  tree = MustTranslate("FieldName(" + Handle() + ", 0)");
  EXPECT_EQ(tree->ClassType(), TExp_FieldName::StaticClass());
}

TEST_F(DBFunctions, ReadsFollowTheCurrentRecord) {
  List->DefineFields(Orders->Handle(), "Orders");
  std::unique_ptr<TExpression> tree = MustTranslate("Orders.AMOUNT * 2");
  std::unique_ptr<TExpression> value = MustTranslate("FieldValue(Orders, 'ID')");
  tree->Evaluate(1);
  value->Evaluate(1);
  EXPECT_EQ(tree->GetString(), "21");
  EXPECT_EQ(value->GetInteger(), 1);
  Orders->Next();
  tree->Evaluate(2);
  value->Evaluate(2);
  EXPECT_EQ(tree->GetString(), "40.5");
  EXPECT_EQ(value->GetInteger(), 2);
  Orders->Next();  // AMOUNT is null here: it reads as 0
  EXPECT_EQ(Eval("Orders.AMOUNT"), "etReal 0");
  EXPECT_EQ(Eval("RecordNum(Orders)"), "etInteger 3");
  Orders->Next();
  EXPECT_EQ(Eval("DBEOF(Orders)"), "etBoolean Yes");
  // A copy of a tree reads the same record.
  std::unique_ptr<TExpression> copy = tree->CopySelf();
  copy->Evaluate(3);
  EXPECT_EQ(copy->GetString(), "0");
}

TEST_F(DBFunctions, AssignmentNeverChangesTheFieldType) {
  List->DefineFields(Orders->Handle(), "Orders");
  EXPECT_EQ(Eval("Orders.ID := 'abc'"), "etString abc");
  EXPECT_EQ(Eval("Orders.ID"), "etInteger 1");
}

TEST_F(DBFunctions, FieldVariablesRebindWhenTheDatasetReopens) {
  List->DefineFields(Orders->Handle(), "Orders");
  std::unique_ptr<TExpression> tree = MustTranslate("Orders.AMOUNT");
  tree->Evaluate(1);
  EXPECT_EQ(tree->GetString(), "10.5");
  // The same fields in another order.
  Orders->Reopen({Field("AMOUNT", etReal, 1, 16), Field("ID", etInteger, 2, 12)}, {{"7.5", "9"}});
  tree->Evaluate(2);
  EXPECT_EQ(tree->GetString(), "7.5");
  EXPECT_EQ(Eval("Orders.ID"), "etInteger 9");
  // A field that is gone is reported by name.
  Orders->Reopen({Field("ID", etInteger, 1, 12)}, {{"4"}});
  EXPECT_THROW(tree->Evaluate(3), EDBFunctionError);  // errors pass to the caller of Evaluate
  EXPECT_EQ(Eval("Orders.ID"), "etInteger 4");
  const std::string gone = Eval("Orders.AMOUNT");
  EXPECT_NE(gone.find("EXCEPTION Field 'AMOUNT' not found"), std::string::npos) << gone;
}

TEST_F(DBFunctions, AFieldIsFoundAgainForAnotherHandle) {
  // One node, a handle that changes between evaluations: the field found
  // for one cursor is not used for another, even one placed at the same
  // address with the same generation.
  List->SetVarExp("H", CreateIntExp(0));
  std::unique_ptr<TExpression> tree = MustTranslate("FieldValue(H, 'AMOUNT')");
  for (int round = 0; round < 3; ++round) {
    auto fields = OrderFields();
    if (round % 2 == 1) std::swap(fields[0], fields[1]);
    auto rows = OrderRows();
    if (round % 2 == 1)
      for (auto& row : rows) std::swap(row[0], row[1]);
    Orders.reset();  // the new cursor is likely to take the old one's place
    Orders = std::make_unique<TFakeCursor>(fields, rows);
    List->SetVarExp("H", CreateIntExp(Orders->Handle()));
    tree->Evaluate(round + 1);
    EXPECT_EQ(tree->GetString(), "10.5") << round;
  }
}

TEST_F(DBFunctions, ErrorsNameTheHandleOrTheField) {
  List->DefineFields(Orders->Handle(), "Orders");
  const std::string noField = Eval("FieldValue(Orders, 'NOPE')");
  EXPECT_EQ(noField, "EXCEPTION Field 'NOPE' not found in the dataset of handle " + Handle());
  EXPECT_EQ(Eval("FieldName(Orders, 'NOPE')"), noField);
  EXPECT_EQ(Eval("FieldValue(Orders, 2)"),
            "EXCEPTION Field index 2 is outside the fields of the dataset of handle " + Handle() + " (2 fields)");
  EXPECT_EQ(Eval("FieldValue(Orders, -1)").rfind("EXCEPTION Field index -1 is outside", 0), 0u);
  EXPECT_EQ(Eval("RecordNum(0)"), "EXCEPTION TExp_RecNo: no dataset (the dataset handle is 0)");
  EXPECT_EQ(Eval("FieldValue(0, 'ID')"), "EXCEPTION TExp_DBField: no dataset (the dataset handle is 0)");
  EXPECT_EQ(Eval("FieldCount(987654321987)"), "EXCEPTION Dataset handle 987654321987 names no open dataset");
  EXPECT_EQ(Eval("DBEOF(-3)"), "EXCEPTION Dataset handle -3 names no open dataset");

  // The dataset goes: its handle and every variable holding it are stale.
  const std::string handle = Handle();
  std::unique_ptr<TExpression> tree = MustTranslate("Orders.ID");
  tree->Evaluate(1);
  Orders.reset();
  const std::string stale = "EXCEPTION Dataset handle " + handle + " names no open dataset";
  EXPECT_EQ(Eval("Orders.ID"), stale);
  EXPECT_EQ(Eval("DBEOF(Orders)"), stale);
  EXPECT_EQ(Eval("FieldPriorValue(Orders, 'ID')"), stale);
  EXPECT_THROW(tree->Evaluate(2), EDBFunctionError);
  // A new cursor never gets the old handle.
  TFakeCursor other(OrderFields(), OrderRows());
  EXPECT_NE(std::to_string(other.Handle()), handle);
  EXPECT_EQ(FindDBCursor(std::stoll(handle)), nullptr);
  EXPECT_EQ(FindDBCursor(other.Handle()), &other);
  EXPECT_EQ(FindDBCursor(0), nullptr);
}

TEST_F(DBFunctions, PriorAndNextValues) {
  List->DefineFields(Orders->Handle(), "Orders");
  // At the beginning: the empty value of the field's type; the cursor stays.
  EXPECT_EQ(Eval("FieldPriorValue(Orders, 'ID')"), "etInteger 0");
  EXPECT_EQ(Eval("FieldPriorValue(Orders, 'AMOUNT')"), "etReal 0");
  EXPECT_EQ(Eval("FieldNextValue(Orders, 'ID')"), "etInteger 2");
  EXPECT_EQ(Orders->Position(), 0);
  Orders->Next();
  EXPECT_EQ(Eval("FieldPriorValue(Orders, 0)"), "etInteger 1");
  EXPECT_EQ(Eval("FieldNextValue(Orders, 'AMOUNT')"), "etReal 0");  // null there
  EXPECT_EQ(Orders->Position(), 1);
  // Back on the first record without Bof: nothing moves.
  Orders->Prior();
  ASSERT_FALSE(Orders->Bof());
  int moves = Orders->Moves;
  EXPECT_EQ(Eval("FieldPriorValue(Orders, 'ID')"), "etInteger 0");
  EXPECT_EQ(Orders->Position(), 0);
  EXPECT_FALSE(Orders->Bof());
  EXPECT_EQ(Orders->Moves, moves);
  // On the last record (Eof not yet set) and at the end.
  Orders->Next();
  Orders->Next();
  EXPECT_EQ(Eval("FieldNextValue(Orders, 'ID')"), "etInteger 0");
  EXPECT_EQ(Orders->Position(), 2);
  EXPECT_FALSE(Orders->Eof());  // a stop condition on DBEOF still sees the last record
  Orders->Next();
  EXPECT_EQ(Eval("FieldNextValue(Orders, 'ID')"), "etInteger 0");
  EXPECT_EQ(Eval("FieldPriorValue(Orders, 'ID')"), "etInteger 2");
  EXPECT_EQ(Orders->Position(), 2);
  EXPECT_TRUE(Orders->Eof());
  // Handle 0: nothing happens, the node keeps its previous value.
  Orders->First();
  List->SetVarExp("H", CreateIntExp(Orders->Handle()));
  std::unique_ptr<TExpression> tree = MustTranslate("FieldNextValue(H, 'ID')");
  tree->Evaluate(1);
  EXPECT_EQ(tree->GetString(), "2");
  List->SetVarExp("H", CreateIntExp(0));
  moves = Orders->Moves;
  tree->Evaluate(2);
  EXPECT_EQ(tree->GetString(), "2");
  EXPECT_EQ(tree->DataType, etInteger);
  EXPECT_EQ(Orders->Moves, moves);
  tree = MustTranslate("FieldPriorValue(0, 'ID')");
  tree->Evaluate(1);
  EXPECT_EQ(tree->DataType, etAny);
  // A failing read still moves the cursor back.
  TFakeCursor failing(OrderFields(), {{"1", "1"}, {"bad", "2"}});
  List->DefineFields(failing.Handle(), "F");
  EXPECT_EQ(Eval("FieldNextValue(F, 'ID')"), "EXCEPTION 'bad' is not a valid integer value");
  EXPECT_EQ(failing.Position(), 0);
  EXPECT_TRUE(failing.Bof());
  // An empty dataset has neither.
  TFakeCursor empty(OrderFields(), {});
  List->DefineFields(empty.Handle(), "E");
  EXPECT_EQ(Eval("FieldPriorValue(E, 'AMOUNT')"), "etReal 0");
  EXPECT_EQ(Eval("FieldNextValue(E, 'ID')"), "etInteger 0");
  EXPECT_EQ(empty.Moves, 0);
}

TEST_F(DBFunctions, PriorAndNextValuesWithoutPositions) {
  // A cursor that reports no record numbers is moved to find its ends; it
  // stays on its record.
  TFakeCursor blind(OrderFields(), OrderRows());
  blind.KnowsPositions = false;
  List->DefineFields(blind.Handle(), "B");
  blind.Next();
  blind.Prior();  // the first record, Bof not set
  EXPECT_EQ(Eval("FieldPriorValue(B, 'ID')"), "etInteger 0");
  EXPECT_EQ(Eval("FieldNextValue(B, 'ID')"), "etInteger 2");
  EXPECT_EQ(blind.Position(), 0);
  blind.Next();
  blind.Next();  // the last record, Eof not set
  EXPECT_EQ(Eval("FieldNextValue(B, 'ID')"), "etInteger 0");
  EXPECT_EQ(Eval("FieldPriorValue(B, 'ID')"), "etInteger 2");
  EXPECT_EQ(blind.Position(), 2);
  // A cursor that only moves forward is refused before it moves.
  blind.Backward = false;
  const int moves = blind.Moves;
  const std::string handle = std::to_string(blind.Handle());
  EXPECT_EQ(Eval("FieldNextValue(B, 'ID')"),
            "EXCEPTION FieldNextValue needs a dataset that can move back (handle " + handle + ")");
  EXPECT_EQ(Eval("FieldPriorValue(B, 'ID')"),
            "EXCEPTION FieldPriorValue needs a dataset that can move back (handle " + handle + ")");
  EXPECT_EQ(blind.Moves, moves);
}

TEST_F(DBFunctions, UntypedFieldsKeepTheirValue) {
  TFakeCursor odd({Field("BLOB", etAny, 1, 10)}, {{"x"}});
  List->DefineFields(odd.Handle(), "T");
  std::unique_ptr<TExpression> tree = MustTranslate("FieldValue(T, 0)");
  tree->Evaluate(1);
  EXPECT_EQ(tree->DataType, etAny);
  EXPECT_EQ(List->GetVarExp("T.BLOB")->DataType, etAny);
}

TEST_F(DBFunctions, UndefineFields) {
  List->DefineFields(Orders->Handle(), "Orders");
  List->SetVarExp("X", CreateIntExp(1));
  List->DefineFields(Orders->Handle(), "");  // ID and AMOUNT as well
  ASSERT_EQ(List->Count(), 6);
  List->UndefineFields(Orders->Handle() + 1, "Orders");  // another handle: nothing
  List->UndefineFields(Orders->Handle(), "Other");       // another name: nothing
  EXPECT_EQ(List->Count(), 6);
  List->UndefineFields(Orders->Handle(), "orders");
  ASSERT_EQ(List->Count(), 3);
  EXPECT_EQ(List->Strings(0), "X");
  EXPECT_EQ(List->Strings(1), "ID");
  // Also after the dataset is gone.
  const int64_t handle = Orders->Handle();
  Orders.reset();
  UndefineFields(List.get(), handle, "");
  ASSERT_EQ(List->Count(), 1);
  EXPECT_EQ(List->Strings(0), "X");
  // The dataset variable alone.
  DefineDataSet(List.get(), 5, "D");
  DefineDataSet(List.get(), 5, "");
  EXPECT_EQ(List->Count(), 2);
  UndefineDataSet(List.get(), "d");
  UndefineDataSet(List.get(), "");
  EXPECT_EQ(List->Count(), 1);
}

TEST_F(DBFunctions, RegisteredInOrder) {
  const std::vector<std::string> expected{"RecordNum",  "RecordCount", "DBEOF",           "DBBOF",
                                          "FieldValue", "FieldCount",  "FieldName",       "FieldNo",
                                          "FieldLen",   "FieldDec",    "FieldPriorValue", "FieldNextValue"};
  std::vector<std::string> names;
  for (const TFunctionDef& d : FunctionBatch(fbDataBase)) names.emplace_back(d.Name);
  EXPECT_EQ(names, expected);
  TFunctionList list;
  RegisterDBFunctions(list);
  ASSERT_EQ(list.Count(), 12);
  EXPECT_EQ(list.Strings(11), "FIELDNEXTVALUE");
  EXPECT_EQ(FindClass("TExp_DBField"), TExp_DBField::StaticClass());
  EXPECT_EQ(FindClass("TExp_DBFieldFunc"), TExp_DBFieldFunc::StaticClass());
  // The functions come after the base batches.
  GetTranslator()->FunctionList->Clear();
  RegisterBaseFunctions();
  const int base = GetTranslator()->FunctionList->Count();
  RegisterDBFunctions();
  EXPECT_EQ(GetTranslator()->FunctionList->IndexOf("RECORDNUM"), base);
}

}  // namespace
}  // namespace kv
