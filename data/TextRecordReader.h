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
// With the record separator CR LF, a lone LF outside qualified text ends a
// record too, so files with Linux line ends and files that mix both read
// as their lines; any other record separator is taken literally.
//
// A record whose opening qualifier is never closed (the rest of the input
// became one field) carries a RecordError().
//
// Fixed-width layout: a record is the next (sum of widths + length of R)
// characters, fewer at the end of the input, and with R = CR LF it ends at
// an LF already. Field i is the characters at its offset for its width,
// blanks and control bytes trimmed from both ends; a field beyond the end
// of a short record is empty. The record separator is counted, not
// checked. Widths count UTF-8 characters when the input is known to be
// UTF-8 (TTextLayout::CharacterWidths, a byte-order mark, UTF-16), and
// bytes otherwise; with a legacy encoding they count bytes of that
// encoding: fields are cut first and converted afterwards.
//
// Encodings: a UTF-8 byte-order mark at the start is skipped; a UTF-16
// byte-order mark (LE or BE) makes the input UTF-16, converted to UTF-8 as
// it is read. Without a byte-order mark TTextLayout::Encoding says what the
// input is: UTF-8 (the default; the bytes are taken as they are), UTF-16LE
// or UTF-16BE, or any encoding iconv converts (see TextEncoding.h). Bytes
// that do not convert give the record that holds them a RecordError()
// naming them and their offset in the file.
//
// Text lines (for skipping rows) end at CR LF, LF or CR, whatever R is.
//
// The reader never allocates per field: a record's fields are one byte
// buffer and the end offset of each field, both reused from record to record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
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
  std::string Encoding;          // "" or UTF-8: bytes as they are
  bool CharacterWidths = false;  // widths count characters (the input is known to be UTF-8)
};

class TTextDecoder;

class KVCORE_EXPORT TTextRecordReader {
public:
  explicit TTextRecordReader(const TTextLayout& layout);
  ~TTextRecordReader();
  TTextRecordReader(const TTextRecordReader&) = delete;
  TTextRecordReader& operator=(const TTextRecordReader&) = delete;

  // Reads from an open file descriptor, which the reader closes, no more
  // than `limit` bytes of it.
  void OpenFile(int fd, uint64_t limit = UINT64_MAX);
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
  // Bytes of (converted) text taken so far.
  uint64_t Consumed() const { return consumed_ - static_cast<uint64_t>(end_ - p_); }

  // Why the last record is a bad one whatever its field count (a qualifier
  // never closed, bytes that do not convert); empty when it is not.
  const std::string& RecordError() const { return recordError_; }
  // The last record ended at a record separator (or a lone LF standing for
  // CR LF), not at the end of the input.
  bool EndedBySeparator() const { return endedBySeparator_; }

  // Common records (all in the buffer, one-byte separator, LF or CR LF
  // record ends, fields plain or qualified as a whole) are read by a faster
  // path that takes them exactly as the general one does; false reads every
  // record the general way (tests compare the two).
  bool FastRecords = true;

  // What the input turned out to be: "UTF-8", "UTF-8 with byte-order mark",
  // "UTF-16LE", "UTF-16BE" or the legacy encoding's name.
  std::string InputEncoding() const;
  // Fixed widths count characters for this input.
  bool WidthsCountCharacters() const { return charWidths_; }
  // Reads the rest of the input: true when all of it is well-formed UTF-8.
  bool RestIsValidUtf8();

private:
  enum TDecode : uint8_t { kRaw, kUtf16LE, kUtf16BE, kIconvStream, kIconvFields };
  struct TMalformed {
    uint64_t out;    // where its replacement is in the converted text
    uint64_t file;   // where the bytes are in the input
    std::string bytes;
  };

  void Start(std::string_view head, bool fromMemory);
  size_t ReadRaw(char* dst, size_t capacity);
  bool Refill();
  bool FillMore();
  bool ConvertMore();
  void TopUpRaw();
  void NoteMalformed(uint64_t out, uint64_t file, std::string_view bytes);
  void TakeRecordErrors(uint64_t start, uint64_t end);
  void ReadFixedBytes(uint64_t want);
  void ReadFixedChars(uint64_t want);
  void ReadDelimited();
  bool ReadSimpleRecord();
  void ReadFixed();
  bool ReadQualified(size_t fieldStart, size_t& qualified);
  void AppendUnqualified();
  bool EndsWith(size_t fieldStart, const std::string& s) const {
    size_t n = s.size();
    return n != 0 && bytes_.size() - fieldStart >= n && bytes_.compare(bytes_.size() - n, n, s) == 0;
  }

  TTextLayout layout_;
  std::unique_ptr<TTextDecoder> decoder_;  // a legacy encoding
  bool lfEnds_;          // a lone LF ends a record (R is CR LF)
  char sLast_, rLast_;   // the last byte of S and of R (0 when empty: EndsWith rules those out)
  bool hasQualifier_;
  char qualifier_;
  bool stops_[256];      // bytes that may complete S or R, or are Q
  bool simple_ = false;  // S one byte, not CR, LF or Q; Q not CR or LF; R LF, or CR LF with lone LFs ending records
  bool crLf_ = false;    // R is CR LF
  uint64_t recordWidth_ = 0;
  int fd_ = -1;
  uint64_t limit_ = UINT64_MAX;  // input bytes that may be read
  uint64_t rawRead_ = 0;         // input bytes read
  TDecode decode_ = kRaw;
  bool bom_ = false;
  bool charWidths_ = false;
  // Converted input: the bytes not converted yet, from rawBuf_ or memory.
  std::vector<char> rawBuf_;
  std::string_view rawPending_;
  uint64_t rawOffset_ = 0;       // input offset of rawPending_
  bool rawEof_ = true;
  std::string obuf_;             // converted text
  uint64_t obufBase_ = 0;        // offset of obuf_[0] in the converted text
  std::deque<TMalformed> malformed_;
  std::string recordError_;
  bool endedBySeparator_ = false;
  std::vector<char> buffer_;
  const char* p_ = nullptr;
  const char* end_ = nullptr;
  uint64_t consumed_ = 0;  // bytes taken from the source into the buffer
  std::string bytes_;      // the current record's fields
  std::vector<size_t> ends_;
  std::string line_;       // the fixed-width record before it is cut
};

}  // namespace kv
