// Runs the built vandrel-cli as a user's script would and captures its
// output and exit status.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace clitest {

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string Quote(const std::string& s) {
  std::string r = "'";
  for (char c : s) r += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return r + "'";
}

inline std::string Slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// Runs vandrel-cli with `shellArgs` as the shell reads them (quotes and
// all); `env` holds NAME=VALUE settings put before the command.
inline Result RunCliShell(const std::string& shellArgs, const std::string& env = "", const std::string& input = "") {
  static int counter = 0;
  std::string base = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/vandrel_cli_" +
                     std::to_string(::getpid()) + "_" + std::to_string(counter++);
  std::string cmd = env + " " + Quote(VANDREL_CLI) + " " + shellArgs;
  if (!input.empty()) {
    std::ofstream(base + ".in", std::ios::binary) << input;
    cmd += " < " + Quote(base + ".in");
  } else {
    cmd += " < /dev/null";
  }
  cmd += " > " + Quote(base + ".out") + " 2> " + Quote(base + ".err");
  int raw = std::system(cmd.c_str());
  Result r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = Slurp(base + ".out");
  r.err = Slurp(base + ".err");
  std::remove((base + ".in").c_str());
  std::remove((base + ".out").c_str());
  std::remove((base + ".err").c_str());
  return r;
}

// Runs vandrel-cli with each of `args` as one argument.
inline Result RunCli(const std::vector<std::string>& args, const std::string& env = "", const std::string& input = "") {
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

}  // namespace clitest
