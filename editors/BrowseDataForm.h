// The browse window "TBrowseDataForm" ("Browse Data") and its entry
// BrowseData: the records of any dataset in a grid (dbgData) over
// TDataSetTableModel, which reads them page by page, so a table of a
// million rows opens at once and memory stays flat while scrolling.
//
// The window opens the dataset's engine dataset when it is not open and,
// when it opened it, closes it again (CloseSession) as the window closes;
// an error while opening is shown and the window is not opened.
#pragma once

#include <QDialog>

#include "KVEditorLib_export.h"

class QLabel;
class QTableView;

namespace kv {

class TDataSetTableModel;
class TKVCustomDataSet;

class KVEDITORLIB_EXPORT TBrowseDataForm : public QDialog {
  Q_OBJECT
public:
  // `dataSet` (not owned) must outlive the window; it must be open (Show opens it).
  explicit TBrowseDataForm(TKVCustomDataSet& dataSet, QWidget* parent = nullptr);
  ~TBrowseDataForm() override;

  // Opens the dataset when needed and binds it to the grid; false (after the
  // error was shown) when it cannot be opened.
  bool OpenData();
  TDataSetTableModel& Model() const { return *model_; }
  QTableView& View() const { return *view_; }

private:
  void UpdateStatus();

  TKVCustomDataSet& dataSet_;
  TDataSetTableModel* model_ = nullptr;
  QTableView* view_ = nullptr;
  QLabel* lbStatus_ = nullptr;
  bool openedHere_ = false;
};

// Shows `dataSet` in the browse window (modal) until the user closes it.
KVEDITORLIB_EXPORT void BrowseData(TKVCustomDataSet& dataSet, QWidget* parent = nullptr);

}  // namespace kv
