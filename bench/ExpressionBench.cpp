// Evaluations per second of one compiled expression with three variables,
// the shape of a field mapping:  a * 1.16 + b - Iif(c > 10, 1, 0)
// Each round changes two variables, evaluates with a new stamp and reads
// the result, as the transfer engine does per record. Also reports how
// many translations of the text run per second.
//
//   bench_expression [evaluations]        (default 20,000,000)
// Prints "evaluations_per_second <n>" and "translations_per_second <n>".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "expression/ThreadExp.h"

using namespace kv;

namespace {

constexpr const char* kExpression = "a * 1.16 + b - Iif(c > 10, 1, 0)";

double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

}  // namespace

int main(int argc, char** argv) {
  const long n = argc > 1 ? std::atol(argv[1]) : 20000000L;
  CreatePubVarList();
  TVarList* vars = GetPubVarList();
  vars->SetVarExp("a", CreateRealExp(1.5L));
  vars->SetVarExp("b", CreateRealExp(2.25L));
  vars->SetVarExp("c", CreateIntExp(0));
  TExpression* a = vars->GetVarExp("a");
  TExpression* c = vars->GetVarExp("c");

  std::unique_ptr<TExpression> exp = TranslateExp(kExpression);
  if (!exp) {
    std::fprintf(stderr, "%s\n", GetExpErrorMsg().c_str());
    return 1;
  }

  long double checksum = 0;
  int32_t stamp = exp->SyncFlag;
  const auto t0 = std::chrono::steady_clock::now();
  for (long i = 0; i < n; ++i) {
    a->PutReal(static_cast<long double>(i) * 0.5L);
    c->PutInteger(i % 23);
    stamp = NextStamp(stamp);
    exp->Evaluate(stamp);
    checksum += exp->GetReal();
  }
  const auto t1 = std::chrono::steady_clock::now();

  const long translations = 200000;
  const auto t2 = std::chrono::steady_clock::now();
  for (long i = 0; i < translations; ++i) {
    std::unique_ptr<TExpression> e = TranslateExp(kExpression);
    if (!e) return 1;
  }
  const auto t3 = std::chrono::steady_clock::now();

  std::printf("expression %s\n", kExpression);
  std::printf("evaluations %ld seconds %.3f checksum %.6Lg\n", n, Seconds(t0, t1), checksum);
  std::printf("evaluations_per_second %.0f\n", static_cast<double>(n) / Seconds(t0, t1));
  std::printf("translations_per_second %.0f\n", static_cast<double>(translations) / Seconds(t2, t3));
  return 0;
}
