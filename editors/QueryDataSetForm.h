// The query dataset dialog "TKVQueryDataSetForm" ("Query Dataset
// Property") and its entry EditQueryDataSet.
//
// Pages: "General"; "Database" (tshDatabase: the connection panel with the
// types "ODBC", "Oracle", "Paradox", "dBase", "FoxPro", "PostgreSQL",
// "SQLite"; a new query starts on "ODBC"); "SQL" (tshSQL: "&Enter SQL
// Script", moSQL, and "&Browse data", btnBrowsedata, which shows the
// statement's rows as the dialog's values give them); "Fields".
// Writing back sets the connection values and the statement, then rebuilds
// the field definitions from the grid. Ok without field definitions warns
// "Have no Field define!" (the values stay as entered).
#pragma once

#include <memory>

#include "editors/DataSetDialogBase.h"

class QPlainTextEdit;

namespace kv {

class TDbConnectionPanel;
class TKVQueryDataSet;

class KVEDITORLIB_EXPORT TKVQueryDataSetForm : public TKVDataSetDialog {
  Q_OBJECT
public:
  TKVQueryDataSetForm(TKVQueryDataSet& dataSet, TJob& job, QWidget* parent = nullptr);
  ~TKVQueryDataSetForm() override;

  TDbConnectionPanel& Connection() const { return *panel_; }
  // Opens the browse window on the statement as the dialog's values give it.
  void BrowseStatement();

protected:
  void AddPages(QTabWidget& pages) override;
  void LoadPages(const TKVCustomDataSet& from) override;
  void StorePages(TKVCustomDataSet& into) override;
  std::unique_ptr<TKVCustomDataSet> NewOfKind() const override;
  const TMessage& CaptionMessage() const override;
  bool WarnWithoutFields() const override { return true; }

private:
  QWidget* BuildSQL();

  TDbConnectionPanel* panel_ = nullptr;
  QPlainTextEdit* moSQL_ = nullptr;
};

}  // namespace kv
