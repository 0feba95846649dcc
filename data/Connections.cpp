#include "data/Connections.h"

#include <filesystem>
#include <map>
#include <thread>
#include <utility>

#include "data/DataBaseInfo.h"
#include "foundation/CharClass.h"
#include "foundation/ThreadLocks.h"

namespace kv {

namespace {

constexpr char kSeparator = '\x1f';

std::string Joined(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (std::string_view part : parts) {
    text.append(part);
    text.push_back(kSeparator);
  }
  return text;
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return path;
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::weakly_canonical(path, error);
  return error ? path : absolute.string();
}

struct TRegistryKey {
  TConnectionKey Key;
  std::thread::id Thread;
  bool operator<(const TRegistryKey& other) const {
    if (Thread != other.Thread) return Thread < other.Thread;
    if (Key.Mode != other.Key.Mode) return Key.Mode < other.Key.Mode;
    if (Key.Driver != other.Key.Driver) return Key.Driver < other.Key.Driver;
    return Key.Text < other.Key.Text;
  }
};

// Guarded by the global thread lock.
std::map<TRegistryKey, std::weak_ptr<TDbConnection>>& Registry() {
  static auto* registry = new std::map<TRegistryKey, std::weak_ptr<TDbConnection>>;
  return *registry;
}

void ForgetClosed(std::map<TRegistryKey, std::weak_ptr<TDbConnection>>& registry) {
  for (auto it = registry.begin(); it != registry.end();) {
    it = it->second.expired() ? registry.erase(it) : std::next(it);
  }
}

}  // namespace

bool IsFileDatabaseDriver(std::string_view driver) {
  const std::string upper = AsciiUpperCase(driver);
  return upper == "DBASE" || upper == "FOXPRO" || upper == "PARADOX" || upper == "SQLITE";
}

TConnectionKey ConnectionKeyOf(const TDataBaseInfo& info) {
  TConnectionKey key;
  if (info.ConnectType == ctAlias) {
    key.Mode = TConnectionMode::Alias;
    key.Text = Joined({info.AliasName, info.UserName, info.PassWord});
  } else if (info.ConnectType == ctOracle) {
    key.Mode = TConnectionMode::Oracle;
    key.Driver = "ORACLE";
    key.Text = Joined({info.ServerName, info.UserName, info.PassWord});
  } else if (IsFileDatabaseDriver(info.DriverName)) {
    key.Mode = TConnectionMode::File;
    key.Driver = AsciiUpperCase(info.DriverName);
    key.Text = Joined({AbsolutePath(info.Path)});
  } else {
    key.Mode = TConnectionMode::Parameters;
    key.Driver = AsciiUpperCase(info.DriverName);
    key.Text = Joined({info.ServerName, info.DataBaseName, info.UserName, info.PassWord});
  }
  return key;
}

std::string TConnectionParams::Value(std::string_view name) const {
  for (const auto& [key, value] : Params) {
    if (key == name) return value;
  }
  return std::string();
}

TConnectionParams PrepareDBParams(const TDataBaseInfo& info) {
  TConnectionParams params;
  params.Params = {{"User Name", info.UserName}, {"Password", info.PassWord}};
  if (info.ConnectType == ctAlias) {
    params.AliasName = info.AliasName;
    return params;
  }
  params.DriverName = IsFileDatabaseDriver(info.DriverName) ? std::string("STANDARD") : AsciiUpperCase(info.DriverName);
  params.Params.emplace_back("Server Name", info.ServerName);
  params.Params.emplace_back("Database Name", info.DataBaseName);
  params.Params.emplace_back("Path", info.Path);
  return params;
}

std::shared_ptr<TDbConnection> AcquireConnection(const TConnectionKey& key,
                                                 const std::function<std::unique_ptr<TDbConnection>()>& open) {
  TThreadLockGuard lock;
  auto& registry = Registry();
  ForgetClosed(registry);
  TRegistryKey entry{key, std::this_thread::get_id()};
  if (auto it = registry.find(entry); it != registry.end()) {
    if (auto connection = it->second.lock()) return connection;
  }
  std::shared_ptr<TDbConnection> connection(open());
  registry[std::move(entry)] = connection;
  return connection;
}

size_t LiveConnectionCount() {
  TThreadLockGuard lock;
  auto& registry = Registry();
  ForgetClosed(registry);
  return registry.size();
}

}  // namespace kv
