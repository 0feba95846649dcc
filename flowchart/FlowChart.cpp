// The chart: lists, creating and deleting, selection, z-order, zoom and
// hit testing. The job file lives in ChartStream.cpp.
#include "flowchart/FlowChart.h"

#include <algorithm>
#include <cmath>

#include "foundation/Exceptions.h"

namespace kv {

namespace {
TKVFcJobHooks& DefaultHooks() {
  static TKVFcJobHooks hooks;
  return hooks;
}

template <class T>
T* At(const std::vector<std::unique_ptr<T>>& list, int index) {
  return index >= 0 && index < static_cast<int>(list.size()) ? list[static_cast<size_t>(index)].get() : nullptr;
}

template <class T>
int IndexIn(const std::vector<std::unique_ptr<T>>& list, const T* item) {
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].get() == item) return static_cast<int>(i);
  return -1;
}

constexpr uint16_t kFitZoom = 65535;
}  // namespace

void SetDefaultFlowChartHooks(TKVFcJobHooks hooks) { DefaultHooks() = std::move(hooks); }
const TKVFcJobHooks& DefaultFlowChartHooks() { return DefaultHooks(); }

TKVCustomFlowChart::TKVCustomFlowChart() : saveChart_(std::make_unique<TSaveChart>()), hooks_(DefaultHooks()) {
  if (hooks_.MakeJob) job_ = hooks_.MakeJob(*this);
}

TKVCustomFlowChart::~TKVCustomFlowChart() {
  saveChart_.reset();
  connections_.clear();  // before the shapes they are attached to
  objects_.clear();
}

// ---- Changes ------------------------------------------------------------------------------

void TKVCustomFlowChart::ItemChanged() {
  ++revision_;
  if (updateCount_ > 0 || loading_) {
    pendingChange_ = true;
    return;
  }
  DoChange();
}

void TKVCustomFlowChart::DoChange() {
  if (OnChange) OnChange(*this);
}

void TKVCustomFlowChart::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0 && pendingChange_) {
    pendingChange_ = false;
    DoChange();
  }
}

void TKVCustomFlowChart::CancelUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) pendingChange_ = false;
}

// ---- Creating and deleting --------------------------------------------------------------

TKVFcObject* TKVCustomFlowChart::AddObject(std::unique_ptr<TKVFcObject> shape) {
  shape->owner_ = this;
  objects_.push_back(std::move(shape));
  return objects_.back().get();
}

TKVFcConnection* TKVCustomFlowChart::AddConnection(std::unique_ptr<TKVFcConnection> connection) {
  connection->owner_ = this;
  connections_.push_back(std::move(connection));
  return connections_.back().get();
}

TKVFcObject* TKVCustomFlowChart::CreateObject(int32_t x, int32_t y, uint16_t width, uint16_t height,
                                              TKVFcShapeType type, TDataSetObjType kind) {
  std::unique_ptr<TKVCustomDataSet> dataSet = CreateDataSetOfKind(kind);
  TKVFcObject* shape = AddObject(std::make_unique<TKVFcObject>());
  if (OnCreateItem) OnCreateItem(*this, *shape);
  shape->TakeDataSet(std::move(dataSet));
  shape->DataSetObjType = kind;
  shape->shapeType_ = type;
  shape->SetBounds(x, y, width, height);
  if (hooks_.DataSetCreated) hooks_.DataSetCreated(*this, *shape);
  RecalcExtent();
  return shape;
}

TKVFcConnection* TKVCustomFlowChart::CreateConnection(TKVFcObject* source, TKVFcObject* dest, uint8_t pointSource,
                                                      uint8_t pointDest) {
  TKVFcConnection* c = AddConnection(std::make_unique<TKVFcConnection>());
  if (OnCreateItem) OnCreateItem(*this, *c);
  if (hooks_.MakeDBLink)
    c->TakeDBLink(hooks_.MakeDBLink(*this, *c, source ? source->DataSet() : nullptr, dest ? dest->DataSet() : nullptr));
  c->SetSource(source, pointSource);
  c->SetDest(dest, pointDest);
  RecalcExtent();
  return c;
}

void TKVCustomFlowChart::Delete(TKVFcItem& item) {
  Selection.Active = false;  // a drag or rubber band in progress ends
  Unselect(&item);
  if (OnDeletion) OnDeletion(*this, item);
}

void TKVCustomFlowChart::FreeConnection(TKVFcConnection* c) {
  int index = IndexOfConnection(c);
  if (index < 0) return;
  c->deleting_ = true;
  Delete(*c);
  bool endDeleting = (c->Source() && c->Source()->Deleting()) || (c->Dest() && c->Dest()->Deleting());
  c->SetSource(nullptr, 0);
  c->SetDest(nullptr, 0);
  std::unique_ptr<TKVFcConnection> owned = std::move(connections_[static_cast<size_t>(index)]);
  connections_.erase(connections_.begin() + index);
  owned->owner_ = nullptr;
  owned.reset();
  if (!endDeleting) RecalcExtent();
  ItemChanged();
}

void TKVCustomFlowChart::DeleteConnection(TKVFcConnection* connection) { FreeConnection(connection); }

void TKVCustomFlowChart::DeleteObject(TKVFcObject* shape) {
  int index = IndexOfObject(shape);
  if (index < 0 || shape->Deleting()) return;
  shape->deleting_ = true;
  Delete(*shape);
  while (!shape->connections_.empty()) FreeConnection(shape->connections_.back());
  for (auto& o : objects_) o->RemoveFromUnion(shape);
  index = IndexOfObject(shape);
  std::unique_ptr<TKVFcObject> owned = std::move(objects_[static_cast<size_t>(index)]);
  objects_.erase(objects_.begin() + index);
  owned->owner_ = nullptr;
  owned.reset();
  RecalcExtent();
  ItemChanged();
}

void TKVCustomFlowChart::DeleteSelection() {
  BeginUpdate();
  while (!selConnections_.empty()) FreeConnection(selConnections_.back());
  while (!selObjects_.empty()) DeleteObject(selObjects_.back());
  EndUpdate();
}

void TKVCustomFlowChart::Clear() {
  BeginUpdate();
  while (!connections_.empty()) FreeConnection(connections_.back().get());
  while (!objects_.empty()) DeleteObject(objects_.back().get());
  job_.reset();
  if (hooks_.MakeJob) job_ = hooks_.MakeJob(*this);
  ItemChanged();
  EndUpdate();
}

// ---- Lists and z-order ---------------------------------------------------------------------

TKVFcObject* TKVCustomFlowChart::GetObject(int index) const { return At(objects_, index); }
int TKVCustomFlowChart::IndexOfObject(const TKVFcObject* shape) const { return IndexIn(objects_, shape); }
TKVFcConnection* TKVCustomFlowChart::GetConnection(int index) const { return At(connections_, index); }
int TKVCustomFlowChart::IndexOfConnection(const TKVFcConnection* connection) const {
  return IndexIn(connections_, connection);
}

void TKVCustomFlowChart::MoveObject(TKVFcObject* shape, int to) {
  int from = IndexOfObject(shape);
  if (from < 0) return;
  std::unique_ptr<TKVFcObject> owned = std::move(objects_[static_cast<size_t>(from)]);
  objects_.erase(objects_.begin() + from);
  to = std::clamp(to, 0, static_cast<int>(objects_.size()));
  objects_.insert(objects_.begin() + to, std::move(owned));
  ItemChanged();
}

void TKVCustomFlowChart::BringToFront(TKVFcObject* shape) { MoveObject(shape, GetObjectCount()); }
void TKVCustomFlowChart::SendToBack(TKVFcObject* shape) { MoveObject(shape, 0); }

void TKVCustomFlowChart::PutInFrontOf(TKVFcObject* shape, TKVFcObject* other) {
  int from = IndexOfObject(shape), at = IndexOfObject(other);
  if (from < 0 || at < 0 || shape == other) return;
  MoveObject(shape, from < at ? at : at + 1);
}

// ---- Selection ---------------------------------------------------------------------------

void TKVCustomFlowChart::Select(TKVFcItem* item, bool extend) {
  if (!item || item->Owner() != this || !(Options & FcOptionBit(fcoCanSelect))) return;
  if (!extend || !(Options & FcOptionBit(fcoMultiSelect))) {
    if (item->selected_ && SelCount() == 1) return;
    ClearSelection();
  }
  if (item->selected_) return;
  item->selected_ = true;
  if (auto* o = ObjCast<TKVFcObject>(item)) selObjects_.push_back(o);
  if (auto* c = ObjCast<TKVFcConnection>(item)) selConnections_.push_back(c);
  ItemChanged();
  if (OnSelected) OnSelected(*this, *item);
  if (OnSelection) OnSelection(*this);
}

void TKVCustomFlowChart::Unselect(TKVFcItem* item) {
  if (!item || !item->selected_) return;
  item->selected_ = false;
  std::erase(selObjects_, item);
  std::erase(selConnections_, item);
  ItemChanged();
  if (OnSelection) OnSelection(*this);
}

void TKVCustomFlowChart::SelectAll() {
  for (auto& o : objects_) Select(o.get(), true);
  for (auto& c : connections_) Select(c.get(), true);
}

void TKVCustomFlowChart::ClearSelection() {
  if (SelCount() == 0) return;
  for (TKVFcObject* o : selObjects_) o->selected_ = false;
  for (TKVFcConnection* c : selConnections_) c->selected_ = false;
  selObjects_.clear();
  selConnections_.clear();
  ItemChanged();
  if (OnSelection) OnSelection(*this);
}

TKVFcObject* TKVCustomFlowChart::GetSelectedObject(int index) const {
  return index >= 0 && index < GetSelectedObjectCount() ? selObjects_[static_cast<size_t>(index)] : nullptr;
}

TKVFcConnection* TKVCustomFlowChart::GetSelectedConnection(int index) const {
  return index >= 0 && index < GetSelectedConnectionCount() ? selConnections_[static_cast<size_t>(index)] : nullptr;
}

// ---- Zoom and coordinates ---------------------------------------------------------------------

void TKVCustomFlowChart::SetZoom(uint16_t percent) {
  zoom_ = percent == 0 ? kFitZoom : percent;
  ItemChanged();
}

int TKVCustomFlowChart::EffectiveZoom() const {
  if (zoom_ != kFitZoom) return zoom_;
  // Zoom z fits when extent * z / 100 <= client * 95 / 100 in both directions.
  int64_t best = 100;
  if (extent_.X > 0) best = std::min<int64_t>(best, int64_t(std::max(clientWidth_, 0)) * 95 / extent_.X);
  if (extent_.Y > 0) best = std::min<int64_t>(best, int64_t(std::max(clientHeight_, 0)) * 95 / extent_.Y);
  return static_cast<int>(std::clamp<int64_t>(best, 1, 100));
}

void TKVCustomFlowChart::SetClientSize(int32_t width, int32_t height) {
  clientWidth_ = width;
  clientHeight_ = height;
  ItemChanged();
}

void TKVCustomFlowChart::SetScreenWidth(int32_t pixels) {
  screenWidth_ = std::max(pixels, 0);
  ItemChanged();
}

void TKVCustomFlowChart::SetScrollOrigin(TFcPoint origin) {
  scroll_ = origin;
  ItemChanged();
}

TFcPoint TKVCustomFlowChart::ChartPoint(TFcPoint window) const {
  return {ClampCoord(int64_t(window.X) + scroll_.X), ClampCoord(int64_t(window.Y) + scroll_.Y)};
}

// v * zoom / 100 rounded to the nearest (halves away from zero).
int32_t TKVCustomFlowChart::Scale(int32_t v) const {
  int64_t n = int64_t(v) * EffectiveZoom();
  return ClampCoord(n >= 0 ? (n + 50) / 100 : -((-n + 50) / 100));
}

TFcPoint TKVCustomFlowChart::ScalePoint(TFcPoint chart100) const { return {Scale(chart100.X), Scale(chart100.Y)}; }

TFcPoint TKVCustomFlowChart::UnscalePoint(TFcPoint display) const {
  int z = EffectiveZoom();
  auto un = [z](int32_t v) {
    int64_t n = int64_t(v) * 100;
    return ClampCoord(n >= 0 ? (n + z / 2) / z : -((-n + z / 2) / z));
  };
  return {un(display.X), un(display.Y)};
}

void TKVCustomFlowChart::RecalcExtent() {
  TFcPoint e;
  for (auto& o : objects_) {
    e.X = std::max<int32_t>(e.X, static_cast<int32_t>(std::min<int64_t>(int64_t(o->Left()) + o->Width(), INT32_MAX)));
    e.Y = std::max<int32_t>(e.Y, static_cast<int32_t>(std::min<int64_t>(int64_t(o->Top()) + o->Height(), INT32_MAX)));
  }
  for (auto& c : connections_)
    for (TFcPoint p : c->Intermediate()) {
      e.X = std::max(e.X, p.X);
      e.Y = std::max(e.Y, p.Y);
    }
  extent_ = e;
  ItemChanged();
}

// ---- Hit testing ------------------------------------------------------------------------------

TKVFcHitInfo TKVCustomFlowChart::GetHitTestAt(TFcPoint window) const {
  if (hitValid_ && hitRevision_ == revision_ && hitPoint_ == window) return hitInfo_;
  hitInfo_ = ComputeHit(ChartPoint(window));
  hitPoint_ = window;
  hitRevision_ = revision_;
  hitValid_ = true;
  return hitInfo_;
}

TKVFcObject* TKVCustomFlowChart::GetObjectAt(TFcPoint window) const {
  TKVFcHitInfo h = GetHitTestAt(window);
  return h.Has(htOnObject) ? h.Object : nullptr;
}

TKVFcConnection* TKVCustomFlowChart::GetConnectionAt(TFcPoint window) const {
  TKVFcHitInfo h = GetHitTestAt(window);
  constexpr TKVFcHitTest kOnConnection =
      HitBit(htOnConnection) | HitBit(htOnConLabel) | HitBit(htOnArrowSrc) | HitBit(htOnArrowDst);
  return (h.Flags & kOnConnection) ? h.Connection : nullptr;
}

namespace {
constexpr int32_t kShapeSlack = 2;  // how far the display rectangle is inflated for htByObject
constexpr TKVFcHitTest kConnectionFlags =
    HitBit(htOnConnection) | HitBit(htOnConLabel) | HitBit(htOnArrowSrc) | HitBit(htOnArrowDst);
}  // namespace

void TKVCustomFlowChart::HitShapes(TFcPoint p, TKVFcHitInfo& info) const {
  for (auto it = objects_.rbegin(); it != objects_.rend(); ++it) {
    TKVFcObject* o = it->get();
    if (!o->Visible() || !o->DisplayRect().Inflated(kShapeSlack).Contains(p)) continue;
    if (!info.Object) {
      info.Object = o;
      info.Flags |= HitBit(htByObject);
    }
    if (PolygonContains(o->Outline(), p)) {
      info.Object = o;
      info.Flags |= HitBit(htByObject) | HitBit(htOnObject);
      return;
    }
  }
}

void TKVCustomFlowChart::HitConnections(TFcPoint p, TKVFcHitInfo& info) const {
  double tol = LineTolerance();
  for (auto it = connections_.rbegin(); it != connections_.rend(); ++it) {
    TKVFcConnection* c = it->get();
    if (!c->DisplayRect().Inflated(1).Contains(p)) continue;
    TKVFcHitTest flags = 0;
    if (DistanceToPolyline(p, c->Polyline()) <= tol) flags |= HitBit(htOnConnection);
    if (PolygonContains(c->ArrowPolygon(true), p)) flags |= HitBit(htOnArrowSrc);
    if (PolygonContains(c->ArrowPolygon(false), p)) flags |= HitBit(htOnArrowDst);
    if (!c->Text().empty() && c->LabelRect().Contains(p)) flags |= HitBit(htOnConLabel);
    if (flags) {
      info.Connection = c;
      info.Flags |= flags;
      return;
    }
  }
}

void TKVCustomFlowChart::HitSelection(TFcPoint p, TKVFcHitInfo& info) const {
  for (TKVFcObject* o : selObjects_) {
    TFcRect d = o->DisplayRect();
    TFcPoint c = d.Center();
    // The corner handle of the point's quadrant and its two neighbours.
    int corner = p.Y <= c.Y ? (p.X <= c.X ? 0 : 2) : (p.X <= c.X ? 6 : 4);
    std::array<TFcRect, 8> handles = o->SizingHandles();
    for (int k : {(corner + 7) % 8, corner, (corner + 1) % 8}) {
      if (!handles[static_cast<size_t>(k)].Contains(p)) continue;
      TKVFcHitTest own = info.Object == o ? (info.Flags & (HitBit(htByObject) | HitBit(htOnObject))) : 0;
      info = TKVFcHitInfo{static_cast<TKVFcHitTest>(own | HitBit(htOnSelPoint)), o, nullptr, k};
      return;
    }
  }
  int tol = std::max(3, static_cast<int>(std::lround(LineTolerance())));
  for (TKVFcConnection* c : selConnections_) {
    int k = c->HasPoint(p, tol);
    if (k < 0) continue;
    info = TKVFcHitInfo{static_cast<TKVFcHitTest>(HitBit(htOnConnection) | HitBit(htOnSelPoint)), nullptr, c, k};
    return;
  }
}

TKVFcHitInfo TKVCustomFlowChart::ComputeHit(TFcPoint p) const {
  TKVFcHitInfo info;
  info.Flags = 0;
  HitShapes(p, info);
  HitConnections(p, info);
  if (info.Object && info.Connection) {
    if (info.Connection->Transparent()) {
      info.Flags &= static_cast<TKVFcHitTest>(~kConnectionFlags);
      info.Connection = nullptr;
    } else {
      info.Flags &= static_cast<TKVFcHitTest>(~HitBit(htOnObject));
    }
  }
  HitSelection(p, info);
  if (info.Flags == 0) info = TKVFcHitInfo{};
  return info;
}

// ---- Job and the object-stream form -----------------------------------------------------------

void TKVCustomFlowChart::SetJob(const TBaseObject* job) {
  if (!job) {
    job_.reset();
  } else if (job_ && job_->ClassType() == job->ClassType()) {
    if (job_.get() != job) job_->Assign(job);
  } else {
    job_ = job->DuplicateSelf();
  }
}

TSaveChart& TKVCustomFlowChart::SaveChart() {
  saveChart_->FObjects.reset(new TList);
  saveChart_->FConnections.reset(new TList);
  for (auto& o : objects_) saveChart_->FObjects->Add(o.get());
  for (auto& c : connections_) saveChart_->FConnections->Add(c.get());
  return *saveChart_;
}

void TKVCustomFlowChart::TakeContentFrom(TKVCustomFlowChart& other) {
  BeginUpdate();
  Clear();
  objects_ = std::move(other.objects_);
  connections_ = std::move(other.connections_);
  other.objects_.clear();
  other.connections_.clear();
  for (auto& o : objects_) {
    o->owner_ = this;
    o->Invalidate();
  }
  for (auto& c : connections_) c->owner_ = this;
  job_ = std::move(other.job_);
  RecalcExtent();
  EndUpdate();
}

}  // namespace kv
