// Tips of the tip window.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "environment/CoreMessages.h"
#include "environment/Tips.h"

namespace kv {
namespace {

class TipsTest : public ::testing::Test {
protected:
  void TearDown() override { KVSetLanguage(ltEnglish); }
};

void ExpectHeadingAndText(const std::vector<std::string>& tips) {
  std::set<std::string> headings;
  for (const std::string& tip : tips) {
    SCOPED_TRACE(tip);
    const size_t br = tip.find('\n');
    ASSERT_NE(br, std::string::npos);
    EXPECT_EQ(tip.find('\n', br + 1), std::string::npos);  // one heading line, one text
    EXPECT_GT(br, 0u);
    EXPECT_GT(tip.size() - br - 1, 20u);
    EXPECT_EQ(tip.find('\r'), std::string::npos);
    EXPECT_TRUE(headings.insert(tip.substr(0, br)).second);
  }
}

TEST_F(TipsTest, SixteenEnglishTips) {
  KVSetLanguage(ltEnglish);
  std::vector<std::string> tips;
  GetTips(tips);
  EXPECT_EQ(tips.size(), 16u);
  ExpectHeadingAndText(tips);
}

TEST_F(TipsTest, SeventeenChineseTips) {
  KVSetLanguage(ltSimpleChinese);
  std::vector<std::string> tips;
  GetTips(tips);
  EXPECT_EQ(tips.size(), 17u);
  ExpectHeadingAndText(tips);
  EXPECT_EQ(tips[0].substr(0, tips[0].find('\n')), "作业和数据链接");
}

TEST_F(TipsTest, TipsAreAppendedToWhatTheListHolds) {
  TStringList list;
  list.Add("kept");
  GetTips(list);
  ASSERT_EQ(list.Count(), 17);
  EXPECT_EQ(list.Strings(0), "kept");
  std::vector<std::string> tips;
  GetTips(tips);
  for (int i = 1; i < list.Count(); ++i) EXPECT_EQ(list.Strings(i), tips[static_cast<size_t>(i - 1)]);
  GetTips(list);
  EXPECT_EQ(list.Count(), 33);
}

}  // namespace
}  // namespace kv
