// Counts every allocation of the test program: CountingNew.cpp replaces the
// global operator new. Link it into test programs that check that a piece of
// code allocates nothing.
#pragma once

namespace kvtest {
long AllocationCount();
}  // namespace kvtest
