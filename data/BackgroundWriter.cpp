#include "data/BackgroundWriter.h"

#include "data/DataSet.h"
#include "foundation/Exceptions.h"

namespace kv {

namespace {

std::string MessageOf(const std::exception& e) {
  if (const auto* k = dynamic_cast<const Exception*>(&e)) return k->Message();
  return e.what();
}

}  // namespace

TBackgroundWriter::TBackgroundWriter(TDataSet& dest, std::vector<TField*> fields, size_t batchRows,
                                     size_t maxBatches)
    : dest_(dest),
      fields_(std::move(fields)),
      batchRows_(batchRows == 0 ? 1 : batchRows),
      maxBatches_(maxBatches < 2 ? 2 : maxBatches) {
  if (!dest_.Active() || dest_.State() != dsBrowse)
    throw EDatabaseError("The writer thread needs an open destination in browse state");
  if (!dest_.ControlsDisabled())
    throw EDatabaseError("The writer thread needs a destination whose views are suspended");
  thread_ = std::thread([this] { Run(); });
}

TBackgroundWriter::~TBackgroundWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  work_.notify_all();
  if (thread_.joinable()) thread_.join();
}

// ---- The caller's side -------------------------------------------------------------------

TBackgroundWriter::TBatch* TBackgroundWriter::NewBatch(std::unique_lock<std::mutex>& lock) {
  // Made without the lock: the writer goes on meanwhile.
  lock.unlock();
  auto b = std::make_unique<TBatch>();
  b->values.assign(batchRows_ * fields_.size(), TVariant::Null());
  b->tags.assign(batchRows_, 0);
  lock.lock();
  batches_.push_back(std::move(b));
  return batches_.back().get();
}

TBackgroundWriter::TBatch* TBackgroundWriter::TakeFree(std::unique_lock<std::mutex>& lock) {
  // Batches are made when first needed, so that the writer already works
  // on the first while the next one's memory is set up.
  if (free_.empty() && batches_.size() < maxBatches_ && !failed_.load()) return NewBatch(lock);
  done_.wait(lock, [this] { return !free_.empty() || failed_.load(); });
  // Halted on a failure with every batch full: one more batch, so that the
  // caller gets to its next row and deals with the failure there.
  TBatch* b = nullptr;
  if (free_.empty()) {
    b = NewBatch(lock);
  } else {
    b = free_.back();
    free_.pop_back();
  }
  b->rows = b->next = 0;
  return b;
}

void TBackgroundWriter::Release(TBatch* batch) {
  batch->rows = batch->next = 0;
  if (batches_.size() <= maxBatches_) {
    free_.push_back(batch);
    return;
  }
  // A batch made while halted goes once it is free again.
  for (auto it = batches_.begin(); it != batches_.end(); ++it) {
    if (it->get() == batch) {
      batches_.erase(it);
      return;
    }
  }
}

TVariant* TBackgroundWriter::Row() {
  if (!filling_) {
    std::unique_lock<std::mutex> lock(mutex_);
    filling_ = TakeFree(lock);
  }
  return filling_->values.data() + filling_->rows * fields_.size();
}

void TBackgroundWriter::HandOff(std::unique_lock<std::mutex>& lock) {
  if (!filling_ || filling_->rows == 0) return;
  queue_.push_back(filling_);
  filling_ = nullptr;
  lock.unlock();
  work_.notify_one();
  lock.lock();
}

void TBackgroundWriter::Push(int64_t tag) {
  Row();
  filling_->tags[filling_->rows] = tag;
  if (++filling_->rows < batchRows_) return;
  std::unique_lock<std::mutex> lock(mutex_);
  HandOff(lock);
}

TBackgroundWriter::TFailure TBackgroundWriter::Failure() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failure_;
}

void TBackgroundWriter::Resume() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!failed_.load()) return;
    failed_.store(false, std::memory_order_release);
    failure_ = TFailure();
    halted_ = false;
  }
  work_.notify_one();
}

std::vector<int64_t> TBackgroundWriter::Discard() {
  std::unique_lock<std::mutex> lock(mutex_);
  // Holds the writer between two batches, so that no batch is being written.
  halted_ = true;
  done_.wait(lock, [this] { return !busy_; });
  std::vector<int64_t> tags;
  auto drop = [&](TBatch* b) {
    for (size_t r = b->next; r < b->rows; ++r) tags.push_back(b->tags[r]);
    Release(b);
  };
  for (TBatch* b : queue_) drop(b);
  queue_.clear();
  if (filling_) drop(filling_);
  filling_ = nullptr;
  failure_ = TFailure();
  failed_.store(false, std::memory_order_release);
  halted_ = false;
  lock.unlock();
  done_.notify_all();
  return tags;
}

bool TBackgroundWriter::Drain() {
  std::unique_lock<std::mutex> lock(mutex_);
  HandOff(lock);
  done_.wait(lock, [this] { return failed_.load() || (queue_.empty() && !busy_); });
  return !failed_.load();
}

// ---- The writer thread -----------------------------------------------------------------------

// The rows from batch.next on, as many at a time as the destination takes.
bool TBackgroundWriter::WriteRows(TBatch& batch, TFailure& failure) {
  const size_t width = fields_.size();
  while (batch.next < batch.rows) {
    size_t appended = 0;
    try {
      dest_.AppendRecords(fields_.data(), batch.values.data() + batch.next * width, width, batch.rows - batch.next,
                          appended);
    } catch (const std::exception& e) {
      batch.next += appended;
      written_.fetch_add(static_cast<int64_t>(appended), std::memory_order_release);
      failure.tag = batch.tags[batch.next++];
      failure.message = MessageOf(e);
      try {
        dest_.Cancel();
      } catch (const std::exception&) {
        // The row failed already; a refused cancel changes nothing more.
      }
      return false;
    }
    batch.next += appended;
    written_.fetch_add(static_cast<int64_t>(appended), std::memory_order_release);
  }
  return true;
}

void TBackgroundWriter::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] { return stop_ || (!halted_ && !queue_.empty()); });
    if (stop_) return;
    TBatch* batch = queue_.front();
    busy_ = true;
    lock.unlock();
    TFailure failure;
    const bool ok = WriteRows(*batch, failure);
    lock.lock();
    busy_ = false;
    if (batch->next == batch->rows) {
      queue_.pop_front();
      Release(batch);
    }
    if (!ok) {
      failure_ = std::move(failure);
      halted_ = true;
      failed_.store(true, std::memory_order_release);
    }
    done_.notify_all();
  }
}

}  // namespace kv
