#include "data/DataEngines.h"

#include <algorithm>
#include <mutex>

#include "data/DataBaseInfo.h"
#include "foundation/CharClass.h"
#include "foundation/ThreadLocks.h"

namespace kv {

namespace {

std::mutex& EnginesMutex() {
  static std::mutex mutex;
  return mutex;
}

std::vector<const TDataEngine*>& Engines() {
  static auto* engines = new std::vector<const TDataEngine*>;
  return *engines;
}

std::string DescribeMissing(const TConnectionKey& key) {
  switch (key.Mode) {
    case TConnectionMode::Alias: return "data sources (aliases)";
    case TConnectionMode::Oracle: return "Oracle";
    case TConnectionMode::File: return "the file database driver \"" + key.Driver + "\"";
    case TConnectionMode::Parameters: break;
  }
  return key.Driver.empty() ? std::string("an empty driver name") : "the driver \"" + key.Driver + "\"";
}

}  // namespace

const TDataEngine* FindDataEngine(const TConnectionKey& key) {
  std::lock_guard lock(EnginesMutex());
  for (const TDataEngine* engine : Engines()) {
    if (engine->Serves(key)) return engine;
  }
  return nullptr;
}

const TDataEngine& DataEngineFor(const TDataBaseInfo& info) {
  const TConnectionKey key = ConnectionKeyOf(info);
  if (const TDataEngine* engine = FindDataEngine(key)) return *engine;
  throw EDatabaseError("No database engine for " + DescribeMissing(key));
}

std::shared_ptr<TDbConnection> ConnectDataBase(const TDataBaseInfo& info) {
  const TConnectionKey key = ConnectionKeyOf(info);
  const TDataEngine& engine = DataEngineFor(info);
  return AcquireConnection(key, [&] { return engine.Connect(info); });
}

int DataBaseTypeOfDriver(const std::string& driverName) {
  if (driverName.empty()) return kDataBaseTypeUnknown;
  const std::string upper = AsciiUpperCase(driverName);
  static const char* const kKinds[] = {"ORACLE", "ACCESS", "SQL SERVER", "SYBASE", "DB2"};
  for (int i = 0; i < 5; ++i) {
    if (upper.find(kKinds[i]) != std::string::npos) return i;
  }
  return kDataBaseTypeOther;
}

int GetDataBaseType(const std::string& alias) {
  TThreadLockGuard lock;
  TConnectionKey key;
  key.Mode = TConnectionMode::Alias;
  const TDataEngine* engine = FindDataEngine(key);
  return DataBaseTypeOfDriver(engine ? engine->AliasDriverName(alias) : std::string());
}

TDataEngineRegistrar::TDataEngineRegistrar(const TDataEngine* engine) : engine_(engine) {
  std::lock_guard lock(EnginesMutex());
  Engines().push_back(engine);
}

TDataEngineRegistrar::~TDataEngineRegistrar() {
  std::lock_guard lock(EnginesMutex());
  auto& engines = Engines();
  engines.erase(std::remove(engines.begin(), engines.end(), engine_), engines.end());
}

}  // namespace kv
