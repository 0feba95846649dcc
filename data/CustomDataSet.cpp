#include "data/CustomDataSet.h"

#include <utility>

#include "data/ComputedValue.h"
#include "data/Connections.h"
#include "data/DataSetCursor.h"
#include "data/MemDataSet.h"
#include "environment/CoreMessages.h"
#include "environment/Environment.h"
#include "data/ExpVariant.h"
#include "expression/DBVarList.h"
#include "expression/ThreadExp.h"
#include "foundation/Format.h"
#include "foundation/ThreadLocks.h"

namespace kv {

KV_IMPLEMENT_CLASS(TKVCustomDataSet, TKVBaseDataSet)

namespace {

const TClassRegistrar g_registrar{TKVCustomDataSet::StaticClass()};

// The engine dataset of a kind that has none yet: no fields, no records.
class TUnboundDataSet final : public TDataSet {
protected:
  void InternalOpen() override {}
  void InternalClose() override {}
  void InternalFirst() override {}
  void InternalLast() override {}
  TGetResult InternalGetRecord(TGetMode mode) override { return mode == gmPrior ? grBOF : grEOF; }
  bool InternalGetFieldValue(const TField&, TVariant&) override { return false; }
};

bool ZeroAsNullInForce() {
  return GlobalEnv == nullptr || !GlobalEnv->ExpOption || GlobalEnv->ExpOption->ZeroAsNull;
}

bool IsZeroValue(const TExpression& exp) {
  switch (exp.DataType) {
    case etInteger: return exp.GetInteger() == 0;
    case etReal: return ExpAsReal(&exp) == 0;
    case etChar: return ExpAsChar(&exp) == 0;
    case etString: return ExpAsString(&exp).empty();
    case etDateTime: return ExpAsDateTime(&exp) == 0;
    default: return false;
  }
}

}  // namespace

TKVCustomDataSet::TKVCustomDataSet() {
  DataBaseInfo.reset(new TDataBaseInfo);
  varList_.reset(new TDBVarList);
  SetDataSet(std::make_unique<TUnboundDataSet>());
}

TKVCustomDataSet::~TKVCustomDataSet() {
  // The engine dataset closes without notifications when it goes; the
  // cursor (and with it the handle) goes first.
  cursor_.reset();
  dataSet_.reset();
}

void TKVCustomDataSet::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptObject>(proc, param, DataBaseInfo, "DataBaseInfo", DataBaseInfo.get() != nullptr);
  Prop<ptObject>(proc, param, FieldDefs, "FieldDefs", FieldDefs.get() != nullptr);
  Prop<ptByte>(proc, param, ImportMode, "ImportMode", ImportMode != imAppend);
  Prop<ptInteger>(proc, param, PostRecords, "PostRecords", true);
  Prop<ptByte>(proc, param, Purpose, "Purpose", Purpose != 0);
}

void TKVCustomDataSet::AfterLoad(TFiler& filer) {
  inherited::AfterLoad(filer);
  if (!DataBaseInfo) DataBaseInfo.reset(new TDataBaseInfo);
}

void TKVCustomDataSet::Assign(const TBaseObject* source) {
  if (source == this) return;
  if (auto* s = ObjCast<TKVCustomDataSet>(source)) {
    SetDataBaseInfo(s->DataBaseInfo.get());
    SetFieldDefs(s->FieldDefs.get());
    ImportMode = s->ImportMode;
    PostRecords = s->PostRecords;
    Purpose = s->Purpose;
    SetVarList(s->varList_.get());
  }
  inherited::Assign(source);
}

void TKVCustomDataSet::SetDataBaseInfo(const TDataBaseInfo* value) {
  if (!DataBaseInfo) DataBaseInfo.reset(new TDataBaseInfo);
  if (value) DataBaseInfo->Assign(value);
}

void TKVCustomDataSet::SetFieldDefs(const TKVFieldDefs* value) {
  if (!value) {
    FieldDefs.reset();
    return;
  }
  if (!FieldDefs) FieldDefs.reset(new TKVFieldDefs);
  FieldDefs->Assign(value);
}

void TKVCustomDataSet::SetVarList(const TVarList* value) {
  if (value) varList_->Assign(value);
}

// ---- The engine dataset ----------------------------------------------------------------

TDataSet* TKVCustomDataSet::GetDataset() { return dataSet_.get(); }

std::string TKVCustomDataSet::ResolvePath(const std::string& path) const {
  return OwnerLink ? OwnerLink->ResolvePath(path) : path;
}

std::unique_ptr<TDataBaseInfo> TKVCustomDataSet::ResolvedDataBaseInfo() const {
  auto info = std::make_unique<TDataBaseInfo>();
  info->Assign(DataBaseInfo.get());
  if (info->ConnectType != ctAlias && IsFileDatabaseDriver(info->DriverName)) info->Path = ResolvePath(info->Path);
  return info;
}

void TKVCustomDataSet::SetDataSet(std::unique_ptr<TDataSet> dataSet) {
  if (!dataSet) dataSet = std::make_unique<TUnboundDataSet>();
  if (dataSet_) dataSet_->Close();
  cursor_.reset();
  std::unique_ptr<TDataSet> old = std::exchange(dataSet_, std::move(dataSet));
  BindNotifications(*dataSet_);
  cursor_ = std::make_unique<TDataSetCursor>(*dataSet_);
  if (old) {
    old->BeforeOpen = old->AfterOpen = old->BeforeClose = old->AfterClose = nullptr;
    DataSetReplaced(std::move(old));
  }
}

void TKVCustomDataSet::DataSetReplaced(std::unique_ptr<TDataSet>) {}

int64_t TKVCustomDataSet::DataSetHandle() const { return cursor_->Handle(); }

// Error data is a plain in-memory dataset; the client datasets that
// subclass it stand in front of a database table and are no error data.
bool TKVCustomDataSet::HoldsErrorData() const { return dataSet_->ClassType() == TKVMemDataSet::StaticClass(); }

void TKVCustomDataSet::EnsureDataSet(const std::function<bool(const TDataSet&)>& fits,
                                     const std::function<std::unique_ptr<TDataSet>()>& make) {
  if (HoldsErrorData() || fits(*dataSet_)) return;
  SetDataSet(make());
}

void TKVCustomDataSet::BindNotifications(TDataSet& dataSet) {
  dataSet.BeforeOpen = [this](TDataSet& d) { DataSetBeforeOpen(d); };
  dataSet.AfterOpen = [this](TDataSet& d) { DataSetAfterOpen(d); };
  dataSet.BeforeClose = [this](TDataSet& d) { DataSetBeforeClose(d); };
  dataSet.AfterClose = [this](TDataSet& d) { DataSetAfterClose(d); };
}

void TKVCustomDataSet::DataSetBeforeOpen(TDataSet&) {}

void TKVCustomDataSet::DataSetAfterOpen(TDataSet& dataSet) {
  DefineVariables();
  if (!FieldDefs) FieldDefs.reset(new TKVFieldDefs);
  FieldDefs->TakeBack(dataSet.FieldDefs());
  CurrentRow = 0;
}

void TKVCustomDataSet::DataSetBeforeClose(TDataSet&) {}

void TKVCustomDataSet::DataSetAfterClose(TDataSet&) {
  CurrentRow = 0;
  connection_.reset();
}

void TKVCustomDataSet::DefineVariables() {
  varList_->Clear();
  BumpVarListEpoch();
  varList_->DefineFields(DataSetHandle(), Name);
}

// ---- The record walk ---------------------------------------------------------------------

void TKVCustomDataSet::BeforeImport() {
  TThreadLockGuard lock;
  TDataSet* dataSet = GetDataset();
  if (HoldsErrorData() && !dataSet->Active() && OwnerLink) {
    OwnerLink->LoadErrorData(*ObjCast<TKVMemDataSet>(dataSet));
  }
  if (dataSet->Active()) {
    DataSetAfterOpen(*dataSet);
  } else {
    dataSet->Open();
  }
}

// The walk stays on the engine dataset BeforeImport settled.
void TKVCustomDataSet::GoFirst() { dataSet_->First(); }

void TKVCustomDataSet::GoNext() { dataSet_->Next(); }

bool TKVCustomDataSet::NeedMore() { return !dataSet_->Eof(); }

void TKVCustomDataSet::AfterImport() { dataSet_->Close(); }

TVariant TKVCustomDataSet::GetValues(const std::string& fieldNames) { return dataSet_->FieldValues(fieldNames); }

TVariant TKVCustomDataSet::GetFieldValue(const TVariant& field) {
  const std::string text = field.AsString();
  if (TField* f = dataSet_->FindField(text)) return f->Value();
  return ComputeExpression(text);
}

TVariant TKVCustomDataSet::ComputeExpression(const std::string& text) {
  if (text != expressionText_ || !expression_) {
    expression_.reset();
    expressionText_.clear();
    if (!ValidateExp(text, expression_) || !expression_) {
      throw EDatabaseError(Format(SExpressionError.Text(), GetTranslateStatusMsg()));
    }
    expressionText_ = text;
  }
  try {
    expression_->Evaluate(NextStamp(expression_->SyncFlag));
  } catch (const std::exception& error) {
    throw EDatabaseError(Format(SExpressionError.Text(), std::string(error.what())));
  }
  return ComputedFieldValue(*expression_);
}

TVariant ComputedFieldValue(const TExpression& exp) {
  if (ZeroAsNullInForce() && IsZeroValue(exp)) return TVariant::Null();
  return ExpToVariant(exp);
}

// ---- Destination operations ----------------------------------------------------------

void TKVCustomDataSet::EmptyData() {
  TDataSet* dataSet = GetDataset();
  dataSet->First();
  while (!dataSet->IsEmpty()) dataSet->Delete();
}

void TKVCustomDataSet::InitDatabase() {}

bool TKVCustomDataSet::LocateRecord(const std::string& keyFields, const TVariant& keyValues, TLocateOptions options) {
  return dataSet_->Locate(keyFields, keyValues, options);
}

TVarList* TKVCustomDataSet::GetVarList() {
  if (varList_->Count() == 0) {
    if (!Name.empty()) varList_->SetVarExp(Name, CreateStrExp(""));
    if (FieldDefs) {
      for (int i = 0; i < FieldDefs->Count(); ++i) {
        const std::string& field = FieldDefs->GetObj(i)->Name;
        varList_->SetVarExp(Name.empty() ? field : Name + "." + field, CreateStrExp(""));
      }
    }
  }
  return varList_.get();
}

std::string TKVCustomDataSet::GetTableName() {
  std::string value;
  TDataSet* dataSet = GetDataset();
  if (dataSet->GetPublishedString("TableName", value)) return value;
  if (dataSet->GetPublishedString("SQL", value)) return value;
  return std::string();
}

void CheckCanBeDest(const TKVBaseDataSet& dataSet) {
  auto* kind = ObjCast<TKVCustomDataSet>(&dataSet);
  if (kind == nullptr || !kind->CanBeDest()) throw EDatabaseError(Format(EDataSetCanotBeDest.Text(), dataSet.Name));
}

}  // namespace kv
