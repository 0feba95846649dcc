// The Qt side of the core's hooks: worker calls carried into the GUI
// thread and released at shutdown, message boxes through the hook, and the
// window translation walk over real widgets.
#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <atomic>
#include <thread>

#include "editors/QtMainThread.h"
#include "editors/QtTranslation.h"
#include "editors/QtUserInterface.h"
#include "editors/RadioGroup.h"
#include "environment/CoreMessages.h"
#include "environment/LanguageTranslate.h"

using namespace kv;

class QtBridgeTest : public QObject {
  Q_OBJECT
private slots:
  void aWorkersCallRunsInTheGuiThreadThroughTheEventLoop();
  void shutdownReleasesWaitingWorkersWithoutRunningTheirCalls();
  void questionsFromAWorkerAreAskedInTheGuiThread();
  void chineseTranslatesEveryKindOfNamedObject();
  void radioGroupIndexFollowsTheCheckedButton();
};

void QtBridgeTest::aWorkersCallRunsInTheGuiThreadThroughTheEventLoop() {
  TQtMainThreadScope scope;
  std::atomic<bool> done{false};
  QThread* ranOn = nullptr;
  std::thread worker([&] {
    RunInMainThread([&] { ranOn = QThread::currentThread(); });
    done = true;
  });
  QTRY_VERIFY_WITH_TIMEOUT(done.load(), 10000);
  worker.join();
  QCOMPARE(ranOn, QCoreApplication::instance()->thread());
}

void QtBridgeTest::shutdownReleasesWaitingWorkersWithoutRunningTheirCalls() {
  std::atomic<int> ran{0};
  std::atomic<int> released{0};
  std::vector<std::thread> workers;
  {
    TQtMainThreadScope scope;
    for (int i = 0; i < 3; ++i)
      workers.emplace_back([&] {
        RunInMainThread([&] { ++ran; });
        ++released;
      });
    // The calls are queued; the event loop does not run before the shutdown.
    while (scope.Dispatcher().PendingCount() < 3) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    QCOMPARE(released.load(), 0);
    scope.Dispatcher().Shutdown();
    // A call posted after the shutdown is refused at once as well.
    std::thread late([&] { RunInMainThread([&] { ++ran; }); ++released; });
    late.join();
  }
  for (auto& w : workers) w.join();
  QCOMPARE(released.load(), 4);
  QCoreApplication::processEvents();
  QCOMPARE(ran.load(), 0);
}

void QtBridgeTest::questionsFromAWorkerAreAskedInTheGuiThread() {
  TQtMainThreadScope scope;
  TQtUserInterface ui;
  IUserInterface* old = SetUserInterface(&ui);
  // Answer the box from the GUI thread as soon as it shows.
  QTimer answer;
  QString asked;
  connect(&answer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      asked = box->text();
      box->button(QMessageBox::No)->click();
    }
  });
  answer.start(10);
  std::atomic<int> result{-1};
  std::thread worker([&] { result = AskYesNo("Go on?", true) ? 1 : 0; });
  QTRY_VERIFY_WITH_TIMEOUT(result.load() != -1, 10000);
  worker.join();
  SetUserInterface(old);
  QCOMPARE(asked, QString("Go on?"));
  QCOMPARE(result.load(), 0);
}

void QtBridgeTest::chineseTranslatesEveryKindOfNamedObject() {
  QMainWindow window;
  window.setObjectName("MainForm");
  auto* acRun = new QAction("&Run", &window);
  acRun->setObjectName("acRun");
  QMenu* file = window.menuBar()->addMenu("&File");
  file->addAction(acRun);
  auto* tabs = new QTabWidget(&window);
  auto* page = new QWidget;
  page->setObjectName("tsLog");
  tabs->addTab(page, "Log");
  auto* lbDate = new QLabel("Date", page);
  lbDate->setObjectName("lbDate");
  auto* tree = new QTreeWidget(page);
  tree->setObjectName("tvwJobPro");
  auto* root = new QTreeWidgetItem(tree, QStringList{"Job Status"});
  new QTreeWidgetItem(root, QStringList{"Running"});
  auto* list = new QTreeWidget(page);
  list->setObjectName("lvwJobs");
  list->setRootIsDecorated(false);
  list->setHeaderLabels({"", "Job Name"});
  auto* period = new TRadioGroup("Select Run period", {"Every &day", "No such entry"}, page);
  period->setObjectName("rgPeriod");
  auto* unnamed = new QLabel("Date", page);
  window.setCentralWidget(tabs);

  KVSetLanguage(ltSimpleChinese);
  LanguageTanslate(window);
  LanguageTansAcMenu(*window.menuBar());
  KVSetLanguage(ltEnglish);

  QCOMPARE(acRun->text(), QString("运行(&R)"));
  QCOMPARE(acRun->statusTip(), QString("运行选定的作业"));
  QCOMPARE(file->title(), QString("文件(&F)"));
  QCOMPARE(lbDate->text(), QString("日期:"));
  QCOMPARE(root->child(0)->text(0), QString("正在运行"));
  QCOMPARE(list->headerItem()->text(1), QString("作业名称"));
  QCOMPARE(period->Item(0), QString("每天(&D)"));
  QCOMPARE(period->Item(1), QString("No such entry"));  // missing from the table: kept
  QCOMPARE(unnamed->text(), QString("Date"));            // no name: left alone
}

void QtBridgeTest::radioGroupIndexFollowsTheCheckedButton() {
  TRadioGroup group("Mode", {"A", "B", "C"});
  QCOMPARE(group.ItemIndex(), -1);
  QSignalSpy changed(&group, &TRadioGroup::ItemIndexChanged);
  group.SetItemIndex(2);
  QCOMPARE(group.ItemIndex(), 2);
  group.Button(0)->click();
  QCOMPARE(group.ItemIndex(), 0);
  QCOMPARE(changed.count(), 2);
  group.SetItemIndex(-1);
  QCOMPARE(group.ItemIndex(), -1);
  group.SetItemIndex(7);  // out of range: nothing checked
  QCOMPARE(group.ItemIndex(), -1);
}

QTEST_MAIN(QtBridgeTest)
#include "QtBridgeTest.moc"
