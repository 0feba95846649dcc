// Runs the built vandrel-cli as a user's script would and captures its
// output and exit status.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "testsupport/TempFiles.h"

namespace kvtest {

struct CliResult {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string Quote(const std::string& s) {
  std::string r = "'";
  for (char c : s) r += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return r + "'";
}

// Runs vandrel-cli with `shellArgs` as the shell reads them (quotes and
// all); `env` holds NAME=VALUE settings put before the command.
inline CliResult RunCliShell(const std::string& shellArgs, const std::string& env = "", const std::string& input = "") {
  static int counter = 0;
  const std::string run = std::to_string(counter++);
  const std::string in = TempFilePath("cli", run + ".in");
  const std::string out = TempFilePath("cli", run + ".out");
  const std::string err = TempFilePath("cli", run + ".err");
  std::string cmd = env + " " + Quote(VANDREL_CLI) + " " + shellArgs;
  if (!input.empty()) {
    WriteFile(in, input);
    cmd += " < " + Quote(in);
  } else {
    cmd += " < /dev/null";
  }
  cmd += " > " + Quote(out) + " 2> " + Quote(err);
  int raw = std::system(cmd.c_str());
  CliResult r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = ReadFile(out);
  r.err = ReadFile(err);
  for (const std::string& f : {in, out, err}) std::remove(f.c_str());
  return r;
}

// Runs vandrel-cli with each of `args` as one argument.
inline CliResult RunCli(const std::vector<std::string>& args, const std::string& env = "", const std::string& input = "") {
  std::string shellArgs;
  for (const std::string& a : args) shellArgs += " " + Quote(a);
  return RunCliShell(shellArgs, env, input);
}

// The lines of a text, without their line ends.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// The exit status and the output lines of one run.
struct CliLines {
  int status = -1;
  std::vector<std::string> lines;
};

// Runs vandrel-cli as RunCliShell does; the lines of standard output, and
// then those of standard error when `withErrors` is set.
inline CliLines RunCliLines(const std::string& shellArgs, bool withErrors) {
  const CliResult r = RunCliShell(shellArgs);
  return CliLines{r.status, Lines(withErrors ? r.out + r.err : r.out)};
}

}  // namespace kvtest
