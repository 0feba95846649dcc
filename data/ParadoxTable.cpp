#include "data/ParadoxTable.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <tuple>

#include "data/DatabaseError.h"
#include "data/ParadoxFormat.h"
#include "data/TextEncoding.h"
#include "foundation/CharClass.h"
#include "foundation/DateUtils.h"
#include "foundation/Format.h"

namespace kv::px {

namespace {

constexpr size_t kMaxFieldName = 25;
constexpr int64_t kLastDay = 3652059;  // 9999-12-31 counted as a Date field does
constexpr const char* kSortOrder = "ascii";

bool IsTextBlob(uint8_t type) { return type == kMemo || type == kFmtMemo; }

// A Date field's day number (0001-01-01 is 1) and milliseconds of the day as a TDateTime.
TDateTime ToDateTime(int64_t day, int64_t ms) {
  const double date = static_cast<double>(day - DateDelta);
  const double time = static_cast<double>(ms) / static_cast<double>(MSecsPerDay);
  return date >= 0 ? date + time : date - time;
}

// The reverse of ToDateTime.
void FromDateTime(TDateTime value, int64_t& day, int64_t& ms) {
  const double whole = std::trunc(value);
  ms = std::llround(std::fabs(value - whole) * static_cast<double>(MSecsPerDay));
  day = static_cast<int64_t>(whole) + DateDelta;
  if (ms >= MSecsPerDay) {
    ms -= MSecsPerDay;
    day += value >= 0 ? 1 : -1;
  }
}

int64_t WholeNumber(const TVariant& value, size_t bytes) {
  const double d = value.Type() == varInteger ? static_cast<double>(value.RawInteger()) : value.AsFloat();
  const int64_t limit = (int64_t{1} << (8 * bytes - 1)) - 1;
  if (!std::isfinite(d) || d != std::floor(d)) throw EDatabaseError(Format("%s is not a whole number", value.AsString()));
  if (d < static_cast<double>(-limit) || d > static_cast<double>(limit))
    throw EDatabaseError(Format("%s is outside the field's range %d..%d", value.AsString(), -limit, limit));
  return value.Type() == varInteger ? value.RawInteger() : static_cast<int64_t>(d);
}

}  // namespace

std::string TParadoxField::TypeName() const { return px::TypeName(type, size); }

TParadoxTable::~TParadoxTable() {
  try {
    if (writable_) Commit(true);
  } catch (...) {
    // The blocks hold the records; the header keeps its last state.
  }
}

void TParadoxTable::Corrupt(const std::string& what) const { throw EDatabaseError(Format("%s is corrupt: %s", Path(), what)); }

std::string TParadoxTable::MemoPath(const std::string& tablePath) {
  const size_t slash = tablePath.find_last_of('/');
  const size_t dot = tablePath.find_last_of('.');
  const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string base = hasExt ? tablePath.substr(0, dot) : tablePath;
  const std::string ext = hasExt ? tablePath.substr(dot + 1) : std::string();
  const bool upper = !ext.empty() && std::all_of(ext.begin(), ext.end(), [](char c) { return c < 'a' || c > 'z'; });
  return base + (upper ? ".MB" : ".mb");
}

std::string TParadoxTable::IndexPath(const std::string& tablePath) {
  std::string memo = MemoPath(tablePath);
  return memo.substr(0, memo.size() - 2) + (memo.back() == 'B' ? "PX" : "px");
}

// ---- Opening ----------------------------------------------------------------------

std::unique_ptr<TParadoxTable> TParadoxTable::Open(const std::string& path, bool writable) {
  std::unique_ptr<TParadoxTable> t(new TParadoxTable());
  t->file_ = std::make_unique<dbf::TDbfFile>(path, writable ? dbf::TDbfFile::ReadWrite : dbf::TDbfFile::ReadOnly);
  const uint64_t size = t->file_->Size();
  std::vector<uint8_t> header(kHeaderBaseSize);
  if (t->file_->ReadAt(0, header.data(), header.size()) < header.size())
    throw EDatabaseError(Format("%s is truncated: it is shorter than a Paradox table header (%d bytes)", path, size));
  const uint32_t headerSize = GetLE16(header.data() + kHeaderHeaderSize);
  if (headerSize < kHeaderBaseSize) t->Corrupt(Format("the header size %d is too small", headerSize));
  if (headerSize > size)
    throw EDatabaseError(Format("%s is truncated: the header announces %d header bytes, the file holds %d", path,
                                headerSize, size));
  header.resize(headerSize);
  t->file_->ReadExact(0, header.data(), headerSize, "the header");
  t->ParseHeader(header);
  t->OpenCodec();
  t->ParseFields(header, t->version_ >= kVersion4 ? kHeaderExtendedSize : kHeaderBaseSize);
  t->ReadChain();
  if (writable) t->readOnlyReason_ = t->IndexProblem();
  if (writable && t->readOnlyReason_.empty()) {
    if (!t->file_->TryLock())
      throw EDatabaseError(Format("%s is open for writing elsewhere (another dataset, thread or program)", path));
    t->writable_ = true;
  } else if (!writable) {
    t->readOnlyReason_.clear();
  }
  if (std::any_of(t->fields_.begin(), t->fields_.end(), [](const TParadoxField& f) { return IsBlobType(f.type); })) {
    try {
      t->memo_ = std::make_unique<TParadoxMemoFile>(MemoPath(path), t->writable_);
    } catch (const EDatabaseError& e) {
      // Values that fit their leaders are still readable; the others say the file is missing.
      if (t->writable_) throw EDatabaseError(Format("%s has BLOB fields but its BLOB file cannot be used: %s", path, e.what()));
    }
  }
  return t;
}

void TParadoxTable::ParseHeader(const std::vector<uint8_t>& h) {
  fileType_ = h[kHeaderFileType];
  if (fileType_ != kFileTypeDb && fileType_ != kFileTypeIndexedDb)
    Corrupt(Format("it is not a Paradox table (file type %d)", fileType_));
  version_ = h[kHeaderVersion];
  if (version_ < kVersion3 || version_ > kVersion7) Corrupt(Format("the version number %d is not known", version_));
  if (version_ >= kVersion4 && h.size() < kHeaderExtendedSize) Corrupt("the header is too short for its version");
  const uint32_t encryption = version_ >= kVersion4 ? GetLE32(h.data() + kHeaderEncryption2) : GetLE32(h.data() + kHeaderEncryption1);
  if (encryption != 0) throw EDatabaseError(Format("%s is encrypted (password-protected); such tables are not supported", Path()));
  headerSize_ = static_cast<uint32_t>(h.size());
  recordLength_ = GetLE16(h.data() + kHeaderRecordSize);
  const uint8_t kib = h[kHeaderMaxTableSize];
  if (kib != 1 && kib != 2 && kib != 3 && kib != 4 && kib != 8 && kib != 16 && kib != 32)
    Corrupt(Format("the block size %d KB is not one Paradox uses", kib));
  blockSize_ = kib * 1024u;
  if (recordLength_ == 0 || recordLength_ + kBlockHeaderSize > blockSize_)
    Corrupt(Format("records of %d bytes do not fit blocks of %d", recordLength_, blockSize_));
  keyFields_ = GetLE16(h.data() + kHeaderKeyFields);
  autoInc_ = GetLE32(h.data() + kHeaderAutoInc);
  codePage_ = version_ >= kVersion4 ? GetLE16(h.data() + kHeaderCodePage) : kVersion3CodePage;
  if (codePage_ == 0) codePage_ = kVersion3CodePage;
}

void TParadoxTable::ParseFields(const std::vector<uint8_t>& h, size_t at) {
  const size_t n = GetLE16(h.data() + kHeaderNumFields);
  if (n == 0) Corrupt("the table has no fields");
  if (keyFields_ > n) Corrupt(Format("the key has %d fields, the table %d", keyFields_, n));
  const size_t nameSize = version_ >= kVersion7 ? kTableNameSize7 : kTableNameSize3;
  size_t names = at + 2 * n + 4 + 4 * n + nameSize;
  if (names > h.size()) Corrupt("the field list runs past the header");
  uint32_t offset = 0;
  for (size_t i = 0; i < n; ++i) {
    TParadoxField f;
    f.type = h[at + 2 * i];
    f.size = h[at + 2 * i + 1];
    const auto* start = h.data() + names;
    const auto* end = std::find(start, h.data() + h.size(), 0);
    if (end == h.data() + h.size()) Corrupt("the field names run past the header");
    f.name = Decode(std::string_view(reinterpret_cast<const char*>(start), static_cast<size_t>(end - start)),
                    Format("the name of field %d", i + 1));
    names += static_cast<size_t>(end - start) + 1;
    f.length = static_cast<uint32_t>(FieldLength(f.type, f.size));
    if (f.length == 0) {
      if (!TypeName(f.type, 0).starts_with("?")) Corrupt(Format("field '%s' of type %s has size %d", f.name, TypeName(f.type, f.size), f.size));
      throw EDatabaseError(Format("%s: field '%s' has type 0x%.2x, which is not supported", Path(), f.name, f.type));
    }
    f.offset = offset;
    offset += f.length;
    fields_.push_back(std::move(f));
  }
  if (offset != recordLength_)
    Corrupt(Format("the fields take %d bytes but the header says records have %d", offset, recordLength_));
  keyLength_ = keyFields_ > 0 ? fields_[keyFields_ - 1].offset + fields_[keyFields_ - 1].length : 0;
  const size_t order = names + 2 * n;
  if (version_ >= kVersion4 && order < h.size()) {
    const auto* start = h.data() + order;
    sortOrder_.assign(start, std::find(start, h.data() + h.size(), 0));
  }
}

void TParadoxTable::ReadChain() {
  const uint64_t size = file_->Size();
  const uint64_t inFile = (size - headerSize_ + blockSize_ - 1) / blockSize_;
  fileBlocks_ = static_cast<uint16_t>(std::min<uint64_t>(inFile, 0xFFFF));
  chain_.clear();
  std::vector<bool> seen(size_t{fileBlocks_} + 1, false);
  uint8_t head[kBlockHeaderSize];
  file_->ReadExact(kHeaderFirstBlock, head, 2, "the header");
  uint16_t block = GetLE16(head);
  count_ = 0;
  while (block != 0) {
    if (block > fileBlocks_ || BlockOffset(block) + blockSize_ > size)
      throw EDatabaseError(Format("%s is truncated: block %d of the chain lies past the end of the file", Path(), block));
    if (seen[block]) Corrupt(Format("the block chain loops back to block %d", block));
    seen[block] = true;
    file_->ReadExact(BlockOffset(block), head, sizeof head, "a block header");
    const auto last = static_cast<int16_t>(GetLE16(head + 4));
    uint32_t records = 0;
    if (last >= 0) {
      if (last % recordLength_ != 0) Corrupt(Format("block %d has a record size that is not the table's", block));
      records = last / recordLength_ + 1;
      if (kBlockHeaderSize + records * recordLength_ > blockSize_)
        Corrupt(Format("block %d claims %d records, more than it holds", block, records));
    }
    chain_.push_back({block, records});
    count_ += records;
    block = GetLE16(head);
  }
  Renumber();
}

void TParadoxTable::Renumber() {
  firstRecord_.clear();
  uint32_t first = 1;
  for (const TBlock& b : chain_) {
    firstRecord_.push_back(first);
    first += b.records;
  }
  cacheIndex_ = SIZE_MAX;
}

void TParadoxTable::OpenCodec() {
  const std::string name = CodePageName(codePage_);
  if (!codec_.Open(name))
    throw EDatabaseError(Format("%s: the code page %d cannot be converted on this system", Path(), codePage_));
}

std::string TParadoxTable::Decode(std::string_view bytes, const std::string& what) const {
  std::string out;
  const size_t bad = codec_.Decode(bytes, out);
  if (bad != std::string_view::npos)
    throw EDatabaseError(Format("%s: %s holds bytes that are not code page %d text: %s", Path(), what, codePage_,
                                BytesAt(bytes, bad)));
  return out;
}

std::string TParadoxTable::Encode(std::string_view text, const std::string& what) const {
  std::string out;
  const size_t bad = codec_.Encode(text, out);
  if (bad != std::string_view::npos)
    throw EDatabaseError(Format("%s: %s: the character \"%s\" cannot be written in code page %d", Path(), what,
                                CharacterAt(text, bad), codePage_));
  return out;
}

// ---- The primary index: what can be kept ---------------------------------------------

std::string TParadoxTable::SecondaryIndex() const {
  const size_t slash = Path().find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : Path().substr(0, slash + 1);
  const std::string file = slash == std::string::npos ? Path() : Path().substr(slash + 1);
  const std::string base = AsciiUpperCase(file.substr(0, file.find_last_of('.')));
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return "";
  std::string found;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = AsciiUpperCase(e->d_name);
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || name.substr(0, dot) != base) continue;
    const std::string ext = name.substr(dot + 1);
    if (ext.size() == 3 && (ext[0] == 'X' || ext[0] == 'Y') &&
        (ext[1] == 'G' || std::isdigit(static_cast<unsigned char>(ext[1]))) && std::isalnum(static_cast<unsigned char>(ext[2]))) {
      found = e->d_name;
      break;
    }
  }
  ::closedir(dir);
  return found.empty() ? "" : folder + found;
}

bool TParadoxTable::PrimaryIndexFits(const std::string& indexPath) const {
  std::vector<uint8_t> h(kHeaderBaseSize + 2 * keyFields_);
  try {
    dbf::TDbfFile index(indexPath, dbf::TDbfFile::ReadOnly);
    if (index.ReadAt(0, h.data(), h.size()) < h.size()) return false;
  } catch (const Exception&) {
    return false;
  }
  if (h[kHeaderFileType] != kFileTypePrimaryIndex || GetLE16(&h[kHeaderNumFields]) != keyFields_ ||
      GetLE16(&h[kHeaderRecordSize]) != keyLength_ + kIndexPointerSize)
    return false;
  for (size_t i = 0; i < keyFields_; ++i)
    if (h[kHeaderBaseSize + 2 * i] != fields_[i].type || h[kHeaderBaseSize + 2 * i + 1] != fields_[i].size) return false;
  return true;
}

std::string TParadoxTable::IndexProblem() {
  const std::string px = IndexPath(Path());
  const bool hasPx = ::access(px.c_str(), F_OK) == 0;
  auto readOnly = [&](const std::string& why) { return Format("%s %s: the table is open read-only", Path(), why); };
  if (keyFields_ == 0)
    return hasPx ? readOnly(Format("has an index file %s, which this program does not maintain", px)) : "";
  const std::string secondary = SecondaryIndex();
  if (!secondary.empty()) return readOnly(Format("has a secondary index %s, which this program does not maintain", secondary));
  if (hasPx && !PrimaryIndexFits(px))
    return readOnly(Format("has a primary key whose index %s is not one this program knows how to rebuild", px));
  for (size_t i = 0; i < keyFields_; ++i) {
    if (IsBlobType(fields_[i].type)) return readOnly(Format("has the BLOB field '%s' in its key", fields_[i].name));
    if (fields_[i].type == kAlpha && !sortOrder_.empty() && AsciiUpperCase(sortOrder_) != "ASCII")
      return readOnly(Format("has its key sorted in the order '%s', which this program does not keep", sortOrder_));
  }
  std::string previous;
  for (uint32_t r = 1; r <= count_; ++r) {
    std::string key(reinterpret_cast<const char*>(Record(r)), keyLength_);
    if (r > 1 && key <= previous)
      return readOnly(Format("has records out of primary key order (record %d, key %s)", r, KeyText(Record(r), r)));
    previous = std::move(key);
  }
  return "";
}

std::string TParadoxTable::KeyText(const uint8_t* record, uint32_t recNo) {
  std::string text;
  for (size_t i = 0; i < keyFields_; ++i) {
    std::string value;
    try {
      const TVariant v = Value(record, i, recNo);
      value = v.IsNull() ? "Null" : v.AsString();
    } catch (const Exception&) {
      value = HexBytes(std::string_view(reinterpret_cast<const char*>(record + fields_[i].offset), fields_[i].length));
    }
    text += (i ? ", " : "") + fields_[i].name + " = " + value;
  }
  return text;
}

void TParadoxTable::DuplicateKey(const uint8_t* record, uint32_t recNo) {
  throw EDatabaseError(Format("%s: a record with the key %s exists already; a primary key holds each key once", Path(),
                              KeyText(record, recNo)));
}

uint32_t TParadoxTable::FindRecord(const std::vector<TVariant>& keyValues) {
  if (keyFields_ == 0 || keyValues.size() != keyFields_) return 0;
  std::vector<TVariant> values(keyValues);
  values.resize(fields_.size(), TVariant::Null());
  const uint32_t autoInc = autoInc_;
  TParadoxRecordImage image;
  try {
    image = EncodeRecord(values, nullptr, 0);
  } catch (const EDatabaseError&) {
    autoInc_ = autoInc;
    return 0;
  }
  autoInc_ = autoInc;  // a Null autoincrement field after the key took a number
  const auto [at, found] = FindKey(reinterpret_cast<const uint8_t*>(image.bytes.data()));
  return found ? at : 0;
}

std::pair<uint32_t, bool> TParadoxTable::FindKey(const uint8_t* key) {
  // Keys arriving in order (a sorted import) go after the last record: one block read.
  if (count_ == 0 || std::memcmp(Record(count_), key, keyLength_) < 0) return {count_ + 1, false};
  if (std::any_of(chain_.begin(), chain_.end(), [](const TBlock& b) { return b.records == 0; })) {
    // An empty block in the chain (left by another program) has no first key: search the records.
    uint32_t first = 1, last = count_;
    while (first < last) {
      const uint32_t mid = first + (last - first) / 2;
      if (std::memcmp(Record(mid), key, keyLength_) < 0) first = mid + 1;
      else last = mid;
    }
    return {first, std::memcmp(Record(first), key, keyLength_) == 0};
  }
  // The last block whose first key is not above `key` (the first block when none), then its records.
  size_t low = 0, high = chain_.size();
  while (high - low > 1) {
    const size_t mid = low + (high - low) / 2;
    if (std::memcmp(FirstKey(chain_[mid].number).data(), key, keyLength_) <= 0) low = mid;
    else high = mid;
  }
  LoadBlock(low);
  uint32_t slot = 0, end = chain_[low].records;
  while (slot < end) {
    const uint32_t mid = slot + (end - slot) / 2;
    if (std::memcmp(cache_.data() + size_t{mid} * recordLength_, key, keyLength_) < 0) slot = mid + 1;
    else end = mid;
  }
  const uint32_t at = firstRecord_[low] + slot;
  return {at, at <= count_ && std::memcmp(Record(at), key, keyLength_) == 0};
}

const std::string& TParadoxTable::FirstKey(uint16_t block) {
  if (firstKeys_.size() <= block) firstKeys_.resize(size_t{fileBlocks_} + 1);
  std::string& key = firstKeys_[block];
  if (key.empty()) {
    key.assign(keyLength_, '\0');
    file_->ReadExact(BlockOffset(block) + kBlockHeaderSize, key.data(), keyLength_, "a block");
  }
  return key;
}

// ---- Reading ------------------------------------------------------------------------

std::pair<size_t, uint32_t> TParadoxTable::Locate(uint32_t recNo) const {
  if (recNo < 1 || recNo > count_) throw EDatabaseError(Format("%s: there is no record %d", Path(), recNo));
  const size_t index = static_cast<size_t>(std::upper_bound(firstRecord_.begin(), firstRecord_.end(), recNo) -
                                           firstRecord_.begin()) - 1;
  return {index, recNo - firstRecord_[index]};
}

void TParadoxTable::LoadBlock(size_t chainIndex) {
  if (cacheIndex_ == chainIndex) return;
  cache_.resize(size_t{chain_[chainIndex].records} * recordLength_);
  file_->ReadExact(BlockOffset(chain_[chainIndex].number) + kBlockHeaderSize, cache_.data(), cache_.size(), "a block");
  cacheIndex_ = chainIndex;
}

const uint8_t* TParadoxTable::Record(uint32_t recNo) {
  const auto [index, slot] = Locate(recNo);
  LoadBlock(index);
  return cache_.data() + size_t{slot} * recordLength_;
}

TVariant TParadoxTable::Value(const uint8_t* record, size_t index, uint32_t recNo) {
  const TParadoxField& f = fields_[index];
  const uint8_t* p = record + f.offset;
  if (IsBlank(p, f.length)) return TVariant::Null();
  auto what = [&] { return Format("record %d, field '%s'", recNo, f.name); };
  auto bad = [&](const std::string& why) -> TVariant { Corrupt(Format("%s %s", what(), why)); };
  switch (f.type) {
    case kAlpha: {
      size_t n = f.length;
      while (n > 0 && p[n - 1] == 0) --n;
      return TVariant(Decode(std::string_view(reinterpret_cast<const char*>(p), n), what()));
    }
    case kShort: return TVariant(DecodeInt(p, 2));
    case kLong:
    case kAutoInc: return TVariant(DecodeInt(p, 4));
    case kCurrency:
    case kNumber: return TVariant(DecodeDouble(p));
    case kLogical:
      if (*p == 0x80 || *p == 0x81) return TVariant(*p == 0x81);
      return bad(Format("holds 0x%.2x, which is not a logical value", *p));
    case kDate: {
      const int64_t day = DecodeInt(p, 4);
      if (day < 1 || day > kLastDay) return bad(Format("holds day %d, which is no date", day));
      return TVariant::FromDateTime(ToDateTime(day, 0));
    }
    case kTime: {
      const int64_t ms = DecodeInt(p, 4);
      if (ms < 0 || ms >= MSecsPerDay) return bad(Format("holds %d ms, which is no time of day", ms));
      return TVariant::FromDateTime(ToDateTime(DateDelta, ms));
    }
    case kTimestamp: {
      const double ms = DecodeDouble(p);
      const double day = std::floor(ms / static_cast<double>(MSecsPerDay));
      if (!std::isfinite(ms) || day < 1 || day > kLastDay) return bad("holds a timestamp out of range");
      return TVariant::FromDateTime(ToDateTime(static_cast<int64_t>(day), std::llround(ms - day * MSecsPerDay)));
    }
    case kBcd: {
      std::string text;
      if (!DecodeBcd(p, f.size, text)) return bad("holds bytes that are not a BCD number");
      return TVariant(std::strtod(text.c_str(), nullptr));
    }
    case kBytes: return TVariant(std::string(reinterpret_cast<const char*>(p), f.length));
    default: return BlobValue(f, p, what());
  }
}

TVariant TParadoxTable::BlobValue(const TParadoxField& f, const uint8_t* p, const std::string& what) {
  // The leader, then place, length and modification number.
  const size_t leader = f.length - kBlobPointerSize;
  const uint32_t place = GetLE32(p + leader);
  const uint32_t length = GetLE32(p + leader + 4);
  if (length == 0) return TVariant::Null();
  std::string bytes;
  if (length <= leader) {
    bytes.assign(reinterpret_cast<const char*>(p), length);
  } else {
    if (!memo_) throw EDatabaseError(Format("%s: %s: the BLOB file %s cannot be read", Path(), what, MemoPath(Path())));
    bytes = memo_->Read(place, length);
  }
  return IsTextBlob(f.type) ? TVariant(Decode(bytes, what)) : TVariant(std::move(bytes));
}

// ---- Encoding -----------------------------------------------------------------------

void TParadoxTable::EncodeField(size_t index, const TVariant& value, uint8_t* record, TParadoxRecordImage& image,
                                bool inserting) {
  const TParadoxField& f = fields_[index];
  uint8_t* p = record + f.offset;
  const bool blank = value.IsNullOrEmpty() || (value.Type() == varString && value.RawString().empty());
  if (blank && f.type == kAutoInc && inserting) {
    EncodeInt(p, 4, ++autoInc_);
    return;
  }
  std::memset(p, 0, f.length);
  if (blank) return;
  switch (f.type) {
    case kAlpha:
    case kBytes: {
      const std::string bytes = f.type == kAlpha ? Encode(value.AsString(), "field '" + f.name + "'") : value.AsString();
      if (bytes.size() > f.length)
        throw EDatabaseError(Format("the value needs %d bytes, the field holds %d", bytes.size(), f.length));
      std::memcpy(p, bytes.data(), bytes.size());
      return;
    }
    default: break;
  }
  if (IsBlobType(f.type)) EncodeBlob(index, value, p, image);
  else EncodeFixed(f, value, p);
}

void TParadoxTable::EncodeFixed(const TParadoxField& f, const TVariant& value, uint8_t* p) {
  switch (f.type) {
    case kShort: EncodeInt(p, 2, WholeNumber(value, 2)); return;
    case kLong: EncodeInt(p, 4, WholeNumber(value, 4)); return;
    case kAutoInc: {
      const int64_t n = WholeNumber(value, 4);
      EncodeInt(p, 4, n);
      if (n > 0 && static_cast<uint32_t>(n) > autoInc_) autoInc_ = static_cast<uint32_t>(n);
      return;
    }
    case kCurrency:
    case kNumber: {
      const double d = value.AsFloat();
      if (!std::isfinite(d)) throw EDatabaseError(Format("%s is not a finite number", value.AsString()));
      EncodeDouble(p, d);
      return;
    }
    case kLogical: *p = value.AsBoolean() ? 0x81 : 0x80; return;
    case kDate:
    case kTimestamp: {
      int64_t day = 0, ms = 0;
      FromDateTime(value.AsDateTime(), day, ms);
      if (day < 1 || day > kLastDay) throw EDatabaseError(Format("%s is outside the years 1..9999", value.AsString()));
      if (f.type == kDate) EncodeInt(p, 4, day);
      else EncodeDouble(p, static_cast<double>(day) * static_cast<double>(MSecsPerDay) + static_cast<double>(ms));
      return;
    }
    case kTime: {
      int64_t day = 0, ms = 0;
      FromDateTime(value.AsDateTime(), day, ms);
      EncodeInt(p, 4, ms);
      return;
    }
    case kBcd: {
      const double d = value.AsFloat();
      char buf[512];
      if (!std::isfinite(d) || std::fabs(d) >= 1e33) throw EDatabaseError(Format("%s does not fit 32 digits", value.AsString()));
      std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(f.size), std::fabs(d));
      std::string digits(buf);
      digits.erase(std::remove(digits.begin(), digits.end(), '.'), digits.end());
      digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
      if (!EncodeBcd(p, f.size, d < 0 && !digits.empty(), digits))
        throw EDatabaseError(Format("%s does not fit 32 digits with %d decimals", value.AsString(), f.size));
      return;
    }
    default: throw EDatabaseError(Format("the type %s cannot be written", f.TypeName()));
  }
}

void TParadoxTable::EncodeBlob(size_t index, const TVariant& value, uint8_t* p, TParadoxRecordImage& image) {
  const TParadoxField& f = fields_[index];
  std::string bytes = IsTextBlob(f.type) ? Encode(value.AsString(), "field '" + f.name + "'") : value.AsString();
  const size_t leader = f.length - kBlobPointerSize;
  std::memcpy(p, bytes.data(), std::min(leader, bytes.size()));
  PutLE32(p + leader + 4, static_cast<uint32_t>(bytes.size()));
  if (bytes.size() > UINT32_MAX - kMbChunk) throw EDatabaseError("the value is longer than 4 GB");
  if (bytes.size() > leader) image.blobs.emplace_back(index, std::move(bytes));
}

TParadoxRecordImage TParadoxTable::EncodeRecord(const std::vector<TVariant>& values, const uint8_t* base, uint32_t recNo) {
  TParadoxRecordImage image;
  image.bytes.assign(recordLength_, '\0');
  if (base) std::memcpy(image.bytes.data(), base, recordLength_);
  auto* record = reinterpret_cast<uint8_t*>(image.bytes.data());
  const uint32_t autoInc = autoInc_;
  for (size_t i = 0; i < fields_.size(); ++i) {
    const TVariant& value = i < values.size() ? values[i] : TVariant::Null();
    if (base && value.IsEmpty()) continue;  // left as it was
    try {
      EncodeField(i, value, record, image, base == nullptr);
    } catch (const Exception& e) {
      autoInc_ = autoInc;
      throw EDatabaseError(Format("%s: record %d, field '%s': %s", Path(), recNo, fields_[i].name, e.Message()));
    }
  }
  return image;
}

// ---- Writing ------------------------------------------------------------------------

void TParadoxTable::CheckWritable() const {
  if (writable_) return;
  throw EDatabaseError(readOnlyReason_.empty() ? Format("%s is open read-only", Path()) : readOnlyReason_);
}

void TParadoxTable::WriteBlobs(TParadoxRecordImage& image) {
  for (auto& [index, bytes] : image.blobs) {
    const TParadoxField& f = fields_[index];
    if (!memo_) throw EDatabaseError(Format("%s: the BLOB file %s is missing", Path(), MemoPath(Path())));
    uint16_t modNr = 0;
    const uint32_t place = memo_->Write(bytes, modNr);
    auto* p = reinterpret_cast<uint8_t*>(image.bytes.data()) + f.offset + f.length - kBlobPointerSize;
    PutLE32(p, place);
    PutLE16(p + 8, modNr);
  }
  image.blobs.clear();
}

void TParadoxTable::WriteBlockHeader(uint16_t block, uint16_t next, uint16_t prev, uint32_t records) {
  uint8_t head[kBlockHeaderSize];
  PutLE16(head, next);
  PutLE16(head + 2, prev);
  PutLE16(head + 4, static_cast<uint16_t>(static_cast<int16_t>((static_cast<int32_t>(records) - 1) * static_cast<int32_t>(recordLength_))));
  file_->WriteAt(BlockOffset(block), head, sizeof head);
}

uint16_t TParadoxTable::NewBlock() {
  InsertBlock(chain_.size());
  return chain_.back().number;
}

void TParadoxTable::InsertBlock(size_t at) {
  if (fileBlocks_ == 0xFFFF) throw EDatabaseError(Format("%s is full: a Paradox table holds 65535 blocks", Path()));
  const auto block = static_cast<uint16_t>(fileBlocks_ + 1);
  const uint16_t prev = at > 0 ? chain_[at - 1].number : 0;
  const uint16_t next = at < chain_.size() ? chain_[at].number : 0;
  std::vector<uint8_t> bytes(blockSize_, 0);
  file_->WriteAt(BlockOffset(block), bytes.data(), bytes.size());
  WriteBlockHeader(block, next, prev, 0);
  fileBlocks_ = block;
  uint8_t number[2];
  PutLE16(number, block);
  if (prev != 0) file_->WriteAt(BlockOffset(prev), number, sizeof number);
  if (next != 0) file_->WriteAt(BlockOffset(next) + 2, number, sizeof number);
  chain_.insert(chain_.begin() + static_cast<ptrdiff_t>(at), TBlock{block, 0});
  if (at == 0) WriteFirstBlock();
  Renumber();
}

void TParadoxTable::SplitBlock(size_t chainIndex) {
  InsertBlock(chainIndex + 1);
  LoadBlock(chainIndex);
  const std::vector<uint8_t> records(cache_);
  TBlock& low = chain_[chainIndex];
  TBlock& high = chain_[chainIndex + 1];
  const uint32_t keep = (low.records + 1) / 2;
  Touched(high.number);
  const size_t kept = size_t{keep} * recordLength_;
  file_->WriteAt(BlockOffset(high.number) + kBlockHeaderSize, records.data() + kept, records.size() - kept);
  high.records = low.records - keep;
  WriteBlockHeader(high.number, chainIndex + 2 < chain_.size() ? chain_[chainIndex + 2].number : 0, low.number, high.records);
  const std::vector<uint8_t> blank(records.size() - kept, 0);
  file_->WriteAt(BlockOffset(low.number) + kBlockHeaderSize + kept, blank.data(), blank.size());
  low.records = keep;
  WriteBlockHeader(low.number, high.number, chainIndex > 0 ? chain_[chainIndex - 1].number : 0, low.records);
  Renumber();
}

void TParadoxTable::InsertAt(uint32_t recNo, const std::string& bytes) {
  const uint32_t perBlock = (blockSize_ - kBlockHeaderSize) / recordLength_;
  if (chain_.empty()) InsertBlock(0);
  size_t index = chain_.size() - 1;
  uint32_t slot = chain_.back().records;
  if (recNo <= count_) std::tie(index, slot) = Locate(recNo);
  // At a block's start, the end of the block before it serves as well.
  if (slot == 0 && index > 0 && chain_[index - 1].records < perBlock) slot = chain_[--index].records;
  if (chain_[index].records >= perBlock) {
    if (slot == perBlock && index + 1 == chain_.size()) {
      InsertBlock(chain_.size());
      ++index;
      slot = 0;
    } else {
      SplitBlock(index);
      if (slot > chain_[index].records) slot -= chain_[index++].records;
    }
  }
  LoadBlock(index);
  std::vector<uint8_t> records(cache_);
  records.insert(records.begin() + static_cast<ptrdiff_t>(size_t{slot} * recordLength_), bytes.begin(), bytes.end());
  cacheIndex_ = SIZE_MAX;
  TBlock& block = chain_[index];
  file_->WriteAt(BlockOffset(block.number) + kBlockHeaderSize, records.data(), records.size());
  Touched(block.number);
  ++block.records;
  WriteBlockHeader(block.number, index + 1 < chain_.size() ? chain_[index + 1].number : 0,
                   index > 0 ? chain_[index - 1].number : 0, block.records);
  ++count_;
  for (size_t i = index + 1; i < firstRecord_.size(); ++i) ++firstRecord_[i];
  dirty_ = true;
}

uint32_t TParadoxTable::Append(TParadoxRecordImage& image) {
  CheckWritable();
  const auto* record = reinterpret_cast<const uint8_t*>(image.bytes.data());
  if (keyFields_ > 0) {
    const auto [at, found] = FindKey(record);
    if (found) DuplicateKey(record, at);
    WriteBlobs(image);
    InsertAt(at, image.bytes);
    return at;
  }
  WriteBlobs(image);
  const uint32_t perBlock = (blockSize_ - kBlockHeaderSize) / recordLength_;
  if (chain_.empty() || chain_.back().records >= perBlock) NewBlock();
  TBlock& last = chain_.back();
  file_->WriteAt(BlockOffset(last.number) + kBlockHeaderSize + uint64_t{last.records} * recordLength_, image.bytes.data(),
                 recordLength_);
  ++last.records;
  uint8_t head[4];
  file_->ReadExact(BlockOffset(last.number), head, sizeof head, "a block header");
  WriteBlockHeader(last.number, GetLE16(head), GetLE16(head + 2), last.records);
  if (cacheIndex_ == chain_.size() - 1) cacheIndex_ = SIZE_MAX;
  dirty_ = true;
  return ++count_;
}

uint32_t TParadoxTable::Rewrite(uint32_t recNo, TParadoxRecordImage& image) {
  CheckWritable();
  const auto* record = reinterpret_cast<const uint8_t*>(image.bytes.data());
  if (keyFields_ > 0 && std::memcmp(Record(recNo), record, keyLength_) != 0) {
    // The record moves to its new key's place: written there first, then
    // removed from the old one, so that a failure between leaves it twice rather than lost.
    const auto [at, found] = FindKey(record);
    if (found) DuplicateKey(record, at);
    WriteBlobs(image);
    InsertAt(at, image.bytes);
    Delete(at <= recNo ? recNo + 1 : recNo);
    return at <= recNo ? at : at - 1;
  }
  WriteBlobs(image);
  const auto [index, slot] = Locate(recNo);
  file_->WriteAt(BlockOffset(chain_[index].number) + kBlockHeaderSize + uint64_t{slot} * recordLength_,
                 image.bytes.data(), recordLength_);
  if (slot == 0) Touched(chain_[index].number);
  if (cacheIndex_ == index) std::memcpy(cache_.data() + size_t{slot} * recordLength_, image.bytes.data(), recordLength_);
  dirty_ = true;
  return recNo;
}

void TParadoxTable::Delete(uint32_t recNo) {
  CheckWritable();
  const auto [index, slot] = Locate(recNo);
  LoadBlock(index);
  TBlock& block = chain_[index];
  std::vector<uint8_t> records(cache_);
  records.erase(records.begin() + static_cast<ptrdiff_t>(size_t{slot} * recordLength_),
                records.begin() + static_cast<ptrdiff_t>(size_t{slot + 1} * recordLength_));
  records.resize(cache_.size(), 0);
  cacheIndex_ = SIZE_MAX;
  file_->WriteAt(BlockOffset(block.number) + kBlockHeaderSize, records.data(), records.size());
  Touched(block.number);
  uint8_t head[4];
  file_->ReadExact(BlockOffset(block.number), head, sizeof head, "a block header");
  --block.records;
  WriteBlockHeader(block.number, GetLE16(head), GetLE16(head + 2), block.records);
  if (block.records == 0) Unlink(index);
  --count_;
  Renumber();
  dirty_ = true;
}

void TParadoxTable::Unlink(size_t chainIndex) {
  const uint16_t prev = chainIndex > 0 ? chain_[chainIndex - 1].number : 0;
  const uint16_t next = chainIndex + 1 < chain_.size() ? chain_[chainIndex + 1].number : 0;
  uint8_t number[2];
  if (prev != 0) {
    PutLE16(number, next);
    file_->WriteAt(BlockOffset(prev), number, sizeof number);
  }
  if (next != 0) {
    PutLE16(number, prev);
    file_->WriteAt(BlockOffset(next) + 2, number, sizeof number);
  }
  WriteBlockHeader(chain_[chainIndex].number, 0, 0, 0);
  chain_.erase(chain_.begin() + static_cast<ptrdiff_t>(chainIndex));
  if (chainIndex == 0) WriteFirstBlock();
}

void TParadoxTable::Touched(uint16_t block) {
  if (block < firstKeys_.size()) firstKeys_[block].clear();
}

void TParadoxTable::WriteFirstBlock() {
  uint8_t number[2];
  PutLE16(number, chain_.empty() ? 0 : chain_.front().number);
  file_->WriteAt(kHeaderFirstBlock, number, sizeof number);
}

void TParadoxTable::Zap() {
  CheckWritable();
  count_ = 0;
  chain_.clear();
  firstRecord_.clear();
  firstKeys_.clear();
  fileBlocks_ = 0;
  cacheIndex_ = SIZE_MAX;
  dirty_ = true;
  Commit(true);
  file_->Truncate(headerSize_);
  if (memo_) memo_->Zap();
}

void TParadoxTable::Commit(bool durable) {
  if (!writable_ || !dirty_) return;
  if (memo_) memo_->Sync();
  file_->Sync();
  uint8_t h[kHeaderAutoInc + 4];
  file_->ReadExact(0, h, sizeof h, "the header");
  PutLE32(h + kHeaderNumRecords, count_);
  PutLE16(h + kHeaderNextBlock, fileBlocks_);
  PutLE16(h + kHeaderFileBlocks, fileBlocks_);
  PutLE16(h + kHeaderFirstBlock, chain_.empty() ? 0 : chain_.front().number);
  PutLE16(h + kHeaderLastBlock, chain_.empty() ? 0 : chain_.back().number);
  PutLE16(h + kHeaderMaxBlocks, fileBlocks_);
  PutLE32(h + kHeaderAutoInc, autoInc_);
  file_->WriteAt(0, h, sizeof h);
  if (durable) file_->Sync();
  if (keyFields_ > 0) WriteIndex(durable);
  dirty_ = false;
}

// ---- The primary index: writing ------------------------------------------------------

namespace {

// An entry of the .px: the first key under it, the block it points at, the records under it.
struct TIndexEntry {
  std::string key;
  uint16_t block = 0;
  uint32_t records = 0;
};

// The levels of the index, leaves (entries for data blocks) first, each
// level `perBlock` entries to a block; the block numbers of the upper
// levels are set by LayOut.
std::vector<std::vector<TIndexEntry>> IndexLevels(std::vector<TIndexEntry> leaves, size_t perBlock) {
  std::vector<std::vector<TIndexEntry>> levels{std::move(leaves)};
  while (levels.back().size() > perBlock) {
    std::vector<TIndexEntry> upper;
    const std::vector<TIndexEntry>& lower = levels.back();
    for (size_t i = 0; i < lower.size(); i += perBlock) {
      TIndexEntry e{lower[i].key, 0, 0};
      for (size_t j = i; j < std::min(lower.size(), i + perBlock); ++j) e.records += lower[j].records;
      upper.push_back(std::move(e));
    }
    levels.push_back(std::move(upper));
  }
  return levels;
}

size_t BlocksOf(size_t entries, size_t perBlock) { return (entries + perBlock - 1) / perBlock; }

// Numbers the index blocks from the root (block 1) down to the leaves and
// points each upper entry at its block of the level below; returns the blocks in use.
size_t LayOut(std::vector<std::vector<TIndexEntry>>& levels, size_t perBlock, std::vector<size_t>& firstBlock) {
  firstBlock.assign(levels.size(), 0);
  size_t next = 1;
  for (size_t l = levels.size(); l-- > 0;) {
    firstBlock[l] = next;
    next += BlocksOf(levels[l].size(), perBlock);
  }
  for (size_t l = 1; l < levels.size(); ++l)
    for (size_t j = 0; j < levels[l].size(); ++j) levels[l][j].block = static_cast<uint16_t>(firstBlock[l - 1] + j);
  return next - 1;
}

}  // namespace

void TParadoxTable::WriteIndex(bool durable) {
  std::vector<TIndexEntry> leaves;
  for (const TBlock& b : chain_) {
    if (b.records == 0) continue;
    const std::string& key = FirstKey(b.number);
    leaves.push_back({key, b.number, b.records});
  }
  const size_t entrySize = keyLength_ + kIndexPointerSize;
  uint32_t kib = blockSize_ / 1024;
  while (kib < 32 && (kib * 1024u - kBlockHeaderSize) / entrySize < 2) kib *= 2;
  const size_t perBlock = (kib * 1024u - kBlockHeaderSize) / entrySize;
  if (perBlock < 2) throw EDatabaseError(Format("%s: its key of %d bytes is too long for a primary index", Path(), keyLength_));
  std::vector<std::vector<TIndexEntry>> levels = IndexLevels(std::move(leaves), perBlock);
  std::vector<size_t> firstBlock;
  const size_t blocks = levels[0].empty() ? 0 : LayOut(levels, perBlock, firstBlock);
  if (blocks > 0xFFFF) throw EDatabaseError(Format("%s: its primary index would need more than 65535 blocks", Path()));
  std::vector<uint8_t> bytes(kDefaultHeaderSize + blocks * kib * 1024u, 0);
  size_t entries = 0;
  for (size_t l = 0; l < levels.size() && blocks > 0; ++l) {
    entries += levels[l].size();
    for (size_t j = 0; j < levels[l].size(); ++j) {
      const size_t block = firstBlock[l] + j / perBlock;
      uint8_t* b = &bytes[kDefaultHeaderSize + (block - 1) * kib * 1024u];
      const size_t inBlock = std::min(perBlock, levels[l].size() - (j - j % perBlock));
      PutLE16(b, static_cast<uint16_t>(block < blocks ? block + 1 : 0));
      PutLE16(b + 2, static_cast<uint16_t>(block - 1));
      PutLE16(b + 4, static_cast<uint16_t>((inBlock - 1) * entrySize));
      uint8_t* e = b + kBlockHeaderSize + (j % perBlock) * entrySize;
      const TIndexEntry& entry = levels[l][j];
      std::memcpy(e, entry.key.data(), keyLength_);
      EncodeInt(e + keyLength_, 2, entry.block);
      EncodeInt(e + keyLength_ + 2, 2, std::min<uint32_t>(entry.records, 0x7FFF));
      EncodeInt(e + keyLength_ + 4, 2, 0);
    }
  }
  uint8_t* h = bytes.data();
  const size_t nameSize = version_ >= kVersion7 ? kTableNameSize7 : kTableNameSize3;
  PutLE16(h + kHeaderRecordSize, static_cast<uint16_t>(entrySize));
  PutLE16(h + kHeaderHeaderSize, static_cast<uint16_t>(kDefaultHeaderSize));
  h[kHeaderFileType] = kFileTypePrimaryIndex;
  h[kHeaderMaxTableSize] = static_cast<uint8_t>(kib);
  PutLE32(h + kHeaderNumRecords, static_cast<uint32_t>(entries));
  PutLE16(h + kHeaderNextBlock, static_cast<uint16_t>(blocks));
  PutLE16(h + kHeaderFileBlocks, static_cast<uint16_t>(blocks));
  PutLE16(h + kHeaderFirstBlock, blocks > 0 ? 1 : 0);
  PutLE16(h + kHeaderLastBlock, static_cast<uint16_t>(blocks));
  PutLE16(h + kHeaderIndexRoot, blocks > 0 ? 1 : 0);
  h[kHeaderIndexLevels] = static_cast<uint8_t>(blocks > 0 ? levels.size() : 0);
  PutLE16(h + kHeaderNumFields, static_cast<uint16_t>(keyFields_));
  h[kHeaderVersion] = version_;
  PutLE16(h + kHeaderMaxBlocks, static_cast<uint16_t>(blocks));
  PutLE16(h + kHeaderRealSize, static_cast<uint16_t>(kHeaderBaseSize + 2 * keyFields_ + 4 + nameSize));
  for (size_t i = 0; i < keyFields_; ++i) {
    h[kHeaderBaseSize + 2 * i] = fields_[i].type;
    h[kHeaderBaseSize + 2 * i + 1] = fields_[i].size;
  }
  const size_t slash = Path().find_last_of('/');
  const std::string name = Path().substr(slash == std::string::npos ? 0 : slash + 1).substr(0, nameSize - 1);
  std::memcpy(h + kHeaderBaseSize + 2 * keyFields_ + 4, name.data(), name.size());
  ReplaceFile(IndexPath(Path()), bytes, durable);
}

// Writes `bytes` to a new file beside `path`, then renames it over `path`.
void TParadoxTable::ReplaceFile(const std::string& path, const std::vector<uint8_t>& bytes, bool durable) {
  const std::string temp = path + ".new";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw EDatabaseError(Format("%s cannot be written: %s", temp, std::strerror(errno)));
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const int error = done < bytes.size() ? errno : (durable && ::fsync(fd) != 0 ? errno : 0);
  ::close(fd);
  if (error != 0 || done < bytes.size() || ::rename(temp.c_str(), path.c_str()) != 0) {
    const int why = error != 0 ? error : errno;
    ::unlink(temp.c_str());
    throw EDatabaseError(Format("%s cannot be written: %s", path, std::strerror(why)));
  }
}

// ---- Creating -----------------------------------------------------------------------

namespace {

// What the field list makes of a new table.
struct TLayout {
  std::string info;     // (type, size) pairs
  std::string numbers;  // field numbers 1..n
  uint32_t recordSize = 0;
  uint32_t blockKib = 4;
  bool blobs = false;
};

TLayout LayoutOf(const std::string& path, const std::vector<TParadoxFieldSpec>& specs) {
  if (specs.empty()) throw EDatabaseError(Format("%s: a Paradox table needs at least one field", path));
  if (specs.size() > 255) throw EDatabaseError(Format("%s: a Paradox table holds at most 255 fields", path));
  TLayout layout;
  for (size_t i = 0; i < specs.size(); ++i) {
    const TParadoxFieldSpec& s = specs[i];
    const size_t length = FieldLength(s.type, s.size);
    if (s.name.empty() || s.name.size() > kMaxFieldName)
      throw EDatabaseError(Format("%s: the field name '%s' is empty or longer than %d characters", path, s.name, kMaxFieldName));
    for (size_t j = 0; j < i; ++j)
      if (AsciiUpperCase(specs[j].name) == AsciiUpperCase(s.name))
        throw EDatabaseError(Format("%s: the field name '%s' is used twice", path, s.name));
    if (length == 0)
      throw EDatabaseError(Format("%s: field '%s' cannot have type %s", path, s.name, TypeName(s.type, s.size)));
    layout.blobs = layout.blobs || IsBlobType(s.type);
    layout.recordSize += static_cast<uint32_t>(length);
    layout.info += {static_cast<char>(s.type), static_cast<char>(s.size)};
    layout.numbers += {static_cast<char>((i + 1) & 0xFF), static_cast<char>((i + 1) >> 8)};
  }
  while (layout.blockKib < 32 && layout.recordSize + kBlockHeaderSize > layout.blockKib * 1024u) layout.blockKib *= 2;
  if (layout.recordSize + kBlockHeaderSize > layout.blockKib * 1024u)
    throw EDatabaseError(Format("%s: records of %d bytes are too long for a Paradox table", path, layout.recordSize));
  return layout;
}

// The header of a new version 7 table; `names` are the field names in the
// code page, each ended by a NUL.
std::vector<uint8_t> HeaderOf(const std::string& path, const TLayout& layout, size_t fields, const std::string& names,
                              uint16_t codePage, size_t keyFields) {
  const size_t slash = path.find_last_of('/');
  const std::string tableName = path.substr(slash == std::string::npos ? 0 : slash + 1).substr(0, kTableNameSize7 - 1);
  std::string rest = layout.info + std::string(4 + 4 * fields, '\0') + tableName +
                     std::string(kTableNameSize7 - tableName.size(), '\0') + names;
  const size_t numbersAt = kHeaderExtendedSize + rest.size();
  rest += layout.numbers + kSortOrder + '\0';
  const size_t used = kHeaderExtendedSize + rest.size();
  const size_t headerSize = (used + kDefaultHeaderSize - 1) / kDefaultHeaderSize * kDefaultHeaderSize;
  if (headerSize > 0xF800) throw EDatabaseError(Format("%s: the field list is too long for a Paradox header", path));
  std::vector<uint8_t> h(headerSize, 0);
  PutLE16(&h[kHeaderRecordSize], static_cast<uint16_t>(layout.recordSize));
  PutLE16(&h[kHeaderHeaderSize], static_cast<uint16_t>(headerSize));
  h[kHeaderFileType] = keyFields > 0 ? kFileTypeIndexedDb : kFileTypeDb;
  h[kHeaderMaxTableSize] = static_cast<uint8_t>(layout.blockKib);
  PutLE16(&h[kHeaderNumFields], static_cast<uint16_t>(fields));
  PutLE16(&h[kHeaderKeyFields], static_cast<uint16_t>(keyFields));
  PutLE32(&h[kHeaderEncryption1], kEncryptionMarker);
  h[kHeaderChangeCount1] = 1;
  h[kHeaderVersion] = kVersion7;
  PutLE16(&h[kHeaderUnknown3E], 0x1F0F);
  PutLE16(&h[kHeaderRealSize], static_cast<uint16_t>(used));
  h[kHeaderUnknown56] = 0x20;
  PutLE16(&h[kHeaderVersionWord1], 0x0100 + kVersion7);
  PutLE16(&h[kHeaderVersionWord2], 0x0100 + kVersion7);
  PutLE16(&h[kHeaderHiFieldId], static_cast<uint16_t>(fields + 1));
  PutLE16(&h[kHeaderHiFieldIdInfo], static_cast<uint16_t>(numbersAt - kHeaderBaseSize));
  PutLE16(&h[kHeaderSometimesFields], static_cast<uint16_t>(fields));
  PutLE16(&h[kHeaderCodePage], codePage);
  PutLE16(&h[kHeaderUsedInfo], static_cast<uint16_t>(used - 0x60 + 1));
  std::memcpy(&h[kHeaderExtendedSize], rest.data(), rest.size());
  return h;
}

}  // namespace

std::unique_ptr<TParadoxTable> TParadoxTable::Create(const std::string& path, const std::vector<TParadoxFieldSpec>& specs,
                                                     uint16_t codePage, size_t keyFields) {
  const TLayout layout = LayoutOf(path, specs);
  const std::string memoPath = MemoPath(path);
  if (layout.blobs && ::access(memoPath.c_str(), F_OK) == 0)
    throw EDatabaseError(Format("%s: its BLOB file %s exists already", path, memoPath));
  CheckKey(path, specs, keyFields);
  std::unique_ptr<TParadoxTable> t(new TParadoxTable());
  t->file_ = std::make_unique<dbf::TDbfFile>(path, dbf::TDbfFile::CreateNew);
  t->codePage_ = codePage;
  try {
    t->OpenCodec();  // the names are stored in the table's code page
    std::string names;
    for (const TParadoxFieldSpec& s : specs) names += t->Encode(s.name, "the field name '" + s.name + "'") + '\0';
    const std::vector<uint8_t> header = HeaderOf(path, layout, specs.size(), names, codePage, keyFields);
    t->file_->WriteAt(0, header.data(), header.size());
    if (layout.blobs) TParadoxMemoFile::Create(memoPath);
    t->file_->Sync();
  } catch (...) {
    t.reset();
    ::unlink(path.c_str());
    throw;
  }
  t.reset();
  t = Open(path, true);
  if (keyFields > 0) {
    try {
      t->dirty_ = true;
      t->Commit(true);
    } catch (...) {
      t.reset();
      ::unlink(path.c_str());
      if (layout.blobs) ::unlink(memoPath.c_str());
      throw;
    }
  }
  return t;
}

void TParadoxTable::CheckKey(const std::string& path, const std::vector<TParadoxFieldSpec>& specs, size_t keyFields) {
  if (keyFields == 0) return;
  if (keyFields > specs.size())
    throw EDatabaseError(Format("%s: a key of %d fields in a table of %d", path, keyFields, specs.size()));
  for (size_t i = 0; i < keyFields; ++i)
    if (IsBlobType(specs[i].type))
      throw EDatabaseError(Format("%s: the field '%s' of type %s cannot be part of a primary key", path, specs[i].name,
                                  TypeName(specs[i].type, specs[i].size)));
  const std::string index = IndexPath(path);
  if (::access(index.c_str(), F_OK) == 0) throw EDatabaseError(Format("%s: its index file %s exists already", path, index));
}

}  // namespace kv::px
