// The folder of a test program's data files: $VANDREL_TEST_DATA when set
// (ctest sets it), else the tests/data folder beside the test's sources,
// which vandrel_add_test compiles in, so the program also runs by hand.
#pragma once

#include <cstdlib>
#include <string>

namespace kvtest {

inline std::string TestDataFolder() {
  if (const char* env = std::getenv("VANDREL_TEST_DATA"); env && *env) return env;
#ifdef VANDREL_TEST_DATA_DIR
  return VANDREL_TEST_DATA_DIR;
#else
  return "";
#endif
}

}  // namespace kvtest
