// Window translation over the Qt object tree: a window and the widgets,
// actions and menus it owns are presented to the core's translation walk
// (environment/LanguageTranslate.h) by their objectName, so the name=value
// tables translate Qt windows as they translate any other.
//
// How Qt objects map onto the walk's kinds:
//   QMainWindow, QDialog (the window itself)        form: window title
//   QPushButton / QToolButton                       push / tool button (a tool
//                                                   button showing an action takes
//                                                   its caption from the action)
//   a page of a QTabWidget                          tab sheet: its tab text
//   QLabel, QGroupBox, QRadioButton, QCheckBox      by their kind
//   TRadioGroup                                     radio group: title and items
//   QAction                                         action: text; hint = status tip
//                                                   and tool tip
//   QMenu                                           menu item: its title
//   QComboBox, QListWidget                          their item texts
//   QTreeWidget with decorated roots                tree view: every node
//   QTreeWidget without (a list with columns)       list view: column captions
//   QTableWidget                                    value list: column captions
//   QMenuBar                                        action menu bar: top-level titles
// Objects without an objectName are left alone.
#pragma once

#include <QWidget>

#include "KVEditorLib_export.h"

class QMenuBar;

namespace kv {

// Translates the window by the language in force (KVLanguage).
KVEDITORLIB_EXPORT void LanguageTanslate(QWidget& window);
// Translates the top-level titles of a menu bar, each looked up by its own text.
KVEDITORLIB_EXPORT void LanguageTansAcMenu(QMenuBar& menuBar);

}  // namespace kv
