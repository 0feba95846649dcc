// Window translation: per-language tables of name=value lines that give the
// captions and hints of windows, actions, menus and controls, looked up by
// component name (a hint by the component name followed by "_Hint", a list
// item by its own text). The tables are data (translations/en.txt and
// translations/zh.txt) built into the library.
//
// The toolkit-free part lives here: the lookup, and the walk over a window's
// components by kind. A user-interface toolkit takes part by presenting its
// windows as ITranslatableComponent trees.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "KVCore_export.h"
#include "environment/CoreMessages.h"
#include "foundation/StringLists.h"

namespace kv {

// ---- Tables --------------------------------------------------------------------
// The two tables, each created on first use by KVSetEnglish / KVSetChineseSimp
// and freed when the library unloads; KVLanguage is the one in force.
extern KVCORE_EXPORT TStringList* KVEnglishLanguage;
extern KVCORE_EXPORT TStringList* KVChineseSimpLanguage;
extern KVCORE_EXPORT TStringList* KVLanguage;

// The stored text of a language's table: name=value lines.
KVCORE_EXPORT std::string_view WindowTranslationText(TLanguageType language);
// Creates the language's table when missing, refills it from its stored text
// (lines end with CR, LF or CR LF) and makes it KVLanguage.
KVCORE_EXPORT void SetWindowTranslationLanguage(TLanguageType language);

// ---- Lookup --------------------------------------------------------------------
// The value of the first line of KVLanguage named `name` (letter case does not
// matter); `defaultText` when there is no such line or its value is empty.
KVCORE_EXPORT std::string Translate(std::string_view name, std::string_view defaultText);
// The hint of a component: the value of "<componentName>_Hint", else empty.
KVCORE_EXPORT std::string TranslateHint(std::string_view componentName);

// ---- Windows ------------------------------------------------------------------
enum class TComponentKind : uint8_t {
  ckForm,
  ckPushButton,
  ckToolButton,
  ckBitmapButton,
  ckTabSheet,
  ckLabel,
  ckGroupBox,
  ckRadioButton,
  ckAction,
  ckCheckBox,
  ckMenuItem,
  ckRadioGroup,
  ckValueListEditor,
  ckComboBox,
  ckListBox,
  ckTreeView,
  ckListView,
  ckActionMenuBar,
  ckOther,  // anything not translated
};

// A window, or a component of one, as the translation walk sees it. What the
// "items" are depends on the kind:
//   radio group                     its buttons' captions
//   value list editor               its lines
//   combo box, list box             its items
//   tree view                       every node, in any fixed order
//   list view                       its column captions
//   action menu bar                 its top-level items' captions
// A form's components are those it owns, in creation order.
class KVCORE_EXPORT ITranslatableComponent {
public:
  virtual ~ITranslatableComponent();

  virtual TComponentKind Kind() const = 0;
  virtual std::string Name() const = 0;

  virtual std::string Caption() const { return {}; }
  virtual void SetCaption(const std::string& /*caption*/) {}
  virtual std::string Hint() const { return {}; }
  virtual void SetHint(const std::string& /*hint*/) {}
  // Buttons and menu items whose caption comes from an action.
  virtual bool HasAction() const { return false; }

  virtual int ItemCount() const { return 0; }
  virtual std::string Item(int /*index*/) const { return {}; }
  virtual void SetItem(int /*index*/, const std::string& /*text*/) {}

  virtual int ComponentCount() const { return 0; }
  virtual ITranslatableComponent* Component(int /*index*/) { return nullptr; }
};

// Translates one component by the rules of its kind (see LanguageTanslate).
KVCORE_EXPORT void TranslateComponent(ITranslatableComponent& component);
// Translates a window: its caption from its name, then every component it owns:
//   push, tool and bitmap buttons, menu items: caption from the name unless an
//       action supplies it; hint from name + "_Hint"
//   tab sheets, labels, group boxes, radio buttons: caption from the name
//   actions, check boxes: caption from the name; hint from name + "_Hint"
//   radio groups: caption from the name; every item by its own text
//   value list editors, combo boxes, list boxes, tree views, list views:
//       every item by its own text
// A caption or item missing from the table stays as it is; a missing hint
// becomes empty.
KVCORE_EXPORT void LanguageTanslate(ITranslatableComponent& form);
// Translates the captions of the top-level items of an action menu bar, each
// looked up by its own caption.
KVCORE_EXPORT void LanguageTansAcMenu(ITranslatableComponent& menuBar);

}  // namespace kv
