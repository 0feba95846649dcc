// The 16 linked points of every shape type, from the case table
// data/linked_points.txt.
#include <gtest/gtest.h>

#include <sstream>

#include "flowchart/FlowChart.h"
#include "testsupport/CaseFiles.h"
#include "testsupport/TestData.h"

using namespace kv;

namespace {
const char* const kShapeNames[kFcShapeTypeCount] = {
    "fcsNone",         "fcsRectangle",    "fcsEllipse",       "fcsRoundRect", "fcsDiamond", "fcsNorthTriangle",
    "fcsSouthTriangle", "fcsEastTriangle", "fcsWestTriangle", "fcsHexagon",   "fcsUser"};

int ShapeOf(const std::string& name) {
  for (int i = 0; i < kFcShapeTypeCount; ++i)
    if (name == kShapeNames[i]) return i;
  return -1;
}

class LinkedPoints : public testing::TestWithParam<kvtest::CaseRow> {};

TEST_P(LinkedPoints, MatchTheTable) {
  const kvtest::CaseRow& row = GetParam();
  ASSERT_EQ(row.problem, "");
  int type = ShapeOf(row.fields[0]);
  ASSERT_GE(type, 0) << row.fields[0];
  std::istringstream bounds(row.fields[1]);
  int left, top, width, height, zoom;
  ASSERT_TRUE(bounds >> left >> top >> width >> height >> zoom);
  TKVFlowChart chart;
  chart.SetZoom(static_cast<uint16_t>(zoom));
  TKVFcObject* o = chart.CreateObject(left, top, static_cast<uint16_t>(width), static_cast<uint16_t>(height),
                                      static_cast<TKVFcShapeType>(type), dotText);
  std::array<TFcPoint, 16> got = o->LinkedPoints();
  std::istringstream want(row.fields[2]);
  for (int i = 0; i < 16; ++i) {
    int x, y;
    char comma;
    ASSERT_TRUE(want >> x >> comma >> y) << "point " << i << " missing in the table";
    EXPECT_EQ(got[static_cast<size_t>(i)], (TFcPoint{x, y})) << "point " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, LinkedPoints,
                         testing::ValuesIn(kvtest::ReadCaseFile(kvtest::TestDataFolder() + "/linked_points.txt", 3)),
                         [](const auto& info) { return kvtest::CaseName(info.param); });

TEST(LinkedPointsUser, TheHookSuppliesThePoints) {
  TKVFlowChart chart;
  TKVFcObject* o = chart.CreateObject(0, 0, 40, 40, fcsUser, dotText);
  // Without a hook a user shape keeps the rectangle's points.
  EXPECT_EQ(o->LinkedPoint(4), (TFcPoint{39, 0}));
  o->UserPoints = [](const TKVFcObject&, const TFcRect& d) {
    std::array<TFcPoint, 16> p;
    p.fill({d.Left + 1, d.Top + 2});
    return p;
  };
  EXPECT_EQ(o->LinkedPoint(9), (TFcPoint{1, 2}));
}
}  // namespace
