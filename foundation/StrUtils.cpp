#include "foundation/StrUtils.h"
#include "foundation/CharClass.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace kv {

namespace {

// Length of a text as a position count (texts beyond 2 GB are cut there).
int Len(std::string_view text) { return static_cast<int>(std::min<size_t>(text.size(), INT_MAX - 1)); }

// The byte at 1-based `pos`; callers check the range.
char At(std::string_view text, int pos) { return text[static_cast<size_t>(pos - 1)]; }

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsQuote(char c) { return c == '\'' || c == '"'; }

// Digits only (no sign): decimal, or '$' with hexadecimal digits.
int SeekEndOfUnsigned(std::string_view text, int pos) {
  const int len = Len(text);
  if (pos < 1 || pos > len) return pos;
  int p = pos;
  if (At(text, p) == '$') {
    ++p;
    if (p > len || !IsHexDigit(At(text, p))) return pos;
    while (p <= len && IsHexDigit(At(text, p))) ++p;
    return p;
  }
  while (p <= len && IsDigit(At(text, p))) ++p;
  return p;
}

// End of one quoted piece starting at `pos` (which holds the quote).
int SeekEndOfQuoted(std::string_view text, int pos) {
  const int len = Len(text);
  const char quote = At(text, pos);
  int p = pos + 1;
  while (p <= len && At(text, p) != quote) ++p;
  return p <= len ? p + 1 : len + 1;
}

// End of one piece of a string constant at `pos`, or `pos` when none.
int SeekEndOfPiece(std::string_view text, int pos) {
  const int len = Len(text);
  if (pos < 1 || pos > len) return pos;
  const char c = At(text, pos);
  if (IsQuote(c)) return SeekEndOfQuoted(text, pos);
  if (c == '#') {
    int e = SeekEndOfUnsigned(text, pos + 1);
    return e > pos + 1 ? e : pos;
  }
  if (c == '^') {
    if (pos + 1 <= len && (IsLetter(At(text, pos + 1)) || At(text, pos + 1) == '_')) return pos + 2;
    return pos;
  }
  return pos;
}

// Value of an integer text as SeekEndOfInt recognises it (wrapping).
int64_t IntValue(std::string_view s) {
  size_t i = 0;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  uint64_t v = 0;
  if (i < s.size() && s[i] == '$') {
    for (++i; i < s.size(); ++i) {
      char c = s[i];
      unsigned d = IsDigit(c) ? unsigned(c - '0') : unsigned(AsciiUpper(c) - 'A' + 10);
      v = v * 16 + d;
    }
  } else {
    for (; i < s.size(); ++i) v = v * 10 + unsigned(s[i] - '0');
  }
  if (neg) v = 0 - v;
  return static_cast<int64_t>(v);
}

}  // namespace

// ---- Parameter lists and lines ----------------------------------------------

int SeekSplit(std::string_view text, char separator, int start) {
  const int len = Len(text);
  int p = std::max(start, 1);
  while (p <= len) {
    const char c = At(text, p);
    if (c == separator) return p;
    if (IsQuote(c)) {
      p = SeekEndOfStr(text, p);
    } else {
      ++p;
    }
  }
  return len + 1;
}

int SParamCount(std::string_view text, char separator) {
  const int len = Len(text);
  if (len == 0) return 0;
  int count = 1;
  int p = SeekSplit(text, separator, 1);
  while (p <= len) {
    if (p < len) ++count;
    p = SeekSplit(text, separator, p + 1);
  }
  return count;
}

std::string SParam(std::string_view text, char separator, int n) {
  const int len = Len(text);
  int start = 1;
  for (int field = 0;; ++field) {
    const int end = SeekSplit(text, separator, start);
    // The field ends the list when it is the one asked for, when no separator
    // follows, or when its separator is the last byte of the text.
    if (field >= n || end >= len) return std::string(text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(end - start)));
    start = end + 1;
  }
}

std::string CutSParam(std::string& text, char separator) {
  const int end = SeekSplit(text, separator, 1);
  std::string first = text.substr(0, static_cast<size_t>(end - 1));
  text.erase(0, std::min(text.size(), static_cast<size_t>(end)));
  return first;
}

void SeparateEnvLine(std::string_view line, std::string& key, std::string& value) {
  const size_t eq = line.find('=');
  std::string_view k = line.substr(0, eq);
  value = eq == std::string_view::npos ? std::string() : std::string(line.substr(eq + 1));
  key = LTrim(Trim(k));
  for (char& c : key) c = AsciiUpper(c);
}

// ---- Trimming and pieces ----------------------------------------------------

std::string Trim(std::string_view text) {
  size_t n = text.size();
  while (n > 0 && IsTrimChar(text[n - 1])) --n;
  return std::string(text.substr(0, n));
}

std::string RTrim(std::string_view text) { return Trim(text); }

std::string LTrim(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsTrimChar(text[i])) ++i;
  return std::string(text.substr(i));
}

std::string LeftStr(std::string_view text, int n) {
  if (n <= 0) return std::string();
  return std::string(text.substr(0, static_cast<size_t>(n)));
}

std::string RightStr(std::string_view text, int position) {
  if (position <= 1) return std::string(text);
  if (static_cast<size_t>(position) > text.size()) return std::string();
  return std::string(text.substr(static_cast<size_t>(position - 1)));
}

uint8_t RPos(char c, std::string_view text) {
  size_t from = text.size() > 255 ? text.size() % 256 : text.size();
  for (size_t p = from; p >= 1; --p)
    if (text[p - 1] == c) return static_cast<uint8_t>(p);
  return 0;
}

bool Like(std::string_view text, std::string_view pattern) {
  const size_t plen = pattern.size();
  const size_t tlen = text.size();
  if (plen == 0) return tlen == 0;
  size_t i = 0;  // pattern index
  size_t j = 0;  // text index
  bool star = false;
  // Each round moves i or j forward, so the loop is linear. The first round
  // always runs, which lets "*" match the empty text.
  do {
    const char pc = pattern[i];
    if (pc == '*') {
      star = true;
      ++i;
    } else if (pc == '?') {
      if (!star) ++j;
      ++i;
    } else {
      size_t width = 1;
      char lit = pc;
      if (pc == '\\') {
        if (i + 1 >= plen) return false;
        lit = pattern[i + 1];
        width = 2;
      }
      if (j < tlen && text[j] == lit) {
        i += width;
        ++j;
      } else if (!star) {
        return false;
      } else {
        size_t next = j < tlen ? text.find(lit, j + 1) : std::string_view::npos;
        j = next == std::string_view::npos ? tlen : next;
      }
      star = false;
    }
  } while (i < plen && j < tlen);
  return i >= plen && (star || j >= tlen);
}

std::string UpcaseFirst(std::string_view text) {
  std::string s(text);
  for (char& c : s) c = AsciiLower(c);
  if (!s.empty()) s[0] = AsciiUpper(s[0]);
  return s;
}

void Replace(std::string& text, int position, int count, std::string_view insertion) {
  if (position >= 1 && static_cast<size_t>(position) <= text.size() && count > 0)
    text.erase(static_cast<size_t>(position - 1), static_cast<size_t>(count));
  size_t at = position < 1 ? 0 : std::min(text.size(), static_cast<size_t>(position - 1));
  text.insert(at, insertion);
}

std::string Space(int n) { return Chars(' ', n); }

std::string Chars(char c, int n) { return n > 0 ? std::string(static_cast<size_t>(n), c) : std::string(); }

// ---- Zero-terminated buffers --------------------------------------------------

char* StrCopy(char* dest, const char* source) {
  if (dest == nullptr) return dest;
  if (source == nullptr) {
    dest[0] = '\0';
  } else {
    std::memmove(dest, source, std::strlen(source) + 1);
  }
  return dest;
}

char* StrNew(std::string_view text) {
  char* p = new char[text.size() + 1];
  if (!text.empty()) std::memcpy(p, text.data(), text.size());
  p[text.size()] = '\0';
  return p;
}

void StrDispose(char* buffer) { delete[] buffer; }

void StrConcatPas(char*& buffer, std::initializer_list<std::string_view> texts) {
  std::string joined = buffer ? std::string(buffer) : std::string();
  for (std::string_view t : texts) joined.append(t);
  char* fresh = StrNew(joined);
  StrDispose(buffer);
  buffer = fresh;
}

size_t WideStrLen(const char16_t* text) {
  if (text == nullptr) return 0;
  size_t n = 0;
  while (text[n] != u'\0') ++n;
  return n;
}

// ---- Scanning -------------------------------------------------------------------

int SeekEndOfInt(std::string_view text, int position) {
  const int len = Len(text);
  if (position < 1 || position > len) return position;
  int p = position;
  if (At(text, p) == '+' || At(text, p) == '-') ++p;
  int e = SeekEndOfUnsigned(text, p);
  return e > p ? e : position;
}

int SeekEndOfNum(std::string_view text, int position) {
  const int len = Len(text);
  if (position < 1 || position > len) return position;
  int p = position;
  if (At(text, p) == '+' || At(text, p) == '-') ++p;
  if (p > len || !IsDigit(At(text, p))) return position;
  while (p <= len && (IsDigit(At(text, p)) || At(text, p) == '.')) ++p;
  if (p <= len && (At(text, p) == 'E' || At(text, p) == 'e')) {
    int e = SeekEndOfInt(text, p + 1);
    if (e > p + 1) p = e;
  }
  return p;
}

int SeekEndOfID(std::string_view text, int position, const TCharSet& first, const TCharSet& next) {
  const int len = Len(text);
  if (position < 1 || position > len || !first.Contains(At(text, position))) return position;
  int p = position + 1;
  while (p <= len && next.Contains(At(text, p))) ++p;
  return p;
}

int SeekEndOfStr(std::string_view text, int position) {
  int p = position;
  for (;;) {
    int e = SeekEndOfPiece(text, p);
    if (e == p) return p;
    p = e;
  }
}

int SeekCloseBracket(std::string_view text, int position, bool& found) {
  found = false;
  const int len = Len(text);
  if (position < 1 || position > len || At(text, position) != '(') return position;
  int depth = 0;
  int p = position;
  while (p <= len) {
    const char c = At(text, p);
    if (IsQuote(c)) {
      p = SeekEndOfQuoted(text, p);
      continue;
    }
    if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (--depth == 0) {
        found = true;
        return p + 1;
      }
    }
    ++p;
  }
  return len + 1;
}

std::string ConstToStr(std::string& text) {
  const int len = Len(text);
  int p = 1;
  while (p <= len && IsTrimChar(At(text, p))) ++p;
  std::string value;
  int end = 0;          // position after the last piece read
  char lastQuote = 0;   // quote of the last piece when it was a closed quoted piece
  for (;;) {
    // Between pieces: blanks and '+' may stand, but only if a piece follows.
    int q = p;
    if (end != 0) {
      while (q <= len && (IsTrimChar(At(text, q)) || At(text, q) == '+')) ++q;
    }
    const int e = SeekEndOfPiece(text, q);
    if (e == q) break;
    const char c = At(text, q);
    char quote = 0;
    if (IsQuote(c)) {
      const bool closed = e - 1 > q && At(text, e - 1) == c;
      // Two quoted pieces of the same kind side by side: the doubled quote
      // stands for the quote character itself.
      if (end == q && lastQuote == c) value.push_back(c);
      value.append(text, static_cast<size_t>(q), static_cast<size_t>(closed ? e - q - 2 : e - q - 1));
      if (closed) quote = c;
    } else if (c == '#') {
      const std::string_view digits = std::string_view(text).substr(static_cast<size_t>(q), static_cast<size_t>(e - q - 1));
      value.push_back(static_cast<char>(IntValue(digits) & 0xFF));
    } else {
      value.push_back(static_cast<char>(AsciiUpper(At(text, q + 1)) - 64));
    }
    lastQuote = quote;
    end = e;
    p = e;
  }
  if (end == 0) return std::string();
  text.erase(0, static_cast<size_t>(end - 1));
  return value;
}

int64_t ConstToInt(std::string& text) {
  const int e = SeekEndOfInt(text, 1);
  if (e == 1) return 0;
  const int64_t v = IntValue(std::string_view(text).substr(0, static_cast<size_t>(e - 1)));
  text.erase(0, static_cast<size_t>(e - 1));
  return v;
}

// ---- Boolean characters and words -------------------------------------------------

TBoolChars BoolChars() { return TBoolChars{'N', 'Y'}; }

TBoolStrs BoolStrs() { return TBoolStrs{"No", "Yes"}; }

void SetBoolChars(const TBoolChars&) {}

void SetBoolStrs(const TBoolStrs&) {}

}  // namespace kv
