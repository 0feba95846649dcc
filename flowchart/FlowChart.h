// The diagram model on which jobs are designed, without any windowing
// toolkit: shapes (TKVFcObject), each owning one dataset of the job, and
// connections (TKVFcConnection) between them, each owning one DB link; the
// chart (TKVCustomFlowChart / TKVFlowChart) that owns both lists, the
// selection, the zoom and the chart's job, and reads and writes the job file
// (the chart stream, docs/flowchart.md).
//
// Coordinates. Shapes and intermediate connection points are stored in
// chart units at zoom 100. Everything the model computes for a view (shape
// outlines, linked points, connection polylines, arrow heads, label and
// hit rectangles) is in display units: chart units scaled to the current
// zoom. A window point is a display point minus the scroll origin
// (ChartPoint adds it back). A view only draws what the model computes.
//
// Ownership. The chart owns its shapes and connections (std::unique_ptr in
// z-order lists); every raw TKVFcObject* / TKVFcConnection* handed out stays
// valid until that item is deleted or the chart is cleared or loaded. A
// shape owns its dataset, a connection its DB link, the chart its job.
//
// The jobs layer. DB links and jobs are not classes of this folder: the
// connection holds its DB link and the chart its job as plain persistent
// objects (TBaseObject, streamed by class name). The jobs layer plugs in
// through TKVFcJobHooks (below): it makes the job and the DB links, files a
// new shape's dataset in the job's list, and wires a link to the datasets of
// its connection's two shapes, both when a connection is created and after
// one is loaded. Without hooks a chart has no job and its connections have
// no links; everything else works the same.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "KVCore_export.h"
#include "data/CustomDataSet.h"
#include "flowchart/FcGeometry.h"
#include "foundation/BaseObject.h"
#include "foundation/Streams.h"

namespace kv {

class TKVCustomFlowChart;
class TKVFcConnection;
class TKVFcObject;

// ---- Enumerations (stored as one byte each) -----------------------------------------
enum TKVFcShapeType : uint8_t {
  fcsNone,
  fcsRectangle,
  fcsEllipse,
  fcsRoundRect,
  fcsDiamond,
  fcsNorthTriangle,
  fcsSouthTriangle,
  fcsEastTriangle,
  fcsWestTriangle,
  fcsHexagon,
  fcsUser,
};
constexpr uint8_t kFcShapeTypeCount = 11;

enum TDataSetObjType : uint8_t { dotText, dotQuery, dotODBC, dotFileDB, dotOracle };
constexpr uint8_t kDataSetObjTypeCount = 5;

enum TKVFcHorzPos : uint8_t { fchpLeft, fchpCenter, fchpRight };
enum TKVFcVertPos : uint8_t { fcvpUp, fcvpCenter, fcvpDown };
enum TKVFclStyle : uint8_t { fclStraight, fclCurved, fclRectH, fclRectV };
constexpr uint8_t kFclStyleCount = 4;
enum TKVFcaType : uint8_t { fcaNone, fcaArrow, fcaEllipse, fcaRectangle };
constexpr uint8_t kFcaTypeCount = 4;
// The line kind a connection style is drawn and hit-tested as.
enum TLineType : uint8_t { liStraight, liQSpline, liRectH, liRectV };

// Chart options: a set, bit n = value n. All six are set on a new chart.
// They say what the user may do; a view consults them, the model's own
// operations do not (except Select, which honours fcoCanSelect and
// fcoMultiSelect).
enum TKVFcOption : uint8_t {
  fcoCanDelete,
  fcoCanDrag,
  fcoCanSelect,
  fcoMultiSelect,
  fcoHideSelection,
  fcoDelOnClick,
};
using TKVFcOptions = uint8_t;
constexpr TKVFcOptions FcOptionBit(TKVFcOption o) { return static_cast<TKVFcOptions>(1u << o); }
constexpr TKVFcOptions kFcAllOptions = 0x3F;

// Hit-test results: a set, bit n = value n. htNowhere is set alone when
// nothing was hit.
enum TKVFcHitTestItem : uint8_t {
  htNowhere,
  htByObject,
  htOnObject,
  htOnConnection,
  htOnConLabel,
  htOnArrowSrc,
  htOnArrowDst,
  htOnSelPoint,
};
using TKVFcHitTest = uint8_t;
constexpr TKVFcHitTest HitBit(TKVFcHitTestItem h) { return static_cast<TKVFcHitTest>(1u << h); }

// Font style bits.
enum : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

struct TKVFcFont {
  std::string Name = "MS Sans Serif";
  int16_t Height = -11;
  int32_t Color = 0;
  uint8_t Pitch = 0;
  uint8_t Style = 0;  // fsBold | fsItalic | fsUnderline | fsStrikeOut
  uint8_t Charset = 1;
  bool operator==(const TKVFcFont&) const = default;
};

// What a hit test found.
struct TKVFcHitInfo {
  TKVFcHitTest Flags = HitBit(htNowhere);
  TKVFcObject* Object = nullptr;          // the shape hit (htByObject, htOnObject, htOnSelPoint)
  TKVFcConnection* Connection = nullptr;  // the connection hit (htOnConnection, label, arrows)
  // With htOnSelPoint: the sizing handle of Object (0-7 clockwise from the
  // top-left corner) or the real point of Connection; otherwise -1.
  int Point = -1;
  bool Has(TKVFcHitTestItem h) const { return (Flags & HitBit(h)) != 0; }
};

// ---- The hooks of the jobs layer ------------------------------------------------------
// Every member may be empty. A chart copies the process-wide default hooks
// (SetDefaultFlowChartHooks) when it is made; SetHooks replaces them.
struct KVCORE_EXPORT TKVFcJobHooks {
  // The job of a new chart (and of a chart after Clear); null = no job.
  std::function<std::unique_ptr<TBaseObject>(TKVCustomFlowChart& chart)> MakeJob;
  // Called by CreateObject once the shape's dataset exists: files the
  // dataset (under an empty name) in the job's dataset list.
  std::function<void(TKVCustomFlowChart& chart, TKVFcObject& shape)> DataSetCreated;
  // Called by CreateConnection before the connection is attached: makes the
  // connection's DB link, with its internal status event bound to the
  // chart's job and its source and destination set to the given datasets
  // (the shapes' own; null for a missing shape). The connection takes it.
  std::function<std::unique_ptr<TBaseObject>(TKVCustomFlowChart& chart, TKVFcConnection& connection,
                                             TKVCustomDataSet* source, TKVCustomDataSet* dest)>
      MakeDBLink;
  // Called after a connection and its DB link have been read from a job
  // file: points the link at the datasets of the connection's shapes. The
  // connection may still belong to a staging chart (loading reads into a
  // fresh chart first), so the hook uses only its arguments.
  std::function<void(TKVFcConnection& connection, TBaseObject& link, TKVCustomDataSet* source,
                     TKVCustomDataSet* dest)>
      WireDBLink;
  // The class the job and every DB link read from a job file must derive
  // from (null: any persistent class).
  const TClassInfo* JobClass = nullptr;
  const TClassInfo* DBLinkClass = nullptr;
};
// Set once at start-up, before charts are made (not guarded for threads).
KVCORE_EXPORT void SetDefaultFlowChartHooks(TKVFcJobHooks hooks);
KVCORE_EXPORT const TKVFcJobHooks& DefaultFlowChartHooks();

// ---- Items ---------------------------------------------------------------------------
// The base of shapes and connections. Changes that move or reshape what is
// hit-tested go through setters, which tell the owner chart.
class KVCORE_EXPORT TKVFcItem : public TBaseObject {
  KV_CLASS(TKVFcItem, TBaseObject)
public:
  TKVFcItem() = default;
  ~TKVFcItem() override;

  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;

  TKVCustomFlowChart* Owner() const { return owner_; }
  const std::string& Text() const { return text_; }
  void SetText(std::string text);
  bool Selected() const { return selected_; }
  bool Deleting() const { return deleting_; }
  // The font the item draws with: the chart's while ParentFont is set.
  const TKVFcFont& EffectiveFont() const;

  bool ParentFont = true;
  TKVFcFont Font;  // the item's own font (used when ParentFont is false)

protected:
  void Changed();

private:
  friend class TKVCustomFlowChart;
  TKVCustomFlowChart* owner_ = nullptr;  // not owned
  std::string text_;
  bool selected_ = false;
  bool deleting_ = false;
};

class KVCORE_EXPORT TKVFcObject : public TKVFcItem {
  KV_CLASS(TKVFcObject, TKVFcItem)
public:
  TKVFcObject();
  ~TKVFcObject() override;

  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;

  // ---- Bounds (chart units at zoom 100) ----
  int32_t Left() const { return left_; }
  int32_t Top() const { return top_; }
  uint16_t Width() const { return width_; }
  uint16_t Height() const { return height_; }
  void SetBounds(int32_t left, int32_t top, uint16_t width, uint16_t height);
  TKVFcShapeType ShapeType() const { return shapeType_; }
  void SetShapeType(TKVFcShapeType type);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);

  // ---- Geometry at the current zoom (display units) ----
  TFcRect DisplayRect() const;
  // The 16 points where connections attach, numbered clockwise from the
  // top-left corner (docs/flowchart.md gives the rules per shape type).
  std::array<TFcPoint, 16> LinkedPoints() const;
  TFcPoint LinkedPoint(int index) const;  // index 0-15 (clamped)
  // The outline region (cached until the shape or the zoom changes).
  const TFcPolygon& Outline() const;
  // The eight sizing handles, clockwise from the top-left corner.
  std::array<TFcRect, 8> SizingHandles() const;
  // For fcsUser: supplies the 16 linked points from the display rectangle.
  std::function<std::array<TFcPoint, 16>(const TKVFcObject& shape, const TFcRect& display)> UserPoints;

  // ---- Dataset (owned) ----
  TKVCustomDataSet* DataSet() const { return dataSet_.get(); }
  // Copies `value` into the owned dataset (assignment, not sharing); makes
  // the owned one first, by DataSetObjType, when there is none.
  void SetDataSet(const TKVCustomDataSet* value);
  // Puts `value` in place of the owned dataset (the shape takes it).
  void TakeDataSet(std::unique_ptr<TKVCustomDataSet> value);

  // ---- Union: other shapes grouped with this one (not owned) ----
  void AddToUnion(TKVFcObject* other);  // ignores itself, null and members
  void RemoveFromUnion(TKVFcObject* other);
  void ClearUnion() { union_.clear(); }
  bool HasInUnion(const TKVFcObject* other) const;
  const std::vector<TKVFcObject*>& Union() const { return union_; }
  // Selects this shape and every member of its union.
  void SelectUnion();

  // ---- Connections attached to this shape (not owned) ----
  int GetConnectionCount() const { return static_cast<int>(connections_.size()); }
  TKVFcConnection* GetConnection(int index) const;

  // ---- Appearance (no effect on the model's geometry) ----
  uint16_t Edge = 0;
  uint16_t Border = 15;
  TKVFcHorzPos HorzTextPos = fchpCenter;
  TKVFcVertPos VertTextPos = fcvpCenter;
  TKVFcHorzPos HorzImagePos = fchpCenter;
  TKVFcVertPos VertImagePos = fcvpCenter;
  int32_t BkColor = 0xFFFFFF;
  int32_t ShapeColor = 0;
  int32_t Tag = 0;
  int16_t ImageIndex = -1;
  uint8_t ShapeWidth = 1;
  bool Transparent = false;
  TDataSetObjType DataSetObjType = dotText;
  std::string CustomData;

private:
  friend class TKVCustomFlowChart;
  friend class TKVFcConnection;
  void Invalidate() { outlineValid_ = false; }
  uint64_t Stamp() const;

  int32_t left_ = 0, top_ = 0;
  uint16_t width_ = 0, height_ = 0;
  TKVFcShapeType shapeType_ = fcsRectangle;
  bool visible_ = true;
  ObjPtr<TKVCustomDataSet> dataSet_;
  std::vector<TKVFcObject*> union_;
  std::vector<TKVFcConnection*> connections_;
  mutable TFcPolygon outline_;
  mutable bool outlineValid_ = false;
  mutable uint64_t outlineStamp_ = 0;  // the chart's revision the outline was made at
};

// The head drawn at one end of a connection (sizes in display units).
struct TKVFcConnectionArrow {
  TKVFcaType ArrowType = fcaNone;
  uint8_t Width = 8;   // across the line
  uint8_t Height = 8;  // along the line
  int32_t Color = 0;
  bool operator==(const TKVFcConnectionArrow&) const = default;
};

class KVCORE_EXPORT TKVFcConnection : public TKVFcItem {
  KV_CLASS(TKVFcConnection, TKVFcItem)
public:
  TKVFcConnection();
  ~TKVFcConnection() override;

  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;

  // ---- Ends ----
  TKVFcObject* Source() const { return source_; }
  TKVFcObject* Dest() const { return dest_; }
  uint8_t PointSource() const { return pointSource_; }
  uint8_t PointDest() const { return pointDest_; }
  // Attach to (or, with null, detach from) a shape at linked point 0-15.
  void SetSource(TKVFcObject* shape, uint8_t point);
  void SetDest(TKVFcObject* shape, uint8_t point);

  TKVFclStyle Style() const { return style_; }
  void SetStyle(TKVFclStyle style);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value);
  TLineType LineType() const;  // fclCurved with fewer than three real points is straight

  // ---- Points ----
  // The real points in display units: the attachment point on the source
  // (when there is one), the intermediate points, the attachment point on
  // the destination (when there is one).
  std::vector<TFcPoint> RealPoints() const;
  int GetPointCount() const;
  TFcPoint GetPoint(int index) const;  // a real point (display units)
  // Intermediate points, given in display units and kept at zoom 100.
  void AddPoint(TFcPoint display);  // after the last intermediate point
  // Inserts before real point `index` (clamped so the attachment points
  // stay first and last).
  void InsertPoint(int index, TFcPoint display);
  // Removes real point `index`; false for an attachment point or a bad index.
  bool RemovePoint(int index);
  // The index of the real point within `tolerance` of `display`, else -1.
  int HasPoint(TFcPoint display, int tolerance) const;
  // The index of the real point nearest to `display` (-1 without points).
  int GetNearestPoint(TFcPoint display) const;
  // Whether every real point lies in `display` (false without points).
  bool InRect(const TFcRect& display) const;
  // The intermediate points at zoom 100 (what the job file stores).
  const std::vector<TFcPoint>& Intermediate() const { return points_; }
  void SetIntermediate(std::vector<TFcPoint> points100);

  // ---- Geometry at the current zoom ----
  TFcPolyline Polyline() const;  // the line as drawn (curves flattened)
  TFcPolygon ArrowPolygon(bool atSource) const;  // empty for fcaNone or no line
  // Centred on the line's midpoint, LabelSize big (empty without text).
  TFcRect LabelRect() const;
  // The line, its arrow heads and (with text) its label.
  TFcRect DisplayRect() const;
  // Set by a view that measures the text; default: 7 per byte + 4 wide, 16 high.
  void SetLabelSize(int32_t width, int32_t height);

  // ---- DB link (owned) ----
  TBaseObject* DBLink() const { return dbLink_.get(); }
  // Copies `value` into the owned link (Assign when of the same class,
  // otherwise a duplicate replaces it; null frees it).
  void SetDBLink(const TBaseObject* value);
  void TakeDBLink(std::unique_ptr<TBaseObject> value);

  int32_t PenColor = 0;
  uint8_t PenStyle = 0;  // 0-15
  uint8_t PenWidth = 1;
  TKVFcConnectionArrow ArrowSource;  // fcaNone, 8 by 8
  TKVFcConnectionArrow ArrowDest;    // fcaArrow, 8 by 8

private:
  friend class TKVCustomFlowChart;
  void Attach(TKVFcObject*& end, TKVFcObject* shape);
  TFcPoint ToChart(TFcPoint display) const;

  TKVFcObject* source_ = nullptr;  // not owned
  TKVFcObject* dest_ = nullptr;    // not owned
  uint8_t pointSource_ = 0, pointDest_ = 0;
  TKVFclStyle style_ = fclStraight;
  bool transparent_ = false;
  std::vector<TFcPoint> points_;  // intermediate, zoom 100
  int32_t labelWidth_ = -1, labelHeight_ = -1;
  ObjPtr<TBaseObject> dbLink_;
};

// The rubber-band rectangle of the chart (display units).
struct TKVFcSelection {
  bool Active = false;
  TFcRect Rect;
};

// Two lists, "FObjects" and "FConnections", holding the chart's shapes and
// connections for writing them in the object stream. Filled by
// TKVCustomFlowChart::SaveChart(); the lists point at the chart's items
// without owning them. Lists read back from a stream own what they hold.
class KVCORE_EXPORT TSaveChart : public TBaseObject {
  KV_CLASS(TSaveChart, TBaseObject)
public:
  TSaveChart();
  ~TSaveChart() override;
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;

  ObjPtr<TList> FObjects;
  ObjPtr<TList> FConnections;
};

// ---- The chart -------------------------------------------------------------------------
class KVCORE_EXPORT TKVCustomFlowChart {
public:
  TKVCustomFlowChart();
  virtual ~TKVCustomFlowChart();
  TKVCustomFlowChart(const TKVCustomFlowChart&) = delete;
  TKVCustomFlowChart& operator=(const TKVCustomFlowChart&) = delete;

  // ---- Events (the sender first; unset events do nothing) ----
  std::function<void(TKVCustomFlowChart&)> OnChange;
  std::function<void(TKVCustomFlowChart&, TKVFcItem&)> OnCreateItem;
  std::function<void(TKVCustomFlowChart&, TKVFcItem&)> OnDeletion;
  std::function<void(TKVCustomFlowChart&, TKVFcObject&)> OnDrawObject;  // raised by a view
  std::function<void(TKVCustomFlowChart&, TKVFcItem&, bool& allow)> OnEditing;  // raised by a view
  std::function<void(TKVCustomFlowChart&, TKVFcItem&, std::string& text)> OnEdited;  // raised by a view
  std::function<void(TKVCustomFlowChart&, TKVFcItem&)> OnSelected;
  std::function<void(TKVCustomFlowChart&)> OnSelection;

  // ---- Settings ----
  TKVFcOptions Options = kFcAllOptions;
  uint8_t BorderStyle = 1;
  TKVFcFont Font;
  const TKVFcJobHooks& Hooks() const { return hooks_; }
  void SetHooks(TKVFcJobHooks hooks) { hooks_ = std::move(hooks); }

  // ---- Creating and deleting ----
  // A new shape (bounds in chart units at zoom 100) with a new dataset of
  // `kind`; fires OnCreateItem, then the DataSetCreated hook.
  TKVFcObject* CreateObject(int32_t x, int32_t y, uint16_t width, uint16_t height, TKVFcShapeType type,
                            TDataSetObjType kind);
  // A new connection attached at linked points `pointSource`/`pointDest`
  // (0-15) of `source`/`dest` (either may be null); fires OnCreateItem; the
  // MakeDBLink hook makes its DB link.
  TKVFcConnection* CreateConnection(TKVFcObject* source, TKVFcObject* dest, uint8_t pointSource,
                                    uint8_t pointDest);
  // Frees the shape after its attached connections, and takes it out of
  // every union. Fires OnDeletion for each item freed.
  void DeleteObject(TKVFcObject* shape);
  void DeleteConnection(TKVFcConnection* connection);
  // Every selected connection, then every selected shape.
  void DeleteSelection();
  // Every item (OnDeletion for each); a new job from the MakeJob hook.
  void Clear();

  // ---- Lists (z-order: index 0 is the bottom) ----
  int GetObjectCount() const { return static_cast<int>(objects_.size()); }
  TKVFcObject* GetObject(int index) const;  // null for a bad index
  int IndexOfObject(const TKVFcObject* shape) const;
  int GetConnectionCount() const { return static_cast<int>(connections_.size()); }
  TKVFcConnection* GetConnection(int index) const;
  int IndexOfConnection(const TKVFcConnection* connection) const;
  void BringToFront(TKVFcObject* shape);
  void SendToBack(TKVFcObject* shape);
  // Moves `shape` just above `other` in the z-order.
  void PutInFrontOf(TKVFcObject* shape, TKVFcObject* other);

  // ---- Selection ----
  // Selects `item`; without `extend` (or without fcoMultiSelect) the
  // selection is cleared first. Nothing happens without fcoCanSelect.
  void Select(TKVFcItem* item, bool extend = false);
  void Unselect(TKVFcItem* item);
  void SelectAll();
  void ClearSelection();
  int SelCount() const { return GetSelectedObjectCount() + GetSelectedConnectionCount(); }
  int GetSelectedObjectCount() const { return static_cast<int>(selObjects_.size()); }
  TKVFcObject* GetSelectedObject(int index) const;
  int GetSelectedConnectionCount() const { return static_cast<int>(selConnections_.size()); }
  TKVFcConnection* GetSelectedConnection(int index) const;
  TKVFcSelection Selection;  // the rubber band, kept for a view

  // ---- Zoom, coordinates and hit testing ----
  uint16_t Zoom() const { return zoom_; }  // 65535 while fitting
  // A percentage; 0 (or 65535) means fit: the largest zoom, at most 100 and
  // at least 1, at which the whole diagram takes 95 % of the client area in
  // its tighter direction.
  void SetZoom(uint16_t percent);
  int EffectiveZoom() const;
  void SetClientSize(int32_t width, int32_t height);  // default 320 by 200
  void SetScreenWidth(int32_t pixels);                // default 1024: line tolerance = width / 256
  void SetScrollOrigin(TFcPoint origin);              // display point at the window's top-left
  TFcPoint ChartPoint(TFcPoint window) const;         // window point -> display point
  TFcPoint ScalePoint(TFcPoint chart100) const;       // zoom 100 -> current zoom
  TFcPoint UnscalePoint(TFcPoint display) const;      // current zoom -> zoom 100
  int32_t Scale(int32_t v) const;
  double LineTolerance() const { return screenWidth_ / 256.0; }
  // The far corner of the diagram at zoom 100 (largest right and bottom of
  // shapes and intermediate points; 0,0 when empty).
  TFcPoint Extent() const { return extent_; }
  TKVFcHitInfo GetHitTestAt(TFcPoint window) const;
  TKVFcObject* GetObjectAt(TFcPoint window) const;  // a shape whose outline holds the point
  TKVFcConnection* GetConnectionAt(TFcPoint window) const;

  // ---- Job ----
  TBaseObject* Job() const { return job_.get(); }
  // Copies `job` into the chart's own job (Assign when of the same class,
  // else a duplicate replaces it; null frees it).
  void SetJob(const TBaseObject* job);
  void TakeJob(std::unique_ptr<TBaseObject> job) { job_ = std::move(job); }

  // The shapes and connections in a TSaveChart (kept by the chart; the
  // lists point at the live items and are refreshed by every call).
  TSaveChart& SaveChart();

  // ---- Job file (docs/flowchart.md) ----
  void SaveToStream(TStream& stream) const;
  // Writes the file atomically: a failure leaves the old file as it was.
  void SaveToFile(const std::string& fileName) const;
  // Reads a whole chart into a fresh chart and, only when all of it was
  // read, puts it in place of this chart's content (items, job); on any
  // failure EReadError is raised and this chart is unchanged.
  void LoadFromStream(TStream& stream);
  // As LoadFromStream; the error message names the file.
  void LoadFromFile(const std::string& fileName);

  // ---- Repaint control ----
  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();     // fires OnChange when something changed meanwhile
  void CancelUpdate();  // ends without OnChange
  bool Updating() const { return updateCount_ > 0; }
  bool Loading() const { return loading_; }

  // Called by items whose hit-test geometry changed.
  void ItemChanged();
  // Counts changes; cached geometry and hit tests are kept while it stays.
  uint64_t Revision() const { return revision_; }

protected:
  virtual void DoChange();

private:
  friend class TChartReader;
  void Delete(TKVFcItem& item);
  void FreeConnection(TKVFcConnection* connection);
  void RecalcExtent();
  void MoveObject(TKVFcObject* shape, int to);
  TKVFcHitInfo ComputeHit(TFcPoint display) const;
  void HitShapes(TFcPoint p, TKVFcHitInfo& info) const;
  void HitConnections(TFcPoint p, TKVFcHitInfo& info) const;
  void HitSelection(TFcPoint p, TKVFcHitInfo& info) const;
  void TakeContentFrom(TKVCustomFlowChart& other);
  TKVFcObject* AddObject(std::unique_ptr<TKVFcObject> shape);
  TKVFcConnection* AddConnection(std::unique_ptr<TKVFcConnection> connection);

  std::vector<std::unique_ptr<TKVFcObject>> objects_;
  std::vector<std::unique_ptr<TKVFcConnection>> connections_;
  std::vector<TKVFcObject*> selObjects_;
  std::vector<TKVFcConnection*> selConnections_;
  ObjPtr<TBaseObject> job_;
  std::unique_ptr<TSaveChart> saveChart_;
  TKVFcJobHooks hooks_;
  uint16_t zoom_ = 100;
  int32_t clientWidth_ = 320, clientHeight_ = 200;
  int32_t screenWidth_ = 1024;
  TFcPoint scroll_;
  TFcPoint extent_;
  int updateCount_ = 0;
  bool pendingChange_ = false;
  bool loading_ = false;
  uint64_t revision_ = 0;
  mutable bool hitValid_ = false;
  mutable uint64_t hitRevision_ = 0;
  mutable TFcPoint hitPoint_;
  mutable TKVFcHitInfo hitInfo_;
};

class KVCORE_EXPORT TKVFlowChart : public TKVCustomFlowChart {
public:
  TKVFlowChart() = default;
};

// Makes the dataset of a shape of `kind` (EConvertError for a bad kind).
KVCORE_EXPORT std::unique_ptr<TKVCustomDataSet> CreateDataSetOfKind(TDataSetObjType kind);
// Whether a plain table dataset of an older file is reached through ODBC:
// its connection parameters use a data source name (ConnectType ctAlias).
KVCORE_EXPORT bool ReachedThroughOdbc(const TKVCustomDataSet& dataSet);

}  // namespace kv
