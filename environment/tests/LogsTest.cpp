// Log records and lists: persistence, the deletion rules and use from
// several threads at once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "environment/CoreMessages.h"
#include "environment/Logs.h"
#include "foundation/Exceptions.h"
#include "foundation/ObjectStream.h"
#include "testsupport/TempFiles.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::unique_ptr<TLogOption> Option(std::initializer_list<TDelLogMode> modes) {
  auto o = std::make_unique<TLogOption>();
  for (TDelLogMode m : modes) o->Include(m);
  return o;
}

// ---- Records ------------------------------------------------------------------

TEST(LogTypeNames, EnglishTextsTakenAtLoadStayAfterASwitch) {
  KVSetLanguage(ltSimpleChinese);
  EXPECT_EQ(LogTypeName[ltError], "Error");
  EXPECT_EQ(LogTypeName[ltWarnint], "Warnint");
  EXPECT_EQ(LogTypeName[ltInfo], "Information");
  EXPECT_STREQ(SLogType_Warning.c_str(), "警告");
  KVSetLanguage(ltEnglish);
  EXPECT_EQ(LogTypeText(ltInfo), "Information");
  EXPECT_EQ(LogTypeText(static_cast<TLogType>(3)), "");
  EXPECT_EQ(LogTypeText(static_cast<TLogType>(255)), "");
}

TEST(KVLog, CreateAndAssignCopyAllThreeFields) {
  TKVLog a(ltWarnint, 45000.25, "DBLink:Orders stop.");
  TKVLog b;
  EXPECT_EQ(b.LogType, ltError);
  b.Assign(&a);
  EXPECT_EQ(b.LogType, ltWarnint);
  EXPECT_EQ(b.OccurTime, 45000.25);
  EXPECT_EQ(b.Event, "DBLink:Orders stop.");
  TLogOption other;
  EXPECT_THROW(b.Assign(&other), EConvertError);
  EXPECT_THROW(b.Assign(nullptr), EConvertError);
}

TEST(KVLog, NowIsTheLocalClockAsADayCount) {
  const double before = LogNow();
  TKVLogs logs;
  logs.AddLog(ltInfo, "x");
  const double after = LogNow();
  const double t = logs.LogAt(0).OccurTime;
  EXPECT_LE(before, t);
  EXPECT_LE(t, after);
  // Within a day of the UTC day count (time zones differ by at most 14 hours).
  const double utcDays = 25569.0 + static_cast<double>(std::time(nullptr)) / 86400.0;
  EXPECT_NEAR(t, utcDays, 0.6);
}

// ---- Lists --------------------------------------------------------------------

TEST(KVLogs, RecordsAreAddedAtTheEndUnderAnEmptyKey) {
  TKVLogs logs;
  EXPECT_EQ(logs.Count(), 0);
  TKVLogRecord newest;
  EXPECT_FALSE(logs.Newest(newest));
  EXPECT_EQ(logs.AddLog(ltInfo, "first"), 0);
  EXPECT_EQ(logs.AddLog(ltError, "second"), 1);
  EXPECT_EQ(logs.AddLog(new TKVLog(ltWarnint, 1.5, "third")), 2);
  ASSERT_EQ(logs.Count(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(logs.Strings(i), "");
  EXPECT_LE(logs.LogAt(0).OccurTime, logs.LogAt(1).OccurTime);
  EXPECT_EQ(logs.GetObj(1)->Event, "second");
  ASSERT_TRUE(logs.Newest(newest));
  EXPECT_EQ(newest, (TKVLogRecord{ltWarnint, 1.5, "third"}));
  EXPECT_THROW(logs.LogAt(3), EListError);
  EXPECT_THROW(logs.LogAt(-1), EListError);
  logs.ClearLog();
  EXPECT_EQ(logs.Count(), 0);
  EXPECT_TRUE(logs.Snapshot().empty());
}

TEST(KVLogs, OnlyLogRecordsEnterTheList) {
  TKVLogs logs;
  logs.AddLog(ltInfo, "a");
  auto foreign = std::make_unique<TLogOption>();
  EXPECT_THROW(logs.AddObject("", foreign.get()), EConvertError);
  EXPECT_THROW(logs.SetObj(0, foreign.get()), EConvertError);
  EXPECT_THROW(logs.InsertObject(0, "", foreign.get()), EConvertError);
  EXPECT_EQ(logs.Count(), 1);
  logs.SetObj(0, new TKVLog(ltError, 2, "b"));
  EXPECT_EQ(logs.LogAt(0).Event, "b");
}

TEST(KVLogs, AssignCopiesTheRecords) {
  TKVLogs a, b;
  a.AddLog(new TKVLog(ltError, 10, "one"));
  a.AddLog(new TKVLog(ltInfo, 11, "two"));
  b.AddLog(ltInfo, "replaced");
  b.Assign(&a);
  EXPECT_EQ(b.Snapshot(), a.Snapshot());
  EXPECT_NE(b.GetObj(0), a.GetObj(0));  // copies, not shared
  b.Assign(&b);
  EXPECT_EQ(b.Count(), 2);
  TStoredStrList plain;
  EXPECT_THROW(b.Assign(&plain), EConvertError);
  TKVLog log;
  EXPECT_THROW(b.Assign(&log), EConvertError);
  EXPECT_EQ(b.Count(), 2);
}

// ---- Files --------------------------------------------------------------------

TEST(LogFiles, RoundTripKeepsEveryFieldAndFullTimePrecision) {
  kvtest::TempFolder dir("logs");
  const std::vector<double> times = {
      45292.123456789012345,                                      // a time of day with every digit used
      std::nextafter(45292.5, 1e9),                               // one unit in the last place above noon
      -693593.999999999,                                          // the year 1 (before 1899)
      2958465.99998842592,                                        // 31 December 9999 23:59:59
      1e-300, 0.0,
  };
  TKVLogs logs;
  for (size_t i = 0; i < times.size(); ++i)
    logs.AddLog(new TKVLog(static_cast<TLogType>(i % 3), times[i], "record " + std::to_string(i)));
  logs.AddLog(new TKVLog(ltInfo, 1, "数据链接:订单 开始。"));
  logs.AddLog(new TKVLog(ltError, 2, "two lines\r\nsecond \"quoted\""));
  logs.AddLog(new TKVLog(ltWarnint, 3, ""));
  logs.AddLog(new TKVLog(ltInfo, 4, std::string(70000, 'x')));
  const std::string file = dir.File("link.log");
  logs.SaveLogToFile(file);

  TKVLogs back;
  back.AddLog(ltInfo, "replaced by the file");
  back.LoadLogFromFile(file);
  const auto a = logs.Snapshot(), b = back.Snapshot();
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(b[i].LogType, a[i].LogType);
    EXPECT_TRUE(SameBits(b[i].OccurTime, a[i].OccurTime)) << b[i].OccurTime;
    EXPECT_EQ(b[i].Event, a[i].Event);
  }
  for (int i = 0; i < back.Count(); ++i) EXPECT_EQ(back.Strings(i), "");
}

TEST(LogFiles, TheFileIsAnObjectStreamOfTheList) {
  kvtest::TempFolder dir("logs");
  TKVLogs logs;
  logs.AddLog(new TKVLog(ltWarnint, 44000.5, "kept"));
  const std::string file = dir.File("a.log");
  logs.SaveLogToFile(file);
  std::ifstream in(file, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes.substr(0, 4), "TPF0");
  EXPECT_NE(bytes.find("TKVLogs"), std::string::npos);
  EXPECT_NE(bytes.find("kept"), std::string::npos);  // the records are in the file, not just their keys
  std::unique_ptr<TBaseObject> obj(ReadObjectFromFile(file));
  auto* read = ObjCast<TKVLogs>(obj.get());
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->Snapshot(), logs.Snapshot());
}

TEST(LogFiles, AnEmptyListRoundTrips) {
  kvtest::TempFolder dir("logs");
  TKVLogs empty, back;
  back.AddLog(ltInfo, "x");
  empty.SaveLogToFile(dir.File("e.log"));
  back.LoadLogFromFile(dir.File("e.log"));
  EXPECT_EQ(back.Count(), 0);
}

TEST(LogFiles, BadFilesRaiseAndLeaveTheListAlone) {
  kvtest::TempFolder dir("logs");
  TKVLogs logs;
  logs.AddLog(new TKVLog(ltInfo, 7, "kept"));
  EXPECT_THROW(logs.LoadLogFromFile(dir.File("missing.log")), Exception);

  const std::string garbage = dir.File("garbage.log");
  std::ofstream(garbage, std::ios::binary) << "not an object stream";
  EXPECT_THROW(logs.LoadLogFromFile(garbage), Exception);

  const std::string other = dir.File("other.log");
  TLogOption option;
  WriteObjectToFile(other, &option);
  EXPECT_THROW(logs.LoadLogFromFile(other), EReadError);

  // A log list whose lines carry foreign objects.
  TStoredStrList mixed;
  mixed.AddObject("", new TKVLog(ltInfo, 1, "fine"));
  mixed.AddObject("", new TLogOption);
  WriteObjectToFile(dir.File("mixed.log"), &mixed);
  EXPECT_THROW(logs.LoadLogFromFile(dir.File("mixed.log")), EReadError);

  // Truncated log file.
  TKVLogs big;
  for (int i = 0; i < 20; ++i) big.AddLog(ltInfo, "record");
  const std::string cut = dir.File("cut.log");
  big.SaveLogToFile(cut);
  fs::resize_file(cut, fs::file_size(cut) / 2);
  EXPECT_THROW(logs.LoadLogFromFile(cut), Exception);

  ASSERT_EQ(logs.Count(), 1);
  EXPECT_EQ(logs.LogAt(0), (TKVLogRecord{ltInfo, 7, "kept"}));
}

TEST(LogFiles, SavingIntoAMissingFolderFails) {
  kvtest::TempFolder dir("logs");
  TKVLogs logs;
  EXPECT_THROW(logs.SaveLogToFile(dir.File("no/such/folder/x.log")), Exception);
}

// ---- Deletion rules -------------------------------------------------------------

TEST(LogDeletion, SizeRuleComparesBytesWithKilobytes) {
  auto o = Option({dlmDelExceedSize});
  o->DelFileSize = 1;
  EXPECT_FALSE(ClearLogsBySize(*o, 0));
  EXPECT_FALSE(ClearLogsBySize(*o, 1023));
  EXPECT_FALSE(ClearLogsBySize(*o, 1024));
  EXPECT_TRUE(ClearLogsBySize(*o, 1025));
  o->DelFileSize = 2;
  EXPECT_FALSE(ClearLogsBySize(*o, 2048));
  EXPECT_TRUE(ClearLogsBySize(*o, 2049));
  o->DelFileSize = 0;
  EXPECT_FALSE(ClearLogsBySize(*o, 0));
  EXPECT_TRUE(ClearLogsBySize(*o, 1));
  o->DelFileSize = std::numeric_limits<int32_t>::max();  // no overflow
  EXPECT_FALSE(ClearLogsBySize(*o, 1024ull * std::numeric_limits<int32_t>::max()));
  EXPECT_TRUE(ClearLogsBySize(*o, 1024ull * std::numeric_limits<int32_t>::max() + 1));
  o->DelFileSize = -1;
  EXPECT_TRUE(ClearLogsBySize(*o, 0));
  TLogOption off;
  off.DelFileSize = 1;
  EXPECT_FALSE(ClearLogsBySize(off, 1u << 30));
}

// Saves one record whose text makes the file exactly `bytes` long.
bool SaveFileOfSize(const std::string& file, uint64_t bytes, const TLogOption& option) {
  TKVLogs probe;
  probe.AddLog(new TKVLog(ltError, 45000.5, std::string(600, 'e')));
  probe.SaveLogToFile(file);
  const auto overhead = static_cast<int64_t>(fs::file_size(file)) - 600;
  TKVLogs logs;
  logs.AddLog(new TKVLog(ltError, 45000.5, std::string(static_cast<size_t>(static_cast<int64_t>(bytes) - overhead), 'e')));
  const bool clear = SaveLogToFile(logs, file, option);
  EXPECT_EQ(fs::file_size(file), bytes);
  return clear;
}

TEST(LogDeletion, SavingAFileOf1024BytesKeepsTheLogsAnd1025ClearsThem) {
  kvtest::TempFolder dir("logs");
  auto o = Option({dlmDelExceedSize});
  o->DelFileSize = 1;
  EXPECT_FALSE(SaveFileOfSize(dir.File("a.log"), 1024, *o));
  EXPECT_TRUE(SaveFileOfSize(dir.File("b.log"), 1025, *o));
  TLogOption off;
  EXPECT_FALSE(SaveFileOfSize(dir.File("c.log"), 1025, off));
}

TEST(LogDeletion, AtRunAndAtExit) {
  EXPECT_TRUE(ClearLogAtRun(*Option({dlmDelAtRun})));
  EXPECT_FALSE(ClearLogAtRun(*Option({dlmDelAtExit, dlmDelEverDays, dlmDelExceedSize})));
  EXPECT_TRUE(ClearLogsAtExit(*Option({dlmDelAtExit})));
  EXPECT_FALSE(ClearLogsAtExit(*Option({dlmDelAtRun})));
  EXPECT_FALSE(ClearLogsAtExit(TLogOption()));

  // A second run of a link with the at-run rule starts with an empty log;
  // the other link's log stays.
  TKVLogs link1, link2;
  link1.AddLog(ltInfo, "first run");
  link2.AddLog(ltInfo, "other link");
  if (ClearLogAtRun(*Option({dlmDelAtRun}))) link1.ClearLog();
  EXPECT_EQ(link1.Count(), 0);
  EXPECT_EQ(link2.Count(), 1);
}

TEST(LogDeletion, EveryNDaysCountsFromDelTime) {
  auto o = Option({dlmDelEverDays});
  o->DelLogDays = 1;
  o->DelTime = 45000.0;
  EXPECT_FALSE(ClearLogsByDays(*o, 45000.5));
  EXPECT_FALSE(ClearLogsByDays(*o, 45001.0));  // exactly one day: not more than DelLogDays
  EXPECT_TRUE(ClearLogsByDays(*o, 45001.0001));
  EXPECT_FALSE(ClearLogsByDays(*o, 44000.0));  // clock before DelTime
  o->DelLogDays = 0;
  EXPECT_TRUE(ClearLogsByDays(*o, 45000.01));
  auto fresh = Option({dlmDelEverDays});  // DelTime 0: clears at every start
  EXPECT_TRUE(ClearLogsByDays(*fresh, LogNow()));
  TLogOption off;
  EXPECT_FALSE(ClearLogsByDays(off, LogNow()));
}

// ---- Threads --------------------------------------------------------------------

TEST(LogThreads, ConcurrentAddersAndReadersSeeWholeRecordsInOrder) {
  TKVLogs logs;
  constexpr int kWriters = 6, kPerWriter = 1500;
  std::atomic<bool> done{false};
  std::atomic<int> badSnapshots{0};
  std::vector<std::thread> threads;
  for (int w = 0; w < kWriters; ++w) {
    threads.emplace_back([&logs, w] {
      for (int i = 0; i < kPerWriter; ++i)
        logs.AddLog(static_cast<TLogType>(i % 3), "w" + std::to_string(w) + ":" + std::to_string(i));
    });
  }
  std::thread reader([&] {
    int lastCount = 0;
    while (!done.load()) {
      const auto snap = logs.Snapshot();
      const int count = logs.Count();
      TKVLogRecord newest;
      const bool any = logs.Newest(newest);
      std::vector<int> next(kWriters, 0);
      bool ok = static_cast<int>(snap.size()) >= lastCount && count >= static_cast<int>(snap.size()) &&
                (any || snap.empty());
      for (const auto& r : snap) {
        const size_t colon = r.Event.find(':');
        const int w = std::stoi(r.Event.substr(1, colon - 1));
        const int i = std::stoi(r.Event.substr(colon + 1));
        ok = ok && i == next[static_cast<size_t>(w)]++ && r.LogType == static_cast<TLogType>(i % 3);
      }
      if (!ok) ++badSnapshots;
      lastCount = static_cast<int>(snap.size());
    }
  });
  for (auto& t : threads) t.join();
  done = true;
  reader.join();
  EXPECT_EQ(badSnapshots.load(), 0);
  EXPECT_EQ(logs.Count(), kWriters * kPerWriter);
}

TEST(LogThreads, ClearingWhileOthersAddAndCopy) {
  TKVLogs logs, copy;
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (int w = 0; w < 4; ++w)
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) logs.AddLog(ltWarnint, "event");
    });
  threads.emplace_back([&] {
    while (!stop.load()) {
      logs.ClearLog();
      copy.Assign(&logs);
      for (const auto& r : copy.Snapshot())
        if (r.Event != "event") ADD_FAILURE() << r.Event;
    }
  });
  for (size_t i = 0; i < 4; ++i) threads[i].join();
  stop = true;
  threads.back().join();
  EXPECT_LE(logs.Count(), 8000);
  logs.ClearLog();
  EXPECT_EQ(logs.Count(), 0);
}

}  // namespace
}  // namespace kv
