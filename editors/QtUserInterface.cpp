#include "editors/QtUserInterface.h"

#include <QApplication>
#include <QMessageBox>

#include "editors/QtText.h"
#include "foundation/MainThread.h"

namespace kv {

namespace {

struct TButtonMap {
  TMsgDlgBtn button;
  QMessageBox::StandardButton qt;
  int result;
};

constexpr TButtonMap kButtons[] = {
    {mbYes, QMessageBox::Yes, mrYes},          {mbNo, QMessageBox::No, mrNo},
    {mbOK, QMessageBox::Ok, mrOk},             {mbCancel, QMessageBox::Cancel, mrCancel},
    {mbAbort, QMessageBox::Abort, mrAbort},    {mbRetry, QMessageBox::Retry, mrRetry},
    {mbIgnore, QMessageBox::Ignore, mrIgnore}, {mbAll, QMessageBox::YesToAll, mrAll},
    {mbNoToAll, QMessageBox::NoToAll, mrNoToAll}, {mbYesToAll, QMessageBox::YesToAll, mrYesToAll},
};

QMessageBox::Icon IconOf(TMsgDlgType type) {
  switch (type) {
    case mtWarning: return QMessageBox::Warning;
    case mtError: return QMessageBox::Critical;
    case mtInformation: return QMessageBox::Information;
    case mtConfirmation: return QMessageBox::Question;
    case mtCustom: break;
  }
  return QMessageBox::NoIcon;
}

int Ask(QWidget* parent, const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int defaultAnswer) {
  QMessageBox box(IconOf(type), QApplication::applicationDisplayName(), QStr(text), QMessageBox::NoButton, parent);
  box.setObjectName("MessageDlg");
  QMessageBox::StandardButtons shown;
  for (const TButtonMap& b : kButtons)
    if (buttons & (1u << b.button)) shown |= b.qt;
  if (shown == QMessageBox::NoButton) shown = QMessageBox::Ok;
  box.setStandardButtons(shown);
  for (const TButtonMap& b : kButtons)
    if (b.result == defaultAnswer && (shown & b.qt)) box.setDefaultButton(b.qt);
  const int clicked = box.exec();
  for (const TButtonMap& b : kButtons)
    if (clicked == b.qt) return b.result;
  return (buttons & (1u << mbCancel)) ? mrCancel : defaultAnswer;  // closed with Esc or the title bar
}

}  // namespace

int TQtUserInterface::MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons,
                                 int defaultAnswer) {
  int answer = defaultAnswer;
  RunInMainThread([&] { answer = Ask(parent_.data(), text, type, buttons, defaultAnswer); });
  return answer;
}

void TQtUserInterface::Beep() {
  RunInMainThread([] { QApplication::beep(); });
}

}  // namespace kv
