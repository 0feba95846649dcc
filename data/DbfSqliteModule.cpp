#include "data/DbfSqliteModule.h"

#include <memory>

#include "data/DbfFormat.h"
#include "data/DbfTable.h"
#include "data/FolderTableSqliteModule.h"

namespace kv {

namespace {

using dbf::TDbfTable;

class TDbfReader : public TFolderTableReaderOf<TDbfTable> {
public:
  using TFolderTableReaderOf::TFolderTableReaderOf;

  const char* DeclaredType(size_t index) const override {
    const dbf::TDbfField& f = Table().Fields()[index];
    switch (f.type) {
      case dbf::kTypeNumeric:
      case dbf::kTypeFloat: return f.decimals == 0 && f.length <= 18 ? "INTEGER" : "REAL";
      case dbf::kTypeLogical: return "BOOLEAN";
      case dbf::kTypeDate: return "DATE";
      case dbf::kTypeDateTime: return "DATETIME";
      case dbf::kTypeInteger: return "INTEGER";
      case dbf::kTypeDouble:
      case dbf::kTypeCurrency: return "REAL";
      default: return "TEXT";
    }
  }

  bool Shown(uint32_t recNo) override { return !TDbfTable::IsDeleted(Table().Record(recNo)); }

  std::string DateTimeText(size_t index, const TVariant& v) const override {
    return Table().Fields()[index].type == dbf::kTypeDate ? v.AsString().substr(0, 10) : DateTimeToText(v.AsDateTime());
  }
};

std::unique_ptr<TFolderTableReader> OpenReader(const std::string& path) {
  return std::make_unique<TDbfReader>(TDbfTable::Open(path, false));
}

const TFolderTableModule g_module{"dbf", "dBase", OpenReader};

}  // namespace

void RegisterDbfModule(TSqliteDatabase& db) { RegisterFolderTableModule(db, g_module); }

void AttachDbfTable(TSqliteDatabase& db, const std::string& name, const std::string& path) {
  AttachFolderTable(db, g_module, name, path);
}

}  // namespace kv
