// vandrel-cli job show/build, group and validate, run as a user's script
// runs them: the byte-for-byte round trip through the text, passwords
// (never in the text or a message unless asked for), errors naming the line,
// the job group file and the checks of validate.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "RunCli.h"
#include "testsupport/TempFiles.h"

namespace {

using kvtest::CliResult;
using kvtest::Lines;
using kvtest::ReadFile;
using kvtest::RunCli;
using Strings = std::vector<std::string>;

std::string Sample(const std::string& name) {
  return std::string(VANDREL_SAMPLES_DIR) + "/" + name;
}

// A job with a SQLite destination reached with a user and a password.
const char* const kSecretText =
    "jobtext 1\n"
    "job\n"
    "  object TJob\n"
    "    CreateTime = 45000.5\n"
    "    Name = 'Nightly'\n"
    "  end\n"
    "shape Src\n"
    "  object TKVTextDataSet\n"
    "    Name = 'Src'\n"
    "  end\n"
    "shape 'Sales db'\n"
    "  object TKVFileDBDataSet\n"
    "    Name = 'Sales db'\n"
    "    object DataBaseInfo: TDataBaseInfo\n"
    "      UserName = 'clerk'\n"
    "      PassWord = ${VANDREL_PASSWORD_SALES_DB}\n"
    "    end\n"
    "  end\n"
    "connection Src -> 'Sales db'\n"
    "  object TDBLink\n"
    "    CreateTime = 45000.5\n"
    "    Name = 'L1'\n"
    "  end\n";

class CliJob : public ::testing::Test {
protected:
  std::string Build(const std::string& textFile, const std::string& env = "") {
    const std::string job = dir.File("built" + std::to_string(builds_++) + ".job");
    const CliResult r = RunCli({"job", "build", textFile, "-o", job}, env);
    EXPECT_EQ(r.status, 0) << r.err;
    return job;
  }

  kvtest::TempFolder dir{"cli_job"};
  int builds_ = 0;
};

TEST_F(CliJob, ShowThenBuildReproducesEverySampleByteForByte) {
  for (const char* name : {"orders-to-sqlite", "sqlite-to-dbase"}) {
    SCOPED_TRACE(name);
    const std::string job = Build(Sample(std::string(name) + ".jobtxt"));
    for (const char* mode : {"", "--with-passwords"}) {
      Strings args{"job", "show", job};
      if (*mode) args.push_back(mode);
      const CliResult shown = RunCli(args);
      ASSERT_EQ(shown.status, 0) << shown.err;
      kvtest::WriteFile(dir.File("shown.jobtxt"), shown.out);
      EXPECT_EQ(ReadFile(Build(dir.File("shown.jobtxt"))), ReadFile(job)) << shown.out;
    }
  }
}

TEST_F(CliJob, PasswordsAreVariablesUnlessAskedForAndNeverInMessages) {
  const std::string text = dir.File("secret.jobtxt");
  kvtest::WriteFile(text, kSecretText);
  const std::string env = "VANDREL_PASSWORD_SALES_DB='pa ss!'";
  const std::string job = Build(text, env);

  const CliResult shown = RunCli({"job", "show", job});
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_EQ(shown.out.find("pa ss!"), std::string::npos);
  EXPECT_NE(shown.out.find("PassWord = ${VANDREL_PASSWORD_SALES_DB}"), std::string::npos) << shown.out;
  const CliResult plain = RunCli({"job", "show", "--with-passwords", job});
  EXPECT_NE(plain.out.find("PassWord = 'pa ss!'"), std::string::npos) << plain.out;

  // Without the variable: the line and the variable named, nothing written.
  kvtest::WriteFile(dir.File("shown.jobtxt"), shown.out);
  const std::string out = dir.File("never.job");
  const CliResult missing = RunCli({"job", "build", dir.File("shown.jobtxt"), "-o", out});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("shown.jobtxt:"), std::string::npos) << missing.err;
  EXPECT_NE(missing.err.find(": the password variable VANDREL_PASSWORD_SALES_DB is not set"), std::string::npos)
      << missing.err;
  EXPECT_FALSE(std::filesystem::exists(out));
  // With it: the same file; the variable's value never shows in any output.
  EXPECT_EQ(ReadFile(Build(dir.File("shown.jobtxt"), env)), ReadFile(job));
  kvtest::WriteFile(dir.File("plain.jobtxt"), plain.out);
  EXPECT_EQ(ReadFile(Build(dir.File("plain.jobtxt"))), ReadFile(job));
  // An error after the password's line does not show it either.
  kvtest::WriteFile(dir.File("bad.jobtxt"), shown.out + "connection Src -> Nowhere\n  object TDBLink\n  end\n");
  const CliResult bad = RunCli({"job", "build", dir.File("bad.jobtxt"), "-o", out}, env);
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("no shape is named 'Nowhere'"), std::string::npos) << bad.err;
  EXPECT_EQ(bad.err.find("pa ss!"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(CliJob, AFailedBuildNamesTheLineAndKeepsTheOldFile) {
  const std::string text = dir.File("bad.jobtxt");
  kvtest::WriteFile(text, "jobtext 1\njob\n  object TJob\n  end\nshape A\n  bounds 1 2 3\n");
  const std::string job = dir.File("old.job");
  kvtest::WriteFile(job, "old");
  const CliResult r = RunCli({"job", "build", text, "-o", job});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "vandrel-cli job: " + text + ":6: the height must be a whole number from 0 to 65535 (the line ends)\n");
  EXPECT_EQ(ReadFile(job), "old");
}

TEST_F(CliJob, RefusesBadCommandLines) {
  struct Case {
    Strings args;
    int status;
    const char* errorPart;
  };
  const Case cases[] = {
      {{"job"}, 2, "show or build expected"},
      {{"job", "run", "x"}, 2, "unknown job command \"run\""},
      {{"job", "show"}, 2, "the job file is missing"},
      {{"job", "show", "a.job", "--passwords"}, 2, "unknown option \"--passwords\""},
      {{"job", "build", "a.jobtxt"}, 2, "-o FILE.job is required"},
      {{"job", "build", "a.jobtxt", "-o"}, 2, "-o needs the job file to write"},
      {{"job", "show", "/nonexistent/a.job"}, 1, "/nonexistent/a.job"},
      {{"job", "build", "/nonexistent/a.jobtxt", "-o", "x.job"}, 1, "/nonexistent/a.jobtxt"},
      {{"group", "frobnicate"}, 2, "unknown group command"},
      {{"group", "add"}, 2, "wrong number of arguments"},
      {{"group", "list", "--home"}, 2, "--home needs a folder"},
      {{"validate", "--all"}, 2, "unknown option \"--all\""},
  };
  for (const Case& c : cases) {
    const CliResult r = RunCli(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << r.err;
    EXPECT_NE(r.err.find(c.errorPart), std::string::npos) << r.err;
  }
}

TEST_F(CliJob, HelpNamesTheJobCommands) {
  const CliResult r = RunCli({"help"});
  for (const char* synopsis : {"job show FILE.job [--with-passwords] | job build TEXTFILE -o FILE.job",
                               "group list|add FILE.job|remove NAME [--home DIR]", "validate [--home DIR] [JOB...]"})
    EXPECT_NE(r.out.find(synopsis), std::string::npos) << synopsis;
}

// ---- group and validate ---------------------------------------------------------------------------
class CliGroup : public CliJob {
protected:
  void SetUp() override {
    std::filesystem::create_directory(dir.File("data"));
    for (const char* data : {"orders.csv", "shop.db"})
      std::filesystem::copy_file(Sample(std::string("data/") + data), dir.File(std::string("data/") + data));
    for (const char* name : {"orders-to-sqlite", "sqlite-to-dbase"}) {
      const std::string job = dir.File(std::string(name) + ".job");
      ASSERT_EQ(RunCli({"job", "build", Sample(std::string(name) + ".jobtxt"), "-o", job}).status, 0);
    }
  }
  CliResult Group(Strings args) {
    args.insert(args.begin(), "group");
    args.insert(args.end(), {"--home", dir.Path()});
    return RunCli(args);
  }
  std::string GroupFile() const { return dir.File("KVCore.jbg"); }
};

TEST_F(CliGroup, AddListAndRemoveKeepTheGroupFile) {
  const std::string orders = dir.File("orders-to-sqlite.job");
  const std::string dbase = dir.File("sqlite-to-dbase.job");
  EXPECT_EQ(Lines(Group({"list"}).out), Strings{"name\tfile\tstatus"});
  EXPECT_EQ(Group({"add", orders}).out, "added\tOrdersToSqlite\t" + orders + "\n");
  EXPECT_EQ(Group({"add", dbase}).status, 0);
  EXPECT_EQ(Lines(ReadFile(GroupFile())), (Strings{orders, dbase}));

  kvtest::WriteFile(GroupFile(), ReadFile(GroupFile()) + dir.File("gone.job") + "\n");
  kvtest::WriteFile(dir.File("broken.job"), "not a job");
  kvtest::WriteFile(GroupFile(), ReadFile(GroupFile()) + dir.File("broken.job") + "\n");
  const Strings listed = Lines(Group({"list"}).out);
  ASSERT_EQ(listed.size(), 5u);
  EXPECT_EQ(listed[1], "OrdersToSqlite\t" + orders + "\tstop");
  EXPECT_EQ(listed[2], "SqliteToDbase\t" + dbase + "\tstop");
  EXPECT_EQ(listed[3], "-\t" + dir.File("gone.job") + "\tmissing");
  EXPECT_EQ(listed[4].rfind("-\t" + dir.File("broken.job") + "\tunreadable: ", 0), 0u) << listed[4];

  EXPECT_EQ(Group({"remove", "OrdersToSqlite"}).out, "removed\tOrdersToSqlite\t" + orders + "\n");
  // A missing or broken file keeps its line: removing another job drops only its own.
  EXPECT_EQ(Lines(ReadFile(GroupFile())), (Strings{dbase, dir.File("gone.job"), dir.File("broken.job")}));
  EXPECT_TRUE(std::filesystem::exists(orders));
}

TEST_F(CliGroup, RefusesWhatWouldMakeTheGroupAmbiguous) {
  const std::string orders = dir.File("orders-to-sqlite.job");
  ASSERT_EQ(Group({"add", orders}).status, 0);
  std::filesystem::copy_file(orders, dir.File("copy.job"));
  const struct {
    Strings args;
    const char* errorPart;
  } cases[] = {
      {{"add", orders}, "is in the group already"},
      {{"add", dir.File("copy.job")}, "a job named \"OrdersToSqlite\" is in the group already"},
      {{"add", dir.File("nothere.job")}, "nothere.job"},
      {{"remove", "Nobody"}, "no job named \"Nobody\""},
  };
  for (const auto& c : cases) {
    const CliResult r = Group(c.args);
    EXPECT_EQ(r.status, 1) << c.args[0];
    EXPECT_NE(r.err.find(c.errorPart), std::string::npos) << r.err;
  }
  EXPECT_EQ(Lines(ReadFile(GroupFile())), Strings{orders});
}

TEST_F(CliGroup, ValidatePrintsTheChecksAndFailsForABadJob) {
  const std::string orders = dir.File("orders-to-sqlite.job");
  ASSERT_EQ(Group({"add", orders}).status, 0);
  CliResult r = RunCli({"validate", "--home", dir.Path()});
  EXPECT_EQ(r.status, 0) << r.err;
  Strings lines = Lines(r.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "OrdersToSqlite\tinfo\tCheck the start condition of DBLink:OrdersToTable succeed!");
  EXPECT_EQ(lines.back(), "OrdersToSqlite\tresult\tpassed");
  // By name (from the group) and by file give the same checks.
  EXPECT_EQ(RunCli({"validate", "--home", dir.Path(), "OrdersToSqlite"}).out, r.out);
  EXPECT_EQ(RunCli({"validate", orders}).out, r.out);

  std::string text = ReadFile(Sample("orders-to-sqlite.jobtxt"));
  text.replace(text.find("'ID=ToInt(Orders.ID)'"), 21, "'ID=NoSuchFunction(1)'");
  kvtest::WriteFile(dir.File("bad.jobtxt"), text);
  const std::string bad = dir.File("bad.job");
  ASSERT_EQ(RunCli({"job", "build", dir.File("bad.jobtxt"), "-o", bad}).status, 0);
  r = RunCli({"validate", bad, orders});
  EXPECT_EQ(r.status, 1);
  lines = Lines(r.out);
  bool error = false;
  for (const std::string& line : lines)
    error = error || line.rfind("OrdersToSqlite\terror\tFind error while check the Target DataSet Field:ID", 0) == 0;
  EXPECT_TRUE(error) << r.out;
  EXPECT_NE(r.out.find("OrdersToSqlite\tresult\tfailed\n"), std::string::npos);
  EXPECT_NE(r.out.find("OrdersToSqlite\tresult\tpassed\n"), std::string::npos);

  r = RunCli({"validate", "--home", dir.Path(), "Nobody"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("\"Nobody\" is no job file and no job of"), std::string::npos) << r.err;
  kvtest::WriteFile(GroupFile(), ReadFile(GroupFile()) + dir.File("gone.job") + "\n");
  r = RunCli({"validate", "--home", dir.Path()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("gone.job: missing"), std::string::npos) << r.err;
}

}  // namespace
