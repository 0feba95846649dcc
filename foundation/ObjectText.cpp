#include "foundation/ObjectText.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

#include "foundation/Exceptions.h"
#include "foundation/ObjectStream.h"
#include "foundation/Utf8.h"
#include "foundation/CharClass.h"

namespace kv {

namespace {

bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80; }
int HexValue(unsigned char c) { return IsDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10; }

std::string ReadAll(TStream& s) {
  int64_t n = s.Size() - s.Position();
  std::string text(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) s.ReadBuffer(text.data(), n);
  return text;
}

}  // namespace

// ---- Tokenizer ------------------------------------------------------------------

TChineseParser::TChineseParser(std::string_view text) : src_(text) { NextToken(); }

void TChineseParser::Error(const std::string& message) const {
  throw EParserError(message + " on line " + std::to_string(line_));
}

char TChineseParser::NextToken() {
  // Blanks and line ends; the line counter follows LF.
  while (pos_ < src_.size() && static_cast<unsigned char>(src_[pos_]) <= ' ') {
    if (src_[pos_] == '\n') ++line_;
    ++pos_;
  }
  text_.clear();
  raw_.clear();
  wide_.clear();
  isWide_ = false;
  floatType_ = 0;
  if (pos_ >= src_.size()) return token_ = toEOF;
  size_t start = pos_;
  auto c = static_cast<unsigned char>(src_[pos_]);
  if (IsLetter(c)) {
    while (pos_ < src_.size() && (IsLetter(static_cast<unsigned char>(src_[pos_])) ||
                                  IsDigit(static_cast<unsigned char>(src_[pos_]))))
      ++pos_;
    text_ = raw_ = std::string(src_.substr(start, pos_ - start));
    return token_ = toSymbol;
  }
  if (c == '\'' || (c == '#' && pos_ + 1 < src_.size() && (IsDigit(static_cast<unsigned char>(src_[pos_ + 1])) || src_[pos_ + 1] == '$'))) {
    // A run of 'quoted' parts and #n codes.
    for (;;) {
      if (pos_ < src_.size() && src_[pos_] == '\'') {
        ++pos_;
        size_t partStart = pos_;
        std::string part;
        for (;;) {
          if (pos_ >= src_.size() || src_[pos_] == '\n' || src_[pos_] == '\r') Error("Unterminated string");
          if (src_[pos_] == '\'') {
            if (pos_ + 1 < src_.size() && src_[pos_ + 1] == '\'') {
              part += '\'';
              pos_ += 2;
              continue;
            }
            ++pos_;
            break;
          }
          part += src_[pos_++];
        }
        (void)partStart;
        text_ += part;
        wide_ += Utf8ToUtf16(part);
      } else if (pos_ < src_.size() && src_[pos_] == '#') {
        ++pos_;
        uint32_t code = 0;
        bool any = false;
        if (pos_ < src_.size() && src_[pos_] == '$') {
          ++pos_;
          while (pos_ < src_.size() && IsHexDigit(static_cast<unsigned char>(src_[pos_]))) {
            code = code * 16 + static_cast<uint32_t>(HexValue(static_cast<unsigned char>(src_[pos_++])));
            any = true;
            if (code > 0x10FFFF) Error("Character code too large");
          }
        } else {
          while (pos_ < src_.size() && IsDigit(static_cast<unsigned char>(src_[pos_]))) {
            code = code * 10 + static_cast<uint32_t>(src_[pos_++] - '0');
            any = true;
            if (code > 0x10FFFF) Error("Character code too large");
          }
        }
        if (!any) Error("Invalid character code");
        if (code > 255) {
          isWide_ = true;
        } else {
          text_ += static_cast<char>(code);
        }
        if (code >= 0x10000) {
          uint32_t v = code - 0x10000;
          wide_ += static_cast<char16_t>(0xD800 + (v >> 10));
          wide_ += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
        } else {
          wide_ += static_cast<char16_t>(code);
        }
      } else {
        break;
      }
    }
    raw_ = std::string(src_.substr(start, pos_ - start));
    return token_ = isWide_ ? toWString : toString;
  }
  if (c == '$') {
    ++pos_;
    while (pos_ < src_.size() && IsHexDigit(static_cast<unsigned char>(src_[pos_]))) ++pos_;
    raw_ = std::string(src_.substr(start, pos_ - start));
    if (raw_.size() == 1) Error("Invalid hexadecimal number");
    return token_ = toInteger;
  }
  if (IsDigit(c) || ((c == '-' || c == '+') && pos_ + 1 < src_.size() && IsDigit(static_cast<unsigned char>(src_[pos_ + 1])))) {
    ++pos_;
    bool isFloat = false;
    while (pos_ < src_.size() && IsDigit(static_cast<unsigned char>(src_[pos_]))) ++pos_;
    if (pos_ < src_.size() && src_[pos_] == '.' && pos_ + 1 < src_.size() && IsDigit(static_cast<unsigned char>(src_[pos_ + 1]))) {
      isFloat = true;
      ++pos_;
      while (pos_ < src_.size() && IsDigit(static_cast<unsigned char>(src_[pos_]))) ++pos_;
    }
    if (pos_ < src_.size() && (src_[pos_] == 'e' || src_[pos_] == 'E')) {
      size_t p = pos_ + 1;
      if (p < src_.size() && (src_[p] == '+' || src_[p] == '-')) ++p;
      if (p < src_.size() && IsDigit(static_cast<unsigned char>(src_[p]))) {
        isFloat = true;
        pos_ = p;
        while (pos_ < src_.size() && IsDigit(static_cast<unsigned char>(src_[pos_]))) ++pos_;
      }
    }
    raw_ = std::string(src_.substr(start, pos_ - start));
    if (pos_ < src_.size()) {
      char s = static_cast<char>(src_[pos_] & ~0x20);
      if ((s == 'C' || s == 'D' || s == 'S') &&
          (pos_ + 1 >= src_.size() || !IsLetter(static_cast<unsigned char>(src_[pos_ + 1])))) {
        floatType_ = s;
        isFloat = true;
        ++pos_;
      }
    }
    return token_ = isFloat ? toFloat : toInteger;
  }
  if (c == '#' && pos_ + 1 < src_.size() && (src_[pos_ + 1] == 'X' || src_[pos_ + 1] == 'x')) {
    // A real given by its stored bytes: #X then hexadecimal digit pairs,
    // optionally followed by the suffix D or S (used for values that have
    // no decimal form, such as NaN).
    pos_ += 2;
    while (pos_ < src_.size() && IsHexDigit(static_cast<unsigned char>(src_[pos_]))) ++pos_;
    raw_ = std::string(src_.substr(start, pos_ - start));
    // "D" is also a hexadecimal digit: 16 digits and a "D" make a date.
    if (raw_.size() == 2 + 17 && (raw_.back() & ~0x20) == 'D') {
      raw_.pop_back();
      floatType_ = 'D';
    } else if (pos_ < src_.size() && (src_[pos_] & ~0x20) == 'S') {
      floatType_ = 'S';
      ++pos_;
    }
    return token_ = toFloat;
  }
  ++pos_;
  raw_ = std::string(1, static_cast<char>(c));
  return token_ = static_cast<char>(c);
}

std::u16string TChineseParser::TokenWideString() const { return wide_; }

int64_t TChineseParser::TokenInt() const {
  int64_t v = 0;
  const char* b = raw_.data();
  const char* e = b + raw_.size();
  std::from_chars_result r;
  if (!raw_.empty() && raw_[0] == '$') {
    uint64_t u = 0;
    r = std::from_chars(b + 1, e, u, 16);
    v = static_cast<int64_t>(u);
  } else {
    if (b != e && *b == '+') ++b;
    r = std::from_chars(b, e, v);
  }
  if (r.ec != std::errc() || r.ptr != e) Error("Invalid integer " + raw_);
  return v;
}

long double TChineseParser::TokenFloat() const {
  long double v = 0;
  const char* b = raw_.data();
  const char* e = b + raw_.size();
  if (b != e && *b == '+') ++b;
  auto r = std::from_chars(b, e, v);
  if (r.ec == std::errc::result_out_of_range) Error("Number out of range " + raw_);
  if (r.ec != std::errc() || r.ptr != e) Error("Invalid number " + raw_);
  return v;
}

bool TChineseParser::TokenSymbolIs(std::string_view s) const { return token_ == toSymbol && SameTextAscii(text_, s); }

void TChineseParser::CheckToken(char t) const {
  if (token_ == t) return;
  switch (t) {
    case toSymbol: Error("Identifier expected");
    case toString:
    case toWString: Error("String expected");
    case toInteger:
    case toFloat: Error("Number expected");
    default: Error(std::string("'") + t + "' expected");
  }
}

void TChineseParser::CheckTokenSymbol(std::string_view s) const {
  if (!TokenSymbolIs(s)) Error("'" + std::string(s) + "' expected");
}

std::string TChineseParser::HexToBinary() {
  std::string out;
  int pending = -1;
  for (;;) {
    if (pos_ >= src_.size()) Error("'}' expected");
    auto c = static_cast<unsigned char>(src_[pos_++]);
    if (c == '}') break;
    if (c == '\n') ++line_;
    if (c <= ' ') continue;
    if (!IsHexDigit(c)) Error("Invalid binary value");
    if (pending < 0) {
      pending = HexValue(c);
    } else {
      out += static_cast<char>(pending * 16 + HexValue(c));
      pending = -1;
    }
  }
  if (pending >= 0) Error("Invalid binary value");
  NextToken();
  return out;
}

// ---- Text to binary ---------------------------------------------------------------

namespace {

class TextToBinary {
public:
  TextToBinary(std::string_view text, TObjWriter& w) : p_(text), w_(w) {}

  void Run() {
    ConvertObject(0);
    if (p_.Token() != TChineseParser::toEOF) p_.Error("Text after the last END");
  }

private:
  void Nest(int depth) {
    if (depth > kMaxObjectDepth) p_.Error("Objects nested too deeply");
  }

  void ConvertObject(int depth) {
    Nest(depth);
    bool inherited = p_.TokenSymbolIs("INHERITED");
    bool isInline = p_.TokenSymbolIs("INLINE");
    if (!inherited && !isInline) p_.CheckTokenSymbol("OBJECT");
    p_.NextToken();
    p_.CheckToken(TChineseParser::toSymbol);
    std::string className = p_.TokenString(), objectName;
    p_.NextToken();
    if (p_.Token() == ':') {
      p_.NextToken();
      p_.CheckToken(TChineseParser::toSymbol);
      objectName = className;
      className = p_.TokenString();
      p_.NextToken();
    }
    uint8_t flags = (inherited ? 1 : 0) | (isInline ? 4 : 0);
    int64_t position = 0;
    if (p_.Token() == '[') {
      p_.NextToken();
      p_.CheckToken(TChineseParser::toInteger);
      position = p_.TokenInt();
      p_.NextToken();
      p_.CheckToken(']');
      p_.NextToken();
      flags |= 2;
    }
    // A record's first byte 0xF1..0xF7 marks the inherited/index prefix, so
    // a class name may not start with such a length byte.
    if (className.size() >= 0xF0) p_.Error("Class name too long");
    if (flags) {
      w_.WriteByte(static_cast<uint8_t>(0xF0 | flags));
      if (flags & 2) w_.WriteInteger(position);
    }
    w_.WriteStr(className);
    w_.WriteStr(objectName);
    while (!p_.TokenSymbolIs("END") && !p_.TokenSymbolIs("OBJECT") && !p_.TokenSymbolIs("INHERITED") &&
           !p_.TokenSymbolIs("INLINE")) {
      if (p_.Token() == TChineseParser::toEOF) p_.Error("'END' expected");
      ConvertProperty(depth);
    }
    w_.WriteListEnd();
    while (!p_.TokenSymbolIs("END")) {
      if (p_.Token() == TChineseParser::toEOF) p_.Error("'END' expected");
      ConvertObject(depth + 1);
    }
    w_.WriteListEnd();
    p_.NextToken();
  }

  void ConvertProperty(int depth) {
    p_.CheckToken(TChineseParser::toSymbol);
    std::string name = p_.TokenString();
    p_.NextToken();
    while (p_.Token() == '.') {
      p_.NextToken();
      p_.CheckToken(TChineseParser::toSymbol);
      name += "." + p_.TokenString();
      p_.NextToken();
    }
    w_.WriteStr(name);
    p_.CheckToken('=');
    p_.NextToken();
    ConvertValue(depth);
  }

  void WriteStringValue() {
    std::string bytes;
    std::u16string wide;
    bool isWide = false;
    for (;;) {
      if (p_.Token() != TChineseParser::toString && p_.Token() != TChineseParser::toWString) p_.Error("String expected");
      bytes += p_.TokenString();
      wide += p_.TokenWideString();
      isWide = isWide || p_.Token() == TChineseParser::toWString;
      p_.NextToken();
      if (p_.Token() != '+') break;
      p_.NextToken();
    }
    if (!isWide) {
      w_.WriteString(bytes);
      return;
    }
    if (wide.size() > UINT32_MAX) p_.Error("String too long");
    w_.WriteByte(vaWString);
    uint32_t n = static_cast<uint32_t>(wide.size());
    w_.Write(&n, 4);
    w_.Write(wide.data(), wide.size() * 2);
  }

  void WriteRawFloat(char type) {
    // #X followed by the value's stored bytes.
    const std::string& raw = p_.TokenText();
    size_t want = type == 'D' ? 8 : type == 'S' ? 4 : 10;
    if (raw.size() != 2 + want * 2) p_.Error("Invalid real " + raw);
    std::string bytes;
    for (size_t i = 2; i < raw.size(); i += 2)
      bytes += static_cast<char>(HexValue(static_cast<unsigned char>(raw[i])) * 16 +
                                 HexValue(static_cast<unsigned char>(raw[i + 1])));
    w_.WriteByte(type == 'D' ? vaDate : type == 'S' ? vaSingle : vaExtended);
    w_.Write(bytes.data(), bytes.size());
  }

  void WriteCurrency() {
    // Exact decimal to ten-thousandths, without going through a binary real.
    std::string raw = p_.TokenText();
    bool negative = !raw.empty() && raw[0] == '-';
    if (!raw.empty() && (raw[0] == '-' || raw[0] == '+')) raw.erase(0, 1);
    if (raw.find_first_of("eE") != std::string::npos) {
      long double v = p_.TokenFloat() * 10000.0L;
      if (!(std::fabs(v) < 9.2e18L)) p_.Error("Currency value out of range");
      int64_t c = static_cast<int64_t>(std::llround(v));
      w_.WriteByte(vaCurrency);
      w_.Write(&c, 8);
      return;
    }
    size_t dot = raw.find('.');
    std::string whole = raw.substr(0, dot), frac = dot == std::string::npos ? "" : raw.substr(dot + 1);
    while (frac.size() < 4) frac += '0';
    bool roundUp = frac.size() > 4 && frac[4] >= '5';
    frac.resize(4);
    unsigned __int128 v = 0;
    for (char ch : whole + frac) {
      v = v * 10 + static_cast<unsigned>(ch - '0');
      if (v > static_cast<unsigned __int128>(INT64_MAX) + 1) p_.Error("Currency value out of range");
    }
    if (roundUp) ++v;
    if (v > static_cast<unsigned __int128>(INT64_MAX) + (negative ? 1 : 0)) p_.Error("Currency value out of range");
    int64_t c = negative ? static_cast<int64_t>(-static_cast<__int128>(v)) : static_cast<int64_t>(v);
    w_.WriteByte(vaCurrency);
    w_.Write(&c, 8);
  }

  void ConvertValue(int depth, bool inList = false) {
    Nest(depth);
    switch (p_.Token()) {
      case TChineseParser::toSymbol: {
        std::string ident = p_.TokenString();
        p_.NextToken();
        while (p_.Token() == '.') {
          p_.NextToken();
          p_.CheckToken(TChineseParser::toSymbol);
          ident += "." + p_.TokenString();
          p_.NextToken();
        }
        if (SameTextAscii(ident, "False")) {
          w_.WriteByte(vaFalse);
        } else if (SameTextAscii(ident, "True")) {
          w_.WriteByte(vaTrue);
        } else if (SameTextAscii(ident, "nil")) {
          w_.WriteByte(vaNil);
        } else if (SameTextAscii(ident, "Null")) {
          // Its tag is the one that ends a list.
          if (inList) p_.Error("Null cannot stand in a list");
          w_.WriteByte(vaNull);
        } else {
          if (ident.size() > 255) p_.Error("Identifier too long");
          w_.WriteByte(vaIdent);
          w_.WriteByte(static_cast<uint8_t>(ident.size()));
          w_.Write(ident.data(), ident.size());
        }
        return;
      }
      case TChineseParser::toString:
      case TChineseParser::toWString: WriteStringValue(); return;
      case TChineseParser::toInteger:
        w_.WriteInteger(p_.TokenInt());
        p_.NextToken();
        return;
      case TChineseParser::toFloat: {
        char type = p_.FloatType();
        if (p_.TokenText().size() > 1 && p_.TokenText()[0] == '#') {
          WriteRawFloat(type);
        } else if (type == 'S') {
          float f = 0;
          const std::string& raw = p_.TokenText();
          const char* b = raw.data() + (raw[0] == '+' ? 1 : 0);
          auto r = std::from_chars(b, raw.data() + raw.size(), f);
          if (r.ec != std::errc() || r.ptr != raw.data() + raw.size()) p_.Error("Invalid number " + raw);
          w_.WriteSingle(f);
        } else if (type == 'C') {
          WriteCurrency();
        } else if (type == 'D') {
          double d = 0;
          const std::string& raw = p_.TokenText();
          const char* b = raw.data() + (raw[0] == '+' ? 1 : 0);
          auto r = std::from_chars(b, raw.data() + raw.size(), d);
          if (r.ec != std::errc() || r.ptr != raw.data() + raw.size()) p_.Error("Invalid number " + raw);
          w_.WriteDate(d);
        } else {
          w_.WriteFloat(p_.TokenFloat());
        }
        p_.NextToken();
        return;
      }
      case '[': {
        p_.NextToken();
        w_.WriteByte(vaSet);
        if (p_.Token() != ']') {
          for (;;) {
            p_.CheckToken(TChineseParser::toSymbol);
            w_.WriteStr(p_.TokenString());
            p_.NextToken();
            if (p_.Token() == ']') break;
            p_.CheckToken(',');
            p_.NextToken();
          }
        }
        w_.WriteStr("");
        p_.NextToken();
        return;
      }
      case '(': {
        p_.NextToken();
        w_.WriteListBegin();
        while (p_.Token() != ')') {
          if (p_.Token() == TChineseParser::toEOF) p_.Error("')' expected");
          ConvertValue(depth + 1, true);
        }
        w_.WriteListEnd();
        p_.NextToken();
        return;
      }
      case '{': {
        std::string bytes = p_.HexToBinary();
        if (bytes.size() > UINT32_MAX) p_.Error("Binary value too long");
        w_.WriteBinary(bytes.data(), static_cast<uint32_t>(bytes.size()));
        return;
      }
      case '<': {
        p_.NextToken();
        w_.WriteByte(vaCollection);
        while (p_.Token() != '>') {
          p_.CheckTokenSymbol("item");
          p_.NextToken();
          if (p_.Token() == '[') {
            p_.NextToken();
            p_.CheckToken(TChineseParser::toInteger);
            w_.WriteInteger(p_.TokenInt());
            p_.NextToken();
            p_.CheckToken(']');
            p_.NextToken();
          }
          w_.WriteListBegin();
          while (!p_.TokenSymbolIs("end")) {
            if (p_.Token() == TChineseParser::toEOF) p_.Error("'end' expected");
            ConvertProperty(depth + 1);
          }
          w_.WriteListEnd();
          p_.NextToken();
        }
        w_.WriteListEnd();
        p_.NextToken();
        return;
      }
      default: p_.Error("Invalid property value");
    }
  }

  TChineseParser p_;
  TObjWriter& w_;
};

// ---- Binary to text -----------------------------------------------------------------

class BinaryToText {
public:
  BinaryToText(TObjReader& r, std::string& out, bool hidePasswords = false)
      : r_(r), out_(out), hidePasswords_(hidePasswords) {}

  void Run() {
    r_.ReadSignature();
    if (r_.PeekByte() == vaNull) TObjReader::Error("The stream holds no object");
    ConvertObject(0);
  }

private:
  void Indent(int level) { out_.append(static_cast<size_t>(level) * 2, ' '); }

  static bool IsIdent(std::string_view s) {
    if (s.empty() || !IsLetter(static_cast<unsigned char>(s[0]))) return false;
    for (char c : s)
      if (!IsLetter(static_cast<unsigned char>(c)) && !IsDigit(static_cast<unsigned char>(c)) && c != '.') return false;
    return true;
  }

  void ConvertObject(int level) {
    if (level > kMaxObjectDepth) TObjReader::Error("Objects are nested too deeply in the stream");
    Indent(level);
    uint8_t b = r_.PeekByte();
    uint8_t flags = 0;
    int64_t position = 0;
    if (b >= 0xF1 && b <= 0xF7) {
      r_.ReadByte();
      flags = b & 0x0F;
      if (flags & 2) position = r_.ReadInteger();
    }
    out_ += (flags & 1) ? "inherited " : (flags & 4) ? "inline " : "object ";
    std::string className = r_.ReadStr();
    std::string objectName = r_.ReadStr();
    if (!objectName.empty()) out_ += objectName + ": ";
    out_ += className;
    if (flags & 2) out_ += " [" + std::to_string(position) + "]";
    out_ += '\n';
    while (!r_.EndOfList()) {
      Indent(level + 1);
      const std::string name = r_.ReadStr();
      out_ += name;
      out_ += " = ";
      if (hidePasswords_ && IsPasswordName(name) && IsTextTag(r_.PeekByte())) {
        // The value is read (the stream must go on) but never written.
        const size_t mark = out_.size();
        ConvertValue(level + 1);
        const bool empty = out_.compare(mark, std::string::npos, "''") == 0;
        out_.resize(mark);
        out_ += empty ? "''" : kHiddenPassword;
      } else {
        ConvertValue(level + 1);
      }
      out_ += '\n';
    }
    r_.ReadByte();
    while (!r_.EndOfList()) ConvertObject(level + 1);
    r_.ReadByte();
    Indent(level);
    out_ += "end\n";
  }

  void QuoteBytes(std::string_view s) {
    // Printable runs in quotes, other bytes as #n; long texts are split into
    // lines joined by "+".
    if (s.empty()) {
      out_ += "''";
      return;
    }
    bool inQuote = false;
    size_t lineBytes = 0;
    for (size_t i = 0; i < s.size(); ++i) {
      auto c = static_cast<unsigned char>(s[i]);
      if (lineBytes >= 64 && i + 1 < s.size() && !(c >= 0x80 && c < 0xC0)) {
        if (inQuote) out_ += '\'';
        inQuote = false;
        out_ += " +\n";
        Indent(indentForSplit_ + 1);
        lineBytes = 0;
      }
      if (c >= ' ' && c != 0x7F) {
        if (!inQuote) out_ += '\'';
        inQuote = true;
        if (c == '\'') out_ += '\'';
        out_ += static_cast<char>(c);
      } else {
        if (inQuote) out_ += '\'';
        inQuote = false;
        out_ += '#' + std::to_string(c);
      }
      ++lineBytes;
    }
    if (inQuote) out_ += '\'';
  }

  void QuoteWide(std::u16string_view w) {
    if (w.empty()) {
      out_ += "''";
      return;
    }
    bool inQuote = false;
    for (char16_t c : w) {
      if (c >= ' ' && c < 0x7F) {
        if (!inQuote) out_ += '\'';
        inQuote = true;
        if (c == '\'') out_ += '\'';
        out_ += static_cast<char>(c);
      } else {
        if (inQuote) out_ += '\'';
        inQuote = false;
        out_ += '#' + std::to_string(static_cast<unsigned>(c));
      }
    }
    if (inQuote) out_ += '\'';
  }

  template <class F>
  void Real(F v, const uint8_t* bytes, size_t size, const char* suffix) {
    // The shortest decimal text, unless it does not read back to the very
    // same bytes (NaN, infinities, subnormals, unnormalised extended
    // encodings): such values are written by their bytes.
    if (std::isnormal(v) || v == 0) {
      char buf[64];
      auto r = std::to_chars(buf, buf + sizeof buf, v);
      F back = 0;
      auto p = std::from_chars(buf, r.ptr, back);
      uint8_t backBytes[16] = {};
      std::memcpy(backBytes, &back, size);
      if (p.ec == std::errc() && std::memcmp(backBytes, bytes, size) == 0) {
        std::string s(buf, r.ptr);
        if (s.find_first_of(".e") == std::string::npos) s += ".0";
        out_ += s;
        out_ += suffix;
        return;
      }
    }
    static const char* hex = "0123456789ABCDEF";
    out_ += "#X";
    for (size_t i = 0; i < size; ++i) {
      out_ += hex[bytes[i] >> 4];
      out_ += hex[bytes[i] & 15];
    }
    out_ += suffix;
  }

  // A tagged real of `size` stored bytes.
  template <class F>
  void ReadReal(size_t size, const char* suffix) {
    uint8_t b[16] = {};
    r_.ReadByte();
    r_.Read(b, size);
    F v = 0;
    std::memcpy(&v, b, size);
    Real(v, b, size, suffix);
  }

  void ConvertValue(int level) {
    if (level > kMaxObjectDepth) TObjReader::Error("Values are nested too deeply in the stream");
    uint8_t tag = r_.PeekByte();
    switch (tag) {
      case vaNull: r_.ReadByte(); out_ += "Null"; return;
      case vaList: {
        r_.ReadByte();
        out_ += "(";
        while (!r_.EndOfList()) {
          out_ += '\n';
          Indent(level + 1);
          ConvertValue(level + 1);
        }
        r_.ReadByte();
        out_ += ")";
        return;
      }
      case vaInt8:
      case vaInt16:
      case vaInt32:
      case vaInt64: out_ += std::to_string(r_.ReadInt64()); return;
      case vaExtended: ReadReal<long double>(10, ""); return;
      case vaSingle: ReadReal<float>(4, "S"); return;
      case vaDate: ReadReal<double>(8, "D"); return;
      case vaCurrency: {
        r_.ReadByte();
        int64_t c;
        r_.Read(&c, 8);
        __int128 v = c;
        bool neg = v < 0;
        if (neg) v = -v;
        auto whole = static_cast<unsigned long long>(v / 10000);
        auto frac = static_cast<unsigned>(v % 10000);
        char buf[48];
        std::snprintf(buf, sizeof buf, "%s%llu.%04uC", neg ? "-" : "", whole, frac);
        out_ += buf;
        return;
      }
      case vaString:
      case vaLString:
        indentForSplit_ = level;
        QuoteBytes(r_.ReadString());
        return;
      case vaWString: {
        r_.ReadByte();
        uint32_t n;
        r_.Read(&n, 4);
        if (static_cast<uint64_t>(n) * 2 > static_cast<uint64_t>(r_.Remaining())) TObjReader::Error("Stream read error");
        std::u16string w(n, u'\0');
        r_.Read(w.data(), static_cast<size_t>(n) * 2);
        QuoteWide(w);
        return;
      }
      case vaIdent: {
        r_.ReadByte();
        uint8_t n = r_.ReadByte();
        if (n > r_.Remaining()) TObjReader::Error("Stream read error");
        std::string s(n, '\0');
        r_.Read(s.data(), n);
        out_ += s;
        return;
      }
      case vaFalse: r_.ReadByte(); out_ += "False"; return;
      case vaTrue: r_.ReadByte(); out_ += "True"; return;
      case vaNil: r_.ReadByte(); out_ += "nil"; return;
      case vaBinary: {
        uint32_t n = r_.ReadBinaryLength();
        if (n > r_.Remaining()) TObjReader::Error("Stream read error");
        static const char* hex = "0123456789ABCDEF";
        out_ += "{";
        for (uint32_t i = 0; i < n; ++i) {
          if (i % 32 == 0) {
            out_ += '\n';
            Indent(level + 1);
          }
          uint8_t x = r_.ReadByte();
          out_ += hex[x >> 4];
          out_ += hex[x & 15];
        }
        out_ += "}";
        return;
      }
      case vaSet: {
        r_.ReadByte();
        out_ += "[";
        bool first = true;
        for (;;) {
          std::string name = r_.ReadStr();
          if (name.empty()) break;
          if (!first) out_ += ", ";
          out_ += name;
          first = false;
        }
        out_ += "]";
        return;
      }
      case vaCollection: {
        r_.ReadByte();
        out_ += "<";
        while (!r_.EndOfList()) {
          out_ += '\n';
          Indent(level + 1);
          out_ += "item";
          uint8_t t = r_.PeekByte();
          if (t == vaInt8 || t == vaInt16 || t == vaInt32) out_ += " [" + std::to_string(r_.ReadInteger()) + "]";
          if (r_.ReadByte() != vaList) TObjReader::InvalidValue();
          out_ += '\n';
          while (!r_.EndOfList()) {
            Indent(level + 2);
            out_ += r_.ReadStr();
            out_ += " = ";
            ConvertValue(level + 2);
            out_ += '\n';
          }
          r_.ReadByte();
          Indent(level + 1);
          out_ += "end";
        }
        r_.ReadByte();
        out_ += ">";
        return;
      }
      default: TObjReader::InvalidValue();
    }
  }

  static bool IsTextTag(uint8_t tag) { return tag == vaString || tag == vaLString || tag == vaWString; }

  static bool IsPasswordName(std::string_view name) {
    static constexpr std::string_view kWord = "password";
    for (size_t i = 0; i + kWord.size() <= name.size(); ++i) {
      size_t k = 0;
      while (k < kWord.size() && AsciiLower(name[i + k]) == kWord[k]) ++k;
      if (k == kWord.size()) return true;
    }
    return false;
  }

  TObjReader& r_;
  std::string& out_;
  bool hidePasswords_;
  int indentForSplit_ = 0;
};

}  // namespace

void ObjectTextToBinary(TStream& input, TStream& output) {
  std::string text = ReadAll(input);
  TObjWriter w(output);
  w.WriteSignature();
  TextToBinary(text, w).Run();
  w.FlushBuffer();
}

std::string ObjectTextToBinary(std::string_view text) {
  TMemoryStream out;
  TObjWriter w(out);
  w.WriteSignature();
  TextToBinary(text, w).Run();
  w.FlushBuffer();
  return out.Bytes();
}

void ObjectBinaryToText(TStream& input, TStream& output) {
  std::string text;
  {
    TObjReader r(input);
    BinaryToText(r, text).Run();
  }
  output.WriteString(text);
}

namespace {

std::string BinaryStringToText(std::string_view binary, bool hidePasswords) {
  TMemoryStream in(binary);
  std::string text;
  TObjReader r(in);
  BinaryToText(r, text, hidePasswords).Run();
  return text;
}

}  // namespace

std::string ObjectBinaryToText(std::string_view binary) { return BinaryStringToText(binary, false); }

std::string ObjectBinaryToTextHidingPasswords(std::string_view binary) { return BinaryStringToText(binary, true); }

bool HoldsHiddenPassword(std::string_view text) {
  // The marker is written unquoted after " = " and ends its line; inside a
  // quoted value a line end is written as #10, so it cannot appear there.
  const std::string marker = std::string(" = ") + kHiddenPassword + "\n";
  return text.find(marker) != std::string_view::npos;
}

}  // namespace kv
