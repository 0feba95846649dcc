// Plain geometry of the diagram model: points, rectangles and polygons in
// integer chart units, and the few computations the model's hit testing and
// a view's drawing share (distances, containment, flattened curves).
// Nothing here knows a windowing toolkit.
#pragma once

#include <cstdint>
#include <vector>

#include "KVCore_export.h"

namespace kv {

struct TFcPoint {
  int32_t X = 0;
  int32_t Y = 0;
  bool operator==(const TFcPoint&) const = default;
};

// A rectangle by its edges; Right and Bottom are inclusive (a 1-by-1
// rectangle has Left == Right). An empty rectangle has Right < Left.
struct KVCORE_EXPORT TFcRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = -1;
  int32_t Bottom = -1;
  bool operator==(const TFcRect&) const = default;

  bool IsEmpty() const { return Right < Left || Bottom < Top; }
  bool Contains(TFcPoint p) const { return p.X >= Left && p.X <= Right && p.Y >= Top && p.Y <= Bottom; }
  TFcRect Inflated(int32_t d) const { return {Left - d, Top - d, Right + d, Bottom + d}; }
  // The smallest rectangle holding both (an empty one holds nothing).
  TFcRect United(const TFcRect& other) const;
  TFcPoint Center() const { return {Left + (Right - Left) / 2, Top + (Bottom - Top) / 2}; }
};

// Display coordinates are kept within +-kFcMaxCoord, so that sums and
// differences of a few of them never overflow 32 bits, whatever a file holds.
constexpr int32_t kFcMaxCoord = 1 << 29;
constexpr int32_t ClampCoord(int64_t v) {
  return static_cast<int32_t>(v < -kFcMaxCoord ? -kFcMaxCoord : v > kFcMaxCoord ? kFcMaxCoord : v);
}

using TFcPolygon = std::vector<TFcPoint>;
using TFcPolyline = std::vector<TFcPoint>;

// The bounding rectangle of the points (empty for none).
KVCORE_EXPORT TFcRect BoundsOf(const std::vector<TFcPoint>& points);
// Distance from `p` to the segment a-b.
KVCORE_EXPORT double DistanceToSegment(TFcPoint p, TFcPoint a, TFcPoint b);
// Smallest distance from `p` to the polyline (a single point counts as a
// degenerate segment; an empty line is infinitely far).
KVCORE_EXPORT double DistanceToPolyline(TFcPoint p, const TFcPolyline& line);
// Whether `p` lies inside the polygon or on its border.
KVCORE_EXPORT bool PolygonContains(const TFcPolygon& polygon, TFcPoint p);
// The quadratic curve from `a` with control point `c` to `b`, as `segments`
// straight pieces: segments + 1 points from a to b.
KVCORE_EXPORT TFcPolyline FlattenQuadratic(TFcPoint a, TFcPoint c, TFcPoint b, int segments);
// The ellipse inscribed in `r` as a polygon of `segments` points.
KVCORE_EXPORT TFcPolygon EllipsePolygon(const TFcRect& r, int segments);
// The point halfway along the polyline (its only point when it has one).
KVCORE_EXPORT TFcPoint PolylineMidpoint(const TFcPolyline& line);

}  // namespace kv
