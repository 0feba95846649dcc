// The tip of the day: one tip at a time from the tips of the language in
// force, "&Next Tip" to go on, and the choice whether tips show at start.
#pragma once

#include <QDialog>
#include <QString>
#include <vector>
#include <string>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace kv {

class TTipForm : public QDialog {
  Q_OBJECT
public:
  // Builds and translates the window; no tips are loaded yet.
  explicit TTipForm(QWidget* parent = nullptr);

  // Fills the tips (GetTips), shows the tip whose index was stored last
  // (ReadTipIndex) and sets the check box from GlobalEnv->ShowTipDlgOnStart.
  void LoadTips();
  // Shows tip `index`; an index below 0 or at or past the number of tips
  // shows the first one. With no tips the memo stays empty.
  void ShowTip(int index);
  void ShowNextTip() { ShowTip(tipIndex_ + 1); }

  int TipIndex() const { return tipIndex_; }
  int TipCount() const { return static_cast<int>(tips_.size()); }
  QString ShownText() const;

  // Closing stores the tip index (WriteTipIndex) and, unless turned off
  // here, saves GlobalEnv to the settings file; a failed save is reported
  // through the message hook.
  void done(int result) override;
  // Off when the settings file could not be read at start: it is then
  // never written over, so nothing of it is lost.
  void SetSaveSettings(bool save) { saveSettings_ = save; }

private:
  void Build();
  void ShowTipsChanged(bool checked);

  std::vector<std::string> tips_;
  int tipIndex_ = 0;
  bool saveSettings_ = true;
  QLabel* lbDoYouKnow_ = nullptr;
  QPlainTextEdit* memTip_ = nullptr;
  QCheckBox* cbxShowTips_ = nullptr;
  QPushButton* btnNext_ = nullptr;
  QPushButton* btnClose_ = nullptr;
};

// Creates a TTipForm, loads the tips and the stored index, shows it
// modally over `parent` (may be null) and frees it. `saveSettings`: see
// TTipForm::SetSaveSettings.
void ShowTips(QWidget* parent = nullptr, bool saveSettings = true);

}  // namespace kv
