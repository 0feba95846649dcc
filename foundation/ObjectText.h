// The text form of object streams:
//
//   object TKVEnvironment
//     DefaultFolder = '/data/'
//     object ExpOption: TExpressionOption
//       ZeroAsNull = True
//     end
//   end
//
// ObjectTextToBinary turns it into the binary stream; ObjectBinaryToText
// writes the text form of a binary stream, so that dumping a stream and
// converting the text back reproduces it byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/Streams.h"

namespace kv {

// The tokenizer of the text form. Identifiers start with a letter, "_" or
// any byte >= 0x80 (our text is UTF-8) and go on over letters, digits, "_"
// and bytes >= 0x80. Strings are runs of 'quoted' parts and #n character
// codes; numbers are decimal or $hexadecimal, reals may carry a suffix
// C (currency), D (date) or S (single).
class KVLIB_EXPORT TChineseParser {
public:
  enum : char { toEOF = 0, toSymbol = 1, toString = 2, toInteger = 3, toFloat = 4, toWString = 5 };

  explicit TChineseParser(std::string_view text);
  char NextToken();
  char Token() const { return token_; }
  // Identifier text, or the value of a string token (UTF-8).
  const std::string& TokenString() const { return text_; }
  std::u16string TokenWideString() const;
  int64_t TokenInt() const;
  long double TokenFloat() const;
  char FloatType() const { return floatType_; }  // 0, 'C', 'D' or 'S'
  const std::string& TokenText() const { return raw_; }
  bool TokenSymbolIs(std::string_view s) const;
  void CheckToken(char t) const;
  void CheckTokenSymbol(std::string_view s) const;
  int SourceLine() const { return line_; }
  [[noreturn]] void Error(const std::string& message) const;
  // Reads hexadecimal digit pairs up to "}" (the opening "{" is the current token).
  std::string HexToBinary();

private:
  std::string_view src_;
  size_t pos_ = 0;
  int line_ = 1;
  char token_ = toEOF;
  std::string text_;   // symbol name or string value (bytes; wide parts as UTF-8)
  std::string raw_;    // the token as written
  std::u16string wide_;
  bool isWide_ = false;
  char floatType_ = 0;
};

KVLIB_EXPORT void ObjectTextToBinary(TStream& input, TStream& output);
KVLIB_EXPORT void ObjectBinaryToText(TStream& input, TStream& output);
// String forms of the two.
KVLIB_EXPORT std::string ObjectTextToBinary(std::string_view text);
KVLIB_EXPORT std::string ObjectBinaryToText(std::string_view binary);

// The text form with the value of every non-empty text property whose name
// holds "password" (any letter case) written as kHiddenPassword instead, for
// showing a stream to people. Such a text does not convert back: see
// HoldsHiddenPassword.
KVLIB_EXPORT std::string ObjectBinaryToTextHidingPasswords(std::string_view binary);
inline constexpr const char* kHiddenPassword = "<hidden password>";
// The text holds a value written as kHiddenPassword.
KVLIB_EXPORT bool HoldsHiddenPassword(std::string_view text);

}  // namespace kv
