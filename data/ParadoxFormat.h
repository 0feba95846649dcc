// The layout of Paradox tables (versions 3.0 to 7): the table file (.db)
// and its BLOB file (.mb). Numbers in headers are little-endian; the
// values inside records are big-endian with the sign bit flipped, so that a
// field of zero bytes is blank (Null).
//
// Table file:
//   header (HeaderSize bytes, usually 0x800):
//     0x00-0x57 the fixed part (the kHeader* offsets below)
//     0x58-0x77 version 4 and later only: the data-file extension
//     field info: one (type, size) byte pair per field
//     a 4-byte table name pointer, a 4-byte pointer per field (unused on disk)
//     the table name: 79 bytes (261 from version 7), NUL-padded
//     the field names, NUL-terminated, in field order
//     version 4 and later: one 16-bit field number per field, then the
//     sort order name ("ascii"), NUL-terminated
//   data blocks of BlockSize bytes from HeaderSize on; block n (1-based) at
//   HeaderSize + (n - 1) * BlockSize. Each block starts with its next and
//   previous block numbers (0: none) and the offset of its last record
//   (records - 1) * RecordSize (negative when it holds none); records
//   follow. The table's records are those of the chain from FirstBlock.
//
// Field values (sizes in the record):
//   Alpha(n) text in the table's code page, NUL-padded; Date(4) days from
//   0001-01-01 (that day is 1); Short(2); Long(4); Autoincrement(4);
//   Currency(8) and Number(8) IEEE doubles; Logical(1) 0x80 false, 0x81
//   true; Time(4) milliseconds since midnight; Timestamp(8) a double of
//   milliseconds, the day counted as in Date; BCD(17, the size byte holds
//   the decimals) a sign-and-scale byte and 32 decimal digits; Bytes(n) raw.
//   Memo, formatted memo, BLOB, OLE and graphic fields hold a leader of
//   (size - 10) bytes (the start of the value), then the value's place in
//   the .mb (uint32: block offset, low byte 0xFF for a block of its own or
//   the slot in a shared block), its length (uint32) and a modification
//   number (uint16); a value no longer than the leader lives in the leader.
//
// BLOB file: 4096-byte chunks; chunk 0 is the header (type 0). A value of
//   its own: type 2, chunk count (uint16), length (uint32), modification
//   number (uint16), then the bytes. A shared block: type 3, chunk count,
//   and from offset 12 a table of 64 five-byte slots (data offset / 16,
//   length / 16 rounded up, modification number, length % 16).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "KVCore_export.h"

namespace kv::px {

// ---- Header (offsets in the file) ----
inline constexpr size_t kHeaderRecordSize = 0x00;   // uint16
inline constexpr size_t kHeaderHeaderSize = 0x02;   // uint16
inline constexpr size_t kHeaderFileType = 0x04;     // see kFileType*
inline constexpr size_t kHeaderMaxTableSize = 0x05; // block size in KiB
inline constexpr size_t kHeaderNumRecords = 0x06;   // uint32
inline constexpr size_t kHeaderNextBlock = 0x0A;    // uint16, blocks in use
inline constexpr size_t kHeaderFileBlocks = 0x0C;   // uint16
inline constexpr size_t kHeaderFirstBlock = 0x0E;   // uint16
inline constexpr size_t kHeaderLastBlock = 0x10;    // uint16
inline constexpr size_t kHeaderModified1 = 0x14;
inline constexpr size_t kHeaderNumFields = 0x21;    // uint16
inline constexpr size_t kHeaderKeyFields = 0x23;    // uint16: fields of the primary key
inline constexpr size_t kHeaderEncryption1 = 0x25;  // uint32
inline constexpr size_t kHeaderSortOrder = 0x29;
inline constexpr size_t kHeaderModified2 = 0x2A;
inline constexpr size_t kHeaderChangeCount1 = 0x2D;
inline constexpr size_t kHeaderWriteProtected = 0x38;
inline constexpr size_t kHeaderVersion = 0x39;      // see kVersion*
inline constexpr size_t kHeaderMaxBlocks = 0x3A;    // uint16
inline constexpr size_t kHeaderUnknown3E = 0x3E;    // uint16, 0x1F0F in tables
inline constexpr size_t kHeaderAutoInc = 0x49;      // uint32: the last autoincrement value given
inline constexpr size_t kHeaderRealSize = 0x51;     // uint16: header bytes in use
inline constexpr size_t kHeaderUnknown56 = 0x56;    // 0x20 in tables
inline constexpr size_t kHeaderBaseSize = 0x58;
// Version 4 and later:
inline constexpr size_t kHeaderVersionWord1 = 0x58;  // uint16, 0x0100 + version
inline constexpr size_t kHeaderVersionWord2 = 0x5A;
inline constexpr size_t kHeaderEncryption2 = 0x5C;  // uint32
inline constexpr size_t kHeaderHiFieldId = 0x64;    // uint16: fields + 1
inline constexpr size_t kHeaderHiFieldIdInfo = 0x66;  // uint16: offset of the field numbers - 0x58
inline constexpr size_t kHeaderSometimesFields = 0x68;
inline constexpr size_t kHeaderCodePage = 0x6A;     // uint16: the DOS/Windows code page
inline constexpr size_t kHeaderUsedInfo = 0x6E;     // uint16: used header bytes - 0x60 + 1
inline constexpr size_t kHeaderExtendedSize = 0x78;

inline constexpr uint8_t kFileTypeIndexedDb = 0;   // keyed table (has a .px)
inline constexpr uint8_t kFileTypeDb = 2;          // table without a key
inline constexpr uint8_t kVersion3 = 3;
inline constexpr uint8_t kVersion4 = 5;            // 5..9
inline constexpr uint8_t kVersion7 = 0x0C;
inline constexpr uint32_t kEncryptionMarker = 0xFF00FF00;  // encryption1 of version 4+ tables
inline constexpr size_t kTableNameSize3 = 79;
inline constexpr size_t kTableNameSize7 = 261;
inline constexpr size_t kDefaultHeaderSize = 0x800;
inline constexpr size_t kBlockHeaderSize = 6;
inline constexpr uint16_t kDefaultCodePage = 1252;  // of tables created without one
inline constexpr uint16_t kVersion3CodePage = 437;  // version 3 tables record none

// ---- Field types ----
inline constexpr uint8_t kAlpha = 0x01;
inline constexpr uint8_t kDate = 0x02;
inline constexpr uint8_t kShort = 0x03;
inline constexpr uint8_t kLong = 0x04;
inline constexpr uint8_t kCurrency = 0x05;
inline constexpr uint8_t kNumber = 0x06;
inline constexpr uint8_t kLogical = 0x09;
inline constexpr uint8_t kMemo = 0x0C;
inline constexpr uint8_t kBlob = 0x0D;
inline constexpr uint8_t kFmtMemo = 0x0E;
inline constexpr uint8_t kOle = 0x0F;
inline constexpr uint8_t kGraphic = 0x10;
inline constexpr uint8_t kTime = 0x14;
inline constexpr uint8_t kTimestamp = 0x15;
inline constexpr uint8_t kAutoInc = 0x16;
inline constexpr uint8_t kBcd = 0x17;
inline constexpr uint8_t kBytes = 0x18;

inline constexpr size_t kBcdSize = 17;
inline constexpr int kBcdMaxDecimals = 32;
inline constexpr size_t kBlobPointerSize = 10;  // after the leader
inline constexpr size_t kMaxAlphaSize = 255;

// True for the BLOB kinds (memo, formatted memo, BLOB, OLE, graphic).
inline bool IsBlobType(uint8_t type) { return type >= kMemo && type <= kGraphic; }
// The bytes a field takes in the record (BCD: 17 whatever its size byte);
// 0 for a type this reader does not know or a size the type cannot have.
KVCORE_EXPORT size_t FieldLength(uint8_t type, uint8_t size);
// "A20", "D", "S", "I", "$", "N", "L", "M10", "B10", "F10", "O10", "G10",
// "T", "@", "+", "#2", "Y8": the letter Paradox shows for the type, then
// the size where it varies.
KVCORE_EXPORT std::string TypeName(uint8_t type, uint8_t size);
// The reverse of TypeName (letters in any case); false when `text` names none.
KVCORE_EXPORT bool ParseTypeName(std::string_view text, uint8_t& type, uint8_t& size);

// ---- BLOB file ----
inline constexpr size_t kMbChunk = 4096;
inline constexpr uint8_t kMbHeaderBlock = 0;
inline constexpr uint8_t kMbSingleBlock = 2;
inline constexpr uint8_t kMbSharedBlock = 3;
inline constexpr size_t kMbSingleHeaderSize = 9;
inline constexpr size_t kMbSlotTable = 12;
inline constexpr size_t kMbSlotSize = 5;
inline constexpr size_t kMbSlots = 64;
inline constexpr uint8_t kMbOwnBlockIndex = 0xFF;

// ---- Byte order ----
inline uint16_t GetLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetLE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline void PutLE16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint64_t GetBE(const uint8_t* p, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
}
inline void PutBE(uint8_t* p, size_t n, uint64_t v) {
  for (size_t i = n; i-- > 0; v >>= 8) p[i] = static_cast<uint8_t>(v);
}

// ---- Record values: big-endian, sign bit flipped; all zero bytes is blank ----
inline bool IsBlank(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i] != 0) return false;
  return true;
}
// Signed integers of `n` bytes (2 or 4). The most negative value of the
// width is the blank and cannot be stored.
inline int64_t DecodeInt(const uint8_t* p, size_t n) {
  const uint64_t sign = uint64_t{1} << (8 * n - 1);
  const uint64_t v = GetBE(p, n) ^ sign;
  return static_cast<int64_t>(v & sign ? v | ~((sign << 1) - 1) : v);
}
inline void EncodeInt(uint8_t* p, size_t n, int64_t value) {
  const uint64_t sign = uint64_t{1} << (8 * n - 1);
  PutBE(p, n, (static_cast<uint64_t>(value) & ((sign << 1) - 1)) ^ sign);
}
// Doubles: a positive value has its sign bit set, a negative one all bits inverted.
inline double DecodeDouble(const uint8_t* p) {
  uint64_t bits = GetBE(p, 8);
  const uint64_t sign = uint64_t{1} << 63;
  bits = bits & sign ? bits ^ sign : ~bits;
  double d = 0;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}
inline void EncodeDouble(uint8_t* p, double value) {
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  const uint64_t sign = uint64_t{1} << 63;
  PutBE(p, 8, bits & sign ? ~bits : bits | sign);
}

// BCD: byte 0 is 0xC0 (positive) or 0x40 (negative) plus the decimals; 32
// digits follow, two a byte, the last `decimals` of them after the point;
// a negative number has every digit nibble inverted (15 - digit).
// DecodeBcd: false when the 17 bytes are no BCD number (a digit above 9).
// The text is "-123.45" (decimals as the field declares).
KVCORE_EXPORT bool DecodeBcd(const uint8_t* p, int decimals, std::string& text);
// Writes `digits` (the unscaled absolute value: decimal digits only, at
// most 32) with `decimals` of them after the point; false when too long.
KVCORE_EXPORT bool EncodeBcd(uint8_t* p, int decimals, bool negative, std::string_view digits);

// ---- Code pages ----
// The iconv name of a header code page ("CP1252", "CP936").
KVCORE_EXPORT std::string CodePageName(uint16_t codePage);
// The code page number of a name ("CP936", "cp1252", "GBK", "936",
// "windows-1252"); false when no number is known for it.
KVCORE_EXPORT bool CodePageNumber(std::string_view name, uint16_t& codePage);

}  // namespace kv::px
