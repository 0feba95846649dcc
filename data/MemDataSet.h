// The in-memory dataset: records of any field types held in memory, fully
// editable, with an optional change log (cached updates) that is applied
// to a resolver (a database table, a query's source) in batches. It holds
// a DB link's error records, which it saves to and loads from a file, and
// stands in front of database destinations that take their writes in
// batches.
//
// Without cached updates every change is final at once. With them, each
// record remembers how it was when read, and the log lists records
// inserted, modified and deleted since the last apply, merge or cancel:
//   ApplyUpdates hands each change to the resolver in the order the
//   records were first changed; a change the resolver refuses is reported
//   to OnReconcileError and stays in the log unless the handler says
//   otherwise; applying stops once the errors exceed the limit (-1: none);
//   CancelUpdates puts every record back as it was;
//   MergeChangeLog makes every change final without applying it.
//
// The data file is self-describing: the field definitions and every
// record's values (pending changes count as made).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "KVCore_export.h"
#include "data/DataSet.h"
#include "foundation/Exceptions.h"

namespace kv {

enum TUpdateKind : uint8_t { ukModify, ukInsert, ukDelete };
enum TReconcileAction : uint8_t { raSkip, raAbort, raMerge, raCorrect, raCancel, raRefresh };
enum TUpdateStatus : uint8_t { usUnmodified, usModified, usInserted, usDeleted };

// Where applied changes go.
class KVCORE_EXPORT IUpdateResolver {
public:
  virtual ~IUpdateResolver();
  // Called before the first change of one ApplyUpdates, and after the last
  // with whether no change was refused (a transaction may begin and end here).
  virtual void BeginApply() {}
  virtual void EndApply(bool allApplied) { (void)allApplied; }
  // Applies one change; raises to refuse it. `oldValues` are the record as
  // it was read (empty for an insertion), `newValues` as it is now (empty
  // for a deletion), both in the order of `fields`.
  virtual void ApplyUpdate(TUpdateKind kind, const TFieldDefs& fields, const std::vector<TVariant>& oldValues,
                           const std::vector<TVariant>& newValues) = 0;
};

class KVCORE_EXPORT TKVMemDataSet : public TDataSet {
  KV_CLASS(TKVMemDataSet, TDataSet)
public:
  // `delta` holds the refused change as one record (the values it was to
  // have; for a deletion the values it had).
  using TReconcileErrorEvent =
      std::function<void(TKVMemDataSet& delta, const Exception& error, TUpdateKind kind, TReconcileAction& action)>;

  TKVMemDataSet();
  ~TKVMemDataSet() override;

  // Opens an empty dataset with the current field definitions.
  void CreateDataSet();
  // Takes the field definitions of `source` (closing this dataset first).
  void CopyStructure(const TDataSet& source);
  // Removes every record and forgets every pending change.
  void EmptyDataSet();
  // Appends a copy of every record of `source` (fields matched by name,
  // others left null), walking it from its first record.
  void AppendRecords(TDataSet& source);

  // ---- Cached updates ----
  bool CachedUpdates = false;
  int ChangeCount() const;
  int ApplyUpdates(int maxErrors);
  void CancelUpdates();
  void MergeChangeLog();
  TUpdateStatus UpdateStatus();  // of the current record
  // Not owned; must outlive the applies.
  void SetResolver(IUpdateResolver* resolver) { resolver_ = resolver; }
  TReconcileErrorEvent OnReconcileError;

  // ---- Files ----
  std::string SaveToBytes() const;
  // Replaces structure and records and opens the dataset. EDatabaseError
  // "Invalid data file: ..." for anything that is not such a file.
  void LoadFromBytes(std::string_view bytes);
  void SaveToFile(const std::string& fileName) const;
  void LoadFromFile(const std::string& fileName);

protected:
  void InternalOpen() override;
  void InternalClose() override;
  void InternalFirst() override;
  void InternalLast() override;
  TGetResult InternalGetRecord(TGetMode mode) override;
  bool InternalGetFieldValue(const TField& field, TVariant& value) override;
  int InternalRecordCount() override;
  int InternalGetRecNo() override;
  void InternalSetRecNo(int value) override;
  TBookmark InternalGetBookmark() override;
  void InternalGotoBookmark(TBookmark bookmark) override;
  bool InternalCanModify() const override { return true; }
  void InternalPost(const std::vector<TVariant>& values, bool inserting, bool append) override;
  void InternalDelete() override;

  // ---- For subclasses fed from elsewhere (a query read in packets) ----
  // Called when the cursor is to move past the last record held, and
  // repeatedly by Last: appends the next records with AddFetchedRecord and
  // returns whether it added any. The default has nothing more to add.
  virtual bool FetchMore() { return false; }
  // Appends a record as read from the source: unmodified, no change logged.
  void AddFetchedRecord(std::vector<TVariant> values);
  // Lets go of every record that holds no pending change, except the
  // current one when `keepCurrent`; returns how many of them stood before
  // the current record.
  int ReleaseUnchangedRecords(bool keepCurrent);
  // Forgets every record and pending change; the dataset stays open,
  // before its first record (call Resync afterwards).
  void ClearRecords();

private:
  struct Row {
    int64_t id = 0;
    std::vector<TVariant> values;
    std::vector<TVariant> original;  // as read, while modified or deleted
    TUpdateStatus status = usUnmodified;
    int64_t changeSeq = 0;           // when the record was first changed
    size_t deletedAt = 0;            // its place when it was deleted
  };
  void CheckRowCount() const;
  void ForgetChange(Row* row);
  // Makes changes final, or (with `undo`) puts the records back as they were read.
  void FinishChanges(const std::vector<Row*>& rows, bool undo);

  std::vector<std::unique_ptr<Row>> rows_;
  std::vector<std::unique_ptr<Row>> deleted_;  // deleted rows awaiting apply
  std::vector<Row*> changed_;                  // changed rows (visible or deleted), first change first
  int current_ = -1;
  int64_t nextId_ = 1;
  int64_t nextSeq_ = 1;
  bool keepRows_ = false;  // InternalOpen keeps loaded rows
  IUpdateResolver* resolver_ = nullptr;
};

}  // namespace kv
