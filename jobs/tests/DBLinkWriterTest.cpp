// A DB link run that writes through a writer thread (append mode, nothing
// watching the destination record by record) reports exactly what the
// record-by-record loop reports: the same counters (also those an error
// handler reads), the same error records in the same order, the same rows
// in the table, and pauses and stops at the same record. The loop a
// debugging run takes (DebugGo without limits) is the reference.
#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <set>

#include "foundation/MainThread.h"
#include "jobs/tests/RunFixture.h"

using namespace kv;
using kvtest::RunFixture;

namespace {

constexpr std::chrono::seconds kPatience{30};

// Rows "ID,NAME,AMOUNT": an empty NAME in `emptyNames` (the destination
// refuses the row: NOT NULL), the AMOUNT "x" in `badAmounts` (the mapping's
// StrToFloat fails before the row is written).
std::string Source(int rows, const std::set<int>& emptyNames, const std::set<int>& badAmounts) {
  std::string text = "ID,NAME,AMOUNT\n";
  for (int n = 1; n <= rows; ++n) {
    text += std::to_string(n) + "," + (emptyNames.count(n) ? "" : "N" + std::to_string(n)) + "," +
            (badAmounts.count(n) ? "x" : std::to_string(n) + ".25") + "\n";
  }
  return text;
}

struct Case {
  const char* name;
  int rows;
  std::set<int> emptyNames, badAmounts;
  int maxErrors;
  int pauseAtError;  // the handler pauses the run at this error (1-based; 0: never)
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

struct Outcome {
  TJobStatus status;
  int32_t rows, inserted, errors;
  std::vector<int32_t> rowsAtErrors;  // Statistic.Rows as the error handler saw it
  std::vector<std::string> errorIds;
  std::vector<std::string> table;
  int32_t rowsAtPause = -1;
  bool background = false;
};

Outcome RunCase(const Case& c, bool debug) {
  RunFixture f;
  f.WriteSource(Source(c.rows, c.emptyNames, c.badAmounts));
  f.CreateTable("ID INTEGER, NAME TEXT NOT NULL, AMOUNT REAL");
  f.link->Mappings().Clear();
  f.link->Mappings().Add("ID=ID");
  f.link->Mappings().Add("NAME=S.NAME");
  f.link->Mappings().Add("AMOUNT=StrToFloat(S.AMOUNT) * 2");
  f.link->MaxErrors = c.maxErrors;
  Outcome o;
  auto headless = f.link->OnError;
  f.link->OnError = [&](TDBLink& l, const std::string& e, TDataSet* d, TAbortMode& abort) {
    headless(l, e, d, abort);
    o.rowsAtErrors.push_back(l.Statistic.Rows);
    abort = static_cast<int>(o.rowsAtErrors.size()) == c.pauseAtError ? amPause : amNone;
  };
  auto go = [&] { debug ? f.link->DebugGo() : f.link->Run(); };
  go();
  if (c.pauseAtError > 0) {
    const bool parked = PumpMainThreadUntil(
        [&] { return f.link->Thread() && f.link->Thread()->Parked() && f.link->Status() == jsPause; }, kPatience);
    EXPECT_TRUE(parked);
    o.rowsAtPause = f.link->Counters().Statistic.Rows;
    go();
  }
  f.link->WaitFor();
  o.status = f.link->Status();
  const TRunStatistic s = f.Stat();
  o.rows = s.Rows;
  o.inserted = s.Inserted;
  o.errors = s.Errors;
  o.errorIds = f.ErrorIds();
  o.table = f.Query("SELECT ID, NAME, AMOUNT FROM t ORDER BY rowid");
  o.background = f.link->WritesInBackground();
  return o;
}

class DBLinkWriter : public ::testing::TestWithParam<Case> {};

TEST_P(DBLinkWriter, ReportsWhatTheRecordByRecordLoopReports) {
  const Case& c = GetParam();
  const Outcome reference = RunCase(c, true);
  const Outcome o = RunCase(c, false);
  ASSERT_FALSE(reference.background);
  ASSERT_TRUE(o.background) << "the run did not take the writer thread";
  EXPECT_EQ(o.status, reference.status);
  EXPECT_EQ(o.rows, reference.rows);
  EXPECT_EQ(o.inserted, reference.inserted);
  EXPECT_EQ(o.errors, reference.errors);
  EXPECT_EQ(o.rowsAtErrors, reference.rowsAtErrors);
  EXPECT_EQ(o.rowsAtPause, reference.rowsAtPause);
  EXPECT_EQ(o.errorIds, reference.errorIds);
  EXPECT_EQ(o.table.size(), static_cast<size_t>(reference.inserted));
  EXPECT_EQ(o.table, reference.table);
}

// Rows enough for several batches of the writer, failures in the first and
// last rows, next to each other, on both sides of a batch's end.
INSTANTIATE_TEST_SUITE_P(
    Runs, DBLinkWriter,
    ::testing::Values(Case{"clean", 1500, {}, {}, 0, 0},
                      Case{"refusedAndFailedRowsInterleave", 2000, {1, 511, 512, 513, 1300, 2000}, {2, 600, 1299, 1999}, 0, 0},
                      Case{"refusedAndFailedOnOneRow", 1200, {700}, {700}, 0, 0},
                      Case{"errorLimitReachedAtARefusedRow", 2000, {5, 700, 701, 1500}, {300}, 3, 0},
                      Case{"errorLimitReachedAtAFailedRow", 2000, {5, 700, 1500}, {300, 900}, 4, 0},
                      Case{"pauseAtARefusedRowGoesOnAfterIt", 2000, {10, 1100, 1800}, {}, 0, 2},
                      Case{"pauseAtTheLastRowRefused", 1000, {1000}, {}, 0, 1}),
    [](const ::testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

}  // namespace
