// The base of every dataset a job holds (text files, queries, tables):
// its identity (name, description, table name, key fields), the text
// format options every dataset carries and stores, and the record walk the
// transfer engine drives:
//
//   BeforeImport on the source, then on the destination (open or prepare);
//   GoFirst on the source;
//   while NeedMore on the source (and the run goes on): convert and write
//   the current record, then GoNext;
//   AfterImport on the source once it is used up.
//
// The base walk is empty: NeedMore is false at once. The dataset kinds
// bind the walk to a TDataSet of their engine.
//
// The delimiter, qualifier and record separator each exist twice: as a
// named choice (fdComma, tqQuot, rsCRLF, ...) and as the character or
// string in force. The setters keep the two in step. Loading bypasses the
// setters: the choices read back as stored, and the qualifier's choice,
// which is not stored, reads back as tqQuot whatever character was stored.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "KVCore_export.h"
#include "data/DataFormats.h"
#include "data/Variant.h"
#include "foundation/BaseObject.h"

namespace kv {

class TDataSet;
class TField;

enum TKVFieldDelimiter : uint8_t { fdNone, fdCustom, fdTab, fdSemicolon, fdComma, fdSpace };
enum TKVTextQualifier : uint8_t { tqNone, tqCustom, tqQuot, tqApos };
enum TKVRecordSeparator : uint8_t { rsCustom, rsCRLF, rsCR, rsLF };

enum TKVOption : uint8_t { soShowMessage, soExtendedStatistic };
using TKVOptions = uint8_t;  // bit n = option n
constexpr TKVOptions KVOptionBit(TKVOption o) { return static_cast<TKVOptions>(1u << o); }

enum TTableTypeImport : uint8_t { teParadox, teDBase, teText, teHTML, teXLS, teWKS, teQuattro, teXML };
using TImportFormatTypes = uint8_t;  // bit n = format n

enum TRunOperate : uint8_t { roRun, roDebugGo, roDebugStep };

class TKVBaseDataSet;

// Events of a dataset (sender first; reference arguments may be changed by the handler).
using TErrorEvent = std::function<void(TKVBaseDataSet& sender, const std::exception& error, TRunOperate& abort)>;
using TGetCellParamsEvent = std::function<void(TKVBaseDataSet& sender, TField* field, TVariant& value)>;
using TAfterRecordEvent = std::function<void(TKVBaseDataSet& sender, TRunOperate& abort)>;
using TBeforeRecordEvent =
    std::function<void(TKVBaseDataSet& sender, const std::string& fields, const TVariant& values, bool& accept)>;

class KVCORE_EXPORT TKVBaseDataSet : public TBaseObject {
  KV_CLASS(TKVBaseDataSet, TBaseObject)
public:
  static constexpr int32_t kRowLastDefault = 2147483647;

  TKVBaseDataSet();
  ~TKVBaseDataSet() override;

  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  // From another TKVBaseDataSet: every stored setting and the data formats.
  void Assign(const TBaseObject* source) override;
  // The data formats are always there, whatever the stream held.
  void AfterLoad(TFiler& filer) override;

  // Default file extension and file-dialog filter of the kind.
  virtual std::string Extension() const;
  virtual std::string FillFileFilters() const;

  // ---- The record walk ----
  virtual void AfterImport() {}
  virtual void BeforeImport() {}
  virtual void GoFirst() {}
  virtual void GoNext() {}
  virtual bool NeedMore() { return false; }
  // The values of the named fields (";"-separated); Null in the base.
  virtual TVariant GetValues(const std::string& fieldNames);
  // The value of a field named by `field`, or of an expression text
  // computed on the current record. The base has neither fields nor an
  // expression evaluator and hands back a copy of `field`; the dataset
  // kinds look the name up in their engine's fields and evaluate anything
  // else as an expression.
  virtual TVariant GetFieldValue(const TVariant& field);
  virtual bool FieldIsTruncated() { return false; }

  bool IsGoodRow(int32_t row) const;
  // The dataset's "IndexFieldName" string property when it publishes one, else empty.
  static std::string GetKeyList(const TDataSet* dataSet);

  // ---- Delimiter, qualifier and separator ----
  TKVFieldDelimiter FieldDelimiter() const { return fieldDelimiter_; }
  char FieldDelimiterCustom() const { return fieldDelimiterCustom_; }
  TKVTextQualifier TextQualifier() const { return textQualifier_; }
  char TextQualifierCustom() const { return textQualifierCustom_; }
  TKVRecordSeparator RecordSeparator() const { return recordSeparator_; }
  const std::string& RecordSeparatorCustom() const { return recordSeparatorCustom_; }
  void SetFieldDelimiter(TKVFieldDelimiter value);
  void SetFieldDelimiterCustom(char value);
  void SetTextQualifier(TKVTextQualifier value);
  void SetTextQualifierCustom(char value);
  void SetRecordSeparator(TKVRecordSeparator value);
  void SetRecordSeparatorCustom(const std::string& value);

  bool AnimatedStatus = true;
  std::string DatasetKeys;  // key field names, ";"-separated, as Locate takes them
  std::string TitleStatus;
  bool FFixed = false;
  std::string TableName;
  int32_t RowFirst = 1;
  int32_t RowLast = kRowLastDefault;
  // The current row; back to 0 whenever the engine's dataset opens or closes. Not stored.
  int32_t CurrentRow = 0;
  std::string Name;  // prefix of the dataset's field variables in expressions
  std::string Description;
  TKVOptions Options = KVOptionBit(soShowMessage) | KVOptionBit(soExtendedStatistic);
  ObjPtr<TKVDataFormats> DataFormats;

  TGetCellParamsEvent OnGetCellParams;
  TAfterRecordEvent AfterRecordEvent;
  TBeforeRecordEvent BeforeRecordEvent;

private:
  char fieldDelimiterCustom_ = '\t';
  char textQualifierCustom_ = '"';
  std::string recordSeparatorCustom_;
  TKVFieldDelimiter fieldDelimiter_ = fdTab;
  TKVTextQualifier textQualifier_ = tqQuot;
  TKVRecordSeparator recordSeparator_ = rsCRLF;
};

// The datasets of one job, keyed by name; the list owns them.
class KVCORE_EXPORT TKVBaseDataSets : public TStoredStrList {
  KV_CLASS(TKVBaseDataSets, TStoredStrList)
public:
  using TStoredStrList::AddObject;
  int AddObject(const std::string& name, TKVBaseDataSet* dataSet) { return TStoredStrList::AddObject(name, dataSet); }
  // The dataset at `index`; null when the item there is not a dataset.
  TKVBaseDataSet* GetObj(int index) const override;
  using TStoredStrList::SetObj;
  void SetObj(int index, TKVBaseDataSet* dataSet) { TStoredStrList::SetObj(index, dataSet); }
};

// Default file extension of an export format index (0 ".DB" ... 12 ".XML"; others empty).
KVCORE_EXPORT std::string GetDefExt(int index);
// Every TTableTypeImport value.
KVCORE_EXPORT TImportFormatTypes GetAvailableImportFormats();

}  // namespace kv
