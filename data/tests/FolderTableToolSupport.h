// Running the independent readers and writers the folder-table interop
// tests compare with (dbftool.py, pxdump).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace kvtest {

// `s` quoted for /bin/sh.
inline std::string ShellQuoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// The lines (without their '\n') the program `argv[0]` run with the rest
// of `argv` prints on its output and error; fails the test when it cannot
// run or does not exit with 0.
inline std::vector<std::string> ToolLines(const std::vector<std::string>& argv) {
  std::string command;
  for (const std::string& a : argv) command += (command.empty() ? "" : " ") + ShellQuoted(a);
  command += " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  EXPECT_NE(pipe, nullptr) << command;
  if (!pipe) return {};
  std::string out;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
  EXPECT_EQ(::pclose(pipe), 0) << command << "\n" << out;
  std::vector<std::string> lines;
  for (size_t at = 0; at < out.size();) {
    size_t end = out.find('\n', at);
    if (end == std::string::npos) end = out.size();
    lines.push_back(out.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

}  // namespace kvtest
