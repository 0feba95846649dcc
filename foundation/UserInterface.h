// The one process-wide hook through which the libraries talk to the user.
// The libraries never show anything themselves: they ask the installed
// user interface. Until a program installs one, the headless default answers
// every question with the caller's default answer, logs the question and the
// answer, and never blocks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "KVLib_export.h"

namespace kv {

enum TMsgDlgType : uint8_t { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn : uint8_t { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll };
using TMsgDlgButtons = uint16_t;  // bit set of TMsgDlgBtn
constexpr TMsgDlgButtons Buttons(std::initializer_list<TMsgDlgBtn> list) {
  TMsgDlgButtons b = 0;
  for (TMsgDlgBtn x : list) b = static_cast<TMsgDlgButtons>(b | (1u << x));
  return b;
}
constexpr TMsgDlgButtons mbOKOnly = 1u << mbOK;
constexpr TMsgDlgButtons mbYesNo = (1u << mbYes) | (1u << mbNo);
constexpr TMsgDlgButtons mbOKCancel = (1u << mbOK) | (1u << mbCancel);

enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7, mrAll = 8, mrNoToAll = 9, mrYesToAll = 10 };

KVLIB_EXPORT const char* MsgDlgTypeName(TMsgDlgType type);
KVLIB_EXPORT const char* ModalResultName(int result);

class KVLIB_EXPORT IUserInterface {
public:
  virtual ~IUserInterface();
  // Shows `text` with the given buttons and returns the answer (a TModalResult).
  // `defaultAnswer` is the answer a user gets by pressing Enter; headless
  // implementations return it.
  virtual int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int defaultAnswer) = 0;
  virtual void Beep() {}
  // No user answers: questions get their default answer. A library whose
  // default answer would be unsafe in an unattended run (loading a file of
  // any width) asks this and applies its own limit instead.
  virtual bool IsUnattended() const { return false; }
};

// The headless default: logs through the headless log sink and answers with
// the default answer.
class KVLIB_EXPORT THeadlessUserInterface : public IUserInterface {
public:
  int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int defaultAnswer) override;
  void Beep() override;
  bool IsUnattended() const override { return true; }
};

// Installs `ui` (null restores the headless default); returns the one it replaces.
KVLIB_EXPORT IUserInterface* SetUserInterface(IUserInterface* ui);
KVLIB_EXPORT IUserInterface& UserInterface();

// Where the headless user interface writes; stderr until replaced.
KVLIB_EXPORT void SetHeadlessLogSink(std::function<void(const std::string&)> sink);
KVLIB_EXPORT void HeadlessLog(const std::string& line);

// Shorthands.
KVLIB_EXPORT void ShowMessage(const std::string& text);
KVLIB_EXPORT void ShowWarning(const std::string& text);
KVLIB_EXPORT void ShowError(const std::string& text);
// A yes/no question; `defaultYes` is the headless answer.
KVLIB_EXPORT bool AskYesNo(const std::string& text, bool defaultYes, TMsgDlgType type = mtConfirmation);

}  // namespace kv
