#include "editors/PreviewImportForm.h"

#include <QBrush>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <atomic>
#include <string>
#include <vector>

#include "data/CustomDataSet.h"
#include "editors/FormHelpers.h"
#include "editors/QtText.h"
#include "editors/QtTranslation.h"
#include "environment/CoreMessages.h"
#include "environment/LanguageTranslate.h"
#include "expression/ThreadExp.h"
#include "foundation/Exceptions.h"
#include "foundation/Format.h"
#include "foundation/Threads.h"
#include "foundation/UserInterface.h"
#include "jobs/DBLink.h"
#include "jobs/Job.h"

namespace kv {

namespace {

constexpr int kMaxShowRows = 100000;
constexpr int kPollMs = 50;

// One grid cell as the walk computed it.
struct TPreviewCell {
  enum TKind : uint8_t { ckValue, ckNull, ckError };
  TKind Kind = ckNull;
  std::string Text;
};
using TPreviewRow = std::vector<TPreviewCell>;

// The translated condition, or null for an empty text; a text that does not
// translate raises `err` filled with the link's name and the reason.
std::unique_ptr<TExpression> CompileCondition(const std::string& text, const TMessage& err, const std::string& link) {
  if (QStr(text).trimmed().isEmpty()) return nullptr;
  std::unique_ptr<TExpression> exp;
  if (!ValidateExp(text, exp) || !exp) throw Exception(Format(err.c_str(), link, GetExpErrorMsg()));
  return exp;
}

// One evaluation of a translated condition, read as a boolean.
bool Holds(TExpression& exp) {
  exp.Evaluate(NextStamp(exp.SyncFlag));
  return exp.GetBoolean();
}

}  // namespace

// The walk over the source of one link, on a thread of its own. Built on
// the GUI thread from copies of what it needs of the link's settings; while
// it runs only the worker touches the link's variables and source dataset.
// Its results are read by the GUI thread once Finished() holds.
class TPreviewWalk final : public TThread {
public:
  TPreviewWalk(TDBLink& link, int showRows) : TThread("kv-preview"), link_(link), showRows_(showRows) {
    const TPlainStringList& mappings = link.Mappings();
    for (int i = 0; i < mappings.Count(); ++i)
      expressions_.push_back(StdStr(QStr(mappings.ValueFromIndex(i)).trimmed()));
    start_ = link.StartExp;
    stop_ = link.StopExp;
    filter_ = link.FilterExp;
    name_ = link.Name;
  }
  ~TPreviewWalk() override { TerminateAndWait(); }

  int64_t Read() const { return read_.load(); }
  int64_t Shown() const { return shown_.load(); }
  // Valid once Finished().
  const std::vector<TPreviewRow>& Rows() const { return rows_; }
  const std::string& Error() const { return error_; }

protected:
  void Execute() override {
    TKVCustomDataSet* source = link_.SourceDataSet();
    try {
      link_.SetAllVarList();
      if (!source) throw Exception(Translate("PreviewImport_NoSource", "The DB link has no source dataset."));
      source->BeforeImport();
      Walk(*source);
    } catch (const std::exception& e) {
      error_ = e.what();
    }
    // The trees refer to the source's variables: gone before the source closes.
    start_exp_.reset();
    stop_exp_.reset();
    filter_exp_.reset();
    if (source) {
      try {
        source->CloseSession();
      } catch (const std::exception& e) {
        if (error_.empty()) error_ = e.what();
      }
    }
  }

private:
  void Walk(TKVCustomDataSet& source) {
    start_exp_ = CompileCondition(start_, SCheckStartExpErr, name_);
    stop_exp_ = CompileCondition(stop_, SCheckStopExpErr, name_);
    filter_exp_ = CompileCondition(filter_, SCheckFilterExpErr, name_);
    bool started = !start_exp_;
    source.GoFirst();
    for (; source.NeedMore() && !Terminated(); source.GoNext()) {
      read_.fetch_add(1);
      if (!started) started = Holds(*start_exp_);
      if (!started) continue;
      if (stop_exp_ && Holds(*stop_exp_)) break;
      if (filter_exp_ && !Holds(*filter_exp_)) continue;
      rows_.push_back(Values(source));
      if (shown_.fetch_add(1) + 1 >= showRows_) break;
    }
  }

  TPreviewRow Values(TKVCustomDataSet& source) const {
    TPreviewRow row;
    row.reserve(expressions_.size());
    for (const std::string& exp : expressions_) {
      TPreviewCell cell;
      if (!exp.empty()) {
        try {
          const TVariant value = source.GetFieldValue(TVariant(exp));
          if (!value.IsNullOrEmpty()) cell = {TPreviewCell::ckValue, value.AsString()};
        } catch (const std::exception& e) {
          cell = {TPreviewCell::ckError, e.what()};
        }
      }
      row.push_back(std::move(cell));
    }
    return row;
  }

  TDBLink& link_;
  const int64_t showRows_;
  std::vector<std::string> expressions_;
  std::string start_, stop_, filter_, name_;
  std::unique_ptr<TExpression> start_exp_, stop_exp_, filter_exp_;
  std::atomic<int64_t> read_{0};
  std::atomic<int64_t> shown_{0};
  std::vector<TPreviewRow> rows_;
  std::string error_;
};

TPreviewImportDataForm::TPreviewImportDataForm(TDBLink& link, TJob& job, QWidget* parent)
    : QDialog(parent), link_(link) {
  if (!link_.Job) link_.Job = &job;
  BuildForm();
  LanguageTanslate(*this);
  setWindowTitle(QStr(Format(SDBLinkImportData.c_str(), link_.Name)));
  FillHeader();
}

TPreviewImportDataForm::~TPreviewImportDataForm() { CancelWalk(); }

void TPreviewImportDataForm::BuildForm() {
  setObjectName("PreviewImportDataForm");
  setWindowTitle("Preview Import Data");
  seShowRows_ = NamedSpin(this, "seShowRows", 1, kMaxShowRows);
  seShowRows_->setValue(kDefaultShowRows);
  sgExpData_ = new QTableWidget(this);
  sgExpData_->setObjectName("sgExpData");
  sgExpData_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  sgExpData_->horizontalHeader()->hide();
  sgExpData_->setWordWrap(false);
  lbStatus_ = new QLabel(this);
  lbStatus_->setObjectName("lbStatus");
  acOpen_ = SideButton(this, "acOpen", "&Open", this, &TPreviewImportDataForm::OpenPreview);
  auto* close = new QPushButton("&Close", this);
  close->setObjectName("btnClose");
  close->setDefault(true);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  poll_ = new QTimer(this);
  poll_->setInterval(kPollMs);
  connect(poll_, &QTimer::timeout, this, &TPreviewImportDataForm::Poll);

  auto* top = new QHBoxLayout;
  top->addWidget(NamedLabel("lbShowRows", "Show rows", seShowRows_, this));
  top->addWidget(seShowRows_);
  top->addStretch(1);
  top->addWidget(acOpen_);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(lbStatus_, 1);
  bottom->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(sgExpData_, 1);
  layout->addLayout(bottom);
  resize(640, 420);
}

void TPreviewImportDataForm::FillHeader() {
  const TPlainStringList& mappings = link_.Mappings();
  sgExpData_->clear();
  sgExpData_->setColumnCount(mappings.Count());
  sgExpData_->setRowCount(1);
  QFont bold = sgExpData_->font();
  bold.setBold(true);
  for (int column = 0; column < mappings.Count(); ++column) {
    auto* item = new QTableWidgetItem(QStr(mappings.Names(column)).trimmed());
    item->setFont(bold);
    item->setBackground(palette().button());
    sgExpData_->setItem(0, column, item);
  }
  sgExpData_->setVerticalHeaderLabels({QString()});
}

void TPreviewImportDataForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (opened_) return;
  opened_ = true;
  QTimer::singleShot(0, this, &TPreviewImportDataForm::OpenPreview);
}

bool TPreviewImportDataForm::Walking() const { return walk_ && !walk_->Finished(); }

void TPreviewImportDataForm::OpenPreview() {
  opened_ = true;
  if (Walking()) return;
  walk_.reset();
  FillHeader();
  if (link_.IsRunning() || link_.Thread()) {
    const std::string text =
        Format(Translate("PreviewImport_LinkRunning", "The DB link %s is running; preview it once it has stopped.")
                   .c_str(),
               link_.Name);
    lbStatus_->setText(QStr(text));
    ShowError(text);
    return;
  }
  walk_ = std::make_unique<TPreviewWalk>(link_, seShowRows_->value());
  SetControlsWalking(true);
  walk_->Start();
  poll_->start();
  Poll();
}

void TPreviewImportDataForm::SetControlsWalking(bool walking) {
  acOpen_->setEnabled(!walking);
  seShowRows_->setEnabled(!walking);
  if (walking) lbStatus_->setText(QStr(Translate("PreviewImport_Reading", "Reading the source...")));
}

void TPreviewImportDataForm::Poll() {
  if (!walk_) return poll_->stop();
  if (!walk_->Finished()) {
    lbStatus_->setText(QStr(Format(Translate("PreviewImport_Progress", "Reading the source: %d records read, %d shown")
                                       .c_str(),
                                   walk_->Read(), walk_->Shown())));
    return;
  }
  poll_->stop();
  ShowResult();
}

void TPreviewImportDataForm::ShowResult() {
  const std::vector<TPreviewRow>& rows = walk_->Rows();
  sgExpData_->setRowCount(static_cast<int>(rows.size()) + 1);
  QStringList numbers{QString()};  // the header row has none; the rows shown count from 1
  for (size_t r = 1; r <= rows.size(); ++r) numbers << QString::number(r);
  sgExpData_->setVerticalHeaderLabels(numbers);
  const QBrush grey = palette().brush(QPalette::Disabled, QPalette::Text);
  const QString null = QStr(Translate("PreviewImport_Null", "<Null>"));
  for (size_t r = 0; r < rows.size(); ++r) {
    for (size_t c = 0; c < rows[r].size() && c < static_cast<size_t>(sgExpData_->columnCount()); ++c) {
      const TPreviewCell& cell = rows[r][c];
      auto* item = new QTableWidgetItem(cell.Kind == TPreviewCell::ckNull ? null : QStr(cell.Text));
      if (cell.Kind == TPreviewCell::ckNull) item->setForeground(grey);
      if (cell.Kind == TPreviewCell::ckError) {
        item->setForeground(Qt::red);
        item->setToolTip(QStr(cell.Text));
      }
      sgExpData_->setItem(static_cast<int>(r) + 1, static_cast<int>(c), item);
    }
  }
  sgExpData_->resizeColumnsToContents();
  SetControlsWalking(false);
  const std::string error = walk_->Error();
  lbStatus_->setText(
      error.empty()
          ? QStr(Format(Translate("PreviewImport_Done", "%d records read, %d shown").c_str(), walk_->Read(),
                        walk_->Shown()))
          : QStr(error));
  emit WalkFinished();
  if (!error.empty()) ShowError(error);
}

void TPreviewImportDataForm::StopWalk() {
  if (!walk_) return;
  walk_->TerminateAndWait();
  if (poll_->isActive()) Poll();
}

void TPreviewImportDataForm::CancelWalk() {
  poll_->stop();
  if (walk_) walk_->TerminateAndWait();
  SetControlsWalking(false);
}

void TPreviewImportDataForm::accept() {
  CancelWalk();
  QDialog::accept();
}

void TPreviewImportDataForm::reject() {
  CancelWalk();
  QDialog::reject();
}

bool PreImpData(TDBLink& link, TJob& job, QWidget* parent) {
  TPreviewImportDataForm form(link, job, parent);
  return form.exec() == QDialog::Accepted;
}

}  // namespace kv
