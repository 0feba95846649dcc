// The job designer over real jobs whose files the tests write, with a
// SQLite database and a text file beside them: cancelling, the tools and
// their 5-pixel rule, refused destinations, zoom limits, a job without a
// file, the rubber band, Esc, Delete, validation, and OK writing the file
// and rebuilding the job's DB links.
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>
#include <filesystem>

#include "DialogTestSupport.h"
#include "data/SqliteDatabase.h"
#include "data/TextDataSet.h"
#include "data/TextFileDataset.h"
#include "editors/FChartEditor.h"
#include "editors/FlowChartView.h"
#include "editors/QtText.h"
#include "foundation/UserInterface.h"
#include "jobs/Job.h"
#include "testsupport/TempFiles.h"

using namespace kv;
using kvtest::Find;

namespace {

// Answers every question with `answer` and records what was shown.
class TAnsweringUI : public IUserInterface {
public:
  int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons, int) override {
    messages.push_back(text);
    types.push_back(type);
    return answer;
  }
  void Beep() override {}
  int answer = mrYes;
  std::vector<std::string> messages;
  std::vector<TMsgDlgType> types;
};

struct TShapeSpec {
  TDataSetObjType kind;
  int32_t x, y;
  const char* name;
};

const char* const kToolNames[6] = {"btnCreateTextDataSet",   "btnCreateQueryDataSet",  "btnCreateODBCDataSet",
                                   "btnCreateFileDBDataSet", "btnCreateOracleDataSet", "btnCreateLink"};

QPoint CentreOf(const TKVFcObject& shape) {
  const TFcPoint c = shape.DisplayRect().Center();
  const TFcPoint o = shape.Owner()->ChartPoint({0, 0});
  return {c.X - o.X, c.Y - o.Y};
}

// A real double click: press and release, then the double click and its release.
void DoubleClick(QWidget* viewport, QPoint p) {
  QTest::mouseClick(viewport, Qt::LeftButton, {}, p);
  QTest::mouseDClick(viewport, Qt::LeftButton, {}, p);
  QTest::mouseRelease(viewport, Qt::LeftButton, {}, p);
}

}  // namespace

class FChartEditorTest : public QObject {
  Q_OBJECT
private slots:
  void init();
  void cleanup();
  void cancellingLeavesTheJobAndItsFileUntouched();
  void closingAsksFirstAndNoKeepsTheDesignerOpen();
  void aLinkDragMustMoveMoreThanFivePixels();
  void aLinkOntoATextOrQueryDataSetIsRefused_data();
  void aLinkOntoATextOrQueryDataSetIsRefused();
  void theLinkButtonJoinsTwoSelectedShapes();
  void zoomStopsAt490AndAt20();
  void aJobWithoutAFileOpensOnAnEmptyDiagram();
  void draggingWithACreateButtonMakesAShapeOfItsKind();
  void theRubberBandSelectsWithShiftAdding();
  void escCancelsADragAndPutsTheToolAway();
  void deleteRemovesTheSelection();
  void okSavesTheFileAndRebuildsTheJobsLinks();
  void validateSaysWhetherTheJobIsValid();
  void rightClickSelectsAndOpensThePopupMenu();
  void doubleClicksOpenTheDialogOfTheItem();
  void theJobPropertiesAreEditedOnTheDiagramsJob();
  void theLinkCommandsOpenTheirWindowsOnTheSelectedLink();
  void designJobAnswersTrueOnlyOnOk();
  void anUnreadableJobFileIsNeverOpenedNorOverwritten();

private:
  // Writes a job file "J.job" with the shapes and links (index pairs) and
  // loads it into job_ as the main window does.
  void WriteJob(const std::vector<TShapeSpec>& shapes, const std::vector<std::pair<int, int>>& links,
                const std::string& mapping = "ID=1");
  std::unique_ptr<TFChartEditor> Open();
  void UseTool(TFChartEditor& editor, int tool, QPoint from, QPoint to);
  std::string JobFile() const { return folder_->File("J.job"); }

  std::unique_ptr<kvtest::TempFolder> folder_;
  TJob* job_ = nullptr;  // owned by JobGroup
  TAnsweringUI ui_;
  IUserInterface* oldUI_ = nullptr;
};

void FChartEditorTest::init() {
  folder_ = std::make_unique<kvtest::TempFolder>("designer");
  kvtest::WriteFile(folder_->File("orders.csv"), "ID,NAME\r\n1,N1\r\n2,N2\r\n");
  TSqliteDatabase(folder_->File("dest.db")).Exec("CREATE TABLE t(ID INTEGER, NAME TEXT)");
  JobGroup = std::make_unique<TJobGroup>();
  auto job = std::make_unique<TJob>();
  job->Name = "J";
  job->SaveFileName = JobFile();
  job_ = job.get();
  JobGroup->AddOwned("J", std::move(job));
  ui_ = TAnsweringUI();
  oldUI_ = SetUserInterface(&ui_);
}

void FChartEditorTest::cleanup() {
  SetUserInterface(oldUI_);
  JobGroup.reset();
  folder_.reset();
}

void FChartEditorTest::WriteJob(const std::vector<TShapeSpec>& shapes, const std::vector<std::pair<int, int>>& links,
                                const std::string& mapping) {
  TJob maker;
  TKVFlowChart& chart = maker.GetDesignControl();
  ObjCast<TJob>(chart.Job())->Name = "J";
  ObjCast<TJob>(chart.Job())->SaveFileName = JobFile();
  std::vector<TKVFcObject*> made;
  for (const TShapeSpec& spec : shapes) {
    TKVFcObject* s = chart.CreateObject(spec.x, spec.y, 50, 50, fcsRectangle, spec.kind);
    TKVCustomDataSet* dataSet = s->DataSet();
    dataSet->Name = spec.name;
    s->SetText(spec.name);
    if (auto* text = ObjCast<TKVTextDataSet>(dataSet)) {
      text->TextFile().SetExtractColumnNamesFromFirstLine(true);
      text->TextFile().SetTableName("orders.csv");
    } else if (spec.kind == dotFileDB) {
      dataSet->DataBaseInfo->DriverName = "SQLITE";
      dataSet->DataBaseInfo->Path = "dest.db";
      dataSet->TableName = "t";
    }
    made.push_back(s);
  }
  for (auto [from, to] : links) {
    auto* link = ObjCast<TDBLink>(chart.CreateConnection(made[size_t(from)], made[size_t(to)], 6, 14)->DBLink());
    link->Name = "L" + std::to_string(from) + std::to_string(to);
    chart.GetConnection(chart.GetConnectionCount() - 1)->SetText(link->Name);
    link->Mappings().Add(mapping);
  }
  chart.SaveToFile(JobFile());
  job_->GetDesignControl().LoadFromFile(JobFile());
  job_->LoadFromFlChart();
}

std::unique_ptr<TFChartEditor> FChartEditorTest::Open() {
  auto editor = std::make_unique<TFChartEditor>(*job_);
  if (!editor->LoadFromJob()) return nullptr;
  editor->show();
  if (!QTest::qWaitForWindowExposed(editor.get())) return nullptr;
  return editor;
}

void FChartEditorTest::UseTool(TFChartEditor& editor, int tool, QPoint from, QPoint to) {
  QTest::mouseClick(Find<QToolButton>(editor, kToolNames[tool]), Qt::LeftButton);
  QWidget* vp = editor.View().viewport();
  QTest::mousePress(vp, Qt::LeftButton, {}, from);
  QTest::mouseMove(vp, to);
  QTest::mouseRelease(vp, Qt::LeftButton, {}, to);
}

void FChartEditorTest::cancellingLeavesTheJobAndItsFileUntouched() {
  WriteJob({{dotText, 20, 20, "S"}, {dotFileDB, 200, 20, "D"}}, {{0, 1}});
  const std::string before = kvtest::ReadFile(JobFile());
  auto editor = Open();
  QVERIFY(editor);
  QCOMPARE(editor->windowTitle(), QString("Design job: J"));
  UseTool(*editor, dotOracle, QPoint(300, 200), QPoint(340, 240));
  QCOMPARE(editor->Chart().GetObjectCount(), 3);
  editor->Chart().Select(editor->Chart().GetObject(0));
  QTest::keyClick(&editor->View(), Qt::Key_Delete);
  QCOMPARE(editor->Chart().GetConnectionCount(), 0);
  QTest::mouseClick(Find<QPushButton>(*editor, "btnCancel"), Qt::LeftButton);
  QCOMPARE(ui_.messages, (std::vector<std::string>{"Quit model editor?"}));
  QCOMPARE(editor->result(), int(QDialog::Rejected));
  QVERIFY(!editor->isVisible());
  QCOMPARE(kvtest::ReadFile(JobFile()), before);
  QCOMPARE(job_->DBLinks->Count(), 1);
  QCOMPARE(QStr(job_->DBLinks->GetObj(0)->Name), QString("L01"));
  QCOMPARE(job_->GetDesignControl().GetObjectCount(), 2);
  QCOMPARE(job_->DataSets->Count(), 2);
}

void FChartEditorTest::closingAsksFirstAndNoKeepsTheDesignerOpen() {
  auto editor = Open();
  QVERIFY(editor);
  ui_.answer = mrNo;
  editor->close();
  QVERIFY(editor->isVisible());
  QTest::keyClick(editor.get(), Qt::Key_Escape);
  QVERIFY(editor->isVisible());
  QCOMPARE(ui_.messages.size(), size_t(2));
  QCOMPARE(ui_.types[0], mtConfirmation);
  ui_.answer = mrYes;
  editor->close();
  QVERIFY(!editor->isVisible());
  QVERIFY(!std::filesystem::exists(JobFile()));
}

void FChartEditorTest::aLinkDragMustMoveMoreThanFivePixels() {
  // A spans x 20-69, B starts at x 72: 5 pixels from inside A reach B.
  WriteJob({{dotFileDB, 20, 20, "A"}, {dotFileDB, 72, 20, "B"}}, {});
  auto editor = Open();
  QVERIFY(editor);
  UseTool(*editor, TFChartEditor::kLinkTool, QPoint(67, 45), QPoint(72, 45));
  QCOMPARE(editor->Chart().GetConnectionCount(), 0);
  QVERIFY(!Find<QToolButton>(*editor, "btnCreateLink")->isChecked());
  QCOMPARE(editor->DownTool(), -1);
  UseTool(*editor, TFChartEditor::kLinkTool, QPoint(67, 45), QPoint(73, 45));
  QCOMPARE(editor->Chart().GetConnectionCount(), 1);
  TKVFcConnection* c = editor->Chart().GetConnection(0);
  QCOMPARE(c->Source(), editor->Chart().GetObject(0));
  QCOMPARE(c->Dest(), editor->Chart().GetObject(1));
  QCOMPARE(int(c->PointSource()), 6);  // the linked points nearest to the ends
  QCOMPARE(int(c->PointDest()), 14);
  QCOMPARE(QStr(c->Text()), QString("DBLink1"));
  QCOMPARE(QStr(ObjCast<TDBLink>(c->DBLink())->Name), QString("DBLink1"));
  QVERIFY(c->Selected());
  QVERIFY(!Find<QToolButton>(*editor, "btnCreateLink")->isChecked());
  // A drag that starts or ends on empty ground joins nothing.
  UseTool(*editor, TFChartEditor::kLinkTool, QPoint(45, 45), QPoint(300, 300));
  QCOMPARE(editor->Chart().GetConnectionCount(), 1);
  QVERIFY(ui_.messages.empty());
}

void FChartEditorTest::aLinkOntoATextOrQueryDataSetIsRefused_data() {
  QTest::addColumn<int>("kind");
  QTest::addColumn<bool>("refused");
  QTest::newRow("text") << int(dotText) << true;
  QTest::newRow("query") << int(dotQuery) << true;
  QTest::newRow("ODBC") << int(dotODBC) << false;
  QTest::newRow("file database") << int(dotFileDB) << false;
  QTest::newRow("Oracle") << int(dotOracle) << false;
}

void FChartEditorTest::aLinkOntoATextOrQueryDataSetIsRefused() {
  QFETCH(int, kind);
  QFETCH(bool, refused);
  WriteJob({{dotFileDB, 20, 20, "A"}, {static_cast<TDataSetObjType>(kind), 200, 20, "Target"}}, {});
  auto editor = Open();
  QVERIFY(editor);
  TKVFlowChart& chart = editor->Chart();
  UseTool(*editor, TFChartEditor::kLinkTool, CentreOf(*chart.GetObject(0)), CentreOf(*chart.GetObject(1)));
  QCOMPARE(chart.GetConnectionCount(), refused ? 0 : 1);
  if (refused) {
    QCOMPARE(ui_.messages, (std::vector<std::string>{"DataSet:Target canot be target!"}));
    QCOMPARE(ui_.types[0], mtError);
  } else {
    QVERIFY(ui_.messages.empty());
  }
}

void FChartEditorTest::theLinkButtonJoinsTwoSelectedShapes() {
  WriteJob({{dotFileDB, 20, 20, "A"}, {dotODBC, 200, 20, "B"}, {dotText, 20, 200, "T"}}, {});
  auto editor = Open();
  QVERIFY(editor);
  TKVFlowChart& chart = editor->Chart();
  QWidget* vp = editor->View().viewport();
  QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(5, 5));
  QTest::mouseMove(vp, QPoint(300, 100));
  QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(300, 100));
  QCOMPARE(chart.GetSelectedObjectCount(), 2);
  QTest::mouseClick(Find<QToolButton>(*editor, "btnCreateLink"), Qt::LeftButton);
  QCOMPARE(chart.GetConnectionCount(), 1);
  TKVFcConnection* c = chart.GetConnection(0);
  QCOMPARE(c->Source(), chart.GetObject(0));
  QCOMPARE(c->Dest(), chart.GetObject(1));
  QCOMPARE(int(c->PointSource()), 0);
  QCOMPARE(int(c->PointDest()), 0);
  QCOMPARE(c->Style(), fclStraight);
  QVERIFY(c->Selected());
  QCOMPARE(chart.SelCount(), 1);
  QVERIFY(!Find<QToolButton>(*editor, "btnCreateLink")->isChecked());
  // Into a text dataset: refused here too.
  editor->View().SelectItems({chart.GetObject(1), chart.GetObject(2)}, false);
  QTest::mouseClick(Find<QToolButton>(*editor, "btnCreateLink"), Qt::LeftButton);
  QCOMPARE(chart.GetConnectionCount(), 1);
  QCOMPARE(ui_.messages, (std::vector<std::string>{"DataSet:T canot be target!"}));
  QVERIFY(!Find<QToolButton>(*editor, "btnCreateLink")->isChecked());
  // Otherwise the button stays down for drawing a link.
  chart.ClearSelection();
  QTest::mouseClick(Find<QToolButton>(*editor, "btnCreateLink"), Qt::LeftButton);
  QCOMPARE(editor->DownTool(), int(TFChartEditor::kLinkTool));
}

void FChartEditorTest::zoomStopsAt490AndAt20() {
  WriteJob({{dotFileDB, 20, 20, "A"}}, {});
  auto editor = Open();
  QVERIFY(editor);
  TKVFlowChart& chart = editor->Chart();
  auto* zoomIn = Find<QAction>(*editor, "acZoomIn");
  auto* zoomOut = Find<QAction>(*editor, "acZoomOut");
  chart.Select(chart.GetObject(0));
  zoomIn->trigger();
  QCOMPARE(chart.SelCount(), 0);  // zooming clears the selection
  QCOMPARE(chart.EffectiveZoom(), 110);
  for (int i = 0; i < 100 && zoomIn->isEnabled(); ++i) zoomIn->trigger();
  QCOMPARE(chart.EffectiveZoom(), 490);
  QVERIFY(!zoomIn->isEnabled());
  QVERIFY(zoomOut->isEnabled());
  zoomIn->trigger();
  QCOMPARE(chart.EffectiveZoom(), 490);
  zoomOut->trigger();
  QCOMPARE(chart.EffectiveZoom(), 480);
  QVERIFY(zoomIn->isEnabled());
  for (int i = 0; i < 100 && zoomOut->isEnabled(); ++i) zoomOut->trigger();
  QCOMPARE(chart.EffectiveZoom(), 20);
  QVERIFY(!zoomOut->isEnabled());
  QCOMPARE(zoomIn->shortcut(), QKeySequence("Ctrl+I"));
  QCOMPARE(zoomOut->shortcut(), QKeySequence("Ctrl+U"));
  QTest::keyClick(&editor->View(), Qt::Key_I, Qt::ControlModifier);
  QCOMPARE(chart.EffectiveZoom(), 30);
}

void FChartEditorTest::aJobWithoutAFileOpensOnAnEmptyDiagram() {
  QVERIFY(!std::filesystem::exists(JobFile()));
  auto editor = Open();
  QVERIFY(editor);
  QCOMPARE(editor->Chart().GetObjectCount(), 0);
  QCOMPARE(editor->Chart().GetConnectionCount(), 0);
  QCOMPARE(QStr(ObjCast<TJob>(editor->Chart().Job())->Name), QString("J"));
  QTest::mouseClick(Find<QPushButton>(*editor, "acOk"), Qt::LeftButton);
  QCOMPARE(editor->result(), int(QDialog::Accepted));
  QVERIFY(std::filesystem::exists(JobFile()));
  QVERIFY(ui_.messages.empty());
}

void FChartEditorTest::draggingWithACreateButtonMakesAShapeOfItsKind() {
  auto editor = Open();
  QVERIFY(editor);
  TKVFlowChart& chart = editor->Chart();
  const char* const names[5] = {"Text1", "Query2", "ODBC3", "FileDB4", "ORA5"};
  for (int kind = 0; kind < 5; ++kind) {
    const QPoint corner(20 + kind * 90, 40);
    // The last drag goes up and left: the shape is still at the top-left corner.
    if (kind == 4)
      UseTool(*editor, kind, corner + QPoint(30, 25), corner);
    else
      UseTool(*editor, kind, corner, corner + QPoint(30, 25));
    QCOMPARE(chart.GetObjectCount(), kind + 1);
    TKVFcObject* s = chart.GetObject(kind);
    QCOMPARE(int(s->DataSetObjType), kind);
    QCOMPARE(s->Left(), corner.x());
    QCOMPARE(s->Top(), corner.y());
    QCOMPARE(int(s->Width()), 60);
    QCOMPARE(int(s->Height()), 60);
    QCOMPARE(s->ShapeType(), fcsRectangle);
    QCOMPARE(QStr(s->DataSet()->Name), QString(names[kind]));
    QCOMPARE(QStr(s->Text()), QString(names[kind]));
    QCOMPARE(int(s->ImageIndex), kind);
    QCOMPARE(s->BkColor, 0xC0C0C0);
    QVERIFY(s->Selected());
    QCOMPARE(chart.SelCount(), 1);
    QVERIFY(!Find<QToolButton>(*editor, kToolNames[kind])->isChecked());
  }
  // At another zoom the corner is still where the drag began.
  Find<QAction>(*editor, "acZoomIn")->trigger();  // 110
  Find<QAction>(*editor, "acZoomIn")->trigger();  // 120
  UseTool(*editor, dotText, QPoint(120, 240), QPoint(160, 280));
  QCOMPARE(chart.GetObject(5)->Left(), 100);
  QCOMPARE(chart.GetObject(5)->Top(), 200);
  // A press on one button releases the others.
  QTest::mouseClick(Find<QToolButton>(*editor, kToolNames[1]), Qt::LeftButton);
  QTest::mouseClick(Find<QToolButton>(*editor, kToolNames[3]), Qt::LeftButton);
  QVERIFY(!Find<QToolButton>(*editor, kToolNames[1])->isChecked());
  QVERIFY(Find<QToolButton>(*editor, kToolNames[3])->isChecked());
  QCOMPARE(editor->DownTool(), 3);
}

void FChartEditorTest::theRubberBandSelectsWithShiftAdding() {
  WriteJob({{dotFileDB, 20, 20, "A"}, {dotFileDB, 200, 20, "B"}, {dotOracle, 200, 200, "C"}}, {{0, 1}});
  auto editor = Open();
  QVERIFY(editor);
  TKVFlowChart& chart = editor->Chart();
  QWidget* vp = editor->View().viewport();
  auto band = [vp](QPoint a, QPoint b, Qt::KeyboardModifiers mods) {
    QTest::mousePress(vp, Qt::LeftButton, mods, a);
    QTest::mouseMove(vp, b);
    QTest::mouseRelease(vp, Qt::LeftButton, mods, b);
  };
  band(QPoint(5, 5), QPoint(290, 90), {});  // A, B and the link between them
  QCOMPARE(chart.GetSelectedObjectCount(), 2);
  QCOMPARE(chart.GetSelectedConnectionCount(), 1);
  band(QPoint(190, 190), QPoint(270, 270), {});  // C alone
  QCOMPARE(chart.SelCount(), 1);
  QVERIFY(chart.GetObject(2)->Selected());
  band(QPoint(5, 5), QPoint(90, 90), Qt::ShiftModifier);  // A added
  QCOMPARE(chart.SelCount(), 2);
  QVERIFY(chart.GetObject(0)->Selected() && chart.GetObject(2)->Selected());
  QVERIFY(Find<QAction>(*editor, "miDelete")->isEnabled());
  band(QPoint(400, 300), QPoint(450, 350), {});  // nothing there
  QCOMPARE(chart.SelCount(), 0);
  QVERIFY(!Find<QAction>(*editor, "miDelete")->isEnabled());
}

void FChartEditorTest::escCancelsADragAndPutsTheToolAway() {
  auto editor = Open();
  QVERIFY(editor);
  QWidget* vp = editor->View().viewport();
  QTest::mouseClick(Find<QToolButton>(*editor, "btnCreateFileDBDataSet"), Qt::LeftButton);
  QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(50, 50));
  QTest::mouseMove(vp, QPoint(120, 120));
  QTest::keyClick(&editor->View(), Qt::Key_Escape);
  QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(120, 120));
  QCOMPARE(editor->Chart().GetObjectCount(), 0);
  QVERIFY(!Find<QToolButton>(*editor, "btnCreateFileDBDataSet")->isChecked());
  QCOMPARE(editor->DownTool(), -1);
  // Esc with a tool chosen but no drag puts the tool away; the window stays.
  QTest::mouseClick(Find<QToolButton>(*editor, "btnCreateLink"), Qt::LeftButton);
  QTest::keyClick(&editor->View(), Qt::Key_Escape);
  QCOMPARE(editor->DownTool(), -1);
  QVERIFY(editor->isVisible());
  QVERIFY(ui_.messages.empty());
  // A click (no drag) with a create button makes nothing.
  UseTool(*editor, dotText, QPoint(50, 50), QPoint(53, 52));
  QCOMPARE(editor->Chart().GetObjectCount(), 0);
  QCOMPARE(editor->DownTool(), -1);
}

void FChartEditorTest::deleteRemovesTheSelection() {
  WriteJob({{dotText, 20, 20, "S"}, {dotFileDB, 200, 20, "D"}}, {{0, 1}});
  auto editor = Open();
  QVERIFY(editor);
  TKVFlowChart& chart = editor->Chart();
  QVERIFY(!Find<QAction>(*editor, "miDelete")->isEnabled());
  QTest::mouseClick(editor->View().viewport(), Qt::LeftButton, {}, CentreOf(*chart.GetObject(0)));
  QVERIFY(Find<QAction>(*editor, "miDelete")->isEnabled());
  QVERIFY(Find<QAction>(*editor, "iDelete")->isEnabled());
  QTest::keyClick(&editor->View(), Qt::Key_Delete);
  QCOMPARE(chart.GetObjectCount(), 1);
  QCOMPARE(QStr(chart.GetObject(0)->Text()), QString("D"));
  QCOMPARE(chart.GetConnectionCount(), 0);
  QVERIFY(!Find<QAction>(*editor, "miDelete")->isEnabled());
  chart.Select(chart.GetObject(0));
  Find<QAction>(*editor, "iDelete")->trigger();
  QCOMPARE(chart.GetObjectCount(), 0);
}

void FChartEditorTest::okSavesTheFileAndRebuildsTheJobsLinks() {
  WriteJob({{dotText, 20, 20, "S"}, {dotFileDB, 200, 20, "D"}}, {{0, 1}});
  auto editor = Open();
  QVERIFY(editor);
  TKVFlowChart& chart = editor->Chart();
  UseTool(*editor, dotOracle, QPoint(300, 200), QPoint(340, 240));
  UseTool(*editor, TFChartEditor::kLinkTool, CentreOf(*chart.GetObject(1)), CentreOf(*chart.GetObject(2)));
  QCOMPARE(chart.GetConnectionCount(), 2);
  QCOMPARE(job_->DBLinks->Count(), 1);  // nothing written back yet
  QTest::mouseClick(Find<QPushButton>(*editor, "acOk"), Qt::LeftButton);
  QCOMPARE(editor->result(), int(QDialog::Accepted));
  QVERIFY(ui_.messages.empty());

  QCOMPARE(job_->DBLinks->Count(), 2);
  QCOMPARE(QStr(job_->DBLinks->GetObj(0)->Name), QString("L01"));
  QCOMPARE(QStr(job_->DBLinks->GetObj(1)->Name), QString("DBLink2"));
  TKVFlowChart& jobChart = job_->GetDesignControl();
  QCOMPARE(jobChart.GetObjectCount(), 3);
  TDBLink* added = job_->DBLinks->GetObj(1);
  QCOMPARE(added->SourceDataSet(), jobChart.GetObject(1)->DataSet());
  QCOMPARE(added->DestDataSet(), jobChart.GetObject(2)->DataSet());
  QCOMPARE(added->Job, job_);
  QCOMPARE(job_->DataSets->Count(), 3);
  // Purposes: S only a source, D both, the new Oracle table only a destination.
  QCOMPARE(int(jobChart.GetObject(0)->DataSet()->Purpose), int(TablePurposeBit(ttSource)));
  QCOMPARE(int(jobChart.GetObject(1)->DataSet()->Purpose), int(TablePurposeBit(ttSource) | TablePurposeBit(ttDest)));
  QCOMPARE(int(jobChart.GetObject(2)->DataSet()->Purpose), int(TablePurposeBit(ttDest)));

  // The file holds the same diagram, with the job inside.
  TKVFlowChart reread;
  reread.LoadFromFile(JobFile());
  QCOMPARE(reread.GetObjectCount(), 3);
  QCOMPARE(reread.GetConnectionCount(), 2);
  QCOMPARE(QStr(reread.GetConnection(1)->Text()), QString("DBLink2"));
  QCOMPARE(QStr(ObjCast<TJob>(reread.Job())->Name), QString("J"));
  QCOMPARE(int(reread.GetObject(2)->DataSetObjType), int(dotOracle));
}

void FChartEditorTest::validateSaysWhetherTheJobIsValid() {
  WriteJob({{dotText, 20, 20, "S"}, {dotFileDB, 200, 20, "D"}}, {{0, 1}});
  {
    auto editor = Open();
    QVERIFY(editor);
    Find<QAction>(*editor, "acValidate")->trigger();
    QCOMPARE(ui_.messages, (std::vector<std::string>{"Validate ok!"}));
    QCOMPARE(ui_.types[0], mtInformation);
  }
  ui_.messages.clear();
  ui_.types.clear();
  WriteJob({{dotText, 20, 20, "S"}, {dotFileDB, 200, 20, "D"}}, {{0, 1}}, "ID=1 +");
  auto editor = Open();
  QVERIFY(editor);
  Find<QAction>(*editor, "acValidate")->trigger();
  QCOMPARE(ui_.messages, (std::vector<std::string>{"Validate error! please view log in main window"}));
  QCOMPARE(ui_.types[0], mtError);
}

void FChartEditorTest::rightClickSelectsAndOpensThePopupMenu() {
  WriteJob({{dotText, 20, 20, "S"}, {dotFileDB, 200, 20, "D"}}, {{0, 1}});
  auto editor = Open();
  QVERIFY(editor);
  TKVFlowChart& chart = editor->Chart();
  auto* popup = Find<QMenu>(*editor, "pmChart");
  QTest::mouseClick(editor->View().viewport(), Qt::RightButton, {}, CentreOf(*chart.GetObject(1)));
  QVERIFY(chart.GetObject(1)->Selected());
  QTRY_VERIFY_WITH_TIMEOUT(popup->isVisible(), 5000);
  QVERIFY(Find<QAction>(*editor, "iDelete")->isEnabled());
  QVERIFY(!Find<QAction>(*editor, "acDBLinkMaping")->isEnabled());
  popup->close();
  const TFcPoint mid = PolylineMidpoint(chart.GetConnection(0)->Polyline());
  QTest::mouseClick(editor->View().viewport(), Qt::RightButton, {}, QPoint(mid.X, mid.Y));
  QVERIFY(chart.GetConnection(0)->Selected());
  QCOMPARE(chart.SelCount(), 1);
  QTRY_VERIFY_WITH_TIMEOUT(popup->isVisible(), 5000);
  QVERIFY(Find<QAction>(*editor, "acDBLinkMaping")->isEnabled());
  popup->close();
}

void FChartEditorTest::doubleClicksOpenTheDialogOfTheItem() {
  WriteJob({{dotText, 20, 20, "S"}, {dotFileDB, 200, 20, "D"}}, {{0, 1}});
  auto editor = Open();
  QVERIFY(editor);
  TKVFlowChart& chart = editor->Chart();
  QWidget* vp = editor->View().viewport();
  QString opened;
  auto answer = [&opened](const char* name, bool ok) {
    kvtest::OnModal<QDialog>([&opened, name, ok](QDialog& d) {
      opened = d.objectName();
      Find<QLineEdit>(d, "edName")->setText(name);
      QTest::mouseClick(Find<QPushButton>(d, ok ? "btnOk" : "btnCancel"), Qt::LeftButton);
    });
  };
  // A shape: the dialog of its kind, on the working job; the shape takes the new name.
  answer("Orders", true);
  DoubleClick(vp, CentreOf(*chart.GetObject(1)));
  QTRY_COMPARE_WITH_TIMEOUT(opened, QString("KVFileDBDataSetForm"), 5000);
  QCOMPARE(QStr(chart.GetObject(1)->DataSet()->Name), QString("Orders"));
  QCOMPARE(QStr(chart.GetObject(1)->Text()), QString("Orders"));
  QCOMPARE(QStr(job_->GetDesignControl().GetObject(1)->DataSet()->Name), QString("D"));  // not written back yet
  opened.clear();
  answer("Ignored", false);
  DoubleClick(vp, CentreOf(*chart.GetObject(0)));
  QTRY_COMPARE_WITH_TIMEOUT(opened, QString("KVFileDataSetDlg"), 5000);
  QCOMPARE(QStr(chart.GetObject(0)->Text()), QString("S"));
  // A connection: the DB link property dialog; the line takes the link's new name.
  opened.clear();
  answer("Load", true);
  const TFcPoint mid = PolylineMidpoint(chart.GetConnection(0)->Polyline());
  DoubleClick(vp, QPoint(mid.X, mid.Y));
  QTRY_COMPARE_WITH_TIMEOUT(opened, QString("KVDBLinkProForm"), 5000);
  QCOMPARE(QStr(chart.GetConnection(0)->Text()), QString("Load"));
  QCOMPARE(QStr(ObjCast<TDBLink>(chart.GetConnection(0)->DBLink())->Name), QString("Load"));
  // The dataset command with the connection selected does the same.
  opened.clear();
  answer("Load2", true);
  Find<QAction>(*editor, "acDataSetPro")->trigger();
  QTRY_COMPARE_WITH_TIMEOUT(opened, QString("KVDBLinkProForm"), 5000);
  QCOMPARE(QStr(chart.GetConnection(0)->Text()), QString("Load2"));
}

void FChartEditorTest::theJobPropertiesAreEditedOnTheDiagramsJob() {
  WriteJob({{dotText, 20, 20, "S"}, {dotFileDB, 200, 20, "D"}}, {{0, 1}});
  auto other = std::make_unique<TJob>();
  other->Name = "Other";
  JobGroup->AddOwned("Other", std::move(other));
  auto editor = Open();
  QVERIFY(editor);
  auto edit = [&editor](const QString& name, const char* button) {
    bool accepted = false;
    kvtest::OnModal<QDialog>([&accepted, name, button](QDialog& d) {
      Find<QPlainTextEdit>(d, "moDescription")->setPlainText("nightly");
      Find<QLineEdit>(d, "edName")->setText(name);
      QTest::mouseClick(Find<QPushButton>(d, "btnOk"), Qt::LeftButton);
      accepted = d.result() == QDialog::Accepted;
      if (!accepted) QTest::mouseClick(Find<QPushButton>(d, button), Qt::LeftButton);
    });
    Find<QAction>(*editor, "acJobPro")->trigger();
    return accepted;
  };
  // Keeping the job's own name is no clash with the job it stands for.
  QVERIFY(edit("J", "btnCancel"));
  QCOMPARE(ui_.messages, std::vector<std::string>{});
  QCOMPARE(QStr(job_->Description), QString());  // the edited job waits for OK
  // Another job's name is refused.
  QVERIFY(!edit("other", "btnCancel"));
  QCOMPARE(ui_.messages, (std::vector<std::string>{"A job other already exist"}));
  QVERIFY(edit("Renamed", "btnCancel"));
  QTest::mouseClick(Find<QPushButton>(*editor, "acOk"), Qt::LeftButton);
  QCOMPARE(editor->result(), int(QDialog::Accepted));
  QCOMPARE(QStr(job_->Description), QString("nightly"));
  QCOMPARE(QStr(job_->Name), QString("Renamed"));
  QCOMPARE(JobGroup->IndexOf("Renamed"), JobGroup->IndexOfObject(job_));
  QCOMPARE(job_->DBLinks->Count(), 1);
}

void FChartEditorTest::theLinkCommandsOpenTheirWindowsOnTheSelectedLink() {
  WriteJob({{dotText, 20, 20, "S"}, {dotFileDB, 200, 20, "D"}}, {{0, 1}});
  auto editor = Open();
  QVERIFY(editor);
  TKVFlowChart& chart = editor->Chart();
  const char* const commands[3] = {"acDBLinkPro", "acDBLinkMaping", "acPreviewImportData"};
  const char* const windows[3] = {"KVDBLinkProForm", "KVMapingForm", "PreviewImportDataForm"};
  for (const char* command : commands) QVERIFY(!Find<QAction>(*editor, command)->isEnabled());
  chart.Select(chart.GetObject(0));
  for (const char* command : commands) QVERIFY(!Find<QAction>(*editor, command)->isEnabled());
  chart.Select(chart.GetConnection(0));
  auto* link = ObjCast<TDBLink>(chart.GetConnection(0)->DBLink());
  for (int i = 0; i < 3; ++i) {
    QVERIFY(Find<QAction>(*editor, commands[i])->isEnabled());
    QString opened;
    kvtest::OnModal<QDialog>([&opened](QDialog& d) {
      opened = d.objectName();
      d.done(QDialog::Rejected);
    });
    Find<QAction>(*editor, commands[i])->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(opened, QString(windows[i]), 5000);
    QVERIFY(link->Job != nullptr);  // the link knows a job before any window opens
  }
}

void FChartEditorTest::designJobAnswersTrueOnlyOnOk() {
  WriteJob({{dotText, 20, 20, "S"}, {dotFileDB, 200, 20, "D"}}, {{0, 1}});
  const std::string before = kvtest::ReadFile(JobFile());
  kvtest::OnModal<TFChartEditor>([](TFChartEditor& e) {
    e.Chart().Select(e.Chart().GetObject(0));
    e.Chart().DeleteSelection();
    QTest::mouseClick(Find<QPushButton>(e, "btnCancel"), Qt::LeftButton);
  });
  QVERIFY(!DesignJob(*job_));
  QCOMPARE(kvtest::ReadFile(JobFile()), before);
  QCOMPARE(job_->DBLinks->Count(), 1);
  kvtest::OnModal<TFChartEditor>([](TFChartEditor& e) {
    e.Chart().Select(e.Chart().GetObject(0));
    e.Chart().DeleteSelection();
    QTest::mouseClick(Find<QPushButton>(e, "acOk"), Qt::LeftButton);
  });
  QVERIFY(DesignJob(*job_));
  QCOMPARE(job_->DBLinks->Count(), 0);
  QCOMPARE(job_->GetDesignControl().GetObjectCount(), 1);
  QVERIFY(kvtest::ReadFile(JobFile()) != before);
}

void FChartEditorTest::anUnreadableJobFileIsNeverOpenedNorOverwritten() {
  kvtest::WriteFile(JobFile(), std::string("\x05\x00garbage", 9));
  QVERIFY(!DesignJob(*job_));
  QCOMPARE(ui_.messages.size(), size_t(1));
  QVERIFY(QStr(ui_.messages[0]).contains("Cannot read the job file"));
  QCOMPARE(ui_.types[0], mtError);
  QCOMPARE(kvtest::ReadFile(JobFile()), std::string("\x05\x00garbage", 9));
}

QTEST_MAIN(FChartEditorTest)
#include "FChartEditorTest.moc"
