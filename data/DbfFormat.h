// The layout of dBase III/IV and (Visual) FoxPro table files (.dbf) and of
// their memo files (.dbt, .fpt). All numbers in a .dbf are little-endian;
// FoxPro memo files hold theirs big-endian.
//
// Table file:
//   header (32 bytes)             see the kHeader* offsets below
//   field descriptors (32 bytes each), ended by kFieldTerminator (0x0D)
//   Visual FoxPro only: a 263-byte database back-link after the terminator
//   records (RecordLength bytes each) from HeaderLength on: one flag byte
//     (' ' live, '*' deleted) and the fields' bytes in descriptor order
//   an end-of-file byte 0x1A (optional when reading)
//
// Field types: C character (blank-padded text in the table's code page),
// N and F numbers as right-aligned text, L logical (T/F/Y/N, blank or '?'
// unknown), D date "YYYYMMDD", M memo (a block number: ten ASCII digits, or
// four binary bytes in Visual FoxPro); Visual FoxPro also I (int32), B
// (double), T (int32 Julian day + int32 milliseconds), Y (currency: int64
// in units of 1/10000) and the hidden system field "_NullFlags" (type '0')
// whose bits mark null values of the fields flagged nullable.
//
// Memo files: block 0 holds the header; a memo occupies whole blocks from
// the block its field names.
//   .dbt dBase III: 512-byte blocks; header bytes 0-3 the next free block;
//     text ended by 0x1A 0x1A (a single 0x1A is accepted).
//   .dbt dBase IV: block size at header offset 20; a memo begins with
//     FF FF 08 00 and its length (uint32, the 8 bytes included).
//   .fpt FoxPro: header bytes 0-3 the next free block and 6-7 the block
//     size (big-endian); a memo begins with its type and length (uint32
//     big-endian each; type 1 is text).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "KVCore_export.h"

namespace kv::dbf {

// ---- Version byte (header offset 0) ----
inline constexpr uint8_t kVersionDBase3 = 0x03;          // dBase III / FoxBASE+, no memo
inline constexpr uint8_t kVersionDBase3Memo = 0x83;      // dBase III with a .dbt
inline constexpr uint8_t kVersionDBase4 = 0x04;          // dBase IV, no memo
inline constexpr uint8_t kVersionDBase4Memo = 0x8B;      // dBase IV with a .dbt
inline constexpr uint8_t kVersionDBase4SqlMemo = 0xCB;   // dBase IV SQL table with a .dbt
inline constexpr uint8_t kVersionVisualFoxPro = 0x30;    // Visual FoxPro
inline constexpr uint8_t kVersionVisualFoxProAuto = 0x31;  // Visual FoxPro with auto-increment
inline constexpr uint8_t kVersionVisualFoxProVar = 0x32;   // Visual FoxPro with varchar fields
inline constexpr uint8_t kVersionFoxPro2Memo = 0xF5;     // FoxPro 2.x with a .fpt
inline constexpr uint8_t kVersionFoxBaseMemo = 0xFB;     // FoxBASE with a memo

// What a version byte says about the file.
struct TVersionInfo {
  bool known = false;
  bool visualFoxPro = false;  // field offsets stored, back-link, binary memo numbers, I/B/T/Y
  bool fptMemo = false;       // memos in a .fpt (FoxPro), else a .dbt
};
KVCORE_EXPORT TVersionInfo VersionInfo(uint8_t version);

// ---- Header ----
inline constexpr size_t kHeaderSize = 32;
inline constexpr size_t kHeaderVersion = 0;
inline constexpr size_t kHeaderUpdated = 1;       // YY (since 1900), MM, DD
inline constexpr size_t kHeaderRecordCount = 4;   // uint32
inline constexpr size_t kHeaderLength = 8;        // uint16: bytes before the first record
inline constexpr size_t kHeaderRecordLength = 10; // uint16: bytes per record, flag included
inline constexpr size_t kHeaderTableFlags = 28;   // Visual FoxPro: 0x01 index, 0x02 memo, 0x04 database
inline constexpr size_t kHeaderLanguage = 29;     // the code page, see CodePageOfLanguage
inline constexpr uint8_t kTableFlagMemo = 0x02;

// ---- Field descriptor ----
inline constexpr size_t kFieldDescSize = 32;
inline constexpr size_t kFieldName = 0;        // 11 bytes, NUL-padded (10 characters at most)
inline constexpr size_t kFieldNameSize = 11;
inline constexpr size_t kFieldType = 11;
inline constexpr size_t kFieldOffset = 12;     // uint32, Visual FoxPro: position in the record
inline constexpr size_t kFieldLength = 16;
inline constexpr size_t kFieldDecimals = 17;
inline constexpr size_t kFieldFlags = 18;      // Visual FoxPro: 0x01 system, 0x02 nullable, 0x04 binary
inline constexpr uint8_t kFieldFlagSystem = 0x01;
inline constexpr uint8_t kFieldFlagNullable = 0x02;
inline constexpr uint8_t kFieldFlagBinary = 0x04;
inline constexpr size_t kMaxFieldNameLength = 10;

inline constexpr uint8_t kFieldTerminator = 0x0D;
inline constexpr size_t kBackLinkSize = 263;
inline constexpr uint8_t kEndOfFile = 0x1A;
inline constexpr uint8_t kLiveFlag = ' ';
inline constexpr uint8_t kDeletedFlag = '*';
inline constexpr size_t kMaxRecordLength = 65535;
inline constexpr const char* kNullFlagsName = "_NullFlags";

// ---- Field type codes ----
inline constexpr char kTypeChar = 'C';
inline constexpr char kTypeNumeric = 'N';
inline constexpr char kTypeFloat = 'F';
inline constexpr char kTypeLogical = 'L';
inline constexpr char kTypeDate = 'D';
inline constexpr char kTypeMemo = 'M';
inline constexpr char kTypeInteger = 'I';
inline constexpr char kTypeDouble = 'B';
inline constexpr char kTypeDateTime = 'T';
inline constexpr char kTypeCurrency = 'Y';
inline constexpr char kTypeNullFlags = '0';

inline constexpr size_t kMaxCharLength = 254;
inline constexpr size_t kMaxNumericLength = 20;
inline constexpr size_t kDBase3MemoLength = 10;   // ten ASCII digits
inline constexpr size_t kFoxProMemoLength = 4;    // binary block number

// ---- Memo files ----
inline constexpr size_t kDbtBlockSize = 512;
inline constexpr size_t kFptBlockSize = 64;
inline constexpr size_t kFptHeaderSize = 512;
inline constexpr size_t kFptBlockSizeOffset = 6;  // uint16 big-endian
inline constexpr size_t kDbt4BlockSizeOffset = 20;  // uint16 little-endian
inline constexpr uint32_t kFptTypeText = 1;
inline constexpr size_t kFptBlockHeaderSize = 8;
inline constexpr size_t kDbt4BlockHeaderSize = 8;

// ---- Day numbers: T fields count Julian days ----
inline constexpr int32_t kJulianDayOf18991230 = 2415019;  // day 0 of TDateTime

// ---- Code pages: the language byte (header offset 29) ----
// The iconv name of the code page a language byte names; "" when the byte
// names none that is known. Byte 0 (no code page recorded) reads as CP1252.
KVCORE_EXPORT const char* CodePageOfLanguage(uint8_t language);
// The language byte recorded for a code page ("CP936", "cp1252", "GBK",
// "936" ...); false when no byte names it.
KVCORE_EXPORT bool LanguageOfCodePage(std::string_view codePage, uint8_t& language);
// The language byte of tables created without a code page: CP1252.
inline constexpr uint8_t kDefaultLanguage = 0x03;

// ---- Little/big-endian helpers ----
inline uint16_t GetLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetLE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t GetLE64(const uint8_t* p) {
  return static_cast<uint64_t>(GetLE32(p)) | (static_cast<uint64_t>(GetLE32(p + 4)) << 32);
}
inline uint32_t GetBE32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
inline uint16_t GetBE16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline void PutLE16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutLE64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutBE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * (3 - i)));
}
inline void PutBE16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

}  // namespace kv::dbf
