// functions: the names an expression can call.
//
//   vandrel-cli functions [--batch NAME]
//
// Prints the registered function names in registration order, one per line:
// the base batches (math, text, conversion, datetime, control), then the
// database functions when they are registered. --batch limits the list to
// one batch.
#include <iostream>
#include <string>
#include <vector>

#include "CliCommand.h"
#include "expression/FunctionList.h"

namespace cli {
namespace {

struct BatchName {
  const char* name;
  kv::TFunctionBatch batch;
};

constexpr BatchName kBatches[] = {
    {"math", kv::fbMath},         {"text", kv::fbText},       {"conversion", kv::fbConversion},
    {"datetime", kv::fbDateTime}, {"control", kv::fbControl}, {"database", kv::fbDataBase},
};

std::string BatchNames() {
  std::string r;
  for (const BatchName& b : kBatches) r += (r.empty() ? "" : ", ") + std::string(b.name);
  return r;
}

int RunFunctions(const std::vector<std::string>& args) {
  std::vector<kv::TFunctionBatch> batches;
  for (const BatchName& b : kBatches) batches.push_back(b.batch);
  for (size_t i = 0; i < args.size(); ++i) {
    std::string value;
    if (args[i] == "--batch") {
      if (i + 1 >= args.size()) throw UsageError{"--batch needs a name (" + BatchNames() + ")"};
      value = args[++i];
    } else if (args[i].rfind("--batch=", 0) == 0) {
      value = args[i].substr(8);
    } else {
      throw UsageError{"unexpected argument \"" + args[i] + "\""};
    }
    batches.clear();
    for (const BatchName& b : kBatches)
      if (value == b.name) batches.push_back(b.batch);
    if (batches.empty()) throw UsageError{"unknown batch \"" + value + "\" (" + BatchNames() + ")"};
  }
  for (kv::TFunctionBatch batch : batches)
    for (const kv::TFunctionDef& f : kv::FunctionBatch(batch))
      if (f.Name && *f.Name) std::cout << f.Name << '\n';
  std::cout.flush();
  return std::cout ? kExitOk : kExitFailure;
}

const CommandRegistrar functions{Command{
    "functions", "functions [--batch NAME]",
    "Prints the names of the functions an expression can call, one per line, in\n"
    "registration order: math, text, conversion, datetime and control, then database.\n"
    "--batch NAME prints one batch only.",
    21, RunFunctions}};

}  // namespace
}  // namespace cli
