// The field-definition grid: what Load shows (key from the index
// definitions, required flag as "Null"), how Store rebuilds a list (type
// names matched, server types kept, bad numbers and repeated names
// refused without touching the list), and the row actions.
#include <QAction>
#include <QTableWidget>
#include <QtTest>

#include "data/KVFieldDefs.h"
#include "editors/FieldDefGrid.h"
#include "editors/QtText.h"

using namespace kv;

namespace {

TKVFieldDef* AddDef(TKVFieldDefs& defs, const std::string& name, TFieldType type, int size, bool required,
                    const std::string& serverType = std::string()) {
  TKVFieldDef* def = defs.AddFieldDef(name);
  def->DataType = type;
  def->Size = size;
  def->DataTypeName = serverType;
  if (required) def->Attributes = static_cast<uint8_t>(1u << faRequired);
  return def;
}

void SetText(QTableWidget& grid, int row, int column, const QString& text) { grid.item(row, column)->setText(text); }

bool Checked(QTableWidget& grid, int row, int column) { return grid.item(row, column)->checkState() == Qt::Checked; }

}  // namespace

class FieldDefGridTest : public QObject {
  Q_OBJECT
private slots:
  void init();
  void keyComesFromAnyIndexIgnoringCaseAndNullShowsRequired();
  void storeKeepsServerTypeOfUnchangedRowsAndMatchesTypedNames();
  void unknownTypeTextLeavesTheTypeUnset();
  void badLengthOrRepeatedNameIsRefusedAndTheListStaysAsItWas_data();
  void badLengthOrRepeatedNameIsRefusedAndTheListStaysAsItWas();
  void rowActionsInsertBeforeTheCurrentRowAndDeleteIt();
  void readOnlyGridHasNoRowActionsAndNoEditing();

private:
  TKVFieldDefs fields_;
  TKVIndexDefs indexes_;
};

void FieldDefGridTest::init() {
  fields_.Clear();
  indexes_.Clear();
  AddDef(fields_, "Id", ftInteger, 0, true, "BIGINT");
  AddDef(fields_, "Name", ftString, 40, false, "VARCHAR2");
  AddDef(fields_, "code", ftString, 8, false);
  TKVIndexDef* pk = indexes_.AddIndexDef();
  pk->Name = "pk";
  pk->FieldExpression = "ID";
  TKVIndexDef* other = indexes_.AddIndexDef();
  other->Name = "byCode";
  other->FieldExpression = "Name2; CODE";
}

void FieldDefGridTest::keyComesFromAnyIndexIgnoringCaseAndNullShowsRequired() {
  TFieldDefGrid grid(nullptr, "sgFields");
  grid.Load(&fields_, &indexes_);
  QTableWidget& table = grid.Grid();
  QCOMPARE(table.rowCount(), 3);
  QCOMPARE(table.horizontalHeaderItem(0)->text(), QString("Field name"));
  QCOMPARE(table.horizontalHeaderItem(5)->text(), QString("Null"));
  QVERIFY(Checked(table, 0, TFieldDefGrid::colKey));
  QVERIFY(!Checked(table, 1, TFieldDefGrid::colKey));  // "Name2" is not "Name"
  QVERIFY(Checked(table, 2, TFieldDefGrid::colKey));
  QVERIFY(Checked(table, 0, TFieldDefGrid::colNull));
  QVERIFY(!Checked(table, 1, TFieldDefGrid::colNull));
  QCOMPARE(table.item(1, TFieldDefGrid::colType)->text(), QString("String"));
  QCOMPARE(table.item(1, TFieldDefGrid::colLength)->text(), QString("40"));
  grid.Load(&fields_, nullptr);
  QVERIFY(!Checked(table, 0, TFieldDefGrid::colKey));
}

void FieldDefGridTest::storeKeepsServerTypeOfUnchangedRowsAndMatchesTypedNames() {
  TFieldDefGrid grid(nullptr, "sgFields");
  grid.Load(&fields_, &indexes_);
  QTableWidget& table = grid.Grid();
  SetText(table, 1, TFieldDefGrid::colType, "  memo ");
  SetText(table, 1, TFieldDefGrid::colPrecision, "");
  table.item(1, TFieldDefGrid::colNull)->setCheckState(Qt::Checked);
  table.item(0, TFieldDefGrid::colNull)->setCheckState(Qt::Unchecked);
  SetText(table, 2, TFieldDefGrid::colName, "");  // a nameless row is left out
  TKVFieldDefs out;
  std::string error;
  QVERIFY(grid.Store(out, error));
  QCOMPARE(out.Count(), 2);
  QCOMPARE(out.GetObj(0)->DataTypeName, std::string("BIGINT"));
  QCOMPARE(out.GetObj(0)->DataType, uint8_t(ftInteger));
  QVERIFY(!out.GetObj(0)->Required());
  QCOMPARE(out.GetObj(1)->DataType, uint8_t(ftMemo));
  QCOMPARE(out.GetObj(1)->DataTypeName, std::string("Memo"));
  QVERIFY(out.GetObj(1)->Required());
  QCOMPARE(out.GetObj(1)->Precision, 0);
  QCOMPARE(out.GetObj(1)->FieldNo, 2);
}

void FieldDefGridTest::unknownTypeTextLeavesTheTypeUnset() {
  QCOMPARE(FieldTypeOfText("fmtbcd"), int(ftFMTBcd));
  QCOMPARE(FieldTypeOfText("VARCHAR"), -1);
  TFieldDefGrid grid(nullptr, "sgFields");
  grid.InsertRowAction()->trigger();
  QTableWidget& table = grid.Grid();
  SetText(table, 0, TFieldDefGrid::colName, "Extra");
  SetText(table, 0, TFieldDefGrid::colType, "VARCHAR");
  SetText(table, 0, TFieldDefGrid::colLength, "12");
  TKVFieldDefs out;
  std::string error;
  QVERIFY(grid.Store(out, error));
  QCOMPARE(out.Count(), 1);
  QCOMPARE(out.GetObj(0)->DataType, uint8_t(ftUnknown));
  QVERIFY(out.GetObj(0)->DataTypeName.empty());
  QCOMPARE(out.GetObj(0)->Size, 12);
}

void FieldDefGridTest::badLengthOrRepeatedNameIsRefusedAndTheListStaysAsItWas_data() {
  QTest::addColumn<int>("column");
  QTest::addColumn<QString>("text");
  QTest::newRow("letters in length") << int(TFieldDefGrid::colLength) << "4x";
  QTest::newRow("negative precision") << int(TFieldDefGrid::colPrecision) << "-1";
  QTest::newRow("too large length") << int(TFieldDefGrid::colLength) << "99999999999";
  QTest::newRow("repeated name") << int(TFieldDefGrid::colName) << "ID";
}

void FieldDefGridTest::badLengthOrRepeatedNameIsRefusedAndTheListStaysAsItWas() {
  QFETCH(int, column);
  QFETCH(QString, text);
  TFieldDefGrid grid(nullptr, "sgFields");
  grid.Load(&fields_, &indexes_);
  SetText(grid.Grid(), 2, column, text);
  TKVFieldDefs out;
  out.AddFieldDef("Keep");
  std::string error;
  QVERIFY(!grid.Store(out, error));
  QVERIFY(!error.empty());
  QCOMPARE(out.Count(), 1);
  QCOMPARE(out.GetObj(0)->Name, std::string("Keep"));
}

void FieldDefGridTest::rowActionsInsertBeforeTheCurrentRowAndDeleteIt() {
  TFieldDefGrid grid(nullptr, "sgFields");
  grid.Load(&fields_, &indexes_);
  QTableWidget& table = grid.Grid();
  table.setCurrentCell(1, 0);
  grid.InsertRowAction()->trigger();
  QCOMPARE(table.rowCount(), 4);
  QCOMPARE(table.item(1, 0)->text(), QString());
  QCOMPARE(table.item(2, 0)->text(), QString("Name"));
  QCOMPARE(grid.NamedRowCount(), 3);
  table.setCurrentCell(2, 0);
  grid.DeleteRowAction()->trigger();
  QCOMPARE(table.rowCount(), 3);
  QCOMPARE(table.item(2, 0)->text(), QString("code"));
  TKVFieldDefs out;
  std::string error;
  QVERIFY(grid.Store(out, error));
  QCOMPARE(out.Count(), 2);
  QCOMPARE(out.GetObj(1)->Name, std::string("code"));
  QCOMPARE(out.GetObj(1)->Size, 8);
}

void FieldDefGridTest::readOnlyGridHasNoRowActionsAndNoEditing() {
  TFieldDefGrid grid(nullptr, "sgFields", true);
  grid.Load(&fields_, &indexes_);
  QVERIFY(!grid.InsertRowAction());
  QVERIFY(grid.findChild<QAction*>("acInsertRow") == nullptr);
  QCOMPARE(grid.Grid().editTriggers(), QAbstractItemView::NoEditTriggers);
  QVERIFY(!(grid.Grid().item(0, TFieldDefGrid::colNull)->flags() & Qt::ItemIsUserCheckable));
  QVERIFY(Checked(grid.Grid(), 0, TFieldDefGrid::colKey));
}

QTEST_MAIN(FieldDefGridTest)
#include "FieldDefGridTest.moc"
