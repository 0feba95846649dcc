#include "foundation/StrUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

namespace kv {
namespace {

// ---- Parameter lists --------------------------------------------------------------

TEST(StrUtilsParams, QuotedSeparatorsDoNotSplit) {
  const std::string text = "a,'b,c',d";
  EXPECT_EQ(SParamCount(text, ','), 3);
  EXPECT_EQ(SParam(text, ',', 0), "a");
  EXPECT_EQ(SParam(text, ',', 1), "'b,c'");
  EXPECT_EQ(SParam(text, ',', 2), "d");
  EXPECT_EQ(SParam(text, ',', 7), "d");  // past the end: the last field
  EXPECT_EQ(SParam("x;\"1;2\";y", ';', 1), "\"1;2\"");
}

struct CountCase {
  const char* text;
  int count;
};

class StrUtilsParamCount : public ::testing::TestWithParam<CountCase> {};

TEST_P(StrUtilsParamCount, Counts) { EXPECT_EQ(SParamCount(GetParam().text, ','), GetParam().count) << GetParam().text; }

INSTANTIATE_TEST_SUITE_P(Texts, StrUtilsParamCount,
                         ::testing::Values(CountCase{"", 0}, CountCase{"a", 1}, CountCase{",", 1},
                                           CountCase{"a,", 1},   // a final separator starts no field
                                           CountCase{",a", 2}, CountCase{"a,,b", 3}, CountCase{"a,b,", 2},
                                           CountCase{"'a,b", 1},  // an open quote runs to the end
                                           CountCase{"'it''s,x',y", 2}, CountCase{"#44,a", 2}));

TEST(StrUtilsParams, FieldsAroundEmptyAndTrailingSeparators) {
  EXPECT_EQ(SParam("a,,b", ',', 1), "");
  EXPECT_EQ(SParam("a,,b", ',', 2), "b");
  EXPECT_EQ(SParam("a,b,", ',', 1), "b");
  EXPECT_EQ(SParam("a,b,", ',', 2), "b");
  EXPECT_EQ(SParam("", ',', 0), "");
  EXPECT_EQ(SParam("abc", ',', -1), "abc");
}

TEST(StrUtilsParams, SeekSplitPositions) {
  EXPECT_EQ(SeekSplit("a,b", ',', 1), 2);
  EXPECT_EQ(SeekSplit("a,b", ',', 3), 4);  // none: length + 1
  EXPECT_EQ(SeekSplit("a,b", ',', 99), 4);
  EXPECT_EQ(SeekSplit("a,b", ',', -5), 2);
  EXPECT_EQ(SeekSplit("'x,y',z", ',', 1), 6);
}

TEST(StrUtilsParams, CutSParamConsumesFieldAndSeparator) {
  std::string text = "one;'t;wo';three";
  EXPECT_EQ(CutSParam(text, ';'), "one");
  EXPECT_EQ(text, "'t;wo';three");
  EXPECT_EQ(CutSParam(text, ';'), "'t;wo'");
  EXPECT_EQ(CutSParam(text, ';'), "three");
  EXPECT_EQ(text, "");
  EXPECT_EQ(CutSParam(text, ';'), "");
}

TEST(StrUtilsParams, SeparateEnvLine) {
  std::string key, value;
  SeparateEnvLine(" path = C:\\x=y", key, value);
  EXPECT_EQ(key, "PATH");
  EXPECT_EQ(value, " C:\\x=y");
  SeparateEnvLine("\tNoValue \r", key, value);
  EXPECT_EQ(key, "NOVALUE");
  EXPECT_EQ(value, "");
  SeparateEnvLine("=v", key, value);
  EXPECT_EQ(key, "");
  EXPECT_EQ(value, "v");
  SeparateEnvLine("k=", key, value);
  EXPECT_EQ(key, "K");
  EXPECT_EQ(value, "");
}

// ---- Trimming and pieces ----------------------------------------------------------

TEST(StrUtilsTrim, TrimIsRightOnlyAndLTrimLeftOnly) {
  const std::string text = std::string(" \t a b\r\n") + '\0' + " ";
  EXPECT_EQ(Trim(text), " \t a b");
  EXPECT_EQ(RTrim(text), " \t a b");
  EXPECT_EQ(LTrim(text), std::string("a b\r\n") + '\0' + " ");
  EXPECT_EQ(Trim(""), "");
  EXPECT_EQ(LTrim(" \t\r\n"), "");
  EXPECT_EQ(Trim("\v x\v"), "\v x\v");  // vertical tab is not whitespace here
}

TEST(StrUtilsPieces, LeftAndRight) {
  EXPECT_EQ(LeftStr("abcdef", 3), "abc");
  EXPECT_EQ(LeftStr("ab", 5), "ab");
  EXPECT_EQ(LeftStr("ab", -1), "");
  EXPECT_EQ(RightStr("abcdef", 3), "cdef");
  EXPECT_EQ(RightStr("abcdef", 0), "abcdef");
  EXPECT_EQ(RightStr("abcdef", 6), "f");
  EXPECT_EQ(RightStr("abcdef", 7), "");
}

TEST(StrUtilsPieces, RPosKeepsItsOneByteResult) {
  EXPECT_EQ(RPos('c', "abcabc"), 6);
  EXPECT_EQ(RPos('z', "abcabc"), 0);
  EXPECT_EQ(RPos('a', ""), 0);
  std::string longText(300, 'x');
  longText[9] = 'c';    // position 10
  longText[299] = 'c';  // position 300, beyond one byte
  // 300 mod 256 = 44: the search starts at position 44 and finds position 10.
  EXPECT_EQ(RPos('c', longText), 10);
  std::string exact(255, 'c');
  EXPECT_EQ(RPos('c', exact), 255);
  EXPECT_EQ(RPos('c', std::string(256, 'c')), 0);  // 256 mod 256 = 0: nothing searched
}

TEST(StrUtilsPieces, UpcaseFirst) {
  EXPECT_EQ(UpcaseFirst("hELLO wORLD"), "Hello world");
  EXPECT_EQ(UpcaseFirst(""), "");
  EXPECT_EQ(UpcaseFirst("1ABC"), "1abc");
  EXPECT_EQ(UpcaseFirst("\xC3\x89T\xC3\x89"), "\xC3\x89t\xC3\x89");  // UTF-8 bytes untouched
}

TEST(StrUtilsPieces, Replace) {
  std::string s = "abcdef";
  Replace(s, 2, 3, "XY");
  EXPECT_EQ(s, "aXYef");
  s = "abc";
  Replace(s, 2, 99, "-");
  EXPECT_EQ(s, "a-");
  s = "abc";
  Replace(s, 10, 2, "Z");
  EXPECT_EQ(s, "abcZ");
  s = "abc";
  Replace(s, 0, 2, "Z");
  EXPECT_EQ(s, "Zabc");
  s = "abc";
  Replace(s, 2, 0, "");
  EXPECT_EQ(s, "abc");
}

TEST(StrUtilsPieces, SpaceAndChars) {
  EXPECT_EQ(Space(3), "   ");
  EXPECT_EQ(Space(0), "");
  EXPECT_EQ(Space(-2), "");
  EXPECT_EQ(Chars('*', 4), "****");
}

// ---- Like -------------------------------------------------------------------------

struct LikeCase {
  const char* text;
  const char* pattern;
  bool match;
};

class StrUtilsLike : public ::testing::TestWithParam<LikeCase> {};

TEST_P(StrUtilsLike, Matches) {
  const LikeCase& c = GetParam();
  EXPECT_EQ(Like(c.text, c.pattern), c.match) << "Like('" << c.text << "', '" << c.pattern << "')";
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, StrUtilsLike,
    ::testing::Values(LikeCase{"abc", "a*c", true}, LikeCase{"abc", "a?c", true}, LikeCase{"abc", "A*", false},
                      LikeCase{"a*c", "a\\*c", true}, LikeCase{"abc", "a\\*c", false},
                      LikeCase{"", "*", true}, LikeCase{"anything", "*", true}, LikeCase{"ab", "ab*", false},
                      LikeCase{"abc", "ab*", true}, LikeCase{"abc", "abc", true}, LikeCase{"abc", "ab", false},
                      LikeCase{"ab", "abc", false}, LikeCase{"", "", true}, LikeCase{"a", "", false},
                      LikeCase{"abc", "*c", true},
                      // no backtracking: after '*' a literal is taken at its first occurrence
                      LikeCase{"abcbc", "*bc", false},
                      LikeCase{"abcbd", "a*bd", false}, LikeCase{"a?c", "a\\?c", true},
                      LikeCase{"abc", "a\\", false},  // a '\' at the end fails
                      LikeCase{"abc", "a*?c", true},  // '?' right after '*' matches nothing
                      LikeCase{"a\\b", "a\\\\b", true}, LikeCase{"xyz", "*?", true},
                      // the first round always runs: a lone '?' accepts the empty text
                      LikeCase{"", "?", true}, LikeCase{"", "a", false}, LikeCase{"", "?a", false}));

TEST(StrUtilsLike, HostilePatternsRunInLinearTime) {
  const std::string text(200000, 'a');
  std::string pattern;
  for (int i = 0; i < 2000; ++i) pattern += "*a";
  pattern += "b";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Like(text, pattern));
  EXPECT_TRUE(Like(text + "b", "*b"));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::seconds(2));
}

// ---- Buffers ----------------------------------------------------------------------

TEST(StrUtilsBuffers, StrCopyAndWideStrLen) {
  char buf[8] = "zzzzzzz";
  EXPECT_EQ(StrCopy(buf, "abc"), buf);
  EXPECT_STREQ(buf, "abc");
  StrCopy(buf, nullptr);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(WideStrLen(u"h\u00e9llo"), 5u);
  EXPECT_EQ(WideStrLen(u""), 0u);
  EXPECT_EQ(WideStrLen(nullptr), 0u);
}

TEST(StrUtilsBuffers, StrConcatPasReplacesTheBuffer) {
  char* buf = nullptr;
  StrConcatPas(buf, {"ab", "", "cd"});
  ASSERT_NE(buf, nullptr);
  EXPECT_STREQ(buf, "abcd");
  char* old = buf;
  StrConcatPas(buf, {"e"});
  EXPECT_NE(buf, old);
  EXPECT_STREQ(buf, "abcde");
  StrConcatPas(buf, {});
  EXPECT_STREQ(buf, "abcde");
  StrDispose(buf);
  char* other = StrNew("xy");
  EXPECT_STREQ(other, "xy");
  StrDispose(other);
  StrDispose(nullptr);
}

// ---- Scanners ------------------------------------------------------------------------

struct ScanCase {
  const char* text;
  int start;
  int end;
};

class StrUtilsSeekEndOfInt : public ::testing::TestWithParam<ScanCase> {};
TEST_P(StrUtilsSeekEndOfInt, End) {
  EXPECT_EQ(SeekEndOfInt(GetParam().text, GetParam().start), GetParam().end) << GetParam().text;
}
INSTANTIATE_TEST_SUITE_P(Texts, StrUtilsSeekEndOfInt,
                         ::testing::Values(ScanCase{"123x", 1, 4}, ScanCase{"-12", 1, 4}, ScanCase{"+7", 1, 3},
                                           ScanCase{"-x", 1, 1}, ScanCase{"+", 1, 1}, ScanCase{"$1Fg", 1, 4},
                                           ScanCase{"$", 1, 1}, ScanCase{"$g", 1, 1}, ScanCase{"-$ff", 1, 5},
                                           ScanCase{"a12", 2, 4}, ScanCase{"12", 3, 3}, ScanCase{"12", 0, 0},
                                           ScanCase{"", 1, 1}));

class StrUtilsSeekEndOfNum : public ::testing::TestWithParam<ScanCase> {};
TEST_P(StrUtilsSeekEndOfNum, End) {
  EXPECT_EQ(SeekEndOfNum(GetParam().text, GetParam().start), GetParam().end) << GetParam().text;
}
INSTANTIATE_TEST_SUITE_P(Texts, StrUtilsSeekEndOfNum,
                         ::testing::Values(ScanCase{"1.5E+3x", 1, 7}, ScanCase{"-x", 1, 1}, ScanCase{"-1", 1, 3},
                                           ScanCase{"1..2.", 1, 6},  // points are taken as they come
                                           ScanCase{".5", 1, 1}, ScanCase{"2e", 1, 2}, ScanCase{"2e-", 1, 2},
                                           ScanCase{"2e5", 1, 4}, ScanCase{"2E$A", 1, 5}, ScanCase{"x9", 2, 3},
                                           ScanCase{"9", 2, 2}, ScanCase{"", 1, 1}));

TEST(StrUtilsScan, SeekEndOfID) {
  EXPECT_EQ(SeekEndOfID("abc_1+x", 1), 6);
  EXPECT_EQ(SeekEndOfID("1abc", 1), 1);
  EXPECT_EQ(SeekEndOfID("_", 1), 2);
  EXPECT_EQ(SeekEndOfID("\xE5\x90\x8D\xE7\xA7\xB0 x", 1), 7);  // a UTF-8 name
  const TCharSet first = TCharSet().AddRange('A', 'Z');
  const TCharSet next = TCharSet{'.', '@'}.AddRange('A', 'Z');
  EXPECT_EQ(SeekEndOfID("DS.F@X y", 1, first, next), 7);
  EXPECT_EQ(SeekEndOfID("a", 1, first, next), 1);
  EXPECT_EQ(SeekEndOfID("AB", 5, first, next), 5);
}

TEST(StrUtilsScan, CharSets) {
  EXPECT_TRUE(IdentFirstChars.Contains('_'));
  EXPECT_TRUE(IdentFirstChars.Contains(static_cast<unsigned char>(0x80)));
  EXPECT_TRUE(IdentFirstChars.Contains(static_cast<unsigned char>(0xFF)));
  EXPECT_FALSE(IdentFirstChars.Contains('1'));
  EXPECT_TRUE(IdentNextChars.Contains('1'));
  EXPECT_FALSE(IdentNextChars.Contains('.'));
  TCharSet s{'a'};
  s.Remove('a');
  EXPECT_EQ(s, TCharSet());
}

class StrUtilsSeekEndOfStr : public ::testing::TestWithParam<ScanCase> {};
TEST_P(StrUtilsSeekEndOfStr, End) {
  EXPECT_EQ(SeekEndOfStr(GetParam().text, GetParam().start), GetParam().end) << GetParam().text;
}
INSTANTIATE_TEST_SUITE_P(Texts, StrUtilsSeekEndOfStr,
                         ::testing::Values(ScanCase{"'It''s'#13^J+1", 1, 13}, ScanCase{"\"a\"'b' x", 1, 7},
                                           ScanCase{"'open", 1, 6},  // runs to the end
                                           ScanCase{"#", 1, 1}, ScanCase{"#$1F;", 1, 5}, ScanCase{"#-1", 1, 1},
                                           ScanCase{"^", 1, 1}, ScanCase{"^1", 1, 1}, ScanCase{"^_^a", 1, 5},
                                           ScanCase{"'a' 'b'", 1, 4}, ScanCase{"x'a'", 1, 1},
                                           ScanCase{"''", 1, 3}, ScanCase{"'", 1, 2}, ScanCase{"", 1, 1}));

TEST(StrUtilsScan, SeekCloseBracket) {
  bool found = false;
  EXPECT_EQ(SeekCloseBracket("(a(b)c)d", 1, found), 8);
  EXPECT_TRUE(found);
  EXPECT_EQ(SeekCloseBracket("f(')', \"(\")+1", 2, found), 12);
  EXPECT_TRUE(found);
  EXPECT_EQ(SeekCloseBracket("((x)", 1, found), 5);
  EXPECT_FALSE(found);
  EXPECT_EQ(SeekCloseBracket("(')", 1, found), 4);  // the quote hides the bracket
  EXPECT_FALSE(found);
  EXPECT_EQ(SeekCloseBracket("x)", 1, found), 1);
  EXPECT_FALSE(found);
  EXPECT_EQ(SeekCloseBracket("(", 3, found), 3);
  EXPECT_FALSE(found);
}

// ---- Constants ---------------------------------------------------------------------

TEST(StrUtilsConst, ConstToStrJoinsPieces) {
  std::string text = "'It''s'#13^J";
  EXPECT_EQ(ConstToStr(text), "It's\r\n");
  EXPECT_EQ(text, "");

  text = "  'a' + \"b\" #$41 rest";
  EXPECT_EQ(ConstToStr(text), "abA");
  EXPECT_EQ(text, " rest");

  text = "'x' + y";
  EXPECT_EQ(ConstToStr(text), "x");
  EXPECT_EQ(text, " + y");  // a '+' that no piece follows stays

  text = "''''";
  EXPECT_EQ(ConstToStr(text), "'");
  text = "'a''b''c'";
  EXPECT_EQ(ConstToStr(text), "a'b'c");
  text = "\"say \"\"hi\"\"\"";
  EXPECT_EQ(ConstToStr(text), "say \"hi\"");
  text = "'a' 'b'";  // separated pieces: no quote between them
  EXPECT_EQ(ConstToStr(text), "ab");
  text = "'a'\"b\"";  // different quotes side by side
  EXPECT_EQ(ConstToStr(text), "ab");
}

TEST(StrUtilsConst, ConstToStrCodesAndEdges) {
  std::string text = "^a^_#0#256#65";
  EXPECT_EQ(ConstToStr(text), std::string("\x01\x1F\0\0A", 5));
  text = "'unterminated";
  EXPECT_EQ(ConstToStr(text), "unterminated");
  EXPECT_EQ(text, "");
  text = "  abc";
  EXPECT_EQ(ConstToStr(text), "");
  EXPECT_EQ(text, "  abc");
  text = "";
  EXPECT_EQ(ConstToStr(text), "");
  text = "#";
  EXPECT_EQ(ConstToStr(text), "");
  EXPECT_EQ(text, "#");
}

TEST(StrUtilsConst, ConstToInt) {
  std::string text = "123abc";
  EXPECT_EQ(ConstToInt(text), 123);
  EXPECT_EQ(text, "abc");
  text = "-$FF,";
  EXPECT_EQ(ConstToInt(text), -255);
  EXPECT_EQ(text, ",");
  text = "";
  EXPECT_EQ(ConstToInt(text), 0);
  text = "x1";
  EXPECT_EQ(ConstToInt(text), 0);
  EXPECT_EQ(text, "x1");
  text = "-9223372036854775808";
  EXPECT_EQ(ConstToInt(text), INT64_MIN);
  text = "18446744073709551617";  // wraps
  EXPECT_EQ(ConstToInt(text), 1);
}

// ---- Boolean words ------------------------------------------------------------------

TEST(StrUtilsBool, CharsAndWordsNeverChange) {
  EXPECT_EQ(BoolChars()[false], 'N');
  EXPECT_EQ(BoolChars()[true], 'Y');
  EXPECT_EQ(BoolStrs()[false], "No");
  EXPECT_EQ(BoolStrs()[true], "Yes");
  SetBoolChars(TBoolChars{'F', 'T'});
  SetBoolStrs(TBoolStrs{"False", "True"});
  EXPECT_EQ(BoolChars()[true], 'Y');
  EXPECT_EQ(BoolStrs()[false], "No");
}

// ---- Robustness --------------------------------------------------------------------

TEST(StrUtilsRobustness, ScannersStayInsideEveryPrefix) {
  const std::string samples[] = {"'a''b'#13^J", "(x('y)')", "1.5E+3", "-$1F", "\"", "#$", "^", "a,'b"};
  for (const std::string& s : samples) {
    for (size_t n = 0; n <= s.size(); ++n) {
      const std::string prefix = s.substr(0, n);  // exact-size copies let ASan see overreads
      const int len = static_cast<int>(prefix.size());
      for (int pos = 0; pos <= len + 1; ++pos) {
        bool found = false;
        EXPECT_LE(SeekEndOfInt(prefix, pos), std::max(pos, len + 1));
        EXPECT_LE(SeekEndOfNum(prefix, pos), std::max(pos, len + 1));
        EXPECT_LE(SeekEndOfStr(prefix, pos), std::max(pos, len + 1));
        EXPECT_LE(SeekEndOfID(prefix, pos), std::max(pos, len + 1));
        EXPECT_LE(SeekCloseBracket(prefix, pos, found), std::max(pos, len + 1));
        EXPECT_LE(SeekSplit(prefix, ',', pos), len + 1);
      }
      std::string copy = prefix;
      (void)ConstToStr(copy);
      copy = prefix;
      (void)ConstToInt(copy);
      (void)SParamCount(prefix, ',');
      (void)SParam(prefix, ',', 1);
    }
  }
}

}  // namespace
}  // namespace kv
