// The stored copy of a text file dataset's settings. The text dataset kind
// copies its text file dataset's settings here just before it is written
// and applies them back through the dataset's setters just after it is
// read. Texts are kept in the escaped notation as entered.
//
// A new info holds zeros and empty texts (not the dataset's defaults):
// since entries holding zero or an empty text are not stored, a setting
// that was zero or empty reads back as exactly that.
#pragma once

#include <cstdint>
#include <string>

#include "KVCore_export.h"
#include "data/TextRecordReader.h"
#include "foundation/BaseObject.h"

namespace kv {

class TTextFileDataset;

class KVCORE_EXPORT TTextFileDatasetInfo : public TBaseObject {
  KV_CLASS(TTextFileDatasetInfo, TBaseObject)
public:
  void Assign(const TBaseObject* source) override;
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;

  // Takes every setting of `dataset`.
  void ReadFrom(const TTextFileDataset& dataset);
  // Applies every setting to `dataset` through its setters (which close it
  // and validate: a stored value the setter refuses raises its error).
  void ApplyTo(TTextFileDataset& dataset) const;

  int32_t MaxFieldsWarn = 0;
  std::string ColumnSeperator;
  std::string ColumnWidths;
  bool ExtractColumnNamesFromFirstLine = false;
  std::string RowSeperator;
  int32_t SkipRows = 0;
  std::string StringQualifier;
  TTextFileType TextFileType = tftFixedWidths;
  bool LoadBadRecords = false;
  std::string TableName;
  std::string Encoding;  // empty for UTF-8
};

}  // namespace kv
