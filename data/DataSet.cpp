#include "data/DataSet.h"

#include <algorithm>

#include "foundation/Format.h"

namespace kv {

KV_IMPLEMENT_ABSTRACT_CLASS(TDataSet, TObject)

const char* DataSetStateName(TDataSetState state) {
  switch (state) {
    case dsInactive: return "Inactive";
    case dsBrowse: return "Browse";
    case dsEdit: return "Edit";
    case dsInsert: return "Insert";
  }
  return "Unknown";
}

TDataSet::TDataSet() = default;

// Engines close in their own destructor (CloseForDestroy); by now only
// the fields are left to free.
TDataSet::~TDataSet() { fields_.Clear(); }

void TDataSet::CheckActive() const {
  if (state_ == dsInactive) throw EDatabaseError("Cannot perform this operation on a closed dataset");
}

void TDataSet::CheckInactive() const {
  if (state_ != dsInactive) throw EDatabaseError("Cannot perform this operation on an open dataset");
}

void TDataSet::CheckCanModify() const {
  if (!CanModify()) throw EDatabaseError("Cannot modify a read-only dataset");
}

void TDataSet::CheckBiDirectional() const {
  if (IsUniDirectional()) throw EDatabaseError("Operation not allowed on a unidirectional dataset");
}

// ---- Opening and closing -------------------------------------------------------------

void TDataSet::Open() {
  if (Active()) return;
  Call(BeforeOpen);
  try {
    InternalOpen();
    CreateFields();
  } catch (...) {
    fields_.Clear();
    try {
      InternalClose();
    } catch (...) {
    }
    throw;
  }
  state_ = dsBrowse;
  ++openGeneration_;
  modified_ = false;
  CursorFirst();
  Call(AfterOpen);
  DataEvent(deDataSetChange);
}

void TDataSet::CreateFields() {
  fields_.Clear();
  for (int i = 0; i < fieldDefs_.Count(); ++i) fields_.Add(std::make_unique<TField>(*this, fieldDefs_[i], i));
}

void TDataSet::Close() { DoClose(true); }

void TDataSet::CloseForDestroy() {
  try {
    DoClose(false);
  } catch (...) {
    // A destructor cannot report a failure to close.
  }
}

void TDataSet::DoClose(bool notify) {
  if (!Active()) return;
  if (notify) Call(BeforeClose);
  buffer_.clear();
  modified_ = false;
  state_ = dsInactive;
  ++openGeneration_;
  bof_ = eof_ = true;
  onRecord_ = false;
  struct FieldsGuard {
    TFields& f;
    ~FieldsGuard() { f.Clear(); }
  } guard{fields_};
  InternalClose();
  if (notify) {
    Call(AfterClose);
    DataEvent(deDataSetChange);
  }
}

// ---- Fields ---------------------------------------------------------------------------

TField& TDataSet::FieldByName(std::string_view name) const {
  TField* f = FindField(name);
  if (!f) throw EDatabaseError(Format("Field '%s' not found", name));
  return *f;
}

std::vector<TField*> TDataSet::GetFieldList(std::string_view names) const {
  std::vector<TField*> out;
  for (const std::string& n : SplitFieldNames(names)) out.push_back(&FieldByName(n));
  return out;
}

TVariant TDataSet::FieldValues(std::string_view names) const {
  std::vector<TField*> list = GetFieldList(names);
  if (list.size() == 1) return list[0]->Value();
  std::vector<TVariant> values;
  values.reserve(list.size());
  for (TField* f : list) values.push_back(f->Value());
  return TVariant(std::move(values));
}

bool TDataSet::ReadField(const TField& field, TVariant& value) {
  CheckActive();
  if (state_ == dsEdit || state_ == dsInsert) {
    value = buffer_[static_cast<size_t>(field.Index())];
    if (value.IsNullOrEmpty()) {
      value = TVariant::Null();
      return false;
    }
    return true;
  }
  if (!onRecord_) {
    value = TVariant::Null();
    return false;
  }
  if (!InternalGetFieldValue(field, value)) {
    value = TVariant::Null();
    return false;
  }
  return true;
}

// As ReadField; a text the engine can show in place is copied into the
// value's own storage.
bool TDataSet::ReadFieldValue(const TField& field, TVariant& value) {
  if (state_ == dsBrowse && onRecord_ && field.ValueKind() == varString) {
    std::string_view view;
    if (InternalGetFieldText(field, view)) {
      value.AssignText(view);
      return true;
    }
  }
  return ReadField(field, value);
}

bool TDataSet::ReadFieldText(const TField& field, std::string& out) {
  CheckActive();
  if (state_ == dsBrowse && onRecord_) {
    std::string_view view;
    if (InternalGetFieldText(field, view)) {
      out.assign(view.data(), view.size());
      return true;
    }
  }
  TVariant v;
  if (!ReadField(field, v)) {
    out.clear();
    return false;
  }
  if (v.Type() == varString)
    out = v.RawString();
  else
    out = v.AsString();
  return true;
}

void TDataSet::WriteField(const TField& field, const TVariant& value) {
  if (state_ != dsEdit && state_ != dsInsert) throw EDatabaseError("Dataset not in edit or insert mode");
  TVariant& slot = buffer_[static_cast<size_t>(field.Index())];
  // A value of the field's kind (any text for a field of a text kind) is
  // stored as it is: copied into the slot, whose storage is reused from
  // record to record.
  if (field.StoresAsIs(value))
    slot = value;
  else
    slot = field.Convert(value);
  modified_ = true;
  DataEvent(deFieldChange);
}

bool TDataSet::InternalGetFieldText(const TField&, std::string_view&) { return false; }

// ---- Navigation -------------------------------------------------------------------------

void TDataSet::CursorFirst() {
  InternalFirst();
  onRecord_ = InternalGetRecord(gmNext) == grOK;
  bof_ = true;
  eof_ = !onRecord_;
}

bool TDataSet::CursorNext() {
  if (eof_) return false;
  if (InternalGetRecord(gmNext) == grOK) {
    onRecord_ = true;
    bof_ = false;
    return true;
  }
  eof_ = true;
  return false;
}

void TDataSet::First() {
  CheckActive();
  CheckBrowseMode();
  Call(BeforeScroll);
  CursorFirst();
  Call(AfterScroll);
  DataEvent(deDataSetScroll);
}

void TDataSet::Last() {
  CheckActive();
  CheckBiDirectional();
  CheckBrowseMode();
  Call(BeforeScroll);
  InternalLast();
  onRecord_ = InternalGetRecord(gmPrior) == grOK;
  eof_ = true;
  bof_ = !onRecord_;
  Call(AfterScroll);
  DataEvent(deDataSetScroll);
}

int TDataSet::MoveBy(int distance) {
  CheckActive();
  if (distance < 0) CheckBiDirectional();
  CheckBrowseMode();
  if (distance == 0 || (distance > 0 && eof_) || (distance < 0 && bof_)) return 0;
  Call(BeforeScroll);
  int moved = 0;
  if (distance > 0) {
    while (moved < distance && CursorNext()) ++moved;
  } else {
    while (moved < -distance) {
      if (InternalGetRecord(gmPrior) != grOK) {
        bof_ = true;
        break;
      }
      onRecord_ = true;
      eof_ = false;
      ++moved;
    }
  }
  Call(AfterScroll);
  DataEvent(deDataSetScroll);
  return moved;
}

int TDataSet::RecordCount() {
  CheckActive();
  return InternalRecordCount();
}

int TDataSet::RecNo() {
  CheckActive();
  if (state_ == dsInsert) return -1;
  return InternalGetRecNo();
}

void TDataSet::ResyncCurrent() {
  TGetResult r = InternalGetRecord(gmCurrent);
  onRecord_ = r == grOK;
  if (onRecord_) {
    bof_ = eof_ = false;
  } else {
    // No record to stand on: an empty dataset, or the engine lost its place.
    InternalFirst();
    onRecord_ = InternalGetRecord(gmNext) == grOK;
    bof_ = true;
    eof_ = !onRecord_;
  }
}

void TDataSet::Resync() {
  if (!Active()) return;
  if (state_ == dsEdit || state_ == dsInsert) {
    buffer_.clear();
    modified_ = false;
    state_ = dsBrowse;
  }
  ResyncCurrent();
  DataEvent(deDataSetChange);
}

void TDataSet::SetRecNo(int value) {
  CheckActive();
  CheckBrowseMode();
  Call(BeforeScroll);
  InternalSetRecNo(value);
  ResyncCurrent();
  Call(AfterScroll);
  DataEvent(deDataSetScroll);
}

void TDataSet::InternalSetRecNo(int) { throw EDatabaseError("The dataset cannot position by record number"); }

TBookmark TDataSet::GetBookmark() {
  CheckActive();
  if (state_ == dsInsert || !onRecord_) return kNoBookmark;
  return InternalGetBookmark();
}

void TDataSet::GotoBookmark(TBookmark bookmark) {
  CheckActive();
  CheckBrowseMode();
  if (bookmark == kNoBookmark) throw EDatabaseError("Bookmark not found");
  Call(BeforeScroll);
  InternalGotoBookmark(bookmark);
  ResyncCurrent();
  Call(AfterScroll);
  DataEvent(deDataSetScroll);
}

void TDataSet::InternalGotoBookmark(TBookmark) { throw EDatabaseError("The dataset has no bookmarks"); }

// ---- Locate ---------------------------------------------------------------------------------

bool TDataSet::Locate(std::string_view keyFields, const TVariant& keyValues, TLocateOptions options) {
  CheckActive();
  CheckBrowseMode();
  // The same key fields as last time (a run locates by one list record after record) are not looked up again.
  if (locateGeneration_ != openGeneration_ || keyFields != locateFieldNames_) {
    locateFields_ = GetFieldList(keyFields);
    locateFieldNames_.assign(keyFields.data(), keyFields.size());
    locateGeneration_ = openGeneration_;
  }
  const std::vector<TField*>& fields = locateFields_;
  if (fields.empty()) throw EDatabaseError("No key fields given to locate");
  std::vector<TVariant>& values = locateValues_;
  values.resize(fields.size());
  for (size_t i = 0; i < fields.size(); ++i) {
    if (keyValues.IsArray()) {
      if (i >= keyValues.ArrayCount()) throw EDatabaseError("Fewer key values than key fields");
      values[i] = keyValues.Element(i);
    } else {
      values[i] = keyValues;
    }
  }
  Call(BeforeScroll);
  bool found = InternalLocate(fields, values, options);
  Call(AfterScroll);
  DataEvent(deDataSetScroll);
  return found;
}

bool TDataSet::InternalLocate(const std::vector<TField*>& fields, const std::vector<TVariant>& values,
                              TLocateOptions options) {
  bool caseIns = options & LocateOptionBit(loCaseInsensitive);
  bool partial = options & LocateOptionBit(loPartialKey);
  TBookmark saved = onRecord_ ? InternalGetBookmark() : kNoBookmark;
  bool savedBof = bof_, savedEof = eof_;
  CursorFirst();
  TVariant v;
  while (onRecord_) {
    bool all = true;
    for (size_t i = 0; i < fields.size() && all; ++i) {
      if (!ReadField(*fields[i], v)) v = TVariant::Null();
      all = VarMatches(v, values[i], caseIns, partial);
    }
    if (all) {
      eof_ = false;
      return true;
    }
    if (!CursorNext()) break;
  }
  // Not found: back to where the cursor was, when the engine can go there.
  if (saved != kNoBookmark) {
    InternalGotoBookmark(saved);
    onRecord_ = InternalGetRecord(gmCurrent) == grOK;
    bof_ = savedBof;
    eof_ = savedEof;
  }
  return false;
}

// ---- Editing ---------------------------------------------------------------------------------

void TDataSet::InternalInitRecord(std::vector<TVariant>& values) {
  values.assign(static_cast<size_t>(fields_.Count()), TVariant::Null());
}

void TDataSet::InternalPost(const std::vector<TVariant>&, bool, bool) {
  throw EDatabaseError("Cannot modify a read-only dataset");
}

void TDataSet::InternalDelete() { throw EDatabaseError("Cannot modify a read-only dataset"); }

void TDataSet::CheckBrowseMode() {
  CheckActive();
  if (state_ == dsEdit || state_ == dsInsert) {
    if (modified_)
      Post();
    else
      Cancel();
  }
}

void TDataSet::EnterInsert(bool append) {
  savedBof_ = bof_;
  savedEof_ = eof_;
  savedOnRecord_ = onRecord_;
  appending_ = append;
  modified_ = false;
  state_ = dsInsert;
  bof_ = eof_ = false;
}

void TDataSet::BeginInsert(bool append) {
  CheckActive();
  CheckBrowseMode();
  CheckCanModify();
  Call(BeforeInsert);
  InternalInitRecord(buffer_);
  buffer_.resize(static_cast<size_t>(fields_.Count()), TVariant::Null());
  EnterInsert(append);
  Call(AfterInsert);
  DataEvent(deUpdateState);
}

void TDataSet::Append() { BeginInsert(true); }

bool TDataSet::AppendObserved() const {
  return BeforeInsert || AfterInsert || BeforePost || AfterPost || !ControlsDisabled();
}

void TDataSet::BeginQuietAppend() {
  CheckActive();
  CheckBrowseMode();
  CheckCanModify();
  if (newRecordGeneration_ != openGeneration_) {
    newRecord_.clear();
    InternalInitRecord(newRecord_);
    newRecord_.resize(static_cast<size_t>(fields_.Count()), TVariant::Null());
    newRecordGeneration_ = openGeneration_;
  }
  EnterInsert(true);
  eventPending_ = true;
}

// Each column's value: the last value given for its field, converted in
// its slot as SetValue converts it, else the new record's own.
void TDataSet::PrepareRow(TField* const* fields, TVariant* values, size_t count, size_t at) {
  const size_t width = newRecord_.size();
  const TVariant** row = columnValues_.data() + at;
  for (size_t i = 0; i < width; ++i) row[i] = &newRecord_[i];
  for (size_t i = 0; i < count; ++i) {
    const TField* f = fields[i];
    if (!f) continue;
    TVariant& v = values[i];
    if (!f->StoresAsIs(v)) v = f->Convert(v);
    row[f->Index()] = &v;
  }
  for (const size_t i : RequiredFields()) {
    if (row[i]->IsNullOrEmpty())
      throw EDatabaseError(Format("Field '%s' must have a value", fields_[static_cast<int>(i)].FieldName()));
  }
}

void TDataSet::KeepFailedRow(size_t at) {
  const size_t width = newRecord_.size();
  buffer_.resize(width);
  for (size_t i = 0; i < width; ++i) {
    const TVariant* v = columnValues_[at + i];
    buffer_[i] = v ? *v : newRecord_[i];
  }
  modified_ = true;
}

void TDataSet::EndQuietAppend() {
  modified_ = false;
  state_ = dsBrowse;
  onRecord_ = InternalGetRecord(gmCurrent) == grOK;
  bof_ = eof_ = !onRecord_;
}

void TDataSet::AppendRecord(TField* const* fields, TVariant* values, size_t count) {
  size_t appended = 0;
  AppendRecords(fields, values, count, 1, appended);
}

void TDataSet::AppendRecords(TField* const* fields, TVariant* values, size_t count, size_t rows, size_t& appended) {
  appended = 0;
  if (rows == 0) return;
  if (AppendObserved()) {
    for (; appended < rows; ++appended) {
      Append();
      TVariant* row = values + appended * count;
      for (size_t i = 0; i < count; ++i)
        if (fields[i]) fields[i]->SetValue(row[i]);
      Post();
    }
    return;
  }
  BeginQuietAppend();
  const size_t width = newRecord_.size();
  columnValues_.assign(rows * width, nullptr);
  // The records that convert and check are stored together; one that does
  // not is reported once those before it are stored.
  size_t ready = 0;
  std::exception_ptr bad;
  for (; ready < rows; ++ready) {
    try {
      PrepareRow(fields, values + ready * count, count, ready * width);
    } catch (...) {
      bad = std::current_exception();
      break;
    }
  }
  size_t stored = 0;
  try {
    if (ready > 0) InternalAppendRows(columnValues_.data(), ready, stored);
  } catch (...) {
    appended = stored;
    KeepFailedRow(stored * width);
    throw;
  }
  appended = ready;
  if (bad) {
    KeepFailedRow(ready * width);
    std::rethrow_exception(bad);
  }
  EndQuietAppend();
}

const std::vector<size_t>& TDataSet::RequiredFields() {
  if (requiredGeneration_ != openGeneration_) {
    requiredFields_.clear();
    for (int i = 0; i < fields_.Count(); ++i)
      if (fields_[i].Required()) requiredFields_.push_back(static_cast<size_t>(i));
    requiredGeneration_ = openGeneration_;
  }
  return requiredFields_;
}

void TDataSet::UpdateRecord(TField* const* fields, TVariant* values, size_t count) {
  CheckActive();
  const bool observed = BeforeEdit || AfterEdit || BeforePost || AfterPost || !ControlsDisabled();
  if (observed || state_ != dsBrowse || IsEmpty()) {
    Edit();
    for (size_t i = 0; i < count; ++i)
      if (fields[i]) fields[i]->SetValue(values[i]);
    Post();
    return;
  }
  CheckCanModify();
  InternalEdit();
  const size_t width = static_cast<size_t>(fields_.Count());
  columnValues_.assign(width, nullptr);
  state_ = dsEdit;
  eventPending_ = true;
  try {
    for (size_t i = 0; i < count; ++i) {
      const TField* f = fields[i];
      if (!f) continue;
      TVariant& v = values[i];
      if (!f->StoresAsIs(v)) v = f->Convert(v);
      columnValues_[static_cast<size_t>(f->Index())] = &v;
      modified_ = true;
    }
    for (const size_t i : RequiredFields()) {
      if (columnValues_[i] && columnValues_[i]->IsNullOrEmpty())
        throw EDatabaseError(Format("Field '%s' must have a value", fields_[static_cast<int>(i)].FieldName()));
    }
    InternalUpdateValues(columnValues_.data());
  } catch (...) {
    KeepFailedEdit();
    throw;
  }
  modified_ = false;
  state_ = dsBrowse;
  onRecord_ = InternalGetRecord(gmCurrent) == grOK;
  bof_ = eof_ = !onRecord_;
}

// The record a failed UpdateRecord was changing, in the edit buffer: its
// stored values with the given ones over them.
void TDataSet::KeepFailedEdit() {
  const size_t width = static_cast<size_t>(fields_.Count());
  buffer_.assign(width, TVariant::Null());
  for (size_t i = 0; i < width; ++i) {
    if (columnValues_[i]) {
      buffer_[i] = *columnValues_[i];
      continue;
    }
    try {
      if (!InternalGetFieldValue(fields_[static_cast<int>(i)], buffer_[i])) buffer_[i] = TVariant::Null();
    } catch (const std::exception&) {
      buffer_[i] = TVariant::Null();  // the row could not be read again
    }
  }
}

void TDataSet::InternalUpdateValues(const TVariant* const* values) {
  const size_t width = static_cast<size_t>(fields_.Count());
  buffer_.resize(width);
  for (size_t i = 0; i < width; ++i) {
    if (values[i])
      buffer_[i] = *values[i];
    else if (!InternalGetFieldValue(fields_[static_cast<int>(i)], buffer_[i]))
      buffer_[i] = TVariant::Null();
  }
  InternalPost(buffer_, false, false);
}

void TDataSet::InternalAppendValues(const TVariant* const* values) {
  const size_t width = static_cast<size_t>(fields_.Count());
  buffer_.resize(width);
  for (size_t i = 0; i < width; ++i) buffer_[i] = *values[i];
  InternalPost(buffer_, true, true);
}

void TDataSet::InternalAppendRows(const TVariant* const* values, size_t rows, size_t& stored) {
  const size_t width = static_cast<size_t>(fields_.Count());
  for (stored = 0; stored < rows; ++stored) InternalAppendValues(values + stored * width);
}

void TDataSet::Insert() { BeginInsert(false); }

void TDataSet::Edit() {
  CheckActive();
  if (state_ == dsEdit || state_ == dsInsert) return;
  if (IsEmpty()) {
    Insert();
    return;
  }
  CheckCanModify();
  Call(BeforeEdit);
  InternalEdit();
  std::vector<TVariant> values(static_cast<size_t>(fields_.Count()));
  for (int i = 0; i < fields_.Count(); ++i) ReadField(fields_[i], values[static_cast<size_t>(i)]);
  buffer_ = std::move(values);
  modified_ = false;
  state_ = dsEdit;
  Call(AfterEdit);
  DataEvent(deUpdateState);
}

void TDataSet::Post() {
  CheckActive();
  if (state_ != dsEdit && state_ != dsInsert) return;
  Call(BeforePost);
  for (int i = 0; i < fields_.Count(); ++i) {
    const TField& f = fields_[i];
    if (f.Required() && buffer_[static_cast<size_t>(i)].IsNullOrEmpty())
      throw EDatabaseError(Format("Field '%s' must have a value", f.FieldName()));
  }
  InternalPost(buffer_, state_ == dsInsert, appending_);
  // The buffer keeps its storage for the next record (only edit and insert state read it).
  modified_ = false;
  state_ = dsBrowse;
  onRecord_ = InternalGetRecord(gmCurrent) == grOK;
  bof_ = eof_ = !onRecord_;
  Call(AfterPost);
  DataEvent(deRecordChange);
}

void TDataSet::Cancel() {
  CheckActive();
  if (state_ != dsEdit && state_ != dsInsert) return;
  Call(BeforeCancel);
  bool wasInsert = state_ == dsInsert;
  InternalCancel();
  buffer_.clear();
  modified_ = false;
  state_ = dsBrowse;
  if (wasInsert) {
    bof_ = savedBof_;
    eof_ = savedEof_;
    onRecord_ = savedOnRecord_;
  }
  Call(AfterCancel);
  DataEvent(deUpdateState);
}

void TDataSet::Delete() {
  CheckActive();
  if (state_ == dsInsert) {
    Cancel();
    return;
  }
  if (IsEmpty()) throw EDatabaseError("Cannot perform this operation on an empty dataset");
  CheckCanModify();
  // A pending change of the record that goes away is dropped with it.
  buffer_.clear();
  modified_ = false;
  state_ = dsBrowse;
  Call(BeforeDelete);
  Call(BeforeScroll);
  InternalDelete();
  onRecord_ = InternalGetRecord(gmCurrent) == grOK;
  bof_ = eof_ = !onRecord_;
  Call(AfterDelete);
  Call(AfterScroll);
  DataEvent(deDataSetChange);
}

// ---- Views -------------------------------------------------------------------------------------

void TDataSet::DisableControls() { ++disableCount_; }

void TDataSet::EnableControls() {
  if (disableCount_ == 0) return;
  if (--disableCount_ == 0 && eventPending_) {
    eventPending_ = false;
    DataEvent(deDataSetChange);
  }
}

int TDataSet::AddDataObserver(TDataObserver observer) {
  int id = nextObserverId_++;
  observers_.emplace_back(id, std::move(observer));
  return id;
}

void TDataSet::RemoveDataObserver(int id) {
  observers_.erase(std::remove_if(observers_.begin(), observers_.end(), [id](const auto& o) { return o.first == id; }),
                   observers_.end());
}

void TDataSet::DataEvent(TDataEvent event) {
  if (disableCount_ > 0) {
    eventPending_ = true;
    return;
  }
  if (observers_.empty()) return;
  // An observer may remove itself (or others) while being told.
  auto copy = observers_;
  for (auto& o : copy) o.second(*this, event);
}

bool TDataSet::GetPublishedString(std::string_view, std::string&) const { return false; }

}  // namespace kv
