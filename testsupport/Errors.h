// The message of the error a call raises, for tests that check it word for
// word: EXPECT_EQ(kvtest::ErrorOf([&] { ds.Open(); }), "Table does not exist").
#pragma once

#include <string>

#include "foundation/Exceptions.h"

namespace kvtest {

// The Message() of the `E` that `f` raises, or "(no error)" when it raises
// nothing. Any other exception passes through and fails the test.
template <class E = kv::Exception, class F>
std::string ErrorOf(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  }
  return "(no error)";
}

}  // namespace kvtest
