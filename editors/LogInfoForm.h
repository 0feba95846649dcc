// The log-entry window "TLogInfoForm" and its entry ShowLogInfoForm: one
// log record shown in full. The labels lbDate, lbTime and lbType read
// "<caption>: <value>" (the caption as translated, without a colon of its
// own), with the record's time formatted by SDateFormatString and
// STimeFormatString of the language in force and the type's English name
// (LogTypeName); the read-only grey memo moDescription holds the record's
// text. btnOk and btnCancel both just close the window; the record is not
// changed.
#pragma once

#include <QDialog>

#include "KVEditorLib_export.h"

namespace kv {

class TKVLog;

class KVEDITORLIB_EXPORT TLogInfoForm : public QDialog {
  Q_OBJECT
public:
  // Copies what it shows from `log`; the record need not outlive the window.
  explicit TLogInfoForm(const TKVLog& log, QWidget* parent = nullptr);

  // A translated caption without its trailing colon (ASCII or full-width) and blanks.
  static QString CaptionWithoutColon(const QString& caption);

private:
  void BuildForm();
  void ShowLog(const TKVLog& log);
};

// Shows the record modally.
KVEDITORLIB_EXPORT void ShowLogInfoForm(const TKVLog& log, QWidget* parent = nullptr);

}  // namespace kv
