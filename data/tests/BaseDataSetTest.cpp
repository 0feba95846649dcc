// The base dataset: defaults, the setters that keep the named choices and
// the characters in step, the empty record walk, copies, and the exact
// stored entries with what reads back from them.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "data/BaseDataSet.h"
#include "data/TextFileDataset.h"
#include "foundation/ObjectStream.h"
#include "foundation/ObjectText.h"

using namespace kv;

namespace {

std::string TextOf(const TBaseObject& obj) {
  TMemoryStream m;
  StreamWriteObject(m, &obj);
  return ObjectBinaryToText(m.Bytes());
}

template <class T>
std::unique_ptr<T> RoundTrip(const TBaseObject& obj) {
  TMemoryStream m;
  StreamWriteObject(m, &obj);
  m.SetPosition(0);
  std::unique_ptr<TBaseObject> back(StreamReadObject(m));
  T* typed = ObjCast<T>(back.get());
  if (typed) back.release();
  return std::unique_ptr<T>(typed);
}

// The data formats as a new object takes them in the "C" locale the tests run in.
const char* kDataFormatsText =
    "  object FDataFormats: TKVDataFormats\n"
    "    DateSeparator = '/'\n"
    "    TimeSeparator = ':'\n"
    "    FourDigitYear = False\n"
    "    LeadingZerosInDate = True\n"
    "    DecimalSeparator = '.'\n"
    "    BooleanTrue = 'True'\n"
    "    BooleanFalse = 'False'\n"
    "  end\n";

}  // namespace

TEST(BaseDataSet, Defaults) {
  TKVBaseDataSet ds;
  EXPECT_TRUE(ds.AnimatedStatus);
  EXPECT_EQ(ds.TitleStatus, "Importing...");
  EXPECT_EQ(ds.Options, 3);
  EXPECT_EQ(ds.FieldDelimiter(), fdTab);
  EXPECT_EQ(ds.FieldDelimiterCustom(), '\t');
  EXPECT_EQ(ds.TextQualifier(), tqQuot);
  EXPECT_EQ(ds.TextQualifierCustom(), '"');
  EXPECT_EQ(ds.RecordSeparator(), rsCRLF);
  EXPECT_EQ(ds.RecordSeparatorCustom(), "\r\n");
  EXPECT_EQ(ds.RowFirst, 1);
  EXPECT_EQ(ds.RowLast, 2147483647);
  EXPECT_EQ(ds.CurrentRow, 0);
  EXPECT_FALSE(ds.FFixed);
  ASSERT_TRUE(ds.DataFormats);
  EXPECT_EQ(ds.DataFormats->DateOrder, doMDY);
  EXPECT_EQ(ds.DataFormats->BooleanTrue, "True");
  EXPECT_EQ(ds.DataFormats->BooleanFalse, "False");
  EXPECT_EQ(ds.Extension(), ".KV");
  EXPECT_EQ(ds.FillFileFilters(), "All files (*.*)|*.*");
}

TEST(BaseDataSet, LocaleConventions) {
  TLocaleFormats c = LocaleFormatsFrom("%m/%d/%y", "%H:%M:%S", ".");
  EXPECT_EQ(c.DateSeparator, '/');
  EXPECT_FALSE(c.FourDigitYear);
  EXPECT_TRUE(c.LeadingZerosInDate);
  TLocaleFormats de = LocaleFormatsFrom("%d.%m.%Y", "%T", ",");
  EXPECT_EQ(de.DateSeparator, '.');
  EXPECT_EQ(de.TimeSeparator, ':');
  EXPECT_TRUE(de.FourDigitYear);
  EXPECT_EQ(de.DecimalSeparator, ',');
  TLocaleFormats iso = LocaleFormatsFrom("%F", "%H.%M", "");
  EXPECT_EQ(iso.DateSeparator, '-');
  EXPECT_EQ(iso.TimeSeparator, '.');
  EXPECT_TRUE(iso.FourDigitYear);
  EXPECT_EQ(iso.DecimalSeparator, '.');
  TLocaleFormats us = LocaleFormatsFrom("%e/%m/%Y", "%r", ".");
  EXPECT_FALSE(us.LeadingZerosInDate);
}

TEST(BaseDataSet, DelimiterSetters) {
  TKVBaseDataSet ds;
  ds.SetFieldDelimiterCustom(';');
  EXPECT_EQ(ds.FieldDelimiter(), fdSemicolon);
  ds.SetFieldDelimiterCustom('|');
  EXPECT_EQ(ds.FieldDelimiter(), fdCustom);
  ds.SetFieldDelimiter(fdCustom);
  EXPECT_EQ(ds.FieldDelimiterCustom(), '|');
  ds.SetFieldDelimiter(fdComma);
  EXPECT_EQ(ds.FieldDelimiterCustom(), ',');
  ds.SetFieldDelimiter(fdSpace);
  EXPECT_EQ(ds.FieldDelimiterCustom(), ' ');
  ds.SetFieldDelimiter(fdNone);
  EXPECT_EQ(ds.FieldDelimiterCustom(), 0);
  ds.SetFieldDelimiterCustom('\t');
  EXPECT_EQ(ds.FieldDelimiter(), fdTab);
  ds.SetFieldDelimiterCustom(0);
  EXPECT_EQ(ds.FieldDelimiter(), fdNone);
}

TEST(BaseDataSet, QualifierAndSeparatorSetters) {
  TKVBaseDataSet ds;
  ds.SetTextQualifierCustom('\'');
  EXPECT_EQ(ds.TextQualifier(), tqApos);
  ds.SetTextQualifierCustom(0);
  EXPECT_EQ(ds.TextQualifier(), tqNone);
  ds.SetTextQualifierCustom('`');
  EXPECT_EQ(ds.TextQualifier(), tqCustom);
  ds.SetTextQualifier(tqCustom);
  EXPECT_EQ(ds.TextQualifierCustom(), '`');
  ds.SetTextQualifier(tqQuot);
  EXPECT_EQ(ds.TextQualifierCustom(), '"');
  ds.SetRecordSeparatorCustom("\n\r");
  EXPECT_EQ(ds.RecordSeparator(), rsCustom);
  ds.SetRecordSeparatorCustom("\r\n");
  EXPECT_EQ(ds.RecordSeparator(), rsCRLF);
  ds.SetRecordSeparatorCustom("\r");
  EXPECT_EQ(ds.RecordSeparator(), rsCR);
  ds.SetRecordSeparator(rsLF);
  EXPECT_EQ(ds.RecordSeparatorCustom(), "\n");
  ds.SetRecordSeparatorCustom("||");
  ds.SetRecordSeparator(rsCustom);
  EXPECT_EQ(ds.RecordSeparatorCustom(), "||");
}

TEST(BaseDataSet, EmptyRecordWalk) {
  TKVBaseDataSet ds;
  ds.BeforeImport();
  ds.GoFirst();
  EXPECT_FALSE(ds.NeedMore());
  ds.GoNext();
  ds.AfterImport();
  EXPECT_TRUE(ds.GetValues("A;B").IsNull());
  EXPECT_EQ(ds.GetFieldValue(TVariant("Orders.ID * 2")).AsString(), "Orders.ID * 2");
  EXPECT_EQ(ds.GetFieldValue(TVariant(7)).Type(), varInteger);
  EXPECT_FALSE(ds.FieldIsTruncated());
  EXPECT_TRUE(ds.IsGoodRow(-5));
}

TEST(BaseDataSet, KeyListFromThePublishedProperty) {
  TTextFileDataset text;
  EXPECT_EQ(TKVBaseDataSet::GetKeyList(&text), "");
  EXPECT_EQ(TKVBaseDataSet::GetKeyList(nullptr), "");
}

TEST(BaseDataSet, DefaultExtensionsAndImportFormats) {
  EXPECT_EQ(GetDefExt(0), ".DB");
  EXPECT_EQ(GetDefExt(1), ".DBF");
  EXPECT_EQ(GetDefExt(2), ".TXT");
  EXPECT_EQ(GetDefExt(3), ".HTM");
  EXPECT_EQ(GetDefExt(4), ".XLS");
  EXPECT_EQ(GetDefExt(5), ".XLS");
  EXPECT_EQ(GetDefExt(6), ".DOC");
  EXPECT_EQ(GetDefExt(7), ".SLK");
  EXPECT_EQ(GetDefExt(8), ".DIF");
  EXPECT_EQ(GetDefExt(9), ".WK1");
  EXPECT_EQ(GetDefExt(10), ".WQ1");
  EXPECT_EQ(GetDefExt(11), ".SQL");
  EXPECT_EQ(GetDefExt(12), ".XML");
  EXPECT_EQ(GetDefExt(13), "");
  EXPECT_EQ(GetDefExt(-1), "");
  EXPECT_EQ(GetAvailableImportFormats(), 0xFF);
}

TEST(BaseDataSet, AssignCopiesEverything) {
  TKVBaseDataSet a;
  a.AnimatedStatus = false;
  a.DatasetKeys = "ID;CODE";
  a.TitleStatus = "Busy";
  a.SetFieldDelimiterCustom('|');
  a.SetTextQualifierCustom('\'');
  a.SetRecordSeparatorCustom("\n");
  a.FFixed = true;
  a.TableName = "T";
  a.RowFirst = 5;
  a.RowLast = 9;
  a.Description = "d";
  a.Name = "N";
  a.Options = 1;
  a.DataFormats->DateOrder = doYMD;
  a.DataFormats->DecimalSeparator = ',';
  a.CurrentRow = 77;
  TKVBaseDataSet b;
  b.Assign(&a);
  EXPECT_FALSE(b.AnimatedStatus);
  EXPECT_EQ(b.DatasetKeys, "ID;CODE");
  EXPECT_EQ(b.TitleStatus, "Busy");
  EXPECT_EQ(b.FieldDelimiter(), fdCustom);
  EXPECT_EQ(b.FieldDelimiterCustom(), '|');
  EXPECT_EQ(b.TextQualifier(), tqApos);
  EXPECT_EQ(b.RecordSeparator(), rsLF);
  EXPECT_TRUE(b.FFixed);
  EXPECT_EQ(b.TableName, "T");
  EXPECT_EQ(b.RowFirst, 5);
  EXPECT_EQ(b.RowLast, 9);
  EXPECT_EQ(b.Description, "d");
  EXPECT_EQ(b.Name, "N");
  EXPECT_EQ(b.Options, 1);
  EXPECT_EQ(b.DataFormats->DateOrder, doYMD);
  EXPECT_EQ(b.DataFormats->DecimalSeparator, ',');
  EXPECT_NE(b.DataFormats.get(), a.DataFormats.get());
  EXPECT_EQ(b.CurrentRow, 0);  // not a setting
  TKVDataFormats other;
  EXPECT_THROW(b.Assign(&other), EConvertError);
}

TEST(BaseDataSet, StoredEntriesOfANewDataSet) {
  TKVBaseDataSet ds;
  EXPECT_EQ(TextOf(ds), std::string("object TKVBaseDataSet\n"
                                    "  AnimatedStatus = True\n"
                                    "  TitleStatus = 'Importing...'\n"
                                    "  FieldDelimiterCustom = #9\n"
                                    "  FieldDelimiterCustom = #9\n"
                                    "  TextQualifierCustom = '\"'\n"
                                    "  RecordSeparatorCustom = #13#10\n"
                                    "  FFixed = False\n"
                                    "  RowFirst = 1\n"
                                    "  RowLast = 2147483647\n"
                                    "  Options = {\n"
                                    "    03}\n"
                                    "  FieldDelimiter = 2\n"
                                    "  RecordSeparator = 1\n") +
                            kDataFormatsText + "end\n");
}

TEST(BaseDataSet, StoredEntriesInOrder) {
  TKVBaseDataSet ds;
  ds.AnimatedStatus = false;
  ds.DatasetKeys = "ID";
  ds.SetFieldDelimiter(fdComma);
  ds.SetTextQualifier(tqApos);
  ds.SetRecordSeparator(rsLF);
  ds.FFixed = true;
  ds.TableName = "orders.csv";
  ds.RowFirst = 2;
  ds.RowLast = 10;
  ds.Description = "All orders";
  ds.Name = "Orders";
  ds.Options = 1;
  ds.DataFormats->DateOrder = doDMY;
  EXPECT_EQ(TextOf(ds), std::string("object TKVBaseDataSet\n"
                                    "  AnimatedStatus = False\n"
                                    "  DatasetKeys = 'ID'\n"
                                    "  TitleStatus = 'Importing...'\n"
                                    "  FieldDelimiterCustom = ','\n"
                                    "  FieldDelimiterCustom = ','\n"
                                    "  TextQualifierCustom = ''''\n"
                                    "  RecordSeparatorCustom = #10\n"
                                    "  FFixed = True\n"
                                    "  TableName = 'orders.csv'\n"
                                    "  RowFirst = 2\n"
                                    "  RowLast = 10\n"
                                    "  Description = 'All orders'\n"
                                    "  Name = 'Orders'\n"
                                    "  Options = {\n"
                                    "    01}\n"
                                    "  FieldDelimiter = 4\n"
                                    "  RecordSeparator = 3\n"
                                    "  object FDataFormats: TKVDataFormats\n"
                                    "    DateSeparator = '/'\n"
                                    "    TimeSeparator = ':'\n"
                                    "    FourDigitYear = False\n"
                                    "    LeadingZerosInDate = True\n"
                                    "    DecimalSeparator = '.'\n"
                                    "    BooleanTrue = 'True'\n"
                                    "    BooleanFalse = 'False'\n"
                                    "    FDateOrder = 1\n"
                                    "  end\n"
                                    "end\n"));
  auto back = RoundTrip<TKVBaseDataSet>(ds);
  ASSERT_TRUE(back);
  EXPECT_FALSE(back->AnimatedStatus);
  EXPECT_EQ(back->DatasetKeys, "ID");
  EXPECT_EQ(back->FieldDelimiter(), fdComma);
  EXPECT_EQ(back->FieldDelimiterCustom(), ',');
  EXPECT_EQ(back->RecordSeparator(), rsLF);
  EXPECT_EQ(back->RecordSeparatorCustom(), "\n");
  EXPECT_TRUE(back->FFixed);
  EXPECT_EQ(back->TableName, "orders.csv");
  EXPECT_EQ(back->RowFirst, 2);
  EXPECT_EQ(back->RowLast, 10);
  EXPECT_EQ(back->Description, "All orders");
  EXPECT_EQ(back->Name, "Orders");
  EXPECT_EQ(back->Options, 1);
  EXPECT_EQ(back->DataFormats->DateOrder, doDMY);
}

TEST(BaseDataSet, TheQualifierChoiceIsNotStored) {
  TKVBaseDataSet ds;
  ds.SetTextQualifier(tqApos);
  auto back = RoundTrip<TKVBaseDataSet>(ds);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->TextQualifierCustom(), '\'');
  EXPECT_EQ(back->TextQualifier(), tqQuot);
}

TEST(BaseDataSet, ZeroValuesAreNotStored) {
  TKVBaseDataSet ds;
  ds.SetFieldDelimiter(fdNone);
  ds.SetTextQualifier(tqNone);
  ds.TitleStatus.clear();
  ds.RowFirst = 0;
  ds.RowLast = 0;
  ds.Options = 0;
  ds.SetRecordSeparatorCustom("");
  std::string text = TextOf(ds);
  EXPECT_EQ(text.find("FieldDelimiterCustom"), std::string::npos);
  EXPECT_EQ(text.find("TextQualifierCustom"), std::string::npos);
  EXPECT_EQ(text.find("TitleStatus"), std::string::npos);
  EXPECT_EQ(text.find("RowFirst"), std::string::npos);
  EXPECT_EQ(text.find("Options"), std::string::npos);
  EXPECT_EQ(text.find("RecordSeparator"), std::string::npos);  // rsCustom is 0 as well
  auto back = RoundTrip<TKVBaseDataSet>(ds);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->FieldDelimiter(), fdTab);
  EXPECT_EQ(back->FieldDelimiterCustom(), '\t');
  EXPECT_EQ(back->TextQualifierCustom(), '"');
  EXPECT_EQ(back->TitleStatus, "Importing...");
  EXPECT_EQ(back->RowFirst, 1);
  EXPECT_EQ(back->RowLast, 2147483647);
  EXPECT_EQ(back->Options, 3);
  EXPECT_EQ(back->RecordSeparator(), rsCRLF);
  EXPECT_EQ(back->RecordSeparatorCustom(), "\r\n");
}

TEST(BaseDataSet, ListOfDataSets) {
  TKVBaseDataSets list;
  auto* a = new TKVBaseDataSet;
  a->Name = "A";
  list.AddObject("A", a);
  list.AddObject("B", new TKVBaseDataSet);
  EXPECT_EQ(list.GetObj(0), a);
  auto back = RoundTrip<TKVBaseDataSets>(list);
  ASSERT_TRUE(back);
  ASSERT_EQ(back->Count(), 2);
  EXPECT_EQ(back->Strings(1), "B");
  ASSERT_NE(back->GetObj(0), nullptr);
  EXPECT_EQ(back->GetObj(0)->Name, "A");
  auto* c = new TKVBaseDataSet;
  back->SetObj(1, c);
  EXPECT_EQ(back->GetObj(1), c);
}

TEST(BaseDataSet, ClassesAreRegistered) {
  EXPECT_EQ(FindClass("TKVBaseDataSet"), TKVBaseDataSet::StaticClass());
  EXPECT_EQ(FindClass("TKVBaseDataSets"), TKVBaseDataSets::StaticClass());
  EXPECT_EQ(FindClass("TKVDataFormats"), TKVDataFormats::StaticClass());
  EXPECT_EQ(FindClass("TTextFileDatasetInfo")->Name, std::string("TTextFileDatasetInfo"));
}
