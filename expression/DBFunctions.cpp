// Database functions: the handle registry and the function nodes.
#include "expression/DBFunctions.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

#include "expression/FunctionList.h"
#include "expression/ThreadExp.h"

namespace kv {

KV_IMPLEMENT_CLASS(TExp_DBFunction, TFunction)
KV_IMPLEMENT_CLASS(TExp_DBTableFunc, TExp_DBFunction)
KV_IMPLEMENT_CLASS(TExp_RecNo, TExp_DBTableFunc)
KV_IMPLEMENT_CLASS(TExp_RecCount, TExp_DBTableFunc)
KV_IMPLEMENT_CLASS(TExp_FieldCount, TExp_DBTableFunc)
KV_IMPLEMENT_CLASS(TExp_EOF, TExp_DBTableFunc)
KV_IMPLEMENT_CLASS(TExp_BOF, TExp_EOF)
KV_IMPLEMENT_CLASS(TExp_DBFieldFunc, TExp_DBFunction)
KV_IMPLEMENT_CLASS(TExp_DBField, TExp_DBFieldFunc)
KV_IMPLEMENT_CLASS(TExp_FieldName, TExp_DBField)
KV_IMPLEMENT_CLASS(TExp_FieldNo, TExp_FieldName)
KV_IMPLEMENT_CLASS(TExp_FieldLen, TExp_FieldNo)
KV_IMPLEMENT_CLASS(TExp_FieldDec, TExp_FieldLen)
KV_IMPLEMENT_CLASS(TExp_PriorValue, TExp_DBField)
KV_IMPLEMENT_CLASS(TExp_NextValue, TExp_DBField)

namespace {

// ---- The handle registry ------------------------------------------------------------------

struct TCursorRegistry {
  std::mutex Lock;
  std::unordered_map<int64_t, IDBCursor*> Cursors;
  int64_t NextHandle = 1;
};

// Never destroyed: cursors may unregister from the destructors of other
// static objects at exit.
TCursorRegistry& Registry() {
  static TCursorRegistry* registry = new TCursorRegistry;
  return *registry;
}

// Starts at 1 so that a cache that never looked anything up (epoch 0) misses.
std::atomic<uint64_t> g_registryEpoch{1};

// The database batch, in registration order.
const TFunctionBatchRegistrar g_functions{fbDataBase,
                                          0,
                                          {
                                              {"RecordNum", TExp_RecNo::StaticClass()},
                                              {"RecordCount", TExp_RecCount::StaticClass()},
                                              {"DBEOF", TExp_EOF::StaticClass()},
                                              {"DBBOF", TExp_BOF::StaticClass()},
                                              {"FieldValue", TExp_DBField::StaticClass()},
                                              {"FieldCount", TExp_FieldCount::StaticClass()},
                                              {"FieldName", TExp_FieldName::StaticClass()},
                                              {"FieldNo", TExp_FieldNo::StaticClass()},
                                              {"FieldLen", TExp_FieldLen::StaticClass()},
                                              {"FieldDec", TExp_FieldDec::StaticClass()},
                                              {"FieldPriorValue", TExp_PriorValue::StaticClass()},
                                              {"FieldNextValue", TExp_NextValue::StaticClass()},
                                          }};

// The intermediate classes are no functions of their own but may appear in
// stored trees' class trees; they are registered for the object stream.
const TClassRegistrar g_classes{TExp_DBFunction::StaticClass(), TExp_DBTableFunc::StaticClass(),
                                TExp_DBFieldFunc::StaticClass()};

std::string HandleText(int64_t handle) { return std::to_string(handle); }

}  // namespace

int64_t RegisterDBCursor(IDBCursor* cursor) {
  if (!cursor) throw EDBFunctionError("A null cursor cannot be registered as a dataset");
  TCursorRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.Lock);
  const int64_t handle = r.NextHandle++;
  r.Cursors.emplace(handle, cursor);
  g_registryEpoch.fetch_add(1, std::memory_order_acq_rel);
  return handle;
}

void UnregisterDBCursor(int64_t handle) {
  TCursorRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.Lock);
  if (r.Cursors.erase(handle) > 0) g_registryEpoch.fetch_add(1, std::memory_order_acq_rel);
}

IDBCursor* FindDBCursor(int64_t handle) {
  if (handle <= 0) return nullptr;
  TCursorRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.Lock);
  auto it = r.Cursors.find(handle);
  return it == r.Cursors.end() ? nullptr : it->second;
}

uint64_t DBCursorRegistryEpoch() noexcept { return g_registryEpoch.load(std::memory_order_acquire); }

IDBCursor* TDBCursorCache::Refresh(int64_t handle) {
  TCursorRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.Lock);
  // Read under the lock: a change is either before the lookup or moves the
  // epoch after the one remembered here.
  epoch_ = g_registryEpoch.load(std::memory_order_acquire);
  handle_ = handle;
  auto it = handle > 0 ? r.Cursors.find(handle) : r.Cursors.end();
  cursor_ = it == r.Cursors.end() ? nullptr : it->second;
  return cursor_;
}

// ---- TExp_DBFunction ----------------------------------------------------------------------

void TExp_DBFunction::Evaluate(int32_t stamp) {
  if (stamp == SyncFlag) return;
  SyncFlag = stamp;
  for (int i = 0; i < SubExpEnd(); ++i)
    if (TExpression* c = GetSubExp(i)) c->Evaluate(stamp);
  Calculate();
}

int64_t TExp_DBFunction::Handle() const {
  const TExpression* h = Arg(0);
  return h ? h->GetInteger() : 0;
}

IDBCursor* TExp_DBFunction::CursorOrNull() {
  const int64_t handle = Handle();
  if (handle == 0) return nullptr;
  IDBCursor* c = cache_.Find(handle);
  if (!c) throw EDBFunctionError("Dataset handle " + HandleText(handle) + " names no open dataset");
  return c;
}

IDBCursor& TExp_DBFunction::Cursor() {
  IDBCursor* c = CursorOrNull();
  if (!c) throw EDBFunctionError(std::string(ClassType()->Name) + ": no dataset (the dataset handle is 0)");
  return *c;
}

// ---- Table functions ----------------------------------------------------------------------

bool TExp_DBTableFunc::TransOverOK() {
  DataType = etInteger;
  return true;
}

void TExp_RecNo::Calculate() { PutInteger(Cursor().RecNo()); }
void TExp_RecCount::Calculate() { PutInteger(Cursor().RecordCount()); }
void TExp_FieldCount::Calculate() { PutInteger(Cursor().FieldCount()); }

bool TExp_EOF::TransOverOK() {
  DataType = etBoolean;
  return true;
}

void TExp_EOF::Calculate() {
  IDBCursor* c = CursorOrNull();
  PutBoolean(!c || c->Eof());
}

void TExp_BOF::Calculate() {
  IDBCursor* c = CursorOrNull();
  PutBoolean(c && c->Bof());
}

// ---- Field functions ------------------------------------------------------------------------

int TExp_DBFieldFunc::GetField(IDBCursor& cursor) {
  const TExpression* f = Arg(1);
  if (!f) return -1;
  if (f->DataType == etInteger) {
    const int64_t i = f->GetInteger();
    return i >= 0 && i < cursor.FieldCount() ? static_cast<int>(i) : -1;
  }
  TTextBuffer buffer;
  const std::string_view name = f->GetText(buffer);
  // Keyed by the handle, not the cursor's address: handles are never
  // reused, while a new cursor may be placed where an old one was.
  const int64_t handle = Handle();
  const uint64_t generation = cursor.Generation();
  if (handle == cacheHandle_ && generation == cacheGeneration_ && name == cacheName_) return cacheIndex_;
  const int index = cursor.FieldIndex(name);
  if (index < 0)
    throw EDBFunctionError("Field '" + std::string(name) + "' not found in the dataset of handle " +
                           HandleText(handle));
  cacheHandle_ = handle;
  cacheGeneration_ = generation;
  cacheIndex_ = index;
  cacheName_.assign(name.data(), name.size());
  return index;
}

bool TExp_DBField::TransOverOK() {
  DataType = fieldType_;
  return true;
}

void TExp_DBField::SettleType(TExpDataType type) noexcept {
  fieldType_ = type;
  DataType = type;
}

void TExp_DBField::CopyStateTo(TExpression& copy) const {
  inherited::CopyStateTo(copy);
  if (auto* f = ObjCast<TExp_DBField>(&copy)) f->fieldType_ = fieldType_;
}

int TExp_DBField::ValueField(IDBCursor& cursor) {
  const int index = GetField(cursor);
  if (index < 0)
    throw EDBFunctionError("Field index " + std::to_string(Arg(1) ? Arg(1)->GetInteger() : 0) +
                           " is outside the fields of the dataset of handle " + HandleText(Handle()) + " (" +
                           std::to_string(cursor.FieldCount()) + " fields)");
  return index;
}

void TExp_DBField::ReadField(IDBCursor& cursor, int index) {
  if (fieldType_ == etAny) {
    const TExpDataType t = cursor.FieldInfo(index).Type;
    if (t == etAny) return;
    fieldType_ = t;
  }
  // An assignment may have put a value of another type into the node.
  DataType = fieldType_;
  switch (fieldType_) {
    case etInteger: Value.SetNumInt(cursor.FieldAsInteger(index)); break;
    case etReal: Value.SetNumReal(cursor.FieldAsFloat(index)); break;
    case etBoolean: Value.OrdValue = cursor.FieldAsBoolean(index) ? 1 : 0; break;
    case etDateTime: Value.SetNumDouble(cursor.FieldAsDateTime(index)); break;
    case etString: cursor.FieldAsString(index, Value.StrValue); break;
    case etChar:
      if (cursor.FieldIsNull(index)) {
        Value.OrdValue = 0;
      } else {
        cursor.FieldAsString(index, Value.StrValue);
        Value.OrdValue = Value.StrValue.empty() ? 0 : static_cast<uint8_t>(Value.StrValue[0]);
        Value.StrValue.clear();
      }
      break;
    case etAny: break;
  }
}

void TExp_DBField::Calculate() {
  IDBCursor& c = Cursor();
  ReadField(c, ValueField(c));
}

void TExp_DBField::PutEmpty() {
  if (fieldType_ == etAny) return;
  DataType = fieldType_;
  Value.StrValue.clear();
  Value.OrdValue = 0;
  Value.ClearNum();
  if (fieldType_ == etReal) Value.SetNumReal(0);
}

bool TExp_FieldName::TransOverOK() {
  DataType = etString;
  return true;
}

void TExp_FieldName::Calculate() {
  IDBCursor& c = Cursor();
  const int index = GetField(c);
  PutString(index < 0 ? std::string("FieldName") : c.FieldInfo(index).Name);
}

bool TExp_FieldNo::TransOverOK() {
  DataType = etInteger;
  return true;
}

void TExp_FieldNo::Calculate() {
  IDBCursor& c = Cursor();
  const int index = GetField(c);
  PutInteger(index < 0 ? -1 : InfoValue(c.FieldInfo(index)));
}

namespace {

// Whether the cursor stands where there is no record before it (direction
// < 0) or after it, as far as that is known without moving.
bool AtEnd(IDBCursor& cursor, int direction, bool bof, bool eof) {
  if (direction < 0) return bof || cursor.RecNo() == 1;
  if (eof) return true;
  const int64_t recNo = cursor.RecNo();
  const int64_t count = recNo >= 1 ? cursor.RecordCount() : -1;
  return count >= 0 && recNo >= count;
}

// Moves the cursor one record back (direction < 0) or on; false when there
// is no such record and the cursor stayed where it was.
bool StepAway(IDBCursor& cursor, int direction, bool bof, bool eof) {
  if (AtEnd(cursor, direction, bof, eof)) return false;
  if (direction < 0) {
    cursor.Prior();
    return !cursor.Bof();
  }
  cursor.Next();
  return !cursor.Eof();
}

// Back to the record StepAway left. A Bof (Eof) that was set there is set
// again by one more step against the end, which does not move.
void StepBack(IDBCursor& cursor, int direction, bool bof, bool eof) {
  if (direction < 0) {
    cursor.Next();
    if (eof) cursor.Next();
  } else {
    cursor.Prior();
    if (bof) cursor.Prior();
  }
}

}  // namespace

void TExp_DBField::PeekField(int direction) {
  IDBCursor* c = CursorOrNull();
  if (!c) return;
  const int index = ValueField(*c);
  if (!c->CanMoveBack())
    throw EDBFunctionError(std::string(direction < 0 ? "FieldPriorValue" : "FieldNextValue") +
                           " needs a dataset that can move back (handle " + HandleText(Handle()) + ")");
  const bool bof = c->Bof(), eof = c->Eof();
  if (!StepAway(*c, direction, bof, eof)) {
    if (fieldType_ == etAny) fieldType_ = c->FieldInfo(index).Type;
    PutEmpty();
    return;
  }
  try {
    ReadField(*c, index);
  } catch (...) {
    // The read's error is the one reported; the cursor goes back regardless.
    try {
      StepBack(*c, direction, bof, eof);
    } catch (...) {
    }
    throw;
  }
  StepBack(*c, direction, bof, eof);
}

void TExp_PriorValue::Calculate() { PeekField(-1); }
void TExp_NextValue::Calculate() { PeekField(+1); }

void RegisterDBFunctions(TFunctionList& list) { RegisterFunctionBatch(list, fbDataBase); }

void RegisterDBFunctions() {
  if (TExpTranslator* t = GetTranslator()) RegisterDBFunctions(*t->FunctionList);
}

}  // namespace kv
