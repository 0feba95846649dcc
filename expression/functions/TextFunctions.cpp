// Text functions (registered in the text batch).
//
// Texts are UTF-8 byte strings. Positions and lengths count bytes from 1,
// as everywhere in the language: Copy, Delete, Insert, LeftStr, RightStr,
// Pos and RPos never look at characters, so a position may fall inside a
// multi-byte sequence; Length is the byte count and ASC the first byte.
//
// Case conversion (Upper, Lower, UpLower, the Wide* functions) works on
// code points: the system code page is UTF-8, so the locale's 8-bit
// conversion and the UTF-16 round trip are one and the same operation. It
// uses the simple (one-to-one) Unicode case mapping for ASCII, Latin-1
// Supplement, Latin Extended-A, the pinyin and Romanian letters of Latin
// Extended-B, Latin Extended Additional, Greek, Cyrillic (with its
// supplement) and the fullwidth Latin letters; other characters keep their
// case. One-to-many mappings are not applied (Upper('ß') stays 'ß').
// Malformed UTF-8 is kept byte for byte by the conversions; the
// comparisons read each stray byte as a code point of its own (U+DC80 ..
// U+DCFF), so that distinct bytes never compare equal.
//
// CompareStr, CompareText, WideCompareStr and WideCompareText answer -1, 0
// or 1. CompareText and SameText ignore the case of ASCII letters only (as
// letters are compared upper-cased, '_' sorts after the letters); the Wide
// forms compare code points, WideCompareText after folding each code point
// to the lower case of its upper case.
//
// Bad arguments never fail and never allocate beyond the texts involved:
// positions below 1 count as 1 (Copy, Insert) or leave the text unchanged
// (Delete), positions beyond the text give '' (Copy) or append (Insert),
// negative counts give ''. The one result that is not bounded by its
// arguments, ChrS, is limited to kMaxChrSCount bytes: a larger count raises
// EOutOfResources naming the limit.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "expression/FunctionList.h"
#include "foundation/Exceptions.h"
#include "foundation/StrUtils.h"
#include "foundation/CharClass.h"
#include "foundation/Utf8.h"

namespace kv {

namespace {

// The longest text ChrS makes (1 MiB).
constexpr int64_t kMaxChrSCount = 1048576;

// ---- Argument access -------------------------------------------------------------

// The text form of an argument without allocating where possible; empty for
// a missing argument.
std::string_view TextArg(const TExpression* arg, TTextBuffer& buffer) {
  return arg ? arg->GetText(buffer) : std::string_view();
}

int64_t IntArg(const TExpression* arg) noexcept { return arg ? arg->GetInteger() : 0; }

// Writes a text result, moving it when the node holds text.
void PutText(TExpression& node, std::string&& text) {
  if (node.DataType == etString)
    node.Value.StrValue = std::move(text);
  else
    node.PutString(text);
}

void PutText(TExpression& node, std::string_view text) {
  if (node.DataType == etString)
    node.Value.StrValue.assign(text.data(), text.size());
  else
    node.PutString(text);
}

// ---- Pieces by byte position (64-bit positions and counts, never overflowing) ------

// `count` bytes from `position` (from 1); a position below 1 counts as 1.
std::string_view CopyPiece(std::string_view s, int64_t position, int64_t count) {
  const int64_t len = static_cast<int64_t>(s.size());
  if (position < 1) position = 1;
  if (position > len || count <= 0) return std::string_view();
  const int64_t available = len - position + 1;
  return s.substr(static_cast<size_t>(position - 1), static_cast<size_t>(std::min(count, available)));
}

std::string DeletePiece(std::string_view s, int64_t position, int64_t count) {
  const int64_t len = static_cast<int64_t>(s.size());
  std::string r(s);
  if (position < 1 || position > len || count <= 0) return r;
  r.erase(static_cast<size_t>(position - 1), static_cast<size_t>(std::min(count, len - position + 1)));
  return r;
}

// `sub` inserted before `position`: at the front for positions below 1, at
// the end for positions past the text.
std::string InsertPiece(std::string_view sub, std::string_view s, int64_t position) {
  const int64_t len = static_cast<int64_t>(s.size());
  const size_t at = position < 1 ? 0 : static_cast<size_t>(std::min(position - 1, len));
  std::string r;
  r.reserve(s.size() + sub.size());
  r.append(s.substr(0, at)).append(sub).append(s.substr(at));
  return r;
}

std::string_view LeftPiece(std::string_view s, int64_t count) {
  if (count <= 0) return std::string_view();
  return s.substr(0, static_cast<size_t>(std::min<int64_t>(count, static_cast<int64_t>(s.size()))));
}

// The text from `position` to its end: all of it for positions up to 1.
std::string_view RightPiece(std::string_view s, int64_t position) {
  if (position <= 1) return s;
  if (position > static_cast<int64_t>(s.size())) return std::string_view();
  return s.substr(static_cast<size_t>(position - 1));
}

// ---- Trimming -------------------------------------------------------------------------

std::string_view TrimLeft(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsTrimChar(s[i])) ++i;
  return s.substr(i);
}

std::string_view TrimRight(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && IsTrimChar(s[n - 1])) --n;
  return s.substr(0, n);
}

// ---- ASCII case ---------------------------------------------------------------------------


int Sign(int64_t v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

// Byte-wise comparison, optionally with ASCII letters upper-cased.
int CompareBytes(std::string_view a, std::string_view b, bool ignoreAsciiCase) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (ignoreAsciiCase) {
      x = static_cast<unsigned char>(AsciiUpper(static_cast<char>(x)));
      y = static_cast<unsigned char>(AsciiUpper(static_cast<char>(y)));
    }
    if (x != y) return x < y ? -1 : 1;
  }
  return Sign(static_cast<int64_t>(a.size()) - static_cast<int64_t>(b.size()));
}

// ---- UTF-8 ----------------------------------------------------------------------------------

// The code point of a byte that starts no well-formed sequence.
constexpr char32_t kStrayByteBase = 0xDC00;

// The next code point of `s` from byte `i`, which moves past it; a stray
// byte is one code point of the range U+DC80 .. U+DCFF.
char32_t NextCodePoint(std::string_view s, size_t& i) {
  char32_t cp;
  const int len = DecodeUtf8(s, i, cp);
  if (len == 0) {
    cp = kStrayByteBase + static_cast<unsigned char>(s[i]);
    ++i;
  } else {
    i += static_cast<size_t>(len);
  }
  return cp;
}

// ---- Simple case mapping ------------------------------------------------------------------

constexpr bool In(char32_t c, char32_t first, char32_t last) { return c >= first && c <= last; }
constexpr bool IsEven(char32_t c) { return (c & 1u) == 0; }

// The upper case of one code point (itself when it has none).
char32_t UpperOf(char32_t c) {
  if (c < 0x80) return In(c, 'a', 'z') ? c - 0x20 : c;
  if (c < 0x100) {
    if (c == 0xB5) return 0x39C;                        // micro sign -> Greek capital mu
    if (In(c, 0xE0, 0xFE) && c != 0xF7) return c - 0x20;
    if (c == 0xFF) return 0x178;
    return c;
  }
  if (c < 0x180) {                                      // Latin Extended-A
    if (c == 0x131) return 'I';
    if (c == 0x17F) return 'S';
    if (In(c, 0x100, 0x137) && c != 0x130) return IsEven(c) ? c : c - 1;
    if (In(c, 0x139, 0x148)) return IsEven(c) ? c - 1 : c;
    if (In(c, 0x14A, 0x177)) return IsEven(c) ? c : c - 1;
    if (In(c, 0x179, 0x17E)) return IsEven(c) ? c - 1 : c;
    return c;
  }
  if (c < 0x250) {                                      // Latin Extended-B: pinyin tones, Romanian
    if (In(c, 0x1CD, 0x1DC)) return IsEven(c) ? c - 1 : c;
    if (In(c, 0x1DE, 0x1EF) || In(c, 0x1F8, 0x21F) || In(c, 0x222, 0x233)) return IsEven(c) ? c : c - 1;
    return c;
  }
  if (In(c, 0x345, 0x3FF)) {                            // Greek
    if (c == 0x345) return 0x399;
    if (c == 0x371 || c == 0x373 || c == 0x377) return c - 1;
    if (In(c, 0x37B, 0x37D)) return c + 0x82;
    if (c == 0x3AC) return 0x386;
    if (In(c, 0x3AD, 0x3AF)) return c - 0x25;
    if (c == 0x3C2) return 0x3A3;                       // final sigma
    if (In(c, 0x3B1, 0x3CB)) return c - 0x20;
    if (c == 0x3CC) return 0x38C;
    if (In(c, 0x3CD, 0x3CE)) return c - 0x3F;
    switch (c) {
      case 0x3D0: return 0x392;
      case 0x3D1: return 0x398;
      case 0x3D5: return 0x3A6;
      case 0x3D6: return 0x3A0;
      case 0x3D7: return 0x3CF;
      case 0x3F0: return 0x39A;
      case 0x3F1: return 0x3A1;
      case 0x3F2: return 0x3F9;
      case 0x3F3: return 0x37F;
      case 0x3F5: return 0x395;
      case 0x3F8: return 0x3F7;
      case 0x3FB: return 0x3FA;
      default: break;
    }
    if (In(c, 0x3D8, 0x3EF)) return IsEven(c) ? c : c - 1;
    return c;
  }
  if (In(c, 0x400, 0x52F)) {                            // Cyrillic and its supplement
    if (In(c, 0x430, 0x44F)) return c - 0x20;
    if (In(c, 0x450, 0x45F)) return c - 0x50;
    if (In(c, 0x460, 0x481) || In(c, 0x48A, 0x4BF) || In(c, 0x4D0, 0x52F)) return IsEven(c) ? c : c - 1;
    if (c == 0x4CF) return 0x4C0;
    if (In(c, 0x4C1, 0x4CE)) return IsEven(c) ? c - 1 : c;
    return c;
  }
  if (In(c, 0x1E00, 0x1EFF)) {                          // Latin Extended Additional
    if (c == 0x1E9B) return 0x1E60;
    if (In(c, 0x1E00, 0x1E95) || In(c, 0x1EA0, 0x1EFF)) return IsEven(c) ? c : c - 1;
    return c;
  }
  if (In(c, 0xFF41, 0xFF5A)) return c - 0x20;           // fullwidth Latin
  return c;
}

// The lower case of one code point (itself when it has none).
char32_t LowerOf(char32_t c) {
  if (c < 0x80) return In(c, 'A', 'Z') ? c + 0x20 : c;
  if (c < 0x100) return (In(c, 0xC0, 0xDE) && c != 0xD7) ? c + 0x20 : c;
  if (c < 0x180) {
    if (c == 0x130) return 'i';
    if (c == 0x178) return 0xFF;
    if (In(c, 0x100, 0x137) && c != 0x131) return IsEven(c) ? c + 1 : c;
    if (In(c, 0x139, 0x148)) return IsEven(c) ? c : c + 1;
    if (In(c, 0x14A, 0x177)) return IsEven(c) ? c + 1 : c;
    if (In(c, 0x179, 0x17E)) return IsEven(c) ? c : c + 1;
    return c;
  }
  if (c < 0x250) {
    if (In(c, 0x1CD, 0x1DC)) return IsEven(c) ? c : c + 1;
    if (In(c, 0x1DE, 0x1EF) || In(c, 0x1F8, 0x21F) || In(c, 0x222, 0x233)) return IsEven(c) ? c + 1 : c;
    return c;
  }
  if (In(c, 0x370, 0x3FF)) {
    if (c == 0x370 || c == 0x372 || c == 0x376) return c + 1;
    if (c == 0x37F) return 0x3F3;
    if (c == 0x386) return 0x3AC;
    if (In(c, 0x388, 0x38A)) return c + 0x25;
    if (c == 0x38C) return 0x3CC;
    if (In(c, 0x38E, 0x38F)) return c + 0x3F;
    if (In(c, 0x391, 0x3AB) && c != 0x3A2) return c + 0x20;
    switch (c) {
      case 0x3CF: return 0x3D7;
      case 0x3F4: return 0x3B8;
      case 0x3F7: return 0x3F8;
      case 0x3F9: return 0x3F2;
      case 0x3FA: return 0x3FB;
      default: break;
    }
    if (In(c, 0x3D8, 0x3EF)) return IsEven(c) ? c + 1 : c;
    if (In(c, 0x3FD, 0x3FF)) return c - 0x82;
    return c;
  }
  if (In(c, 0x400, 0x52F)) {
    if (In(c, 0x400, 0x40F)) return c + 0x50;
    if (In(c, 0x410, 0x42F)) return c + 0x20;
    if (In(c, 0x460, 0x481) || In(c, 0x48A, 0x4BF) || In(c, 0x4D0, 0x52F)) return IsEven(c) ? c + 1 : c;
    if (c == 0x4C0) return 0x4CF;
    if (In(c, 0x4C1, 0x4CE)) return IsEven(c) ? c : c + 1;
    return c;
  }
  if (In(c, 0x1E00, 0x1EFF)) {
    if (c == 0x1E9E) return 0xDF;
    if (In(c, 0x1E00, 0x1E95) || In(c, 0x1EA0, 0x1EFF)) return IsEven(c) ? c + 1 : c;
    return c;
  }
  if (In(c, 0xFF21, 0xFF3A)) return c + 0x20;
  return c;
}

char32_t FoldOf(char32_t c) { return LowerOf(UpperOf(c)); }

// The text with every code point mapped; malformed bytes and unmapped
// characters are copied as they stand. ASCII text, the common case, is
// mapped byte by byte through a table.
template <char32_t (*Map)(char32_t)>
std::string MapCase(std::string_view s) {
  static const std::array<char, 128> ascii = [] {
    std::array<char, 128> t{};
    for (char32_t c = 0; c < 128; ++c) t[c] = static_cast<char>(Map(c));
    return t;
  }();
  std::string out(s);
  size_t i = 0;
  for (; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0x80) break;
    out[i] = ascii[c];
  }
  if (i == s.size()) return out;
  out.resize(i);
  while (i < s.size()) {
    char32_t cp;
    const int len = DecodeUtf8(s, i, cp);
    if (len == 0) {
      out += s[i++];
      continue;
    }
    const char32_t mapped = Map(cp);
    if (mapped == cp)
      out.append(s.substr(i, static_cast<size_t>(len)));
    else
      AppendUtf8(out, mapped);
    i += static_cast<size_t>(len);
  }
  return out;
}

std::string UpperText(std::string_view s) { return MapCase<UpperOf>(s); }
std::string LowerText(std::string_view s) { return MapCase<LowerOf>(s); }

// Code point comparison, optionally case-folded; -1, 0 or 1. Allocation-free.
int CompareCodePoints(std::string_view a, std::string_view b, bool fold) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    char32_t x = NextCodePoint(a, i);
    char32_t y = NextCodePoint(b, j);
    if (fold) {
      x = FoldOf(x);
      y = FoldOf(y);
    }
    if (x != y) return x < y ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

// ---- Result-type bases ----------------------------------------------------------------------

// Functions of texts with an integer result; argument counts per function.
class TTextIntFunction : public TFunction {
  KV_CLASS(TTextIntFunction, TFunction)
public:
  bool TransOverOK() override {
    DataType = etInteger;
    return true;
  }
};
KV_IMPLEMENT_CLASS(TTextIntFunction, TFunction)

// Functions of texts with a boolean result.
class TTextBoolFunction : public TFunction {
  KV_CLASS(TTextBoolFunction, TFunction)
public:
  bool TransOverOK() override {
    DataType = etBoolean;
    return true;
  }
};
KV_IMPLEMENT_CLASS(TTextBoolFunction, TFunction)

// ---- Comparison ----------------------------------------------------------------------------
// Two texts of any type (numbers by their text form) compared by Compare,
// with or without case folding (Fold); the body and its parameters of each
// function are its row of the table below.
//   CompareStr, CompareText: bytes; CompareText compares ASCII letters upper-cased.
//   SameText: equal bytes with ASCII letters compared upper-cased.
//   WideCompareStr, WideSameStr: code points; WideCompareText, WideSameText:
//   the same after case folding.
using TTextCompareFn = int (*)(std::string_view, std::string_view, bool);

// On TTextIntFunction: -1, 0 or 1. On TTextBoolFunction: whether the
// comparison finds the texts equal.
template <class Base, TTextCompareFn Compare, bool Fold>
class TTextComparison : public Base {
public:
  int FixedParamCount() const override { return 2; }
  void Calculate() override {
    TTextBuffer a, b;
    const int order = Compare(TextArg(this->Arg(0), a), TextArg(this->Arg(1), b), Fold);
    if constexpr (std::is_same_v<Base, TTextBoolFunction>)
      this->PutBoolean(order == 0);
    else
      this->PutInteger(order);
  }
};
template <TTextCompareFn Compare, bool Fold>
using TTextCompare = TTextComparison<TTextIntFunction, Compare, Fold>;
template <TTextCompareFn Compare, bool Fold>
using TTextSame = TTextComparison<TTextBoolFunction, Compare, Fold>;

// (string S, integer I, integer N) with a text result: Copy, Delete, MidStr.
class TStrIntIntFunction : public TStrFunction {
  KV_CLASS(TStrIntIntFunction, TStrFunction)
public:
  int FixedParamCount() const override { return 3; }
  TExpTypeSet ArgTypes(int index) const override { return index == 0 ? tsString : tsInteger; }
};
KV_IMPLEMENT_CLASS(TStrIntIntFunction, TStrFunction)

// (string S, integer N) with a text result: LeftStr, RightStr.
class TStrIntFunction : public TStrFunction {
  KV_CLASS(TStrIntFunction, TStrFunction)
public:
  int FixedParamCount() const override { return 2; }
  TExpTypeSet ArgTypes(int index) const override { return index == 0 ? tsString : tsInteger; }
};
KV_IMPLEMENT_CLASS(TStrIntFunction, TStrFunction)

// ---- The functions ------------------------------------------------------------------------------

// ASC(any S): the code (0 to 255) of the first byte of S's text, 0 for ''.
class TExp_ASC : public TTextIntFunction {
  KV_CLASS(TExp_ASC, TTextIntFunction)
public:
  void Calculate() override {
    TTextBuffer b;
    const std::string_view s = TextArg(Arg(0), b);
    PutInteger(s.empty() ? 0 : static_cast<unsigned char>(s[0]));
  }
};
KV_IMPLEMENT_CLASS(TExp_ASC, TTextIntFunction)

// ChrS(any C, any N): the character C repeated N times ('' for N <= 0).
class TExp_ChrS : public TStrFunction {
  KV_CLASS(TExp_ChrS, TStrFunction)
public:
  int FixedParamCount() const override { return 2; }
  void Calculate() override {
    const char c = Arg(0) ? Arg(0)->GetChar() : '\0';
    const int64_t n = IntArg(Arg(1));
    if (n > kMaxChrSCount)
      throw EOutOfResources("ChrS: " + std::to_string(n) + " characters exceed the limit of " +
                            std::to_string(kMaxChrSCount));
    PutText(*this, n > 0 ? std::string(static_cast<size_t>(n), c) : std::string());
  }
};
KV_IMPLEMENT_CLASS(TExp_ChrS, TStrFunction)

// Concat(2 to 10 characters or texts): the texts joined in order. An
// eleventh argument has no place: the translator reports trNeedBracket, as
// for any call with more arguments than the function takes.
class TExp_Concat : public TStrFunction {
  KV_CLASS(TExp_Concat, TStrFunction)
public:
  int FixedParamCount() const override { return 2; }
  int OptionalParamCount() const override { return kSubExpCount - 2; }
  TExpTypeSet ArgTypes(int) const override { return tsText; }
  void Calculate() override {
    std::string r;
    for (int i = 0; i < kSubExpCount; ++i) {
      const TExpression* a = Arg(i);
      if (!a) continue;
      TTextBuffer b;
      r.append(a->GetText(b));
    }
    PutText(*this, std::move(r));
  }
};
KV_IMPLEMENT_CLASS(TExp_Concat, TStrFunction)

// Copy(string S, integer I, integer N), MidStr: N bytes of S from position I.
class TExp_Copy : public TStrIntIntFunction {
  KV_CLASS(TExp_Copy, TStrIntIntFunction)
public:
  void Calculate() override {
    TTextBuffer b;
    PutText(*this, CopyPiece(TextArg(Arg(0), b), IntArg(Arg(1)), IntArg(Arg(2))));
  }
};
KV_IMPLEMENT_CLASS(TExp_Copy, TStrIntIntFunction)

// Delete(string S, integer I, integer N): S without N bytes from position I;
// S itself when I is outside S or N <= 0.
class TExp_Delete : public TStrIntIntFunction {
  KV_CLASS(TExp_Delete, TStrIntIntFunction)
public:
  void Calculate() override {
    TTextBuffer b;
    PutText(*this, DeletePiece(TextArg(Arg(0), b), IntArg(Arg(1)), IntArg(Arg(2))));
  }
};
KV_IMPLEMENT_CLASS(TExp_Delete, TStrIntIntFunction)

// Insert(string Sub, string S, integer I): S with Sub inserted before
// position I (at the front for I < 1, at the end for I past S).
class TExp_Insert : public TStrFunction {
  KV_CLASS(TExp_Insert, TStrFunction)
public:
  int FixedParamCount() const override { return 3; }
  TExpTypeSet ArgTypes(int index) const override { return index < 2 ? tsString : tsInteger; }
  void Calculate() override {
    TTextBuffer sub, s;
    PutText(*this, InsertPiece(TextArg(Arg(0), sub), TextArg(Arg(1), s), IntArg(Arg(2))));
  }
};
KV_IMPLEMENT_CLASS(TExp_Insert, TStrFunction)

// LTrim(any): the text without leading bytes 0, 9, 10, 13 and 32.
class TExp_LTrim : public TStrFunction {
  KV_CLASS(TExp_LTrim, TStrFunction)
public:
  void Calculate() override {
    TTextBuffer b;
    PutText(*this, TrimLeft(TextArg(Arg(0), b)));
  }
};
KV_IMPLEMENT_CLASS(TExp_LTrim, TStrFunction)

// LeftStr(string S, integer N): the first N bytes of S.
class TExp_LeftStr : public TStrIntFunction {
  KV_CLASS(TExp_LeftStr, TStrIntFunction)
public:
  void Calculate() override {
    TTextBuffer b;
    PutText(*this, LeftPiece(TextArg(Arg(0), b), IntArg(Arg(1))));
  }
};
KV_IMPLEMENT_CLASS(TExp_LeftStr, TStrIntFunction)

// Length(any): the number of bytes of the argument's text form.
class TExp_Length : public TTextIntFunction {
  KV_CLASS(TExp_Length, TTextIntFunction)
public:
  void Calculate() override {
    TTextBuffer b;
    PutInteger(static_cast<int64_t>(TextArg(Arg(0), b).size()));
  }
};
KV_IMPLEMENT_CLASS(TExp_Length, TTextIntFunction)

// Lower(any), WideLowerCase(any): the text in lower case.
class TExp_Lower : public TStrFunction {
  KV_CLASS(TExp_Lower, TStrFunction)
public:
  void Calculate() override {
    TTextBuffer b;
    PutText(*this, LowerText(TextArg(Arg(0), b)));
  }
};
KV_IMPLEMENT_CLASS(TExp_Lower, TStrFunction)

// Pos(any Sub, any S): the first position of Sub in S; 0 when absent or
// when Sub is empty.
class TExp_Pos : public TTextIntFunction {
  KV_CLASS(TExp_Pos, TTextIntFunction)
public:
  int FixedParamCount() const override { return 2; }
  void Calculate() override {
    TTextBuffer a, b;
    const std::string_view sub = TextArg(Arg(0), a);
    const std::string_view s = TextArg(Arg(1), b);
    const size_t at = sub.empty() ? std::string_view::npos : s.find(sub);
    PutInteger(at == std::string_view::npos ? 0 : static_cast<int64_t>(at) + 1);
  }
};
KV_IMPLEMENT_CLASS(TExp_Pos, TTextIntFunction)

// RightStr(string S, integer I): S from position I to its end.
class TExp_RightStr : public TStrIntFunction {
  KV_CLASS(TExp_RightStr, TStrIntFunction)
public:
  void Calculate() override {
    TTextBuffer b;
    PutText(*this, RightPiece(TextArg(Arg(0), b), IntArg(Arg(1))));
  }
};
KV_IMPLEMENT_CLASS(TExp_RightStr, TStrIntFunction)

// RPos(any C, any S): the last position of the character C in S, 0 when
// absent. The search is foundation's RPos: its answer is one byte, so in a
// text longer than 255 bytes it looks backwards from (length mod 256).
class TExp_RPos : public TTextIntFunction {
  KV_CLASS(TExp_RPos, TTextIntFunction)
public:
  int FixedParamCount() const override { return 2; }
  void Calculate() override {
    const char c = Arg(0) ? Arg(0)->GetChar() : '\0';
    TTextBuffer b;
    PutInteger(RPos(c, TextArg(Arg(1), b)));
  }
};
KV_IMPLEMENT_CLASS(TExp_RPos, TTextIntFunction)

// RTrim(any): the text without trailing bytes 0, 9, 10, 13 and 32.
class TExp_RTrim : public TStrFunction {
  KV_CLASS(TExp_RTrim, TStrFunction)
public:
  void Calculate() override {
    TTextBuffer b;
    PutText(*this, TrimRight(TextArg(Arg(0), b)));
  }
};
KV_IMPLEMENT_CLASS(TExp_RTrim, TStrFunction)

// SubS(any S, any I, any N): as Copy, over the text form and integer values
// of arguments of any type.
class TExp_SubS : public TStrFunction {
  KV_CLASS(TExp_SubS, TStrFunction)
public:
  int FixedParamCount() const override { return 3; }
  void Calculate() override {
    TTextBuffer b;
    PutText(*this, CopyPiece(TextArg(Arg(0), b), IntArg(Arg(1)), IntArg(Arg(2))));
  }
};
KV_IMPLEMENT_CLASS(TExp_SubS, TStrFunction)

// Trim(any): the text without leading and trailing bytes 0, 9, 10, 13, 32.
class TExp_Trim : public TStrFunction {
  KV_CLASS(TExp_Trim, TStrFunction)
public:
  void Calculate() override {
    TTextBuffer b;
    PutText(*this, TrimLeft(TrimRight(TextArg(Arg(0), b))));
  }
};
KV_IMPLEMENT_CLASS(TExp_Trim, TStrFunction)

// UpLower(any): the text in lower case with its first byte upper-cased when
// that byte is an ASCII letter.
class TExp_UpLower : public TStrFunction {
  KV_CLASS(TExp_UpLower, TStrFunction)
public:
  void Calculate() override {
    TTextBuffer b;
    std::string r = LowerText(TextArg(Arg(0), b));
    if (!r.empty()) r[0] = AsciiUpper(r[0]);
    PutText(*this, std::move(r));
  }
};
KV_IMPLEMENT_CLASS(TExp_UpLower, TStrFunction)

// Upper(any), WideUpperCase(any): the text in upper case.
class TExp_Upper : public TStrFunction {
  KV_CLASS(TExp_Upper, TStrFunction)
public:
  void Calculate() override {
    TTextBuffer b;
    PutText(*this, UpperText(TextArg(Arg(0), b)));
  }
};
KV_IMPLEMENT_CLASS(TExp_Upper, TStrFunction)

// The text batch, in registration order.
const TFunctionBatchRegistrar g_functions{fbText, 0, {
    {"ASC", TExp_ASC::StaticClass()},
    {"ChrS", TExp_ChrS::StaticClass()},
    {"CompareStr", FunctionClass<TTextCompare<CompareBytes, false>, "TExp_CompareStr">()},
    {"CompareText", FunctionClass<TTextCompare<CompareBytes, true>, "TExp_CompareText">()},
    {"Concat", TExp_Concat::StaticClass()},
    {"Copy", TExp_Copy::StaticClass()},
    {"Delete", TExp_Delete::StaticClass()},
    {"Insert", TExp_Insert::StaticClass()},
    {"LTrim", TExp_LTrim::StaticClass()},
    {"LeftStr", TExp_LeftStr::StaticClass()},
    {"Length", TExp_Length::StaticClass()},
    {"Lower", TExp_Lower::StaticClass()},
    {"MidStr", TExp_Copy::StaticClass()},
    {"Pos", TExp_Pos::StaticClass()},
    {"RightStr", TExp_RightStr::StaticClass()},
    {"RPos", TExp_RPos::StaticClass()},
    {"RTrim", TExp_RTrim::StaticClass()},
    {"SameText", FunctionClass<TTextSame<CompareBytes, true>, "TExp_SameText">()},
    {"SubS", TExp_SubS::StaticClass()},
    {"Trim", TExp_Trim::StaticClass()},
    {"UpLower", TExp_UpLower::StaticClass()},
    {"Upper", TExp_Upper::StaticClass()},
    {"WideSameStr", FunctionClass<TTextSame<CompareCodePoints, false>, "TExp_WideSameStr">()},
    {"WideSameText", FunctionClass<TTextSame<CompareCodePoints, true>, "TExp_WideSameText">()},
    {"WideUpperCase", TExp_Upper::StaticClass()},
    {"WideLowerCase", TExp_Lower::StaticClass()},
    {"WideCompareStr", FunctionClass<TTextCompare<CompareCodePoints, false>, "TExp_WideCompareStr">()},
    {"WideCompareText", FunctionClass<TTextCompare<CompareCodePoints, true>, "TExp_WideCompareText">()},
}};

}  // namespace

}  // namespace kv
