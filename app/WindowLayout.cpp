// The window layout store: QSettings of the organisation "Vandrelworks",
// key "WindowsPosition" (~/.config/Vandrelworks/WindowsPosition.conf). The native format on Linux is a text file, so a
// value comes back as text; "wrong type" means text that is not a whole
// number (for the integers) or not "true"/"false" (for the booleans).
#include "WindowLayout.h"

#include <QSettings>
#include <QVariant>

namespace kv {
namespace {

constexpr const char* kOrganisation = "Vandrelworks";
constexpr const char* kKey = "WindowsPosition";

std::optional<int> IntValue(const QVariant& value) {
  if (!value.isValid()) return std::nullopt;
  if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::LongLong) return value.toInt();
  if (value.typeId() != QMetaType::QString) return std::nullopt;
  bool ok = false;
  const int number = value.toString().trimmed().toInt(&ok);
  if (!ok) return std::nullopt;
  return number;
}

std::optional<bool> BoolValue(const QVariant& value) {
  if (!value.isValid()) return std::nullopt;
  if (value.typeId() == QMetaType::Bool) return value.toBool();
  if (value.typeId() != QMetaType::QString) return std::nullopt;
  const QString text = value.toString().trimmed().toLower();
  if (text == "true") return true;
  if (text == "false") return false;
  return std::nullopt;
}

// Reads the integer `key` into `target`; false when it is missing or no integer.
bool ReadInt(QSettings& settings, const char* key, std::optional<int>& target) {
  target = IntValue(settings.value(key));
  return target.has_value();
}

void WriteInt(QSettings& settings, const char* key, const std::optional<int>& value) {
  if (value) settings.setValue(key, *value);
}

}  // namespace

TWindowLayout ReadWindowLayout() {
  QSettings store(kOrganisation, kKey);
  QSettings& settings = store;
  TWindowLayout layout;
  const std::pair<const char*, std::optional<int>*> integers[] = {
      {"Language", &layout.Language}, {"JobProWidth", &layout.JobProWidth}, {"DBLinkHeight", &layout.DBLinkHeight},
      {"DBLinkInfo", &layout.DBLinkInfo}, {"Left", &layout.Left}, {"Top", &layout.Top},
      {"Height", &layout.Height}, {"Width", &layout.Width}};
  for (const auto& [key, target] : integers)
    if (!ReadInt(settings, key, *target)) return layout;
  layout.Maximize = BoolValue(settings.value("Maximize"));
  return layout;
}

bool WriteWindowLayout(const TWindowLayout& layout) {
  QSettings store(kOrganisation, kKey);
  QSettings& settings = store;
  if (!settings.isWritable()) return false;
  WriteInt(settings, "Left", layout.Left);
  WriteInt(settings, "Top", layout.Top);
  WriteInt(settings, "Height", layout.Height);
  WriteInt(settings, "Width", layout.Width);
  if (layout.Maximize) settings.setValue("Maximize", *layout.Maximize);
  WriteInt(settings, "JobProWidth", layout.JobProWidth);
  WriteInt(settings, "DBLinkHeight", layout.DBLinkHeight);
  WriteInt(settings, "DBLinkInfo", layout.DBLinkInfo);
  WriteInt(settings, "Language", layout.Language);
  settings.sync();
  return settings.status() == QSettings::NoError;
}

int ReadTipIndex() {
  QSettings store(kOrganisation, kKey);
  return IntValue(store.value("TipIndex")).value_or(0);
}

void WriteTipIndex(int index) {
  QSettings store(kOrganisation, kKey);
  store.setValue("TipIndex", index);
  store.sync();
}

}  // namespace kv
