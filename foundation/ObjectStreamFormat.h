// The layout of the binary object stream, shared by its writer and readers.
//
// A stream is a 4-byte signature "TPF0" and one object record:
//   class name, object name, (property name, value)*, 0x00, child record*, 0x00
// where a child record is an object record named after its property (object
// properties are stored as child records, every other kind as a value).
//
// Names carry no tag: a length byte 0-254 and the bytes, or 0xFF, a 4-byte
// length and the bytes. Values start with a one-byte tag (TValueTag); all
// numbers and lengths are little-endian.
//
// The older layout has no signature, no object names and no child sections;
// its values carry no tag and are read by the type the class declares.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "foundation/BaseObject.h"

namespace kv {

enum TValueTag : uint8_t {
  vaNull = 0x00,  // the end of a list or a section; a null object
  vaList = 0x01,  // values up to a vaNull
  vaInt8 = 0x02,
  vaInt16 = 0x03,
  vaInt32 = 0x04,
  vaExtended = 0x05,  // 10 bytes, the 80-bit x87 format
  vaString = 0x06,    // a length byte and the bytes
  vaIdent = 0x07,     // as vaString
  vaFalse = 0x08,
  vaTrue = 0x09,
  vaBinary = 0x0A,   // a 4-byte length and the bytes
  vaSet = 0x0B,      // names up to an empty name
  vaLString = 0x0C,  // a 4-byte length and the bytes
  vaNil = 0x0D,
  vaCollection = 0x0E,  // items up to a vaNull, each an optional index and a property list
  vaSingle = 0x0F,      // 4 bytes
  vaCurrency = 0x10,    // 8 bytes
  vaDate = 0x11,        // 8 bytes, a double day count
  vaWString = 0x12,     // a 4-byte count of UTF-16 units and the units
  vaInt64 = 0x13,
  vaUtf8String = 0x14,  // a 4-byte length and UTF-8 bytes; skipped, never written
};

inline constexpr char kStreamSignature[4] = {'T', 'P', 'F', '0'};
// Object records nest at most this deep; deeper input is rejected.
inline constexpr int kMaxObjectDepth = 256;

// Name strings: up to kMaxShortNameLength bytes after one length byte,
// longer ones after kLongNameMarker and a 4-byte length.
inline constexpr size_t kMaxShortNameLength = 254;
inline constexpr uint8_t kLongNameMarker = 0xFF;
// vaString holds up to this many bytes; longer text is a vaLString.
inline constexpr size_t kMaxShortStringLength = 255;

// Records made from the text form may start with one byte in this range (an
// "inherited" or indexed record); with kRecordPrefixHasIndex set an integer
// value follows it.
inline constexpr uint8_t kRecordPrefixFirst = 0xF1;
inline constexpr uint8_t kRecordPrefixLast = 0xF7;
inline constexpr uint8_t kRecordPrefixHasIndex = 0x02;

// Object properties are stored as child records, all others as values.
inline constexpr bool IsStoredAsChild(TPropType type) {
  return type == ptComponent || type == ptColllection || type == ptObject || type == ptObjects;
}

// Kinds stored as one vaBinary value of PropDataSize[type] bytes: the
// field's bytes as they are (ptPString_ and ptSet have no field and are
// stored empty).
inline constexpr bool IsStoredAsBinary(TPropType type) {
  return type == ptComp || (type >= ptSet8 && type <= ptSet256) || type == ptPString_ || type == ptSet;
}

// A little-endian value of type T at `p`.
template <class T>
T LoadLE(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// An enumeration value is stored as its name. The names of a ptEnum
// property are one comma-separated list, in ordinal order; an empty list
// holds one empty name.
inline std::vector<std::string_view> SplitEnumNames(const char* names) {
  std::string_view all = names ? names : "";
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    size_t comma = all.find(',', start);
    if (comma == std::string_view::npos) {
      parts.push_back(all.substr(start));
      return parts;
    }
    parts.push_back(all.substr(start, comma - start));
    start = comma + 1;
  }
}

}  // namespace kv
