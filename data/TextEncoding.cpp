#include "data/TextEncoding.h"

#include <iconv.h>

#include <cerrno>

#include "data/DatabaseError.h"

namespace kv {

namespace {

// The name folded for comparison: letters upper case, '-' and '_' dropped.
std::string Folded(std::string_view name) {
  std::string s;
  for (char c : name) {
    if (c == '-' || c == '_') continue;
    s += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  }
  return s;
}

[[noreturn]] void Unknown(const std::string& name) {
  throw EDatabaseError("Unknown text encoding '" + name + "'");
}

}  // namespace

TTextEncodingKind TextEncodingKind(std::string_view name) {
  const std::string f = Folded(name);
  if (f.empty() || f == "UTF8") return tekUtf8;
  if (f == "UTF16LE") return tekUtf16LE;
  if (f == "UTF16BE") return tekUtf16BE;
  return tekOther;
}

void CheckTextEncoding(const std::string& name) {
  if (TextEncodingKind(name) != tekOther) return;
  TTextDecoder probe(name);
}

TTextDecoder::TTextDecoder(const std::string& name) : name_(name) {
  if (name.empty() || name.find('/') != std::string::npos) Unknown(name);  // no "//IGNORE" and the like
  iconv_t cd = ::iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) Unknown(name);
  cd_ = cd;
}

TTextDecoder::~TTextDecoder() { ::iconv_close(static_cast<iconv_t>(cd_)); }

size_t TTextDecoder::Convert(std::string_view in, bool final, std::string& out, const TMalformedBytesFn& onMalformed) {
  iconv_t cd = static_cast<iconv_t>(cd_);
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  auto malformed = [&](size_t length) {
    const size_t offset = in.size() - srcLeft;
    if (onMalformed) onMalformed(offset, length);
    AppendUtf8(out, 0xFFFD);
    src += length;
    srcLeft -= length;
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
  };
  while (srcLeft > 0) {
    const size_t start = out.size();
    const size_t room = srcLeft * 4 + 16;
    out.resize(start + room);
    char* dst = out.data() + start;
    size_t dstLeft = room;
    const size_t r = ::iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.resize(start + (room - dstLeft));
    if (r != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) continue;
    if (errno == EINVAL) {  // a character cut by the end of the input
      if (!final) break;
      malformed(srcLeft);
    } else {  // EILSEQ: a byte that starts no character
      malformed(1);
    }
  }
  return in.size() - srcLeft;
}

std::string HexBytes(std::string_view bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (unsigned char c : bytes) {
    if (!s.empty()) s += ' ';
    s += digits[c >> 4];
    s += digits[c & 15];
  }
  return s;
}

}  // namespace kv
