// The dataset: one cursor over the records of a table, a query result, a
// file or memory, with fields, navigation, locate, editing and
// notifications. Every data engine (text files, in-memory data, SQLite,
// ODBC, dBase files) derives from TDataSet and implements the protected
// engine operations; everything else (states, the edit buffer, Eof and
// Bof, notifications, views, the generic Locate) lives here once.
//
// States: inactive (closed), browse, edit (changing the current record),
// insert (a new record that is not stored yet). Field values set in edit
// and insert state go to an edit buffer and reach the engine on Post.
//
// Cursor rules (the same for every engine):
//   - Open positions on the first record; First sets Bof, Last sets Eof.
//   - Next on the last record sets Eof and stays on it; Prior on the first
//     record sets Bof and stays on it. An empty dataset has Eof and Bof.
//   - Navigation, Locate, Append, Insert and bookmarks first settle a
//     pending edit: posted when a field was set, cancelled otherwise.
//   - Edit on an empty dataset inserts; Delete in insert state cancels.
//
// Views (grids, the debug window) observe a dataset through data
// observers. DisableControls suspends their notifications (counting
// nested calls); the last EnableControls sends one change notification
// when anything happened meanwhile.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "KVCore_export.h"
#include "data/DatabaseError.h"
#include "data/FieldDefs.h"
#include "data/Fields.h"
#include "data/Variant.h"
#include "foundation/KVObject.h"

namespace kv {

enum TDataSetState : uint8_t { dsInactive = 0, dsBrowse = 1, dsEdit = 2, dsInsert = 3 };
KVCORE_EXPORT const char* DataSetStateName(TDataSetState state);

// Locate options: a set, bit n = value n.
enum TLocateOption : uint8_t { loCaseInsensitive = 0, loPartialKey = 1 };
using TLocateOptions = uint8_t;
constexpr TLocateOptions LocateOptionBit(TLocateOption o) { return static_cast<TLocateOptions>(1u << o); }

// What a data observer is told.
enum TDataEvent : uint8_t {
  deDataSetChange,  // opened, closed, records added or removed, or many things at once
  deDataSetScroll,  // the cursor moved
  deRecordChange,   // the current record was posted
  deFieldChange,    // a field of the edit buffer was set
  deUpdateState,    // the state changed
};

// A position that GotoBookmark returns to; kNoBookmark when there is none.
using TBookmark = int64_t;
inline constexpr TBookmark kNoBookmark = -1;

class KVCORE_EXPORT TDataSet : public TObject {
  KV_CLASS(TDataSet, TObject)
public:
  using TNotifyEvent = std::function<void(TDataSet& sender)>;
  using TDataObserver = std::function<void(TDataSet& sender, TDataEvent event)>;

  TDataSet();
  ~TDataSet() override;

  // ---- Opening and closing ----
  void Open();
  void Close();
  void SetActive(bool value) { value ? Open() : Close(); }
  bool Active() const { return state_ != dsInactive; }
  TDataSetState State() const { return state_; }
  // Moves on every successful open and every close: what was found among
  // the fields under one value is not used under another.
  uint64_t OpenGeneration() const { return openGeneration_; }

  // ---- Structure ----
  // Filled by the engine when the dataset opens; callers may fill them
  // before opening an engine that creates its data from them.
  TFieldDefs& FieldDefs() { return fieldDefs_; }
  const TFieldDefs& FieldDefs() const { return fieldDefs_; }
  TIndexDefs& IndexDefs() { return indexDefs_; }
  const TIndexDefs& IndexDefs() const { return indexDefs_; }
  // Fields exist while the dataset is open.
  int FieldCount() const { return fields_.Count(); }
  TField& Fields(int index) const { return fields_[index]; }
  const TFields& FieldList() const { return fields_; }
  TField* FindField(std::string_view name) const { return fields_.Find(name); }
  // The current record's values as text by field index, when the engine
  // holds records as text (the text file and list datasets) and the
  // dataset browses a record: the same texts the text fields read, without
  // a call per field. Valid until the cursor moves or the records change;
  // null otherwise (read through the fields then). Only fields of a text
  // kind read as their text.
  const std::vector<std::string_view>* CurrentTexts() {
    return state_ == dsBrowse && onRecord_ ? InternalCurrentTexts() : nullptr;
  }
  // EDatabaseError "Field '%s' not found" when there is none.
  TField& FieldByName(std::string_view name) const;
  // The fields named in a ";"-separated list, in list order.
  std::vector<TField*> GetFieldList(std::string_view names) const;
  // One field's value, or an array of the values of several (";"-separated).
  TVariant FieldValues(std::string_view names) const;

  // ---- Navigation ----
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  // Moves up to |distance| records; returns how many were passed.
  int MoveBy(int distance);
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  bool IsEmpty() const { return bof_ && eof_ && state_ != dsInsert; }
  // The number of records, or -1 when the engine cannot tell without reading them all.
  int RecordCount();
  // 1-based number of the current record; -1 when unknown or in insert state.
  int RecNo();
  void SetRecNo(int value);
  TBookmark GetBookmark();
  void GotoBookmark(TBookmark bookmark);
  // Whether the engine can only move forward (First may re-read the source; Prior and Last fail).
  virtual bool IsUniDirectional() const { return false; }

  // Moves to the first record whose key fields (";"-separated) match
  // `keyValues`: with one key field the value itself (or the only element
  // of a one-element array), with several the i-th element of the array
  // for the i-th field (a value that is not an array is compared with
  // every field). True when found; otherwise the cursor stays where it was.
  bool Locate(std::string_view keyFields, const TVariant& keyValues, TLocateOptions options = 0);

  // ---- Editing ----
  bool CanModify() const { return Active() && InternalCanModify(); }
  void Append();
  void Insert();
  void Edit();
  void Post();
  void Cancel();
  void Delete();
  // A field has been set since the edit or insert began.
  bool Modified() const { return modified_; }
  // Posts a pending edit when a field was set, cancels it otherwise.
  void CheckBrowseMode();
  // Appends one record as Append, SetValue of fields[i] to values[i] for
  // each i < count (a null field is skipped; fields belong to this
  // dataset) and Post would: the same conversions, checks, errors and
  // resulting state. A value may be converted in its slot (to the kind it
  // is stored as). When nothing observes the record (no insert or post
  // handlers, views suspended) the edit state's steps and notifications
  // are skipped and the engine may write the values from the slots without
  // copying them; otherwise it is exactly that sequence. A failure leaves
  // the dataset in insert state, as a failed Post does (Cancel drops the
  // record).
  void AppendRecord(TField* const* fields, TVariant* values, size_t count);
  // AppendRecord for `rows` records in turn, the values of record r at
  // values[r * count ...]. Stops at the first record that fails: `appended`
  // is then the number of records stored before it, and its error is
  // raised (the dataset in insert state, as AppendRecord leaves it).
  // Engines may store the records of one call several at a time.
  void AppendRecords(TField* const* fields, TVariant* values, size_t count, size_t rows, size_t& appended);
  // Changes the current record as Edit, SetValue of fields[i] to values[i]
  // for each i < count (a null field is skipped) and Post would, with the
  // same conversions and errors. A value may be converted in its slot. When
  // nothing observes the record (no edit or post handlers, views
  // suspended) the fields not given a value are neither read nor written
  // (a required one is not checked) and the notifications are skipped. A
  // failure leaves the dataset in edit state, as a failed Post does.
  void UpdateRecord(TField* const* fields, TVariant* values, size_t count);

  // ---- Views ----
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return disableCount_ > 0; }
  int AddDataObserver(TDataObserver observer);
  void RemoveDataObserver(int id);

  // ---- Appends sent in batches ----
  // Engines that send appended rows in batches (PostgreSQL's COPY, ODBC
  // parameter arrays) take a Post before the server has seen the row. A row
  // the server refuses when its batch is sent is reported to
  // OnAppendRefused with its number -- its place among the rows appended
  // and posted on this dataset since it opened, from 1 (AppendsPosted) --
  // and the server's message; the other rows of the batch are stored.
  // Without a handler the engine raises one error naming the refused rows.
  std::function<void(int64_t appendNo, const std::string& message)> OnAppendRefused;
  // Whether appended rows may stay unsent after their Post.
  virtual bool AppendsBatched() const { return false; }
  // Appended rows posted since the dataset opened (engines that batch count them).
  virtual int64_t AppendsPosted() const { return 0; }
  // Of those, the rows not sent to the server yet.
  virtual int64_t PendingAppends() const { return 0; }
  // Whether AppendRecords, when nothing observes the records, has stored or
  // refused every record it was given by the time it returns (true unless
  // the engine keeps appended rows unsent).
  virtual bool AppendRecordsSettle() const { return !AppendsBatched(); }
  // How many records AppendRecords best takes at once (0: any number).
  virtual size_t AppendRecordsBatch() const { return 0; }

  // ---- Published properties ----
  // The value of a string property the engine publishes under `name`
  // ("TableName", "SQL", "IndexFieldName", ...); false when it has none.
  virtual bool GetPublishedString(std::string_view name, std::string& value) const;

  // ---- Notifications (sender first; a handler that raises aborts the operation) ----
  TNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;

protected:
  enum TGetMode : uint8_t { gmCurrent, gmNext, gmPrior };
  enum TGetResult : uint8_t { grOK, grBOF, grEOF };

  // ---- The engine interface ----
  // Opens the source and fills the field definitions (and index
  // definitions when the engine knows them). Raising leaves the dataset closed.
  virtual void InternalOpen() = 0;
  virtual void InternalClose() = 0;
  // Places the cursor before the first / after the last record.
  virtual void InternalFirst() = 0;
  virtual void InternalLast() = 0;
  // gmNext / gmPrior move to the next / previous record and return grOK, or
  // return grEOF / grBOF and keep the current record. gmCurrent returns grOK
  // when the cursor stands on (or at) a record, grEOF when there is none.
  virtual TGetResult InternalGetRecord(TGetMode mode) = 0;
  // The current record's value of `field`, of the field's kind; false (and
  // Null) when the field is null.
  virtual bool InternalGetFieldValue(const TField& field, TVariant& value) = 0;
  // Optional fast path for text: a view of the current record's value that
  // stays valid until the cursor moves; false when the engine has none.
  virtual bool InternalGetFieldText(const TField& field, std::string_view& text);
  // Optional fast path for whole records held as text: the current
  // record's values by field index (see CurrentTexts); null when the
  // engine has none.
  virtual const std::vector<std::string_view>* InternalCurrentTexts() { return nullptr; }
  virtual int InternalRecordCount() { return -1; }
  virtual int InternalGetRecNo() { return -1; }
  // Raises when `value` is out of range or the engine cannot position by number.
  virtual void InternalSetRecNo(int value);
  virtual TBookmark InternalGetBookmark() { return kNoBookmark; }
  virtual void InternalGotoBookmark(TBookmark bookmark);
  virtual bool InternalCanModify() const { return false; }
  // Values of a new record (Null by default); the same for every new
  // record while the dataset stays open (AppendRecord keeps them).
  virtual void InternalInitRecord(std::vector<TVariant>& values);
  // Called when an edit begins; may raise to refuse it (a locked record).
  virtual void InternalEdit() {}
  // Stores the edit buffer: a new record (at the end with `append`, else
  // before the current record) or the current record changed. The engine
  // leaves its cursor on the stored record.
  virtual void InternalPost(const std::vector<TVariant>& values, bool inserting, bool append);
  // Stores a new record at the end whose field i has the value *values[i]
  // (of the field's kind; Empty: never set), as InternalPost of those
  // values would (the default does exactly that, through the edit buffer;
  // engines may write them without copying them there).
  virtual void InternalAppendValues(const TVariant* const* values);
  // InternalAppendValues for `rows` records in turn, the values of record r
  // at values[r * FieldCount() ...]. When a record fails, `stored` is the
  // number stored before it and its error is raised; the records after it
  // are not stored. The default stores them one by one.
  virtual void InternalAppendRows(const TVariant* const* values, size_t rows, size_t& stored);
  // Stores the current record changed: field i becomes *values[i] (of the
  // field's kind) where values[i] is not null; the others keep their
  // values. The default reads the record and posts it through the edit
  // buffer; engines may write the given fields alone.
  virtual void InternalUpdateValues(const TVariant* const* values);
  virtual void InternalCancel() {}
  // Removes the current record and moves to the record that followed it
  // (or the new last record when it was the last).
  virtual void InternalDelete();
  // Finds the first matching record and stands on it; true when found.
  // The generic version walks the records from the first one; engines with
  // indexes or a query language override it.
  virtual bool InternalLocate(const std::vector<TField*>& fields, const std::vector<TVariant>& values,
                              TLocateOptions options);

  // Engines call this in their destructor: closes without notifications.
  void CloseForDestroy();
  // Tells the observers (unless suspended).
  void DataEvent(TDataEvent event);
  // Engines call this after changing their records outside the operations
  // above (emptied, reloaded, changes undone): the cursor settles on the
  // engine's current record, or on the first one when that is gone.
  void Resync();
  void CheckActive() const;
  void CheckInactive() const;
  // The value of field i in the edit buffer (edit and insert state).
  const std::vector<TVariant>& EditBuffer() const { return buffer_; }

private:
  friend class TField;
  // Field access for TField.
  bool ReadField(const TField& field, TVariant& value);
  bool ReadFieldText(const TField& field, std::string& out);
  bool ReadFieldValue(const TField& field, TVariant& value);
  void WriteField(const TField& field, const TVariant& value);

  void CreateFields();
  void Call(const TNotifyEvent& event) {
    if (event) event(*this);
  }
  void CheckCanModify() const;
  void CheckBiDirectional() const;
  void ResyncCurrent();
  void CursorFirst();
  bool CursorNext();
  void BeginInsert(bool append);
  // Insert state for a new record; what to go back to on Cancel is kept.
  void EnterInsert(bool append);
  // AppendRecord(s) without observers: the insert state without its
  // notifications, ready for PrepareRow and InternalAppendRows.
  bool AppendObserved() const;
  void BeginQuietAppend();
  // The column values of one record into columnValues_ from `at` on
  // (converted in their slots); raises what SetValue or Post would.
  void PrepareRow(TField* const* fields, TVariant* values, size_t count, size_t at);
  // The record at columnValues_[at] left in the edit buffer, in insert state.
  void KeepFailedRow(size_t at);
  void KeepFailedEdit();
  // The indexes of the required fields (kept for the open).
  const std::vector<size_t>& RequiredFields();
  void EndQuietAppend();
  void DoClose(bool notify);

  TDataSetState state_ = dsInactive;
  uint64_t openGeneration_ = 0;
  TFieldDefs fieldDefs_;
  TIndexDefs indexDefs_;
  TFields fields_;
  std::vector<TVariant> buffer_;  // the record being edited or inserted
  std::vector<TVariant> newRecord_;      // InternalInitRecord's values, kept by AppendRecord
  uint64_t newRecordGeneration_ = 0;     // the open they belong to (0: none)
  std::vector<size_t> requiredFields_;   // the indexes of the required fields
  uint64_t requiredGeneration_ = 0;      // the open they belong to (0: none)
  std::string locateFieldNames_;          // Locate: the last key-field list, its fields and values
  std::vector<TField*> locateFields_;
  std::vector<TVariant> locateValues_;
  uint64_t locateGeneration_ = 0;
  std::vector<const TVariant*> columnValues_;  // AppendRecord(s): the value of each field, row after row
  bool modified_ = false;
  bool appending_ = false;
  bool bof_ = true;
  bool eof_ = true;
  bool onRecord_ = false;         // the engine stands on a record
  bool savedBof_ = true, savedEof_ = true, savedOnRecord_ = false;  // before an insert
  int disableCount_ = 0;
  bool eventPending_ = false;
  int nextObserverId_ = 1;
  std::vector<std::pair<int, TDataObserver>> observers_;
};

}  // namespace kv
