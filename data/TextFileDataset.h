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
// of the column when that is larger: a value is never cut. Text is UTF-8:
// a file with a byte-order mark (UTF-8, UTF-16LE/BE) is read as it says,
// else as its Encoding says (legacy encodings converted through iconv).
// Fixed widths count characters when the text is UTF-8 (a byte-order mark,
// UTF-16, or a whole file of well-formed UTF-8), else bytes.
//
// Only regular files are read; the second pass reads no more than the
// size the file had at the first. A first record wider than MaxFieldsWarn
// asks the user; with the headless user interface the answer is a limit
// instead: UnattendedMaxFields, else the environment variable
// VANDREL_MAX_TEXT_FIELDS, else 10,000 fields.
#pragma once

#include <cstdint>
#include <functional>
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
  static constexpr int64_t kDefaultUnattendedMaxFields = 10000;
  static constexpr int64_t kDefaultLoadInTwoFrom = int64_t{16} << 20;

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
  // The encoding of a file without a byte-order mark: "UTF-8" (default),
  // or a name iconv knows (GB18030, GBK, CP1252, CP437, CP850, ...).
  // Refuses an unknown name ("Unknown text encoding 'X'"); the old value stays.
  const std::string& Encoding() const { return encoding_; }
  void SetEncoding(const std::string& value);

  // Turns TableName into the path that is opened (a job resolves a relative
  // name against its job file's folder); unset: TableName as it is. Not
  // stored and not copied.
  std::function<std::string(const std::string&)> ResolveFileName;

  // A first record with more fields than this asks the user whether to go on.
  int32_t MaxFieldsWarn = kDefaultMaxFieldsWarn;
  // Keep records whose field count differs from the field definitions.
  bool LoadBadRecords = false;
  // A delimited UTF-8 file with LF or CR LF record ends of at least this
  // many bytes is loaded in two halves at once, on two threads (the records,
  // bad records and field sizes are those of one pass). Not stored.
  int64_t LoadInTwoFrom = kDefaultLoadInTwoFrom;
  // Whether the last open loaded the file in two halves.
  bool LoadedInTwo() const { return loadedInTwo_; }
  // The widest first record an unattended run loads; -1: the environment
  // variable VANDREL_MAX_TEXT_FIELDS, or 10,000 without it.
  int64_t UnattendedMaxFields = -1;

  // The lines skipped at the last open, in order.
  const TPlainStringList& SkippedRows() const { return skippedRows_; }
  // The 1-based numbers (decimal text) of the records of the last open
  // whose field count differed from the field definitions.
  const TPlainStringList& BadRecords() const { return badRecords_; }
  // Why each record of BadRecords is bad, in the same order.
  const TPlainStringList& BadRecordReasons() const { return badReasons_; }
  // The warnings of the last open (also shown through the user interface).
  const TPlainStringList& Warnings() const { return warnings_; }

  // The layout in force, decoded.
  TTextLayout DecodedLayout() const;

  bool GetPublishedString(std::string_view name, std::string& value) const override;

protected:
  void ListOpen() override;

private:
  struct TLoadedPart;
  // Opens the file for one pass (a regular file, no more than its size at
  // the first pass of this open) and skips SkipRows lines when asked; with
  // `from`/`to`, only the bytes from `from` up to `to` (no rows skipped).
  void OpenFile(TTextRecordReader& reader, bool skipRows, uint64_t from = 0, uint64_t to = UINT64_MAX);
  void CheckFieldCount(size_t count);
  void Warn(const std::string& text);
  void DefineFields();
  void LoadRecords();
  // Loads the records of `reader` into `store`.
  void LoadPart(TTextRecordReader& reader, TTextRecordStore& store, TLoadedPart& part) const;
  // Where a large file may be cut in two for loading: just after a line
  // end near its middle; 0 when it is not to be cut.
  uint64_t SplitPoint(const TTextLayout& layout) const;
  // Loads the records after the header of `first` in two halves at once,
  // the second cut at `split`; false (nothing kept) when the cut turned
  // out not to fall between two records.
  bool LoadInTwo(TTextRecordReader& first, uint64_t split);
  void KeepLoaded(const TLoadedPart& part, int64_t numberBase, std::vector<size_t>& longest);
  void GrowFieldSizes(const std::vector<size_t>& longest);

  std::string columnSeperator_ = ",";
  std::string columnWidths_;
  std::string rowSeperator_ = "<cr><lf>";
  std::string stringQualifier_ = "\"";
  std::string tableName_;
  TTextFileType textFileType_ = tftDelimited;
  bool extractColumnNames_ = false;
  int32_t skipRows_ = 0;
  std::string encoding_ = "UTF-8";
  int64_t openSize_ = -1;  // the file's size at the first pass of this open
  bool characterWidths_ = false;
  bool loadedInTwo_ = false;
  TPlainStringList skippedRows_;
  TPlainStringList badRecords_;
  TPlainStringList badReasons_;
  TPlainStringList warnings_;
};

// Parses a ColumnWidths text: decimal widths separated by ";" (empty items
// skipped). EConvertError "Invalid column widths" for a width that is not a
// 32-bit number.
KVCORE_EXPORT std::vector<int32_t> ParseColumnWidths(std::string_view text);

}  // namespace kv
