// The clipboard. The libraries reach it through a provider that the GUI
// installs (the system clipboard); until then an in-process clipboard serves,
// so copy and paste of objects also work headless and in tests.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "KVLib_export.h"

namespace kv {

class TBaseObject;

// The format name under which object streams are placed on the clipboard.
inline constexpr const char* kObjectClipboardFormat = "Zirbeck Object";

class KVLIB_EXPORT IClipboardProvider {
public:
  virtual ~IClipboardProvider();
  // Replaces the whole clipboard content with `data` in `format`
  // ("text/plain" for text).
  virtual void SetData(const std::string& format, std::string_view data) = 0;
  // False when the clipboard holds nothing in `format`.
  virtual bool GetData(const std::string& format, std::string& data) = 0;
};

class KVLIB_EXPORT TZrClipBoard {
public:
  // Puts the object's stream (with signature) on the clipboard.
  void SetObject(const TBaseObject* obj);
  // The object on the clipboard, or null when there is none.
  std::unique_ptr<TBaseObject> GetObject();
  void SetText(std::string_view text);
  bool GetText(std::string& text);
  bool HasObject();
};

// The process-wide clipboard.
KVLIB_EXPORT TZrClipBoard& Clipboard();
// Installs the provider (null restores the in-process clipboard); returns the previous one.
KVLIB_EXPORT IClipboardProvider* SetClipboardProvider(IClipboardProvider* provider);

KVLIB_EXPORT void CopyObjToClipBoard(const TBaseObject* obj);
KVLIB_EXPORT std::unique_ptr<TBaseObject> PastObjFromClipBoard();

}  // namespace kv
