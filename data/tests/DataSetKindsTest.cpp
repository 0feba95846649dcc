// The dataset kinds a job holds: names at creation, stored forms and their
// exact text, copies, the variable list seen before a dataset opens, the
// destination check, driver classifications, and the Oracle statements.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/CustomDataSet.h"
#include "data/OracleDataSets.h"
#include "data/QueryDataSet.h"
#include "data/TableDataSets.h"
#include "data/TextDataSet.h"
#include "data/TextFileDataset.h"
#include "data/DataEngines.h"
#include "data/Connections.h"
#include "environment/CoreMessages.h"
#include "expression/VarList.h"
#include "foundation/ObjectText.h"
#include "testsupport/TempFiles.h"
#include "testsupport/Errors.h"
#include "testsupport/ObjectBytes.h"
#include "testsupport/TestData.h"

using namespace kv;
using kvtest::ErrorOf;
using kvtest::ReadObjectBytes;
using kvtest::WriteObjectBytes;

namespace {

void ConfigureCustom(TKVCustomDataSet& d) {
  d.Name = "Orders";
  d.Description = "Orders of the shop";
  d.TableName = "orders";
  d.DatasetKeys = "ID;CODE";
  d.DataBaseInfo->DriverName = "SQLITE";
  d.DataBaseInfo->Path = "/data/shop.db";
  d.DataBaseInfo->UserName = "clerk";
  d.DataBaseInfo->PassWord = "s3cret";
  d.FieldDefs.reset(new TKVFieldDefs);
  TKVFieldDef* id = d.FieldDefs->AddFieldDef("ID");
  id->DataType = ftLargeint;
  id->DataTypeName = "INTEGER";
  id->Attributes = static_cast<TFieldAttributes>(1u << faRequired);
  TKVFieldDef* code = d.FieldDefs->AddFieldDef("CODE");
  code->DataType = ftString;
  code->Size = 12;
  code->DataTypeName = "VARCHAR(12)";
  d.ImportMode = imAppendUpdate;
  d.PostRecords = 250;
  d.Purpose = TablePurposeBit(ttDest);
}

void ConfigureTable(TKVCustomTableDataSet& d) {
  ConfigureCustom(d);
  d.IndexDefs.reset(new TKVIndexDefs);
  TKVIndexDef* pk = d.IndexDefs->AddIndexDef();
  pk->Name = "PK";
  pk->FieldExpression = "ID;CODE";
  pk->Options = static_cast<TIndexOptions>(1u << ixPrimary);
  d.NewTable = true;
  d.TableType = 2;
}

struct KindCase {
  const char* className;
  const char* nameAtCreation;
  std::function<std::unique_ptr<TKVCustomDataSet>()> make;
  std::function<void(TKVCustomDataSet&)> configure;
};

std::vector<KindCase> Kinds() {
  auto table = [](TKVCustomDataSet& d) { ConfigureTable(static_cast<TKVCustomTableDataSet&>(d)); };
  return {
      {"TKVCustomDataSet", "", [] { return std::make_unique<TKVCustomDataSet>(); }, ConfigureCustom},
      {"TKVQueryDataSet", "Query", [] { return std::make_unique<TKVQueryDataSet>(); },
       [](TKVCustomDataSet& d) {
         ConfigureCustom(d);
         static_cast<TKVQueryDataSet&>(d).SQL->SetText("select *\nfrom orders\nwhere ID > 5");
       }},
      {"TKVCustomTableDataSet", "Table", [] { return std::make_unique<TKVCustomTableDataSet>(); }, table},
      {"TKVTableDataSet", "Table", [] { return std::make_unique<TKVTableDataSet>(); }, table},
      {"TKVODBCDataSet", "ODBC", [] { return std::make_unique<TKVODBCDataSet>(); }, table},
      {"TKVFileDBDataSet", "FileDB", [] { return std::make_unique<TKVFileDBDataSet>(); }, table},
      {"TKVTextDataSet", "Text", [] { return std::make_unique<TKVTextDataSet>(); },
       [](TKVCustomDataSet& d) {
         ConfigureCustom(d);
         TTextFileDataset& text = static_cast<TKVTextDataSet&>(d).TextFile();
         text.SetTableName("/data/orders.csv");
         text.SetColumnSeperator(";");
         text.SetExtractColumnNamesFromFirstLine(true);
         text.SetSkipRows(2);
         text.SetEncoding("GBK");
       }},
      {"TDBExpressDataSet", "Table", [] { return std::make_unique<TDBExpressDataSet>(); }, table},
      {"TKVOracleDataSet", "ORA", [] { return std::make_unique<TKVOracleDataSet>(); }, table},
  };
}

TEST(DataSetKinds, EachKindHasItsNameAndIsCreatedByItsRegisteredClassName) {
  for (const KindCase& k : Kinds()) {
    SCOPED_TRACE(k.className);
    auto d = k.make();
    EXPECT_EQ(d->Name, k.nameAtCreation);
    EXPECT_STREQ(d->ClassName(), k.className);
    const TClassInfo* info = FindClass(k.className);
    ASSERT_NE(info, nullptr);
    std::unique_ptr<TObject> made = info->Create();
    EXPECT_STREQ(made->ClassName(), k.className);
  }
  for (const char* other : {"TDataBaseInfo", "TKVFieldDef", "TKVFieldDefs", "TKVIndexDef", "TKVIndexDefs",
                            "TTextFileDatasetInfo"}) {
    EXPECT_NE(FindClass(other), nullptr) << other;
  }
}

TEST(DataSetKinds, EveryKindReadsBackWhatItStoredAndWritesTheSameBytesAgain) {
  for (const KindCase& k : Kinds()) {
    SCOPED_TRACE(k.className);
    auto d = k.make();
    k.configure(*d);
    const std::string bytes = WriteObjectBytes(*d);
    auto back = ReadObjectBytes<TKVCustomDataSet>(bytes);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->Name, "Orders");
    EXPECT_EQ(back->ImportMode, imAppendUpdate);
    EXPECT_EQ(back->PostRecords, 250);
    EXPECT_EQ(back->Purpose, TablePurposeBit(ttDest));
    EXPECT_EQ(back->DataBaseInfo->PassWord, "s3cret");
    ASSERT_NE(back->FieldDefs.get(), nullptr);
    ASSERT_EQ(back->FieldDefs->Count(), 2);
    EXPECT_EQ(back->FieldDefs->GetObj(1)->DataTypeName, "VARCHAR(12)");
    EXPECT_EQ(WriteObjectBytes(*back), bytes);
  }
}

TEST(DataSetKinds, AssignCopiesEverySettingOfTheSameKind) {
  for (const KindCase& k : Kinds()) {
    SCOPED_TRACE(k.className);
    auto source = k.make();
    k.configure(*source);
    auto copy = k.make();
    copy->Assign(source.get());
    EXPECT_EQ(WriteObjectBytes(*copy), WriteObjectBytes(*source));
    // A copy is a copy: changing the source's definitions leaves it alone.
    source->FieldDefs->GetObj(0)->Name = "CHANGED";
    source->DataBaseInfo->Path = "/elsewhere.db";
    EXPECT_EQ(copy->FieldDefs->GetObj(0)->Name, "ID");
    EXPECT_EQ(copy->DataBaseInfo->Path, "/data/shop.db");
  }
}

TEST(DataSetKinds, AConfiguredFileDatabaseTableIsStoredExactlyAsExpected) {
  TKVFileDBDataSet d;
  ConfigureTable(d);
  const std::string expected =
      kvtest::ReadFile(kvtest::TestDataFolder() + "/kinds/filedb_table_stream.txt");
  EXPECT_EQ(ObjectBinaryToText(WriteObjectBytes(d)), expected);
  // The text form holds every byte: it converts back to exactly the stored bytes.
  EXPECT_EQ(ObjectTextToBinary(expected), WriteObjectBytes(d));
}

TEST(DataSetKinds, PostRecordsOfZeroReadsBackAsZeroNotAsTheDefault) {
  TKVFileDBDataSet d;
  d.PostRecords = 0;
  EXPECT_EQ(ReadObjectBytes<TKVFileDBDataSet>(WriteObjectBytes(d))->PostRecords, 0);
  TKVFileDBDataSet fresh;
  EXPECT_EQ(fresh.PostRecords, 100);
}

TEST(DataSetKinds, TheTextKindStoresItsTextFileSettingsAndAppliesThemWhenRead) {
  TKVTextDataSet d;
  d.TextFile().SetTableName("/data/in.txt");
  d.TextFile().SetColumnWidths("3;5");
  d.TextFile().SetTextFileType(tftFixedWidths);
  auto back = ReadObjectBytes<TKVTextDataSet>(WriteObjectBytes(d));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->TextFile().TableName(), "/data/in.txt");
  EXPECT_EQ(back->TextFile().ColumnWidths(), "3;5");
  EXPECT_EQ(back->TextFile().TextFileType(), tftFixedWidths);
  EXPECT_EQ(back->GetTableName(), "/data/in.txt");
}

TEST(DataSetKinds, GetVarListBeforeOpeningHoldsTheDatasetAndOneTextVariablePerField) {
  TKVFileDBDataSet d;
  d.Name = "Orders";
  d.FieldDefs.reset(new TKVFieldDefs);
  d.FieldDefs->AddFieldDef("A");
  d.FieldDefs->AddFieldDef("B");
  TVarList* list = d.GetVarList();
  ASSERT_EQ(list->Count(), 3);
  EXPECT_EQ(list->Strings(0), "ORDERS");
  EXPECT_EQ(list->Strings(1), "ORDERS.A");
  EXPECT_EQ(list->Strings(2), "ORDERS.B");
  EXPECT_EQ(list->VarAt(1)->DataType, etString);
}

TEST(DataSetKinds, OnlyTablesMayBeDestinations) {
  TKVTextDataSet text;
  text.Name = "In";
  TKVQueryDataSet query;
  query.Name = "Q";
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { CheckCanBeDest(text); }), "DataSet:In canot be target!");
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { CheckCanBeDest(query); }), "DataSet:Q canot be target!");
  for (const KindCase& k : Kinds()) {
    auto d = k.make();
    const bool table = ObjCast<TKVCustomTableDataSet>(d.get()) != nullptr;
    EXPECT_EQ(d->CanBeDest(), table) << k.className;
  }
}

TEST(DataSetKinds, AKindThatCannotConnectFailsToOpenSayingWhy) {
  struct Case {
    TConnectType type;
    const char* driver;
    const char* message;
  };
  for (const Case& c : {// Server drivers and data sources go to the ODBC engine, which names what it could not reach.
                        Case{ctDBParams, "NOSUCH", "Cannot connect to ODBC driver 'NOSUCH': "},
                        Case{ctAlias, "", "Cannot connect to ODBC data source 'Sales': "}}) {
    TKVFileDBDataSet d;
    d.DataBaseInfo->ConnectType = c.type;
    d.DataBaseInfo->DriverName = c.driver;
    d.DataBaseInfo->AliasName = "Sales";
    d.TableName = "t";
    const std::string error = ErrorOf<EDatabaseError>([&] { d.BeforeImport(); });
    EXPECT_EQ(error.substr(0, std::string(c.message).size()), c.message) << error;
    EXPECT_FALSE(d.GetDataset()->Active());
  }
  // The Oracle kind goes to ODBC too: its server name names the data source.
  TKVOracleDataSet ora;
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { ora.BeforeImport(); }).find("server name"), std::string::npos);
  ora.DataBaseInfo->ServerName = "NoSuchOracle";
  ora.DataBaseInfo->PassWord = "s3cret";
  const std::string error = ErrorOf<EDatabaseError>([&] { ora.BeforeImport(); });
  EXPECT_EQ(error.rfind("Cannot connect to ODBC data source 'NoSuchOracle': ", 0), 0u) << error;
  EXPECT_EQ(error.find("s3cret"), std::string::npos) << error;
  EXPECT_FALSE(ora.GetDataset()->Active());
}

TEST(DataSetKinds, DriverNamesClassifyAsTheirDatabaseKinds) {
  struct Case {
    const char* driver;
    int type;
  };
  for (const Case& c : {Case{"Oracle in OraClient19", 0}, Case{"Microsoft Access Driver (*.mdb)", 1},
                        Case{"ODBC Driver 18 for SQL Server", 2}, Case{"Adaptive Server Enterprise SYBASE", 3},
                        Case{"IBM DB2 ODBC DRIVER", 4}, Case{"PostgreSQL Unicode", kDataBaseTypeOther},
                        Case{"", kDataBaseTypeUnknown}}) {
    EXPECT_EQ(DataBaseTypeOfDriver(c.driver), c.type) << c.driver;
  }
  EXPECT_EQ(GetDataBaseType("NoSuchAlias"), kDataBaseTypeUnknown);
  // The table type test is exact: a lower-case "paradox" gives the default type.
  EXPECT_EQ(TableTypeOfDriver("Paradox"), ttParadox);
  EXPECT_EQ(TableTypeOfDriver("paradox"), ttDefault);
  EXPECT_EQ(TableTypeOfDriver("dBase"), ttDBase);
  EXPECT_EQ(TableTypeOfDriver("FoxPro"), ttFoxPro);
}

TEST(DataSetKinds, ConnectionParametersNameTheDriverOrTheAlias) {
  TDataBaseInfo info;
  info.DriverName = "paradox";
  info.Path = "/data";
  info.ServerName = "srv";
  info.UserName = "u";
  info.PassWord = "p";
  TConnectionParams params = PrepareDBParams(info);
  EXPECT_EQ(params.DriverName, "STANDARD");
  EXPECT_EQ(params.Value("Path"), "/data");
  EXPECT_EQ(params.Value("User Name"), "u");
  EXPECT_EQ(params.Value("Password"), "p");
  info.DriverName = "postgresql";
  EXPECT_EQ(PrepareDBParams(info).DriverName, "POSTGRESQL");
  EXPECT_EQ(PrepareDBParams(info).Value("Server Name"), "srv");
  info.ConnectType = ctAlias;
  info.AliasName = "Sales";
  params = PrepareDBParams(info);
  EXPECT_EQ(params.AliasName, "Sales");
  EXPECT_EQ(params.DriverName, "");
  EXPECT_EQ(params.Value("Server Name"), "");
}

// ---- Oracle statements -----------------------------------------------------------------

TEST(OracleStatements, ADestinationWithKeysSelectsByNamedParameters) {
  TKVOracleDataSet d;
  d.TableName = "T";
  d.DatasetKeys = "ID;CODE";
  d.SetSelectSQL();
  EXPECT_EQ(d.QueryText, "select * from T ");  // a source selects everything
  d.Purpose = TablePurposeBit(ttDest);
  d.SetSelectSQL();
  EXPECT_EQ(d.QueryText, "select * from T  where  ID=:ID and CODE=:CODE");
  d.DatasetKeys = "";
  d.SetSelectSQL();
  EXPECT_EQ(d.QueryText, "select * from T ");
  d.SetPreSQL();
  EXPECT_EQ(d.QueryText, "select * from T ");
  EXPECT_EQ(d.EmptyDataSQL(), "delete from T");
}

TEST(OracleStatements, ColumnTypesFollowTheTypeName) {
  struct Case {
    const char* typeName;
    int size;
    int precision;
    const char* column;
  };
  for (const Case& c : {Case{"NUMBER", 10, 2, "Number(10, 2)"}, Case{"number", 10, 0, "Number(10)"},
                        Case{"NUMBER", 0, 0, "NUMBER"}, Case{"CHAR", 3, 0, "Char(3)"}, Case{"CHAR", 0, 0, "Char"},
                        Case{"DATE", 7, 0, "DATE"}, Case{"FLOAT", 126, 0, "FLOAT(126)"}, Case{"FLOAT", 0, 0, "FLOAT"},
                        Case{"LONG RAW", 0, 0, "LONG RAW"}, Case{"ROWID", 0, 0, "ROWID"},
                        Case{"VARCHAR2", 40, 0, "VARCHAR2(40)"}, Case{"NVARCHAR2", 0, 0, "VARCHAR2(4000)"}}) {
    TKVFieldDef f;
    f.DataTypeName = c.typeName;
    f.Size = c.size;
    f.Precision = c.precision;
    EXPECT_EQ(OracleColumnType(f), c.column) << c.typeName << " " << c.size;
  }
}

TEST(OracleStatements, CreateTableHasOneLinePerColumnAndThePrimaryKeyOfTheFirstIndex) {
  TKVOracleDataSet d;
  d.TableName = "PRICES";
  d.FieldDefs.reset(new TKVFieldDefs);
  TKVFieldDef* id = d.FieldDefs->AddFieldDef("ID");
  id->DataTypeName = "NUMBER";
  id->Size = 10;
  TKVFieldDef* price = d.FieldDefs->AddFieldDef("PRICE");
  price->DataTypeName = "NUMBER";
  price->Size = 10;
  price->Precision = 2;
  EXPECT_EQ(d.CreateTableSQL(), "create table PRICES (\n ID Number(10), \n PRICE Number(10, 2)\n)\n");
  d.IndexDefs.reset(new TKVIndexDefs);
  d.IndexDefs->AddIndexDef()->FieldExpression = "ID;PRICE";
  EXPECT_EQ(d.CreateTableSQL(),
            "create table PRICES (\n ID Number(10), \n PRICE Number(10, 2), \n"
            "  constraint PK_PRICES primary key (ID,PRICE)\n)\n");
}

}  // namespace
