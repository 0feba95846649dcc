#include "foundation/Utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace kv {
namespace {

struct Utf8Case {
  const char* name;
  std::string bytes;
  size_t chars;          // characters, a malformed byte counting one
  size_t firstMalformed;  // == bytes.size() when well-formed
  std::u16string utf16;
};

const Utf8Case kCases[] = {
    {"empty", "", 0, 0, u""},
    {"ascii", "abc", 3, 3, u"abc"},
    {"two byte", "\xC3\xA9", 1, 2, u"\u00E9"},
    {"three byte chinese", "\xE4\xB8\xAD\xE6\x96\x87", 2, 6, u"\u4E2D\u6587"},
    {"four byte", "\xF0\x9F\x98\x80", 1, 4, u"\U0001F600"},
    {"stray continuation", "a\x80" "b", 3, 1, u"a\uFFFDb"},
    {"cut short at end", "a\xE4\xB8", 3, 1, u"a\uFFFD\uFFFD"},
    {"broken sequence", "\xE4" "a", 2, 0, u"\uFFFDa"},
    {"overlong slash", "\xC0\xAF", 2, 0, u"\uFFFD\uFFFD"},
    {"overlong three byte", "\xE0\x80\xAF", 3, 0, u"\uFFFD\uFFFD\uFFFD"},
    {"surrogate", "\xED\xA0\x80", 3, 0, u"\uFFFD\uFFFD\uFFFD"},
    {"above U+10FFFF", "\xF4\x90\x80\x80", 4, 0, u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"lead F5", "\xF5", 1, 0, u"\uFFFD"},
    {"gbk bytes", "\xC8\xAB\xB2\xBF", 3, 2, u"\u022B\uFFFD\uFFFD"},
    {"long ascii then bad", std::string(20, 'x') + "\xFF", 21, 20, std::u16string(20, u'x') + u"\uFFFD"},
};

TEST(Utf8, CountsValidatesAndConvertsEveryCase) {
  for (const Utf8Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf8CharCount(c.bytes), c.chars);
    EXPECT_EQ(FirstMalformedUtf8(c.bytes), c.firstMalformed);
    EXPECT_EQ(IsValidUtf8(c.bytes), c.firstMalformed == c.bytes.size());
    EXPECT_EQ(Utf8ToUtf16(c.bytes), c.utf16);
    if (IsValidUtf8(c.bytes)) {
      EXPECT_EQ(Utf16ToUtf8(c.utf16), c.bytes);
    }
  }
}

TEST(Utf8, PrefixNeverCutsASequence) {
  const std::string s = "a\xE4\xB8\xAD\xF0\x9F\x98\x80" "b";
  EXPECT_EQ(Utf8PrefixBytes(s, 0), 0u);
  EXPECT_EQ(Utf8PrefixBytes(s, 1), 1u);
  EXPECT_EQ(Utf8PrefixBytes(s, 2), 4u);
  EXPECT_EQ(Utf8PrefixBytes(s, 3), 8u);
  EXPECT_EQ(Utf8PrefixBytes(s, 4), 9u);
  EXPECT_EQ(Utf8PrefixBytes(s, 99), 9u);
  EXPECT_EQ(Utf8PrefixBytes("\xE4\xB8", 1), 1u);  // a cut-short sequence is malformed bytes
}

TEST(Utf8, EncodesEveryRangeAndReplacesWhatIsNoCharacter) {
  std::string out;
  for (char32_t cp : {U'\x7F', U'\x80', U'\x7FF', U'\x800', U'\xFFFF', U'\x10000', U'\x10FFFF'}) {
    out.clear();
    AppendUtf8(out, cp);
    char32_t back = 0;
    ASSERT_EQ(DecodeUtf8(out, 0, back), static_cast<int>(out.size()));
    EXPECT_EQ(back, cp);
  }
  for (char32_t bad : {char32_t{0xD800}, char32_t{0xDFFF}, char32_t{0x110000}}) {
    out.clear();
    AppendUtf8(out, bad);
    EXPECT_EQ(out, "\xEF\xBF\xBD");
  }
  EXPECT_EQ(Utf16ToUtf8(u"\xD800" "a"), "\xEF\xBF\xBD" "a");  // unpaired surrogate
}

// UTF-16 bytes of a file: each case in little-endian order; the big-endian
// form is the same with each unit's bytes swapped.
struct Utf16Case {
  const char* name;
  std::string le;        // little-endian bytes
  std::string utf8;      // with `final`
  std::vector<std::pair<size_t, size_t>> malformed;  // (offset, length)
  size_t consumedNotFinal;  // bytes taken without `final`
};

const Utf16Case kUtf16Cases[] = {
    {"empty", "", "", {}, 0},
    {"ascii", std::string("a\0b\0", 4), "ab", {}, 4},
    {"two and three byte", std::string("\xE9\0\x2D\x4E", 4), "\xC3\xA9\xE4\xB8\xAD", {}, 4},
    {"surrogate pair", std::string("\x3D\xD8\x00\xDE", 4), "\xF0\x9F\x98\x80", {}, 4},
    {"pair cut by the end", std::string("a\0\x3D\xD8\x00", 5), "a\xEF\xBF\xBD\xEF\xBF\xBD", {{2, 2}, {4, 1}}, 2},
    {"high surrogate cut", std::string("a\0\x3D\xD8", 4), "a\xEF\xBF\xBD", {{2, 2}}, 2},
    {"odd byte at the end", std::string("a\0b", 3), "a\xEF\xBF\xBD", {{2, 1}}, 2},
    {"lone low surrogate", std::string("\x00\xDCx\0", 4), "\xEF\xBF\xBDx", {{0, 2}}, 4},
    {"high then no low", std::string("\x3D\xD8x\0", 4), "\xEF\xBF\xBDx", {{0, 2}}, 4},
    {"nul unit", std::string("\0\0", 2), std::string("\0", 1), {}, 2},
};

TEST(Utf8, Utf16BytesInBothOrders) {
  for (const Utf16Case& c : kUtf16Cases) {
    for (bool big : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (big ? " BE" : " LE"));
      std::string bytes = c.le;
      if (big)
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
      std::string out = "<";
      std::vector<std::pair<size_t, size_t>> seen;
      size_t used = AppendUtf16BytesAsUtf8(bytes, big, true, out, [&](size_t o, size_t n) { seen.emplace_back(o, n); });
      EXPECT_EQ(used, bytes.size());
      EXPECT_EQ(out, "<" + c.utf8);
      EXPECT_EQ(seen, c.malformed);
      std::string partial;
      EXPECT_EQ(AppendUtf16BytesAsUtf8(bytes, big, false, partial), c.consumedNotFinal);
      // The rest given later, with `final`, gives the same text as all at once.
      AppendUtf16BytesAsUtf8(std::string_view(bytes).substr(c.consumedNotFinal), big, true, partial);
      EXPECT_EQ(partial, c.utf8);
    }
  }
}

}  // namespace
}  // namespace kv
