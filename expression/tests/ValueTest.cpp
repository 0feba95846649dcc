// Values: the conversions on reading and writing, the text form with its
// formats, AssignValue, raw copies, constants and persistence.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "expression/Expression.h"
#include "expression/Operators.h"
#include "expression/VarList.h"
#include "foundation/DateUtils.h"
#include "foundation/Exceptions.h"
#include "foundation/LibMessages.h"
#include "foundation/ObjectStream.h"
#include "foundation/Streams.h"
#include "foundation/UserInterface.h"
#include "testsupport/RecordingUI.h"

namespace kv {
namespace {

std::unique_ptr<TExpression> Typed(TExpDataType type) {
  auto e = std::make_unique<TExpression>();
  e->DataType = type;
  return e;
}

std::unique_ptr<TExpression> Text(std::string_view s) {
  auto e = Typed(etString);
  e->SetStrValue(s);
  return e;
}

TEST(ExpValues, NewNodeReadsAsZero) {
  TExpression e;
  EXPECT_EQ(e.DataType, etInteger);
  EXPECT_EQ(e.GetInteger(), 0);
  EXPECT_EQ(e.GetReal(), 0);
  EXPECT_EQ(e.GetString(), "0");
  EXPECT_FALSE(e.GetBoolean());
  EXPECT_EQ(e.GetChar(), '\0');
  EXPECT_EQ(e.SyncFlag, 2147483647);
  EXPECT_EQ(e.FormatExp(), nullptr);
  for (int i = 0; i < kSubExpCount; ++i) EXPECT_EQ(e.GetSubExp(i), nullptr);
}

TEST(ExpValues, BooleanReadings) {
  EXPECT_FALSE(CreateIntExp(-5)->GetBoolean());
  EXPECT_TRUE(CreateIntExp(7)->GetBoolean());
  EXPECT_TRUE(CreateRealExp(0.5L)->GetBoolean());
  EXPECT_FALSE(CreateRealExp(-0.5L)->GetBoolean());
  EXPECT_TRUE(CreateStrExp("y")->GetBoolean());
  EXPECT_FALSE(CreateStrExp("n")->GetBoolean());
  EXPECT_TRUE(Text("yes")->GetBoolean());
  EXPECT_FALSE(Text("yes ")->GetBoolean());
  EXPECT_TRUE(CreateDateTimeExp(-1)->GetBoolean());
  EXPECT_FALSE(Typed(etAny)->GetBoolean());
}

TEST(ExpValues, PutIntegerIntoBooleanKeepsTheLowByte) {
  auto b = Typed(etBoolean);
  b->PutInteger(256);
  EXPECT_FALSE(b->GetBoolean());
  b->PutInteger(257);
  EXPECT_TRUE(b->GetBoolean());
}

TEST(ExpValues, IntegerFromText) {
  EXPECT_EQ(Text("12a")->GetInteger(), 0);
  EXPECT_EQ(Text("$1F")->GetInteger(), 31);
  EXPECT_EQ(Text(" -42")->GetInteger(), -42);
  EXPECT_EQ(Text("99999999999999999999")->GetInteger(), 0);
  EXPECT_EQ(Text("")->GetInteger(), 0);
  EXPECT_EQ(CreateStrExp("A")->GetInteger(), 65);
}

TEST(ExpValues, IntegerFromRealsRoundsToEven) {
  EXPECT_EQ(CreateRealExp(2.5L)->GetInteger(), 2);
  EXPECT_EQ(CreateRealExp(3.5L)->GetInteger(), 4);
  EXPECT_EQ(CreateRealExp(-2.5L)->GetInteger(), -2);
  EXPECT_EQ(CreateRealExp(1E30L)->GetInteger(), 0);  // does not fit: 0, never a failure
  EXPECT_EQ(CreateDateTimeExp(1.5)->GetInteger(), 2);
}

TEST(ExpValues, RealsAndCharacters) {
  EXPECT_EQ(Text("2.5e2xyz")->GetReal(), 250);
  EXPECT_EQ(Text("abc")->GetReal(), 0);
  EXPECT_EQ(CreateBoolExp(true)->GetReal(), 1);
  EXPECT_EQ(CreateIntExp(0x141)->GetChar(), 'A');
  EXPECT_EQ(CreateRealExp(65.9L)->GetChar(), 'A');
  EXPECT_EQ(CreateBoolExp(true)->GetChar(), 'Y');
  EXPECT_EQ(CreateBoolExp(false)->GetChar(), 'N');
  EXPECT_EQ(Text("hello")->GetChar(), 'h');
  EXPECT_EQ(Text("")->GetChar(), '\0');
  EXPECT_EQ(CreateDateTimeExp(EncodeDate(2003, 5, 17))->GetChar(), '2');
}

TEST(ExpValues, TextForms) {
  EXPECT_EQ(CreateBoolExp(true)->GetString(), "Yes");
  EXPECT_EQ(CreateBoolExp(false)->GetString(), "No");
  EXPECT_EQ(CreateDateTimeExp(EncodeDateTime(2003, 5, 17, 8, 30, 0, 0))->GetString(), "2003.05.17 08:30:00");
  EXPECT_EQ(CreateRealExp(3.5L)->GetString(), "3.5");
  EXPECT_EQ(CreateRealExp(1000)->GetString(), "1000");
  EXPECT_EQ(CreateRealExp(2147483648.0L)->GetString(), "2147483648");
  EXPECT_EQ(CreateRealExp(0.1L + 0.2L)->GetString(), "0.3");
  EXPECT_EQ(CreateRealExp(1E20L)->GetString(), "1E20");
  EXPECT_EQ(CreateRealExp(1.5E-7L)->GetString(), "1.5E-7");
  EXPECT_EQ(Typed(etAny)->GetString(), "");
  EXPECT_EQ(CreateStrExp("x")->GetString(), "x");
}

TEST(ExpValues, FormatStrings) {
  EXPECT_EQ(CreateIntExp(1)->GetFormatStr(), "%d");
  EXPECT_EQ(CreateRealExp(1)->GetFormatStr(), "%g");
  EXPECT_EQ(CreateDateTimeExp(1)->GetFormatStr(), "YYYY.MM.DD hh:nn:ss");
  EXPECT_EQ(CreateBoolExp(true)->GetFormatStr(), "%s");
  auto e = CreateIntExp(42);
  e->SetFormatExp(Text("%5d").release());
  EXPECT_EQ(e->GetFormatStr(), "%5d");
  EXPECT_EQ(e->GetString(), "   42");
  e->SetFormatExp(Text("").release());  // an empty format means the default
  EXPECT_EQ(e->GetString(), "42");
  auto b = CreateBoolExp(true);
  b->SetFormatExp(Text("<%s>").release());
  EXPECT_EQ(b->GetString(), "<Yes>");
  auto c = CreateStrExp("q");
  c->SetFormatExp(Text("[%s]").release());
  EXPECT_EQ(c->GetString(), "[q]");
}

TEST(ExpValues, BadFormatIsReportedAndGivesTheFormat) {
  kvtest::TRecordingUI ui;
  kvtest::UIScope scope(&ui);
  auto e = Text("abc");
  e->SetFormatExp(Text("%d").release());
  EXPECT_EQ(e->GetString(), "%d");
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.types[0], mtError);
  EXPECT_EQ(ui.messages[0].rfind(SExpFormatStringError.c_str(), 0), 0u);
}

TEST(ExpValues, WritingConversions) {
  auto i = Typed(etInteger);
  i->PutReal(2.5L);
  EXPECT_EQ(i->GetInteger(), 2);
  i->PutBoolean(true);
  EXPECT_EQ(i->GetInteger(), 1);
  i->PutChar('A');
  EXPECT_EQ(i->GetInteger(), 65);
  i->PutString("$10");
  EXPECT_EQ(i->GetInteger(), 16);
  EXPECT_THROW(i->PutString("12a"), EConvertError);
  i->PutDateTime(1.6);
  EXPECT_EQ(i->GetInteger(), 2);

  auto s = Typed(etString);
  s->PutInteger(-12);
  EXPECT_EQ(s->GetString(), "-12");
  s->PutReal(0.1L + 0.2L);
  EXPECT_EQ(s->GetString(), "0.3");
  s->PutBoolean(false);
  EXPECT_EQ(s->GetString(), "No");
  s->PutChar('z');
  EXPECT_EQ(s->GetString(), "z");
  s->PutDateTime(EncodeDateTime(2003, 5, 17, 8, 30, 0, 0));
  EXPECT_EQ(s->GetString(), "2003-05-17 08:30:00");
  s->PutDateTime(EncodeDate(2003, 5, 17));
  EXPECT_EQ(s->GetString(), "2003-05-17");

  auto b = Typed(etBoolean);
  b->PutString("y");
  EXPECT_TRUE(b->GetBoolean());
  b->PutString("Yes");
  EXPECT_TRUE(b->GetBoolean());
  b->PutString("true");
  EXPECT_FALSE(b->GetBoolean());
  b->PutDateTime(5);
  EXPECT_FALSE(b->GetBoolean());
  b->PutReal(256.4L);
  EXPECT_FALSE(b->GetBoolean());

  auto c = Typed(etChar);
  c->PutInteger(0x142);
  EXPECT_EQ(c->GetChar(), 'B');
  c->PutString("");
  EXPECT_EQ(c->GetChar(), '\0');
  c->PutReal(66.6L);
  EXPECT_EQ(c->GetChar(), 'C');

  auto d = Typed(etDateTime);
  d->PutString("2003-05-17 08:30");
  EXPECT_EQ(d->GetString(), "2003.05.17 08:30:00");
  EXPECT_THROW(d->PutString("not a date"), EConvertError);
  d->PutBoolean(true);
  EXPECT_EQ(d->GetReal(), 1);

  auto a = Typed(etAny);
  a->PutInteger(5);
  a->PutString("x");
  EXPECT_EQ(a->GetString(), "");
  EXPECT_EQ(a->GetInteger(), 0);
}

TEST(ExpValues, DateTimeFromText) {
  EXPECT_DOUBLE_EQ(Text("2003-05-17")->GetDateTime(), EncodeDate(2003, 5, 17));
  EXPECT_DOUBLE_EQ(Text("2003.05.17 08:30:00")->GetDateTime(), EncodeDateTime(2003, 5, 17, 8, 30, 0, 0));
  EXPECT_DOUBLE_EQ(Text("12:00")->GetDateTime(), 0.5);
  EXPECT_THROW(Text("abc")->GetDateTime(), EConvertError);
  EXPECT_THROW(Typed(etAny)->GetDateTime(), EConvertError);
  EXPECT_THROW(CreateBoolExp(true)->GetDateTime(), EConvertError);
  EXPECT_DOUBLE_EQ(CreateIntExp(3)->GetDateTime(), 3.0);
}

TEST(ExpValues, RawValues) {
  auto i = CreateIntExp(0x100000005LL);
  int32_t i32 = 0;
  i->GetValue(&i32);
  EXPECT_EQ(i32, 5);
  const int32_t minus = -3;
  i->PutValue(&minus);
  EXPECT_EQ(i->GetInteger(), -3);

  auto r = CreateRealExp(1.25L);
  unsigned char ten[10];
  r->GetValue(ten);
  auto r2 = Typed(etReal);
  r2->PutValue(ten);
  EXPECT_EQ(r2->GetReal(), 1.25L);

  auto s = Text("abc");
  std::string out;
  s->GetValue(&out);
  EXPECT_EQ(out, "abc");
  const std::string in = "xyz";
  s->PutValue(&in);
  EXPECT_EQ(s->GetString(), "xyz");
}

TEST(ExpValues, CreateStrExpTypes) {
  EXPECT_EQ(CreateStrExp("a")->DataType, etChar);
  EXPECT_EQ(CreateStrExp("")->DataType, etString);
  EXPECT_EQ(CreateStrExp("ab")->DataType, etString);
  EXPECT_EQ(CreateIntExp(3)->DataType, etInteger);
}

TEST(ExpValues, AssignValueAppliesTheSourceFormatToTexts) {
  auto src = Text("ab");
  src->SetFormatExp(Text("[%s]").release());
  TExpression dst;
  dst.AssignValue(*src);
  EXPECT_EQ(dst.DataType, etString);
  EXPECT_EQ(dst.GetString(), "[ab]");
  EXPECT_EQ(dst.FormatExp(), nullptr);

  auto num = CreateRealExp(2.5L);
  num->SetFormatExp(Text("%.3f").release());
  dst.AssignValue(*num);
  EXPECT_EQ(dst.DataType, etReal);
  EXPECT_EQ(dst.GetString(), "2.5");
}

TEST(ExpValues, AssignFormatValueAppliesAFormatOnce) {
  auto src = Text("ab");
  src->SetFormatExp(Text("[%s]").release());
  TExpression dst;
  dst.AssignFormatValue(*src);
  ASSERT_NE(dst.FormatExp(), nullptr);
  EXPECT_EQ(dst.GetString(), "[ab]");

  // A node with a format of its own keeps it and takes the formatted text.
  TExpression own;
  own.SetFormatExp(Text("<%s>").release());
  own.AssignFormatValue(*src);
  EXPECT_EQ(own.GetString(), "<[ab]>");
}

TEST(ExpValues, ExpAsFunctionsAndNulls) {
  EXPECT_EQ(ExpAsInteger(nullptr), 0);
  EXPECT_EQ(ExpAsString(nullptr), "");
  EXPECT_EQ(GetExpDataType(nullptr), etAny);
  auto e = CreateIntExp(3);
  SetExpDataType(e.get(), etReal);
  EXPECT_EQ(e->DataType, etReal);
  TExpression* raw = CreateIntExp(1).release();
  FreeExp(raw);
  EXPECT_EQ(raw, nullptr);
  EXPECT_TRUE(IsExpression(e.get()));
  TVarList list;
  EXPECT_FALSE(IsExpression(&list));
  EXPECT_FALSE(IsExpression(nullptr));
}

TEST(ExpValues, CopySelfIsDeep) {
  auto add = std::make_unique<TExp_Add>();
  ASSERT_TRUE(add->SetSubExp(0, CreateIntExp(2)));
  ASSERT_TRUE(add->SetSubExp(1, CreateIntExp(3)));
  ASSERT_TRUE(add->TransOverOK());
  add->SetFormatExp(Text("%3d").release());
  std::unique_ptr<TExpression> copy = add->CopySelf();
  ASSERT_STREQ(copy->ClassName(), "TExp_Add");
  ASSERT_NE(copy->GetSubExp(0), add->GetSubExp(0));
  add.reset();
  copy->Evaluate(NextStamp(copy->SyncFlag));
  EXPECT_EQ(copy->GetString(), "  5");
}

TEST(ExpValues, SyncFlagsOfTrees) {
  auto add = std::make_unique<TExp_Add>();
  add->SetSubExp(0, CreateIntExp(2));
  add->SetSubExp(1, CreateIntExp(3));
  add->SetSyncFlag(17);
  EXPECT_EQ(GetExpSyncFlag(add.get()), 17);
  EXPECT_EQ(add->GetSubExp(1)->SyncFlag, 17);
  SetExpSyncFlag(add.get(), 5);
  EXPECT_EQ(add->SyncFlag, 5);
  EXPECT_EQ(add->GetSubExp(0)->SyncFlag, 17);
  EXPECT_EQ(NextStamp(2147483647), -2147483647 - 1);
}

// ---- Persistence ------------------------------------------------------------------

std::unique_ptr<TBaseObject> RoundTrip(const TBaseObject& obj) {
  TMemoryStream m;
  StreamWriteObject(m, &obj);
  m.SetPosition(0);
  return std::unique_ptr<TBaseObject>(StreamReadObject(m));
}

TEST(ExpPersistence, EveryTypeRoundTrips) {
  std::vector<std::unique_ptr<TExpression>> values;
  values.push_back(CreateIntExp(-9223372036854775807LL - 1));
  values.push_back(CreateIntExp(123456789012345LL));
  values.push_back(CreateRealExp(0.1L));
  values.push_back(CreateBoolExp(true));
  values.push_back(CreateStrExp("q"));
  values.push_back(Text("text with \xE4\xBB\xB7 bytes"));
  values.push_back(CreateDateTimeExp(EncodeDateTime(2003, 5, 17, 8, 30, 0, 0)));
  values.push_back(Typed(etAny));
  for (auto& v : values) {
    std::unique_ptr<TBaseObject> back = RoundTrip(*v);
    auto* e = ObjCast<TExpression>(back.get());
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->DataType, v->DataType);
    EXPECT_EQ(e->GetString(), v->GetString());
    EXPECT_EQ(e->GetInteger(), v->GetInteger());
    EXPECT_EQ(e->GetReal(), v->GetReal());
  }
}

TEST(ExpPersistence, TreesWithFormatsRoundTrip) {
  auto add = std::make_unique<TExp_Add>();
  add->SetSubExp(0, CreateIntExp(2));
  add->SetSubExp(1, CreateRealExp(0.5L));
  add->TransOverOK();
  add->SetFormatExp(Text("%.2f").release());
  std::unique_ptr<TBaseObject> back = RoundTrip(*add);
  auto* e = ObjCast<TExp_Add>(back.get());
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->SubExpEnd(), 2);
  e->Evaluate(NextStamp(e->SyncFlag));
  EXPECT_EQ(e->GetString(), "2.50");
}

TEST(ExpPersistence, VarListsRoundTripWithUpperCaseKeys) {
  TVarList list;
  list.SetVarExp("price", CreateRealExp(9.5L));
  list.SetVarExp("Name", CreateStrExp("abc"));
  std::unique_ptr<TBaseObject> back = RoundTrip(list);
  auto* l = ObjCast<TVarList>(back.get());
  ASSERT_NE(l, nullptr);
  ASSERT_EQ(l->Count(), 2);
  EXPECT_EQ(l->Strings(0), "PRICE");
  EXPECT_EQ(l->Strings(1), "NAME");
  ASSERT_NE(l->GetVarExp("Price"), nullptr);
  EXPECT_EQ(l->GetVarExp("price")->GetString(), "9.5");
  EXPECT_EQ(l->GetVarExp("name")->GetString(), "abc");
  std::unique_ptr<TVarList> dup = Duplicate(list);
  EXPECT_EQ(dup->GetVarExp("PRICE")->GetReal(), 9.5L);
}

}  // namespace
}  // namespace kv
