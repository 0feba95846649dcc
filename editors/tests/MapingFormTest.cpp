// The mapping editor over a DB link between two SQLite tables made here:
// loading, lines, dragging, expression editing, field matching, writing
// back, the close question and the field-definition pages.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>
#include <memory>

#include "DialogTestSupport.h"
#include "data/SqliteDatabase.h"
#include "data/TableDataSets.h"
#include "editors/AutoMatchForm.h"
#include "editors/ExpForm.h"
#include "editors/MapingForm.h"
#include "editors/QtText.h"
#include "expression/ThreadExp.h"
#include "jobs/DBLink.h"
#include "testsupport/RecordingUI.h"
#include "testsupport/TempFiles.h"

using namespace kv;
using kvtest::Find;

namespace {

// Answers every question with `answer` and records the texts.
class TAnsweringUI : public IUserInterface {
public:
  explicit TAnsweringUI(int answer) : answer_(answer) {}
  int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons, int) override {
    messages.push_back(text);
    types.push_back(type);
    return answer_;
  }
  std::vector<std::string> messages;
  std::vector<TMsgDlgType> types;

private:
  int answer_;
};

QStringList MappingLines(const TDBLink& link) {
  QStringList lines;
  for (int i = 0; i < link.Mappings().Count(); ++i) lines << QStr(link.Mappings().Strings(i));
  return lines;
}

// The lines of the form as "source field>dest field", in the order they were drawn.
QStringList LinkNames(const TKVMapingForm& form) {
  QStringList names;
  for (const TFieldLink& link : form.Links()) names << QStr(link.SourceField + ">" + link.DestField);
  return names;
}

QStringList Expressions(const TKVMapingForm& form) {
  QStringList texts;
  for (int row = 0; row < form.DestRowCount(); ++row) texts << QStr(form.Expression(row));
  return texts;
}

// The center of `row` in `grid`'s viewport.
QPoint RowCenter(QTableWidget& grid, int row, int column = 0) {
  return grid.visualItemRect(grid.item(row, column)).center();
}

// Drags source row `sourceRow` with the mouse onto destination row `destRow`.
void DragRow(TKVMapingForm& form, int sourceRow, int destRow) {
  auto* source = Find<QTableWidget>(form, "sgdSource");
  auto* dest = Find<QTableWidget>(form, "sgdDest");
  const QPoint from = RowCenter(*source, sourceRow);
  const QPoint target = dest->viewport()->mapToGlobal(RowCenter(*dest, destRow, 1));
  const QPoint to = source->viewport()->mapFromGlobal(target);
  QTest::mousePress(source->viewport(), Qt::LeftButton, {}, from);
  QTest::mouseMove(source->viewport(), from + QPoint(QApplication::startDragDistance() + 2, 0));
  QTest::mouseMove(source->viewport(), to);
  QTest::mouseRelease(source->viewport(), Qt::LeftButton, {}, to);
}

}  // namespace

class MapingFormTest : public QObject {
  Q_OBJECT
private slots:
  void init();
  void cleanup();
  void loadingShowsFieldsExpressionsAndTheirLines();
  void writingBackDropsVanishedFieldsAndEmptyExpressions();
  void applyWritesBackWithoutClosing();
  void cancelClosesOnlyOnYesAndLeavesTheLinkUnchanged();
  void editDBLinkMapingAnswersTrueOnlyOnOk();
  void draggingTheSameSourceFieldTwiceAppendsItsReferenceOnce();
  void droppingOutsideTheDestinationRowsDrawsNothing();
  void typingAnExpressionDrawsAndRemovesLines();
  void theExpressionEditorOffersTheSourceFieldsAndReplacesTheCell();
  void matchingWithNoOptionClearsAllExpressionsAndLines();
  void partialToOutputMatchesIdAndCustId();
  void severalSourcesAppendTheirReferencesInMatchingOrder();
  void caseInsensitiveOptionComparesNamesAsWritten();
  void matchFieldsButtonUsesTheOptionsDialog();
  void fieldDefinitionPagesShowTheSixColumns();
  void linesFollowTheirRowsWhenTheGridScrolls();
  void unreadableDestinationKeepsTheMapping();
  void linkWithoutDatasetsKeepsItsMapping();

private:
  void MakeTables(const std::string& destColumns);
  std::unique_ptr<kvtest::TempFolder> folder_;
  std::unique_ptr<TKVTableDataSet> source_;
  std::unique_ptr<TKVTableDataSet> dest_;
  std::unique_ptr<TDBLink> link_;
};

void MapingFormTest::MakeTables(const std::string& destColumns) {
  TSqliteDatabase db(folder_->File("data.db"));
  db.Exec("CREATE TABLE src(ID INTEGER PRIMARY KEY, CUSTID INTEGER, NAME TEXT NOT NULL, City TEXT)");
  db.Exec("INSERT INTO src VALUES(1, 7, 'Ann', 'Oslo')");
  db.Exec("CREATE TABLE dst(" + destColumns + ")");
}

void MapingFormTest::init() {
  folder_ = std::make_unique<kvtest::TempFolder>("mapingform");
  MakeTables("ID INTEGER, CUSTID INTEGER, NAME TEXT, CITY TEXT");
  auto table = [this](const char* name, const char* tableName) {
    auto ds = std::make_unique<TKVTableDataSet>();
    ds->Name = name;
    ds->DataBaseInfo->DriverName = "SQLITE";
    ds->DataBaseInfo->Path = folder_->File("data.db");
    ds->TableName = tableName;
    return ds;
  };
  source_ = table("S", "src");
  dest_ = table("D", "dst");
  link_ = std::make_unique<TDBLink>();
  link_->Name = "L";
  link_->SetSourceDataSet(source_.get());
  link_->SetDestDataSet(dest_.get());
  link_->Mappings().Add("ID=S.ID");
  link_->Mappings().Add("NAME=Upper(s.name)");  // another letter case
  link_->Mappings().Add("GONE=S.CUSTID");        // the destination has no such field
  link_->Mappings().Add("CITY=");
}

void MapingFormTest::cleanup() {
  link_.reset();
  source_.reset();
  dest_.reset();
  folder_.reset();
}

void MapingFormTest::loadingShowsFieldsExpressionsAndTheirLines() {
  TKVMapingForm form(*link_);
  QCOMPARE(form.windowTitle(), QString("Set L Fields Mapping"));
  QCOMPARE(Find<TDataSetPanel>(form, "pnlSource")->Caption(), QString("S"));
  QCOMPARE(Find<TDataSetPanel>(form, "pnlDest")->Caption(), QString("D"));
  auto* source = Find<QTableWidget>(form, "sgdSource");
  QCOMPARE(source->columnCount(), 1);
  QCOMPARE(source->rowCount(), 4);
  QCOMPARE(source->item(3, 0)->text(), QString("City"));
  auto* dest = Find<QTableWidget>(form, "sgdDest");
  QCOMPARE(dest->columnCount(), 2);
  QCOMPARE(dest->item(1, 1)->text(), QString("CUSTID"));
  QCOMPARE(Expressions(form), (QStringList{"S.ID", "", "Upper(s.name)", ""}));
  // The reference in lower case still draws its line; GONE is not shown.
  QCOMPARE(LinkNames(form), (QStringList{"ID>ID", "NAME>NAME"}));
  QVERIFY(!(dest->item(0, 1)->flags() & Qt::ItemIsEditable));
  QVERIFY(dest->item(0, 0)->flags() & Qt::ItemIsEditable);
}

void MapingFormTest::writingBackDropsVanishedFieldsAndEmptyExpressions() {
  TKVMapingForm form(*link_);
  form.show();
  form.SetExpression(1, "   ");  // blank: no entry
  QTest::mouseClick(Find<QPushButton>(form, "btnOk"), Qt::LeftButton);
  QCOMPARE(form.result(), int(QDialog::Accepted));
  QCOMPARE(MappingLines(*link_), (QStringList{"ID=S.ID", "NAME=Upper(s.name)"}));
  // The link keeps its own datasets (those of the design), not copies.
  QCOMPARE(link_->SourceDataSet(), source_.get());
  QCOMPARE(link_->DestDataSet(), dest_.get());
}

void MapingFormTest::applyWritesBackWithoutClosing() {
  TAnsweringUI ui(mrYes);
  kvtest::UIScope scope(&ui);
  TKVMapingForm form(*link_);
  form.show();
  form.SetExpression(3, "S.City");
  QTest::mouseClick(Find<QPushButton>(form, "acApply"), Qt::LeftButton);
  QVERIFY(form.isVisible());
  QCOMPARE(MappingLines(*link_), (QStringList{"ID=S.ID", "NAME=Upper(s.name)", "CITY=S.City"}));
  form.SetExpression(0, "1");
  QTest::mouseClick(Find<QPushButton>(form, "btnCancel"), Qt::LeftButton);
  QCOMPARE(form.result(), int(QDialog::Rejected));
  QCOMPARE(MappingLines(*link_), (QStringList{"ID=S.ID", "NAME=Upper(s.name)", "CITY=S.City"}));
}

void MapingFormTest::cancelClosesOnlyOnYesAndLeavesTheLinkUnchanged() {
  const QStringList before = MappingLines(*link_);
  TKVMapingForm form(*link_);
  form.show();
  form.MatchFields(1u << mmPartialToOutput);
  {
    TAnsweringUI no(mrNo);
    kvtest::UIScope scope(&no);
    QTest::mouseClick(Find<QPushButton>(form, "btnCancel"), Qt::LeftButton);
    QCOMPARE(no.messages, (std::vector<std::string>{"Be sure to quit?"}));
    QCOMPARE(no.types[0], mtConfirmation);
    QVERIFY(form.isVisible());
    QTest::keyClick(&form, Qt::Key_Escape);
    QCOMPARE(no.messages.size(), size_t{2});
    QVERIFY(form.isVisible());
  }
  TAnsweringUI yes(mrYes);
  kvtest::UIScope scope(&yes);
  QTest::mouseClick(Find<QPushButton>(form, "btnCancel"), Qt::LeftButton);
  QVERIFY(!form.isVisible());
  QCOMPARE(form.result(), int(QDialog::Rejected));
  QCOMPARE(MappingLines(*link_), before);
  QCOMPARE(int(link_->MatchModes), 0);
}

void MapingFormTest::editDBLinkMapingAnswersTrueOnlyOnOk() {
  TAnsweringUI yes(mrYes);
  kvtest::UIScope scope(&yes);
  kvtest::OnModal<TKVMapingForm>([](TKVMapingForm& form) {
    form.SetExpression(1, "S.CUSTID");
    QTest::mouseClick(Find<QPushButton>(form, "btnCancel"), Qt::LeftButton);
  });
  QVERIFY(!EditDBLinkMaping(*link_));
  QCOMPARE(link_->Mappings().Count(), 4);
  kvtest::OnModal<TKVMapingForm>([](TKVMapingForm& form) {
    form.SetExpression(1, "S.CUSTID");
    QTest::mouseClick(Find<QPushButton>(form, "btnOk"), Qt::LeftButton);
  });
  QVERIFY(EditDBLinkMaping(*link_));
  QCOMPARE(MappingLines(*link_), (QStringList{"ID=S.ID", "CUSTID=S.CUSTID", "NAME=Upper(s.name)"}));
}

void MapingFormTest::draggingTheSameSourceFieldTwiceAppendsItsReferenceOnce() {
  TKVMapingForm form(*link_);
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  DragRow(form, 3, 3);  // City onto CITY (empty)
  QCOMPARE(QStr(form.Expression(3)), QString("S.City"));
  DragRow(form, 3, 3);
  QCOMPARE(QStr(form.Expression(3)), QString("S.City"));
  QCOMPARE(LinkNames(form), (QStringList{"ID>ID", "NAME>NAME", "City>CITY"}));
  // Onto a row with an expression: the reference follows it, apart.
  DragRow(form, 1, 0);
  QCOMPARE(QStr(form.Expression(0)), QString("S.ID S.CUSTID"));
  QVERIFY(form.HasLink(1, 0));
  // The drop handler answers whether the line was new.
  QVERIFY(!form.DropField(1, 0));
  QCOMPARE(QStr(form.Expression(0)), QString("S.ID S.CUSTID"));
  QVERIFY(!form.DropField(9, 0));
  QVERIFY(!form.DropField(0, -1));
}

void MapingFormTest::droppingOutsideTheDestinationRowsDrawsNothing() {
  TKVMapingForm form(*link_);
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  auto* source = Find<QTableWidget>(form, "sgdSource");
  const QPoint from = RowCenter(*source, 1);
  const QPoint inside = RowCenter(*source, 2);
  QTest::mousePress(source->viewport(), Qt::LeftButton, {}, from);
  QTest::mouseMove(source->viewport(), inside);
  QTest::mouseRelease(source->viewport(), Qt::LeftButton, {}, inside);
  QCOMPARE(form.Links().size(), size_t{2});
  QCOMPARE(Expressions(form), (QStringList{"S.ID", "", "Upper(s.name)", ""}));
}

void MapingFormTest::typingAnExpressionDrawsAndRemovesLines() {
  TKVMapingForm form(*link_);
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  auto* dest = Find<QTableWidget>(form, "sgdDest");
  dest->setCurrentCell(1, 0);
  QTest::keyClick(dest, Qt::Key_F2);  // edits the cell in place
  auto* editor = dest->viewport()->findChild<QLineEdit*>();
  QVERIFY(editor);
  QTest::keyClicks(editor, "s.custid + S.ID");
  QTest::keyClick(editor, Qt::Key_Return);  // the grid takes the text once the key is handled
  QTRY_COMPARE_WITH_TIMEOUT(QStr(form.Expression(1)), QString("s.custid + S.ID"), 5000);
  QCOMPARE(LinkNames(form), (QStringList{"ID>ID", "NAME>NAME", "ID>CUSTID", "CUSTID>CUSTID"}));
  form.SetExpression(1, "S.CUSTID");
  QVERIFY(!form.HasLink(0, 1));
  QVERIFY(form.HasLink(1, 1));
  form.SetExpression(2, "'constant'");
  QCOMPARE(LinkNames(form), (QStringList{"ID>ID", "CUSTID>CUSTID"}));
  // A reference counts as a whole name only.
  form.SetExpression(2, "S.NAMES + S.CITY_X + XS.NAME");
  QVERIFY(!form.HasLink(2, 2));
  QVERIFY(!form.HasLink(3, 2));
  form.SetExpression(2, "Trim(s.Name)+'-'+S.CITY");
  QVERIFY(form.HasLink(2, 2));
  QVERIFY(form.HasLink(3, 2));
}

void MapingFormTest::theExpressionEditorOffersTheSourceFieldsAndReplacesTheCell() {
  TExpTranslator* before = GetTranslator();
  TKVMapingForm form(*link_);
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  auto* dest = Find<QTableWidget>(form, "sgdDest");
  QStringList offered;
  QString shown;
  kvtest::OnModal<TExpForm>([&](TExpForm& editor) {
    offered = kvtest::ListItems(*Find<QListWidget>(editor, "lbxVariants"));
    shown = QStr(editor.GetExpStr());
    editor.SetExpStr("S.NAME + S.City");
    QTest::mouseClick(Find<QPushButton>(editor, "btnOk"), Qt::LeftButton);
  });
  const QPoint cell = RowCenter(*dest, 2, 0);
  // A double click as the platform delivers it: press, release, then the
  // second press as a double click, and its release.
  QTest::mouseClick(dest->viewport(), Qt::LeftButton, {}, cell);
  QTest::mouseDClick(dest->viewport(), Qt::LeftButton, {}, cell);
  QCOMPARE(shown, QString("Upper(s.name)"));
  for (const char* name : {"S", "S.ID", "S.CUSTID", "S.NAME", "S.CITY"}) QVERIFY2(offered.contains(name), name);
  QCOMPARE(QStr(form.Expression(2)), QString("S.NAME + S.City"));
  QVERIFY(form.HasLink(2, 2));
  QVERIFY(form.HasLink(3, 2));
  QCOMPARE(GetTranslator(), before);  // the form's variables do not outlive it on this thread
  // Cancel in the editor keeps the cell.
  kvtest::OnModal<TExpForm>([](TExpForm& editor) {
    editor.SetExpStr("ignored");
    QTest::mouseClick(Find<QPushButton>(editor, "btnCancel"), Qt::LeftButton);
  });
  QVERIFY(!form.EditExpression(2));
  QCOMPARE(QStr(form.Expression(2)), QString("S.NAME + S.City"));
  QVERIFY(!form.EditExpression(4));  // no such row: nothing opens
}

void MapingFormTest::matchingWithNoOptionClearsAllExpressionsAndLines() {
  TKVMapingForm form(*link_);
  QCOMPARE(form.Links().size(), size_t{2});
  form.MatchFields(0);
  QCOMPARE(Expressions(form), (QStringList{"", "", "", ""}));
  QVERIFY(form.Links().empty());
  form.Apply();
  QCOMPARE(link_->Mappings().Count(), 0);
}

void MapingFormTest::partialToOutputMatchesIdAndCustId() {
  TKVMapingForm form(*link_);
  form.MatchFields(1u << mmPartialToOutput);
  QVERIFY(form.HasLink(0, 0));  // ID > ID
  QVERIFY(form.HasLink(0, 1));  // ID > CUSTID
  QVERIFY(form.HasLink(3, 3));  // City > CITY: letter case aside
  QCOMPARE(Expressions(form), (QStringList{"S.ID", "S.ID S.CUSTID", "S.NAME", "S.City"}));
  QCOMPARE(int(form.MatchModes()), 1 << mmPartialToOutput);
  QCOMPARE(int(link_->MatchModes), 0);  // until written back
  form.Apply();
  QCOMPARE(int(link_->MatchModes), 1 << mmPartialToOutput);
}

void MapingFormTest::severalSourcesAppendTheirReferencesInMatchingOrder() {
  TKVMapingForm form(*link_);
  form.MatchFields((1u << mmPartialToOutput) | (1u << mmPartialToInput));
  // Partial to output first (ID, then CUSTID for CUSTID), then partial to
  // input adds CUSTID to ID; a line drawn already adds nothing again.
  QCOMPARE(Expressions(form), (QStringList{"S.ID S.CUSTID", "S.ID S.CUSTID", "S.NAME", "S.City"}));
  QCOMPARE(LinkNames(form),
           (QStringList{"ID>ID", "ID>CUSTID", "CUSTID>CUSTID", "NAME>NAME", "City>CITY", "CUSTID>ID"}));
}

void MapingFormTest::caseInsensitiveOptionComparesNamesAsWritten() {
  TKVMapingForm form(*link_);
  form.MatchFields(1u << mmCaseInsensitive);
  QCOMPARE(Expressions(form), (QStringList{"S.ID", "S.CUSTID", "S.NAME", ""}));
  QVERIFY(!form.HasLink(3, 3));  // City and CITY differ as written
}

void MapingFormTest::matchFieldsButtonUsesTheOptionsDialog() {
  link_->MatchModes = 1u << mmCaseInsensitive;
  TKVMapingForm form(*link_);
  form.show();
  bool shownChecked = false;
  kvtest::OnModal<TAutoMatchForm>([&](TAutoMatchForm& dialog) {
    shownChecked = Find<QCheckBox>(dialog, "cbCaseInsensitive")->isChecked() &&
                   !Find<QCheckBox>(dialog, "cbPartialToOutput")->isChecked();
    Find<QCheckBox>(dialog, "cbCaseInsensitive")->setChecked(false);
    Find<QCheckBox>(dialog, "cbPartialToInput")->setChecked(true);
    QTest::mouseClick(Find<QPushButton>(dialog, "btnOk"), Qt::LeftButton);
  });
  QTest::mouseClick(Find<QPushButton>(form, "acAutoMatch"), Qt::LeftButton);
  QVERIFY(shownChecked);
  QCOMPARE(int(form.MatchModes()), 1 << mmPartialToInput);
  // Partial to input: the source name CUSTID holds the destination name ID.
  QCOMPARE(Expressions(form), (QStringList{"S.ID S.CUSTID", "S.CUSTID", "S.NAME", "S.City"}));
  // Cancel in the options dialog changes nothing.
  kvtest::OnModal<TAutoMatchForm>([](TAutoMatchForm& dialog) {
    Find<QCheckBox>(dialog, "cbPartialToInput")->setChecked(false);
    QTest::mouseClick(Find<QPushButton>(dialog, "btnCancel"), Qt::LeftButton);
  });
  QTest::mouseClick(Find<QPushButton>(form, "acAutoMatch"), Qt::LeftButton);
  QCOMPARE(int(form.MatchModes()), 1 << mmPartialToInput);
  QCOMPARE(form.Links().size(), size_t{5});
}

void MapingFormTest::fieldDefinitionPagesShowTheSixColumns() {
  {
    TSqliteDatabase db(folder_->File("data.db"));
    db.Exec("CREATE UNIQUE INDEX dst_cust ON dst(CUSTID)");
  }
  TKVMapingForm form(*link_);
  auto* grid = Find<QTableWidget>(form, "sgdSourFieldDef");
  QCOMPARE(grid->columnCount(), 6);
  const QStringList titles = {"Field name", "Key", "Data type", "Length", "Precision", "Null"};
  for (int c = 0; c < 6; ++c) QCOMPARE(grid->horizontalHeaderItem(c)->text(), titles[c]);
  QCOMPARE(grid->rowCount(), 4);
  QCOMPARE(grid->item(2, 0)->text(), QString("NAME"));
  QCOMPARE(grid->item(2, 5)->checkState(), Qt::Checked);  // NOT NULL: required
  QCOMPARE(grid->item(3, 5)->checkState(), Qt::Unchecked);
  QCOMPARE(grid->item(0, 2)->text(), QString("Largeint"));  // SQLite integers are 64-bit
  QVERIFY(!(grid->item(0, 1)->flags() & Qt::ItemIsUserCheckable));  // read-only
  auto* destGrid = Find<QTableWidget>(form, "sgdDestFieldDef");
  QCOMPARE(destGrid->rowCount(), 4);
  QCOMPARE(destGrid->item(3, 0)->text(), QString("CITY"));
  // CUSTID is indexed; ID, part of its name, is not.
  const Qt::CheckState keys[4] = {Qt::Unchecked, Qt::Checked, Qt::Unchecked, Qt::Unchecked};
  for (int r = 0; r < 4; ++r) QCOMPARE(destGrid->item(r, 1)->checkState(), keys[r]);
  const Qt::CheckState sourceKeys[4] = {Qt::Checked, Qt::Unchecked, Qt::Unchecked, Qt::Unchecked};  // primary key
  for (int r = 0; r < 4; ++r) QCOMPARE(grid->item(r, 1)->checkState(), sourceKeys[r]);
  QVERIFY(Find<QWidget>(form, "tshSourFieldDef"));
  QVERIFY(Find<QWidget>(form, "tshDestFieldDef"));
}

void MapingFormTest::linesFollowTheirRowsWhenTheGridScrolls() {
  std::string columns = "F0 TEXT";
  for (int i = 1; i < 60; ++i) columns += ", F" + std::to_string(i) + " TEXT";
  dest_->TableName = "wide";
  {
    TSqliteDatabase db(folder_->File("data.db"));
    db.Exec("CREATE TABLE wide(" + columns + ")");
  }
  link_->Mappings().Clear();
  link_->Mappings().Add("F30=S.NAME");
  TKVMapingForm form(*link_);
  form.resize(700, 400);
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  QCOMPARE(LinkNames(form), (QStringList{"NAME>F30"}));
  auto* dest = Find<QTableWidget>(form, "sgdDest");
  auto* area = Find<TWorkArea>(form, "WorkArea");
  dest->scrollToItem(dest->item(30, 0), QAbstractItemView::PositionAtCenter);
  const QPoint centered = area->DestAnchor(30);
  const QPoint rowCenter = dest->viewport()->mapTo(area, RowCenter(*dest, 30, 0));
  QVERIFY(qAbs(centered.y() - rowCenter.y()) <= 1);
  QCOMPARE(centered.x(), dest->mapTo(area, QPoint(0, 0)).x());
  dest->verticalScrollBar()->setValue(dest->verticalScrollBar()->value() + 1);
  const QPoint moved = area->DestAnchor(30);
  QVERIFY(moved.y() < centered.y());
  // A row scrolled out of sight keeps its line at the grid's edge.
  dest->scrollToTop();
  QVERIFY(area->DestAnchor(30).y() <= dest->viewport()->mapTo(area, QPoint(0, dest->viewport()->height())).y());
}

void MapingFormTest::unreadableDestinationKeepsTheMapping() {
  dest_->TableName = "missing";
  kvtest::TRecordingUI ui;
  kvtest::UIScope scope(&ui);
  TKVMapingForm form(*link_);
  QCOMPARE(ui.messages.size(), size_t{1});
  QCOMPARE(ui.types[0], mtError);
  QVERIFY2(ui.messages[0].find("The fields of D cannot be read") == 0, ui.messages[0].c_str());
  QCOMPARE(form.DestRowCount(), 0);
  form.show();
  QTest::mouseClick(Find<QPushButton>(form, "btnOk"), Qt::LeftButton);
  QCOMPARE(link_->Mappings().Count(), 4);
}

void MapingFormTest::linkWithoutDatasetsKeepsItsMapping() {
  kvtest::TRecordingUI ui;
  kvtest::UIScope scope(&ui);
  TDBLink bare;  // the blank datasets of a new link: nothing to open
  bare.Mappings().Add("A=1");
  TKVMapingForm form(bare);
  QVERIFY(ui.messages.empty());
  QCOMPARE(form.SourceRowCount(), 0);
  QCOMPARE(form.DestRowCount(), 0);
  QVERIFY(!form.InsertLink(0, 0));
  form.MatchFields(7);
  form.Apply();
  QCOMPARE(MappingLines(bare), (QStringList{"A=1"}));
  QCOMPARE(int(bare.MatchModes), 7);
}

QTEST_MAIN(MapingFormTest)
#include "MapingFormTest.moc"
