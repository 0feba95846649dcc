// The text file dataset: a delimited or fixed-width text file read whole
// into memory and presented as a read-only dataset of text fields.
//
// Opening reads the file twice: the first pass reads the first record to
// define the fields (named by it in header mode, else Field1, Field2, ...),
// the second loads every record. A record whose field count differs from
// the field definitions is listed in BadRecords by its 1-based number and
// is kept (padded with empty fields when shorter) only with LoadBadRecords.
//
// Separators and the qualifier are written in the escaped notation:
// "<null>", "<cr>", "<lf>" and "<tab>" (any letter case) stand for NUL,
// CR, LF and TAB, and "<>" for nothing; any other character for itself.
//
// Fields are text of declared size 30, or the length of the longest value
// of the column when that is larger: a value is never cut. Text is UTF-8;
// fixed widths count bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "KVCore_export.h"
#include "data/ListDataSet.h"
#include "data/TextRecordReader.h"
#include "foundation/StringLists.h"

namespace kv {

// The escaped notation decoded: "<null>" first, then "<cr>", "<lf>", "<tab>", "<>".
KVCORE_EXPORT std::string DecodeEscapedText(std::string_view text);

class KVCORE_EXPORT TTextFileDataset : public TListDataSet {
  KV_CLASS(TTextFileDataset, TListDataSet)
public:
  static constexpr int32_t kDefaultFieldSize = 30;
  static constexpr int32_t kDefaultMaxFieldsWarn = 999;

  TTextFileDataset();
  ~TTextFileDataset() override;

  // ---- Settings: each setter of a layout setting closes the dataset ----
  const std::string& ColumnSeperator() const { return columnSeperator_; }
  const std::string& ColumnWidths() const { return columnWidths_; }
  const std::string& RowSeperator() const { return rowSeperator_; }
  const std::string& StringQualifier() const { return stringQualifier_; }
  const std::string& TableName() const { return tableName_; }
  TTextFileType TextFileType() const { return textFileType_; }
  bool ExtractColumnNamesFromFirstLine() const { return extractColumnNames_; }
  int32_t SkipRows() const { return skipRows_; }

  void SetColumnSeperator(const std::string& value) { SetTextProp(0, value); }
  // Only '0'..'9' and ';' are accepted; the old value stays otherwise.
  void SetColumnWidths(const std::string& value) { SetTextProp(1, value); }
  void SetRowSeperator(const std::string& value) { SetTextProp(2, value); }
  // Must decode to at most one character; the old value stays otherwise.
  void SetStringQualifier(const std::string& value) { SetTextProp(3, value); }
  void SetTableName(const std::string& value) { SetTextProp(4, value); }
  // The shared setter: index 0 ColumnSeperator, 1 ColumnWidths,
  // 2 RowSeperator, 3 StringQualifier, 4 TableName.
  void SetTextProp(int index, const std::string& value);
  void SetTextFileType(TTextFileType value);
  void SetExtractColumnNamesFromFirstLine(bool value);
  // Refuses a negative value ("Skip Rows cannot be negative").
  void SetSkipRows(int32_t value);

  // A first record with more fields than this asks the user whether to go on.
  int32_t MaxFieldsWarn = kDefaultMaxFieldsWarn;
  // Keep records whose field count differs from the field definitions.
  bool LoadBadRecords = false;

  // The lines skipped at the last open, in order.
  const TPlainStringList& SkippedRows() const { return skippedRows_; }
  // The 1-based numbers (decimal text) of the records of the last open
  // whose field count differed from the field definitions.
  const TPlainStringList& BadRecords() const { return badRecords_; }

  // The layout in force, decoded.
  TTextLayout DecodedLayout() const;

  bool GetPublishedString(std::string_view name, std::string& value) const override;

protected:
  void ListOpen() override;

private:
  // Opens the file for one pass: column widths, existence, skipped rows.
  void OpenFile(TTextRecordReader& reader, std::vector<int32_t>& widths);
  void DefineFields();
  void LoadRecords();

  std::string columnSeperator_ = ",";
  std::string columnWidths_;
  std::string rowSeperator_ = "<cr><lf>";
  std::string stringQualifier_ = "\"";
  std::string tableName_;
  TTextFileType textFileType_ = tftDelimited;
  bool extractColumnNames_ = false;
  int32_t skipRows_ = 0;
  TPlainStringList skippedRows_;
  TPlainStringList badRecords_;
};

// Parses a ColumnWidths text: decimal widths separated by ";" (empty items
// skipped). EConvertError "Invalid column widths" for a width that is not a
// 32-bit number.
KVCORE_EXPORT std::vector<int32_t> ParseColumnWidths(std::string_view text);

}  // namespace kv
