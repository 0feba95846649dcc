#include "data/MemDataSet.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

#include "foundation/FileUtils.h"
#include "foundation/Format.h"

namespace kv {

KV_IMPLEMENT_CLASS(TKVMemDataSet, TDataSet)

namespace {

constexpr char kMagic[8] = {'K', 'V', 'M', 'E', 'M', 'D', 'S', '1'};

// ---- Little-endian writing and bounds-checked reading ----
void PutU8(std::string& out, uint8_t v) { out.push_back(static_cast<char>(v)); }
void PutU32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}
void PutU64(std::string& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}
void PutStr(std::string& out, std::string_view s) {
  PutU64(out, s.size());
  out.append(s);
}

class TByteReader {
public:
  explicit TByteReader(std::string_view b) : b_(b) {}
  [[noreturn]] static void Fail(const char* what) { throw EDatabaseError(std::string("Invalid data file: ") + what); }
  void Need(uint64_t n) const {
    if (n > b_.size() - pos_) Fail("unexpected end");
  }
  uint8_t U8() {
    Need(1);
    return static_cast<uint8_t>(b_[pos_++]);
  }
  uint32_t U32() {
    Need(4);
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(b_[pos_++])) << (8 * i);
    return v;
  }
  uint64_t U64() {
    Need(8);
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(static_cast<uint8_t>(b_[pos_++])) << (8 * i);
    return v;
  }
  std::string Str() {
    uint64_t n = U64();
    Need(n);
    std::string s(b_.substr(pos_, n));
    pos_ += n;
    return s;
  }
  uint64_t Remaining() const { return b_.size() - pos_; }
  std::string_view Take(size_t n) {
    Need(n);
    std::string_view s = b_.substr(pos_, n);
    pos_ += n;
    return s;
  }

private:
  std::string_view b_;
  size_t pos_ = 0;
};

void PutValue(std::string& out, const TVariant& v) {
  switch (v.Type()) {
    case varInteger:
      PutU8(out, varInteger);
      PutU64(out, static_cast<uint64_t>(v.RawInteger()));
      break;
    case varFloat:
    case varDateTime: {
      PutU8(out, v.Type());
      uint64_t bits;
      double d = v.RawFloat();
      std::memcpy(&bits, &d, 8);
      PutU64(out, bits);
      break;
    }
    case varBoolean:
      PutU8(out, varBoolean);
      PutU8(out, v.RawBoolean() ? 1 : 0);
      break;
    case varString:
      PutU8(out, varString);
      PutStr(out, v.RawString());
      break;
    default: PutU8(out, varNull); break;
  }
}

TVariant GetValue(TByteReader& r) {
  uint8_t tag = r.U8();
  switch (tag) {
    case varNull: return TVariant::Null();
    case varInteger: return TVariant(static_cast<int64_t>(r.U64()));
    case varFloat:
    case varDateTime: {
      uint64_t bits = r.U64();
      double d;
      std::memcpy(&d, &bits, 8);
      return tag == varFloat ? TVariant(d) : TVariant::FromDateTime(d);
    }
    case varBoolean: return TVariant(r.U8() != 0);
    case varString: return TVariant(r.Str());
    default: TByteReader::Fail("unknown value tag");
  }
}

}  // namespace

IUpdateResolver::~IUpdateResolver() = default;

TKVMemDataSet::TKVMemDataSet() = default;

TKVMemDataSet::~TKVMemDataSet() { CloseForDestroy(); }

// ---- Structure and data ---------------------------------------------------------------

void TKVMemDataSet::CreateDataSet() {
  Close();
  Open();
}

void TKVMemDataSet::CopyStructure(const TDataSet& source) {
  Close();
  FieldDefs().Clear();
  if (source.Active()) {
    for (const auto& f : source.FieldList()) FieldDefs().Add(f->Def());
  } else {
    FieldDefs().Assign(source.FieldDefs());
  }
  IndexDefs().Assign(source.IndexDefs());
}

void TKVMemDataSet::EmptyDataSet() {
  CheckActive();
  Cancel();
  rows_.clear();
  deleted_.clear();
  changed_.clear();
  current_ = -1;
  Resync();
}

void TKVMemDataSet::AppendRecords(TDataSet& source) {
  CheckActive();
  CheckBrowseMode();
  std::vector<std::pair<TField*, TField*>> pairs;  // (source, this)
  for (const auto& f : source.FieldList())
    if (TField* mine = FindField(f->FieldName())) pairs.emplace_back(f.get(), mine);
  DisableControls();
  try {
    source.First();
    while (!source.Eof()) {
      Append();
      for (auto& p : pairs) p.second->SetValue(p.first->Value());
      Post();
      source.Next();
    }
  } catch (...) {
    Cancel();
    EnableControls();
    throw;
  }
  EnableControls();
}

void TKVMemDataSet::CheckRowCount() const {
  if (rows_.size() >= static_cast<size_t>(INT_MAX)) throw EDatabaseError("Too many records");
}

// ---- Engine ---------------------------------------------------------------------------------

void TKVMemDataSet::InternalOpen() {
  if (!keepRows_) {
    rows_.clear();
    deleted_.clear();
    changed_.clear();
  }
  current_ = -1;
}

void TKVMemDataSet::InternalClose() {
  rows_.clear();
  deleted_.clear();
  changed_.clear();
  current_ = -1;
}

void TKVMemDataSet::InternalFirst() { current_ = -1; }

void TKVMemDataSet::InternalLast() {
  while (FetchMore()) {
  }
  current_ = static_cast<int>(rows_.size());
}

TDataSet::TGetResult TKVMemDataSet::InternalGetRecord(TGetMode mode) {
  const int count = static_cast<int>(rows_.size());
  switch (mode) {
    case gmCurrent: return current_ >= 0 && current_ < count ? grOK : grEOF;
    case gmNext:
      if (current_ >= count - 1 && FetchMore()) return InternalGetRecord(gmNext);
      if (current_ < count - 1) {
        ++current_;
        return grOK;
      }
      return grEOF;
    case gmPrior:
      if (current_ < 1) return grBOF;
      if (current_ > count) current_ = count;
      --current_;
      return grOK;
  }
  return grEOF;
}

bool TKVMemDataSet::InternalGetFieldValue(const TField& field, TVariant& value) {
  if (current_ < 0 || current_ >= static_cast<int>(rows_.size()))
    throw EDatabaseError("Could not fetch field data for: " + field.FieldName());
  const auto& values = rows_[static_cast<size_t>(current_)]->values;
  size_t i = static_cast<size_t>(field.Index());
  if (i >= values.size() || values[i].IsNullOrEmpty()) return false;
  value = values[i];
  return true;
}

int TKVMemDataSet::InternalRecordCount() { return static_cast<int>(rows_.size()); }

int TKVMemDataSet::InternalGetRecNo() {
  return current_ >= 0 && current_ < static_cast<int>(rows_.size()) ? current_ + 1 : -1;
}

void TKVMemDataSet::InternalSetRecNo(int value) {
  if (value < 1 || value > static_cast<int>(rows_.size())) throw EDatabaseError("SetRecNo: out of range");
  current_ = value - 1;
}

TBookmark TKVMemDataSet::InternalGetBookmark() {
  if (current_ < 0 || current_ >= static_cast<int>(rows_.size())) return kNoBookmark;
  return rows_[static_cast<size_t>(current_)]->id;
}

void TKVMemDataSet::InternalGotoBookmark(TBookmark bookmark) {
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i]->id == bookmark) {
      current_ = static_cast<int>(i);
      return;
    }
  throw EDatabaseError("Bookmark not found");
}

void TKVMemDataSet::InternalPost(const std::vector<TVariant>& values, bool inserting, bool append) {
  if (inserting) {
    CheckRowCount();
    auto row = std::make_unique<Row>();
    row->id = nextId_++;
    row->values = values;
    if (CachedUpdates) {
      row->status = usInserted;
      row->changeSeq = nextSeq_++;
      changed_.push_back(row.get());
    }
    size_t at = rows_.size();
    if (!append) at = current_ < 0 ? 0 : std::min(static_cast<size_t>(current_), rows_.size());
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at), std::move(row));
    current_ = static_cast<int>(at);
    return;
  }
  Row& r = *rows_.at(static_cast<size_t>(current_));
  if (CachedUpdates && r.status == usUnmodified) {
    r.original = r.values;
    r.status = usModified;
    r.changeSeq = nextSeq_++;
    changed_.push_back(&r);
  }
  r.values = values;
}

void TKVMemDataSet::InternalDelete() {
  size_t at = static_cast<size_t>(current_);
  std::unique_ptr<Row> row = std::move(rows_.at(at));
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(at));
  if (row->status == usInserted) {
    ForgetChange(row.get());  // inserted and deleted before being applied: nothing to apply
  } else if (CachedUpdates || row->status != usUnmodified) {
    if (row->status == usUnmodified) {
      row->original = row->values;
      row->changeSeq = nextSeq_++;
      changed_.push_back(row.get());
    }
    row->status = usDeleted;
    row->deletedAt = at;
    deleted_.push_back(std::move(row));
  }
  if (current_ >= static_cast<int>(rows_.size())) current_ = static_cast<int>(rows_.size()) - 1;
}

// ---- Records fed by a subclass -------------------------------------------------------------

void TKVMemDataSet::AddFetchedRecord(std::vector<TVariant> values) {
  CheckRowCount();
  auto row = std::make_unique<Row>();
  row->id = nextId_++;
  row->values = std::move(values);
  rows_.push_back(std::move(row));
}

int TKVMemDataSet::ReleaseUnchangedRecords(bool keepCurrent) {
  const Row* current =
      keepCurrent && current_ >= 0 && current_ < static_cast<int>(rows_.size()) ? rows_[static_cast<size_t>(current_)].get()
                                                                                 : nullptr;
  int before = 0;
  size_t kept = 0;
  for (size_t i = 0; i < rows_.size(); ++i) {
    std::unique_ptr<Row>& row = rows_[i];
    if (row.get() == current || row->status != usUnmodified) {
      rows_[kept++] = std::move(row);
    } else if (static_cast<int>(i) < current_) {
      ++before;
    }
  }
  const bool pastEnd = current_ >= static_cast<int>(rows_.size());
  rows_.resize(kept);
  if (pastEnd) {
    current_ = static_cast<int>(rows_.size());
  } else if (current_ >= 0) {
    current_ -= before;
  }
  return before;
}

void TKVMemDataSet::ClearRecords() {
  rows_.clear();
  deleted_.clear();
  changed_.clear();
  current_ = -1;
}

// ---- Cached updates ---------------------------------------------------------------------------

void TKVMemDataSet::ForgetChange(Row* row) {
  for (size_t i = changed_.size(); i-- > 0;)
    if (changed_[i] == row) {
      changed_.erase(changed_.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
}

int TKVMemDataSet::ChangeCount() const { return static_cast<int>(changed_.size()); }

TUpdateStatus TKVMemDataSet::UpdateStatus() {
  CheckActive();
  if (current_ < 0 || current_ >= static_cast<int>(rows_.size())) return usUnmodified;
  return rows_[static_cast<size_t>(current_)]->status;
}

void TKVMemDataSet::MergeChangeLog() {
  for (Row* r : changed_) {
    r->status = r->status == usDeleted ? usDeleted : usUnmodified;
    r->original.clear();
    r->changeSeq = 0;
  }
  changed_.clear();
  deleted_.clear();
}

void TKVMemDataSet::FinishChanges(const std::vector<Row*>& rows, bool undo) {
  if (rows.empty()) return;
  std::unordered_set<Row*> set(rows.begin(), rows.end());
  auto in = [&set](Row* r) { return set.count(r) != 0; };
  // Records that go away: deletions made final, insertions undone.
  std::unordered_set<Row*> gone;
  for (Row* r : rows)
    if ((r->status == usDeleted && !undo) || (r->status == usInserted && undo)) gone.insert(r);
  changed_.erase(std::remove_if(changed_.begin(), changed_.end(), in), changed_.end());
  std::unordered_map<Row*, std::unique_ptr<Row>> revived;  // deleted records that come back
  for (auto& p : deleted_)
    if (in(p.get())) {
      if (undo) revived.emplace(p.get(), std::move(p));
      else p.reset();
    }
  deleted_.erase(std::remove_if(deleted_.begin(), deleted_.end(), [](const auto& p) { return !p; }), deleted_.end());
  if (undo)
    rows_.erase(std::remove_if(rows_.begin(), rows_.end(),
                               [&in](const auto& p) { return in(p.get()) && p->status == usInserted; }),
                rows_.end());
  // Latest change first, so that deleted records return to their places.
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
    Row* row = *it;
    auto rv = revived.find(row);
    if (rv != revived.end()) {
      std::unique_ptr<Row> owned = std::move(rv->second);
      owned->values = std::move(owned->original);
      owned->original.clear();
      owned->status = usUnmodified;
      owned->changeSeq = 0;
      size_t at = std::min(owned->deletedAt, rows_.size());
      rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at), std::move(owned));
      continue;
    }
    if (gone.count(row)) continue;
    if (undo && row->status == usModified) row->values = std::move(row->original);
    row->status = usUnmodified;
    row->original.clear();
    row->changeSeq = 0;
  }
}

int TKVMemDataSet::ApplyUpdates(int maxErrors) {
  CheckActive();
  CheckBrowseMode();
  if (!resolver_) throw EDatabaseError("No resolver to apply the changes to");
  int errors = 0;
  std::vector<Row*> finished, cancelled;
  resolver_->BeginApply();
  try {
    for (Row* row : changed_) {
      TUpdateKind kind = row->status == usInserted ? ukInsert : row->status == usModified ? ukModify : ukDelete;
      static const std::vector<TVariant> none;
      const std::vector<TVariant>& oldValues = kind == ukInsert ? none : row->original;
      const std::vector<TVariant>& newValues = kind == ukDelete ? none : row->values;
      std::unique_ptr<Exception> failure;
      try {
        resolver_->ApplyUpdate(kind, FieldDefs(), oldValues, newValues);
        finished.push_back(row);
        continue;
      } catch (const Exception& e) {
        failure = std::make_unique<Exception>(e.Message());
      } catch (const std::exception& e) {
        failure = std::make_unique<Exception>(e.what());
      }
      ++errors;
      TReconcileAction action = raSkip;
      if (OnReconcileError) {
        TKVMemDataSet delta;
        for (int i = 0; i < FieldDefs().Count(); ++i) {
          TFieldDef d = FieldDefs()[i];
          d.SetRequired(false);
          delta.FieldDefs().Add(d);
        }
        delta.CreateDataSet();
        delta.Append();
        const std::vector<TVariant>& shown = kind == ukDelete ? oldValues : newValues;
        for (int i = 0; i < delta.FieldCount() && static_cast<size_t>(i) < shown.size(); ++i)
          delta.Fields(i).SetValue(shown[static_cast<size_t>(i)]);
        delta.Post();
        delta.First();
        OnReconcileError(delta, *failure, kind, action);
      }
      if (action == raMerge) finished.push_back(row);
      if (action == raCancel) cancelled.push_back(row);
      if (action == raAbort || (maxErrors >= 0 && errors > maxErrors)) break;
    }
  } catch (...) {
    resolver_->EndApply(false);
    throw;
  }
  resolver_->EndApply(errors == 0);
  // Make the applied changes final and undo the cancelled ones; the rest stay pending.
  FinishChanges(finished, false);
  FinishChanges(cancelled, true);
  if (current_ >= static_cast<int>(rows_.size())) current_ = static_cast<int>(rows_.size()) - 1;
  Resync();
  return errors;
}

void TKVMemDataSet::CancelUpdates() {
  CheckActive();
  Cancel();
  // Undo the latest change first, so that deleted records return to their places.
  std::vector<Row*> changes = changed_;
  FinishChanges(changes, true);
  if (current_ >= static_cast<int>(rows_.size())) current_ = static_cast<int>(rows_.size()) - 1;
  Resync();
}

// ---- Files ----------------------------------------------------------------------------------------

std::string TKVMemDataSet::SaveToBytes() const {
  std::string out(kMagic, sizeof kMagic);
  const TFieldDefs& defs = FieldDefs();
  PutU32(out, static_cast<uint32_t>(defs.Count()));
  for (const TFieldDef& d : defs) {
    PutStr(out, d.Name);
    PutU8(out, d.DataType);
    PutU32(out, static_cast<uint32_t>(d.Size));
    PutU32(out, static_cast<uint32_t>(d.Precision));
    PutU8(out, d.Attributes);
    PutStr(out, d.DataTypeName);
  }
  PutU64(out, Active() ? rows_.size() : 0);
  if (Active())
    for (const auto& r : rows_)
      for (int i = 0; i < defs.Count(); ++i)
        PutValue(out, static_cast<size_t>(i) < r->values.size() ? r->values[static_cast<size_t>(i)] : TVariant::Null());
  return out;
}

void TKVMemDataSet::LoadFromBytes(std::string_view bytes) {
  TByteReader r(bytes);
  if (r.Take(sizeof kMagic) != std::string_view(kMagic, sizeof kMagic)) TByteReader::Fail("not a dataset file");
  TFieldDefs defs;
  uint32_t fieldCount = r.U32();
  // Each definition takes at least 26 bytes.
  if (fieldCount > r.Remaining() / 26) TByteReader::Fail("field count");
  for (uint32_t i = 0; i < fieldCount; ++i) {
    TFieldDef d;
    d.Name = r.Str();
    d.DataType = static_cast<TFieldType>(r.U8());
    if (d.DataType >= kFieldTypeCount) TByteReader::Fail("field type");
    d.Size = static_cast<int32_t>(r.U32());
    d.Precision = static_cast<int32_t>(r.U32());
    d.Attributes = r.U8();
    d.DataTypeName = r.Str();
    if (defs.IndexOf(d.Name) >= 0) TByteReader::Fail("duplicate field name");
    defs.Add(d);
  }
  uint64_t rowCount = r.U64();
  if (fieldCount == 0 ? rowCount != 0 : rowCount > r.Remaining() / fieldCount) TByteReader::Fail("record count");
  std::vector<std::unique_ptr<Row>> rows;
  rows.reserve(static_cast<size_t>(rowCount));
  for (uint64_t n = 0; n < rowCount; ++n) {
    auto row = std::make_unique<Row>();
    row->values.reserve(fieldCount);
    for (uint32_t i = 0; i < fieldCount; ++i) row->values.push_back(GetValue(r));
    rows.push_back(std::move(row));
  }
  if (r.Remaining() != 0) TByteReader::Fail("bytes after the last record");
  if (rows.size() >= static_cast<size_t>(INT_MAX)) TByteReader::Fail("record count");
  Close();
  FieldDefs().Assign(defs);
  IndexDefs().Clear();
  for (auto& row : rows) row->id = nextId_++;
  rows_ = std::move(rows);
  deleted_.clear();
  changed_.clear();
  keepRows_ = true;
  try {
    Open();
  } catch (...) {
    keepRows_ = false;
    throw;
  }
  keepRows_ = false;
}

void TKVMemDataSet::SaveToFile(const std::string& fileName) const { AtomicWriteFile(fileName, SaveToBytes()); }

void TKVMemDataSet::LoadFromFile(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw EFOpenError(Format("Cannot open file \"%s\"", fileName));
  std::ostringstream s;
  s << in.rdbuf();
  LoadFromBytes(s.str());
}

}  // namespace kv
