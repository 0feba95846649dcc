#include "editors/FileDataSetDlg.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryFile>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <exception>

#include "data/TextDataSet.h"
#include "data/TextFileDataset.h"
#include "editors/DataSetDialogs.h"
#include "editors/FormHelpers.h"
#include "editors/QtText.h"
#include "environment/CoreMessages.h"
#include "environment/LanguageTranslate.h"
#include "foundation/KVObject.h"

namespace kv {

namespace {

constexpr qint64 kPreviewBytes = 64 * 1024;
constexpr int kPreviewRows = 20;
constexpr int kPreviewDelayMs = 150;

QLineEdit* NamedEdit(QWidget* parent, const char* name) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  return edit;
}

// The first bytes of `path` (cut after the last complete line when the file
// is longer) in `copy`; false when the file cannot be read.
bool CopyHead(const QString& path, QTemporaryFile& copy, QString& error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    error = file.errorString();
    return false;
  }
  QByteArray head = file.read(kPreviewBytes);
  if (!file.atEnd()) {
    const qsizetype cut = head.lastIndexOf('\n');
    if (cut > 0) head.truncate(cut + 1);
  }
  if (!copy.open() || copy.write(head) != head.size()) {
    error = copy.errorString();
    return false;
  }
  copy.flush();
  return true;
}

}  // namespace

TKVFileDataSetDlg::TKVFileDataSetDlg(TKVTextDataSet& dataSet, TJob& job, QWidget* parent)
    : TKVDataSetDialog(dataSet, job, parent) {
  previewTimer_ = new QTimer(this);
  previewTimer_->setSingleShot(true);
  previewTimer_->setInterval(kPreviewDelayMs);
  connect(previewTimer_, &QTimer::timeout, this, &TKVFileDataSetDlg::RefreshPreview);
  Init("KVFileDataSetDlg", "Text file data property", "&Description");
  SchedulePreview();
}

TKVFileDataSetDlg::~TKVFileDataSetDlg() = default;

std::unique_ptr<TKVCustomDataSet> TKVFileDataSetDlg::NewOfKind() const { return std::make_unique<TKVTextDataSet>(); }

const TMessage& TKVFileDataSetDlg::CaptionMessage() const { return SKVFileDataSetDlgName; }

void TKVFileDataSetDlg::AddFileRow() {
  QWidget* general = Pages().widget(0);
  edFileName_ = NamedEdit(general, "edFileName");
  auto* dots = SideButton(general, "btnFileName", "...", this, &TKVFileDataSetDlg::ChooseFile);
  connect(edFileName_, &QLineEdit::textChanged, this, &TKVFileDataSetDlg::SchedulePreview);
  auto* browse = new QAction("&Browse data...", general);
  browse->setObjectName("acBrowsedata");
  connect(browse, &QAction::triggered, this, &TKVFileDataSetDlg::BrowseValues);
  auto* browseButton = new QToolButton(general);
  browseButton->setDefaultAction(browse);
  auto* row = new QHBoxLayout;
  row->addWidget(edFileName_, 1);
  row->addWidget(dots);
  row->addWidget(browseButton);
  auto* layout = static_cast<QVBoxLayout*>(general->layout());
  layout->insertWidget(2, NamedLabel("lbFileName", "&File name", edFileName_, general));
  layout->insertLayout(3, row);
}

void TKVFileDataSetDlg::AddPages(QTabWidget& pages) {
  AddFileRow();
  pages.addTab(BuildFormat(), "Format");
}

QWidget* TKVFileDataSetDlg::BuildFormat() {
  auto* page = new QWidget;
  page->setObjectName("tshFormat");
  cbxFixWidth_ = new QCheckBox("&Fixed-width fields", page);
  cbxFixWidth_->setObjectName("cbxFixWidth");
  cbxFieldNamesAtFirstLine_ = new QCheckBox("Field &names at first line", page);
  cbxFieldNamesAtFirstLine_->setObjectName("cbxFieldNamesAtFirstLine");
  edFieldWidths_ = NamedEdit(page, "edFieldWidths");
  edFieldSeperator_ = NamedEdit(page, "edFieldSeperator");
  edRowSeperator_ = NamedEdit(page, "edRowSeperator");
  edStringQualifier_ = NamedEdit(page, "edStringQualifier");
  seSkipRows_ = NamedSpin(page, "seSkipRows", 0, 1000000);
  auto* grid = new QGridLayout;
  grid->addWidget(cbxFixWidth_, 0, 0, 1, 2);
  grid->addWidget(NamedLabel("lbFieldWidths", "Field &widths", edFieldWidths_, page), 1, 0);
  grid->addWidget(edFieldWidths_, 1, 1);
  grid->addWidget(NamedLabel("lbFieldSeperator", "&Field seperator", edFieldSeperator_, page), 2, 0);
  grid->addWidget(edFieldSeperator_, 2, 1);
  grid->addWidget(NamedLabel("lbStringQualifier", "&Quote character", edStringQualifier_, page), 3, 0);
  grid->addWidget(edStringQualifier_, 3, 1);
  grid->addWidget(NamedLabel("lbRowSeperator", "&Row seperator", edRowSeperator_, page), 4, 0);
  grid->addWidget(edRowSeperator_, 4, 1);
  grid->addWidget(NamedLabel("lbSkipRows", "&Skip rows", seSkipRows_, page), 5, 0);
  grid->addWidget(seSkipRows_, 5, 1);
  grid->addWidget(cbxFieldNamesAtFirstLine_, 6, 0, 1, 2);
  grid->setColumnStretch(1, 1);

  sgPreview_ = new QTableWidget(page);
  sgPreview_->setObjectName("sgPreview");
  sgPreview_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  sgPreview_->verticalHeader()->setDefaultSectionSize(sgPreview_->fontMetrics().height() + 6);
  lbPreviewError_ = new QLabel(page);
  lbPreviewError_->setObjectName("lbPreviewError");
  lbPreviewError_->setWordWrap(true);
  lbPreviewError_->setStyleSheet("color: #b00000;");
  auto* layout = new QVBoxLayout(page);
  layout->addLayout(grid);
  layout->addWidget(NamedLabel("lbPreview", QStr(Translate("FileDataSetDlg_Preview", "Preview")), sgPreview_, page));
  layout->addWidget(sgPreview_, 1);
  layout->addWidget(lbPreviewError_);

  connect(cbxFixWidth_, &QCheckBox::toggled, this, &TKVFileDataSetDlg::UpdateControls);
  for (QCheckBox* box : {cbxFixWidth_, cbxFieldNamesAtFirstLine_})
    connect(box, &QCheckBox::toggled, this, &TKVFileDataSetDlg::SchedulePreview);
  for (QLineEdit* edit : {edFieldWidths_, edFieldSeperator_, edRowSeperator_, edStringQualifier_})
    connect(edit, &QLineEdit::textChanged, this, &TKVFileDataSetDlg::SchedulePreview);
  connect(seSkipRows_, &QSpinBox::valueChanged, this, &TKVFileDataSetDlg::SchedulePreview);
  return page;
}

void TKVFileDataSetDlg::UpdateControls() {
  const bool fixed = cbxFixWidth_->isChecked();
  edFieldWidths_->setEnabled(fixed);
  edFieldSeperator_->setEnabled(!fixed);
  edStringQualifier_->setEnabled(!fixed);
}

void TKVFileDataSetDlg::ChooseFile() {
  const QString filter = QStr(Translate("FileDataSetDlg_Filter", "Text files (*.txt);;All files (*)"));
  const QString chosen = QFileDialog::getOpenFileName(this, QString(), edFileName_->text(), filter);
  if (!chosen.isEmpty()) edFileName_->setText(chosen);
}

void TKVFileDataSetDlg::LoadPages(const TKVCustomDataSet& from) {
  auto& text = const_cast<TKVTextDataSet&>(static_cast<const TKVTextDataSet&>(from));
  TTextFileDataset& file = text.TextFile();
  edFileName_->setText(QStr(file.TableName()));
  cbxFixWidth_->setChecked(file.TextFileType() == tftFixedWidths);
  cbxFieldNamesAtFirstLine_->setChecked(file.ExtractColumnNamesFromFirstLine());
  edFieldWidths_->setText(QStr(file.ColumnWidths()));
  edFieldSeperator_->setText(QStr(file.ColumnSeperator()));
  edRowSeperator_->setText(QStr(file.RowSeperator()));
  edStringQualifier_->setText(QStr(file.StringQualifier()));
  seSkipRows_->setValue(file.SkipRows());
  UpdateControls();
}

void TKVFileDataSetDlg::StorePages(TKVCustomDataSet& into) {
  TTextFileDataset& file = static_cast<TKVTextDataSet&>(into).TextFile();
  file.SetTextFileType(cbxFixWidth_->isChecked() ? tftFixedWidths : tftDelimited);
  file.SetExtractColumnNamesFromFirstLine(cbxFieldNamesAtFirstLine_->isChecked());
  file.SetColumnWidths(StdStr(edFieldWidths_->text()));
  file.SetRowSeperator(StdStr(edRowSeperator_->text()));
  file.SetSkipRows(seSkipRows_->value());
  file.SetColumnSeperator(StdStr(edFieldSeperator_->text()));
  file.SetStringQualifier(StdStr(edStringQualifier_->text()));
  file.SetTableName(StdStr(edFileName_->text().trimmed()));
}

void TKVFileDataSetDlg::PrepareRead(TKVCustomDataSet& scratch) {
  TTextFileDataset& file = static_cast<TKVTextDataSet&>(scratch).TextFile();
  file.SetTableName(DataSet().ResolvePath(file.TableName()));
}

void TKVFileDataSetDlg::SchedulePreview() { previewTimer_->start(); }

void TKVFileDataSetDlg::ShowPreview(TTextFileDataset& file) {
  file.Open();
  QStringList header;
  for (int i = 0; i < file.FieldCount(); ++i) header << QStr(file.Fields(i).FieldName());
  sgPreview_->setColumnCount(file.FieldCount());
  sgPreview_->setHorizontalHeaderLabels(header);
  int row = 0;
  for (; !file.Eof() && row < kPreviewRows; file.Next(), ++row) {
    sgPreview_->insertRow(row);
    for (int i = 0; i < file.FieldCount(); ++i)
      sgPreview_->setItem(row, i, new QTableWidgetItem(QStr(file.Fields(i).AsString())));
  }
  file.Close();
}

void TKVFileDataSetDlg::RefreshPreview() {
  previewTimer_->stop();
  ++previewCount_;
  sgPreview_->clear();
  sgPreview_->setRowCount(0);
  sgPreview_->setColumnCount(0);
  lbPreviewError_->clear();
  const QString name = edFileName_->text().trimmed();
  if (name.isEmpty()) return;
  QTemporaryFile head;
  QString error;
  if (!CopyHead(QStr(DataSet().ResolvePath(StdStr(name))), head, error)) {
    lbPreviewError_->setText(error);
    return;
  }
  try {
    TKVTextDataSet scratch;
    StorePages(scratch);
    TTextFileDataset& file = scratch.TextFile();
    file.SetTableName(StdStr(head.fileName()));
    file.MaxFieldsWarn = static_cast<int32_t>(kPreviewBytes);
    ShowPreview(file);
  } catch (const std::exception& failure) {
    lbPreviewError_->setText(QStr(failure.what()));
  }
}

bool EditFileDataSet(TKVTextDataSet& dataSet, TJob& job, QWidget* parent) {
  TKVFileDataSetDlg form(dataSet, job, parent);
  return form.exec() == QDialog::Accepted;
}

}  // namespace kv
