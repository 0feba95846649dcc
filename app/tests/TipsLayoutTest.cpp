// The tip of the day (index rules, "&Next Tip", the start-up choice and what
// closing stores) and the window layout store (reading stops at the first
// missing or unreadable value; written values read back). QSettings and the
// program folder point at a temporary folder.
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QtTest>

#include "MainForm.h"
#include "ProgramHooks.h"
#include "TipForm.h"
#include "WindowLayout.h"
#include "environment/CoreMessages.h"
#include "environment/Environment.h"
#include "environment/Tips.h"
#include "testsupport/RecordingUI.h"
#include "testsupport/TempFiles.h"

using namespace kv;

namespace {

// Stores one value under the layout's key, as an earlier run left it.
void StoreValue(const QString& key, const QVariant& value) {
  QSettings settings("Vandrelworks", "WindowsPosition");
  settings.setValue(key, value);
}

}  // namespace

class TipsLayoutTest : public QObject {
  Q_OBJECT
private slots:
  void init();
  void cleanup();
  void firstStartHasNoLayoutAndTipZero();
  void readingStopsAtTheFirstMissingOrWrongValue_data();
  void readingStopsAtTheFirstMissingOrWrongValue();
  void writtenValuesReadBack();
  void anUnwritableStoreReportsFailure();
  void storedTipIndexIsShownOrTheFirst_data();
  void storedTipIndexIsShownOrTheFirst();
  void nextTipWrapsToTheFirst();
  void showTipsCheckBoxAndCloseStoreTheChoiceAndTheIndex();
  void tipWindowIsTranslatedWithChineseTips();
  void firstTickShowsTheTipsOnlyWhenChosen_data();
  void firstTickShowsTheTipsOnlyWhenChosen();
  void closingTheTipsNeverWritesOverAnUnreadableSettingsFile();

private:
  std::unique_ptr<kvtest::TempFolder> folder_;
  std::unique_ptr<TKVEnvironment> env_;
};

void TipsLayoutTest::init() {
  folder_ = std::make_unique<kvtest::TempFolder>("tips");
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(folder_->File("config")));
  qputenv("VANDREL_HOME", QByteArray::fromStdString(folder_->Path()));
  env_ = std::make_unique<TKVEnvironment>();
  GlobalEnv = env_.get();
}

void TipsLayoutTest::cleanup() {
  GlobalEnv = nullptr;
  env_.reset();
  qunsetenv("VANDREL_HOME");
  KVSetLanguage(ltEnglish);
  folder_.reset();
}

void TipsLayoutTest::firstStartHasNoLayoutAndTipZero() {
  const TWindowLayout layout = ReadWindowLayout();
  for (const auto* value : {&layout.Language, &layout.JobProWidth, &layout.DBLinkHeight, &layout.DBLinkInfo,
                            &layout.Left, &layout.Top, &layout.Height, &layout.Width})
    QVERIFY(!value->has_value());
  QVERIFY(!layout.Maximize.has_value());
  QCOMPARE(ReadTipIndex(), 0);
}

void TipsLayoutTest::readingStopsAtTheFirstMissingOrWrongValue_data() {
  QTest::addColumn<QString>("key");
  QTest::addColumn<QVariant>("stored");  // invalid: the key is left out
  QTest::addColumn<int>("readCount");     // values read before the stop, Maximize counted last
  QTest::newRow("Width missing") << "Width" << QVariant() << 7;
  QTest::newRow("Width not a number") << "Width" << QVariant("wide") << 7;
  QTest::newRow("Width a fraction") << "Width" << QVariant("12.5") << 7;
  QTest::newRow("Language missing") << "Language" << QVariant() << 0;
  QTest::newRow("DBLinkInfo missing") << "DBLinkInfo" << QVariant() << 3;
  QTest::newRow("Maximize not a boolean") << "Maximize" << QVariant("maybe") << 8;
  QTest::newRow("all there") << "" << QVariant() << 9;
}

void TipsLayoutTest::readingStopsAtTheFirstMissingOrWrongValue() {
  QFETCH(QString, key);
  QFETCH(QVariant, stored);
  QFETCH(int, readCount);
  const QStringList keys = {"Language", "JobProWidth", "DBLinkHeight", "DBLinkInfo", "Left",
                            "Top",      "Height",      "Width",        "Maximize"};
  for (int i = 0; i < keys.size(); ++i) {
    if (keys[i] == key) {
      if (stored.isValid()) StoreValue(keys[i], stored);
    } else {
      StoreValue(keys[i], keys[i] == "Maximize" ? QVariant(true) : QVariant(10 + i));
    }
  }
  const TWindowLayout layout = ReadWindowLayout();
  const std::optional<int> integers[] = {layout.Language, layout.JobProWidth, layout.DBLinkHeight, layout.DBLinkInfo,
                                         layout.Left,     layout.Top,         layout.Height,       layout.Width};
  for (int i = 0; i < 8; ++i) {
    QCOMPARE(integers[i].has_value(), i < readCount);
    if (i < readCount) QCOMPARE(*integers[i], 10 + i);
  }
  QCOMPARE(layout.Maximize.has_value(), readCount == 9);
  if (readCount == 9) QCOMPARE(*layout.Maximize, true);
}

void TipsLayoutTest::writtenValuesReadBack() {
  TWindowLayout written;
  written.Language = 1;
  written.JobProWidth = 180;
  written.DBLinkHeight = 240;
  written.DBLinkInfo = 200;
  written.Left = -8;  // a window on a screen left of the primary one
  written.Top = 30;
  written.Height = 700;
  written.Width = 1024;
  written.Maximize = false;
  QVERIFY(WriteWindowLayout(written));
  WriteTipIndex(7);
  const TWindowLayout read = ReadWindowLayout();
  QCOMPARE(read.Language, written.Language);
  QCOMPARE(read.JobProWidth, written.JobProWidth);
  QCOMPARE(read.DBLinkHeight, written.DBLinkHeight);
  QCOMPARE(read.DBLinkInfo, written.DBLinkInfo);
  QCOMPARE(read.Left, written.Left);
  QCOMPARE(read.Top, written.Top);
  QCOMPARE(read.Height, written.Height);
  QCOMPARE(read.Width, written.Width);
  QCOMPARE(read.Maximize, written.Maximize);
  QCOMPARE(ReadTipIndex(), 7);
  // Unset values leave what is stored alone.
  TWindowLayout some;
  some.Maximize = true;
  QVERIFY(WriteWindowLayout(some));
  QCOMPARE(ReadWindowLayout().Width, written.Width);
  QCOMPARE(ReadWindowLayout().Maximize, std::optional<bool>(true));
}

void TipsLayoutTest::anUnwritableStoreReportsFailure() {
  // The settings folder would have to be made inside a plain file.
  const std::string blocker = folder_->File("blocker");
  kvtest::WriteFile(blocker, "not a folder");
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(blocker + "/config"));
  TWindowLayout layout;
  layout.Width = 10;
  QVERIFY(!WriteWindowLayout(layout));
  QVERIFY(!ReadWindowLayout().Width.has_value());
}

void TipsLayoutTest::storedTipIndexIsShownOrTheFirst_data() {
  std::vector<std::string> tips;
  GetTips(tips);
  const int count = static_cast<int>(tips.size());
  QTest::addColumn<QVariant>("stored");
  QTest::addColumn<int>("shown");
  QTest::newRow("none stored") << QVariant() << 0;
  QTest::newRow("third") << QVariant(2) << 2;
  QTest::newRow("last") << QVariant(count - 1) << count - 1;
  QTest::newRow("the count") << QVariant(count) << 0;
  QTest::newRow("far past the count") << QVariant(count + 40) << 0;
  QTest::newRow("negative") << QVariant(-3) << 0;
  QTest::newRow("not a number") << QVariant("five") << 0;
}

void TipsLayoutTest::storedTipIndexIsShownOrTheFirst() {
  QFETCH(QVariant, stored);
  QFETCH(int, shown);
  if (stored.isValid()) StoreValue("TipIndex", stored);
  std::vector<std::string> tips;
  GetTips(tips);
  TTipForm form;
  form.LoadTips();
  QCOMPARE(form.TipCount(), static_cast<int>(tips.size()));
  QCOMPARE(form.TipIndex(), shown);
  QCOMPARE(form.findChild<QPlainTextEdit*>("memTip")->toPlainText(), QString::fromStdString(tips[shown]));
}

void TipsLayoutTest::nextTipWrapsToTheFirst() {
  TTipForm form;
  form.LoadTips();
  const int count = form.TipCount();
  QVERIFY(count > 1);
  form.ShowTip(count - 2);
  auto* next = form.findChild<QPushButton*>("btnNext");
  QVERIFY(next != nullptr);
  QTest::mouseClick(next, Qt::LeftButton);
  QCOMPARE(form.TipIndex(), count - 1);
  QTest::mouseClick(next, Qt::LeftButton);
  QCOMPARE(form.TipIndex(), 0);
  QVERIFY(form.ShownText().contains('\n'));  // a heading line and its text
}

void TipsLayoutTest::showTipsCheckBoxAndCloseStoreTheChoiceAndTheIndex() {
  StoreValue("TipIndex", 4);
  GlobalEnv->ShowTipDlgOnStart = true;
  bool found = false, checkedAtStart = false, writtenAtOnce = false;
  int shownAtStart = -1;
  // ShowTips is modal: the window is driven from the event loop it runs,
  // and always closed so that a failure cannot hang the test.
  QTimer::singleShot(0, this, [&] {
    auto* form = qobject_cast<TTipForm*>(QApplication::activeModalWidget());
    if (form == nullptr) return;
    found = true;
    auto* check = form->findChild<QCheckBox*>("cbxShowTips");
    checkedAtStart = check->isChecked();
    shownAtStart = form->TipIndex();
    QTest::mouseClick(check, Qt::LeftButton);
    writtenAtOnce = !GlobalEnv->ShowTipDlgOnStart;
    QTest::mouseClick(form->findChild<QPushButton*>("btnNext"), Qt::LeftButton);
    QTest::mouseClick(form->findChild<QPushButton*>("btnClose"), Qt::LeftButton);
  });
  ShowTips(nullptr);
  QVERIFY(found);
  QVERIFY(checkedAtStart);
  QCOMPARE(shownAtStart, 4);
  QVERIFY(writtenAtOnce);
  QCOMPARE(ReadTipIndex(), 5);
  const auto saved = LoadEnvironment(EnvironmentFilePath());
  QVERIFY(QFile::exists(QString::fromStdString(folder_->File("KVCore.env"))));
  QVERIFY(!saved->ShowTipDlgOnStart);
}

void TipsLayoutTest::tipWindowIsTranslatedWithChineseTips() {
  KVSetLanguage(ltSimpleChinese);
  TTipForm form;
  form.LoadTips();
  QCOMPARE(form.TipCount(), 17);
  QCOMPARE(form.windowTitle(), QString::fromUtf8("每日提示"));
  QCOMPARE(form.findChild<QPushButton*>("btnNext")->text(), QString::fromUtf8("下一条(&N)"));
  std::vector<std::string> tips;
  GetTips(tips);
  QCOMPARE(form.ShownText(), QString::fromStdString(tips[0]));
}

void TipsLayoutTest::firstTickShowsTheTipsOnlyWhenChosen_data() {
  QTest::addColumn<bool>("showTips");
  QTest::newRow("tips on") << true;
  QTest::newRow("tips off") << false;
}

// The program's main window with the program's hooks: its first tick opens
// the tip of the day, at the tip shown last, only when the settings say so.
void TipsLayoutTest::firstTickShowsTheTipsOnlyWhenChosen() {
  QFETCH(bool, showTips);
  GlobalEnv = nullptr;  // the main window loads its own settings
  TKVEnvironment stored;
  stored.ShowTipDlgOnStart = showTips;
  SaveEnvironment(stored, EnvironmentFilePath());
  StoreValue("TipIndex", 6);
  QPointer<QWidget> owner;
  TMainForm form(ProgramHooks(owner));
  owner = &form;
  int tipWindows = 0;
  int shownIndex = -1;
  QWidget* parent = nullptr;
  QTimer watch;
  connect(&watch, &QTimer::timeout, this, [&] {
    if (auto* tips = qobject_cast<TTipForm*>(QApplication::activeModalWidget())) {
      ++tipWindows;
      shownIndex = tips->TipIndex();
      parent = tips->parentWidget();
      tips->reject();
    }
  });
  watch.start(10);
  form.FirstTimerTick();  // returns once the tip window (if any) is closed
  watch.stop();
  QCOMPARE(tipWindows, showTips ? 1 : 0);
  if (showTips) {
    QCOMPARE(shownIndex, 6);
    QCOMPARE(parent, &form);
  }
}

// The main window reports a settings file it cannot read and starts with
// defaults (tips on); closing the tip window then keeps the file as it was.
void TipsLayoutTest::closingTheTipsNeverWritesOverAnUnreadableSettingsFile() {
  GlobalEnv = nullptr;
  const std::string file = folder_->File("KVCore.env");
  const std::string damaged = "TPF0\x0eTKVEnvironment broken";
  kvtest::WriteFile(file, damaged);
  kvtest::TRecordingUI ui;
  kvtest::UIScope uiScope(&ui);
  QPointer<QWidget> owner;
  TMainForm form(ProgramHooks(owner));
  owner = &form;
  QVERIFY(form.EnvironmentUnreadable());
  QCOMPARE(ui.messages.size(), size_t(1));
  int tipWindows = 0;
  QTimer watch;
  connect(&watch, &QTimer::timeout, this, [&] {
    if (auto* tips = qobject_cast<TTipForm*>(QApplication::activeModalWidget())) {
      ++tipWindows;
      tips->ShowNextTip();
      tips->reject();
    }
  });
  watch.start(10);
  form.FirstTimerTick();
  watch.stop();
  QCOMPARE(tipWindows, 1);
  QCOMPARE(ReadTipIndex(), 1);  // the tip index is still stored
  QCOMPARE(kvtest::ReadFile(file), damaged);
}

QTEST_MAIN(TipsLayoutTest)
#include "TipsLayoutTest.moc"
