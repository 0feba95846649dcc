// The job property dialog "TKVJobProForm" and its entry EditJobPro.
//
// Page "General" (tshGeneral): the name (edName) and the description
// (moDescription). Page "Condition" (tshCondition): the before- and
// after-execute expressions (moBeforeExecuteExp, moAfterExecuteExp), each
// with a "..." button (btnBeforeExecuteExp, btnAfterExecuteExp) that opens
// the expression editor on the memo's text offering the job's variables,
// and the job's variables in the grid vleVarList ("Variant" /
// "Initial value"; rows added and removed with acInsertRow / acDelRow).
//
// The dialog works on the widgets: the job changes only when the dialog
// writes back (btnOk, or acApply which keeps the dialog open). Writing back
// refuses a name that another job of JobGroup has (SJobAlreadyExist, shown
// as an error; the dialog stays open); keeping the job's own name is fine.
// It sets the name (and the job's key in JobGroup when the job is there),
// description, both expressions and the variables rebuilt from the grid.
// The job's design, links, logs and schedule are left as they are.
#pragma once

#include <QDialog>
#include <memory>

#include "KVEditorLib_export.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class QTabWidget;

namespace kv {

class TJob;
class TVarList;

class KVEDITORLIB_EXPORT TKVJobProForm : public QDialog {
  Q_OBJECT
public:
  // `job` (not owned) must outlive the dialog; the widgets show it at once.
  // `original` (not owned, may be null): the job of JobGroup that `job` is
  // a working copy of, whose name is therefore no clash.
  explicit TKVJobProForm(TJob& job, QWidget* parent = nullptr, const TJob* original = nullptr);
  ~TKVJobProForm() override;

  // Checks the name and writes the widgets into the job; false (after the
  // error was shown) when the name belongs to another job.
  bool Apply();
  // Opens the expression editor on a memo (moBeforeExecuteExp or
  // moAfterExecuteExp); the memo takes the text on OK.
  void EditExpression(QPlainTextEdit& memo);
  // The variables as the grid defines them now (owned by the dialog).
  TVarList& GridVariables();

  void accept() override;  // Apply, and close when it succeeded

private:
  void BuildForm();
  QWidget* BuildGeneral();
  QWidget* BuildCondition();
  QWidget* BuildExpRow(QWidget* page, const char* name, const QString& caption, QPlainTextEdit*& memo);
  void LoadJob();
  bool NameTaken(const std::string& name) const;
  void UpdateOk();

  TJob& job_;
  const TJob* original_;
  std::unique_ptr<TVarList> vars_;  // scratch list for the expression editor
  QTabWidget* pages_ = nullptr;
  QLineEdit* edName_ = nullptr;
  QPlainTextEdit* moDescription_ = nullptr;
  QPlainTextEdit* moBeforeExecuteExp_ = nullptr;
  QPlainTextEdit* moAfterExecuteExp_ = nullptr;
  QTableWidget* vleVarList_ = nullptr;
  QPushButton* btnOk_ = nullptr;
};

// Edits `job` modally; true only when closed with OK (acApply may have
// written it back before a Cancel). `original` as for the dialog.
KVEDITORLIB_EXPORT bool EditJobPro(TJob& job, QWidget* parent = nullptr, const TJob* original = nullptr);

}  // namespace kv
