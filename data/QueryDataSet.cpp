#include "data/QueryDataSet.h"

#include "data/DataEngines.h"

namespace kv {

KV_IMPLEMENT_CLASS(TKVQueryDataSet, TKVCustomDataSet)

namespace {

const TClassRegistrar g_registrar{TKVQueryDataSet::StaticClass()};

// The statement without the line break the string list puts after its last line.
std::string StatementText(const TStringList& sql) {
  std::string text = sql.Text();
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace

TKVQueryDataSet::TKVQueryDataSet() {
  Name = "Query";
  SQL.reset(new TStringList);
}

void TKVQueryDataSet::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptStrings>(proc, param, SQL, "SQL", SQL.get() != nullptr && SQL->Count() > 0);
}

void TKVQueryDataSet::AfterLoad(TFiler& filer) {
  inherited::AfterLoad(filer);
  if (!SQL) SQL.reset(new TStringList);
}

void TKVQueryDataSet::Assign(const TBaseObject* source) {
  if (source == this) return;
  if (auto* s = ObjCast<TKVQueryDataSet>(source)) SQL->Assign(*s->SQL);
  inherited::Assign(source);
}

TDataSet* TKVQueryDataSet::GetDataset() {
  if (const TDataEngine* engine = FindDataEngine(ConnectionKeyOf(*DataBaseInfo))) {
    EnsureDataSet([engine](const TDataSet& d) { return engine->IsQuery(d); }, [engine] { return engine->NewQuery(); });
  }
  return &CurrentDataSet();
}

void TKVQueryDataSet::DataSetBeforeOpen(TDataSet& dataSet) {
  inherited::DataSetBeforeOpen(dataSet);
  if (!HoldsErrorData()) InitDatabase();
}

void TKVQueryDataSet::DataSetAfterClose(TDataSet& dataSet) {
  inherited::DataSetAfterClose(dataSet);
  if (const TDataEngine* engine = FindDataEngine(ConnectionKeyOf(*DataBaseInfo)); engine && engine->IsQuery(dataSet)) {
    engine->BindQuery(dataSet, nullptr, StatementText(*SQL));
  }
}

void TKVQueryDataSet::InitDatabase() {
  const TDataEngine& engine = DataEngineFor(*DataBaseInfo);
  TDataSet* query = GetDataset();
  if (!engine.IsQuery(*query)) return;
  SetConnection(ConnectDataBase(*ResolvedDataBaseInfo()));
  engine.BindQuery(*query, Connection(), StatementText(*SQL));
}

bool TKVQueryDataSet::LocateRecord(const std::string&, const TVariant&, TLocateOptions) { return false; }

}  // namespace kv
