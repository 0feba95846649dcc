#include "data/DbfTable.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <ctime>

#include "data/DatabaseError.h"
#include "data/DbfFormat.h"
#include "data/TextEncoding.h"
#include "foundation/CharClass.h"
#include "foundation/DateUtils.h"
#include "foundation/Format.h"

namespace kv::dbf {

namespace {

constexpr size_t kCacheBytes = 64 * 1024;

std::string Hex2(uint8_t b) { return Format("0x%.2x", static_cast<int>(b)); }

std::string_view Trimmed(const uint8_t* p, size_t n) {
  size_t b = 0, e = n;
  while (b < e && (p[b] == ' ' || p[b] == 0)) ++b;
  while (e > b && (p[e - 1] == ' ' || p[e - 1] == 0)) --e;
  return {reinterpret_cast<const char*>(p + b), e - b};
}

std::string_view RightTrimmed(const uint8_t* p, size_t n) {
  while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == 0)) --n;
  return {reinterpret_cast<const char*>(p), n};
}

bool IsBinaryType(char type) { return type == kTypeInteger || type == kTypeDouble || type == kTypeCurrency || type == kTypeDateTime; }

// Days since 0001-01-01 (proleptic Gregorian) of a civil date and back.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;  // days since 1970-01-01
}
void CivilFromDays(int64_t z, int64_t& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = yoe + era * 400 + (m <= 2);
}
// Julian day number of 1970-01-01.
constexpr int64_t kJulianDayOf1970 = 2440588;

}  // namespace

std::string TDbfField::TypeName() const {
  switch (type) {
    case kTypeChar: return Format("C(%d)", length);
    case kTypeNumeric:
    case kTypeFloat: return Format("%s(%d,%d)", std::string(1, type), length, decimals);
    default: return std::string(1, type);
  }
}

TDbfTable::~TDbfTable() {
  try {
    if (file_ && file_->Writable()) Commit(true);
  } catch (...) {
    // The records stay as they are; the header keeps its last count.
  }
}

void TDbfTable::Corrupt(const std::string& what) const { throw EDatabaseError(Format("%s is corrupt: %s", Path(), what)); }

std::string TDbfTable::MemoPath(const std::string& tablePath, bool fpt) {
  const size_t slash = tablePath.find_last_of('/');
  const size_t dot = tablePath.find_last_of('.');
  const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string base = hasExt ? tablePath.substr(0, dot) : tablePath;
  const std::string ext = hasExt ? tablePath.substr(dot + 1) : std::string();
  const bool upper = !ext.empty() && std::all_of(ext.begin(), ext.end(), [](char c) { return c < 'a' || c > 'z'; });
  const std::string memoExt = fpt ? "fpt" : "dbt";
  return base + "." + (upper ? AsciiUpperCase(memoExt) : memoExt);
}

// ---- Opening ----------------------------------------------------------------

std::unique_ptr<TDbfTable> TDbfTable::Open(const std::string& path, bool writable) {
  std::unique_ptr<TDbfTable> t(new TDbfTable());
  t->file_ = std::make_unique<TDbfFile>(path, writable ? TDbfFile::ReadWrite : TDbfFile::ReadOnly);
  if (writable && !t->file_->TryLock())
    throw EDatabaseError(Format("%s is open for writing elsewhere (another dataset, thread or program)", path));
  const uint64_t size = t->file_->Size();
  std::vector<uint8_t> header(kHeaderSize);
  if (t->file_->ReadAt(0, header.data(), kHeaderSize) < kHeaderSize)
    throw EDatabaseError(Format("%s is truncated: it is shorter than a table header (%d bytes)", path, size));
  const uint32_t headerLength = GetLE16(header.data() + kHeaderLength);
  if (headerLength < kHeaderSize + 1)
    throw EDatabaseError(Format("%s is corrupt: the header length %d is too small", path, headerLength));
  if (headerLength > size)
    throw EDatabaseError(Format("%s is truncated: the header announces %d header bytes, the file holds %d", path,
                                headerLength, size));
  header.resize(headerLength);
  t->file_->ReadExact(0, header.data(), headerLength, "the header");
  t->ParseHeader(header, size);
  t->OpenCodec();
  if (std::any_of(t->fields_.begin(), t->fields_.end(), [](const TDbfField& f) { return f.type == kTypeMemo; }))
    t->OpenMemo(writable, false);
  return t;
}

void TDbfTable::ParseHeader(const std::vector<uint8_t>& header, uint64_t fileSize) {
  version_ = header[kHeaderVersion];
  const TVersionInfo info = VersionInfo(version_);
  if (!info.known) Corrupt("it is not a dBase or FoxPro table (version byte " + Hex2(version_) + ")");
  visualFoxPro_ = info.visualFoxPro;
  fptMemo_ = info.fptMemo;
  language_ = header[kHeaderLanguage];
  headerLength_ = static_cast<uint32_t>(header.size());
  recordLength_ = GetLE16(header.data() + kHeaderRecordLength);
  if (recordLength_ < 1) Corrupt("the record length is 0");
  uint32_t offset = 1;
  int nullBits = 0;
  size_t at = kHeaderSize;
  for (;; at += kFieldDescSize) {
    if (at >= header.size()) Corrupt("the field descriptors have no end mark inside the header");
    if (header[at] == kFieldTerminator) break;
    if (at + kFieldDescSize > header.size()) Corrupt("a field descriptor runs past the header");
    ParseField(header.data() + at, offset, nullBits);
  }
  if (fields_.empty()) Corrupt("the table has no fields");
  if (!visualFoxPro_ && offset != recordLength_)
    Corrupt(Format("the fields take %d bytes but the header says records have %d", offset, recordLength_));
  if (nullBits > nullFlagsLength_ * 8) Corrupt("the _NullFlags field is too short for the nullable fields");
  const uint32_t announced = GetLE32(header.data() + kHeaderRecordCount);
  const uint64_t room = (fileSize - headerLength_) / recordLength_;
  if (announced > room)
    throw EDatabaseError(Format("%s is truncated: the header announces %d records of %d bytes, the file holds %d",
                                Path(), announced, recordLength_, room));
  count_ = committedCount_ = announced;
}

void TDbfTable::ParseField(const uint8_t* desc, uint32_t& offset, int& nullBits) {
  TDbfField f;
  const auto* nameEnd = std::find(desc, desc + kFieldNameSize, 0);
  f.name.assign(reinterpret_cast<const char*>(desc), static_cast<size_t>(nameEnd - desc));
  f.type = static_cast<char>(AsciiUpperCase(std::string(1, static_cast<char>(desc[kFieldType])))[0]);
  f.length = desc[kFieldLength];
  f.decimals = desc[kFieldDecimals];
  f.offset = visualFoxPro_ ? GetLE32(desc + kFieldOffset) : offset;
  const std::string named = "field '" + f.name + "'";
  if (f.length == 0) Corrupt(named + " has length 0");
  if (f.offset < 1 || static_cast<uint64_t>(f.offset) + f.length > recordLength_) Corrupt(named + " lies outside the record");
  offset = f.offset + f.length;
  const uint8_t flags = visualFoxPro_ ? desc[kFieldFlags] : 0;
  if (f.type == kTypeNullFlags) {
    nullFlagsOffset_ = static_cast<int>(f.offset);
    nullFlagsLength_ = f.length;
    return;
  }
  auto needLength = [&](std::initializer_list<int> lengths) {
    for (int l : lengths)
      if (f.length == l) return;
    Corrupt(Format("%s of type %s has length %d", named, std::string(1, f.type), f.length));
  };
  switch (f.type) {
    case kTypeChar: break;
    case kTypeNumeric:
    case kTypeFloat:
      if (f.decimals >= f.length && f.decimals > 0) Corrupt(named + " has more decimals than digits");
      break;
    case kTypeLogical: needLength({1}); break;
    case kTypeDate: needLength({8}); break;
    case kTypeMemo: needLength({4, 10}); break;
    case kTypeInteger: needLength({4}); break;
    case kTypeDouble:
    case kTypeDateTime:
    case kTypeCurrency: needLength({8}); break;
    default:
      throw EDatabaseError(Format("%s: %s has type '%s', which is not supported", Path(), named,
                                  std::string(1, f.type)));
  }
  if (f.type == kTypeDouble && !visualFoxPro_)
    throw EDatabaseError(Format("%s: %s has type 'B' (a dBase binary memo), which is not supported", Path(), named));
  if (flags & kFieldFlagNullable) f.nullBit = nullBits++;
  fields_.push_back(std::move(f));
}

void TDbfTable::OpenCodec() {
  codePage_ = CodePageOfLanguage(language_);
  if (codePage_.empty())
    throw EDatabaseError(Format("%s: the code page of language byte %s is not known", Path(), Hex2(language_)));
  if (!codec_.Open(codePage_))
    throw EDatabaseError(Format("%s: the code page %s cannot be converted on this system", Path(), codePage_));
  singleByte_ = codePage_ != "CP936" && codePage_ != "CP932" && codePage_ != "CP949" && codePage_ != "CP950";
}

void TDbfTable::OpenMemo(bool writable, bool create) {
  const std::string path = MemoPath(Path(), fptMemo_);
  const TMemoKind kind = fptMemo_ ? TMemoKind::FoxPro
                                  : (version_ == kVersionDBase4Memo || version_ == kVersionDBase4SqlMemo ? TMemoKind::DBase4
                                                                                                          : TMemoKind::DBase3);
  if (create) {
    memo_ = TDbfMemoFile::Create(path, kind);
    return;
  }
  try {
    memo_ = std::make_unique<TDbfMemoFile>(path, kind, writable);
  } catch (const EDatabaseError& e) {
    throw EDatabaseError(Format("%s has memo fields but its memo file cannot be used: %s", Path(), e.what()));
  }
}

// ---- Text ---------------------------------------------------------------------

std::string TDbfTable::Decode(std::string_view bytes, const std::string& what) const {
  std::string out;
  const size_t bad = codec_.Decode(bytes, out);
  if (bad != std::string_view::npos)
    throw EDatabaseError(Format("%s: %s holds bytes that are not %s text: %s", Path(), what, codePage_, BytesAt(bytes, bad)));
  return out;
}

std::string TDbfTable::Encode(std::string_view text, const std::string& what) const {
  std::string out;
  const size_t bad = codec_.Encode(text, out);
  if (bad != std::string_view::npos)
    throw EDatabaseError(Format("%s: %s: the character \"%s\" cannot be written in code page %s", Path(), what,
                                CharacterAt(text, bad), codePage_));
  return out;
}

// ---- Reading ------------------------------------------------------------------

const uint8_t* TDbfTable::Record(uint32_t recNo) {
  if (recNo < 1 || recNo > count_) throw EDatabaseError(Format("%s: there is no record %d", Path(), recNo));
  if (recNo < cacheFirst_ || recNo >= cacheFirst_ + cacheCount_) {
    const uint32_t want = std::max<uint32_t>(1, static_cast<uint32_t>(kCacheBytes / recordLength_));
    const uint32_t n = std::min(want, count_ - recNo + 1);
    cache_.resize(static_cast<size_t>(n) * recordLength_);
    const uint64_t at = headerLength_ + static_cast<uint64_t>(recNo - 1) * recordLength_;
    const size_t got = file_->ReadAt(at, cache_.data(), cache_.size());
    cacheFirst_ = recNo;
    cacheCount_ = static_cast<uint32_t>(got / recordLength_);
    if (cacheCount_ == 0) throw EDatabaseError(Format("%s is truncated: record %d is missing", Path(), recNo));
  }
  return cache_.data() + static_cast<size_t>(recNo - cacheFirst_) * recordLength_;
}

uint32_t TDbfTable::LiveCount() {
  if (live_ < 0) {
    int64_t live = 0;
    for (uint32_t r = 1; r <= count_; ++r) live += !IsDeleted(Record(r));
    live_ = live;
  }
  return static_cast<uint32_t>(live_);
}

bool TDbfTable::NullBit(const uint8_t* record, int bit) const {
  return bit >= 0 && nullFlagsOffset_ >= 0 && ((record[nullFlagsOffset_ + bit / 8] >> (bit % 8)) & 1);
}

bool TDbfTable::IsNull(const uint8_t* record, size_t index) const {
  const TDbfField& f = fields_[index];
  if (NullBit(record, f.nullBit)) return true;
  const uint8_t* p = record + f.offset;
  switch (f.type) {
    case kTypeChar: return f.nullBit < 0 && RightTrimmed(p, f.length).empty();
    case kTypeLogical: return *p == ' ' || *p == '?' || *p == 0;
    case kTypeDate: {
      const std::string_view t = Trimmed(p, f.length);
      return t.empty() || t == "00000000";
    }
    case kTypeMemo: return f.length == 4 ? GetLE32(p) == 0 : Trimmed(p, f.length).empty() || Trimmed(p, f.length) == "0";
    case kTypeDateTime: return GetLE32(p) == 0 && GetLE32(p + 4) == 0;
    case kTypeInteger:
    case kTypeDouble:
    case kTypeCurrency: return false;
    default: return Trimmed(p, f.length).empty();
  }
}

TVariant TDbfTable::Value(const uint8_t* record, size_t index, uint32_t recNo) {
  const TDbfField& f = fields_[index];
  if (IsNull(record, index)) return TVariant::Null();
  const uint8_t* p = record + f.offset;
  auto what = [&] { return Format("record %d, field '%s'", recNo, f.name); };
  auto bad = [&](const std::string& why) -> TVariant {
    throw EDatabaseError(Format("%s is corrupt: %s %s", Path(), what(), why));
  };
  switch (f.type) {
    case kTypeChar: return TVariant(Decode(RightTrimmed(p, f.length), what()));
    case kTypeNumeric:
    case kTypeFloat: {
      const std::string_view t = Trimmed(p, f.length);
      if (f.decimals == 0 && f.length <= 20) {
        int64_t i = 0;
        if (TryTextToInteger(t, i)) return TVariant(i);
        double d = 0;
        if (TryTextToFloat(t, d)) {
          if (d == std::floor(d) && std::fabs(d) < 9e18) return TVariant(static_cast<int64_t>(d));
          return bad("holds \"" + std::string(t) + "\", which is not a whole number of a 64-bit integer's range");
        }
      } else {
        double d = 0;
        if (TryTextToFloat(t, d)) return TVariant(d);
      }
      return bad("holds \"" + std::string(t) + "\", which is not a number");
    }
    case kTypeLogical:
      switch (*p) {
        case 'T': case 't': case 'Y': case 'y': return TVariant(true);
        case 'F': case 'f': case 'N': case 'n': return TVariant(false);
        default: return bad("holds " + Hex2(*p) + ", which is not a logical value");
      }
    case kTypeDate: {
      const std::string_view t = Trimmed(p, f.length);
      int64_t ymd = 0;
      TDateTime date = 0;
      if (t.size() != 8 || !TryTextToInteger(t, ymd) || ymd < 0 ||
          !TryEncodeDate(static_cast<int>(ymd / 10000), static_cast<int>(ymd / 100 % 100), static_cast<int>(ymd % 100), date))
        return bad("holds \"" + std::string(t) + "\", which is not a date");
      return TVariant::FromDateTime(date);
    }
    case kTypeMemo: {
      int64_t block = 0;
      if (f.length == 4) {
        block = GetLE32(p);
      } else if (!TryTextToInteger(Trimmed(p, f.length), block) || block < 0 || block > UINT32_MAX) {
        return bad("holds a bad memo block number");
      }
      const std::string bytes = memo_->Read(static_cast<uint32_t>(block));
      if (bytes.empty() && f.nullBit < 0) return TVariant::Null();
      return TVariant(Decode(bytes, what()));
    }
    case kTypeInteger: return TVariant(static_cast<int32_t>(GetLE32(p)));
    case kTypeDouble: {
      const uint64_t bits = GetLE64(p);
      double d = 0;
      std::memcpy(&d, &bits, sizeof d);
      return TVariant(d);
    }
    case kTypeCurrency: return TVariant(static_cast<double>(static_cast<int64_t>(GetLE64(p))) / 10000.0);
    case kTypeDateTime: {
      const int64_t jd = static_cast<int32_t>(GetLE32(p));
      const uint32_t ms = GetLE32(p + 4);
      int64_t y = 0;
      int m = 0, d = 0;
      CivilFromDays(jd - kJulianDayOf1970, y, m, d);
      TDateTime value = 0;
      if (ms >= MSecsPerDay || y < 1 || y > 9999 ||
          !TryEncodeDateTime(static_cast<int>(y), m, d, static_cast<int>(ms / 3600000), static_cast<int>(ms / 60000 % 60),
                             static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000), value))
        return bad("holds a date-time out of range");
      return TVariant::FromDateTime(value);
    }
    default: return bad("has a type that is not supported");
  }
}

// ---- Encoding -----------------------------------------------------------------

namespace {

// A number as N(w,d) text; false when it does not fit.
bool FormatNumber(const TVariant& value, int width, int decimals, std::string& text) {
  if (decimals == 0 && value.Type() == varInteger) {
    text = std::to_string(value.RawInteger());
  } else {
    const double d = value.AsFloat();
    if (!std::isfinite(d)) return false;
    char buf[400];
    if (std::fabs(d) >= 1e100) return false;
    std::snprintf(buf, sizeof buf, "%.*f", decimals, d);
    text = buf;
    if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
  }
  if (static_cast<int>(text.size()) > width) return false;
  text.insert(0, static_cast<size_t>(width) - text.size(), ' ');
  return true;
}

// A value for a numeric field: numbers as they are, texts parsed.
TVariant NumberOf(const TVariant& value) {
  if (value.Type() == varString) {
    int64_t i = 0;
    if (TryTextToInteger(value.RawString(), i)) return TVariant(i);
    double d = 0;
    if (TryTextToFloat(value.RawString(), d)) return TVariant(d);
    throw EConvertError("\"" + value.RawString() + "\" is not a number");
  }
  if (value.Type() == varBoolean) return TVariant(int64_t{value.RawBoolean() ? 1 : 0});
  if (value.Type() == varInteger) return value;
  return TVariant(value.AsFloat());
}

}  // namespace

void TDbfTable::EncodeField(size_t index, const TVariant& value, uint8_t* record, TDbfRecordImage& image) {
  const TDbfField& f = fields_[index];
  uint8_t* p = record + f.offset;
  const std::string what = Format("field '%s'", f.name);
  if (f.nullBit >= 0 && nullFlagsOffset_ >= 0) {
    uint8_t& flags = record[nullFlagsOffset_ + f.nullBit / 8];
    const uint8_t bit = static_cast<uint8_t>(1u << (f.nullBit % 8));
    flags = static_cast<uint8_t>(value.IsNullOrEmpty() ? (flags | bit) : (flags & ~bit));
  }
  if (value.IsNullOrEmpty()) {
    if (IsBinaryType(f.type) && f.type != kTypeDateTime && f.nullBit < 0)
      throw EDatabaseError("it cannot hold Null (the field is not nullable)");
    std::memset(p, IsBinaryType(f.type) || (f.type == kTypeMemo && f.length == 4) ? 0 : ' ', f.length);
    return;
  }
  switch (f.type) {
    case kTypeChar: {
      const std::string bytes = Encode(value.AsString(), what);
      if (bytes.size() > f.length)
        throw EDatabaseError(Format("the text needs %d bytes in code page %s, the field holds %d", bytes.size(),
                                    codePage_, f.length));
      std::memset(p, ' ', f.length);
      std::memcpy(p, bytes.data(), bytes.size());
      return;
    }
    case kTypeNumeric:
    case kTypeFloat: {
      std::string text;
      if (!FormatNumber(NumberOf(value), f.length, f.decimals, text))
        throw EDatabaseError(Format("%s does not fit %s", value.AsString(), f.TypeName()));
      std::memcpy(p, text.data(), f.length);
      return;
    }
    case kTypeLogical: *p = value.AsBoolean() ? 'T' : 'F'; return;
    case kTypeDate: {
      int y = 0, m = 0, d = 0;
      DecodeDate(value.AsDateTime(), y, m, d);
      if (y < 1 || y > 9999) throw EDatabaseError("the date is out of range");
      const std::string text = Format("%.4d%.2d%.2d", y, m, d);
      std::memcpy(p, text.data(), 8);
      return;
    }
    case kTypeMemo: {
      std::string bytes = Encode(value.AsString(), what);
      if (bytes.empty()) {
        std::memset(p, f.length == 4 ? 0 : ' ', f.length);
        return;
      }
      image.memos.emplace_back(index, std::move(bytes));
      return;
    }
    case kTypeInteger: {
      const int64_t i = NumberOf(value).AsInteger();
      if (i < INT32_MIN || i > INT32_MAX) throw EDatabaseError(Format("%s does not fit a 32-bit integer", i));
      PutLE32(p, static_cast<uint32_t>(static_cast<int32_t>(i)));
      return;
    }
    case kTypeDouble: {
      const double d = NumberOf(value).AsFloat();
      uint64_t bits = 0;
      std::memcpy(&bits, &d, sizeof d);
      PutLE64(p, bits);
      return;
    }
    case kTypeCurrency: {
      const double scaled = std::round(NumberOf(value).AsFloat() * 10000.0);
      if (!(std::fabs(scaled) < 9.2e18)) throw EDatabaseError(value.AsString() + " does not fit a currency field");
      PutLE64(p, static_cast<uint64_t>(static_cast<int64_t>(scaled)));
      return;
    }
    case kTypeDateTime: {
      int y = 0, m = 0, d = 0, h = 0, n = 0, s = 0, ms = 0;
      DecodeDateTime(value.AsDateTime(), y, m, d, h, n, s, ms);
      if (y < 1 || y > 9999) throw EDatabaseError("the date-time is out of range");
      PutLE32(p, static_cast<uint32_t>(DaysFromCivil(y, m, d) + kJulianDayOf1970));
      PutLE32(p + 4, static_cast<uint32_t>(((h * 60 + n) * 60 + s) * 1000 + ms));
      return;
    }
    default: throw EDatabaseError("the field's type cannot be written");
  }
}

TDbfRecordImage TDbfTable::EncodeRecord(const std::vector<TVariant>& values, const uint8_t* base, uint32_t recNo) {
  TDbfRecordImage image;
  if (base) {
    image.bytes.assign(reinterpret_cast<const char*>(base), recordLength_);
  } else {
    image.bytes.assign(recordLength_, ' ');
    if (nullFlagsOffset_ >= 0) std::memset(image.bytes.data() + nullFlagsOffset_, 0, static_cast<size_t>(nullFlagsLength_));
  }
  image.bytes[0] = static_cast<char>(kLiveFlag);
  auto* record = reinterpret_cast<uint8_t*>(image.bytes.data());
  for (size_t i = 0; i < fields_.size() && i < values.size(); ++i) {
    if (base && values[i].IsEmpty()) continue;  // kept as it is
    try {
      EncodeField(i, values[i], record, image);
    } catch (const Exception& e) {
      throw EDatabaseError(Format("%s: record %d, field '%s': %s", Path(), recNo, fields_[i].name, e.what()));
    }
  }
  return image;
}

bool TDbfTable::EncodeFieldBytes(size_t index, const TVariant& value, std::string& bytes) {
  if (fields_[index].type == kTypeMemo) return false;
  std::string record(recordLength_, ' ');
  if (nullFlagsOffset_ >= 0) std::memset(record.data() + nullFlagsOffset_, 0, static_cast<size_t>(nullFlagsLength_));
  TDbfRecordImage image;
  try {
    EncodeField(index, value, reinterpret_cast<uint8_t*>(record.data()), image);
  } catch (const Exception&) {
    return false;
  }
  bytes = record.substr(fields_[index].offset, fields_[index].length);
  return true;
}

// ---- Writing ------------------------------------------------------------------

void TDbfTable::WriteMemos(TDbfRecordImage& image) {
  for (auto& [index, bytes] : image.memos) {
    const TDbfField& f = fields_[index];
    const uint32_t block = memo_->Write(bytes);
    auto* p = reinterpret_cast<uint8_t*>(image.bytes.data()) + f.offset;
    if (f.length == 4) {
      PutLE32(p, block);
    } else {
      const std::string text = Format("%*d", static_cast<int>(f.length), static_cast<int64_t>(block));
      std::memcpy(p, text.data(), f.length);
    }
  }
  image.memos.clear();
}

void TDbfTable::WriteRecord(uint32_t recNo, const std::string& bytes) {
  file_->WriteAt(headerLength_ + static_cast<uint64_t>(recNo - 1) * recordLength_, bytes.data(), bytes.size());
  if (recNo >= cacheFirst_ && recNo < cacheFirst_ + cacheCount_)
    std::memcpy(cache_.data() + static_cast<size_t>(recNo - cacheFirst_) * recordLength_, bytes.data(), recordLength_);
}

uint32_t TDbfTable::Append(TDbfRecordImage& image) {
  if (count_ == UINT32_MAX) throw EDatabaseError(Format("%s is full", Path()));
  WriteMemos(image);
  WriteRecord(count_ + 1, image.bytes + static_cast<char>(kEndOfFile));
  ++count_;
  if (live_ >= 0) ++live_;
  dirty_ = true;
  return count_;
}

void TDbfTable::Rewrite(uint32_t recNo, TDbfRecordImage& image) {
  if (recNo < 1 || recNo > count_) throw EDatabaseError(Format("%s: there is no record %d", Path(), recNo));
  // New memos reach the disk before the record that names them replaces the old one.
  if (!image.memos.empty()) {
    WriteMemos(image);
    memo_->Sync();
  }
  WriteRecord(recNo, image.bytes);
  dirty_ = true;
}

void TDbfTable::SetDeleted(uint32_t recNo, bool deleted) {
  std::string record(reinterpret_cast<const char*>(Record(recNo)), recordLength_);
  if (IsDeleted(reinterpret_cast<const uint8_t*>(record.data())) == deleted) return;
  if (live_ >= 0) live_ += deleted ? -1 : 1;
  record[0] = static_cast<char>(deleted ? kDeletedFlag : kLiveFlag);
  WriteRecord(recNo, record);
  dirty_ = true;
}

void TDbfTable::WriteHeaderCount() {
  uint8_t h[8];
  file_->ReadExact(0, h, sizeof h, "the header");
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&now, &tm);
  h[kHeaderUpdated] = static_cast<uint8_t>(tm.tm_year % 256);
  h[kHeaderUpdated + 1] = static_cast<uint8_t>(tm.tm_mon + 1);
  h[kHeaderUpdated + 2] = static_cast<uint8_t>(tm.tm_mday);
  PutLE32(h + kHeaderRecordCount, count_);
  file_->WriteAt(0, h, sizeof h);
  committedCount_ = count_;
}

void TDbfTable::Commit(bool durable) {
  if (!dirty_) return;
  if (memo_) memo_->Sync();
  file_->Sync();  // the records are on the disk before the header counts them
  WriteHeaderCount();
  if (durable) file_->Sync();
  dirty_ = false;
}

void TDbfTable::Zap() {
  count_ = 0;
  live_ = 0;
  WriteHeaderCount();
  file_->Sync();
  const uint8_t eof = kEndOfFile;
  file_->Truncate(headerLength_);
  file_->WriteAt(headerLength_, &eof, 1);
  if (memo_) memo_->Zap();
  cacheCount_ = 0;
  dirty_ = true;
}

// ---- Creating -----------------------------------------------------------------

namespace {

void CheckSpec(TDbfFieldSpec& s, TDbfFlavour flavour, const std::string& path) {
  auto fail = [&](const std::string& why) { throw EDatabaseError(Format("%s: field '%s' %s", path, s.name, why)); };
  if (s.name.empty() || s.name.size() > kMaxFieldNameLength) fail("needs a name of 1 to 10 characters");
  for (char c : s.name)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) fail("has a name with a character other than letters, digits and '_'");
  s.name = AsciiUpperCase(s.name);
  const bool fox = flavour == TDbfFlavour::FoxPro;
  switch (s.type) {
    case kTypeChar:
      if (s.length < 1 || s.length > static_cast<int>(kMaxCharLength)) fail("needs a length of 1 to 254");
      s.decimals = 0;
      break;
    case kTypeNumeric:
    case kTypeFloat:
      if (s.length < 1 || s.length > static_cast<int>(kMaxNumericLength)) fail("needs a width of 1 to 20");
      if (s.decimals < 0 || (s.decimals > 0 && s.decimals > s.length - 2)) fail("has more decimals than its width allows");
      break;
    case kTypeLogical: s.length = 1; s.decimals = 0; break;
    case kTypeDate: s.length = 8; s.decimals = 0; break;
    case kTypeMemo: s.length = fox ? 4 : 10; s.decimals = 0; break;
    case kTypeInteger: s.length = 4; s.decimals = 0; break;
    case kTypeDouble:
    case kTypeDateTime:
    case kTypeCurrency: s.length = 8; s.decimals = s.type == kTypeCurrency ? 4 : 0; break;
    default: fail(Format("has type '%s', which cannot be created", std::string(1, s.type)));
  }
  if (!fox && IsBinaryType(s.type)) fail(Format("has type '%s', which only FoxPro tables have", std::string(1, s.type)));
  if (!fox) s.nullable = false;
}

}  // namespace

std::unique_ptr<TDbfTable> TDbfTable::Create(const std::string& path, const std::vector<TDbfFieldSpec>& specs,
                                             TDbfFlavour flavour, uint8_t language) {
  const bool fox = flavour == TDbfFlavour::FoxPro;
  std::vector<TDbfFieldSpec> fields = specs;
  if (fields.empty()) throw EDatabaseError(Format("%s: a table needs at least one field", path));
  std::vector<std::string> names;
  int nullable = 0;
  bool memo = false;
  for (TDbfFieldSpec& s : fields) {
    CheckSpec(s, flavour, path);
    if (std::find(names.begin(), names.end(), s.name) != names.end())
      throw EDatabaseError(Format("%s: the field name '%s' is used twice", path, s.name));
    names.push_back(s.name);
    nullable += s.nullable;
    memo = memo || s.type == kTypeMemo;
  }
  if (nullable > 0) fields.push_back({kNullFlagsName, kTypeNullFlags, (nullable + 7) / 8, 0, false});
  const size_t headerLength = kHeaderSize + fields.size() * kFieldDescSize + 1 + (fox ? kBackLinkSize : 0);
  size_t recordLength = 1;
  for (const TDbfFieldSpec& s : fields) recordLength += static_cast<size_t>(s.length);
  if (recordLength > kMaxRecordLength || headerLength > 65535)
    throw EDatabaseError(Format("%s: the fields do not fit a record (%d bytes)", path, recordLength));

  std::vector<uint8_t> h(headerLength + 1, 0);
  h[kHeaderVersion] = fox ? kVersionVisualFoxPro : (memo ? kVersionDBase3Memo : kVersionDBase3);
  PutLE16(h.data() + kHeaderLength, static_cast<uint16_t>(headerLength));
  PutLE16(h.data() + kHeaderRecordLength, static_cast<uint16_t>(recordLength));
  if (fox && memo) h[kHeaderTableFlags] = kTableFlagMemo;
  h[kHeaderLanguage] = language;
  uint32_t offset = 1;
  for (size_t i = 0; i < fields.size(); ++i) {
    uint8_t* d = h.data() + kHeaderSize + i * kFieldDescSize;
    std::memcpy(d, fields[i].name.data(), std::min(fields[i].name.size(), kFieldNameSize - 1));
    d[kFieldType] = static_cast<uint8_t>(fields[i].type);
    if (fox) PutLE32(d + kFieldOffset, offset);
    d[kFieldLength] = static_cast<uint8_t>(fields[i].length);
    d[kFieldDecimals] = static_cast<uint8_t>(fields[i].decimals);
    if (fields[i].type == kTypeNullFlags) d[kFieldFlags] = kFieldFlagSystem | kFieldFlagBinary;
    else if (fields[i].nullable) d[kFieldFlags] = kFieldFlagNullable;
    else if (fox && IsBinaryType(fields[i].type)) d[kFieldFlags] = kFieldFlagBinary;
    offset += static_cast<uint32_t>(fields[i].length);
  }
  h[kHeaderSize + fields.size() * kFieldDescSize] = kFieldTerminator;
  h[headerLength] = kEndOfFile;
  // The memo file comes first: a table naming memos never lacks its memo file.
  const std::string memoPath = MemoPath(path, fox);
  if (memo) TDbfMemoFile::Create(memoPath, fox ? TMemoKind::FoxPro : TMemoKind::DBase3);
  try {
    TDbfFile file(path, TDbfFile::CreateNew);
    file.WriteAt(0, h.data(), h.size());
  } catch (...) {
    if (memo) ::unlink(memoPath.c_str());
    throw;
  }
  return Open(path, true);
}

}  // namespace kv::dbf
