// TKVTextDataSet ("Text"): a delimited or fixed-width text file read
// through a TTextFileDataset. Its settings are stored as a
// TTextFileDatasetInfo, read from the text file dataset just before the
// dataset is written and applied back through the setters just after it is
// read. A text file is never a destination.
#pragma once

#include <memory>

#include "KVCore_export.h"
#include "data/CustomDataSet.h"
#include "data/TextFileDatasetInfo.h"

namespace kv {

class TTextFileDataset;

class KVCORE_EXPORT TKVTextDataSet : public TKVCustomDataSet {
  KV_CLASS(TKVTextDataSet, TKVCustomDataSet)
public:
  TKVTextDataSet();

  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  void BeforeSave(TFiler& filer) override;
  // Applies the stored settings to the text file dataset (a stored value its
  // setter refuses raises that setter's error).
  void AfterLoad(TFiler& filer) override;
  // Every setting of the source's text file dataset first (through the
  // setters), then everything TKVCustomDataSet copies.
  void Assign(const TBaseObject* source) override;

  // The text file dataset (error data put in place for re-transfer is kept
  // as it is; otherwise a text file dataset is put back).
  TDataSet* GetDataset() override;
  // Lets the text file open its TableName resolved through ResolvePath.
  void DataSetBeforeOpen(TDataSet& dataSet) override;
  // The text file dataset whose settings this dataset keeps (owned by this dataset).
  TTextFileDataset& TextFile();

  ObjPtr<TTextFileDatasetInfo> TextFileDatasetInfo;  // never null outside loading

protected:
  // Keeps the text file dataset while error data stands in its place.
  void DataSetReplaced(std::unique_ptr<TDataSet> old) override;

private:
  std::unique_ptr<TTextFileDataset> spare_;  // the text file while error data stands in its place
};

}  // namespace kv
