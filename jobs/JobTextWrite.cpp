// Writing a chart as a job text, and the helpers the reader shares.
#include <cstdlib>
#include <set>

#include "foundation/CharClass.h"
#include "foundation/ObjectStream.h"
#include "foundation/ObjectText.h"
#include "jobs/Job.h"
#include "jobs/JobText.h"
#include "jobs/JobTextNames.h"

namespace kv {

namespace jobtext {

std::string QuoteText(std::string_view text) {
  if (text.empty()) return "''";
  std::string out;
  bool inQuote = false;
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    const bool printable = c >= ' ' && c != 0x7F;
    if (printable != inQuote) out += '\'';
    inQuote = printable;
    if (!printable) {
      out += '#' + std::to_string(c);
    } else {
      out += ch;
      if (ch == '\'') out += '\'';
    }
  }
  if (inQuote) out += '\'';
  return out;
}

TDataSetObjType KindOfDataSet(const TKVCustomDataSet& dataSet) {
  for (uint8_t k = 0; k < kDataSetObjTypeCount; ++k) {
    const auto kind = static_cast<TDataSetObjType>(k);
    if (CreateDataSetOfKind(kind)->ClassType() == dataSet.ClassType()) return kind;
  }
  return ReachedThroughOdbc(dataSet) ? dotODBC : dotFileDB;
}

bool IsPasswordProperty(std::string_view name) {
  static constexpr std::string_view kWord = "password";
  for (size_t i = 0; i + kWord.size() <= name.size(); ++i) {
    if (SameTextAscii(name.substr(i, kWord.size()), kWord)) return true;
  }
  return false;
}

}  // namespace jobtext

using namespace jobtext;

TEnvLookup ProcessEnvironment() {
  return [](const std::string& name) -> std::optional<std::string> {
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
  };
}

std::string PasswordVariableName(const std::string& objectName) {
  std::string name = "VANDREL_PASSWORD_";
  for (char c : objectName) {
    name += IsDigit(c) || IsAsciiLetter(c) ? AsciiUpper(c) : '_';
  }
  return name;
}

namespace {

std::string Num(int64_t v) { return std::to_string(v); }

bool IsIdentifier(std::string_view s) {
  auto letter = [](char c) { return IsAsciiLetter(c) || c == '_' || static_cast<unsigned char>(c) >= 0x80; };
  if (s.empty() || !letter(s[0])) return false;
  for (char c : s)
    if (!letter(c) && !IsDigit(c)) return false;
  return true;
}

std::string ObjectBytes(const TBaseObject* obj) {
  TMemoryStream m;
  StreamWriteObject(m, obj);
  return m.Bytes();
}

class TJobTextWriter {
public:
  TJobTextWriter(const TKVCustomFlowChart& chart, const TJobTextOptions& options)
      : chart_(chart), options_(options) {}

  std::string Run() {
    out_ = "# A Vandrel job as text (docs/job-text.md). Build the job file with\n"
           "#   vandrel-cli job build THIS-FILE -o FILE.job\n";
    if (!options_.WithPasswords)
      out_ += "# Passwords are ${VAR} references: set each variable before building.\n";
    out_ += std::string(kHeader) + " " + Num(kVersion) + "\n";
    MakeLabels();
    WriteJob();
    for (int i = 0; i < chart_.GetObjectCount(); ++i) WriteShape(i);
    for (int i = 0; i < chart_.GetConnectionCount(); ++i) WriteConnection(i);
    return out_;
  }

private:
  // A shape is named by its dataset's name when that is unique among the
  // shapes; otherwise it is referred to by its position (@N).
  void MakeLabels() {
    std::multiset<std::string> names;
    for (int i = 0; i < chart_.GetObjectCount(); ++i) names.insert(DataSetName(i));
    for (int i = 0; i < chart_.GetObjectCount(); ++i) {
      const std::string name = DataSetName(i);
      labels_.push_back(!name.empty() && names.count(name) == 1 ? (IsIdentifier(name) ? name : QuoteText(name))
                                                                  : std::string());
    }
  }

  std::string DataSetName(int i) const {
    const TKVCustomDataSet* ds = chart_.GetObject(i)->DataSet();
    return ds ? ds->Name : std::string();
  }

  std::string Ref(const TKVFcObject* shape) const {
    if (!shape) return "*";
    const int i = chart_.IndexOfObject(shape);
    return labels_[static_cast<size_t>(i)].empty() ? "@" + Num(i + 1) : labels_[static_cast<size_t>(i)];
  }

  void Line(const std::string& text) { out_ += "  " + text + "\n"; }

  void WriteJob() {
    const auto* job = ObjCast<TJob>(chart_.Job());
    if (!chart_.Job()) throw Exception("The job file holds no job: it cannot be written as text");
    out_ += "\njob\n";
    WriteObject(chart_.Job(), job && !job->Name.empty() ? job->Name : "JOB");
  }

  void WriteShape(int i) {
    const TKVFcObject& o = *chart_.GetObject(i);
    if (!o.DataSet()) throw Exception("Shape " + Num(i + 1) + " holds no dataset: it cannot be written as text");
    out_ += "\nshape" + (labels_[static_cast<size_t>(i)].empty() ? "" : " " + labels_[static_cast<size_t>(i)]) + "\n";
    Line("bounds " + Num(o.Left()) + " " + Num(o.Top()) + " " + Num(o.Width()) + " " + Num(o.Height()));
    if (o.ShapeType() != fcsRectangle) Line(std::string("type ") + kShapeTypes[o.ShapeType()]);
    if (o.DataSetObjType != KindOfDataSet(*o.DataSet())) Line(std::string("kind ") + kKinds[o.DataSetObjType]);
    if (!o.Text().empty()) Line("text " + QuoteText(o.Text()));
    if (!o.CustomData.empty()) Line("data " + QuoteText(o.CustomData));
    WriteAppearance(o);
    if (!o.ParentFont) Line(FontLine(o.Font));
    if (!o.Union().empty()) {
      std::string line = "union";
      for (const TKVFcObject* m : o.Union()) line += " " + Ref(m);
      Line(line);
    }
    const std::string& name = o.DataSet()->Name;
    WriteObject(o.DataSet(), name.empty() ? "SHAPE" + Num(i + 1) : name);
  }

  void WriteAppearance(const TKVFcObject& o) {
    const TKVFcObject d;
    if (o.Edge != d.Edge) Line("edge " + Num(o.Edge));
    if (o.Border != d.Border) Line("border " + Num(o.Border));
    if (o.HorzTextPos != d.HorzTextPos || o.VertTextPos != d.VertTextPos)
      Line(std::string("textpos ") + kHorzPos[o.HorzTextPos] + " " + kVertPos[o.VertTextPos]);
    if (o.HorzImagePos != d.HorzImagePos || o.VertImagePos != d.VertImagePos)
      Line(std::string("imagepos ") + kHorzPos[o.HorzImagePos] + " " + kVertPos[o.VertImagePos]);
    if (o.BkColor != d.BkColor) Line("background " + Num(o.BkColor));
    if (o.ShapeColor != d.ShapeColor) Line("color " + Num(o.ShapeColor));
    if (o.Tag != d.Tag) Line("tag " + Num(o.Tag));
    if (o.ImageIndex != d.ImageIndex) Line("image " + Num(o.ImageIndex));
    if (o.ShapeWidth != d.ShapeWidth) Line("penwidth " + Num(o.ShapeWidth));
    if (o.Transparent) Line("transparent");
  }

  static std::string FontLine(const TKVFcFont& f) {
    return "font " + Num(f.Height) + " " + Num(f.Color) + " " + Num(f.Pitch) + " " + Num(f.Style) + " " +
           Num(f.Charset) + " " + QuoteText(f.Name);
  }

  static std::string ArrowLine(const char* key, const TKVFcConnectionArrow& a) {
    return std::string(key) + " " + kArrowTypes[a.ArrowType] + " " + Num(a.Width) + " " + Num(a.Height) + " " +
           Num(a.Color);
  }

  void WriteConnection(int i) {
    const TKVFcConnection& c = *chart_.GetConnection(i);
    if (!c.DBLink()) throw Exception("Connection " + Num(i + 1) + " holds no DB link: it cannot be written as text");
    out_ += "\nconnection " + Ref(c.Source()) + " -> " + Ref(c.Dest()) + "\n";
    if (c.PointSource() != kDefaultPointSource || c.PointDest() != kDefaultPointDest)
      Line("attach " + Num(c.PointSource()) + " " + Num(c.PointDest()));
    if (c.Style() != fclStraight) Line(std::string("style ") + kStyles[c.Style()]);
    if (c.PenColor != 0 || c.PenStyle != 0) Line("pen " + Num(c.PenColor) + " " + Num(c.PenStyle));
    if (c.Transparent()) Line("transparent");
    const TKVFcConnection d;
    if (!(c.ArrowSource == d.ArrowSource)) Line(ArrowLine("sourcearrow", c.ArrowSource));
    if (!(c.ArrowDest == d.ArrowDest)) Line(ArrowLine("destarrow", c.ArrowDest));
    if (!c.Intermediate().empty()) {
      std::string line = "via";
      for (TFcPoint p : c.Intermediate()) line += " " + Num(p.X) + " " + Num(p.Y);
      Line(line);
    }
    if (!c.Text().empty()) Line("text " + QuoteText(c.Text()));
    if (!c.ParentFont) Line(FontLine(c.Font));
    const auto* link = ObjCast<TDBLink>(c.DBLink());
    WriteObject(c.DBLink(), link && !link->Name.empty() ? link->Name : "LINK" + Num(i + 1));
  }

  // The object text, indented; password values as references unless asked for.
  void WriteObject(const TBaseObject* obj, const std::string& owner) {
    const std::string bytes = ObjectBytes(obj);
    std::string text = options_.WithPasswords ? ObjectBinaryToText(bytes) : ObjectBinaryToTextHidingPasswords(bytes);
    const std::string marker = std::string(" = ") + kHiddenPassword + "\n";
    for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at)) {
      const std::string reference = " = ${" + UniqueVariable(PasswordVariableName(owner)) + "}\n";
      text.replace(at, marker.size(), reference);
      at += reference.size();
    }
    size_t start = 0;
    while (start < text.size()) {
      const size_t end = text.find('\n', start);
      Line(text.substr(start, end - start));
      start = end == std::string::npos ? text.size() : end + 1;
    }
  }

  // `base`, or base_2, base_3, ... when an earlier password took it.
  std::string UniqueVariable(const std::string& base) {
    std::string name = base;
    for (int n = 2; usedVariables_.count(name); ++n) name = base + "_" + Num(n);
    usedVariables_.insert(name);
    return name;
  }

  const TKVCustomFlowChart& chart_;
  const TJobTextOptions& options_;
  std::vector<std::string> labels_;
  std::set<std::string> usedVariables_;
  std::string out_;
};

}  // namespace

std::string ChartToJobText(const TKVCustomFlowChart& chart, const TJobTextOptions& options) {
  return TJobTextWriter(chart, options).Run();
}

std::string JobFileToText(const std::string& jobFile, const TJobTextOptions& options) {
  TKVFlowChart chart;
  chart.SetHooks(JobChartHooks());
  chart.LoadFromFile(jobFile);
  return ChartToJobText(chart, options);
}

}  // namespace kv
