// The import preview "TPreviewImportDataForm" and its entry PreImpData: the
// destination values a DB link would compute for the first records of its
// source, after its start, stop and filter conditions. Nothing is written
// anywhere; the destination is not even opened.
//
// Widgets: "Show rows" (seShowRows, 1 to 100000, default 100), the text
// grid sgExpData, a status line (lbStatus) and the buttons "&Open" (acOpen,
// walks again) and "&Close" (btnClose, closes with OK).
//
// The walk runs when the window is first shown and on every "&Open". It
// runs on a worker thread of its own, which gets its own translator on the
// link's variable chain (source field variables -> link variables -> job
// variables, with the base and database functions): the window stays
// responsive and the status line counts the records read. The link (and,
// through it, its source dataset) must not be used elsewhere meanwhile: a
// link that is running or paused is not previewed.
//
// The grid: row 0 holds the destination field names in mapping order, one
// column per mapping line; then one row per record shown (so a walk that
// shows nothing leaves the header row alone). Values are shown as text; a
// Null value as the grey marker "<Null>"; a value that cannot be computed
// as its error text, in red. A condition that cannot be translated or
// evaluated, or a source that cannot be opened, ends the walk with the
// error shown (through the user-interface hook and in the status line).
#pragma once

#include <QDialog>
#include <memory>

#include "KVEditorLib_export.h"

class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;

namespace kv {

class TDBLink;
class TJob;
class TPreviewWalk;

class KVEDITORLIB_EXPORT TPreviewImportDataForm : public QDialog {
  Q_OBJECT
public:
  static constexpr int kDefaultShowRows = 100;

  // `link` and `job` (not owned) must outlive the form. A link without a
  // job gets `job`, whose variables the expressions then see.
  TPreviewImportDataForm(TDBLink& link, TJob& job, QWidget* parent = nullptr);
  // Ends a walk still going and waits for it.
  ~TPreviewImportDataForm() override;

  // Starts a walk; nothing while one goes on.
  void OpenPreview();
  // Whether a walk goes on.
  bool Walking() const;
  // Ends a walk still going (the rows found so far are shown) and waits for it.
  void StopWalk();

  void accept() override;  // ends a walk still going, then closes
  void reject() override;

signals:
  // A walk has ended and the grid shows its rows.
  void WalkFinished();

protected:
  void showEvent(QShowEvent* event) override;

private:
  void BuildForm();
  void FillHeader();
  void Poll();
  void ShowResult();
  void SetControlsWalking(bool walking);
  // Ends a walk still going without showing its rows.
  void CancelWalk();

  TDBLink& link_;
  std::unique_ptr<TPreviewWalk> walk_;
  bool opened_ = false;  // the first walk was started
  QSpinBox* seShowRows_ = nullptr;
  QTableWidget* sgExpData_ = nullptr;
  QLabel* lbStatus_ = nullptr;
  QPushButton* acOpen_ = nullptr;
  QTimer* poll_ = nullptr;
};

// Shows the preview of `link`, which belongs to `job`, modally; true when
// closed with "&Close".
KVEDITORLIB_EXPORT bool PreImpData(TDBLink& link, TJob& job, QWidget* parent = nullptr);

}  // namespace kv
