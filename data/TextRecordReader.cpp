#include "data/TextRecordReader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "data/TextEncoding.h"
#include "foundation/Exceptions.h"
#include "foundation/Utf8.h"

namespace kv {

namespace {

constexpr size_t kBufferSize = size_t{64} << 10;

inline bool IsTrimByte(char c) { return static_cast<unsigned char>(c) <= 0x20; }

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

}  // namespace

TTextRecordReader::TTextRecordReader(const TTextLayout& layout) : layout_(layout) {
  hasQualifier_ = !layout_.Qualifier.empty();
  qualifier_ = hasQualifier_ ? layout_.Qualifier[0] : 0;
  lfEnds_ = layout_.RowSeparator == "\r\n" && layout_.Separator.find('\n') == std::string::npos &&
            !(hasQualifier_ && qualifier_ == '\n');
  std::memset(stops_, 0, sizeof stops_);
  if (!layout_.Separator.empty()) stops_[static_cast<unsigned char>(layout_.Separator.back())] = true;
  if (!layout_.RowSeparator.empty()) stops_[static_cast<unsigned char>(layout_.RowSeparator.back())] = true;
  if (hasQualifier_) stops_[static_cast<unsigned char>(qualifier_)] = true;
  sLast_ = layout_.Separator.empty() ? 0 : layout_.Separator.back();
  crLf_ = layout_.RowSeparator == "\r\n";
  simple_ = layout_.Type != tftFixedWidths && layout_.Separator.size() == 1 && sLast_ != '\r' && sLast_ != '\n' &&
            !(hasQualifier_ && (qualifier_ == sLast_ || qualifier_ == '\r' || qualifier_ == '\n')) &&
            (layout_.RowSeparator == "\n" || (crLf_ && lfEnds_));
  rLast_ = layout_.RowSeparator.empty() ? 0 : layout_.RowSeparator.back();
  for (int32_t w : layout_.Widths) recordWidth_ += static_cast<uint64_t>(w < 0 ? 0 : w);
  if (TextEncodingKind(layout_.Encoding) == tekOther) decoder_ = std::make_unique<TTextDecoder>(layout_.Encoding);
}

TTextRecordReader::~TTextRecordReader() { Close(); }

// ---- Input ------------------------------------------------------------------------------

void TTextRecordReader::OpenFile(int fd, uint64_t limit) {
  Close();
  fd_ = fd;
  limit_ = limit;
  buffer_.resize(kBufferSize);
  // Enough of the start to see a byte-order mark.
  size_t n = 0;
  while (n < 3) {
    size_t r = ReadRaw(buffer_.data() + n, buffer_.size() - n);
    if (r == 0) break;
    n += r;
  }
  Start(std::string_view(buffer_.data(), n), false);
}

void TTextRecordReader::OpenMemory(std::string_view data) {
  Close();
  Start(data, true);
}

// Decides how the input is read from its first bytes, which `head` holds
// (the whole input when it is in memory, else what was read into buffer_).
void TTextRecordReader::Start(std::string_view head, bool fromMemory) {
  TTextEncodingKind kind = TextEncodingKind(layout_.Encoding);
  size_t skip = 0;
  if (StartsWith(head, "\xEF\xBB\xBF")) {
    kind = tekUtf8;
    skip = 3;
    bom_ = true;
  } else if (StartsWith(head, "\xFF\xFE")) {
    kind = tekUtf16LE;
    skip = 2;
    bom_ = true;
  } else if (StartsWith(head, "\xFE\xFF")) {
    kind = tekUtf16BE;
    skip = 2;
    bom_ = true;
  }
  head.remove_prefix(skip);
  charWidths_ = layout_.CharacterWidths || bom_ || kind == tekUtf16LE || kind == tekUtf16BE;
  switch (kind) {
    case tekUtf8: decode_ = kRaw; break;
    case tekUtf16LE: decode_ = kUtf16LE; break;
    case tekUtf16BE: decode_ = kUtf16BE; break;
    case tekOther: decode_ = layout_.Type == tftFixedWidths ? kIconvFields : kIconvStream; break;
  }
  if (decode_ == kRaw || decode_ == kIconvFields) {
    p_ = head.data();
    end_ = head.data() + head.size();
    consumed_ = head.size();
    return;
  }
  // Converted as it is read: the head is the first raw input.
  if (fromMemory) {
    rawPending_ = head;
    rawEof_ = true;
  } else {
    rawBuf_.resize(kBufferSize);
    std::memcpy(rawBuf_.data(), head.data(), head.size());
    rawPending_ = std::string_view(rawBuf_.data(), head.size());
    rawEof_ = false;
  }
  rawOffset_ = skip;
  obuf_.clear();
  obufBase_ = 0;
  p_ = end_ = obuf_.data();
  consumed_ = 0;
}

void TTextRecordReader::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  p_ = end_ = nullptr;
  consumed_ = 0;
  limit_ = UINT64_MAX;
  rawRead_ = 0;
  decode_ = kRaw;
  bom_ = false;
  charWidths_ = layout_.CharacterWidths;
  rawPending_ = {};
  rawOffset_ = 0;
  rawEof_ = true;
  obuf_.clear();
  obufBase_ = 0;
  malformed_.clear();
  recordError_.clear();
  endedBySeparator_ = false;
}

std::string TTextRecordReader::InputEncoding() const {
  switch (decode_) {
    case kUtf16LE: return "UTF-16LE";
    case kUtf16BE: return "UTF-16BE";
    case kIconvStream:
    case kIconvFields: return decoder_->Name();
    default: return bom_ ? "UTF-8 with byte-order mark" : "UTF-8";
  }
}

size_t TTextRecordReader::ReadRaw(char* dst, size_t capacity) {
  if (fd_ < 0 || rawRead_ >= limit_) return 0;
  if (capacity > limit_ - rawRead_) capacity = static_cast<size_t>(limit_ - rawRead_);
  for (;;) {
    ssize_t n = ::read(fd_, dst, capacity);
    if (n >= 0) {
      rawRead_ += static_cast<uint64_t>(n);
      return static_cast<size_t>(n);
    }
    if (errno != EINTR) RaiseLastOSError("Cannot read the text file");
  }
}

// Called when every byte of the buffer is taken: the next piece of text.
bool TTextRecordReader::Refill() {
  if (decode_ == kRaw || decode_ == kIconvFields) {
    size_t n = ReadRaw(buffer_.data(), buffer_.size());
    if (n == 0) return false;
    p_ = buffer_.data();
    end_ = p_ + n;
    consumed_ += n;
    return true;
  }
  obufBase_ = consumed_;
  obuf_.clear();
  const bool more = ConvertMore();
  p_ = obuf_.data();
  end_ = p_ + obuf_.size();
  consumed_ += obuf_.size();
  return more;
}

// Keeps the bytes not taken yet and adds more text after them; false when
// there is no more.
bool TTextRecordReader::FillMore() {
  if (decode_ == kRaw || decode_ == kIconvFields) {
    if (fd_ < 0) return false;
    const size_t keep = static_cast<size_t>(end_ - p_);
    std::memmove(buffer_.data(), p_, keep);
    size_t n = ReadRaw(buffer_.data() + keep, buffer_.size() - keep);
    p_ = buffer_.data();
    end_ = p_ + keep + n;
    consumed_ += n;
    return n > 0;
  }
  const size_t taken = static_cast<size_t>(p_ - obuf_.data());
  obuf_.erase(0, taken);
  obufBase_ += taken;
  const size_t before = obuf_.size();
  const bool more = ConvertMore();
  p_ = obuf_.data();
  end_ = p_ + obuf_.size();
  consumed_ += obuf_.size() - before;
  return more;
}

// More raw input after the bytes not converted yet.
void TTextRecordReader::TopUpRaw() {
  if (fd_ < 0) {
    rawEof_ = true;
    return;
  }
  const size_t keep = rawPending_.size();
  std::memmove(rawBuf_.data(), rawPending_.data(), keep);
  size_t n = ReadRaw(rawBuf_.data() + keep, rawBuf_.size() - keep);
  rawPending_ = std::string_view(rawBuf_.data(), keep + n);
  if (n == 0) rawEof_ = true;
}

// Appends converted text to obuf_; false when the input has no more.
bool TTextRecordReader::ConvertMore() {
  auto note = [this](size_t offset, size_t length) {
    NoteMalformed(obufBase_ + obuf_.size(), rawOffset_ + offset, rawPending_.substr(offset, length));
  };
  for (;;) {
    if (!rawEof_ && rawPending_.size() < 4) TopUpRaw();
    const size_t before = obuf_.size();
    size_t used = decode_ == kIconvStream
                      ? decoder_->Convert(rawPending_, rawEof_, obuf_, note)
                      : AppendUtf16BytesAsUtf8(rawPending_, decode_ == kUtf16BE, rawEof_, obuf_, note);
    rawPending_.remove_prefix(used);
    rawOffset_ += used;
    if (obuf_.size() > before) return true;
    if (rawEof_) return false;
    TopUpRaw();  // what is left is a character cut by the end of the raw input
  }
}

void TTextRecordReader::NoteMalformed(uint64_t out, uint64_t file, std::string_view bytes) {
  malformed_.push_back(TMalformed{out, file, std::string(bytes)});
}

// The bytes that did not convert and fall in the text [start, end) of a record.
void TTextRecordReader::TakeRecordErrors(uint64_t start, uint64_t end) {
  while (!malformed_.empty() && malformed_.front().out < end) {
    const TMalformed& m = malformed_.front();
    if (m.out >= start && recordError_.empty())
      recordError_ = "bytes that do not convert from " + InputEncoding() + " at offset " + std::to_string(m.file) +
                     ": " + HexBytes(m.bytes);
    malformed_.pop_front();
  }
}

bool TTextRecordReader::RestIsValidUtf8() {
  for (;;) {
    if (p_ == end_ && !Refill()) return true;
    const size_t k = FirstMalformedUtf8(std::string_view(p_, static_cast<size_t>(end_ - p_)));
    p_ += k;
    if (p_ == end_) continue;
    if (end_ - p_ >= 4) return false;  // enough bytes after it: malformed whatever follows
    const ptrdiff_t before = end_ - p_;
    if (!FillMore() || end_ - p_ == before) return false;  // cut short by the end of the input
  }
}

bool TTextRecordReader::ReadLine(std::string& line) {
  line.clear();
  if (AtEnd()) return false;
  const uint64_t start = Consumed();
  for (;;) {
    if (p_ == end_ && !Refill()) break;
    const char* s = p_;
    while (s < end_ && *s != '\n' && *s != '\r') ++s;
    line.append(p_, s);
    p_ = s;
    if (s < end_) {
      char c = *p_++;
      if (c == '\r' && !AtEnd() && *p_ == '\n') ++p_;
      break;
    }
  }
  TakeRecordErrors(start, Consumed());
  recordError_.clear();
  if (decode_ == kIconvFields) {  // a skipped line, converted as well as it goes
    std::string converted;
    decoder_->Convert(line, true, converted);
    line.swap(converted);
  }
  return true;
}

std::string_view TTextRecordReader::Field(size_t index) const {
  if (index >= ends_.size()) return {};
  size_t start = index == 0 ? 0 : ends_[index - 1];
  return std::string_view(bytes_).substr(start, ends_[index] - start);
}

void TTextRecordReader::ReadRecord() {
  bytes_.clear();
  ends_.clear();
  recordError_.clear();
  endedBySeparator_ = false;
  if (AtEnd()) return;
  const uint64_t start = decode_ == kRaw ? 0 : Consumed();
  if (layout_.Type == tftFixedWidths)
    ReadFixed();
  else
    ReadDelimited();
  if (!malformed_.empty()) TakeRecordErrors(start, Consumed());
}

// ---- Delimited records --------------------------------------------------------------

// Appends a run of bytes up to and including the first one that could make
// the working text end with S, R or Q, or up to the end of the input. A
// byte that is none of those cannot change what the working text ends
// with, so taking the run at once is the same as taking it byte by byte.
void TTextRecordReader::AppendUnqualified() {
  for (;;) {
    const char* s = p_;
    while (s < end_ && !stops_[static_cast<unsigned char>(*s)]) ++s;
    if (s < end_) {
      bytes_.append(p_, static_cast<size_t>(s + 1 - p_));
      p_ = s + 1;
      return;
    }
    bytes_.append(p_, static_cast<size_t>(end_ - p_));
    p_ = end_;
    if (!Refill()) return;
  }
}

// After an opening qualifier: the qualified text, and the byte after the
// closing qualifier. `qualified` receives how much of the working text
// (from `fieldStart`) came from inside the qualifiers. False when the
// input ends before a closing qualifier.
bool TTextRecordReader::ReadQualified(size_t fieldStart, size_t& qualified) {
  for (;;) {
    if (AtEnd()) {
      qualified = bytes_.size() - fieldStart;
      return false;
    }
    const char* hit = static_cast<const char*>(std::memchr(p_, qualifier_, static_cast<size_t>(end_ - p_)));
    if (!hit) {
      bytes_.append(p_, static_cast<size_t>(end_ - p_));
      p_ = end_;
      continue;
    }
    bytes_.append(p_, static_cast<size_t>(hit - p_));
    p_ = hit + 1;
    if (AtEnd()) break;
    char d = *p_++;
    bytes_.push_back(d);
    if (d != qualifier_) {
      qualified = bytes_.size() - fieldStart - 1;
      return true;
    }
  }
  qualified = bytes_.size() - fieldStart;
  return true;
}

// The common record at full speed: all of it in the buffer, its fields
// plain or qualified as a whole, ended by LF (or CR LF). Takes the record
// as ReadDelimited would; false, with nothing taken, for anything else (a
// record that runs past the buffer, a qualifier inside a field, a
// qualified field followed by other bytes, qualified text ending in CR
// before a record end), which ReadDelimited then reads.
bool TTextRecordReader::ReadSimpleRecord() {
  const char sep = sLast_;
  const char* q = p_;
  const char* const e = end_;
  const auto abandon = [this] {
    bytes_.clear();
    ends_.clear();
    return false;
  };
  const auto endRecord = [this](const char* next) {
    ends_.push_back(bytes_.size());
    p_ = next;
    endedBySeparator_ = true;
    return true;
  };
  for (;;) {
    if (hasQualifier_ && q < e && *q == qualifier_) {
      const size_t fieldStart = bytes_.size();
      const char* t = q + 1;
      for (;;) {
        const char* hit = static_cast<const char*>(std::memchr(t, qualifier_, static_cast<size_t>(e - t)));
        if (!hit || hit + 1 >= e) return abandon();
        bytes_.append(t, static_cast<size_t>(hit - t));
        t = hit + 1;
        if (*t != qualifier_) break;
        bytes_ += qualifier_;  // a doubled qualifier stands for itself
        ++t;
      }
      q = t;
      if (*q == sep) {
        ends_.push_back(bytes_.size());
        ++q;
        continue;
      }
      const bool crBefore = crLf_ && bytes_.size() > fieldStart && bytes_.back() == '\r';
      if (*q == '\n' && !crBefore) return endRecord(q + 1);
      if (crLf_ && *q == '\r' && q + 1 < e && q[1] == '\n') return endRecord(q + 2);
      return abandon();
    }
    const char* s = q;
    while (s < e && !stops_[static_cast<unsigned char>(*s)]) ++s;
    if (s == e) return abandon();
    if (*s == sep) {
      bytes_.append(q, static_cast<size_t>(s - q));
      ends_.push_back(bytes_.size());
      q = s + 1;
      continue;
    }
    if (*s != '\n') return abandon();
    const char* stop = crLf_ && s > q && s[-1] == '\r' ? s - 1 : s;
    bytes_.append(q, static_cast<size_t>(stop - q));
    return endRecord(s + 1);
  }
}

void TTextRecordReader::ReadDelimited() {
  if (simple_ && FastRecords && ReadSimpleRecord()) return;
  const std::string& S = layout_.Separator;
  const std::string& R = layout_.RowSeparator;
  size_t fieldStart = 0;  // the working text is bytes_[fieldStart..]
  size_t qualified = 0;   // leading bytes of the working text that came from qualified text
  bytes_.push_back(*p_++);
  for (;;) {
    // The last byte first: most of the time it rules out S and R at once.
    const size_t len = bytes_.size() - fieldStart;
    const char last = len != 0 ? bytes_.back() : 0;
    const bool endsWithR = len != 0 && last == rLast_ && EndsWith(fieldStart, R);
    // A lone LF for CR LF: the LF must not come from qualified text.
    const bool endsWithLf = !endsWithR && last == '\n' && lfEnds_ && len > qualified;
    if (!endsWithR && !endsWithLf && !AtEnd()) {
      if (len != 0 && last == sLast_ && EndsWith(fieldStart, S)) {
        bytes_.resize(bytes_.size() - S.size());
        ends_.push_back(bytes_.size());
        fieldStart = bytes_.size();
        qualified = 0;
      } else if (hasQualifier_ && bytes_.size() > fieldStart && bytes_.back() == qualifier_) {
        bytes_.resize(fieldStart);
        if (!ReadQualified(fieldStart, qualified))
          recordError_ = "the qualifier opened in field " + std::to_string(ends_.size() + 1) +
                         " is never closed: the rest of the file became one field";
      } else {
        AppendUnqualified();
      }
      continue;
    }
    if (endsWithR) {
      bytes_.resize(bytes_.size() - R.size());
      endedBySeparator_ = true;
    } else if (endsWithLf) {
      bytes_.pop_back();
      endedBySeparator_ = true;
    } else if (EndsWith(fieldStart, S) && bytes_.size() - fieldStart - S.size() >= qualified) {
      // The input ends right after a separator: it ends a field, and an empty one follows.
      bytes_.resize(bytes_.size() - S.size());
      ends_.push_back(bytes_.size());
    }
    ends_.push_back(bytes_.size());
    return;
  }
}

// ---- Fixed-width records --------------------------------------------------------------

// At least one byte, up to `want` bytes or an LF that ends the record.
void TTextRecordReader::ReadFixedBytes(uint64_t want) {
  while (line_.empty() || line_.size() < want) {
    if (p_ == end_ && !Refill()) return;
    uint64_t n = want > line_.size() ? want - line_.size() : 1;
    const uint64_t avail = static_cast<uint64_t>(end_ - p_);
    if (n > avail) n = avail;
    if (lfEnds_) {
      if (const void* lf = std::memchr(p_, '\n', static_cast<size_t>(n))) {
        const char* stop = static_cast<const char*>(lf) + 1;
        line_.append(p_, stop);
        p_ = stop;
        endedBySeparator_ = true;
        return;
      }
    }
    line_.append(p_, static_cast<size_t>(n));
    p_ += n;
  }
}

// At least one character, up to `want` characters or an LF that ends the record.
void TTextRecordReader::ReadFixedChars(uint64_t want) {
  uint64_t chars = 0;
  while (chars == 0 || chars < want) {
    if (end_ - p_ < 4) FillMore();
    if (p_ == end_) return;
    char32_t cp;
    int len = DecodeUtf8(std::string_view(p_, static_cast<size_t>(end_ - p_)), 0, cp);
    if (len == 0) len = 1;  // a malformed byte is a character of its own
    line_.append(p_, static_cast<size_t>(len));
    p_ += len;
    ++chars;
    if (lfEnds_ && line_.back() == '\n') {
      endedBySeparator_ = true;
      return;
    }
  }
}

void TTextRecordReader::ReadFixed() {
  const uint64_t start = Consumed();
  line_.clear();
  if (charWidths_)
    ReadFixedChars(recordWidth_ + Utf8CharCount(layout_.RowSeparator));
  else
    ReadFixedBytes(recordWidth_ + layout_.RowSeparator.size());
  const std::string_view line(line_);
  uint64_t pos = 0;  // byte offset of the next field
  for (int32_t w : layout_.Widths) {
    const uint64_t width = static_cast<uint64_t>(w < 0 ? 0 : w);
    if (pos < line.size()) {
      const std::string_view rest = line.substr(static_cast<size_t>(pos));
      const size_t n = charWidths_ ? Utf8PrefixBytes(rest, static_cast<size_t>(width))
                                   : static_cast<size_t>(rest.size() < width ? rest.size() : width);
      const char* b = rest.data();
      const char* e = b + n;
      while (b < e && IsTrimByte(*b)) ++b;
      while (e > b && IsTrimByte(e[-1])) --e;
      if (decode_ == kIconvFields) {
        const uint64_t at = start + static_cast<uint64_t>(b - line.data());
        decoder_->Convert(std::string_view(b, static_cast<size_t>(e - b)), true, bytes_,
                          [&](size_t offset, size_t length) {
                            if (recordError_.empty())
                              recordError_ = "bytes that do not convert from " + decoder_->Name() + " at offset " +
                                             std::to_string(at + offset) + ": " +
                                             HexBytes(std::string_view(b + offset, length));
                          });
      } else {
        bytes_.append(b, static_cast<size_t>(e - b));
      }
      pos += n;
    } else {
      pos += width;
    }
    ends_.push_back(bytes_.size());
  }
}

}  // namespace kv
