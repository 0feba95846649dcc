// A private PostgreSQL 15 server for the tests of one program.
//
// Start() makes a fresh cluster (initdb) in a new temporary folder, and
// runs it listening on a unix socket in that folder and on 127.0.0.1 at a
// free port. When the program runs as root (CI does; PostgreSQL refuses
// root) the folder belongs to user "postgres" and initdb, pg_ctl and psql
// run as that user through runuser.
//
// Authentication: the socket trusts every local user (SuperUser() is the
// cluster's superuser, for fixtures); TCP on 127.0.0.1 asks for a password
// (scram-sha-256) and only User() with Password() has one. Tests that want
// to see a password handled connect over TCP.
//
// The server is stopped (pg_ctl stop -m fast) and its folder removed by
// Stop() or the destructor; as a fallback for a program that dies, a
// watchdog process started with the server stops it (-m immediate) and
// removes the folder as soon as the program is gone, however it ended.
//
// A server that cannot start raises std::runtime_error with initdb's or
// pg_ctl's output (and the server log): tests needing it fail loudly.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace kvtest {

class PgTestServer {
public:
  PgTestServer() = default;
  ~PgTestServer();
  PgTestServer(const PgTestServer&) = delete;
  PgTestServer& operator=(const PgTestServer&) = delete;

  // Makes the cluster (first call only), starts the server and waits until
  // it accepts connections; nothing when it runs already. The first start
  // also creates User() and the database DbName() owned by it.
  void Start();
  // Stops the server now (pg_ctl stop -m fast) keeping the cluster, so
  // Start() can run it again; nothing when it is not running.
  void Stop();
  // Stops the server and removes the folder.
  void Remove();
  bool Running() const { return running_; }

  const std::string& Host() const { return host_; }          // "127.0.0.1"
  int Port() const { return port_; }
  const std::string& SocketDir() const { return folder_; }    // the unix socket's folder
  const std::string& User() const { return user_; }          // the role with a password
  const std::string& Password() const { return password_; }
  const std::string& DbName() const { return dbName_; }
  const std::string& SuperUser() const { return superUser_; }  // trusted on the socket only

  // A libpq connection string for User() on DbName(): over TCP with the
  // password, or over the socket (trusted, no password).
  std::string TcpConnInfo() const;
  std::string SocketConnInfo() const;

  // Runs `sql` with psql as the superuser on DbName() (over the socket);
  // returns psql's output (unaligned, tuples only); std::runtime_error with
  // the output when psql fails.
  std::string Psql(const std::string& sql) const;

  // The server of this program, made on first use (not started).
  static PgTestServer& Shared();

private:
  void MakeCluster();
  void StartWatchdog();
  // Runs `args` (as postgres when root); returns the exit status, with
  // stdout and stderr in `output`.
  int Run(const std::vector<std::string>& args, std::string& output) const;

  std::string folder_;  // owns the socket; the cluster is folder_ + "/data"
  std::string host_ = "127.0.0.1";
  int port_ = 0;
  std::string user_ = "vandrel_test";
  std::string password_;
  std::string dbName_ = "vandrel_test";
  std::string superUser_;
  bool running_ = false;
  int watchdogPipe_ = -1;  // the watchdog acts when this closes
};

// A gtest environment that starts PgTestServer::Shared() before the first
// test and stops it after the last, also when tests failed. Register with
// ::testing::AddGlobalTestEnvironment(new kvtest::PgTestEnvironment) (gtest
// owns it), or call PgTestEnvironment::Register().
class PgTestEnvironment : public ::testing::Environment {
public:
  void SetUp() override;
  void TearDown() override;
  static void Register();
};

}  // namespace kvtest
