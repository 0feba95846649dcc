// The chart model: creating items with their datasets and links, deleting
// with its cascade, z-order, unions, selection, connection points, zoom.
#include <gtest/gtest.h>

#include <climits>

#include "TestLinks.h"
#include "data/OracleDataSets.h"
#include "data/QueryDataSet.h"
#include "data/TableDataSets.h"
#include "data/TextDataSet.h"
#include "flowchart/FlowChart.h"
#include "foundation/ObjectStream.h"

using namespace kv;
using fctest::TTestJob;
using fctest::TTestLink;

namespace {

struct Events {
  std::vector<std::string> log;
  void Attach(TKVCustomFlowChart& chart) {
    chart.OnCreateItem = [this](TKVCustomFlowChart&, TKVFcItem& i) { log.push_back("create " + Name(i)); };
    chart.OnDeletion = [this](TKVCustomFlowChart&, TKVFcItem& i) { log.push_back("delete " + Name(i)); };
  }
  static std::string Name(TKVFcItem& i) { return i.Is<TKVFcObject>() ? "shape" : "connection " + i.Text(); }
};

TEST(ChartCreate, EachKindMakesItsDataSetClass) {
  TKVFlowChart chart;
  struct Case {
    TDataSetObjType kind;
    const TClassInfo* cls;
  } cases[] = {{dotText, TKVTextDataSet::StaticClass()},
               {dotQuery, TKVQueryDataSet::StaticClass()},
               {dotODBC, TKVODBCDataSet::StaticClass()},
               {dotFileDB, TKVFileDBDataSet::StaticClass()},
               {dotOracle, TKVOracleDataSet::StaticClass()}};
  for (const Case& c : cases) {
    TKVFcObject* o = chart.CreateObject(5, 6, 70, 80, fcsEllipse, c.kind);
    ASSERT_NE(o->DataSet(), nullptr);
    EXPECT_EQ(o->DataSet()->ClassType(), c.cls);
    EXPECT_EQ(o->DataSetObjType, c.kind);
    EXPECT_EQ(o->ShapeType(), fcsEllipse);
    EXPECT_EQ(o->Left(), 5);
    EXPECT_EQ(o->Height(), 80);
  }
  EXPECT_THROW(CreateDataSetOfKind(static_cast<TDataSetObjType>(5)), EConvertError);
}

TEST(ChartCreate, DefaultsOfNewItems) {
  TKVFlowChart chart;
  EXPECT_EQ(chart.Options, kFcAllOptions);
  EXPECT_EQ(chart.Zoom(), 100);
  TKVFcObject* o = chart.CreateObject(0, 0, 10, 10, fcsRectangle, dotText);
  EXPECT_EQ(o->Border, 15);
  EXPECT_EQ(o->ImageIndex, -1);
  EXPECT_EQ(o->ShapeWidth, 1);
  EXPECT_TRUE(o->Visible());
  EXPECT_TRUE(o->ParentFont);
  TKVFcConnection* c = chart.CreateConnection(o, nullptr, 2, 0);
  EXPECT_EQ(c->ArrowSource.ArrowType, fcaNone);
  EXPECT_EQ(c->ArrowDest.ArrowType, fcaArrow);
  EXPECT_EQ(c->ArrowDest.Width, 8);
  EXPECT_EQ(c->ArrowDest.Height, 8);
  EXPECT_EQ(c->PenColor, 0);
  EXPECT_EQ(c->PenWidth, 1);
  EXPECT_EQ(c->Style(), fclStraight);
  EXPECT_EQ(c->DBLink(), nullptr);  // no jobs layer: no link
  EXPECT_EQ(chart.Job(), nullptr);
}

TEST(ChartCreate, HooksFileTheDataSetAndWireTheLink) {
  TKVFlowChart chart;
  chart.SetHooks(fctest::TestHooks());
  chart.Clear();  // a job from the hooks
  auto* job = ObjCast<TTestJob>(chart.Job());
  ASSERT_NE(job, nullptr);
  job->Name = "J1";
  Events ev;
  ev.Attach(chart);
  TKVFcObject* a = chart.CreateObject(0, 0, 10, 10, fcsRectangle, dotText);
  TKVFcObject* b = chart.CreateObject(50, 0, 10, 10, fcsRectangle, dotODBC);
  TKVFcConnection* c = chart.CreateConnection(a, b, 6, 14);
  EXPECT_EQ(job->DataSets, (std::vector<TKVCustomDataSet*>{a->DataSet(), b->DataSet()}));
  auto* link = ObjCast<TTestLink>(c->DBLink());
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->Source, a->DataSet());
  EXPECT_EQ(link->Dest, b->DataSet());
  EXPECT_EQ(link->StatusHandler, "J1");
  EXPECT_EQ(c->Source(), a);
  EXPECT_EQ(c->PointSource(), 6);
  EXPECT_EQ(c->PointDest(), 14);
  EXPECT_EQ(a->GetConnection(0), c);
  EXPECT_EQ(b->GetConnectionCount(), 1);
  EXPECT_EQ(ev.log, (std::vector<std::string>{"create shape", "create shape", "create connection "}));
}

TEST(ChartDelete, ShapeTakesItsConnectionsAndLeavesTheUnions) {
  TKVFlowChart chart;
  Events ev;
  TKVFcObject* a = chart.CreateObject(0, 0, 10, 10, fcsRectangle, dotText);
  TKVFcObject* b = chart.CreateObject(50, 0, 10, 10, fcsRectangle, dotODBC);
  TKVFcObject* c = chart.CreateObject(90, 0, 10, 10, fcsRectangle, dotODBC);
  chart.CreateConnection(a, b, 0, 0)->SetText("ab");
  chart.CreateConnection(b, c, 0, 0)->SetText("bc");
  chart.CreateConnection(a, c, 0, 0)->SetText("ac");
  c->AddToUnion(b);
  a->AddToUnion(b);
  chart.Select(b);
  ev.Attach(chart);
  chart.DeleteObject(b);
  EXPECT_EQ(chart.GetObjectCount(), 2);
  ASSERT_EQ(chart.GetConnectionCount(), 1);
  EXPECT_EQ(chart.GetConnection(0)->Text(), "ac");
  EXPECT_TRUE(a->Union().empty());
  EXPECT_TRUE(c->Union().empty());
  EXPECT_EQ(chart.SelCount(), 0);
  EXPECT_EQ(a->GetConnectionCount(), 1);
  EXPECT_EQ(c->GetConnectionCount(), 1);
  EXPECT_EQ(ev.log, (std::vector<std::string>{"delete shape", "delete connection bc", "delete connection ab"}));
  // The extent shrinks only to what is left.
  EXPECT_EQ(chart.Extent(), (TFcPoint{100, 10}));
  chart.DeleteObject(c);
  EXPECT_EQ(chart.Extent(), (TFcPoint{10, 10}));
}

TEST(ChartDelete, SelectionGoesConnectionsFirstThenShapes) {
  TKVFlowChart chart;
  TKVFcObject* a = chart.CreateObject(0, 0, 10, 10, fcsRectangle, dotText);
  TKVFcObject* b = chart.CreateObject(50, 0, 10, 10, fcsRectangle, dotODBC);
  TKVFcConnection* ab = chart.CreateConnection(a, b, 0, 0);
  ab->SetText("ab");
  chart.CreateConnection(b, a, 0, 0)->SetText("ba");
  chart.Select(a, true);
  chart.Select(ab, true);
  Events ev;
  ev.Attach(chart);
  chart.DeleteSelection();
  EXPECT_EQ(ev.log, (std::vector<std::string>{"delete connection ab", "delete shape", "delete connection ba"}));
  EXPECT_EQ(chart.GetObjectCount(), 1);
  EXPECT_EQ(chart.GetConnectionCount(), 0);
  EXPECT_EQ(b->GetConnectionCount(), 0);
}

TEST(ChartZOrder, BringSendAndPutInFrontOf) {
  TKVFlowChart chart;
  TKVFcObject* s[4];
  for (int i = 0; i < 4; ++i) s[i] = chart.CreateObject(i, 0, 5, 5, fcsRectangle, dotText);
  auto order = [&] {
    std::string o;
    for (int i = 0; i < chart.GetObjectCount(); ++i) o += char('0' + chart.GetObject(i)->Left());
    return o;
  };
  chart.BringToFront(s[0]);
  EXPECT_EQ(order(), "1230");
  chart.SendToBack(s[3]);
  EXPECT_EQ(order(), "3120");
  chart.PutInFrontOf(s[3], s[2]);  // upwards
  EXPECT_EQ(order(), "1230");
  chart.PutInFrontOf(s[0], s[1]);  // downwards
  EXPECT_EQ(order(), "1023");
  chart.PutInFrontOf(s[0], s[0]);
  EXPECT_EQ(order(), "1023");
}

TEST(ChartUnion, MembersAndSelectUnion) {
  TKVFlowChart chart;
  TKVFcObject* a = chart.CreateObject(0, 0, 5, 5, fcsRectangle, dotText);
  TKVFcObject* b = chart.CreateObject(10, 0, 5, 5, fcsRectangle, dotText);
  TKVFcObject* c = chart.CreateObject(20, 0, 5, 5, fcsRectangle, dotText);
  a->AddToUnion(b);
  a->AddToUnion(b);  // once only
  a->AddToUnion(a);  // never itself
  a->AddToUnion(c);
  EXPECT_EQ(a->Union().size(), 2u);
  EXPECT_TRUE(a->HasInUnion(c));
  EXPECT_FALSE(b->HasInUnion(a));
  a->SelectUnion();
  EXPECT_EQ(chart.GetSelectedObjectCount(), 3);
  a->RemoveFromUnion(b);
  EXPECT_FALSE(a->HasInUnion(b));
  a->ClearUnion();
  EXPECT_TRUE(a->Union().empty());
}

TEST(ChartSelection, OptionsDecideSingleOrMultiple) {
  TKVFlowChart chart;
  TKVFcObject* a = chart.CreateObject(0, 0, 5, 5, fcsRectangle, dotText);
  TKVFcObject* b = chart.CreateObject(10, 0, 5, 5, fcsRectangle, dotText);
  TKVFcConnection* c = chart.CreateConnection(a, b, 0, 0);
  int selectedEvents = 0;
  chart.OnSelected = [&](TKVCustomFlowChart&, TKVFcItem&) { ++selectedEvents; };
  chart.Select(a);
  chart.Select(b);  // replaces
  EXPECT_EQ(chart.SelCount(), 1);
  EXPECT_EQ(chart.GetSelectedObject(0), b);
  EXPECT_FALSE(a->Selected());
  chart.Select(c, true);
  EXPECT_EQ(chart.GetSelectedConnection(0), c);
  EXPECT_EQ(chart.SelCount(), 2);
  chart.Options &= static_cast<TKVFcOptions>(~FcOptionBit(fcoMultiSelect));
  chart.Select(a, true);  // no multiple selection: replaces
  EXPECT_EQ(chart.SelCount(), 1);
  chart.Options = kFcAllOptions;
  chart.SelectAll();
  EXPECT_EQ(chart.SelCount(), 3);
  chart.ClearSelection();
  EXPECT_EQ(chart.SelCount(), 0);
  EXPECT_FALSE(c->Selected());
  chart.Options = 0;
  chart.Select(a);
  EXPECT_EQ(chart.SelCount(), 0);
  EXPECT_EQ(selectedEvents, 6);
  EXPECT_EQ(chart.GetSelectedObject(5), nullptr);
}

TEST(ChartPoints, AddInsertRemoveAndFind) {
  TKVFlowChart chart;
  TKVFcObject* a = chart.CreateObject(0, 0, 11, 11, fcsRectangle, dotText);
  TKVFcObject* b = chart.CreateObject(100, 100, 11, 11, fcsRectangle, dotText);
  TKVFcConnection* c = chart.CreateConnection(a, b, 6, 14);  // (10,5) -> (100,105)
  c->AddPoint({50, 5});
  c->AddPoint({50, 105});
  ASSERT_EQ(c->GetPointCount(), 4);
  EXPECT_EQ(c->GetPoint(0), (TFcPoint{10, 5}));
  EXPECT_EQ(c->GetPoint(1), (TFcPoint{50, 5}));
  EXPECT_EQ(c->GetPoint(3), (TFcPoint{100, 105}));
  c->InsertPoint(0, {30, 30});  // never before the source attachment
  EXPECT_EQ(c->GetPoint(1), (TFcPoint{30, 30}));
  c->InsertPoint(99, {70, 70});  // never after the destination attachment
  EXPECT_EQ(c->GetPoint(4), (TFcPoint{70, 70}));
  EXPECT_EQ(c->GetPoint(5), (TFcPoint{100, 105}));
  EXPECT_FALSE(c->RemovePoint(0));
  EXPECT_FALSE(c->RemovePoint(5));
  EXPECT_TRUE(c->RemovePoint(1));
  EXPECT_EQ(c->GetPointCount(), 5);
  EXPECT_EQ(c->HasPoint({52, 7}, 2), 1);
  EXPECT_EQ(c->HasPoint({53, 7}, 2), -1);
  EXPECT_EQ(c->GetNearestPoint({95, 99}), 4);
  EXPECT_TRUE(c->InRect({0, 0, 110, 110}));
  EXPECT_FALSE(c->InRect({0, 0, 99, 110}));
  EXPECT_THROW(c->GetPoint(5), EListError);
  // Points are kept at zoom 100: at zoom 50 they show at half.
  chart.SetZoom(50);
  EXPECT_EQ(c->GetPoint(1), (TFcPoint{25, 3}));
  c->AddPoint({40, 40});
  EXPECT_EQ(c->Intermediate().back(), (TFcPoint{80, 80}));
}

TEST(ChartPoints, CurvedWithTwoPointsIsStraight) {
  TKVFlowChart chart;
  TKVFcObject* a = chart.CreateObject(0, 0, 11, 11, fcsRectangle, dotText);
  TKVFcObject* b = chart.CreateObject(100, 0, 11, 11, fcsRectangle, dotText);
  TKVFcConnection* c = chart.CreateConnection(a, b, 6, 14);
  c->SetStyle(fclCurved);
  EXPECT_EQ(c->LineType(), liStraight);
  EXPECT_EQ(c->Polyline(), (TFcPolyline{{10, 5}, {100, 5}}));
  c->AddPoint({55, 60});
  EXPECT_EQ(c->LineType(), liQSpline);
  TFcPolyline curve = c->Polyline();
  EXPECT_EQ(curve.front(), (TFcPoint{10, 5}));
  EXPECT_EQ(curve.back(), (TFcPoint{100, 5}));
  EXPECT_GT(curve.size(), 3u);
  c->SetStyle(fclRectH);
  EXPECT_EQ(c->Polyline(), (TFcPolyline{{10, 5}, {55, 5}, {55, 60}, {100, 60}, {100, 5}}));
  c->SetStyle(fclRectV);
  EXPECT_EQ(c->Polyline(), (TFcPolyline{{10, 5}, {10, 60}, {55, 60}, {55, 5}, {100, 5}}));
}

TEST(ChartZoom, FitTakesTheTighterDirection) {
  TKVFlowChart chart;
  chart.SetClientSize(320, 200);
  chart.SetZoom(0);
  EXPECT_EQ(chart.Zoom(), 65535);
  EXPECT_EQ(chart.EffectiveZoom(), 100);  // an empty diagram
  chart.SetClientSize(0, 0);
  int z = chart.EffectiveZoom();
  EXPECT_GE(z, 1);
  EXPECT_LE(z, 100);
  chart.SetClientSize(320, 200);
  chart.CreateObject(0, 0, 400, 100, fcsRectangle, dotText);  // width: 320*95/400 = 76
  EXPECT_EQ(chart.EffectiveZoom(), 76);
  chart.CreateObject(0, 0, 10, 1000, fcsRectangle, dotText);  // height: 200*95/1000 = 19
  EXPECT_EQ(chart.EffectiveZoom(), 19);
  chart.CreateObject(0, 0, 60000, 60000, fcsRectangle, dotText);  // at least 1
  EXPECT_EQ(chart.EffectiveZoom(), 1);
  chart.SetZoom(250);
  EXPECT_EQ(chart.EffectiveZoom(), 250);
  EXPECT_EQ(chart.ScalePoint({10, -10}), (TFcPoint{25, -25}));
  chart.SetScrollOrigin({100, 7});
  EXPECT_EQ(chart.ChartPoint({1, 2}), (TFcPoint{101, 9}));
}

TEST(ChartJob, SetJobCopiesAndUpdatesBatchChanges) {
  TKVFlowChart chart;
  TTestJob job;
  job.Name = "Nightly";
  chart.SetJob(&job);
  ASSERT_NE(chart.Job(), &job);
  EXPECT_EQ(ObjCast<TTestJob>(chart.Job())->Name, "Nightly");
  job.Name = "Other";
  chart.SetJob(&job);
  EXPECT_EQ(ObjCast<TTestJob>(chart.Job())->Name, "Other");

  int changes = 0;
  chart.OnChange = [&](TKVCustomFlowChart&) { ++changes; };
  chart.BeginUpdate();
  chart.CreateObject(0, 0, 5, 5, fcsRectangle, dotText);
  chart.CreateObject(9, 0, 5, 5, fcsRectangle, dotText);
  EXPECT_EQ(changes, 0);
  chart.EndUpdate();
  EXPECT_EQ(changes, 1);
  chart.BeginUpdate();
  chart.GetObject(0)->SetBounds(1, 1, 5, 5);
  chart.CancelUpdate();
  EXPECT_EQ(changes, 1);
}

TEST(ChartSaveChart, ListsTheLiveItemsUnderTheirNames) {
  TKVFlowChart chart;
  TKVFcObject* a = chart.CreateObject(0, 0, 5, 5, fcsRectangle, dotText);
  chart.CreateConnection(a, a, 0, 4);
  TSaveChart& sc = chart.SaveChart();
  EXPECT_EQ(sc.FObjects->Count(), 1);
  EXPECT_EQ(sc.FConnections->Count(), 1);
  EXPECT_EQ(sc.FObjects->Items(0), a);
  EXPECT_EQ(a->GetConnectionCount(), 1);  // a loop is listed once
}

}  // namespace

namespace {
TEST(ChartBounds, ExtremeCoordinatesStayWithinRange) {
  TKVFlowChart chart;
  chart.SetZoom(65534);
  for (int t = 0; t < kFcShapeTypeCount; ++t) {
    TKVFcObject* o = chart.CreateObject(INT32_MAX, INT32_MIN, 65535, 65535, static_cast<TKVFcShapeType>(t), dotText);
    EXPECT_EQ(o->DisplayRect().Left, kFcMaxCoord);
    EXPECT_EQ(o->DisplayRect().Top, -kFcMaxCoord);
    EXPECT_EQ(o->Outline().empty(), false);
  }
  TKVFcConnection* c = chart.CreateConnection(chart.GetObject(0), chart.GetObject(1), 8, 0);
  c->SetIntermediate({{INT32_MIN, INT32_MAX}});
  c->SetStyle(fclCurved);
  c->SetText("far");
  EXPECT_FALSE(c->DisplayRect().IsEmpty());
  EXPECT_TRUE(chart.GetHitTestAt({INT32_MAX, INT32_MIN}).Has(htByObject));
  chart.SetZoom(0);
  EXPECT_EQ(chart.EffectiveZoom(), 1);
}

TEST(ChartSaveChart, WritesAndReadsBackInTheObjectStream) {
  TKVFlowChart chart;
  TKVFcObject* a = chart.CreateObject(7, 8, 9, 10, fcsHexagon, dotQuery);
  a->SetText("Q");
  TKVFcConnection* c = chart.CreateConnection(a, nullptr, 3, 0);
  c->SetStyle(fclRectH);
  TMemoryStream m;
  StreamWriteObject(m, &chart.SaveChart());
  m.SetPosition(0);
  std::unique_ptr<TBaseObject> obj = StreamReadObject(m);
  auto* back = ObjCast<TSaveChart>(obj.get());
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(back->FObjects->Count(), 1);
  ASSERT_EQ(back->FConnections->Count(), 1);
  auto* o = ObjCast<TKVFcObject>(back->FObjects->Items(0));
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->Left(), 7);
  EXPECT_EQ(o->Height(), 10);
  EXPECT_EQ(o->ShapeType(), fcsHexagon);
  EXPECT_EQ(o->Text(), "Q");
  ASSERT_NE(o->DataSet(), nullptr);
  EXPECT_EQ(o->DataSet()->ClassType(), TKVQueryDataSet::StaticClass());
  auto* k = ObjCast<TKVFcConnection>(back->FConnections->Items(0));
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(k->Style(), fclRectH);
  EXPECT_EQ(k->PointSource(), 3);
}
}  // namespace
