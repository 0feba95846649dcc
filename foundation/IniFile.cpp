#include "foundation/IniFile.h"

#include <sys/stat.h>

#include <charconv>
#include <memory>

#include "foundation/Exceptions.h"
#include "foundation/FileUtils.h"
#include "foundation/StrUtils.h"
#include "foundation/Streams.h"

namespace kv {

KV_IMPLEMENT_CLASS(TIniFile, TObject)

namespace {

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

TIniFile::TIniFile() = default;

TIniFile::TIniFile(const std::string& fileName) : fileName_(fileName) {
  struct stat st {};
  if (::stat(fileName.c_str(), &st) != 0) return;
  TMemoryStream m;
  m.LoadFromFile(fileName);
  SetText(std::string_view(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size())));
}

void TIniFile::SetText(std::string_view text) {
  header_.clear();
  sections_.clear();
  TPlainStringList lines;
  lines.SetText(text);
  for (int i = 0; i < lines.Count(); ++i) {
    std::string_view line = TrimBlanks(lines.Strings(i));
    std::vector<Entry>& target = sections_.empty() ? header_ : sections_.back().entries;
    if (line.size() >= 2 && line.front() == '[' && line.find(']') != std::string_view::npos) {
      sections_.push_back(Section{std::string(TrimBlanks(line.substr(1, line.find(']') - 1))), {}});
    } else if (line.empty() || line.front() == ';' || line.find('=') == std::string_view::npos) {
      target.push_back(Entry{"", std::string(line)});
    } else {
      size_t eq = line.find('=');
      target.push_back(
          Entry{std::string(TrimBlanks(line.substr(0, eq))), std::string(TrimBlanks(line.substr(eq + 1)))});
    }
  }
}

std::string TIniFile::Text() const {
  std::string out;
  auto put = [&out](const std::vector<Entry>& entries) {
    for (const Entry& e : entries) out += (e.key.empty() ? e.value : e.key + "=" + e.value) + "\n";
  };
  put(header_);
  for (const Section& s : sections_) {
    out += "[" + s.name + "]\n";
    put(s.entries);
  }
  return out;
}

const TIniFile::Section* TIniFile::FindSection(std::string_view name) const {
  for (const Section& s : sections_)
    if (SameTextAscii(s.name, name)) return &s;
  return nullptr;
}

TIniFile::Section& TIniFile::GetSection(std::string_view name) {
  if (const Section* s = FindSection(name)) return const_cast<Section&>(*s);
  sections_.push_back(Section{std::string(name), {}});
  return sections_.back();
}

const TIniFile::Entry* TIniFile::FindEntry(std::string_view section, std::string_view ident) const {
  const Section* s = FindSection(section);
  if (!s) return nullptr;
  for (const Entry& e : s->entries)
    if (!e.key.empty() && SameTextAscii(e.key, ident)) return &e;
  return nullptr;
}

void TIniFile::Save() {
  if (!fileName_.empty()) AtomicWriteFile(fileName_, Text());
}

void TIniFile::UpdateFile() { Save(); }

std::string TIniFile::ReadRaw(std::string_view section, std::string_view ident, std::string_view def) const {
  const Entry* e = FindEntry(section, ident);
  return e ? e->value : std::string(def);
}

void TIniFile::WriteString(std::string_view section, std::string_view ident, std::string_view value) {
  Section& s = GetSection(section);
  for (Entry& e : s.entries)
    if (!e.key.empty() && SameTextAscii(e.key, ident)) {
      e.value = std::string(value);
      Save();
      return;
    }
  // New keys go after the last key of the section, ahead of trailing blank lines.
  size_t at = s.entries.size();
  while (at > 0 && s.entries[at - 1].key.empty() && s.entries[at - 1].value.empty()) --at;
  s.entries.insert(s.entries.begin() + static_cast<std::ptrdiff_t>(at), Entry{std::string(ident), std::string(value)});
  Save();
}

void TIniFile::WriteInteger(std::string_view section, std::string_view ident, int64_t value) {
  WriteString(section, ident, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view ident, bool value) {
  WriteString(section, ident, value ? "1" : "0");
}

void TIniFile::ReadStrNote(std::string_view section, std::string_view ident, std::string& value, std::string& note,
                           std::string_view def) const {
  std::string raw = ReadRaw(section, ident, def);
  size_t semi = raw.find(';');
  if (semi == std::string::npos) {
    value = raw;
    note.clear();
  } else {
    value = raw.substr(0, semi);
    note = raw.substr(semi + 1);
  }
}

std::string TIniFile::ReadNote(std::string_view section, std::string_view ident) const {
  std::string value, note;
  ReadStrNote(section, ident, value, note, "");
  return note;
}

int64_t TIniFile::ReadIntNote(std::string_view section, std::string_view ident, std::string& note, int64_t def) const {
  std::string value;
  ReadStrNote(section, ident, value, note, "");
  std::string_view v = TrimBlanks(value);
  int64_t result = 0;
  std::from_chars_result r;
  if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) {
    uint64_t u = 0;
    r = std::from_chars(v.data() + 2, v.data() + v.size(), u, 16);
    result = static_cast<int64_t>(u);
  } else {
    const char* b = v.data();
    if (!v.empty() && v[0] == '+') ++b;
    r = std::from_chars(b, v.data() + v.size(), result);
  }
  if (v.empty() || r.ec != std::errc() || r.ptr != v.data() + v.size()) return def;
  return result;
}

bool TIniFile::ReadBoolNote(std::string_view section, std::string_view ident, std::string& note, bool def) const {
  return ReadIntNote(section, ident, note, def ? 1 : 0) != 0;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view ident, std::string_view def) const {
  std::string value, note;
  ReadStrNote(section, ident, value, note, def);
  return value;
}

int64_t TIniFile::ReadInteger(std::string_view section, std::string_view ident, int64_t def) const {
  std::string note;
  return ReadIntNote(section, ident, note, def);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view ident, bool def) const {
  std::string note;
  return ReadBoolNote(section, ident, note, def);
}

bool TIniFile::SectionExists(std::string_view section) const { return FindSection(section) != nullptr; }

bool TIniFile::ValueExists(std::string_view section, std::string_view ident) const {
  return FindEntry(section, ident) != nullptr;
}

void TIniFile::ReadSection(std::string_view section, TPlainStringList& keys) const {
  keys.Clear();
  if (const Section* s = FindSection(section))
    for (const Entry& e : s->entries)
      if (!e.key.empty()) keys.Add(e.key);
}

void TIniFile::ReadSections(TPlainStringList& sections) const {
  sections.Clear();
  for (const Section& s : sections_) sections.Add(s.name);
}

void TIniFile::ReadSectionValues(std::string_view section, TPlainStringList& lines) const {
  lines.Clear();
  if (const Section* s = FindSection(section))
    for (const Entry& e : s->entries)
      if (!e.key.empty()) lines.Add(e.key + "=" + e.value);
}

void TIniFile::EraseSection(std::string_view section) {
  for (size_t i = 0; i < sections_.size(); ++i)
    if (SameTextAscii(sections_[i].name, section)) {
      sections_.erase(sections_.begin() + static_cast<std::ptrdiff_t>(i));
      Save();
      return;
    }
}

void TIniFile::DeleteKey(std::string_view section, std::string_view ident) {
  const Section* cs = FindSection(section);
  if (!cs) return;
  auto& entries = const_cast<Section*>(cs)->entries;
  for (size_t i = 0; i < entries.size(); ++i)
    if (!entries[i].key.empty() && SameTextAscii(entries[i].key, ident)) {
      entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
      Save();
      return;
    }
}

void TIniFile::WriteSection(std::string_view section, const TPlainStringList& lines) {
  std::string saved = fileName_;
  fileName_.clear();  // one write at the end, not one per line
  try {
    EraseSection(section);
    GetSection(section);
    for (int i = 0; i < lines.Count(); ++i) {
      const std::string& line = lines.Strings(i);
      std::string key = SParam(line, '=', 0);
      std::string value = SParamCount(line, '=') > 1 ? SParam(line, '=', 1) : std::string();
      WriteString(section, std::string(TrimBlanks(key)), std::string(TrimBlanks(value)));
    }
  } catch (...) {
    fileName_ = saved;
    throw;
  }
  fileName_ = saved;
  Save();
}

std::unique_ptr<TIniFile> OpenIniFile(const void* moduleAddress) {
  return std::make_unique<TIniFile>(GetAttachedFile(moduleAddress, "INI"));
}

std::unique_ptr<TIniFile> OpenMainIniFile() { return std::make_unique<TIniFile>(GetMainAttachedFile("INI")); }

std::string ReadConfigValue(std::string_view ident, std::string_view def) {
  std::unique_ptr<TIniFile> ini = OpenMainIniFile();
  return ini->ReadString("系统配置", ident, def);
}

}  // namespace kv
