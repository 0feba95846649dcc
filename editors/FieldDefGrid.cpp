#include "editors/FieldDefGrid.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <set>

#include "data/FieldDefs.h"
#include "data/KVFieldDefs.h"
#include "editors/QtText.h"
#include "environment/LanguageTranslate.h"
#include "foundation/Format.h"

namespace kv {

namespace {

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string Trimmed(const QString& text) { return StdStr(text.trimmed()); }

// The "Data type" editor: an editable combo box offering the type names.
class TTypeDelegate final : public QStyledItemDelegate {
public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override {
    auto* box = new QComboBox(parent);
    box->setEditable(true);
    for (int i = 0; i < kFieldTypeCount; ++i) box->addItem(FieldTypeName(static_cast<TFieldType>(i)));
    return box;
  }
  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    static_cast<QComboBox*>(editor)->setCurrentText(index.data().toString());
  }
  void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
    model->setData(index, static_cast<QComboBox*>(editor)->currentText());
  }
};

QTableWidgetItem* CheckItem(bool checked, bool userCheckable) {
  auto* item = new QTableWidgetItem;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (userCheckable) flags |= Qt::ItemIsUserCheckable;
  item->setFlags(flags);
  item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
  return item;
}

QTableWidgetItem* TextItem(const QString& text, bool editable) {
  auto* item = new QTableWidgetItem(text);
  if (!editable) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
  return item;
}

QString CellText(const QTableWidget& grid, int row, int column) {
  const QTableWidgetItem* item = grid.item(row, column);
  return item ? item->text() : QString();
}

bool CellChecked(const QTableWidget& grid, int row, int column) {
  const QTableWidgetItem* item = grid.item(row, column);
  return item && item->checkState() == Qt::Checked;
}

// A whole number of 0 or more from the cell's text (empty = 0).
bool CellNumber(const QString& text, int32_t& value) {
  const QString trimmed = text.trimmed();
  if (trimmed.isEmpty()) {
    value = 0;
    return true;
  }
  bool ok = false;
  const int number = trimmed.toInt(&ok);
  if (!ok || number < 0) return false;
  value = number;
  return true;
}

QToolButton* RowButton(QAction* action, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setDefaultAction(action);
  return button;
}

}  // namespace

int FieldTypeOfText(const std::string& text) {
  const std::string wanted = Upper(Trimmed(QStr(text)));
  for (int i = 0; i < kFieldTypeCount; ++i)
    if (Upper(FieldTypeName(static_cast<TFieldType>(i))) == wanted) return i;
  return -1;
}

bool IsKeyField(const std::string& name, const TKVIndexDefs* indexes) {
  if (!indexes || name.empty()) return false;
  const std::string wanted = Upper(name);
  for (int i = 0; i < indexes->Count(); ++i) {
    const TKVIndexDef* index = indexes->GetObj(i);
    if (!index) continue;
    const QStringList parts = QStr(Upper(index->FieldExpression)).split(';');
    for (const QString& part : parts)
      if (Trimmed(part) == wanted) return true;
  }
  return false;
}

TFieldDefGrid::TFieldDefGrid(QWidget* parent, const QString& gridName, bool readOnly)
    : QWidget(parent), readOnly_(readOnly) {
  BuildGrid(gridName);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  if (!readOnly_) {
    acInsertRow_ = new QAction("&Insert row", this);
    acInsertRow_->setObjectName("acInsertRow");
    acDelRow_ = new QAction("&Delete row", this);
    acDelRow_->setObjectName("acDelRow");
    connect(acInsertRow_, &QAction::triggered, this, &TFieldDefGrid::InsertRow);
    connect(acDelRow_, &QAction::triggered, this, &TFieldDefGrid::DeleteRow);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(RowButton(acInsertRow_, this));
    buttons->addWidget(RowButton(acDelRow_, this));
    layout->addLayout(buttons);
  }
  layout->addWidget(grid_, 1);
}

TFieldDefGrid::~TFieldDefGrid() = default;

void TFieldDefGrid::BuildGrid(const QString& gridName) {
  grid_ = new QTableWidget(0, kColumnCount, this);
  grid_->setObjectName(gridName);
  grid_->setHorizontalHeaderLabels({"Field name", "Key", "Data type", "Length", "Precision", "Null"});
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  grid_->horizontalHeader()->setSectionResizeMode(colName, QHeaderView::Stretch);
  grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 8);
  if (readOnly_)
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  else
    grid_->setItemDelegateForColumn(colType, new TTypeDelegate(grid_));
}

void TFieldDefGrid::AddRow(int row, const TKVFieldDef* def, bool key) {
  const bool editable = !readOnly_;
  grid_->insertRow(row);
  auto* name = TextItem(def ? QStr(def->Name) : QString(), editable);
  name->setData(Qt::UserRole, def ? static_cast<int>(loaded_.size()) - 1 : -1);
  grid_->setItem(row, colName, name);
  grid_->setItem(row, colKey, CheckItem(key, false));
  QString type;
  if (def) type = FieldTypeName(static_cast<TFieldType>(def->DataType));
  auto* typeItem = TextItem(type, editable);
  if (def && !def->DataTypeName.empty()) typeItem->setToolTip(QStr(def->DataTypeName));
  grid_->setItem(row, colType, typeItem);
  grid_->setItem(row, colLength, TextItem(def ? QString::number(def->Size) : QString(), editable));
  grid_->setItem(row, colPrecision, TextItem(def ? QString::number(def->Precision) : QString(), editable));
  grid_->setItem(row, colNull, CheckItem(def && def->Required(), editable));
}

void TFieldDefGrid::Load(const TKVFieldDefs* fields, const TKVIndexDefs* indexes) {
  grid_->setRowCount(0);
  loaded_.clear();
  if (!fields) return;
  for (int i = 0; i < fields->Count(); ++i) {
    const TKVFieldDef* def = fields->GetObj(i);
    if (!def) continue;
    auto copy = std::make_unique<TKVFieldDef>();
    copy->Assign(def);
    loaded_.push_back(std::move(copy));
    AddRow(grid_->rowCount(), loaded_.back().get(), IsKeyField(def->Name, indexes));
  }
}

int TFieldDefGrid::NamedRowCount() const {
  int count = 0;
  for (int row = 0; row < grid_->rowCount(); ++row)
    if (!Trimmed(CellText(*grid_, row, colName)).empty()) ++count;
  return count;
}

bool TFieldDefGrid::StoreRow(int row, TKVFieldDef& def, std::string& error) const {
  const QTableWidgetItem* nameItem = grid_->item(row, colName);
  const int origin = nameItem ? nameItem->data(Qt::UserRole).toInt() : -1;
  const TKVFieldDef* loaded = origin >= 0 && origin < static_cast<int>(loaded_.size()) ? loaded_[origin].get() : nullptr;
  if (loaded) def.Assign(loaded);
  def.Name = Trimmed(CellText(*grid_, row, colName));
  const std::string typeText = Trimmed(CellText(*grid_, row, colType));
  if (!loaded || typeText != FieldTypeName(static_cast<TFieldType>(loaded->DataType))) {
    const int type = FieldTypeOfText(typeText);
    def.DataType = type < 0 ? static_cast<uint8_t>(ftUnknown) : static_cast<uint8_t>(type);
    def.DataTypeName = type < 0 ? std::string() : FieldTypeName(static_cast<TFieldType>(type));
  }
  if (!CellNumber(CellText(*grid_, row, colLength), def.Size) ||
      !CellNumber(CellText(*grid_, row, colPrecision), def.Precision)) {
    error = Format(Translate("FieldDefGrid_BadNumber",
                             "Field %s: the length and the precision must be whole numbers of 0 or more.")
                       .c_str(),
                   def.Name);
    return false;
  }
  const uint8_t bit = static_cast<uint8_t>(1u << faRequired);
  def.Attributes = CellChecked(*grid_, row, colNull) ? (def.Attributes | bit) : (def.Attributes & ~bit);
  return true;
}

bool TFieldDefGrid::Store(TKVFieldDefs& into, std::string& error) const {
  std::vector<std::unique_ptr<TKVFieldDef>> rows;
  std::set<std::string> names;
  for (int row = 0; row < grid_->rowCount(); ++row) {
    if (Trimmed(CellText(*grid_, row, colName)).empty()) continue;
    auto def = std::make_unique<TKVFieldDef>();
    if (!StoreRow(row, *def, error)) return false;
    if (!names.insert(Upper(def->Name)).second) {
      error = Format(Translate("FieldDefGrid_DupName", "The field name %s is used twice.").c_str(), def->Name);
      return false;
    }
    def->FieldNo = static_cast<int32_t>(rows.size()) + 1;
    rows.push_back(std::move(def));
  }
  into.Clear();
  for (const auto& def : rows) into.AddFieldDef(def->Name)->Assign(def.get());
  return true;
}

void TFieldDefGrid::InsertRow() {
  if (readOnly_) return;
  const int current = grid_->currentRow();
  const int row = current < 0 ? grid_->rowCount() : current;
  AddRow(row, nullptr, false);
  grid_->setCurrentCell(row, colName);
  grid_->editItem(grid_->item(row, colName));
}

void TFieldDefGrid::DeleteRow() {
  if (readOnly_) return;
  const int row = grid_->currentRow();
  if (row >= 0) grid_->removeRow(row);
}

}  // namespace kv
