#include "data/TextFileDataset.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <thread>

#include "data/TextEncoding.h"
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

void TTextFileDataset::SetEncoding(const std::string& value) {
  CheckTextEncoding(value);
  encoding_ = value;
  Close();
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
  l.Encoding = encoding_;
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

namespace {

const char* FileKind(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO (named pipe)";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

[[noreturn]] void NoTable(const std::string& why) { throw EDatabaseError(std::string(kTableDoesNotExist) + ": " + why); }

[[noreturn]] void NotRegular(const std::string& path, mode_t mode) {
  NoTable(path + " is " + FileKind(mode) + ", not a regular file");
}

// The limit of fields of an unattended run.
int64_t UnattendedLimit(int64_t setting) {
  if (setting >= 0) return setting;
  const char* env = std::getenv("VANDREL_MAX_TEXT_FIELDS");
  if (!env || !*env) return TTextFileDataset::kDefaultUnattendedMaxFields;
  int64_t v = 0;
  for (const char* c = env; *c; ++c) {
    if (*c < '0' || *c > '9' || v > (int64_t{1} << 40))
      throw EDatabaseError(std::string("VANDREL_MAX_TEXT_FIELDS must be a whole number of 0 or more, not \"") + env +
                           "\"");
    v = v * 10 + (*c - '0');
  }
  return v;
}

// "CR LF", "LF" or "CR": the line end a text holds, or "" when it holds none.
const char* LineEndIn(std::string_view text) {
  if (text.find("\r\n") != std::string_view::npos) return "CR LF";
  if (text.find('\n') != std::string_view::npos) return "LF";
  if (text.find('\r') != std::string_view::npos) return "CR";
  return "";
}

}  // namespace

void TTextFileDataset::OpenFile(TTextRecordReader& reader, bool skipRows, uint64_t from, uint64_t to) {
  if (tableName_.empty()) NoTable("no file name given");
  const std::string path = ResolveFileName ? ResolveFileName(tableName_) : tableName_;
  // A FIFO would block in open and a device never end: refuse anything that
  // is not a regular file before opening it, and again for what was opened.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) NoTable(path + ": " + std::strerror(errno));
  if (!S_ISREG(st.st_mode)) NotRegular(path, st.st_mode);
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) NoTable(path + ": " + std::strerror(errno));
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    NoTable(path + ": " + std::strerror(err));
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    NotRegular(path, st.st_mode);
  }
  // Both passes read what the file held at the first: a file that grows
  // meanwhile does not make them disagree.
  if (openSize_ < 0) openSize_ = static_cast<int64_t>(st.st_size);
  const uint64_t size = static_cast<uint64_t>(openSize_);
  if (to > size) to = size;
  if (from > 0 && ::lseek(fd, static_cast<off_t>(from), SEEK_SET) < 0) {
    const int err = errno;
    ::close(fd);
    NoTable(path + ": " + std::strerror(err));
  }
  reader.OpenFile(fd, from < to ? to - from : 0);
  if (from > 0) return;
  skippedRows_.Clear();
  if (!skipRows) return;
  std::string line;
  for (int32_t i = 0; i < skipRows_; ++i) {
    if (!reader.ReadLine(line)) throw EDatabaseError(kEndOfFileWhileSkipping);
    skippedRows_.Add(line);
  }
}

void TTextFileDataset::ListOpen() {
  openSize_ = -1;
  warnings_.Clear();
  DefineFields();
  LoadRecords();
}

void TTextFileDataset::Warn(const std::string& text) {
  warnings_.Add(text);
  ShowWarning(text);
}

void TTextFileDataset::CheckFieldCount(size_t count) {
  if (static_cast<int64_t>(count) <= MaxFieldsWarn) return;
  // An unattended run cannot be asked: it loads up to its limit and refuses
  // more (a line of millions of fields would take gigabytes).
  if (UserInterface().IsUnattended()) {
    const int64_t limit = UnattendedLimit(UnattendedMaxFields);
    if (static_cast<int64_t>(count) > limit)
      throw EDatabaseError("There are " + std::to_string(count) + " fields in the first record of " + tableName_ +
                           ", more than the " + std::to_string(limit) +
                           " an unattended run loads; set the environment variable VANDREL_MAX_TEXT_FIELDS to a "
                           "larger number to load it");
  }
  if (!AskYesNo(Format(STextDataSetHaveSomeField.Text(), static_cast<int64_t>(count)), true))
    throw EDatabaseError(kLoadAborted);
}

void TTextFileDataset::DefineFields() {
  TTextLayout layout = DecodedLayout();
  // Fixed widths count characters in a file that is UTF-8 throughout:
  // decided for the whole file, never character by character.
  if (layout.Type == tftFixedWidths && TextEncodingKind(encoding_) == tekUtf8) {
    TTextRecordReader check(layout);
    OpenFile(check, false);
    layout.CharacterWidths = check.WidthsCountCharacters() || check.RestIsValidUtf8();
  }
  characterWidths_ = layout.CharacterWidths;
  TTextRecordReader reader(layout);
  OpenFile(reader, true);
  reader.ReadRecord();
  const size_t count = reader.FieldCount();
  if (count > static_cast<size_t>(std::numeric_limits<int>::max())) throw EDatabaseError("Too many fields");
  if (extractColumnNames_ && !reader.RecordError().empty())
    throw EDatabaseError("The header record of " + tableName_ + " cannot be read: " + reader.RecordError());
  // A file of several lines read as one record: the separator never occurs.
  if (count > 0 && !reader.EndedBySeparator() && reader.AtEnd()) {
    const char* found = LineEndIn(reader.Bytes());
    if (*found)
      Warn("The record separator \"" + rowSeperator_ + "\" never occurs in " + tableName_ + ", whose lines end with " +
           found + ": the whole file was read as one record");
  }
  CheckFieldCount(count);
  TFieldDefs& defs = FieldDefs();
  defs.Clear();
  IndexDefs().Clear();
  defs.Reserve(static_cast<int>(count));
  std::vector<std::string> names(count);
  for (size_t i = 0; i < count; ++i)
    names[i] = extractColumnNames_ ? std::string(reader.Field(i)) : "Field" + std::to_string(i + 1);
  if (extractColumnNames_) names = MakeUniqueNames(std::move(names));
  for (std::string& name : names) defs.Add(name, ftString, kDefaultFieldSize);
  reader.Close();
}

// What one pass over (part of) the file loaded.
struct TTextFileDataset::TLoadedPart {
  int64_t records = 0;                  // records read, bad ones too
  std::vector<size_t> longest;          // the longest value of each field
  std::vector<std::pair<int64_t, std::string>> bad;  // record number in the part, reason
  bool endedAtSeparator = true;         // the last record ended at a record separator, whole
};

void TTextFileDataset::LoadPart(TTextRecordReader& reader, TTextRecordStore& store, TLoadedPart& part) const {
  const size_t fieldCount = static_cast<size_t>(FieldDefs().Count());
  part.longest.assign(fieldCount, 0);
  while (!reader.AtEnd()) {
    ++part.records;
    reader.ReadRecord();
    const size_t n = reader.FieldCount();
    part.endedAtSeparator = reader.EndedBySeparator() && reader.RecordError().empty();
    if (n != fieldCount || !reader.RecordError().empty()) {
      part.bad.emplace_back(part.records, !reader.RecordError().empty()
                                              ? reader.RecordError()
                                              : std::to_string(n) + " fields instead of " + std::to_string(fieldCount));
      if (!LoadBadRecords) continue;
    }
    const std::vector<size_t>& ends = reader.Ends();
    size_t start = 0;
    for (size_t i = 0; i < n && i < fieldCount; ++i) {
      const size_t len = ends[i] - start;
      if (len > part.longest[i]) part.longest[i] = len;
      start = ends[i];
    }
    store.Add(reader.Bytes(), ends.data(), n, fieldCount);
  }
}

void TTextFileDataset::KeepLoaded(const TLoadedPart& part, int64_t numberBase, std::vector<size_t>& longest) {
  for (const auto& [number, reason] : part.bad) {
    badRecords_.Add(std::to_string(numberBase + number));
    badReasons_.Add(reason);
  }
  for (size_t i = 0; i < longest.size() && i < part.longest.size(); ++i)
    if (part.longest[i] > longest[i]) longest[i] = part.longest[i];
}

namespace {
// How far past the middle a line end is looked for.
constexpr size_t kSplitSearchBytes = size_t{1} << 20;
}  // namespace

// Only where a line end outside qualified text always ends a record and
// the bytes are taken as they are: a delimited UTF-8 file whose records end
// at LF or CR LF.
uint64_t TTextFileDataset::SplitPoint(const TTextLayout& layout) const {
  if (layout.Type != tftDelimited || TextEncodingKind(encoding_) != tekUtf8) return 0;
  if (layout.RowSeparator != "\r\n" && layout.RowSeparator != "\n") return 0;
  if (openSize_ < 2 || openSize_ < LoadInTwoFrom || std::thread::hardware_concurrency() < 2) return 0;
  const std::string path = ResolveFileName ? ResolveFileName(tableName_) : tableName_;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return 0;
  const uint64_t middle = static_cast<uint64_t>(openSize_) / 2;
  std::string chunk(kSplitSearchBytes, '\0');
  const ssize_t got = ::pread(fd, chunk.data(), chunk.size(), static_cast<off_t>(middle));
  ::close(fd);
  if (got <= 0) return 0;
  chunk.resize(static_cast<size_t>(got));
  const size_t lf = chunk.find('\n');
  // The second half must not start with what its reader would take for a byte-order mark.
  if (lf == std::string::npos || lf + 4 > chunk.size()) return 0;
  const auto b = [&](size_t i) { return static_cast<unsigned char>(chunk[lf + 1 + i]); };
  if ((b(0) == 0xEF && b(1) == 0xBB) || (b(0) == 0xFF && b(1) == 0xFE) || (b(0) == 0xFE && b(1) == 0xFF)) return 0;
  return middle + lf + 1;
}

// The first half is read on this thread, the second on another. The cut is
// right when the first half's last record ends at the line end before it,
// whole (not inside qualified text): then both halves read their records
// exactly as one pass over the whole file would.
bool TTextFileDataset::LoadInTwo(TTextRecordReader& first, uint64_t split) {
  TTextLayout layout = DecodedLayout();
  TTextRecordReader second(layout);
  OpenFile(second, false, split);
  TTextRecordStore secondStore;
  TLoadedPart secondPart;
  std::exception_ptr secondError;
  std::thread worker([&] {
    try {
      LoadPart(second, secondStore, secondPart);
    } catch (...) {
      secondError = std::current_exception();
    }
  });
  TLoadedPart firstPart;
  try {
    LoadPart(first, Records(), firstPart);
  } catch (...) {
    worker.join();
    throw;
  }
  worker.join();
  if (!firstPart.endedAtSeparator) {
    Records().Clear();
    return false;
  }
  if (secondError) std::rethrow_exception(secondError);
  Records().Append(std::move(secondStore));
  std::vector<size_t> longest(static_cast<size_t>(FieldDefs().Count()), 0);
  KeepLoaded(firstPart, 0, longest);
  KeepLoaded(secondPart, firstPart.records, longest);
  GrowFieldSizes(longest);
  return true;
}

void TTextFileDataset::LoadRecords() {
  TTextRecordStore& records = Records();
  records.Clear();
  TTextLayout layout = DecodedLayout();
  layout.CharacterWidths = characterWidths_;
  badRecords_.Clear();
  badReasons_.Clear();
  loadedInTwo_ = false;
  const uint64_t split = SplitPoint(layout);
  if (split > 0) {
    TTextRecordReader first(layout);
    bool before = false;
    try {
      OpenFile(first, true, 0, split);
      if (extractColumnNames_ && !first.AtEnd()) first.ReadRecord();
      // The skipped rows and the header lie before the cut, and the bytes
      // are taken as they are (no UTF-16 byte-order mark at the start).
      before = !first.AtEnd() && first.InputEncoding().rfind("UTF-8", 0) == 0;
    } catch (const EDatabaseError&) {
      // Rows to skip beyond the cut: the one pass below tells.
    }
    if (before && LoadInTwo(first, split)) {
      loadedInTwo_ = true;
      return;
    }
    records.Clear();
  }
  TTextRecordReader reader(layout);
  OpenFile(reader, true);
  if (extractColumnNames_ && !reader.AtEnd()) reader.ReadRecord();
  TLoadedPart part;
  LoadPart(reader, records, part);
  reader.Close();
  std::vector<size_t> longest(static_cast<size_t>(FieldDefs().Count()), 0);
  KeepLoaded(part, 0, longest);
  GrowFieldSizes(longest);
}

// A value is never cut: the declared size grows to the longest value.
void TTextFileDataset::GrowFieldSizes(const std::vector<size_t>& longest) {
  TFieldDefs& defs = FieldDefs();
  for (size_t i = 0; i < longest.size() && i < static_cast<size_t>(defs.Count()); ++i) {
    const size_t want = longest[i] > static_cast<size_t>(std::numeric_limits<int32_t>::max())
                            ? static_cast<size_t>(std::numeric_limits<int32_t>::max())
                            : longest[i];
    if (static_cast<int32_t>(want) > defs[static_cast<int>(i)].Size) defs[static_cast<int>(i)].Size = static_cast<int32_t>(want);
  }
}

}  // namespace kv
