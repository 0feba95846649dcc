// The single-instance guard over real processes: a second start of the
// program brings the first to the front and ends with status 0 on its own,
// a killed first instance leaves nothing that blocks the next start, and
// the runtime folder must be a private one.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QLocalSocket>
#include <QMainWindow>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

#include "FlashForm.h"
#include "JustOne.h"
#include "testsupport/TempFiles.h"

using namespace kv;

namespace {

constexpr int kProcessLimitMs = 60000;

// Sets an environment variable for one test and restores it.
class TEnvScope {
public:
  TEnvScope(const char* name, const QByteArray& value) : name_(name), had_(qEnvironmentVariableIsSet(name)) {
    old_ = qgetenv(name);
    if (value.isNull()) qunsetenv(name); else qputenv(name, value);
  }
  ~TEnvScope() {
    if (had_) qputenv(name_, old_); else qunsetenv(name_);
  }

private:
  const char* name_;
  bool had_;
  QByteArray old_;
};

// The real program on the offscreen platform, with its runtime, settings
// and program folders in `folder`.
std::unique_ptr<QProcess> StartProgram(const QString& folder) {
  auto program = std::make_unique<QProcess>();
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_RUNTIME_DIR", folder + "/run");
  env.insert("XDG_CONFIG_HOME", folder + "/config");
  env.insert("VANDREL_HOME", folder + "/home");
  env.insert("QT_QPA_PLATFORM", "offscreen");
  program->setProcessEnvironment(env);
  program->setProcessChannelMode(QProcess::ForwardedChannels);
  program->start(VANDREL_PROGRAM, {});
  return program;
}

QString MakeFolders(const kvtest::TempFolder& temp) {
  const QString folder = QString::fromStdString(temp.Path());
  for (const char* sub : {"run", "config", "home"}) QDir(folder).mkpath(sub);
  QFile::setPermissions(folder + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  return folder;
}

bool WaitForEnd(QProcess& program) {
  QSignalSpy finished(&program, &QProcess::finished);
  if (program.state() == QProcess::NotRunning) return true;
  return finished.wait(kProcessLimitMs);
}

}  // namespace

class JustOneTest : public QObject {
  Q_OBJECT
private slots:
  void initTestCase() { QCoreApplication::setApplicationName("vandrel"); }
  void aSecondStartBringsTheFirstToTheFrontAndEnds();
  void onlyTheActivationRequestActivates();
  void aKilledFirstInstanceDoesNotBlockTheNextStart();
  void aRuntimeFolderOthersCouldUseDisablesTheGuard_data();
  void aRuntimeFolderOthersCouldUseDisablesTheGuard();
  void splashHasItsSizeAndCentresOnTheMainWindow();
  void aTerminationSignalEndsThroughTheClosingSteps_data();
  void aTerminationSignalEndsThroughTheClosingSteps();
};

void JustOneTest::aTerminationSignalEndsThroughTheClosingSteps_data() {
  QTest::addColumn<int>("signal");
  QTest::newRow("SIGTERM") << SIGTERM;
  QTest::newRow("SIGINT") << SIGINT;
  QTest::newRow("SIGHUP") << SIGHUP;
}

// A session ending (or Ctrl+C) closes the program as Exit would, without
// its question: the job group, the settings and the window layout are
// written, and the program ends normally.
void JustOneTest::aTerminationSignalEndsThroughTheClosingSteps() {
  QFETCH(int, signal);
  kvtest::TempFolder temp("terminate");
  const QString folder = MakeFolders(temp);
  auto program = StartProgram(folder);
  QVERIFY(program->waitForStarted(kProcessLimitMs));
  // The single-instance socket is made after the signal handlers are in place.
  QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(folder + "/run/vandrel.socket"), kProcessLimitMs);
  QVERIFY(!QFile::exists(folder + "/home/KVCore.jbg"));
  QCOMPARE(::kill(static_cast<pid_t>(program->processId()), signal), 0);
  QVERIFY(WaitForEnd(*program));
  QCOMPARE(program->exitStatus(), QProcess::NormalExit);
  QCOMPARE(program->exitCode(), 0);
  QVERIFY(QFile::exists(folder + "/home/KVCore.jbg"));
  QVERIFY(QFile::exists(folder + "/home/KVCore.env"));
  QVERIFY(QFile::exists(folder + "/config/Vandrelworks/WindowsPosition.conf"));
  // The next start is not blocked by anything the first one left behind.
  auto next = StartProgram(folder);
  QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(folder + "/run/vandrel.socket"), kProcessLimitMs);
  ::kill(static_cast<pid_t>(next->processId()), SIGTERM);
  QVERIFY(WaitForEnd(*next));
  QCOMPARE(next->exitCode(), 0);
}

void JustOneTest::aSecondStartBringsTheFirstToTheFrontAndEnds() {
  kvtest::TempFolder temp("justone");
  const QString folder = MakeFolders(temp);
  TEnvScope runtime("XDG_RUNTIME_DIR", (folder + "/run").toUtf8());
  TKVJustOne first;
  int reported = 0;
  first.OnAlreadyRunning = [&](TKVJustOne&) { ++reported; };
  first.CheckRunning();
  QVERIFY(!first.AlreadyRunning());
  QMainWindow window;
  window.showMinimized();
  QVERIFY(window.windowState() & Qt::WindowMinimized);
  first.SetMainWindow(&window);
  QSignalSpy activated(&first, &TKVJustOne::Activated);

  auto second = StartProgram(folder);
  QVERIFY(WaitForEnd(*second));
  QCOMPARE(second->exitStatus(), QProcess::NormalExit);
  QCOMPARE(second->exitCode(), 0);
  QTRY_COMPARE_WITH_TIMEOUT(activated.count(), 1, 10000);
  QVERIFY(!(window.windowState() & Qt::WindowMinimized));
  QVERIFY(window.isVisible());
  QCOMPARE(reported, 0);
  // The second start made nothing in the program folder.
  QVERIFY(QDir(folder + "/home").isEmpty());

  // A second guard in this process finds the first one too, and says so.
  TKVJustOne again;
  again.ActivatePrevious = false;
  again.OnAlreadyRunning = [&](TKVJustOne& sender) { reported += &sender == &again ? 1 : 100; };
  again.CheckRunning();
  QVERIFY(again.AlreadyRunning());
  QCOMPARE(reported, 1);
}

void JustOneTest::onlyTheActivationRequestActivates() {
  kvtest::TempFolder temp("justone");
  const QString folder = MakeFolders(temp);
  TEnvScope runtime("XDG_RUNTIME_DIR", (folder + "/run").toUtf8());
  TKVJustOne first;
  first.CheckRunning();
  QSignalSpy activated(&first, &TKVJustOne::Activated);
  const QString path = TKVJustOne::SocketPath("vandrel");
  for (const QByteArray& request : {QByteArray("show\n"), QByteArray(200, 'x'), QByteArray("activate\n")}) {
    QLocalSocket client;
    client.connectToServer(path);
    QVERIFY(client.waitForConnected(5000));
    client.write(request);
    QVERIFY(client.waitForBytesWritten(5000));
    client.disconnectFromServer();
  }
  // The requests are handled in order: the valid one comes last.
  QTRY_COMPARE_WITH_TIMEOUT(activated.count(), 1, 10000);
  QCoreApplication::processEvents();
  QCOMPARE(activated.count(), 1);
}

void JustOneTest::aKilledFirstInstanceDoesNotBlockTheNextStart() {
  kvtest::TempFolder temp("justone");
  const QString folder = MakeFolders(temp);
  const QString socket = folder + "/run/vandrel.socket";
  auto crashed = StartProgram(folder);
  QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socket), kProcessLimitMs);
  crashed->kill();
  QVERIFY(WaitForEnd(*crashed));
  QVERIFY(QFile::exists(socket));  // left behind by the killed instance

  TEnvScope runtime("XDG_RUNTIME_DIR", (folder + "/run").toUtf8());
  TKVJustOne next;
  next.CheckRunning();
  QVERIFY(!next.AlreadyRunning());
  // The new instance answers on the socket the dead one left.
  QSignalSpy activated(&next, &TKVJustOne::Activated);
  TKVJustOne later;
  later.CheckRunning();
  QVERIFY(later.AlreadyRunning());
  QTRY_COMPARE_WITH_TIMEOUT(activated.count(), 1, 10000);
}

void JustOneTest::aRuntimeFolderOthersCouldUseDisablesTheGuard_data() {
  QTest::addColumn<QString>("kind");
  QTest::newRow("a file") << "file";
  QTest::newRow("a folder others may write") << "open folder";
  QTest::newRow("a private folder") << "private folder";
}

void JustOneTest::aRuntimeFolderOthersCouldUseDisablesTheGuard() {
  QFETCH(QString, kind);
  // A runtime folder open to others is not used: the private /tmp folder is.
  kvtest::TempFolder open("justone-open");
  QVERIFY(::chmod(open.Path().c_str(), 0777) == 0);
  TEnvScope runtime("XDG_RUNTIME_DIR", QByteArray::fromStdString(open.Path()));
  const QString title = QString("vandrel-justone-test-%1").arg(::getpid());
  QCoreApplication::setApplicationName(title);
  const QString path = QString("/tmp/%1-%2").arg(title).arg(::getuid());
  const QByteArray native = QFile::encodeName(path);
  if (kind == "file") {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
  } else {
    QVERIFY(::mkdir(native.constData(), 0700) == 0);
    if (kind == "open folder") QVERIFY(::chmod(native.constData(), 0777) == 0);
  }
  const bool usable = kind == "private folder";
  QCOMPARE(TKVJustOne::RuntimeFolder(title), usable ? path : QString());
  {
    TKVJustOne first;
    first.CheckRunning();
    QVERIFY(!first.AlreadyRunning());
    TKVJustOne second;
    second.ActivatePrevious = false;
    second.CheckRunning();
    // Without a private folder the program runs unguarded rather than not at all.
    QCOMPARE(second.AlreadyRunning(), usable);
  }
  QCoreApplication::setApplicationName("vandrel");
  QVERIFY(kind == "file" ? QFile::remove(path) : QDir(path).removeRecursively());
}

void JustOneTest::splashHasItsSizeAndCentresOnTheMainWindow() {
  QMainWindow window;
  window.setGeometry(100, 120, 800, 600);
  window.show();
  TFlashForm splash;
  QCOMPARE(splash.size(), QSize(401, 199));
  QVERIFY(splash.windowFlags() & Qt::FramelessWindowHint);
  splash.CenterOn(window.frameGeometry());
  splash.ShowNow();
  QVERIFY(splash.isVisible());
  QCOMPARE(splash.frameGeometry().center(), window.frameGeometry().center());
  // Without a window to centre on, the splash sits in the middle of the screen.
  splash.CenterOn(QRect());
  QCOMPARE(splash.frameGeometry().center(), QGuiApplication::primaryScreen()->availableGeometry().center());
  const QImage picture = TFlashForm::Picture().toImage();
  QCOMPARE(picture.size(), QSize(401, 199));
  // The picture is drawn, not empty: the icon and the texts differ from the background.
  QVERIFY(picture.pixelColor(80, 100) != picture.pixelColor(5, 100));
}

QTEST_MAIN(JustOneTest)
#include "JustOneTest.moc"
