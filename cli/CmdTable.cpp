// table: opens a table through the dataset kinds exactly as a job would and
// prints its field and index definitions or its first rows.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "CliCommand.h"
#include "CliDataSets.h"
#include "data/DataSet.h"

namespace cli {
namespace {

struct TableOptions {
  kv::TDataBaseInfo info;
  std::string table;
  std::string passwordEnv;
  bool defs = false;
  int64_t rows = 10;
};

// Asks for the password on the terminal without echoing it; empty when
// there is no terminal.
std::string AskPassword(const std::string& user) {
  const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty < 0) return std::string();
  const std::string prompt = "Password for " + user + ": ";
  (void)!::write(tty, prompt.data(), prompt.size());
  termios old{};
  const bool canHide = ::tcgetattr(tty, &old) == 0;
  if (canHide) {
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(tty, TCSAFLUSH, &quiet);
  }
  std::string password;
  char c = 0;
  while (::read(tty, &c, 1) == 1 && c != '\n' && c != '\r') password += c;
  if (canHide) ::tcsetattr(tty, TCSAFLUSH, &old);
  (void)!::write(tty, "\n", 1);
  ::close(tty);
  return password;
}

std::string NeedValue(const std::vector<std::string>& args, size_t& i) {
  if (i + 1 >= args.size()) throw UsageError{args[i] + " needs a value"};
  return args[++i];
}

void ParseTableOptions(const std::vector<std::string>& args, TableOptions& o) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--driver") {
      o.info.DriverName = NeedValue(args, i);
    } else if (a == "--path") {
      o.info.Path = NeedValue(args, i);
    } else if (a == "--alias") {
      o.info.AliasName = NeedValue(args, i);
      o.info.ConnectType = kv::ctAlias;
    } else if (a == "--server") {
      o.info.ServerName = NeedValue(args, i);
    } else if (a == "--database") {
      o.info.DataBaseName = NeedValue(args, i);
    } else if (a == "--user") {
      o.info.UserName = NeedValue(args, i);
    } else if (a == "--password-env") {
      o.passwordEnv = NeedValue(args, i);
    } else if (a == "--password") {
      throw UsageError{"a password is never taken from the command line: use --password-env VAR"};
    } else if (a == "--table") {
      o.table = NeedValue(args, i);
    } else if (a == "--defs") {
      o.defs = true;
    } else if (a == "--rows") {
      o.rows = ParseCount(a, NeedValue(args, i));
    } else {
      throw UsageError{"unknown option \"" + a + "\""};
    }
  }
  if (o.table.empty()) throw UsageError{"--table T is required"};
  if (o.info.DriverName.empty() && o.info.ConnectType != kv::ctAlias) o.info.DriverName = "SQLITE";
}

void ReadPassword(TableOptions& o) {
  if (!o.passwordEnv.empty()) {
    const char* value = std::getenv(o.passwordEnv.c_str());
    if (value == nullptr) throw kv::Exception("The environment variable " + o.passwordEnv + " is not set");
    o.info.PassWord = value;
  } else if (!o.info.UserName.empty()) {
    o.info.PassWord = AskPassword(o.info.UserName);
  }
}

std::string IndexOptionsText(kv::TIndexOptions options) {
  static const char* const kNames[] = {"primary", "unique", "descending", "caseinsensitive", "expression",
                                       "nonmaintained"};
  std::string text;
  for (int i = 0; i < 6; ++i) {
    if ((options >> i) & 1) text += (text.empty() ? "" : ",") + std::string(kNames[i]);
  }
  return text;
}

void PrintDefs(const kv::TDataSet& table) {
  std::cout << "field\tname\ttype\tsize\tprecision\trequired\tdeclared\n";
  for (const kv::TFieldDef& f : table.FieldDefs()) {
    std::cout << "field\t" << EscapeTerminalField(f.Name) << '\t' << kv::FieldTypeName(f.DataType) << '\t' << f.Size
              << '\t' << f.Precision << '\t' << (f.Required() ? "yes" : "no") << '\t'
              << EscapeTerminalField(f.DataTypeName) << '\n';
  }
  for (const kv::TIndexDef& x : table.IndexDefs()) {
    std::cout << "index\t" << EscapeTerminalField(x.Name) << '\t' << EscapeTerminalField(x.Fields) << '\t'
              << IndexOptionsText(x.Options) << '\n';
  }
}

void PrintRows(kv::TDataSet& table, int64_t rows) {
  std::string out;
  for (int i = 0; i < table.FieldCount(); ++i) out += (i ? "\t" : "") + EscapeTerminalField(table.Fields(i).FieldName());
  out += '\n';
  for (int64_t row = 0; row < rows && !table.Eof(); ++row, table.Next()) {
    for (int i = 0; i < table.FieldCount(); ++i) out += (i ? "\t" : "") + FormatCell(table.Fields(i).Value());
    out += '\n';
  }
  std::cout << out;
}

int RunTable(const std::vector<std::string>& args) {
  TableOptions o;
  ParseTableOptions(args, o);
  ReadPassword(o);
  std::unique_ptr<kv::TKVTableDataSet> dataSet = OpenTable(o.info, o.table, o.table);
  kv::TDataSet& table = *dataSet->GetDataset();
  if (o.defs) {
    PrintDefs(table);
  } else {
    PrintRows(table, o.rows);
  }
  dataSet->AfterImport();
  return kExitOk;
}

const CommandRegistrar table{Command{
    "table",
    "table [--driver NAME] [--path P] [--alias DSN] [--server S] [--database D] [--user U]\n"
    "      [--password-env VAR] --table T [--defs] [--rows N]",
    "Opens a table through the dataset kinds exactly as a job would and prints its field\n"
    "and index definitions (--defs) or a header line and its first N rows (default 10),\n"
    "fields separated by tabs and escaped as sql escapes them (NULL as \\N). The options\n"
    "are the connection settings of a dataset; the driver defaults to SQLITE, whose\n"
    "--path is the database file. A password is read from the environment variable\n"
    "named by --password-env, or asked for on the terminal when --user is given; it is\n"
    "never taken from the command line, where other users' ps would show it.",
    55, RunTable}};

}  // namespace
}  // namespace cli
