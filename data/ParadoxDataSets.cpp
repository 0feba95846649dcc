#include "data/ParadoxDataSets.h"

#include <iconv.h>

#include <algorithm>

#include "data/ParadoxFormat.h"
#include "data/ParadoxSqliteModule.h"
#include "foundation/CharClass.h"
#include "foundation/Format.h"

namespace kv {

KV_IMPLEMENT_CLASS(TParadoxTableDataSet, TDataSet)
KV_IMPLEMENT_CLASS(TParadoxQueryDataSet, TSqliteQueryDataSet)

using px::TParadoxField;
using px::TParadoxFieldSpec;
using px::TParadoxTable;

// ---- TParadoxConnection -----------------------------------------------------------

TParadoxConnection::TParadoxConnection(std::string folder)
    : TFolderTableConnection(std::move(folder), "Paradox", ".db") {}

void TParadoxConnection::RegisterModule(TSqliteDatabase& db) { RegisterParadoxModule(db); }

void TParadoxConnection::AttachTable(TSqliteDatabase& db, const std::string& name, const std::string& path) {
  TParadoxTable::Open(path, false);  // its own error, without SQLite's words around it
  AttachParadoxTable(db, name, path);
}

// ---- Type mapping -------------------------------------------------------------------

TFieldDef ParadoxFieldDefOf(const TParadoxField& field, int fieldNo) {
  TFieldDef def;
  def.Name = field.name;
  def.FieldNo = fieldNo;
  def.DataTypeName = field.TypeName();
  switch (field.type) {
    case px::kAlpha: def.DataType = ftString, def.Size = field.size; break;
    case px::kDate: def.DataType = ftDate; break;
    case px::kShort: def.DataType = ftSmallint; break;
    case px::kLong: def.DataType = ftInteger; break;
    case px::kAutoInc: def.DataType = ftAutoInc; break;
    case px::kCurrency: def.DataType = ftCurrency; break;
    case px::kNumber: def.DataType = ftFloat; break;
    case px::kLogical: def.DataType = ftBoolean; break;
    case px::kMemo: def.DataType = ftMemo, def.Size = field.size - static_cast<int>(px::kBlobPointerSize); break;
    case px::kFmtMemo: def.DataType = ftFmtMemo, def.Size = field.size - static_cast<int>(px::kBlobPointerSize); break;
    case px::kBlob: def.DataType = ftBlob, def.Size = field.size - static_cast<int>(px::kBlobPointerSize); break;
    case px::kOle: def.DataType = ftParadoxOle, def.Size = field.size - static_cast<int>(px::kBlobPointerSize); break;
    case px::kGraphic: def.DataType = ftGraphic, def.Size = field.size - static_cast<int>(px::kBlobPointerSize); break;
    case px::kTime: def.DataType = ftTime; break;
    case px::kTimestamp: def.DataType = ftDateTime; break;
    case px::kBcd: def.DataType = ftBCD, def.Size = 32, def.Precision = field.size; break;
    case px::kBytes: def.DataType = ftBytes, def.Size = field.size; break;
    default: def.DataType = ftUnknown; break;
  }
  return def;
}

namespace {

// A BLOB kind with the definition's leader size (default 10 bytes).
void BlobSpec(uint8_t type, const TFieldDef& def, TParadoxFieldSpec& spec) {
  spec.type = type;
  const int leader = def.Size > 0 && def.Size <= 240 ? def.Size : 10;
  spec.size = static_cast<uint8_t>(leader + static_cast<int>(px::kBlobPointerSize));
}

void SpecFromDataType(const TFieldDef& def, TParadoxFieldSpec& spec) {
  auto fixed = [&](uint8_t type) {
    spec.type = type;
    for (int size : {1, 2, 4, 8})
      if (px::FieldLength(type, static_cast<uint8_t>(size)) != 0) spec.size = static_cast<uint8_t>(size);
  };
  auto sized = [&](uint8_t type, int size, const char* what) {
    if (size > static_cast<int>(px::kMaxAlphaSize))
      throw EDatabaseError(Format("Field '%s' of %d %s is longer than a Paradox %s field holds (255)", def.Name, size,
                                  what, px::TypeName(type, 0).substr(0, 1)));
    spec.type = type;
    spec.size = static_cast<uint8_t>(size > 0 ? size : static_cast<int>(px::kMaxAlphaSize));
  };
  switch (def.DataType) {
    case ftString:
    case ftFixedChar:
    case ftWideString: sized(px::kAlpha, def.Size, "characters"); break;
    case ftGuid: sized(px::kAlpha, 38, "characters"); break;
    case ftSmallint: fixed(px::kShort); break;
    case ftWord:
    case ftInteger: fixed(px::kLong); break;
    case ftAutoInc: fixed(px::kAutoInc); break;
    case ftLargeint:
    case ftFloat: fixed(px::kNumber); break;
    case ftCurrency: fixed(px::kCurrency); break;
    case ftBCD:
    case ftFMTBcd:
      spec.type = px::kBcd;
      spec.size = static_cast<uint8_t>(std::clamp(def.Precision, 0, px::kBcdMaxDecimals));
      break;
    case ftBoolean: fixed(px::kLogical); break;
    case ftDate: fixed(px::kDate); break;
    case ftTime: fixed(px::kTime); break;
    case ftDateTime:
    case ftTimeStamp: fixed(px::kTimestamp); break;
    case ftMemo:
    case ftOraClob: BlobSpec(px::kMemo, def, spec); break;
    case ftFmtMemo: BlobSpec(px::kFmtMemo, def, spec); break;
    case ftBlob:
    case ftOraBlob:
    case ftVarBytes:
    case ftTypedBinary: BlobSpec(px::kBlob, def, spec); break;
    case ftGraphic: BlobSpec(px::kGraphic, def, spec); break;
    case ftParadoxOle:
    case ftDBaseOle: BlobSpec(px::kOle, def, spec); break;
    case ftBytes: sized(px::kBytes, def.Size, "bytes"); break;
    default:
      throw EDatabaseError(Format("Field '%s' of type %s cannot be stored in a Paradox table", def.Name,
                                  FieldTypeName(def.DataType)));
  }
}

}  // namespace

TParadoxFieldSpec ParadoxFieldSpecOf(const TFieldDef& def) {
  TParadoxFieldSpec spec;
  spec.name = def.Name;
  if (!px::ParseTypeName(def.DataTypeName, spec.type, spec.size)) SpecFromDataType(def, spec);
  return spec;
}

// ---- TParadoxTableDataSet -------------------------------------------------------------

TParadoxTableDataSet::~TParadoxTableDataSet() { CloseForDestroy(); }

void TParadoxTableDataSet::SetCodePage(const std::string& codePage) {
  uint16_t number = 0;
  bool known = px::CodePageNumber(codePage, number);
  if (known) {
    const iconv_t cd = ::iconv_open("UTF-8", px::CodePageName(number).c_str());
    known = cd != reinterpret_cast<iconv_t>(-1);
    if (known) ::iconv_close(cd);
  }
  if (!known) throw EDatabaseError(Format("The code page '%s' cannot be recorded in a Paradox table", codePage));
  codePage_ = number;
}

bool TParadoxTableDataSet::CreateTable() {
  if (TableExists()) return false;
  std::vector<TParadoxFieldSpec> specs;
  for (const TFieldDef& def : FieldDefs()) specs.push_back(ParadoxFieldSpecOf(def));
  TParadoxTable::Create(Path(), specs, codePage_, KeyFieldCount());
  return true;
}

size_t TParadoxTableDataSet::KeyFieldCount() const {
  const TIndexDef* primary = nullptr;
  for (const TIndexDef& def : IndexDefs())
    if (def.Has(ixPrimary)) primary = &def;
  if (!primary) return 0;
  const std::vector<std::string> keys = SplitFieldNames(primary->Fields);
  bool leading = keys.size() <= static_cast<size_t>(FieldDefs().Count());
  for (size_t i = 0; i < keys.size() && leading; ++i)
    leading = AsciiUpperCase(keys[i]) == AsciiUpperCase(FieldDefs()[static_cast<int>(i)].Name);
  if (!leading)
    throw EDatabaseError(Format("%s: the primary key fields %s must be the first fields of a Paradox table, in that order",
                                Path(), primary->Fields));
  return keys.size();
}

void TParadoxTableDataSet::EmptyTable() {
  if (!Active()) {
    connection_->OpenTable(Path())->Zap();
    return;
  }
  CheckBrowseMode();
  table_->Zap();
  writes_ = 0;
  pos_ = 0;
  Resync();
}

void TParadoxTableDataSet::InternalOpen() {
  OpenTableFile(ParadoxFieldDefOf);
  if (table_->KeyFieldCount() > 0) {
    std::string keys;
    for (size_t i = 0; i < table_->KeyFieldCount(); ++i) keys += (i ? ";" : "") + table_->Fields()[i].name;
    IndexDefs().Add("", keys, static_cast<TIndexOptions>((1u << ixPrimary) | (1u << ixUnique)));
  }
}

void TParadoxTableDataSet::InternalClose() {
  std::shared_ptr<TParadoxTable> table = std::move(table_);
  if (table && table->Writable()) table->Commit(true);
}

TDataSet::TGetResult TParadoxTableDataSet::InternalGetRecord(TGetMode mode) {
  const uint32_t count = table_->RecordCount();
  if (mode == gmCurrent) {
    if (count == 0) return grEOF;
    pos_ = std::clamp<uint32_t>(pos_, 1, count);
    return grOK;
  }
  if (mode == gmNext) {
    if (pos_ >= count) return grEOF;
    ++pos_;
    return grOK;
  }
  if (pos_ <= 1 || count == 0) return grBOF;
  pos_ = std::min(pos_ - 1, count);
  return grOK;
}

int TParadoxTableDataSet::InternalRecordCount() {
  return static_cast<int>(std::min<uint32_t>(table_->RecordCount(), INT32_MAX));
}

void TParadoxTableDataSet::InternalSetRecNo(int value) {
  if (value < 1 || !IsShown(static_cast<uint32_t>(value)))
    throw EDatabaseError(Format("%s: there is no record %d", table_->Path(), value));
  pos_ = static_cast<uint32_t>(value);
}

void TParadoxTableDataSet::InternalPost(const std::vector<TVariant>& values, bool inserting, bool) {
  if (inserting) {
    px::TParadoxRecordImage image = table_->EncodeRecord(values, nullptr, table_->RecordCount() + 1);
    pos_ = table_->Append(image);
  } else {
    // A BLOB left as it was keeps its place in the BLOB file.
    px::TParadoxRecordImage image = EditedImage(values, [](uint8_t type) { return px::IsBlobType(type); });
    pos_ = table_->Rewrite(pos_, image);
  }
  Wrote();
}

void TParadoxTableDataSet::InternalDelete() {
  if (!IsShown(pos_)) return;
  table_->Delete(pos_);
  pos_ = std::min(pos_, table_->RecordCount());
  Wrote();
}

bool TParadoxTableDataSet::InternalLocate(const std::vector<TField*>& fields, const std::vector<TVariant>& values,
                                          TLocateOptions options) {
  const bool ci = (options >> loCaseInsensitive) & 1, partial = (options >> loPartialKey) & 1;
  if (!ci && !partial && LocatesByKey(fields, values)) {
    const uint32_t at = table_->FindRecord(values);
    if (at != 0) pos_ = at;
    return at != 0;
  }
  for (uint32_t r = 1; r <= table_->RecordCount(); ++r) {
    bool match = true;
    for (size_t k = 0; k < fields.size() && match; ++k) {
      const TVariant stored = table_->Value(table_->Record(r), static_cast<size_t>(fields[k]->FieldNo() - 1), r);
      match = VarMatches(stored, values[k], ci, partial);
    }
    if (match) {
      pos_ = r;
      return true;
    }
  }
  return false;
}

bool TParadoxTableDataSet::LocatesByKey(const std::vector<TField*>& fields, const std::vector<TVariant>& values) const {
  if (table_->KeyFieldCount() == 0 || fields.size() != table_->KeyFieldCount()) return false;
  for (size_t k = 0; k < fields.size(); ++k)
    if (fields[k]->FieldNo() != static_cast<int>(k + 1) || values[k].IsNullOrEmpty()) return false;
  return true;
}

// ---- TParadoxQueryDataSet -------------------------------------------------------------

void TParadoxQueryDataSet::SetParadoxConnection(std::shared_ptr<TParadoxConnection> connection) {
  Close();
  px_ = std::move(connection);
}

void TParadoxQueryDataSet::InternalOpen() {
  if (!px_) throw EDatabaseError("A query over Paradox tables has no connection");
  SetConnection(px_->QueryConnection());
  OpenFolderQuery(*px_, [this] { TSqliteQueryDataSet::InternalOpen(); });
}

}  // namespace kv
