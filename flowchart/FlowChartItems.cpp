// Shapes and connections: their geometry at the current zoom, their owned
// dataset and DB link, and their persisted properties.
#include <algorithm>
#include <cmath>

#include "data/OracleDataSets.h"
#include "data/QueryDataSet.h"
#include "data/TableDataSets.h"
#include "data/TextDataSet.h"
#include "data/TextFileDataset.h"
#include "flowchart/FlowChart.h"
#include "foundation/Exceptions.h"

namespace kv {

KV_IMPLEMENT_ABSTRACT_CLASS(TKVFcItem, TBaseObject)
KV_IMPLEMENT_CLASS(TKVFcObject, TKVFcItem)
KV_IMPLEMENT_CLASS(TKVFcConnection, TKVFcItem)
KV_IMPLEMENT_CLASS(TSaveChart, TBaseObject)

namespace {
const TClassRegistrar g_registrar{TKVFcObject::StaticClass(), TKVFcConnection::StaticClass(),
                                  TSaveChart::StaticClass()};

const TKVFcFont& DefaultFont() {
  static const TKVFcFont font;
  return font;
}

// Which way "inward" is for each of the 16 linked points (towards the
// shape's centre): -1, 0 or +1 per axis.
constexpr int kInX[16] = {1, 1, 0, -1, -1, -1, -1, -1, -1, -1, 0, 1, 1, 1, 1, 1};
constexpr int kInY[16] = {1, 1, 1, 1, 1, 1, 0, -1, -1, -1, -1, -1, -1, -1, 0, 1};

using Points = std::array<TFcPoint, 16>;

void MoveIn(Points& p, std::initializer_list<int> which, int dx, int dy) {
  for (int i : which) {
    p[i].X += kInX[i] * dx;
    p[i].Y += kInY[i] * dy;
  }
}

// All three become the point (x of b, y of c).
void Collapse(Points& p, int a, int b, int c) {
  TFcPoint to{p[b].X, p[c].Y};
  p[a] = p[b] = p[c] = to;
}

int32_t F(int32_t v, int32_t k) { return static_cast<int32_t>((int64_t(v) * k + 512) / 1024); }

Points RectanglePoints(int32_t L, int32_t T, int32_t W, int32_t H) {
  int32_t R = L + W - 1, B = T + H - 1, q = W / 4, r = H / 4;
  Points p;
  p[0] = {L, T};
  p[1] = {L + q, T};
  p[2] = {L + W / 2, T};
  p[3] = {L + W - q, T};
  p[4] = {R, T};
  p[5] = {R, T + r};
  p[6] = {R, T + H / 2};
  p[7] = {R, T + H - r};
  p[8] = {R, B};
  p[9] = {p[3].X, B};
  p[10] = {p[2].X, B};
  p[11] = {p[1].X, B};
  p[12] = {L, B};
  p[13] = {L, p[7].Y};
  p[14] = {L, p[6].Y};
  p[15] = {L, p[5].Y};
  return p;
}

// A triangle's rule: two collapses (onto the midpoints of its slanted
// sides), then four points on the base's neighbours move along one axis by
// half a quarter: `addTo` by +h, `baseMinus`/`basePlus` to the apex-side
// point `base` -h/+h, `subFrom` by -h.
struct TriangleRule {
  TKVFcShapeType type;
  int collapse[2][3];
  bool onY;
  int addTo, baseMinus, basePlus, subFrom, base;
};
constexpr TriangleRule kTriangles[] = {
    {fcsNorthTriangle, {{0, 1, 14}, {4, 3, 6}}, false, 13, 15, 5, 7, 2},
    {fcsSouthTriangle, {{12, 11, 14}, {8, 9, 6}}, false, 15, 13, 7, 5, 10},
    {fcsEastTriangle, {{4, 2, 5}, {8, 10, 7}}, true, 1, 3, 9, 11, 6},
    {fcsWestTriangle, {{0, 2, 15}, {12, 10, 13}}, true, 3, 1, 11, 9, 14},
};

void TrianglePoints(Points& p, TKVFcShapeType type, int32_t qh, int32_t rh) {
  for (const TriangleRule& t : kTriangles) {
    if (t.type != type) continue;
    for (const auto& c : t.collapse) Collapse(p, c[0], c[1], c[2]);
    int32_t h = t.onY ? rh : qh;
    auto at = [&](int i) -> int32_t& { return t.onY ? p[i].Y : p[i].X; };
    int32_t base = at(t.base);
    at(t.addTo) += h;
    at(t.baseMinus) = base - h;
    at(t.basePlus) = base + h;
    at(t.subFrom) -= h;
  }
}

TFcPolygon RoundRectPolygon(const TFcRect& r) {
  int32_t w = r.Right - r.Left + 1, h = r.Bottom - r.Top + 1;
  double rx = w / 4.0, ry = h / 4.0;
  TFcPolygon out;
  // Corner centres, clockwise from the top-right, with their start angles.
  const double cx[4] = {r.Right - rx, r.Right - rx, r.Left + rx, r.Left + rx};
  const double cy[4] = {r.Top + ry, r.Bottom - ry, r.Bottom - ry, r.Top + ry};
  const double start[4] = {-90, 0, 90, 180};
  for (int c = 0; c < 4; ++c)
    for (int i = 0; i <= 8; ++i) {
      double a = (start[c] + 90.0 * i / 8) * 3.14159265358979323846 / 180;
      out.push_back({static_cast<int32_t>(std::lround(cx[c] + rx * std::cos(a))),
                     static_cast<int32_t>(std::lround(cy[c] + ry * std::sin(a)))});
    }
  return out;
}
}  // namespace

std::unique_ptr<TKVCustomDataSet> CreateDataSetOfKind(TDataSetObjType kind) {
  switch (kind) {
    case dotText: return std::make_unique<TKVTextDataSet>();
    case dotQuery: return std::make_unique<TKVQueryDataSet>();
    case dotODBC: return std::make_unique<TKVODBCDataSet>();
    case dotFileDB: return std::make_unique<TKVFileDBDataSet>();
    case dotOracle: return std::make_unique<TKVOracleDataSet>();
  }
  throw EConvertError("Invalid dataset kind " + std::to_string(int(kind)));
}

bool ReachedThroughOdbc(const TKVCustomDataSet& dataSet) {
  return dataSet.DataBaseInfo && dataSet.DataBaseInfo->ConnectType == ctAlias;
}

// ---- TKVFcItem -------------------------------------------------------------------------

TKVFcItem::~TKVFcItem() = default;

void TKVFcItem::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptString>(proc, param, text_, "Text", !text_.empty());
  Prop<ptBoolean>(proc, param, ParentFont, "ParentFont");
}

void TKVFcItem::SetText(std::string text) {
  text_ = std::move(text);
  Changed();
}

const TKVFcFont& TKVFcItem::EffectiveFont() const {
  if (!ParentFont) return Font;
  return owner_ ? owner_->Font : DefaultFont();
}

void TKVFcItem::Changed() {
  if (owner_) owner_->ItemChanged();
}

// ---- TKVFcObject -----------------------------------------------------------------------

TKVFcObject::TKVFcObject() = default;
TKVFcObject::~TKVFcObject() = default;

void TKVFcObject::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptInteger>(proc, param, left_, "Left");
  Prop<ptInteger>(proc, param, top_, "Top");
  Prop<ptWord>(proc, param, width_, "Width");
  Prop<ptWord>(proc, param, height_, "Height");
  Prop<ptByte>(proc, param, shapeType_, "ShapeType");
  Prop<ptByte>(proc, param, DataSetObjType, "DataSetObjType");
  Prop<ptString>(proc, param, CustomData, "CustomData", !CustomData.empty());
  Prop<ptObject>(proc, param, dataSet_, "DataSet", dataSet_.get() != nullptr);
}

void TKVFcObject::SetBounds(int32_t left, int32_t top, uint16_t width, uint16_t height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  Invalidate();
  Changed();
}

void TKVFcObject::SetShapeType(TKVFcShapeType type) {
  shapeType_ = type;
  Invalidate();
  Changed();
}

void TKVFcObject::SetVisible(bool visible) {
  visible_ = visible;
  Changed();
}

TFcRect TKVFcObject::DisplayRect() const {
  TFcPoint lt = Owner() ? Owner()->ScalePoint({left_, top_}) : TFcPoint{ClampCoord(left_), ClampCoord(top_)};
  int32_t w = Owner() ? Owner()->Scale(width_) : width_;
  int32_t h = Owner() ? Owner()->Scale(height_) : height_;
  return {lt.X, lt.Y, lt.X + w - 1, lt.Y + h - 1};
}

std::array<TFcPoint, 16> TKVFcObject::LinkedPoints() const {
  TFcRect d = DisplayRect();
  int32_t L = d.Left, T = d.Top, W = d.Right - d.Left + 1, H = d.Bottom - d.Top + 1;
  Points p = RectanglePoints(L, T, W, H);
  int32_t q = W / 4, r = H / 4, qh = q / 2, rh = r / 2;
  switch (shapeType_) {
    case fcsEllipse:
      MoveIn(p, {0, 4, 8, 12}, F(W, 150), F(H, 150));
      MoveIn(p, {13, 15, 5, 7}, F(W, 68), 0);
      MoveIn(p, {1, 3, 9, 11}, 0, F(H, 68));
      break;
    case fcsRoundRect: MoveIn(p, {0, 4, 8, 12}, F(W, 75), F(H, 75)); break;
    case fcsDiamond:
      MoveIn(p, {0, 4, 8, 12}, q, r);
      MoveIn(p, {1, 3, 5, 7, 9, 11, 13, 15}, q / 2, r / 2);
      break;
    case fcsNorthTriangle:
    case fcsSouthTriangle:
    case fcsEastTriangle:
    case fcsWestTriangle: TrianglePoints(p, shapeType_, qh, rh); break;
    case fcsHexagon:
      MoveIn(p, {0, 4, 8, 12}, qh, r);
      MoveIn(p, {5, 7, 13, 15}, qh, 0);
      break;
    case fcsUser:
      if (UserPoints) p = UserPoints(*this, d);
      break;
    default: break;
  }
  return p;
}

TFcPoint TKVFcObject::LinkedPoint(int index) const { return LinkedPoints()[std::clamp(index, 0, 15)]; }

uint64_t TKVFcObject::Stamp() const { return Owner() ? Owner()->Revision() : 0; }

const TFcPolygon& TKVFcObject::Outline() const {
  if (outlineValid_ && outlineStamp_ == Stamp()) return outline_;
  TFcRect d = DisplayRect();
  Points p = LinkedPoints();
  switch (shapeType_) {
    case fcsEllipse: outline_ = EllipsePolygon(d, 64); break;
    case fcsRoundRect: outline_ = RoundRectPolygon(d); break;
    case fcsDiamond: outline_ = {p[2], p[6], p[10], p[14]}; break;
    case fcsNorthTriangle: outline_ = {p[2], p[8], p[12]}; break;
    case fcsSouthTriangle: outline_ = {p[0], p[4], p[10]}; break;
    case fcsEastTriangle: outline_ = {p[0], p[6], p[12]}; break;
    case fcsWestTriangle: outline_ = {p[14], p[4], p[8]}; break;
    case fcsHexagon: outline_ = {p[0], p[4], p[6], p[8], p[12], p[14]}; break;
    default: outline_ = {{d.Left, d.Top}, {d.Right, d.Top}, {d.Right, d.Bottom}, {d.Left, d.Bottom}}; break;
  }
  outlineValid_ = true;
  outlineStamp_ = Stamp();
  return outline_;
}

std::array<TFcRect, 8> TKVFcObject::SizingHandles() const {
  constexpr int32_t kHalf = 3;
  TFcRect d = DisplayRect();
  TFcPoint c = d.Center();
  const TFcPoint at[8] = {{d.Left, d.Top},    {c.X, d.Top},       {d.Right, d.Top}, {d.Right, c.Y},
                          {d.Right, d.Bottom}, {c.X, d.Bottom}, {d.Left, d.Bottom}, {d.Left, c.Y}};
  std::array<TFcRect, 8> out;
  for (int i = 0; i < 8; ++i) out[i] = TFcRect{at[i].X, at[i].Y, at[i].X, at[i].Y}.Inflated(kHalf);
  return out;
}

void TKVFcObject::SetDataSet(const TKVCustomDataSet* value) {
  if (!dataSet_) dataSet_ = CreateDataSetOfKind(DataSetObjType);
  if (value) dataSet_->Assign(value);
}

void TKVFcObject::TakeDataSet(std::unique_ptr<TKVCustomDataSet> value) { dataSet_ = std::move(value); }

void TKVFcObject::AddToUnion(TKVFcObject* other) {
  if (!other || other == this || HasInUnion(other)) return;
  union_.push_back(other);
}

void TKVFcObject::RemoveFromUnion(TKVFcObject* other) { std::erase(union_, other); }

bool TKVFcObject::HasInUnion(const TKVFcObject* other) const {
  return std::find(union_.begin(), union_.end(), other) != union_.end();
}

void TKVFcObject::SelectUnion() {
  if (!Owner()) return;
  Owner()->Select(this, true);
  for (TKVFcObject* o : union_) Owner()->Select(o, true);
}

TKVFcConnection* TKVFcObject::GetConnection(int index) const {
  return index >= 0 && index < GetConnectionCount() ? connections_[static_cast<size_t>(index)] : nullptr;
}

// ---- TKVFcConnection ---------------------------------------------------------------------

TKVFcConnection::TKVFcConnection() { ArrowDest.ArrowType = fcaArrow; }

// Detaches from both shapes (which must still exist: the chart frees
// connections before shapes).
TKVFcConnection::~TKVFcConnection() {
  Attach(source_, nullptr);
  Attach(dest_, nullptr);
}

void TKVFcConnection::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptByte>(proc, param, pointSource_, "PointSource");
  Prop<ptByte>(proc, param, pointDest_, "PointDest");
  Prop<ptByte>(proc, param, style_, "Style");
  Prop<ptInteger>(proc, param, PenColor, "PenColor");
  Prop<ptBoolean>(proc, param, transparent_, "Transparent");
  Prop<ptObject>(proc, param, dbLink_, "DBLink", dbLink_.get() != nullptr);
}

void TKVFcConnection::Attach(TKVFcObject*& end, TKVFcObject* shape) {
  if (end == shape) return;
  TKVFcObject* old = end;
  end = shape;
  // A shape lists a connection once, even when it is both of its ends.
  if (old && old != source_ && old != dest_) std::erase(old->connections_, this);
  if (shape && std::find(shape->connections_.begin(), shape->connections_.end(), this) == shape->connections_.end())
    shape->connections_.push_back(this);
}

void TKVFcConnection::SetSource(TKVFcObject* shape, uint8_t point) {
  Attach(source_, shape);
  pointSource_ = std::min<uint8_t>(point, 15);
  Changed();
}

void TKVFcConnection::SetDest(TKVFcObject* shape, uint8_t point) {
  Attach(dest_, shape);
  pointDest_ = std::min<uint8_t>(point, 15);
  Changed();
}

void TKVFcConnection::SetStyle(TKVFclStyle style) {
  style_ = style;
  Changed();
}

void TKVFcConnection::SetTransparent(bool value) {
  transparent_ = value;
  Changed();
}

TLineType TKVFcConnection::LineType() const {
  switch (style_) {
    case fclCurved: return GetPointCount() < 3 ? liStraight : liQSpline;
    case fclRectH: return liRectH;
    case fclRectV: return liRectV;
    default: return liStraight;
  }
}

std::vector<TFcPoint> TKVFcConnection::RealPoints() const {
  std::vector<TFcPoint> out;
  out.reserve(points_.size() + 2);
  if (source_) out.push_back(source_->LinkedPoint(pointSource_));
  for (TFcPoint p : points_)
    out.push_back(Owner() ? Owner()->ScalePoint(p) : TFcPoint{ClampCoord(p.X), ClampCoord(p.Y)});
  if (dest_) out.push_back(dest_->LinkedPoint(pointDest_));
  return out;
}

int TKVFcConnection::GetPointCount() const {
  return static_cast<int>(points_.size()) + (source_ ? 1 : 0) + (dest_ ? 1 : 0);
}

TFcPoint TKVFcConnection::GetPoint(int index) const {
  std::vector<TFcPoint> pts = RealPoints();
  if (index < 0 || index >= static_cast<int>(pts.size())) throw EListError("Point index out of bounds");
  return pts[static_cast<size_t>(index)];
}

TFcPoint TKVFcConnection::ToChart(TFcPoint display) const {
  return Owner() ? Owner()->UnscalePoint(display) : display;
}

void TKVFcConnection::AddPoint(TFcPoint display) {
  points_.push_back(ToChart(display));
  Changed();
}

void TKVFcConnection::InsertPoint(int index, TFcPoint display) {
  int first = source_ ? 1 : 0;
  int pos = std::clamp(index - first, 0, static_cast<int>(points_.size()));
  points_.insert(points_.begin() + pos, ToChart(display));
  Changed();
}

bool TKVFcConnection::RemovePoint(int index) {
  int pos = index - (source_ ? 1 : 0);
  if (pos < 0 || pos >= static_cast<int>(points_.size())) return false;
  points_.erase(points_.begin() + pos);
  Changed();
  return true;
}

int TKVFcConnection::HasPoint(TFcPoint display, int tolerance) const {
  std::vector<TFcPoint> pts = RealPoints();
  for (size_t i = 0; i < pts.size(); ++i)
    if (std::abs(pts[i].X - display.X) <= tolerance && std::abs(pts[i].Y - display.Y) <= tolerance)
      return static_cast<int>(i);
  return -1;
}

int TKVFcConnection::GetNearestPoint(TFcPoint display) const {
  std::vector<TFcPoint> pts = RealPoints();
  int best = -1;
  double bestDist = 0;
  for (size_t i = 0; i < pts.size(); ++i) {
    double d = std::hypot(double(pts[i].X) - display.X, double(pts[i].Y) - display.Y);
    if (best < 0 || d < bestDist) {
      best = static_cast<int>(i);
      bestDist = d;
    }
  }
  return best;
}

bool TKVFcConnection::InRect(const TFcRect& display) const {
  std::vector<TFcPoint> pts = RealPoints();
  if (pts.empty()) return false;
  return std::all_of(pts.begin(), pts.end(), [&](TFcPoint p) { return display.Contains(p); });
}

void TKVFcConnection::SetIntermediate(std::vector<TFcPoint> points100) {
  points_ = std::move(points100);
  Changed();
}

TFcPolyline TKVFcConnection::Polyline() const {
  std::vector<TFcPoint> pts = RealPoints();
  if (pts.size() < 2) return pts;
  TFcPolyline out{pts[0]};
  switch (LineType()) {
    case liQSpline: {
      // Quadratic pieces with the inner points as control points, joined
      // at the midpoints between them; the curve starts and ends at the
      // attachment points.
      TFcPoint from = pts[0];
      for (size_t i = 1; i + 1 < pts.size(); ++i) {
        TFcPoint to = i + 2 == pts.size() ? pts[i + 1]
                                           : TFcPoint{pts[i].X + (pts[i + 1].X - pts[i].X) / 2,
                                                      pts[i].Y + (pts[i + 1].Y - pts[i].Y) / 2};
        TFcPolyline piece = FlattenQuadratic(from, pts[i], to, 12);
        out.insert(out.end(), piece.begin() + 1, piece.end());
        from = to;
      }
      break;
    }
    case liRectH:
    case liRectV:
      for (size_t i = 1; i < pts.size(); ++i) {
        TFcPoint a = pts[i - 1], b = pts[i];
        out.push_back(LineType() == liRectH ? TFcPoint{b.X, a.Y} : TFcPoint{a.X, b.Y});
        out.push_back(b);
      }
      break;
    default: out.assign(pts.begin(), pts.end()); break;
  }
  return out;
}

TFcPolygon TKVFcConnection::ArrowPolygon(bool atSource) const {
  const TKVFcConnectionArrow& arrow = atSource ? ArrowSource : ArrowDest;
  TFcPolyline line = Polyline();
  if (arrow.ArrowType == fcaNone || line.size() < 2) return {};
  // The tip and the direction in which the line arrives there.
  TFcPoint tip = atSource ? line.front() : line.back();
  TFcPoint from = tip;
  for (size_t i = 1; i < line.size() && from == tip; ++i) from = atSource ? line[i] : line[line.size() - 1 - i];
  double dx = double(tip.X) - from.X, dy = double(tip.Y) - from.Y, len = std::hypot(dx, dy);
  if (len == 0) {
    dx = 1;
    dy = 0;
  } else {
    dx /= len;
    dy /= len;
  }
  double along = arrow.Height, across = arrow.Width / 2.0;
  auto at = [&](double a, double c) {
    return TFcPoint{static_cast<int32_t>(std::lround(tip.X - dx * a - dy * c)),
                    static_cast<int32_t>(std::lround(tip.Y - dy * a + dx * c))};
  };
  switch (arrow.ArrowType) {
    case fcaArrow: return {tip, at(along, across), at(along, -across)};
    case fcaRectangle: return {at(0, across), at(0, -across), at(along, -across), at(along, across)};
    default: {
      TFcPolygon out;
      for (int i = 0; i < 16; ++i) {
        double a = 2 * 3.14159265358979323846 * i / 16;
        out.push_back(at(along / 2 + along / 2 * std::cos(a), across * std::sin(a)));
      }
      return out;
    }
  }
}

void TKVFcConnection::SetLabelSize(int32_t width, int32_t height) {
  labelWidth_ = width;
  labelHeight_ = height;
  Changed();
}

TFcRect TKVFcConnection::LabelRect() const {
  if (Text().empty()) return {};
  TFcPolyline line = Polyline();
  if (line.empty()) return {};
  TFcPoint c = PolylineMidpoint(line);
  int32_t w = labelWidth_ >= 0 ? labelWidth_ : static_cast<int32_t>(std::min<size_t>(Text().size(), 10000)) * 7 + 4;
  int32_t h = labelHeight_ >= 0 ? labelHeight_ : 16;
  return {c.X - w / 2, c.Y - h / 2, c.X - w / 2 + w - 1, c.Y - h / 2 + h - 1};
}

TFcRect TKVFcConnection::DisplayRect() const {
  TFcRect r = BoundsOf(Polyline());
  r = r.United(BoundsOf(ArrowPolygon(true))).United(BoundsOf(ArrowPolygon(false)));
  return r.United(LabelRect());
}

void TKVFcConnection::SetDBLink(const TBaseObject* value) {
  if (!value) {
    dbLink_.reset();
  } else if (dbLink_ && dbLink_->ClassType() == value->ClassType()) {
    dbLink_->Assign(value);
  } else {
    dbLink_ = value->DuplicateSelf();
  }
}

void TKVFcConnection::TakeDBLink(std::unique_ptr<TBaseObject> value) { dbLink_ = std::move(value); }

// ---- TSaveChart ---------------------------------------------------------------------------

TSaveChart::TSaveChart() : FObjects(new TList), FConnections(new TList) {}
TSaveChart::~TSaveChart() = default;

void TSaveChart::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptObjects>(proc, param, FObjects, "FObjects", FObjects.get() != nullptr);
  Prop<ptObjects>(proc, param, FConnections, "FConnections", FConnections.get() != nullptr);
}

}  // namespace kv
