// What the commands that reach databases share: opening a table through the
// dataset kinds exactly as a job does, and printing values.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "data/DataBaseInfo.h"
#include "data/TableDataSets.h"
#include "data/Variant.h"

namespace cli {

// A table dataset of the kind a job would hold for `info` (file database,
// ODBC data source or server table), named `name`, opened on `table`.
// Raises the engine's error when it cannot be opened.
std::unique_ptr<kv::TKVTableDataSet> OpenTable(const kv::TDataBaseInfo& info, const std::string& table,
                                               const std::string& name);

// A value as one field of a terminal line: Null as \N, a real as the
// shortest text that reads back the same, anything else as its text,
// escaped with EscapeTerminalField.
std::string FormatCell(const kv::TVariant& value);

// Bytes as SQL writes a BLOB literal: x'<hex>'.
std::string BlobLiteral(std::string_view bytes);

}  // namespace cli
