// The per-thread side of the expression language. Each thread that
// translates expressions has its own translator and its own public variable
// list (which holds the boolean words YES and NO); both live in thread-local
// storage and are freed when the thread ends. A tree is evaluated by the
// thread that translated it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "KVLib_export.h"
#include "expression/Expression.h"
#include "expression/Translator.h"
#include "expression/VarList.h"
#include "foundation/KVObject.h"
#include "foundation/StrUtils.h"

namespace kv {

// The calling thread's translator, or null.
KVLIB_EXPORT TExpTranslator* GetTranslator() noexcept;
// Installs `translator` as the calling thread's translator; the thread owns
// it from now on (it is freed when replaced again or when the thread ends).
// The previous translator is handed back: keep it, or let it go and it is
// freed. Trees it translated stay valid (they refer to variable lists, not
// to the translator).
KVLIB_EXPORT std::unique_ptr<TExpTranslator> SetTranslator(std::unique_ptr<TExpTranslator> translator);
// The translator that is translating on this thread right now (variable
// references bind to its list), else the thread's translator.
KVLIB_EXPORT TExpTranslator* ActiveTranslator() noexcept;

// Makes the calling thread's public variable list (with YES = true and
// NO = false) and a translator on it with the base functions registered.
// An earlier list and translator of the thread are freed.
KVLIB_EXPORT void CreatePubVarList();
// The calling thread's public variable list, or null.
KVLIB_EXPORT TVarList* GetPubVarList() noexcept;
// The current variable list of the thread's translator (null without one);
// setting it does nothing when the thread has no translator.
KVLIB_EXPORT TVarList* GetVarList() noexcept;
KVLIB_EXPORT void SetVarList(TVarList* list) noexcept;

// The thread translator's operations. The functions that translate make the
// thread's public list and translator first when it has none.
KVLIB_EXPORT std::unique_ptr<TExpression> TranslateExp(std::string_view text);
KVLIB_EXPORT TExp_TransResult GetTranslateStatus() noexcept;
KVLIB_EXPORT std::string GetTranslateStatusMsg();
KVLIB_EXPORT std::string GetExpErrorMsg();
KVLIB_EXPORT int GetExpErrorPos() noexcept;
KVLIB_EXPORT void SetIDFirstCharSet(const TCharSet& set) noexcept;
KVLIB_EXPORT void SetIDCharSet(const TCharSet& set) noexcept;

// Frees `exp`, translates `text` into it and answers Status = trOK.
KVLIB_EXPORT bool ValidateExp(std::string_view text, std::unique_ptr<TExpression>& exp);
KVLIB_EXPORT bool ValidateExp(std::string_view text, TExpression*& exp);
KVLIB_EXPORT bool ValidateExp(std::string_view text, ObjPtr<TExpression>& exp);
// ValidateExp, then one evaluation with a fresh stamp (the tree's SyncFlag
// + 1) when a tree was built. Evaluation errors pass to the caller.
KVLIB_EXPORT bool CalculateExp(std::string_view text, std::unique_ptr<TExpression>& exp);
KVLIB_EXPORT bool CalculateExp(std::string_view text, TExpression*& exp);
KVLIB_EXPORT bool CalculateExp(std::string_view text, ObjPtr<TExpression>& exp);
// CalculateExp, then the value read as a boolean; false when translation
// failed or built no tree.
KVLIB_EXPORT bool CheckCondition(std::string_view text, std::unique_ptr<TExpression>& exp);
KVLIB_EXPORT bool CheckCondition(std::string_view text, TExpression*& exp);
KVLIB_EXPORT bool CheckCondition(std::string_view text, ObjPtr<TExpression>& exp);

// Marks `translator` as the one translating on this thread for the length of a scope.
class KVLIB_EXPORT TActiveTranslatorScope {
public:
  explicit TActiveTranslatorScope(TExpTranslator* translator) noexcept;
  ~TActiveTranslatorScope();
  TActiveTranslatorScope(const TActiveTranslatorScope&) = delete;
  TActiveTranslatorScope& operator=(const TActiveTranslatorScope&) = delete;

private:
  TExpTranslator* previous_;
};

}  // namespace kv
