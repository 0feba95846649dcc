#include "editors/MapingForm.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "data/CustomDataSet.h"
#include "data/TableDataSets.h"
#include "editors/AutoMatchForm.h"
#include "editors/ExpForm.h"
#include "editors/FieldDefGrid.h"
#include "editors/FormHelpers.h"
#include "editors/QtText.h"
#include "editors/QtTranslation.h"
#include "environment/CoreMessages.h"
#include "environment/LanguageTranslate.h"
#include "expression/ThreadExp.h"
#include "foundation/Format.h"
#include "foundation/UserInterface.h"

namespace kv {

namespace {

constexpr TMatchModes Bit(TMatchMode mode) { return static_cast<TMatchModes>(1u << mode); }

// Whether `c` may continue a name in an expression ("S.ID" is a name and
// so is "S.IDX").
bool NameChar(QChar c) { return c.isLetterOrNumber() || c == '_' || c == '.'; }

// Whether `expression` mentions `reference` (letter case aside) as a whole
// name: "S.ID" is in "Upper(s.id)" and in "S.ID+1", but not in "S.IDX".
bool MentionsReference(const QString& expression, const QString& reference) {
  if (reference.isEmpty()) return false;
  for (qsizetype at = expression.indexOf(reference, 0, Qt::CaseInsensitive); at >= 0;
       at = expression.indexOf(reference, at + 1, Qt::CaseInsensitive)) {
    const qsizetype end = at + reference.size();
    const bool startsName = at == 0 || !NameChar(expression[at - 1]);
    const bool endsName = end == expression.size() || !NameChar(expression[end]);
    if (startsName && endsName) return true;
  }
  return false;
}

// A cell the user may not edit.
QTableWidgetItem* FixedItem(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  return item;
}

// The dataset's field names in field-definition order.
std::vector<std::string> FieldNames(const TKVCustomDataSet* dataSet) {
  std::vector<std::string> names;
  if (!dataSet || !dataSet->FieldDefs) return names;
  for (int i = 0; i < dataSet->FieldDefs->Count(); ++i)
    if (const TKVFieldDef* def = dataSet->FieldDefs->GetObj(i)) names.push_back(def->Name);
  return names;
}

// The first mapping line for `field`, found as a run finds it: the line's
// name with the blanks around it removed, letter case aside. -1 when none.
int MappingLineOf(const TPlainStringList& mappings, const std::string& field) {
  const QString name = QStr(field);
  for (int i = 0; i < mappings.Count(); ++i)
    if (QStr(mappings.Names(i)).trimmed().compare(name, Qt::CaseInsensitive) == 0) return i;
  return -1;
}

// The index definitions that mark key fields: a table dataset's only.
const TKVIndexDefs* KeyIndexes(const TKVCustomDataSet* dataSet) {
  const auto* table = ObjCast<TKVCustomTableDataSet>(dataSet);
  return table ? table->IndexDefs.get() : nullptr;
}

// Makes sure the dataset knows its fields: a dataset without stored field
// definitions is opened once to learn them (a table still to be created is
// not). False, after telling the user why, when it cannot be opened.
bool LearnFields(TKVCustomDataSet* dataSet) {
  if (!dataSet || (dataSet->FieldDefs && dataSet->FieldDefs->Count() > 0)) return true;
  if (dataSet->ClassType() == TKVCustomDataSet::StaticClass()) return true;  // a link's blank placeholder
  const auto* table = ObjCast<TKVCustomTableDataSet>(dataSet);
  if (table && table->NewTable) return true;
  try {
    TDataSet* data = dataSet->GetDataset();
    if (!data->Active()) {
      data->Open();
      dataSet->CloseSession();
    }
    return true;
  } catch (const std::exception& e) {
    ShowError(Format(Translate("MapingFieldsUnreadable", "The fields of %s cannot be read: %s").c_str(),
                     dataSet->Name, std::string(e.what())));
    return false;
  }
}

}  // namespace

// ---- TDataSetGrid --------------------------------------------------------------------

TDataSetGrid::TDataSetGrid(bool dragSource, QWidget* parent) : QTableWidget(parent), dragSource_(dragSource) {
  verticalHeader()->hide();
  horizontalHeader()->setStretchLastSection(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setDragEnabled(false);
}

int TDataSetGrid::RowAt(const QPoint& pos) const {
  if (!viewport()->rect().contains(pos)) return -1;
  return rowAt(pos.y());
}

void TDataSetGrid::mousePressEvent(QMouseEvent* event) {
  QTableWidget::mousePressEvent(event);
  if (!dragSource_ || event->button() != Qt::LeftButton) return;
  pressedRow_ = RowAt(event->position().toPoint());
  pressedAt_ = event->position().toPoint();
  dragging_ = false;
}

void TDataSetGrid::mouseMoveEvent(QMouseEvent* event) {
  if (pressedRow_ < 0) return QTableWidget::mouseMoveEvent(event);
  const QPoint pos = event->position().toPoint();
  if (!dragging_ && (pos - pressedAt_).manhattanLength() < QApplication::startDragDistance()) return;
  if (!dragging_) viewport()->setCursor(Qt::DragLinkCursor);
  dragging_ = true;
  emit FieldDragMoved(pressedRow_, viewport()->mapToGlobal(pos));
}

void TDataSetGrid::mouseReleaseEvent(QMouseEvent* event) {
  const int row = pressedRow_;
  const bool dragged = dragging_;
  pressedRow_ = -1;
  dragging_ = false;
  if (dragged) viewport()->unsetCursor();
  QTableWidget::mouseReleaseEvent(event);
  if (row < 0 || event->button() != Qt::LeftButton) return;
  emit FieldDragEnded();
  emit FieldDropped(row, viewport()->mapToGlobal(event->position().toPoint()));
}

// ---- TDataSetPanel -------------------------------------------------------------------

TDataSetPanel::TDataSetPanel(const char* name, bool dragSource, QWidget* parent)
    : QFrame(parent), caption_(new QLabel(this)), grid_(new TDataSetGrid(dragSource, this)) {
  setObjectName(name);
  setFrameShape(QFrame::StyledPanel);
  setAutoFillBackground(true);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);  // as tall as its rows allow
  caption_->setAlignment(Qt::AlignCenter);
  QFont bold = caption_->font();
  bold.setBold(true);
  caption_->setFont(bold);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(caption_);
  layout->addWidget(grid_, 100);  // the grid grows up to its rows' height first
  layout->addStretch(1);
}

QSize TDataSetPanel::sizeHint() const {
  QSize size = QFrame::sizeHint();
  if (maximumHeight() < QWIDGETSIZE_MAX) size.setHeight(maximumHeight());
  return size;
}

void TDataSetPanel::SetCaption(const QString& caption) { caption_->setText(caption); }

QString TDataSetPanel::Caption() const { return caption_->text(); }

void TDataSetPanel::FitToRows() {
  const int rows = grid_->verticalHeader()->defaultSectionSize() * grid_->rowCount();
  const int gridHeight = grid_->horizontalHeader()->sizeHint().height() + rows + 2 * grid_->frameWidth() + 2;
  grid_->setMaximumHeight(gridHeight);
  const QMargins margins = layout()->contentsMargins();
  setMaximumHeight(gridHeight + caption_->sizeHint().height() + layout()->spacing() + margins.top() +
                   margins.bottom() + 2 * frameWidth());
}

// ---- TWorkArea -----------------------------------------------------------------------

TWorkArea::TWorkArea(const std::vector<TFieldLink>& links, QWidget* parent)
    : QWidget(parent),
      links_(links),
      source_(new TDataSetPanel("pnlSource", true, this)),
      dest_(new TDataSetPanel("pnlDest", false, this)) {
  setObjectName("WorkArea");
  setAutoFillBackground(true);
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(source_, 2, Qt::AlignTop);
  layout->addSpacing(fontMetrics().horizontalAdvance(QString(12, QChar('M'))));
  layout->addWidget(dest_, 3, Qt::AlignTop);
  Watch(*source_);
  Watch(*dest_);
}

void TWorkArea::Watch(TDataSetPanel& panel) {
  panel.installEventFilter(this);
  panel.Grid().viewport()->installEventFilter(this);
  connect(panel.Grid().verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { update(); });
}

bool TWorkArea::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize || event->type() == QEvent::Move) update();
  return QWidget::eventFilter(watched, event);
}

QPoint TWorkArea::Anchor(const TDataSetPanel& panel, int row, bool rightEdge) const {
  const TDataSetGrid& grid = panel.Grid();
  const QWidget* view = grid.viewport();
  const int y = std::clamp(grid.rowViewportPosition(row) + grid.rowHeight(row) / 2, 0, std::max(0, view->height() - 1));
  const QPoint gridEdge = grid.mapTo(this, QPoint(rightEdge ? grid.width() : 0, 0));
  return QPoint(gridEdge.x(), view->mapTo(this, QPoint(0, y)).y());
}

QPoint TWorkArea::SourceAnchor(int row) const { return Anchor(*source_, row, true); }

QPoint TWorkArea::DestAnchor(int row) const { return Anchor(*dest_, row, false); }

void TWorkArea::ShowDragLine(int row, const QPoint& to) {
  dragRow_ = row;
  dragTo_ = to;
  update();
}

void TWorkArea::HideDragLine() {
  dragRow_ = -1;
  update();
}

void TWorkArea::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QPen pen(QColor(0, 90, 200), 1.5);
  painter.setPen(pen);
  for (const TFieldLink& link : links_) {
    const QPoint from = SourceAnchor(link.SourceRow);
    const QPoint to = DestAnchor(link.DestRow);
    painter.drawLine(from, to);
    painter.drawEllipse(from, 3, 3);
    painter.drawEllipse(to, 3, 3);
  }
  if (dragRow_ >= 0) {
    pen.setStyle(Qt::DashLine);
    painter.setPen(pen);
    painter.drawLine(SourceAnchor(dragRow_), dragTo_);
  }
}

// ---- TKVMapingForm -------------------------------------------------------------------

TKVMapingForm::TKVMapingForm(TDBLink& link, QWidget* parent)
    : QDialog(parent), link_(link), working_(std::make_unique<TDBLink>()) {
  BuildForm();
  LanguageTanslate(*this);
  LoadLink();
}

TKVMapingForm::~TKVMapingForm() {
  // A cell editor still open commits its text while the window goes away:
  // by then the working link is gone, so the grids report to nobody.
  workArea_->DestPanel().Grid().disconnect(this);
  workArea_->SourcePanel().Grid().disconnect(this);
}

void TKVMapingForm::BuildForm() {
  setObjectName("KVMapingForm");
  setWindowTitle("Fields Mapping");
  expForm_ = new TExpForm(this);
  workArea_ = new TWorkArea(links_, this);
  TDataSetGrid& source = workArea_->SourcePanel().Grid();
  source.setObjectName("sgdSource");
  source.setColumnCount(1);
  source.setHorizontalHeaderLabels({"Source field"});
  source.setEditTriggers(QAbstractItemView::NoEditTriggers);
  TDataSetGrid& dest = workArea_->DestPanel().Grid();
  dest.setObjectName("sgdDest");
  dest.setColumnCount(2);
  dest.setHorizontalHeaderLabels({"Dest value expression", "Dest field"});
  dest.setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed |
                       QAbstractItemView::SelectedClicked);
  dest.horizontalHeader()->setStretchLastSection(false);
  dest.horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  connect(&dest, &QTableWidget::cellChanged, this, &TKVMapingForm::DestCellChanged);
  connect(&dest, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) {
    if (column == 0) EditExpression(row);
  });
  connect(&source, &TDataSetGrid::FieldDragMoved, this, &TKVMapingForm::DragMoved);
  connect(&source, &TDataSetGrid::FieldDropped, this, &TKVMapingForm::Dropped);
  connect(&source, &TDataSetGrid::FieldDragEnded, workArea_, &TWorkArea::HideDragLine);

  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->addWidget(workArea_);
  splitter->addWidget(BuildFieldDefPages());
  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 2);
  splitter->setSizes({600, 400});
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(splitter, 1);
  layout->addLayout(BuildButtons());
  resize(760, 560);
}

QWidget* TKVMapingForm::BuildFieldDefPages() {
  fieldDefPages_ = new QTabWidget(this);
  fieldDefPages_->setObjectName("pgcFieldDef");
  auto page = [this](const char* pageName, const char* gridName, const QString& caption, TFieldDefGrid*& grid) {
    auto* tab = new QWidget;
    tab->setObjectName(pageName);
    grid = new TFieldDefGrid(tab, gridName, true);
    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(grid);
    fieldDefPages_->addTab(tab, caption);
  };
  page("tshSourFieldDef", "sgdSourFieldDef", "Source Field Define", sgdSourFieldDef_);
  page("tshDestFieldDef", "sgdDestFieldDef", "Dest Field Define", sgdDestFieldDef_);
  return fieldDefPages_;
}

QHBoxLayout* TKVMapingForm::BuildButtons() {
  auto* match = SideButton(this, "acAutoMatch", "&Match fields", this, &TKVMapingForm::AutoMatch);
  auto* apply = SideButton(this, "acApply", "&Apply", this, &TKVMapingForm::Apply);
  QHBoxLayout* buttons = OkCancelRow(*this);
  buttons->insertWidget(0, match);
  buttons->addWidget(apply);
  return buttons;
}

// ---- Loading ----

void TKVMapingForm::LoadLink() {
  working_->Assign(&link_);
  working_->Job = link_.Job;  // relative file names and the job's variables
  setWindowTitle(QStr(Format(SKVMapingFormName.c_str(), link_.Name)));
  TKVCustomDataSet* source = working_->SourceDataSet();
  TKVCustomDataSet* dest = working_->DestDataSet();
  workArea_->SourcePanel().SetCaption(source ? QStr(source->Name) : QString());
  workArea_->DestPanel().SetCaption(dest ? QStr(dest->Name) : QString());
  LearnFields(source);
  const bool destRead = LearnFields(dest);
  loading_ = true;
  LoadFieldNames();
  destFieldsKnown_ = destRead && DestRowCount() > 0;
  LoadExpressions();
  loading_ = false;
  DrawLinks();
  sgdSourFieldDef_->Load(source ? source->FieldDefs.get() : nullptr, KeyIndexes(source));
  sgdDestFieldDef_->Load(dest ? dest->FieldDefs.get() : nullptr, KeyIndexes(dest));
}

void TKVMapingForm::LoadFieldNames() {
  TDataSetGrid& source = workArea_->SourcePanel().Grid();
  const std::vector<std::string> sourceNames = FieldNames(working_->SourceDataSet());
  source.setRowCount(static_cast<int>(sourceNames.size()));
  for (int row = 0; row < source.rowCount(); ++row)
    source.setItem(row, 0, FixedItem(QStr(sourceNames[static_cast<size_t>(row)])));
  TDataSetGrid& dest = workArea_->DestPanel().Grid();
  const std::vector<std::string> destNames = FieldNames(working_->DestDataSet());
  dest.setRowCount(static_cast<int>(destNames.size()));
  for (int row = 0; row < dest.rowCount(); ++row) {
    dest.setItem(row, 0, new QTableWidgetItem);
    dest.setItem(row, 1, FixedItem(QStr(destNames[static_cast<size_t>(row)])));
  }
  workArea_->SourcePanel().FitToRows();
  workArea_->DestPanel().FitToRows();
}

void TKVMapingForm::LoadExpressions() {
  for (int row = 0; row < DestRowCount(); ++row) {
    const int index = MappingLineOf(working_->Mappings(), DestField(row));
    if (index >= 0)
      workArea_->DestPanel().Grid().item(row, 0)->setText(QStr(working_->Mappings().ValueFromIndex(index)));
  }
}

void TKVMapingForm::DrawLinks() {
  for (int sourceRow = 0; sourceRow < SourceRowCount(); ++sourceRow)
    for (int destRow = 0; destRow < DestRowCount(); ++destRow)
      if (ExpressionRefers(sourceRow, destRow)) InsertLink(sourceRow, destRow);
}

// ---- Grid contents ----

int TKVMapingForm::SourceRowCount() const { return workArea_->SourcePanel().Grid().rowCount(); }

int TKVMapingForm::DestRowCount() const { return workArea_->DestPanel().Grid().rowCount(); }

std::string TKVMapingForm::SourceField(int row) const {
  const QTableWidgetItem* item = workArea_->SourcePanel().Grid().item(row, 0);
  return item ? StdStr(item->text()) : std::string();
}

std::string TKVMapingForm::DestField(int row) const {
  const QTableWidgetItem* item = workArea_->DestPanel().Grid().item(row, 1);
  return item ? StdStr(item->text()) : std::string();
}

std::string TKVMapingForm::Expression(int destRow) const {
  const QTableWidgetItem* item = workArea_->DestPanel().Grid().item(destRow, 0);
  return item ? StdStr(item->text()) : std::string();
}

void TKVMapingForm::SetExpression(int destRow, const std::string& text) {
  QTableWidgetItem* item = workArea_->DestPanel().Grid().item(destRow, 0);
  if (item) item->setText(QStr(text));  // cellChanged redraws the row's lines
}

std::string TKVMapingForm::SourceReference(int sourceRow) const {
  const TKVCustomDataSet* source = working_->SourceDataSet();
  return Format("%s.%s", source ? source->Name : std::string(), SourceField(sourceRow));
}

bool TKVMapingForm::ExpressionRefers(int sourceRow, int destRow) const {
  return MentionsReference(QStr(Expression(destRow)), QStr(SourceReference(sourceRow)));
}

// ---- Lines ----

bool TKVMapingForm::HasLink(int sourceRow, int destRow) const {
  for (const TFieldLink& link : links_)
    if (link.SourceRow == sourceRow && link.DestRow == destRow) return true;
  return false;
}

bool TKVMapingForm::InsertLink(int sourceRow, int destRow) {
  if (sourceRow < 0 || sourceRow >= SourceRowCount() || destRow < 0 || destRow >= DestRowCount()) return false;
  if (HasLink(sourceRow, destRow)) return false;
  links_.push_back({&workArea_->SourcePanel(), &workArea_->DestPanel(), sourceRow, destRow, SourceField(sourceRow),
                    DestField(destRow)});
  Redraw();
  return true;
}

void TKVMapingForm::RemoveLink(int sourceRow, int destRow) {
  std::erase_if(links_, [&](const TFieldLink& l) { return l.SourceRow == sourceRow && l.DestRow == destRow; });
  Redraw();
}

void TKVMapingForm::Redraw() { workArea_->update(); }

void TKVMapingForm::AppendReference(int sourceRow, int destRow) {
  std::string expression = Expression(destRow);
  // References of several fields stay apart: glued together they would
  // read as one longer name.
  if (!expression.empty() && !QStr(expression).back().isSpace()) expression += ' ';
  loading_ = true;  // the line is in place already
  SetExpression(destRow, expression + SourceReference(sourceRow));
  loading_ = false;
}

bool TKVMapingForm::DropField(int sourceRow, int destRow) {
  if (!InsertLink(sourceRow, destRow)) return false;
  AppendReference(sourceRow, destRow);
  return true;
}

void TKVMapingForm::RefreshLinks(int destRow) {
  for (int sourceRow = 0; sourceRow < SourceRowCount(); ++sourceRow) {
    if (ExpressionRefers(sourceRow, destRow))
      InsertLink(sourceRow, destRow);
    else if (HasLink(sourceRow, destRow))
      RemoveLink(sourceRow, destRow);
  }
}

void TKVMapingForm::DestCellChanged(int row, int column) {
  if (column == 0 && !loading_) RefreshLinks(row);
}

void TKVMapingForm::DragMoved(int row, const QPoint& globalPos) {
  workArea_->ShowDragLine(row, workArea_->mapFromGlobal(globalPos));
}

void TKVMapingForm::Dropped(int row, const QPoint& globalPos) {
  TDataSetGrid& dest = workArea_->DestPanel().Grid();
  const int destRow = dest.RowAt(dest.viewport()->mapFromGlobal(globalPos));
  if (destRow >= 0) DropField(row, destRow);
}

// ---- Expressions ----

bool TKVMapingForm::EditExpression(int destRow) {
  if (destRow < 0 || destRow >= DestRowCount()) return false;
  // The editor translates on this thread's translator, set up for the
  // working link; the translator in place before comes back afterwards,
  // since the working link's variables go with the form.
  std::unique_ptr<TExpTranslator> saved = SetTranslator(nullptr);
  working_->SetAllVarList();
  expForm_->SetVarList(GetTranslator() ? GetTranslator()->VarList : &working_->VarList());
  expForm_->SetExpStr(Expression(destRow));
  const bool ok = expForm_->Execute();
  if (ok) SetExpression(destRow, expForm_->GetExpStr());
  expForm_->SetVarList(nullptr);
  SetTranslator(std::move(saved));
  return ok;
}

// ---- Matching ----

void TKVMapingForm::AutoMatch() {
  TMatchModes modes = working_->MatchModes;
  if (OpenAutoMatch(modes, this)) MatchFields(modes);
}

void TKVMapingForm::MatchFields(TMatchModes modes) {
  loading_ = true;
  for (int row = 0; row < DestRowCount(); ++row) SetExpression(row, std::string());
  loading_ = false;
  links_.clear();
  working_->MatchModes = modes;
  using TTest = bool (*)(const QString& source, const QString& dest);
  const std::pair<TMatchMode, TTest> tests[] = {
      {mmPartialToOutput, [](const QString& s, const QString& d) { return d.toUpper().contains(s.toUpper()); }},
      {mmPartialToInput, [](const QString& s, const QString& d) { return s.toUpper().contains(d.toUpper()); }},
      // Named "case insensitive", yet names are compared as written.
      {mmCaseInsensitive, [](const QString& s, const QString& d) { return s == d; }},
  };
  for (const auto& [mode, test] : tests) {
    if (!(modes & Bit(mode))) continue;
    for (int sourceRow = 0; sourceRow < SourceRowCount(); ++sourceRow)
      for (int destRow = 0; destRow < DestRowCount(); ++destRow)
        if (test(QStr(SourceField(sourceRow)), QStr(DestField(destRow)))) DropField(sourceRow, destRow);
  }
  Redraw();
}

// ---- Writing back ----

void TKVMapingForm::Apply() {
  if (destFieldsKnown_) {
    TPlainStringList& mappings = working_->Mappings();
    mappings.Clear();
    for (int row = 0; row < DestRowCount(); ++row) {
      const std::string expression = Expression(row);
      if (!QStr(expression).trimmed().isEmpty()) mappings.Add(DestField(row) + "=" + expression);
    }
  }
  link_.SetMappings(working_->Mappings());
  link_.MatchModes = working_->MatchModes;
}

void TKVMapingForm::accept() {
  Apply();
  QDialog::accept();
}

void TKVMapingForm::reject() {
  if (AskYesNo(SSureCloseMapping, false)) QDialog::reject();
}

bool EditDBLinkMaping(TDBLink& link, QWidget* parent) {
  TKVMapingForm form(link, parent);
  return form.exec() == QDialog::Accepted;
}

}  // namespace kv
