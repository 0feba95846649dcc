// A read-only Qt table model over one dataset (data/DataSet.h): columns are
// the dataset's fields (header = field names), rows its records, cells the
// fields' display text (a Null field shows as an empty cell).
//
// Rows are read in pages of kPageRows through canFetchMore/fetchMore, so a
// table of a million rows opens with one page read, and only the last
// kCachedPages pages used keep their texts: a page that was dropped is read
// again from the bookmark of its first row when a view asks for it. A
// dataset without bookmarks (a forward-only query) keeps every page it read.
//
// The model moves the dataset's cursor while it reads and puts it back on
// the record it stood on; observers of the dataset are held off meanwhile
// (DisableControls). When the dataset is opened, closed, emptied or
// reloaded (a deDataSetChange notification) the model resets: it shows the
// new structure and the first page, or nothing while the dataset is closed.
// A posted record (deRecordChange) makes the cached texts read again.
//
// Ownership: the dataset is not owned. It must stay alive while it is
// bound: bind another one or none (SetDataSet(nullptr)) before destroying
// it. The model unbinds itself when it is destroyed.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "KVEditorLib_export.h"
#include "data/DataSet.h"

namespace kv {

class KVEDITORLIB_EXPORT TDataSetTableModel : public QAbstractTableModel {
  Q_OBJECT
public:
  static constexpr int kPageRows = 200;
  static constexpr int kCachedPages = 8;

  explicit TDataSetTableModel(QObject* parent = nullptr);
  ~TDataSetTableModel() override;

  // Binds `dataSet` (not owned; null for none) and resets the model.
  void SetDataSet(TDataSet* dataSet);
  TDataSet* DataSet() const { return dataSet_; }
  // Pages whose texts are held now (at most kCachedPages while the dataset
  // has bookmarks).
  int CachedPageCount() const { return static_cast<int>(pages_.size()); }
  // The message of the last error the dataset raised while rows were read
  // (reading stops at such a row); empty when none.
  const QString& LastError() const { return lastError_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  bool canFetchMore(const QModelIndex& parent = QModelIndex()) const override;
  void fetchMore(const QModelIndex& parent = QModelIndex()) override;

private:
  struct TPage {
    std::vector<QString> cells;  // row by row, columns_ per row
    uint64_t lastUse = 0;
  };
  void Unbind();
  void Reload();  // the structure and the first page, inside a model reset
  void OnDataEvent(TDataEvent event);
  // Reads the next page after the last row read; returns the rows read.
  int ReadNextPage();
  // The page's texts, reading them again when they were dropped; null when
  // they cannot be read.
  const TPage* PageAt(int page) const;
  void ReadRow(TPage& page) const;  // the current record's texts
  void ReadRows(TPage& page, int count) const;
  void DropOldPages() const;
  bool CanSeek() const { return seekable_; }

  TDataSet* dataSet_ = nullptr;
  int observer_ = 0;
  mutable bool busy_ = false;  // the model itself is moving the cursor
  int rows_ = 0;
  int columns_ = 0;
  QStringList header_;
  bool atEnd_ = true;
  bool seekable_ = false;
  TBookmark lastRead_ = kNoBookmark;
  std::vector<TBookmark> pageStarts_;  // the first row of each page read
  mutable std::map<int, TPage> pages_;
  mutable uint64_t useClock_ = 0;
  mutable QString lastError_;
  mutable std::string text_;  // reused while reading
};

}  // namespace kv
