// vandrel-cli sql, run as a user's script runs it: the output contract
// (header, escapes, \N, changed: N), errors and exit statuses.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "RunCli.h"
#include "testsupport/TempFiles.h"

namespace {

using kvtest::CliResult;
using kvtest::Lines;
using kvtest::RunCli;
using Strings = std::vector<std::string>;

TEST(CliSql, RowsWithHeaderEscapesNullsAndChangeCounts) {
  kvtest::TempFolder dir("cli_sql");
  const std::string db = dir.File("shop.db");
  struct Step {
    std::vector<std::string> args;  // after "sql"
    Strings out;
  };
  const Step steps[] = {
      {{"--create", db, "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, price REAL, data BLOB)"}, {"changed: 0"}},
      {{db,
        "INSERT INTO t VALUES (1, 'a' || char(9) || 'b', 1.5, x'00ff'), (2, NULL, NULL, NULL), "
        "(3, '\\N', 0.1, x''), (4, 'line' || char(10) || 'two' || char(1) || char(13), -2e300, 'text')"},
       {"changed: 4"}},
      {{db, "SELECT * FROM t ORDER BY id"},
       {"id\tname\tprice\tdata", "1\ta\\tb\t1.5\tx'00ff'", "2\t\\N\t\\N\t\\N", "3\t\\\\N\t0.1\tx''",
        "4\tline\\ntwo\\x01\\r\t-2e+300\ttext"}},
      {{db, "SELECT id, typeof(price) AS \"kind\tof\", id * 2 FROM t WHERE id > 2 ORDER BY id;"},
       {"id\tkind\\tof\tid * 2", "3\treal\t6", "4\treal\t8"}},
      {{db, "SELECT * FROM t WHERE id > 100"}, {"id\tname\tprice\tdata"}},
      {{db, "UPDATE t SET price = 0 WHERE price IS NULL OR price < 1"}, {"changed: 3"}},
      {{db, "DELETE FROM t WHERE id >= 3"}, {"changed: 2"}},
      {{db, "SELECT count(*), sum(price), 9223372036854775807 FROM t"},
       {"count(*)\tsum(price)\t9223372036854775807", "2\t1.5\t9223372036854775807"}},
      {{"--", db, "DROP TABLE t"}, {"changed: 0"}},
  };
  for (const Step& s : steps) {
    std::vector<std::string> args{"sql"};
    args.insert(args.end(), s.args.begin(), s.args.end());
    SCOPED_TRACE(args.back());
    const CliResult r = RunCli(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Lines(r.out), s.out);
  }
}

TEST(CliSql, ErrorsNameTheFileAndTheReason) {
  kvtest::TempFolder dir("cli_sql");
  const std::string db = dir.File("data.db");
  ASSERT_EQ(RunCli({"sql", "--create", db, "CREATE TABLE t(a INTEGER NOT NULL UNIQUE)"}).status, 0);
  ASSERT_EQ(RunCli({"sql", db, "INSERT INTO t VALUES (1)"}).status, 0);
  std::mt19937 random(7);
  std::string noise(4096, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  const std::string corrupt = kvtest::WriteTempFile("cli_sql", "corrupt.db", noise);
  const std::string missing = dir.File("missing.db");
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const Case cases[] = {
      {{missing, "SELECT 1"}, missing + ": cannot open: no such database file"},
      {{missing, "CREATE TABLE x(a)"}, missing + ": cannot open: no such database file"},
      {{corrupt, "SELECT 1"}, corrupt + ": cannot open: file is not a database"},
      {{"--create", dir.Path(), "SELECT 1"}, dir.Path() + ": cannot open: is a folder, not a database file"},
      {{db, "SELEC 1"}, db + ": cannot prepare the statement: near \"SELEC\": syntax error"},
      {{db, "SELECT * FROM missing"}, db + ": cannot prepare the statement: no such table: missing"},
      {{db, "SELECT 1; SELECT 2"}, db + ": cannot prepare the statement: the text holds more than one statement"},
      {{db, ""}, db + ": cannot prepare the statement: the text holds no statement"},
      {{db, "INSERT INTO t VALUES (1)"}, db + ": cannot run the statement: UNIQUE constraint failed: t.a"},
      {{db, "INSERT INTO t VALUES (NULL)"}, db + ": cannot run the statement: NOT NULL constraint failed: t.a"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"sql"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(args.back());
    const CliResult r = RunCli(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "vandrel-cli sql: " + c.err + "\n");
  }
  // Nothing was made, changed or lost by the failures.
  EXPECT_EQ(kvtest::ReadFile(missing), "");
  EXPECT_EQ(kvtest::ReadFile(corrupt), noise);
  EXPECT_EQ(Lines(RunCli({"sql", db, "SELECT a FROM t"}).out), (Strings{"a", "1"}));
}

TEST(CliSql, UsageErrors) {
  kvtest::TempFolder dir("cli_sql");
  const std::string db = dir.File("u.db");
  const std::vector<std::vector<std::string>> cases = {
      {"sql"},
      {"sql", db},
      {"sql", db, "SELECT 1", "SELECT 2"},
      {"sql", "--rows", db, "SELECT 1"},
      {"sql", "--create"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(args.size());
    const CliResult r = RunCli(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("usage: vandrel-cli sql [--create] DBFILE STATEMENT\n"), std::string::npos) << r.err;
  }
  EXPECT_EQ(kvtest::ReadFile(db), "");  // no usage error made the file

  const CliResult help = RunCli({"help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("sql [--create] DBFILE STATEMENT"), std::string::npos);
}

}  // namespace
