// vandrel-cli eval, run as a script would run it: the exact output contract.
#include <gtest/gtest.h>

#include "RunCli.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using kvtest::CliResult;

// Runs vandrel-cli eval with `args`, feeding `input` to its standard input.
CliResult RunEval(std::vector<std::string> args, const std::string& input = std::string()) {
  args.insert(args.begin(), "eval");
  return kvtest::RunCli(args, "", input);
}

TEST(CliEval, ArgumentsShareOneVariableList) {
  CliResult r = RunEval({"x := 5", "x + 1", "x * 2.5", "'ab' + x"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "etInteger\t5\netInteger\t6\netReal\t12.5\netString\tab5\n");
  EXPECT_EQ(r.err, "");
}

TEST(CliEval, LinesOfStandardInput) {
  CliResult r = RunEval({}, "1 + 2\n\n2 ^ 31\r\n'a' = 'a'\n'x'\n1 +\n(1 < 2) AND Not(NO)\n7 / 0\n0.1 + 0.2");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "etInteger\t3\n"
            "NONE\n"
            "etReal\t2147483648\n"
            "etBoolean\tYes\n"
            "etChar\tx\n"
            "ERROR\ttrNeedOpData\t4\t1 +[Error] (Need operator)\n"
            "etBoolean\tYes\n"
            "etInteger\t0\n"
            "etReal\t0.3\n");
}

TEST(CliEval, EmptyInputAndEmptyExpressions) {
  CliResult r = RunEval({}, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  r = RunEval({""});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "NONE\n");
}

TEST(CliEval, TranslationErrors) {
  CliResult r = RunEval({"1 + Qty", "Abs('x')", "2 + 3"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "ERROR\ttrNoVarName\t5\t1 + [Error]Qty (Variable have no define)\n"
            "ERROR\ttrTypeMismatch\t8\tAbs('x'[Error]) (Type no matching)\n"
            "etInteger\t5\n");
  r = RunEval({std::string(300, '(') + "1" + std::string(300, ')')});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.rfind("ERROR\ttrTooComplex\t256\t", 0), 0u) << r.out;
}

TEST(CliEval, TextsAreEscaped) {
  CliResult r = RunEval({"'a\\b'", "'tab'#9'cr'#13'lf'#10'end'", "#9"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "etString\ta\\\\b\netString\ttab\\tcr\\rlf\\nend\netChar\t\\t\n");
  r = RunEval({"'a\tb' + Qty"});
  EXPECT_EQ(r.out, "ERROR\ttrNoVarName\t9\t'a\\tb' + [Error]Qty (Variable have no define)\n");
}

TEST(CliEval, PredefinedVariables) {
  CliResult r = RunEval({"--var", "a=12", "--var", "b=2.5", "--var", "c=hello", "--var", "h=$1F", "--var", "e=1e3",
                         "--var", "t=", "--var", "q=1=2", "--var", "big=99999999999999999999", "a", "b", "c", "h", "e",
                         "t", "q", "big", "a + b", "b + a", "c + a"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "etInteger\t12\n"
            "etReal\t2.5\n"
            "etString\thello\n"
            "etInteger\t31\n"
            "etReal\t1000\n"
            "etString\t\n"
            "etString\t1=2\n"
            "etReal\t1E20\n"
            "etReal\t14.5\n"
            "etReal\t14.5\n"
            "etString\thello12\n");
}

TEST(CliEval, VariablesAreCaseInsensitiveAndOptionsGoAnywhere) {
  CliResult r = RunEval({"Price * 2", "--var", "price=4"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "etInteger\t8\n");
  r = RunEval({"--", "--var"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "ERROR\ttrNeedBracket\t2\t-[Error]-var (Need bracket)\n");
}

TEST(CliEval, UsageErrors) {
  EXPECT_EQ(RunEval({"--var"}).status, 2);
  EXPECT_EQ(RunEval({"--var", "novalue"}).status, 2);
  EXPECT_EQ(RunEval({"--var", "=5"}).status, 2);
  CliResult r = RunEval({"--bogus", "1"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("usage: vandrel-cli eval"), std::string::npos) << r.err;
}

TEST(CliEval, AssignmentsAcrossLines) {
  CliResult r = RunEval({}, "total := 0\ntotal := total + 10\ntotal := total + 5\ntotal\ny\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "etInteger\t0\n"
            "etInteger\t10\n"
            "etInteger\t15\n"
            "etInteger\t15\n"
            "ERROR\ttrNoVarName\t1\t[Error]y (Variable have no define)\n");
}

}  // namespace
