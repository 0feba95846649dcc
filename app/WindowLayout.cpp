#include "app/WindowLayout.h"

#include <QSettings>

namespace kv {

namespace {

// The value stored under `key` when it is there and converts exactly.
template <class T>
std::optional<T> Read(const QSettings& store, const char* key) {
  if (!store.contains(key)) return std::nullopt;
  const QVariant value = store.value(key);
  if constexpr (std::is_same_v<T, bool>) {
    const QString text = value.toString().toLower();
    if (value.typeId() == QMetaType::Bool || text == "true" || text == "false") return value.toBool();
    return std::nullopt;
  } else {
    bool ok = false;
    const int number = value.toInt(&ok);
    return ok ? std::optional<int>(number) : std::nullopt;
  }
}

}  // namespace

TWindowLayout ReadWindowLayout() {
  QSettings store("Vandrelworks", "WindowsPosition");
  TWindowLayout layout;
  std::optional<int>* ints[] = {&layout.Language, &layout.JobProWidth, &layout.DBLinkHeight, &layout.DBLinkInfo,
                                &layout.Left,     &layout.Top,         &layout.Height,       &layout.Width};
  const char* names[] = {"Language", "JobProWidth", "DBLinkHeight", "DBLinkInfo", "Left", "Top", "Height", "Width"};
  for (int i = 0; i < 8; ++i) {
    *ints[i] = Read<int>(store, names[i]);
    if (!*ints[i]) return layout;
  }
  layout.Maximize = Read<bool>(store, "Maximize");
  return layout;
}

bool WriteWindowLayout(const TWindowLayout& layout) {
  QSettings store("Vandrelworks", "WindowsPosition");
  auto put = [&store](const char* key, const auto& value) {
    if (value) store.setValue(key, *value);
  };
  put("Left", layout.Left);
  put("Top", layout.Top);
  put("Height", layout.Height);
  put("Width", layout.Width);
  put("Maximize", layout.Maximize);
  put("JobProWidth", layout.JobProWidth);
  put("DBLinkHeight", layout.DBLinkHeight);
  put("DBLinkInfo", layout.DBLinkInfo);
  put("Language", layout.Language);
  store.sync();
  return store.status() == QSettings::NoError;
}

int ReadTipIndex() {
  QSettings store("Vandrelworks", "WindowsPosition");
  return Read<int>(store, "TipIndex").value_or(0);
}

void WriteTipIndex(int index) {
  QSettings store("Vandrelworks", "WindowsPosition");
  store.setValue("TipIndex", index);
}

}  // namespace kv
