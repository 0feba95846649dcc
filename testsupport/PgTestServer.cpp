#include "testsupport/PgTestServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "testsupport/TempFiles.h"

extern char** environ;

namespace kvtest {
namespace {

const char* const kBinDir = "/usr/lib/postgresql/15/bin/";

bool AsRoot() { return ::geteuid() == 0; }

std::string Bin(const std::string& tool) { return kBinDir + tool; }

std::string CurrentUserName() {
  if (AsRoot()) return "postgres";
  const passwd* pw = ::getpwuid(::geteuid());
  if (!pw) throw std::runtime_error("PostgreSQL test server: cannot tell the current user's name");
  return pw->pw_name;
}

int FreePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error(std::string("PostgreSQL test server: socket: ") + std::strerror(errno));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  int port = -1;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  ::close(fd);
  if (port <= 0) throw std::runtime_error("PostgreSQL test server: no free port on 127.0.0.1");
  return port;
}

std::string RandomPassword() {
  std::random_device rd;
  std::ostringstream out;
  out << "Pw " << std::hex << rd() << rd() << " !";  // a space and punctuation, as real passwords have
  return out.str();
}

// A libpq connection-string value, quoted.
std::string Quoted(const std::string& value) {
  std::string out = "'";
  for (char c : value) {
    if (c == '\'' || c == '\\') out += '\\';
    out += c;
  }
  return out + "'";
}

void GiveToPostgres(const std::string& path) {
  if (!AsRoot()) return;
  const passwd* pw = ::getpwnam("postgres");
  if (!pw) throw std::runtime_error("PostgreSQL test server: running as root and there is no user postgres");
  if (::chown(path.c_str(), pw->pw_uid, pw->pw_gid) != 0)
    throw std::runtime_error("PostgreSQL test server: cannot give " + path + " to postgres: " + std::strerror(errno));
}

void AppendTo(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::app);
  out << text;
  if (!out) throw std::runtime_error("PostgreSQL test server: cannot write " + path);
}

std::string Tail(const std::string& path, size_t bytes) {
  std::string all = ReadFile(path);
  return all.size() > bytes ? all.substr(all.size() - bytes) : all;
}

std::vector<std::string> AsPostgres(std::vector<std::string> args) {
  if (AsRoot()) args.insert(args.begin(), {"runuser", "-u", "postgres", "--"});
  return args;
}

std::string ShellQuoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

PgTestServer::~PgTestServer() {
  try {
    Remove();
  } catch (const std::exception&) {
    // the watchdog still stops the server and removes the folder
  }
}

PgTestServer& PgTestServer::Shared() {
  static PgTestServer server;
  return server;
}

std::string PgTestServer::TcpConnInfo() const {
  return "host=" + host_ + " port=" + std::to_string(port_) + " dbname=" + Quoted(dbName_) + " user=" + Quoted(user_) +
         " password=" + Quoted(password_) + " connect_timeout=10";
}

std::string PgTestServer::SocketConnInfo() const {
  return "host=" + Quoted(folder_) + " port=" + std::to_string(port_) + " dbname=" + Quoted(dbName_) +
         " user=" + Quoted(user_) + " connect_timeout=10";
}

int PgTestServer::Run(const std::vector<std::string>& args, std::string& output) const {
  static std::atomic<int> counter{0};
  std::string outPath = TempFilePath("pgcmd", std::to_string(counter++) + ".out");  // written before runuser
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  int rc = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    output = "cannot run " + args[0] + ": " + std::strerror(rc);
    return 127;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  output = ReadFile(outPath);
  std::remove(outPath.c_str());
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

void PgTestServer::MakeCluster() {
  std::string pattern = "/tmp/vandrel-pg-XXXXXX";  // short: a socket path has ~100 bytes
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("PostgreSQL test server: cannot make " + pattern);
  folder_ = pattern;
  GiveToPostgres(folder_);
  StartWatchdog();
  superUser_ = CurrentUserName();
  password_ = RandomPassword();
  port_ = FreePort();
  std::string output;
  int rc = Run(AsPostgres({Bin("initdb"), "-D", folder_ + "/data", "-U", superUser_, "-A", "trust", "-E", "UTF8",
                           "--locale=C", "--no-sync", "--no-instructions"}),
               output);
  if (rc != 0) throw std::runtime_error("PostgreSQL test server: initdb failed (" + std::to_string(rc) + "):\n" + output);
  std::string data = folder_ + "/data";
  std::ofstream(data + "/pg_hba.conf", std::ios::trunc) << "local all all trust\n"
                                                          "host all all 127.0.0.1/32 scram-sha-256\n";
  AppendTo(data + "/postgresql.conf",
           "\nlisten_addresses = '127.0.0.1'\nport = " + std::to_string(port_) + "\nunix_socket_directories = '" +
               folder_ + "'\nfsync = off\nsynchronous_commit = off\nfull_page_writes = off\n"
               "max_connections = 40\nshared_buffers = 32MB\nmax_wal_size = 1GB\n"
               "password_encryption = 'scram-sha-256'\n");
}

void PgTestServer::StartWatchdog() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return;  // no fallback; Stop() and the destructor still stop the server
  std::vector<std::string> stop = AsPostgres({Bin("pg_ctl"), "-D", folder_ + "/data", "stop", "-m", "immediate"});
  std::string script = "cat >/dev/null;";
  for (const std::string& a : stop) script += " " + ShellQuoted(a);
  script += " >/dev/null 2>&1; rm -rf " + ShellQuoted(folder_);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);  // outlives a signal to the test's process group
  posix_spawnattr_setpgroup(&attr, 0);
  const char* argv[] = {"sh", "-c", script.c_str(), nullptr};
  pid_t pid = 0;
  if (::posix_spawnp(&pid, "sh", &actions, &attr, const_cast<char**>(argv), environ) == 0) {
    watchdogPipe_ = fds[1];
  } else {
    ::close(fds[1]);
  }
  ::close(fds[0]);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
}

void PgTestServer::Start() {
  if (running_) return;
  bool fresh = folder_.empty();
  if (fresh) MakeCluster();
  std::string log = folder_ + "/server.log";
  std::string output;
  int rc = Run(AsPostgres({Bin("pg_ctl"), "-D", folder_ + "/data", "-l", log, "-w", "-t", "60", "start"}), output);
  if (rc != 0)
    throw std::runtime_error("PostgreSQL test server: pg_ctl start failed (" + std::to_string(rc) + "):\n" + output +
                             "\nserver log:\n" + Tail(log, 4000));
  running_ = true;
  if (!fresh) return;
  std::string setup = folder_ + "/setup.sql";
  std::string escaped;
  for (char c : password_) escaped += c == '\'' ? std::string("''") : std::string(1, c);
  std::ofstream(setup, std::ios::trunc) << "CREATE ROLE " << user_ << " LOGIN PASSWORD '" << escaped << "';\n"
                                        << "CREATE DATABASE " << dbName_ << " OWNER " << user_ << ";\n";
  rc = Run(AsPostgres({Bin("psql"), "-X", "-q", "-v", "ON_ERROR_STOP=1", "-h", folder_, "-p", std::to_string(port_),
                       "-U", superUser_, "-d", "postgres", "-f", setup}),
           output);
  std::remove(setup.c_str());
  if (rc != 0) throw std::runtime_error("PostgreSQL test server: cannot create the test role and database:\n" + output);
}

void PgTestServer::Stop() {
  if (!running_) return;
  std::string output;
  int rc = Run(AsPostgres({Bin("pg_ctl"), "-D", folder_ + "/data", "-w", "-t", "60", "stop", "-m", "fast"}), output);
  if (rc != 0) throw std::runtime_error("PostgreSQL test server: pg_ctl stop failed:\n" + output);
  running_ = false;
}

void PgTestServer::Remove() {
  if (folder_.empty()) return;
  Stop();
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
  folder_.clear();
  if (watchdogPipe_ >= 0) ::close(watchdogPipe_);
  watchdogPipe_ = -1;
}

std::string PgTestServer::Psql(const std::string& sql) const {
  static std::atomic<int> counter{0};
  std::string file = folder_ + "/statement-" + std::to_string(counter++) + ".sql";  // readable by postgres
  WriteFile(file, sql);
  std::string output;
  int rc = Run(AsPostgres({Bin("psql"), "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-h", folder_, "-p",
                           std::to_string(port_), "-U", superUser_, "-d", dbName_, "-f", file}),
               output);
  std::remove(file.c_str());
  if (rc != 0) throw std::runtime_error("psql failed (" + std::to_string(rc) + "): " + output);
  return output;
}

void PgTestEnvironment::SetUp() {
  try {
    PgTestServer::Shared().Start();
  } catch (const std::exception& e) {
    GTEST_FAIL() << e.what();  // every test is then skipped and the program fails
  }
}

void PgTestEnvironment::TearDown() { PgTestServer::Shared().Remove(); }

void PgTestEnvironment::Register() { ::testing::AddGlobalTestEnvironment(new PgTestEnvironment); }

}  // namespace kvtest
