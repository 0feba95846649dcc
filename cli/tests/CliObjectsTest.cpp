// vandrel-cli dump, text2bin and env, driven from outside.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "RunCli.h"
#include "environment/Environment.h"
#include "foundation/ObjectStream.h"

using namespace kvtest;

namespace {

size_t LineCount(const std::string& s) { return Lines(s).size(); }

}  // namespace

TEST(CliDump, DumpThenText2BinReproducesTheFile) {
  std::string dir = NewTempFolder("cli-dump");
  kv::TKVEnvironment env;
  env.SetDefaultFolder("/data/项目");
  env.SetMaxRunJobs(9);
  env.LogOption->Include(kv::dlmDelAtExit);
  env.LogOption->DelTime = 46123.987654321;
  std::string file = dir + "/KVCore.env";
  kv::SaveEnvironment(env, file);

  CliResult d = RunCli({"dump", file});
  ASSERT_EQ(d.status, 0) << d.err;
  EXPECT_EQ(d.out.rfind("object TKVEnvironment\n", 0), 0u);
  EXPECT_NE(d.out.find("DefaultFolder = '/data/项目/'"), std::string::npos);
  EXPECT_NE(d.out.find("object LogOption: TLogOption"), std::string::npos);

  std::ofstream(dir + "/env.txt", std::ios::binary) << d.out;
  CliResult t = RunCli({"text2bin", dir + "/env.txt", dir + "/copy.env"});
  ASSERT_EQ(t.status, 0) << t.err;
  EXPECT_EQ(ReadFile(dir + "/copy.env"), ReadFile(file));
}

TEST(CliDump, ErrorsNameTheFileOnOneLine) {
  std::string dir = NewTempFolder("cli-errors");
  CliResult missing = RunCli({"dump", dir + "/none.env"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(LineCount(missing.err), 1u);
  EXPECT_NE(missing.err.find(dir + "/none.env"), std::string::npos);

  std::ofstream(dir + "/bad.env") << "TPF0\x05TNope";
  CliResult bad = RunCli({"dump", dir + "/bad.env"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(LineCount(bad.err), 1u);

  std::ofstream(dir + "/bad.txt") << "object X\n  a = \n";
  CliResult parse = RunCli({"text2bin", dir + "/bad.txt", dir + "/out.bin"});
  EXPECT_EQ(parse.status, 1);
  EXPECT_NE(parse.err.find("bad.txt"), std::string::npos);
  EXPECT_NE(parse.err.find("line"), std::string::npos);
  struct stat st {};
  EXPECT_NE(::stat((dir + "/out.bin").c_str(), &st), 0) << "no output is written for bad input";
}

TEST(CliDump, UsageErrors) {
  EXPECT_EQ(RunCli({"dump"}).status, 2);
  EXPECT_EQ(RunCli({"dump", "a", "b"}).status, 2);
  EXPECT_EQ(RunCli({"text2bin", "a"}).status, 2);
  EXPECT_EQ(RunCli({"env", "--bogus"}).status, 2);
  EXPECT_EQ(RunCli({"no-such-command"}).status, 2);
  EXPECT_EQ(RunCli({}).status, 2);
  CliResult help = RunCli({"help"});
  EXPECT_EQ(help.status, 0);
  for (const char* c : {"dump FILE", "text2bin IN OUT", "env [--home DIR]"})
    EXPECT_NE(help.out.find(c), std::string::npos) << c;
}

TEST(CliEnv, DefaultsAndFile) {
  std::string dir = NewTempFolder("cli-env");
  CliResult d = RunCli({"env", "--home", dir});
  ASSERT_EQ(d.status, 0) << d.err;
  EXPECT_NE(d.out.find("MaxRunJobs=3\n"), std::string::npos);
  EXPECT_NE(d.out.find("not found: defaults"), std::string::npos);

  kv::TKVEnvironment env;
  env.SetMaxRunJobs(42);
  kv::SaveEnvironment(env, dir + "/KVCore.env");
  CliResult f = RunCli({"env"}, "VANDREL_HOME=" + Quote(dir));
  ASSERT_EQ(f.status, 0) << f.err;
  EXPECT_NE(f.out.find("MaxRunJobs=42\n"), std::string::npos);

  std::ofstream(dir + "/KVCore.env") << "broken";
  CliResult b = RunCli({"env", "--home", dir});
  EXPECT_EQ(b.status, 1);
  EXPECT_NE(b.err.find("KVCore.env"), std::string::npos);
  EXPECT_EQ(LineCount(b.err), 1u);
}

TEST(CliDump, PasswordsAreHiddenUnlessAskedForAndHiddenTextIsRefused) {
  std::string dir = NewTempFolder("cli-password");
  // A stored connection with a password, and one whose password is empty.
  std::ofstream(dir + "/info.txt", std::ios::binary)
      << "object TDataBaseInfo\n  AliasName = 'sales'\n  UserName = 'ann'\n  PassWord = 's3cr#et'\nend\n";
  ASSERT_EQ(RunCli({"text2bin", dir + "/info.txt", dir + "/info.bin"}).status, 0);
  std::ofstream(dir + "/empty.txt", std::ios::binary) << "object TDataBaseInfo\n  PassWord = ''\nend\n";
  ASSERT_EQ(RunCli({"text2bin", dir + "/empty.txt", dir + "/empty.bin"}).status, 0);

  CliResult shown = RunCli({"dump", dir + "/info.bin"});
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_EQ(shown.out.find("s3cr"), std::string::npos);
  EXPECT_NE(shown.out.find("PassWord = <hidden password>\n"), std::string::npos);
  EXPECT_NE(shown.out.find("UserName = 'ann'"), std::string::npos);

  // The hidden text never turns into a file with a made-up password.
  std::ofstream(dir + "/hidden.txt", std::ios::binary) << shown.out;
  CliResult refused = RunCli({"text2bin", dir + "/hidden.txt", dir + "/hidden.bin"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("--show-passwords"), std::string::npos);
  EXPECT_EQ(refused.err.find("s3cr"), std::string::npos);
  struct stat st {};
  EXPECT_NE(::stat((dir + "/hidden.bin").c_str(), &st), 0);

  // Asked for, the password is printed and the text converts back byte for byte.
  CliResult full = RunCli({"dump", "--show-passwords", dir + "/info.bin"});
  ASSERT_EQ(full.status, 0) << full.err;
  std::ofstream(dir + "/full.txt", std::ios::binary) << full.out;
  ASSERT_EQ(RunCli({"text2bin", dir + "/full.txt", dir + "/copy.bin"}).status, 0);
  EXPECT_EQ(ReadFile(dir + "/copy.bin"), ReadFile(dir + "/info.bin"));

  // An empty password has nothing to hide; an unknown option is a usage error.
  CliResult empty = RunCli({"dump", dir + "/empty.bin"});
  EXPECT_EQ(empty.out.find("<hidden password>"), std::string::npos) << empty.out;
  EXPECT_EQ(RunCli({"dump", "--show", dir + "/info.bin"}).status, 2);
}
