// vandrel-cli on ODBC data sources (test-local odbc.ini): sql --dsn with its
// output contract on a SQLite file and on a private PostgreSQL server with
// a password from the environment, table --alias, and passwords kept out
// of the command line and of every output.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RunCli.h"
#include "testsupport/OdbcTestSources.h"
#include "testsupport/PgTestServer.h"
#include "testsupport/TempFiles.h"

namespace {

using kvtest::CliResult;
using kvtest::Lines;
using kvtest::RunCli;
using Strings = std::vector<std::string>;

// Stops the PostgreSQL test server, when a test started it, after the last
// test: before the program's static objects go, which its cleanup uses.
class StopPgTestServer : public ::testing::Environment {
public:
  void TearDown() override { kvtest::PgTestServer::Shared().Remove(); }
};
[[maybe_unused]] ::testing::Environment* const g_stopPgTestServer =
    ::testing::AddGlobalTestEnvironment(new StopPgTestServer);

struct Step {
  Strings args;  // after "sql --dsn NAME"
  Strings out;
};

void RunSteps(const std::string& dsn, const Strings& login, const std::string& env, const std::vector<Step>& steps) {
  for (const Step& s : steps) {
    Strings args{"sql", "--dsn", dsn};
    args.insert(args.end(), login.begin(), login.end());
    args.insert(args.end(), s.args.begin(), s.args.end());
    SCOPED_TRACE(args.back());
    const CliResult r = RunCli(args, env);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Lines(r.out), s.out);
  }
}

TEST(CliOdbc, SqlOnASqliteDataSourcePrintsRowsNullsAndChangeCounts) {
  kvtest::TempFolder dir("cli_odbc");
  kvtest::DefineOdbcSqliteSource("cli_sqlite", dir.File("shop.db"));
  RunSteps("cli_sqlite", {}, "",
           {
               {{"CREATE TABLE t(id INTEGER PRIMARY KEY, name VARCHAR(20), data BLOB)"}, {"changed: 0"}},
               {{"INSERT INTO t VALUES (1, '苹果' || char(9) || 'x', x'00ff'), (2, NULL, NULL)"}, {"changed: 2"}},
               {{"SELECT id, name, data FROM t ORDER BY id"},
                {"id\tname\tdata", "1\t苹果\\tx\tx'00ff'", "2\t\\N\t\\N"}},
               {{"DELETE FROM t WHERE id = 2"}, {"changed: 1"}},
           });
  // The change was committed: the table command sees it through the dataset kinds.
  RunSteps("cli_sqlite", {}, "",
           {{{"CREATE TABLE u(id INTEGER PRIMARY KEY, name VARCHAR(20))"}, {"changed: 0"}},
            {{"INSERT INTO u SELECT id, name FROM t"}, {"changed: 1"}}});
  const CliResult table = RunCli({"table", "--alias", "cli_sqlite", "--table", "u"});
  EXPECT_EQ(table.status, 0) << table.err;
  EXPECT_EQ(Lines(table.out), (Strings{"id\tname", "1\t苹果\\tx"}));
  const CliResult defs = RunCli({"table", "--alias", "cli_sqlite", "--table", "t", "--defs"});
  EXPECT_EQ(defs.status, 0) << defs.err;
  ASSERT_GE(Lines(defs.out).size(), 4u);
  EXPECT_EQ(Lines(defs.out)[1].substr(0, 9), "field\tid\t");
}

TEST(CliOdbc, BadUseAndUnknownSourcesAreClearErrors) {
  const CliResult password = RunCli({"sql", "--dsn", "x", "--password", "secret", "SELECT 1"});
  EXPECT_EQ(password.status, 2);
  EXPECT_EQ(password.err.find("secret"), std::string::npos);
  EXPECT_EQ(RunCli({"sql", "--dsn", "x"}).status, 2);
  EXPECT_EQ(RunCli({"sql", "--user", "u", "file.db", "SELECT 1"}).status, 2);
  kvtest::OdbcTestFolder();
  const CliResult missing = RunCli({"sql", "--dsn", "cli_no_such_source", "SELECT 1"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("cli_no_such_source"), std::string::npos) << missing.err;
}

TEST(CliOdbc, SqlOnAPostgresDataSourceTakesThePasswordFromTheEnvironmentAndNeverShowsIt) {
  auto& server = kvtest::PgTestServer::Shared();
  server.Start();
  kvtest::DefineOdbcPostgresSource("cli_pg", server.Host(), server.Port(), server.DbName());
  const Strings login{"--user", server.User(), "--password-env", "VT_PG_PASSWORD"};
  const std::string env = "VT_PG_PASSWORD=" + kvtest::Quote(server.Password());
  RunSteps("cli_pg", login, env,
           {
               {{"CREATE TABLE cli_t(id integer PRIMARY KEY, name varchar(20))"}, {"changed: 0"}},
               {{"INSERT INTO cli_t VALUES (1, '梨'), (2, NULL)"}, {"changed: 2"}},
               {{"SELECT id, name FROM cli_t ORDER BY id"}, {"id\tname", "1\t梨", "2\t\\N"}},
           });
  const std::string wrong = "NotThePw;42";
  const CliResult r = RunCli({"sql", "--dsn", "cli_pg", "--user", server.User(), "--password-env", "VT_PG_PASSWORD",
                              "SELECT 1"},
                             "VT_PG_PASSWORD=" + kvtest::Quote(wrong));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err, "");
  EXPECT_EQ((r.out + r.err).find("NotThePw"), std::string::npos) << r.err;
  // A refused statement reports the server's words.
  const CliResult refused = RunCli({"sql", "--dsn", "cli_pg", "--user", server.User(), "--password-env",
                                    "VT_PG_PASSWORD", "INSERT INTO cli_t VALUES (1, 'dup')"},
                                   env);
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("duplicate key"), std::string::npos) << refused.err;
  EXPECT_EQ((refused.out + refused.err).find(server.Password()), std::string::npos);
}

}  // namespace
