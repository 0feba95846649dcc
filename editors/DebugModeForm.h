// The debug settings dialog "TKVDebugModeForm" ("Set Debug Mode") and its
// entry EditDebugMode: after how many rows a debug run of a DB link stops,
// pauses or warns.
//
// Three groups, each of two radio buttons and a row count:
//   gbStopOption      rbtStopNolimit / rbtStopAfterRows      seStopRows (lbStopRows)
//   gbPauseAfterRows  rbtPauseNolimit / rbtPauseAfterRows    sePauseRows (lbPauseRows)
//   gbWarning         rbtNoWarning / rbtWarningEverRows      seWarningRows (lbWarningRows)
// A row count (1 and up) can be edited only while its "after rows" button is
// checked. Writing back sets each option from its checked button; the row
// count is taken only for an option set to "after rows", so an option left
// at no limit keeps the count it had stored.
#pragma once

#include <QDialog>

#include "KVEditorLib_export.h"

class QLabel;
class QRadioButton;
class QSpinBox;

namespace kv {

class TDebugMode;

class KVEDITORLIB_EXPORT TKVDebugModeForm : public QDialog {
  Q_OBJECT
public:
  // `mode` (not owned) must outlive the dialog; the widgets show it at once.
  explicit TKVDebugModeForm(TDebugMode& mode, QWidget* parent = nullptr);

  // Writes the widgets into the mode (the rules above).
  void WriteBack();
  void accept() override;  // WriteBack, then close

private:
  // One option's widgets; `afterRows` decides the enabling of `rows`.
  struct TOptionRow {
    QRadioButton* noLimit = nullptr;
    QRadioButton* afterRows = nullptr;
    QSpinBox* rows = nullptr;
    QLabel* label = nullptr;
  };
  struct TOptionNames {
    const char* group;
    const char* title;
    const char* noLimit;
    const char* noLimitCaption;
    const char* afterRows;
    const char* afterRowsCaption;
    const char* rows;
    const char* label;
    const char* labelCaption;
  };

  QWidget* BuildOption(const TOptionNames& names, TOptionRow& row);
  static void LoadOption(TOptionRow& row, bool afterRows, int32_t count);
  static bool StoreOption(const TOptionRow& row, int32_t& count);

  TDebugMode& mode_;
  TOptionRow stop_;
  TOptionRow pause_;
  TOptionRow warning_;
};

// Edits `mode` in place, modally; true only when closed with OK.
KVEDITORLIB_EXPORT bool EditDebugMode(TDebugMode& mode, QWidget* parent = nullptr);

}  // namespace kv
