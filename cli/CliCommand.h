// The command table of vandrel-cli. A command is a function taking its
// arguments (after the command name) and returning the exit status:
// 0 success, 1 failure (one line on stderr names the file and the reason),
// 2 usage error.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct Command {
  std::string name;
  std::string synopsis;     // "dump FILE"
  std::string description;  // one or more lines of help
  int order;                // place in the help text
  std::function<int(const std::vector<std::string>& args)> run;
};

// Registers a command when the program starts.
struct CommandRegistrar {
  explicit CommandRegistrar(Command cmd);
};

const std::vector<Command>& Commands();
std::string HelpText();

// Thrown by commands for a bad command line; prints the message and the
// command's synopsis, exit status 2.
struct UsageError {
  std::string message;
};

// The value of a count option (`option` names it in the usage error): a
// decimal number of 0 or more that fits in 32 bits.
int32_t ParseCount(const std::string& option, const std::string& value);

// Escapes backslash, tab, CR and LF as \\, \t, \r and \n.
std::string EscapeField(const std::string& text);

// A value from a file or database as one field of a terminal line: tab,
// CR, LF and backslash as \t, \r, \n and \\, every other control byte
// (below 0x20, and 0x7F) as \xNN, so that nothing in the data can drive
// the terminal.
std::string EscapeTerminalField(const std::string& text);

}  // namespace cli
