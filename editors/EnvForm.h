// The settings dialog "TKVEnvForm" and its entry SetSysDefaultPro.
//
// Pages: tshGeneral (MaxRunJobs, ShowTipDlgOnStart, the job folder with a
// "..." folder chooser titled SSelectFolder, the prompting and expression
// options), tshLog (the four delete-log modes, days and file size; the
// label lbDelFileSize and its spin box are enabled only while
// cbxDelExceedSize is checked), tshMonitorParam (four colour boxes chosen
// with QColorDialog, the speed scale) and tshOther (the three double-click
// radio groups).
//
// The dialog edits a copy of the settings; OK writes the widgets into the
// copy (MaxRunJobs and DefaultFolder through their setters) and assigns it
// to the edited settings. Colours are stored blue-green-red with red in the
// low byte.
#pragma once

#include <QColor>
#include <QDialog>
#include <cstdint>
#include <memory>

#include "KVEditorLib_export.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace kv {

class TKVEnvironment;
class TRadioGroup;

class KVEDITORLIB_EXPORT TKVEnvForm : public QDialog {
  Q_OBJECT
public:
  // `env` (not owned) must outlive the dialog; the widgets show a copy at once.
  explicit TKVEnvForm(TKVEnvironment& env, QWidget* parent = nullptr);
  ~TKVEnvForm() override;

  void WriteBack();
  void accept() override;  // WriteBack, then close

  // A stored colour (red in the low byte) and back.
  static QColor ToQColor(int32_t bgr);
  static int32_t FromQColor(const QColor& color);
  // The colour a colour box shows.
  static QColor BoxColor(const QPushButton& box);
  // Lets the user pick the box's colour (QColorDialog, modal).
  void ChooseColor(QPushButton& box);
  // Lets the user pick the job folder (a modal folder chooser).
  void ChooseFolder();

private:
  QWidget* BuildGeneral();
  QWidget* BuildLog();
  QWidget* BuildMonitor();
  QWidget* BuildOther();
  QPushButton* NewColorBox(QWidget* page, const char* name);
  QCheckBox* NewCheck(QWidget* parent, const char* name, const QString& caption);
  void Load();
  void UpdateFileSizeEnabling();

  TKVEnvironment& env_;
  std::unique_ptr<TKVEnvironment> copy_;
  QSpinBox* seMaxRunJobs_ = nullptr;
  QCheckBox* cbxShowTipDlgOnStart_ = nullptr;
  QLineEdit* edDefaultFolder_ = nullptr;
  QCheckBox* cbxJobDeletion_ = nullptr;
  QCheckBox* cbxErrorPrompt_ = nullptr;
  QCheckBox* cbxStopPrompt_ = nullptr;
  QCheckBox* cbxPausePrompt_ = nullptr;
  QCheckBox* cbxZeroAsNull_ = nullptr;
  QCheckBox* cbxNullStrAsNull_ = nullptr;
  QCheckBox* delModes_[4] = {};
  QSpinBox* seDelLogDays_ = nullptr;
  QSpinBox* seDelFileSize_ = nullptr;
  QLabel* lbDelFileSize_ = nullptr;
  QPushButton* colors_[4] = {};
  QSpinBox* seMaxSpeedScale_ = nullptr;
  TRadioGroup* rgpDblClickOnRunJob_ = nullptr;
  TRadioGroup* rgpDblClickOnErrorJob_ = nullptr;
  TRadioGroup* rgpDblClickOnCompleteJob_ = nullptr;
};

// Edits the settings modally; true only when closed with OK (Cancel changes nothing).
KVEDITORLIB_EXPORT bool SetSysDefaultPro(TKVEnvironment& env, QWidget* parent = nullptr);

}  // namespace kv
