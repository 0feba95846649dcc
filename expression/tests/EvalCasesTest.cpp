// The cases of data/eval_cases.txt: each expression is translated and
// evaluated once against the variables of ResetThreadWithVariables.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "ExpTestUtil.h"
#include "expression/Translator.h"

namespace kv {
namespace {

struct EvalCase {
  int line = 0;
  std::string expression;
  std::string type;
  std::string text;
};

void PrintTo(const EvalCase& c, std::ostream* os) { *os << "line " << c.line << ": " << c.expression; }

std::vector<EvalCase> LoadCases() {
  std::vector<EvalCase> cases;
  std::ifstream in(EXPR_TEST_DATA "/eval_cases.txt", std::ios::binary);
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    if (line.empty() || line[0] == '#') continue;
    const size_t t1 = line.find('\t');
    const size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
    if (t2 == std::string::npos) {
      cases.push_back({n, "malformed case line", "?", line});
      continue;
    }
    cases.push_back({n, test::Unescape(line.substr(0, t1)), line.substr(t1 + 1, t2 - t1 - 1),
                     test::Unescape(line.substr(t2 + 1))});
  }
  if (cases.empty()) cases.push_back({0, "no cases read", "?", EXPR_TEST_DATA});
  return cases;
}

class EvalCases : public ::testing::TestWithParam<EvalCase> {
protected:
  void SetUp() override { test::ResetThreadWithVariables(); }
};

TEST_P(EvalCases, GivesTheListedResult) {
  const EvalCase& c = GetParam();
  const std::string got = test::Eval(c.expression);
  EXPECT_EQ(got, c.type + " " + c.text) << "line " << c.line << ": " << c.expression;
}

INSTANTIATE_TEST_SUITE_P(File, EvalCases, ::testing::ValuesIn(LoadCases()),
                         [](const ::testing::TestParamInfo<EvalCase>& info) {
                           return "line" + std::to_string(info.param.line);
                         });

}  // namespace
}  // namespace kv
