// Mathematical functions (registered in the mathematics batch).
#pragma once

#include <cstdint>

#include "KVLib_export.h"
#include "expression/Function.h"

namespace kv {

// Abs(num): the absolute value, as a real.
class KVLIB_EXPORT TExp_Abs : public TMathFunction {
  KV_CLASS(TExp_Abs, TMathFunction)
public:
  void Calculate() override;
};

// Neg(num): the negation, of the argument's type (64-bit wrapping for integers).
class KVLIB_EXPORT TExp_Neg : public TN1Function {
  KV_CLASS(TExp_Neg, TN1Function)
public:
  void Calculate() override;
};

// ---- The generator behind Random ---------------------------------------------------

// Random(N) draws from one process-wide generator: a 32-bit linear
// congruential sequence (seed := seed * 134775813 + 1; the draw is the high
// half of seed * N), the platform's classic generator. It starts from a seed
// taken from the clock and the system's entropy unless a seed is set here,
// which makes the following draws repeatable (tests, reproducible runs).
KVLIB_EXPORT void SetRandomSeed(uint32_t seed) noexcept;
// A draw from 0 to n - 1 (0 when n <= 0), advancing the generator.
KVLIB_EXPORT int64_t RandomBelow(int64_t n) noexcept;

}  // namespace kv
