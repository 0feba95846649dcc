// UTF-8: the one place where text is decoded, encoded, validated and
// counted in characters.
//
// Malformed input: a well-formed sequence is the shortest encoding of a
// code point up to U+10FFFF that is not a surrogate (RFC 3629). Any byte
// that does not start a well-formed sequence (a stray continuation byte,
// a lead byte whose sequence is cut short or broken, an overlong form, a
// surrogate, 0xC0, 0xC1, 0xF5..0xFF) is one malformed byte on its own,
// and decoding goes on with the next byte. What stands for a malformed
// byte is the caller's choice and is said where it is made: U+FFFD in
// UTF-16 text (Utf8ToUtf16), the byte itself as a character of its own
// when characters are counted.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "KVLib_export.h"

namespace kv {

// The length (1 to 4) of the well-formed sequence that starts at s[i], or
// 0 when s[i] is a malformed byte; `cp` receives the code point. i < s.size().
KVLIB_EXPORT int DecodeUtf8(std::string_view s, size_t i, char32_t& cp);

// Appends the UTF-8 form of `cp` (a surrogate or a value above U+10FFFF
// is written as U+FFFD).
KVLIB_EXPORT void AppendUtf8(std::string& out, char32_t cp);

// Every byte of `s` belongs to a well-formed sequence.
KVLIB_EXPORT bool IsValidUtf8(std::string_view s);

// The byte offset of the first malformed byte, or s.size() when there is none.
KVLIB_EXPORT size_t FirstMalformedUtf8(std::string_view s);

// The number of characters: each well-formed sequence and each malformed byte count one.
KVLIB_EXPORT size_t Utf8CharCount(std::string_view s);

// The number of bytes that the first `chars` characters of `s` take (all
// of `s` when it has fewer), counting as Utf8CharCount does: a cut never
// falls inside a well-formed sequence.
KVLIB_EXPORT size_t Utf8PrefixBytes(std::string_view s, size_t chars);

// UTF-8 to UTF-16; each malformed byte becomes U+FFFD.
KVLIB_EXPORT std::u16string Utf8ToUtf16(std::string_view utf8);
// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
KVLIB_EXPORT std::string Utf16ToUtf8(std::u16string_view utf16);

// Told of each malformed run of input bytes: its offset in the input and its length.
using TMalformedBytesFn = std::function<void(size_t offset, size_t length)>;

// UTF-16 held as bytes (little- or big-endian code units, as a file holds
// them) appended to `out` as UTF-8; returns the bytes consumed. Without
// `final`, a code unit or surrogate pair cut by the end of `bytes` is left
// unconsumed for the next call. Malformed input, an unpaired surrogate (its
// two bytes) or, with `final`, a last odd byte, is appended as U+FFFD after
// `onMalformed` (when given) has been told of it, so a caller that must not
// replace text silently knows exactly where it happened.
KVLIB_EXPORT size_t AppendUtf16BytesAsUtf8(std::string_view bytes, bool bigEndian, bool final, std::string& out,
                                           const TMalformedBytesFn& onMalformed = {});

}  // namespace kv
