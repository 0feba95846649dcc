#include "foundation/BaseObject.h"

#include <cstring>

#include "foundation/Clipboard.h"
#include "foundation/Exceptions.h"
#include "foundation/ObjectStream.h"

namespace kv {

KV_IMPLEMENT_CLASS(TBaseObject, TObject)
KV_IMPLEMENT_CLASS(TStoredStrList, TBaseObject)
KV_IMPLEMENT_CLASS(TListContainer, TBaseObject)

namespace {
const TClassRegistrar g_registrar{TListContainer::StaticClass(), TStoredStrList::StaticClass()};
}

void ClassesRegister() {
  RegisterClass(TListContainer::StaticClass());
  RegisterClass(TStoredStrList::StaticClass());
}

void ClassesUnRegister() {
  UnRegisterClass(TListContainer::StaticClass());
  UnRegisterClass(TStoredStrList::StaticClass());
}

const char* PropTypeName(TPropType type) {
  static const char* names[kPropTypeCount] = {
      "ptUnknown",  "ptComponent", "ptColllection", "ptObject",   "ptObjects",  "ptString",   "ptPString_", "ptStrings",
      "ptPChar",    "ptEnum",      "ptInteger",     "ptShortint", "ptSmallInt", "ptLongint",  "ptByte",     "ptWord",
      "ptCardinal", "ptBoolean",   "ptByteBool",    "ptWordBool", "ptLongBool", "ptChar",     "ptReal",     "ptSingle",
      "ptDouble",   "ptExtended",  "ptComp",        "ptDate",     "ptTime",     "ptDateTime", "ptSet8",     "ptSet16",
      "ptSet32",    "ptSet64",     "ptSet128",      "ptSet256",   "ptShortStr", "ptSet"};
  return type < kPropTypeCount ? names[type] : "?";
}

// ---- TBaseObject ----------------------------------------------------------------

// Owned values are held by owning fields (TObjSlot, TPChar), so they are freed
// with the object itself; DestroyProperties frees them earlier on request.
TBaseObject::~TBaseObject() = default;

void TBaseObject::AssignTo(TBaseObject* dest) const {
  throw EConvertError(std::string("Cannot assign a ") + ClassName() + " to a " + (dest ? dest->ClassName() : "nil"));
}

void TBaseObject::Assign(const TBaseObject* source) {
  if (!source) throw EConvertError(std::string("Cannot assign a nil to a ") + ClassName());
  source->AssignTo(this);
}

void TBaseObject::DefineProperties(TFiler& filer) {
  if (filer.IsReader()) {
    auto& reader = static_cast<TObjReader&>(filer);
    EnumrateProperties(TPropProcessor::Bind<&TObjReader::ReadProperty>(&reader), paRead, &filer);
  } else {
    auto& writer = static_cast<TObjWriter&>(filer);
    EnumrateProperties(TPropProcessor::Bind<&TObjWriter::WritePropertyData>(&writer), paWrite, &filer);
  }
}

void TBaseObject::DefinePropertiesOld(TFiler& filer) {
  // Nothing writes the older layout any more; only reading is served.
  if (auto* reader = dynamic_cast<TOldObjReader*>(&filer))
    EnumrateProperties(TPropProcessor::Bind<&TOldObjReader::ReadPropertyOld>(reader), paRead, &filer);
}

bool TBaseObject::DestroyProp(void* prop, std::string_view, TPropType type, bool, const void*, void*) {
  if (!prop) return true;
  switch (type) {
    case ptComponent:
    case ptColllection:
    case ptObject:
    case ptObjects:
    case ptStrings: static_cast<TObjSlot*>(prop)->Reset(); break;
    case ptPChar: static_cast<TPChar*>(prop)->reset(); break;
    default: break;
  }
  return true;
}

void TBaseObject::EnumrateProperties(const TPropProcessor&, uint16_t, void*) {}

void TBaseObject::DestroyProperties() {
  EnumrateProperties(TPropProcessor::Bind<&TBaseObject::DestroyProp>(this), paDestroy, nullptr);
}

std::unique_ptr<TBaseObject> TBaseObject::DuplicateSelf() const {
  TMemoryStream m;
  StreamWriteObject(m, this);
  m.SetPosition(0);
  return StreamReadObject(m);
}

void TBaseObject::CopyToClipBoard() const { Clipboard().SetObject(this); }

// ---- TStoredStrList -------------------------------------------------------------

TStoredStrList::TStoredStrList() { List.reset(new TStringList); }

TStoredStrList::~TStoredStrList() = default;

void TStoredStrList::AssignTo(TBaseObject* dest) const {
  if (auto* d = ObjCast<TStoredStrList>(dest)) {
    d->Assign(this);
    return;
  }
  TBaseObject::AssignTo(dest);
}

void TStoredStrList::Assign(const TBaseObject* source) {
  if (source == this) return;
  if (auto* src = ObjCast<TStoredStrList>(source)) {
    List->Assign(*src->List);
    return;
  }
  TBaseObject::Assign(source);
}

void TStoredStrList::DefinePropertiesOld(TFiler& filer) {
  if (auto* reader = dynamic_cast<TOldObjReader*>(&filer)) {
    if (reader->MatchProperty("List")) reader->ReadStoredListOld(*this);
  }
  TBaseObject::DefinePropertiesOld(filer);
}

void TStoredStrList::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptObjects>(proc, param, List, "List", List.get() != nullptr);
}

void TStoredStrList::AfterLoad(TFiler& filer) {
  inherited::AfterLoad(filer);
  if (!List) List.reset(new TStringList);
}

TBaseObject* TStoredStrList::GetObj(int index) const { return ObjCast<TBaseObject>(List->Objects(index)); }

void TStoredStrList::SetObj(int index, TBaseObject* obj) { List->SetObject(index, obj); }

int TStoredStrList::AddObject(const std::string& key, TBaseObject* obj) { return List->AddObject(key, obj); }

int TStoredStrList::AddOwned(const std::string& key, std::unique_ptr<TBaseObject> obj) {
  return detail::AddOwnedTo(*this, obj, [&](TBaseObject* p) { return AddObject(key, p); });
}

void TStoredStrList::InsertObject(int index, const std::string& key, TBaseObject* obj) {
  List->InsertObject(index, key, obj);
}

// ---- TStringList deep assignment ------------------------------------------------

void TStringList::Assign(const TPlainStringList& source) {
  if (&source == this) return;
  BeginUpdate();
  Clear();
  try {
    for (int i = 0; i < source.Count(); ++i) {
      std::unique_ptr<TBaseObject> copy;
      if (auto* b = ObjCast<TBaseObject>(source.Objects(i))) copy = b->DuplicateSelf();
      // Objects that cannot be copied are not shared either: the line stays without one.
      AddOwned(source.Strings(i), std::move(copy));
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStringList::CopyToClipboard() const { Clipboard().SetText(Text()); }

void TStringList::PasteFromClipboard() {
  std::string text;
  Clear();
  if (Clipboard().GetText(text)) SetText(text);
}

// ---- Lists in streams -------------------------------------------------------------

TListClassType GetListClassType(const TObject* obj) {
  if (!obj) return lcUnknown;
  if (obj->Is<TStoredStrList>()) return lcStoredStrList;
  if (obj->Is<TStringList>()) return lcZrStringList;
  if (obj->Is<TPlainStringList>()) return lcStringList;
  if (obj->Is<TStack>()) return lcStack;
  if (obj->Is<TList>()) return lcList;
  return lcUserDefine;
}

std::unique_ptr<TObject> CreateList(int64_t kind) {
  switch (kind) {
    case lcStoredStrList: return std::make_unique<TStoredStrList>();
    case lcZrStringList: return std::make_unique<TStringList>();
    case lcStringList: return std::make_unique<TPlainStringList>();
    case lcStack: return std::make_unique<TStack>();
    case lcList: return std::make_unique<TList>();
    default: return nullptr;
  }
}

// ---- TListContainer -------------------------------------------------------------

TListContainer::TListContainer() = default;

TListContainer::TListContainer(TObject* list) : list_(list) {}

TListContainer::~TListContainer() {
  if (ownsList_) delete list_;
}

std::unique_ptr<TObject> TListContainer::TakeList() {
  std::unique_ptr<TObject> l(ownsList_ ? list_ : nullptr);
  list_ = nullptr;
  ownsList_ = false;
  return l;
}

int TListContainer::ItemCount() const {
  switch (GetListClassType(list_)) {
    case lcStoredStrList: return static_cast<TStoredStrList*>(list_)->Count();
    case lcZrStringList:
    case lcStringList: return static_cast<TPlainStringList*>(list_)->Count();
    case lcStack:
    case lcList: return static_cast<TList*>(list_)->Count();
    default: return 0;
  }
}

TObject* TListContainer::ItemAt(int index) const {
  switch (GetListClassType(list_)) {
    case lcStoredStrList: return static_cast<TStoredStrList*>(list_)->Objects(index);
    case lcZrStringList:
    case lcStringList: return static_cast<TPlainStringList*>(list_)->Objects(index);
    case lcStack:
    case lcList: return static_cast<TList*>(list_)->Items(index);
    default: return nullptr;
  }
}

// Lists read from a stream own their items (see EnumrateProperties), so each
// item goes into the list or, when it has no place there, is freed here.
void TListContainer::StoreItem(int index, std::unique_ptr<TBaseObject> obj) {
  switch (GetListClassType(list_)) {
    case lcStoredStrList:
    case lcZrStringList:
    case lcStringList: {
      TPlainStringList& l = list_->Is<TStoredStrList>() ? static_cast<TStoredStrList*>(list_)->Inner()
                                                        : *static_cast<TPlainStringList*>(list_);
      if (index < 0 || index >= l.Count())
        TObjReader::Error("List index out of bounds (" + std::to_string(index) + ")");
      l.SetObject(index, obj.release());  // an owning list: it frees the object
      break;
    }
    case lcStack:
    case lcList: {
      auto* l = static_cast<TList*>(list_);
      if (l->Count() < ListCount) {
        l->AddOwned(std::move(obj));
      } else if (index >= 0 && index < l->Count()) {
        l->Put(index, obj.release());  // an owning list: it frees the object
      } else {
        TObjReader::Error("List index out of bounds (" + std::to_string(index) + ")");
      }
      break;
    }
    default: TObjReader::Error("A list item has no list to go into");
  }
}

namespace {
// Puts a borrowed list into a slot for the time of one declaration.
struct BorrowedSlot {
  TObjSlot slot{TObject::StaticClass()};
  explicit BorrowedSlot(TObject* obj) { slot.Reset(obj); }
  ~BorrowedSlot() { slot.Release(); }
};

bool ParseItemName(std::string_view name, int& index) {
  static constexpr std::string_view prefix = "Object_";
  if (name.size() <= prefix.size() || name.size() > prefix.size() + 10) return false;
  if (!SameTextAscii(name.substr(0, prefix.size()), prefix)) return false;
  int64_t v = 0;
  for (char c : name.substr(prefix.size())) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v > INT32_MAX) return false;
  index = static_cast<int>(v);
  return true;
}
}  // namespace

void TListContainer::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  if (action == paWrite) {
    ListType = GetListClassType(list_);
    ListCount = ItemCount();
  }
  Prop<ptByte>(proc, param, ListType, "ListType");
  Prop<ptInteger>(proc, param, ListCount, "ListCount");
  if (action == paWrite) {
    BorrowedSlot b(list_);
    Prop<ptStrings>(proc, param, b.slot, "Strings");
    for (int i = 0, n = ItemCount(); i < n; ++i) {
      TObject* item = ItemAt(i);
      auto* obj = ObjCast<TBaseObject>(item);
      BorrowedSlot c(obj);
      Prop<ptObject>(proc, param, c.slot, "Object_" + std::to_string(i), obj != nullptr);
    }
  } else if (action == paRead) {
    auto* reader = static_cast<TObjReader*>(param);
    if (SameTextAscii(reader->CurrentPropName, "Strings")) {
      Prop<ptStrings>(proc, param, readList_, "Strings");
      if (!reader->CurrentPropName.empty()) return;  // not taken here (a child record of that name)
      if (ownsList_) delete list_;
      list_ = readList_.Release();  // owned by the container from here (ownsList_)
      ownsList_ = true;
      // Lists read from a stream own their items.
      if (auto* l = ObjCast<TList>(list_)) l->OwnsObjects = true;
      if (auto* l = ObjCast<TPlainStringList>(list_)) l->SetOwnsObjects(true);
      return;
    }
    int index;
    if (ParseItemName(reader->CurrentPropName, index)) {
      std::string name = reader->CurrentPropName;
      Prop<ptObject>(proc, param, item_, name);
      if (item_) StoreItem(index, item_.Extract());
    }
  }
}

}  // namespace kv
