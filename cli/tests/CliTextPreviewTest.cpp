// vandrel-cli text-preview, run as a user's script runs it.
#include <gtest/gtest.h>

#include "RunCli.h"
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct TRun {
  int status = -1;
  std::vector<std::string> lines;
};

// Standard output and then standard error, split into lines.
TRun RunCli(const std::string& arguments) {
  const kvtest::CliResult r = kvtest::RunCliShell(arguments);
  return TRun{r.status, kvtest::Lines(r.out + r.err)};
}

std::string TempFile(const std::string& name, const std::string& content) {
  std::string path = ::testing::TempDir() + "/vandrel_cli_" + name;
  std::ofstream(path, std::ios::binary) << content;
  return path;
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
  EXPECT_EQ(r.lines, (std::vector<std::string>{"vandrel-cli text-preview: /nonexistent/x.csv: Table does not exist"}));
  r = RunCli("text-preview x.csv --fixed '3,2'");
  EXPECT_EQ(r.status, 1);
  ASSERT_EQ(r.lines.size(), 1u);
  EXPECT_EQ(r.lines[0], "vandrel-cli text-preview: x.csv: Only valid chars for ColumnWidths are '0'..'9' and ';'.");
  EXPECT_EQ(RunCli("text-preview").status, 2);
  EXPECT_EQ(RunCli("text-preview a b").status, 2);
  EXPECT_EQ(RunCli("text-preview a --rows -1").status, 2);
  EXPECT_EQ(RunCli("text-preview a --bogus").status, 2);
}
