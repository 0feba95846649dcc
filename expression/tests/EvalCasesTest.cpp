// The cases of data/eval_cases.txt (case-file rows, testsupport/CaseFiles.h):
//
//   expression<TAB>type<TAB>text
//
// Each expression is translated and evaluated once against the variables
// of ResetThreadWithVariables.
#include <gtest/gtest.h>

#include <string>

#include "ExpTestUtil.h"
#include "expression/Translator.h"
#include "testsupport/CaseFiles.h"
#include "testsupport/TestData.h"

namespace kv {
namespace {

using kvtest::CaseRow;

class EvalCases : public ::testing::TestWithParam<CaseRow> {
protected:
  void SetUp() override { kvtest::ResetThreadWithVariables(); }
};

TEST_P(EvalCases, GivesTheListedResult) {
  const CaseRow& c = GetParam();
  ASSERT_EQ(c.problem, "") << "line " << c.line;
  const std::string got = kvtest::Eval(c.fields[0]);
  EXPECT_EQ(got, c.fields[1] + " " + c.fields[2]) << "line " << c.line << ": " << c.fields[0];
}

INSTANTIATE_TEST_SUITE_P(File, EvalCases,
                         ::testing::ValuesIn(kvtest::ReadCaseFile(kvtest::TestDataFolder() + "/eval_cases.txt", 3)),
                         [](const ::testing::TestParamInfo<CaseRow>& info) {
                           return "line" + std::to_string(info.param.line);
                         });

}  // namespace
}  // namespace kv
