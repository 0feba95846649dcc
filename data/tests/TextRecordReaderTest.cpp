// The record reader on tricky input: qualifiers, separators inside them,
// line ends of every kind, NUL bytes, very wide and very long records,
// input cut anywhere.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "data/TextRecordReader.h"
#include "foundation/Utf8.h"
#include "testsupport/TempFiles.h"

using namespace kv;

namespace {

using Records = std::vector<std::vector<std::string>>;

TTextLayout Delimited(std::string sep = ",", std::string qual = "\"", std::string row = "\r\n") {
  TTextLayout l;
  l.Type = tftDelimited;
  l.Separator = std::move(sep);
  l.Qualifier = std::move(qual);
  l.RowSeparator = std::move(row);
  return l;
}

TTextLayout Fixed(std::vector<int32_t> widths, std::string row = "\r\n") {
  TTextLayout l;
  l.Type = tftFixedWidths;
  l.RowSeparator = std::move(row);
  l.Widths = std::move(widths);
  return l;
}

Records ReadAll(const TTextLayout& layout, std::string_view data) {
  TTextRecordReader r(layout);
  r.OpenMemory(data);
  Records out;
  while (!r.AtEnd()) {
    r.ReadRecord();
    std::vector<std::string> rec;
    for (size_t i = 0; i < r.FieldCount(); ++i) rec.emplace_back(r.Field(i));
    out.push_back(std::move(rec));
  }
  return out;
}

// Each record with the reason it is bad ("" when it is not), whether it
// ended at a record separator and the input taken up to its end.
struct TRead {
  Records records;
  std::vector<std::string> errors;
  std::vector<bool> ended;
  std::vector<uint64_t> consumed;
  bool operator==(const TRead&) const = default;
};

TRead ReadAllFrom(TTextRecordReader& r) {
  TRead out;
  while (!r.AtEnd()) {
    r.ReadRecord();
    std::vector<std::string> rec;
    for (size_t i = 0; i < r.FieldCount(); ++i) rec.emplace_back(r.Field(i));
    out.records.push_back(std::move(rec));
    out.errors.push_back(r.RecordError());
    out.ended.push_back(r.EndedBySeparator());
    out.consumed.push_back(r.Consumed());
  }
  return out;
}

TRead ReadWithErrors(const TTextLayout& layout, std::string_view data) {
  TTextRecordReader r(layout);
  r.OpenMemory(data);
  return ReadAllFrom(r);
}

std::string WriteTemp(const std::string& name, const std::string& content) {
  return kvtest::WriteTempFile("vandrel_reader", name, content);
}

TRead ReadFile(const TTextLayout& layout, const std::string& path, uint64_t limit = UINT64_MAX) {
  TTextRecordReader r(layout);
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  EXPECT_GE(fd, 0);
  r.OpenFile(fd, limit);
  return ReadAllFrom(r);
}

// UTF-8 text as the bytes of a UTF-16 file, with its byte-order mark when asked.
std::string Utf16File(std::string_view utf8, bool big, bool bom = true) {
  std::string out;
  if (bom) out = big ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t u : Utf8ToUtf16(utf8)) {
    char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    out += big ? hi : lo;
    out += big ? lo : hi;
  }
  return out;
}

TTextLayout WithEncoding(TTextLayout l, std::string encoding) {
  l.Encoding = std::move(encoding);
  return l;
}

TTextLayout CharWidths(TTextLayout l) {
  l.CharacterWidths = true;
  return l;
}

struct TCase {
  const char* name;
  TTextLayout layout;
  std::string input;
  Records expected;
  std::vector<std::string> errors;  // expected RecordError() of each record, "" for none; empty: all ""
};

void RunCases(const std::vector<TCase>& cases) {
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TRead r = ReadWithErrors(c.layout, c.input);
    EXPECT_EQ(r.records, c.expected);
    std::vector<std::string> want = c.errors;
    if (want.empty()) want.assign(c.expected.size(), "");
    EXPECT_EQ(r.errors, want);
  }
}

}  // namespace

TEST(TextRecordReader, PlainCsv) {
  EXPECT_EQ(ReadAll(Delimited(), "a,b,c\r\nd,e,f\r\n"), (Records{{"a", "b", "c"}, {"d", "e", "f"}}));
}

TEST(TextRecordReader, SeparatorInsideQualifiers) {
  EXPECT_EQ(ReadAll(Delimited(), "\"a,b\",c\r\n"), (Records{{"a,b", "c"}}));
}

TEST(TextRecordReader, DoubledQualifierIsOneQualifier) {
  EXPECT_EQ(ReadAll(Delimited(), "\"a\"\"b\",c\r\n"), (Records{{"a\"b", "c"}}));
  EXPECT_EQ(ReadAll(Delimited(), "\"\"\"\"\r\n"), (Records{{"\""}}));
}

TEST(TextRecordReader, TextBeforeAnOpeningQualifierIsDropped) {
  EXPECT_EQ(ReadAll(Delimited(), "ab\"cd\",x\r\n"), (Records{{"cd", "x"}}));
}

TEST(TextRecordReader, ByteAfterAClosingQualifierIsKept) {
  EXPECT_EQ(ReadAll(Delimited(), "\"ab\"x,y\r\n"), (Records{{"abx", "y"}}));
}

TEST(TextRecordReader, QualifiedFieldMayHoldTheRecordSeparator) {
  EXPECT_EQ(ReadAll(Delimited(), "\"a\r\nb\",c\r\nd,e\r\n"), (Records{{"a\r\nb", "c"}, {"d", "e"}}));
}

TEST(TextRecordReader, TabDelimiterAndNoQualifier) {
  EXPECT_EQ(ReadAll(Delimited("\t", ""), "\"a\"\tb c\r\n"), (Records{{"\"a\"", "b c"}}));
}

TEST(TextRecordReader, MultiByteSeparators) {
  EXPECT_EQ(ReadAll(Delimited("||", "'", "#\n"), "a||'b||c'||d#\ne|f||g#\n"),
            (Records{{"a", "b||c", "d"}, {"e|f", "g"}}));
}

TEST(TextRecordReader, CrOnlyAndLfOnlyFiles) {
  EXPECT_EQ(ReadAll(Delimited(",", "\"", "\r"), "a,b\rc,d\r"), (Records{{"a", "b"}, {"c", "d"}}));
  EXPECT_EQ(ReadAll(Delimited(",", "\"", "\n"), "a,b\nc,d\n"), (Records{{"a", "b"}, {"c", "d"}}));
}

TEST(TextRecordReader, MissingFinalSeparator) {
  EXPECT_EQ(ReadAll(Delimited(), "a,b\r\nc,d"), (Records{{"a", "b"}, {"c", "d"}}));
}

TEST(TextRecordReader, DelimiterLastInTheFileGivesOneMoreEmptyField) {
  EXPECT_EQ(ReadAll(Delimited(), "a,b,"), (Records{{"a", "b", ""}}));
  EXPECT_EQ(ReadAll(Delimited(), "a,b,\r\n"), (Records{{"a", "b", ""}}));
  EXPECT_EQ(ReadAll(Delimited(), "a,\"b\","), (Records{{"a", "b", ""}}));
  EXPECT_EQ(ReadAll(Delimited("||"), "a||b||"), (Records{{"a", "b", ""}}));
  // A separator inside qualified text at the very end is text.
  EXPECT_EQ(ReadAll(Delimited(), "a,\"b,\""), (Records{{"a", "b,"}}));
}

TEST(TextRecordReader, EmptyLinesAreRecordsOfOneEmptyField) {
  EXPECT_EQ(ReadAll(Delimited(), "a\r\n\r\nb\r\n"), (Records{{"a"}, {""}, {"b"}}));
}

TEST(TextRecordReader, NulBytes) {
  std::string data("a\0b,c\r\n", 7);
  EXPECT_EQ(ReadAll(Delimited(), data), (Records{{std::string("a\0b", 3), "c"}}));
  std::string nulSep("a\0b\r\n", 5);
  EXPECT_EQ(ReadAll(Delimited(std::string(1, '\0')), nulSep), (Records{{"a", "b"}}));
}

TEST(TextRecordReader, TenThousandFieldsOnOneLine) {
  std::string line;
  for (int i = 0; i < 10000; ++i) line += (i ? "," : "") + std::to_string(i);
  line += "\r\n";
  Records r = ReadAll(Delimited(), line);
  ASSERT_EQ(r.size(), 1u);
  ASSERT_EQ(r[0].size(), 10000u);
  EXPECT_EQ(r[0][0], "0");
  EXPECT_EQ(r[0][9999], "9999");
}

TEST(TextRecordReader, UnterminatedQualifierMakesABadRecord) {
  const std::string never = "the qualifier opened in field 2 is never closed: the rest of the file became one field";
  RunCases({
      {"rest of the file in one field", Delimited(), "a,\"bc\r\nd,e\r\nf,g\r\n", {{"a", "bc\r\nd,e\r\nf,g"}}, {never}},
      {"after good records", Delimited(), "x,y\r\na,\"b", {{"x", "y"}, {"a", "b"}}, {"", never}},
      {"first field", Delimited(), "\"abc", {{"abc"}}, {"the qualifier opened in field 1 is never closed: the rest of the file became one field"}},
      {"closed at the very end is fine", Delimited(), "a,\"bc\"", {{"a", "bc"}}, {}},
      {"doubled at the end is still open", Delimited(), "a,\"b\"\"", {{"a", "b\""}}, {never}},
      {"lone qualifier last is text", Delimited(), "a,\"", {{"a", "\""}}, {}},
      {"no qualifier set", Delimited(",", ""), "a,\"b\r\nc\r\n", {{"a", "\"b"}, {"c"}}, {}},
  });
}

TEST(TextRecordReader, LineEnds) {
  RunCases({
      {"LF only for CR LF", Delimited(), "a,b\nc,d\n", {{"a", "b"}, {"c", "d"}}, {}},
      {"mixed CR LF and LF", Delimited(), "a,b\r\nc,d\ne,f\r\ng", {{"a", "b"}, {"c", "d"}, {"e", "f"}, {"g"}}, {}},
      {"LF inside qualifiers is text", Delimited(), "\"x\ny\",z\nq,r\n", {{"x\ny", "z"}, {"q", "r"}}, {}},
      {"LF right after a closing qualifier", Delimited(), "\"a\"\n\"b\"\r\n", {{"a"}, {"b"}}, {}},
      {"empty LF lines", Delimited(), "a\n\nb\n", {{"a"}, {""}, {"b"}}, {}},
      {"CR alone is text for CR LF", Delimited(), "a\rb\r\nc", {{"a\rb"}, {"c"}}, {}},
      {"tab separated LF file", Delimited("\t"), "a\tb\nc\td\n", {{"a", "b"}, {"c", "d"}}, {}},
      {"LF separator taken literally", Delimited(",", "\"", "\n"), "a\r\nb\n", {{"a\r"}, {"b"}}, {}},
      {"custom separator taken literally", Delimited(",", "\"", "#"), "a\nb#c", {{"a\nb"}, {"c"}}, {}},
      {"fixed LF only", Fixed({3, 2}), "abcde\nfghij\n", {{"abc", "de"}, {"fgh", "ij"}}, {}},
      {"fixed mixed", Fixed({3, 2}), "abcde\r\nfghij\nklmno\r\npq", {{"abc", "de"}, {"fgh", "ij"}, {"klm", "no"}, {"pq", ""}}, {}},
      {"fixed short LF line", Fixed({3, 2}), "ab\nfghij\n", {{"ab", ""}, {"fgh", "ij"}}, {}},
      {"fixed empty LF line", Fixed({3, 2}), "\nabcde\n", {{"", ""}, {"abc", "de"}}, {}},
      {"fixed LF only in characters", CharWidths(Fixed({2, 1})), "中文字\n一二三\n", {{"中文", "字"}, {"一二", "三"}}, {}},
  });
}

TEST(TextRecordReader, EndedBySeparator) {
  TTextRecordReader r(Delimited(",", "\"", "\r"));
  r.OpenMemory("a\nb\rc");
  r.ReadRecord();
  EXPECT_TRUE(r.EndedBySeparator());
  r.ReadRecord();
  EXPECT_FALSE(r.EndedBySeparator());
  EXPECT_TRUE(r.AtEnd());
}

TEST(TextRecordReader, ByteOrderMarksAndEncodings) {
  const std::string bom = "\xEF\xBB\xBF";
  RunCases({
      {"UTF-8 byte-order mark is no data", Delimited(), bom + "id,name\r\n1,x\r\n", {{"id", "name"}, {"1", "x"}}, {}},
      {"only a byte-order mark", Delimited(), bom, {}, {}},
      {"a mark later is data", Delimited(), "a\r\n" + bom + "b", {{"a"}, {bom + "b"}}, {}},
      {"UTF-16LE", Delimited(), Utf16File("id,名称\r\n1,\"北京,海淀\"\r\n", false), {{"id", "名称"}, {"1", "北京,海淀"}}, {}},
      {"UTF-16BE", Delimited(), Utf16File("id,名称\n1,😀\n", true), {{"id", "名称"}, {"1", "😀"}}, {}},
      {"UTF-16 without a mark is not guessed", Delimited(), Utf16File("a", false, false), {{std::string("a\0", 2)}}, {}},
      {"UTF-16LE named, no mark", WithEncoding(Delimited(), "UTF-16LE"), Utf16File("a,b\r\n", false, false), {{"a", "b"}}, {}},
      {"UTF-16 unpaired surrogate", Delimited(), "\xFF\xFE" + Utf16File("a\r\n", false, false) + std::string("\x00\xDC", 2) + Utf16File("b\r\nc", false, false),
       {{"a"}, {"\xEF\xBF\xBD" "b"}, {"c"}}, {"", "bytes that do not convert from UTF-16LE at offset 8: 00 DC", ""}},
      {"UTF-16 odd last byte", Delimited(), Utf16File("a\r\nb", true) + "x", {{"a"}, {"b\xEF\xBF\xBD"}}, {"", "bytes that do not convert from UTF-16BE at offset 10: 78"}},
      {"GBK", WithEncoding(Delimited(), "GBK"), "\xC8\xAB,\xB2\xBF\r\n", {{"全", "部"}}, {}},
      {"GBK trail byte that looks like the separator", WithEncoding(Delimited("|"), "GBK"), "\x81\x7C|x\n", {{"亅", "x"}}, {}},
      {"GBK byte that does not convert", WithEncoding(Delimited(), "GBK"), "a\r\nb\xFF,c\r\nd",
       {{"a"}, {"b\xEF\xBF\xBD", "c"}, {"d"}}, {"", "bytes that do not convert from GBK at offset 4: FF", ""}},
      {"GB18030 four-byte character", WithEncoding(Delimited(), "GB18030"), "\x81\x30\x81\x30,\xC8\xAB", {{"\xC2\x80", "全"}}, {}},
      {"CP1252", WithEncoding(Delimited(";"), "CP1252"), "caf\xE9;\x80\r\n", {{"café", "€"}}, {}},
      {"CP1252 undefined byte", WithEncoding(Delimited(";"), "CP1252"), "ok\r\nx\x81y\r\n",
       {{"ok"}, {"x\xEF\xBF\xBDy"}}, {"", "bytes that do not convert from CP1252 at offset 5: 81"}},
      {"CP437", WithEncoding(Delimited(), "CP437"), "caf\x82,\xC4", {{"café", "─"}}, {}},
      {"CP850", WithEncoding(Delimited(), "CP850"), "caf\x82,\x9D", {{"café", "Ø"}}, {}},
      {"a mark wins over the encoding", WithEncoding(Delimited(), "GBK"), bom + "\xE5\x85\xA8", {{"全"}}, {}},
      {"GBK fixed widths count GBK bytes", WithEncoding(Fixed({2, 4}), "GBK"), "\xC8\xAB\xB2\xBF\xC8\xAB\r\n\xB2\xBF  x\n",
       {{"全", "部全"}, {"部", "x"}}, {}},
      {"GBK fixed width cutting a character", WithEncoding(Fixed({1, 1}), "GBK"), "\xC8\xAB",
       {{"\xEF\xBF\xBD", "\xEF\xBF\xBD"}}, {"bytes that do not convert from GBK at offset 0: C8"}},
  });
}

TEST(TextRecordReader, FixedWidthsOverChineseText) {
  const std::string text = "中华人民共和国万\r\n第一二三四五六七\r\n";
  const Records chars{{"中华人", "民共", "和国万"}, {"第一二", "三四", "五六七"}};
  RunCases({
      {"characters when known to be UTF-8", CharWidths(Fixed({3, 2, 3})), text, chars, {}},
      {"characters after a byte-order mark", Fixed({3, 2, 3}), "\xEF\xBB\xBF" + text, chars, {}},
      {"characters from UTF-16", Fixed({3, 2, 3}), Utf16File(text, false), chars, {}},
      {"LF ends a short line in characters", CharWidths(Fixed({3, 2, 3})), "中华\n人民共和国万岁岁\n",
       {{"中华", "", ""}, {"人民共", "和国", "万岁岁"}}, {}},
      {"bytes otherwise", Fixed({3, 3}), "中华\r\n", {{"中", "华"}}, {}},
  });
}

TEST(TextRecordReader, LargeConvertedFilesAcrossBufferEnds) {
  // Enough records that characters and pairs straddle every buffer end.
  std::string utf8;
  for (int i = 0; i < 30000; ++i) utf8 += std::to_string(i) + ",名称😀" + std::to_string(i % 7) + ",\"a\nb\"\n";
  const TRead want = ReadWithErrors(Delimited(), utf8);
  ASSERT_EQ(want.records.size(), 30000u);
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "BE" : "LE");
    TRead got = ReadFile(Delimited(), WriteTemp(big ? "big16be.csv" : "big16le.csv", Utf16File(utf8, big)));
    EXPECT_EQ(got.records, want.records);
    EXPECT_EQ(got.errors, want.errors);
  }
  std::string gbk, gbkUtf8;
  for (int i = 0; i < 40000; ++i) {
    gbk += std::to_string(i) + ",\xC8\xAB\xB2\xBF\r\n";
    gbkUtf8 += std::to_string(i) + ",全部\r\n";
  }
  EXPECT_EQ(ReadFile(WithEncoding(Delimited(), "GBK"), WriteTemp("big_gbk.csv", gbk)).records,
            ReadWithErrors(Delimited(), gbkUtf8).records);
  // Fixed widths in characters over a file read in pieces.
  std::string fixed;
  Records fixedWant;
  for (int i = 0; i < 20000; ++i) {
    fixed += "中华人民\r\n";
    fixedWant.push_back({"中华", "人民"});
  }
  EXPECT_EQ(ReadFile(CharWidths(Fixed({2, 2})), WriteTemp("big_fixed.txt", fixed)).records, fixedWant);
  EXPECT_EQ(ReadFile(Fixed({2, 2}), WriteTemp("big_fixed16.txt", Utf16File(fixed, true))).records, fixedWant);
}

TEST(TextRecordReader, RestIsValidUtf8) {
  struct {
    const char* name;
    std::string content;
    bool valid;
  } cases[] = {
      {"empty", "", true},
      {"character across the buffer end", std::string(65535, 'a') + "中" + std::string(10, 'b'), true},
      {"four bytes across the buffer end", std::string(65534, 'a') + "😀", true},
      {"cut short at the end", std::string(70000, 'a') + "\xE4\xB8", false},
      {"GBK that looks like UTF-8 one character at a time", std::string(200000, 'a') + "\xC8\xAB" + std::string(10, 'a'), true},
      {"bad byte far in", std::string(200000, 'a') + "\xC8\xAB\xB2\xBF" + std::string(10, 'a'), false},
      {"bad byte at the buffer end", std::string(65535, 'a') + "\xFF" + std::string(10, 'b'), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TTextRecordReader r(Fixed({1}));
    int fd = ::open(WriteTemp("valid.txt", c.content).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    r.OpenFile(fd);
    EXPECT_EQ(r.RestIsValidUtf8(), c.valid);
    TTextRecordReader m(Fixed({1}));
    m.OpenMemory(c.content);
    EXPECT_EQ(m.RestIsValidUtf8(), c.valid);
  }
}

TEST(TextRecordReader, ReadsNoMoreThanTheLimit) {
  const std::string path = WriteTemp("limit.csv", "a\r\nb\r\nc\r\n");
  EXPECT_EQ(ReadFile(Delimited(), path, 3).records, (Records{{"a"}}));
  EXPECT_EQ(ReadFile(Delimited(), path, 4).records, (Records{{"a"}, {"b"}}));
  EXPECT_EQ(ReadFile(Delimited(), path).records, (Records{{"a"}, {"b"}, {"c"}}));
  // The limit counts bytes of the file, not of the converted text.
  EXPECT_EQ(ReadFile(Delimited(), WriteTemp("limit16.csv", Utf16File("a\nb\n", false)), 6).records, (Records{{"a"}}));
}

TEST(TextRecordReader, UnterminatedQualifierAtTheEnd) {
  EXPECT_EQ(ReadAll(Delimited(), "a,\"bc"), (Records{{"a", "bc"}}));
  // An unclosed qualifier takes the rest of the input; a record separator at its very end is removed.
  EXPECT_EQ(ReadAll(Delimited(), "a,\"bc\r\nd,e\r\n"), (Records{{"a", "bc\r\nd,e"}}));
  // A qualifier that is the very last byte is not an opening one: it is text.
  EXPECT_EQ(ReadAll(Delimited(), "a,\""), (Records{{"a", "\""}}));
  // A doubled qualifier at the very end leaves one qualifier.
  EXPECT_EQ(ReadAll(Delimited(), "\"a\"\""), (Records{{"a\""}}));
  EXPECT_EQ(ReadAll(Delimited(), "\"ab\""), (Records{{"ab"}}));
}

TEST(TextRecordReader, HugeField) {
  std::string big(20u << 20, 'x');
  std::string data = "a," + big + ",b\r\n";
  Records r = ReadAll(Delimited(), data);
  ASSERT_EQ(r.size(), 1u);
  ASSERT_EQ(r[0].size(), 3u);
  EXPECT_EQ(r[0][1].size(), big.size());
}

// The fast path for common records against the general reader, on random
// text made of the bytes that matter (separators, qualifiers, CR, LF),
// from memory and from a file whose records cross the reader's buffer.
TEST(TextRecordReader, FastRecordsReadAsTheGeneralReaderDoes) {
  const auto both = [&](const TTextLayout& layout, std::string_view data, const std::string& file) {
    TRead seen[2];
    for (int fast = 0; fast < 2; ++fast) {
      TTextRecordReader r(layout);
      r.FastRecords = fast == 1;
      if (file.empty()) {
        r.OpenMemory(data);
      } else {
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        EXPECT_GE(fd, 0);
        r.OpenFile(fd);
      }
      seen[fast] = ReadAllFrom(r);
    }
    return seen[0] == seen[1];
  };
  std::vector<TTextLayout> layouts;
  for (const char* row : {"\r\n", "\n"})
    for (const char* sep : {",", "\t"})
      for (const char* q : {"\"", "'", ""}) layouts.push_back(Delimited(sep, q, row));
  // Qualifiers that are line-end bytes: the general reader alone.
  layouts.push_back(Delimited(",", "\n", "\n"));
  layouts.push_back(Delimited(",", "\r", "\r\n"));
  std::mt19937 random(20261208);
  const std::string alphabet = "ab ,,\t\"\"'\r\n\n";
  const auto text = [&](size_t size) {
    std::string s;
    for (size_t i = 0; i < size; ++i) s += alphabet[random() % alphabet.size()];
    return s;
  };
  for (const TTextLayout& layout : layouts) {
    for (int n = 0; n < 3000; ++n) {
      const std::string data = text(random() % 48);
      std::string shown;
      for (char c : data) shown += c == '\r' ? "\\r" : c == '\n' ? "\\n" : c == '\t' ? "\\t" : std::string(1, c);
      ASSERT_TRUE(both(layout, data, "")) << "input: " << shown;
    }
    // Records of 20 to 200 bytes across the reader's 64 KiB buffers.
    std::string big;
    while (big.size() < 300000) big += "id,\"x,\"\"y\"\r\n" + text(20 + random() % 180) + "\n";
    ASSERT_TRUE(both(layout, big, WriteTemp("fast.csv", big)));
  }
}

TEST(TextRecordReader, InputCutAnywhere) {
  const std::string data = "id,\"na,me\"\r\n1,\"x\"\"y\"\r\n2,\"multi\r\nline\",\r\n3,z";
  for (size_t n = 0; n <= data.size(); ++n) {
    Records r = ReadAll(Delimited(), std::string_view(data).substr(0, n));
    size_t bytes = 0;
    for (auto& rec : r) {
      EXPECT_GE(rec.size(), 1u);
      for (auto& f : rec) bytes += f.size();
    }
    EXPECT_LE(bytes, n) << "cut at " << n;
  }
}

TEST(TextRecordReader, FixedWidths) {
  EXPECT_EQ(ReadAll(Fixed({3, 2}), "abcde\r\nfghij\r\n"), (Records{{"abc", "de"}, {"fgh", "ij"}}));
  // Blanks and control bytes are trimmed from both ends of each field.
  EXPECT_EQ(ReadAll(Fixed({4, 3}), " a \x01\t b\r\n"), (Records{{"a", "b"}}));
}

TEST(TextRecordReader, FixedWidthShortRecordAtTheEnd) {
  EXPECT_EQ(ReadAll(Fixed({3, 2}), "abcde\r\nab"), (Records{{"abc", "de"}, {"ab", ""}}));
  // A last field of one byte is kept, not lost.
  EXPECT_EQ(ReadAll(Fixed({3, 2}), "abcd"), (Records{{"abc", "d"}}));
  EXPECT_EQ(ReadAll(Fixed({3, 2}), "a"), (Records{{"a", ""}}));
}

TEST(TextRecordReader, FixedWidthSeparatorIsCountedNotChecked) {
  // Any separator but CR LF is counted: a short line takes bytes of the
  // next one, and "e" falls where the separator is counted.
  EXPECT_EQ(ReadAll(Fixed({3, 2}, "\r"), "abc\rdefgh\r"), (Records{{"abc", "d"}, {"fgh", ""}}));
  // With CR LF, the LF of a short line ends its record.
  EXPECT_EQ(ReadAll(Fixed({3, 2}), "abc\r\ndefgh\r\n"), (Records{{"abc", ""}, {"def", "gh"}}));
}

TEST(TextRecordReader, FixedWidthWithoutWidths) {
  EXPECT_EQ(ReadAll(Fixed({}), "ab\r\ncd"), (Records{{}, {}, {}}));
}

TEST(TextRecordReader, ReadLineEndsAtCrLfLfOrCr) {
  TTextRecordReader r(Delimited());
  r.OpenMemory("one\r\ntwo\nthree\rfour");
  std::string line;
  std::vector<std::string> lines;
  while (r.ReadLine(line)) lines.push_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "three", "four"}));
}
