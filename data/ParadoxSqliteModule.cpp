#include "data/ParadoxSqliteModule.h"

#include <cmath>
#include <memory>

#include "data/FolderTableSqliteModule.h"
#include "data/ParadoxFormat.h"
#include "data/ParadoxTable.h"

namespace kv {

namespace {

using px::TParadoxTable;

class TParadoxReader : public TFolderTableReaderOf<TParadoxTable> {
public:
  using TFolderTableReaderOf::TFolderTableReaderOf;

  const char* DeclaredType(size_t index) const override {
    switch (Table().Fields()[index].type) {
      case px::kShort:
      case px::kLong:
      case px::kAutoInc: return "INTEGER";
      case px::kNumber:
      case px::kCurrency:
      case px::kBcd: return "REAL";
      case px::kLogical: return "BOOLEAN";
      case px::kDate: return "DATE";
      case px::kTime: return "TIME";
      case px::kTimestamp: return "DATETIME";
      case px::kBlob:
      case px::kOle:
      case px::kGraphic:
      case px::kBytes: return "BLOB";
      default: return "TEXT";
    }
  }

  // Paradox keeps no deleted records in the chain.
  bool Shown(uint32_t) override { return true; }

  std::string DateTimeText(size_t index, const TVariant& v) const override {
    const uint8_t type = Table().Fields()[index].type;
    const TDateTime value = v.AsDateTime();
    if (type == px::kTime) return value == 0 ? "00:00:00" : DateTimeToText(value - std::trunc(value));
    const std::string text = DateTimeToText(value);
    return type == px::kDate ? text.substr(0, 10) : text;
  }
};

std::unique_ptr<TFolderTableReader> OpenReader(const std::string& path) {
  return std::make_unique<TParadoxReader>(TParadoxTable::Open(path, false));
}

const TFolderTableModule g_module{"paradox", "Paradox", OpenReader};

}  // namespace

void RegisterParadoxModule(TSqliteDatabase& db) { RegisterFolderTableModule(db, g_module); }

void AttachParadoxTable(TSqliteDatabase& db, const std::string& name, const std::string& path) {
  AttachFolderTable(db, g_module, name, path);
}

}  // namespace kv
