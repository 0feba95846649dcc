// Database functions: how expressions reach the records of a dataset.
//
// The expression library knows nothing of datasets. It declares IDBCursor,
// the few operations the database functions need, and a registry that
// hands out dataset handles: integers that name a live cursor. The data
// layer implements IDBCursor over its datasets (TDataSetCursor) and
// registers each one; expressions then carry the handle as an etInteger
// value (the value of a dataset variable, see DBVarList.h) and the
// functions below look the cursor up at evaluation.
//
// Functions (batch fbDataBase, added to a translator by RegisterDBFunctions):
//   RecordNum(h) RecordCount(h) FieldCount(h)          integer
//   DBEOF(h) DBBOF(h)                                  boolean
//   FieldValue(h, f) FieldPriorValue(h, f) FieldNextValue(h, f)   the field's type
//   FieldName(h, f)                                    string ('FieldName' when there is no such field)
//   FieldNo(h, f) FieldLen(h, f) FieldDec(h, f)        integer (-1 when there is no such field)
// where h is a handle and f a field name or a 0-based field index (an
// etInteger value). The first argument must be etInteger or etAny at
// translation (else trTypeMismatch); no database function is ever folded
// into a constant.
//
// Errors at evaluation (EDBFunctionError): handle 0 ("no dataset") for every
// function but DBEOF, DBBOF, FieldPriorValue and FieldNextValue; a handle
// that names no live cursor; a field name the dataset does not have; a field
// index out of range for FieldValue, FieldPriorValue and FieldNextValue.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "KVLib_export.h"
#include "expression/ExpTypes.h"
#include "expression/Function.h"
#include "foundation/DateUtils.h"
#include "foundation/Exceptions.h"

namespace kv {

class TFunctionList;

// Raised while evaluating a database function or a field variable.
KV_DECLARE_EXCEPTION(EDBFunctionError, Exception);

// One field as the database functions see it.
struct TDBFieldInfo {
  std::string Name;
  // The expression type its values are read as; etAny for a field whose
  // values cannot be read (a field node then keeps its previous value).
  TExpDataType Type = etAny;
  int32_t Size = 0;           // declared size (texts)
  int32_t FieldNo = 0;        // the ordinal number the data layer gives it
  int32_t Precision = 0;      // decimals of its field definition
  int32_t DisplayLength = 0;  // what FieldLen answers
};

// What the database functions need of a dataset. Implemented by the data
// layer; called only by the thread that evaluates expressions over it.
// Navigation follows the dataset rules: Prior on the first record sets Bof
// and stays there, Next on the last record sets Eof and stays there.
class KVLIB_EXPORT IDBCursor {
public:
  virtual ~IDBCursor() = default;
  // Changes whenever the dataset opens or closes: field positions found
  // under one generation are not used under another.
  virtual uint64_t Generation() const = 0;
  virtual int64_t RecNo() = 0;
  virtual int64_t RecordCount() = 0;
  virtual bool Eof() = 0;
  virtual bool Bof() = 0;
  virtual int FieldCount() = 0;
  // The 0-based index of the field named `name` (ASCII letter case
  // ignored, as the dataset finds names); -1 when there is none.
  virtual int FieldIndex(std::string_view name) = 0;
  // The methods below take an index in 0 .. FieldCount() - 1.
  virtual TDBFieldInfo FieldInfo(int index) = 0;
  virtual bool FieldIsNull(int index) = 0;
  // A null field reads as 0, 0.0, false, "" and date-time 0.
  virtual int64_t FieldAsInteger(int index) = 0;
  virtual double FieldAsFloat(int index) = 0;
  virtual bool FieldAsBoolean(int index) = 0;
  // The field's text into `out`, reusing its storage.
  virtual void FieldAsString(int index, std::string& out) = 0;
  virtual TDateTime FieldAsDateTime(int index) = 0;
  virtual void Prior() = 0;
  virtual void Next() = 0;
  // False for a dataset that only moves forward (FieldPriorValue and
  // FieldNextValue then refuse before moving).
  virtual bool CanMoveBack() { return true; }
};

// ---- Dataset handles ------------------------------------------------------------------
// Handles are registry numbers, never pointers. They count up from 1 and
// are never reused within a process, so a handle kept after its cursor was
// unregistered is recognised as stale. The registry may be used from any
// thread; a cursor must not be unregistered while another thread evaluates
// an expression over it.

// Registers `cursor` (not owned; it must stay alive until unregistered) and
// answers its new handle (never 0). EDBFunctionError for a null cursor.
KVLIB_EXPORT int64_t RegisterDBCursor(IDBCursor* cursor);
// Forgets `handle`; nothing for a handle that names no cursor.
KVLIB_EXPORT void UnregisterDBCursor(int64_t handle);
// The live cursor of `handle`, or null (0, stale or never handed out).
KVLIB_EXPORT IDBCursor* FindDBCursor(int64_t handle);
// Moves on every registration and unregistration.
KVLIB_EXPORT uint64_t DBCursorRegistryEpoch() noexcept;

// Remembers the cursor found for the last handle, so that repeated lookups
// of one handle cost a comparison until the registry changes.
class KVLIB_EXPORT TDBCursorCache {
public:
  IDBCursor* Find(int64_t handle) {
    if (handle == handle_ && epoch_ == DBCursorRegistryEpoch()) return cursor_;
    return Refresh(handle);
  }

private:
  IDBCursor* Refresh(int64_t handle);
  int64_t handle_ = 0;
  uint64_t epoch_ = 0;
  IDBCursor* cursor_ = nullptr;
};

// ---- Function nodes --------------------------------------------------------------------

// Argument 1 is the dataset handle (etInteger or etAny); never constant.
class KVLIB_EXPORT TExp_DBFunction : public TFunction {
  KV_CLASS(TExp_DBFunction, TFunction)
public:
  TExpTypeSet ArgTypes(int index) const override { return index == 0 ? tsHandle : tsAll; }
  bool IsConst() const override { return false; }
  // Computes the arguments, then Calculate. Unlike other nodes, an untyped
  // node does not take the type of its first argument (the handle).
  void Evaluate(int32_t stamp) override;

protected:
  // The handle argument's value (0 without an argument).
  int64_t Handle() const;
  // The cursor the handle names; EDBFunctionError for 0 and for a handle
  // that names no live cursor.
  IDBCursor& Cursor();
  // The cursor, or null for the handle 0; EDBFunctionError for a stale handle.
  IDBCursor* CursorOrNull();

private:
  TDBCursorCache cache_;
};

// One argument, the handle; an integer result unless stated.
class KVLIB_EXPORT TExp_DBTableFunc : public TExp_DBFunction {
  KV_CLASS(TExp_DBTableFunc, TExp_DBFunction)
public:
  bool TransOverOK() override;
};

// RecordNum(h): the current record number as the dataset reports it.
class KVLIB_EXPORT TExp_RecNo : public TExp_DBTableFunc {
  KV_CLASS(TExp_RecNo, TExp_DBTableFunc)
public:
  void Calculate() override;
};

// RecordCount(h).
class KVLIB_EXPORT TExp_RecCount : public TExp_DBTableFunc {
  KV_CLASS(TExp_RecCount, TExp_DBTableFunc)
public:
  void Calculate() override;
};

// FieldCount(h).
class KVLIB_EXPORT TExp_FieldCount : public TExp_DBTableFunc {
  KV_CLASS(TExp_FieldCount, TExp_DBTableFunc)
public:
  void Calculate() override;
};

// DBEOF(h): true for the handle 0 or at the end of data.
class KVLIB_EXPORT TExp_EOF : public TExp_DBTableFunc {
  KV_CLASS(TExp_EOF, TExp_DBTableFunc)
public:
  bool TransOverOK() override;
  void Calculate() override;
};

// DBBOF(h): false for the handle 0; true at the beginning of data.
class KVLIB_EXPORT TExp_BOF : public TExp_EOF {
  KV_CLASS(TExp_BOF, TExp_EOF)
public:
  void Calculate() override;
};

// Two arguments: the handle and a field (a name, or a 0-based index when
// the argument's value is an etInteger).
class KVLIB_EXPORT TExp_DBFieldFunc : public TExp_DBFunction {
  KV_CLASS(TExp_DBFieldFunc, TExp_DBFunction)
public:
  int FixedParamCount() const override { return 2; }
  // The index of the field argument 2 names in `cursor`: for a name, its
  // index (EDBFunctionError naming the field when the dataset has none);
  // for an index, itself, or -1 when it is outside the field list. Name
  // lookups are remembered per handle and cursor generation.
  virtual int GetField(IDBCursor& cursor);

private:
  int64_t cacheHandle_ = 0;
  uint64_t cacheGeneration_ = 0;
  int cacheIndex_ = -1;
  std::string cacheName_;
};

// FieldValue(h, f), and the node of every field variable (child 0 the
// handle, child 1 the field name, both constants). The node is etAny until
// its type is settled, from the field, at its first read (or when a field
// variable is defined); it keeps that type afterwards, also when an
// assignment put a value of another type into it. Each read takes the
// value of the dataset's current record.
class KVLIB_EXPORT TExp_DBField : public TExp_DBFieldFunc {
  KV_CLASS(TExp_DBField, TExp_DBFieldFunc)
public:
  bool TransOverOK() override;
  void Calculate() override;
  // The type the node reads its field as (etAny until settled).
  TExpDataType FieldType() const noexcept { return fieldType_; }
  void SettleType(TExpDataType type) noexcept;

protected:
  void CopyStateTo(TExpression& copy) const override;
  // The field's index for reading; EDBFunctionError when there is no such field.
  int ValueField(IDBCursor& cursor);
  // Settles the type from field `index` when still open, then reads the
  // field into the node (nothing when the type stays etAny).
  void ReadField(IDBCursor& cursor, int index);
  // Puts the value a null field of the node's type reads as.
  void PutEmpty();
  // FieldPriorValue (direction -1) and FieldNextValue (+1): reads the field
  // in the neighbouring record and moves the cursor back.
  void PeekField(int direction);

private:
  TExpDataType fieldType_ = etAny;
};

// FieldName(h, f): the field's name; the text "FieldName" when there is no such field.
class KVLIB_EXPORT TExp_FieldName : public TExp_DBField {
  KV_CLASS(TExp_FieldName, TExp_DBField)
public:
  bool TransOverOK() override;
  void Calculate() override;
};

// FieldNo(h, f): the field's ordinal number; -1 when there is no such field.
class KVLIB_EXPORT TExp_FieldNo : public TExp_FieldName {
  KV_CLASS(TExp_FieldNo, TExp_FieldName)
public:
  bool TransOverOK() override;
  void Calculate() override;

protected:
  // The integer answered for the field at `index`.
  virtual int64_t InfoValue(const TDBFieldInfo& info) const { return info.FieldNo; }
};

// FieldLen(h, f): the field's display length; -1 when there is no such field.
class KVLIB_EXPORT TExp_FieldLen : public TExp_FieldNo {
  KV_CLASS(TExp_FieldLen, TExp_FieldNo)
protected:
  int64_t InfoValue(const TDBFieldInfo& info) const override { return info.DisplayLength; }
};

// FieldDec(h, f): the precision of the field's definition; -1 when there is no such field.
class KVLIB_EXPORT TExp_FieldDec : public TExp_FieldLen {
  KV_CLASS(TExp_FieldDec, TExp_FieldLen)
protected:
  int64_t InfoValue(const TDBFieldInfo& info) const override { return info.Precision; }
};

// FieldPriorValue(h, f): the field's value in the record before the current
// one. With the handle 0 the node keeps its previous value. When there is
// no record before (at the beginning of data, on the first record, or the
// dataset is empty), the value a null field of the node's type reads as:
// '' for text, 0 for numbers, false, date-time 0.
// The cursor is back on the current record afterwards, also when reading
// fails, with Bof and Eof as they were. The first and last records are
// recognised by RecNo and RecordCount; a cursor that reports neither is
// moved to find out, and may then have Bof (Eof) set on its first (last)
// record. EDBFunctionError, before any move, when the cursor cannot move back.
class KVLIB_EXPORT TExp_PriorValue : public TExp_DBField {
  KV_CLASS(TExp_PriorValue, TExp_DBField)
public:
  void Calculate() override;
};

// FieldNextValue(h, f): as FieldPriorValue, for the record after the current one.
class KVLIB_EXPORT TExp_NextValue : public TExp_DBField {
  KV_CLASS(TExp_NextValue, TExp_DBField)
public:
  void Calculate() override;
};

// Appends the database functions (RecordNum, RecordCount, DBEOF, DBBOF,
// FieldValue, FieldCount, FieldName, FieldNo, FieldLen, FieldDec,
// FieldPriorValue, FieldNextValue) to `list`, or to the function list of
// the calling thread's translator (nothing when the thread has none).
KVLIB_EXPORT void RegisterDBFunctions(TFunctionList& list);
KVLIB_EXPORT void RegisterDBFunctions();

}  // namespace kv
