#include "data/DbfDataSets.h"


#include <algorithm>
#include <cstring>

#include "data/DbfFormat.h"
#include "data/DbfSqliteModule.h"
#include "foundation/CharClass.h"
#include "foundation/Format.h"

namespace kv {

KV_IMPLEMENT_CLASS(TDbfTableDataSet, TDataSet)
KV_IMPLEMENT_CLASS(TDbfQueryDataSet, TSqliteQueryDataSet)

using dbf::TDbfField;
using dbf::TDbfFieldSpec;
using dbf::TDbfFlavour;
using dbf::TDbfTable;

// ---- TDbfConnection -------------------------------------------------------------

TDbfConnection::TDbfConnection(std::string folder, TDbfFlavour flavour)
    : TFolderTableConnection(std::move(folder), "dBase", ".dbf"), flavour_(flavour) {}

void TDbfConnection::RegisterModule(TSqliteDatabase& db) { RegisterDbfModule(db); }

void TDbfConnection::AttachTable(TSqliteDatabase& db, const std::string& name, const std::string& path) {
  TDbfTable::Open(path, false);  // its own error, without SQLite's words around it
  AttachDbfTable(db, name, path);
}

// ---- Type mapping ---------------------------------------------------------------

TFieldDef DbfFieldDefOf(const TDbfField& field, int fieldNo) {
  TFieldDef def;
  def.Name = field.name;
  def.FieldNo = fieldNo;
  def.DataTypeName = field.TypeName();
  switch (field.type) {
    case dbf::kTypeChar:
      def.DataType = ftString;
      def.Size = field.length;
      break;
    case dbf::kTypeNumeric:
    case dbf::kTypeFloat:
      def.DataType = field.decimals > 0 || field.length > 20 ? ftFloat : field.length <= 9 ? ftInteger : ftLargeint;
      def.Size = field.length;
      def.Precision = field.decimals;
      break;
    case dbf::kTypeLogical: def.DataType = ftBoolean; break;
    case dbf::kTypeDate: def.DataType = ftDate; break;
    case dbf::kTypeMemo: def.DataType = ftMemo; break;
    case dbf::kTypeInteger: def.DataType = ftInteger; break;
    case dbf::kTypeDouble: def.DataType = ftFloat; break;
    case dbf::kTypeDateTime: def.DataType = ftDateTime; break;
    case dbf::kTypeCurrency:
      def.DataType = ftCurrency;
      def.Precision = 4;
      break;
    default: def.DataType = ftUnknown; break;
  }
  return def;
}

namespace {

// "C(20)", "N(10,2)", "L" ...: false when `text` is not a stored type of `flavour`.
bool ParseTypeName(const std::string& text, TDbfFlavour flavour, TDbfFieldSpec& spec) {
  if (text.empty()) return false;
  const char type = AsciiUpperCase(text.substr(0, 1))[0];
  const bool fox = flavour == TDbfFlavour::FoxPro;
  const std::string fixed = fox ? "LDMIBTY" : "LDM";
  if (text.size() == 1) {
    if (fixed.find(type) == std::string::npos) return false;
    spec.type = type;
    return true;
  }
  if (type != dbf::kTypeChar && type != dbf::kTypeNumeric && type != dbf::kTypeFloat) return false;
  int length = 0, decimals = 0;
  char close = 0;
  const std::string rest = text.substr(1);
  const int n = std::sscanf(rest.c_str(), "(%d,%d%c", &length, &decimals, &close);
  if (n == 3 && close == ')' && type != dbf::kTypeChar) {
    spec.type = type;
    spec.length = length;
    spec.decimals = decimals;
    return true;
  }
  if (std::sscanf(rest.c_str(), "(%d%c", &length, &close) == 2 && close == ')') {
    spec.type = type;
    spec.length = length;
    return true;
  }
  return false;
}

void SpecFromDataType(const TFieldDef& def, TDbfFlavour flavour, TDbfFieldSpec& spec) {
  const bool fox = flavour == TDbfFlavour::FoxPro;
  auto number = [&](int length, int decimals) {
    spec.type = dbf::kTypeNumeric;
    spec.length = length;
    spec.decimals = decimals;
  };
  switch (def.DataType) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
      spec.type = dbf::kTypeChar;
      spec.length = def.Size > 0 ? def.Size : static_cast<int>(dbf::kMaxCharLength);
      break;
    case ftGuid:
      spec.type = dbf::kTypeChar;
      spec.length = 38;
      break;
    case ftSmallint:
    case ftWord: number(6, 0); break;
    case ftInteger:
    case ftAutoInc:
      if (fox) spec.type = dbf::kTypeInteger;
      else number(11, 0);
      break;
    case ftLargeint: number(20, 0); break;
    case ftFloat:
      if (def.Size > 0 && def.Size <= static_cast<int>(dbf::kMaxNumericLength)) number(def.Size, def.Precision);
      else if (fox) spec.type = dbf::kTypeDouble;
      else number(20, def.Precision > 0 ? def.Precision : 6);
      break;
    case ftCurrency:
      if (fox) spec.type = dbf::kTypeCurrency;
      else number(20, 4);
      break;
    case ftBCD:
    case ftFMTBcd: {
      const int scale = std::max(0, def.Precision);
      const int digits = def.Size > 0 ? def.Size : 18;
      number(std::min(static_cast<int>(dbf::kMaxNumericLength), digits + (scale > 0 ? 2 : 1)), scale);
      break;
    }
    case ftBoolean: spec.type = dbf::kTypeLogical; break;
    case ftDate: spec.type = dbf::kTypeDate; break;
    case ftTime:
      if (fox) spec.type = dbf::kTypeDateTime;
      else spec.type = dbf::kTypeChar, spec.length = 12;
      break;
    case ftDateTime:
    case ftTimeStamp:
      if (fox) spec.type = dbf::kTypeDateTime;
      else spec.type = dbf::kTypeChar, spec.length = 23;
      break;
    case ftMemo:
    case ftFmtMemo:
    case ftOraClob: spec.type = dbf::kTypeMemo; break;
    default:
      throw EDatabaseError(Format("Field '%s' of type %s cannot be stored in a %s table", def.Name,
                                  FieldTypeName(def.DataType), fox ? "FoxPro" : "dBase"));
  }
}

}  // namespace

TDbfFieldSpec DbfFieldSpecOf(const TFieldDef& def, TDbfFlavour flavour) {
  TDbfFieldSpec spec;
  spec.name = def.Name;
  if (!ParseTypeName(def.DataTypeName, flavour, spec)) SpecFromDataType(def, flavour, spec);
  spec.nullable = flavour == TDbfFlavour::FoxPro && !def.Required();
  return spec;
}

// ---- TDbfTableDataSet -----------------------------------------------------------

TDbfTableDataSet::TDbfTableDataSet() : TFolderTableDataSet("dBase"), language_(dbf::kDefaultLanguage) {}

TDbfTableDataSet::~TDbfTableDataSet() { CloseForDestroy(); }

void TDbfTableDataSet::SetCodePage(const std::string& codePage) {
  if (!dbf::LanguageOfCodePage(codePage, language_))
    throw EDatabaseError(Format("The code page '%s' cannot be recorded in a dBase table", codePage));
}

bool TDbfTableDataSet::CreateTable() {
  if (TableExists()) return false;
  std::vector<TDbfFieldSpec> specs;
  for (const TFieldDef& def : FieldDefs()) specs.push_back(DbfFieldSpecOf(def, connection_->Flavour()));
  TDbfTable::Create(Path(), specs, connection_->Flavour(), language_);
  return true;
}

void TDbfTableDataSet::EmptyTable() {
  if (!Active()) {
    const std::shared_ptr<TDbfTable> table = connection_->OpenTable(Path());
    if (!table->Writable()) throw EDatabaseError(Format("%s is read-only", table->Path()));
    table->Zap();
    return;
  }
  CheckBrowseMode();
  if (!writable_) throw EDatabaseError(Format("%s is read-only", table_->Path()));
  table_->Zap();
  writes_ = 0;
  pos_ = 0;
  Resync();
}

void TDbfTableDataSet::InternalOpen() {
  OpenTableFile(DbfFieldDefOf);
  writable_ = table_->Writable();
}

void TDbfTableDataSet::InternalClose() {
  std::shared_ptr<TDbfTable> table = std::move(table_);
  if (table && writable_) table->Commit(true);
}

bool TDbfTableDataSet::IsShown(uint32_t recNo) const {
  return recNo >= 1 && recNo <= table_->RecordCount() && !TDbfTable::IsDeleted(table_->Record(recNo));
}

uint32_t TDbfTableDataSet::Visible(uint32_t from, bool forward) {
  const uint32_t count = table_->RecordCount();
  if (forward) {
    for (uint32_t r = from + 1; r <= count; ++r)
      if (!TDbfTable::IsDeleted(table_->Record(r))) return r;
  } else {
    for (uint32_t r = std::min(from, count + 1); r-- > 1;)
      if (!TDbfTable::IsDeleted(table_->Record(r))) return r;
  }
  return 0;
}

TDataSet::TGetResult TDbfTableDataSet::InternalGetRecord(TGetMode mode) {
  if (mode == gmCurrent) {
    if (IsShown(pos_)) return grOK;
    uint32_t r = Visible(pos_, true);
    if (r == 0) r = Visible(pos_, false);
    if (r == 0) return grEOF;
    pos_ = r;
    return grOK;
  }
  const uint32_t r = Visible(pos_, mode == gmNext);
  if (r == 0) return mode == gmNext ? grEOF : grBOF;
  pos_ = r;
  return grOK;
}

int TDbfTableDataSet::InternalRecordCount() {
  return static_cast<int>(std::min<uint32_t>(table_->LiveCount(), INT32_MAX));
}

void TDbfTableDataSet::InternalSetRecNo(int value) {
  if (value < 1 || !IsShown(static_cast<uint32_t>(value)))
    throw EDatabaseError(Format("%s: there is no record %d (or it is deleted)", table_->Path(), value));
  pos_ = static_cast<uint32_t>(value);
}

void TDbfTableDataSet::InternalPost(const std::vector<TVariant>& values, bool inserting, bool) {
  if (inserting) {
    dbf::TDbfRecordImage image = table_->EncodeRecord(values, nullptr, table_->RecordCount() + 1);
    pos_ = table_->Append(image);
  } else {
    dbf::TDbfRecordImage image = EditedImage(values, [](char type) { return type == dbf::kTypeMemo; });
    table_->Rewrite(pos_, image);
  }
  Wrote();
}

void TDbfTableDataSet::InternalDelete() {
  if (!IsShown(pos_)) return;
  table_->SetDeleted(pos_, true);
  uint32_t r = Visible(pos_, true);
  if (r == 0) r = Visible(pos_, false);
  pos_ = r;
  Wrote();
}

bool TDbfTableDataSet::InternalLocate(const std::vector<TField*>& fields, const std::vector<TVariant>& values,
                                      TLocateOptions options) {
  struct TKey {
    size_t index;
    const TVariant* value;
    std::string raw;  // the stored bytes to compare with; empty: decode and compare
    uint32_t offset = 0;
  };
  const bool exact = options == 0;
  std::vector<TKey> keys;
  for (size_t k = 0; k < fields.size(); ++k) {
    TKey key{static_cast<size_t>(fields[k]->FieldNo() - 1), &values[k], {}};
    const TDbfField& f = table_->Fields()[key.index];
    const TVariant& v = values[k];
    if (exact && f.type == dbf::kTypeChar && f.nullBit < 0 && v.Type() == varString && !v.RawString().empty() &&
        v.RawString().back() != ' ' && !table_->EncodeFieldBytes(key.index, v, key.raw))
      return false;  // a text the field cannot hold is stored in no record
    key.offset = f.offset;
    keys.push_back(std::move(key));
  }
  const bool ci = (options >> loCaseInsensitive) & 1, partial = (options >> loPartialKey) & 1;
  for (uint32_t r = 1; r <= table_->RecordCount(); ++r) {
    const uint8_t* record = table_->Record(r);
    if (TDbfTable::IsDeleted(record)) continue;
    bool match = true;
    for (const TKey& key : keys) {
      if (!key.raw.empty()) {
        match = std::memcmp(record + key.offset, key.raw.data(), key.raw.size()) == 0;
      } else {
        const TVariant stored = table_->Value(record, key.index, r);
        match = VarMatches(stored, *key.value, ci, partial);
      }
      if (!match) break;
    }
    if (match) {
      pos_ = r;
      return true;
    }
  }
  return false;
}

// ---- TDbfQueryDataSet -----------------------------------------------------------

void TDbfQueryDataSet::SetDbfConnection(std::shared_ptr<TDbfConnection> connection) {
  Close();
  dbf_ = std::move(connection);
}

void TDbfQueryDataSet::InternalOpen() {
  if (!dbf_) throw EDatabaseError("A query over dBase tables has no connection");
  SetConnection(dbf_->QueryConnection());
  OpenFolderQuery(*dbf_, [this] { TSqliteQueryDataSet::InternalOpen(); });
}

}  // namespace kv
