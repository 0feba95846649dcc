// A connection to one database, shared by the datasets that reach the same
// database on the same thread (see data/Connections.h for the registry
// that hands them out). Each engine derives its own connection class; the
// registry only keeps them alive while a dataset holds one and closes a
// connection when the last holder lets go (the destructor closes).
//
// A connection is used by one thread at a time: the thread that acquired
// it. Transactions belong to the connection, so every dataset sharing it
// shares its transaction; the registry never hands one connection to two
// threads, so one run's COMMIT or ROLLBACK never covers another run's rows.
#pragma once

#include <string>

#include "KVCore_export.h"

namespace kv {

class KVCORE_EXPORT TDbConnection {
public:
  virtual ~TDbConnection() = default;
  TDbConnection(const TDbConnection&) = delete;
  TDbConnection& operator=(const TDbConnection&) = delete;

  // A short description for messages: the file, data source or server
  // (never a password).
  virtual std::string Describe() const = 0;

  // Commits whatever the datasets on this connection have written and not
  // committed yet; nothing when no transaction is open. Called before the
  // connection goes and by datasets that close.
  virtual void CommitPending() {}

protected:
  TDbConnection() = default;
};

}  // namespace kv
