// The record reader on tricky input: qualifiers, separators inside them,
// line ends of every kind, NUL bytes, very wide and very long records,
// input cut anywhere.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/TextRecordReader.h"

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
  // With CR LF in force an LF-only file is one record: LF is ordinary text then.
  EXPECT_EQ(ReadAll(Delimited(), "a,b\nc,d\n"), (Records{{"a", "b\nc", "d\n"}}));
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
  // A short line takes bytes of the next one: here "de" falls where the
  // separator is counted and belongs to no field.
  EXPECT_EQ(ReadAll(Fixed({3, 2}), "abc\r\ndefgh\r\n"), (Records{{"abc", ""}, {"fgh", ""}}));
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
