// What the dataset-kind tests of the folder-table engines (dBase/FoxPro,
// Paradox) share: the FileDB table "orders" they create and write, and the
// rows a query over a folder returns.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "data/QueryDataSet.h"
#include "data/TableDataSets.h"

namespace kvtest {

// A FileDB dataset "Orders" on table "orders" of the folder `path` through
// `driver`, made when missing, with fields ID (of type `idType`), CODE
// (string of 6) and PRICE (FMTBcd 8,2). The caller owns it.
inline std::unique_ptr<kv::TKVFileDBDataSet> NewOrdersTable(const std::string& driver, const std::string& path,
                                                            kv::TFieldType idType, int32_t postRecords) {
  auto d = std::make_unique<kv::TKVFileDBDataSet>();
  d->Name = "Orders";
  d->DataBaseInfo->DriverName = driver;
  d->DataBaseInfo->Path = path;
  d->TableName = "orders";
  d->NewTable = true;
  d->PostRecords = postRecords;
  d->FieldDefs.reset(new kv::TKVFieldDefs);
  d->FieldDefs->AddFieldDef("ID")->DataType = idType;
  kv::TKVFieldDef* code = d->FieldDefs->AddFieldDef("CODE");
  code->DataType = kv::ftString;
  code->Size = 6;
  kv::TKVFieldDef* price = d->FieldDefs->AddFieldDef("PRICE");
  price->DataType = kv::ftFMTBcd;
  price->Size = 8;
  price->Precision = 2;
  return d;
}

// The rows of `sql` run through `driver` over the folder `path`, each row
// its fields joined by '|' (Null as "\N"). Fails the test when the query
// dataset is no TQuery (the engine's query dataset class).
template <class TQuery>
std::vector<std::string> FolderQueryRows(const std::string& sql, const std::string& driver, const std::string& path) {
  kv::TKVQueryDataSet q;
  q.DataBaseInfo->DriverName = driver;
  q.DataBaseInfo->Path = path;
  q.SQL->SetText(sql);
  q.BeforeImport();
  EXPECT_NE(kv::ObjCast<TQuery>(q.GetDataset()), nullptr);
  std::vector<std::string> rows;
  kv::TDataSet& ds = *q.GetDataset();
  for (ds.First(); !ds.Eof(); ds.Next()) {
    std::string row;
    for (int i = 0; i < ds.FieldCount(); ++i)
      row += (i ? "|" : "") + (ds.Fields(i).IsNull() ? "\\N" : ds.Fields(i).AsString());
    rows.push_back(row);
  }
  q.AfterImport();
  return rows;
}

}  // namespace kvtest
