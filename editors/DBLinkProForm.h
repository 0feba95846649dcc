// The DB link property dialog "TKVDBLinkProForm" and its entry EditDBLinkPro.
//
// Page "General" (tshGeneral): the name (edName), the description
// (moDescription), "Back Error Data" (cbxBackErrorData), "Max Errors"
// (seMaxErrors, 0 = no limit) and "Field &mapping" (acMapping), which opens
// the mapping editor on the working copy. Page "Clean condition"
// (tshCleanCondition): the error, filter, pause, start and stop
// expressions (moErrorExp ... moStopExp), each with a "..." button
// (btnErrorExp ...) that opens the expression editor offering the source
// dataset's field variables, chained to the variables as the grid defines
// them now and to the job's. Page "Define VarList" (tshVarList): the link's
// own variables in vleVarList ("Variant" / "Initial value"; acInsertRow adds
// a row, acDelVariant deletes the selected one).
//
// The dialog works on a working copy of the link (a new TDBLink assigned
// from it, which owns copies of the link's datasets; its Job is the link's,
// or the dialog's job when the link has none). Writing back (btnOk, or
// acApply which keeps the dialog open) refuses a name that another DB link
// or any dataset of the job has (SDBLinkAlreadyExist, shown as an error;
// the dialog stays open); keeping the link's own name is fine. It then
// writes the settings the dialog edits into the link: name (and the link's
// key in the job's DBLinks), description, BackErrorData, MaxErrors, the five
// expressions, the variables rebuilt from the grid, and the mapping and
// match options as the mapping editor left them on the working copy. The
// link keeps the datasets it refers to, its logs, state and debug settings,
// and gets the dialog's job when it has none.
#pragma once

#include <QDialog>
#include <memory>

#include "KVEditorLib_export.h"

class QAction;
class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTabWidget;

namespace kv {

class TDBLink;
class TJob;

class KVEDITORLIB_EXPORT TKVDBLinkProForm : public QDialog {
  Q_OBJECT
public:
  // `link` and `job` (not owned) must outlive the dialog; the widgets show
  // the link at once.
  TKVDBLinkProForm(TDBLink& link, TJob& job, QWidget* parent = nullptr);
  ~TKVDBLinkProForm() override;

  // Checks the name and writes the dialog into the link; false (after the
  // error was shown) when the name is empty or taken.
  bool Apply();
  // Opens the expression editor on one of the five condition memos; the
  // memo takes the edited text on OK.
  void EditExpression(QPlainTextEdit& memo);
  // Opens the mapping editor on the working copy.
  void EditMapping();
  // The working copy (owned by the dialog).
  TDBLink& WorkingCopy() const { return *copy_; }

  void accept() override;  // Apply, and close when it succeeded

private:
  void BuildForm();
  QWidget* BuildGeneral();
  QWidget* BuildCondition();
  QWidget* BuildVarList();
  void LoadLink();
  void WriteControls(TDBLink& into) const;
  void WriteBack();
  bool NameTaken(const std::string& name) const;
  void UpdateOk();
  void UpdateDelete();

  TDBLink& link_;
  TJob& job_;
  std::unique_ptr<TDBLink> copy_;
  QTabWidget* pages_ = nullptr;
  QLineEdit* edName_ = nullptr;
  QPlainTextEdit* moDescription_ = nullptr;
  QCheckBox* cbxBackErrorData_ = nullptr;
  QSpinBox* seMaxErrors_ = nullptr;
  QPlainTextEdit* moErrorExp_ = nullptr;
  QPlainTextEdit* moFilterExp_ = nullptr;
  QPlainTextEdit* moPauseExp_ = nullptr;
  QPlainTextEdit* moStartExp_ = nullptr;
  QPlainTextEdit* moStopExp_ = nullptr;
  QTableWidget* vleVarList_ = nullptr;
  QAction* acDelVariant_ = nullptr;
  QPushButton* btnOk_ = nullptr;
};

// Edits `link`, which belongs to `job`, modally; true only when closed with
// OK (acApply may have written it back before a Cancel).
KVEDITORLIB_EXPORT bool EditDBLinkPro(TDBLink& link, TJob& job, QWidget* parent = nullptr);

}  // namespace kv
