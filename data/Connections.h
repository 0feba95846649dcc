// The process-wide registry of database connections, and the connection
// key a dataset's connection parameters give.
//
// Datasets whose parameters give the same key share one connection -- but
// only on one thread: each thread that acquires a key gets a connection of
// its own. The links of a job run on their own threads at once, and a
// connection's transaction is shared by every dataset on it; keeping
// connections per thread means one link's COMMIT or ROLLBACK never covers
// another link's rows, while a link's source and destination on one
// database still share theirs.
//
// A connection lives while a dataset holds it (std::shared_ptr) and closes
// when the last holder lets go. Connections are made under the global
// thread lock, so two runs never create the same connection at once.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "KVCore_export.h"
#include "data/DbConnection.h"

namespace kv {

class TDataBaseInfo;

// How a connection is made.
enum class TConnectionMode : uint8_t {
  Alias,       // a data source name (ctAlias)
  File,        // a file database: DBASE, FOXPRO, PARADOX or SQLITE (any letter case)
  Parameters,  // a server driver with server and database names
  Oracle,      // ctOracle
};

// The key under which datasets share a connection. `Text` holds every
// parameter that tells two databases or two logins apart, the password
// included: it is compared, never shown.
struct KVCORE_EXPORT TConnectionKey {
  TConnectionMode Mode = TConnectionMode::Parameters;
  std::string Driver;  // upper-cased driver name; empty for aliases
  std::string Text;
  bool operator==(const TConnectionKey&) const = default;
};

// The key of `info`:
//  - ctAlias: the alias, the user and the password;
//  - a file-database driver: the driver and the path (made absolute, so
//    two spellings of one file share);
//  - any other driver: the driver, the server, the database name, the user
//    and the password (two databases on one server never share);
//  - ctOracle: the server, the user and the password.
// The parts are kept apart by a separator byte, so "AB"+"C" and "A"+"BC"
// are different keys.
KVCORE_EXPORT TConnectionKey ConnectionKeyOf(const TDataBaseInfo& info);

// True for the file-database drivers DBASE, FOXPRO, PARADOX and SQLITE (any letter case).
KVCORE_EXPORT bool IsFileDatabaseDriver(std::string_view driver);

// The connection registered under `key` for the calling thread; when there
// is none, `open` makes one (under the global thread lock; an exception
// from it passes to the caller and registers nothing). The caller shares
// ownership.
KVCORE_EXPORT std::shared_ptr<TDbConnection> AcquireConnection(
    const TConnectionKey& key, const std::function<std::unique_ptr<TDbConnection>()>& open);

// The parameters a connection is opened with, as the engines take them:
// the alias (with ctAlias) or the driver -- "STANDARD" for the file-database
// drivers, else the upper-cased driver name -- and the named parameters
// "User Name", "Password" and, without an alias, "Server Name",
// "Database Name" and "Path". Holds the password: never log it.
struct KVCORE_EXPORT TConnectionParams {
  std::string AliasName;
  std::string DriverName;
  std::vector<std::pair<std::string, std::string>> Params;
  // The value of the parameter `name`; empty when absent.
  std::string Value(std::string_view name) const;
};
KVCORE_EXPORT TConnectionParams PrepareDBParams(const TDataBaseInfo& info);

// How many registered connections are alive now, on any thread.
KVCORE_EXPORT size_t LiveConnectionCount();

}  // namespace kv
