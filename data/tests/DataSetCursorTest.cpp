// The database functions over real datasets: every field type as the
// expression language reads it, re-binding when a dataset reopens with
// other fields, stale handles, the neighbouring-record functions at both
// ends, and the conversion between expression values and TVariant.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "data/DataSetCursor.h"
#include "data/ExpVariant.h"
#include "data/MemDataSet.h"
#include "expression/DBVarList.h"
#include "expression/ThreadExp.h"
#include "expression/tests/ExpTestUtil.h"
#include "foundation/DateUtils.h"

namespace kv {
namespace {

using kvtest::Eval;
using kvtest::MustTranslate;

// The thread's translator with the database functions, on a dataset
// variable list whose parent is the public list.
class DataSetCursors : public ::testing::Test {
protected:
  void SetUp() override {
    CreatePubVarList();
    RegisterDBFunctions();
    List = CreateDBVarList(GetPubVarList());
    SetVarList(List.get());
  }
  void TearDown() override { List.reset(); }

  // Opens `ds` empty with the fields (name, type, size) and appends the rows.
  static void Fill(TKVMemDataSet& ds, const std::vector<std::pair<std::string, TFieldType>>& fields,
                   const std::vector<std::vector<TVariant>>& rows) {
    ds.Close();
    ds.FieldDefs().Clear();
    for (const auto& [name, type] : fields) ds.FieldDefs().Add(name, type, type == ftString ? 20 : 0);
    ds.CreateDataSet();
    for (const auto& row : rows) {
      ds.Append();
      for (size_t i = 0; i < row.size(); ++i) ds.Fields(static_cast<int>(i)).SetValue(row[i]);
      ds.Post();
    }
    ds.First();
  }

  std::unique_ptr<TDBVarList> List;
};

// One row per field type code: the expression type, the display length
// (size 20 where a size applies), a value written into the field and what
// the field variable then reads, and what it reads when the field is null.
struct TTypeCase {
  TFieldType Type;
  TExpDataType ExpType;
  int32_t DisplayLength;
  TVariant Value;
  const char* Read;
  const char* NullRead;
};

std::vector<TTypeCase> TypeCases() {
  const TDateTime day = EncodeDate(2024, 5, 31);
  const TDateTime moment = EncodeDateTime(2024, 5, 31, 13, 45, 10, 0);
  const TDateTime time = EncodeTime(13, 45, 10, 0);
  return {
      {ftUnknown, etString, 10, TVariant("u"), "etString u", "etString "},
      {ftString, etString, 20, TVariant("abc"), "etString abc", "etString "},
      {ftSmallint, etInteger, 6, TVariant(-12), "etInteger -12", "etInteger 0"},
      {ftInteger, etInteger, 12, TVariant(123456), "etInteger 123456", "etInteger 0"},
      {ftWord, etInteger, 5, TVariant(65535), "etInteger 65535", "etInteger 0"},
      {ftBoolean, etBoolean, 2, TVariant(true), "etBoolean Yes", "etBoolean No"},
      {ftFloat, etReal, 16, TVariant(2.5), "etReal 2.5", "etReal 0"},
      {ftCurrency, etReal, 16, TVariant(1.25), "etReal 1.25", "etReal 0"},
      {ftBCD, etReal, 16, TVariant(3.5), "etReal 3.5", "etReal 0"},
      {ftDate, etDateTime, 10, TVariant::FromDateTime(day), "etDateTime 2024.05.31 00:00:00",
       "etDateTime 1899.12.30 00:00:00"},
      {ftTime, etDateTime, 10, TVariant::FromDateTime(time), "etDateTime 1899.12.30 13:45:10",
       "etDateTime 1899.12.30 00:00:00"},
      {ftDateTime, etDateTime, 20, TVariant::FromDateTime(moment), "etDateTime 2024.05.31 13:45:10",
       "etDateTime 1899.12.30 00:00:00"},
      {ftBytes, etString, 10, TVariant("b1"), "etString b1", "etString "},
      {ftVarBytes, etString, 10, TVariant("b2"), "etString b2", "etString "},
      {ftAutoInc, etInteger, 12, TVariant(7), "etInteger 7", "etInteger 0"},
      {ftBlob, etString, 10, TVariant("blob"), "etString blob", "etString "},
      {ftMemo, etString, 10, TVariant("memo text"), "etString memo text", "etString "},
      {ftGraphic, etString, 10, TVariant("g"), "etString g", "etString "},
      {ftFmtMemo, etString, 10, TVariant("fm"), "etString fm", "etString "},
      {ftParadoxOle, etString, 10, TVariant("po"), "etString po", "etString "},
      {ftDBaseOle, etString, 10, TVariant("do"), "etString do", "etString "},
      {ftTypedBinary, etString, 10, TVariant("tb"), "etString tb", "etString "},
      {ftCursor, etString, 10, TVariant("cu"), "etString cu", "etString "},
      {ftFixedChar, etString, 20, TVariant("fixed"), "etString fixed", "etString "},
      {ftWideString, etString, 20, TVariant("wide \xE5\xAD\x97"), "etString wide \xE5\xAD\x97", "etString "},
      // Beyond 2^53: read as an integer, never through a double.
      {ftLargeint, etInteger, 20, TVariant(int64_t{9007199254740993}), "etInteger 9007199254740993", "etInteger 0"},
      {ftADT, etString, 10, TVariant("adt"), "etString adt", "etString "},
      {ftArray, etString, 10, TVariant("arr"), "etString arr", "etString "},
      {ftReference, etString, 10, TVariant("ref"), "etString ref", "etString "},
      {ftDataSet, etString, 10, TVariant("ds"), "etString ds", "etString "},
      {ftOraBlob, etString, 10, TVariant("ob"), "etString ob", "etString "},
      {ftOraClob, etString, 10, TVariant("oc"), "etString oc", "etString "},
      {ftVariant, etString, 10, TVariant("var"), "etString var", "etString "},
      {ftInterface, etString, 10, TVariant("if"), "etString if", "etString "},
      {ftIDispatch, etString, 10, TVariant("id"), "etString id", "etString "},
      {ftGuid, etString, 20, TVariant("{6F9619FF-8B86-D011-B42D-00C04FC964FF}"),
       "etString {6F9619FF-8B86-D011-B42D-00C04FC964FF}", "etString "},
      {ftTimeStamp, etDateTime, 20, TVariant::FromDateTime(moment), "etDateTime 2024.05.31 13:45:10",
       "etDateTime 1899.12.30 00:00:00"},
      {ftFMTBcd, etReal, 16, TVariant(4.75), "etReal 4.75", "etReal 0"},
  };
}

TEST_F(DataSetCursors, EveryFieldTypeIsRead) {
  const std::vector<TTypeCase> cases = TypeCases();
  ASSERT_EQ(cases.size(), static_cast<size_t>(kFieldTypeCount));  // every code has its row
  TKVMemDataSet ds;
  for (const TTypeCase& c : cases) {
    TFieldDef& def = ds.FieldDefs().Add(std::string("F_") + FieldTypeName(c.Type), c.Type, 20);
    def.Precision = 3;
  }
  ds.CreateDataSet();
  ds.Append();
  for (size_t i = 0; i < cases.size(); ++i) ds.Fields(static_cast<int>(i)).SetValue(cases[i].Value);
  ds.Post();
  ds.Append();  // the second record: every field null
  ds.Fields(0).SetValue(TVariant("x"));
  ds.Fields(0).Clear();
  ds.Post();
  ds.First();

  TDataSetCursor cursor(ds);
  List->DefineFields(cursor.Handle(), "T");
  for (size_t i = 0; i < cases.size(); ++i) {
    const TTypeCase& c = cases[i];
    const std::string field = std::string("F_") + FieldTypeName(c.Type);
    SCOPED_TRACE(field);
    EXPECT_EQ(FieldExpType(c.Type), c.ExpType);
    const TDBFieldInfo info = cursor.FieldInfo(static_cast<int>(i));
    EXPECT_EQ(info.Type, c.ExpType);
    EXPECT_EQ(info.DisplayLength, c.DisplayLength);
    EXPECT_EQ(info.FieldNo, static_cast<int32_t>(i + 1));
    EXPECT_EQ(info.Precision, 3);
    EXPECT_EQ(List->GetVarExp("T." + field)->DataType, c.ExpType);
    EXPECT_EQ(Eval("T." + field), c.Read);
    EXPECT_EQ(Eval("FieldValue(T, '" + field + "')"), c.Read);
    EXPECT_EQ(Eval("FieldLen(T, " + std::to_string(i) + ")"), "etInteger " + std::to_string(c.DisplayLength));
  }
  ds.Next();
  for (const TTypeCase& c : cases) {
    const std::string field = std::string("F_") + FieldTypeName(c.Type);
    EXPECT_EQ(Eval("T." + field), c.NullRead) << field;
  }
  EXPECT_EQ(Eval("FieldDec(T, 'F_BCD')"), "etInteger 3");
  EXPECT_EQ(Eval("FieldNo(T, 'f_float')"), "etInteger 7");
  EXPECT_EQ(Eval("FieldCount(T)"), "etInteger " + std::to_string(kFieldTypeCount));
  EXPECT_EQ(Eval("RecordCount(T)"), "etInteger 2");
  EXPECT_EQ(Eval("RecordNum(T)"), "etInteger 2");
}

TEST_F(DataSetCursors, FieldVariablesRebindWhenTheDatasetReopens) {
  TKVMemDataSet ds;
  Fill(ds, {{"ID", ftInteger}, {"NAME", ftString}}, {{TVariant(1), TVariant("one")}, {TVariant(2), TVariant("two")}});
  TDataSetCursor cursor(ds);
  List->DefineFields(cursor.Handle(), "T");
  std::unique_ptr<TExpression> name = MustTranslate("T.NAME + '/' + ToStr(T.ID)");
  std::unique_ptr<TExpression> byIndex = MustTranslate("FieldValue(T, 1)");
  name->Evaluate(1);
  byIndex->Evaluate(1);
  EXPECT_EQ(name->GetString(), "one/1");
  EXPECT_EQ(byIndex->GetString(), "one");

  const uint64_t generation = cursor.Generation();
  ds.Close();
  EXPECT_NE(cursor.Generation(), generation);
  // While closed: a clear error, not a stale field.
  EXPECT_EQ(Eval("T.NAME"), "EXCEPTION Cannot read field 'NAME': the dataset is closed");
  EXPECT_EQ(Eval("DBEOF(T)"), "etBoolean Yes");
  EXPECT_EQ(Eval("FieldCount(T)"), "etInteger 0");

  // Reopened with the fields in another order (and one more).
  Fill(ds, {{"EXTRA", ftFloat}, {"NAME", ftString}, {"ID", ftInteger}},
       {{TVariant(0.5), TVariant("three"), TVariant(3)}});
  name->Evaluate(2);
  byIndex->Evaluate(2);
  EXPECT_EQ(name->GetString(), "three/3");
  EXPECT_EQ(byIndex->GetString(), "three");
  // A field that is gone is named in the error.
  Fill(ds, {{"ID", ftInteger}}, {{TVariant(4)}});
  EXPECT_EQ(Eval("T.ID"), "etInteger 4");
  EXPECT_EQ(Eval("T.NAME"),
            "EXCEPTION Field 'NAME' not found in the dataset of handle " + std::to_string(cursor.Handle()));
}

TEST_F(DataSetCursors, HandlesGoStaleWithTheirCursor) {
  TKVMemDataSet ds;
  Fill(ds, {{"ID", ftInteger}}, {{TVariant(1)}});
  auto cursor = std::make_unique<TDataSetCursor>(ds);
  const int64_t handle = cursor->Handle();
  EXPECT_NE(handle, 0);
  EXPECT_EQ(FindDBCursor(handle), cursor.get());
  List->DefineFields(handle, "T");
  std::unique_ptr<TExpression> tree = MustTranslate("T.ID + 1");
  tree->Evaluate(1);
  EXPECT_EQ(tree->GetInteger(), 2);
  cursor.reset();
  EXPECT_EQ(FindDBCursor(handle), nullptr);
  EXPECT_THROW(tree->Evaluate(2), EDBFunctionError);
  EXPECT_EQ(Eval("RecordNum(T)"), "EXCEPTION Dataset handle " + std::to_string(handle) + " names no open dataset");
  // A new cursor over the same dataset gets a new handle; the old one stays stale.
  TDataSetCursor again(ds);
  EXPECT_GT(again.Handle(), handle);
  EXPECT_THROW(tree->Evaluate(3), EDBFunctionError);
  List->Clear();
  List->DefineFields(again.Handle(), "T");
  EXPECT_EQ(Eval("T.ID + 1"), "etInteger 2");
}

TEST_F(DataSetCursors, PriorAndNextValuesAtBothEnds) {
  TKVMemDataSet ds;
  Fill(ds, {{"ID", ftInteger}, {"D", ftDateTime}},
       {{TVariant(10), TVariant::FromDateTime(EncodeDate(2020, 1, 2))},
        {TVariant(20), TVariant::FromDateTime(EncodeDate(2021, 1, 2))},
        {TVariant(30), TVariant::FromDateTime(EncodeDate(2022, 1, 2))}});
  TDataSetCursor cursor(ds);
  List->DefineFields(cursor.Handle(), "T");
  const struct {
    int Moves;  // Next (+) or Prior (-) calls before the checks
    const char* Prior;
    const char* Next;
    int RecNo;  // where the cursor stands afterwards
  } cases[] = {
      {0, "etInteger 0", "etInteger 20", 1},   // opened: at the beginning
      {1, "etInteger 10", "etInteger 30", 2},  // in the middle
      {-1, "etInteger 0", "etInteger 20", 1},  // the first record, Bof not set
      {2, "etInteger 20", "etInteger 0", 3},   // the last record, Eof not set
      {1, "etInteger 20", "etInteger 0", 3},   // at the end (Eof)
  };
  for (const auto& c : cases) {
    for (int i = 0; i < c.Moves; ++i) ds.Next();
    for (int i = 0; i < -c.Moves; ++i) ds.Prior();
    const bool bof = ds.Bof(), eof = ds.Eof();
    SCOPED_TRACE("record " + std::to_string(c.RecNo));
    EXPECT_EQ(Eval("FieldPriorValue(T, 'ID')"), c.Prior);
    EXPECT_EQ(Eval("FieldNextValue(T, 0)"), c.Next);
    EXPECT_EQ(ds.RecNo(), c.RecNo);
    EXPECT_EQ(ds.Bof(), bof);
    EXPECT_EQ(ds.Eof(), eof);
  }
  EXPECT_EQ(Eval("FieldNextValue(T, 'D')"), "etDateTime 1899.12.30 00:00:00");
  EXPECT_EQ(Eval("FieldPriorValue(T, 'D')"), "etDateTime 2021.01.02 00:00:00");
  EXPECT_EQ(Eval("FieldPriorValue(0, 'D')").rfind("etAny", 0), 0u);
  // An empty dataset has neither.
  Fill(ds, {{"ID", ftInteger}}, {});
  EXPECT_EQ(Eval("FieldPriorValue(T, 'ID')"), "etInteger 0");
  EXPECT_EQ(Eval("FieldNextValue(T, 'ID')"), "etInteger 0");
}

// ---- Expression values and TVariant -------------------------------------------------------

TEST(ExpVariant, ExpressionValuesToVariants) {
  const TDateTime moment = EncodeDateTime(2024, 5, 31, 13, 45, 10, 250);
  auto charExp = [](char c) {
    auto e = std::make_unique<TExpression>();
    e->DataType = etChar;
    e->Value.OrdValue = static_cast<uint8_t>(c);
    return e;
  };
  auto anyExp = std::make_unique<TExpression>();
  anyExp->DataType = etAny;
  const struct {
    std::unique_ptr<TExpression> Exp;
    TVariant Expected;
  } cases[] = {
      {CreateIntExp(INT64_MIN), TVariant(INT64_MIN)},
      {CreateRealExp(2.5L), TVariant(2.5)},
      {CreateRealExp(0.1L), TVariant(0.1)},  // the nearest double
      {CreateRealExp(1e-4000L), TVariant(0.0)},
      {CreateBoolExp(true), TVariant(true)},
      {CreateBoolExp(false), TVariant(false)},
      {CreateStrExp("text"), TVariant("text")},
      {CreateStrExp(""), TVariant("")},
      {charExp('x'), TVariant("x")},
      {charExp('\0'), TVariant("")},
      {CreateDateTimeExp(moment), TVariant::FromDateTime(moment)},
      {std::move(anyExp), TVariant::Null()},
  };
  for (const auto& c : cases) EXPECT_EQ(ExpToVariant(*c.Exp), c.Expected) << ExpAsString(c.Exp.get());
  EXPECT_EQ(ExpToVariant(*CreateDateTimeExp(moment)).AsString(), "2024-05-31 13:45:10.250");
}

TEST(ExpVariant, ExtendedRealsBecomeDoubles) {
  const long double above = static_cast<long double>(DBL_MAX) * 1.0000001L;
  EXPECT_THROW(ExtendedToDouble(above), EConvertError);
  EXPECT_THROW(ExtendedToDouble(-above), EConvertError);
  EXPECT_THROW(ExpToVariant(*CreateRealExp(1e400L)), EConvertError);
  // Within half a unit of the largest double: rounds to it.
  const long double justAbove = static_cast<long double>(DBL_MAX) * (1.0L + 1e-18L);
  EXPECT_EQ(ExtendedToDouble(justAbove), DBL_MAX);
  EXPECT_EQ(ExtendedToDouble(-1e-4000L), 0.0);
  EXPECT_TRUE(std::signbit(ExtendedToDouble(-1e-4000L)));
  EXPECT_EQ(ExtendedToDouble(std::numeric_limits<long double>::infinity()), std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::isnan(ExtendedToDouble(std::numeric_limits<long double>::quiet_NaN())));
  // Ties go to even: 1 + 2^-53 lies halfway between 1 and the next double.
  EXPECT_EQ(ExtendedToDouble(1.0L + std::ldexp(1.0L, -53)), 1.0);
}

TEST(ExpVariant, VariantsToExpressionValues) {
  const TDateTime moment = EncodeDateTime(2024, 5, 31, 13, 45, 10, 0);
  const struct {
    TVariant Value;
    const char* Read;
  } cases[] = {
      {TVariant(int64_t{-42}), "etInteger -42"},
      {TVariant(2.5), "etReal 2.5"},
      {TVariant(true), "etBoolean Yes"},
      {TVariant(false), "etBoolean No"},
      {TVariant("x"), "etString x"},  // one byte stays a text
      {TVariant("text"), "etString text"},
      {TVariant::FromDateTime(moment), "etDateTime 2024.05.31 13:45:10"},
      {TVariant::Null(), "etString "},
      {TVariant(), "etString "},
  };
  for (const auto& c : cases) {
    std::unique_ptr<TExpression> e = CreateVariantExp(c.Value);
    EXPECT_EQ(std::string(ExpDataTypeName(e->DataType)) + " " + e->GetString(), c.Read);
    // And back: the same value (the empty text stands for Null).
    if (!c.Value.IsNullOrEmpty()) {
      EXPECT_EQ(ExpToVariant(*e), c.Value) << c.Read;
    }
  }
  // A number into a node that held a text: the text is dropped.
  std::unique_ptr<TExpression> e = CreateStrExp("old");
  VariantToExp(TVariant(int64_t{5}), *e);
  EXPECT_EQ(e->DataType, etInteger);
  EXPECT_TRUE(e->Value.StrValue.empty());
  // An array is refused and the node keeps its value.
  EXPECT_THROW(VariantToExp(TVariant::Array({TVariant(1), TVariant(2)}), *e), EConvertError);
  EXPECT_EQ(e->DataType, etInteger);
  EXPECT_EQ(e->GetInteger(), 5);
}

}  // namespace
}  // namespace kv
