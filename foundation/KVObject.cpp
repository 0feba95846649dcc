#include "foundation/KVObject.h"

#include <algorithm>
#include <mutex>

#include "foundation/Exceptions.h"

namespace kv {

bool SameTextAscii(std::string_view a, std::string_view b) noexcept {
  return a.size() == b.size() && CompareTextAscii(a, b) == 0;
}

int CompareTextAscii(std::string_view a, std::string_view b) noexcept {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x -= 32;
    if (y >= 'a' && y <= 'z') y -= 32;
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

namespace {

struct Registry {
  std::mutex lock;
  std::vector<const TClassInfo*> classes;
};

Registry& TheRegistry() {
  static Registry* r = new Registry;  // outlives every library's unload
  return *r;
}

}  // namespace

bool TClassInfo::InheritsFrom(const TClassInfo* other) const noexcept {
  for (const TClassInfo* c = this; c; c = c->Parent)
    if (c == other) return true;
  return false;
}

TObject::~TObject() = default;

const TClassInfo* TObject::StaticClass() {
  static const TClassInfo info{"TObject", nullptr, nullptr};
  return &info;
}
const TClassInfo* TObject::ClassType() const { return StaticClass(); }

void RegisterClass(const TClassInfo* cls) {
  Registry& r = TheRegistry();
  std::lock_guard g(r.lock);
  if (std::find(r.classes.begin(), r.classes.end(), cls) == r.classes.end()) r.classes.push_back(cls);
}

void UnRegisterClass(const TClassInfo* cls) {
  Registry& r = TheRegistry();
  std::lock_guard g(r.lock);
  r.classes.erase(std::remove(r.classes.begin(), r.classes.end(), cls), r.classes.end());
}

const TClassInfo* FindClass(std::string_view name) {
  Registry& r = TheRegistry();
  std::lock_guard g(r.lock);
  for (const TClassInfo* c : r.classes)
    if (SameTextAscii(c->Name, name)) return c;
  return nullptr;
}

std::vector<const TClassInfo*> GetClassList() {
  Registry& r = TheRegistry();
  std::lock_guard g(r.lock);
  return r.classes;
}

TClassRegistrar::TClassRegistrar(std::initializer_list<const TClassInfo*> classes) : classes_(classes) {
  for (const TClassInfo* c : classes_) RegisterClass(c);
}

TClassRegistrar::~TClassRegistrar() {
  for (const TClassInfo* c : classes_) UnRegisterClass(c);
}

TObjSlot::~TObjSlot() { delete ptr_; }

void TObjSlot::Reset(TObject* obj) noexcept {
  if (obj == ptr_) return;
  TObject* old = ptr_;
  ptr_ = obj;
  delete old;
}

}  // namespace kv
