// Hit testing on one scene: an ellipse A at (0,0) 100 by 80, a rectangle
// B at (200,0) 50 by 50, and a straight connection C labelled "L" from A's
// point 6 (99,40) to B's point 14 (200,25) with an arrow head at B.
#include <gtest/gtest.h>

#include <functional>

#include "flowchart/FlowChart.h"

using namespace kv;

namespace {

struct Scene {
  TKVFlowChart chart;
  TKVFcObject* A;
  TKVFcObject* B;
  TKVFcConnection* C;
  Scene() {
    A = chart.CreateObject(0, 0, 100, 80, fcsEllipse, dotText);
    B = chart.CreateObject(200, 0, 50, 50, fcsRectangle, dotODBC);
    C = chart.CreateConnection(A, B, 6, 14);
    C->SetText("L");
  }
  std::string Name(const void* p) const { return p == A ? "A" : p == B ? "B" : p == C ? "C" : p ? "?" : "-"; }
};

constexpr TKVFcHitTest By = HitBit(htByObject), On = HitBit(htOnObject), Line = HitBit(htOnConnection),
                       Label = HitBit(htOnConLabel), ArrowDst = HitBit(htOnArrowDst), SelPt = HitBit(htOnSelPoint),
                       Nowhere = HitBit(htNowhere);

struct HitCase {
  const char* name;
  std::function<void(Scene&)> setup;
  TFcPoint window;
  TKVFcHitTest flags;
  const char* object;
  const char* connection;
  int point;
};

const HitCase kCases[] = {
    {"inside the ellipse", nullptr, {50, 40}, By | On, "A", "-", -1},
    {"corner of the ellipse's rectangle", nullptr, {2, 2}, By, "A", "-", -1},
    {"just outside the rectangle, within the slack", nullptr, {-1, 40}, By, "A", "-", -1},
    {"on the line", nullptr, {120, 37}, Line, "-", "C", -1},
    {"away from everything", nullptr, {120, 60}, Nowhere, "-", "-", -1},
    {"on the label only", nullptr, {146, 39}, Label, "-", "C", -1},
    {"on the arrow head", nullptr, {196, 26}, Line | ArrowDst, "-", "C", -1},
    {"shape and opaque connection: the connection wins", nullptr, {201, 25}, By | Line, "B", "C", -1},
    {"shape and transparent connection: the shape wins", [](Scene& s) { s.C->SetTransparent(true); }, {201, 25},
     By | On, "B", "-", -1},
    {"sizing handle of the selected shape", [](Scene& s) { s.chart.Select(s.B); }, {251, -2}, By | SelPt, "B", "-",
     2},
    {"no handles on an unselected shape", nullptr, {251, -2}, By, "B", "-", -1},
    {"point of the selected connection", [](Scene& s) { s.chart.Select(s.C); }, {99, 40}, Line | SelPt, "-", "C", 0},
    {"hidden shape", [](Scene& s) { s.A->SetVisible(false); }, {50, 40}, Nowhere, "-", "-", -1},
    {"beyond the line tolerance", nullptr, {110, 32}, Nowhere, "-", "-", -1},
    {"a wider screen widens the tolerance", [](Scene& s) { s.chart.SetScreenWidth(2048); }, {110, 32}, Line, "-",
     "C", -1},
    {"zoom halves the shapes", [](Scene& s) { s.chart.SetZoom(50); }, {25, 20}, By | On, "A", "-", -1},
    {"zoom: the old place is empty",
     [](Scene& s) {
       s.chart.SetZoom(50);
       s.C->SetText("");
     },
     {90, 70}, Nowhere, "-", "-", -1},
    {"scrolled window point",
     [](Scene& s) {
       s.chart.SetZoom(50);
       s.chart.SetScrollOrigin({10, 0});
     },
     {15, 20}, By | On, "A", "-", -1},
};

class HitTest : public testing::TestWithParam<HitCase> {};

TEST_P(HitTest, FindsWhatLiesUnderThePoint) {
  const HitCase& c = GetParam();
  Scene s;
  // A first hit before the change: the cache must not hand back a stale answer.
  s.chart.GetHitTestAt(c.window);
  if (c.setup) c.setup(s);
  TKVFcHitInfo h = s.chart.GetHitTestAt(c.window);
  EXPECT_EQ(int(h.Flags), int(c.flags)) << c.name;
  EXPECT_EQ(s.Name(h.Object), c.object) << c.name;
  EXPECT_EQ(s.Name(h.Connection), c.connection) << c.name;
  EXPECT_EQ(h.Point, c.point) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Scene, HitTest, testing::ValuesIn(kCases), [](const auto& info) {
  std::string n = info.param.name;
  for (char& ch : n)
    if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return n;
});

TEST(HitTestLookups, ObjectAtAndConnectionAt) {
  Scene s;
  EXPECT_EQ(s.chart.GetObjectAt({50, 40}), s.A);
  EXPECT_EQ(s.chart.GetObjectAt({2, 2}), nullptr);  // only by the rectangle
  EXPECT_EQ(s.chart.GetConnectionAt({120, 37}), s.C);
  EXPECT_EQ(s.chart.GetConnectionAt({50, 40}), nullptr);
  // The same point twice gives the same (cached) answer.
  TKVFcHitInfo a = s.chart.GetHitTestAt({120, 37}), b = s.chart.GetHitTestAt({120, 37});
  EXPECT_EQ(a.Flags, b.Flags);
  EXPECT_EQ(a.Connection, b.Connection);
}

TEST(HitTestLookups, TopmostShapeWins) {
  Scene s;
  TKVFcObject* top = s.chart.CreateObject(20, 20, 30, 30, fcsRectangle, dotText);
  EXPECT_EQ(s.chart.GetObjectAt({30, 30}), top);
  s.chart.SendToBack(top);
  EXPECT_EQ(s.chart.GetObjectAt({30, 30}), s.A);
}

}  // namespace
