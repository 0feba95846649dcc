// Character classes of single bytes. Text is UTF-8: these functions look
// at ASCII only, and every byte >= 0x80 is in none of the classes (name
// scanners that accept such bytes say so themselves).
#pragma once

#include <string>
#include <string_view>

namespace kv {

constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
constexpr bool IsAsciiLower(char c) { return c >= 'a' && c <= 'z'; }
constexpr bool IsAsciiUpper(char c) { return c >= 'A' && c <= 'Z'; }
constexpr bool IsAsciiLetter(char c) { return IsAsciiLower(c) || IsAsciiUpper(c); }
constexpr char AsciiUpper(char c) { return IsAsciiLower(c) ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr char AsciiLower(char c) { return IsAsciiUpper(c) ? static_cast<char>(c - 'A' + 'a') : c; }

// `text` with its ASCII letters upper-cased; other bytes are kept.
inline std::string AsciiUpperCase(std::string_view text) {
  std::string s(text);
  for (char& c : s) c = AsciiUpper(c);
  return s;
}

}  // namespace kv
