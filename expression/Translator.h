// The translator: turns the text of an expression into a tree of
// TExpression nodes in one left-to-right pass. Operands (literals, variable
// references, assignments, function calls, bracketed sub-expressions) and
// binary operators are read into a list that is folded into a tree by
// operator precedence; sub-trees whose value cannot change are then replaced
// by constants. Errors are never raised: they are a result code, a position
// and a message.
//
// Every thread that works with expressions has its own translator (see
// expression/ThreadExp.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "KVLib_export.h"
#include "expression/Expression.h"
#include "expression/FunctionList.h"
#include "foundation/StrUtils.h"

namespace kv {

class TVarList;

// The outcome of a translation. The order is fixed (the ordinal is what
// callers store and compare).
enum TExp_TransResult : uint8_t {
  trOK = 0,
  trNoVarName,       // "Variable have no define"
  trNoFuncName,      // "Invalid function"
  trQuotNotMatch,    // "Inverted comma no matching" (never produced: an open quote runs to the end)
  trBrktNotMatch,    // "Bracket no matching"
  trInvalidOpData,   // "Invalid operand"
  trInvalidOP,       // "Invalid operator"
  trInvalidParam,    // "Invalid parameter"
  trTypeMismatch,    // "Type no matching"
  trNeedOpData,      // "Need operator" (an operand is missing)
  trNeedBracket,     // "Need bracket"
  trNeedParameters,  // "Parameter not enough"
  // The expression exceeds the translator's limits: brackets and calls
  // nested deeper than kMaxExpNesting, a tree deeper than kMaxExpDepth or
  // more than kMaxExpNodes nodes.
  trTooComplex,
};
inline constexpr int kTransResultCount = 13;

// "trOK" ... "trTooComplex"; "?" outside the range.
KVLIB_EXPORT const char* TransResultName(TExp_TransResult result);
// The message of a result in the language in force.
KVLIB_EXPORT std::string TransResultMessage(TExp_TransResult result);

// Limits that keep translation, evaluation and destruction within a
// thread's stack and a sane amount of memory.
inline constexpr int kMaxExpNesting = 256;      // levels of brackets and function arguments
inline constexpr int kMaxExpDepth = 4096;       // levels of the tree
inline constexpr int kMaxExpNodes = 1000000;    // nodes made by one translation

// Operator codes: the index into OperatorClasses and the precedence table.
enum TExpOperator : uint8_t {
  opPower = 0,      // ^
  opMul = 1,        // *
  opDiv = 2,        // /
  opAdd = 3,        // +
  opSub = 4,        // -
  opEqu = 5,        // =
  opNotEqu = 6,     // <>
  opGreat = 7,      // >
  opGorE = 8,       // >=
  opLess = 9,       // <
  opLorE = 10,      // <=
  opIn = 11,        // $
  opAnd = 12,       // & or AND
  opOr = 13,        // | or OR
  opFormat = 14,    // :  (no node: the right operand formats the left one)
  opAssign = 15,    // :=
  opEnd = 16,       // end of the operand list (no node)
};
inline constexpr int kOperatorCount = 17;
// Binding level of each operator code; a lower level binds tighter, and
// equal levels combine from the left.
inline constexpr uint8_t kOperatorLevel[kOperatorCount] = {0, 1, 1, 2, 2, 3, 3, 3, 3, 3, 3, 3, 4, 5, 6, 7, 8};

class KVLIB_EXPORT TExpTranslator : public TObject {
  KV_CLASS(TExpTranslator, TObject)
public:
  // VarList starts as the calling thread's public variable list (none when
  // the thread has not made one); FunctionList starts empty.
  TExpTranslator();
  ~TExpTranslator() override;

  // Translates `text`. The result is the tree (null for an empty text or
  // when translation failed: see Status, ErrorPos, ErrorMsg). Errors raised
  // while constant parts are computed (a constant that cannot be converted,
  // for example) pass to the caller.
  std::unique_ptr<TExpression> Translate(std::string_view text);
  // Translates the text from ErrorPos up to position `last` into one tree.
  virtual std::unique_ptr<TExpression> TransExp(int last);
  // Translates the function call whose name starts at ErrorPos and whose
  // closing bracket is at `last`.
  virtual std::unique_ptr<TExpression> TransFunction(int last);
  // The message of Status.
  virtual std::string StatusMsg() const;
  // The text with "[Error]" inserted at ErrorPos, then " (" StatusMsg ")".
  virtual std::string ErrorMsg() const;

  TExp_TransResult Status = trOK;
  std::string Text;
  // 1-based position where translation stopped.
  int ErrorPos = 1;
  // Variables that names are looked up in and references are bound to (not owned).
  TVarList* VarList = nullptr;
  std::unique_ptr<TFunctionList> FunctionList;
  // The node class of each operator code (none for codes 14 and 16).
  const TClassInfo* OperatorClasses[kOperatorCount] = {};
  // Bytes that may begin a name: letters, '_' and every byte from 0x80 up
  // (UTF-8 sequences of any script); bytes that may continue one: those,
  // digits, '.' and '@' (dataset.field names).
  TCharSet IDFirstCharSet;
  TCharSet IDCharSet;

protected:
  void SetError(TExp_TransResult result);
  // Skips blanks (every byte up to 32) and {comments}.
  void SkipBlanks();
  int Length() const noexcept;
  char At(int pos) const noexcept { return Text[static_cast<size_t>(pos - 1)]; }

private:
  struct TExpNode;
  std::unique_ptr<TExpression> ReadOperand(int last, int& depth);
  std::unique_ptr<TExpression> ReadString(int& depth);
  std::unique_ptr<TExpression> ReadNumber(int& depth);
  std::unique_ptr<TExpression> ReadName(int last, int& depth);
  std::unique_ptr<TExpression> ReadSymbolCall(int last, int& depth);
  std::unique_ptr<TExpression> ReadBracket(int last, int& depth);
  std::unique_ptr<TExpression> ReadCall(int nameStart, int bracket, int last, int& depth);
  uint8_t ReadOperator(int last, bool inArgument);
  bool MatchWord(int pos, int last, std::string_view word) const;
  bool Combine(TExpNode& left, TExpNode& right, uint32_t tag, bool& typeMismatch);
  bool FoldOwn(TExpression* node, uint32_t tag);
  std::unique_ptr<TExpression> MakeConstant(TExpression& node);
  bool CountNodes(int n);

  int nesting_ = 0;
  int nodes_ = 0;
  uint32_t nextTag_ = 0;
  int lastDepth_ = 0;     // tree depth of what TransExp / TransFunction returned last
  bool pendingArg_ = false;  // the next TransExp reads a function argument
  char argStop_ = 0;         // the ',' or ')' that ended the last argument
};

}  // namespace kv
