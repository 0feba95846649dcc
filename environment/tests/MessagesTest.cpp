// Message tables in two languages and the language switch.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "environment/CoreMessages.h"
#include "environment/LanguageTranslate.h"
#include "foundation/Exceptions.h"
#include "foundation/Format.h"
#include "foundation/LibMessages.h"

namespace kv {
namespace {

// Messages whose Chinese text is the English one.
const std::set<std::string> kSameInBothLanguages = {
    "STrue", "SFalse", "STextDataSetHaveSomeField", "STimeFormatString",  // core
    "SExpFormatStringError", "SCanotOpenFile",                            // foundation
};

std::vector<TMessage*> AllMessages() {
  std::vector<TMessage*> all = KVLibMessages();
  const auto& core = KVCoreMessages();
  all.insert(all.end(), core.begin(), core.end());
  return all;
}

// The texts of every message while `language` is in force.
std::vector<std::string> TextsIn(TLanguageType language) {
  KVSetLanguage(language);
  std::vector<std::string> texts;
  for (TMessage* m : AllMessages()) texts.push_back(m->Text());
  return texts;
}

// Placeholders of a format text in order (the kv::Format grammar), with the
// line breaks, which must also stay where the sentence needs them.
std::vector<std::string> Placeholders(const std::string& text) {
  static const std::regex re(R"(%%|%(\d+:)?-?(\d+|\*)?(\.(\d+|\*))?[a-zA-Z]|\r|\n)");
  std::vector<std::string> r;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it)
    if (it->str() != "%%") r.push_back(it->str());
  return r;
}

bool IsValidUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const auto lead = static_cast<unsigned char>(s[i]);
    size_t extra;
    if (lead < 0x80) extra = 0;
    else if ((lead & 0xE0) == 0xC0) extra = 1;
    else if ((lead & 0xF0) == 0xE0) extra = 2;
    else if ((lead & 0xF8) == 0xF0) extra = 3;
    else return false;
    if (s.size() - i <= extra) return false;
    for (size_t k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += extra + 1;
  }
  return true;
}

// Formats `text` with one sample argument per placeholder, of the kind the
// placeholder asks for; kv::Format raises EConvertError on any mismatch.
std::string FormatWithSamples(const std::string& text) {
  std::vector<TFormatArg> args;
  args.reserve(8);
  for (const std::string& p : Placeholders(text)) {
    switch (p.back()) {
      case 's': args.emplace_back("name"); break;
      case 'd': args.emplace_back(42); break;
      case 'f': args.emplace_back(2.5); break;
      default: break;  // line breaks
    }
  }
  return FormatV(text, args.data(), args.size());
}

class MessagesTest : public ::testing::Test {
protected:
  void TearDown() override { KVSetLanguage(ltEnglish); }
};

TEST_F(MessagesTest, TablesHoldEveryMessageOnceInTableOrder) {
  ASSERT_EQ(KVLibMessages().size(), 23u);  // 22 of the table and "Expression too complex"
  ASSERT_EQ(KVCoreMessages().size(), 111u);  // and the warning of a key mode without an index
  EXPECT_STREQ(KVLibMessages().front()->Name(), "SExpTransResult_Compile");
  EXPECT_STREQ(KVLibMessages().back()->Name(), "SCanotOpenFile");
  EXPECT_STREQ(KVCoreMessages().front()->Name(), "SLogType_Error");
  EXPECT_STREQ(KVCoreMessages().back()->Name(), "STimeFormatString");
  std::set<std::string> names;
  for (TMessage* m : AllMessages()) EXPECT_TRUE(names.insert(m->Name()).second) << m->Name();
  // The variables carry their own names.
  EXPECT_STREQ(SDBLinkFindErrWhenImportIntoTableMsg.Name(), "SDBLinkFindErrWhenImportIntoTableMsg");
  EXPECT_STREQ(SDivByZerofDiv.Name(), "SDivByZerofDiv");
}

TEST_F(MessagesTest, EnglishIsInForceAtLoadWithTheOriginalWording) {
  EXPECT_EQ(KVLanguageType, ltEnglish);
  EXPECT_STREQ(SLogType_Warning.c_str(), "Warnint");
  EXPECT_STREQ(SDBLinkProperty_Orgin.c_str(), "Orgin");
  EXPECT_STREQ(EDataSetCanotBeDest.c_str(), "DataSet:%s canot be target!");
  EXPECT_STREQ(SExceedMaxJobs.c_str(), "Exceed then max jobs limit.");
  EXPECT_STREQ(SAllFiles.c_str(), "All files (*.*)|*.*");
  EXPECT_STREQ(SDBLinkFindErrWhenImportIntoTableMsg.c_str(),
               "Error found when importing into table:%s\rInfo: %s,\r\ndo you want view the message next time?");
  EXPECT_STREQ(SDateFormatString.c_str(), "mm-dd-yyyy");
  EXPECT_STREQ(SExpTransResult_ParamNoEnougth.c_str(), "Parameter not enough");
  EXPECT_STREQ(SCanotOpenFile.c_str(), "打不开数据结构类文件");
}

TEST_F(MessagesTest, SwitchingChangesEveryMessageAndBackAgain) {
  const std::vector<std::string> english = TextsIn(ltEnglish);
  const std::vector<std::string> chinese = TextsIn(ltSimpleChinese);
  EXPECT_EQ(KVLanguageType, ltSimpleChinese);
  const std::vector<TMessage*> all = AllMessages();
  for (size_t i = 0; i < all.size(); ++i) {
    SCOPED_TRACE(all[i]->Name());
    EXPECT_FALSE(chinese[i].empty());
    if (kSameInBothLanguages.count(all[i]->Name()))
      EXPECT_EQ(chinese[i], english[i]);
    else
      EXPECT_NE(chinese[i], english[i]);
  }
  EXPECT_EQ(TextsIn(ltEnglish), english);
  EXPECT_EQ(KVLanguageType, ltEnglish);
  EXPECT_EQ(TextsIn(ltSimpleChinese), chinese);  // switching twice changes nothing more
}

TEST_F(MessagesTest, ChineseTextsKeepThePlaceholdersInOrder) {
  const std::vector<std::string> english = TextsIn(ltEnglish);
  const std::vector<std::string> chinese = TextsIn(ltSimpleChinese);
  const std::vector<TMessage*> all = AllMessages();
  size_t withPlaceholders = 0;
  for (size_t i = 0; i < all.size(); ++i) {
    SCOPED_TRACE(all[i]->Name());
    EXPECT_EQ(Placeholders(chinese[i]), Placeholders(english[i]));
    EXPECT_TRUE(IsValidUtf8(chinese[i]));
    EXPECT_TRUE(IsValidUtf8(english[i]));
    if (!Placeholders(english[i]).empty()) ++withPlaceholders;
  }
  EXPECT_GT(withPlaceholders, 60u);  // the check did look at the formatted messages
}

TEST_F(MessagesTest, PlaceholderScannerSeesWhatFormatSees) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Placeholders("a %s b %d c %f"), (V{"%s", "%d", "%f"}));
  EXPECT_EQ(Placeholders("100%% %0:s %-10.2f"), (V{"%0:s", "%-10.2f"}));
  EXPECT_EQ(Placeholders("x\r\ny"), (V{"\r", "\n"}));
  EXPECT_NE(Placeholders("%s %d"), Placeholders("%d %s"));
}

TEST_F(MessagesTest, EveryMessageFormatsInBothLanguages) {
  for (TLanguageType language : {ltEnglish, ltSimpleChinese}) {
    KVSetLanguage(language);
    for (TMessage* m : AllMessages()) {
      SCOPED_TRACE(m->Name());
      EXPECT_NO_THROW(FormatWithSamples(m->Text()));
    }
  }
  KVSetLanguage(ltSimpleChinese);
  EXPECT_EQ(Format(SCheckFieldExpErr.c_str(), "Amount", "Orders", "bad"),
            "检查目标数据集字段:Amount在数据链接:Orders中的计算公式时发现错误!错误信息:bad");
  EXPECT_EQ(Format(SDivByZeroiDiv.c_str(), 5), "被0除iDiv(5,0)");
  // A message formatted with too few arguments is refused, not read past.
  EXPECT_THROW(Format(SDBLinkErrorMsg.c_str(), "Orders"), EConvertError);
}

TEST_F(MessagesTest, TellingChineseTexts) {
  KVSetLanguage(ltSimpleChinese);
  EXPECT_STREQ(SDateFormatString.c_str(), "yyyy.mm.dd");
  EXPECT_STREQ(SDateTimeFormatString.c_str(), "yyyy.mm.dd hh:mm:ss");
  EXPECT_STREQ(STimeFormatString.c_str(), "hh:mm:ss");
  EXPECT_STREQ(SExpTransResult_Compile.c_str(), "编译完成");
  EXPECT_STREQ(SExpTransResult_NeedOper.c_str(), "需要操作数");
  EXPECT_STREQ(SFlowerUpfDiv.c_str(), "浮点数上溢fDiv(%f,%f)");
  EXPECT_STREQ(SExpFormatStringError.c_str(), "Format string error");
  EXPECT_STREQ(SLogType_Error.c_str(), "错误");
  EXPECT_STREQ(SLogType_Warning.c_str(), "警告");
  EXPECT_STREQ(SLogType_Information.c_str(), "信息");
  EXPECT_STREQ(SImporting.c_str(), "正在导入...");
  EXPECT_STREQ(STrue.c_str(), "True");
  EXPECT_STREQ(SFalse.c_str(), "False");
}

TEST_F(MessagesTest, SwitchAlsoSwapsTheWindowTable) {
  KVSetLanguage(ltSimpleChinese);
  ASSERT_NE(KVLanguage, nullptr);
  EXPECT_EQ(KVLanguage, KVChineseSimpLanguage);
  KVSetLanguage(ltEnglish);
  EXPECT_EQ(KVLanguage, KVEnglishLanguage);
  // The partial switches touch only their own tables.
  KVSetKVLibChineseSimp();
  EXPECT_STREQ(SErrorOnRun.c_str(), "运行错误");
  EXPECT_STREQ(SImporting.c_str(), "Importing...");
  EXPECT_EQ(KVLanguage, KVEnglishLanguage);
  KVSetChineseSimp();
  EXPECT_STREQ(SImporting.c_str(), "正在导入...");
  EXPECT_EQ(KVLanguage, KVChineseSimpLanguage);
  KVSetKVLibEnglish();
  KVSetEnglish();
  EXPECT_STREQ(SErrorOnRun.c_str(), "Running error");
  EXPECT_STREQ(SImporting.c_str(), "Importing...");
}

TEST_F(MessagesTest, UnknownLanguageFallsBackToEnglish) {
  KVSetLanguage(ltSimpleChinese);
  KVSetLanguage(static_cast<TLanguageType>(7));
  EXPECT_EQ(KVLanguageType, ltEnglish);
  EXPECT_STREQ(SValidateOk.c_str(), "Validate ok!");
  EXPECT_EQ(KVLanguage, KVEnglishLanguage);
}

TEST_F(MessagesTest, CoreMessageTextReadsEitherLanguageWithoutSwitching) {
  EXPECT_STREQ(CoreMessageText(SDateFormatString, ltSimpleChinese), "yyyy.mm.dd");
  EXPECT_STREQ(CoreMessageText(SDateFormatString, ltEnglish), "mm-dd-yyyy");
  EXPECT_STREQ(SDateFormatString.c_str(), "mm-dd-yyyy");
  EXPECT_EQ(CoreMessageText(SDivByZeroiDiv, ltEnglish), nullptr);  // a foundation message
  EXPECT_EQ(CoreMessageText(SDateFormatString, static_cast<TLanguageType>(2)), nullptr);
}

}  // namespace
}  // namespace kv
