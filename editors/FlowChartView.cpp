#include "editors/FlowChartView.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cstdlib>

#include "editors/QtText.h"

namespace kv {

namespace {

constexpr int kDragThreshold = 5;  // a drag starts past this many pixels
constexpr int kScrollMargin = 40;  // room beyond the diagram's far corner
constexpr int kMinShapeSize = 8;   // chart units a resize keeps at least

bool Has(const TKVCustomFlowChart& chart, TKVFcOption option) { return (chart.Options & FcOptionBit(option)) != 0; }

QPoint Pt(TFcPoint p, TFcPoint origin) { return {p.X - origin.X, p.Y - origin.Y}; }

QPolygon ToPolygon(const std::vector<TFcPoint>& points, TFcPoint origin) {
  QPolygon out;
  out.reserve(static_cast<qsizetype>(points.size()));
  for (const TFcPoint& p : points) out << Pt(p, origin);
  return out;
}

Qt::PenStyle PenStyleOf(uint8_t style) {
  switch (style) {
    case 1: return Qt::DashLine;
    case 2: return Qt::DotLine;
    case 3: return Qt::DashDotLine;
    case 4: return Qt::DashDotDotLine;
    case 5: return Qt::NoPen;
    default: return Qt::SolidLine;
  }
}

// The item's font at the chart's zoom: a negative height is the character
// height in pixels, a positive one the cell height.
QFont ScaledFont(const TKVFcFont& f, int zoom) {
  QFont font(QStr(f.Name));
  const int height = std::abs(int(f.Height)) == 0 ? 11 : std::abs(int(f.Height));
  font.setPixelSize(std::max(1, height * zoom / 100));
  font.setBold((f.Style & fsBold) != 0);
  font.setItalic((f.Style & fsItalic) != 0);
  font.setUnderline((f.Style & fsUnderline) != 0);
  font.setStrikeOut((f.Style & fsStrikeOut) != 0);
  return font;
}

int Along(int start, int extent, int size, int pos) {  // pos: 0 start, 1 centre, 2 end
  if (pos == 0) return start + 2;
  if (pos == 2) return start + extent - size - 2;
  return start + (extent - size) / 2;
}

// A frame drawn as the platform's edge call would: `edge` holds the outer
// (1 raised, 2 sunken) and inner (4 raised, 8 sunken) rings, `sides` the
// drawn sides (1 left, 2 top, 4 right, 8 bottom).
void PaintEdge(QPainter& painter, QRect box, uint16_t edge, uint16_t sides) {
  const QColor light(Qt::white), dark(Qt::darkGray);
  for (int ring = 0; ring < 2; ++ring) {
    const int raised = ring == 0 ? 1 : 4, sunken = ring == 0 ? 2 : 8;
    if (!(edge & (raised | sunken))) continue;
    const bool up = (edge & raised) != 0;
    const QRect r = box.adjusted(ring, ring, -ring, -ring);
    painter.setPen(up ? light : dark);
    if (sides & 1) painter.drawLine(r.topLeft(), r.bottomLeft());
    if (sides & 2) painter.drawLine(r.topLeft(), r.topRight());
    painter.setPen(up ? dark : light);
    if (sides & 4) painter.drawLine(r.topRight(), r.bottomRight());
    if (sides & 8) painter.drawLine(r.bottomLeft(), r.bottomRight());
  }
}

QRect Normalized(QPoint a, QPoint b) { return QRect(a, b).normalized(); }

// Marks the view's own bookkeeping changes of the chart (client size,
// scroll origin, label sizes), which need no reaction from the view.
class TQuiet {
public:
  explicit TQuiet(bool& flag) : flag_(flag), old_(flag) { flag_ = true; }
  ~TQuiet() { flag_ = old_; }
  TQuiet(const TQuiet&) = delete;
  TQuiet& operator=(const TQuiet&) = delete;

private:
  bool& flag_;
  bool old_;
};

}  // namespace

QColor FcColor(int32_t value) {
  if (value < 0) {
    switch (value & 0xFF) {
      case 5: return Qt::white;                // window
      case 8: case 7: case 18: return Qt::black;  // window text, menu text, button text
      case 15: return QColor(0xF0, 0xF0, 0xF0);  // button face
      case 13: return QColor(0x33, 0x99, 0xFF);  // highlight
      default: return Qt::gray;
    }
  }
  return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

TFlowChartView::TFlowChartView(TKVCustomFlowChart& chart, QWidget* parent)
    : QAbstractScrollArea(parent), chart_(chart) {
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setMouseTracking(false);
  viewport()->setAutoFillBackground(true);
  QPalette p = viewport()->palette();
  p.setColor(QPalette::Window, Qt::white);
  viewport()->setPalette(p);
  chart_.OnChange = [this](TKVCustomFlowChart&) { OnChartChange(); };
  chart_.OnSelection = [this](TKVCustomFlowChart&) { emit SelectionChanged(); };
  chart_.OnDeletion = [this](TKVCustomFlowChart&, TKVFcItem& item) { OnChartDeletion(item); };
  RefreshAll();
}

TFlowChartView::~TFlowChartView() {
  chart_.OnChange = nullptr;
  chart_.OnSelection = nullptr;
  chart_.OnDeletion = nullptr;
}

void TFlowChartView::SetImages(std::vector<QPixmap> images) {
  images_ = std::move(images);
  viewport()->update();
}

void TFlowChartView::SetTool(TTool tool) {
  if (drag_.Kind != dkNone) CancelDrag();
  tool_ = tool;
  viewport()->setCursor(tool == vtNone ? Qt::ArrowCursor : Qt::CrossCursor);
}

void TFlowChartView::SetZoom(uint16_t percent) {
  CancelDrag();
  chart_.SetZoom(percent);
  RefreshAll();
}

void TFlowChartView::SelectItems(const std::vector<TKVFcItem*>& items, bool extend) {
  const TKVFcOptions saved = chart_.Options;
  chart_.Options |= FcOptionBit(fcoMultiSelect);
  if (!extend) chart_.ClearSelection();
  for (TKVFcItem* item : items) chart_.Select(item, true);
  chart_.Options = saved;
}

TFcPoint TFlowChartView::Origin() const {
  return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

QRect TFlowChartView::ToViewport(const TFcRect& display, int margin) const {
  if (display.IsEmpty()) return {};
  const TFcPoint o = Origin();
  return QRect(display.Left - o.X, display.Top - o.Y, display.Right - display.Left + 1,
               display.Bottom - display.Top + 1)
      .adjusted(-margin, -margin, margin, margin);
}

void TFlowChartView::RefreshAll() {
  {
    TQuiet quiet(quiet_);
    chart_.SetClientSize(viewport()->width(), viewport()->height());
  }
  MeasureLabels();
  UpdateScrollRange();
  viewport()->update();
}

void TFlowChartView::UpdateScrollRange() {
  int32_t right = 0, bottom = 0;
  for (int i = 0; i < chart_.GetObjectCount(); ++i) {
    const TFcRect r = chart_.GetObject(i)->DisplayRect();
    right = std::max(right, r.Right);
    bottom = std::max(bottom, r.Bottom);
  }
  for (int i = 0; i < chart_.GetConnectionCount(); ++i) {
    for (const TFcPoint& p : chart_.GetConnection(i)->Intermediate()) {
      const TFcPoint d = chart_.ScalePoint(p);
      right = std::max(right, d.X);
      bottom = std::max(bottom, d.Y);
    }
  }
  const QSize page = viewport()->size();
  horizontalScrollBar()->setPageStep(page.width());
  verticalScrollBar()->setPageStep(page.height());
  horizontalScrollBar()->setRange(0, std::max(0, right + kScrollMargin - page.width()));
  verticalScrollBar()->setRange(0, std::max(0, bottom + kScrollMargin - page.height()));
  TQuiet quiet(quiet_);
  chart_.SetScrollOrigin(Origin());
}

void TFlowChartView::MeasureLabels() {
  TQuiet quiet(quiet_);
  labelReach_.assign(size_t(chart_.GetConnectionCount()), 0);
  const int zoom = chart_.EffectiveZoom();
  for (int i = 0; i < chart_.GetConnectionCount(); ++i) {
    TKVFcConnection& c = *chart_.GetConnection(i);
    if (c.Text().empty()) continue;
    const QFontMetrics fm(ScaledFont(c.EffectiveFont(), zoom));
    const QSize size = fm.size(Qt::TextSingleLine, QStr(c.Text())) + QSize(6, 2);
    const TFcRect now = c.LabelRect();
    if (now.IsEmpty() || now.Right - now.Left + 1 != size.width() || now.Bottom - now.Top + 1 != size.height())
      c.SetLabelSize(size.width(), size.height());
    labelReach_[size_t(i)] = std::max(size.width(), size.height()) / 2 + 1;
  }
}

// A rectangle that surely holds the connection as drawn, much cheaper than
// its display rectangle: the attachment points lie within their shapes'
// rectangles (a user-defined shape may put them anywhere), curves and
// right-angled runs stay within the bounds of the real points, and arrow
// heads and the label reach out from the line.
TFcRect TFlowChartView::RoughRect(int index) const {
  const TKVFcConnection& c = *chart_.GetConnection(index);
  const TKVFcObject* ends[2] = {c.Source(), c.Dest()};
  TFcRect r;
  for (const TKVFcObject* end : ends) {
    if (!end) continue;
    if (end->ShapeType() == fcsUser) return c.DisplayRect();
    r = r.United(end->DisplayRect());
  }
  for (const TFcPoint& p : c.Intermediate()) {
    const TFcPoint d = chart_.ScalePoint(p);
    r = r.United({d.X, d.Y, d.X, d.Y});
  }
  int reach = std::max({int(c.ArrowSource.Width), int(c.ArrowSource.Height), int(c.ArrowDest.Width),
                        int(c.ArrowDest.Height)});
  if (!c.Text().empty()) {
    if (size_t(index) >= labelReach_.size() || labelReach_[size_t(index)] == 0) return c.DisplayRect();
    reach = std::max(reach, labelReach_[size_t(index)]);
  }
  return r.Inflated(reach + c.PenWidth + 2);
}

void TFlowChartView::OnChartChange() {
  if (quiet_) return;
  if (!ownRepaint_) {
    MeasureLabels();
    UpdateScrollRange();
    viewport()->update();
  }
  emit Changed();
}

void TFlowChartView::OnChartDeletion(TKVFcItem& item) {
  const bool involved =
      drag_.Connection == &item ||
      std::any_of(drag_.Shapes.begin(), drag_.Shapes.end(), [&](const TMoved& m) { return m.Shape == &item; });
  if (involved) ResetDrag();
}

bool TFlowChartView::ShowSelection() const {
  if (!Has(chart_, fcoHideSelection)) return true;
  const QWidget* w = window();
  return w && w->focusWidget() == this;
}

// ---- Painting -----------------------------------------------------------------------

void TFlowChartView::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  painter.setRenderHint(QPainter::Antialiasing, false);
  const QRect clip = event->rect();
  const TFcPoint o = Origin();
  const TFcRect area{clip.left() + o.X - 2, clip.top() + o.Y - 2, clip.right() + o.X + 2, clip.bottom() + o.Y + 2};
  auto meets = [&area](const TFcRect& r, int margin) {
    const TFcRect m = r.Inflated(margin);
    return !(m.Right < area.Left || m.Left > area.Right || m.Bottom < area.Top || m.Top > area.Bottom);
  };
  for (int i = 0; i < chart_.GetConnectionCount(); ++i) {
    const TKVFcConnection& c = *chart_.GetConnection(i);
    if (meets(RoughRect(i), 0) && meets(c.DisplayRect(), c.PenWidth + 2)) PaintConnection(painter, c);
  }
  for (int i = 0; i < chart_.GetObjectCount(); ++i) {
    TKVFcObject& s = *chart_.GetObject(i);
    if (s.Visible() && meets(s.DisplayRect(), s.ShapeWidth + 2)) PaintShape(painter, s);
  }
  if (ShowSelection()) PaintHandles(painter, clip);
  PaintFeedback(painter);
}

void TFlowChartView::PaintConnection(QPainter& painter, const TKVFcConnection& c) const {
  const TFcPoint o = Origin();
  const TFcPolyline line = c.Polyline();
  if (line.size() < 2) return;
  painter.setPen(QPen(FcColor(c.PenColor), std::max<int>(1, c.PenWidth), PenStyleOf(c.PenStyle)));
  painter.setBrush(Qt::NoBrush);
  painter.drawPolyline(ToPolygon(line, o));
  for (bool atSource : {true, false}) {
    const TFcPolygon head = c.ArrowPolygon(atSource);
    if (head.empty()) continue;
    const QColor color = FcColor((atSource ? c.ArrowSource : c.ArrowDest).Color);
    painter.setPen(color);
    painter.setBrush(color);
    painter.drawPolygon(ToPolygon(head, o));
  }
  const QRect label = ToViewport(c.LabelRect(), 0);
  if (label.isEmpty()) return;
  painter.fillRect(label, viewport()->palette().color(QPalette::Window));
  painter.setFont(ScaledFont(c.EffectiveFont(), chart_.EffectiveZoom()));
  painter.setPen(FcColor(c.EffectiveFont().Color));
  painter.drawText(label, Qt::AlignCenter, QStr(c.Text()));
}

void TFlowChartView::PaintShape(QPainter& painter, TKVFcObject& shape) const {
  const TFcPoint o = Origin();
  const QRect box = ToViewport(shape.DisplayRect(), 0);
  if (shape.ShapeType() != fcsNone) {
    painter.setPen(QPen(FcColor(shape.ShapeColor), std::max<int>(1, shape.ShapeWidth)));
    painter.setBrush(shape.Transparent ? QBrush(Qt::NoBrush) : QBrush(FcColor(shape.BkColor)));
    painter.drawPolygon(ToPolygon(shape.Outline(), o));
  }
  if (shape.Edge != 0) PaintEdge(painter, box, shape.Edge, shape.Border);
  PaintShapeContent(painter, shape, box);
  if (chart_.OnDrawObject) chart_.OnDrawObject(chart_, shape);
}

// The image and the text at their positions; when both sit at the same
// place they are stacked, the image above the text.
void TFlowChartView::PaintShapeContent(QPainter& painter, const TKVFcObject& shape, const QRect& box) const {
  const int zoom = chart_.EffectiveZoom();
  const bool hasImage = shape.ImageIndex >= 0 && size_t(shape.ImageIndex) < images_.size();
  const QString text = QStr(shape.Text());
  const QFont font = ScaledFont(shape.EffectiveFont(), zoom);
  const QSize textSize = text.isEmpty() ? QSize() : QFontMetrics(font).size(Qt::TextSingleLine, text);
  QSize imageSize;
  if (hasImage) imageSize = images_[size_t(shape.ImageIndex)].size() * zoom / 100;
  const bool stacked = hasImage && !text.isEmpty() && shape.HorzImagePos == shape.HorzTextPos &&
                       shape.VertImagePos == shape.VertTextPos;
  const int stackHeight = stacked ? imageSize.height() + textSize.height() : 0;
  if (hasImage) {
    const int x = Along(box.left(), box.width(), imageSize.width(), shape.HorzImagePos);
    const int y = Along(box.top(), box.height(), stacked ? stackHeight : imageSize.height(), shape.VertImagePos);
    painter.drawPixmap(QRect(QPoint(x, y), imageSize), images_[size_t(shape.ImageIndex)]);
  }
  if (text.isEmpty()) return;
  const int x = Along(box.left(), box.width(), textSize.width(), shape.HorzTextPos);
  int y = Along(box.top(), box.height(), stacked ? stackHeight : textSize.height(), shape.VertTextPos);
  if (stacked) y += imageSize.height();
  painter.setFont(font);
  painter.setPen(FcColor(shape.EffectiveFont().Color));
  painter.drawText(QRect(QPoint(x, y), textSize), Qt::AlignCenter, text);
}

void TFlowChartView::PaintHandles(QPainter& painter, const QRect& clip) const {
  const TFcPoint o = Origin();
  const QColor handle = palette().color(QPalette::Highlight);
  painter.setPen(Qt::black);
  painter.setBrush(handle);
  for (int i = 0; i < chart_.GetSelectedObjectCount(); ++i) {
    for (const TFcRect& h : chart_.GetSelectedObject(i)->SizingHandles()) {
      const QRect r = ToViewport(h, 0);
      if (r.intersects(clip)) painter.drawRect(r.adjusted(0, 0, -1, -1));
    }
  }
  for (int i = 0; i < chart_.GetSelectedConnectionCount(); ++i) {
    for (const TFcPoint& p : chart_.GetSelectedConnection(i)->RealPoints()) {
      const QRect r(Pt(p, o) - QPoint(3, 3), QSize(7, 7));
      if (r.intersects(clip)) painter.drawRect(r.adjusted(0, 0, -1, -1));
    }
  }
}

void TFlowChartView::PaintFeedback(QPainter& painter) const {
  if (!drag_.Started) return;
  painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
  painter.setBrush(Qt::NoBrush);
  if (drag_.Kind == dkBand || (drag_.Kind == dkTool && tool_ == vtShape))
    painter.drawRect(Normalized(drag_.Start, drag_.Current));
  else if (drag_.Kind == dkTool || (drag_.Kind == dkPoint && drag_.Points.empty() && drag_.Handle >= 0))
    painter.drawLine(drag_.Start, drag_.Current);
}

QRect TFlowChartView::FeedbackArea() const {
  return Normalized(drag_.Start, drag_.Current).adjusted(-2, -2, 2, 2);
}

QRect TFlowChartView::ConnectionArea(const TKVFcConnection& connection) const {
  return ToViewport(connection.DisplayRect(), connection.PenWidth + 5);
}

QRect TFlowChartView::ShapesArea(const std::vector<TMoved>& shapes) const {
  QRect area;
  for (const TMoved& m : shapes) {
    area |= ToViewport(m.Shape->DisplayRect(), m.Shape->ShapeWidth + 6);
    for (int i = 0; i < m.Shape->GetConnectionCount(); ++i) area |= ConnectionArea(*m.Shape->GetConnection(i));
  }
  return area;
}

// ---- Mouse and keyboard --------------------------------------------------------------

void TFlowChartView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) return event->accept();  // acted on at its release
  if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
  ResetDrag();
  drag_.Start = drag_.Current = event->position().toPoint();
  if (tool_ != vtNone) {
    drag_.Kind = dkTool;
    return;
  }
  BeginItemDrag(*event);
}

void TFlowChartView::BeginItemDrag(QMouseEvent& event) {
  const TKVFcHitInfo hit = chart_.GetHitTestAt(WindowPoint(drag_.Start));
  const bool extend = (event.modifiers() & Qt::ShiftModifier) != 0;
  const bool canDrag = Has(chart_, fcoCanDrag);
  if (hit.Has(htOnSelPoint) && hit.Object && canDrag) {
    drag_.Kind = dkResize;
    drag_.Handle = hit.Point;
    drag_.Shapes = {{hit.Object, hit.Object->Left(), hit.Object->Top()}};
    drag_.Width = hit.Object->Width();
    drag_.Height = hit.Object->Height();
  } else if (hit.Has(htOnSelPoint) && hit.Connection && canDrag) {
    drag_.Kind = dkPoint;
    drag_.Handle = hit.Point;
    drag_.Connection = hit.Connection;
    drag_.Points = hit.Connection->Intermediate();
  } else if (hit.Has(htOnObject) && hit.Object) {
    PressOnShape(*hit.Object, extend);
  } else if (hit.Connection) {
    if (!hit.Connection->Selected() || !extend) chart_.Select(hit.Connection, extend);
  } else {
    PressOnEmpty(event);
  }
}

void TFlowChartView::PressOnShape(TKVFcObject& shape, bool extend) {
  if (!shape.Selected()) chart_.Select(&shape, extend);
  if (!Has(chart_, fcoCanDrag)) return;
  drag_.Kind = dkMove;
  for (int i = 0; i < chart_.GetSelectedObjectCount(); ++i) {
    TKVFcObject* s = chart_.GetSelectedObject(i);
    drag_.Shapes.push_back({s, s->Left(), s->Top()});
  }
}

void TFlowChartView::PressOnEmpty(QMouseEvent& event) {
  const bool shift = (event.modifiers() & Qt::ShiftModifier) != 0;
  if (!shift) chart_.ClearSelection();
  if (rubberBand_ || Has(chart_, fcoMultiSelect)) drag_.Kind = dkBand;
}

void TFlowChartView::mouseMoveEvent(QMouseEvent* event) {
  if (drag_.Kind == dkNone || !(event->buttons() & Qt::LeftButton)) return;
  const QPoint pos = event->position().toPoint();
  if (!drag_.Started) {
    if (std::abs(pos.x() - drag_.Start.x()) <= kDragThreshold && std::abs(pos.y() - drag_.Start.y()) <= kDragThreshold) {
      drag_.Current = pos;
      return;
    }
    drag_.Started = true;
  }
  UpdateDrag(pos);
}

void TFlowChartView::UpdateDrag(QPoint pos) {
  switch (drag_.Kind) {
    case dkMove: MoveShapes(pos); break;
    case dkResize: ResizeShape(pos); break;
    case dkPoint: MovePoint(pos); break;
    default: {
      QRect dirty = FeedbackArea();
      drag_.Current = pos;
      viewport()->update(dirty | FeedbackArea());
      if (drag_.Kind == dkBand) {
        chart_.Selection.Active = true;
        const TFcPoint a = chart_.ChartPoint(WindowPoint(drag_.Start)), b = chart_.ChartPoint(WindowPoint(pos));
        chart_.Selection.Rect = {std::min(a.X, b.X), std::min(a.Y, b.Y), std::max(a.X, b.X), std::max(a.Y, b.Y)};
      }
    }
  }
}

void TFlowChartView::MoveShapes(QPoint pos) {
  drag_.Current = pos;
  const TFcPoint delta = chart_.UnscalePoint({pos.x() - drag_.Start.x(), pos.y() - drag_.Start.y()});
  const QRect before = ShapesArea(drag_.Shapes);
  ownRepaint_ = true;
  chart_.BeginUpdate();
  for (const TMoved& m : drag_.Shapes)
    m.Shape->SetBounds(ClampCoord(int64_t(m.Left) + delta.X), ClampCoord(int64_t(m.Top) + delta.Y), m.Shape->Width(),
                       m.Shape->Height());
  chart_.EndUpdate();
  ownRepaint_ = false;
  viewport()->update(QRegion(before) | QRegion(ShapesArea(drag_.Shapes)));
}

void TFlowChartView::ResizeShape(QPoint pos) {
  drag_.Current = pos;
  const TMoved& m = drag_.Shapes.front();
  const TFcPoint d = chart_.UnscalePoint({pos.x() - drag_.Start.x(), pos.y() - drag_.Start.y()});
  int64_t left = m.Left, top = m.Top, right = int64_t(m.Left) + drag_.Width, bottom = int64_t(m.Top) + drag_.Height;
  const int h = drag_.Handle;  // 0-7 clockwise from the top-left corner
  if (h == 0 || h == 6 || h == 7) left = std::min<int64_t>(left + d.X, right - kMinShapeSize);
  if (h == 2 || h == 3 || h == 4) right = std::max<int64_t>(right + d.X, left + kMinShapeSize);
  if (h == 0 || h == 1 || h == 2) top = std::min<int64_t>(top + d.Y, bottom - kMinShapeSize);
  if (h == 4 || h == 5 || h == 6) bottom = std::max<int64_t>(bottom + d.Y, top + kMinShapeSize);
  const QRect before = ShapesArea(drag_.Shapes);
  ownRepaint_ = true;
  m.Shape->SetBounds(ClampCoord(left), ClampCoord(top), uint16_t(std::min<int64_t>(right - left, 65535)),
                     uint16_t(std::min<int64_t>(bottom - top, 65535)));
  ownRepaint_ = false;
  viewport()->update(QRegion(before) | QRegion(ShapesArea(drag_.Shapes)));
}

void TFlowChartView::MovePoint(QPoint pos) {
  TKVFcConnection& c = *drag_.Connection;
  const int first = c.Source() ? 1 : 0;
  const int index = drag_.Handle - first;
  const QRect before = ConnectionArea(c) | FeedbackArea();
  drag_.Current = pos;
  if (index < 0 || index >= int(drag_.Points.size())) {  // an end: only feedback until dropped
    drag_.Points.clear();
    viewport()->update(before | FeedbackArea());
    return;
  }
  std::vector<TFcPoint> points = drag_.Points;
  points[size_t(index)] = chart_.UnscalePoint(chart_.ChartPoint(WindowPoint(pos)));
  ownRepaint_ = true;
  c.SetIntermediate(std::move(points));
  ownRepaint_ = false;
  viewport()->update(before | ConnectionArea(c));
}

void TFlowChartView::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  if (event->button() == Qt::RightButton) return RightRelease(pos, event->globalPosition().toPoint());
  if (event->button() != Qt::LeftButton || drag_.Kind == dkNone) return;
  FinishDrag(pos);
}

void TFlowChartView::FinishDrag(QPoint pos) {
  const TDrag drag = drag_;
  if (drag.Kind == dkTool) {
    const QRect dirty = FeedbackArea();
    ResetDrag();
    viewport()->update(dirty);
    emit ToolDragFinished(drag.Start, pos);
    return;
  }
  if (!drag.Started) {
    ResetDrag();
    return;
  }
  if (drag.Kind == dkBand) FinishBand();
  if (drag.Kind == dkPoint) DropPointEnd(pos);
  ResetDrag();
  RefreshAll();
  emit Changed();
}

void TFlowChartView::FinishBand() {
  const TFcRect band = chart_.Selection.Rect;
  std::vector<TKVFcItem*> inside;
  auto within = [&band](const TFcRect& r) {
    return !r.IsEmpty() && r.Left >= band.Left && r.Right <= band.Right && r.Top >= band.Top && r.Bottom <= band.Bottom;
  };
  for (int i = 0; i < chart_.GetObjectCount(); ++i) {
    TKVFcObject* s = chart_.GetObject(i);
    if (s->Visible() && within(s->DisplayRect())) inside.push_back(s);
  }
  for (int i = 0; i < chart_.GetConnectionCount(); ++i) {
    TKVFcConnection* c = chart_.GetConnection(i);
    if (c->InRect(band)) inside.push_back(c);
  }
  // Shift was honoured when the band began: without it the selection is already empty.
  SelectItems(inside, true);
}

void TFlowChartView::DropPointEnd(QPoint pos) {
  TKVFcConnection& c = *drag_.Connection;
  const int last = c.GetPointCount() - 1;
  const bool isSource = c.Source() && drag_.Handle == 0;
  const bool isDest = c.Dest() && drag_.Handle == last;
  if (!isSource && !isDest) return;
  TKVFcObject* shape = chart_.GetObjectAt(WindowPoint(pos));
  if (!shape) return;
  if (AcceptEnd && !AcceptEnd(c, *shape, isDest)) return;
  const TFcPoint at = chart_.ChartPoint(WindowPoint(pos));
  const auto points = shape->LinkedPoints();
  uint8_t nearest = 0;
  int64_t best = -1;
  for (uint8_t i = 0; i < 16; ++i) {
    const int64_t dx = points[i].X - at.X, dy = points[i].Y - at.Y, d = dx * dx + dy * dy;
    if (best < 0 || d < best) best = d, nearest = i;
  }
  if (isSource)
    c.SetSource(shape, nearest);
  else
    c.SetDest(shape, nearest);
  // The link moves its records between the datasets of the shapes it joins.
  if (c.DBLink() && chart_.Hooks().WireDBLink) {
    chart_.Hooks().WireDBLink(c, *c.DBLink(), c.Source() ? c.Source()->DataSet() : nullptr,
                              c.Dest() ? c.Dest()->DataSet() : nullptr);
  }
}

void TFlowChartView::ResetDrag() {
  if (drag_.Kind == dkBand) chart_.Selection = {};
  drag_ = {};
}

void TFlowChartView::CancelDrag() {
  if (drag_.Kind == dkNone) return;
  const TDrag drag = drag_;
  const QRect dirty = FeedbackArea();
  ResetDrag();
  if (drag.Started && drag.Kind == dkMove) {
    chart_.BeginUpdate();
    for (const TMoved& m : drag.Shapes) m.Shape->SetBounds(m.Left, m.Top, m.Shape->Width(), m.Shape->Height());
    chart_.EndUpdate();
  } else if (drag.Started && drag.Kind == dkResize) {
    const TMoved& m = drag.Shapes.front();
    m.Shape->SetBounds(m.Left, m.Top, drag.Width, drag.Height);
  } else if (drag.Started && drag.Kind == dkPoint && drag.Connection) {
    drag.Connection->SetIntermediate(drag.Points.empty() ? drag.Connection->Intermediate() : drag.Points);
  }
  viewport()->update(dirty);
  RefreshAll();
  emit DragCancelled();
}

void TFlowChartView::RightRelease(QPoint pos, QPoint global) {
  if (drag_.Kind != dkNone) return;
  const TKVFcHitInfo hit = chart_.GetHitTestAt(WindowPoint(pos));
  TKVFcItem* item = nullptr;
  if (hit.Has(htOnObject) && hit.Object)
    item = hit.Object;
  else if (hit.Connection)
    item = hit.Connection;
  if (item && !item->Selected()) chart_.Select(item, false);
  emit PopupRequested(global);
}

void TFlowChartView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  ResetDrag();
  emit DoubleClicked(event->position().toPoint());
}

void TFlowChartView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && drag_.Kind != dkNone) {
    CancelDrag();
    return;
  }
  if (event->key() == Qt::Key_Delete && Has(chart_, fcoCanDelete) && chart_.SelCount() > 0) {
    CancelDrag();
    chart_.DeleteSelection();
    RefreshAll();
    emit Changed();
    return;
  }
  if (event->key() == Qt::Key_Menu) {
    emit PopupRequested(QCursor::pos());
    return;
  }
  QAbstractScrollArea::keyPressEvent(event);
}

void TFlowChartView::contextMenuEvent(QContextMenuEvent* event) {
  // The right button is handled on its release; the keyboard's menu key here.
  if (event->reason() == QContextMenuEvent::Keyboard) emit PopupRequested(QCursor::pos());
  event->accept();
}

void TFlowChartView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  {
    TQuiet quiet(quiet_);
    chart_.SetClientSize(viewport()->width(), viewport()->height());
  }
  UpdateScrollRange();
}

void TFlowChartView::scrollContentsBy(int, int) {
  TQuiet quiet(quiet_);
  chart_.SetScrollOrigin(Origin());
  viewport()->update();
}

void TFlowChartView::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  viewport()->update();
}

void TFlowChartView::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  viewport()->update();
}

}  // namespace kv
