// The in-memory engine's own work: structure copies, cached updates with a
// resolver and reconcile errors, and its data file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/MemDataSet.h"
#include "data/TextFileDataset.h"
#include "testsupport/TempFiles.h"

using namespace kv;

namespace {

void Define(TKVMemDataSet& ds) {
  ds.FieldDefs().Clear();
  ds.FieldDefs().Add("ID", ftInteger);
  ds.FieldDefs().Add("NAME", ftString, 20);
}

void AddRow(TDataSet& ds, int64_t id, const std::string& name) {
  ds.Append();
  ds.FieldByName("ID").SetAsInteger(id);
  ds.FieldByName("NAME").SetAsString(name);
  ds.Post();
}

std::vector<std::string> Names(TDataSet& ds) {
  std::vector<std::string> out;
  for (ds.First(); !ds.Eof(); ds.Next()) out.push_back(ds.FieldByName("NAME").AsString());
  return out;
}

// Records what it is given; refuses changes whose new NAME is "bad".
class TRecordingResolver : public IUpdateResolver {
public:
  void BeginApply() override { log.push_back("begin"); }
  void EndApply(bool ok) override { log.push_back(ok ? "end ok" : "end failed"); }
  void ApplyUpdate(TUpdateKind kind, const TFieldDefs& fields, const std::vector<TVariant>& oldValues,
                   const std::vector<TVariant>& newValues) override {
    EXPECT_EQ(fields.Count(), 2);
    std::string s = kind == ukInsert ? "insert " : kind == ukModify ? "modify " : "delete ";
    s += oldValues.empty() ? "-" : oldValues[1].AsString();
    s += "->";
    s += newValues.empty() ? "-" : newValues[1].AsString();
    log.push_back(s);
    if (!newValues.empty() && newValues[1].AsString() == "bad") throw EDatabaseError("refused");
  }
  std::vector<std::string> log;
};


TEST(MemDataSet, CachedUpdatesAppliedInOrder) {
  TKVMemDataSet ds;
  Define(ds);
  ds.CreateDataSet();
  AddRow(ds, 1, "a");
  AddRow(ds, 2, "b");
  ds.CachedUpdates = true;
  AddRow(ds, 3, "c");
  ds.First();
  ds.Edit();
  ds.FieldByName("NAME").SetAsString("a2");
  ds.Post();
  ds.Next();
  ds.Delete();
  EXPECT_EQ(ds.ChangeCount(), 3);
  TRecordingResolver resolver;
  ds.SetResolver(&resolver);
  EXPECT_EQ(ds.ApplyUpdates(-1), 0);
  EXPECT_EQ(resolver.log,
            (std::vector<std::string>{"begin", "insert -->c", "modify a->a2", "delete b->-", "end ok"}));
  EXPECT_EQ(ds.ChangeCount(), 0);
  EXPECT_EQ(Names(ds), (std::vector<std::string>{"a2", "c"}));
}

TEST(MemDataSet, InsertedThenDeletedIsNoChange) {
  TKVMemDataSet ds;
  Define(ds);
  ds.CreateDataSet();
  ds.CachedUpdates = true;
  AddRow(ds, 1, "a");
  ds.Delete();
  EXPECT_EQ(ds.ChangeCount(), 0);
}

TEST(MemDataSet, ReconcileErrors) {
  TKVMemDataSet ds;
  Define(ds);
  ds.CreateDataSet();
  ds.CachedUpdates = true;
  AddRow(ds, 1, "bad");
  AddRow(ds, 2, "good");
  AddRow(ds, 3, "bad");
  TRecordingResolver resolver;
  ds.SetResolver(&resolver);
  std::vector<std::string> reported;
  ds.OnReconcileError = [&](TKVMemDataSet& delta, const Exception& e, TUpdateKind kind, TReconcileAction& action) {
    reported.push_back(delta.FieldByName("ID").AsString() + " " + e.Message() + " " + std::to_string(kind));
    action = raSkip;
  };
  // Limit 0: the first error stops the apply.
  EXPECT_EQ(ds.ApplyUpdates(0), 1);
  EXPECT_EQ(reported, (std::vector<std::string>{"1 refused 1"}));
  EXPECT_EQ(ds.ChangeCount(), 3);
  // No limit: both refusals are reported, the good record is applied.
  reported.clear();
  EXPECT_EQ(ds.ApplyUpdates(-1), 2);
  EXPECT_EQ(reported.size(), 2u);
  EXPECT_EQ(ds.ChangeCount(), 2);
  // Cancelling a refused change undoes it.
  ds.OnReconcileError = [](TKVMemDataSet&, const Exception&, TUpdateKind, TReconcileAction& action) {
    action = raCancel;
  };
  EXPECT_EQ(ds.ApplyUpdates(-1), 2);
  EXPECT_EQ(ds.ChangeCount(), 0);
  EXPECT_EQ(Names(ds), (std::vector<std::string>{"good"}));
}

TEST(MemDataSet, CancelUpdatesPutsEverythingBack) {
  TKVMemDataSet ds;
  Define(ds);
  ds.CreateDataSet();
  AddRow(ds, 1, "a");
  AddRow(ds, 2, "b");
  AddRow(ds, 3, "c");
  ds.CachedUpdates = true;
  ds.First();
  ds.Delete();  // a
  ds.Edit();    // b
  ds.FieldByName("NAME").SetAsString("B");
  ds.Post();
  AddRow(ds, 4, "d");
  ds.Last();
  ds.Delete();  // d (inserted: no change left)
  ds.Last();
  ds.Delete();  // c
  EXPECT_EQ(Names(ds), (std::vector<std::string>{"B"}));
  EXPECT_EQ(ds.ChangeCount(), 3);
  ds.CancelUpdates();
  EXPECT_EQ(Names(ds), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(ds.ChangeCount(), 0);
}

TEST(MemDataSet, ApplyWithoutResolverFails) {
  TKVMemDataSet ds;
  Define(ds);
  ds.CreateDataSet();
  EXPECT_THROW(ds.ApplyUpdates(-1), EDatabaseError);
}

TEST(MemDataSet, StructureOfAnotherDataSetAndItsRecords) {
  std::string path = kvtest::WriteTempFile("memdataset", "src.csv", "ID,NAME\r\n1,x\r\n2,y\r\n");
  TTextFileDataset src;
  src.SetExtractColumnNamesFromFirstLine(true);
  src.SetTableName(path);
  src.Open();
  TKVMemDataSet errors;
  errors.CopyStructure(src);
  errors.CreateDataSet();
  EXPECT_EQ(errors.FieldCount(), 2);
  EXPECT_EQ(errors.RecordCount(), 0);
  errors.AppendRecords(src);
  EXPECT_EQ(Names(errors), (std::vector<std::string>{"x", "y"}));
}

TEST(MemDataSet, DataFileRoundTrip) {
  TKVMemDataSet ds;
  ds.FieldDefs().Add("I", ftInteger, 0, true);
  ds.FieldDefs().Add("S", ftString, 40);
  ds.FieldDefs().Add("F", ftFloat);
  ds.FieldDefs().Add("B", ftBoolean);
  ds.FieldDefs().Add("D", ftDateTime);
  ds.CreateDataSet();
  ds.Append();
  ds.FieldByName("I").SetAsInteger(-7);
  ds.FieldByName("S").SetAsString(std::string("nul\0inside", 10));
  ds.FieldByName("F").SetAsFloat(0.1);
  ds.FieldByName("B").SetAsBoolean(true);
  ds.FieldByName("D").SetAsDateTime(45000.5);
  ds.Post();
  ds.Append();
  ds.FieldByName("I").SetAsInteger(8);
  ds.Post();
  std::string path = kvtest::TempFilePath("memdataset", "mem.err");
  ds.SaveToFile(path);
  TKVMemDataSet back;
  back.LoadFromFile(path);
  ASSERT_TRUE(back.Active());
  EXPECT_EQ(back.FieldCount(), 5);
  EXPECT_TRUE(back.FieldByName("I").Required());
  EXPECT_EQ(back.FieldByName("S").Size(), 40);
  EXPECT_EQ(back.RecordCount(), 2);
  EXPECT_EQ(back.FieldByName("I").AsInteger(), -7);
  EXPECT_EQ(back.FieldByName("S").AsString(), std::string("nul\0inside", 10));
  EXPECT_EQ(back.FieldByName("F").AsFloat(), 0.1);
  EXPECT_TRUE(back.FieldByName("B").AsBoolean());
  EXPECT_EQ(back.FieldByName("D").AsDateTime(), 45000.5);
  back.Next();
  EXPECT_TRUE(back.FieldByName("S").IsNull());
  EXPECT_EQ(back.SaveToBytes(), ds.SaveToBytes());
}

TEST(MemDataSet, BrokenDataFilesAreRefused) {
  TKVMemDataSet ds;
  Define(ds);
  ds.CreateDataSet();
  AddRow(ds, 1, "one");
  AddRow(ds, 2, "two");
  const std::string good = ds.SaveToBytes();
  for (size_t n = 0; n < good.size(); ++n) {
    TKVMemDataSet back;
    EXPECT_THROW(back.LoadFromBytes(std::string_view(good).substr(0, n)), EDatabaseError) << "cut at " << n;
    EXPECT_FALSE(back.Active());
  }
  std::string flipped = good;
  for (size_t i = 8; i < flipped.size(); ++i) {
    flipped[i] = static_cast<char>(flipped[i] ^ 0xFF);
    TKVMemDataSet back;
    try {
      back.LoadFromBytes(flipped);  // may or may not be valid; must never crash
    } catch (const EDatabaseError&) {
    }
    flipped[i] = good[i];
  }
}

// A dataset fed by its subclass in packets of three (rows "r1".."rN"),
// letting go of unchanged records when asked.
class TFedDataSet : public TKVMemDataSet {
public:
  explicit TFedDataSet(int rows) : rows_(rows) {
    FieldDefs().Add("NAME", ftString, 10);
    CachedUpdates = true;
  }
  ~TFedDataSet() override { CloseForDestroy(); }
  int Held() { return TKVMemDataSet::InternalRecordCount(); }
  int LetGo(bool keepCurrent) {
    const int before = ReleaseUnchangedRecords(keepCurrent);
    Resync();
    return before;
  }
  void Restart() {
    ClearRecords();
    next_ = 1;
    Resync();
  }
  int fetches = 0;

protected:
  void InternalOpen() override {
    next_ = 1;
    TKVMemDataSet::InternalOpen();
  }
  bool FetchMore() override {
    if (next_ > rows_) return false;
    ++fetches;
    for (int i = 0; i < 3 && next_ <= rows_; ++i) AddFetchedRecord({TVariant("r" + std::to_string(next_++))});
    return true;
  }

private:
  int rows_;
  int next_ = 1;
};

TEST(MemDataSet, RecordsFedInPacketsAreReadOnDemandAndUnchangedOnesLetGo) {
  TFedDataSet d(8);
  d.Open();
  EXPECT_EQ(d.fetches, 1);  // the first packet only
  EXPECT_EQ(d.Held(), 3);
  d.Next();
  d.Next();
  EXPECT_EQ(d.fetches, 1);
  d.Next();  // past the packet
  EXPECT_EQ(d.fetches, 2);
  EXPECT_EQ(d.FieldByName("NAME").AsString(), "r4");
  d.Last();
  EXPECT_EQ(d.Held(), 8);
  EXPECT_EQ(d.FieldByName("NAME").AsString(), "r8");

  // A changed record and the current one stay; the others go.
  ASSERT_TRUE(d.Locate("NAME", TVariant("r2")));
  d.Edit();
  d.FieldByName("NAME").SetAsString("changed");
  d.Post();
  ASSERT_TRUE(d.Locate("NAME", TVariant("r5")));
  EXPECT_EQ(d.LetGo(true), 3);  // r1, r3 and r4 stood before r5
  EXPECT_EQ(d.Held(), 2);
  EXPECT_EQ(d.FieldByName("NAME").AsString(), "r5");
  EXPECT_EQ(d.ChangeCount(), 1);
  d.CancelUpdates();
  d.First();
  EXPECT_EQ(d.FieldByName("NAME").AsString(), "r2");
  EXPECT_EQ(d.LetGo(false), 0);
  EXPECT_TRUE(d.IsEmpty());

  // Cleared, the records come again from the first packet.
  d.Restart();
  EXPECT_EQ(d.FieldByName("NAME").AsString(), "r1");
  int n = 0;
  for (d.First(); !d.Eof(); d.Next()) ++n;
  EXPECT_EQ(n, 8);
}

}  // namespace
