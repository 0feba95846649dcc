// Case files: data-driven tests keep their cases in text files under the
// test data folder, one case per line, fields separated by tabs:
//
//   field<TAB>field<TAB>...<TAB>last field (the rest of the line)
//
// Fields use the escapes \\ \t \r \n. Empty lines and lines starting with
// '#' are skipped; a CR before the line end is dropped, so a file saved
// with Windows line ends reads the same.
#pragma once

#include <cstddef>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace kvtest {

struct CaseRow {
  std::string file;  // the file's name without folder and extension
  int line = 0;      // counted from 1
  std::vector<std::string> fields;
  // Why the line is no case ("" for a good row); a test running the row
  // fails with it, so a broken line never passes unnoticed.
  std::string problem;
};

// "<file>:<line>: <first field>", how gtest shows a row.
void PrintTo(const CaseRow& row, std::ostream* os);

// The escapes undone: \\ \t \r \n; a backslash before any other character
// stands for that character.
std::string Unescape(std::string_view text);

// The rows of one case file, each with exactly `fieldCount` fields (the
// last takes the rest of the line). A line with fewer fields gives a row
// with a problem; so does a file that cannot be read or holds no case.
std::vector<CaseRow> ReadCaseFile(const std::filesystem::path& path, std::size_t fieldCount);

// The rows of every file "<prefix>*.txt" in `folder`, the files in name
// order; a folder without such files gives one row with a problem.
std::vector<CaseRow> ReadCaseFiles(const std::filesystem::path& folder, const std::string& prefix,
                                   std::size_t fieldCount);

// A name for a row that gtest accepts: "<file>_line<N>" with every
// character that is no letter or digit made '_'.
std::string CaseName(const CaseRow& row);

}  // namespace kvtest
