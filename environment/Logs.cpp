#include "environment/Logs.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <memory>

#include "environment/CoreMessages.h"
#include "foundation/Exceptions.h"
#include "foundation/ObjectStream.h"

namespace kv {

KV_IMPLEMENT_CLASS(TKVLog, TBaseObject)
KV_IMPLEMENT_CLASS(TKVLogs, TStoredStrList)

namespace {
const TClassRegistrar g_logRegistrar{TKVLog::StaticClass(), TKVLogs::StaticClass()};

constexpr double kUnixEpochDays = 25569.0;  // 1 January 1970 as a day count since 30 December 1899
constexpr double kSecondsPerDay = 86400.0;

// Copies of the records of `list`, each a new TKVLog; lines without a log are skipped.
void CopyLogs(const TStringList& from, TStringList& to) {
  for (int i = 0; i < from.Count(); ++i) {
    if (const auto* log = ObjCast<TKVLog>(from.Objects(i))) {
      to.AddOwned(from.Strings(i), std::make_unique<TKVLog>(log->LogType, log->OccurTime, log->Event));
    }
  }
}

TKVLogRecord RecordOf(const TKVLog& log) { return TKVLogRecord{log.LogType, log.OccurTime, log.Event}; }

}  // namespace

// The English texts: the message table's, whatever language is in force now.
const std::string LogTypeName[kLogTypeCount] = {
    CoreMessageText(SLogType_Error, ltEnglish),
    CoreMessageText(SLogType_Warning, ltEnglish),
    CoreMessageText(SLogType_Information, ltEnglish),
};

const std::string& LogTypeText(TLogType type) noexcept {
  static const std::string none;
  return type < kLogTypeCount ? LogTypeName[type] : none;
}

double LogNow() {
  using namespace std::chrono;
  const system_clock::time_point now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  const auto micros = duration_cast<microseconds>(now.time_since_epoch()).count();
  const double localSeconds = static_cast<double>(micros) / 1e6 + static_cast<double>(local.tm_gmtoff);
  return kUnixEpochDays + localSeconds / kSecondsPerDay;
}

// ---- TKVLog -------------------------------------------------------------------

void TKVLog::Assign(const TBaseObject* source) {
  if (const auto* s = ObjCast<TKVLog>(source)) {
    LogType = s->LogType;
    OccurTime = s->OccurTime;
    Event = s->Event;
    return;
  }
  inherited::Assign(source);
}

void TKVLog::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptByte>(proc, param, LogType, "LogType", LogType != ltError);
  Prop<ptDouble>(proc, param, OccurTime, "OccurTime", OccurTime != 0);
  Prop<ptString>(proc, param, Event, "Event", !Event.empty());
}

// ---- TKVLogs ------------------------------------------------------------------

TKVLogs::TKVLogs() = default;

TKVLogs::~TKVLogs() = default;

TKVLog* TKVLogs::CheckLog(TBaseObject* obj) {
  if (obj && !obj->Is<TKVLog>())
    throw EConvertError(std::string("Cannot assign a ") + obj->ClassName() + " to a TKVLog");
  return static_cast<TKVLog*>(obj);
}

int TKVLogs::AddLog(TLogType logType, const std::string& event) {
  return AddLog(new TKVLog(logType, LogNow(), event));
}

int TKVLogs::AddLog(TKVLog* log) {
  std::unique_ptr<TKVLog> owned(log);
  std::lock_guard<std::mutex> lock(mutex_);
  return List->AddOwned(std::string(), std::move(owned));
}

int TKVLogs::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return List->Count();
}

void TKVLogs::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  List->Clear();
}

TKVLogRecord TKVLogs::LogAt(int index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const TKVLog* log = ObjCast<TKVLog>(List->Objects(index));  // EListError when out of range
  return log ? RecordOf(*log) : TKVLogRecord{};
}

bool TKVLogs::Newest(TKVLogRecord& record) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (int i = List->Count() - 1; i >= 0; --i) {
    if (const auto* log = ObjCast<TKVLog>(List->Objects(i))) {
      record = RecordOf(*log);
      return true;
    }
  }
  return false;
}

std::vector<TKVLogRecord> TKVLogs::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<TKVLogRecord> records;
  records.reserve(static_cast<size_t>(List->Count()));
  for (int i = 0; i < List->Count(); ++i)
    if (const auto* log = ObjCast<TKVLog>(List->Objects(i))) records.push_back(RecordOf(*log));
  return records;
}

void TKVLogs::Assign(const TBaseObject* source) {
  if (source == this) return;
  if (const auto* s = ObjCast<TKVLogs>(source)) {
    // Copy under the source's lock, then swap in under ours: never both at once.
    auto copy = std::make_unique<TStringList>();
    {
      std::lock_guard<std::mutex> lock(s->mutex_);
      CopyLogs(*s->List, *copy);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    List = std::move(copy);
    return;
  }
  if (source && source->Is<TStoredStrList>())
    throw EConvertError(std::string("Cannot assign a ") + source->ClassName() + " to a " + ClassName());
  TBaseObject::Assign(source);
}

TKVLog* TKVLogs::GetObj(int index) const { return ObjCast<TKVLog>(List->Objects(index)); }

void TKVLogs::SetObj(int index, TBaseObject* obj) { List->SetObject(index, CheckLog(obj)); }

int TKVLogs::AddObject(const std::string& key, TBaseObject* obj) { return List->AddObject(key, CheckLog(obj)); }

void TKVLogs::InsertObject(int index, const std::string& key, TBaseObject* obj) {
  List->InsertObject(index, key, CheckLog(obj));
}

void TKVLogs::SaveLogToFile(const std::string& fileName) const {
  std::lock_guard<std::mutex> lock(mutex_);
  WriteObjectToFile(fileName, this);
}

void TKVLogs::LoadLogFromFile(const std::string& fileName) {
  std::unique_ptr<TBaseObject> read = ReadObjectFromFile(fileName);
  auto* logs = ObjCast<TKVLogs>(read.get());
  if (!logs) {
    throw EReadError(CannotOpenObjectFilePrefix() + fileName + " holds a " + (read ? read->ClassName() : "nil") +
                     ", not a log list");
  }
  for (int i = 0; i < logs->List->Count(); ++i)
    if (!ObjCast<TKVLog>(logs->List->Objects(i)))
      throw EReadError(CannotOpenObjectFilePrefix() + fileName + ": line " + std::to_string(i) +
                       " of the log list is not a log record");
  std::lock_guard<std::mutex> lock(mutex_);
  List = std::move(logs->List);
  logs->List.reset(new TStringList);
}

// ---- When logs are deleted -----------------------------------------------------

bool ClearLogAtRun(const TLogOption& option) noexcept { return option.Has(dlmDelAtRun); }

bool ClearLogsAtExit(const TLogOption& option) noexcept { return option.Has(dlmDelAtExit); }

bool ClearLogsByDays(const TLogOption& option, double now) noexcept {
  return option.Has(dlmDelEverDays) && static_cast<double>(option.DelLogDays) < now - option.DelTime;
}

bool ClearLogsBySize(const TLogOption& option, uint64_t fileSizeBytes) noexcept {
  if (!option.Has(dlmDelExceedSize)) return false;
  const int64_t limit = static_cast<int64_t>(option.DelFileSize) * 1024;
  return limit < 0 || fileSizeBytes > static_cast<uint64_t>(limit);
}

bool SaveLogToFile(const TKVLogs& logs, const std::string& fileName, const TLogOption& option) {
  logs.SaveLogToFile(fileName);
  if (!option.Has(dlmDelExceedSize)) return false;
  std::error_code ec;
  const uintmax_t size = std::filesystem::file_size(fileName, ec);
  return !ec && ClearLogsBySize(option, size);
}

void LoadLogFromFile(TKVLogs& logs, const std::string& fileName) { logs.LoadLogFromFile(fileName); }

}  // namespace kv
