// A dataset cursor held in memory for the tests of the database functions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "expression/DBFunctions.h"
#include "expression/VarList.h"

namespace kvtest {

using kv::EConvertError;
using kv::IDBCursor;
using kv::RegisterDBCursor;
using kv::TDateTime;
using kv::TDBFieldInfo;
using kv::UnregisterDBCursor;
using kv::VarKey;

// A dataset in memory with the navigation rules of the data layer. Values
// are kept as text ("" is null) and read in the kind asked for.
class TFakeCursor : public IDBCursor {
public:
  TFakeCursor(std::vector<TDBFieldInfo> fields, std::vector<std::vector<std::string>> rows)
      : fields_(std::move(fields)), rows_(std::move(rows)) {
    handle_ = RegisterDBCursor(this);
    Reopen();
  }
  ~TFakeCursor() override { UnregisterDBCursor(handle_); }
  int64_t Handle() const { return handle_; }

  // Closes and opens again, on the first record, with new fields and rows.
  void Reopen(std::vector<TDBFieldInfo> fields, std::vector<std::vector<std::string>> rows) {
    fields_ = std::move(fields);
    rows_ = std::move(rows);
    Reopen();
  }
  void Reopen() {
    generation_ += 2;
    First();
  }
  int Moves = 0;
  bool KnowsPositions = true;  // RecNo and RecordCount answer -1 when false
  bool Backward = true;
  int Position() const { return pos_; }
  void First() {
    pos_ = 0;
    bof_ = true;
    eof_ = rows_.empty();
  }

  uint64_t Generation() const override { return generation_; }
  int64_t RecNo() override { return rows_.empty() || !KnowsPositions ? -1 : pos_ + 1; }
  int64_t RecordCount() override { return KnowsPositions ? static_cast<int64_t>(rows_.size()) : -1; }
  bool CanMoveBack() override { return Backward; }
  bool Eof() override { return eof_; }
  bool Bof() override { return bof_; }
  int FieldCount() override { return static_cast<int>(fields_.size()); }
  int FieldIndex(std::string_view name) override {
    for (size_t i = 0; i < fields_.size(); ++i)
      if (VarKey(fields_[i].Name) == VarKey(name)) return static_cast<int>(i);
    return -1;
  }
  TDBFieldInfo FieldInfo(int index) override { return fields_.at(static_cast<size_t>(index)); }
  bool FieldIsNull(int index) override { return Text(index).empty(); }
  int64_t FieldAsInteger(int index) override {
    if (Text(index) == "bad") throw EConvertError("'bad' is not a valid integer value");
    return Text(index).empty() ? 0 : std::stoll(Text(index));
  }
  double FieldAsFloat(int index) override { return Text(index).empty() ? 0 : std::stod(Text(index)); }
  bool FieldAsBoolean(int index) override { return Text(index) == "True"; }
  void FieldAsString(int index, std::string& out) override { out = Text(index); }
  TDateTime FieldAsDateTime(int index) override { return FieldAsFloat(index); }
  void Prior() override {
    ++Moves;
    if (pos_ > 0) {
      --pos_;
      eof_ = false;
    } else {
      bof_ = true;
    }
  }
  void Next() override {
    ++Moves;
    if (pos_ + 1 < static_cast<int>(rows_.size())) {
      ++pos_;
      bof_ = false;
    } else {
      eof_ = true;
    }
  }

private:
  const std::string& Text(int index) {
    if (rows_.empty()) return empty_;
    return rows_.at(static_cast<size_t>(pos_)).at(static_cast<size_t>(index));
  }
  std::vector<TDBFieldInfo> fields_;
  std::vector<std::vector<std::string>> rows_;
  int64_t handle_ = 0;
  uint64_t generation_ = 0;
  int pos_ = 0;
  bool bof_ = true, eof_ = true;
  std::string empty_;
};

inline kv::TDBFieldInfo Field(std::string name, kv::TExpDataType type, int32_t fieldNo, int32_t displayLength,
                              int32_t precision = 0) {
  return kv::TDBFieldInfo{std::move(name), type, 0, fieldNo, precision, displayLength};
}

// ID (integer) and AMOUNT (real, 2 decimals).
inline std::vector<kv::TDBFieldInfo> OrderFields() {
  return {Field("ID", kv::etInteger, 1, 12), Field("AMOUNT", kv::etReal, 2, 16, 2)};
}

// Three records; the last AMOUNT is null.
inline std::vector<std::vector<std::string>> OrderRows() { return {{"1", "10.5"}, {"2", "20.25"}, {"3", ""}}; }

}  // namespace kvtest
