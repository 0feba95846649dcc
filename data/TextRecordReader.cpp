#include "data/TextRecordReader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "foundation/Exceptions.h"

namespace kv {

namespace {

constexpr size_t kBufferSize = size_t{64} << 10;

inline bool IsTrimByte(char c) { return static_cast<unsigned char>(c) <= 0x20; }

}  // namespace

TTextRecordReader::TTextRecordReader(const TTextLayout& layout) : layout_(layout) {
  hasQualifier_ = !layout_.Qualifier.empty();
  qualifier_ = hasQualifier_ ? layout_.Qualifier[0] : 0;
  std::memset(stops_, 0, sizeof stops_);
  if (!layout_.Separator.empty()) stops_[static_cast<unsigned char>(layout_.Separator.back())] = true;
  if (!layout_.RowSeparator.empty()) stops_[static_cast<unsigned char>(layout_.RowSeparator.back())] = true;
  if (hasQualifier_) stops_[static_cast<unsigned char>(qualifier_)] = true;
  for (int32_t w : layout_.Widths) recordWidth_ += static_cast<uint64_t>(w < 0 ? 0 : w);
}

TTextRecordReader::~TTextRecordReader() { Close(); }

void TTextRecordReader::OpenFile(int fd) {
  Close();
  fd_ = fd;
  buffer_.resize(kBufferSize);
  p_ = end_ = buffer_.data();
}

void TTextRecordReader::OpenMemory(std::string_view data) {
  Close();
  p_ = data.data();
  end_ = data.data() + data.size();
  consumed_ = data.size();
}

void TTextRecordReader::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  p_ = end_ = nullptr;
  consumed_ = 0;
}

bool TTextRecordReader::Refill() {
  if (fd_ < 0) return false;
  for (;;) {
    ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
    if (n > 0) {
      p_ = buffer_.data();
      end_ = p_ + n;
      consumed_ += static_cast<uint64_t>(n);
      return true;
    }
    if (n == 0) return false;
    if (errno != EINTR) RaiseLastOSError("Cannot read the text file");
  }
}

bool TTextRecordReader::ReadLine(std::string& line) {
  line.clear();
  if (AtEnd()) return false;
  for (;;) {
    if (p_ == end_ && !Refill()) return true;
    const char* s = p_;
    while (s < end_ && *s != '\n' && *s != '\r') ++s;
    line.append(p_, s);
    p_ = s;
    if (s < end_) {
      char c = *p_++;
      if (c == '\r' && !AtEnd() && *p_ == '\n') ++p_;
      return true;
    }
  }
}

std::string_view TTextRecordReader::Field(size_t index) const {
  if (index >= ends_.size()) return {};
  size_t start = index == 0 ? 0 : ends_[index - 1];
  return std::string_view(bytes_).substr(start, ends_[index] - start);
}

void TTextRecordReader::ReadRecord() {
  bytes_.clear();
  ends_.clear();
  if (AtEnd()) return;
  if (layout_.Type == tftFixedWidths)
    ReadFixed();
  else
    ReadDelimited();
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
// (from `fieldStart`) came from inside the qualifiers.
void TTextRecordReader::ReadQualified(size_t fieldStart, size_t& qualified) {
  for (;;) {
    if (AtEnd()) break;
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
      return;
    }
  }
  qualified = bytes_.size() - fieldStart;
}

void TTextRecordReader::ReadDelimited() {
  const std::string& S = layout_.Separator;
  const std::string& R = layout_.RowSeparator;
  size_t fieldStart = 0;  // the working text is bytes_[fieldStart..]
  size_t qualified = 0;   // leading bytes of the working text that came from qualified text
  bytes_.push_back(*p_++);
  for (;;) {
    bool endsWithR = EndsWith(fieldStart, R);
    if (!endsWithR && !AtEnd()) {
      if (EndsWith(fieldStart, S)) {
        bytes_.resize(bytes_.size() - S.size());
        ends_.push_back(bytes_.size());
        fieldStart = bytes_.size();
        qualified = 0;
      } else if (hasQualifier_ && bytes_.size() > fieldStart && bytes_.back() == qualifier_) {
        bytes_.resize(fieldStart);
        ReadQualified(fieldStart, qualified);
      } else {
        AppendUnqualified();
      }
      continue;
    }
    if (endsWithR) {
      bytes_.resize(bytes_.size() - R.size());
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

void TTextRecordReader::ReadFixed() {
  const uint64_t want = recordWidth_ + layout_.RowSeparator.size();
  line_.clear();
  line_.push_back(*p_++);
  while (line_.size() < want && !AtEnd()) {
    uint64_t n = want - line_.size();
    uint64_t avail = static_cast<uint64_t>(end_ - p_);
    if (n > avail) n = avail;
    line_.append(p_, static_cast<size_t>(n));
    p_ += n;
  }
  uint64_t pos = 0;  // 0-based offset of the next field
  for (int32_t w : layout_.Widths) {
    uint64_t width = static_cast<uint64_t>(w < 0 ? 0 : w);
    if (pos < line_.size()) {
      uint64_t n = line_.size() - pos < width ? line_.size() - pos : width;
      const char* b = line_.data() + pos;
      const char* e = b + n;
      while (b < e && IsTrimByte(*b)) ++b;
      while (e > b && IsTrimByte(e[-1])) --e;
      bytes_.append(b, static_cast<size_t>(e - b));
    }
    pos += width;
    ends_.push_back(bytes_.size());
  }
}

}  // namespace kv
