// vandrel-cli functions, run as a script would run it.
#include <gtest/gtest.h>

#include "RunCli.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

using kvtest::CliResult;

// Runs vandrel-cli functions with `args`.
CliResult RunFunctions(std::vector<std::string> args) {
  args.insert(args.begin(), "functions");
  return kvtest::RunCli(args);
}

using kvtest::Lines;

// The position of `name` in `lines`, or -1.
long IndexOf(const std::vector<std::string>& lines, const std::string& name) {
  auto at = std::find(lines.begin(), lines.end(), name);
  return at == lines.end() ? -1 : static_cast<long>(at - lines.begin());
}

TEST(CliFunctions, OneNamePerLineWithoutEmptyLines) {
  const CliResult r = RunFunctions({});
  ASSERT_EQ(r.status, 0);
  ASSERT_FALSE(r.out.empty());
  EXPECT_EQ(r.out.back(), '\n');
  EXPECT_EQ(r.out.find("\n\n"), std::string::npos);
  EXPECT_EQ(r.out.find('\r'), std::string::npos);
  for (const std::string& line : Lines(r.out)) {
    EXPECT_FALSE(line.empty());
    EXPECT_EQ(line.find_first_of(" \t"), std::string::npos) << line;
  }
}

TEST(CliFunctions, TextAndControlBatchesInRegistrationOrder) {
  const std::vector<std::string> all = Lines(RunFunctions({}).out);
  const long asc = IndexOf(all, "ASC");
  const long wideCompareText = IndexOf(all, "WideCompareText");
  ASSERT_GE(asc, 0);
  EXPECT_EQ(wideCompareText, asc + 27);  // the 28 text functions in one run
  const long beep = IndexOf(all, "Beep");
  const long voidName = IndexOf(all, "Void");
  ASSERT_GE(beep, 0);
  EXPECT_EQ(voidName, beep + 7);  // the 8 control functions in one run
  // Mathematics before text; conversion and date-time between text and control.
  EXPECT_LT(IndexOf(all, "Abs"), asc);
  EXPECT_LT(wideCompareText, beep);

  // One batch alone is the same run of names.
  const std::vector<std::string> text = Lines(RunFunctions({"--batch", "text"}).out);
  ASSERT_EQ(text.size(), 28u);
  EXPECT_EQ(text.front(), "ASC");
  EXPECT_EQ(text.back(), "WideCompareText");
  EXPECT_TRUE(std::equal(text.begin(), text.end(), all.begin() + asc));
  const std::vector<std::string> control = Lines(RunFunctions({"--batch=control"}).out);
  ASSERT_EQ(control.size(), 8u);
  EXPECT_EQ(control.front(), "Beep");
  EXPECT_EQ(control.back(), "Void");
  EXPECT_TRUE(std::equal(control.begin(), control.end(), all.begin() + beep));
}

TEST(CliFunctions, UsageErrors) {
  EXPECT_EQ(RunFunctions({"--batch", "nope"}).status, 2);
  EXPECT_EQ(RunFunctions({"--batch"}).status, 2);
  EXPECT_EQ(RunFunctions({"extra"}).status, 2);
}

}  // namespace
