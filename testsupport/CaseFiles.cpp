#include "testsupport/CaseFiles.h"

#include <algorithm>
#include <fstream>
#include <ostream>

#include "foundation/CharClass.h"

namespace kvtest {

void PrintTo(const CaseRow& row, std::ostream* os) {
  *os << row.file << ":" << row.line << ": " << (row.fields.empty() ? row.problem : row.fields[0]);
}

std::string Unescape(std::string_view text) {
  std::string r;
  r.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      switch (text[++i]) {
        case 't': r += '\t'; break;
        case 'r': r += '\r'; break;
        case 'n': r += '\n'; break;
        default: r += text[i]; break;
      }
    } else {
      r += text[i];
    }
  }
  return r;
}

std::vector<CaseRow> ReadCaseFile(const std::filesystem::path& path, std::size_t fieldCount) {
  std::vector<CaseRow> rows;
  const std::string file = path.stem().string();
  std::ifstream in(path, std::ios::binary);
  if (!in) return {CaseRow{file, 0, {}, "cannot read " + path.string()}};
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    CaseRow row{file, n, {}, ""};
    size_t start = 0;
    while (row.fields.size() + 1 < fieldCount) {
      const size_t tab = line.find('\t', start);
      if (tab == std::string::npos) break;
      row.fields.push_back(Unescape(std::string_view(line).substr(start, tab - start)));
      start = tab + 1;
    }
    if (row.fields.size() + 1 == fieldCount) {
      row.fields.push_back(Unescape(std::string_view(line).substr(start)));
    } else {
      row.problem = "malformed case line (" + std::to_string(fieldCount) + " tab-separated fields wanted): " + line;
      row.fields.clear();
    }
    rows.push_back(std::move(row));
  }
  if (rows.empty()) rows.push_back(CaseRow{file, 0, {}, "no cases in " + path.string()});
  return rows;
}

std::vector<CaseRow> ReadCaseFiles(const std::filesystem::path& folder, const std::string& prefix,
                                   std::size_t fieldCount) {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && name.rfind(prefix, 0) == 0 && entry.path().extension() == ".txt")
      files.push_back(entry.path());
  }
  if (files.empty()) return {CaseRow{prefix, 0, {}, "no files " + prefix + "*.txt in " + folder.string()}};
  std::sort(files.begin(), files.end());
  std::vector<CaseRow> rows;
  for (const std::filesystem::path& path : files) {
    std::vector<CaseRow> more = ReadCaseFile(path, fieldCount);
    rows.insert(rows.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
  }
  return rows;
}

std::string CaseName(const CaseRow& row) {
  std::string name;
  for (char c : row.file) name += kv::IsDigit(c) || kv::IsAsciiLetter(c) ? c : '_';
  return name + "_line" + std::to_string(row.line);
}

}  // namespace kvtest
