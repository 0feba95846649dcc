// The private PostgreSQL server the integration tests start: password
// logins over TCP, trusted socket logins, stopping and starting again.
#include "testsupport/PgTestServer.h"

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include <gtest/gtest.h>

namespace {

using kvtest::PgTestServer;

static ::testing::Environment* const kServer = ::testing::AddGlobalTestEnvironment(new kvtest::PgTestEnvironment);

// Runs psql with `conninfo` and `password` in PGPASSWORD; the first output
// line and the exit status.
int PsqlAs(const std::string& conninfo, const std::string& password, std::string& out) {
  std::string quoted = "'";
  for (char c : conninfo) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  quoted += "'";
  ::setenv("PGPASSWORD", password.c_str(), 1);
  FILE* p = ::popen(("/usr/lib/postgresql/15/bin/psql -X -A -t -w -d " + quoted +
                     " -c 'select current_user' 2>&1").c_str(), "r");
  ::unsetenv("PGPASSWORD");
  if (!p) return -1;
  char buf[512];
  out.clear();
  while (fgets(buf, sizeof buf, p)) out += buf;
  return ::pclose(p);
}

TEST(PgTestServer, PasswordLoginsOverTcpAndTrustedSocket) {
  const PgTestServer& s = PgTestServer::Shared();
  ASSERT_TRUE(s.Running());
  std::string out;
  EXPECT_EQ(PsqlAs(s.TcpConnInfo(), "", out), 0) << out;
  EXPECT_EQ(out, s.User() + "\n");
  std::string wrong = "host=127.0.0.1 port=" + std::to_string(s.Port()) + " dbname=" + s.DbName() + " user=" + s.User();
  EXPECT_NE(PsqlAs(wrong, "not the password", out), 0);
  EXPECT_NE(out.find("password authentication failed"), std::string::npos) << out;
  EXPECT_EQ(PsqlAs(s.SocketConnInfo(), "", out), 0) << out;
  EXPECT_EQ(s.Psql("select 6*7"), "42\n");
}

TEST(PgTestServer, StopsAndStartsAgainKeepingData) {
  PgTestServer& s = PgTestServer::Shared();
  s.Psql("create table kept(x int); insert into kept values (5);");
  s.Stop();
  EXPECT_FALSE(s.Running());
  std::string out;
  EXPECT_NE(PsqlAs(s.SocketConnInfo(), "", out), 0);
  s.Start();
  EXPECT_EQ(s.Psql("select x from kept; drop table kept;"), "5\n");
  EXPECT_THROW(s.Psql("select * from no_such_table"), std::runtime_error);
}

}  // namespace
