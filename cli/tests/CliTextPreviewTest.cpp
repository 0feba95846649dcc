// vandrel-cli text-preview, run as a user's script runs it.
#include <gtest/gtest.h>

#include "RunCli.h"
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "testsupport/TempFiles.h"

namespace {

using TRun = kvtest::CliLines;

// Standard output and then standard error, split into lines.
TRun RunCli(const std::string& arguments) { return kvtest::RunCliLines(arguments, true); }

std::string TempFile(const std::string& name, const std::string& content) {
  return kvtest::WriteTempFile("vandrel_cli", name, content);
}

std::string WideLine(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += (i ? "," : "") + std::to_string(i);
  return s + "\n";
}

}  // namespace

TEST(CliTextPreview, HeaderRecordsAndBadRecords) {
  std::string f = TempFile("a.csv", "skip me\r\nID,NAME\r\n1,\"A,\ttab\"\r\n2\r\n3,C\r\n4,D\r\n");
  TRun r = RunCli("text-preview '" + f + "' --skip 1 --header --rows 2");
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.lines, (std::vector<std::string>{"ID\tNAME", "1\tA,\\ttab", "3\tC", "# bad records: 2"}));
}

TEST(CliTextPreview, EscapedOptionsAndFixedWidths) {
  std::string f = TempFile("b.txt", "a;b\nc;d\n");
  TRun r = RunCli("text-preview '" + f + "' --delimiter ';' --row-separator '<lf>' --qualifier '<>'");
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.lines, (std::vector<std::string>{"Field1\tField2", "a\tb", "c\td", "# bad records:"}));
  std::string g = TempFile("c.txt", "abcde\r\nfghij\r\n");
  r = RunCli("text-preview '" + g + "' --fixed '3;2'");
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.lines, (std::vector<std::string>{"Field1\tField2", "abc\tde", "fgh\tij", "# bad records:"}));
}

TEST(CliTextPreview, ErrorsNameTheFile) {
  TRun r = RunCli("text-preview /nonexistent/x.csv");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.lines, (std::vector<std::string>{
                         "vandrel-cli text-preview: Table does not exist: /nonexistent/x.csv: No such file or directory"}));
  r = RunCli("text-preview /dev/zero");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.lines, (std::vector<std::string>{
                         "vandrel-cli text-preview: Table does not exist: /dev/zero is a character device, not a regular file"}));
  r = RunCli("text-preview x.csv --encoding NOPE");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.lines, (std::vector<std::string>{"vandrel-cli text-preview: x.csv: Unknown text encoding 'NOPE'"}));
  EXPECT_EQ(RunCli("text-preview a --max-fields x").status, 2);
  EXPECT_EQ(RunCli("text-preview a --encoding").status, 2);
  r = RunCli("text-preview x.csv --fixed '3,2'");
  EXPECT_EQ(r.status, 1);
  ASSERT_EQ(r.lines.size(), 1u);
  EXPECT_EQ(r.lines[0], "vandrel-cli text-preview: x.csv: Only valid chars for ColumnWidths are '0'..'9' and ';'.");
  EXPECT_EQ(RunCli("text-preview").status, 2);
  EXPECT_EQ(RunCli("text-preview a b").status, 2);
  EXPECT_EQ(RunCli("text-preview a --rows -1").status, 2);
  EXPECT_EQ(RunCli("text-preview a --bogus").status, 2);
}

TEST(CliTextPreview, EncodingsBadRecordsAndWarnings) {
  struct {
    const char* name;
    std::string content;
    std::string options;
    std::vector<std::string> lines;
  } cases[] = {
      {"byte-order mark and LF", "\xEF\xBB\xBFid,name\n1,a\n", "--header", {"id\tname", "1\ta", "# bad records:"}},
      {"UTF-16LE", std::string("\xFF\xFEi\0d\0\n\0\x68\x51\n\0", 12), "--header", {"id", "全", "# bad records:"}},
      {"GBK", "id;\xC3\xFB\r\n1;\xC8\xAB\r\n2;\xFF\r\n", "--header --delimiter ';' --encoding GBK",
       {"id\t名", "1\t全", "# bad records: 2", "# bad record 2: bytes that do not convert from GBK at offset 15: FF"}},
      {"CP1252", "caf\xE9\r\n", "--encoding CP1252", {"Field1", "café", "# bad records:"}},
      {"qualifier never closed", "a,b\r\n1,\"x\r\n2,y\r\n", "--header",
       {"a\tb", "# bad records: 1", "# bad record 1: the qualifier opened in field 2 is never closed: the rest of the file became one field"}},
      {"control bytes escaped", std::string("a\x1b[2Jb,\0,\x7f\\\r\n", 13), "", {"Field1\tField2\tField3", "a\\x1b[2Jb\t\\x00\t\\x7f\\\\", "# bad records:"}},
      {"separator never found", "a,b\rc,d\r", "",
       {"Field1\tField2\tField3", "a\tb\\rc\td\\r", "# bad records:",
        "# warning: The record separator \"<cr><lf>\" never occurs in FILE, whose lines end with CR: the whole file was read as one record"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string f = TempFile("enc.csv", c.content);
    TRun r = RunCli("text-preview '" + f + "' " + c.options);
    ASSERT_EQ(r.status, 0);
    std::vector<std::string> want = c.lines;
    for (std::string& line : want)
      if (size_t at = line.find("FILE"); at != std::string::npos) line.replace(at, 4, f);
    EXPECT_EQ(r.lines, want);
  }
}

TEST(CliTextPreview, WideFirstRecord) {
  std::string f = TempFile("wide.csv", WideLine(10001) + WideLine(10001));
  TRun r = RunCli("text-preview '" + f + "' --rows 0");
  EXPECT_EQ(r.status, 1);
  ASSERT_EQ(r.lines.size(), 1u);
  EXPECT_EQ(r.lines[0], "vandrel-cli text-preview: There are 10001 fields in the first record of " + f +
                            ", more than the 10000 an unattended run loads; set the environment variable "
                            "VANDREL_MAX_TEXT_FIELDS to a larger number to load it (or use --max-fields N)");
  r = RunCli("text-preview '" + f + "' --rows 0 --max-fields 10001");
  EXPECT_EQ(r.status, 0);
  ASSERT_EQ(r.lines.size(), 2u);
  EXPECT_EQ(r.lines[1], "# bad records:");
  const kvtest::CliResult env = kvtest::RunCliShell("text-preview '" + f + "' --rows 0", "VANDREL_MAX_TEXT_FIELDS=20000");
  EXPECT_EQ(env.status, 0);
}
