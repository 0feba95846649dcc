// The cases of the function library: every file data/functions_*.txt (one
// per function family) holds rows in the format of data/eval_cases.txt:
//
//   expression<TAB>type<TAB>text
//
// where type is a data type name ("etString"), ERROR (a translation
// failure, text "<result> <position>") or EXCEPTION (a failure while
// computing, text = the message). Fields use the escapes \\ \t \r \n; '#'
// at the start of a line makes a comment. Each expression is translated and
// evaluated once against the variables of ResetThreadWithVariables, so
// assignments in one row never reach another. A new family only needs its
// file: the files are found by name.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ExpTestUtil.h"
#include "expression/Translator.h"

namespace kv {
namespace {

struct FunctionCase {
  std::string file;  // the file's name without ".txt"
  int line = 0;
  std::string expression;
  std::string type;
  std::string text;
};

void PrintTo(const FunctionCase& c, std::ostream* os) { *os << c.file << ":" << c.line << ": " << c.expression; }

std::vector<std::filesystem::path> CaseFiles() {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(EXPR_TEST_DATA, ec)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && name.rfind("functions_", 0) == 0 && entry.path().extension() == ".txt")
      files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<FunctionCase> LoadCases() {
  std::vector<FunctionCase> cases;
  for (const std::filesystem::path& path : CaseFiles()) {
    const std::string file = path.stem().string();
    std::ifstream in(path, std::ios::binary);
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty() || line[0] == '#') continue;
      const size_t t1 = line.find('\t');
      const size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
      if (t2 == std::string::npos) {
        cases.push_back({file, n, "malformed case line", "?", line});
        continue;
      }
      cases.push_back({file, n, test::Unescape(line.substr(0, t1)), line.substr(t1 + 1, t2 - t1 - 1),
                       test::Unescape(line.substr(t2 + 1))});
    }
  }
  if (cases.empty()) cases.push_back({"none", 0, "no function cases read", "?", EXPR_TEST_DATA});
  return cases;
}

std::string CaseName(const std::string& file, int line) {
  std::string name;
  for (char c : file) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name + "_line" + std::to_string(line);
}

class FunctionCases : public ::testing::TestWithParam<FunctionCase> {
protected:
  void SetUp() override { test::ResetThreadWithVariables(); }
};

TEST_P(FunctionCases, GiveTheListedResult) {
  const FunctionCase& c = GetParam();
  const std::string got = test::Eval(c.expression);
  EXPECT_EQ(got, c.type + " " + c.text) << c.file << ".txt line " << c.line << ": " << c.expression;
}

INSTANTIATE_TEST_SUITE_P(Files, FunctionCases, ::testing::ValuesIn(LoadCases()),
                         [](const ::testing::TestParamInfo<FunctionCase>& info) {
                           return CaseName(info.param.file, info.param.line);
                         });

}  // namespace
}  // namespace kv
