#include "foundation/UserInterface.h"

#include <atomic>
#include <iostream>
#include <mutex>

namespace kv {

namespace {

THeadlessUserInterface& Headless() {
  static THeadlessUserInterface* h = new THeadlessUserInterface;
  return *h;
}

std::atomic<IUserInterface*> g_ui{nullptr};

std::mutex& SinkLock() {
  static std::mutex* m = new std::mutex;
  return *m;
}
std::function<void(const std::string&)>& Sink() {
  static auto* s = new std::function<void(const std::string&)>;
  return *s;
}

}  // namespace

IUserInterface::~IUserInterface() = default;

const char* MsgDlgTypeName(TMsgDlgType type) {
  switch (type) {
    case mtWarning: return "Warning";
    case mtError: return "Error";
    case mtInformation: return "Information";
    case mtConfirmation: return "Confirm";
    default: return "Message";
  }
}

const char* ModalResultName(int result) {
  static const char* names[] = {"None", "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No", "All", "No to all", "Yes to all"};
  return result >= 0 && result <= 10 ? names[result] : "?";
}

int THeadlessUserInterface::MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int defaultAnswer) {
  std::string line = std::string("[") + MsgDlgTypeName(type) + "] " + text;
  if (buttons != mbOKOnly) line += std::string(" -> ") + ModalResultName(defaultAnswer);
  HeadlessLog(line);
  return defaultAnswer;
}

void THeadlessUserInterface::Beep() {}

IUserInterface* SetUserInterface(IUserInterface* ui) {
  IUserInterface* old = g_ui.exchange(ui);
  return old ? old : &Headless();
}

IUserInterface& UserInterface() {
  IUserInterface* ui = g_ui.load();
  return ui ? *ui : Headless();
}

void SetHeadlessLogSink(std::function<void(const std::string&)> sink) {
  std::lock_guard g(SinkLock());
  Sink() = std::move(sink);
}

void HeadlessLog(const std::string& line) {
  std::lock_guard g(SinkLock());
  if (Sink())
    Sink()(line);
  else
    std::cerr << line << '\n';
}

void ShowMessage(const std::string& text) { UserInterface().MessageDlg(text, mtInformation, mbOKOnly, mrOk); }
void ShowWarning(const std::string& text) { UserInterface().MessageDlg(text, mtWarning, mbOKOnly, mrOk); }
void ShowError(const std::string& text) { UserInterface().MessageDlg(text, mtError, mbOKOnly, mrOk); }

bool AskYesNo(const std::string& text, bool defaultYes, TMsgDlgType type) {
  return UserInterface().MessageDlg(text, type, mbYesNo, defaultYes ? mrYes : mrNo) == mrYes;
}

}  // namespace kv
