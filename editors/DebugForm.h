// The debug window "TDebugForm" and its entry DebugJob: the DB links of one
// job, run on a private copy of the job under the user's control.
//
// lvwDBLinks lists the copy's links ("DBLink Name", "Start time", "Source
// rows", "Extract rows", "Append", "Update", "Delete", "Errors"; the row's
// icon shows the status), refreshed after every converted record and every
// status change. Selecting a row makes its link current: the link gets the
// copy as its job when it has none, its error records are read from its
// ".err" file (when it has no run under way) and the "Errordata" grid shows
// them. Page "Debug watch" (lvwDebug) shows the record the current link
// converted last while it is paused or single-stepping: per destination
// field its value and expression and, when the expression is a plain
// source field ("Source.FIELD" or "FIELD"), that field and its value in the
// source record. Page "Log" lists what the links reported.
//
// Commands: those of TDebugFormBase, plus acSetDebugParameters (the
// current link's debug limits; on OK they are written into the same link
// of the original job, whose design is then saved to its job file) and
// acViewExp (the selected watch row's expression in a message box).
//
// Ownership: the window owns the job copy and its links; the original job
// is only read, and written by Debug Parameters.
#pragma once

#include <memory>
#include <string>

#include "editors/DebugFormBase.h"

class QTabWidget;

namespace kv {

class TJob;

class KVEDITORLIB_EXPORT TDebugForm : public TDebugFormBase {
  Q_OBJECT
public:
  // Copies `job` (which must outlive the window) and lists its links.
  explicit TDebugForm(TJob& job, QWidget* parent = nullptr);
  ~TDebugForm() override;

  TDBLink* CurrentLink() const override { return current_; }
  TJob& DebugJobCopy() const { return *copy_; }
  QAction* acSetDebugParameters = nullptr;
  QAction* acViewExp = nullptr;

  // The source field a mapping expression reads as it stands ("S.NAME" or
  // "NAME" for source S with field NAME), or empty when it is anything else.
  static std::string PlainSourceField(const std::string& expression, const std::string& sourceName);

protected:
  std::vector<TDBLink*> Links() const override;
  void LinkCountersChanged(TDBLink& link) override;
  void LinkConverted(TDBLink& link, const TVariant& values) override;
  void UpdateExtraActions() override;

private:
  void BuildForm();
  QWidget* BuildWatchPage();
  void ListLinks();
  void RefreshRow(TDBLink& link, bool listing);
  void SelectionChanged();
  void Select(TDBLink* link);
  void FillWatch(TDBLink& link, const TVariant& values);
  void SetDebugParameters();
  void ViewExpression();
  QTreeWidgetItem* RowOf(const TDBLink& link) const;
  // The source's record count while it is open (read while no run moves it).
  QString SourceRows(TDBLink& link) const;

  TJob& original_;
  std::unique_ptr<TJob> copy_;
  TDBLink* current_ = nullptr;
  QTreeWidget* lvwDBLinks_ = nullptr;
  QTreeWidget* lvwDebug_ = nullptr;
  QTabWidget* pages_ = nullptr;
};

// Opens the debug window on a copy of `job` modally.
KVEDITORLIB_EXPORT void DebugJob(TJob& job, QWidget* parent = nullptr);

}  // namespace kv
