// Connection keys and the connection registry: which datasets share a
// connection (same parameters on the same thread) and which never do
// (another password, another database on the same server, another thread).
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "data/Connections.h"
#include "data/DataBaseInfo.h"
#include "data/TableDataSets.h"
#include "testsupport/TempFiles.h"

using namespace kv;

namespace {

class TFakeConnection : public TDbConnection {
public:
  std::string Describe() const override { return "fake"; }
};

TConnectionKey Alias(const char* alias, const char* user, const char* password) {
  TDataBaseInfo info;
  info.ConnectType = ctAlias;
  info.AliasName = alias;
  info.UserName = user;
  info.PassWord = password;
  return ConnectionKeyOf(info);
}

TConnectionKey Server(const char* driver, const char* server, const char* database) {
  TDataBaseInfo info;
  info.DriverName = driver;
  info.ServerName = server;
  info.DataBaseName = database;
  info.UserName = "u";
  info.PassWord = "p";
  return ConnectionKeyOf(info);
}

TEST(ConnectionKeys, TellApartExactlyTheDatabasesAndLoginsThatDiffer) {
  EXPECT_EQ(Alias("Sales", "ann", "pw"), Alias("Sales", "ann", "pw"));
  EXPECT_NE(Alias("Sales", "ann", "pw"), Alias("Sales", "ann", "other"));
  EXPECT_NE(Alias("Sales", "ann", "pw"), Alias("Sales", "bob", "pw"));
  // Parts do not run into each other: "AB"+"C" is not "A"+"BC".
  EXPECT_NE(Alias("AB", "C", ""), Alias("A", "BC", ""));
  // Two databases on one server, or two drivers, never share.
  EXPECT_NE(Server("PG", "srv", "shop"), Server("PG", "srv", "stock"));
  EXPECT_NE(Server("PG", "srv", "shop"), Server("MSSQL", "srv", "shop"));
  EXPECT_EQ(Server("pg", "srv", "shop"), Server("PG", "srv", "shop"));
}

TEST(ConnectionKeys, AFileDatabaseIsKeyedByDriverAndAbsolutePath) {
  kvtest::TempFolder folder("keys");
  TDataBaseInfo a;
  a.DriverName = "sqlite";
  a.Path = folder.File("shop.db");
  TDataBaseInfo b;
  b.DriverName = "SQLITE";
  b.Path = folder.Path() + "/./sub/../shop.db";
  b.UserName = "ignored for files";
  EXPECT_EQ(ConnectionKeyOf(a).Mode, TConnectionMode::File);
  EXPECT_EQ(ConnectionKeyOf(a), ConnectionKeyOf(b));
  b.DriverName = "DBASE";
  EXPECT_NE(ConnectionKeyOf(a), ConnectionKeyOf(b));
  EXPECT_TRUE(IsFileDatabaseDriver("Paradox"));
  EXPECT_TRUE(IsFileDatabaseDriver("foxpro"));
  EXPECT_FALSE(IsFileDatabaseDriver("POSTGRESQL"));
}

TEST(ConnectionRegistry, SharesOneConnectionPerKeyOnAThreadAndClosesItWithItsLastHolder) {
  const TConnectionKey key = Alias("Registry", "ann", "pw");
  int opened = 0;
  auto open = [&] {
    ++opened;
    return std::make_unique<TFakeConnection>();
  };
  const size_t before = LiveConnectionCount();
  std::shared_ptr<TDbConnection> first = AcquireConnection(key, open);
  std::shared_ptr<TDbConnection> second = AcquireConnection(key, open);
  EXPECT_EQ(first, second);
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(LiveConnectionCount(), before + 1);

  std::shared_ptr<TDbConnection> other = AcquireConnection(Alias("Registry", "ann", "x"), open);
  EXPECT_NE(other, first);
  EXPECT_EQ(opened, 2);

  first.reset();
  second.reset();
  other.reset();
  EXPECT_EQ(LiveConnectionCount(), before);
  std::shared_ptr<TDbConnection> again = AcquireConnection(key, open);
  EXPECT_EQ(opened, 3);
}

TEST(ConnectionRegistry, EachThreadGetsAConnectionOfItsOwn) {
  const TConnectionKey key = Alias("Threads", "ann", "pw");
  std::atomic<int> opened{0};
  auto open = [&] {
    ++opened;
    return std::make_unique<TFakeConnection>();
  };
  std::shared_ptr<TDbConnection> mine = AcquireConnection(key, open);
  std::shared_ptr<TDbConnection> theirs;
  std::shared_ptr<TDbConnection> theirsAgain;
  std::thread worker([&] {
    theirs = AcquireConnection(key, open);
    theirsAgain = AcquireConnection(key, open);
  });
  worker.join();
  EXPECT_NE(mine, theirs);
  EXPECT_EQ(theirs, theirsAgain);
  EXPECT_EQ(opened.load(), 2);
}

TEST(ConnectionRegistry, AFailedOpenRegistersNothing) {
  const TConnectionKey key = Alias("Failing", "ann", "pw");
  const size_t before = LiveConnectionCount();
  EXPECT_THROW(AcquireConnection(key, []() -> std::unique_ptr<TDbConnection> { throw std::runtime_error("down"); }),
               std::runtime_error);
  EXPECT_EQ(LiveConnectionCount(), before);
  int opened = 0;
  auto connection = AcquireConnection(key, [&] {
    ++opened;
    return std::make_unique<TFakeConnection>();
  });
  EXPECT_EQ(opened, 1);
}

// The same through the dataset kinds on a SQLite file.
TEST(ConnectionRegistry, TablesOnOneFileShareTheirConnectionOnOneThreadOnly) {
  kvtest::TempFolder folder("share");
  auto make = [&](const char* table) {
    auto d = std::make_unique<TKVFileDBDataSet>();
    d->DataBaseInfo->DriverName = "SQLite";
    d->DataBaseInfo->Path = folder.File("shop.db");
    d->TableName = table;
    d->NewTable = true;
    d->FieldDefs.reset(new TKVFieldDefs);
    d->FieldDefs->AddFieldDef("ID")->DataType = ftInteger;
    return d;
  };
  auto a = make("a");
  auto b = make("b");
  a->BeforeImport();
  b->BeforeImport();
  ASSERT_NE(a->Connection(), nullptr);
  EXPECT_EQ(a->Connection(), b->Connection());

  auto c = make("c");
  std::thread worker([&] { c->BeforeImport(); });
  worker.join();
  EXPECT_NE(c->Connection(), a->Connection());

  // The connection goes with the last dataset that closes.
  std::weak_ptr<TDbConnection> shared = a->Connection();
  a->AfterImport();
  EXPECT_FALSE(shared.expired());
  b->AfterImport();
  EXPECT_TRUE(shared.expired());
  EXPECT_EQ(a->Connection(), nullptr);
}

}  // namespace
