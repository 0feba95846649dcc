#include "data/TextFileDataset.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "environment/CoreMessages.h"
#include "foundation/Format.h"
#include "foundation/UserInterface.h"

namespace kv {

KV_IMPLEMENT_CLASS(TTextFileDataset, TListDataSet)

namespace {

// The failures of the text file dataset, word for word.
constexpr const char* kInvalidColumnWidthChars = "Only valid chars for ColumnWidths are '0'..'9' and ';'.";
constexpr const char* kQualifierTooLong = "StringQualifier should only evaluate to no more than one character.";
constexpr const char* kSkipRowsNegative = "Skip Rows cannot be negative";
constexpr const char* kInvalidColumnWidths = "Invalid column widths";
constexpr const char* kTableDoesNotExist = "Table does not exist";
constexpr const char* kEndOfFileWhileSkipping = "Hit end of file while skipping rows";
constexpr const char* kLoadAborted = "Load Aborted by User";

void ReplaceAllNoCase(std::string& text, std::string_view what, std::string_view with) {
  std::string out;
  size_t i = 0;
  bool changed = false;
  while (i < text.size()) {
    if (text.size() - i >= what.size() && SameTextAscii(std::string_view(text).substr(i, what.size()), what)) {
      out.append(with);
      i += what.size();
      changed = true;
    } else {
      out.push_back(text[i++]);
    }
  }
  if (changed) text.swap(out);
}

}  // namespace

std::string DecodeEscapedText(std::string_view text) {
  std::string s(text);
  ReplaceAllNoCase(s, "<null>", std::string_view("\0", 1));
  ReplaceAllNoCase(s, "<cr>", "\r");
  ReplaceAllNoCase(s, "<lf>", "\n");
  ReplaceAllNoCase(s, "<tab>", "\t");
  ReplaceAllNoCase(s, "<>", "");
  return s;
}

std::vector<int32_t> ParseColumnWidths(std::string_view text) {
  std::vector<int32_t> widths;
  std::string token;
  auto take = [&] {
    if (token.empty()) return;
    int64_t v = 0;
    for (char c : token) {
      if (c < '0' || c > '9') throw EDatabaseError(kInvalidColumnWidths);
      v = v * 10 + (c - '0');
      if (v > std::numeric_limits<int32_t>::max()) throw EDatabaseError(kInvalidColumnWidths);
    }
    widths.push_back(static_cast<int32_t>(v));
    token.clear();
  };
  for (char c : text) {
    if (c == ';')
      take();
    else
      token.push_back(c);
  }
  take();
  return widths;
}

TTextFileDataset::TTextFileDataset() = default;

TTextFileDataset::~TTextFileDataset() { CloseForDestroy(); }

// ---- Settings -------------------------------------------------------------------------

void TTextFileDataset::SetTextProp(int index, const std::string& value) {
  switch (index) {
    case 0: columnSeperator_ = value; break;
    case 1:
      for (char c : value)
        if ((c < '0' || c > '9') && c != ';') throw EDatabaseError(kInvalidColumnWidthChars);
      columnWidths_ = value;
      break;
    case 2: rowSeperator_ = value; break;
    case 3:
      if (DecodeEscapedText(value).size() > 1) throw EDatabaseError(kQualifierTooLong);
      stringQualifier_ = value;
      break;
    case 4: tableName_ = value; break;
    default: throw EListError(Format("List index out of bounds (%d)", index));
  }
  Close();
}

void TTextFileDataset::SetTextFileType(TTextFileType value) {
  Close();
  textFileType_ = value;
}

void TTextFileDataset::SetExtractColumnNamesFromFirstLine(bool value) {
  Close();
  extractColumnNames_ = value;
}

void TTextFileDataset::SetSkipRows(int32_t value) {
  if (value < 0) throw EDatabaseError(kSkipRowsNegative);
  Close();
  skipRows_ = value;
}

TTextLayout TTextFileDataset::DecodedLayout() const {
  TTextLayout l;
  l.Type = textFileType_;
  l.Separator = DecodeEscapedText(columnSeperator_);
  l.Qualifier = DecodeEscapedText(stringQualifier_);
  l.RowSeparator = DecodeEscapedText(rowSeperator_);
  if (textFileType_ == tftFixedWidths && !columnWidths_.empty()) l.Widths = ParseColumnWidths(columnWidths_);
  return l;
}

bool TTextFileDataset::GetPublishedString(std::string_view name, std::string& value) const {
  if (SameTextAscii(name, "TableName")) {
    value = tableName_;
    return true;
  }
  return inherited::GetPublishedString(name, value);
}

// ---- Opening ----------------------------------------------------------------------------

void TTextFileDataset::OpenFile(TTextRecordReader& reader, std::vector<int32_t>& widths) {
  widths.clear();
  if (textFileType_ == tftFixedWidths && !columnWidths_.empty()) widths = ParseColumnWidths(columnWidths_);
  struct stat st {};
  if (tableName_.empty() || ::stat(tableName_.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
    throw EDatabaseError(kTableDoesNotExist);
  int fd;
  do {
    fd = ::open(tableName_.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) throw EDatabaseError(kTableDoesNotExist);
  reader.OpenFile(fd);
  skippedRows_.Clear();
  std::string line;
  for (int32_t i = 0; i < skipRows_; ++i) {
    if (!reader.ReadLine(line)) throw EDatabaseError(kEndOfFileWhileSkipping);
    skippedRows_.Add(line);
  }
}

void TTextFileDataset::ListOpen() {
  DefineFields();
  LoadRecords();
}

void TTextFileDataset::DefineFields() {
  TTextLayout layout = DecodedLayout();
  TTextRecordReader reader(layout);
  OpenFile(reader, layout.Widths);
  reader.ReadRecord();
  const size_t count = reader.FieldCount();
  if (count > static_cast<size_t>(std::numeric_limits<int>::max())) throw EDatabaseError("Too many fields");
  if (static_cast<int64_t>(count) > MaxFieldsWarn) {
    if (!AskYesNo(Format(STextDataSetHaveSomeField.Text(), static_cast<int64_t>(count)), true))
      throw EDatabaseError(kLoadAborted);
  }
  TFieldDefs& defs = FieldDefs();
  defs.Clear();
  IndexDefs().Clear();
  defs.Reserve(static_cast<int>(count));
  for (size_t i = 0; i < count; ++i) {
    std::string name = extractColumnNames_ ? std::string(reader.Field(i)) : "Field" + std::to_string(i + 1);
    defs.Add(defs.MakeUniqueName(name), ftString, kDefaultFieldSize);
  }
  reader.Close();
}

void TTextFileDataset::LoadRecords() {
  TTextRecordStore& records = Records();
  records.Clear();
  TTextLayout layout = DecodedLayout();
  TTextRecordReader reader(layout);
  OpenFile(reader, layout.Widths);
  if (extractColumnNames_ && !reader.AtEnd()) reader.ReadRecord();
  badRecords_.Clear();
  TFieldDefs& defs = FieldDefs();
  const size_t fieldCount = static_cast<size_t>(defs.Count());
  std::vector<size_t> longest(fieldCount, 0);
  int64_t counter = 0;
  while (!reader.AtEnd()) {
    ++counter;
    reader.ReadRecord();
    const size_t n = reader.FieldCount();
    if (n != fieldCount) {
      badRecords_.Add(std::to_string(counter));
      if (!LoadBadRecords) continue;
    }
    const std::vector<size_t>& ends = reader.Ends();
    size_t start = 0;
    for (size_t i = 0; i < n && i < fieldCount; ++i) {
      size_t len = ends[i] - start;
      if (len > longest[i]) longest[i] = len;
      start = ends[i];
    }
    records.Add(reader.Bytes(), ends.data(), n, fieldCount);
  }
  reader.Close();
  // A value is never cut: the declared size grows to the longest value.
  for (size_t i = 0; i < fieldCount; ++i) {
    size_t want = longest[i] > static_cast<size_t>(std::numeric_limits<int32_t>::max())
                      ? static_cast<size_t>(std::numeric_limits<int32_t>::max())
                      : longest[i];
    if (static_cast<int32_t>(want) > defs[static_cast<int>(i)].Size) defs[static_cast<int>(i)].Size = static_cast<int32_t>(want);
  }
}

}  // namespace kv
