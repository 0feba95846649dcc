#include "expression/functions/MathFunctions.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <random>

#include "expression/FunctionList.h"
#include "expression/Operators.h"

// The mathematics batch. Real functions compute on extended reals and follow
// IEEE arithmetic outside their domain: Sqrt(-1) and ArcSin(2) are NaN, Ln(0)
// is -INF, Csc(0) is INF (written "NAN", "INF", "-INF"); nothing raises.
// Functions with an integer result (Round, Trunc, Ceil, Floor) give
// 2147483647 when the value has no 64-bit integer (NaN, infinities, 1E30).

namespace kv {

namespace {

// The stand-in for an integer result that cannot be represented.
constexpr int64_t kNoInteger = 2147483647;
constexpr long double kPi = 3.1415926535897932385L;

// x when it lies within the 64-bit integers (x is already whole), else kNoInteger.
int64_t WholeToInteger(long double x) noexcept {
  if (!(x >= -9223372036854775808.0L && x < 9223372036854775808.0L)) return kNoInteger;
  return static_cast<int64_t>(x);
}

}  // namespace

// ---- Intermediate classes -------------------------------------------------------------

// Two numeric arguments; a real result.
class TMath2Function : public TN2Function {
  KV_CLASS(TMath2Function, TN2Function)
public:
  bool TransOverOK() override {
    DataType = etReal;
    return true;
  }
};
KV_IMPLEMENT_CLASS(TMath2Function, TN2Function)

// One numeric argument; an integer result.
class TIntMathFunction : public TN1Function {
  KV_CLASS(TIntMathFunction, TN1Function)
public:
  bool TransOverOK() override {
    DataType = etInteger;
    return true;
  }
};
KV_IMPLEMENT_CLASS(TIntMathFunction, TN1Function)

// Name(num): a real function of one real argument.
#define KV_REAL_FUNCTION(Name, expr)                   \
  class TExp_##Name : public TMathFunction {           \
    KV_CLASS(TExp_##Name, TMathFunction)               \
  public:                                              \
    void Calculate() override {                        \
      const long double x = Arg(0)->GetReal();         \
      PutReal(expr);                                   \
    }                                                  \
  };                                                   \
  KV_IMPLEMENT_CLASS(TExp_##Name, TMathFunction)

// Name(num, num): a real function of two real arguments x and y.
#define KV_REAL_FUNCTION2(Name, expr)                  \
  class TExp_##Name : public TMath2Function {          \
    KV_CLASS(TExp_##Name, TMath2Function)              \
  public:                                              \
    void Calculate() override {                        \
      const long double x = Arg(0)->GetReal();         \
      const long double y = Arg(1)->GetReal();         \
      PutReal(expr);                                   \
    }                                                  \
  };                                                   \
  KV_IMPLEMENT_CLASS(TExp_##Name, TMath2Function)

// Name(num): an integer from a whole real (out of range: 2147483647).
#define KV_INTEGER_FUNCTION(Name, expr)                \
  class TExp_##Name : public TIntMathFunction {        \
    KV_CLASS(TExp_##Name, TIntMathFunction)            \
  public:                                              \
    void Calculate() override {                        \
      const long double x = Arg(0)->GetReal();         \
      PutInteger(WholeToInteger(expr));                \
    }                                                  \
  };                                                   \
  KV_IMPLEMENT_CLASS(TExp_##Name, TIntMathFunction)

// ---- Real functions -------------------------------------------------------------------------

KV_IMPLEMENT_CLASS(TExp_Abs, TMathFunction)
void TExp_Abs::Calculate() { PutReal(std::fabs(Arg(0)->GetReal())); }

// The inverse functions; ArcCot(x) is ArcTan(1/x), ArcSec(x) ArcCos(1/x), ArcCsc(x) ArcSin(1/x).
KV_REAL_FUNCTION(ArcCos, std::acos(x))
KV_REAL_FUNCTION(ArcCosh, std::acosh(x))
KV_REAL_FUNCTION(ArcCot, std::atan(1 / x))
KV_REAL_FUNCTION(ArcCotH, std::atanh(1 / x))
KV_REAL_FUNCTION(ArcCsc, std::asin(1 / x))
KV_REAL_FUNCTION(ArcCscH, std::asinh(1 / x))
KV_REAL_FUNCTION(ArcSec, std::acos(1 / x))
KV_REAL_FUNCTION(ArcSecH, std::acosh(1 / x))
KV_REAL_FUNCTION(ArcSin, std::asin(x))
KV_REAL_FUNCTION(ArcSinh, std::asinh(x))
KV_REAL_FUNCTION(ArcTan, std::atan(x))
KV_REAL_FUNCTION(ArcTanh, std::atanh(x))
// ArcTan2(Y, X): the angle of the point (X, Y).
KV_REAL_FUNCTION2(ArcTan2, std::atan2(x, y))

KV_REAL_FUNCTION(Cos, std::cos(x))
KV_REAL_FUNCTION(Sin, std::sin(x))
KV_REAL_FUNCTION(Tan, std::tan(x))
// Cosecant and Csc, Cot and Cotan, Sec and Secant share their classes.
KV_REAL_FUNCTION(Csc, 1 / std::sin(x))
KV_REAL_FUNCTION(Cosh, std::cosh(x))
KV_REAL_FUNCTION(Sinh, std::sinh(x))
KV_REAL_FUNCTION(Tanh, std::tanh(x))
KV_REAL_FUNCTION(Cot, std::cos(x) / std::sin(x))
KV_REAL_FUNCTION(CotH, 1 / std::tanh(x))
KV_REAL_FUNCTION(CscH, 1 / std::sinh(x))
KV_REAL_FUNCTION(Sec, 1 / std::cos(x))
KV_REAL_FUNCTION(SecH, 1 / std::cosh(x))

KV_REAL_FUNCTION(Exp, std::exp(x))
// The fractional part keeps the sign: Frac(-2.5) is -0.5.
KV_REAL_FUNCTION(Frac, x - std::trunc(x))
KV_REAL_FUNCTION(Int, std::trunc(x))
KV_REAL_FUNCTION(Ln, std::log(x))
KV_REAL_FUNCTION(Log10, std::log10(x))
KV_REAL_FUNCTION(Log2, std::log2(x))
KV_REAL_FUNCTION(Sqr, x * x)
KV_REAL_FUNCTION(Sqrt, std::sqrt(x))
KV_REAL_FUNCTION2(Hypot, std::hypot(x, y))

// Pi: a constant, folded at translation.
class TExp_Pi : public TFunction {
  KV_CLASS(TExp_Pi, TFunction)
public:
  int FixedParamCount() const override { return 0; }
  bool TransOverOK() override {
    DataType = etReal;
    return true;
  }
  void Calculate() override { PutReal(kPi); }
};
KV_IMPLEMENT_CLASS(TExp_Pi, TFunction)

// ---- Integer results -----------------------------------------------------------------------

KV_INTEGER_FUNCTION(Ceil, std::ceil(x))
KV_INTEGER_FUNCTION(Floor, std::floor(x))
KV_INTEGER_FUNCTION(Trunc, std::trunc(x))
// Round: to nearest, ties to even (the processor's rounding: 2.5 -> 2, 3.5 -> 4).
KV_INTEGER_FUNCTION(Round, std::nearbyint(x))

// CompareValue(A, B): -1, 0 or 1, both read as integers (reals rounded first).
class TExp_CompareValue : public TN2Function {
  KV_CLASS(TExp_CompareValue, TN2Function)
public:
  bool TransOverOK() override {
    DataType = etInteger;
    return true;
  }
  void Calculate() override {
    const int64_t a = Arg(0)->GetInteger();
    const int64_t b = Arg(1)->GetInteger();
    PutInteger(a < b ? -1 : a > b ? 1 : 0);
  }
};
KV_IMPLEMENT_CLASS(TExp_CompareValue, TN2Function)

// ---- Results of the first argument's type ---------------------------------------------------

// Div(A, B) (TExp_Div is the operator's node): A / B as the operator computes it for A's type: the quotient of
// the low 32 bits for an integer A, the guarded real quotient for a real or
// date-time A; 0 when the division fails. Other types (reachable only through
// untyped arguments) compute nothing, as with the operator.
class TExp_DivFunc : public TN2Function {
  KV_CLASS(TExp_DivFunc, TN2Function)
public:
  void Calculate() override {
    const TExpression* a = Arg(0);
    const TExpression* b = Arg(1);
    switch (DataType) {
      case etInteger: PutInteger(Int32Quotient(a->GetInteger(), b->GetInteger())); break;
      case etReal:
      case etDateTime: {
        long double q = 0;
        PutReal(GuardedRealDiv(a->GetReal(), b->GetReal(), q) ? q : 0.0L);
        break;
      }
      default: break;
    }
  }
};
KV_IMPLEMENT_CLASS(TExp_DivFunc, TN2Function)

// LogN(Base, X): the logarithm of X to Base, written into Base's type (an
// integer base rounds the result).
class TExp_LogN : public TN2Function {
  KV_CLASS(TExp_LogN, TN2Function)
public:
  void Calculate() override { PutReal(std::log2(Arg(1)->GetReal()) / std::log2(Arg(0)->GetReal())); }
};
KV_IMPLEMENT_CLASS(TExp_LogN, TN2Function)

// Max(A, B) and Min(A, B): compared by A's type (integers and characters as
// 64-bit integers, reals and date-times as reals, texts byte by byte); a tie
// gives B. Booleans and untyped values compute nothing.
class TExp_Max : public TP2Function {
  KV_CLASS(TExp_Max, TP2Function)
public:
  void Calculate() override { Choose(true); }

protected:
  void Choose(bool larger) {
    const TExpression* a = Arg(0);
    const TExpression* b = Arg(1);
    bool takeA = false;
    switch (a->DataType) {
      case etInteger:
      case etChar: {
        const int64_t x = a->GetInteger();
        const int64_t y = b->GetInteger();
        takeA = larger ? x > y : x < y;
        break;
      }
      case etReal:
      case etDateTime: {
        const long double x = a->GetReal();
        const long double y = b->GetReal();
        takeA = larger ? x > y : x < y;
        break;
      }
      case etString: {
        TTextBuffer ba, bb;
        const std::string_view x = a->GetText(ba);
        const std::string_view y = b->GetText(bb);
        takeA = larger ? x > y : x < y;
        break;
      }
      default: return;
    }
    const TExpression* chosen = takeA ? a : b;
    switch (DataType) {
      case etInteger:
      case etChar: PutInteger(chosen->GetInteger()); break;
      case etReal:
      case etDateTime: PutReal(chosen->GetReal()); break;
      case etString: {
        TTextBuffer buffer;
        PutString(chosen->GetText(buffer));
        break;
      }
      default: break;
    }
  }
};
KV_IMPLEMENT_CLASS(TExp_Max, TP2Function)

class TExp_Min : public TExp_Max {
  KV_CLASS(TExp_Min, TExp_Max)
public:
  void Calculate() override { Choose(false); }
};
KV_IMPLEMENT_CLASS(TExp_Min, TExp_Max)

// Mod(A, B): the remainder of the 64-bit integers (sign of A); A itself when
// B is 0. Written into A's type.
class TExp_Mod : public TP2Function {
  KV_CLASS(TExp_Mod, TP2Function)
public:
  void Calculate() override {
    const int64_t a = Arg(0)->GetInteger();
    const int64_t b = Arg(1)->GetInteger();
    PutInteger(b == 0 ? a : b == -1 ? 0 : a % b);
  }
};
KV_IMPLEMENT_CLASS(TExp_Mod, TP2Function)

KV_IMPLEMENT_CLASS(TExp_Neg, TN1Function)
void TExp_Neg::Calculate() {
  const TExpression* a = Arg(0);
  switch (DataType) {
    case etInteger: PutInteger(static_cast<int64_t>(0 - static_cast<uint64_t>(a->GetInteger()))); break;
    case etReal:
    case etDateTime: PutReal(-a->GetReal()); break;
    default: break;
  }
}

// Order(num): a counter. The argument is evaluated and ignored; each
// evaluation with a new stamp adds 1 to the node's own value (1, 2, 3, ...).
class TExp_Order : public TN1Function {
  KV_CLASS(TExp_Order, TN1Function)
public:
  bool IsConst() const override { return false; }
  void Calculate() override {
    switch (DataType) {
      case etReal:
      case etDateTime: PutReal(GetReal() + 1); break;
      default: PutInteger(static_cast<int64_t>(static_cast<uint64_t>(GetInteger()) + 1u)); break;
    }
  }
};
KV_IMPLEMENT_CLASS(TExp_Order, TN1Function)

// Random(N): a draw from 0 to N - 1 (0 when N <= 0), in N's type.
class TExp_Random : public TN1Function {
  KV_CLASS(TExp_Random, TN1Function)
public:
  bool IsConst() const override { return false; }
  void Calculate() override { PutInteger(RandomBelow(Arg(0)->GetInteger())); }
};
KV_IMPLEMENT_CLASS(TExp_Random, TN1Function)

// ---- InRange ---------------------------------------------------------------------------------

// InRange(V, Lo, Hi): Lo <= V <= Hi, compared as 64-bit integers when V was
// an integer at translation, else as reals.
class TExp_InRange : public TFunction {
  KV_CLASS(TExp_InRange, TFunction)
public:
  int FixedParamCount() const override { return 3; }
  TExpTypeSet ArgTypes(int) const override { return tsNum; }
  bool TransOverOK() override {
    const TExpression* v = Arg(0);
    asIntegers_ = v && v->DataType == etInteger;
    DataType = etBoolean;
    return true;
  }
  void Calculate() override {
    const TExpression* v = Arg(0);
    const TExpression* lo = Arg(1);
    const TExpression* hi = Arg(2);
    if (asIntegers_) {
      const int64_t x = v->GetInteger();
      PutBoolean(lo->GetInteger() <= x && x <= hi->GetInteger());
    } else {
      const long double x = v->GetReal();
      PutBoolean(lo->GetReal() <= x && x <= hi->GetReal());
    }
  }

protected:
  void CopyStateTo(TExpression& copy) const override {
    TFunction::CopyStateTo(copy);
    if (auto* c = ObjCast<TExp_InRange>(&copy)) c->asIntegers_ = asIntegers_;
  }

private:
  bool asIntegers_ = false;
};
KV_IMPLEMENT_CLASS(TExp_InRange, TFunction)

// ---- The generator ---------------------------------------------------------------------------

namespace {

constexpr uint32_t kRandomFactor = 134775813u;  // $08088405

uint32_t InitialSeed() noexcept {
  uint32_t seed = static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  try {
    std::random_device device;
    seed ^= device();
  } catch (...) {
    // The clock alone will do.
  }
  return seed;
}

std::atomic<uint32_t>& RandSeed() noexcept {
  static std::atomic<uint32_t> seed{InitialSeed()};
  return seed;
}

// Advances the generator and answers the new seed.
uint32_t NextRandom() noexcept {
  std::atomic<uint32_t>& seed = RandSeed();
  uint32_t current = seed.load(std::memory_order_relaxed);
  uint32_t next;
  do {
    next = current * kRandomFactor + 1u;
  } while (!seed.compare_exchange_weak(current, next, std::memory_order_relaxed));
  return next;
}

}  // namespace

void SetRandomSeed(uint32_t seed) noexcept { RandSeed().store(seed, std::memory_order_relaxed); }

int64_t RandomBelow(int64_t n) noexcept {
  if (n <= 0) return 0;
  const uint64_t range = static_cast<uint64_t>(n);
  if (range <= (uint64_t{1} << 32)) return static_cast<int64_t>((uint64_t{NextRandom()} * range) >> 32);
  // Wider ranges take two draws.
  const uint64_t r = (uint64_t{NextRandom()} << 32) | NextRandom();
  return static_cast<int64_t>((static_cast<unsigned __int128>(r) * range) >> 64);
}

// ---- Registration ----------------------------------------------------------------------------

namespace {

// The mathematics batch, in registration order.
const TFunctionBatchRegistrar g_functions{
    fbMath,
    0,
    {
        {"Abs", TExp_Abs::StaticClass()},
        {"ArcCos", TExp_ArcCos::StaticClass()},
        {"ArcCosh", TExp_ArcCosh::StaticClass()},
        {"ArcCot", TExp_ArcCot::StaticClass()},
        {"ArcCotH", TExp_ArcCotH::StaticClass()},
        {"ArcCsc", TExp_ArcCsc::StaticClass()},
        {"ArcCscH", TExp_ArcCscH::StaticClass()},
        {"ArcSec", TExp_ArcSec::StaticClass()},
        {"ArcSecH", TExp_ArcSecH::StaticClass()},
        {"ArcSin", TExp_ArcSin::StaticClass()},
        {"ArcSinh", TExp_ArcSinh::StaticClass()},
        {"ArcTan", TExp_ArcTan::StaticClass()},
        {"ArcTanh", TExp_ArcTanh::StaticClass()},
        {"ArcTan2", TExp_ArcTan2::StaticClass()},
        {"Ceil", TExp_Ceil::StaticClass()},
        {"CompareValue", TExp_CompareValue::StaticClass()},
        {"Cos", TExp_Cos::StaticClass()},
        {"Sin", TExp_Sin::StaticClass()},
        {"Tan", TExp_Tan::StaticClass()},
        {"Cosecant", TExp_Csc::StaticClass()},
        {"Csc", TExp_Csc::StaticClass()},
        {"Cosh", TExp_Cosh::StaticClass()},
        {"Sinh", TExp_Sinh::StaticClass()},
        {"Tanh", TExp_Tanh::StaticClass()},
        {"Cot", TExp_Cot::StaticClass()},
        {"Cotan", TExp_Cot::StaticClass()},
        {"CotH", TExp_CotH::StaticClass()},
        {"CscH", TExp_CscH::StaticClass()},
        {"Div", TExp_DivFunc::StaticClass()},
        {"Exp", TExp_Exp::StaticClass()},
        {"Floor", TExp_Floor::StaticClass()},
        {"Frac", TExp_Frac::StaticClass()},
        {"Hypot", TExp_Hypot::StaticClass()},
        {"InRange", TExp_InRange::StaticClass()},
        {"Int", TExp_Int::StaticClass()},
        {"Ln", TExp_Ln::StaticClass()},
        {"Log10", TExp_Log10::StaticClass()},
        {"Log2", TExp_Log2::StaticClass()},
        {"LogN", TExp_LogN::StaticClass()},
        {"Max", TExp_Max::StaticClass()},
        {"Min", TExp_Min::StaticClass()},
        {"Mod", TExp_Mod::StaticClass()},
        {"Neg", TExp_Neg::StaticClass()},
        {"Order", TExp_Order::StaticClass()},
        {"Pi", TExp_Pi::StaticClass()},
        {"Random", TExp_Random::StaticClass()},
        {"Round", TExp_Round::StaticClass()},
        {"Trunc", TExp_Trunc::StaticClass()},
        {"Sec", TExp_Sec::StaticClass()},
        {"Secant", TExp_Sec::StaticClass()},
        {"SecH", TExp_SecH::StaticClass()},
        {"Sqr", TExp_Sqr::StaticClass()},
        {"Sqrt", TExp_Sqrt::StaticClass()},
    }};

}  // namespace

}  // namespace kv
