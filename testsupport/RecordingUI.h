// A user interface for tests: it records what the libraries would show the
// user, and UIScope puts it (or any other) in place for a while.
#pragma once

#include <string>
#include <vector>

#include "foundation/UserInterface.h"

namespace kvtest {

// Records every message (its text and kind) and every beep, and answers
// each question with its default answer.
class TRecordingUI : public kv::IUserInterface {
public:
  int MessageDlg(const std::string& text, kv::TMsgDlgType type, kv::TMsgDlgButtons, int defaultAnswer) override {
    messages.push_back(text);
    types.push_back(type);
    return defaultAnswer;
  }
  void Beep() override { ++beeps; }

  std::vector<std::string> messages;
  std::vector<kv::TMsgDlgType> types;
  int beeps = 0;
};

// `ui` is the program's user interface while the scope lasts.
class UIScope {
public:
  explicit UIScope(kv::IUserInterface* ui) : old_(kv::SetUserInterface(ui)) {}
  ~UIScope() { kv::SetUserInterface(old_); }
  UIScope(const UIScope&) = delete;
  UIScope& operator=(const UIScope&) = delete;

private:
  kv::IUserInterface* old_;
};

}  // namespace kvtest
