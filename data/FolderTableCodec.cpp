#include "data/FolderTableCodec.h"

#include <iconv.h>

#include <algorithm>

#include "data/TextEncoding.h"

namespace kv {

namespace {

const iconv_t kNoConversion = reinterpret_cast<iconv_t>(-1);

// Runs `cd` over `in`; returns the offset of the first byte that does not convert, or npos.
size_t Convert(void* handle, std::string_view in, std::string& out) {
  const auto cd = static_cast<iconv_t>(handle);
  ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
  out.resize(in.size() * 4 + 8);
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = out.data();
  size_t dstLeft = out.size();
  const size_t r = ::iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  const size_t flushed = r == static_cast<size_t>(-1) ? r : ::iconv(cd, nullptr, nullptr, &dst, &dstLeft);
  out.resize(out.size() - dstLeft);
  if (r == static_cast<size_t>(-1) || flushed == static_cast<size_t>(-1)) return in.size() - srcLeft;
  return std::string_view::npos;
}

bool IsAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// `s` as it is when all ASCII, else converted by `handle`.
size_t Converted(void* handle, std::string_view s, std::string& out) {
  if (!IsAscii(s)) return Convert(handle, s, out);
  out.assign(s);
  return std::string_view::npos;
}

}  // namespace

TFolderTableCodec::~TFolderTableCodec() { Close(); }

void TFolderTableCodec::Close() {
  if (toUtf8_) ::iconv_close(static_cast<iconv_t>(toUtf8_));
  if (fromUtf8_) ::iconv_close(static_cast<iconv_t>(fromUtf8_));
  toUtf8_ = fromUtf8_ = nullptr;
}

bool TFolderTableCodec::Open(const std::string& codePage) {
  Close();
  const iconv_t to = ::iconv_open("UTF-8", codePage.c_str());
  const iconv_t from = ::iconv_open(codePage.c_str(), "UTF-8");
  if (to == kNoConversion || from == kNoConversion) {
    if (to != kNoConversion) ::iconv_close(to);
    if (from != kNoConversion) ::iconv_close(from);
    return false;
  }
  toUtf8_ = to;
  fromUtf8_ = from;
  return true;
}

size_t TFolderTableCodec::Decode(std::string_view bytes, std::string& out) const {
  return Converted(toUtf8_, bytes, out);
}

size_t TFolderTableCodec::Encode(std::string_view text, std::string& out) const {
  return Converted(fromUtf8_, text, out);
}

std::string BytesAt(std::string_view bytes, size_t at) {
  return HexBytes(bytes.substr(at, std::min<size_t>(4, bytes.size() - at)));
}

std::string_view CharacterAt(std::string_view text, size_t at) {
  size_t n = 1;
  while (at + n < text.size() && (static_cast<unsigned char>(text[at + n]) & 0xC0) == 0x80) ++n;
  return text.substr(at, n);
}

}  // namespace kv
