// Text helpers shared by the whole system: parameter lists that may hold
// quoted text, trimming, the token scanners of the expression language,
// string constants, boolean words and a few classic buffer routines.
//
// Texts are byte strings (UTF-8 in practice; every routine works byte by
// byte). Positions count bytes from 1; a scanner returns the position just
// after what it recognised, or its start position when nothing is recognised
// there. No routine here raises and none reads outside the text.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "KVLib_export.h"

namespace kv {

// ---- Character sets ---------------------------------------------------------

// A set of bytes (256 bits), usable in constant expressions.
class TCharSet {
public:
  constexpr TCharSet() = default;
  constexpr TCharSet(std::initializer_list<unsigned char> chars) {
    for (unsigned char c : chars) Add(c);
  }
  constexpr TCharSet& Add(unsigned char c) {
    bits_[c >> 6] |= uint64_t{1} << (c & 63);
    return *this;
  }
  constexpr TCharSet& AddRange(unsigned char first, unsigned char last) {
    for (unsigned c = first; c <= last; ++c) Add(static_cast<unsigned char>(c));
    return *this;
  }
  constexpr TCharSet& Remove(unsigned char c) {
    bits_[c >> 6] &= ~(uint64_t{1} << (c & 63));
    return *this;
  }
  constexpr bool Contains(unsigned char c) const { return (bits_[c >> 6] >> (c & 63)) & 1; }
  constexpr bool Contains(char c) const { return Contains(static_cast<unsigned char>(c)); }
  constexpr TCharSet operator|(const TCharSet& o) const {
    TCharSet r;
    for (int i = 0; i < 4; ++i) r.bits_[i] = bits_[i] | o.bits_[i];
    return r;
  }
  constexpr bool operator==(const TCharSet& o) const = default;

private:
  uint64_t bits_[4] = {0, 0, 0, 0};
};

// Bytes that may begin an identifier: 'A'-'Z', 'a'-'z', '_' and every byte
// from 0x80 up (so that UTF-8 letters of any script are accepted whole).
inline constexpr TCharSet IdentFirstChars =
    TCharSet{'_'}.AddRange('A', 'Z').AddRange('a', 'z').AddRange(0x80, 0xFF);
// Bytes that may continue an identifier: the above plus the digits.
inline constexpr TCharSet IdentNextChars = IdentFirstChars | TCharSet().AddRange('0', '9');

// The bytes removed by trimming: 0, tab, line feed, carriage return, blank.
inline constexpr bool IsTrimChar(char c) { return c == 0 || c == 9 || c == 10 || c == 13 || c == 32; }

// ---- Parameter lists and lines ----------------------------------------------

// Position of the next `separator` at or after `start`, stepping over string
// constants (a quote starts one, see SeekEndOfStr); length + 1 when none.
KVLIB_EXPORT int SeekSplit(std::string_view text, char separator, int start = 1);
// Number of fields: 1 + the separators found; a separator at the very end
// starts no further field; 0 for an empty text.
KVLIB_EXPORT int SParamCount(std::string_view text, char separator);
// Field `n` (from 0), quotes kept; the last field when `n` is past it.
KVLIB_EXPORT std::string SParam(std::string_view text, char separator, int n);
// Returns the first field and removes it, with its separator, from `text`.
KVLIB_EXPORT std::string CutSParam(std::string& text, char separator);
// Splits "key=value" at the first '=': the key is trimmed at both ends and
// upper-cased, the value is kept as it stands. Without '=' the whole line is
// the key and the value is empty.
KVLIB_EXPORT void SeparateEnvLine(std::string_view line, std::string& key, std::string& value);

// ---- Trimming and pieces ----------------------------------------------------

// Removes trim bytes at the end only (leading blanks stay).
KVLIB_EXPORT std::string Trim(std::string_view text);
// Same as Trim: removes trim bytes at the end.
KVLIB_EXPORT std::string RTrim(std::string_view text);
// Removes trim bytes at the start only.
KVLIB_EXPORT std::string LTrim(std::string_view text);
// The first `n` bytes (all of them when shorter, none for n <= 0).
KVLIB_EXPORT std::string LeftStr(std::string_view text, int n);
// The text from `position` to its end (whole text for position <= 1).
KVLIB_EXPORT std::string RightStr(std::string_view text, int position);
// Last position of `c`, 0 when absent. The result is one byte: a text longer
// than 255 bytes is searched backwards from position (length mod 256).
KVLIB_EXPORT uint8_t RPos(char c, std::string_view text);
// Wildcard match, case-sensitive, byte by byte, without backtracking:
//   '*'  sets a flag; the next literal is then sought at its first later
//        occurrence in the text. A trailing '*' needs at least one byte.
//   '?'  skips one text byte (but nothing right after a '*').
//   '\'  makes the next pattern byte a literal; a '\' at the end fails.
// The text matches when the pattern is used up and either a '*' is pending
// or the text is used up as well. Runs in linear time.
KVLIB_EXPORT bool Like(std::string_view text, std::string_view pattern);
// Lower-cases the text and upper-cases its first byte (ASCII letters only;
// bytes from 0x80 up are left alone).
KVLIB_EXPORT std::string UpcaseFirst(std::string_view text);
// Deletes `count` bytes at `position` and inserts `insertion` there. A
// position past the end appends; a position below 1 inserts at the front.
KVLIB_EXPORT void Replace(std::string& text, int position, int count, std::string_view insertion);
// `n` blanks; `n` copies of `c` (empty for n <= 0).
KVLIB_EXPORT std::string Space(int n);
KVLIB_EXPORT std::string Chars(char c, int n);

// ---- Zero-terminated buffers --------------------------------------------------

// Copies the zero-terminated `source` into `dest` (which must be large
// enough); a null source gives an empty text. Returns `dest`.
KVLIB_EXPORT char* StrCopy(char* dest, const char* source);
// A new zero-terminated copy of `text`; release it with StrDispose.
KVLIB_EXPORT char* StrNew(std::string_view text);
// Releases a buffer made by StrNew or StrConcatPas (null is fine).
KVLIB_EXPORT void StrDispose(char* buffer);
// Replaces `buffer` (null, or made by StrNew / StrConcatPas) by a new buffer
// holding its old contents followed by all `texts`; the old one is released.
KVLIB_EXPORT void StrConcatPas(char*& buffer, std::initializer_list<std::string_view> texts);
// Length of a zero-terminated UTF-16 text; 0 for null.
KVLIB_EXPORT size_t WideStrLen(const char16_t* text);

// ---- Scanning -------------------------------------------------------------------

// [+|-] then decimal digits, or '$' and hexadecimal digits.
KVLIB_EXPORT int SeekEndOfInt(std::string_view text, int position);
// [+|-], a digit, further digits and '.', then optionally 'E'/'e' and an
// integer as SeekEndOfInt recognises it (the exponent is left out when no
// integer follows the letter).
KVLIB_EXPORT int SeekEndOfNum(std::string_view text, int position);
// One byte of `first` followed by any number of bytes of `next`.
KVLIB_EXPORT int SeekEndOfID(std::string_view text, int position, const TCharSet& first = IdentFirstChars,
                             const TCharSet& next = IdentNextChars);
// A string constant: adjacent pieces, each a text in single or double quotes
// (a doubled quote is two adjacent pieces; an unterminated piece runs to the
// end of the text), '#' and a character code (decimal or '$' hexadecimal),
// or '^' and a letter or '_' (a control character).
KVLIB_EXPORT int SeekEndOfStr(std::string_view text, int position);
// From the '(' at `position`, the position after its matching ')', counting
// nested brackets and stepping over quoted pieces. When the text ends first
// `found` is false and the result is length + 1; when `position` does not
// hold '(' `found` is false and the result is `position`.
KVLIB_EXPORT int SeekCloseBracket(std::string_view text, int position, bool& found);

// Reads the string constant at the start of `text` (after leading trim
// bytes) and removes it: quoted pieces give their contents (a doubled quote
// one quote), #n the byte n (low 8 bits), ^x the byte (upper-cased x) - 64.
// Pieces may also be separated by blanks and '+'. Without a constant the
// result is empty and `text` is left unchanged.
KVLIB_EXPORT std::string ConstToStr(std::string& text);
// Reads and removes the integer at the start of `text` as SeekEndOfInt
// recognises it; 0 (text unchanged) when there is none. Wraps on overflow.
KVLIB_EXPORT int64_t ConstToInt(std::string& text);

// ---- Boolean characters and words -------------------------------------------------

// Indexed by the boolean: [false] = 'N', [true] = 'Y'.
using TBoolChars = std::array<char, 2>;
// Indexed by the boolean: [false] = "No", [true] = "Yes".
using TBoolStrs = std::array<std::string_view, 2>;
KVLIB_EXPORT TBoolChars BoolChars();
KVLIB_EXPORT TBoolStrs BoolStrs();
// Kept for callers that set them; the characters and words never change.
KVLIB_EXPORT void SetBoolChars(const TBoolChars& chars);
KVLIB_EXPORT void SetBoolStrs(const TBoolStrs& words);

}  // namespace kv
