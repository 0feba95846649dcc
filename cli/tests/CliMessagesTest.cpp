// vandrel-cli messages and tips, run as a user's script runs them.
#include <gtest/gtest.h>

#include "RunCli.h"
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using TRun = kvtest::CliLines;

// Standard output only, split into lines.
TRun RunCli(const std::string& arguments) { return kvtest::RunCliLines(arguments, false); }

constexpr size_t kMessageLines = 23 + 111;  // foundation, then core messages

// The lines of a stored window translation table (environment/translations/).
std::vector<std::string> TableLines(const char* file) {
  std::ifstream in(std::string(VANDREL_SOURCE_DIR) + "/environment/translations/" + file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

TEST(CliMessages, PrintsEveryMessageThenTheWindowTable) {
  const TRun r = RunCli("messages");
  const std::vector<std::string> table = TableLines("en.txt");
  ASSERT_GT(table.size(), 300u);
  ASSERT_EQ(r.status, 0);
  ASSERT_EQ(r.lines.size(), kMessageLines + table.size());
  EXPECT_EQ(r.lines[0], "SExpTransResult_Compile=Compile complete");
  EXPECT_EQ(r.lines[22], "SCanotOpenFile=打不开数据结构类文件");
  EXPECT_EQ(r.lines[23], "SLogType_Error=Error");
  EXPECT_EQ(r.lines[kMessageLines - 1], "STimeFormatString=hh:mm:ss");
  EXPECT_EQ(r.lines[kMessageLines], "MainForm=Vandrel Pro 1.02");
  EXPECT_EQ(std::vector<std::string>(r.lines.begin() + kMessageLines, r.lines.end()), table);
  bool sawEscaped = false;
  for (const std::string& l : r.lines)
    if (l.rfind("SDBLinkFindErrWhenImportIntoTableMsg=", 0) == 0) {
      sawEscaped = true;
      EXPECT_EQ(l, "SDBLinkFindErrWhenImportIntoTableMsg=Error found when importing into table:%s\\rInfo: %s,"
                   "\\r\\ndo you want view the message next time?");
    }
  EXPECT_TRUE(sawEscaped);
}

TEST(CliMessages, ChineseOnRequest) {
  for (const char* args : {"messages --lang zh", "messages --lang=zh"}) {
    const TRun r = RunCli(args);
    ASSERT_EQ(r.status, 0) << args;
    ASSERT_EQ(r.lines.size(), kMessageLines + TableLines("zh.txt").size());
    EXPECT_EQ(r.lines[0], "SExpTransResult_Compile=编译完成");
    EXPECT_EQ(r.lines[kMessageLines - 2], "SDateTimeFormatString=yyyy.mm.dd hh:mm:ss");
    EXPECT_EQ(r.lines[kMessageLines + 1], "&File=文件(&F)");
  }
  EXPECT_EQ(RunCli("messages --lang en").lines, RunCli("messages").lines);
}

TEST(CliMessages, BadArgumentsAreUsageErrors) {
  EXPECT_EQ(RunCli("messages --lang").status, 2);
  EXPECT_EQ(RunCli("messages --lang fr").status, 2);
  EXPECT_EQ(RunCli("messages --lang EN").status, 2);
  EXPECT_EQ(RunCli("messages extra").status, 2);
  EXPECT_EQ(RunCli("tips --language zh").status, 2);
}

TEST(CliTips, OneTipPerLineInEitherLanguage) {
  const TRun en = RunCli("tips");
  ASSERT_EQ(en.status, 0);
  EXPECT_EQ(en.lines.size(), 16u);
  for (const std::string& l : en.lines) EXPECT_NE(l.find("\\n"), std::string::npos) << l;
  const TRun zh = RunCli("tips --lang zh");
  ASSERT_EQ(zh.status, 0);
  EXPECT_EQ(zh.lines.size(), 17u);
}

}  // namespace
