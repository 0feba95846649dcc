#include "editors/DataSetTableModel.h"

#include <algorithm>
#include <exception>

#include "editors/QtText.h"

namespace kv {

namespace {

// While it lives, the model moves the dataset's cursor: observers are held
// off, and the cursor goes back to the record it stood on.
class TCursorKeeper {
public:
  TCursorKeeper(TDataSet& ds, bool& busy, bool seekable) : ds_(ds), busy_(busy) {
    busy_ = true;
    ds_.DisableControls();
    if (seekable && !ds_.IsEmpty()) saved_ = ds_.GetBookmark();
  }
  ~TCursorKeeper() {
    try {
      if (saved_ != kNoBookmark) ds_.GotoBookmark(saved_);
    } catch (const std::exception&) {
      // The record went away meanwhile: the cursor stays where reading left it.
    }
    ds_.EnableControls();
    busy_ = false;
  }
  TCursorKeeper(const TCursorKeeper&) = delete;
  TCursorKeeper& operator=(const TCursorKeeper&) = delete;

private:
  TDataSet& ds_;
  bool& busy_;
  TBookmark saved_ = kNoBookmark;
};

// Only a dataset at rest may be moved: moving would settle a pending edit.
bool Readable(const TDataSet* ds) { return ds && ds->State() == dsBrowse; }

}  // namespace

TDataSetTableModel::TDataSetTableModel(QObject* parent) : QAbstractTableModel(parent) {}

TDataSetTableModel::~TDataSetTableModel() { Unbind(); }

void TDataSetTableModel::Unbind() {
  if (dataSet_ && observer_) dataSet_->RemoveDataObserver(observer_);
  dataSet_ = nullptr;
  observer_ = 0;
}

void TDataSetTableModel::SetDataSet(TDataSet* dataSet) {
  beginResetModel();
  Unbind();
  dataSet_ = dataSet;
  if (dataSet_) observer_ = dataSet_->AddDataObserver([this](TDataSet&, TDataEvent e) { OnDataEvent(e); });
  Reload();
  endResetModel();
}

void TDataSetTableModel::OnDataEvent(TDataEvent event) {
  if (busy_) return;
  if (event == deDataSetChange) {
    beginResetModel();
    Reload();
    endResetModel();
  } else if (event == deRecordChange) {
    // A record was posted: texts may have changed and rows may follow.
    pages_.clear();
    if (seekable_ && !pageStarts_.empty()) atEnd_ = false;
    if (rows_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, columns_ - 1));
  }
}

void TDataSetTableModel::Reload() {
  rows_ = 0;
  columns_ = 0;
  header_.clear();
  pages_.clear();
  pageStarts_.clear();
  lastRead_ = kNoBookmark;
  atEnd_ = true;
  seekable_ = false;
  lastError_.clear();
  if (!dataSet_ || !dataSet_->Active()) return;
  columns_ = dataSet_->FieldCount();
  for (int i = 0; i < columns_; ++i) header_ << QStr(dataSet_->Fields(i).FieldName());
  if (columns_ == 0) return;
  atEnd_ = false;
  seekable_ = !dataSet_->IsUniDirectional();
  rows_ = ReadNextPage();
}

int TDataSetTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int TDataSetTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : columns_; }

QVariant TDataSetTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return section + 1;
  return section >= 0 && section < header_.size() ? QVariant(header_[section]) : QVariant();
}

QVariant TDataSetTableModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rows_ || index.column() >= columns_) return {};
  const TPage* page = PageAt(index.row() / kPageRows);
  if (!page) return {};
  const size_t cell = static_cast<size_t>(index.row() % kPageRows) * static_cast<size_t>(columns_) +
                      static_cast<size_t>(index.column());
  return cell < page->cells.size() ? QVariant(page->cells[cell]) : QVariant();
}

bool TDataSetTableModel::canFetchMore(const QModelIndex& parent) const {
  return !parent.isValid() && !atEnd_ && Readable(dataSet_);
}

void TDataSetTableModel::fetchMore(const QModelIndex& parent) {
  if (!canFetchMore(parent)) return;
  // Rows are counted before they are announced, so read first into the cache.
  const int before = rows_;
  const int added = ReadNextPage();
  if (added == 0) return;
  beginInsertRows(QModelIndex(), before, before + added - 1);
  rows_ = before + added;
  endInsertRows();
}

void TDataSetTableModel::ReadRow(TPage& page) const {
  for (int c = 0; c < columns_; ++c)
    page.cells.push_back(dataSet_->Fields(c).ReadText(text_) ? QStr(text_) : QString());
}

void TDataSetTableModel::ReadRows(TPage& page, int count) const {
  page.cells.reserve(static_cast<size_t>(count) * static_cast<size_t>(columns_));
  for (int r = 0; r < count; ++r) {
    if (r > 0) dataSet_->Next();
    ReadRow(page);
  }
}

int TDataSetTableModel::ReadNextPage() {
  if (atEnd_ || !Readable(dataSet_)) return 0;
  TCursorKeeper keeper(*dataSet_, busy_, seekable_);
  const int pageNo = static_cast<int>(pageStarts_.size());
  TPage page;
  int read = 0;
  try {
    if (pageNo == 0) {
      dataSet_->First();
      if (dataSet_->IsEmpty()) {
        atEnd_ = true;
        return 0;
      }
      if (seekable_ && dataSet_->GetBookmark() == kNoBookmark) seekable_ = false;
    } else {
      if (seekable_) dataSet_->GotoBookmark(lastRead_);
      dataSet_->Next();
      if (dataSet_->Eof()) {
        atEnd_ = true;
        return 0;
      }
    }
    pageStarts_.push_back(seekable_ ? dataSet_->GetBookmark() : kNoBookmark);
    for (;;) {
      ReadRow(page);
      ++read;
      if (read == kPageRows) break;
      dataSet_->Next();
      if (dataSet_->Eof()) {
        atEnd_ = true;
        break;
      }
    }
    if (seekable_) lastRead_ = dataSet_->GetBookmark();
  } catch (const std::exception& e) {
    lastError_ = QStr(e.what());
    atEnd_ = true;
    page.cells.resize(static_cast<size_t>(read) * static_cast<size_t>(columns_));
    if (read == 0) {
      if (static_cast<int>(pageStarts_.size()) > pageNo) pageStarts_.pop_back();
      return 0;
    }
  }
  page.lastUse = ++useClock_;
  pages_[pageNo] = std::move(page);
  DropOldPages();
  return read;
}

const TDataSetTableModel::TPage* TDataSetTableModel::PageAt(int pageNo) const {
  auto found = pages_.find(pageNo);
  if (found != pages_.end()) {
    found->second.lastUse = ++useClock_;
    return &found->second;
  }
  if (!seekable_ || pageNo >= static_cast<int>(pageStarts_.size()) || !Readable(dataSet_)) return nullptr;
  TCursorKeeper keeper(*dataSet_, busy_, seekable_);
  TPage page;
  try {
    dataSet_->GotoBookmark(pageStarts_[static_cast<size_t>(pageNo)]);
    ReadRows(page, std::min(kPageRows, rows_ - pageNo * kPageRows));
  } catch (const std::exception& e) {
    lastError_ = QStr(e.what());
    return nullptr;
  }
  page.lastUse = ++useClock_;
  pages_[pageNo] = std::move(page);
  DropOldPages();  // never the page just read: it is the newest
  return &pages_[pageNo];
}

void TDataSetTableModel::DropOldPages() const {
  if (!seekable_) return;
  while (pages_.size() > static_cast<size_t>(kCachedPages)) {
    auto oldest = pages_.begin();
    for (auto it = pages_.begin(); it != pages_.end(); ++it)
      if (it->second.lastUse < oldest->second.lastUse) oldest = it;
    pages_.erase(oldest);
  }
}

}  // namespace kv
