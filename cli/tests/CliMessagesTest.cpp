// vandrel-cli messages and tips, run as a user's script runs them.
#include <gtest/gtest.h>

#include "RunCli.h"
#include <sys/wait.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

using TRun = kvtest::CliLines;

// Standard output only, split into lines.
TRun RunCli(const std::string& arguments) { return kvtest::RunCliLines(arguments, false); }

constexpr size_t kMessageLines = 23 + 111;  // foundation, then core messages
constexpr size_t kTableLines = 347;

TEST(CliMessages, PrintsEveryMessageThenTheWindowTable) {
  const TRun r = RunCli("messages");
  ASSERT_EQ(r.status, 0);
  ASSERT_EQ(r.lines.size(), kMessageLines + kTableLines);
  EXPECT_EQ(r.lines[0], "SExpTransResult_Compile=Compile complete");
  EXPECT_EQ(r.lines[22], "SCanotOpenFile=打不开数据结构类文件");
  EXPECT_EQ(r.lines[23], "SLogType_Error=Error");
  EXPECT_EQ(r.lines[kMessageLines - 1], "STimeFormatString=hh:mm:ss");
  EXPECT_EQ(r.lines[kMessageLines], "MainForm=Vandrel Pro 1.02");
  EXPECT_EQ(r.lines.back(), "lbPostRecords=Post every (records):");
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
    ASSERT_EQ(r.lines.size(), kMessageLines + kTableLines);
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
