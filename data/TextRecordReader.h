// The record reader of text files: cuts a delimited or fixed-width text
// into records and fields.
//
// Delimited layout, with separator S, qualifier Q (at most one byte) and
// record separator R (an empty setting never matches). The reader keeps a
// working text T, which starts as the first byte of the record, and
// repeats:
//   1. While T does not end with R and the input goes on:
//      - T ends with S: T less S is the next field; T starts empty again;
//      - T does not end with Q: one more byte is appended to T;
//      - T ends with Q (an opening qualifier): T starts empty again (text
//        before the qualifier in this field is dropped); then bytes up to
//        the next Q are appended. A Q at the very end of the input ends
//        the qualified text; otherwise the byte after it is appended to T
//        as well, and when that byte is Q too (a doubled qualifier stands
//        for one) the qualified text goes on. The byte kept after a
//        closing qualifier is usually S or the first byte of R.
//   2. Otherwise: a trailing R is removed and T is the last field.
// When the input ends right after an S that is not inside qualified text
// ("a,b," with no record separator after it), that S ends a field like
// any other and the record gets one more, empty field, as the same
// line with a record separator would.
//
// Fixed-width layout: a record is the next (sum of widths + length of R)
// bytes, fewer at the end of the input. Field i is the bytes at its
// offset for its width, blanks and control bytes trimmed from both ends;
// a field beyond the end of a short record is empty. The record separator
// is counted, not checked.
//
// Text lines (for skipping rows) end at CR LF, LF or CR, whatever R is.
//
// The reader never allocates per field: a record's fields are one byte
// buffer and the end offset of each field, both reused from record to record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "KVCore_export.h"

namespace kv {

enum TTextFileType : uint8_t { tftFixedWidths = 0, tftDelimited = 1 };

// A decoded layout (separators as the bytes they stand for).
struct KVCORE_EXPORT TTextLayout {
  TTextFileType Type = tftDelimited;
  std::string Separator = ",";
  std::string Qualifier = "\"";  // empty: no qualifier
  std::string RowSeparator = "\r\n";
  std::vector<int32_t> Widths;   // fixed-width layout
};

class KVCORE_EXPORT TTextRecordReader {
public:
  explicit TTextRecordReader(const TTextLayout& layout);
  ~TTextRecordReader();
  TTextRecordReader(const TTextRecordReader&) = delete;
  TTextRecordReader& operator=(const TTextRecordReader&) = delete;

  // Reads from an open file descriptor, which the reader closes.
  void OpenFile(int fd);
  // Reads from memory that outlives the reader's use of it.
  void OpenMemory(std::string_view data);
  void Close();

  // No byte is left. Raises EInOutError when the file cannot be read.
  bool AtEnd() {
    return p_ == end_ && !Refill();
  }
  // One text line without its line end; false when the input is at its end.
  bool ReadLine(std::string& line);
  // One record. At the end of the input the record has no fields.
  void ReadRecord();

  size_t FieldCount() const { return ends_.size(); }
  std::string_view Field(size_t index) const;
  // The fields' bytes, one after another, and the end offset of each.
  std::string_view Bytes() const { return bytes_; }
  const std::vector<size_t>& Ends() const { return ends_; }
  // Bytes read so far.
  uint64_t Consumed() const { return consumed_ - static_cast<uint64_t>(end_ - p_); }

private:
  bool Refill();
  void ReadDelimited();
  void ReadFixed();
  void ReadQualified(size_t fieldStart, size_t& qualified);
  void AppendUnqualified();
  bool EndsWith(size_t fieldStart, const std::string& s) const {
    size_t n = s.size();
    return n != 0 && bytes_.size() - fieldStart >= n && bytes_.compare(bytes_.size() - n, n, s) == 0;
  }

  TTextLayout layout_;
  bool hasQualifier_;
  char qualifier_;
  bool stops_[256];      // bytes that may complete S or R, or are Q
  uint64_t recordWidth_ = 0;
  int fd_ = -1;
  std::vector<char> buffer_;
  const char* p_ = nullptr;
  const char* end_ = nullptr;
  uint64_t consumed_ = 0;  // bytes taken from the source into the buffer
  std::string bytes_;      // the current record's fields
  std::vector<size_t> ends_;
  std::string line_;       // the fixed-width record before it is cut
};

}  // namespace kv
