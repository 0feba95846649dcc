#include "jobs/JobTextObjects.h"

#include <charconv>
#include <optional>
#include <set>

#include "foundation/CharClass.h"
#include "foundation/ObjectStream.h"
#include "foundation/ObjectText.h"
#include "jobs/JobTextNames.h"

namespace kv::jobtext {

void TJobTextContext::FailParser(int firstLine, const std::string& message) const {
  static constexpr std::string_view kOnLine = " on line ";
  const size_t at = message.rfind(kOnLine);
  int n = 0;
  if (at != std::string::npos) {
    const char* b = message.data() + at + kOnLine.size();
    const char* e = message.data() + message.size();
    auto r = std::from_chars(b, e, n);
    if (r.ec == std::errc() && r.ptr == e && n >= 1) Fail(firstLine + n - 1, message.substr(0, at));
  }
  Fail(firstLine, message);
}

namespace {

size_t SkipBlanks(std::string_view s, size_t i) {
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  return i;
}

bool IsNameChar(char c) { return IsAsciiLetter(c) || IsDigit(c) || c == '_'; }

bool IsComment(std::string_view line) {
  const size_t i = SkipBlanks(line, 0);
  return i < line.size() && line[i] == '#' && (i + 1 == line.size() || static_cast<unsigned char>(line[i + 1]) <= ' ');
}

// Whether "${" stands outside a quoted part of the line.
bool HasBareReference(std::string_view line) {
  bool inQuote = false;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\'') inQuote = !inQuote;
    if (!inQuote && line[i] == '$' && i + 1 < line.size() && line[i + 1] == '{') return true;
  }
  return false;
}

struct TReference {
  size_t NameStart = 0, NameEnd = 0;
  std::string Variable;
};

// "<blanks>Name = ${VAR}<blanks>", Name possibly dotted.
std::optional<TReference> MatchReference(std::string_view line) {
  TReference r;
  size_t i = r.NameStart = SkipBlanks(line, 0);
  while (i < line.size() && (IsNameChar(line[i]) || line[i] == '.')) ++i;
  r.NameEnd = i;
  i = SkipBlanks(line, i);
  if (r.NameEnd == r.NameStart || i >= line.size() || line[i] != '=') return std::nullopt;
  i = SkipBlanks(line, i + 1);
  if (line.substr(i, 2) != "${") return std::nullopt;
  i += 2;
  const size_t varStart = i;
  while (i < line.size() && IsNameChar(line[i])) ++i;
  if (i == varStart || i >= line.size() || line[i] != '}') return std::nullopt;
  r.Variable = std::string(line.substr(varStart, i - varStart));
  if (SkipBlanks(line, i + 1) != line.size()) return std::nullopt;
  return r;
}

std::string PrepareLine(std::string_view line, int lineNo, const TJobTextContext& ctx, const TEnvLookup& env) {
  if (IsComment(line)) return std::string();
  if (!HasBareReference(line)) return std::string(line);
  const std::optional<TReference> ref = MatchReference(line);
  if (!ref) ctx.Fail(lineNo, "a ${VAR} reference must stand alone as the value of a password property");
  const std::string name(line.substr(ref->NameStart, ref->NameEnd - ref->NameStart));
  if (!IsPasswordProperty(name))
    ctx.Fail(lineNo, "${" + ref->Variable + "} stands only for a password, not for '" + name + "'");
  const std::optional<std::string> value = env ? env(ref->Variable) : std::nullopt;
  if (!value) ctx.Fail(lineNo, "the password variable " + ref->Variable + " is not set");
  return std::string(line.substr(0, ref->NameEnd)) + " = " + QuoteText(*value);
}

bool IsOpening(std::string_view w) {
  return SameTextAscii(w, "object") || SameTextAscii(w, "inherited") || SameTextAscii(w, "inline");
}

// Property names each class declares (lower-cased); nullopt for a class
// that cannot be made here (the reader reports it).
std::optional<std::set<std::string>> DeclaredNames(const std::string& className) {
  const TClassInfo* cls = FindClass(className);
  if (!cls || !cls->Factory) return std::nullopt;
  std::unique_ptr<TObject> made = cls->Create();
  auto* obj = ObjCast<TBaseObject>(made.get());
  if (!obj) return std::nullopt;
  std::set<std::string> names;
  TPropProcessor collect(&names, [](void* self, void*, std::string_view name, TPropType, bool, const void*, void*) {
    std::string lower(name);
    for (char& c : lower) c = AsciiLower(c);
    static_cast<std::set<std::string>*>(self)->insert(lower);
    return true;
  });
  obj->EnumrateProperties(collect, paWrite, nullptr);
  return names;
}

// List containers store their items as Object_0, Object_1, ...
bool IsItemName(std::string_view name) {
  if (name.size() <= 7 || !SameTextAscii(name.substr(0, 7), "Object_")) return false;
  for (char c : name.substr(7))
    if (!IsDigit(c)) return false;
  return true;
}

// Walks a converted (so well-formed) object text and refuses property
// names that the object's class does not declare: the object reader would
// skip them silently, losing what the user meant to set.
class TPropertyChecker {
public:
  TPropertyChecker(std::string_view text, const TJobTextContext& ctx) : p_(text), ctx_(ctx) {}
  void Run() { Object(nullptr, ""); }

private:
  void Object(const std::optional<std::set<std::string>>* parent, const std::string& parentClass) {
    p_.NextToken();
    std::string cls = p_.TokenString();
    const int line = p_.SourceLine();
    p_.NextToken();
    if (p_.Token() == ':') {
      if (parent) Check(*parent, cls, line, parentClass);
      p_.NextToken();
      cls = p_.TokenString();
      p_.NextToken();
    }
    if (p_.Token() == '[') {
      while (p_.Token() != ']' && p_.Token() != TChineseParser::toEOF) p_.NextToken();
      p_.NextToken();
    }
    const std::optional<std::set<std::string>> names = DeclaredNames(cls);
    while (p_.Token() == TChineseParser::toSymbol && !p_.TokenSymbolIs("end") && !IsOpening(p_.TokenString())) {
      Property(&names, cls);
    }
    while (p_.Token() != TChineseParser::toEOF && !p_.TokenSymbolIs("end")) Object(&names, cls);
    p_.NextToken();
  }

  void Property(const std::optional<std::set<std::string>>* names, const std::string& cls) {
    const std::string name = p_.TokenString();
    const int line = p_.SourceLine();
    p_.NextToken();
    while (p_.Token() == '.') {
      p_.NextToken();
      p_.NextToken();
    }
    if (names) Check(*names, name, line, cls);
    p_.NextToken();  // "="
    SkipValue();
  }

  void Check(const std::optional<std::set<std::string>>& names, const std::string& name, int line,
             const std::string& cls) const {
    if (!names || IsItemName(name)) return;
    std::string lower = name;
    for (char& c : lower) c = AsciiLower(c);
    if (!names->count(lower)) ctx_.Fail(line, cls + " has no property '" + name + "'");
  }

  void SkipValue() {
    const char t = p_.Token();
    if (t == TChineseParser::toString || t == TChineseParser::toWString) {
      do p_.NextToken();
      while (p_.Token() == '+' && p_.NextToken() != TChineseParser::toEOF);
      return;
    }
    if (t == '{') {
      p_.HexToBinary();
      return;
    }
    p_.NextToken();
    if (t == TChineseParser::toSymbol) {
      while (p_.Token() == '.') {
        p_.NextToken();
        p_.NextToken();
      }
    } else if (t == '[') {
      while (p_.Token() != ']' && p_.Token() != TChineseParser::toEOF) p_.NextToken();
      p_.NextToken();
    } else if (t == '(') {
      while (p_.Token() != ')' && p_.Token() != TChineseParser::toEOF) SkipValue();
      p_.NextToken();
    } else if (t == '<') {
      SkipItems();
    }
  }

  // Collection items: their properties are not checked (no class names them).
  void SkipItems() {
    while (p_.Token() != '>' && p_.Token() != TChineseParser::toEOF) {
      p_.NextToken();  // "item"
      if (p_.Token() == '[') {
        while (p_.Token() != ']' && p_.Token() != TChineseParser::toEOF) p_.NextToken();
        p_.NextToken();
      }
      while (p_.Token() == TChineseParser::toSymbol && !p_.TokenSymbolIs("end")) Property(nullptr, "");
      p_.NextToken();
    }
    p_.NextToken();
  }

  TChineseParser p_;
  const TJobTextContext& ctx_;
};

}  // namespace

std::vector<std::string> PrepareLines(std::string_view text, const TJobTextContext& ctx, const TEnvLookup& env) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(PrepareLine(line, static_cast<int>(lines.size()) + 1, ctx, env));
    start = end + 1;
  }
  return lines;
}

int FindObjectEnd(const std::vector<std::string>& lines, int first, const TJobTextContext& ctx) {
  std::string text;
  for (size_t i = static_cast<size_t>(first); i < lines.size(); ++i) text += lines[i] + "\n";
  try {
    TChineseParser p(text);
    int depth = 0;
    char prev = 0;
    for (;;) {
      const char t = p.Token();
      if (t == TChineseParser::toEOF) ctx.Fail(first + 1, "the object has no END");
      if (t != TChineseParser::toSymbol) {
        prev = t;
        p.NextToken();
        continue;
      }
      const std::string word = p.TokenString();
      const int at = p.SourceLine();
      // A word taken as a value or as a name is no keyword.
      const bool value = prev == '=' || prev == ',' || prev == '[' || prev == '.' || prev == '(' || prev == 'o';
      p.NextToken();
      const bool named = p.Token() == '=' || p.Token() == '.' || p.Token() == ':';
      prev = 's';
      if (value || named) continue;
      if (IsOpening(word)) {
        ++depth;
        prev = 'o';
      } else if (SameTextAscii(word, "item")) {
        ++depth;
      } else if (SameTextAscii(word, "end") && --depth == 0) {
        if (p.Token() != TChineseParser::toEOF && p.SourceLine() == at)
          ctx.Fail(first + at, "text after the object's END on the same line");
        return first + at - 1;
      }
    }
  } catch (const EParserError& e) {
    ctx.FailParser(first + 1, e.Message());
  }
}

std::string BlockText(const std::vector<std::string>& lines, int first, int last) {
  std::string text(static_cast<size_t>(first), '\n');
  for (int i = first; i <= last; ++i) text += lines[static_cast<size_t>(i)] + "\n";
  return text;
}

std::unique_ptr<TBaseObject> ReadTextObject(const std::string& blockText, int line, const TClassInfo* expected,
                                            const std::string& what, const TJobTextContext& ctx) {
  std::string bytes;
  try {
    bytes = ObjectTextToBinary(blockText);
  } catch (const EParserError& e) {
    ctx.FailParser(1, e.Message());
  } catch (const Exception& e) {
    ctx.Fail(line, e.Message());
  }
  std::unique_ptr<TBaseObject> obj;
  try {
    TMemoryStream m(bytes);
    obj = StreamReadObject(m);
  } catch (const Exception& e) {
    ctx.Fail(line, "the object cannot be read: " + e.Message());
  }
  if (!obj || !obj->ClassType()->InheritsFrom(expected))
    ctx.Fail(line, what + " must hold a " + expected->Name + " (or a class derived from it), not a " +
                       (obj ? std::string(obj->ClassName()) : std::string("null object")));
  try {
    TPropertyChecker(blockText, ctx).Run();
  } catch (const EParserError& e) {
    ctx.FailParser(1, e.Message());
  }
  return obj;
}

}  // namespace kv::jobtext
