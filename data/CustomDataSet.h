// TKVCustomDataSet: the base of the dataset kinds a job holds (queries,
// tables, text files, Oracle tables). It binds the record walk of
// TKVBaseDataSet to one engine dataset (a TDataSet it owns), keeps the
// connection parameters, the stored field definitions, the import mode and
// purpose, and the variable list through which expressions read the
// current record.
//
// Each time the engine dataset opens, the variable list is cleared and one
// variable per field is defined under the dataset's Name ("Orders.ID"),
// reading the current record at every evaluation; the dataset itself is the
// variable "Orders", whose value is the dataset's handle for the database
// functions. Handles are registry numbers (see expression/DBFunctions.h).
//
// Connections: the database kinds connect through the registry of
// data/Connections.h when their engine dataset is about to open and let
// the connection go when it has closed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "KVCore_export.h"
#include "data/BaseDataSet.h"
#include "data/DataBaseInfo.h"
#include "data/DataSet.h"
#include "data/DbConnection.h"
#include "data/KVFieldDefs.h"

namespace kv {

class TDBVarList;
class TDataSetCursor;
class TExpression;
class TKVMemDataSet;
class TVarList;

// What a dataset needs of the DB link that uses it (the link implements it).
class KVCORE_EXPORT IDataSetOwner {
public:
  virtual ~IDataSetOwner() = default;
  // Loads the link's saved error records into `into` (re-transfer of error data).
  virtual void LoadErrorData(TKVMemDataSet& into) = 0;
  // A file or folder name as the dataset is to open it: a relative one is
  // taken from where the owner keeps its files (a job: its job file's
  // folder). The default keeps `path` as it is.
  virtual std::string ResolvePath(const std::string& path) const { return path; }
};

class KVCORE_EXPORT TKVCustomDataSet : public TKVBaseDataSet {
  KV_CLASS(TKVCustomDataSet, TKVBaseDataSet)
public:
  static constexpr int32_t kDefaultPostRecords = 100;

  TKVCustomDataSet();
  ~TKVCustomDataSet() override;

  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  // From a dataset of the same class: DataBaseInfo, FieldDefs, ImportMode,
  // PostRecords, Purpose and the variable list, then every setting of the
  // base dataset. The engine dataset and its connection are not copied.
  void Assign(const TBaseObject* source) override;

  // ---- The record walk ----
  // Under the global thread lock: opens the engine dataset, or redefines the
  // variables when it is open already. Error data loaded for re-transfer
  // (a TKVMemDataSet put in place with SetDataSet) is kept; when it is
  // closed, the owner link loads its error records into it first.
  void BeforeImport() override;
  void GoFirst() override;
  void GoNext() override;
  bool NeedMore() override;
  // Closes the engine dataset.
  void AfterImport() override;
  TVariant GetValues(const std::string& fieldNames) override;
  // The current value of the field named by `field`'s text; otherwise the
  // text computed as an expression (on the calling thread's translator),
  // raising "Expression: %s error" when it cannot be. A computed 0, 0.0,
  // character 0, empty text or date-time 0 gives Null while the global
  // option ZeroAsNull is on; booleans never do.
  TVariant GetFieldValue(const TVariant& field) override;

  // ---- The engine dataset ----
  // The engine dataset (owned by this dataset; never null). The database
  // kinds first make sure it is the one their connection parameters call
  // for (error data put in place with SetDataSet is kept as it is).
  virtual TDataSet* GetDataset();
  // Puts `dataSet` in place of the engine dataset (closing and freeing the
  // old one) and binds its notifications to this dataset.
  void SetDataSet(std::unique_ptr<TDataSet> dataSet);
  // The handle under which the database functions reach the engine dataset.
  int64_t DataSetHandle() const;

  // ---- Notifications of the engine dataset ----
  virtual void DataSetBeforeOpen(TDataSet& dataSet);
  // Redefines the variables from the open fields, takes the field
  // definitions over into FieldDefs (creating it when missing) and resets
  // the current row.
  virtual void DataSetAfterOpen(TDataSet& dataSet);
  // Resets the current row and lets the connection go.
  virtual void DataSetAfterClose(TDataSet& dataSet);
  virtual void DataSetBeforeClose(TDataSet& dataSet);

  // ---- Destination operations ----
  // Removes every record of the destination.
  virtual void EmptyData();
  // Makes the connection ready (nothing for kinds without one).
  virtual void InitDatabase();
  // Moves to the first record whose key fields (";"-separated) hold
  // `keyValues` (an array for several keys); true when found.
  virtual bool LocateRecord(const std::string& keyFields, const TVariant& keyValues, TLocateOptions options);
  // Whether a DB link may write into this kind (tables yes; text files and queries no).
  virtual bool CanBeDest() const { return false; }

  // The variable list (owned by this dataset; never null). While it is
  // empty (the dataset was never opened), it is first filled with an empty
  // text variable named Name and one per stored field definition named
  // Name "." field name, so that expressions can be translated and checked.
  TVarList* GetVarList();
  // The engine dataset's "TableName", else its "SQL" text.
  std::string GetTableName();

  void SetDataBaseInfo(const TDataBaseInfo* value);
  void SetFieldDefs(const TKVFieldDefs* value);
  void SetVarList(const TVarList* value);

  // `path` resolved through OwnerLink (as it is without an owner). The
  // stored TableName and Path are never rewritten: only what is opened.
  std::string ResolvePath(const std::string& path) const;
  // DataBaseInfo as a connection is made with it: for a file-database
  // driver (not an alias) the Path resolved through ResolvePath.
  std::unique_ptr<TDataBaseInfo> ResolvedDataBaseInfo() const;

  // The connection the engine dataset stands on while it is open; null otherwise.
  const std::shared_ptr<TDbConnection>& Connection() const { return connection_; }

  IDataSetOwner* OwnerLink = nullptr;  // set by the DB link that uses the dataset; not owned
  ObjPtr<TDataBaseInfo> DataBaseInfo;  // never null outside loading
  ObjPtr<TKVFieldDefs> FieldDefs;      // null until defined or taken from an open dataset
  TImportMode ImportMode = imAppend;
  // Records written between two commits of a destination; 0 or less: one
  // transaction for the whole run. Stored even when 0, so that it reads
  // back as 0 and not as the default.
  int32_t PostRecords = kDefaultPostRecords;
  TTablePurpose Purpose = 0;

protected:
  // Whether the engine dataset holds error data put in place for
  // re-transfer: a TKVMemDataSet of that very class (its subclasses, such
  // as the client datasets of the Oracle kinds, are engine datasets).
  bool HoldsErrorData() const;
  // Puts a new engine dataset in place when `fits` says the current one does not fit.
  void EnsureDataSet(const std::function<bool(const TDataSet&)>& fits,
                     const std::function<std::unique_ptr<TDataSet>()>& make);
  TDataSet& CurrentDataSet() const { return *dataSet_; }
  // Receives the engine dataset SetDataSet replaced (closed); the default lets it go.
  virtual void DataSetReplaced(std::unique_ptr<TDataSet> old);
  void SetConnection(std::shared_ptr<TDbConnection> connection) { connection_ = std::move(connection); }
  void AfterLoad(TFiler& filer) override;

private:
  void BindNotifications(TDataSet& dataSet);
  void DefineVariables();
  TVariant ComputeExpression(const std::string& text);

  std::unique_ptr<TDataSet> dataSet_;
  std::unique_ptr<TDataSetCursor> cursor_;
  std::shared_ptr<TDbConnection> connection_;
  ObjPtr<TDBVarList> varList_;
  std::unique_ptr<TExpression> expression_;
  std::string expressionText_;
};

// EDataSetCanotBeDest ("DataSet:%s canot be target!") unless `dataSet` is
// a kind a DB link may write into.
KVCORE_EXPORT void CheckCanBeDest(const TKVBaseDataSet& dataSet);

}  // namespace kv
