#include "editors/FChartEditor.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <string>

#include "data/OracleDataSets.h"
#include "data/QueryDataSet.h"
#include "data/TableDataSets.h"
#include "data/TextDataSet.h"
#include "editors/DBLinkProForm.h"
#include "editors/DataSetDialogs.h"
#include "editors/FormHelpers.h"
#include "editors/FlowChartView.h"
#include "editors/JobProForm.h"
#include "editors/MapingForm.h"
#include "editors/PreviewImportForm.h"
#include "editors/QtText.h"
#include "editors/QtTranslation.h"
#include "editors/ScheduleForm.h"
#include "environment/CoreMessages.h"
#include "foundation/FileUtils.h"
#include "foundation/Format.h"
#include "foundation/Streams.h"
#include "foundation/UserInterface.h"
#include "jobs/Job.h"

namespace kv {

namespace {

constexpr int kShapeSize = 60;  // a new shape is 60 by 60 chart units
constexpr int kDragThreshold = 5;
constexpr int kZoomStep = 10, kZoomMax = 490, kZoomMin = 20;
constexpr int32_t kKindBackground = 0xC0C0C0;  // silver

struct TToolDef {
  const char* Name;
  const char* Caption;
};
constexpr TToolDef kTools[6] = {
    {"btnCreateTextDataSet", "Create &TextDataSet"},
    {"btnCreateQueryDataSet", "Create &Query DataSet"},
    {"btnCreateODBCDataSet", "Create &ODBC Table DataSet"},
    {"btnCreateFileDBDataSet", "Create &FielDB Table DataSet"},
    {"btnCreateOracleDataSet", "btnCreateOracleDataSet"},
    {"btnCreateLink", "Create &Link"},
};

// The picture of a dataset kind (also the tool button's icon): a page for
// the text file and the query, a cylinder for the tables, with a tag.
QPixmap KindImage(int kind) {
  static const char* const tags[6] = {"TXT", "SQL", "ODBC", "DB", "ORA", ""};
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::black, 1));
  if (kind == TFChartEditor::kLinkTool) {
    p.drawLine(5, 26, 24, 7);
    p.setBrush(Qt::black);
    p.drawPolygon(QPolygon({QPoint(27, 4), QPoint(18, 8), QPoint(23, 13)}));
    return pixmap;
  }
  if (kind <= dotQuery) {
    p.setBrush(kind == dotText ? QColor(0xFF, 0xFF, 0xF0) : QColor(0xE8, 0xF0, 0xFF));
    p.drawPolygon(QPolygon({QPoint(5, 1), QPoint(21, 1), QPoint(27, 7), QPoint(27, 30), QPoint(5, 30)}));
  } else {
    static const QColor colors[3] = {QColor(0x9C, 0xC8, 0xF0), QColor(0xB8, 0xE0, 0xA8), QColor(0xF0, 0xB0, 0xA0)};
    p.setBrush(colors[kind - dotODBC]);
    p.drawRect(4, 7, 24, 19);
    p.drawEllipse(4, 22, 24, 8);
    p.setPen(Qt::NoPen);
    p.drawRect(5, 8, 23, 18);
    p.setPen(QPen(Qt::black, 1));
    p.drawEllipse(4, 2, 24, 9);
  }
  QFont font;
  font.setPixelSize(kind == dotODBC ? 7 : 8);
  font.setBold(true);
  p.setFont(font);
  p.drawText(QRect(4, 12, 24, 14), Qt::AlignCenter, tags[kind]);
  return pixmap;
}

uint8_t NearestLinkedPoint(const TKVFcObject& shape, TFcPoint display) {
  const auto points = shape.LinkedPoints();
  uint8_t nearest = 0;
  int64_t best = -1;
  for (uint8_t i = 0; i < points.size(); ++i) {
    const int64_t dx = points[i].X - display.X, dy = points[i].Y - display.Y, d = dx * dx + dy * dy;
    if (best < 0 || d < best) best = d, nearest = i;
  }
  return nearest;
}

// The shape under a window point: its outline, else its bounding rectangle.
TKVFcObject* ShapeAt(const TKVCustomFlowChart& chart, QPoint p) {
  const TKVFcHitInfo hit = chart.GetHitTestAt(TFlowChartView::WindowPoint(p));
  return (hit.Has(htOnObject) || hit.Has(htByObject)) ? hit.Object : nullptr;
}

// The dataset dialog of the shape's kind on its dataset; whether it was confirmed.
bool EditDataSetOfKind(TKVFcObject& shape, TJob& job, QWidget* parent) {
  TKVCustomDataSet* d = shape.DataSet();
  switch (shape.DataSetObjType) {
    case dotText:
      if (auto* t = ObjCast<TKVTextDataSet>(d)) return EditFileDataSet(*t, job, parent);
      break;
    case dotQuery:
      if (auto* q = ObjCast<TKVQueryDataSet>(d)) return EditQueryDataSet(*q, job, parent);
      break;
    case dotODBC:
      if (auto* o = ObjCast<TKVODBCDataSet>(d)) return EditODBCDataSet(*o, job, parent);
      break;
    case dotFileDB:
      if (auto* f = ObjCast<TKVFileDBDataSet>(d)) return EditFileDBDataSet(*f, job, parent);
      break;
    case dotOracle:
      if (auto* r = ObjCast<TKVOracleDataSet>(d)) return EditOracleDataSet(*r, job, parent);
      break;
  }
  return false;
}

// A job renamed in the designer keeps its place in the job group under its new name.
void KeepGroupKey(TJob& job) {
  if (!JobGroup) return;
  const int index = JobGroup->IndexOfObject(&job);
  if (index >= 0 && JobGroup->Strings(index) != job.Name) JobGroup->SetString(index, job.Name);
}

bool MovedEnough(QPoint a, QPoint b) {
  return std::abs(a.x() - b.x()) > kDragThreshold || std::abs(a.y() - b.y()) > kDragThreshold;
}

}  // namespace

TFChartEditor::TFChartEditor(TJob& job, QWidget* parent) : QDialog(parent), job_(job), work_(std::make_unique<TJob>()) {
  work_->Assign(&job_);
  TKVFlowChart& chart = work_->GetDesignControl();
  chart.Options = FcOptionBit(fcoCanDelete) | FcOptionBit(fcoCanDrag) | FcOptionBit(fcoCanSelect) |
                  FcOptionBit(fcoHideSelection) | FcOptionBit(fcoDelOnClick);
  BuildForm();
  LanguageTanslate(*this);
  UpdateActions();
}

TFChartEditor::~TFChartEditor() {
  // The view refers to the working job's chart, which goes with work_.
  delete chartMain_;
  chartMain_ = nullptr;
}

TKVFlowChart& TFChartEditor::Chart() const { return work_->GetDesignControl(); }

// ---- Building ---------------------------------------------------------------------

void TFChartEditor::BuildForm() {
  setObjectName("FChartEditor");
  setWindowFlag(Qt::WindowMaximizeButtonHint);
  chartMain_ = new TFlowChartView(Chart(), this);
  chartMain_->setObjectName("chartMain");
  chartMain_->SetRubberBand(true);
  std::vector<QPixmap> images;
  for (int kind = 0; kind < kDataSetObjTypeCount; ++kind) images.push_back(KindImage(kind));
  chartMain_->SetImages(std::move(images));
  chartMain_->AcceptEnd = [this](TKVFcConnection&, TKVFcObject& shape, bool dest) {
    return !dest || AcceptsAsDest(shape);
  };
  connect(chartMain_, &TFlowChartView::ToolDragFinished, this, &TFChartEditor::ToolDragFinished);
  connect(chartMain_, &TFlowChartView::DragCancelled, this, &TFChartEditor::ReleaseTools);
  connect(chartMain_, &TFlowChartView::DoubleClicked, this, &TFChartEditor::DoubleClicked);
  connect(chartMain_, &TFlowChartView::PopupRequested, this, &TFChartEditor::ShowPopup);
  connect(chartMain_, &TFlowChartView::SelectionChanged, this, &TFChartEditor::UpdateActions);
  connect(chartMain_, &TFlowChartView::Changed, this, &TFChartEditor::UpdateActions);
  BuildActions();

  auto* layout = new QVBoxLayout(this);
  BuildMenus(*layout);
  layout->addWidget(BuildToolBar());
  layout->addWidget(chartMain_, 1);
  auto* ok = new QPushButton("Ok", this);
  ok->setObjectName("acOk");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &TFChartEditor::accept);
  auto* apply = SideButton(this, "acApply", "&Apply", this, &TFChartEditor::Apply);
  auto* cancel = SideButton(this, "btnCancel", "Cancel", this, &TFChartEditor::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(apply);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  resize(900, 640);
  chartMain_->setFocus();
}

QAction* TFChartEditor::NewAction(const char* name, const QString& caption, void (TFChartEditor::*slot)()) {
  auto* action = new QAction(caption, this);
  action->setObjectName(name);
  connect(action, &QAction::triggered, this, slot);
  addAction(action);
  return action;
}

void TFChartEditor::BuildActions() {
  acZoomIn_ = NewAction("acZoomIn", "Zoom &In", &TFChartEditor::ZoomIn);
  acZoomIn_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
  acZoomOut_ = NewAction("acZoomOut", "Zoom &Out", &TFChartEditor::ZoomOut);
  acZoomOut_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
  acDBLinkPro_ = NewAction("acDBLinkPro", "&DBLink property", &TFChartEditor::DBLinkPro);
  acDBLinkMaping_ = NewAction("acDBLinkMaping", "DBLink &maping", &TFChartEditor::DBLinkMaping);
  acValidate_ = NewAction("acValidate", "&Validate", &TFChartEditor::Validate);
  acJobPro_ = NewAction("acJobPro", "J&ob property", &TFChartEditor::JobPro);
  acJobSchedue_ = NewAction("acJobSchedue", "Job &schedue", &TFChartEditor::JobSchedule);
  acPreviewImportData_ = NewAction("acPreviewImportData", "P&review Import Data", &TFChartEditor::PreviewImportData);
  acDataSetPro_ = NewAction("acDataSetPro", "DataSet &Property", &TFChartEditor::EditSelected);
  miDelete_ = NewAction("miDelete", "&Delete", &TFChartEditor::DeleteSelection);
  miDelete_->setShortcut(QKeySequence(Qt::Key_Delete));
  iDelete_ = new QAction("&Delete", this);
  iDelete_->setObjectName("iDelete");
  connect(iDelete_, &QAction::triggered, this, &TFChartEditor::DeleteSelection);
  iEditDataSet_ = new QAction("&Edit DataSet", this);
  iEditDataSet_->setObjectName("iEditDataSet");
  connect(iEditDataSet_, &QAction::triggered, this, &TFChartEditor::EditSelected);
}

void TFChartEditor::BuildMenus(QVBoxLayout& layout) {
  auto* bar = new QMenuBar(this);
  QMenu* edit = bar->addMenu("&Edit");
  edit->setObjectName("miEdit");
  edit->addActions({miDelete_});
  edit->addSeparator();
  edit->addActions({acJobPro_, acJobSchedue_});
  edit->addSeparator();
  edit->addActions({acDBLinkPro_, acDBLinkMaping_, acDataSetPro_, acPreviewImportData_});
  edit->addSeparator();
  edit->addAction(acValidate_);
  QMenu* view = bar->addMenu("&View");
  view->setObjectName("miView");
  view->addActions({acZoomIn_, acZoomOut_});
  layout.setMenuBar(bar);

  popup_ = new QMenu(this);
  popup_->setObjectName("pmChart");
  popup_->addActions({iDelete_, iEditDataSet_});
  popup_->addSeparator();
  popup_->addActions({acDBLinkPro_, acDBLinkMaping_, acPreviewImportData_});
  popup_->addSeparator();
  popup_->addActions({acJobPro_, acJobSchedue_, acValidate_});
  popup_->addSeparator();
  popup_->addActions({acZoomIn_, acZoomOut_});
}

QWidget* TFChartEditor::BuildToolBar() {
  auto* bar = new QToolBar(this);
  bar->setObjectName("tbTools");
  bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  for (int tool = 0; tool < int(tools_.size()); ++tool) {
    auto* button = new QToolButton(bar);
    button->setObjectName(kTools[tool].Name);
    button->setText(kTools[tool].Caption);
    button->setIcon(QIcon(KindImage(tool)));
    button->setCheckable(true);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    connect(button, &QToolButton::toggled, this, [this, tool](bool down) { ToolToggled(tool, down); });
    tools_[size_t(tool)] = button;
    if (tool == kLinkTool) bar->addSeparator();
    bar->addWidget(button);
  }
  bar->addSeparator();
  bar->addActions({acZoomIn_, acZoomOut_, acValidate_});
  return bar;
}

// ---- Loading and writing back ----------------------------------------------------------

bool TFChartEditor::LoadFromJob() {
  setWindowTitle(QStr(Format(SJobDesignerFrmName.c_str(), job_.Name)));
  TKVFlowChart& chart = Chart();
  const std::string file = job_.GetSaveFileName();
  try {
    if (FileExists(file)) chart.LoadFromFile(file);
  } catch (const std::exception& e) {
    ShowError(e.what());
    return false;
  }
  chart.SetJob(work_.get());
  for (int i = 0; i < chart.GetObjectCount(); ++i) ApplyKindLook(*chart.GetObject(i));
  chartMain_->RefreshAll();
  UpdateActions();
  return true;
}

void TFChartEditor::ApplyKindLook(TKVFcObject& shape) {
  shape.ImageIndex = shape.DataSetObjType;
  shape.HorzImagePos = fchpCenter;
  shape.VertImagePos = fcvpCenter;
  shape.BkColor = kKindBackground;
}

void TFChartEditor::RecordPurposes(TKVCustomFlowChart& chart) {
  for (int i = 0; i < chart.GetObjectCount(); ++i) {
    if (TKVCustomDataSet* dataSet = chart.GetObject(i)->DataSet()) dataSet->Purpose = 0;
  }
  for (int i = 0; i < chart.GetConnectionCount(); ++i) {
    const TKVFcConnection& c = *chart.GetConnection(i);
    if (c.Source() && c.Source()->DataSet()) c.Source()->DataSet()->Purpose |= TablePurposeBit(ttSource);
    if (c.Dest() && c.Dest()->DataSet()) c.Dest()->DataSet()->Purpose |= TablePurposeBit(ttDest);
  }
}

void TFChartEditor::CopyDiagramInto(TJob& job) {
  TKVFlowChart& chart = Chart();
  RecordPurposes(chart);
  TMemoryStream bytes;
  chart.SaveToStream(bytes);
  bytes.Seek(0, soBeginning);
  job.GetDesignControl().LoadFromStream(bytes);
  job.LoadFromFlChart();
}

void TFChartEditor::RefreshWorkJob() {
  RecordPurposes(Chart());
  work_->LoadFromFlChart();
}

void TFChartEditor::Apply() {
  try {
    CopyDiagramInto(job_);
  } catch (const std::exception& e) {
    ShowError(e.what());
    return;
  }
  KeepGroupKey(job_);
  setWindowTitle(QStr(Format(SJobDesignerFrmName.c_str(), job_.Name)));
}

bool TFChartEditor::SaveJob() {
  chartMain_->CancelDrag();
  try {
    CopyDiagramInto(job_);
    Chart().SaveToFile(job_.GetSaveFileName());
  } catch (const std::exception& e) {
    ShowError(e.what());
    return false;
  }
  KeepGroupKey(job_);
  return true;
}

void TFChartEditor::accept() {
  if (SaveJob()) QDialog::accept();
}

void TFChartEditor::reject() {
  if (UserInterface().MessageDlg(SSureCloseJobDesigner.Text(), mtConfirmation, mbYesNo, mrNo) != mrYes) return;
  chartMain_->CancelDrag();
  QDialog::reject();
}

void TFChartEditor::keyPressEvent(QKeyEvent* event) {
  // Esc with a tool chosen puts the tool away rather than closing.
  if (event->key() == Qt::Key_Escape && downTool_ >= 0) {
    ReleaseTools();
    return;
  }
  QDialog::keyPressEvent(event);
}

// ---- Tools ----------------------------------------------------------------------------

void TFChartEditor::ToolToggled(int tool, bool down) {
  if (creating_) return;
  if (!down) {
    if (downTool_ == tool) {
      downTool_ = -1;
      chartMain_->SetTool(TFlowChartView::vtNone);
    }
    return;
  }
  creating_ = true;
  for (int other = 0; other < int(tools_.size()); ++other)
    if (other != tool) tools_[size_t(other)]->setChecked(false);
  creating_ = false;
  if (tool == kLinkTool && CreateLinkFromSelection()) {
    ReleaseTools();
    return;
  }
  if (tool != kLinkTool) Chart().ClearSelection();
  downTool_ = tool;
  chartMain_->SetTool(tool == kLinkTool ? TFlowChartView::vtLink : TFlowChartView::vtShape);
}

void TFChartEditor::ReleaseTools() {
  creating_ = true;
  for (QToolButton* button : tools_) button->setChecked(false);
  creating_ = false;
  downTool_ = -1;
  chartMain_->SetTool(TFlowChartView::vtNone);
}

void TFChartEditor::ToolDragFinished(QPoint start, QPoint end) {
  const int tool = downTool_;
  ReleaseTools();
  if (tool < 0 || !MovedEnough(start, end)) return;
  if (tool == kLinkTool)
    CreateLink(start, end);
  else
    CreateShape(static_cast<TDataSetObjType>(tool), start, end);
  UpdateActions();
}

void TFChartEditor::CreateShape(TDataSetObjType kind, QPoint start, QPoint end) {
  TKVFlowChart& chart = Chart();
  const QPoint corner(std::min(start.x(), end.x()), std::min(start.y(), end.y()));
  const TFcPoint at = chart.UnscalePoint(chart.ChartPoint(TFlowChartView::WindowPoint(corner)));
  TKVFcObject* shape = chart.CreateObject(at.X, at.Y, kShapeSize, kShapeSize, fcsRectangle, kind);
  ApplyKindLook(*shape);
  if (TKVCustomDataSet* dataSet = shape->DataSet()) {
    dataSet->Name += std::to_string(chart.GetObjectCount());
    shape->SetText(dataSet->Name);
  }
  chart.Select(shape);
  chartMain_->RefreshAll();
}

bool TFChartEditor::AcceptsAsDest(const TKVFcObject& dest) const {
  if (dest.DataSetObjType != dotText && dest.DataSetObjType != dotQuery) return true;
  ShowError(Format(EDataSetCanotBeDest.c_str(), dest.DataSet() ? dest.DataSet()->Name : dest.Text()));
  return false;
}

void TFChartEditor::CreateLink(QPoint start, QPoint end) {
  TKVFlowChart& chart = Chart();
  TKVFcObject* source = ShapeAt(chart, start);
  TKVFcObject* dest = ShapeAt(chart, end);
  // A link needs two shapes; one that reads and writes the same dataset is not made.
  if (!source || !dest || source == dest) return;
  if (!AcceptsAsDest(*dest)) return;
  Join(*source, *dest, NearestLinkedPoint(*source, chart.ChartPoint(TFlowChartView::WindowPoint(start))),
       NearestLinkedPoint(*dest, chart.ChartPoint(TFlowChartView::WindowPoint(end))));
}

bool TFChartEditor::CreateLinkFromSelection() {
  TKVFlowChart& chart = Chart();
  if (chart.GetSelectedObjectCount() != 2 || chart.GetSelectedConnectionCount() != 0) return false;
  // The destination must be able to take records, as when a link is drawn.
  if (!AcceptsAsDest(*chart.GetSelectedObject(1))) return true;
  TKVFcConnection* c = Join(*chart.GetSelectedObject(0), *chart.GetSelectedObject(1), 0, 0);
  c->SetStyle(fclStraight);
  UpdateActions();
  return true;
}

TKVFcConnection* TFChartEditor::Join(TKVFcObject& source, TKVFcObject& dest, uint8_t pointSource, uint8_t pointDest) {
  TKVFlowChart& chart = Chart();
  TKVFcConnection* c = chart.CreateConnection(&source, &dest, pointSource, pointDest);
  if (auto* link = ObjCast<TDBLink>(c->DBLink())) {
    link->Name += std::to_string(chart.GetConnectionCount());
    c->SetText(link->Name);
  }
  chart.Select(c);
  chartMain_->RefreshAll();
  return c;
}

// ---- Editing items ----------------------------------------------------------------------

void TFChartEditor::DoubleClicked(QPoint pos) {
  TKVFlowChart& chart = Chart();
  const TKVFcHitInfo hit = chart.GetHitTestAt(TFlowChartView::WindowPoint(pos));
  if ((hit.Has(htByObject) || hit.Has(htOnObject)) && hit.Object && chart.GetSelectedObjectCount() > 0) {
    EditDataSet(*hit.Object);
    return;
  }
  const bool onLine = hit.Has(htOnConnection) || hit.Has(htOnConLabel) || hit.Has(htOnArrowSrc) || hit.Has(htOnArrowDst);
  if (onLine && hit.Connection && chart.GetSelectedConnectionCount() > 0) EditConnection(*hit.Connection);
}

void TFChartEditor::EditSelected() {
  TKVFlowChart& chart = Chart();
  if (chart.GetSelectedObjectCount() > 0)
    EditDataSet(*chart.GetSelectedObject(0));
  else if (chart.GetSelectedConnectionCount() > 0)
    EditConnection(*chart.GetSelectedConnection(0));
}

void TFChartEditor::EditDataSet(TKVFcObject& shape) {
  if (!shape.DataSet()) return;
  RefreshWorkJob();
  if (EditDataSetOfKind(shape, *work_, this)) shape.SetText(shape.DataSet()->Name);
  UpdateActions();
}

void TFChartEditor::EditConnection(TKVFcConnection& connection) {
  auto* link = ObjCast<TDBLink>(connection.DBLink());
  if (!link) return;
  RefreshWorkJob();
  if (EditDBLinkPro(*link, *work_, this)) connection.SetText(link->Name);
  UpdateActions();
}

TDBLink* TFChartEditor::SelectedLink() {
  TKVFlowChart& chart = Chart();
  if (chart.GetSelectedConnectionCount() == 0) return nullptr;
  auto* link = ObjCast<TDBLink>(chart.GetSelectedConnection(0)->DBLink());
  if (link && !link->Job) link->Job = work_.get();
  return link;
}

void TFChartEditor::DBLinkPro() {
  if (Chart().GetSelectedConnectionCount() > 0) EditConnection(*Chart().GetSelectedConnection(0));
}

void TFChartEditor::DBLinkMaping() {
  if (TDBLink* link = SelectedLink()) EditDBLinkMaping(*link, this);
}

void TFChartEditor::PreviewImportData() {
  if (Chart().GetSelectedConnectionCount() == 0) return;
  RefreshWorkJob();
  if (TDBLink* link = SelectedLink()) PreImpData(*link, *work_, this);
}

void TFChartEditor::Validate() {
  bool ok = false;
  try {
    RefreshWorkJob();
    ok = work_->Validate();
  } catch (const std::exception& e) {
    work_->AddLog(ltError, e.what());
  }
  if (ok)
    ShowMessage(SValidateOk.Text());
  else
    ShowError(SValidateError2.Text());
}

void TFChartEditor::JobPro() {
  if (auto* job = ObjCast<TJob>(Chart().Job())) EditJobPro(*job, this, &job_);
}

void TFChartEditor::JobSchedule() {
  auto* job = ObjCast<TJob>(Chart().Job());
  if (job && job->ScheduleMode) EditSchedule(*job->ScheduleMode, this);
}

// ---- Zoom, deleting, the pop-up menu ----------------------------------------------------

void TFChartEditor::ZoomIn() { Zoom(kZoomStep); }
void TFChartEditor::ZoomOut() { Zoom(-kZoomStep); }

void TFChartEditor::Zoom(int delta) {
  TKVFlowChart& chart = Chart();
  chart.ClearSelection();
  const int zoom = std::clamp(chart.EffectiveZoom() + delta, kZoomMin, kZoomMax);
  chartMain_->SetZoom(uint16_t(zoom));
  UpdateActions();
}

void TFChartEditor::DeleteSelection() {
  if (Chart().SelCount() == 0) return;
  chartMain_->CancelDrag();
  Chart().DeleteSelection();
  chartMain_->RefreshAll();
  UpdateActions();
}

void TFChartEditor::ShowPopup(QPoint global) {
  UpdateActions();
  popup_->popup(global);
}

void TFChartEditor::UpdateActions() {
  TKVFlowChart& chart = Chart();
  const bool any = chart.SelCount() > 0;
  const bool link = chart.GetSelectedConnectionCount() > 0;
  miDelete_->setEnabled(any);
  iDelete_->setEnabled(any);
  iEditDataSet_->setEnabled(any);
  acDataSetPro_->setEnabled(any);
  acDBLinkPro_->setEnabled(link);
  acDBLinkMaping_->setEnabled(link);
  acPreviewImportData_->setEnabled(link);
  const int zoom = chart.EffectiveZoom();
  acZoomIn_->setEnabled(zoom < kZoomMax);
  acZoomOut_->setEnabled(zoom > kZoomMin);
}

bool DesignJob(TJob& job, QWidget* parent) {
  TFChartEditor editor(job, parent);
  if (!editor.LoadFromJob()) return false;
  return editor.exec() == QDialog::Accepted;
}

}  // namespace kv
