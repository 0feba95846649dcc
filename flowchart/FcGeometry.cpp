#include "flowchart/FcGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace kv {

TFcRect TFcRect::United(const TFcRect& other) const {
  if (other.IsEmpty()) return *this;
  if (IsEmpty()) return other;
  return {std::min(Left, other.Left), std::min(Top, other.Top), std::max(Right, other.Right),
          std::max(Bottom, other.Bottom)};
}

TFcRect BoundsOf(const std::vector<TFcPoint>& points) {
  TFcRect r;
  for (TFcPoint p : points) r = r.United({p.X, p.Y, p.X, p.Y});
  return r;
}

double DistanceToSegment(TFcPoint p, TFcPoint a, TFcPoint b) {
  double dx = double(b.X) - a.X, dy = double(b.Y) - a.Y;
  double px = double(p.X) - a.X, py = double(p.Y) - a.Y;
  double len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? std::clamp((px * dx + py * dy) / len2, 0.0, 1.0) : 0.0;
  return std::hypot(px - t * dx, py - t * dy);
}

double DistanceToPolyline(TFcPoint p, const TFcPolyline& line) {
  if (line.empty()) return std::numeric_limits<double>::infinity();
  if (line.size() == 1) return DistanceToSegment(p, line[0], line[0]);
  double best = std::numeric_limits<double>::infinity();
  for (size_t i = 1; i < line.size(); ++i) best = std::min(best, DistanceToSegment(p, line[i - 1], line[i]));
  return best;
}

bool PolygonContains(const TFcPolygon& polygon, TFcPoint p) {
  size_t n = polygon.size();
  if (n == 0) return false;
  // On the border counts as inside.
  for (size_t i = 0; i < n; ++i)
    if (DistanceToSegment(p, polygon[i], polygon[(i + 1) % n]) < 0.5) return true;
  bool inside = false;
  for (size_t i = 0, j = n - 1; i < n; j = i++) {
    const TFcPoint &a = polygon[i], &b = polygon[j];
    if ((a.Y > p.Y) != (b.Y > p.Y)) {
      double x = a.X + (double(p.Y) - a.Y) * (double(b.X) - a.X) / (double(b.Y) - a.Y);
      if (p.X < x) inside = !inside;
    }
  }
  return inside;
}

TFcPolyline FlattenQuadratic(TFcPoint a, TFcPoint c, TFcPoint b, int segments) {
  segments = std::max(segments, 1);
  TFcPolyline out;
  out.reserve(static_cast<size_t>(segments) + 1);
  for (int i = 0; i <= segments; ++i) {
    double t = double(i) / segments, u = 1 - t;
    double x = u * u * a.X + 2 * u * t * c.X + t * t * b.X;
    double y = u * u * a.Y + 2 * u * t * c.Y + t * t * b.Y;
    out.push_back({static_cast<int32_t>(std::lround(x)), static_cast<int32_t>(std::lround(y))});
  }
  return out;
}

TFcPolygon EllipsePolygon(const TFcRect& r, int segments) {
  double cx = (double(r.Left) + r.Right) / 2, cy = (double(r.Top) + r.Bottom) / 2;
  double rx = (double(r.Right) - r.Left) / 2, ry = (double(r.Bottom) - r.Top) / 2;
  TFcPolygon out;
  out.reserve(static_cast<size_t>(segments));
  for (int i = 0; i < segments; ++i) {
    double a = 2 * std::numbers::pi * i / segments;
    out.push_back({static_cast<int32_t>(std::lround(cx + rx * std::cos(a))),
                   static_cast<int32_t>(std::lround(cy + ry * std::sin(a)))});
  }
  return out;
}

TFcPoint PolylineMidpoint(const TFcPolyline& line) {
  if (line.empty()) return {};
  double total = 0;
  for (size_t i = 1; i < line.size(); ++i)
    total += std::hypot(double(line[i].X) - line[i - 1].X, double(line[i].Y) - line[i - 1].Y);
  double half = total / 2;
  for (size_t i = 1; i < line.size(); ++i) {
    double len = std::hypot(double(line[i].X) - line[i - 1].X, double(line[i].Y) - line[i - 1].Y);
    if (len >= half && len > 0) {
      double t = half / len;
      return {static_cast<int32_t>(std::lround(line[i - 1].X + t * (double(line[i].X) - line[i - 1].X))),
              static_cast<int32_t>(std::lround(line[i - 1].Y + t * (double(line[i].Y) - line[i - 1].Y)))};
    }
    half -= len;
  }
  return line.back();
}

}  // namespace kv
