// vandrel-cli table and eval --db, run as a user's script runs them: a
// SQLite table opened exactly as a job opens it, its definitions and rows,
// expressions over its fields, and the errors (a password never printed).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RunCli.h"
#include "data/DbfTable.h"
#include "foundation/DateUtils.h"
#include "testsupport/TempFiles.h"

namespace {

using kvtest::CliResult;
using kvtest::Lines;
using kvtest::RunCli;
using Strings = std::vector<std::string>;

class CliTable : public ::testing::Test {
protected:
  void SetUp() override {
    const char* statements[] = {
        "CREATE TABLE items(id INTEGER PRIMARY KEY, name VARCHAR(20) NOT NULL, price REAL, note TEXT)",
        "CREATE UNIQUE INDEX items_name ON items(name)",
        "INSERT INTO items VALUES (1, 'tea', 2.5, NULL), (2, 'rice' || char(9) || 'brown', 10, 'x'), "
        "(3, 'salt', 0.75, '')",
    };
    bool create = true;
    for (const char* sql : statements) {
      std::vector<std::string> args{"sql"};
      if (create) args.push_back("--create");
      create = false;
      args.push_back(db);
      args.push_back(sql);
      ASSERT_EQ(RunCli(args).status, 0) << sql;
    }
  }

  kvtest::TempFolder dir{"cli_table"};
  std::string db = dir.File("shop.db");
};

TEST_F(CliTable, PrintsTheFirstRowsAsAJobReadsThem) {
  CliResult r = RunCli({"table", "--path", db, "--table", "items"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.out), (Strings{"id\tname\tprice\tnote", "1\ttea\t2.5\t\\N", "2\trice\\tbrown\t10\tx",
                                   "3\tsalt\t0.75\t"}));
  r = RunCli({"table", "--driver", "sqlite", "--path", db, "--table", "items", "--rows", "1"});
  EXPECT_EQ(Lines(r.out), (Strings{"id\tname\tprice\tnote", "1\ttea\t2.5\t\\N"}));
}

TEST_F(CliTable, PrintsFieldAndIndexDefinitions) {
  const CliResult r = RunCli({"table", "--path", db, "--table", "items", "--defs"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Strings lines = Lines(r.out);
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[0], "field\tname\ttype\tsize\tprecision\trequired\tdeclared");
  EXPECT_EQ(lines[1].rfind("field\tid\t", 0), 0u) << lines[1];
  EXPECT_NE(lines[1].find("\tINTEGER"), std::string::npos) << lines[1];
  EXPECT_EQ(lines[2].rfind("field\tname\tString\t20\t", 0), 0u) << lines[2];
  EXPECT_NE(lines[2].find("\tyes\tVARCHAR(20)"), std::string::npos) << lines[2];
  bool unique = false;
  for (const std::string& line : lines) unique = unique || line == "index\titems_name\tname\tunique";
  EXPECT_TRUE(unique) << r.out;
}

TEST_F(CliTable, RefusesBadCommandLinesAndNamesWhatIsWrong) {
  struct Case {
    Strings args;
    int status;
    const char* errorPart;
  };
  const Case cases[] = {
      {{"table", "--path", db}, 2, "--table T is required"},
      {{"table", "--path", db, "--table", "items", "--password", "pw"}, 2, "never taken from the command line"},
      {{"table", "--path", db, "--table", "items", "--rows", "-1"}, 2, "--rows needs a number"},
      {{"table", "--path", db, "--table", "nosuch"}, 1, "nosuch"},
      {{"table", "--driver", "paradox", "--path", dir.Path(), "--table", "t"}, 1, "t.db: No such file"},
      {{"table", "--driver", "dbase", "--path", dir.Path(), "--table", "t"}, 1, "t.dbf: No such file"},
      {{"table", "--driver", "foxpro", "--path", dir.File("none"), "--table", "t"}, 1, "does not exist"},
      {{"table", "--alias", "Sales", "--user", "ann", "--password-env", "VANDREL_TEST_UNSET_PW", "--table", "t"}, 1,
       "VANDREL_TEST_UNSET_PW is not set"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    const CliResult r = RunCli(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.errorPart), std::string::npos) << r.err;
  }
}

// dBase and FoxPro tables: Chinese text in code page 936, a deleted record
// left out, Null, the stored types in the definitions.
TEST_F(CliTable, PrintsDBaseAndFoxProTables) {
  using kv::dbf::TDbfFlavour;
  for (TDbfFlavour flavour : {TDbfFlavour::DBase, TDbfFlavour::FoxPro}) {
    const bool fox = flavour == TDbfFlavour::FoxPro;
    const std::string name = fox ? "fox" : "dbase";
    const std::vector<kv::dbf::TDbfFieldSpec> fields = {
        {"ID", 'N', 4, 0, false}, {"NAME", 'C', 8, 0, true}, {"BORN", 'D', 8, 0, true}};
    auto table = kv::dbf::TDbfTable::Create(dir.File(name + ".dbf"), fields, flavour, 0x7A);
    const std::vector<std::vector<kv::TVariant>> rows = {
        {kv::TVariant(1), kv::TVariant("中文"), kv::TVariant::FromDateTime(kv::EncodeDate(2024, 5, 31))},
        {kv::TVariant(2), kv::TVariant("gone"), kv::TVariant::Null()},
        {kv::TVariant(3), kv::TVariant::Null(), kv::TVariant::Null()}};
    for (const auto& row : rows) {
      kv::dbf::TDbfRecordImage image = table->EncodeRecord(row, nullptr, table->RecordCount() + 1);
      table->Append(image);
    }
    table->SetDeleted(2, true);
    table.reset();

    CliResult r = RunCli({"table", "--driver", fox ? "FoxPro" : "DBASE", "--path", dir.Path(), "--table", name});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out), (Strings{"ID\tNAME\tBORN", "1\t中文\t2024-05-31", "3\t\\N\t\\N"})) << name;
    r = RunCli({"table", "--driver", "dbase", "--path", dir.Path(), "--table", name + ".dbf", "--defs"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out), (Strings{"field\tname\ttype\tsize\tprecision\trequired\tdeclared",
                                     "field\tID\tInteger\t4\t0\tno\tN(4,0)", "field\tNAME\tString\t8\t0\tno\tC(8)",
                                     "field\tBORN\tDate\t0\t0\tno\tD"}))
        << name;
  }
}

TEST_F(CliTable, APasswordFromTheEnvironmentIsNeverPrinted) {
  const CliResult r = RunCli({"table", "--alias", "Sales", "--user", "ann", "--password-env", "SHOP_PW", "--table", "t"},
                             "SHOP_PW=Zebra-Secret-42");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.find("Zebra-Secret-42"), std::string::npos);
  EXPECT_EQ(r.err.find("Zebra-Secret-42"), std::string::npos) << r.err;
}

TEST_F(CliTable, EvalStandsOnARecordAndReadsItsFields) {
  CliResult r = RunCli({"eval", "--db", db, "--table", "items", "--row", "2", "items.name", "items.price * 2",
                        "FieldValue(items, 'id') + 40", "RecordCount(items)", "RecordNum(items)",
                        "FieldName(items, 3)", "FieldPriorValue(items, 'name')", "items.nosuch"});
  EXPECT_EQ(r.status, 1) << r.err;  // the last one does not translate
  const Strings lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 8u) << r.out;
  EXPECT_EQ(lines[0], "etString\trice\\tbrown");
  EXPECT_EQ(lines[1], "etReal\t20");
  EXPECT_EQ(lines[2], "etInteger\t42");
  EXPECT_EQ(lines[3], "etInteger\t3");
  EXPECT_EQ(lines[4], "etInteger\t2");
  EXPECT_EQ(lines[5], "etString\tnote");
  EXPECT_EQ(lines[6], "etString\ttea");
  EXPECT_EQ(lines[7].rfind("ERROR\t", 0), 0u) << lines[7];

  r = RunCli({"eval", "--db", db, "--table", "items", "--row", "9", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("fewer than 9 records"), std::string::npos) << r.err;
  r = RunCli({"eval", "--db", dir.File("none.db"), "--table", "items", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no such database file"), std::string::npos) << r.err;
  r = RunCli({"eval", "--db", db, "1"});
  EXPECT_EQ(r.status, 2);
}

}  // namespace
