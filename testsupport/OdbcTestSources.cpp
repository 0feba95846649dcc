#include "testsupport/OdbcTestSources.h"

#include <cstdlib>
#include <map>
#include <mutex>

#include "testsupport/TempFiles.h"

namespace kvtest {

namespace {

struct Sources {
  std::mutex mutex;
  std::string folder;
  std::map<std::string, std::string> entries;  // data source name -> its odbc.ini section body
};

Sources& State() {
  static Sources s;
  return s;
}

void EnsureFolder(Sources& s) {
  if (!s.folder.empty()) return;
  s.folder = NewTempFolder("odbc");
  // DontDLClose: the drivers stay loaded until the program ends, so that what
  // they leak is attributed to them (and suppressed for them under LeakSanitizer).
  const std::string sqlite = "]\nDriver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so\nDontDLClose=1\n\n[";
  WriteFile(s.folder + "/odbcinst.ini", std::string("[") + kOdbcSqliteDriver + sqlite + kOdbcOracleNamedDriver + sqlite +
                                            kOdbcSqlServerNamedDriver + sqlite + kOdbcPostgresDriver +
                                            "]\nDriver=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so\nDontDLClose=1\n");
  WriteFile(s.folder + "/odbc.ini", "");
  setenv("ODBCSYSINI", s.folder.c_str(), 1);
  setenv("ODBCINI", (s.folder + "/odbc.ini").c_str(), 1);
}

void Define(const std::string& name, const std::string& body) {
  Sources& s = State();
  std::lock_guard lock(s.mutex);
  EnsureFolder(s);
  s.entries[name] = body;
  std::string ini;
  for (const auto& [n, b] : s.entries) ini += "[" + n + "]\n" + b + "\n";
  WriteFile(s.folder + "/odbc.ini", ini);
}

}  // namespace

void DefineOdbcSqliteSource(const std::string& name, const std::string& path, const std::string& driver) {
  Define(name, "Driver=" + driver + "\nDatabase=" + path + "\nStepAPI=1\nTimeout=30000\n");
}

void DefineOdbcPostgresSource(const std::string& name, const std::string& host, int port,
                              const std::string& database) {
  Define(name, std::string("Driver=") + kOdbcPostgresDriver + "\nServername=" + host + "\nPort=" +
                   std::to_string(port) + "\nDatabase=" + database +
                   "\nUseDeclareFetch=1\nFetch=100\nProtocol=7.4-2\nBoolsAsChar=0\nMaxVarcharSize=65535\n");
}

std::string OdbcTestFolder() {
  Sources& s = State();
  std::lock_guard lock(s.mutex);
  EnsureFolder(s);
  return s.folder;
}

}  // namespace kvtest
