// The entry functions of the dataset dialogs, one per dataset kind. Each
// edits `dataSet`, a dataset of `job`, modally on a copy and returns true
// only when the user confirmed with Ok ("&Apply" may have written the
// dataset back before a Cancel). `dataSet` and `job` are not owned.
#pragma once

#include "KVEditorLib_export.h"

class QWidget;

namespace kv {

class TJob;
class TKVTextDataSet;
class TKVQueryDataSet;
class TKVODBCDataSet;
class TKVFileDBDataSet;
class TKVOracleDataSet;

// "Text file data property" (TKVFileDataSetDlg).
KVEDITORLIB_EXPORT bool EditFileDataSet(TKVTextDataSet& dataSet, TJob& job, QWidget* parent = nullptr);
// "Query Dataset Property" (TKVQueryDataSetForm).
KVEDITORLIB_EXPORT bool EditQueryDataSet(TKVQueryDataSet& dataSet, TJob& job, QWidget* parent = nullptr);
// "ODBC DataSet Property" (TKVODBCDataSetForm).
KVEDITORLIB_EXPORT bool EditODBCDataSet(TKVODBCDataSet& dataSet, TJob& job, QWidget* parent = nullptr);
// "File Dataset Property" (TKVFileDBDataSetForm).
KVEDITORLIB_EXPORT bool EditFileDBDataSet(TKVFileDBDataSet& dataSet, TJob& job, QWidget* parent = nullptr);
// "Oracle Table Property" (TKVOracleDataSetForm).
KVEDITORLIB_EXPORT bool EditOracleDataSet(TKVOracleDataSet& dataSet, TJob& job, QWidget* parent = nullptr);

}  // namespace kv
