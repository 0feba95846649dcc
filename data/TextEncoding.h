// The encodings of text files: which names mean UTF-8 or UTF-16, and the
// conversion of any other encoding the C library's iconv knows (GB18030,
// GBK, CP1252, CP437, CP850, ...) to UTF-8.
//
// Contract of the conversion: a byte that does not convert is never
// dropped or replaced silently. Each one is appended to the output as
// U+FFFD only after the caller has been told its offset and length, so the
// caller can refuse the text that holds it (the text record reader makes
// such a record a bad record and names the bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "KVCore_export.h"
#include "foundation/Utf8.h"

namespace kv {

enum TTextEncodingKind : uint8_t { tekUtf8, tekUtf16LE, tekUtf16BE, tekOther };

// "" and UTF-8 in any spelling (utf8, Utf-8) are tekUtf8; UTF-16LE and
// UTF-16BE the two UTF-16 forms; any other name tekOther.
KVCORE_EXPORT TTextEncodingKind TextEncodingKind(std::string_view name);

// Raises EDatabaseError "Unknown text encoding 'NAME'" unless `name` is
// UTF-8, UTF-16LE/BE or a name iconv converts to UTF-8.
KVCORE_EXPORT void CheckTextEncoding(const std::string& name);

// One conversion from an iconv encoding to UTF-8, reused chunk after chunk.
class KVCORE_EXPORT TTextDecoder {
public:
  // Raises EDatabaseError "Unknown text encoding 'NAME'".
  explicit TTextDecoder(const std::string& name);
  ~TTextDecoder();
  TTextDecoder(const TTextDecoder&) = delete;
  TTextDecoder& operator=(const TTextDecoder&) = delete;

  const std::string& Name() const { return name_; }

  // Appends `in` converted to `out`; returns the bytes consumed. Without
  // `final`, a character cut by the end of `in` is left for the next call;
  // with it everything is consumed. Each byte that does not convert is told
  // to `onMalformed` (offset in `in`, length 1; a cut character at the end
  // with `final` is one run) and then appended as U+FFFD.
  size_t Convert(std::string_view in, bool final, std::string& out, const TMalformedBytesFn& onMalformed = {});

private:
  std::string name_;
  void* cd_;  // iconv_t
};

// "C8 AB 0D": bytes in hexadecimal, separated by blanks, for messages.
KVCORE_EXPORT std::string HexBytes(std::string_view bytes);

}  // namespace kv
