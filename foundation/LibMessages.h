// Message variables. Each message is a named global whose text follows the
// language in force; switching the language swaps every variable's text at
// once. Reading a message from any thread is safe while the language changes.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "KVLib_export.h"

namespace kv {

class KVLIB_EXPORT TMessage {
public:
  TMessage(const char* name, const char* english) noexcept : name_(name), text_(english) {}
  TMessage(const TMessage&) = delete;
  TMessage& operator=(const TMessage&) = delete;

  const char* Name() const noexcept { return name_; }
  const char* c_str() const noexcept { return text_.load(std::memory_order_acquire); }
  std::string Text() const { return c_str(); }
  operator std::string() const { return Text(); }
  // `text` must outlive the process's use of the message (static tables).
  void Set(const char* text) noexcept { text_.store(text, std::memory_order_release); }

private:
  const char* name_;
  std::atomic<const char*> text_;
};

// ---- Messages of the foundation library ------------------------------------
// Results of translating an expression.
extern KVLIB_EXPORT TMessage SExpTransResult_Compile;           // "Compile complete"
extern KVLIB_EXPORT TMessage SExpTransResult_VariantNoDefine;   // "Variable have no define"
extern KVLIB_EXPORT TMessage SExpTransResult_ErrFunName;        // "Invalid function"
extern KVLIB_EXPORT TMessage SExpTransResult_QuoteNoMatch;      // "Inverted comma no matching"
extern KVLIB_EXPORT TMessage SExpTransResult_BracketNoMatch;    // "Bracket no matching"
extern KVLIB_EXPORT TMessage SExpTransResult_ErrOperand;        // "Invalid operand"
extern KVLIB_EXPORT TMessage SExpTransResult_ErrOper;           // "Invalid operator"
extern KVLIB_EXPORT TMessage SExpTransResult_ErrParam;          // "Invalid parameter"
extern KVLIB_EXPORT TMessage SExpTransResult_TypeNoMatch;       // "Type no matching"
extern KVLIB_EXPORT TMessage SExpTransResult_NeedOper;          // "Need operator"
extern KVLIB_EXPORT TMessage SExpTransResult_NeedBracket;       // "Need bracket"
extern KVLIB_EXPORT TMessage SExpTransResult_ParamNoEnougth;    // "Parameter not enough"
extern KVLIB_EXPORT TMessage SExpTransResult_HaveNoMatchValue;  // "Function have no matching result value."
extern KVLIB_EXPORT TMessage SExpTransResult_TooComplex;        // "Expression too complex" (nesting or size limit)
// Evaluation.
extern KVLIB_EXPORT TMessage SExpErrorMsg;           // "[Error]"
extern KVLIB_EXPORT TMessage SDivByZeroiDiv;         // "Divide by 0 iDiv(%d,0)"
extern KVLIB_EXPORT TMessage SDivByZeroiMod;         // "Divide by 0 iMod(%d,0)"
extern KVLIB_EXPORT TMessage SDivByZerofDiv;         // "Divide by 0 fDiv(%f,%f)"
extern KVLIB_EXPORT TMessage SFlowerUpfDiv;          // "Float overflow fDiv(%f,%f)"
extern KVLIB_EXPORT TMessage SErrorOnRun;            // "Running error"
extern KVLIB_EXPORT TMessage SExpFormatStringError;  // "Format string error"
extern KVLIB_EXPORT TMessage SExpCalError;           // "Expression run error"
extern KVLIB_EXPORT TMessage SCanotOpenFile;         // the same Chinese text in both languages

// Every message of the foundation library, in table order.
KVLIB_EXPORT const std::vector<TMessage*>& KVLibMessages();

// Assign every foundation-library message its English / Simplified Chinese text.
KVLIB_EXPORT void KVSetKVLibEnglish();
KVLIB_EXPORT void KVSetKVLibChineseSimp();

}  // namespace kv
