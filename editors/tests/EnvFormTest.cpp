// The settings dialog over a real settings object: every setting loaded
// and written back, every widget reaching its setting, the file-size
// enabling rule, the colour boxes and the folder chooser, Cancel.
#include <QCheckBox>
#include <QColorDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include "DialogTestSupport.h"
#include "editors/EnvForm.h"
#include "editors/QtText.h"
#include "editors/RadioGroup.h"
#include "environment/Environment.h"
#include "testsupport/TempFiles.h"

using namespace kv;
using kvtest::Find;

namespace {

// Every stored setting as one comparable text.
QString Describe(const TKVEnvironment& e) {
  const TKVMonitorParam& m = *e.MonitorParam;
  return QString(
             "jobs %1 tips %2 folder %3 prompt %4%5%6%7 exp %8%9 log %10 %11 %12 %13 colors %14 %15 %16 %17 "
             "scale %18 dbl %19 %20 %21")
      .arg(e.MaxRunJobs)
      .arg(e.ShowTipDlgOnStart)
      .arg(QStr(e.DefaultFolder))
      .arg(e.Prompting->JobDeletion)
      .arg(e.Prompting->ErrorPrompt)
      .arg(e.Prompting->StopPrompt)
      .arg(e.Prompting->PausePrompt)
      .arg(e.ExpOption->ZeroAsNull)
      .arg(e.ExpOption->NullStringAsNull)
      .arg(e.LogOption->DelLogModes)
      .arg(e.LogOption->DelLogDays)
      .arg(e.LogOption->DelFileSize)
      .arg(e.LogOption->DelTime)
      .arg(m.BKColor)
      .arg(m.SourceBrowseSpeedColor)
      .arg(m.ImportSpeedColor)
      .arg(m.ErrRecordsSpeedColor)
      .arg(m.MaxSpeedScale)
      .arg(e.DblClickJobOption->DblClickOnRunJob)
      .arg(e.DblClickJobOption->DblClickOnErrorJob)
      .arg(e.DblClickJobOption->DblClickOnCompleteJob);
}

// Settings with no value at its default.
std::unique_ptr<TKVEnvironment> NonDefault() {
  auto e = std::make_unique<TKVEnvironment>();
  e->MaxRunJobs = 7;
  e->ShowTipDlgOnStart = false;
  e->SetDefaultFolder("/srv/jobs");
  e->Prompting->JobDeletion = false;
  e->Prompting->ErrorPrompt = true;
  e->Prompting->StopPrompt = false;
  e->Prompting->PausePrompt = false;
  e->ExpOption->ZeroAsNull = false;
  e->ExpOption->NullStringAsNull = false;
  e->LogOption->DelLogModes = 0x0F;
  e->LogOption->DelLogDays = 9;
  e->LogOption->DelFileSize = 321;
  e->LogOption->DelTime = 44000.25;
  e->MonitorParam->BKColor = 0x123456;
  e->MonitorParam->SourceBrowseSpeedColor = 0xFFFFFF;
  e->MonitorParam->ImportSpeedColor = 0x00FF00;
  e->MonitorParam->ErrRecordsSpeedColor = 0x0000FE;
  e->MonitorParam->MaxSpeedScale = 777;
  e->DblClickJobOption->DblClickOnRunJob = drpSchedule;
  e->DblClickJobOption->DblClickOnErrorJob = depSchedule;
  e->DblClickJobOption->DblClickOnCompleteJob = dcpSchedule;
  return e;
}

void Click(QWidget& form, const char* name) { QTest::mouseClick(Find<QPushButton>(form, name), Qt::LeftButton); }

}  // namespace

class EnvFormTest : public QObject {
  Q_OBJECT
private slots:
  void everySettingRoundTripsUnchanged_data();
  void everySettingRoundTripsUnchanged();
  void everyWidgetReachesItsSetting();
  void deleteFileSizeFollowsDeleteExceedSize();
  void colourBoxesPickThroughTheColourDialog();
  void folderChooserFillsTheFolder();
  void cancelChangesNothingAndSetSysDefaultProAnswersOk();
  void coloursAreStoredWithRedInTheLowByte();
};

void EnvFormTest::everySettingRoundTripsUnchanged_data() {
  QTest::addColumn<bool>("defaults");
  QTest::newRow("defaults") << true;
  QTest::newRow("every value changed") << false;
}

void EnvFormTest::everySettingRoundTripsUnchanged() {
  QFETCH(bool, defaults);
  auto env = defaults ? std::make_unique<TKVEnvironment>() : NonDefault();
  const QString before = Describe(*env);
  TKVEnvForm form(*env);
  form.show();
  Click(form, "btnOk");
  QCOMPARE(form.result(), int(QDialog::Accepted));
  QCOMPARE(Describe(*env), before);
}

void EnvFormTest::everyWidgetReachesItsSetting() {
  TKVEnvironment env;
  TKVEnvForm form(env);
  form.show();
  Find<QSpinBox>(form, "seMaxRunJobs")->setValue(12);
  QCOMPARE(Find<QSpinBox>(form, "seMaxRunJobs")->maximum(), TKVEnvironment::kMaxRunJobsLimit);
  for (const char* name : {"cbxShowTipDlgOnStart", "cbxJobDeletion", "cbxErrorPrompt", "cbxStopPrompt",
                           "cbxPausePrompt", "cbxZeroAsNull", "cbxNullStrAsNull", "cbxDelAtExit", "cbxDelExceedSize"})
    Find<QCheckBox>(form, name)->click();
  Find<QLineEdit>(form, "edDefaultFolder")->setText("/data/vandrel");
  Find<QSpinBox>(form, "seDelLogDays")->setValue(30);
  Find<QSpinBox>(form, "seDelFileSize")->setValue(2048);
  Find<QSpinBox>(form, "seMaxSpeedScale")->setValue(5000);
  Find<TRadioGroup>(form, "rgpDblClickOnRunJob")->Button(1)->click();
  Find<TRadioGroup>(form, "rgpDblClickOnErrorJob")->Button(2)->click();
  Find<TRadioGroup>(form, "rgpDblClickOnCompleteJob")->Button(1)->click();
  Click(form, "btnOk");
  QCOMPARE(int(env.MaxRunJobs), 12);
  QCOMPARE(env.ShowTipDlgOnStart, false);
  QCOMPARE(QStr(env.DefaultFolder), QString("/data/vandrel/"));  // through the setter
  QCOMPARE(env.Prompting->JobDeletion, false);
  QCOMPARE(env.Prompting->ErrorPrompt, true);
  QCOMPARE(env.Prompting->StopPrompt, false);
  QCOMPARE(env.Prompting->PausePrompt, false);
  QCOMPARE(env.ExpOption->ZeroAsNull, false);
  QCOMPARE(env.ExpOption->NullStringAsNull, false);
  QCOMPARE(int(env.LogOption->DelLogModes), int(DelLogModeBit(dlmDelAtExit) | DelLogModeBit(dlmDelExceedSize)));
  QCOMPARE(env.LogOption->DelLogDays, 30);
  QCOMPARE(env.LogOption->DelFileSize, 2048);
  QCOMPARE(env.MonitorParam->MaxSpeedScale, 5000);
  QCOMPARE(env.DblClickJobOption->DblClickOnRunJob, drpProperty);
  QCOMPARE(env.DblClickJobOption->DblClickOnErrorJob, depSchedule);
  QCOMPARE(env.DblClickJobOption->DblClickOnCompleteJob, dcpDesign);
}

void EnvFormTest::deleteFileSizeFollowsDeleteExceedSize() {
  for (bool initially : {false, true}) {
    TKVEnvironment env;
    if (initially) env.LogOption->Include(dlmDelExceedSize);
    TKVEnvForm form(env);
    form.show();
    auto* label = Find<QLabel>(form, "lbDelFileSize");
    auto* check = Find<QCheckBox>(form, "cbxDelExceedSize");
    QCOMPARE(label->isEnabled(), initially);
    QCOMPARE(Find<QSpinBox>(form, "seDelFileSize")->isEnabled(), initially);
    check->click();
    QCOMPARE(label->isEnabled(), !initially);
    // The other modes do not touch it.
    Find<QCheckBox>(form, "cbxDelAtRun")->click();
    QCOMPARE(label->isEnabled(), !initially);
  }
}

void EnvFormTest::colourBoxesPickThroughTheColourDialog() {
  TKVEnvironment env;
  TKVEnvForm form(env);
  form.show();
  auto* box = Find<QPushButton>(form, "cbBKColor");
  QCOMPARE(TKVEnvForm::BoxColor(*box), QColor(0, 0, 0));
  QCOMPARE(TKVEnvForm::BoxColor(*Find<QPushButton>(form, "cbErrRecordsSpeedColor")), QColor(255, 0, 0));
  kvtest::OnModal<QColorDialog>([](QColorDialog& dialog) {
    dialog.setCurrentColor(QColor(1, 2, 3));
    dialog.accept();
  });
  QTest::mouseClick(box, Qt::LeftButton);
  kvtest::OnModal<QColorDialog>([](QColorDialog& dialog) {
    dialog.setCurrentColor(QColor(9, 9, 9));
    dialog.reject();
  });
  QTest::mouseClick(Find<QPushButton>(form, "cbImportSpeedColor"), Qt::LeftButton);
  Click(form, "btnOk");
  QCOMPARE(env.MonitorParam->BKColor, 0x030201);
  QCOMPARE(env.MonitorParam->ImportSpeedColor, 32768);
}

void EnvFormTest::folderChooserFillsTheFolder() {
  kvtest::TempFolder folder("envform");
  TKVEnvironment env;
  TKVEnvForm form(env);
  form.show();
  QString title;
  kvtest::OnModal<QFileDialog>([&](QFileDialog& dialog) {
    title = dialog.windowTitle();
    // The dialog's file list loads on a thread of its own and may reset the
    // directory and selection meanwhile: choose the folder again until it
    // stays. The dialog is closed in any case (a failed check below tells).
    const QStringList wanted{QStr(folder.Path())};
    for (int i = 0; i < 400 && dialog.selectedFiles() != wanted; ++i) {
      dialog.setDirectory(wanted[0]);
      dialog.selectFile(wanted[0]);
      QTest::qWait(50);
    }
    static_cast<QDialog&>(dialog).accept();  // QFileDialog's own accept is protected
  });
  QTest::mouseClick(Find<QPushButton>(form, "btnDefaultFolder"), Qt::LeftButton);
  QCOMPARE(title, QString("Select path"));
  QCOMPARE(Find<QLineEdit>(form, "edDefaultFolder")->text(), QStr(folder.Path()));
  Click(form, "btnOk");
  QCOMPARE(QStr(env.DefaultFolder), QStr(folder.Path()) + "/");
}

void EnvFormTest::cancelChangesNothingAndSetSysDefaultProAnswersOk() {
  auto env = NonDefault();
  const QString before = Describe(*env);
  kvtest::OnModal<TKVEnvForm>([](TKVEnvForm& form) {
    Find<QSpinBox>(form, "seMaxRunJobs")->setValue(1);
    Find<QCheckBox>(form, "cbxDelAtRun")->click();
    Click(form, "btnCancel");
  });
  QVERIFY(!SetSysDefaultPro(*env));
  QCOMPARE(Describe(*env), before);
  kvtest::OnModal<TKVEnvForm>([](TKVEnvForm& form) {
    Find<QSpinBox>(form, "seMaxRunJobs")->setValue(1);
    Click(form, "btnOk");
  });
  QVERIFY(SetSysDefaultPro(*env));
  QCOMPARE(int(env->MaxRunJobs), 1);
}

void EnvFormTest::coloursAreStoredWithRedInTheLowByte() {
  QCOMPARE(TKVEnvForm::ToQColor(255), QColor(255, 0, 0));
  QCOMPARE(TKVEnvForm::ToQColor(65535), QColor(255, 255, 0));
  QCOMPARE(TKVEnvForm::ToQColor(0xFF0000), QColor(0, 0, 255));
  QCOMPARE(TKVEnvForm::FromQColor(QColor(0, 128, 0)), 32768);
  QCOMPARE(TKVEnvForm::FromQColor(TKVEnvForm::ToQColor(0x123456)), 0x123456);
  QCOMPARE(TKVEnvForm::ToQColor(-1), QColor(255, 255, 255));  // high byte ignored
}

QTEST_MAIN(EnvFormTest)
#include "EnvFormTest.moc"
