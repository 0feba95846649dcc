// The log-entry window in both languages: the three labels, the type name
// that stays English, the memo, and both buttons closing the window.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>
#include <cmath>

#include "DialogTestSupport.h"
#include "editors/LogInfoForm.h"
#include "editors/QtText.h"
#include "environment/CoreMessages.h"
#include "environment/Logs.h"
#include "foundation/DateUtils.h"

using namespace kv;
using kvtest::Find;

namespace {

QString LabelText(QWidget& form, const char* name) { return Find<QLabel>(form, name)->text(); }

}  // namespace

class LogInfoFormTest : public QObject {
  Q_OBJECT
private slots:
  void cleanup() { KVSetLanguage(ltEnglish); }
  void labelsReadCaptionColonAndValue_data();
  void labelsReadCaptionColonAndValue();
  void theMemoShowsTheTextReadOnly_data();
  void theMemoShowsTheTextReadOnly();
  void okAndCancelBothCloseAndLeaveTheRecord();
  void captionsLoseTheirOwnColon_data();
  void captionsLoseTheirOwnColon();
};

void LogInfoFormTest::labelsReadCaptionColonAndValue_data() {
  QTest::addColumn<int>("language");
  QTest::addColumn<int>("type");
  QTest::addColumn<double>("time");
  QTest::addColumn<QString>("date");
  QTest::addColumn<QString>("clock");
  QTest::addColumn<QString>("typeText");
  const double may17 = EncodeDateTime(2003, 5, 17, 8, 30, 5);
  QTest::newRow("information, English") << int(ltEnglish) << int(ltInfo) << may17 << "Date: 05-17-2003"
                                        << "Time: 08:30:05"
                                        << "Type: Information";
  QTest::newRow("information, Chinese") << int(ltSimpleChinese) << int(ltInfo) << may17
                                        << QString::fromUtf8("日期: 2003.05.17") << QString::fromUtf8("时间: 08:30:05")
                                        << QString::fromUtf8("类型: Information");
  QTest::newRow("warning, English") << int(ltEnglish) << int(ltWarnint) << may17 << "Date: 05-17-2003"
                                    << "Time: 08:30:05"
                                    << "Type: Warnint";
  QTest::newRow("error, Chinese") << int(ltSimpleChinese) << int(ltError) << EncodeDateTime(1999, 12, 31, 23, 59, 59)
                                  << QString::fromUtf8("日期: 1999.12.31") << QString::fromUtf8("时间: 23:59:59")
                                  << QString::fromUtf8("类型: Error");
  QTest::newRow("damaged type and time") << int(ltEnglish) << 7 << std::nan("") << "Date: "
                                         << "Time: "
                                         << "Type: ";
}

void LogInfoFormTest::labelsReadCaptionColonAndValue() {
  QFETCH(int, language);
  QFETCH(int, type);
  QFETCH(double, time);
  QFETCH(QString, date);
  QFETCH(QString, clock);
  QFETCH(QString, typeText);
  KVSetLanguage(static_cast<TLanguageType>(language));
  TKVLog log(static_cast<TLogType>(type), time, "text");
  TLogInfoForm form(log);
  form.show();
  QCOMPARE(LabelText(form, "lbDate"), date);
  QCOMPARE(LabelText(form, "lbTime"), clock);
  QCOMPARE(LabelText(form, "lbType"), typeText);
  QCOMPARE(form.windowTitle(), language == ltEnglish ? QString("Log Detail") : QString::fromUtf8("日志详情"));
}

void LogInfoFormTest::theMemoShowsTheTextReadOnly_data() {
  QTest::addColumn<QString>("event");
  QTest::addColumn<QString>("shown");
  QTest::newRow("empty") << ""
                         << "";
  QTest::newRow("one line") << "DBLink:L1 start."
                            << "DBLink:L1 start.";
  QTest::newRow("CR LF lines") << "a\r\nb\r\nc"
                               << "a\nb\nc";
  QTest::newRow("CR lines") << "a\rb"
                            << "a\nb";
  QTest::newRow("Chinese") << QString::fromUtf8("作业:甲 开始.") << QString::fromUtf8("作业:甲 开始.");
}

void LogInfoFormTest::theMemoShowsTheTextReadOnly() {
  QFETCH(QString, event);
  QFETCH(QString, shown);
  TKVLog log(ltInfo, 40000, StdStr(event));
  TLogInfoForm form(log);
  auto* memo = Find<QPlainTextEdit>(form, "moDescription");
  QCOMPARE(memo->toPlainText(), shown);
  QCOMPARE(memo->blockCount(), int(shown.count('\n')) + 1);
  QVERIFY(memo->isReadOnly());
  QVERIFY(memo->palette().color(QPalette::Base) != QColor(Qt::white));
}

void LogInfoFormTest::okAndCancelBothCloseAndLeaveTheRecord() {
  TKVLog log(ltWarnint, 40000.5, "kept");
  for (const char* button : {"btnOk", "btnCancel"}) {
    bool shown = false;
    kvtest::OnModal<TLogInfoForm>([&](TLogInfoForm& form) {
      shown = true;
      QTest::mouseClick(Find<QPushButton>(form, button), Qt::LeftButton);
    });
    ShowLogInfoForm(log);
    QVERIFY(shown);
  }
  QCOMPARE(QStr(log.Event), QString("kept"));
  QCOMPARE(log.LogType, ltWarnint);
  QCOMPARE(log.OccurTime, 40000.5);
}

void LogInfoFormTest::captionsLoseTheirOwnColon_data() {
  QTest::addColumn<QString>("caption");
  QTest::addColumn<QString>("bare");
  QTest::newRow("no colon") << "Date"
                            << "Date";
  QTest::newRow("colon") << "Date:"
                         << "Date";
  QTest::newRow("colon and blank") << "Date : "
                                   << "Date";
  QTest::newRow("full-width colon") << QString::fromUtf8("日期：") << QString::fromUtf8("日期");
  QTest::newRow("only a colon") << ":"
                                << "";
}

void LogInfoFormTest::captionsLoseTheirOwnColon() {
  QFETCH(QString, caption);
  QFETCH(QString, bare);
  QCOMPARE(TLogInfoForm::CaptionWithoutColon(caption), bare);
}

QTEST_MAIN(LogInfoFormTest)
#include "LogInfoFormTest.moc"
