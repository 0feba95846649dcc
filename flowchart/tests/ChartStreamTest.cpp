// The job file byte for byte, older files, and bad input.
#include <gtest/gtest.h>

#include "TestLinks.h"
#include "data/TableDataSets.h"
#include "data/TextDataSet.h"
#include "flowchart/FlowChart.h"
#include "foundation/ObjectStream.h"
#include "testsupport/Errors.h"
#include "testsupport/TempFiles.h"
#include "testsupport/TestData.h"

using namespace kv;
using fctest::TTestJob;
using fctest::TTestLink;

namespace {

// Little-endian bytes built by hand.
struct Bytes {
  std::string b;
  Bytes& u8(int v) {
    b.push_back(static_cast<char>(v & 0xFF));
    return *this;
  }
  Bytes& u16(int v) { return u8(v).u8(v >> 8); }
  Bytes& i32(int32_t v) { return u16(v & 0xFFFF).u16((v >> 16) & 0xFFFF); }
  Bytes& str(const std::string& s) {
    u16(static_cast<int>(s.size()));
    b += s;
    return *this;
  }
  Bytes& nullObject() {
    b += "TPF0";
    return u8(0);
  }
  Bytes& object(const TBaseObject* obj) {
    TMemoryStream m;
    StreamWriteObject(m, obj);
    b += m.Bytes();
    return *this;
  }
};

std::string Save(const TKVCustomFlowChart& chart) {
  TMemoryStream m;
  chart.SaveToStream(m);
  return m.Bytes();
}

void Load(TKVCustomFlowChart& chart, const std::string& bytes) {
  TMemoryStream m(bytes);
  chart.LoadFromStream(m);
}

TEST(ChartStreamBytes, OneShapeRecord) {
  TKVFlowChart chart;
  TKVFcObject* o = chart.CreateObject(-5, 300, 120, 60, fcsDiamond, dotODBC);
  o->TakeDataSet(nullptr);
  o->Edge = 10;
  o->HorzTextPos = fchpLeft;
  o->VertTextPos = fcvpDown;
  o->HorzImagePos = fchpRight;
  o->VertImagePos = fcvpCenter;
  o->BkColor = 0x00FFEEDD;
  o->ShapeColor = 0x112233;
  o->Tag = -2;
  o->ImageIndex = 3;
  o->ShapeWidth = 2;
  o->Transparent = true;
  o->SetText("Orders");
  Bytes want;
  want.u16(1)
      .i32(-5)
      .i32(300)
      .u16(120)
      .u16(60)
      .u16(10)
      .u16(15)
      .u8(0)
      .u8(2)
      .u8(2)
      .u8(1)
      .i32(0x00FFEEDD)
      .i32(0x112233)
      .i32(-2)
      .u16(0)
      .u16(3)
      .u8(fcsDiamond)
      .u8(2)
      .u8(1)
      .u8(1)
      .u8(dotODBC);
  ASSERT_EQ(want.b.size(), 2u + 41u);
  want.str("Orders").str("").nullObject();  // no font block: ParentFont
  want.u16(0).nullObject();                 // no connections; no job
  EXPECT_EQ(Save(chart), want.b);
}

// Two shapes with own fonts and a union; two connections, each missing
// one end, one with points, arrows and its own font.
struct FontScene {
  TKVFlowChart chart;
  FontScene() {
    chart.Font.Name = "Tahoma";
    TKVFcObject* s0 = chart.CreateObject(0, 0, 10, 10, fcsRectangle, dotText);
    TKVFcObject* s1 = chart.CreateObject(20, 0, 10, 10, fcsHexagon, dotText);
    s0->TakeDataSet(nullptr);
    s1->TakeDataSet(nullptr);
    s0->ParentFont = false;
    s0->Font = TKVFcFont{"Tahoma", -13, 0x0000FF, 1, fsBold | fsUnderline, 134};
    s1->ParentFont = false;
    s1->Font = TKVFcFont{"Arial", 9, 0, 2, 0, 0};
    s1->AddToUnion(s0);
    TKVFcConnection* c0 = chart.CreateConnection(s1, nullptr, 5, 0);
    c0->PenStyle = 3;
    c0->PenColor = 0x00808080;
    c0->SetTransparent(true);
    c0->SetStyle(fclRectV);
    c0->ParentFont = false;
    c0->Font = TKVFcFont{"Courier", -8, 7, 0, fsItalic, 1};
    c0->SetIntermediate({{10, 20}, {-30, 40}});
    c0->SetText("link");
    c0->ArrowSource = TKVFcConnectionArrow{fcaEllipse, 5, 6, 0x0000FF};
    c0->ArrowDest = TKVFcConnectionArrow{fcaRectangle, 7, 9, 0};
    chart.CreateConnection(nullptr, s0, 0, 15);
  }
  static Bytes Shape(int left, int type, int unionCount, bool parentFont = true) {
    Bytes b;
    b.i32(left).i32(0).u16(10).u16(10).u16(0).u16(15).u8(1).u8(1).u8(1).u8(1).i32(0xFFFFFF).i32(0).i32(0);
    b.u16(unionCount).u16(0xFFFF).u8(type).u8(1).u8(parentFont ? 1 : 0).u8(0).u8(dotText);
    return b;
  }
  static std::string Expected() {
    Bytes w;
    w.u16(2);
    w.b += Shape(0, fcsRectangle, 0, false).b;
    w.u16(-13).i32(0x0000FF).u8(1).u8(fsBold | fsUnderline).u8(134).str("");  // the chart's font name: empty
    w.str("").str("").nullObject();
    w.b += Shape(20, fcsHexagon, 1, false).b;
    w.u16(0);  // union: shape 0
    w.u16(9).i32(0).u8(2).u8(0).u8(0).str("Arial");
    w.str("").str("").nullObject();
    w.u16(2);
    // Connection 0: from shape 1 at point 5, no destination.
    w.u16(1).u16(-1).u16(2).i32(0x00808080).u8(0x35).u8(0x80).u8(fclRectV).u8(0);
    w.u8(fcaEllipse).u8(5).u8(6).i32(0x0000FF).u8(fcaRectangle).u8(7).u8(9).i32(0);
    w.i32(10).i32(20).i32(-30).i32(40);
    w.u16(-8).i32(7).u8(0).u8(fsItalic).u8(1).str("Courier");
    w.str("link").nullObject();
    // Connection 1: no source, to shape 0 at point 15; the chart's font.
    w.u16(-1).u16(0).u16(0).i32(0).u8(0x00).u8(15).u8(fclStraight).u8(1);
    w.u8(fcaNone).u8(8).u8(8).i32(0).u8(fcaArrow).u8(8).u8(8).i32(0);
    w.str("").nullObject();
    w.nullObject();
    return w.b;
  }
};

TEST(ChartStreamBytes, ConnectionsWithPointsFontsAndMissingEnds) {
  FontScene s;
  EXPECT_EQ(Save(s.chart), FontScene::Expected());
}

TEST(ChartStreamBytes, HandBuiltFileLoadsAndWritesBackTheSame) {
  TKVFlowChart chart;
  chart.Font.Name = "Tahoma";
  Load(chart, FontScene::Expected());
  ASSERT_EQ(chart.GetObjectCount(), 2);
  ASSERT_EQ(chart.GetConnectionCount(), 2);
  TKVFcObject* s0 = chart.GetObject(0);
  TKVFcObject* s1 = chart.GetObject(1);
  EXPECT_EQ(s0->Font.Name, "Tahoma");  // empty name: the chart's
  EXPECT_EQ(s0->Font.Charset, 134);
  EXPECT_EQ(s1->Font.Name, "Arial");
  EXPECT_EQ(s1->Union(), (std::vector<TKVFcObject*>{s0}));
  TKVFcConnection* c0 = chart.GetConnection(0);
  EXPECT_EQ(c0->Source(), s1);
  EXPECT_EQ(c0->Dest(), nullptr);
  EXPECT_EQ(c0->PointSource(), 5);
  EXPECT_EQ(c0->PenStyle, 3);
  EXPECT_TRUE(c0->Transparent());
  EXPECT_EQ(c0->Style(), fclRectV);
  EXPECT_EQ(c0->Intermediate(), (std::vector<TFcPoint>{{10, 20}, {-30, 40}}));
  EXPECT_EQ(c0->GetPointCount(), 3);
  EXPECT_EQ(c0->ArrowSource, (TKVFcConnectionArrow{fcaEllipse, 5, 6, 0x0000FF}));
  EXPECT_EQ(c0->Font.Name, "Courier");
  EXPECT_EQ(c0->Text(), "link");
  TKVFcConnection* c1 = chart.GetConnection(1);
  EXPECT_EQ(c1->Source(), nullptr);
  EXPECT_EQ(c1->Dest(), s0);
  EXPECT_EQ(c1->PointDest(), 15);
  EXPECT_EQ(Save(chart), FontScene::Expected());
}

TEST(ChartStreamBytes, StringsAreCutAt65535Bytes) {
  TKVFlowChart chart;
  TKVFcObject* o = chart.CreateObject(0, 0, 10, 10, fcsRectangle, dotText);
  o->SetText(std::string(70000, 'x'));
  o->CustomData = std::string(65535, 'y');
  TKVFlowChart back;
  Load(back, Save(chart));
  EXPECT_EQ(back.GetObject(0)->Text(), std::string(65535, 'x'));
  EXPECT_EQ(back.GetObject(0)->CustomData, std::string(65535, 'y'));
}

TEST(ChartStreamRoundTrip, DataSetsLinksAndJobComeBackWired) {
  TKVFlowChart chart;
  chart.SetHooks(fctest::TestHooks());
  TTestJob job;
  job.Name = "Nightly";
  chart.SetJob(&job);
  TKVFcObject* a = chart.CreateObject(10, 20, 100, 50, fcsEllipse, dotText);
  TKVFcObject* b = chart.CreateObject(300, 20, 100, 50, fcsRectangle, dotFileDB);
  a->DataSet()->Name = "Source";
  b->DataSet()->TableName = "orders.dbf";
  TKVFcConnection* c = chart.CreateConnection(a, b, 6, 14);
  static_cast<TTestLink*>(c->DBLink())->Name = "Load orders";
  c->AddPoint({200, 200});
  std::string bytes = Save(chart);

  TKVFlowChart back;
  back.SetHooks(fctest::TestHooks());
  Load(back, bytes);
  EXPECT_EQ(Save(back), bytes);
  ASSERT_EQ(back.GetObjectCount(), 2);
  EXPECT_EQ(back.GetObject(0)->DataSet()->ClassType(), TKVTextDataSet::StaticClass());
  EXPECT_EQ(back.GetObject(0)->DataSet()->Name, "Source");
  EXPECT_EQ(back.GetObject(1)->DataSet()->ClassType(), TKVFileDBDataSet::StaticClass());
  auto* link = ObjCast<TTestLink>(back.GetConnection(0)->DBLink());
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->Name, "Load orders");
  EXPECT_EQ(link->Source, back.GetObject(0)->DataSet());
  EXPECT_EQ(link->Dest, back.GetObject(1)->DataSet());
  ASSERT_NE(ObjCast<TTestJob>(back.Job()), nullptr);
  EXPECT_EQ(ObjCast<TTestJob>(back.Job())->Name, "Nightly");
  EXPECT_EQ(back.Extent(), (TFcPoint{400, 200}));
}

TEST(ChartStreamRoundTrip, FileSaveIsAtomicAndLoadNamesTheFile) {
  kvtest::TempFolder dir("fcjob");
  std::string path = dir.File("a.job");
  TKVFlowChart chart;
  chart.CreateObject(0, 0, 10, 10, fcsRectangle, dotText);
  chart.SaveToFile(path);
  std::string saved = kvtest::ReadFile(path);
  EXPECT_EQ(saved, Save(chart));
  // A save that fails (too many points for the format) keeps the old file.
  TKVFcConnection* c = chart.CreateConnection(chart.GetObject(0), nullptr, 0, 0);
  c->SetIntermediate(std::vector<TFcPoint>(65536));
  EXPECT_THROW(chart.SaveToFile(path), EWriteError);
  EXPECT_EQ(kvtest::ReadFile(path), saved);

  TKVFlowChart back;
  back.LoadFromFile(path);
  EXPECT_EQ(back.GetObjectCount(), 1);
  std::string missing = dir.File("missing.job");
  EXPECT_NE(kvtest::ErrorOf<EReadError>([&] { back.LoadFromFile(missing); }).find(missing), std::string::npos);
  kvtest::WriteFile(path, saved.substr(0, 30));
  std::string err = kvtest::ErrorOf<EReadError>([&] { back.LoadFromFile(path); });
  EXPECT_NE(err.find(path), std::string::npos) << err;
  EXPECT_NE(err.find("Invalid job file"), std::string::npos) << err;
  EXPECT_EQ(back.GetObjectCount(), 1);
}

// ---- Older files ---------------------------------------------------------------------------

std::string OlderFile(TConnectType connect, const std::string& driver, int storedKind) {
  TKVTableDataSet old;
  old.DataBaseInfo->ConnectType = connect;
  old.DataBaseInfo->DriverName = driver;
  old.DataBaseInfo->AliasName = "Sales";
  old.TableName = "orders";
  old.NewTable = true;
  Bytes w;
  w.u16(1);
  w.b += FontScene::Shape(0, fcsRectangle, 0).b;
  w.b[2 + 40] = static_cast<char>(storedKind);
  w.str("").str("").object(&old);
  w.u16(0).nullObject();
  return w.b;
}

TEST(ChartStreamOlder, PlainTableBecomesOdbcOrFileDatabase) {
  struct Case {
    TConnectType connect;
    const char* driver;
    TDataSetObjType kind;
    const TClassInfo* cls;
  } cases[] = {{ctAlias, "ODBC", dotODBC, TKVODBCDataSet::StaticClass()},
               {ctDBParams, "DBASE", dotFileDB, TKVFileDBDataSet::StaticClass()},
               {ctDBParams, "ODBC", dotFileDB, TKVFileDBDataSet::StaticClass()},
               {ctOracle, "Oracle", dotFileDB, TKVFileDBDataSet::StaticClass()}};
  for (const Case& c : cases) {
    TKVFlowChart chart;
    Load(chart, OlderFile(c.connect, c.driver, dotText));
    TKVFcObject* o = chart.GetObject(0);
    ASSERT_NE(o->DataSet(), nullptr);
    EXPECT_EQ(o->DataSet()->ClassType(), c.cls) << c.driver;
    EXPECT_EQ(o->DataSetObjType, c.kind) << c.driver;
    auto* t = ObjCast<TKVTableDataSet>(o->DataSet());
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->TableName, "orders");
    EXPECT_TRUE(t->NewTable);
    EXPECT_EQ(t->DataBaseInfo->AliasName, "Sales");
  }
}

// ---- Bad input ------------------------------------------------------------------------------

// A chart with content, so that a failed load can be seen to change nothing.
struct Victim {
  TKVFlowChart chart;
  std::string before;
  Victim() {
    chart.SetHooks(fctest::TestHooks());
    chart.Clear();
    TKVFcObject* a = chart.CreateObject(1, 2, 3, 4, fcsEllipse, dotQuery);
    chart.CreateConnection(a, a, 1, 2);
    before = Save(chart);
  }
  std::string LoadError(const std::string& bytes) {
    std::string err = kvtest::ErrorOf<EReadError>([&] { Load(chart, bytes); });
    EXPECT_EQ(Save(chart), before) << "a failed load changed the chart";
    return err;
  }
};

TEST(ChartStreamBad, EveryTruncationFailsCleanly) {
  FontScene s;
  std::string full = Save(s.chart);
  Victim v;
  for (size_t n = 0; n < full.size(); ++n) {
    std::string err = v.LoadError(full.substr(0, n));
    EXPECT_NE(err, "(no error)") << "prefix " << n;
  }
}

TEST(ChartStreamBad, CountsPromisingMoreThanTheFileHolds) {
  Victim v;
  EXPECT_NE(v.LoadError(Bytes().u16(65535).b).find("65535 shapes promised"), std::string::npos);
  Bytes shape;
  shape.u16(1);
  shape.b += FontScene::Shape(0, fcsRectangle, 60000).b;
  EXPECT_NE(v.LoadError(shape.b + std::string(60, '\0')).find("60000 union members promised"), std::string::npos);
  Bytes conns;
  conns.u16(0).u16(40000);
  EXPECT_NE(v.LoadError(conns.b).find("40000 connections promised"), std::string::npos);
  Bytes points;
  points.u16(0).u16(1).u16(-1).u16(-1).u16(50000).i32(0).u8(0).u8(0).u8(0).u8(1);
  points.u8(0).u8(8).u8(8).i32(0).u8(1).u8(8).u8(8).i32(0);
  EXPECT_NE(v.LoadError(points.b + std::string(40, '\0')).find("50000 points promised"), std::string::npos);
}

Bytes OneConnection(int source, int dest, int pointByte, int style) {
  Bytes w;
  w.u16(1);
  w.b += FontScene::Shape(0, fcsRectangle, 0).b;
  w.str("").str("").nullObject();
  w.u16(1).u16(source).u16(dest).u16(0).i32(0).u8(0).u8(pointByte).u8(style).u8(1);
  w.u8(0).u8(8).u8(8).i32(0).u8(1).u8(8).u8(8).i32(0);
  w.str("").nullObject();
  w.nullObject();
  return w;
}

TEST(ChartStreamBad, ValuesOutOfRangeAreRefused) {
  Victim v;
  Load(v.chart, OneConnection(0, -1, 3, 0).b);  // the well-formed base case
  EXPECT_EQ(v.chart.GetConnection(0)->PointDest(), 3);
  v.before = Save(v.chart);
  EXPECT_NE(v.LoadError(OneConnection(1, -1, 3, 0).b).find("shape index 1 out of range"), std::string::npos);
  EXPECT_NE(v.LoadError(OneConnection(-2, -1, 3, 0).b).find("shape index -2 out of range"), std::string::npos);
  EXPECT_NE(v.LoadError(OneConnection(0, 0, 16, 0).b).find("invalid linked point 16"), std::string::npos);
  EXPECT_NE(v.LoadError(OneConnection(0, 0, 3, 4).b).find("invalid line style 4"), std::string::npos);
  Bytes badShape;
  badShape.u16(1);
  badShape.b += FontScene::Shape(0, 11, 0).b;
  badShape.str("").str("").nullObject().u16(0).nullObject();
  EXPECT_NE(v.LoadError(badShape.b).find("invalid shape type 11"), std::string::npos);
  Bytes badUnion;
  badUnion.u16(1);
  badUnion.b += FontScene::Shape(0, 1, 1).b;
  badUnion.u16(1).str("").str("").nullObject().u16(0).nullObject();
  EXPECT_NE(v.LoadError(badUnion.b).find("union index 1 out of range"), std::string::npos);
}

TEST(ChartStreamBad, EmbeddedStreamsThatFail) {
  Victim v;
  // The dataset slot holding a job.
  TTestJob job;
  Bytes wrongClass;
  wrongClass.u16(1);
  wrongClass.b += FontScene::Shape(0, 1, 0).b;
  wrongClass.str("").str("").object(&job).u16(0).nullObject();
  std::string err = v.LoadError(wrongClass.b);
  EXPECT_NE(err.find("shape 0"), std::string::npos) << err;
  EXPECT_NE(err.find("TTestJob"), std::string::npos) << err;
  // A class nobody registered.
  Bytes unknown;
  unknown.u16(0).u16(0);
  unknown.b += "TPF0";
  unknown.u8(10).b += "TNoSuchJob";
  unknown.u8(0).u8(0).u8(0);
  err = v.LoadError(unknown.b);
  EXPECT_NE(err.find("TNoSuchJob"), std::string::npos) << err;
  // No signature.
  Bytes noSignature;
  noSignature.u16(0).u16(0).b += "XXXX";
  EXPECT_NE(v.LoadError(noSignature.b + std::string(1, '\0')), "(no error)");
  // A DB link of the wrong class while the hooks ask for TTestLink.
  Bytes wrongLink = OneConnection(0, 0, 3, 0);
  TTestJob notALink;
  Bytes tail;
  tail.object(&notALink).nullObject();
  wrongLink.b.replace(wrongLink.b.size() - 10, 10, tail.b);
  err = v.LoadError(wrongLink.b);
  EXPECT_NE(err.find("connection 0"), std::string::npos) << err;
}

}  // namespace

namespace {
// The fuzz target's seed corpus: real files that must load and write back stably.
TEST(ChartStreamCorpus, SeedFilesLoadAndWriteBackStably) {
  std::string dir = kvtest::TestDataFolder() + "/../../fuzz/corpus/";
  for (const char* name : {"empty.job", "two_shapes.job", "every_shape.job", "older_table.job"}) {
    std::string bytes = kvtest::ReadFile(dir + name);
    ASSERT_FALSE(bytes.empty()) << name;
    TKVFlowChart chart;
    chart.LoadFromFile(dir + name);
    std::string once = Save(chart);
    TKVFlowChart again;
    Load(again, once);
    EXPECT_EQ(Save(again), once) << name;
    if (std::string(name) == "older_table.job") {
      EXPECT_EQ(chart.GetObject(0)->DataSet()->ClassType(), TKVODBCDataSet::StaticClass());
      EXPECT_NE(once, bytes);  // the converted dataset is written under its new class
    }
    if (std::string(name) == "two_shapes.job") {
      EXPECT_EQ(once, bytes);
    }
  }
}
}  // namespace

namespace {
TEST(ChartStreamRoundTrip, WithoutHooksLinksAndJobAreKeptAsRead) {
  TKVFlowChart made;
  made.SetHooks(fctest::TestHooks());
  made.Clear();
  static_cast<TTestJob*>(made.Job())->Name = "J";
  TKVFcObject* a = made.CreateObject(0, 0, 10, 10, fcsRectangle, dotText);
  static_cast<TTestLink*>(made.CreateConnection(a, a, 1, 2)->DBLink())->Name = "self";
  std::string bytes = Save(made);

  TKVFlowChart plain;  // no hooks: nothing to wire, any class accepted
  Load(plain, bytes);
  auto* link = ObjCast<TTestLink>(plain.GetConnection(0)->DBLink());
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->Name, "self");
  EXPECT_EQ(link->Source, nullptr);
  EXPECT_EQ(ObjCast<TTestJob>(plain.Job())->Name, "J");
  EXPECT_EQ(Save(plain), bytes);
}
}  // namespace
