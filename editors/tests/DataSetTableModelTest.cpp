// The table model over datasets: structure and texts, paging over a real
// SQLite table, the page cache, and the dataset opening, closing and
// emptying underneath the model.
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>
#include <memory>

#include "data/MemDataSet.h"
#include "data/SqliteConnection.h"
#include "data/SqliteDataSets.h"
#include "editors/DataSetTableModel.h"
#include "testsupport/TempFiles.h"

using namespace kv;

namespace {

// An open in-memory dataset with ID (integer) and NAME (text), holding
// `rows` records: ID = 1..rows, NAME = "n<ID>", every third NAME null.
std::unique_ptr<TKVMemDataSet> MakeMem(int rows) {
  auto ds = std::make_unique<TKVMemDataSet>();
  ds->FieldDefs().Add("ID", ftInteger);
  ds->FieldDefs().Add("NAME", ftString, 20);
  ds->CreateDataSet();
  for (int i = 1; i <= rows; ++i) {
    ds->Append();
    ds->FieldByName("ID").SetValue(TVariant(int64_t{i}));
    if (i % 3 != 0) ds->FieldByName("NAME").SetAsString("n" + std::to_string(i));
    ds->Post();
  }
  ds->First();
  return ds;
}

QString Cell(const TDataSetTableModel& m, int row, int column) { return m.data(m.index(row, column)).toString(); }

void FetchAll(TDataSetTableModel& m) {
  while (m.canFetchMore()) m.fetchMore();
}

}  // namespace

class DataSetTableModelTest : public QObject {
  Q_OBJECT
private slots:
  void headerAndCellsShowFieldsWithNullAsEmpty();
  void everyRowIsFetchedWhateverTheCount_data();
  void everyRowIsFetchedWhateverTheCount();
  void aLargeSqliteTableOpensWithOnePageAndKeepsFewPages();
  void aForwardOnlyQueryKeepsEveryPageAndRunsOnce();
  void closingEmptyingAndRebindingResetTheModel();
  void aPostedRecordIsReadAgainAndAnEditIsNeverDisturbed();
  void aViewFetchesMoreWhenScrolledToTheEnd();
};

void DataSetTableModelTest::headerAndCellsShowFieldsWithNullAsEmpty() {
  auto ds = MakeMem(4);
  TDataSetTableModel model;
  model.SetDataSet(ds.get());
  QCOMPARE(model.columnCount(), 2);
  QCOMPARE(model.rowCount(), 4);
  QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QString("ID"));
  QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QString("NAME"));
  QCOMPARE(model.headerData(3, Qt::Vertical).toInt(), 4);
  QCOMPARE(Cell(model, 0, 0), QString("1"));
  QCOMPARE(Cell(model, 1, 1), QString("n2"));
  QCOMPARE(Cell(model, 2, 1), QString(""));  // null
  QCOMPARE(Cell(model, 3, 0), QString("4"));
  // Outside the table and other roles: nothing.
  QVERIFY(!model.data(model.index(4, 0)).isValid());
  QVERIFY(!model.data(model.index(0, 0), Qt::EditRole).isValid());
  QVERIFY(!model.canFetchMore());
}

void DataSetTableModelTest::everyRowIsFetchedWhateverTheCount_data() {
  QTest::addColumn<int>("rows");
  for (int n : {0, 1, 199, 200, 201, 400, 1650}) QTest::newRow(qPrintable(QString::number(n))) << n;
}

void DataSetTableModelTest::everyRowIsFetchedWhateverTheCount() {
  QFETCH(int, rows);
  auto ds = MakeMem(rows);
  ds->MoveBy(rows / 2);
  const int recNo = ds->RecNo();
  TDataSetTableModel model;
  model.SetDataSet(ds.get());
  QCOMPARE(model.rowCount(), std::min(rows, TDataSetTableModel::kPageRows));
  FetchAll(model);
  QCOMPARE(model.rowCount(), rows);
  QVERIFY(model.CachedPageCount() <= TDataSetTableModel::kCachedPages);
  // Every row, in order, whichever page it was cached in.
  for (int r = 0; r < rows; ++r) QCOMPARE(Cell(model, r, 0), QString::number(r + 1));
  // The cursor stands where it stood before the model read.
  QCOMPARE(ds->RecNo(), recNo);
  QVERIFY(model.LastError().isEmpty());
}

void DataSetTableModelTest::aLargeSqliteTableOpensWithOnePageAndKeepsFewPages() {
  kvtest::TempFolder folder("tablemodel");
  auto conn = std::make_shared<TSqliteConnection>(folder.File("big.db"));
  conn->Database().Exec(
      "CREATE TABLE T(ID INTEGER PRIMARY KEY, NAME TEXT);"
      "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 100000) "
      "INSERT INTO T SELECT x, CASE WHEN x % 7 = 0 THEN NULL ELSE 'row ' || x END FROM c;");
  TSqliteTableDataSet table(conn);
  table.SetTableName("T");
  table.Open();
  TDataSetTableModel model;
  model.SetDataSet(&table);
  QCOMPARE(model.rowCount(), TDataSetTableModel::kPageRows);
  QCOMPARE(model.CachedPageCount(), 1);
  QVERIFY(model.canFetchMore());
  FetchAll(model);
  QCOMPARE(model.rowCount(), 100000);
  QCOMPARE(model.CachedPageCount(), TDataSetTableModel::kCachedPages);
  QCOMPARE(Cell(model, 99999, 1), QString("row 100000"));
  QCOMPARE(Cell(model, 13, 1), QString(""));  // ID 14 is null: page 0 read again
  QCOMPARE(Cell(model, 0, 1), QString("row 1"));
  QCOMPARE(Cell(model, 50123, 0), QString("50124"));
  QVERIFY(model.CachedPageCount() <= TDataSetTableModel::kCachedPages);
  QCOMPARE(table.FieldByName("ID").AsInteger(), int64_t{1});
  model.SetDataSet(nullptr);
}

void DataSetTableModelTest::aForwardOnlyQueryKeepsEveryPageAndRunsOnce() {
  kvtest::TempFolder folder("tablemodel");
  auto conn = std::make_shared<TSqliteConnection>(folder.File("query.db"));
  conn->Database().Exec(
      "CREATE TABLE T(ID INTEGER PRIMARY KEY);"
      "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 1850) INSERT INTO T SELECT x FROM c;");
  TSqliteQueryDataSet query(conn);
  query.SetSQL("SELECT ID, ID * 2 AS TWICE FROM T ORDER BY ID");
  query.Open();
  TDataSetTableModel model;
  model.SetDataSet(&query);
  QCOMPARE(model.rowCount(), TDataSetTableModel::kPageRows);
  FetchAll(model);
  QCOMPARE(model.rowCount(), 1850);
  // Without bookmarks no page can be read again, so none is dropped.
  QCOMPARE(model.CachedPageCount(), 10);
  QCOMPARE(Cell(model, 0, 1), QString("2"));
  QCOMPARE(Cell(model, 1849, 1), QString("3700"));
  QCOMPARE(query.ExecutionCount(), int64_t{1});
  QVERIFY(model.LastError().isEmpty());
  model.SetDataSet(nullptr);
}

void DataSetTableModelTest::closingEmptyingAndRebindingResetTheModel() {
  auto ds = MakeMem(250);
  auto other = MakeMem(3);
  TDataSetTableModel model;
  QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
  model.SetDataSet(ds.get());
  QCOMPARE(resets.count(), 1);
  QCOMPARE(model.rowCount(), TDataSetTableModel::kPageRows);
  ds->EmptyDataSet();
  QCOMPARE(model.rowCount(), 0);
  QCOMPARE(model.columnCount(), 2);
  QVERIFY(!model.canFetchMore());
  ds->Close();
  QCOMPARE(model.rowCount(), 0);
  QCOMPARE(model.columnCount(), 0);
  QVERIFY(!model.canFetchMore());
  ds->Open();  // an in-memory dataset opens empty
  QCOMPARE(model.rowCount(), 0);
  QCOMPARE(model.columnCount(), 2);
  model.SetDataSet(other.get());
  QCOMPARE(Cell(model, 2, 0), QString("3"));
  // The dataset left behind no longer reaches the model.
  const int before = resets.count();
  ds->Close();
  QCOMPARE(resets.count(), before);
  model.SetDataSet(nullptr);
  QCOMPARE(model.rowCount(), 0);
  QVERIFY(model.DataSet() == nullptr);
}

void DataSetTableModelTest::aPostedRecordIsReadAgainAndAnEditIsNeverDisturbed() {
  auto ds = MakeMem(250);
  TDataSetTableModel model;
  model.SetDataSet(ds.get());
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  ds->MoveBy(4);  // record 5
  ds->Edit();
  ds->FieldByName("NAME").SetAsString("edited");
  // While the record is being edited the model does not move the cursor.
  QVERIFY(!model.canFetchMore());
  model.fetchMore();
  QCOMPARE(model.rowCount(), TDataSetTableModel::kPageRows);
  QCOMPARE(ds->State(), dsEdit);
  ds->Post();
  QVERIFY(changed.count() >= 1);
  QCOMPARE(Cell(model, 4, 1), QString("edited"));
  QCOMPARE(ds->RecNo(), 5);
  QVERIFY(model.canFetchMore());
  FetchAll(model);
  QCOMPARE(model.rowCount(), 250);
}

void DataSetTableModelTest::aViewFetchesMoreWhenScrolledToTheEnd() {
  auto ds = MakeMem(1000);
  TDataSetTableModel model;
  model.SetDataSet(ds.get());
  QTableView view;
  view.setModel(&model);
  view.resize(400, 300);
  view.show();
  QCOMPARE(model.rowCount(), TDataSetTableModel::kPageRows);
  view.scrollToBottom();
  QTRY_VERIFY_WITH_TIMEOUT(model.rowCount() > TDataSetTableModel::kPageRows, 5000);
  view.setModel(nullptr);
}

QTEST_MAIN(DataSetTableModelTest)
#include "DataSetTableModelTest.moc"
