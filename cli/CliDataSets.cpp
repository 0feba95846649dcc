#include "CliDataSets.h"

#include <charconv>

#include "CliCommand.h"
#include "data/Connections.h"

namespace cli {

std::unique_ptr<kv::TKVTableDataSet> OpenTable(const kv::TDataBaseInfo& info, const std::string& table,
                                               const std::string& name) {
  std::unique_ptr<kv::TKVTableDataSet> dataSet;
  if (info.ConnectType == kv::ctAlias) {
    dataSet = std::make_unique<kv::TKVODBCDataSet>();
  } else if (kv::IsFileDatabaseDriver(info.DriverName)) {
    dataSet = std::make_unique<kv::TKVFileDBDataSet>();
  } else {
    dataSet = std::make_unique<kv::TKVTableDataSet>();
  }
  dataSet->SetDataBaseInfo(&info);
  dataSet->TableName = table;
  dataSet->Name = name;
  dataSet->Purpose = kv::TablePurposeBit(kv::ttSource);
  dataSet->BeforeImport();
  return dataSet;
}

std::string FormatCell(const kv::TVariant& value) {
  switch (value.Type()) {
    case kv::varEmpty:
    case kv::varNull: return "\\N";
    case kv::varFloat: {
      char buf[64];
      auto r = std::to_chars(buf, buf + sizeof buf, value.RawFloat());
      return std::string(buf, r.ptr);
    }
    default: return EscapeTerminalField(value.AsString());
  }
}

std::string BlobLiteral(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string r = "x'";
  for (char c : bytes) {
    const unsigned char u = static_cast<unsigned char>(c);
    r += digits[u >> 4];
    r += digits[u & 15];
  }
  return r + "'";
}

}  // namespace cli
