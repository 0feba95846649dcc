// Field reads per second through the database variables: a mapping-shaped
// expression over the fields of an in-memory dataset, evaluated once per
// record while the dataset is walked (wrapping around at the end), as the
// transfer engine evaluates a mapping per source record.
//
//   bench_db_fields [evaluations]        (default 5,000,000)
// Prints "evaluations_per_second <n>" for the field variables and for
// FieldValue by name.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "data/DataSetCursor.h"
#include "data/MemDataSet.h"
#include "expression/DBVarList.h"
#include "expression/ThreadExp.h"

using namespace kv;

namespace {

constexpr int kRecords = 1000;

void Fill(TKVMemDataSet& ds) {
  ds.FieldDefs().Add("ID", ftLargeint);
  ds.FieldDefs().Add("AMOUNT", ftFloat);
  ds.FieldDefs().Add("NAME", ftString, 20);
  ds.CreateDataSet();
  for (int i = 0; i < kRecords; ++i) {
    ds.Append();
    ds.Fields(0).SetAsInteger(i);
    ds.Fields(1).SetAsFloat(i * 0.25);
    ds.Fields(2).SetAsString("name " + std::to_string(i));
    ds.Post();
  }
  ds.First();
}

// Evaluates `text` `n` times, one record further each time; -1 when it does not translate.
double Run(const char* text, long n, TDataSet& ds, long double& checksum) {
  std::unique_ptr<TExpression> exp = TranslateExp(text);
  if (!exp) {
    std::fprintf(stderr, "%s: %s\n", text, GetExpErrorMsg().c_str());
    return -1;
  }
  int32_t stamp = exp->SyncFlag;
  const auto t0 = std::chrono::steady_clock::now();
  for (long i = 0; i < n; ++i) {
    stamp = NextStamp(stamp);
    exp->Evaluate(stamp);
    checksum += exp->GetReal();
    ds.Next();
    if (ds.Eof()) ds.First();
  }
  const auto t1 = std::chrono::steady_clock::now();
  const double seconds = std::chrono::duration<double>(t1 - t0).count();
  std::printf("expression %s\nevaluations %ld seconds %.3f\nevaluations_per_second %.0f\n", text, n, seconds,
              static_cast<double>(n) / seconds);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const long n = argc > 1 ? std::atol(argv[1]) : 5000000L;
  CreatePubVarList();
  RegisterDBFunctions();
  TKVMemDataSet ds;
  Fill(ds);
  TDataSetCursor cursor(ds);
  std::unique_ptr<TDBVarList> list = CreateDBVarList(GetPubVarList());
  list->DefineFields(cursor.Handle(), "T");
  SetVarList(list.get());
  long double checksum = 0;
  if (Run("T.AMOUNT * 1.16 + T.ID - Iif(T.NAME = 'name 7', 1, 0)", n, ds, checksum) < 0) return 1;
  if (Run("FieldValue(T, 'AMOUNT') * 1.16 + FieldValue(T, 'ID')", n, ds, checksum) < 0) return 1;
  std::printf("checksum %.6Lg\n", checksum);
  SetVarList(GetPubVarList());
  return 0;
}
