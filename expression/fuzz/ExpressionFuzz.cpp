// Translates and evaluates arbitrary texts: every input must end in a value,
// a translation error or a library error (kv::Exception), never in a crash,
// a hang, a leak or undefined behaviour.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "expression/ThreadExp.h"
#include "foundation/DateUtils.h"
#include "foundation/Exceptions.h"
#include "foundation/UserInterface.h"

namespace {

// Format errors would otherwise be logged to stderr for every input.
class TSilentUI : public kv::IUserInterface {
public:
  int MessageDlg(const std::string&, kv::TMsgDlgType, kv::TMsgDlgButtons, int defaultAnswer) override {
    return defaultAnswer;
  }
};

void ResetVariables() {
  // A fresh list per input: assignments must not pile up across inputs.
  kv::CreatePubVarList();
  kv::TVarList* v = kv::GetPubVarList();
  v->SetVarExp("i", kv::CreateIntExp(7));
  v->SetVarExp("r", kv::CreateRealExp(2.5L));
  v->SetVarExp("d", kv::CreateDateTimeExp(37758.35));
  v->SetVarExp("b", kv::CreateBoolExp(true));
  v->SetVarExp("c", kv::CreateStrExp("q"));
  auto s = std::make_unique<kv::TExpression>();
  s->DataType = kv::etString;
  s->SetStrValue("hello");
  v->SetVarExp("s", std::move(s));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TSilentUI ui;
  static const bool installed = (kv::SetUserInterface(&ui), true);
  (void)installed;
  ResetVariables();
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    std::unique_ptr<kv::TExpression> exp;
    if (kv::CalculateExp(text, exp)) {
      if (exp) {
        (void)exp->GetString();
        (void)exp->GetInteger();
        (void)exp->GetReal();
        (void)exp->GetBoolean();
        // A second evaluation, then a copy evaluated on its own.
        exp->Evaluate(kv::NextStamp(exp->SyncFlag));
        std::unique_ptr<kv::TExpression> copy = exp->CopySelf();
        copy->Evaluate(kv::NextStamp(copy->SyncFlag));
        (void)copy->GetString();
      }
    } else {
      (void)kv::GetExpErrorMsg();
    }
  } catch (const kv::Exception&) {
    // A library error (a conversion that fails, for example) is a valid outcome.
  }
  return 0;
}
