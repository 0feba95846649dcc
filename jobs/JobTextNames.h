// What the writer and the reader of job texts share (jobs/JobText*.cpp
// only): the words of the diagram settings, their defaults and the quoting
// of texts.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "flowchart/FlowChart.h"

namespace kv::jobtext {

inline constexpr const char* kHeader = "jobtext";
inline constexpr int kVersion = 1;

// Enumeration words, indexed by the stored value.
inline constexpr std::array<const char*, kFcShapeTypeCount> kShapeTypes{
    "none", "rectangle", "ellipse", "roundrect", "diamond", "northtriangle",
    "southtriangle", "easttriangle", "westtriangle", "hexagon", "user"};
inline constexpr std::array<const char*, kDataSetObjTypeCount> kKinds{"text", "query", "odbc", "filedb", "oracle"};
inline constexpr std::array<const char*, 3> kHorzPos{"left", "center", "right"};
inline constexpr std::array<const char*, 3> kVertPos{"top", "center", "bottom"};
inline constexpr std::array<const char*, kFclStyleCount> kStyles{"straight", "curved", "recth", "rectv"};
inline constexpr std::array<const char*, kFcaTypeCount> kArrowTypes{"none", "arrow", "ellipse", "rectangle"};

// Linked points a connection attaches at unless told otherwise: the middle
// of the source's right side and of the destination's left side.
inline constexpr uint8_t kDefaultPointSource = 6;
inline constexpr uint8_t kDefaultPointDest = 14;

// Shapes laid out by the reader when the text has no bounds.
inline constexpr int32_t kLayoutMargin = 40;
inline constexpr uint16_t kLayoutWidth = 120;
inline constexpr uint16_t kLayoutHeight = 60;
inline constexpr int32_t kLayoutColumnStep = 220;
inline constexpr int32_t kLayoutRowStep = 100;

// A text in the object-text string form: printable bytes (UTF-8 included)
// in quotes with ' doubled, control bytes as #n. Never spans lines.
std::string QuoteText(std::string_view text);

// The kind a shape of `dataSet`'s class gets (what CreateObject would make;
// a plain table dataset as an older file's is converted).
TDataSetObjType KindOfDataSet(const TKVCustomDataSet& dataSet);

// Whether a property name holds "password" in any letter case.
bool IsPasswordProperty(std::string_view name);

}  // namespace kv::jobtext
