#include "data/TableDataSets.h"

#include "data/DataEngines.h"

namespace kv {

KV_IMPLEMENT_CLASS(TKVCustomTableDataSet, TKVCustomDataSet)
KV_IMPLEMENT_CLASS(TKVTableDataSet, TKVCustomTableDataSet)
KV_IMPLEMENT_CLASS(TKVODBCDataSet, TKVTableDataSet)
KV_IMPLEMENT_CLASS(TKVFileDBDataSet, TKVTableDataSet)

namespace {
const TClassRegistrar g_registrar{TKVCustomTableDataSet::StaticClass(), TKVTableDataSet::StaticClass(),
                                  TKVODBCDataSet::StaticClass(), TKVFileDBDataSet::StaticClass()};
}

TTableType TableTypeOfDriver(std::string_view driverName) {
  if (driverName == "Paradox") return ttParadox;
  if (driverName == "dBase") return ttDBase;
  if (driverName == "FoxPro") return ttFoxPro;
  return ttDefault;
}

// ---- TKVCustomTableDataSet ------------------------------------------------------------

TKVCustomTableDataSet::TKVCustomTableDataSet() { Name = "Table"; }

void TKVCustomTableDataSet::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptObject>(proc, param, IndexDefs, "IndexDefs", IndexDefs.get() != nullptr);
  Prop<ptBoolean>(proc, param, NewTable, "NewTable");
  Prop<ptByte>(proc, param, TableType, "TableType", TableType != 0);
}

void TKVCustomTableDataSet::Assign(const TBaseObject* source) {
  if (source == this) return;
  if (auto* s = ObjCast<TKVCustomTableDataSet>(source)) {
    SetIndexDefs(s->IndexDefs.get());
    NewTable = s->NewTable;
    TableType = s->TableType;
  }
  inherited::Assign(source);
}

void TKVCustomTableDataSet::SetIndexDefs(const TKVIndexDefs* value) {
  if (!value) {
    IndexDefs.reset();
    return;
  }
  if (!IndexDefs) IndexDefs.reset(new TKVIndexDefs);
  IndexDefs->Assign(value);
}

void TKVCustomTableDataSet::DataSetAfterOpen(TDataSet& dataSet) {
  inherited::DataSetAfterOpen(dataSet);
  if (!IndexDefs) IndexDefs.reset(new TKVIndexDefs);
  IndexDefs->TakeBack(dataSet.IndexDefs());
}

// ---- TKVTableDataSet --------------------------------------------------------------------

const TDataEngine& TKVTableDataSet::Engine() const { return DataEngineFor(*DataBaseInfo); }

TDataSet* TKVTableDataSet::GetDataset() {
  if (const TDataEngine* engine = FindDataEngine(ConnectionKeyOf(*DataBaseInfo))) {
    EnsureDataSet([engine](const TDataSet& d) { return engine->IsTable(d); }, [engine] { return engine->NewTable(); });
  }
  return &CurrentDataSet();
}

void TKVTableDataSet::DataSetBeforeOpen(TDataSet& dataSet) {
  inherited::DataSetBeforeOpen(dataSet);
  if (HoldsErrorData()) return;
  InitDatabase();
  if (NewTable) CreateTable();
}

void TKVTableDataSet::InitDatabase() {
  const TDataEngine& engine = Engine();
  TDataSet* table = GetDataset();
  if (!engine.IsTable(*table)) return;
  SetConnection(ConnectDataBase(*ResolvedDataBaseInfo()));
  engine.BindTable(*table, Connection(), TableName, PostRecords);
}

void TKVTableDataSet::DataSetAfterClose(TDataSet& dataSet) {
  inherited::DataSetAfterClose(dataSet);
  // The connection closes when its last dataset lets go of it.
  if (const TDataEngine* engine = FindDataEngine(ConnectionKeyOf(*DataBaseInfo)); engine && engine->IsTable(dataSet)) {
    engine->BindTable(dataSet, nullptr, TableName, PostRecords);
  }
}

void TKVTableDataSet::CreateTable() {
  const TDataEngine& engine = Engine();
  TDataSet* table = GetDataset();
  if (table->Active()) table->Close();
  InitDatabase();
  if (FieldDefs) FieldDefs->HandOver(table->FieldDefs());
  if (IndexDefs) IndexDefs->HandOver(table->IndexDefs());
  engine.CreateTable(*table);
}

void TKVTableDataSet::EmptyData() {
  TDataSet* table = GetDataset();
  if (!HoldsErrorData() && Engine().EmptyTable(*table)) {
    table->First();
    return;
  }
  inherited::EmptyData();
}

void LoadBDEPreview(const TDataBaseInfo& info, const std::string& tableName, const std::string& fieldName,
                    const TPreviewCallback& callback) {
  TKVTableDataSet table;
  table.SetDataBaseInfo(&info);
  table.TableName = tableName;
  TDataSet* dataSet = table.GetDataset();
  dataSet->Open();
  TField& field = dataSet->FieldByName(fieldName);
  for (int row = 1; row <= kPreviewRows && !dataSet->Eof(); ++row) {
    callback(row, field.Value());
    dataSet->Next();
  }
  dataSet->Close();
}

// ---- The named variants -------------------------------------------------------------------

TKVODBCDataSet::TKVODBCDataSet() { Name = "ODBC"; }

TKVFileDBDataSet::TKVFileDBDataSet() { Name = "FileDB"; }

}  // namespace kv
