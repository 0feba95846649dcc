// Building a chart from a job text (docs/job-text.md).
#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "foundation/CharClass.h"
#include "foundation/FileUtils.h"
#include "foundation/ObjectStream.h"
#include "foundation/ObjectText.h"
#include "jobs/Job.h"
#include "jobs/JobText.h"
#include "jobs/JobTextNames.h"
#include "jobs/JobTextObjects.h"

namespace kv {

using namespace jobtext;

namespace {

// A reference to a shape: its name, its position (@N) or none (*).
struct TShapeRef {
  std::string Name;
  int Position = 0;  // 1-based; 0 when named
  bool None = false;
};

struct TShapeSpec {
  int Line = 0;
  TKVFcObject* Shape = nullptr;
  bool HasBounds = false;
  bool HasKind = false;
  bool HasObject = false;
  std::vector<TShapeRef> Union;
  int UnionLine = 0;
};

struct TConnectionSpec {
  int Line = 0;
  TKVFcConnection* Connection = nullptr;
  TShapeRef Source, Dest;
  uint8_t PointSource = kDefaultPointSource, PointDest = kDefaultPointDest;
  bool HasObject = false;
};

enum class TSection { None, Job, Shape, Connection };

// The words of one line, read with the object-text tokenizer.
class TLineReader {
public:
  TLineReader(std::string_view text, int line, const TJobTextContext& ctx) : ctx_(ctx), line_(line) {
    Guard([&] { parser_ = std::make_unique<TChineseParser>(text); });
  }

  char Token() const { return parser_->Token(); }
  bool AtEnd() const { return Token() == TChineseParser::toEOF; }
  bool IsSymbol(std::string_view word) const { return parser_->TokenSymbolIs(word); }
  [[noreturn]] void Fail(const std::string& reason) const { ctx_.Fail(line_, reason); }

  std::string Word(const std::string& what) {
    if (Token() != TChineseParser::toSymbol) Fail(what + " expected" + Found());
    std::string w = parser_->TokenString();
    Next();
    return w;
  }
  std::string Text(const std::string& what) {
    if (Token() == TChineseParser::toWString) Fail(what + ": a character code above #255 cannot be stored");
    if (Token() != TChineseParser::toString) Fail(what + ": a quoted text expected" + Found());
    std::string s;
    for (;;) {
      s += parser_->TokenString();
      Next();
      if (Token() != '+') return s;
      Next();
    }
  }
  int64_t Int(const std::string& what, int64_t lo, int64_t hi) {
    if (Token() != TChineseParser::toInteger)
      Fail(what + " must be a whole number from " + std::to_string(lo) + " to " + std::to_string(hi) + Found());
    int64_t v = 0;
    Guard([&] { v = parser_->TokenInt(); });
    if (v < lo || v > hi)
      Fail(what + " must be a whole number from " + std::to_string(lo) + " to " + std::to_string(hi) + ", not " +
           std::to_string(v));
    Next();
    return v;
  }
  template <size_t N>
  uint8_t Choice(const std::string& what, const std::array<const char*, N>& words) {
    const std::string w = Word(what);
    for (size_t i = 0; i < N; ++i)
      if (SameTextAscii(w, words[i])) return static_cast<uint8_t>(i);
    std::string known;
    for (const char* k : words) known += std::string(known.empty() ? "" : ", ") + k;
    Fail("unknown " + what + " '" + w + "' (one of: " + known + ")");
  }
  TShapeRef Ref(bool allowNone) {
    TShapeRef r;
    if (Token() == '@') {
      Next();
      r.Position = static_cast<int>(Int("a shape position after @", 1, 65535));
    } else if (Token() == '*' && allowNone) {
      Next();
      r.None = true;
    } else if (Token() == TChineseParser::toString) {
      r.Name = Text("a shape name");
    } else {
      r.Name = Word("a shape name");
    }
    return r;
  }
  void Expect(char c) {
    if (Token() != c) Fail(std::string("'") + c + "' expected" + Found());
    Next();
  }
  void End() {
    if (!AtEnd()) Fail("unexpected '" + parser_->TokenText() + "' at the end of the line");
  }

private:
  std::string Found() const { return AtEnd() ? " (the line ends)" : ", not '" + parser_->TokenText() + "'"; }
  void Next() {
    Guard([&] { parser_->NextToken(); });
  }
  template <class F>
  void Guard(F f) {
    try {
      f();
    } catch (const EParserError& e) {
      ctx_.FailParser(line_, e.Message());
    }
  }

  const TJobTextContext& ctx_;
  int line_;
  std::unique_ptr<TChineseParser> parser_;
};

TKVFcFont ReadFont(TLineReader& r, const TKVFcFont& chartFont) {
  TKVFcFont f;
  f.Height = static_cast<int16_t>(r.Int("the font height", INT16_MIN, INT16_MAX));
  f.Color = static_cast<int32_t>(r.Int("the font colour", INT32_MIN, UINT32_MAX));
  f.Pitch = static_cast<uint8_t>(r.Int("the font pitch", 0, 255));
  f.Style = static_cast<uint8_t>(r.Int("the font style", 0, 255));
  f.Charset = static_cast<uint8_t>(r.Int("the font character set", 0, 255));
  f.Name = r.Text("the font name");
  if (f.Name.empty()) f.Name = chartFont.Name;
  return f;
}

TKVFcConnectionArrow ReadArrow(TLineReader& r) {
  TKVFcConnectionArrow a;
  a.ArrowType = static_cast<TKVFcaType>(r.Choice("arrow type", kArrowTypes));
  a.Width = static_cast<uint8_t>(r.Int("the arrow width", 0, 255));
  a.Height = static_cast<uint8_t>(r.Int("the arrow height", 0, 255));
  a.Color = static_cast<int32_t>(r.Int("the arrow colour", INT32_MIN, UINT32_MAX));
  return a;
}

int32_t Colour(TLineReader& r, const std::string& what) {
  return static_cast<int32_t>(r.Int(what, INT32_MIN, UINT32_MAX));
}

class TJobTextReader {
public:
  TJobTextReader(std::string_view text, const std::string& source, const TEnvLookup& env)
      : ctx_(source), lines_(PrepareLines(text, ctx_, env)) {}

  void Read(TKVCustomFlowChart& chart) {
    chart_ = &chart;
    for (int i = 0; i < static_cast<int>(lines_.size());) i = Statement(i);
    Finish();
  }

private:
  int LineNo(int index) const { return index + 1; }

  // Reads the statement on line `index`; returns the index of the next line.
  int Statement(int index) {
    const int line = LineNo(index);
    TLineReader r(lines_[static_cast<size_t>(index)], line, ctx_);
    if (r.AtEnd()) return index + 1;
    if (r.IsSymbol("object") || r.IsSymbol("inherited") || r.IsSymbol("inline")) return ObjectBlock(index);
    if (!headerSeen_) {
      if (!r.IsSymbol(kHeader)) ctx_.Fail(line, std::string("the text must start with '") + kHeader + " 1'");
      r.Word("jobtext");
      const int64_t version = r.Int("the format version", 0, INT32_MAX);
      if (version != kVersion)
        ctx_.Fail(line, "format version " + std::to_string(version) + " is not known (this program reads version 1)");
      r.End();
      headerSeen_ = true;
      return index + 1;
    }
    const std::string word = r.Word("a statement");
    if (SameTextAscii(word, "job")) {
      StartJob(r, line);
    } else if (SameTextAscii(word, "shape")) {
      StartShape(r, line);
    } else if (SameTextAscii(word, "connection")) {
      StartConnection(r, line);
    } else if (section_ == TSection::Shape) {
      ShapeSetting(r, word, line);
    } else if (section_ == TSection::Connection) {
      ConnectionSetting(r, word, line);
    } else if (section_ == TSection::Job) {
      ctx_.Fail(line, "unknown setting '" + word + "': the job section holds only its object");
    } else {
      ctx_.Fail(line, "unknown statement '" + word + "' (job, shape or connection expected)");
    }
    return index + 1;
  }

  void StartJob(TLineReader& r, int line) {
    r.End();
    if (jobLine_) ctx_.Fail(line, "a second job section (the first is on line " + std::to_string(jobLine_) + ")");
    jobLine_ = line;
    section_ = TSection::Job;
  }

  void StartShape(TLineReader& r, int line) {
    TShapeSpec s;
    s.Line = line;
    if (!r.AtEnd()) {
      const std::string name = r.Token() == TChineseParser::toString ? r.Text("the shape name") : r.Word("the shape name");
      r.End();
      if (name.empty()) ctx_.Fail(line, "a shape name may not be empty");
      if (auto it = names_.find(name); it != names_.end())
        ctx_.Fail(line, "the shape name '" + name + "' is given twice (first on line " +
                            std::to_string(shapes_[static_cast<size_t>(it->second)].Line) + ")");
      names_[name] = static_cast<int>(shapes_.size());
    }
    s.Shape = chart_->CreateObject(0, 0, 0, 0, fcsRectangle, dotText);
    shapes_.push_back(s);
    section_ = TSection::Shape;
    seen_.clear();
  }

  void StartConnection(TLineReader& r, int line) {
    TConnectionSpec c;
    c.Line = line;
    c.Source = r.Ref(true);
    r.Expect('-');
    r.Expect('>');
    c.Dest = r.Ref(true);
    r.End();
    c.Connection = chart_->CreateConnection(nullptr, nullptr, kDefaultPointSource, kDefaultPointDest);
    connections_.push_back(c);
    section_ = TSection::Connection;
    seen_.clear();
  }

  // A setting may be given once per section.
  void Once(const std::string& key, int line) {
    std::string word = key;
    for (char& c : word) c = AsciiLower(c);
    auto [it, fresh] = seen_.emplace(word, line);
    if (!fresh)
      ctx_.Fail(line, "'" + word + "' is given twice in this section (first on line " + std::to_string(it->second) + ")");
  }

  void ShapeSetting(TLineReader& r, const std::string& key, int line) {
    Once(key, line);
    TShapeSpec& s = shapes_.back();
    if (SameTextAscii(key, "union")) s.UnionLine = line;
    if (!ShapeGeometry(r, key, s) && !ShapeAppearance(r, key, *s.Shape))
      ctx_.Fail(line, "unknown shape setting '" + key +
                          "' (bounds, type, kind, text, data, edge, border, textpos, imagepos, background, color, "
                          "tag, image, penwidth, transparent, font, union)");
    r.End();
  }

  bool ShapeGeometry(TLineReader& r, const std::string& key, TShapeSpec& s) {
    TKVFcObject& o = *s.Shape;
    if (SameTextAscii(key, "bounds")) {
      const auto left = static_cast<int32_t>(r.Int("the left edge", INT32_MIN, INT32_MAX));
      const auto top = static_cast<int32_t>(r.Int("the top edge", INT32_MIN, INT32_MAX));
      const auto width = static_cast<uint16_t>(r.Int("the width", 0, 65535));
      o.SetBounds(left, top, width, static_cast<uint16_t>(r.Int("the height", 0, 65535)));
      s.HasBounds = true;
    } else if (SameTextAscii(key, "type")) {
      o.SetShapeType(static_cast<TKVFcShapeType>(r.Choice("shape type", kShapeTypes)));
    } else if (SameTextAscii(key, "kind")) {
      o.DataSetObjType = static_cast<TDataSetObjType>(r.Choice("dataset kind", kKinds));
      s.HasKind = true;
    } else if (SameTextAscii(key, "union")) {
      do s.Union.push_back(r.Ref(false));
      while (!r.AtEnd());
    } else {
      return false;
    }
    return true;
  }

  bool ShapeAppearance(TLineReader& r, const std::string& key, TKVFcObject& o) {
    if (SameTextAscii(key, "text")) {
      o.SetText(r.Text("the shape's text"));
    } else if (SameTextAscii(key, "data")) {
      o.CustomData = r.Text("the shape's data");
    } else if (SameTextAscii(key, "edge")) {
      o.Edge = static_cast<uint16_t>(r.Int("the edge", 0, 65535));
    } else if (SameTextAscii(key, "border")) {
      o.Border = static_cast<uint16_t>(r.Int("the border", 0, 65535));
    } else if (SameTextAscii(key, "textpos")) {
      o.HorzTextPos = static_cast<TKVFcHorzPos>(r.Choice("horizontal position", kHorzPos));
      o.VertTextPos = static_cast<TKVFcVertPos>(r.Choice("vertical position", kVertPos));
    } else if (SameTextAscii(key, "imagepos")) {
      o.HorzImagePos = static_cast<TKVFcHorzPos>(r.Choice("horizontal position", kHorzPos));
      o.VertImagePos = static_cast<TKVFcVertPos>(r.Choice("vertical position", kVertPos));
    } else if (SameTextAscii(key, "background")) {
      o.BkColor = Colour(r, "the background colour");
    } else if (SameTextAscii(key, "color")) {
      o.ShapeColor = Colour(r, "the shape colour");
    } else if (SameTextAscii(key, "tag")) {
      o.Tag = static_cast<int32_t>(r.Int("the tag", INT32_MIN, INT32_MAX));
    } else if (SameTextAscii(key, "image")) {
      o.ImageIndex = static_cast<int16_t>(r.Int("the image index", INT16_MIN, INT16_MAX));
    } else if (SameTextAscii(key, "penwidth")) {
      o.ShapeWidth = static_cast<uint8_t>(r.Int("the pen width", 0, 255));
    } else if (SameTextAscii(key, "transparent")) {
      o.Transparent = true;
    } else if (SameTextAscii(key, "font")) {
      o.ParentFont = false;
      o.Font = ReadFont(r, chart_->Font);
    } else {
      return false;
    }
    return true;
  }

  void ConnectionSetting(TLineReader& r, const std::string& key, int line) {
    Once(key, line);
    TConnectionSpec& s = connections_.back();
    TKVFcConnection& c = *s.Connection;
    if (SameTextAscii(key, "attach")) {
      s.PointSource = static_cast<uint8_t>(r.Int("the source's linked point", 0, 15));
      s.PointDest = static_cast<uint8_t>(r.Int("the destination's linked point", 0, 15));
    } else if (SameTextAscii(key, "style")) {
      c.SetStyle(static_cast<TKVFclStyle>(r.Choice("line style", kStyles)));
    } else if (SameTextAscii(key, "pen")) {
      c.PenColor = Colour(r, "the pen colour");
      c.PenStyle = static_cast<uint8_t>(r.Int("the pen style", 0, 15));
    } else if (SameTextAscii(key, "transparent")) {
      c.SetTransparent(true);
    } else if (SameTextAscii(key, "sourcearrow")) {
      c.ArrowSource = ReadArrow(r);
    } else if (SameTextAscii(key, "destarrow")) {
      c.ArrowDest = ReadArrow(r);
    } else if (SameTextAscii(key, "via")) {
      c.SetIntermediate(ReadPoints(r, line));
    } else if (SameTextAscii(key, "text")) {
      c.SetText(r.Text("the connection's text"));
    } else if (SameTextAscii(key, "font")) {
      c.ParentFont = false;
      c.Font = ReadFont(r, chart_->Font);
    } else {
      ctx_.Fail(line, "unknown connection setting '" + key +
                          "' (attach, style, pen, transparent, sourcearrow, destarrow, via, text, font)");
    }
    r.End();
  }

  std::vector<TFcPoint> ReadPoints(TLineReader& r, int line) {
    std::vector<TFcPoint> points;
    do {
      const auto x = static_cast<int32_t>(r.Int("a point's x", INT32_MIN, INT32_MAX));
      points.push_back({x, static_cast<int32_t>(r.Int("a point's y", INT32_MIN, INT32_MAX))});
    } while (!r.AtEnd());
    if (points.size() > 65535) ctx_.Fail(line, "more than 65535 points in one connection");
    return points;
  }

  int ObjectBlock(int index) {
    const int line = LineNo(index);
    const int last = FindObjectEnd(lines_, index, ctx_);
    const std::string text = BlockText(lines_, index, last);
    switch (section_) {
      case TSection::None: ctx_.Fail(line, "an object outside a job, shape or connection section");
      case TSection::Job: TakeJob(text, line); break;
      case TSection::Shape: TakeDataSet(text, line); break;
      case TSection::Connection: TakeLink(text, line); break;
    }
    return last + 1;
  }

  void TakeJob(const std::string& text, int line) {
    if (hasJobObject_) ctx_.Fail(line, "a second object in the job section");
    chart_->TakeJob(ReadTextObject(text, line, TJob::StaticClass(), "the job section", ctx_));
    hasJobObject_ = true;
  }

  void TakeDataSet(const std::string& text, int line) {
    TShapeSpec& s = shapes_.back();
    if (s.HasObject) ctx_.Fail(line, "a second object in this shape");
    std::unique_ptr<TBaseObject> obj = ReadTextObject(text, line, TKVCustomDataSet::StaticClass(), "a shape", ctx_);
    s.Shape->TakeDataSet(OwnedCast<TKVCustomDataSet>(obj));
    s.HasObject = true;
  }

  void TakeLink(const std::string& text, int line) {
    TConnectionSpec& c = connections_.back();
    if (c.HasObject) ctx_.Fail(line, "a second object in this connection");
    c.Connection->TakeDBLink(ReadTextObject(text, line, TDBLink::StaticClass(), "a connection", ctx_));
    c.HasObject = true;
  }

  // ---- After the last line ----
  void Finish() {
    const int lastLine = std::max(1, static_cast<int>(lines_.size()));
    if (!headerSeen_) ctx_.Fail(lastLine, std::string("the text is empty: it must start with '") + kHeader + " 1'");
    if (!jobLine_) ctx_.Fail(lastLine, "the text has no job section");
    if (!hasJobObject_) ctx_.Fail(jobLine_, "the job section has no object (object TJob ... end)");
    FinishShapes();
    for (TConnectionSpec& c : connections_) FinishConnection(c);
    if (LaidOut()) LayOut();
  }

  void FinishShapes() {
    for (TShapeSpec& s : shapes_) {
      if (!s.HasObject) ctx_.Fail(s.Line, "the shape has no dataset object (object TKVTextDataSet ... end)");
      if (!s.HasKind) s.Shape->DataSetObjType = KindOfDataSet(*s.Shape->DataSet());
      for (const TShapeRef& m : s.Union) s.Shape->AddToUnion(Resolve(m, s.UnionLine));
      if (s.HasBounds != shapes_.front().HasBounds)
        ctx_.Fail(s.Line, "give every shape its bounds, or none to have the diagram laid out");
    }
  }

  void FinishConnection(TConnectionSpec& c) {
    if (!c.HasObject) ctx_.Fail(c.Line, "the connection has no DB link object (object TDBLink ... end)");
    c.Connection->SetSource(Resolve(c.Source, c.Line), c.PointSource);
    c.Connection->SetDest(Resolve(c.Dest, c.Line), c.PointDest);
  }

  TKVFcObject* Resolve(const TShapeRef& ref, int line) const {
    if (ref.None) return nullptr;
    if (ref.Position) {
      if (ref.Position > static_cast<int>(shapes_.size()))
        ctx_.Fail(line, "there is no shape @" + std::to_string(ref.Position) + " (the text has " +
                            std::to_string(shapes_.size()) + ")");
      return shapes_[static_cast<size_t>(ref.Position - 1)].Shape;
    }
    auto it = names_.find(ref.Name);
    if (it == names_.end()) ctx_.Fail(line, "no shape is named '" + ref.Name + "'");
    return shapes_[static_cast<size_t>(it->second)].Shape;
  }

  bool LaidOut() const { return !shapes_.empty() && !shapes_.front().HasBounds; }

  // Columns left to right: a shape that is no connection's destination
  // stands in column 0, a destination one column right of its furthest
  // source (a cycle stops growing after as many rounds as there are shapes).
  void LayOut() {
    std::vector<int> column(shapes_.size(), 0);
    for (size_t round = 0; round < shapes_.size(); ++round) {
      bool changed = false;
      for (const TConnectionSpec& c : connections_) {
        const TKVFcObject* from = c.Connection->Source();
        const TKVFcObject* to = c.Connection->Dest();
        if (!from || !to || from == to) continue;
        const auto f = static_cast<size_t>(chart_->IndexOfObject(from));
        const auto t = static_cast<size_t>(chart_->IndexOfObject(to));
        if (column[t] < column[f] + 1 && column[f] + 1 < static_cast<int>(shapes_.size())) {
          column[t] = column[f] + 1;
          changed = true;
        }
      }
      if (!changed) break;
    }
    std::map<int, int> rows;
    for (size_t i = 0; i < shapes_.size(); ++i) {
      const int row = rows[column[i]]++;
      shapes_[i].Shape->SetBounds(kLayoutMargin + column[i] * kLayoutColumnStep, kLayoutMargin + row * kLayoutRowStep,
                                  kLayoutWidth, kLayoutHeight);
    }
  }

  TJobTextContext ctx_;
  std::vector<std::string> lines_;
  TKVCustomFlowChart* chart_ = nullptr;
  bool headerSeen_ = false;
  TSection section_ = TSection::None;
  int jobLine_ = 0;
  bool hasJobObject_ = false;
  std::vector<TShapeSpec> shapes_;
  std::map<std::string, int> names_;
  std::vector<TConnectionSpec> connections_;
  std::map<std::string, int> seen_;
};

std::string ChartBytes(const TKVCustomFlowChart& chart) {
  TMemoryStream m;
  chart.SaveToStream(m);
  return m.Bytes();
}

}  // namespace

std::string JobTextToJobFileBytes(std::string_view text, const std::string& source, const TEnvLookup& env) {
  TKVFlowChart staging;
  staging.SetHooks(JobChartHooks());
  staging.TakeJob(nullptr);
  TJobTextReader(text, source, env).Read(staging);
  std::string bytes;
  try {
    bytes = ChartBytes(staging);
    TKVFlowChart check;
    check.SetHooks(JobChartHooks());
    TMemoryStream m(bytes);
    check.LoadFromStream(m);
  } catch (const Exception& e) {
    throw EJobTextError(source, 1, "the text does not make a job file: " + e.Message());
  }
  return bytes;
}

void JobTextToChart(std::string_view text, const std::string& source, const TEnvLookup& env,
                    TKVCustomFlowChart& chart) {
  TMemoryStream m(JobTextToJobFileBytes(text, source, env));
  chart.LoadFromStream(m);
}

void BuildJobFile(std::string_view text, const std::string& source, const TEnvLookup& env,
                  const std::string& jobFile) {
  AtomicWriteFile(jobFile, JobTextToJobFileBytes(text, source, env));
}

}  // namespace kv
