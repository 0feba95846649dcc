#include "data/ParadoxFormat.h"

#include <cctype>
#include <cstdio>

#include "foundation/CharClass.h"

namespace kv::px {

namespace {

struct TTypeInfo {
  uint8_t type;
  char letter;
  uint8_t fixed;  // the record bytes of a fixed-size type; 0 when the size byte says
};

constexpr TTypeInfo kTypes[] = {
    {kAlpha, 'A', 0},     {kDate, 'D', 4},      {kShort, 'S', 2},     {kLong, 'I', 4},   {kCurrency, '$', 8},
    {kNumber, 'N', 8},    {kLogical, 'L', 1},   {kMemo, 'M', 0},      {kBlob, 'B', 0},   {kFmtMemo, 'F', 0},
    {kOle, 'O', 0},       {kGraphic, 'G', 0},   {kTime, 'T', 4},      {kTimestamp, '@', 8}, {kAutoInc, '+', 4},
    {kBcd, '#', 0},       {kBytes, 'Y', 0},
};

const TTypeInfo* InfoOf(uint8_t type) {
  for (const TTypeInfo& t : kTypes)
    if (t.type == type) return &t;
  return nullptr;
}

}  // namespace

size_t FieldLength(uint8_t type, uint8_t size) {
  const TTypeInfo* info = InfoOf(type);
  if (!info) return 0;
  if (info->fixed) return size == info->fixed ? info->fixed : 0;
  if (type == kBcd) return size <= kBcdMaxDecimals ? kBcdSize : 0;
  if (IsBlobType(type)) return size >= kBlobPointerSize ? size : 0;
  return size;  // Alpha, Bytes: 1..255
}

std::string TypeName(uint8_t type, uint8_t size) {
  const TTypeInfo* info = InfoOf(type);
  if (!info) return "?" + std::to_string(type);
  std::string name(1, info->letter);
  if (!info->fixed) name += std::to_string(size);
  return name;
}

bool ParseTypeName(std::string_view text, uint8_t& type, uint8_t& size) {
  if (text.empty()) return false;
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  for (const TTypeInfo& t : kTypes) {
    if (t.letter != letter) continue;
    const std::string_view rest = text.substr(1);
    if (t.fixed) {
      if (!rest.empty()) return false;
      type = t.type;
      size = t.fixed;
      return true;
    }
    if (rest.empty() || rest.size() > 3 || rest.find_first_not_of("0123456789") != std::string_view::npos) return false;
    const int n = std::stoi(std::string(rest));
    if (n > 255 || FieldLength(t.type, static_cast<uint8_t>(n)) == 0) return false;
    type = t.type;
    size = static_cast<uint8_t>(n);
    return true;
  }
  return false;
}

// ---- BCD ------------------------------------------------------------------------

bool DecodeBcd(const uint8_t* p, int decimals, std::string& text) {
  const bool negative = (p[0] & 0x80) == 0;
  const uint8_t flip = negative ? 0x0F : 0x00;
  std::string digits;
  for (size_t i = 0; i < 32; ++i) {
    const uint8_t byte = p[1 + i / 2];
    const uint8_t nibble = static_cast<uint8_t>(((i % 2 == 0) ? byte >> 4 : byte & 0x0F) ^ flip);
    if (nibble > 9) return false;
    digits += static_cast<char>('0' + nibble);
  }
  if (decimals < 0 || decimals > kBcdMaxDecimals) return false;
  std::string whole = digits.substr(0, 32 - static_cast<size_t>(decimals));
  const std::string fraction = digits.substr(32 - static_cast<size_t>(decimals));
  whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
  if (whole.empty()) whole = "0";
  text = whole;
  if (!fraction.empty()) text += "." + fraction;
  const bool zero = text.find_first_not_of("0.") == std::string::npos;
  if (negative && !zero) text.insert(0, 1, '-');
  return true;
}

bool EncodeBcd(uint8_t* p, int decimals, bool negative, std::string_view digits) {
  if (digits.size() > 32 || decimals < 0 || decimals > kBcdMaxDecimals) return false;
  if (digits.find_first_not_of("0123456789") != std::string_view::npos) return false;
  const std::string padded = std::string(32 - digits.size(), '0') + std::string(digits);
  const uint8_t flip = negative ? 0x0F : 0x00;
  p[0] = static_cast<uint8_t>((negative ? 0x40 : 0xC0) | decimals);
  for (size_t i = 0; i < 16; ++i) {
    const auto hi = static_cast<uint8_t>((padded[2 * i] - '0') ^ flip);
    const auto lo = static_cast<uint8_t>((padded[2 * i + 1] - '0') ^ flip);
    p[1 + i] = static_cast<uint8_t>((hi << 4) | lo);
  }
  return true;
}

// ---- Code pages -----------------------------------------------------------------

std::string CodePageName(uint16_t codePage) { return "CP" + std::to_string(codePage); }

bool CodePageNumber(std::string_view name, uint16_t& codePage) {
  std::string upper = AsciiUpperCase(name);
  if (upper == "GBK" || upper == "GB2312") upper = "936";
  for (const char* prefix : {"WINDOWS-", "CP", "IBM"})
    if (upper.rfind(prefix, 0) == 0) upper.erase(0, std::string_view(prefix).size());
  if (upper.empty() || upper.size() > 5 || upper.find_first_not_of("0123456789") != std::string::npos) return false;
  const int n = std::stoi(upper);
  if (n <= 0 || n > 65535) return false;
  codePage = static_cast<uint16_t>(n);
  return true;
}

}  // namespace kv::px
