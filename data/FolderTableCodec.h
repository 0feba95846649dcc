// Text of the folder-table files (dBase/FoxPro, Paradox): the conversion
// between a table's code page and UTF-8, through iconv. ASCII passes as it
// is without a conversion.
#pragma once

#include <string>
#include <string_view>

#include "KVCore_export.h"

namespace kv {

// Both conversions of one code page; owns the iconv handles it opens.
// Not for use by two threads at once (the conversions keep state).
class KVCORE_EXPORT TFolderTableCodec {
public:
  TFolderTableCodec() = default;
  ~TFolderTableCodec();
  TFolderTableCodec(const TFolderTableCodec&) = delete;
  TFolderTableCodec& operator=(const TFolderTableCodec&) = delete;

  // Opens both conversions of `codePage` (an iconv name: "CP1252",
  // "CP936"); false, with nothing open, when this system cannot convert it.
  bool Open(const std::string& codePage);
  // `bytes` of the code page as UTF-8 in `out`: npos, else the offset in
  // `bytes` of the first byte that does not convert. Needs Open.
  size_t Decode(std::string_view bytes, std::string& out) const;
  // UTF-8 `text` in the code page in `out`: npos, else the offset in
  // `text` of the first character the code page has not. Needs Open.
  size_t Encode(std::string_view text, std::string& out) const;

private:
  void Close();

  void* toUtf8_ = nullptr;    // iconv_t
  void* fromUtf8_ = nullptr;  // iconv_t
};

// For errors: up to 4 bytes of `bytes` from `at`, in hex.
KVCORE_EXPORT std::string BytesAt(std::string_view bytes, size_t at);
// For errors: the UTF-8 character of `text` starting at `at` (with its continuation bytes).
KVCORE_EXPORT std::string_view CharacterAt(std::string_view text, size_t at);

}  // namespace kv
