// The dataset abstraction, driven through the in-memory engine:
// opening and closing with their notifications, navigation, locate, the
// edit states and suspended views.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/ListDataSet.h"
#include "data/MemDataSet.h"
#include "testsupport/Errors.h"

using namespace kv;

namespace {

// ID (integer, required), NAME (text), PRICE (real), DAY (date-time), OK (boolean).
void DefineFields(TDataSet& ds) {
  ds.FieldDefs().Clear();
  ds.FieldDefs().Add("ID", ftInteger, 0, true);
  ds.FieldDefs().Add("NAME", ftString, 20);
  ds.FieldDefs().Add("PRICE", ftFloat);
  ds.FieldDefs().Add("DAY", ftDateTime);
  ds.FieldDefs().Add("OK", ftBoolean);
}

void AddRow(TDataSet& ds, int64_t id, const std::string& name, double price = 0) {
  ds.Append();
  ds.FieldByName("ID").SetAsInteger(id);
  ds.FieldByName("NAME").SetAsString(name);
  ds.FieldByName("PRICE").SetAsFloat(price);
  ds.Post();
}

// Orders: 1 Apple, 2 banana, 3 Cherry, 4 apple pie.
void Fill(TKVMemDataSet& ds) {
  DefineFields(ds);
  ds.CreateDataSet();
  AddRow(ds, 1, "Apple", 1.5);
  AddRow(ds, 2, "banana", 2.25);
  AddRow(ds, 3, "Cherry", 3);
  AddRow(ds, 4, "apple pie", 4);
  ds.First();
}

std::vector<int64_t> Ids(TDataSet& ds) {
  std::vector<int64_t> out;
  for (ds.First(); !ds.Eof(); ds.Next()) out.push_back(ds.FieldByName("ID").AsInteger());
  return out;
}

}  // namespace

TEST(DataSet, OpenCloseNotificationsInOrder) {
  TKVMemDataSet ds;
  DefineFields(ds);
  std::vector<std::string> log;
  ds.BeforeOpen = [&](TDataSet& s) { log.push_back(std::string("BeforeOpen ") + (s.Active() ? "open" : "closed")); };
  ds.AfterOpen = [&](TDataSet& s) { log.push_back("AfterOpen " + std::to_string(s.FieldCount())); };
  ds.BeforeClose = [&](TDataSet& s) { log.push_back(std::string("BeforeClose ") + (s.Active() ? "open" : "closed")); };
  ds.AfterClose = [&](TDataSet& s) { log.push_back(std::string("AfterClose ") + (s.Active() ? "open" : "closed")); };
  ds.Open();
  ds.Open();  // already open: nothing happens
  ds.Close();
  ds.Close();
  EXPECT_EQ(log, (std::vector<std::string>{"BeforeOpen closed", "AfterOpen 5", "BeforeClose open", "AfterClose closed"}));
}

TEST(DataSet, RefusingBeforeOpenKeepsItClosed) {
  TKVMemDataSet ds;
  DefineFields(ds);
  ds.BeforeOpen = [](TDataSet&) { throw EAbort("no"); };
  EXPECT_THROW(ds.Open(), EAbort);
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.FieldCount(), 0);
}

TEST(DataSet, EmptyDataSet) {
  TKVMemDataSet ds;
  DefineFields(ds);
  ds.CreateDataSet();
  EXPECT_TRUE(ds.Eof());
  EXPECT_TRUE(ds.Bof());
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_EQ(ds.RecordCount(), 0);
  EXPECT_TRUE(ds.FieldByName("NAME").IsNull());
  EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 0);
  ds.Next();
  ds.Last();
  EXPECT_TRUE(ds.Eof() && ds.Bof());
  EXPECT_EQ(kvtest::ErrorOf([&] { ds.Delete(); }), "Cannot perform this operation on an empty dataset");
}

TEST(DataSet, Navigation) {
  TKVMemDataSet ds;
  Fill(ds);
  EXPECT_TRUE(ds.Bof());
  EXPECT_FALSE(ds.Eof());
  EXPECT_EQ(ds.RecNo(), 1);
  ds.Next();
  EXPECT_FALSE(ds.Bof());
  EXPECT_EQ(ds.FieldByName("NAME").AsString(), "banana");
  EXPECT_EQ(ds.MoveBy(5), 2);
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.RecNo(), 4);  // stays on the last record
  EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 4);
  ds.Prior();
  EXPECT_FALSE(ds.Eof());
  EXPECT_EQ(ds.RecNo(), 3);
  ds.First();
  ds.Prior();
  EXPECT_TRUE(ds.Bof());
  EXPECT_EQ(ds.RecNo(), 1);
  ds.Last();
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 4);
  ds.SetRecNo(2);
  EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 2);
  EXPECT_EQ(ds.RecordCount(), 4);
  EXPECT_EQ(Ids(ds), (std::vector<int64_t>{1, 2, 3, 4}));
}

TEST(DataSet, ClosedDataSetRefusesWork) {
  TKVMemDataSet ds;
  DefineFields(ds);
  EXPECT_EQ(kvtest::ErrorOf([&] { ds.First(); }), "Cannot perform this operation on a closed dataset");
  EXPECT_EQ(kvtest::ErrorOf([&] { ds.Append(); }), "Cannot perform this operation on a closed dataset");
  EXPECT_EQ(kvtest::ErrorOf([&] { ds.FieldByName("ID"); }), "Field 'ID' not found");
}

TEST(DataSet, FieldsAndValues) {
  TKVMemDataSet ds;
  Fill(ds);
  TField& price = ds.FieldByName("price");
  EXPECT_EQ(price.FieldName(), "PRICE");
  EXPECT_EQ(price.FieldNo(), 3);
  EXPECT_EQ(price.Index(), 2);
  EXPECT_DOUBLE_EQ(price.AsFloat(), 1.5);
  EXPECT_EQ(price.AsString(), "1.5");
  EXPECT_EQ(price.AsInteger(), 2);  // rounds half to even
  EXPECT_TRUE(ds.FieldByName("DAY").IsNull());
  EXPECT_EQ(ds.FindField("nothing"), nullptr);
  TVariant both = ds.FieldValues("ID;NAME");
  ASSERT_TRUE(both.IsArray());
  EXPECT_EQ(both.Element(0).AsInteger(), 1);
  EXPECT_EQ(both.Element(1).AsString(), "Apple");
  ds.Edit();
  ds.FieldByName("DAY").SetAsString("2024-02-29 13:45:00");
  ds.FieldByName("OK").SetAsString("true");
  ds.FieldByName("ID").SetValue(TVariant("42"));
  EXPECT_THROW(ds.FieldByName("PRICE").SetAsString("cheap"), EConvertError);
  ds.Post();
  EXPECT_EQ(ds.FieldByName("DAY").AsString(), "2024-02-29 13:45:00");
  EXPECT_EQ(ds.FieldByName("DAY").Value().Type(), varDateTime);
  EXPECT_TRUE(ds.FieldByName("OK").AsBoolean());
  EXPECT_EQ(ds.FieldByName("ID").Value().Type(), varInteger);
  EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 42);
}

TEST(DataSet, LocateOneKey) {
  TKVMemDataSet ds;
  Fill(ds);
  EXPECT_TRUE(ds.Locate("ID", TVariant(3)));
  EXPECT_EQ(ds.FieldByName("NAME").AsString(), "Cherry");
  EXPECT_TRUE(ds.Locate("ID", TVariant("2")));  // text compared with an integer field by value
  EXPECT_EQ(ds.RecNo(), 2);
  EXPECT_FALSE(ds.Locate("NAME", TVariant("apple")));
  EXPECT_EQ(ds.RecNo(), 2);  // not found: the cursor stays
  EXPECT_TRUE(ds.Locate("NAME", TVariant("apple"), LocateOptionBit(loCaseInsensitive)));
  EXPECT_EQ(ds.RecNo(), 1);
  EXPECT_TRUE(ds.Locate("NAME", TVariant("apple "), LocateOptionBit(loPartialKey)));
  EXPECT_EQ(ds.RecNo(), 4);
  EXPECT_TRUE(ds.Locate("ID", TVariant::Array({4})));
  EXPECT_EQ(ds.RecNo(), 4);
  EXPECT_FALSE(ds.Locate("DAY", TVariant(1)));
  EXPECT_TRUE(ds.Locate("DAY", TVariant::Null()));  // null matches null
  EXPECT_EQ(kvtest::ErrorOf([&] { ds.Locate("NOPE", TVariant(1)); }), "Field 'NOPE' not found");
}

TEST(DataSet, LocateSeveralKeys) {
  TKVMemDataSet ds;
  Fill(ds);
  EXPECT_TRUE(ds.Locate("ID;NAME", TVariant::Array({3, "Cherry"})));
  EXPECT_EQ(ds.RecNo(), 3);
  EXPECT_FALSE(ds.Locate("ID; NAME", TVariant::Array({3, "Apple"})));
  EXPECT_EQ(ds.RecNo(), 3);
  EXPECT_EQ(kvtest::ErrorOf([&] { ds.Locate("ID;NAME", TVariant::Array({3})); }), "Fewer key values than key fields");
}

TEST(DataSet, LocatePostsAPendingInsert) {
  TKVMemDataSet ds;
  Fill(ds);
  ds.Append();
  ds.FieldByName("ID").SetAsInteger(9);
  EXPECT_TRUE(ds.Locate("ID", TVariant(9)));
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(ds.RecordCount(), 5);
}

TEST(DataSet, AppendInsertPostCancel) {
  TKVMemDataSet ds;
  Fill(ds);
  std::vector<std::string> log;
  ds.BeforeInsert = [&](TDataSet&) { log.push_back("BeforeInsert"); };
  ds.AfterInsert = [&](TDataSet& s) { log.push_back(std::string("AfterInsert ") + DataSetStateName(s.State())); };
  ds.BeforePost = [&](TDataSet&) { log.push_back("BeforePost"); };
  ds.AfterPost = [&](TDataSet& s) { log.push_back(std::string("AfterPost ") + DataSetStateName(s.State())); };
  ds.BeforeCancel = [&](TDataSet&) { log.push_back("BeforeCancel"); };
  ds.AfterCancel = [&](TDataSet&) { log.push_back("AfterCancel"); };
  ds.SetRecNo(2);
  ds.Insert();
  EXPECT_EQ(ds.State(), dsInsert);
  EXPECT_FALSE(ds.IsEmpty());
  EXPECT_TRUE(ds.FieldByName("NAME").IsNull());
  ds.FieldByName("ID").SetAsInteger(10);
  EXPECT_TRUE(ds.Modified());
  ds.Post();
  EXPECT_EQ(ds.RecNo(), 2);  // inserted before the record that was current
  EXPECT_EQ(Ids(ds), (std::vector<int64_t>{1, 10, 2, 3, 4}));
  ds.Append();
  ds.FieldByName("ID").SetAsInteger(11);
  ds.Cancel();
  EXPECT_EQ(ds.RecordCount(), 5);
  EXPECT_EQ(log, (std::vector<std::string>{"BeforeInsert", "AfterInsert Insert", "BeforePost", "AfterPost Browse",
                                           "BeforeInsert", "AfterInsert Insert", "BeforeCancel", "AfterCancel"}));
}

TEST(DataSet, AppendPostsThePendingRecord) {
  TKVMemDataSet ds;
  Fill(ds);
  ds.Append();
  ds.FieldByName("ID").SetAsInteger(5);
  ds.Append();  // the first append is posted now
  ds.FieldByName("ID").SetAsInteger(6);
  ds.First();   // and this one when the cursor moves
  EXPECT_EQ(Ids(ds), (std::vector<int64_t>{1, 2, 3, 4, 5, 6}));
  ds.Append();  // nothing set: cancelled when the cursor moves
  ds.Last();
  EXPECT_EQ(ds.RecordCount(), 6);
}

TEST(DataSet, EditAndRequiredFields) {
  TKVMemDataSet ds;
  Fill(ds);
  ds.SetRecNo(3);
  ds.Edit();
  EXPECT_EQ(ds.State(), dsEdit);
  EXPECT_EQ(ds.FieldByName("NAME").AsString(), "Cherry");
  ds.FieldByName("NAME").SetAsString("Plum");
  ds.FieldByName("ID").Clear();
  EXPECT_EQ(kvtest::ErrorOf([&] { ds.Post(); }), "Field 'ID' must have a value");
  EXPECT_EQ(ds.State(), dsEdit);  // a refused post leaves the edit open
  ds.Cancel();
  EXPECT_EQ(ds.FieldByName("NAME").AsString(), "Cherry");
  ds.Edit();
  ds.FieldByName("NAME").SetAsString("Plum");
  ds.Post();
  EXPECT_EQ(ds.FieldByName("NAME").AsString(), "Plum");
  EXPECT_EQ(ds.RecNo(), 3);
  EXPECT_EQ(kvtest::ErrorOf([&] { ds.FieldByName("NAME").SetAsString("x"); }), "Dataset not in edit or insert mode");
}

// The edit buffer keeps its storage from record to record: a new record
// still starts with every field null, and each value set is stored in the
// field's kind whatever kind it came in.
TEST(DataSet, EachNewRecordStartsEmptyAndStoresValuesInTheFieldsKinds) {
  TKVMemDataSet ds;
  DefineFields(ds);
  ds.CreateDataSet();
  const std::string longName(200, 'n');  // beyond any short-string storage
  struct Case {
    const char* field;
    TVariant value;
    TVarType kind;
    std::string text;  // AsString of the stored value
  };
  const std::vector<Case> cases = {
      {"ID", TVariant(int64_t{7}), varInteger, "7"},
      {"ID", TVariant("42"), varInteger, "42"},
      {"ID", TVariant(2.5), varInteger, "2"},  // halves to even
      {"NAME", TVariant(longName), varString, longName},
      {"NAME", TVariant(int64_t{5}), varString, "5"},
      {"PRICE", TVariant("1.25"), varFloat, "1.25"},
      {"PRICE", TVariant(3.5), varFloat, "3.5"},
      {"DAY", TVariant("2024-05-31"), varDateTime, "2024-05-31"},
      {"OK", TVariant("true"), varBoolean, "True"},
  };
  int64_t id = 100;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " <- " + c.value.AsString());
    ds.Append();
    for (int i = 0; i < ds.FieldCount(); ++i) EXPECT_TRUE(ds.Fields(i).IsNull()) << ds.Fields(i).FieldName();
    if (std::string(c.field) != "ID") ds.FieldByName("ID").SetAsInteger(++id);
    ds.FieldByName(c.field).SetValue(c.value);
    EXPECT_EQ(ds.FieldByName(c.field).Value().Type(), c.kind);
    ds.Post();
    EXPECT_EQ(ds.FieldByName(c.field).Value().Type(), c.kind);
    EXPECT_EQ(ds.FieldByName(c.field).AsString(), c.text);
  }
  EXPECT_EQ(ds.RecordCount(), static_cast<int>(cases.size()));
  // A value that does not convert leaves the field as it was.
  ds.Append();
  EXPECT_THROW(ds.FieldByName("ID").SetValue(TVariant("abc")), EConvertError);
  EXPECT_TRUE(ds.FieldByName("ID").IsNull());
  ds.Cancel();
}

TEST(DataSet, EditOnAnEmptyDataSetInserts) {
  TKVMemDataSet ds;
  DefineFields(ds);
  ds.CreateDataSet();
  ds.Edit();
  EXPECT_EQ(ds.State(), dsInsert);
  ds.FieldByName("ID").SetAsInteger(1);
  ds.Post();
  EXPECT_EQ(ds.RecordCount(), 1);
}

TEST(DataSet, Delete) {
  TKVMemDataSet ds;
  Fill(ds);
  ds.SetRecNo(2);
  ds.Delete();
  EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 3);  // the record that followed
  ds.Last();
  ds.Delete();
  EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 3);  // the new last record
  ds.Append();
  ds.Delete();  // in insert state: cancels
  EXPECT_EQ(ds.RecordCount(), 2);
  ds.First();
  while (!ds.IsEmpty()) ds.Delete();
  EXPECT_TRUE(ds.Eof() && ds.Bof());
}

TEST(DataSet, SuspendedViews) {
  TKVMemDataSet ds;
  Fill(ds);
  std::vector<TDataEvent> events;
  int id = ds.AddDataObserver([&](TDataSet&, TDataEvent e) { events.push_back(e); });
  ds.Next();
  EXPECT_EQ(events, (std::vector<TDataEvent>{deDataSetScroll}));
  events.clear();
  ds.DisableControls();
  ds.DisableControls();
  EXPECT_TRUE(ds.ControlsDisabled());
  AddRow(ds, 7, "Fig");
  ds.First();
  ds.EnableControls();
  EXPECT_TRUE(events.empty());
  ds.EnableControls();
  EXPECT_EQ(events, (std::vector<TDataEvent>{deDataSetChange}));
  ds.EnableControls();  // one too many: ignored
  ds.RemoveDataObserver(id);
  ds.Next();
  EXPECT_EQ(events.size(), 1u);
}

TEST(DataSet, Bookmarks) {
  TKVMemDataSet ds;
  Fill(ds);
  ds.SetRecNo(3);
  TBookmark b = ds.GetBookmark();
  ds.First();
  ds.GotoBookmark(b);
  EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 3);
  EXPECT_THROW(ds.GotoBookmark(12345), EDatabaseError);
}

TEST(DataSet, ScrollNotifications) {
  TKVMemDataSet ds;
  Fill(ds);
  int before = 0, after = 0;
  ds.BeforeScroll = [&](TDataSet&) { ++before; };
  ds.AfterScroll = [&](TDataSet&) { ++after; };
  ds.Next();
  ds.Last();
  ds.Next();  // at the end already: no move, no notification
  EXPECT_EQ(before, 2);
  EXPECT_EQ(after, 2);
}

TEST(ListDataSet, FilledByTheCaller) {
  TListDataSet ds;
  ds.FieldDefs().Add("A", ftString, 30);
  ds.FieldDefs().Add("B", ftString, 30);
  std::string bytes = "xyz";
  size_t ends[] = {1, 3};
  ds.Records().Add(bytes, ends, 2);
  ds.Records().Add(bytes, ends, 1, 2);  // padded
  ds.Open();
  EXPECT_EQ(ds.FieldByName("B").AsString(), "yz");
  ds.Next();
  EXPECT_EQ(ds.FieldByName("A").AsString(), "x");
  EXPECT_EQ(ds.FieldByName("B").AsString(), "");
  EXPECT_FALSE(ds.FieldByName("B").IsNull());
}

TEST(ListDataSet, CurrentTextsAreTheFieldsTextsWhileBrowsingARecord) {
  TListDataSet ds;
  EXPECT_EQ(ds.CurrentTexts(), nullptr) << "closed";
  ds.FieldDefs().Add("A", ftString, 30);
  ds.FieldDefs().Add("B", ftString, 30);
  ds.Open();
  EXPECT_EQ(ds.CurrentTexts(), nullptr) << "no record";
  ds.Close();
  std::string bytes = "xyz";
  size_t ends[] = {1, 3};
  ds.Records().Add(bytes, ends, 2);
  ds.Records().Add(bytes, ends, 1, 2);  // padded: B is empty
  ds.Open();
  for (int record = 0; record < 2; ++record) {
    const std::vector<std::string_view>* texts = ds.CurrentTexts();
    ASSERT_NE(texts, nullptr);
    for (int i = 0; i < ds.FieldCount(); ++i) {
      const std::string_view text = static_cast<size_t>(i) < texts->size() ? (*texts)[static_cast<size_t>(i)] : "";
      EXPECT_EQ(text, ds.Fields(i).AsString()) << "record " << record << ", field " << i;
    }
    ds.Next();
  }
  ds.Append();
  EXPECT_EQ(ds.CurrentTexts(), nullptr) << "inserting: the edit buffer is read through the fields";
  ds.Cancel();
  ds.Edit();
  EXPECT_EQ(ds.CurrentTexts(), nullptr) << "editing";
  ds.Cancel();
  EXPECT_NE(ds.CurrentTexts(), nullptr);
}
