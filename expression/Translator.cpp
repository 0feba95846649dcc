#include "expression/Translator.h"

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

#include "expression/Operators.h"
#include "expression/ThreadExp.h"
#include "expression/VarList.h"
#include "expression/Variables.h"
#include "foundation/LibMessages.h"
#include "foundation/NumUtils.h"
#include "foundation/CharClass.h"

namespace kv {

KV_IMPLEMENT_CLASS(TExpTranslator, TObject)

namespace {

bool IsPlain(const TExpression* e) { return e && e->ClassType() == TExpression::StaticClass(); }

bool AllChildrenPlain(const TExpression& node) {
  for (int i = 0; i < node.SubExpEnd(); ++i)
    if (const TExpression* c = node.GetSubExp(i); c && !IsPlain(c)) return false;
  return true;
}

// Counts a nesting level for the length of a scope.
class TNestingScope {
public:
  explicit TNestingScope(int& level) : level_(level) { ++level_; }
  ~TNestingScope() { --level_; }
  TNestingScope(const TNestingScope&) = delete;
  TNestingScope& operator=(const TNestingScope&) = delete;

private:
  int& level_;
};

}  // namespace

const char* TransResultName(TExp_TransResult result) {
  static const char* const names[kTransResultCount] = {
      "trOK",          "trNoVarName",   "trNoFuncName", "trQuotNotMatch", "trBrktNotMatch",
      "trInvalidOpData", "trInvalidOP", "trInvalidParam", "trTypeMismatch", "trNeedOpData",
      "trNeedBracket", "trNeedParameters", "trTooComplex"};
  return result < kTransResultCount ? names[result] : "?";
}

std::string TransResultMessage(TExp_TransResult result) {
  switch (result) {
    case trOK: return SExpTransResult_Compile.c_str();
    case trNoVarName: return SExpTransResult_VariantNoDefine.c_str();
    case trNoFuncName: return SExpTransResult_ErrFunName.c_str();
    case trQuotNotMatch: return SExpTransResult_QuoteNoMatch.c_str();
    case trBrktNotMatch: return SExpTransResult_BracketNoMatch.c_str();
    case trInvalidOpData: return SExpTransResult_ErrOperand.c_str();
    case trInvalidOP: return SExpTransResult_ErrOper.c_str();
    case trInvalidParam: return SExpTransResult_ErrParam.c_str();
    case trTypeMismatch: return SExpTransResult_TypeNoMatch.c_str();
    case trNeedOpData: return SExpTransResult_NeedOper.c_str();
    case trNeedBracket: return SExpTransResult_NeedBracket.c_str();
    case trNeedParameters: return SExpTransResult_ParamNoEnougth.c_str();
    case trTooComplex: return SExpTransResult_TooComplex.c_str();
  }
  return std::string();
}

// One entry of the operand list: an operand, the operator code after it and
// the depth of the operand's tree.
struct TExpTranslator::TExpNode {
  std::unique_ptr<TExpression> exp;
  uint8_t code = opEnd;
  int depth = 0;
};

TExpTranslator::TExpTranslator()
    : VarList(GetPubVarList()),
      FunctionList(std::make_unique<TFunctionList>()),
      IDFirstCharSet(IdentFirstChars),
      IDCharSet(IdentFirstChars | TCharSet{'.', '@'}.AddRange('0', '9')) {
  OperatorClasses[opPower] = TExp_Power::StaticClass();
  OperatorClasses[opMul] = TExp_Mul::StaticClass();
  OperatorClasses[opDiv] = TExp_Div::StaticClass();
  OperatorClasses[opAdd] = TExp_Add::StaticClass();
  OperatorClasses[opSub] = TExp_Sub::StaticClass();
  OperatorClasses[opEqu] = TExp_Equ::StaticClass();
  OperatorClasses[opNotEqu] = TExp_NotEqu::StaticClass();
  OperatorClasses[opGreat] = TExp_Great::StaticClass();
  OperatorClasses[opGorE] = TExp_GorE::StaticClass();
  OperatorClasses[opLess] = TExp_Less::StaticClass();
  OperatorClasses[opLorE] = TExp_LorE::StaticClass();
  OperatorClasses[opIn] = TExp_In::StaticClass();
  OperatorClasses[opAnd] = TExp_And::StaticClass();
  OperatorClasses[opOr] = TExp_Or::StaticClass();
  OperatorClasses[opAssign] = TExp_VarAssign::StaticClass();
}

TExpTranslator::~TExpTranslator() = default;

int TExpTranslator::Length() const noexcept { return static_cast<int>(std::min<size_t>(Text.size(), INT_MAX - 2)); }

void TExpTranslator::SetError(TExp_TransResult result) {
  if (Status == trOK) Status = result;
}

bool TExpTranslator::CountNodes(int n) {
  nodes_ += n;
  if (nodes_ <= kMaxExpNodes) return true;
  SetError(trTooComplex);
  return false;
}

void TExpTranslator::SkipBlanks() {
  const int len = Length();
  while (ErrorPos <= len) {
    const unsigned char c = static_cast<unsigned char>(At(ErrorPos));
    if (c <= 32) {
      ++ErrorPos;
    } else if (c == '{') {
      const size_t close = Text.find('}', static_cast<size_t>(ErrorPos));
      ErrorPos = close == std::string::npos || close >= static_cast<size_t>(len) ? len + 1 : static_cast<int>(close) + 2;
    } else {
      break;
    }
  }
}

std::string TExpTranslator::StatusMsg() const { return TransResultMessage(Status); }

std::string TExpTranslator::ErrorMsg() const {
  const size_t at = static_cast<size_t>(std::clamp(ErrorPos, 1, Length() + 1) - 1);
  std::string msg;
  msg.reserve(Text.size() + 64);
  msg.append(Text, 0, at);
  msg += SExpErrorMsg.c_str();
  msg.append(Text, at, std::string::npos);
  msg += " (";
  msg += StatusMsg();
  msg += ")";
  return msg;
}

std::unique_ptr<TExpression> TExpTranslator::Translate(std::string_view text) {
  TActiveTranslatorScope active(this);
  Status = trOK;
  Text.assign(text.data(), text.size());
  ErrorPos = 1;
  nesting_ = 0;
  nodes_ = 0;
  lastDepth_ = 0;
  pendingArg_ = false;
  argStop_ = 0;
  std::unique_ptr<TExpression> tree = TransExp(Length());
  if (Status != trOK) return nullptr;
  return tree;
}

// ---- The operand list and the tree ---------------------------------------------------

std::unique_ptr<TExpression> TExpTranslator::TransExp(int last) {
  const bool inArgument = std::exchange(pendingArg_, false);
  TNestingScope scope(nesting_);
  lastDepth_ = 0;
  if (nesting_ > kMaxExpNesting) {
    SetError(trTooComplex);
    return nullptr;
  }
  const uint32_t tag = ++nextTag_ == 0 ? ++nextTag_ : nextTag_;

  // The list is folded while it is read: an entry is combined with the one
  // before it as soon as its own operator binds at least as loosely, which
  // gives the same tree as folding the whole list from the left afterwards
  // and keeps only a handful of entries (one per binding level) pending.
  // Failures to combine are reported after the reading, so that a reading
  // error further on takes precedence as it would for a complete list.
  std::vector<TExpNode> pending;
  bool typeMismatch = false;
  uint8_t lastCode = opEnd;
  bool any = false;
  while (Status == trOK && ErrorPos <= last) {
    TExpNode node;
    node.exp = ReadOperand(last, node.depth);
    if (Status == trOK) {
      SkipBlanks();
      if (ErrorPos <= last) node.code = ReadOperator(last, inArgument);
    }
    if (Status != trOK) break;
    const bool stop = node.code == opEnd;
    if (node.exp) {  // an empty bracket pair contributes no operand
      any = true;
      lastCode = node.code;
      if (!typeMismatch) {
        while (!pending.empty() && kOperatorLevel[node.code] >= kOperatorLevel[pending.back().code]) {
          TExpNode left = std::move(pending.back());
          pending.pop_back();
          if (!Combine(left, node, tag, typeMismatch)) break;
        }
        if (typeMismatch) pending.clear();
        if (Status != trOK) break;
        if (!typeMismatch) pending.push_back(std::move(node));
      }
    }
    if (stop) break;
  }
  if (Status != trOK || !any) return nullptr;
  if (lastCode != opEnd) {
    SetError(trNeedOpData);
    return nullptr;
  }
  if (typeMismatch) {
    SetError(trTypeMismatch);
    return nullptr;
  }
  // The last entry ends with code 16, which binds loosest, so one tree is left.
  std::unique_ptr<TExpression> root = std::move(pending.back().exp);
  const int depth = pending.back().depth;
  pending.clear();
  if (root->transTag_ == tag && FoldOwn(root.get(), tag)) root = MakeConstant(*root);
  lastDepth_ = IsPlain(root.get()) ? 1 : depth;
  return root;
}

bool TExpTranslator::Combine(TExpNode& left, TExpNode& right, uint32_t tag, bool& typeMismatch) {
  const int depth = std::max(left.depth, right.depth) + 1;
  if (depth > kMaxExpDepth) {
    SetError(trTooComplex);
    return false;
  }
  if (left.code == opFormat) {
    // The format operator makes no node: the right operand becomes the left
    // operand's format.
    left.exp->SetFormatExp(right.exp.release());  // the operand owns its format
    right.exp = std::move(left.exp);
    right.depth = depth;
    return true;
  }
  const TClassInfo* cls = left.code < kOperatorCount ? OperatorClasses[left.code] : nullptr;
  std::unique_ptr<TObject> obj(cls ? cls->Create() : nullptr);
  if (!obj || !obj->Is<TExpression>()) {
    typeMismatch = true;
    return false;
  }
  std::unique_ptr<TExpression> node(static_cast<TExpression*>(obj.release()));
  if (!CountNodes(1)) return false;
  if (!node->SetSubExp(0, std::move(left.exp)) || !node->SetSubExp(1, std::move(right.exp))) {
    typeMismatch = true;
    return false;
  }
  if (!node->TransOverOK()) {
    typeMismatch = true;
    return false;
  }
  node->transTag_ = tag;
  right.exp = std::move(node);
  right.depth = depth;
  return true;
}

// Constant folding of the operator nodes one TransExp made (marked with
// `tag`): bottom-up, a node whose children are all plain constants and that
// answers IsConst is computed and replaced by a plain constant. Operands
// from brackets and calls were folded when they were read, so they are
// either plain or not constant.
bool TExpTranslator::FoldOwn(TExpression* node, uint32_t tag) {
  bool allPlain = true;
  for (int i = 0; i < node->SubExpEnd(); ++i) {
    TExpression* c = node->GetSubExp(i);
    if (!c) continue;
    if (c->transTag_ == tag && FoldOwn(c, tag)) {
      std::unique_ptr<TExpression> k = MakeConstant(*c);
      node->PutSubExp(i, k.release());  // the slot owns the constant and frees the subtree it replaces
      c = node->GetSubExp(i);
    }
    if (!IsPlain(c)) allPlain = false;
  }
  return allPlain && node->IsConst();
}

std::unique_ptr<TExpression> TExpTranslator::MakeConstant(TExpression& node) {
  node.Evaluate(NextStamp(node.SyncFlag));
  auto k = std::make_unique<TExpression>();
  k->AssignFormatValue(node);
  CountNodes(1);
  return k;
}

// ---- Operands ----------------------------------------------------------------------------

std::unique_ptr<TExpression> TExpTranslator::ReadOperand(int last, int& depth) {
  depth = 1;
  SkipBlanks();
  if (ErrorPos > last) {
    SetError(trNeedOpData);
    return nullptr;
  }
  const int len = Length();
  const char c = At(ErrorPos);
  const char next = ErrorPos < len ? At(ErrorPos + 1) : '\0';
  if (c == '\'' || c == '"' || c == '#' || c == '^') return ReadString(depth);
  if (IsDigit(c) || (c == '-' && IsDigit(next))) return ReadNumber(depth);
  if (c == '$' && IsHexDigit(next)) return ReadNumber(depth);
  if (c == '!' || c == '-' || c == '$') return ReadSymbolCall(last, depth);
  if (IDFirstCharSet.Contains(c) || IsAsciiLetter(c) || c == '_' || static_cast<unsigned char>(c) >= 0x80)
    return ReadName(last, depth);
  if (c == '(') return ReadBracket(last, depth);
  SetError(trInvalidOpData);
  return nullptr;
}

// Adjacent pieces: '...' or "..." (the enclosing mark written twice stands
// for itself), #code (decimal or $hex) and ^letter (a control character).
std::unique_ptr<TExpression> TExpTranslator::ReadString(int& depth) {
  const int start = ErrorPos;
  const int end = SeekEndOfStr(Text, start);
  if (end == start) {
    SetError(trInvalidOpData);
    return nullptr;
  }
  std::string literal = Text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(end - start));
  const std::string value = ConstToStr(literal);
  ErrorPos = end;
  depth = 1;
  if (!CountNodes(1)) return nullptr;
  return CreateStrExp(value);
}

// digits, then digits and points, then optionally E or e and a signed run of
// digits: a real when it has a point or an exponent, else a 64-bit integer.
// Also -number and $hex.
std::unique_ptr<TExpression> TExpTranslator::ReadNumber(int& depth) {
  const int len = Length();
  const int start = ErrorPos;
  int p = start;
  bool real = false;
  if (At(p) == '$') {
    ++p;
    while (p <= len && IsHexDigit(At(p))) ++p;
  } else {
    if (At(p) == '-') ++p;
    while (p <= len && (IsDigit(At(p)) || At(p) == '.')) {
      if (At(p) == '.') real = true;
      ++p;
    }
    if (p <= len && (At(p) == 'E' || At(p) == 'e')) {
      int q = p + 1;
      if (q <= len && (At(q) == '+' || At(q) == '-')) ++q;
      if (q <= len && IsDigit(At(q))) {
        while (q <= len && IsDigit(At(q))) ++q;
        p = q;
        real = true;
      }
    }
  }
  const std::string_view literal = std::string_view(Text).substr(static_cast<size_t>(start - 1), static_cast<size_t>(p - start));
  depth = 1;
  if (real) {
    // A malformed real (1.2.3) takes the value of its longest valid beginning.
    ErrorPos = p;
    if (!CountNodes(1)) return nullptr;
    return CreateRealExp(StrToNum(literal));
  }
  int64_t value;
  if (!TextToInt64(literal, value)) {
    // Beyond the 64 bits of an integer.
    SetError(trInvalidOpData);
    return nullptr;
  }
  ErrorPos = p;
  if (!CountNodes(1)) return nullptr;
  return CreateIntExp(value);
}

// !name, -name, $name: a call of a function with such a name.
std::unique_ptr<TExpression> TExpTranslator::ReadSymbolCall(int last, int& depth) {
  const int len = Length();
  const int start = ErrorPos;
  int end = start + 1;
  while (end <= len && IDCharSet.Contains(At(end))) ++end;
  ErrorPos = end;
  SkipBlanks();
  if (ErrorPos <= last && At(ErrorPos) == '(') return ReadCall(start, ErrorPos, last, depth);
  SetError(trNeedBracket);
  return nullptr;
}

std::unique_ptr<TExpression> TExpTranslator::ReadName(int last, int& depth) {
  const int start = ErrorPos;
  const int end = SeekEndOfID(Text, start, IDFirstCharSet, IDCharSet);
  if (end == start) {
    // The byte may start a name but is not in IDFirstCharSet (the set was changed).
    SetError(trInvalidOpData);
    return nullptr;
  }
  const std::string_view name = std::string_view(Text).substr(static_cast<size_t>(start - 1), static_cast<size_t>(end - start));
  ErrorPos = end;
  SkipBlanks();
  const int q = ErrorPos;
  if (q <= last && At(q) == '(') return ReadCall(start, q, last, depth);
  depth = 1;
  if (q + 1 <= last && At(q) == ':' && At(q + 1) == '=') {
    // The left side of an assignment: the name as a text constant.
    if (!CountNodes(1)) return nullptr;
    return CreateStrExp(name);
  }
  if (!VarList || !VarList->GetVarExp(name)) {
    ErrorPos = start;
    SetError(trNoVarName);
    return nullptr;
  }
  if (!CountNodes(2)) return nullptr;
  auto ref = std::make_unique<TExp_VarRef>();
  ref->SetSubExp(0, CreateStrExp(name));
  ref->TransOverOK();
  depth = 2;
  return ref;
}

std::unique_ptr<TExpression> TExpTranslator::ReadBracket(int last, int& depth) {
  const int open = ErrorPos;
  if (nesting_ >= kMaxExpNesting) {
    // Reported at the bracket that would go one level too deep, before its
    // match is sought.
    SetError(trTooComplex);
    return nullptr;
  }
  bool found = false;
  const int after = SeekCloseBracket(Text, open, found);
  if (!found || after - 1 > last) {
    SetError(trBrktNotMatch);
    return nullptr;
  }
  ErrorPos = open + 1;
  std::unique_ptr<TExpression> inner = TransExp(after - 2);
  if (Status != trOK) return nullptr;
  depth = lastDepth_;
  ErrorPos = after;
  return inner;
}

std::unique_ptr<TExpression> TExpTranslator::ReadCall(int nameStart, int bracket, int last, int& depth) {
  if (nesting_ >= kMaxExpNesting) {
    ErrorPos = nameStart;
    SetError(trTooComplex);
    return nullptr;
  }
  bool found = false;
  const int after = SeekCloseBracket(Text, bracket, found);
  if (!found || after - 1 > last) {
    ErrorPos = bracket;
    SetError(trBrktNotMatch);
    return nullptr;
  }
  ErrorPos = nameStart;
  std::unique_ptr<TExpression> call = TransFunction(after - 1);
  depth = lastDepth_;
  return call;
}

std::unique_ptr<TExpression> TExpTranslator::TransFunction(int last) {
  lastDepth_ = 0;
  const int len = Length();
  const int nameStart = ErrorPos;
  int p = nameStart + 1;
  while (p <= len && IDCharSet.Contains(At(p))) ++p;
  const std::string_view name = std::string_view(Text).substr(static_cast<size_t>(nameStart - 1), static_cast<size_t>(p - nameStart));
  std::unique_ptr<TFunction> node = FunctionList ? FunctionList->CreateFunction(name) : nullptr;
  if (!node) {
    SetError(trNoFuncName);
    return nullptr;
  }
  if (!CountNodes(1)) return nullptr;

  // Past the name, the opening bracket and the blanks after it.
  ErrorPos = p;
  SkipBlanks();
  ++ErrorPos;
  while (ErrorPos <= last && static_cast<unsigned char>(At(ErrorPos)) <= 32) ++ErrorPos;

  const int maxArgs = node->MaxParamCount();
  int count = 0;
  int depth = 0;
  char lastStop = 0;
  if (maxArgs == 0) {
    if (ErrorPos > last || At(ErrorPos) != ')') SetError(trNeedBracket);
  } else {
    while (count < maxArgs && ErrorPos <= last && At(ErrorPos) != ')' && Status == trOK) {
      pendingArg_ = true;
      argStop_ = 0;
      std::unique_ptr<TExpression> arg = TransExp(last);
      pendingArg_ = false;
      if (Status != trOK) break;
      const char stop = std::exchange(argStop_, '\0');
      if (stop == 0) {
        // The argument ran to the end of the call without a ',' or ')'.
        SetError(trInvalidParam);
        break;
      }
      if (!node->SetSubExp(count, std::move(arg))) {
        SetError(trTypeMismatch);
        break;
      }
      depth = std::max(depth, lastDepth_);
      ++count;
      lastStop = stop;
      if (stop == ',') ++ErrorPos;
    }
    if (Status == trOK) {
      if (count < node->FixedParamCount())
        SetError(trNeedParameters);
      else if (lastStop == ',')
        SetError(trNeedBracket);  // more arguments than the function takes
    }
  }
  if (Status != trOK) return nullptr;
  ErrorPos = last + 1;
  if (!node->TransOverOK()) {
    SetError(trNeedParameters);
    return nullptr;
  }
  if (depth + 1 > kMaxExpDepth) {
    SetError(trTooComplex);
    return nullptr;
  }
  if (AllChildrenPlain(*node) && node->IsConst()) {
    lastDepth_ = 1;
    return MakeConstant(*node);
  }
  lastDepth_ = depth + 1;
  return node;
}

// ---- Operators ------------------------------------------------------------------------------

bool TExpTranslator::MatchWord(int pos, int last, std::string_view word) const {
  const int end = pos + static_cast<int>(word.size());  // the position after the word
  if (end - 1 > last) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (AsciiUpper(At(pos + static_cast<int>(i))) != word[i]) return false;
  }
  return end > Length() || !IDCharSet.Contains(At(end));
}

uint8_t TExpTranslator::ReadOperator(int last, bool inArgument) {
  const int p = ErrorPos;
  const char c = At(p);
  const char next = p + 1 <= last ? At(p + 1) : '\0';
  uint8_t code = opEnd;
  int width = 1;
  switch (c) {
    case '^': code = opPower; break;
    case '*': code = opMul; break;
    case '/': code = opDiv; break;
    case '+': code = opAdd; break;
    case '-': code = opSub; break;
    case '=': code = opEqu; break;
    case '$': code = opIn; break;
    case '&': code = opAnd; break;
    case '|': code = opOr; break;
    case ':':
      if (next == '=') {
        code = opAssign;
        width = 2;
      } else {
        code = opFormat;
      }
      break;
    case '<':
      if (next == '=') {
        code = opLorE;
        width = 2;
      } else if (next == '>') {
        code = opNotEqu;
        width = 2;
      } else {
        code = opLess;
      }
      break;
    case '>':
      if (next == '=') {
        code = opGorE;
        width = 2;
      } else {
        code = opGreat;
      }
      break;
    case 'A':
    case 'a':
      if (MatchWord(p, last, "AND")) {
        code = opAnd;
        width = 3;
      }
      break;
    case 'O':
    case 'o':
      if (MatchWord(p, last, "OR")) {
        code = opOr;
        width = 2;
      }
      break;
    default: break;
  }
  if (code != opEnd) {
    ErrorPos = p + width;
    return code;
  }
  if (inArgument && (c == ',' || c == ')')) {
    // The end of a function argument; the caller continues from here.
    argStop_ = c;
    return opEnd;
  }
  SetError(trInvalidOP);
  return opEnd;
}

}  // namespace kv
