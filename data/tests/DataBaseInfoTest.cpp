// The stored settings of the database dataset kinds: connection parameters
// and field and index definitions, their exact stored bytes, copies, what
// reads back from incomplete or cut streams, and the conversion to and from
// the engine's definitions.
#include <gtest/gtest.h>

#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/DataBaseInfo.h"
#include "data/DatabaseError.h"
#include "data/KVFieldDefs.h"
#include "foundation/Exceptions.h"
#include "foundation/ObjectStream.h"
#include "foundation/ObjectText.h"
#include "testsupport/Errors.h"

using namespace kv;
using kvtest::ErrorOf;

namespace {

std::string Bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s += static_cast<char>(b);
  return s;
}
// A short name string: its length byte and its bytes.
std::string Name(std::string_view s) { return static_cast<char>(s.size()) + std::string(s); }
// A stored text entry.
std::string Str(std::string_view name, std::string_view value) {
  return Name(name) + Bytes({0x06, static_cast<int>(value.size())}) + std::string(value);
}

std::string Write(const TBaseObject& obj) {
  TMemoryStream m;
  StreamWriteObject(m, &obj);
  return m.Bytes();
}

template <class T>
std::unique_ptr<T> Read(const std::string& bytes) {
  TMemoryStream m(bytes);
  std::unique_ptr<TBaseObject> obj(StreamReadObject(m));
  T* typed = ObjCast<T>(obj.get());
  if (!typed) return nullptr;
  obj.release();
  return std::unique_ptr<T>(typed);
}

const char* kPassword = "pa55-Secret";

void Configure(TDataBaseInfo& info) {
  info.ConnectType = ctAlias;
  info.AliasName = "Sales";
  info.DriverName = "SQLITE";
  info.ServerName = "srv";
  info.DataBaseName = "shop";
  info.HostName = "host1";
  info.Path = "/data";
  info.UserName = "scott";
  info.PassWord = kPassword;
  info.DBConnected = true;
}

std::string ConfiguredInfoBytes() {
  TDataBaseInfo info;
  Configure(info);
  return Write(info);
}

void ExpectSameInfo(const TDataBaseInfo& a, const TDataBaseInfo& b) {
  EXPECT_EQ(a.ConnectType, b.ConnectType);
  EXPECT_EQ(a.AliasName, b.AliasName);
  EXPECT_EQ(a.DriverName, b.DriverName);
  EXPECT_EQ(a.ServerName, b.ServerName);
  EXPECT_EQ(a.DataBaseName, b.DataBaseName);
  EXPECT_EQ(a.HostName, b.HostName);
  EXPECT_EQ(a.Path, b.Path);
  EXPECT_EQ(a.UserName, b.UserName);
  EXPECT_EQ(a.PassWord, b.PassWord);
  EXPECT_EQ(a.DBConnected, b.DBConnected);
}

TKVFieldDef* AddField(TKVFieldDefs& defs, const std::string& name, uint8_t type, int32_t size, int32_t precision,
                      TFieldAttributes attributes, const std::string& typeName) {
  TKVFieldDef* def = defs.AddFieldDef(name);
  def->DataType = type;
  def->Size = size;
  def->Precision = precision;
  def->Attributes = attributes;
  def->DataTypeName = typeName;
  return def;
}

}  // namespace

// ---- TDataBaseInfo ---------------------------------------------------------------------------

TEST(DataBaseInfo, StoredBytesInOrderPathBeforeHostName) {
  TDataBaseInfo configured;
  Configure(configured);
  const std::string bytes = Write(configured);
  EXPECT_EQ(bytes, "TPF0" + Name("TDataBaseInfo") + Bytes({0}) + Name("ConnectType") + Bytes({0x02, 1}) +
                       Str("AliasName", "Sales") + Str("DriverName", "SQLITE") + Str("ServerName", "srv") +
                       Str("DataBaseName", "shop") + Str("Path", "/data") + Str("HostName", "host1") +
                       Str("UserName", "scott") + Str("PassWord", kPassword) + Name("DBConnected") +
                       Bytes({0x09}) + Bytes({0, 0}));
  // The text form and back gives the same bytes.
  const std::string text = ObjectBinaryToText(bytes);
  EXPECT_EQ(ObjectTextToBinary(text), bytes);
  auto back = Read<TDataBaseInfo>(bytes);
  ASSERT_TRUE(back);
  ExpectSameInfo(*back, configured);
}

TEST(DataBaseInfo, ANewInfoStoresOnlyTheFlag) {
  TDataBaseInfo info;
  EXPECT_EQ(Write(info),
            "TPF0" + Name("TDataBaseInfo") + Bytes({0}) + Name("DBConnected") + Bytes({0x08}) + Bytes({0, 0}));
}

TEST(DataBaseInfo, AssignCopiesEverything) {
  TDataBaseInfo configured;
  Configure(configured);
  TDataBaseInfo copy;
  copy.Assign(&configured);
  ExpectSameInfo(copy, configured);
  // Assigning the defaults back clears every member.
  TDataBaseInfo empty;
  copy.Assign(&empty);
  ExpectSameInfo(copy, empty);
  TKVIndexDef other;
  EXPECT_NE(ErrorOf<EConvertError>([&] { copy.Assign(&other); }), "(no error)");
}

TEST(DataBaseInfo, MissingEntriesKeepTheDefaults) {
  struct Case {
    const char* text;
    TConnectType connectType;
    std::string user;
    std::string path;
    bool connected;
  };
  const Case cases[] = {
      {"object TDataBaseInfo\nend\n", ctDBParams, "", "", false},
      {"object TDataBaseInfo\n  UserName = 'u'\nend\n", ctDBParams, "u", "", false},
      {"object TDataBaseInfo\n  ConnectType = 2\n  Path = '/p'\nend\n", ctOracle, "", "/p", false},
      // An entry this class does not know is skipped.
      {"object TDataBaseInfo\n  Other = 'x'\n  DBConnected = True\nend\n", ctDBParams, "", "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto info = Read<TDataBaseInfo>(ObjectTextToBinary(c.text));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->ConnectType, c.connectType);
    EXPECT_EQ(info->UserName, c.user);
    EXPECT_EQ(info->Path, c.path);
    EXPECT_EQ(info->DBConnected, c.connected);
    EXPECT_EQ(info->AliasName, "");
    EXPECT_EQ(info->PassWord, "");
  }
}

// Every cut of a stored object raises a read error, and no error names the password.
TEST(DataBaseInfo, CutStreamsRaiseAReadError) {
  std::vector<std::string> streams = {ConfiguredInfoBytes()};
  TKVFieldDefs defs;
  AddField(defs, "Amount", ftBCD, 10, 2, 1 << faRequired, "NUMERIC");
  streams.push_back(Write(defs));
  for (const std::string& full : streams) {
    for (size_t n = 0; n < full.size(); ++n) {
      SCOPED_TRACE(n);
      const std::string message = ErrorOf([&] { Read<TBaseObject>(full.substr(0, n)); });
      EXPECT_NE(message, "(no error)");
      EXPECT_EQ(message.find(kPassword), std::string::npos);
    }
  }
}

// ---- Field definitions ----------------------------------------------------------------------

TEST(KVFieldDef, StoredBytesInOrder) {
  TKVFieldDef def;
  def.Name = "Amount";
  def.Precision = 2;
  def.FieldNo = 3;
  def.Size = 300;
  def.InternalCalcField = true;
  def.DataType = ftBCD;
  def.DataTypeName = "NUMERIC";
  def.Attributes = 1 << faRequired;
  EXPECT_EQ(Write(def), "TPF0" + Name("TKVFieldDef") + Bytes({0}) + Str("FName", "Amount") + Name("FPrecision") +
                            Bytes({0x02, 2}) + Name("FFieldNo") + Bytes({0x02, 3}) + Name("FSize") +
                            Bytes({0x03, 0x2C, 0x01}) + Name("FInternalCalcField") + Bytes({0x09}) +
                            Name("FDataType") + Bytes({0x02, ftBCD}) + Str("DataTypeName", "NUMERIC") +
                            Name("FAttributes") + Bytes({0x0A, 1, 0, 0, 0, 0x04}) + Bytes({0, 0}));
}

TEST(KVFieldDefs, ListStreamRoundTrip) {
  TKVFieldDefs defs;
  AddField(defs, "ID", ftInteger, 0, 0, 1 << faRequired, "INTEGER")->FieldNo = 1;
  AddField(defs, "Name", ftString, 40, 0, 0, "VARCHAR(40)")->FieldNo = 2;
  AddField(defs, "Odd", 200, 0, 0, 0, "")->FieldNo = 3;  // an unknown code is kept as it is
  const std::string bytes = Write(defs);
  EXPECT_EQ(ObjectTextToBinary(ObjectBinaryToText(bytes)), bytes);
  auto back = Read<TKVFieldDefs>(bytes);
  ASSERT_TRUE(back);
  ASSERT_EQ(back->Count(), 3);
  EXPECT_EQ(Write(*back), bytes);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    ASSERT_NE(back->GetObj(i), nullptr);
    EXPECT_EQ(back->Strings(i), defs.Strings(i));
    EXPECT_EQ(back->GetObj(i)->Name, defs.GetObj(i)->Name);
    EXPECT_EQ(back->GetObj(i)->DataType, defs.GetObj(i)->DataType);
    EXPECT_EQ(back->GetObj(i)->Size, defs.GetObj(i)->Size);
    EXPECT_EQ(back->GetObj(i)->FieldNo, i + 1);
    EXPECT_EQ(back->GetObj(i)->Attributes, defs.GetObj(i)->Attributes);
    EXPECT_EQ(back->GetObj(i)->DataTypeName, defs.GetObj(i)->DataTypeName);
  }
  // A copy is a deep copy with the same stored form.
  TKVFieldDefs copy;
  copy.Assign(&defs);
  EXPECT_EQ(Write(copy), bytes);
  EXPECT_NE(copy.GetObj(0), defs.GetObj(0));
}

TEST(KVFieldDef, AssignCopiesEverythingAndMissingEntriesKeepDefaults) {
  TKVFieldDef def;
  def.Name = "A";
  def.Precision = 4;
  def.FieldNo = 7;
  def.Size = 12;
  def.InternalCalcField = true;
  def.DataType = ftFMTBcd;
  def.DataTypeName = "NUMBER";
  def.Attributes = 0x25;
  TKVFieldDef copy;
  copy.Assign(&def);
  EXPECT_EQ(Write(copy), Write(def));

  auto partial = Read<TKVFieldDef>(ObjectTextToBinary("object TKVFieldDef\n  FName = 'B'\n  FSize = 9\nend\n"));
  ASSERT_TRUE(partial);
  EXPECT_EQ(partial->Name, "B");
  EXPECT_EQ(partial->Size, 9);
  EXPECT_EQ(partial->Precision, 0);
  EXPECT_EQ(partial->FieldNo, 0);
  EXPECT_FALSE(partial->InternalCalcField);
  EXPECT_EQ(partial->DataType, ftUnknown);
  EXPECT_EQ(partial->DataTypeName, "");
  EXPECT_EQ(partial->Attributes, 0);
}

TEST(KVFieldDefs, FindFieldIsExactAndCaseSensitive) {
  TKVFieldDefs defs;
  defs.AddFieldDef("Amount");
  defs.AddFieldDef("amount2");
  struct Case {
    const char* name;
    int found;  // index, or -1 for none
  };
  const Case cases[] = {{"Amount", 0}, {"amount2", 1}, {"amount", -1}, {"AMOUNT", -1},
                        {"Amoun", -1}, {"Amount ", -1}, {"", -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TKVFieldDef* def = defs.FindField(c.name);
    EXPECT_EQ(def, c.found < 0 ? nullptr : defs.GetObj(c.found));
  }
  TKVFieldDefs empty;
  EXPECT_EQ(empty.FindField("Amount"), nullptr);
}

// ---- Index definitions ----------------------------------------------------------------------

TEST(KVIndexDefs, AddIndexDefAddsAnEmptyOwnedDefinition) {
  TKVIndexDefs defs;
  TKVIndexDef* a = defs.AddIndexDef();
  TKVIndexDef* b = defs.AddIndexDef();
  ASSERT_EQ(defs.Count(), 2);
  EXPECT_NE(a, b);
  EXPECT_EQ(defs.GetObj(0), a);
  EXPECT_EQ(defs.GetObj(1), b);
  EXPECT_EQ(defs.Strings(0), "");
  EXPECT_EQ(a->Name, "");
  EXPECT_EQ(a->FieldExpression, "");
  EXPECT_EQ(a->Options, 0);
  EXPECT_EQ(a->GroupingLevel, 0);
  // A new definition stores nothing but its class.
  EXPECT_EQ(Write(*a), "TPF0" + Name("TKVIndexDef") + Bytes({0, 0, 0}));
}

TEST(KVIndexDef, StoredBytesInOrderAndRoundTrip) {
  TKVIndexDefs defs;
  TKVIndexDef* def = defs.AddIndexDef();
  def->Name = "ByCustomer";
  def->Source = "orders";
  def->FieldExpression = "Customer;Date";
  def->DescFields = "Date";
  def->CaseInsFields = "Customer";
  def->Options = (1 << ixUnique) | (1 << ixCaseInsensitive);
  def->GroupingLevel = 1;
  EXPECT_EQ(Write(*def), "TPF0" + Name("TKVIndexDef") + Bytes({0}) + Str("FName", "ByCustomer") +
                             Str("FSource", "orders") + Str("FFieldExpression", "Customer;Date") +
                             Str("FDescFields", "Date") + Str("FCaseInsFields", "Customer") + Name("FOptions") +
                             Bytes({0x0A, 1, 0, 0, 0, 0x0A}) + Name("FGroupingLevel") + Bytes({0x02, 1}) +
                             Bytes({0, 0}));
  const std::string bytes = Write(defs);
  auto back = Read<TKVIndexDefs>(bytes);
  ASSERT_TRUE(back);
  ASSERT_EQ(back->Count(), 1);
  EXPECT_EQ(Write(*back), bytes);
  TKVIndexDef copy;
  copy.Assign(def);
  EXPECT_EQ(Write(copy), Write(*def));
}

// ---- Conversion to and from the engine's definitions -------------------------------------

TEST(KVFieldDefs, HandOverGivesNameTypeSizeRequiredAndTypeName) {
  TKVFieldDefs defs;
  struct Case {
    const char* name;
    uint8_t code;
    int32_t size;
    int32_t precision;
    TFieldAttributes attributes;
    const char* typeName;
    TFieldType type;
    bool required;
  };
  const Case cases[] = {
      {"ID", 3, 0, 0, 1 << faRequired, "INTEGER", ftInteger, true},
      {"Name", 1, 40, 0, 0, "VARCHAR(40)", ftString, false},
      // Only the required bit of the attributes is handed over.
      {"Flags", 5, 0, 0, (1 << faReadonly) | (1 << faHiddenCol), "", ftBoolean, false},
      {"Price", 37, 12, 2, (1 << faRequired) | (1 << faFixed), "NUMERIC(12,2)", ftFMTBcd, true},
      {"Big", 25, 0, 0, 0, "BIGINT", ftLargeint, false},
      {"Unknown", 0, 0, 0, 0, "", ftUnknown, false},
  };
  for (const Case& c : cases) {
    TKVFieldDef* def = AddField(defs, c.name, c.code, c.size, c.precision, c.attributes, c.typeName);
    def->FieldNo = 99;
    def->InternalCalcField = true;
  }
  TFieldDefs engine;
  defs.HandOver(engine);
  ASSERT_EQ(engine.Count(), static_cast<int>(std::size(cases)));
  for (int i = 0; i < engine.Count(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    EXPECT_EQ(engine[i].Name, c.name);
    EXPECT_EQ(engine[i].DataType, c.type);
    EXPECT_EQ(engine[i].Size, c.size);
    EXPECT_EQ(engine[i].Precision, c.precision);
    EXPECT_EQ(engine[i].Required(), c.required);
    EXPECT_EQ(engine[i].Attributes, c.required ? 1 << faRequired : 0);
    EXPECT_EQ(engine[i].DataTypeName, c.typeName);
    EXPECT_EQ(engine[i].FieldNo, i + 1);
    EXPECT_FALSE(engine[i].InternalCalcField);
  }
}

TEST(KVFieldDefs, HandOverRefusesBadDefinitionsAndLeavesTheTargetAsItWas) {
  struct Case {
    std::vector<std::pair<std::string, uint8_t>> fields;
    std::string error;
  };
  const Case cases[] = {
      {{{"A", 3}, {"B", 38}}, "Field 'B' has an unknown field type code 38"},
      {{{"Blob", 255}}, "Field 'Blob' has an unknown field type code 255"},
      {{{"A", 3}, {"a", 1}}, "Duplicate field name 'a'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    TKVFieldDefs defs;
    for (const auto& [name, code] : c.fields) AddField(defs, name, code, 0, 0, 0, "");
    TFieldDefs engine;
    engine.Add("Keep", ftString, 5);
    EXPECT_EQ(ErrorOf<EDatabaseError>([&] { defs.HandOver(engine); }), c.error);
    ASSERT_EQ(engine.Count(), 1);
    EXPECT_EQ(engine[0].Name, "Keep");
  }
}

TEST(KVFieldDefs, TakeBackCopiesEveryMemberAndRoundTrips) {
  TFieldDefs engine;
  TFieldDef a;
  a.Name = "Amount";
  a.DataType = ftBCD;
  a.Size = 10;
  a.Precision = 2;
  a.FieldNo = 1;
  a.InternalCalcField = true;
  a.Attributes = (1 << faRequired) | (1 << faReadonly);
  a.DataTypeName = "DECIMAL(10,2)";
  engine.Add(a);
  engine.Add("Note", ftMemo).DataTypeName = "TEXT";
  TKVFieldDefs defs;
  AddField(defs, "Old", ftString, 1, 0, 0, "");
  defs.TakeBack(engine);
  ASSERT_EQ(defs.Count(), 2);
  EXPECT_EQ(defs.FindField("Old"), nullptr);
  EXPECT_EQ(defs.Strings(0), "Amount");
  const TKVFieldDef* d = defs.FindField("Amount");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->DataType, ftBCD);
  EXPECT_EQ(d->Size, 10);
  EXPECT_EQ(d->Precision, 2);
  EXPECT_EQ(d->FieldNo, 1);
  EXPECT_TRUE(d->InternalCalcField);
  EXPECT_EQ(d->Attributes, (1 << faRequired) | (1 << faReadonly));
  EXPECT_TRUE(d->Required());
  EXPECT_EQ(d->DataTypeName, "DECIMAL(10,2)");
  ASSERT_NE(defs.FindField("Note"), nullptr);
  EXPECT_EQ(defs.FindField("Note")->DataType, ftMemo);
  EXPECT_EQ(defs.FindField("Note")->FieldNo, 2);

  // Back again through a stored stream: the engine sees the same columns.
  auto stored = Read<TKVFieldDefs>(Write(defs));
  ASSERT_TRUE(stored);
  TFieldDefs again;
  stored->HandOver(again);
  ASSERT_EQ(again.Count(), 2);
  EXPECT_EQ(again[0].Name, "Amount");
  EXPECT_EQ(again[0].DataType, ftBCD);
  EXPECT_EQ(again[0].Size, 10);
  EXPECT_EQ(again[0].Precision, 2);
  EXPECT_TRUE(again[0].Required());
  EXPECT_EQ(again[0].DataTypeName, "DECIMAL(10,2)");
  EXPECT_EQ(again[1].DataTypeName, "TEXT");
  EXPECT_FALSE(again[1].Required());
}

TEST(KVFieldDefs, EveryEngineTypeCodeConverts) {
  for (int code = 0; code < 256; ++code) {
    SCOPED_TRACE(code);
    const std::string error = ErrorOf<EDatabaseError>([&] { FieldTypeOfCode(static_cast<uint8_t>(code), "F"); });
    if (code < kFieldTypeCount) {
      EXPECT_EQ(error, "(no error)");
      EXPECT_EQ(FieldTypeOfCode(static_cast<uint8_t>(code), "F"), static_cast<TFieldType>(code));
    } else {
      EXPECT_EQ(error, "Field 'F' has an unknown field type code " + std::to_string(code));
    }
  }
}

TEST(KVIndexDefs, HandOverUsesTheIndxNameAndTakeBackKeepsAllSeven) {
  TKVIndexDefs defs;
  TKVIndexDef* d = defs.AddIndexDef();
  d->Name = "ByDate";
  d->Source = "orders";
  d->FieldExpression = "Date;ID";
  d->DescFields = "Date";
  d->CaseInsFields = "ID";
  d->Options = 1 << ixDescending;
  d->GroupingLevel = 2;
  defs.AddIndexDef()->FieldExpression = "ID";
  TIndexDefs engine;
  engine.Add("Old", "X");
  defs.HandOver(engine);
  ASSERT_EQ(engine.Count(), 2);
  EXPECT_EQ(engine[0].Name, "ByDateIndx");
  EXPECT_EQ(engine[0].Fields, "Date;ID");
  EXPECT_EQ(engine[0].Options, 1 << ixDescending);
  EXPECT_EQ(engine[0].Source, "");
  EXPECT_EQ(engine[0].DescFields, "");
  EXPECT_EQ(engine[0].GroupingLevel, 0);
  EXPECT_EQ(engine[1].Name, "Indx");
  EXPECT_EQ(engine[1].Fields, "ID");

  TIndexDefs from;
  TIndexDef& i = from.Add("PK", "ID", 1 << ixPrimary);
  i.Source = "t";
  i.DescFields = "ID";
  i.CaseInsFields = "C";
  i.GroupingLevel = 3;
  TKVIndexDefs back;
  back.AddIndexDef();
  back.TakeBack(from);
  ASSERT_EQ(back.Count(), 1);
  EXPECT_EQ(back.Strings(0), "PK");
  const TKVIndexDef* b = back.GetObj(0);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->Name, "PK");
  EXPECT_EQ(b->Source, "t");
  EXPECT_EQ(b->FieldExpression, "ID");
  EXPECT_EQ(b->DescFields, "ID");
  EXPECT_EQ(b->CaseInsFields, "C");
  EXPECT_EQ(b->Options, 1 << ixPrimary);
  EXPECT_EQ(b->GroupingLevel, 3);
}

TEST(DataBaseInfo, ClassesAreRegistered) {
  for (const char* name : {"TDataBaseInfo", "TKVFieldDef", "TKVFieldDefs", "TKVIndexDef", "TKVIndexDefs"}) {
    SCOPED_TRACE(name);
    ASSERT_NE(FindClass(name), nullptr);
    EXPECT_EQ(std::string(FindClass(name)->Name), name);
  }
}
