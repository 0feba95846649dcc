// A writer thread that appends rows to a destination dataset while the
// caller reads and converts the next ones: the caller fills rows into
// batches, the writer thread writes them in order, each row as Append,
// SetValue of every field and Post would in a record-by-record loop
// (through AppendRecords: the destination may store several rows at once),
// and reports every row it could not write, in order.
//
// A failed row halts the writer: the rows after it stay unwritten until
// the caller has dealt with the failure (Failure) and said how to go on:
// Resume writes them, Discard drops them (and tells which). So the rows
// written, the failures and their order are those of the loop that posts
// each row itself, and the caller can handle each failure (count it, keep
// the source record, stop) before any later row reaches the destination.
//
// How a transfer uses it (append and copy modes, no per-record event):
//   TBackgroundWriter writer(dest, destinationFields);
//   for each source record:
//     while (writer.Failed()) { handle writer.Failure(); writer.Resume() or writer.Discard(); }
//     fill writer.Row()[0 .. fields-1] with the record's values; writer.Push(tag);
//   at a pause, a stop and the end: while (!writer.Drain()) { handle the failure as above }
//   then commit the destination's connection on the caller's thread as usual.
// The tag of a row is the caller's (the source record's bookmark or
// number); a failure hands it back. Counters that the caller advances when
// it pushes a row are taken back for a failed row and for discarded rows.
//
// Threads: from construction until destruction the writer thread alone
// uses the destination dataset (and its connection) while it has rows to
// write; the caller may use them again after Drain returned (the writer is
// idle until the next Push), and after the writer is destroyed. The
// destination's views must be suspended (DisableControls) and it must have
// no per-record event handlers (BeforePost ...), since they would run on the
// writer thread; the constructor refuses a destination whose views are not
// suspended (EDatabaseError). Memory is bounded: `maxBatches` batches of
// `batchRows` rows (at least 2) exist, and Push waits while all of them are
// full, except while the writer is halted on a failure: then Push takes one
// more batch (freed again once written), so that the caller reaches its next
// row and handles the failure there.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "KVCore_export.h"
#include "data/Variant.h"

namespace kv {

class TDataSet;
class TField;

class KVCORE_EXPORT TBackgroundWriter {
public:
  // A row the destination refused: the caller's tag and the error's message.
  struct TFailure {
    int64_t tag = 0;
    std::string message;
  };

  // `dest` must be open, modifiable, in browse state, with its views
  // suspended; it is not owned and must outlive the writer. `fields` are
  // fields of `dest` (not owned): slot i of a row goes to fields[i]; a null
  // field drops its slot. Starts the writer thread.
  TBackgroundWriter(TDataSet& dest, std::vector<TField*> fields, size_t batchRows = 256, size_t maxBatches = 4);
  // Drops the rows not written yet and ends the thread; never raises.
  ~TBackgroundWriter();
  TBackgroundWriter(const TBackgroundWriter&) = delete;
  TBackgroundWriter& operator=(const TBackgroundWriter&) = delete;

  // The slots of the next row (one per field, Null or the values of an
  // earlier row: assign every slot). Valid until Push.
  TVariant* Row();
  // Hands the row filled in Row() to the writer; waits while every batch is
  // full. Rows are written in the order they are pushed.
  void Push(int64_t tag);

  // A row failed and the writer is halted (cheap: the caller asks before each row).
  bool Failed() const noexcept { return failed_.load(std::memory_order_acquire); }
  // The failed row (only while Failed()).
  TFailure Failure() const;
  // Goes on with the rows after the failed one.
  void Resume();
  // Drops every row not written yet (also a row being filled) and returns
  // their tags in push order; the writer is then idle and takes new rows.
  std::vector<int64_t> Discard();
  // Hands the rows pushed so far and waits until all of them are written
  // (true) or a row failed (false: Failed() holds; deal with it and call
  // Drain again). Afterwards the destination may be used on this thread
  // until the next Push.
  bool Drain();

  // Rows written (posted) so far.
  int64_t Written() const noexcept { return written_.load(std::memory_order_acquire); }

private:
  struct TBatch {
    std::vector<TVariant> values;  // rows x fields
    std::vector<int64_t> tags;
    size_t rows = 0;  // rows filled
    size_t next = 0;  // the first row not handled by the writer
  };

  void Run();
  // Writes rows of `batch` from batch.next until one fails (false, `failure` set) or the batch ends.
  bool WriteRows(TBatch& batch, TFailure& failure);
  // Hands the batch being filled to the writer (with the lock held).
  void HandOff(std::unique_lock<std::mutex>& lock);
  // A free batch (waits for one; makes one more while halted on a failure). With the lock held.
  TBatch* TakeFree(std::unique_lock<std::mutex>& lock);
  // A new batch, made without the lock (taken again before it returns); only the caller's thread makes batches.
  TBatch* NewBatch(std::unique_lock<std::mutex>& lock);
  // Back to the free batches, or freed when more than maxBatches_ exist. With the lock held.
  void Release(TBatch* batch);

  TDataSet& dest_;
  std::vector<TField*> fields_;
  size_t batchRows_;
  size_t maxBatches_;
  std::vector<std::unique_ptr<TBatch>> batches_;  // every batch; the lists below point into it

  mutable std::mutex mutex_;
  std::condition_variable work_;   // the writer waits for rows, a resume or the end
  std::condition_variable done_;   // the caller waits for a free batch, a drain or a failure
  std::deque<TBatch*> queue_;      // handed to the writer, in order
  std::vector<TBatch*> free_;
  TBatch* filling_ = nullptr;      // the caller's batch (caller's thread only)
  bool halted_ = false;            // the writer waits for Resume or Discard
  bool busy_ = false;              // the writer is writing a batch outside the lock
  bool stop_ = false;
  TFailure failure_;
  std::atomic<bool> failed_{false};
  std::atomic<int64_t> written_{0};
  std::thread thread_;
};

}  // namespace kv
