// The diagram view over a real chart: clicks select what the model's hit
// test finds, drags move and resize shapes and move connection points in
// the model, the rubber band, Esc and Delete, drawing at the places the
// model computes for every shape type and connection style at every zoom,
// and repainting only around what a drag changed.
#include <QPaintEvent>
#include <QScrollBar>
#include <QtTest>

#include "editors/FlowChartView.h"
#include "jobs/Job.h"

using namespace kv;

namespace {

QPoint ToView(const TKVCustomFlowChart& chart, TFcPoint chart100) {
  const TFcPoint d = chart.ScalePoint(chart100);
  const TFcPoint window = {d.X - chart.ChartPoint({0, 0}).X, d.Y - chart.ChartPoint({0, 0}).Y};
  return {window.X, window.Y};
}

QPoint CentreOf(const TKVFcObject& shape) {
  const TFcPoint c = shape.DisplayRect().Center();
  const TFcPoint o = shape.Owner()->ChartPoint({0, 0});
  return {c.X - o.X, c.Y - o.Y};
}

void Drag(QWidget* viewport, QPoint from, QPoint to, Qt::KeyboardModifiers mods = {}) {
  QTest::mousePress(viewport, Qt::LeftButton, mods, from);
  QTest::mouseMove(viewport, (from + to) / 2);
  QTest::mouseMove(viewport, to);
  QTest::mouseRelease(viewport, Qt::LeftButton, mods, to);
}

// Records the rectangles the viewport repaints.
class PaintSpy : public QObject {
public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) regions << static_cast<QPaintEvent*>(event)->region();
    return false;
  }
  QList<QRegion> regions;
};

}  // namespace

class FlowChartViewTest : public QObject {
  Q_OBJECT
private slots:
  void init();
  void cleanup();
  void clicksSelectWhatTheHitTestFinds();
  void draggingAShapeMovesItInTheModelAtEveryZoom();
  void smallMovesAndEscCancelADrag();
  void sizingHandlesResizeTheShape();
  void connectionPointsMoveAndEndsReattach();
  void rubberBandSelectsWhatItHoldsShiftKeepsTheRest();
  void deleteKeyDeletesTheSelection();
  void rightReleaseSelectsAndAsksForThePopup();
  void shapesAndLinesAreDrawnWhereTheModelPutsThem_data();
  void shapesAndLinesAreDrawnWhereTheModelPutsThem();
  void everyShapeTypeAndLineStyleIsDrawnAtEveryZoom();
  void aDragRepaintsOnlyAroundWhatMoved();

private:
  std::unique_ptr<TKVFlowChart> chart_;
  std::unique_ptr<TFlowChartView> view_;
  TKVFcObject* a_ = nullptr;
  TKVFcObject* b_ = nullptr;
  TKVFcConnection* link_ = nullptr;
};

void FlowChartViewTest::init() {
  chart_ = std::make_unique<TKVFlowChart>();
  a_ = chart_->CreateObject(20, 20, 80, 60, fcsRectangle, dotText);
  b_ = chart_->CreateObject(300, 200, 80, 60, fcsRectangle, dotFileDB);
  link_ = chart_->CreateConnection(a_, b_, 6, 14);
  view_ = std::make_unique<TFlowChartView>(*chart_);
  view_->resize(640, 480);
  view_->show();
  QVERIFY(QTest::qWaitForWindowExposed(view_.get()));
}

void FlowChartViewTest::cleanup() {
  view_.reset();
  chart_.reset();
}

void FlowChartViewTest::clicksSelectWhatTheHitTestFinds() {
  QWidget* vp = view_->viewport();
  QTest::mouseClick(vp, Qt::LeftButton, {}, CentreOf(*b_));
  QCOMPARE(chart_->GetSelectedObjectCount(), 1);
  QCOMPARE(chart_->GetSelectedObject(0), b_);
  const TFcPolyline line = link_->Polyline();
  const TFcPoint mid = PolylineMidpoint(line);
  QTest::mouseClick(vp, Qt::LeftButton, {}, QPoint(mid.X, mid.Y));
  QCOMPARE(chart_->GetSelectedObjectCount(), 0);
  QCOMPARE(chart_->GetSelectedConnectionCount(), 1);
  QCOMPARE(chart_->GetSelectedConnection(0), link_);
  QTest::mouseClick(vp, Qt::LeftButton, {}, QPoint(600, 40));  // nothing there
  QCOMPARE(chart_->SelCount(), 0);
  // Inside a diamond's bounding rectangle but outside its outline is no hit.
  b_->SetShapeType(fcsDiamond);
  QTest::mouseClick(vp, Qt::LeftButton, {}, ToView(*chart_, {303, 203}));
  QCOMPARE(chart_->SelCount(), 0);
  QTest::mouseClick(vp, Qt::LeftButton, {}, CentreOf(*b_));
  QCOMPARE(chart_->GetSelectedObject(0), b_);
}

void FlowChartViewTest::draggingAShapeMovesItInTheModelAtEveryZoom() {
  QWidget* vp = view_->viewport();
  Drag(vp, CentreOf(*a_), CentreOf(*a_) + QPoint(30, 20));
  QCOMPARE(a_->Left(), 50);
  QCOMPARE(a_->Top(), 40);
  QCOMPARE(chart_->GetSelectedObject(0), a_);
  // The line follows its shape.
  QCOMPARE(link_->GetPoint(0), a_->LinkedPoint(6));
  view_->SetZoom(200);
  Drag(vp, CentreOf(*a_), CentreOf(*a_) + QPoint(40, -20));
  QCOMPARE(a_->Left(), 70);
  QCOMPARE(a_->Top(), 30);
  QCOMPARE(b_->Left(), 300);
}

void FlowChartViewTest::smallMovesAndEscCancelADrag() {
  QWidget* vp = view_->viewport();
  Drag(vp, CentreOf(*a_), CentreOf(*a_) + QPoint(5, -5));
  QCOMPARE(a_->Left(), 20);
  QCOMPARE(a_->Top(), 20);
  QSignalSpy cancelled(view_.get(), &TFlowChartView::DragCancelled);
  const QPoint start = CentreOf(*a_);
  QTest::mousePress(vp, Qt::LeftButton, {}, start);
  QTest::mouseMove(vp, start + QPoint(60, 60));
  QCOMPARE(a_->Left(), 80);
  QVERIFY(view_->Dragging());
  QTest::keyClick(view_.get(), Qt::Key_Escape);
  QCOMPARE(a_->Left(), 20);
  QCOMPARE(a_->Top(), 20);
  QCOMPARE(cancelled.count(), 1);
  QTest::mouseRelease(vp, Qt::LeftButton, {}, start + QPoint(60, 60));
  QCOMPARE(a_->Left(), 20);
}

void FlowChartViewTest::sizingHandlesResizeTheShape() {
  QWidget* vp = view_->viewport();
  QTest::mouseClick(vp, Qt::LeftButton, {}, CentreOf(*a_));
  const TFcRect corner = a_->SizingHandles()[4];  // bottom right
  const QPoint at(corner.Center().X, corner.Center().Y);
  Drag(vp, at, at + QPoint(20, 10));
  QCOMPARE(a_->Width(), uint16_t(100));
  QCOMPARE(a_->Height(), uint16_t(70));
  QCOMPARE(a_->Left(), 20);
  // The top-left handle moves the corner, and a shape never shrinks below 8.
  const TFcRect topLeft = a_->SizingHandles()[0];
  const QPoint tl(topLeft.Center().X, topLeft.Center().Y);
  Drag(vp, tl, tl + QPoint(200, 200));
  QCOMPARE(a_->Width(), uint16_t(8));
  QCOMPARE(a_->Height(), uint16_t(8));
  QCOMPARE(a_->Left(), 112);
  QCOMPARE(a_->Top(), 82);
}

void FlowChartViewTest::connectionPointsMoveAndEndsReattach() {
  link_->AddPoint({200, 50});
  QWidget* vp = view_->viewport();
  const TFcPoint p1 = link_->GetPoint(1);
  QTest::mouseClick(vp, Qt::LeftButton, {}, QPoint(p1.X, p1.Y));
  QCOMPARE(chart_->GetSelectedConnection(0), link_);
  Drag(vp, QPoint(p1.X, p1.Y), QPoint(p1.X + 30, p1.Y + 40));
  QCOMPARE(link_->Intermediate().size(), size_t(1));
  QCOMPARE(link_->Intermediate()[0], (TFcPoint{230, 90}));
  // The destination end dropped on another shape attaches there, at the
  // linked point nearest to the drop, and the link follows the datasets.
  TKVFcObject* c = chart_->CreateObject(450, 20, 80, 60, fcsRectangle, dotOracle);
  chart_->Select(link_);
  const TFcPoint end = link_->GetPoint(2);
  const TFcPoint target = c->LinkedPoint(12);
  Drag(vp, QPoint(end.X, end.Y), QPoint(target.X + 2, target.Y - 2));
  QCOMPARE(link_->Dest(), c);
  QCOMPARE(int(link_->PointDest()), 12);
  auto* dbLink = ObjCast<TDBLink>(link_->DBLink());
  QVERIFY(dbLink);
  QCOMPARE(dbLink->DestDataSet(), c->DataSet());
  // A refused end stays where it was.
  view_->AcceptEnd = [](TKVFcConnection&, TKVFcObject&, bool) { return false; };
  chart_->Select(link_);
  const TFcPoint end2 = link_->GetPoint(2);
  Drag(vp, QPoint(end2.X, end2.Y), CentreOf(*b_));
  QCOMPARE(link_->Dest(), c);
}

void FlowChartViewTest::rubberBandSelectsWhatItHoldsShiftKeepsTheRest() {
  view_->SetRubberBand(true);
  QWidget* vp = view_->viewport();
  QTest::mouseClick(vp, Qt::LeftButton, {}, CentreOf(*a_));
  Drag(vp, QPoint(280, 180), QPoint(400, 280));  // around b only
  QCOMPARE(chart_->SelCount(), 1);
  QCOMPARE(chart_->GetSelectedObject(0), b_);
  Drag(vp, QPoint(5, 5), QPoint(120, 100), Qt::ShiftModifier);  // around a, keeping b
  QCOMPARE(chart_->GetSelectedObjectCount(), 2);
  QVERIFY(a_->Selected() && b_->Selected());
  QVERIFY(!chart_->Selection.Active);
  // The whole diagram: both shapes and the connection between them.
  Drag(vp, QPoint(600, 400), QPoint(2, 2));
  QCOMPARE(chart_->GetSelectedObjectCount(), 2);
  QCOMPARE(chart_->GetSelectedConnectionCount(), 1);
  // A band that only cuts through a shape leaves it out.
  Drag(vp, QPoint(2, 2), QPoint(60, 60));
  QCOMPARE(chart_->SelCount(), 0);
}

void FlowChartViewTest::deleteKeyDeletesTheSelection() {
  QWidget* vp = view_->viewport();
  QTest::keyClick(view_.get(), Qt::Key_Delete);  // nothing selected
  QCOMPARE(chart_->GetObjectCount(), 2);
  QTest::mouseClick(vp, Qt::LeftButton, {}, CentreOf(*a_));
  QTest::keyClick(view_.get(), Qt::Key_Delete);
  QCOMPARE(chart_->GetObjectCount(), 1);
  QCOMPARE(chart_->GetObject(0), b_);
  QCOMPARE(chart_->GetConnectionCount(), 0);  // its connection went with it
  chart_->Options &= static_cast<TKVFcOptions>(~FcOptionBit(fcoCanDelete));
  chart_->Select(b_);
  QTest::keyClick(view_.get(), Qt::Key_Delete);
  QCOMPARE(chart_->GetObjectCount(), 1);
}

void FlowChartViewTest::rightReleaseSelectsAndAsksForThePopup() {
  QSignalSpy popup(view_.get(), &TFlowChartView::PopupRequested);
  QWidget* vp = view_->viewport();
  QTest::mouseClick(vp, Qt::RightButton, {}, CentreOf(*b_));
  QCOMPARE(popup.count(), 1);
  QCOMPARE(chart_->GetSelectedObject(0), b_);
  QTest::mouseClick(vp, Qt::RightButton, {}, QPoint(600, 40));
  QCOMPARE(popup.count(), 2);
  QCOMPARE(chart_->GetSelectedObject(0), b_);  // empty ground keeps the selection
  QTest::keyClick(view_.get(), Qt::Key_Menu);
  QCOMPARE(popup.count(), 3);
}

void FlowChartViewTest::shapesAndLinesAreDrawnWhereTheModelPutsThem_data() {
  QTest::addColumn<int>("zoom");
  QTest::newRow("20") << 20;
  QTest::newRow("100") << 100;
  QTest::newRow("150") << 150;
}

void FlowChartViewTest::shapesAndLinesAreDrawnWhereTheModelPutsThem() {
  QFETCH(int, zoom);
  a_->BkColor = 0x0000FF;  // red, as 0x00BBGGRR
  b_->SetShapeType(fcsEllipse);
  b_->BkColor = 0x00FF00;
  link_->PenColor = 0xFF0000;
  link_->PenWidth = 3;
  view_->SetZoom(uint16_t(zoom));
  const QImage image = view_->viewport()->grab().toImage();
  QCOMPARE(image.pixelColor(CentreOf(*a_)), QColor(255, 0, 0));
  if (zoom >= 100) QCOMPARE(image.pixelColor(CentreOf(*b_)), QColor(0, 255, 0));
  const TFcPolyline line = link_->Polyline();
  const TFcPoint mid = PolylineMidpoint(line);
  QCOMPARE(image.pixelColor(QPoint(mid.X, mid.Y)), QColor(0, 0, 255));
  // The corner of the ellipse's bounding box is outside its outline.
  const TFcRect r = b_->DisplayRect();
  QCOMPARE(image.pixelColor(QPoint(r.Left + 1, r.Top + 1)), QColor(Qt::white));
}

void FlowChartViewTest::everyShapeTypeAndLineStyleIsDrawnAtEveryZoom() {
  std::vector<QPixmap> images(2, QPixmap(16, 16));
  images[0].fill(Qt::blue);
  images[1].fill(Qt::green);
  view_->SetImages(images);
  std::vector<TKVFcObject*> shapes;
  for (uint8_t t = 0; t < kFcShapeTypeCount; ++t) {
    TKVFcObject* s = chart_->CreateObject(20 + (t % 4) * 110, 320 + (t / 4) * 90, 90, 70,
                                          static_cast<TKVFcShapeType>(t), static_cast<TDataSetObjType>(t % 5));
    s->SetText("Shape " + std::to_string(t));
    s->ImageIndex = int16_t(t % 3 - 1);  // none, 0, 1
    s->Edge = uint16_t(t % 2 ? 5 : 10);
    s->HorzTextPos = static_cast<TKVFcHorzPos>(t % 3);
    s->VertTextPos = static_cast<TKVFcVertPos>((t / 3) % 3);
    s->ShapeWidth = uint8_t(1 + t % 3);
    s->Transparent = t == 3;
    if (t == 4) {
      s->ParentFont = false;
      s->Font.Style = fsBold | fsItalic | fsUnderline | fsStrikeOut;
      s->Font.Height = 14;
    }
    if (t == fcsUser) {
      s->UserPoints = [](const TKVFcObject&, const TFcRect& d) {
        std::array<TFcPoint, 16> p;
        for (int i = 0; i < 16; ++i) p[size_t(i)] = {d.Left + (d.Right - d.Left) * i / 15, d.Top + (i % 2) * 10};
        return p;
      };
    }
    shapes.push_back(s);
  }
  for (uint8_t style = 0; style < kFclStyleCount; ++style) {
    for (uint8_t arrow = 0; arrow < kFcaTypeCount; ++arrow) {
      TKVFcConnection* c = chart_->CreateConnection(shapes[style], shapes[4 + arrow], uint8_t(arrow * 4), 3);
      c->SetStyle(static_cast<TKVFclStyle>(style));
      c->ArrowSource.ArrowType = static_cast<TKVFcaType>(arrow);
      c->ArrowDest.ArrowType = static_cast<TKVFcaType>((arrow + 1) % kFcaTypeCount);
      c->PenStyle = uint8_t((style * 4 + arrow) % 16);
      if (arrow % 2) c->AddPoint({200 + arrow * 10, 300});
      if (arrow == 3) c->AddPoint({260, 330});
      c->SetText(arrow ? "Link " + std::to_string(style) : "");
    }
  }
  chart_->CreateConnection(nullptr, shapes[0], 0, 0);  // no source
  chart_->SelectAll();
  view_->setFocus();
  for (uint16_t zoom : {uint16_t(20), uint16_t(100), uint16_t(490), uint16_t(0)}) {
    view_->SetZoom(zoom);
    view_->horizontalScrollBar()->setValue(view_->horizontalScrollBar()->maximum() / 2);
    QVERIFY(!view_->viewport()->grab().toImage().isNull());
  }
  // Fitting: the whole diagram in the window, at 1 to 100 percent.
  QVERIFY(chart_->EffectiveZoom() >= 1 && chart_->EffectiveZoom() <= 100);
  QCOMPARE(view_->horizontalScrollBar()->value(), 0);
  const TFcPoint corner = chart_->ScalePoint(chart_->Extent());
  QVERIFY(corner.X < view_->viewport()->width() && corner.Y < view_->viewport()->height());
  // A label is measured for its text and drawn over the line.
  view_->SetZoom(100);
  const TKVFcConnection& labelled = *chart_->GetConnection(2);  // "Link 0"
  const TFcRect label = labelled.LabelRect();
  const QFontMetrics fm(view_->font());
  QVERIFY(label.Right - label.Left + 1 > fm.horizontalAdvance("Link") / 2);
  const QImage image = view_->viewport()->grab().toImage();
  int dark = 0;
  for (int x = label.Left; x <= label.Right; ++x)
    for (int y = label.Top; y <= label.Bottom; ++y) dark += image.pixelColor(x, y).lightness() < 128 ? 1 : 0;
  QVERIFY(dark > 5);
}

void FlowChartViewTest::aDragRepaintsOnlyAroundWhatMoved() {
  TKVFcObject* far = chart_->CreateObject(560, 380, 60, 60, fcsRectangle, dotText);
  chart_->Select(b_);
  QCoreApplication::processEvents();
  PaintSpy spy;
  view_->viewport()->installEventFilter(&spy);
  QWidget* vp = view_->viewport();
  const QPoint start = CentreOf(*b_);
  QTest::mousePress(vp, Qt::LeftButton, {}, start);
  QTest::mouseMove(vp, start + QPoint(0, 20));
  QTRY_VERIFY_WITH_TIMEOUT(!spy.regions.isEmpty(), 5000);
  const QRect farRect(far->Left(), far->Top(), far->Width(), far->Height());
  for (const QRegion& region : spy.regions) {
    QVERIFY(!region.intersects(farRect));
    QVERIFY(region.contains(CentreOf(*b_)));
  }
  QTest::mouseRelease(vp, Qt::LeftButton, {}, start + QPoint(0, 20));
  QCOMPARE(b_->Top(), 220);
}

QTEST_MAIN(FlowChartViewTest)
#include "FlowChartViewTest.moc"
