// The main window's stored layout and the user's language and tip choices,
// kept in QSettings (organisation "Vandrelworks", key "WindowsPosition") as
// integers and booleans.
#pragma once

#include <optional>

namespace kv {

struct TWindowLayout {
  std::optional<int> Language;      // 0 English, 1 Simplified Chinese
  std::optional<int> JobProWidth;   // width of the job status tree
  std::optional<int> DBLinkHeight;  // height of the DB link list panel
  std::optional<int> DBLinkInfo;    // height of the DB link information panel
  std::optional<int> Left, Top, Height, Width;
  std::optional<bool> Maximize;
};

// Reads the values in the order Language, JobProWidth, DBLinkHeight,
// DBLinkInfo, Left, Top, Height, Width, Maximize; the first value that is
// missing or of the wrong type ends the reading, the ones after it stay
// unset. No stored key gives an all-unset layout.
TWindowLayout ReadWindowLayout();
// Writes every set value; false when the store cannot be written.
bool WriteWindowLayout(const TWindowLayout& layout);

// The index of the tip shown last (0 when missing or unreadable), and writing it.
int ReadTipIndex();
void WriteTipIndex(int index);

}  // namespace kv
