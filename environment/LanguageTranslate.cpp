#include "environment/LanguageTranslate.h"

#include <cstddef>

namespace kv {

// The stored texts, generated at build time from translations/*.txt.
extern const unsigned char kvTranslationText_en[];
extern const std::size_t kvTranslationSize_en;
extern const unsigned char kvTranslationText_zh[];
extern const std::size_t kvTranslationSize_zh;

TStringList* KVEnglishLanguage = nullptr;
TStringList* KVChineseSimpLanguage = nullptr;
TStringList* KVLanguage = nullptr;

namespace {

// Frees the tables when the library unloads.
struct TTablesOwner {
  ~TTablesOwner() {
    KVLanguage = nullptr;
    delete KVEnglishLanguage;
    KVEnglishLanguage = nullptr;
    delete KVChineseSimpLanguage;
    KVChineseSimpLanguage = nullptr;
  }
};
TTablesOwner tablesOwner;

void TranslateCaption(ITranslatableComponent& c) { c.SetCaption(Translate(c.Name(), c.Caption())); }

void TranslateHintOf(ITranslatableComponent& c) { c.SetHint(TranslateHint(c.Name())); }

void TranslateItems(ITranslatableComponent& c) {
  const int n = c.ItemCount();
  for (int i = 0; i < n; ++i) {
    const std::string text = c.Item(i);
    const std::string translated = Translate(text, text);
    if (translated != text) c.SetItem(i, translated);
  }
}

}  // namespace

ITranslatableComponent::~ITranslatableComponent() = default;

std::string_view WindowTranslationText(TLanguageType language) {
  if (language == ltSimpleChinese)
    return {reinterpret_cast<const char*>(kvTranslationText_zh), kvTranslationSize_zh};
  return {reinterpret_cast<const char*>(kvTranslationText_en), kvTranslationSize_en};
}

void SetWindowTranslationLanguage(TLanguageType language) {
  TStringList*& table = language == ltSimpleChinese ? KVChineseSimpLanguage : KVEnglishLanguage;
  if (!table) table = new TStringList();
  table->SetText(WindowTranslationText(language));  // clears first
  KVLanguage = table;
}

std::string Translate(std::string_view name, std::string_view defaultText) {
  if (KVLanguage) {
    const int i = KVLanguage->IndexOfName(name);
    if (i >= 0) {
      std::string value = KVLanguage->ValueFromIndex(i);
      if (!value.empty()) return value;
    }
  }
  return std::string(defaultText);
}

std::string TranslateHint(std::string_view componentName) {
  std::string name(componentName);
  name += "_Hint";
  return Translate(name, {});
}

void TranslateComponent(ITranslatableComponent& c) {
  switch (c.Kind()) {
    case TComponentKind::ckPushButton:
    case TComponentKind::ckToolButton:
    case TComponentKind::ckBitmapButton:
    case TComponentKind::ckMenuItem:
      if (!c.HasAction()) TranslateCaption(c);
      TranslateHintOf(c);
      break;
    case TComponentKind::ckTabSheet:
    case TComponentKind::ckLabel:
    case TComponentKind::ckGroupBox:
    case TComponentKind::ckRadioButton:
      TranslateCaption(c);
      break;
    case TComponentKind::ckAction:
    case TComponentKind::ckCheckBox:
      TranslateCaption(c);
      TranslateHintOf(c);
      break;
    case TComponentKind::ckRadioGroup:
      TranslateCaption(c);
      TranslateItems(c);
      break;
    case TComponentKind::ckValueListEditor:
    case TComponentKind::ckComboBox:
    case TComponentKind::ckListBox:
    case TComponentKind::ckTreeView:
    case TComponentKind::ckListView:
      TranslateItems(c);
      break;
    case TComponentKind::ckForm:
    case TComponentKind::ckActionMenuBar:
    case TComponentKind::ckOther:
      break;
  }
}

void LanguageTanslate(ITranslatableComponent& form) {
  TranslateCaption(form);
  const int n = form.ComponentCount();
  for (int i = 0; i < n; ++i)
    if (ITranslatableComponent* c = form.Component(i)) TranslateComponent(*c);
}

void LanguageTansAcMenu(ITranslatableComponent& menuBar) { TranslateItems(menuBar); }

}  // namespace kv
