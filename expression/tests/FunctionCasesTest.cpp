// The cases of the function library: every file data/functions_*.txt (one
// per function family) holds case-file rows (testsupport/CaseFiles.h) in
// the format of data/eval_cases.txt:
//
//   expression<TAB>type<TAB>text
//
// where type is a data type name ("etString"), ERROR (a translation
// failure, text "<result> <position>") or EXCEPTION (a failure while
// computing, text = the message). Each expression is translated and
// evaluated once against the variables of ResetThreadWithVariables, so
// assignments in one row never reach another. A new family only needs its
// file: the files are found by name.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "ExpTestUtil.h"
#include "expression/Translator.h"
#include "testsupport/CaseFiles.h"
#include "testsupport/TestData.h"

namespace kv {
namespace {

using kvtest::CaseRow;

class FunctionCases : public ::testing::TestWithParam<CaseRow> {
protected:
  void SetUp() override { kvtest::ResetThreadWithVariables(); }
};

TEST_P(FunctionCases, GiveTheListedResult) {
  const CaseRow& c = GetParam();
  ASSERT_EQ(c.problem, "") << c.file << ".txt line " << c.line;
  const std::string got = kvtest::Eval(c.fields[0]);
  EXPECT_EQ(got, c.fields[1] + " " + c.fields[2]) << c.file << ".txt line " << c.line << ": " << c.fields[0];
}

INSTANTIATE_TEST_SUITE_P(Files, FunctionCases,
                         ::testing::ValuesIn(kvtest::ReadCaseFiles(kvtest::TestDataFolder(), "functions_", 3)),
                         [](const ::testing::TestParamInfo<CaseRow>& info) { return kvtest::CaseName(info.param); });

}  // namespace
}  // namespace kv
