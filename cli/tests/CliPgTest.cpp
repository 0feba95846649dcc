// vandrel-cli sql --pg and table --driver POSTGRESQL against a private
// server: statements and their output, tables through the dataset kinds,
// and passwords taken only from the environment and never printed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RunCli.h"
#include "testsupport/PgTestServer.h"

namespace {

using kvtest::CliResult;
using kvtest::PgTestServer;
using kvtest::Quote;
using kvtest::RunCli;

::testing::Environment* const kServer = ::testing::AddGlobalTestEnvironment(new kvtest::PgTestEnvironment);

const PgTestServer& Server() { return PgTestServer::Shared(); }

std::string ConnInfo() {
  const PgTestServer& s = Server();
  return "host=127.0.0.1 port=" + std::to_string(s.Port()) + " dbname=" + s.DbName() + " user=" + s.User();
}

std::string PasswordIn(const std::string& var, const std::string& password) { return var + "=" + Quote(password); }

CliResult Sql(const std::string& statement, const std::string& env) {
  return RunCli({"sql", "--pg", ConnInfo(), statement}, env);
}

TEST(CliPg, SqlRunsStatementsAndPrintsRowsAsForSqlite) {
  const std::string env = PasswordIn("PGPASSWORD", Server().Password());
  ASSERT_EQ(Sql("drop table if exists items", env).status, 0);
  CliResult r = Sql("create table items(id int primary key, name varchar(20), price numeric(6,2), raw bytea)", env);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "changed: 0\n");
  r = Sql("insert into items values (1, '茶', 2.5, '\\x00ff'), (2, null, null, null)", env);
  EXPECT_EQ(r.out, "changed: 2\n") << r.err;
  r = Sql("select id, name, price, raw from items order by id", env);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "id\tname\tprice\traw\n1\t茶\t2.5\tx'00ff'\n2\t\\N\t\\N\t\\N\n");

  // The password from a variable named on the command line.
  r = RunCli({"sql", "--pg", ConnInfo(), "--password-env", "ITEMS_PW", "select count(*) as n from items"},
             PasswordIn("ITEMS_PW", Server().Password()));
  EXPECT_EQ(r.out, "n\n2\n") << r.err;

  r = Sql("select * from no_such_table", env);
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("does not exist"), std::string::npos) << r.err;
}

TEST(CliPg, APasswordIsNeverTakenFromTheCommandLineNorPrinted) {
  const std::string wrong = "Wrong-Pw-xyz";
  CliResult r = Sql("select 1", PasswordIn("PGPASSWORD", wrong));
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("password authentication failed"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find(wrong), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");

  r = RunCli({"sql", "--pg", ConnInfo() + " password=" + wrong, "select 1"});
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(r.err.find(wrong), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("never taken from the command line"), std::string::npos) << r.err;

  r = RunCli({"table", "--driver", "postgresql", "--server", "127.0.0.1:" + std::to_string(Server().Port()),
              "--database", Server().DbName(), "--user", Server().User(), "--password-env", "PW", "--table", "x"},
             PasswordIn("PW", wrong));
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("password authentication failed"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find(wrong), std::string::npos) << r.err;
}

TEST(CliPg, TableOpensAPostgreSqlTableThroughTheKinds) {
  const std::string env = PasswordIn("PGPASSWORD", Server().Password());
  ASSERT_EQ(Sql("drop table if exists shelf", env).status, 0);
  ASSERT_EQ(Sql("create table shelf(id int primary key, name varchar(20) not null, price numeric(6,2))", env).status, 0);
  ASSERT_EQ(Sql("insert into shelf values (1, 'tea', 2.5), (2, 'rice', 10)", env).status, 0);
  const std::vector<std::string> base{"table", "--driver", "POSTGRESQL", "--server",
                                      "127.0.0.1:" + std::to_string(Server().Port()), "--database", Server().DbName(),
                                      "--user", Server().User(), "--password-env", "SHELF_PW", "--table", "shelf"};
  const std::string pw = PasswordIn("SHELF_PW", Server().Password());
  CliResult r = RunCli(base, pw);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "id\tname\tprice\n1\ttea\t2.5\n2\trice\t10\n");
  std::vector<std::string> defs = base;
  defs.push_back("--defs");
  r = RunCli(defs, pw);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("field\tname\tString\t20\t0\tyes\tcharacter varying(20)\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("field\tprice\tFMTBcd\t6\t2\tno\tnumeric(6,2)\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("index\tshelf_pkey\tid\tprimary,unique\n"), std::string::npos) << r.out;
}

}  // namespace
