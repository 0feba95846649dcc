// The desktop program's user-interface hook: the libraries' messages and
// questions become QMessageBox dialogs in the GUI thread. A worker thread's
// question waits until the GUI thread has asked it.
#pragma once

#include <QWidget>
#include <QPointer>

#include "KVEditorLib_export.h"
#include "foundation/UserInterface.h"

namespace kv {

class KVEDITORLIB_EXPORT TQtUserInterface : public IUserInterface {
public:
  // `parent` (not owned, may be null or go away) is the window the boxes belong to.
  explicit TQtUserInterface(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int defaultAnswer) override;
  void Beep() override;

private:
  QPointer<QWidget> parent_;
};

}  // namespace kv
