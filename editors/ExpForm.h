// The expression editor "TExpForm": a modal window in which one expression
// text is written. The memo moExp holds the text; operator buttons insert
// their caption at the cursor; lbxFunType lists the six function
// categories and lbxFunction the chosen category's templates; lbxVariants
// lists the names of the offered variable list and of every list chained
// after it (each name once, the first list's first). A double click on a
// template or a variable inserts it at the cursor. btnValidate compiles the
// text and reports SValidateOk or ValidateExpErr through the user-interface
// hook; btnOk is enabled only while the text is not blank.
//
// Owners set the text and the variables, call Execute and read the text back:
//   TExpForm form(parent);
//   form.SetExpStr(text); form.SetVarList(vars);
//   if (form.Execute()) text = form.GetExpStr();
#pragma once

#include <QDialog>
#include <string>

#include "KVEditorLib_export.h"

class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace kv {

class TVarList;

class KVEDITORLIB_EXPORT TExpForm : public QDialog {
  Q_OBJECT
public:
  // Operator buttons, in display order; each inserts its caption.
  static const QStringList& OperatorCaptions();

  explicit TExpForm(QWidget* parent = nullptr);

  void SetExpStr(const std::string& text);
  std::string GetExpStr() const;
  // The variables to offer (not owned; null for none). They must stay alive
  // while the window is shown or validates.
  void SetVarList(TVarList* list) { varList_ = list; }
  TVarList* VarList() const { return varList_; }
  // Shows the window modally; true when it was closed with OK.
  bool Execute();

  // Compiles the text against the offered variables and reports the
  // outcome through the hook; true when it compiled.
  bool Validate();
  // The category shown (an index into FunctionCategories()), -1 for none.
  int FunType() const { return funType_; }
  // Shows the templates of `index`; choosing the category shown does nothing.
  void SetFunType(int index);
  // Inserts `text` at the memo's cursor.
  void InsertText(const QString& text);

protected:
  void showEvent(QShowEvent* event) override;

private:
  void BuildForm();
  QWidget* BuildOperators();
  QWidget* BuildFunctions();
  QWidget* BuildVariants();
  void FillVariants();
  void UpdateOk();

  QPlainTextEdit* moExp_ = nullptr;
  QListWidget* lbxFunType_ = nullptr;
  QListWidget* lbxFunction_ = nullptr;
  QListWidget* lbxVariants_ = nullptr;
  QPushButton* btnOk_ = nullptr;
  TVarList* varList_ = nullptr;
  int funType_ = -1;
};

}  // namespace kv
