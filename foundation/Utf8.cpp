#include "foundation/Utf8.h"

namespace kv {

int DecodeUtf8(std::string_view s, size_t i, char32_t& cp) {
  const unsigned char b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  int len;
  unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    cp = b0 & 0x1Fu;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    cp = b0 & 0x0Fu;
    if (b0 == 0xE0) lo = 0xA0;  // no overlong forms
    if (b0 == 0xED) hi = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    cp = b0 & 0x07u;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (s.size() - i < static_cast<size_t>(len)) return 0;
  for (int k = 1; k < len; ++k) {
    const unsigned char b = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
    if (k == 1 ? (b < lo || b > hi) : (b < 0x80 || b > 0xBF)) return 0;
    cp = (cp << 6) | (b & 0x3Fu);
  }
  return len;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = 0xFFFD;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

size_t FirstMalformedUtf8(std::string_view s) {
  size_t i = 0;
  const size_t n = s.size();
  char32_t cp;
  while (i < n) {
    // ASCII runs are the common case: skip them eight bytes at a time.
    while (i + 8 <= n) {
      unsigned char any = 0;
      for (size_t k = 0; k < 8; ++k) any |= static_cast<unsigned char>(s[i + k]);
      if (any & 0x80) break;
      i += 8;
    }
    if (i >= n) break;
    const int len = DecodeUtf8(s, i, cp);
    if (len == 0) return i;
    i += static_cast<size_t>(len);
  }
  return n;
}

bool IsValidUtf8(std::string_view s) { return FirstMalformedUtf8(s) == s.size(); }

size_t Utf8PrefixBytes(std::string_view s, size_t chars) {
  size_t i = 0;
  char32_t cp;
  while (chars > 0 && i < s.size()) {
    const int len = DecodeUtf8(s, i, cp);
    i += len == 0 ? 1 : static_cast<size_t>(len);
    --chars;
  }
  return i;
}

size_t Utf8CharCount(std::string_view s) {
  size_t count = 0, i = 0;
  char32_t cp;
  while (i < s.size()) {
    const int len = DecodeUtf8(s, i, cp);
    i += len == 0 ? 1 : static_cast<size_t>(len);
    ++count;
  }
  return count;
}

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  char32_t cp;
  while (i < s.size()) {
    const int len = DecodeUtf8(s, i, cp);
    if (len == 0) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    i += static_cast<size_t>(len);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view w) {
  std::string out;
  out.reserve(w.size());
  for (size_t i = 0; i < w.size(); ++i) {
    char32_t cp = w[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (w[i + 1] - 0xDC00u);
      ++i;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

size_t AppendUtf16BytesAsUtf8(std::string_view bytes, bool bigEndian, bool final, std::string& out,
                              const TMalformedBytesFn& onMalformed) {
  const size_t n = bytes.size();
  auto unit = [&](size_t k) -> char32_t {
    const char32_t a = static_cast<unsigned char>(bytes[k]), b = static_cast<unsigned char>(bytes[k + 1]);
    return bigEndian ? (a << 8 | b) : (b << 8 | a);
  };
  auto malformed = [&](size_t offset, size_t length) {
    if (onMalformed) onMalformed(offset, length);
    AppendUtf8(out, 0xFFFD);
  };
  out.reserve(out.size() + n + n / 2);
  size_t i = 0;
  while (n - i >= 2) {
    const char32_t u = unit(i);
    if (u < 0x80) {
      out += static_cast<char>(u);
      i += 2;
    } else if (u < 0xD800 || u > 0xDFFF) {
      AppendUtf8(out, u);
      i += 2;
    } else if (u >= 0xDC00) {  // a low surrogate first
      malformed(i, 2);
      i += 2;
    } else if (n - i < 4) {  // a high surrogate cut by the end
      if (!final) return i;
      malformed(i, 2);
      i += 2;
    } else if (const char32_t v = unit(i + 2); v >= 0xDC00 && v <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
      i += 4;
    } else {
      malformed(i, 2);
      i += 2;
    }
  }
  if (i < n) {
    if (!final) return i;
    malformed(i, n - i);
    i = n;
  }
  return i;
}

}  // namespace kv
