#include "editors/EnvForm.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <climits>

#include "editors/FormHelpers.h"
#include "editors/QtText.h"
#include "editors/QtTranslation.h"
#include "editors/RadioGroup.h"
#include "environment/CoreMessages.h"
#include "environment/Environment.h"

namespace kv {

namespace {

const char* const kDelModeNames[4] = {"cbxDelAtRun", "cbxDelAtExit", "cbxDelEverDays", "cbxDelExceedSize"};
const char* const kDelModeCaptions[4] = {"Delete At &Run", "Delete At &Exit", "Delete E&very Day",
                                         "Delete Exceed &Size"};
const char* const kColorNames[4] = {"cbBKColor", "cbSourceBrowseSpeedColor", "cbImportSpeedColor",
                                    "cbErrRecordsSpeedColor"};
const char* const kColorLabels[4] = {"lbBKColor", "lbSourceBrowseSpeedColor", "lbImportSpeedColor",
                                     "lbErrRecordsSpeedColor"};
const char* const kColorCaptions[4] = {"&Back Color", "&Source Browse Color", "&Import Color", "&Error Data Color"};
constexpr const char* kColorProperty = "vandrelColor";

void SetBoxColor(QPushButton& box, const QColor& color) {
  box.setProperty(kColorProperty, color);
  box.setStyleSheet(QString("background-color: %1;").arg(color.name()));
}

}  // namespace

QColor TKVEnvForm::ToQColor(int32_t bgr) {
  const auto v = static_cast<uint32_t>(bgr);
  return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF), static_cast<int>((v >> 16) & 0xFF));
}

int32_t TKVEnvForm::FromQColor(const QColor& color) {
  return static_cast<int32_t>(static_cast<uint32_t>(color.red()) | (static_cast<uint32_t>(color.green()) << 8) |
                              (static_cast<uint32_t>(color.blue()) << 16));
}

QColor TKVEnvForm::BoxColor(const QPushButton& box) { return box.property(kColorProperty).value<QColor>(); }

TKVEnvForm::TKVEnvForm(TKVEnvironment& env, QWidget* parent) : QDialog(parent), env_(env), copy_(Duplicate(env)) {
  setObjectName("KVEnvForm");
  setWindowTitle("Option");
  auto* pages = new QTabWidget(this);
  pages->addTab(BuildGeneral(), "General");
  pages->addTab(BuildLog(), "Log");
  pages->addTab(BuildMonitor(), "Monitor param");
  pages->addTab(BuildOther(), "Other");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages);
  layout->addLayout(OkCancelRow(*this));
  LanguageTanslate(*this);
  Load();
}

TKVEnvForm::~TKVEnvForm() = default;

QCheckBox* TKVEnvForm::NewCheck(QWidget* parent, const char* name, const QString& caption) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(name);
  return box;
}

QWidget* TKVEnvForm::BuildGeneral() {
  auto* page = new QWidget;
  page->setObjectName("tshGeneral");
  seMaxRunJobs_ = NamedSpin(page, "seMaxRunJobs", 0, TKVEnvironment::kMaxRunJobsLimit);
  cbxShowTipDlgOnStart_ = NewCheck(page, "cbxShowTipDlgOnStart", "&ShowTipDlgOnStart");
  edDefaultFolder_ = new QLineEdit(page);
  edDefaultFolder_->setObjectName("edDefaultFolder");
  auto* btnFolder = SideButton(page, "btnDefaultFolder", "...", this, &TKVEnvForm::ChooseFolder);
  auto* prompting = new QGroupBox("&Prompting", page);
  prompting->setObjectName("gbxPrompting");
  cbxJobDeletion_ = NewCheck(prompting, "cbxJobDeletion", "When Delete &Job");
  cbxErrorPrompt_ = NewCheck(prompting, "cbxErrorPrompt", "When &Error Found");
  cbxStopPrompt_ = NewCheck(prompting, "cbxStopPrompt", "When Job &Stop");
  cbxPausePrompt_ = NewCheck(prompting, "cbxPausePrompt", "When Job &Pause");
  auto* promptLayout = new QGridLayout(prompting);
  promptLayout->addWidget(cbxJobDeletion_, 0, 0);
  promptLayout->addWidget(cbxErrorPrompt_, 0, 1);
  promptLayout->addWidget(cbxStopPrompt_, 1, 0);
  promptLayout->addWidget(cbxPausePrompt_, 1, 1);
  auto* expOption = new QGroupBox("Express &Option", page);
  expOption->setObjectName("gbxExpOption");
  cbxZeroAsNull_ = NewCheck(expOption, "cbxZeroAsNull", "&Zero As Null");
  cbxNullStrAsNull_ = NewCheck(expOption, "cbxNullStrAsNull", "&Null String As Null");
  auto* expLayout = new QHBoxLayout(expOption);
  expLayout->addWidget(cbxZeroAsNull_);
  expLayout->addWidget(cbxNullStrAsNull_);

  auto* grid = new QGridLayout(page);
  grid->addWidget(NamedLabel("lbMaxRunJobs", "&MaxRunJobs", seMaxRunJobs_, page), 0, 0);
  grid->addWidget(seMaxRunJobs_, 0, 1);
  grid->addWidget(cbxShowTipDlgOnStart_, 1, 0, 1, 3);
  grid->addWidget(NamedLabel("lbDefaultFolder", "Job &file save folder", edDefaultFolder_, page), 2, 0);
  grid->addWidget(edDefaultFolder_, 2, 1);
  grid->addWidget(btnFolder, 2, 2);
  grid->addWidget(prompting, 3, 0, 1, 3);
  grid->addWidget(expOption, 4, 0, 1, 3);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(5, 1);
  return page;
}

QWidget* TKVEnvForm::BuildLog() {
  auto* page = new QWidget;
  page->setObjectName("tshLog");
  auto* modes = new QGroupBox("&Delete Log Mode", page);
  modes->setObjectName("gbxDelLogMode");
  for (int m = 0; m < 4; ++m) delModes_[m] = NewCheck(modes, kDelModeNames[m], kDelModeCaptions[m]);
  seDelLogDays_ = NamedSpin(modes, "seDelLogDays", 0, INT_MAX);
  seDelFileSize_ = NamedSpin(modes, "seDelFileSize", 0, INT_MAX);
  lbDelFileSize_ = NamedLabel("lbDelFileSize", "Delete &File Size", seDelFileSize_, modes);
  connect(delModes_[dlmDelExceedSize], &QCheckBox::toggled, this, &TKVEnvForm::UpdateFileSizeEnabling);
  auto* grid = new QGridLayout(modes);
  grid->addWidget(delModes_[dlmDelAtRun], 0, 0);
  grid->addWidget(delModes_[dlmDelAtExit], 1, 0);
  grid->addWidget(delModes_[dlmDelEverDays], 2, 0);
  grid->addWidget(seDelLogDays_, 2, 1);
  grid->addWidget(NamedLabel("lbDelLogDays", "Delete &Log Days", seDelLogDays_, modes), 2, 2);
  grid->addWidget(delModes_[dlmDelExceedSize], 3, 0);
  grid->addWidget(seDelFileSize_, 3, 1);
  grid->addWidget(lbDelFileSize_, 3, 2);
  grid->setColumnStretch(2, 1);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(modes);
  layout->addStretch(1);
  return page;
}

QPushButton* TKVEnvForm::NewColorBox(QWidget* page, const char* name) {
  auto* box = new QPushButton(page);
  box->setObjectName(name);
  box->setAutoDefault(false);
  box->setMinimumWidth(80);
  connect(box, &QPushButton::clicked, this, [this, box] { ChooseColor(*box); });
  return box;
}

QWidget* TKVEnvForm::BuildMonitor() {
  auto* page = new QWidget;
  page->setObjectName("tshMonitorParam");
  auto* grid = new QGridLayout(page);
  for (int c = 0; c < 4; ++c) {
    colors_[c] = NewColorBox(page, kColorNames[c]);
    grid->addWidget(NamedLabel(kColorLabels[c], kColorCaptions[c], colors_[c], page), c, 0);
    grid->addWidget(colors_[c], c, 1);
  }
  seMaxSpeedScale_ = NamedSpin(page, "seMaxSpeedScale", 1, INT_MAX);
  grid->addWidget(NamedLabel("lbMaxSpeedScale", "&Scale(Rows/Sec)", seMaxSpeedScale_, page), 4, 0);
  grid->addWidget(seMaxSpeedScale_, 4, 1);
  grid->setColumnStretch(2, 1);
  grid->setRowStretch(5, 1);
  return page;
}

QWidget* TKVEnvForm::BuildOther() {
  auto* page = new QWidget;
  page->setObjectName("tshOther");
  rgpDblClickOnRunJob_ =
      new TRadioGroup("Double Click On Running Job", {"RunOrPause", "Set Property", "Set Schedule"}, page);
  rgpDblClickOnRunJob_->setObjectName("rgpDblClickOnRunJob");
  rgpDblClickOnErrorJob_ =
      new TRadioGroup("Double Click On Error Job", {"Design", "Set Property", "Set Schedule"}, page);
  rgpDblClickOnErrorJob_->setObjectName("rgpDblClickOnErrorJob");
  rgpDblClickOnCompleteJob_ =
      new TRadioGroup("Double Click On Completed Job", {"RunOrPause", "Design", "Set Property", "Set Schedule"}, page);
  rgpDblClickOnCompleteJob_->setObjectName("rgpDblClickOnCompleteJob");
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(rgpDblClickOnRunJob_);
  layout->addWidget(rgpDblClickOnErrorJob_);
  layout->addWidget(rgpDblClickOnCompleteJob_);
  layout->addStretch(1);
  return page;
}

void TKVEnvForm::Load() {
  const TKVEnvironment& e = *copy_;
  seMaxRunJobs_->setValue(e.MaxRunJobs);
  cbxShowTipDlgOnStart_->setChecked(e.ShowTipDlgOnStart);
  edDefaultFolder_->setText(QStr(e.DefaultFolder));
  cbxJobDeletion_->setChecked(e.Prompting->JobDeletion);
  cbxErrorPrompt_->setChecked(e.Prompting->ErrorPrompt);
  cbxStopPrompt_->setChecked(e.Prompting->StopPrompt);
  cbxPausePrompt_->setChecked(e.Prompting->PausePrompt);
  cbxZeroAsNull_->setChecked(e.ExpOption->ZeroAsNull);
  cbxNullStrAsNull_->setChecked(e.ExpOption->NullStringAsNull);
  for (int m = 0; m < 4; ++m) delModes_[m]->setChecked(e.LogOption->Has(static_cast<TDelLogMode>(m)));
  seDelLogDays_->setValue(e.LogOption->DelLogDays);
  seDelFileSize_->setValue(e.LogOption->DelFileSize);
  const TKVMonitorParam& mp = *e.MonitorParam;
  const int32_t colors[4] = {mp.BKColor, mp.SourceBrowseSpeedColor, mp.ImportSpeedColor, mp.ErrRecordsSpeedColor};
  for (int c = 0; c < 4; ++c) SetBoxColor(*colors_[c], ToQColor(colors[c]));
  seMaxSpeedScale_->setValue(mp.MaxSpeedScale);
  rgpDblClickOnRunJob_->SetItemIndex(e.DblClickJobOption->DblClickOnRunJob);
  rgpDblClickOnErrorJob_->SetItemIndex(e.DblClickJobOption->DblClickOnErrorJob);
  rgpDblClickOnCompleteJob_->SetItemIndex(e.DblClickJobOption->DblClickOnCompleteJob);
  UpdateFileSizeEnabling();
}

void TKVEnvForm::UpdateFileSizeEnabling() {
  const bool on = delModes_[dlmDelExceedSize]->isChecked();
  lbDelFileSize_->setEnabled(on);
  seDelFileSize_->setEnabled(on);
}

void TKVEnvForm::ChooseColor(QPushButton& box) {
  QColorDialog dialog(BoxColor(box), this);
  dialog.setOption(QColorDialog::DontUseNativeDialog);
  if (dialog.exec() == QDialog::Accepted) SetBoxColor(box, dialog.selectedColor());
}

void TKVEnvForm::ChooseFolder() {
  QFileDialog dialog(this, QStr(SSelectFolder.Text()), edDefaultFolder_->text());
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
    edDefaultFolder_->setText(dialog.selectedFiles().first());
}

void TKVEnvForm::WriteBack() {
  TKVEnvironment& e = *copy_;
  e.SetMaxRunJobs(seMaxRunJobs_->value());
  e.ShowTipDlgOnStart = cbxShowTipDlgOnStart_->isChecked();
  const std::string folder = StdStr(edDefaultFolder_->text().trimmed());
  if (folder.empty())
    e.DefaultFolder.clear();
  else
    e.SetDefaultFolder(folder);
  e.Prompting->JobDeletion = cbxJobDeletion_->isChecked();
  e.Prompting->ErrorPrompt = cbxErrorPrompt_->isChecked();
  e.Prompting->StopPrompt = cbxStopPrompt_->isChecked();
  e.Prompting->PausePrompt = cbxPausePrompt_->isChecked();
  e.ExpOption->ZeroAsNull = cbxZeroAsNull_->isChecked();
  e.ExpOption->NullStringAsNull = cbxNullStrAsNull_->isChecked();
  for (int m = 0; m < 4; ++m) {
    if (delModes_[m]->isChecked())
      e.LogOption->Include(static_cast<TDelLogMode>(m));
    else
      e.LogOption->Exclude(static_cast<TDelLogMode>(m));
  }
  e.LogOption->DelLogDays = seDelLogDays_->value();
  e.LogOption->DelFileSize = seDelFileSize_->value();
  TKVMonitorParam& mp = *e.MonitorParam;
  int32_t* colors[4] = {&mp.BKColor, &mp.SourceBrowseSpeedColor, &mp.ImportSpeedColor, &mp.ErrRecordsSpeedColor};
  for (int c = 0; c < 4; ++c) *colors[c] = FromQColor(BoxColor(*colors_[c]));
  mp.MaxSpeedScale = seMaxSpeedScale_->value();
  TDblClickJobOption& dbl = *e.DblClickJobOption;
  if (int i = rgpDblClickOnRunJob_->ItemIndex(); i >= 0) dbl.DblClickOnRunJob = static_cast<TDblClickOnRunJob>(i);
  if (int i = rgpDblClickOnErrorJob_->ItemIndex(); i >= 0) dbl.DblClickOnErrorJob = static_cast<TDblClickOnErrorJob>(i);
  if (int i = rgpDblClickOnCompleteJob_->ItemIndex(); i >= 0)
    dbl.DblClickOnCompleteJob = static_cast<TDblClickOnCompleteJob>(i);
  env_.Assign(copy_.get());
}

void TKVEnvForm::accept() {
  WriteBack();
  QDialog::accept();
}

bool SetSysDefaultPro(TKVEnvironment& env, QWidget* parent) {
  TKVEnvForm form(env, parent);
  return form.exec() == QDialog::Accepted;
}

}  // namespace kv
