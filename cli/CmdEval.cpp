// eval: translates and evaluates expressions of the expression language.
//
//   vandrel-cli eval [--var NAME=VALUE]... [EXPR]...
//
// Each EXPR argument, or else each line of standard input, is one
// expression, translated and evaluated once with a fresh stamp against one
// public variable list kept for the whole run (so "x := 5" on one line makes
// "x + 1" valid on the next). One line of output per expression:
//   <type>\t<text>                                  the value
//   ERROR\t<result>\t<position>\t<message>          a translation failure
//   EXCEPTION\t<message>                            a failure while computing
//   NONE                                            an empty expression
// Texts are escaped with EscapeField. Exit status 0 when every expression
// succeeded, 1 when one failed, 2 for a usage error.
//
// With --db DBFILE --table NAME [--row N] the table of a SQLite file is
// opened as a job opens it and its fields are defined under the table's
// name (NAME.FIELD; NAME itself is the dataset for the database functions),
// standing on record N (default 1).
#include <unistd.h>

#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "CliCommand.h"
#include "CliDataSets.h"
#include "data/DataSet.h"
#include "expression/DBFunctions.h"
#include "expression/Expression.h"
#include "expression/ThreadExp.h"
#include "expression/Translator.h"
#include "expression/VarList.h"
#include "foundation/Exceptions.h"
#include "foundation/NumUtils.h"

namespace cli {
namespace {

// The value of a --var: an integer when the text is one, else a real when it
// is one, else the text itself.
std::unique_ptr<kv::TExpression> VarValue(const std::string& text) {
  switch (kv::ParseDataType(text)) {
    case kv::tdInteger: {
      int64_t i = 0;
      if (kv::TextToInt64(text, i)) return kv::CreateIntExp(i);
      break;
    }
    case kv::tdReal: return kv::CreateRealExp(kv::StrToNum(text));
    default: break;
  }
  auto e = std::make_unique<kv::TExpression>();
  e->DataType = kv::etString;
  e->SetStrValue(text);
  return e;
}

// Translates, evaluates and prints one expression; false when it failed.
bool EvalOne(const std::string& text) {
  std::unique_ptr<kv::TExpression> exp;
  try {
    if (!kv::CalculateExp(text, exp)) {
      const kv::TExpTranslator* t = kv::GetTranslator();
      std::cout << "ERROR\t" << kv::TransResultName(t->Status) << '\t' << t->ErrorPos << '\t'
                << EscapeField(t->ErrorMsg()) << '\n';
      return false;
    }
    if (!exp) {
      std::cout << "NONE\n";
      return true;
    }
    std::cout << kv::ExpDataTypeName(exp->DataType) << '\t' << EscapeField(exp->GetString()) << '\n';
    return true;
  } catch (const kv::Exception& e) {
    std::cout << "EXCEPTION\t" << EscapeField(e.Message()) << '\n';
  } catch (const std::exception& e) {
    std::cout << "EXCEPTION\t" << EscapeField(e.what()) << '\n';
  }
  return false;
}

struct DbOptions {
  std::string file;
  std::string table;
  int32_t row = 1;
};

// Opens the table of --db and --table standing on record --row, with its
// variables chained before the public list; the caller keeps the result open.
std::unique_ptr<kv::TKVTableDataSet> OpenEvalTable(const DbOptions& db, kv::TVarList* publicList) {
  if (::access(db.file.c_str(), F_OK) != 0) throw kv::Exception(db.file + ": no such database file");
  kv::TDataBaseInfo info;
  info.DriverName = "SQLITE";
  info.Path = db.file;
  std::unique_ptr<kv::TKVTableDataSet> table = OpenTable(info, db.table, db.table);
  kv::TDataSet& data = *table->GetDataset();
  if (db.row > 1 && data.MoveBy(db.row - 1) != db.row - 1) {
    throw kv::Exception(db.table + " has fewer than " + std::to_string(db.row) + " records");
  }
  kv::RegisterDBFunctions();
  kv::TVarList* fields = table->GetVarList();
  fields->SetVarListParent(publicList);
  fields->SetParentEnabled(true);
  kv::SetVarList(fields);
  return table;
}

int RunEval(const std::vector<std::string>& args) {
  DbOptions db;
  std::vector<std::pair<std::string, std::string>> vars;
  std::vector<std::string> expressions;
  bool options = true;
  auto addVar = [&](const std::string& assignment) {
    const size_t eq = assignment.find('=');
    if (eq == std::string::npos) throw UsageError{"--var needs NAME=VALUE, got \"" + assignment + "\""};
    if (eq == 0) throw UsageError{"--var needs a name before '=' in \"" + assignment + "\""};
    vars.emplace_back(assignment.substr(0, eq), assignment.substr(eq + 1));
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (options && a == "--") {
      options = false;
    } else if (options && a == "--var") {
      if (i + 1 >= args.size()) throw UsageError{"--var needs NAME=VALUE"};
      addVar(args[++i]);
    } else if (options && a.rfind("--var=", 0) == 0) {
      addVar(a.substr(6));
    } else if (options && (a == "--db" || a == "--table" || a == "--row")) {
      if (i + 1 >= args.size()) throw UsageError{a + " needs a value"};
      const std::string& value = args[++i];
      if (a == "--db") db.file = value;
      if (a == "--table") db.table = value;
      if (a == "--row") db.row = ParseCount(a, value);
    } else if (options && a.size() > 2 && a.compare(0, 2, "--") == 0) {
      throw UsageError{"unknown option \"" + a + "\""};
    } else {
      expressions.push_back(a);
    }
  }

  if (db.file.empty() != db.table.empty()) throw UsageError{"--db and --table go together"};
  if (db.row < 1) throw UsageError{"--row counts from 1"};

  kv::CreatePubVarList();
  kv::TVarList* list = kv::GetPubVarList();
  for (auto& [name, value] : vars) list->SetVarExp(name, VarValue(value));
  std::unique_ptr<kv::TKVTableDataSet> table;
  if (!db.file.empty()) table = OpenEvalTable(db, list);

  bool allOk = true;
  if (!expressions.empty()) {
    for (const std::string& e : expressions) allOk = EvalOne(e) && allOk;
  } else {
    for (std::string line; std::getline(std::cin, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      allOk = EvalOne(line) && allOk;
    }
  }
  std::cout.flush();
  if (table) table->AfterImport();
  return allOk ? kExitOk : kExitFailure;
}

const CommandRegistrar eval{Command{
    "eval", "eval [--var NAME=VALUE]... [--db DBFILE --table NAME [--row N]] [EXPR]...",
    "Translates and evaluates each EXPR (or else each line of standard input) once, in\n"
    "one thread against one variable list, so assignments carry to later expressions.\n"
    "--var predefines a variable: an integer, else a real, else a text.\n"
    "Prints per expression \"<type>\\t<text>\", \"ERROR\\t<result>\\t<position>\\t<message>\",\n"
    "\"EXCEPTION\\t<message>\" or \"NONE\" (empty expression); exit status 1 when any failed.\n"
    "--db with --table opens a table of a SQLite file as a job would, stands on record N\n"
    "(--row, default 1) and defines its fields as NAME.FIELD and the table as NAME for\n"
    "the database functions (FieldValue(NAME, 'FIELD'), RecordCount(NAME), ...).",
    20, RunEval}};

}  // namespace
}  // namespace cli
