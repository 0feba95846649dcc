#include "foundation/LibMessages.h"

#include <cstddef>

namespace kv {

// One line per message: name, English text, Simplified Chinese text. The
// English text is also the text in force when the library is loaded.
#define KVLIB_MESSAGE_TABLE(X)                                                                          \
  X(SExpTransResult_Compile, "Compile complete", "编译完成")                                            \
  X(SExpTransResult_VariantNoDefine, "Variable have no define", "变量没定义")                           \
  X(SExpTransResult_ErrFunName, "Invalid function", "无效函数名")                                       \
  X(SExpTransResult_QuoteNoMatch, "Inverted comma no matching", "引号不匹配")                           \
  X(SExpTransResult_BracketNoMatch, "Bracket no matching", "括号不匹配")                                \
  X(SExpTransResult_ErrOperand, "Invalid operand", "无效操作数")                                        \
  X(SExpTransResult_ErrOper, "Invalid operator", "无效操作符")                                          \
  X(SExpTransResult_ErrParam, "Invalid parameter", "无效参数")                                          \
  X(SExpTransResult_TypeNoMatch, "Type no matching", "类型不匹配")                                      \
  X(SExpTransResult_NeedOper, "Need operator", "需要操作数")                                            \
  X(SExpTransResult_NeedBracket, "Need bracket", "需要括号")                                            \
  X(SExpTransResult_ParamNoEnougth, "Parameter not enough", "参数不够")                                 \
  X(SExpTransResult_HaveNoMatchValue, "Function have no matching result value.", "函数没有匹配的返回值.") \
  X(SExpTransResult_TooComplex, "Expression too complex", "表达式太复杂")                           \
  X(SExpErrorMsg, "[Error]", "[错误]")                                                                  \
  X(SDivByZeroiDiv, "Divide by 0 iDiv(%d,0)", "被0除iDiv(%d,0)")                                        \
  X(SDivByZeroiMod, "Divide by 0 iMod(%d,0)", "被0除iMod(%d,0)")                                        \
  X(SDivByZerofDiv, "Divide by 0 fDiv(%f,%f)", "被0除fDiv(%f,%f)")                                      \
  X(SFlowerUpfDiv, "Float overflow fDiv(%f,%f)", "浮点数上溢fDiv(%f,%f)")                               \
  X(SErrorOnRun, "Running error", "运行错误")                                                           \
  X(SExpFormatStringError, "Format string error", "Format string error")                                \
  X(SExpCalError, "Expression run error", "表达式运算错误")                                             \
  X(SCanotOpenFile, "打不开数据结构类文件", "打不开数据结构类文件")

#define KV_DEFINE_MESSAGE(name, english, chinese) TMessage name{#name, english};
KVLIB_MESSAGE_TABLE(KV_DEFINE_MESSAGE)
#undef KV_DEFINE_MESSAGE

namespace {

struct TMessageTexts {
  TMessage* message;
  const char* english;
  const char* chinese;
};

#define KV_MESSAGE_ENTRY(name, english, chinese) {&name, english, chinese},
constexpr TMessageTexts kTable[] = {KVLIB_MESSAGE_TABLE(KV_MESSAGE_ENTRY)};
#undef KV_MESSAGE_ENTRY

}  // namespace

const std::vector<TMessage*>& KVLibMessages() {
  static const std::vector<TMessage*> all = [] {
    std::vector<TMessage*> v;
    v.reserve(std::size(kTable));
    for (const TMessageTexts& t : kTable) v.push_back(t.message);
    return v;
  }();
  return all;
}

void KVSetKVLibEnglish() {
  for (const TMessageTexts& t : kTable) t.message->Set(t.english);
}

void KVSetKVLibChineseSimp() {
  for (const TMessageTexts& t : kTable) t.message->Set(t.chinese);
}

}  // namespace kv
