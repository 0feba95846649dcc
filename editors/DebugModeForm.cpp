#include "editors/DebugModeForm.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <limits>

#include "editors/FormHelpers.h"
#include "editors/QtTranslation.h"
#include "jobs/DBLink.h"

namespace kv {

TKVDebugModeForm::TKVDebugModeForm(TDebugMode& mode, QWidget* parent) : QDialog(parent), mode_(mode) {
  setObjectName("KVDebugModeForm");
  setWindowTitle("Set Debug Mode");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(BuildOption({"gbStopOption", "Stop parameter", "rbtStopNolimit", "&No limit",
                                 "rbtStopAfterRows", "&Stop after rows", "seStopRows", "lbStopRows", "&Rows"},
                                stop_));
  layout->addWidget(BuildOption({"gbPauseAfterRows", "Pause parameter", "rbtPauseNolimit", "N&o limit",
                                 "rbtPauseAfterRows", "S&top after rows", "sePauseRows", "lbPauseRows", "R&ows"},
                                pause_));
  layout->addWidget(BuildOption({"gbWarning", "Warning parameter", "rbtNoWarning", "No &warning",
                                 "rbtWarningEverRows", "Sto&p after rows", "seWarningRows", "lbWarningRows",
                                 "Ro&ws"},
                                warning_));
  layout->addStretch(1);
  layout->addLayout(OkCancelRow(*this));
  LanguageTanslate(*this);
  LoadOption(stop_, mode_.StopOption == soStopAfterRows, mode_.StopAfterRows);
  LoadOption(pause_, mode_.PauseOption == poPauseAfterRows, mode_.PauseAfterRows);
  LoadOption(warning_, mode_.WarningOption == woWarningEverRows, mode_.WarningAfterRows);
}

QWidget* TKVDebugModeForm::BuildOption(const TOptionNames& names, TOptionRow& row) {
  auto* box = new QGroupBox(names.title, this);
  box->setObjectName(names.group);
  row.noLimit = new QRadioButton(names.noLimitCaption, box);
  row.noLimit->setObjectName(names.noLimit);
  row.afterRows = new QRadioButton(names.afterRowsCaption, box);
  row.afterRows->setObjectName(names.afterRows);
  auto* group = new QButtonGroup(box);
  group->addButton(row.noLimit);
  group->addButton(row.afterRows);
  row.rows = NamedSpin(box, names.rows, 1, std::numeric_limits<int32_t>::max());
  row.label = NamedLabel(names.label, names.labelCaption, row.rows, box);
  QSpinBox* rows = row.rows;
  QLabel* label = row.label;
  connect(row.afterRows, &QRadioButton::toggled, this, [rows, label](bool on) {
    rows->setEnabled(on);
    label->setEnabled(on);
  });
  auto* grid = new QGridLayout(box);
  grid->addWidget(row.noLimit, 0, 0, 1, 3);
  grid->addWidget(row.afterRows, 1, 0);
  grid->addWidget(row.rows, 1, 1);
  grid->addWidget(row.label, 1, 2);
  grid->setColumnStretch(3, 1);
  return box;
}

void TKVDebugModeForm::LoadOption(TOptionRow& row, bool afterRows, int32_t count) {
  (afterRows ? row.afterRows : row.noLimit)->setChecked(true);
  row.rows->setValue(count);  // a stored 0 (never set) shows as the smallest count
  row.rows->setEnabled(afterRows);
  row.label->setEnabled(afterRows);
}

bool TKVDebugModeForm::StoreOption(const TOptionRow& row, int32_t& count) {
  const bool afterRows = row.afterRows->isChecked();
  if (afterRows) count = static_cast<int32_t>(row.rows->value());
  return afterRows;
}

void TKVDebugModeForm::WriteBack() {
  mode_.StopOption = StoreOption(stop_, mode_.StopAfterRows) ? soStopAfterRows : soNolimit;
  mode_.PauseOption = StoreOption(pause_, mode_.PauseAfterRows) ? poPauseAfterRows : poNolimit;
  mode_.WarningOption = StoreOption(warning_, mode_.WarningAfterRows) ? woWarningEverRows : woNoWarning;
}

void TKVDebugModeForm::accept() {
  WriteBack();
  QDialog::accept();
}

bool EditDebugMode(TDebugMode& mode, QWidget* parent) {
  TKVDebugModeForm form(mode, parent);
  return form.exec() == QDialog::Accepted;
}

}  // namespace kv
