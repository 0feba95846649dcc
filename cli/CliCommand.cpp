#include "CliCommand.h"

#include <algorithm>
#include <charconv>
#include <sstream>

namespace cli {

namespace {
std::vector<Command>& Table() {
  static std::vector<Command> table;
  return table;
}
}  // namespace

CommandRegistrar::CommandRegistrar(Command cmd) {
  auto& t = Table();
  t.push_back(std::move(cmd));
  std::stable_sort(t.begin(), t.end(), [](const Command& a, const Command& b) { return a.order < b.order; });
}

const std::vector<Command>& Commands() { return Table(); }

int32_t ParseCount(const std::string& option, const std::string& value) {
  int32_t n = 0;
  auto r = std::from_chars(value.data(), value.data() + value.size(), n);
  if (r.ec != std::errc() || r.ptr != value.data() + value.size() || n < 0)
    throw UsageError{option + " needs a number of 0 or more, not \"" + value + "\""};
  return n;
}

std::string HelpText() {
  std::ostringstream out;
  out << "Usage: vandrel-cli COMMAND [ARGUMENTS]\n\n"
         "Vandrel's headless program: runs and inspects what the desktop program makes.\n\n"
         "Commands:\n";
  for (const Command& c : Commands()) {
    out << "  " << c.synopsis << "\n";
    std::istringstream lines(c.description);
    for (std::string line; std::getline(lines, line);) out << "      " << line << "\n";
  }
  out << "  help\n      Prints this text.\n\n"
         "Exit status: 0 success, 1 failure (one line on stderr names the file and the reason),\n"
         "2 usage error.\n";
  return out.str();
}

std::string EscapeField(const std::string& text) {
  std::string r;
  r.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\': r += "\\\\"; break;
      case '\t': r += "\\t"; break;
      case '\r': r += "\\r"; break;
      case '\n': r += "\\n"; break;
      default: r += c;
    }
  }
  return r;
}

std::string EscapeTerminalField(const std::string& text) {
  static const char digits[] = "0123456789abcdef";
  std::string r;
  r.reserve(text.size());
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    switch (c) {
      case '\\': r += "\\\\"; break;
      case '\t': r += "\\t"; break;
      case '\r': r += "\\r"; break;
      case '\n': r += "\\n"; break;
      default:
        if (u < 0x20 || u == 0x7F) {
          r += "\\x";
          r += digits[u >> 4];
          r += digits[u & 15];
        } else {
          r += c;
        }
    }
  }
  return r;
}

}  // namespace cli
