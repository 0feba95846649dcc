// The plain geometry the model's hit testing and a view share.
#include <gtest/gtest.h>

#include <cmath>

#include "flowchart/FcGeometry.h"

using namespace kv;

TEST(FcGeometry, DistanceToSegmentMeasuresToTheNearestPointOfTheSegment) {
  EXPECT_DOUBLE_EQ(DistanceToSegment({5, 3}, {0, 0}, {10, 0}), 3.0);   // beside the middle
  EXPECT_DOUBLE_EQ(DistanceToSegment({13, 4}, {0, 0}, {10, 0}), 5.0);  // beyond the end
  EXPECT_DOUBLE_EQ(DistanceToSegment({3, 4}, {0, 0}, {0, 0}), 5.0);    // a degenerate segment
  EXPECT_TRUE(std::isinf(DistanceToPolyline({0, 0}, {})));
}

TEST(FcGeometry, PolygonContainsInsideAndBorderButNotOutside) {
  TFcPolygon tri{{0, 0}, {10, 0}, {0, 10}};
  EXPECT_TRUE(PolygonContains(tri, {2, 2}));
  EXPECT_TRUE(PolygonContains(tri, {5, 5}));  // on the slanted side
  EXPECT_TRUE(PolygonContains(tri, {0, 7}));  // on a vertical side
  EXPECT_FALSE(PolygonContains(tri, {6, 6}));
  EXPECT_FALSE(PolygonContains({}, {0, 0}));
}

TEST(FcGeometry, FlattenedQuadraticRunsFromStartToEndThroughTheMidCurve) {
  TFcPolyline q = FlattenQuadratic({0, 0}, {10, 20}, {20, 0}, 4);
  ASSERT_EQ(q.size(), 5u);
  EXPECT_EQ(q.front(), (TFcPoint{0, 0}));
  EXPECT_EQ(q.back(), (TFcPoint{20, 0}));
  EXPECT_EQ(q[2], (TFcPoint{10, 10}));  // t = 1/2: a/4 + c/2 + b/4
}

TEST(FcGeometry, MidpointAndBounds) {
  EXPECT_EQ(PolylineMidpoint({{0, 0}, {10, 0}, {10, 30}}), (TFcPoint{10, 10}));
  EXPECT_EQ(PolylineMidpoint({{4, 4}}), (TFcPoint{4, 4}));
  EXPECT_EQ(BoundsOf({{3, 9}, {-1, 4}}), (TFcRect{-1, 4, 3, 9}));
  EXPECT_TRUE(BoundsOf({}).IsEmpty());
  EXPECT_EQ(TFcRect{}.United({1, 2, 3, 4}), (TFcRect{1, 2, 3, 4}));
}
