#include <iostream>
#include <string>

#include "CliCommand.h"
#include "foundation/Exceptions.h"

namespace {
// Error texts may span lines; the program reports each error on one line.
std::string OneLine(const std::string& text) {
  std::string r;
  bool gap = false;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      gap = true;
      continue;
    }
    if (gap && !r.empty()) r += ' ';
    gap = false;
    r += c;
  }
  return r;
}
}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  if (argc < 2) {
    std::cerr << cli::HelpText();
    return cli::kExitUsage;
  }
  std::string name = argv[1];
  if (name == "help" || name == "--help" || name == "-h") {
    std::cout << cli::HelpText();
    return cli::kExitOk;
  }
  std::vector<std::string> args(argv + 2, argv + argc);
  for (const cli::Command& c : cli::Commands()) {
    if (c.name != name) continue;
    try {
      return c.run(args);
    } catch (const cli::UsageError& e) {
      std::cerr << "vandrel-cli " << name << ": " << e.message << "\nusage: vandrel-cli " << c.synopsis << "\n";
      return cli::kExitUsage;
    } catch (const kv::Exception& e) {
      std::cerr << "vandrel-cli " << name << ": " << OneLine(e.Message()) << "\n";
      return cli::kExitFailure;
    } catch (const std::exception& e) {
      std::cerr << "vandrel-cli " << name << ": " << OneLine(e.what()) << "\n";
      return cli::kExitFailure;
    }
  }
  std::cerr << "vandrel-cli: unknown command \"" << name << "\" (try vandrel-cli help)\n";
  return cli::kExitUsage;
}
