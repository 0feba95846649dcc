#include "data/TextDataSet.h"

#include "data/TextFileDataset.h"

namespace kv {

KV_IMPLEMENT_CLASS(TKVTextDataSet, TKVCustomDataSet)

namespace {
const TClassRegistrar g_registrar{TKVTextDataSet::StaticClass()};
}

TKVTextDataSet::TKVTextDataSet() {
  Name = "Text";
  TextFileDatasetInfo.reset(new TTextFileDatasetInfo);
  SetDataSet(std::make_unique<TTextFileDataset>());
}

void TKVTextDataSet::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptObject>(proc, param, TextFileDatasetInfo, "TextFileDatasetInfo", TextFileDatasetInfo.get() != nullptr);
}

void TKVTextDataSet::BeforeSave(TFiler& filer) {
  inherited::BeforeSave(filer);
  if (!TextFileDatasetInfo) TextFileDatasetInfo.reset(new TTextFileDatasetInfo);
  TextFileDatasetInfo->ReadFrom(TextFile());
}

void TKVTextDataSet::AfterLoad(TFiler& filer) {
  inherited::AfterLoad(filer);
  if (!TextFileDatasetInfo) TextFileDatasetInfo.reset(new TTextFileDatasetInfo);
  TextFileDatasetInfo->ApplyTo(TextFile());
}

void TKVTextDataSet::Assign(const TBaseObject* source) {
  if (source == this) return;
  if (auto* s = ObjCast<TKVTextDataSet>(source)) {
    TTextFileDatasetInfo settings;
    settings.ReadFrom(const_cast<TKVTextDataSet*>(s)->TextFile());
    settings.ApplyTo(TextFile());
    TextFileDatasetInfo->Assign(&settings);
  }
  inherited::Assign(source);
}

TDataSet* TKVTextDataSet::GetDataset() {
  if (!HoldsErrorData() && !ObjCast<TTextFileDataset>(&CurrentDataSet())) {
    SetDataSet(spare_ ? std::move(spare_) : std::make_unique<TTextFileDataset>());
  }
  return &CurrentDataSet();
}

void TKVTextDataSet::DataSetBeforeOpen(TDataSet& dataSet) {
  inherited::DataSetBeforeOpen(dataSet);
  if (auto* text = ObjCast<TTextFileDataset>(&dataSet))
    text->ResolveFileName = [this](const std::string& name) { return ResolvePath(name); };
}

TTextFileDataset& TKVTextDataSet::TextFile() {
  if (auto* text = ObjCast<TTextFileDataset>(&CurrentDataSet())) return *text;
  if (!spare_) spare_ = std::make_unique<TTextFileDataset>();
  return *spare_;
}

void TKVTextDataSet::DataSetReplaced(std::unique_ptr<TDataSet> old) {
  if (ObjCast<TTextFileDataset>(old.get())) spare_.reset(static_cast<TTextFileDataset*>(old.release()));
}

}  // namespace kv
