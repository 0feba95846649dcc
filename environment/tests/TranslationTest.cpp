// Window translation: the two tables, the lookup and the walk over a window.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "environment/CoreMessages.h"
#include "environment/LanguageTranslate.h"

namespace kv {
namespace {

using Strings = std::vector<std::string>;

std::vector<std::string> NamesOf(const TStringList& table) {
  std::vector<std::string> names;
  for (int i = 0; i < table.Count(); ++i) names.push_back(table.Names(i));
  return names;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

class TranslationTest : public ::testing::Test {
protected:
  void SetUp() override { KVSetLanguage(ltEnglish); }
  void TearDown() override { KVSetLanguage(ltEnglish); }
};

// ---- Tables -------------------------------------------------------------------

TEST_F(TranslationTest, BothTablesHaveTheSameNamesInTheSameOrder) {
  KVSetLanguage(ltSimpleChinese);
  KVSetLanguage(ltEnglish);
  ASSERT_NE(KVEnglishLanguage, nullptr);
  ASSERT_NE(KVChineseSimpLanguage, nullptr);
  // The original 347 names come first; the windows' own entries follow them.
  ASSERT_GE(KVEnglishLanguage->Count(), 347);
  EXPECT_EQ(NamesOf(*KVEnglishLanguage), NamesOf(*KVChineseSimpLanguage));
  EXPECT_EQ(KVEnglishLanguage->Strings(0), "MainForm=Vandrel Pro 1.02");
  EXPECT_EQ(KVEnglishLanguage->Names(346), "lbPostRecords");
}

TEST_F(TranslationTest, EveryLineIsANameAndAValue) {
  for (TLanguageType language : {ltEnglish, ltSimpleChinese}) {
    SetWindowTranslationLanguage(language);
    for (int i = 0; i < KVLanguage->Count(); ++i) {
      const std::string& line = KVLanguage->Strings(i);
      SCOPED_TRACE(line);
      const size_t eq = line.find('=');
      ASSERT_NE(eq, std::string::npos);
      EXPECT_GT(eq, 0u);
      EXPECT_LT(eq + 1, line.size());  // no empty values in the shipped tables
      EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
    }
  }
}

TEST_F(TranslationTest, OnlyTheImportModesStandTwice) {
  std::map<std::string, int> seen;
  for (const std::string& n : NamesOf(*KVEnglishLanguage)) ++seen[Lower(n)];
  for (const auto& [name, count] : seen) {
    if (name == "append" || name == "update" || name == "delete")
      EXPECT_EQ(count, 2) << name;
    else
      EXPECT_EQ(count, 1) << name;
  }
}

TEST_F(TranslationTest, ChineseTableTranslatesWhatItNames) {
  // Apart from the program's name and the job states' own words, every
  // caption differs between the languages.
  KVSetLanguage(ltSimpleChinese);
  int same = 0;
  for (int i = 0; i < KVChineseSimpLanguage->Count(); ++i)
    if (KVChineseSimpLanguage->ValueFromIndex(i) == KVEnglishLanguage->ValueFromIndex(i)) ++same;
  EXPECT_EQ(same, 1);  // MainForm
}

TEST_F(TranslationTest, TellingValues) {
  EXPECT_EQ(Translate("MainForm", "x"), "Vandrel Pro 1.02");
  for (const char* state : {"Running", "Waiting", "Complete", "Stop", "Error"}) EXPECT_EQ(Translate(state, "x"), state);
  EXPECT_EQ(Translate("AppendUpdate", "x"), "Append And Update");
  EXPECT_EQ(Translate("Copy", "x"), "Copy(first delete ,then duplicate)");
  KVSetLanguage(ltSimpleChinese);
  EXPECT_EQ(Translate("MainForm", "x"), "Vandrel Pro 1.02");
  const Strings states = {"Running", "Waiting", "Complete", "Stop", "Error"};
  const Strings chinese = {"正在运行", "等待", "完成", "停止", "错误"};
  for (size_t i = 0; i < states.size(); ++i) EXPECT_EQ(Translate(states[i], "x"), chinese[i]);
}

// ---- Lookup -------------------------------------------------------------------

TEST_F(TranslationTest, FirstLineWinsAndCaseDoesNotMatter) {
  EXPECT_EQ(Translate("Append", "Append"), "Added");
  EXPECT_EQ(Translate("Update", "Update"), "Updated");
  EXPECT_EQ(Translate("Delete", "Delete"), "Deleted");
  EXPECT_EQ(Translate("APPEND", "x"), "Added");
  EXPECT_EQ(Translate("mainform", "x"), "Vandrel Pro 1.02");
  KVSetLanguage(ltSimpleChinese);
  EXPECT_EQ(Translate("Append", "Append"), "添加");
}

TEST_F(TranslationTest, MissingNameOrEmptyValueGivesTheDefault) {
  EXPECT_EQ(Translate("NoSuchComponent", "Keep me"), "Keep me");
  EXPECT_EQ(Translate("", "empty name"), "empty name");
  EXPECT_EQ(Translate("MainForm=Vandrel Pro 1.02", "whole line"), "whole line");
  KVLanguage->Insert(0, "lbName=");  // an empty value hides nothing behind it
  EXPECT_EQ(Translate("lbName", "Name"), "Name");
  KVLanguage->Insert(0, "OnlyName");  // a line without "=" names nothing
  EXPECT_EQ(Translate("OnlyName", "d"), "d");
}

TEST_F(TranslationTest, SwitchingRefillsTheTableFromItsStoredText) {
  KVLanguage->Clear();
  KVLanguage->Add("MainForm=changed");
  KVSetEnglish();
  EXPECT_EQ(KVLanguage->Count(), KVEnglishLanguage->Count());
  EXPECT_GE(KVLanguage->Count(), 347);
  EXPECT_EQ(Translate("MainForm", "x"), "Vandrel Pro 1.02");
  EXPECT_EQ(KVLanguage->Text().size() > 0, true);
  EXPECT_EQ(WindowTranslationText(ltEnglish).substr(0, 26), "MainForm=Vandrel Pro 1.02\n");
}

TEST_F(TranslationTest, HintsDefaultToEmpty) {
  EXPECT_EQ(TranslateHint("acRun"), "Run the selected job");
  EXPECT_EQ(TranslateHint("btnOk"), "");
  EXPECT_EQ(TranslateHint("NoSuchComponent"), "");
  KVSetLanguage(ltSimpleChinese);
  EXPECT_EQ(TranslateHint("acRun"), "运行选定的作业");
}

TEST_F(TranslationTest, NoTableInForceLeavesEverythingAsItIs) {
  TStringList* saved = KVLanguage;
  KVLanguage = nullptr;
  EXPECT_EQ(Translate("MainForm", "as is"), "as is");
  EXPECT_EQ(TranslateHint("acRun"), "");
  KVLanguage = saved;
}

// ---- The walk over a window -----------------------------------------------------

class FakeComponent : public ITranslatableComponent {
public:
  FakeComponent(TComponentKind kind, std::string name, std::string caption = {}, std::string hint = {})
      : kind(kind), name(std::move(name)), caption(std::move(caption)), hint(std::move(hint)) {}

  TComponentKind Kind() const override { return kind; }
  std::string Name() const override { return name; }
  std::string Caption() const override { return caption; }
  void SetCaption(const std::string& c) override { caption = c; }
  std::string Hint() const override { return hint; }
  void SetHint(const std::string& h) override { hint = h; }
  bool HasAction() const override { return hasAction; }
  int ItemCount() const override { return static_cast<int>(items.size()); }
  std::string Item(int i) const override { return items.at(static_cast<size_t>(i)); }
  void SetItem(int i, const std::string& t) override { items.at(static_cast<size_t>(i)) = t; }
  int ComponentCount() const override { return static_cast<int>(children.size()); }
  ITranslatableComponent* Component(int i) override { return children.at(static_cast<size_t>(i)).get(); }

  FakeComponent& Own(TComponentKind k, std::string n, std::string c = {}, std::string h = {}) {
    children.push_back(std::make_unique<FakeComponent>(k, std::move(n), std::move(c), std::move(h)));
    return static_cast<FakeComponent&>(*children.back());
  }

  TComponentKind kind;
  std::string name, caption, hint;
  bool hasAction = false;
  Strings items;
  std::vector<std::unique_ptr<ITranslatableComponent>> children;
};

using K = TComponentKind;

TEST_F(TranslationTest, FormCaptionComesFromItsName) {
  FakeComponent form(K::ckForm, "TipForm", "caption at design time");
  LanguageTanslate(form);
  EXPECT_EQ(form.caption, "Tip of the Day");
  FakeComponent unknown(K::ckForm, "SomeNewForm", "Kept");
  LanguageTanslate(unknown);
  EXPECT_EQ(unknown.caption, "Kept");
}

TEST_F(TranslationTest, ButtonsAndMenuItemsTakeTheirCaptionUnlessAnActionGivesIt) {
  FakeComponent form(K::ckForm, "FChartEditor");
  auto& ok = form.Own(K::ckPushButton, "btnOk", "OK", "hint from the form");
  auto& tool = form.Own(K::ckToolButton, "btnCreateTextDataSet", "Txt", "old");
  tool.hasAction = true;
  auto& bitmap = form.Own(K::ckBitmapButton, "btnCreateLink", "Link", "old");
  auto& menu = form.Own(K::ckMenuItem, "miDelete", "Del", "old");
  auto& actionMenu = form.Own(K::ckMenuItem, "iDelete", "from action", "old");
  actionMenu.hasAction = true;
  LanguageTanslate(form);
  EXPECT_EQ(ok.caption, "&OK");
  EXPECT_EQ(ok.hint, "");  // no btnOk_Hint line: the form's hint is dropped
  EXPECT_EQ(tool.caption, "Txt");
  EXPECT_EQ(tool.hint, "Add a text file dataset");
  EXPECT_EQ(bitmap.caption, "DB Link");
  EXPECT_EQ(bitmap.hint, "Draw a DB link between two datasets");
  EXPECT_EQ(menu.caption, "&Delete");
  EXPECT_EQ(menu.hint, "Delete the selected shapes and links");
  EXPECT_EQ(actionMenu.caption, "from action");
  EXPECT_EQ(actionMenu.hint, "Delete the selected item");
}

TEST_F(TranslationTest, CaptionOnlyKindsKeepTheirHints) {
  FakeComponent form(K::ckForm, "KVEnvForm");
  auto& tab = form.Own(K::ckTabSheet, "tshGeneral", "tab", "tab hint");
  auto& label = form.Own(K::ckLabel, "lbMaxRunJobs", "label", "label hint");
  auto& group = form.Own(K::ckGroupBox, "gbxPrompting", "group", "group hint");
  auto& radio = form.Own(K::ckRadioButton, "rbtNoWarning", "radio", "radio hint");
  auto& missing = form.Own(K::ckLabel, "lbNotInTheTable", "stays", "stays too");
  LanguageTanslate(form);
  EXPECT_EQ(form.caption, "Options");
  EXPECT_EQ(tab.caption, "General");
  EXPECT_EQ(label.caption, "Max running jobs:");
  EXPECT_EQ(group.caption, "Confirmations");
  EXPECT_EQ(radio.caption, "No warning");
  EXPECT_EQ(missing.caption, "stays");
  for (auto* c : {&tab, &label, &group, &radio}) EXPECT_NE(c->hint.find("hint"), std::string::npos);
  EXPECT_EQ(missing.hint, "stays too");
}

TEST_F(TranslationTest, ActionsAndCheckBoxesTakeCaptionAndHint) {
  FakeComponent form(K::ckForm, "MainForm");
  auto& run = form.Own(K::ckAction, "acRun", "Run", "old");
  auto& about = form.Own(K::ckAction, "acFindNext", "Next", "old");
  auto& check = form.Own(K::ckCheckBox, "cbxShowTips", "Show", "old");
  LanguageTanslate(form);
  EXPECT_EQ(run.caption, "&Run");
  EXPECT_EQ(run.hint, "Run the selected job");
  EXPECT_EQ(about.caption, "Find &Next");
  EXPECT_EQ(about.hint, "");
  EXPECT_EQ(check.caption, "&Show tips at startup");
  EXPECT_EQ(check.hint, "");
}

TEST_F(TranslationTest, ListsTranslateEachItemByItsOwnText) {
  KVSetLanguage(ltSimpleChinese);
  FakeComponent form(K::ckForm, "KVEnvForm");
  auto& group = form.Own(K::ckRadioGroup, "rgpDblClickOnRunJob", "Run job");
  group.items = {"RunOrPause", "Set Property", "Set Schedule", "Something else"};
  auto& combo = form.Own(K::ckComboBox, "cbMode", "combo caption");
  combo.items = {"Append", "Copy", "Not in the table"};
  auto& untouched = form.Own(K::ckListBox, "lstOther");
  untouched.items = {"alpha", "beta", ""};
  auto& values = form.Own(K::ckValueListEditor, "vleProps");
  values.items = {"Date", "Time"};
  auto& tree = form.Own(K::ckTreeView, "tvFunctions");
  tree.items = {"Number function", "Date function", "abs"};
  auto& view = form.Own(K::ckListView, "lvJobs", "", "view hint");
  view.items = {"Job Name", "Job Status", "Notes"};
  LanguageTanslate(form);
  EXPECT_EQ(group.caption, "双击运行中的作业");
  EXPECT_EQ(group.items, (Strings{"运行或暂停", "设置属性", "设置调度", "Something else"}));
  EXPECT_EQ(combo.items, (Strings{"添加", "复制(先删除,再复制)", "Not in the table"}));
  EXPECT_EQ(combo.caption, "combo caption");  // lists have no caption of their own
  EXPECT_EQ(untouched.items, (Strings{"alpha", "beta", ""}));
  EXPECT_EQ(values.items, (Strings{"日期", "时间"}));
  EXPECT_EQ(tree.items, (Strings{"数值函数", "日期函数", "abs"}));
  EXPECT_EQ(view.items, (Strings{"作业名称", "作业状态", "备注"}));
  EXPECT_EQ(view.hint, "view hint");
}

TEST_F(TranslationTest, OtherComponentsAndEmptySlotsAreLeftAlone) {
  FakeComponent form(K::ckForm, "DebugForm");
  auto& other = form.Own(K::ckOther, "acRun", "Run", "hint");
  other.items = {"Append"};
  form.children.push_back(nullptr);
  auto& nested = form.Own(K::ckForm, "TipForm", "nested form");
  LanguageTanslate(form);
  EXPECT_EQ(form.caption, "Debug");
  EXPECT_EQ(other.caption, "Run");
  EXPECT_EQ(other.hint, "hint");
  EXPECT_EQ(other.items, Strings{"Append"});
  EXPECT_EQ(nested.caption, "nested form");  // only the form itself is translated by name
}

TEST_F(TranslationTest, ActionMenuBarTranslatesTopLevelCaptions) {
  FakeComponent bar(K::ckActionMenuBar, "ActionMainMenuBar", "bar");
  bar.items = {"&File", "&Edit", "&View", "&Run", "&Tools", "&Help", "&Window"};
  KVSetLanguage(ltSimpleChinese);
  LanguageTansAcMenu(bar);
  EXPECT_EQ(bar.items, (Strings{"文件(&F)", "编辑(&E)", "查看(&V)", "运行(&R)", "工具(&T)", "帮助(&H)", "&Window"}));
  EXPECT_EQ(bar.caption, "bar");
  // Translating again in Chinese finds no lines named by the Chinese captions.
  LanguageTansAcMenu(bar);
  EXPECT_EQ(bar.items[0], "文件(&F)");
}

}  // namespace
}  // namespace kv
