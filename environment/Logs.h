// Logs: time-stamped error, warning and information records. Every DB link
// and every job keeps one list in memory; the main window shows them and the
// log options (TLogOption) decide when they are deleted. A list can be
// written to a file as an object stream and read back.
//
// A log list is reached by worker threads (checks and runs add records) and
// by the main thread (which adds, shows and clears). The operations marked
// "locked" below are safe to call from any thread at any time; the inherited
// list operations and GetObj/SetObj are for code that knows no other thread
// uses the list.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "KVCore_export.h"
#include "environment/Environment.h"
#include "foundation/BaseObject.h"

namespace kv {

enum TLogType : uint8_t { ltError = 0, ltWarnint = 1, ltInfo = 2 };
inline constexpr int kLogTypeCount = 3;

// Display names of the log types: the English texts of SLogType_Error,
// SLogType_Warning and SLogType_Information, as they stand when the library
// is loaded ("Error", "Warnint", "Information"); language switches do not
// change them.
extern KVCORE_EXPORT const std::string LogTypeName[kLogTypeCount];
// LogTypeName[type], or an empty text for a value outside TLogType (a
// record read from a damaged file can carry one).
KVCORE_EXPORT const std::string& LogTypeText(TLogType type) noexcept;

// The current local date and time as a day count since 30 December 1899.
KVCORE_EXPORT double LogNow();

// One log record.
class KVCORE_EXPORT TKVLog : public TBaseObject {
  KV_CLASS(TKVLog, TBaseObject)
public:
  TKVLog() = default;
  TKVLog(TLogType logType, double occurTime, std::string event)
      : LogType(logType), OccurTime(occurTime), Event(std::move(event)) {}

  void Assign(const TBaseObject* source) override;
  // Stored: LogType (byte), OccurTime (double), Event (string).
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;

  TLogType LogType = ltError;
  double OccurTime = 0;  // days since 30 December 1899
  std::string Event;     // the formatted message
};

// A plain copy of one record, for readers on other threads.
struct KVCORE_EXPORT TKVLogRecord {
  TLogType LogType = ltError;
  double OccurTime = 0;
  std::string Event;
  bool operator==(const TKVLogRecord&) const = default;
};

// A log list: owns its TKVLog records, each under an empty key, in the
// order they were added (so in time order).
class KVCORE_EXPORT TKVLogs : public TStoredStrList {
  KV_CLASS(TKVLogs, TStoredStrList)
public:
  TKVLogs();
  ~TKVLogs() override;

  // Locked: a new record made now, added at the end; returns its index.
  int AddLog(TLogType logType, const std::string& event);
  // Locked: adds `log` at the end and takes ownership of it.
  int AddLog(TKVLog* log);
  // Locked.
  int Count() const;
  void Clear();
  void ClearLog() { Clear(); }
  // Locked: a copy of record `index`; EListError when out of range.
  TKVLogRecord LogAt(int index) const;
  // Locked: a copy of the newest record; false when the list is empty.
  bool Newest(TKVLogRecord& record) const;
  // Locked: copies of all records, oldest first.
  std::vector<TKVLogRecord> Snapshot() const;
  // Locked (both lists): copies of the records of another TKVLogs.
  void Assign(const TBaseObject* source) override;

  // Not locked. Null when the line carries no TKVLog.
  TKVLog* GetObj(int index) const override;
  // Not locked. Refuses anything but a TKVLog (EConvertError).
  void SetObj(int index, TBaseObject* obj) override;
  int AddObject(const std::string& key, TBaseObject* obj) override;
  void InsertObject(int index, const std::string& key, TBaseObject* obj) override;

  // Locked: writes the list and every record to `fileName` as an object
  // stream (the file is replaced atomically).
  void SaveLogToFile(const std::string& fileName) const;
  // Locked: replaces the records with those read from `fileName`. A file that
  // cannot be read, or holds anything but a log list, raises an error and
  // leaves the list as it was.
  void LoadLogFromFile(const std::string& fileName);

  // The list's lock, for callers that need several operations at once
  // (for example: read the count, then the raw records). Not recursive:
  // do not call the locked operations while holding it.
  std::mutex& Mutex() const { return mutex_; }

private:
  static TKVLog* CheckLog(TBaseObject* obj);
  mutable std::mutex mutex_;
};

// ---- When logs are deleted -----------------------------------------------------
// The DB link's log is cleared when its run starts (dlmDelAtRun).
KVCORE_EXPORT bool ClearLogAtRun(const TLogOption& option) noexcept;
// All logs are cleared when the main window closes (dlmDelAtExit).
KVCORE_EXPORT bool ClearLogsAtExit(const TLogOption& option) noexcept;
// All logs are cleared at start when more than DelLogDays days have passed
// since DelTime (dlmDelEverDays); `now` is a date-time like LogNow().
KVCORE_EXPORT bool ClearLogsByDays(const TLogOption& option, double now) noexcept;
// All logs are cleared after a log file is saved when the file holds more
// than DelFileSize KB, that is more than DelFileSize * 1024 bytes
// (dlmDelExceedSize): with DelFileSize 1, 1024 bytes keep the logs and 1025
// bytes clear them.
KVCORE_EXPORT bool ClearLogsBySize(const TLogOption& option, uint64_t fileSizeBytes) noexcept;

// Saves `logs` to `fileName` and applies the size rule to the written file:
// returns true when every log should now be cleared (the caller owns the
// other lists and clears them, this one included).
KVCORE_EXPORT bool SaveLogToFile(const TKVLogs& logs, const std::string& fileName, const TLogOption& option);
// Replaces the records of `logs` with those of the file.
KVCORE_EXPORT void LoadLogFromFile(TKVLogs& logs, const std::string& fileName);

}  // namespace kv
