// The part every dataset dialog shares: the "General" page (name and
// description), the "Fields" page (the field-definition grid with
// "&Import"), "Ok" / "Cancel" / "&Apply", the name checks and the writing
// back. A dialog of a kind adds its own pages between the two and writes
// its settings through LoadPages / StorePages.
//
// The dialog works on a copy of the dataset. Writing back (Ok or "&Apply")
// first refuses an empty name and a name another dataset or a DB link of
// the job has (SDataSetAlreadyExist; the dialog stays open), then writes
// the name, the description, the kind's settings and the grid into a fresh
// copy through the setters, and only when all of them took the value
// assigns that copy to the dataset (and renames its entry in the job's
// dataset list). A setter that refuses a value shows its error and leaves
// the dataset as it was.
//
// "&Import" (btnImportField) writes the dialog's values into a scratch
// copy, opens it, and shows the definitions it found.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "KVEditorLib_export.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace kv {

class TFieldDefGrid;
class TJob;
class TKVCustomDataSet;
class TKVIndexDefs;
class TMessage;

class KVEDITORLIB_EXPORT TKVDataSetDialog : public QDialog {
  Q_OBJECT
public:
  ~TKVDataSetDialog() override;

  // Writes the dialog back (see above); true when the dataset took it.
  bool Apply();
  void accept() override;  // Apply, then close (and warn when the kind asks for field definitions)
  // Fills the grid from the data (the "&Import" button).
  void ImportFields();

  TKVCustomDataSet& DataSet() const { return dataSet_; }
  TFieldDefGrid& FieldGrid() const { return *fieldGrid_; }
  QTabWidget& Pages() const { return *pages_; }

protected:
  // `dataSet` and `job` (not owned) must outlive the dialog.
  TKVDataSetDialog(TKVCustomDataSet& dataSet, TJob& job, QWidget* parent);

  // Builds the window: call once from the kind's constructor.
  void Init(const char* formName, const QString& caption, const QString& descriptionCaption);

  // The kind's pages, added between "General" and "Fields".
  virtual void AddPages(QTabWidget& pages) = 0;
  virtual void LoadPages(const TKVCustomDataSet& from) = 0;
  // Writes the pages into `into` through its setters (raising their errors).
  virtual void StorePages(TKVCustomDataSet& into) = 0;
  // A new, empty dataset of the edited kind.
  virtual std::unique_ptr<TKVCustomDataSet> NewOfKind() const = 0;
  // The caption message, filled with the dataset's name.
  virtual const TMessage& CaptionMessage() const = 0;
  // Whether Ok warns when no field is defined (text files and queries).
  virtual bool WarnWithoutFields() const { return false; }
  // The index definitions that mark key fields in the grid (table kinds).
  virtual const TKVIndexDefs* KeyIndexes(const TKVCustomDataSet& from) const;
  // Opens `scratch` and leaves its definitions in FieldDefs (and IndexDefs).
  virtual void ReadDefinitions(TKVCustomDataSet& scratch);

  // The widgets written into a fresh copy; null (after the error was shown)
  // when a value was refused. `withGrid`: also the field definitions.
  std::unique_ptr<TKVCustomDataSet> BuildCopy(bool withGrid);

private:
  QWidget* BuildGeneral(const QString& descriptionCaption);
  QWidget* BuildFields();
  void Load();
  void UpdateOk();
  void UpdateCaption();
  bool NameTaken(const std::string& name) const;

  TKVCustomDataSet& dataSet_;
  TJob& job_;
  QTabWidget* pages_ = nullptr;
  QLineEdit* edName_ = nullptr;
  QPlainTextEdit* moDescription_ = nullptr;
  TFieldDefGrid* fieldGrid_ = nullptr;
  QPushButton* btnOk_ = nullptr;
};

}  // namespace kv
