// The Qt view of a diagram (kv::TKVCustomFlowChart): it draws exactly what
// the model computes (shape outlines, linked points, connection polylines,
// arrow heads, label rectangles) and turns mouse and keyboard input into
// model operations.
//
// Drawing. Connections first, then the shapes in z-order, then selection
// handles (the sizing handles of selected shapes and the real points of
// selected connections) and drag feedback. With fcoHideSelection the
// handles show only while the view has the focus of its window. Only items
// that meet the region being repainted are drawn; a drag repaints the
// rectangles the moved items left and entered, nothing else.
//
// Mouse (left button). A press on a sizing handle resizes that shape, on a
// point of a selected connection moves that point (an end dropped on a
// shape re-attaches there, when AcceptEnd allows it), on a shape selects it
// (Shift adds with fcoMultiSelect) and moves the selected shapes, on a
// connection selects it. Elsewhere (nothing hit, or inside a shape's
// bounding rectangle but outside its outline) the selection is cleared
// unless Shift is down, and, with rubber banding on (SetRubberBand, or the
// chart's fcoMultiSelect), a rectangle is drawn whose shapes and
// connections (wholly inside) are selected on release. A drag starts
// only once the pointer has moved more than 5 pixels across or down; Esc
// cancels any drag. Dragging shapes needs fcoCanDrag.
//
// Tools. While a tool is set (vtShape / vtLink) a left-button drag draws
// a rectangle or a line and ends with ToolDragFinished(start, end) whatever
// the distance; the owner decides what it means. Esc ends it with
// DragCancelled instead.
//
// Right button: the release on an unselected shape or connection selects
// it, then PopupRequested; the context-menu key asks PopupRequested at the
// pointer. Delete (fcoCanDelete) deletes the selection. fcoDelOnClick
// has no effect here.
//
// Ownership: the chart is not owned and must outlive the view; the view
// sets the chart's OnChange, OnSelection and OnDeletion events and clears
// them when it goes away.
#pragma once

#include <QAbstractScrollArea>
#include <QPixmap>
#include <functional>
#include <vector>

#include "KVEditorLib_export.h"
#include "flowchart/FlowChart.h"

namespace kv {

class KVEDITORLIB_EXPORT TFlowChartView : public QAbstractScrollArea {
  Q_OBJECT
public:
  enum TTool { vtNone, vtShape, vtLink };

  explicit TFlowChartView(TKVCustomFlowChart& chart, QWidget* parent = nullptr);
  ~TFlowChartView() override;

  TKVCustomFlowChart& Chart() const { return chart_; }

  // The chart's image list: a shape with ImageIndex i shows images[i]
  // (scaled with the zoom); an index out of range shows none.
  void SetImages(std::vector<QPixmap> images);
  void SetTool(TTool tool);
  TTool Tool() const { return tool_; }
  // Whether a left drag on empty ground selects by rectangle.
  void SetRubberBand(bool on) { rubberBand_ = on; }
  // Sets the chart's zoom (a percentage; 0 fits) and redraws.
  void SetZoom(uint16_t percent);
  // Selects every item of `items`; without `extend` the selection is
  // cleared first. Works whatever fcoMultiSelect says.
  void SelectItems(const std::vector<TKVFcItem*>& items, bool extend);
  // Whether a drag (of any kind, past its 5-pixel start) is under way.
  bool Dragging() const { return drag_.Kind != dkNone && drag_.Started; }
  // Ends the drag under way without applying it (DragCancelled).
  void CancelDrag();
  // Re-measures labels, recomputes the scroll range and redraws all; call
  // after the chart was changed wholesale (loaded, cleared).
  void RefreshAll();
  // A viewport point as the chart's window point.
  static TFcPoint WindowPoint(QPoint p) { return {p.x(), p.y()}; }

  // Asked before an end of a connection is dropped on a shape (`dest`:
  // the destination end); empty accepts every shape.
  std::function<bool(TKVFcConnection& connection, TKVFcObject& shape, bool dest)> AcceptEnd;

signals:
  void Changed();
  void SelectionChanged();
  // A tool drag ended with the left button released (viewport points).
  void ToolDragFinished(QPoint start, QPoint end);
  void DragCancelled();
  void DoubleClicked(QPoint pos);
  void PopupRequested(QPoint globalPos);

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

private:
  enum TDragKind { dkNone, dkTool, dkBand, dkMove, dkResize, dkPoint };
  struct TMoved {
    TKVFcObject* Shape;
    int32_t Left, Top;  // at the drag's start, zoom 100
  };
  struct TDrag {
    TDragKind Kind = dkNone;
    bool Started = false;  // moved past the threshold
    QPoint Start, Current;  // viewport points
    std::vector<TMoved> Shapes;  // dkMove; dkResize: the one shape
    uint16_t Width = 0, Height = 0;  // dkResize: at the start
    int Handle = -1;  // dkResize: 0-7; dkPoint: the real point
    TKVFcConnection* Connection = nullptr;  // dkPoint
    std::vector<TFcPoint> Points;  // dkPoint: the intermediate points at the start
  };

  void OnChartChange();
  void OnChartDeletion(TKVFcItem& item);
  void BeginItemDrag(QMouseEvent& event);
  void PressOnEmpty(QMouseEvent& event);
  void PressOnShape(TKVFcObject& shape, bool extend);
  void UpdateDrag(QPoint pos);
  void FinishDrag(QPoint pos);
  void MoveShapes(QPoint pos);
  void ResizeShape(QPoint pos);
  void MovePoint(QPoint pos);
  void DropPointEnd(QPoint pos);
  void FinishBand();
  void ResetDrag();
  void RightRelease(QPoint pos, QPoint global);
  // What moving or reshaping these shapes repaints (viewport rectangle).
  QRect ShapesArea(const std::vector<TMoved>& shapes) const;
  QRect ConnectionArea(const TKVFcConnection& connection) const;
  QRect FeedbackArea() const;
  QRect ToViewport(const TFcRect& display, int margin) const;
  void UpdateScrollRange();
  void MeasureLabels();
  // A rectangle surely holding connection `index` as drawn (cheap to get).
  TFcRect RoughRect(int index) const;
  bool ShowSelection() const;
  void PaintConnection(class QPainter& painter, const TKVFcConnection& connection) const;
  void PaintShape(QPainter& painter, TKVFcObject& shape) const;
  void PaintShapeContent(QPainter& painter, const TKVFcObject& shape, const QRect& box) const;
  void PaintHandles(QPainter& painter, const QRect& clip) const;
  void PaintFeedback(QPainter& painter) const;
  TFcPoint Origin() const;

  TKVCustomFlowChart& chart_;  // not owned
  std::vector<QPixmap> images_;
  TTool tool_ = vtNone;
  bool rubberBand_ = false;
  bool ownRepaint_ = false;  // a drag is repainting what it changes itself
  bool quiet_ = false;  // the view itself is changing the chart's settings
  TDrag drag_;
  // By connection index: half the longer side of its measured label, 0
  // for none (refreshed by MeasureLabels, which every change but a drag runs).
  std::vector<int> labelReach_;
};

// The Windows-style colour value of the model (0x00BBGGRR; negative values
// are system colours) as a Qt colour.
KVEDITORLIB_EXPORT QColor FcColor(int32_t value);

}  // namespace kv
