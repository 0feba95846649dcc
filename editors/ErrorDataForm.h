// The error-data window "TErrorDataForm" and its entry ManageErrorData: the
// error records one DB link captured, shown in the grid dgdErrData (page
// "Errordata") and transferred again.
//
// The window works on a copy of the link (same job, so the same ".err"
// file) holding a copy of its error records. "&Debug go" (and "&Step")
// re-transfers them: the copy's source is switched to its error records
// (sdtError) and the copy runs normally; records that fail again are
// captured anew, so once the run has ended the copy's error records, and
// the ".err" file the run writes, hold exactly the ones still failing.
// While the run goes the grid shows the records being transferred (a copy
// taken at the start: the run's own datasets belong to its thread); when
// the run has ended the source is switched back (sdtOrigin) and the grid
// shows the error records again. The status bar shows the run's counters
// and the number of error records.
//
// Ownership: the window owns the link copy; the given link must outlive it.
#pragma once

#include <memory>

#include "editors/DebugFormBase.h"

class QLabel;
class QStatusBar;

namespace kv {

class TKVMemDataSet;

class KVEDITORLIB_EXPORT TErrorDataForm : public TDebugFormBase {
  Q_OBJECT
public:
  explicit TErrorDataForm(TDBLink& link, QWidget* parent = nullptr);
  ~TErrorDataForm() override;

  TDBLink* CurrentLink() const override { return copy_.get(); }
  // Whether a re-transfer was started in this window.
  bool Transferred() const { return transferred_; }

protected:
  std::vector<TDBLink*> Links() const override;
  void LinkCountersChanged(TDBLink& link) override;
  void LinkConverted(TDBLink& link, const TVariant& values) override;
  void LinkFinished(TDBLink& link) override;
  void StartRun(TDBLink& link, bool step) override;

private:
  void BuildForm();
  void ShowErrorRecords();

  std::unique_ptr<TDBLink> copy_;
  std::unique_ptr<TKVMemDataSet> running_;  // the records under transfer, as the grid shows them
  QStatusBar* statusBar_ = nullptr;
  QLabel* counters_ = nullptr;
  QLabel* records_ = nullptr;
  bool transferred_ = false;
};

// Opens the error-data window for `link` modally. When a re-transfer ran,
// the link's error records are read again from its ".err" file afterwards,
// so they are the ones still failing.
KVEDITORLIB_EXPORT void ManageErrorData(TDBLink& link, QWidget* parent = nullptr);

}  // namespace kv
