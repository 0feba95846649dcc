// The dataset as the database functions of the expression language see it.
// A TDataSetCursor registers itself as a dataset handle (expression/
// DBFunctions.h) for as long as it lives; the handle is what dataset
// variables hold and what DefineFields takes.
//
// Field types are read as expression types by the kind of value they hold:
//   string, memo, formatted memo, fixed char, wide string, guid, Oracle CLOB,
//     and every binary or other type (bytes, blob, graphic, ...; their text) -> etString
//   smallint, integer, word, largeint, autoinc                                -> etInteger
//   boolean                                                                    -> etBoolean
//   float, currency, BCD, FMTBcd                                               -> etReal
//   date, time, datetime, timestamp                                            -> etDateTime
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "KVCore_export.h"
#include "data/DataSet.h"
#include "expression/DBFunctions.h"

namespace kv {

// The expression type values of `type` are read as (the table above).
KVCORE_EXPORT TExpDataType FieldExpType(TFieldType type);
// The display length FieldLen answers: the declared size for string, fixed
// char, wide string and guid fields; 6 smallint, 12 integer and autoinc,
// 5 word, 20 largeint, 2 boolean, 16 float, currency, BCD and FMTBcd, 20
// datetime and timestamp, 10 for every other type (date, time, memo, blob, ...).
KVCORE_EXPORT int32_t FieldDisplayLength(TFieldType type, int32_t size);

// An adapter over one dataset (not owned; it must outlive the cursor).
// Reading fields or records of a closed dataset raises EDatabaseError; a
// closed dataset has no fields (FieldCount 0) and is at Bof and Eof.
class KVCORE_EXPORT TDataSetCursor : public IDBCursor {
public:
  // Registers the cursor: Handle() names it until it is destroyed.
  explicit TDataSetCursor(TDataSet& dataSet);
  // Unregisters: the handle becomes stale (never handed out again).
  ~TDataSetCursor() override;
  TDataSetCursor(const TDataSetCursor&) = delete;
  TDataSetCursor& operator=(const TDataSetCursor&) = delete;

  int64_t Handle() const noexcept { return handle_; }
  TDataSet& DataSet() const noexcept { return dataSet_; }

  // The dataset's open generation (it moves on every open and close).
  uint64_t Generation() const override { return dataSet_.OpenGeneration(); }
  int64_t RecNo() override { return dataSet_.RecNo(); }
  int64_t RecordCount() override { return dataSet_.RecordCount(); }
  bool Eof() override { return dataSet_.Eof(); }
  bool Bof() override { return dataSet_.Bof(); }
  int FieldCount() override { return dataSet_.FieldCount(); }
  int FieldIndex(std::string_view name) override;
  // Precision is that of the field definition of the field's name.
  TDBFieldInfo FieldInfo(int index) override;
  bool FieldIsNull(int index) override { return dataSet_.Fields(index).IsNull(); }
  int64_t FieldAsInteger(int index) override { return dataSet_.Fields(index).AsInteger(); }
  double FieldAsFloat(int index) override { return dataSet_.Fields(index).AsFloat(); }
  bool FieldAsBoolean(int index) override { return dataSet_.Fields(index).AsBoolean(); }
  void FieldAsString(int index, std::string& out) override {
    // A record held as text is read in place, as ReadText would.
    if (const std::vector<std::string_view>* texts = dataSet_.CurrentTexts()) {
      const auto at = static_cast<size_t>(index);
      const std::string_view text = at < texts->size() ? (*texts)[at] : std::string_view();
      out.assign(text.data(), text.size());
      return;
    }
    dataSet_.Fields(index).ReadText(out);
  }
  TDateTime FieldAsDateTime(int index) override { return dataSet_.Fields(index).AsDateTime(); }
  void Prior() override { dataSet_.Prior(); }
  void Next() override { dataSet_.Next(); }
  bool CanMoveBack() override { return !dataSet_.IsUniDirectional(); }

private:
  TDataSet& dataSet_;
  int64_t handle_;
};

}  // namespace kv
