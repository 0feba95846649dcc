#include "data/DbfFormat.h"

#include "foundation/CharClass.h"

namespace kv::dbf {

TVersionInfo VersionInfo(uint8_t version) {
  TVersionInfo info;
  switch (version) {
    case kVersionDBase3:
    case kVersionDBase3Memo:
    case kVersionDBase4:
    case kVersionDBase4Memo:
    case kVersionDBase4SqlMemo: info.known = true; break;
    case kVersionVisualFoxPro:
    case kVersionVisualFoxProAuto:
    case kVersionVisualFoxProVar:
      info.known = true;
      info.visualFoxPro = true;
      info.fptMemo = true;
      break;
    case kVersionFoxPro2Memo:
    case kVersionFoxBaseMemo:
      info.known = true;
      info.fptMemo = true;
      break;
    default: break;
  }
  return info;
}

namespace {

struct TLanguage {
  uint8_t byte;
  const char* codePage;
};

// The first entry of a code page is the byte written for it.
constexpr TLanguage kLanguages[] = {
    {0x03, "CP1252"}, {0x57, "CP1252"}, {0x58, "CP1252"}, {0x59, "CP1252"}, {0x01, "CP437"}, {0x09, "CP437"},
    {0x0B, "CP437"},  {0x0D, "CP437"},  {0x0F, "CP437"},  {0x11, "CP437"},  {0x15, "CP437"}, {0x18, "CP437"},
    {0x19, "CP437"},  {0x1B, "CP437"},  {0x02, "CP850"},  {0x0A, "CP850"},  {0x0E, "CP850"}, {0x10, "CP850"},
    {0x12, "CP850"},  {0x14, "CP850"},  {0x16, "CP850"},  {0x1A, "CP850"},  {0x1D, "CP850"}, {0x25, "CP850"},
    {0x37, "CP850"},  {0x7A, "CP936"},  {0x4D, "CP936"},  {0x64, "CP852"},  {0x1F, "CP852"}, {0x22, "CP852"},
    {0x23, "CP852"},  {0x40, "CP852"},  {0x87, "CP852"},  {0x65, "CP866"},  {0x26, "CP866"}, {0x66, "CP865"},
    {0x08, "CP865"},  {0x17, "CP865"},  {0x67, "CP861"},  {0x6A, "CP737"},  {0x86, "CP737"}, {0x6B, "CP857"},
    {0x88, "CP857"},  {0x1C, "CP863"},  {0x24, "CP860"},  {0x7B, "CP932"},  {0x13, "CP932"}, {0x78, "CP950"},
    {0x4F, "CP950"},  {0x79, "CP949"},  {0x4E, "CP949"},  {0x7C, "CP874"},  {0x50, "CP874"}, {0x7D, "CP1255"},
    {0x7E, "CP1256"}, {0xC8, "CP1250"}, {0xC9, "CP1251"}, {0xCA, "CP1254"}, {0xCB, "CP1253"}, {0xCC, "CP1257"},
};

}  // namespace

const char* CodePageOfLanguage(uint8_t language) {
  if (language == 0) return "CP1252";
  for (const TLanguage& l : kLanguages) {
    if (l.byte == language) return l.codePage;
  }
  return "";
}

bool LanguageOfCodePage(std::string_view codePage, uint8_t& language) {
  std::string name = AsciiUpperCase(codePage);
  if (name == "GBK") name = "CP936";
  if (name.rfind("WINDOWS-", 0) == 0) name = "CP" + name.substr(8);
  if (!name.empty() && name[0] >= '0' && name[0] <= '9') name = "CP" + name;
  for (const TLanguage& l : kLanguages) {
    if (name == l.codePage) {
      language = l.byte;
      return true;
    }
  }
  return false;
}

}  // namespace kv::dbf
