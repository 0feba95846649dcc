#include "foundation/Clipboard.h"

#include <atomic>
#include <map>
#include <mutex>

#include "foundation/ObjectStream.h"

namespace kv {

namespace {

constexpr const char* kTextFormat = "text/plain";

class TMemoryClipboard : public IClipboardProvider {
public:
  void SetData(const std::string& format, std::string_view data) override {
    std::lock_guard g(lock_);
    content_.clear();
    content_[format] = std::string(data);
  }
  bool GetData(const std::string& format, std::string& data) override {
    std::lock_guard g(lock_);
    auto it = content_.find(format);
    if (it == content_.end()) return false;
    data = it->second;
    return true;
  }

private:
  std::mutex lock_;
  std::map<std::string, std::string> content_;
};

TMemoryClipboard& MemoryClipboard() {
  static auto* c = new TMemoryClipboard;
  return *c;
}

std::atomic<IClipboardProvider*> g_provider{nullptr};

IClipboardProvider& Provider() {
  IClipboardProvider* p = g_provider.load();
  return p ? *p : MemoryClipboard();
}

}  // namespace

IClipboardProvider::~IClipboardProvider() = default;

void TZrClipBoard::SetObject(const TBaseObject* obj) {
  TMemoryStream m;
  StreamWriteObject(m, obj);
  Provider().SetData(kObjectClipboardFormat, m.Bytes());
}

std::unique_ptr<TBaseObject> TZrClipBoard::GetObject() {
  std::string data;
  if (!Provider().GetData(kObjectClipboardFormat, data)) return nullptr;
  TMemoryStream m(data);
  return StreamReadObject(m);
}

bool TZrClipBoard::HasObject() {
  std::string data;
  return Provider().GetData(kObjectClipboardFormat, data);
}

void TZrClipBoard::SetText(std::string_view text) { Provider().SetData(kTextFormat, text); }

bool TZrClipBoard::GetText(std::string& text) { return Provider().GetData(kTextFormat, text); }

TZrClipBoard& Clipboard() {
  static TZrClipBoard instance;
  return instance;
}

IClipboardProvider* SetClipboardProvider(IClipboardProvider* provider) {
  IClipboardProvider* old = g_provider.exchange(provider);
  return old ? old : &MemoryClipboard();
}

void CopyObjToClipBoard(const TBaseObject* obj) { Clipboard().SetObject(obj); }

std::unique_ptr<TBaseObject> PastObjFromClipBoard() { return Clipboard().GetObject(); }

}  // namespace kv
