// The value type of the dataset interface and its conversions.
#include <gtest/gtest.h>

#include "data/Variant.h"
#include "foundation/Exceptions.h"

using namespace kv;

TEST(Variant, KindsAndDefaults) {
  TVariant v;
  EXPECT_TRUE(v.IsEmpty());
  EXPECT_TRUE(TVariant::Null().IsNull());
  EXPECT_EQ(TVariant(5).Type(), varInteger);
  EXPECT_EQ(TVariant(int64_t{5}).Type(), varInteger);
  EXPECT_EQ(TVariant(2.5).Type(), varFloat);
  EXPECT_EQ(TVariant(true).Type(), varBoolean);
  EXPECT_EQ(TVariant("x").Type(), varString);
  EXPECT_EQ(TVariant(std::string("x")).Type(), varString);
  EXPECT_EQ(TVariant::FromDateTime(1).Type(), varDateTime);
  EXPECT_EQ(TVariant::Array({1, "a"}).Type(), varArray);
  EXPECT_EQ(TVariant::Null().AsInteger(), 0);
  EXPECT_EQ(TVariant().AsString(), "");
}

TEST(Variant, TextConversions) {
  EXPECT_EQ(TVariant(" 42 ").AsInteger(), 42);
  EXPECT_EQ(TVariant("2.5").AsInteger(), 2);
  EXPECT_EQ(TVariant("3.5").AsInteger(), 4);
  EXPECT_DOUBLE_EQ(TVariant("-1e3").AsFloat(), -1000);
  EXPECT_TRUE(TVariant("TRUE").AsBoolean());
  EXPECT_FALSE(TVariant("0").AsBoolean());
  EXPECT_THROW(TVariant("abc").AsInteger(), EConvertError);
  EXPECT_THROW(TVariant("1,5").AsFloat(), EConvertError);
  EXPECT_THROW(TVariant("maybe").AsBoolean(), EConvertError);
  EXPECT_THROW(TVariant("31/12/2024").AsDateTime(), EConvertError);
  EXPECT_DOUBLE_EQ(TVariant("1899-12-31").AsDateTime(), 1);
  EXPECT_DOUBLE_EQ(TVariant("1899-12-30T12:00").AsDateTime(), 0.5);
  EXPECT_DOUBLE_EQ(TVariant("06:00:00").AsDateTime(), 0.25);
  EXPECT_THROW(TVariant("2023-02-29").AsDateTime(), EConvertError);
}

TEST(Variant, ToText) {
  EXPECT_EQ(TVariant(-12).AsString(), "-12");
  EXPECT_EQ(TVariant(0.1).AsString(), "0.1");
  EXPECT_EQ(TVariant(true).AsString(), "True");
  EXPECT_EQ(TVariant::FromDateTime(45351).AsString(), "2024-02-29");
  EXPECT_EQ(TVariant::FromDateTime(45351.75).AsString(), "2024-02-29 18:00:00");
  EXPECT_EQ(TVariant::FromDateTime(0.5).AsString(), "12:00:00");
  EXPECT_THROW(TVariant::Array({1}).AsString(), EConvertError);
  EXPECT_EQ(TVariant(true).AsInteger(), 1);
}

TEST(Variant, Arrays) {
  TVariant a = TVariant::Array({1, "two", TVariant::Null()});
  EXPECT_EQ(a.ArrayCount(), 3u);
  EXPECT_EQ(a.Element(1).AsString(), "two");
  EXPECT_TRUE(a.Element(2).IsNull());
  EXPECT_THROW(a.Element(3), EListError);
  EXPECT_THROW(TVariant(1).ArrayCount(), EConvertError);
  EXPECT_TRUE(a == TVariant::Array({1, "two", TVariant::Null()}));
  EXPECT_FALSE(a == TVariant::Array({1, "two"}));
}

TEST(Variant, LocateMatching) {
  EXPECT_TRUE(VarMatches(TVariant("Abc"), TVariant("abc"), true, false));
  EXPECT_FALSE(VarMatches(TVariant("Abc"), TVariant("abc"), false, false));
  EXPECT_TRUE(VarMatches(TVariant("Abcdef"), TVariant("Abc"), false, true));
  EXPECT_TRUE(VarMatches(TVariant(12), TVariant("12"), false, false));
  EXPECT_TRUE(VarMatches(TVariant(12), TVariant(12.0), false, false));
  EXPECT_FALSE(VarMatches(TVariant(12), TVariant("twelve"), false, false));
  EXPECT_TRUE(VarMatches(TVariant("12"), TVariant(12), false, false));
  EXPECT_TRUE(VarMatches(TVariant::Null(), TVariant(), false, false));
  EXPECT_FALSE(VarMatches(TVariant::Null(), TVariant(""), false, false));
}
