// The writer thread of a DB link run. In the append and copy modes, when
// nothing observes the destination record by record, the link's thread
// reads and converts the records and hands the rows to a TBackgroundWriter,
// which writes them on a second thread. What the run reports stays that of
// the record-by-record loop:
//   - the counters: a row counts as inserted when it is pushed; a row the
//     destination refuses is taken back and counted as an error when its
//     failure is dealt with;
//   - the error records and their order: a refused row is reported with the
//     source standing on its record (moved there by bookmark and back), and
//     before any later record's own failure or stop (those wait until every
//     row pushed before them is written);
//   - pause and stop act between records: a pause waits until the rows read
//     before it are written; a failure that stops or pauses the run drops the
//     rows pushed after it, takes back their counts and moves the source
//     back to the record after the failed one, where a resumed run goes on.
// Records read ahead of a failure that then stops the run have had their
// conditions and mapping evaluated; expressions without side effects (the
// usual mapping) cannot tell the difference.
#include <algorithm>
#include <utility>

#include "data/DataSet.h"
#include "environment/CoreMessages.h"
#include "expression/DBFunctions.h"
#include "expression/Expression.h"
#include "expression/Variables.h"
#include "foundation/Exceptions.h"
#include "foundation/Format.h"
#include "jobs/DBLink.h"
#include "jobs/DBLinkThread.h"
#include "jobs/RunPlan.h"

namespace kv {

namespace {

// Rows per batch handed to the writer thread, and batches at most: the rows
// in flight stay a few thousand whatever the size of the source.
constexpr size_t kWriterBatchRows = 512;
constexpr size_t kWriterBatches = 4;
constexpr size_t kWriterLargestBatchRows = 10000;
constexpr size_t kWriterLargeBatches = 2;

const TExpression* Resolve(const TExpression* exp) {
  const auto* ref = dynamic_cast<const TExp_VarRef*>(exp);
  if (!ref || !ref->BoundList()) return exp;
  return ref->BoundList()->GetVarExp(ref->VarName());
}

// Whether every database function in the tree below `exp`, and in the
// variables it names, reads the dataset of handle `source` and no other.
bool ReadsOnly(const TExpression* exp, int64_t source, std::vector<const TExpression*>& seen) {
  if (!exp || std::find(seen.begin(), seen.end(), exp) != seen.end()) return true;
  seen.push_back(exp);
  if (const auto* ref = dynamic_cast<const TExp_VarRef*>(exp)) {
    // A name that resolves nowhere now may name anything later.
    if (!ref->BoundList()) return false;
    if (!ReadsOnly(Resolve(exp), source, seen)) return false;
  }
  if (dynamic_cast<const TExp_DBFunction*>(exp)) {
    const TExpression* handle = Resolve(exp->GetSubExp(0));
    if (!handle || handle->SubExpEnd() != 0 || ExpAsInteger(handle) != source) return false;
  }
  for (int i = 0; i < exp->SubExpEnd(); ++i)
    if (!ReadsOnly(exp->GetSubExp(i), source, seen)) return false;
  return ReadsOnly(exp->FormatExp(), source, seen);
}

bool HasRecordHandlers(const TDataSet& d) {
  for (const TDataSet::TNotifyEvent* e : {&d.BeforeInsert, &d.AfterInsert, &d.BeforeEdit, &d.AfterEdit, &d.BeforePost,
                                          &d.AfterPost, &d.BeforeCancel, &d.AfterCancel, &d.BeforeDelete,
                                          &d.AfterDelete, &d.BeforeScroll, &d.AfterScroll})
    if (*e) return true;
  return false;
}

int32_t Less(int32_t counter, int64_t by) { return static_cast<int32_t>(std::max<int64_t>(0, counter - by)); }

}  // namespace

// Only where the writer cannot change what the run does: the append and
// copy modes, no debugging, no client dataset, an engine whose
// AppendRecords settles every row before it returns, no handler on the
// destination's records, source and destination on different connections,
// a source with bookmarks, and expressions that read no dataset but the
// source.
bool TDBLink::WriterFits() {
  const TImportMode mode = dest_->ImportMode;
  if ((mode != imAppend && mode != imCopy) || IsDebug() || client_) return false;
  if (destData_ == sourceData_ || !destData_->AppendRecordsSettle() || HasRecordHandlers(*destData_)) return false;
  if (dest_->Connection() && dest_->Connection() == source_->Connection()) return false;
  if (!source_->NeedMore() || sourceData_->GetBookmark() == kNoBookmark) return false;
  return ExpressionsReachOnlySource();
}

bool TDBLink::ExpressionsReachOnlySource() const {
  const int64_t source = source_->DataSetHandle();
  std::vector<const TExpression*> seen;
  const TRunPlan& plan = *plan_;
  for (const auto* exp : {&plan.start, &plan.stop, &plan.filter, &plan.error, &plan.pause})
    if (!ReadsOnly(exp->get(), source, seen)) return false;
  for (const TMapEntry& e : plan.values)
    if (!ReadsOnly(e.tree.get(), source, seen)) return false;
  return true;
}

void TDBLink::StartWriter() {
  std::vector<TField*> fields;
  fields.reserve(plan_->values.size());
  for (const TMapEntry& e : plan_->values) fields.push_back(e.dest);
  pushed_.clear();
  pushedCount_ = droppedCount_ = 0;
  rewound_ = false;
  // Engines that send rows in large batches get batches of their size (and fewer of them in flight).
  const size_t wanted = destData_->AppendRecordsBatch();
  const size_t rows = std::max(kWriterBatchRows, std::min(wanted, kWriterLargestBatchRows));
  const size_t batches = rows > kWriterBatchRows ? kWriterLargeBatches : kWriterBatches;
  writer_ = std::make_unique<TBackgroundWriter>(*destData_, std::move(fields), rows, batches);
}

void TDBLink::PushRow() {
  std::vector<TMapEntry>& values = plan_->values;
  TVariant* row = writer_->Row();
  if (!loadedRow_) {
    // Loaded for the convert-record event, which shows them as they are.
    for (size_t i = 0; i < values.size(); ++i) row[i] = values[i].value;
  } else if (row != loadedRow_) {
    throw EDatabaseError("The writer thread's row changed while the record was being converted");
  }
  loadedRow_ = nullptr;
  // Each value is converted to its field's kind here, as SetValue would on
  // the writer thread: the conversions run beside the writes, and a value
  // that does not convert fails its record as in the record-by-record loop
  // (after the rows before it are settled).
  for (size_t i = 0; i < values.size(); ++i) {
    const TField* f = values[i].dest;
    if (f && !f->StoresAsIs(row[i])) row[i] = f->Convert(row[i]);
  }
  const int64_t bookmark = sourceData_->GetBookmark();
  writer_->Push(Statistic.Rows);
  pushed_.push_back({Statistic.Rows, bookmark});
  ++pushedCount_;
  // Rows written need no bookmark any more.
  const int64_t open = pushedCount_ - droppedCount_ - writer_->Written();
  while (static_cast<int64_t>(pushed_.size()) > open) pushed_.pop_front();
}

void TDBLink::SettleWriter(TDBLinkThread& thread, bool wait) {
  while (wait ? !writer_->Drain() : writer_->Failed()) {
    const TBackgroundWriter::TFailure failure = writer_->Failure();
    WriterRowFailed(failure);
    if (thread.Terminated() || thread.Suspended() || Status() == jsStop) {
      RewindAfter(failure.tag, thread);
      return;
    }
    writer_->Resume();
  }
}

// As RecordFailed for the record the row came from, with the source
// standing on that record while the error event and expression run.
void TDBLink::WriterRowFailed(const TBackgroundWriter::TFailure& failure) {
  while (!pushed_.empty() && pushed_.front().row != failure.tag) pushed_.pop_front();
  TBookmark failed = kNoBookmark;
  if (!pushed_.empty()) {
    failed = pushed_.front().bookmark;
    pushed_.pop_front();
  }
  ++droppedCount_;
  ++Speed.ErrRecords;
  ++Statistic.Errors;
  Statistic.Inserted = Less(Statistic.Inserted, 1);
  ErrorMessage = Format(SDBLinkErrorMsg.c_str(), Name, failure.message);
  // While the event runs, the counters are those after the failed record:
  // the records read after it do not count yet.
  const int32_t rows = Statistic.Rows;
  const int32_t insertedAfter = static_cast<int32_t>(pushed_.size());
  Statistic.Rows = static_cast<int32_t>(failure.tag);
  Statistic.Inserted = Less(Statistic.Inserted, insertedAfter);
  try {
    ErrorOnSourceRecord(failed);
  } catch (...) {
    Statistic.Rows = rows;
    Statistic.Inserted += insertedAfter;
    throw;
  }
  Statistic.Rows = rows;
  Statistic.Inserted += insertedAfter;
  // Stays in place for RewindAfter, which moves on from the failed record.
  if (failed != kNoBookmark) rewindTo_ = failed;
}

void TDBLink::ErrorOnSourceRecord(TBookmark bookmark) {
  TDataSet& source = *sourceData_;
  const bool atEnd = source.Eof();
  const TBookmark here = atEnd ? kNoBookmark : source.GetBookmark();
  if (bookmark != kNoBookmark) source.GotoBookmark(bookmark);
  struct TBack {
    TDataSet& d;
    bool atEnd;
    TBookmark here;
    ~TBack() {
      try {
        if (atEnd) {
          d.Last();
          d.Next();
        } else if (here != kNoBookmark) {
          d.GotoBookmark(here);
        }
      } catch (const std::exception&) {
        // The source stays on the failed record; the run's next read reports it.
      }
    }
  } back{source, atEnd, here};
  DoErrorEvent(&source);
  EvaluateErrorExp();
}

void TDBLink::RewindAfter(int64_t failedRow, TDBLinkThread&) {
  const std::vector<int64_t> dropped = writer_->Discard();
  droppedCount_ += static_cast<int64_t>(dropped.size());
  pushed_.clear();
  const int64_t readAfter = Statistic.Rows - failedRow;
  Statistic.Inserted = Less(Statistic.Inserted, static_cast<int64_t>(dropped.size()));
  Statistic.Rows = static_cast<int32_t>(failedRow);
  Speed.SourceBrowse = Less(Speed.SourceBrowse, readAfter);
  Speed.Import = Less(Speed.Import, readAfter);
  if (rewindTo_ != kNoBookmark) {
    sourceData_->GotoBookmark(rewindTo_);
    source_->GoNext();
  }
  rewindTo_ = kNoBookmark;
  rewound_ = true;
}

void TDBLink::EndWriter() {
  if (!writer_) return;
  bool settled = false;
  try {
    if (thread_) {
      SettleWriter(*thread_, true);
      settled = !writer_->Failed();
    }
  } catch (const std::exception& e) {
    const auto* k = dynamic_cast<const Exception*>(&e);
    AddLog(ltError, Format(SDBLinkErrorMsg.c_str(), Name, k ? k->Message() : std::string(e.what())));
  }
  if (!settled) Statistic.Inserted = Less(Statistic.Inserted, static_cast<int64_t>(writer_->Discard().size()));
  writer_.reset();
  pushed_.clear();
  rewound_ = false;
  rewindTo_ = kNoBookmark;
}

}  // namespace kv
