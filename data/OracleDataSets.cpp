#include "data/OracleDataSets.h"

#include "data/DataEngines.h"
#include "data/FieldDefs.h"
#include "foundation/CharClass.h"
#include "foundation/Format.h"

namespace kv {

KV_IMPLEMENT_CLASS(TDBExpressDataSet, TKVCustomTableDataSet)
KV_IMPLEMENT_CLASS(TKVOracleDataSet, TDBExpressDataSet)

namespace {

const TClassRegistrar g_registrar{TDBExpressDataSet::StaticClass(), TKVOracleDataSet::StaticClass()};

constexpr int32_t kOracleMaxVarchar = 4000;

std::vector<std::string> SplitKeys(const std::string& list) { return SplitFieldNames(list); }

}  // namespace

// ---- TDBExpressDataSet -------------------------------------------------------------------

void TDBExpressDataSet::DataSetBeforeOpen(TDataSet& dataSet) {
  inherited::DataSetBeforeOpen(dataSet);
  InitDatabase();
  if (NewTable) CreateTable();
  if (Browse) {
    SetPreSQL();
  } else {
    SetSelectSQL();
  }
}

void TDBExpressDataSet::InitDatabase() {
  TDataBaseInfo oracle;
  oracle.Assign(DataBaseInfo.get());
  oracle.ConnectType = ctOracle;
  SetConnection(ConnectDataBase(oracle));
}

// ---- TKVOracleDataSet ---------------------------------------------------------------------

TKVOracleDataSet::TKVOracleDataSet() { Name = "ORA"; }

void TKVOracleDataSet::SetPreSQL() { QueryText = "select * from " + TableName + " "; }

void TKVOracleDataSet::SetSelectSQL() {
  SetPreSQL();
  const std::vector<std::string> keys = SplitKeys(DatasetKeys);
  if (!(Purpose & TablePurposeBit(ttDest)) || keys.empty()) return;
  QueryText += " where ";
  for (size_t i = 0; i < keys.size(); ++i) {
    QueryText += (i == 0 ? " " : " and ") + keys[i] + "=:" + keys[i];
  }
}

std::string OracleColumnType(const TKVFieldDef& field) {
  const std::string type = AsciiUpperCase(field.DataTypeName);
  const int64_t size = field.Size;
  const int64_t precision = field.Precision;
  if (type == "CHAR") return size != 0 ? Format("Char(%d)", size) : std::string("Char");
  if (type == "DATE") return type;
  if (type == "FLOAT") return size != 0 ? Format("FLOAT(%d)", size) : type;
  if (type == "LONG" || type == "LONG RAW" || type == "RAW" || type == "ROWID") return type;
  if (type == "NUMBER") {
    if (size != 0 && precision != 0) return Format("Number(%d, %d)", size, precision);
    return size != 0 ? Format("Number(%d)", size) : type;
  }
  return Format("VARCHAR2(%d)", size > 0 ? size : int64_t{kOracleMaxVarchar});
}

std::string TKVOracleDataSet::CreateTableSQL() const {
  std::vector<std::string> lines{"create table " + TableName + " ("};
  if (FieldDefs) {
    for (int i = 0; i < FieldDefs->Count(); ++i) {
      const TKVFieldDef& field = *FieldDefs->GetObj(i);
      lines.push_back(" " + field.Name + " " + OracleColumnType(field) + ", ");
    }
  }
  std::string key;
  if (IndexDefs && IndexDefs->Count() > 0) {
    for (const std::string& name : SplitKeys(IndexDefs->GetObj(0)->FieldExpression)) {
      key += (key.empty() ? "" : ",") + name;
    }
  }
  if (!key.empty()) {
    lines.push_back("  constraint PK_" + TableName + " primary key (" + key + ")");
  } else if (lines.size() > 1) {
    std::string& last = lines.back();
    last.erase(last.size() - 2);
  }
  lines.push_back(")");
  std::string sql;
  for (const std::string& line : lines) sql += line + "\n";
  return sql;
}

std::string TKVOracleDataSet::EmptyDataSQL() const { return "delete from " + TableName; }

}  // namespace kv
