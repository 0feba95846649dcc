// Ini files: [section] headers and key=value lines; sections and keys
// compare ignoring case, lines starting with ";" are comments. Every write
// goes to the file at once (atomically). Values may carry a note: the text
// after the first ";" of a value is its note, and the plain readers return
// the value without it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/StringLists.h"

namespace kv {

class KVLIB_EXPORT TIniFile : public TObject {
  KV_CLASS(TIniFile, TObject)
public:
  TIniFile();  // an empty file with no name; writes stay in memory
  explicit TIniFile(const std::string& fileName);
  const std::string& FileName() const { return fileName_; }

  // Raw access (the whole value, note included).
  std::string ReadRaw(std::string_view section, std::string_view ident, std::string_view def) const;
  void WriteString(std::string_view section, std::string_view ident, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view ident, int64_t value);
  void WriteBool(std::string_view section, std::string_view ident, bool value);

  // Value and note.
  void ReadStrNote(std::string_view section, std::string_view ident, std::string& value, std::string& note,
                   std::string_view def) const;
  std::string ReadNote(std::string_view section, std::string_view ident) const;
  int64_t ReadIntNote(std::string_view section, std::string_view ident, std::string& note, int64_t def) const;
  bool ReadBoolNote(std::string_view section, std::string_view ident, std::string& note, bool def) const;
  std::string ReadString(std::string_view section, std::string_view ident, std::string_view def) const;
  int64_t ReadInteger(std::string_view section, std::string_view ident, int64_t def) const;
  bool ReadBool(std::string_view section, std::string_view ident, bool def) const;

  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view ident) const;
  void ReadSection(std::string_view section, TPlainStringList& keys) const;
  void ReadSections(TPlainStringList& sections) const;
  void ReadSectionValues(std::string_view section, TPlainStringList& lines) const;
  void EraseSection(std::string_view section);
  void DeleteKey(std::string_view section, std::string_view ident);
  // Erases the section, then writes key = first "="-separated field and
  // value = second field of each line (quoted text is not split).
  void WriteSection(std::string_view section, const TPlainStringList& lines);
  // The file's text as it would be written.
  std::string Text() const;
  void SetText(std::string_view text);
  void UpdateFile();

private:
  struct Entry {
    std::string key;    // empty for comment and blank lines
    std::string value;  // the raw line for comments
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };
  const Section* FindSection(std::string_view name) const;
  Section& GetSection(std::string_view name);
  const Entry* FindEntry(std::string_view section, std::string_view ident) const;
  void Save();

  std::string fileName_;
  std::vector<Entry> header_;  // lines before the first section
  std::vector<Section> sections_;
};

// The module's ini file (its file name with the extension "INI").
KVLIB_EXPORT std::unique_ptr<TIniFile> OpenIniFile(const void* moduleAddress);
// The program's own ini file.
KVLIB_EXPORT std::unique_ptr<TIniFile> OpenMainIniFile();
// The value of `ident` in the section "系统配置" of the program's ini file.
KVLIB_EXPORT std::string ReadConfigValue(std::string_view ident, std::string_view def);

}  // namespace kv
