#include "foundation/StringLists.h"

#include <algorithm>

#include "foundation/Exceptions.h"
#include "foundation/Streams.h"

namespace kv {

KV_IMPLEMENT_CLASS(TList, TObject)
KV_IMPLEMENT_CLASS(TStack, TList)
KV_IMPLEMENT_CLASS(TStackLink, TList)
KV_IMPLEMENT_CLASS(TPlainStringList, TObject)
KV_IMPLEMENT_CLASS(TStringList, TPlainStringList)

namespace {

[[noreturn]] void ListIndexError(int index) {
  throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

}  // namespace

// ---- TList --------------------------------------------------------------------

TList::~TList() { Clear(); }

void TList::CheckIndex(int index, int limit) const {
  if (index < 0 || index >= limit) ListIndexError(index);
}

TObject* TList::Items(int index) const {
  CheckIndex(index, Count());
  return items_[static_cast<size_t>(index)];
}

void TList::Put(int index, TObject* item) {
  CheckIndex(index, Count());
  TObject*& slot = items_[static_cast<size_t>(index)];
  if (slot == item) return;
  TObject* old = slot;
  slot = item;
  if (OwnsObjects) delete old;
}

int TList::Add(TObject* item) {
  items_.push_back(item);
  return Count() - 1;
}

int TList::AddOwned(std::unique_ptr<TObject> item) {
  if (item && !OwnsObjects) throw EListError("The list does not own its items");
  const int index = Add(item.get());
  item.release();  // added: the list frees it
  return index;
}

void TList::Insert(int index, TObject* item) {
  CheckIndex(index, Count() + 1);
  items_.insert(items_.begin() + index, item);
}

void TList::Delete(int index) {
  TObject* old = Extract(index);
  if (OwnsObjects) delete old;
}

TObject* TList::Extract(int index) {
  CheckIndex(index, Count());
  TObject* old = items_[static_cast<size_t>(index)];
  items_.erase(items_.begin() + index);
  return old;
}

int TList::IndexOf(const TObject* item) const {
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

int TList::Remove(TObject* item) {
  int i = IndexOf(item);
  if (i >= 0) Delete(i);
  return i;
}

void TList::Exchange(int a, int b) {
  CheckIndex(a, Count());
  CheckIndex(b, Count());
  std::swap(items_[static_cast<size_t>(a)], items_[static_cast<size_t>(b)]);
}

void TList::Move(int from, int to) {
  if (from == to) return;
  TObject* item = Extract(from);
  Insert(to, item);
}

void TList::Clear() {
  std::vector<TObject*> old;
  old.swap(items_);
  if (OwnsObjects)
    for (auto it = old.rbegin(); it != old.rend(); ++it) delete *it;
}

// ---- Stacks ---------------------------------------------------------------------
// TStack and TStackLink share these through the pointer list's public operations.

namespace {

TObject* StackPop(TList& s) {
  if (s.Count() == 0) throw EListError(kStackPopFailed);
  return s.Extract(s.Count() - 1);
}

int StackTopIndex(const TList& s) {
  if (s.Count() == 0) throw EListError(kStackIsEmpty);
  return s.Count() - 1;
}

void StackPushMethod(TList& s, const TMethod& m) {
  if (s.OwnsObjects) throw EListError("A stack that owns its items cannot hold a method");
  s.Add(static_cast<TObject*>(m.Code));
  s.Add(static_cast<TObject*>(m.Data));
}

TMethod StackPopMethod(TList& s) {
  // Both entries must be there before either is taken.
  if (s.Count() < 2) throw EListError(kStackPopFailed);
  TMethod m;
  m.Data = static_cast<void*>(s.Extract(s.Count() - 1));
  m.Code = static_cast<void*>(s.Extract(s.Count() - 1));
  return m;
}

}  // namespace

TObject* TStack::Pop() { return StackPop(*this); }
int TStack::GetTopIndex() const { return StackTopIndex(*this); }
TObject* TStack::GetTopObj() const { return Items(GetTopIndex()); }
void TStack::SetTopObj(TObject* item) { Put(GetTopIndex(), item); }
void TStack::PushMethod(const TMethod& method) { StackPushMethod(*this, method); }
TMethod TStack::PopMethod() { return StackPopMethod(*this); }

TObject* TStackLink::Pop() { return StackPop(*this); }
int TStackLink::GetTopIndex() const { return StackTopIndex(*this); }
TObject* TStackLink::GetTopObj() const { return Items(GetTopIndex()); }
void TStackLink::SetTopObj(TObject* item) { Put(GetTopIndex(), item); }
void TStackLink::PushMethod(const TMethod& method) { StackPushMethod(*this, method); }
TMethod TStackLink::PopMethod() { return StackPopMethod(*this); }

// ---- TPlainStringList -------------------------------------------------------------

TPlainStringList::~TPlainStringList() {
  if (ownsObjects_)
    for (auto it = items_.rbegin(); it != items_.rend(); ++it) delete it->obj;
}

void TPlainStringList::CheckIndex(int index, int limit) const {
  if (index < 0 || index >= limit) ListIndexError(index);
}

void TPlainStringList::FreeObject(TObject* obj) {
  if (ownsObjects_) delete obj;
}

void TPlainStringList::Changing() {
  if (updateCount_ == 0 && OnChanging) OnChanging(*this);
}

void TPlainStringList::Changed() {
  if (updateCount_ == 0 && OnChange) OnChange(*this);
}

void TPlainStringList::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) Changed();
}

const std::string& TPlainStringList::Strings(int index) const {
  CheckIndex(index, Count());
  return items_[static_cast<size_t>(index)].s;
}

void TPlainStringList::SetString(int index, const std::string& s) {
  if (sorted_) throw EListError("Operation not allowed on sorted list");
  CheckIndex(index, Count());
  Changing();
  items_[static_cast<size_t>(index)].s = s;
  Changed();
}

TObject* TPlainStringList::Objects(int index) const {
  CheckIndex(index, Count());
  return items_[static_cast<size_t>(index)].obj;
}

void TPlainStringList::SetObject(int index, TObject* obj) {
  CheckIndex(index, Count());
  Item& it = items_[static_cast<size_t>(index)];
  if (it.obj == obj) return;
  Changing();
  TObject* old = it.obj;
  it.obj = obj;
  FreeObject(old);
  Changed();
}

int TPlainStringList::AddObject(const std::string& s, TObject* obj) {
  int index = Count();
  if (sorted_) {
    if (Find(s, index)) {
      if (Duplicates == dupIgnore) return index;
      if (Duplicates == dupError) throw EListError("String list does not allow duplicates");
    }
  }
  Changing();
  items_.insert(items_.begin() + index, Item{s, obj});
  Changed();
  return index;
}

int TPlainStringList::AddOwned(const std::string& s, std::unique_ptr<TObject> obj) {
  if (obj && !ownsObjects_) throw EListError("The list does not own its objects");
  return detail::AddOwnedTo(*this, obj, [&](TObject* p) { return AddObject(s, p); });
}

void TPlainStringList::AddStrings(const TPlainStringList& other) {
  BeginUpdate();
  for (int i = 0; i < other.Count(); ++i) AddObject(other.Strings(i), other.Objects(i));
  EndUpdate();
}

void TPlainStringList::InsertObject(int index, const std::string& s, TObject* obj) {
  if (sorted_) throw EListError("Operation not allowed on sorted list");
  CheckIndex(index, Count() + 1);
  Changing();
  items_.insert(items_.begin() + index, Item{s, obj});
  Changed();
}

void TPlainStringList::Delete(int index) {
  TObject* obj = Extract(index);
  FreeObject(obj);
}

TObject* TPlainStringList::Extract(int index) {
  CheckIndex(index, Count());
  Changing();
  TObject* obj = items_[static_cast<size_t>(index)].obj;
  items_.erase(items_.begin() + index);
  Changed();
  return obj;
}

void TPlainStringList::Clear() {
  if (items_.empty()) return;
  Changing();
  std::vector<Item> old;
  old.swap(items_);
  if (ownsObjects_)
    for (auto it = old.rbegin(); it != old.rend(); ++it) delete it->obj;
  Changed();
}

void TPlainStringList::Exchange(int a, int b) {
  CheckIndex(a, Count());
  CheckIndex(b, Count());
  Changing();
  std::swap(items_[static_cast<size_t>(a)], items_[static_cast<size_t>(b)]);
  Changed();
}

void TPlainStringList::Move(int from, int to) {
  if (from == to) return;
  CheckIndex(from, Count());
  CheckIndex(to, Count());
  Changing();
  Item it = std::move(items_[static_cast<size_t>(from)]);
  items_.erase(items_.begin() + from);
  items_.insert(items_.begin() + to, std::move(it));
  Changed();
}

void TPlainStringList::Assign(const TPlainStringList& source) {
  if (&source == this) return;
  BeginUpdate();
  Clear();
  for (const Item& it : source.items_) items_.push_back(it);
  EndUpdate();
}

bool TPlainStringList::Equals(const TPlainStringList& other) const {
  if (Count() != other.Count()) return false;
  for (int i = 0; i < Count(); ++i)
    if (Strings(i) != other.Strings(i)) return false;
  return true;
}

int TPlainStringList::CompareStrings(std::string_view a, std::string_view b) const {
  if (CaseSensitive) return a.compare(b) < 0 ? -1 : a.compare(b) > 0 ? 1 : 0;
  return CompareTextAscii(a, b);
}

int TPlainStringList::IndexOf(std::string_view s) const {
  if (sorted_) {
    int i;
    return Find(s, i) ? i : -1;
  }
  for (int i = 0; i < Count(); ++i)
    if (CompareStrings(items_[static_cast<size_t>(i)].s, s) == 0) return i;
  return -1;
}

int TPlainStringList::IndexOfObject(const TObject* obj) const {
  for (int i = 0; i < Count(); ++i)
    if (items_[static_cast<size_t>(i)].obj == obj) return i;
  return -1;
}

int TPlainStringList::IndexOfName(std::string_view name) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string& s = items_[static_cast<size_t>(i)].s;
    size_t eq = s.find('=');
    if (eq != std::string::npos && CompareStrings(std::string_view(s).substr(0, eq), name) == 0) return i;
  }
  return -1;
}

bool TPlainStringList::Find(std::string_view s, int& index) const {
  int lo = 0, hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    int c = CompareStrings(items_[static_cast<size_t>(mid)].s, s);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        if (Duplicates != dupAccept) lo = mid;
      }
    }
  }
  index = lo;
  return found;
}

void TPlainStringList::Sort() {
  CustomSort([](const TPlainStringList& l, int a, int b) { return l.CompareStrings(l.Strings(a), l.Strings(b)); });
}

void TPlainStringList::CustomSort(const std::function<int(const TPlainStringList&, int, int)>& compare) {
  if (Count() < 2) return;
  Changing();
  // Sort a permutation, comparing through the caller's index-based function.
  std::vector<int> order(static_cast<size_t>(Count()));
  for (int i = 0; i < Count(); ++i) order[static_cast<size_t>(i)] = i;
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return compare(*this, a, b) < 0; });
  std::vector<Item> sorted;
  sorted.reserve(items_.size());
  for (int i : order) sorted.push_back(std::move(items_[static_cast<size_t>(i)]));
  items_.swap(sorted);
  Changed();
}

void TPlainStringList::SetSorted(bool value) {
  if (value == sorted_) return;
  if (value) Sort();
  sorted_ = value;
}

std::string TPlainStringList::Names(int index) const {
  const std::string& s = Strings(index);
  size_t eq = s.find('=');
  return eq == std::string::npos ? std::string() : s.substr(0, eq);
}

std::string TPlainStringList::ValueFromIndex(int index) const {
  const std::string& s = Strings(index);
  size_t eq = s.find('=');
  return eq == std::string::npos ? std::string() : s.substr(eq + 1);
}

std::string TPlainStringList::Values(std::string_view name) const {
  int i = IndexOfName(name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TPlainStringList::SetValue(std::string_view name, const std::string& value) {
  int i = IndexOfName(name);
  std::string line = std::string(name) + "=" + value;
  if (value.empty()) {
    if (i >= 0) Delete(i);
  } else if (i < 0) {
    Add(line);
  } else {
    SetString(i, line);
  }
}

std::string TPlainStringList::Text() const {
  std::string r;
  for (const Item& it : items_) {
    r += it.s;
    r += LineBreak;
  }
  return r;
}

void TPlainStringList::SetText(std::string_view text) {
  BeginUpdate();
  Clear();
  size_t i = 0, n = text.size();
  while (i < n) {
    size_t start = i;
    while (i < n && text[i] != '\r' && text[i] != '\n') ++i;
    Add(std::string(text.substr(start, i - start)));
    if (i < n && text[i] == '\r') ++i;
    if (i < n && text[i] == '\n') ++i;
  }
  EndUpdate();
}

std::string TPlainStringList::CommaText() const {
  std::string r;
  for (int i = 0; i < Count(); ++i) {
    if (i) r += ',';
    const std::string& s = Strings(i);
    bool quote = s.empty() || s.find_first_of(" ,\"\t\r\n") != std::string::npos;
    if (!quote) {
      r += s;
      continue;
    }
    r += '"';
    for (char c : s) {
      if (c == '"') r += '"';
      r += c;
    }
    r += '"';
  }
  return r;
}

void TPlainStringList::SetCommaText(std::string_view text) {
  BeginUpdate();
  Clear();
  size_t i = 0, n = text.size();
  auto skipBlanks = [&] {
    while (i < n && static_cast<unsigned char>(text[i]) <= ' ') ++i;
  };
  skipBlanks();
  while (i < n) {
    std::string item;
    if (text[i] == '"') {
      ++i;
      while (i < n) {
        if (text[i] == '"') {
          if (i + 1 < n && text[i + 1] == '"') {
            item += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += text[i++];
      }
    } else {
      while (i < n && text[i] != ',' && static_cast<unsigned char>(text[i]) > ' ') item += text[i++];
    }
    Add(item);
    skipBlanks();
    if (i < n && text[i] == ',') {
      ++i;
      skipBlanks();
      if (i >= n) Add("");
    }
  }
  EndUpdate();
}

void TPlainStringList::LoadFromFile(const std::string& fileName) {
  TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(f);
}

void TPlainStringList::SaveToFile(const std::string& fileName) const {
  TFileStream f(fileName, fmCreate);
  SaveToStream(f);
}

void TPlainStringList::LoadFromStream(TStream& stream) {
  int64_t size = stream.Size() - stream.Position();
  std::string text(static_cast<size_t>(std::max<int64_t>(size, 0)), '\0');
  stream.ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
  SetText(text);
}

void TPlainStringList::SaveToStream(TStream& stream) const { stream.WriteString(Text()); }

// ---- TStringList --------------------------------------------------------------

TStringList::TStringList() { ownsObjects_ = true; }

TStringList::~TStringList() = default;

std::string TStringList::GetValueByIndex(int index) const {
  if (index < 0 || index >= Count()) return {};
  return ValueFromIndex(index);
}

void TStringList::InsertStrings(int index, const TPlainStringList& lines) {
  for (int i = 0; i < lines.Count(); ++i) Insert(index + i, lines.Strings(i));
}

}  // namespace kv
