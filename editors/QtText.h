// Text between the libraries (UTF-8 std::string) and Qt (QString).
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace kv {

inline QString QStr(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
inline std::string StdStr(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace kv
