// The job file: the chart stream written and read byte for byte
// (docs/flowchart.md gives the layout).
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "data/TableDataSets.h"
#include "flowchart/FlowChart.h"
#include "foundation/Exceptions.h"
#include "foundation/FileUtils.h"
#include "foundation/ObjectStream.h"

namespace kv {

namespace {
constexpr size_t kMaxShortString = 65535;
// The fewest bytes one shape / one connection can take in a file: its
// record, two empty strings (shape) or one (connection), and an embedded
// null object (the signature and 0x00).
constexpr int64_t kMinShapeBytes = 41 + 2 + 2 + 5;
constexpr int64_t kMinConnectionBytes = 28 + 2 + 5;

class ByteWriter {
public:
  void U8(uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void U16(uint16_t v) { Raw(&v, 2); }
  void I16(int16_t v) { Raw(&v, 2); }
  void I32(int32_t v) { Raw(&v, 4); }
  void Str(const std::string& s) {
    size_t n = std::min(s.size(), kMaxShortString);
    U16(static_cast<uint16_t>(n));
    out_.append(s, 0, n);
  }
  void Object(const TBaseObject* obj) {
    TMemoryStream m;
    StreamWriteObject(m, obj);
    out_ += m.Bytes();
  }
  std::string& Bytes() { return out_; }

private:
  // Little-endian on every platform this builds for (x86-64, AArch64).
  void Raw(const void* p, size_t n) { out_.append(static_cast<const char*>(p), n); }
  std::string out_;
};

uint16_t CheckedCount(size_t n, const char* what) {
  if (n > 65535) throw EWriteError(std::string("Too many ") + what + " for a job file (at most 65535)");
  return static_cast<uint16_t>(n);
}

void WriteFont(ByteWriter& w, const TKVFcItem& item, const TKVFcFont& chartFont) {
  if (item.ParentFont) return;
  w.I16(item.Font.Height);
  w.I32(item.Font.Color);
  w.U8(item.Font.Pitch);
  w.U8(item.Font.Style);
  w.U8(item.Font.Charset);
  w.Str(item.Font.Name == chartFont.Name ? std::string() : item.Font.Name);
}

void WriteArrow(ByteWriter& w, const TKVFcConnectionArrow& a) {
  w.U8(a.ArrowType);
  w.U8(a.Width);
  w.U8(a.Height);
  w.I32(a.Color);
}

int16_t ShapeIndex(const TKVCustomFlowChart& chart, const TKVFcObject* shape) {
  if (!shape) return -1;
  int i = chart.IndexOfObject(shape);
  if (i > 32767) throw EWriteError("A connection's shape index does not fit a job file (at most 32767)");
  return static_cast<int16_t>(i);
}
}  // namespace

void TKVCustomFlowChart::SaveToStream(TStream& stream) const {
  ByteWriter w;
  w.U16(CheckedCount(objects_.size(), "shapes"));
  for (const auto& o : objects_) {
    std::vector<uint16_t> members;
    for (TKVFcObject* m : o->Union())
      if (int i = IndexOfObject(m); i >= 0) members.push_back(static_cast<uint16_t>(i));
    w.I32(o->Left());
    w.I32(o->Top());
    w.U16(o->Width());
    w.U16(o->Height());
    w.U16(o->Edge);
    w.U16(o->Border);
    w.U8(o->HorzTextPos);
    w.U8(o->VertTextPos);
    w.U8(o->HorzImagePos);
    w.U8(o->VertImagePos);
    w.I32(o->BkColor);
    w.I32(o->ShapeColor);
    w.I32(o->Tag);
    w.U16(static_cast<uint16_t>(members.size()));
    w.I16(o->ImageIndex);
    w.U8(o->ShapeType());
    w.U8(o->ShapeWidth);
    w.U8(o->ParentFont ? 1 : 0);
    w.U8(o->Transparent ? 1 : 0);
    w.U8(o->DataSetObjType);
    for (uint16_t m : members) w.U16(m);
    WriteFont(w, *o, Font);
    w.Str(o->Text());
    w.Str(o->CustomData);
    w.Object(o->DataSet());
  }
  w.U16(CheckedCount(connections_.size(), "connections"));
  for (const auto& c : connections_) {
    w.I16(ShapeIndex(*this, c->Source()));
    w.I16(ShapeIndex(*this, c->Dest()));
    w.U16(CheckedCount(c->Intermediate().size(), "points in a connection"));
    w.I32(c->PenColor);
    w.U8(static_cast<uint8_t>((c->PointSource() & 0x0F) | ((c->PenStyle & 0x0F) << 4)));
    w.U8(static_cast<uint8_t>((c->PointDest() & 0x7F) | (c->Transparent() ? 0x80 : 0)));
    w.U8(c->Style());
    w.U8(c->ParentFont ? 1 : 0);
    WriteArrow(w, c->ArrowSource);
    WriteArrow(w, c->ArrowDest);
    for (TFcPoint p : c->Intermediate()) {
      w.I32(p.X);
      w.I32(p.Y);
    }
    WriteFont(w, *c, Font);
    w.Str(c->Text());
    w.Object(c->DBLink());
  }
  w.Object(job_.get());
  stream.WriteBuffer(w.Bytes().data(), static_cast<int64_t>(w.Bytes().size()));
}

void TKVCustomFlowChart::SaveToFile(const std::string& fileName) const {
  TMemoryStream m;
  SaveToStream(m);
  AtomicWriteFile(fileName, std::string_view(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size())));
}

// ---- Reading ------------------------------------------------------------------------------

class TChartReader {
public:
  TChartReader(TStream& stream, TKVCustomFlowChart& chart) : s_(stream), chart_(chart) {}

  void Read() {
    uint16_t shapes = U16();
    Promise(shapes, kMinShapeBytes, "shapes");
    std::vector<std::vector<uint16_t>> unions;
    for (int i = 0; i < shapes; ++i) {
      where_ = "shape " + std::to_string(i);
      unions.push_back(ReadShape());
    }
    where_ = "unions";
    for (int i = 0; i < shapes; ++i)
      for (uint16_t m : unions[static_cast<size_t>(i)]) {
        if (m >= shapes) Fail("union index " + std::to_string(m) + " out of range");
        chart_.GetObject(i)->AddToUnion(chart_.GetObject(m));
      }
    where_ = "connection count";
    uint16_t connections = U16();
    Promise(connections, kMinConnectionBytes, "connections");
    for (int i = 0; i < connections; ++i) {
      where_ = "connection " + std::to_string(i);
      ReadConnection(shapes);
    }
    where_ = "job";
    chart_.job_ = ReadEmbedded(chart_.hooks_.JobClass);
  }

  const std::string& Where() const { return where_; }

private:
  [[noreturn]] void Fail(const std::string& what) { throw EReadError(what); }

  int64_t Remaining() { return s_.Size() - s_.Position(); }
  void Need(int64_t n) {
    if (Remaining() < n) Fail("the file ends early");
  }
  // A count read from the file must fit in the bytes that are left.
  void Promise(int64_t count, int64_t minBytesEach, const char* what) {
    if (count * minBytesEach > Remaining())
      Fail(std::to_string(count) + " " + what + " promised, more than the file holds");
  }
  void Raw(void* p, int64_t n) {
    Need(n);
    s_.ReadBuffer(p, n);
  }
  template <class T>
  T Num() {
    T v;
    Raw(&v, sizeof v);
    return v;
  }
  uint8_t U8() { return Num<uint8_t>(); }
  uint16_t U16() { return Num<uint16_t>(); }
  int16_t I16() { return Num<int16_t>(); }
  int32_t I32() { return Num<int32_t>(); }
  std::string Str() {
    uint16_t n = U16();
    Need(n);
    std::string s(n, '\0');
    if (n) s_.ReadBuffer(s.data(), n);
    return s;
  }
  uint8_t Enum(uint8_t limit, const char* what) {
    uint8_t v = U8();
    if (v >= limit) Fail(std::string("invalid ") + what + " " + std::to_string(v));
    return v;
  }
  std::unique_ptr<TBaseObject> ReadEmbedded(const TClassInfo* expected) {
    TObjReader r(s_);
    r.ReadSignature();
    if (r.PeekByte() == vaNull) {
      r.ReadByte();
      return nullptr;
    }
    return r.ReadInstance(expected);
  }

  void ReadFont(TKVFcItem& item) {
    item.Font.Height = I16();
    item.Font.Color = I32();
    item.Font.Pitch = U8();
    item.Font.Style = U8();
    item.Font.Charset = U8();
    item.Font.Name = Str();
    if (item.Font.Name.empty()) item.Font.Name = chart_.Font.Name;
  }

  std::vector<uint16_t> ReadShape() {
    auto o = std::make_unique<TKVFcObject>();
    int32_t left = I32(), top = I32();
    uint16_t width = U16(), height = U16();
    o->Edge = U16();
    o->Border = U16();
    o->HorzTextPos = static_cast<TKVFcHorzPos>(Enum(3, "text position"));
    o->VertTextPos = static_cast<TKVFcVertPos>(Enum(3, "text position"));
    o->HorzImagePos = static_cast<TKVFcHorzPos>(Enum(3, "image position"));
    o->VertImagePos = static_cast<TKVFcVertPos>(Enum(3, "image position"));
    o->BkColor = I32();
    o->ShapeColor = I32();
    o->Tag = I32();
    uint16_t unionCount = U16();
    o->ImageIndex = I16();
    o->SetShapeType(static_cast<TKVFcShapeType>(Enum(kFcShapeTypeCount, "shape type")));
    o->ShapeWidth = U8();
    o->ParentFont = U8() != 0;
    o->Transparent = U8() != 0;
    o->DataSetObjType = static_cast<TDataSetObjType>(Enum(kDataSetObjTypeCount, "dataset kind"));
    Promise(unionCount, 2, "union members");
    std::vector<uint16_t> members;
    for (int i = 0; i < unionCount; ++i) members.push_back(U16());
    if (!o->ParentFont) ReadFont(*o);
    std::string text = Str();
    o->CustomData = Str();
    TKVFcObject* shape = chart_.AddObject(std::move(o));
    shape->SetBounds(left, top, width, height);
    shape->SetText(std::move(text));
    ReadDataSet(*shape);
    return members;
  }

  void ReadDataSet(TKVFcObject& shape) {
    std::unique_ptr<TBaseObject> obj = ReadEmbedded(TKVCustomDataSet::StaticClass());
    std::unique_ptr<TKVCustomDataSet> ds = OwnedCast<TKVCustomDataSet>(obj);
    if (ds && ds->ClassType() == TKVTableDataSet::StaticClass()) {
      // An older file's plain table: ODBC or file database by its connection.
      bool odbc = ReachedThroughOdbc(*ds);
      shape.DataSetObjType = odbc ? dotODBC : dotFileDB;
      std::unique_ptr<TKVCustomDataSet> made = CreateDataSetOfKind(shape.DataSetObjType);
      made->Assign(ds.get());
      ds = std::move(made);
    }
    shape.TakeDataSet(std::move(ds));
  }

  TKVFcObject* End(int16_t index, uint16_t shapes) {
    if (index == -1) return nullptr;
    if (index < 0 || index >= shapes) Fail("shape index " + std::to_string(index) + " out of range");
    return chart_.GetObject(index);
  }

  void ReadConnection(uint16_t shapes) {
    auto owned = std::make_unique<TKVFcConnection>();
    TKVFcObject* source = End(I16(), shapes);
    TKVFcObject* dest = End(I16(), shapes);
    uint16_t pointCount = U16();
    owned->PenColor = I32();
    uint8_t b10 = U8(), b11 = U8();
    owned->PenStyle = b10 >> 4;
    if ((b11 & 0x7F) > 15) Fail("invalid linked point " + std::to_string(b11 & 0x7F));
    owned->SetStyle(static_cast<TKVFclStyle>(Enum(kFclStyleCount, "line style")));
    owned->ParentFont = U8() != 0;
    owned->SetTransparent((b11 & 0x80) != 0);
    TKVFcConnection* c = chart_.AddConnection(std::move(owned));
    c->SetSource(source, b10 & 0x0F);
    c->SetDest(dest, b11 & 0x7F);
    for (TKVFcConnectionArrow* a : {&c->ArrowSource, &c->ArrowDest}) {
      a->ArrowType = static_cast<TKVFcaType>(Enum(kFcaTypeCount, "arrow type"));
      a->Width = U8();
      a->Height = U8();
      a->Color = I32();
    }
    Promise(pointCount, 8, "points");
    std::vector<TFcPoint> points;
    for (int i = 0; i < pointCount; ++i) {
      int32_t x = I32();
      points.push_back({x, I32()});
    }
    c->SetIntermediate(std::move(points));
    if (!c->ParentFont) ReadFont(*c);
    c->SetText(Str());
    c->TakeDBLink(ReadEmbedded(chart_.hooks_.DBLinkClass));
    if (c->DBLink() && chart_.hooks_.WireDBLink)
      chart_.hooks_.WireDBLink(*c, *c->DBLink(), source ? source->DataSet() : nullptr,
                               dest ? dest->DataSet() : nullptr);
  }

  TStream& s_;
  TKVCustomFlowChart& chart_;
  std::string where_ = "shape count";
};

void TKVCustomFlowChart::LoadFromStream(TStream& stream) {
  TKVCustomFlowChart staging;
  staging.job_.reset();
  staging.hooks_ = hooks_;
  staging.Font = Font;
  staging.zoom_ = zoom_;
  staging.loading_ = true;
  TChartReader reader(stream, staging);
  try {
    reader.Read();
  } catch (const std::exception& e) {
    throw EReadError("Invalid job file (" + reader.Where() + "): " + e.what());
  }
  staging.loading_ = false;
  TakeContentFrom(staging);
}

void TKVCustomFlowChart::LoadFromFile(const std::string& fileName) {
  try {
    // Read whole (job files are small): the reader then checks its counts
    // against memory rather than asking the file for its size and position.
    TMemoryStream m;
    {
      TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
      m.LoadFromStream(f);
    }
    m.SetPosition(0);
    LoadFromStream(m);
  } catch (const std::exception& e) {
    throw EReadError("Cannot read the job file \"" + fileName + "\": " + e.what());
  }
}

}  // namespace kv
