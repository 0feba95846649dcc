#include "data/OracleDataSets.h"

#include "data/DataEngines.h"
#include "data/FieldDefs.h"
#include "data/OdbcClientDataSet.h"
#include "data/OracleOdbc.h"
#include "foundation/CharClass.h"
#include "foundation/Format.h"

namespace kv {

KV_IMPLEMENT_CLASS(TDBExpressDataSet, TKVCustomTableDataSet)
KV_IMPLEMENT_CLASS(TKVOracleDataSet, TDBExpressDataSet)

namespace {

const TClassRegistrar g_registrar{TDBExpressDataSet::StaticClass(), TKVOracleDataSet::StaticClass()};

constexpr int32_t kOracleMaxVarchar = 4000;

std::vector<std::string> SplitKeys(const std::string& list) { return SplitFieldNames(list); }

std::shared_ptr<TOdbcConnection> OdbcOf(const std::shared_ptr<TDbConnection>& connection) {
  auto odbc = std::dynamic_pointer_cast<TOdbcConnection>(connection);
  if (connection && !odbc) throw EDatabaseError("An Oracle dataset was handed a connection of another engine");
  return odbc;
}

// The value of key i: the i-th element of an array, else the value itself.
TVariant KeyValue(const TVariant& keyValues, size_t i) {
  if (!keyValues.IsArray()) return keyValues;
  if (i >= keyValues.ArrayCount()) throw EDatabaseError("Fewer key values than key fields");
  return keyValues.Element(i);
}

}  // namespace

// ---- TDBExpressDataSet -------------------------------------------------------------------

std::string TDBExpressDataSet::EmptyDataSQL() const { return "delete from " + TableName; }

TOdbcClientDataSet* TDBExpressDataSet::ClientDataSet() { return ObjCast<TOdbcClientDataSet>(GetDataset()); }

TDataSet* TDBExpressDataSet::GetDataset() {
  EnsureDataSet([](const TDataSet& d) { return ObjCast<TOdbcClientDataSet>(&d) != nullptr; },
                [this] {
                  auto client = std::make_unique<TOdbcClientDataSet>();
                  client->AfterPost = [this](TDataSet& d) { DataSetAfterPost(d); };
                  // A deletion is applied at once too: a later locate reads the rows afresh.
                  client->AfterDelete = [this](TDataSet& d) { DataSetAfterPost(d); };
                  return client;
                });
  return &CurrentDataSet();
}

void TDBExpressDataSet::DataSetBeforeOpen(TDataSet& dataSet) {
  // The table kinds' own preparation (an engine table) does not apply here.
  TKVCustomDataSet::DataSetBeforeOpen(dataSet);
  if (HoldsErrorData()) return;
  InitDatabase();
  if (NewTable) CreateTable();
  if (Browse) {
    SetPreSQL();
  } else {
    SetSelectSQL();
  }
  if (auto* client = ObjCast<TOdbcClientDataSet>(&dataSet)) ConfigureClient(*client);
}

void TDBExpressDataSet::ConfigureClient(TOdbcClientDataSet& client) {
  const TOdbcNamedStatement statement = OdbcNamedParameters(QueryText);
  client.SetCommand(statement.Sql, std::vector<TVariant>(statement.Names.size(), TVariant::Null()));
  client.SetUpdateTable(TableName, UpdateKeyFields());
  client.SetPostRecords(PostRecords);
  client.PacketRecords = kPacketRecords;
  // Outside the data browser the dataset serves a run: written rows need not stay.
  client.ReleaseApplied = !Browse;
  const bool source = Purpose & TablePurposeBit(ttSource);
  const bool dest = Purpose & TablePurposeBit(ttDest);
  if (Browse || source == dest) {
    client.FetchMode = TOdbcClientDataSet::fmPackets;
  } else {
    client.FetchMode = dest ? TOdbcClientDataSet::fmNone : TOdbcClientDataSet::fmForward;
  }
}

std::string TDBExpressDataSet::UpdateKeyFields() const {
  if (!DatasetKeys.empty()) return DatasetKeys;
  if (IndexDefs && IndexDefs->Count() > 0) return IndexDefs->GetObj(0)->FieldExpression;
  return std::string();
}

void TDBExpressDataSet::DataSetAfterClose(TDataSet& dataSet) {
  TKVCustomDataSet::DataSetAfterClose(dataSet);
  // The connection closes when its last holder lets go of it.
  if (auto* client = ObjCast<TOdbcClientDataSet>(&dataSet)) client->SetConnection(nullptr);
}

void TDBExpressDataSet::InitDatabase() {
  TDataBaseInfo oracle;
  oracle.Assign(DataBaseInfo.get());
  oracle.ConnectType = ctOracle;
  SetConnection(ConnectDataBase(oracle));
  if (auto* client = ObjCast<TOdbcClientDataSet>(&CurrentDataSet())) client->SetConnection(OdbcOf(Connection()));
}

std::shared_ptr<TOdbcConnection> TDBExpressDataSet::OdbcConnection() {
  if (Connection()) return OdbcOf(Connection());
  TDataBaseInfo oracle;
  oracle.Assign(DataBaseInfo.get());
  oracle.ConnectType = ctOracle;
  return OdbcOf(ConnectDataBase(oracle));
}

void TDBExpressDataSet::CreateTable() {
  const std::string sql = CreateTableSQL();
  if (sql.empty()) return;
  std::shared_ptr<TOdbcConnection> connection = OdbcConnection();
  if (OdbcTableExists(*connection, TableName)) return;
  connection->CommitPending();
  try {
    connection->Execute(sql);
    connection->WriteDone(0);
    connection->CommitPending();
  } catch (const EDatabaseError& e) {
    connection->Rollback();
    throw EDatabaseError(Format("Cannot create table '%s': %s", TableName, e.Message()));
  }
}

void TDBExpressDataSet::EmptyData() {
  TOdbcClientDataSet* client = ClientDataSet();
  if (!client) {
    inherited::EmptyData();  // error data: record by record
    return;
  }
  std::shared_ptr<TOdbcConnection> connection = OdbcConnection();
  connection->Execute(EmptyDataSQL());
  connection->WriteDone(PostRecords);
  if (client->Active()) {
    client->ForgetRecords();
  } else {
    connection->CommitPending();  // no open dataset will commit it
  }
}

bool TDBExpressDataSet::LocateRecord(const std::string& keyFields, const TVariant& keyValues,
                                     TLocateOptions options) {
  TOdbcClientDataSet* client = ClientDataSet();
  if (!client || !client->Active() || options != 0) return inherited::LocateRecord(keyFields, keyValues, options);
  client->CheckBrowseMode();
  const std::vector<std::string> keys = SplitKeys(keyFields);
  if (keys.empty()) throw EDatabaseError("No key fields given to locate");
  std::string sql = BrowseSQL() + " where ";
  std::vector<TVariant> values;
  std::vector<int> types;
  for (size_t i = 0; i < keys.size(); ++i) {
    const TField& field = client->FieldByName(keys[i]);
    const TVariant value = KeyValue(keyValues, i);
    sql += (i == 0 ? " " : " and ") + keys[i];
    if (value.IsNullOrEmpty()) {
      sql += " is null";
      continue;
    }
    sql += "=:" + keys[i];
    try {
      values.push_back(field.Convert(value));
    } catch (const Exception&) {
      return false;  // a value the field cannot hold matches no row
    }
    types.push_back(OracleParameterSqlType(field.Def()));
  }
  return client->Requery(OdbcNamedParameters(sql).Sql, std::move(values), std::move(types));
}

void TDBExpressDataSet::DataSetAfterPost(TDataSet& dataSet) {
  if (auto* client = ObjCast<TOdbcClientDataSet>(&dataSet)) client->ApplyPosted();
}

// ---- TKVOracleDataSet ---------------------------------------------------------------------

TKVOracleDataSet::TKVOracleDataSet() { Name = "ORA"; }

std::string TKVOracleDataSet::BrowseSQL() const { return "select * from " + TableName + " "; }

void TKVOracleDataSet::SetSelectSQL() {
  SetPreSQL();
  const std::vector<std::string> keys = SplitKeys(DatasetKeys);
  if (!(Purpose & TablePurposeBit(ttDest)) || keys.empty()) return;
  QueryText += " where ";
  for (size_t i = 0; i < keys.size(); ++i) {
    QueryText += (i == 0 ? " " : " and ") + keys[i] + "=:" + keys[i];
  }
}

void TKVOracleDataSet::DataSetAfterOpen(TDataSet& dataSet) {
  ObjPtr<TKVFieldDefs> fields(FieldDefs ? new TKVFieldDefs : nullptr);
  if (fields) fields->Assign(FieldDefs.get());
  ObjPtr<TKVIndexDefs> indexes(IndexDefs ? new TKVIndexDefs : nullptr);
  if (indexes) indexes->Assign(IndexDefs.get());
  inherited::DataSetAfterOpen(dataSet);
  if (fields && fields->Count() > 0) SetFieldDefs(fields.get());
  SetIndexDefs(indexes.get());
}

bool TKVOracleDataSet::GetFieldDef() {
  std::shared_ptr<TOdbcConnection> connection = OdbcConnection();
  TFieldDefs fields;
  TIndexDefs indexes;
  const bool found = OracleReadFieldDefs(*connection, DataBaseInfo->UserName, TableName, fields, indexes);
  if (!FieldDefs) FieldDefs.reset(new TKVFieldDefs);
  FieldDefs->TakeBack(fields);
  if (!IndexDefs) IndexDefs.reset(new TKVIndexDefs);
  IndexDefs->TakeBack(indexes);
  return found;
}

std::vector<std::string> TKVOracleDataSet::GetTableNames() {
  return OracleTableNames(*OdbcConnection(), DataBaseInfo->UserName);
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

std::string OracleCreateTableSQL(const std::string& table, const TKVFieldDefs* fields, const TKVIndexDefs* indexes) {
  std::vector<std::string> lines{"create table " + table + " ("};
  if (fields) {
    for (int i = 0; i < fields->Count(); ++i) {
      const TKVFieldDef& field = *fields->GetObj(i);
      lines.push_back(" " + field.Name + " " + OracleColumnType(field) + ", ");
    }
  }
  std::string key;
  if (indexes && indexes->Count() > 0) {
    for (const std::string& name : SplitKeys(indexes->GetObj(0)->FieldExpression)) {
      key += (key.empty() ? "" : ",") + name;
    }
  }
  if (!key.empty()) {
    lines.push_back("  constraint PK_" + table + " primary key (" + key + ")");
  } else if (lines.size() > 1) {
    std::string& last = lines.back();
    last.erase(last.size() - 2);
  }
  lines.push_back(")");
  std::string sql;
  for (const std::string& line : lines) sql += line + "\n";
  return sql;
}

std::string TKVOracleDataSet::CreateTableSQL() const {
  return OracleCreateTableSQL(TableName, FieldDefs.get(), IndexDefs.get());
}

}  // namespace kv
