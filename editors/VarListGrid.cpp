#include "editors/VarListGrid.h"

#include <QHeaderView>
#include <cmath>

#include "editors/QtText.h"
#include "expression/Expression.h"
#include "expression/VarList.h"

namespace kv {

QTableWidget* NewVarListGrid(QWidget* parent, const QString& objectName) {
  auto* grid = new QTableWidget(0, 2, parent);
  grid->setObjectName(objectName);
  grid->setHorizontalHeaderLabels({"Variant", "Initial value"});
  grid->horizontalHeader()->setStretchLastSection(true);
  grid->verticalHeader()->setVisible(false);
  grid->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid->setSelectionMode(QAbstractItemView::SingleSelection);
  return grid;
}

void LoadVarListGrid(QTableWidget& grid, const TVarList& list) {
  grid.setRowCount(0);
  for (int i = 0; i < list.Count(); ++i) {
    const TExpression* exp = list.VarAt(i);
    grid.insertRow(i);
    grid.setItem(i, 0, new QTableWidgetItem(QStr(list.Strings(i))));
    grid.setItem(i, 1, new QTableWidgetItem(exp ? QStr(exp->GetString()) : QString()));
  }
}

std::unique_ptr<TExpression> InitialValueExp(std::string_view text) {
  int64_t i = 0;
  if (TextToInt64(text, i)) return CreateIntExp(i);
  bool ok = false;
  const double x = QStr(text).trimmed().toDouble(&ok);
  if (ok && std::isfinite(x)) return CreateRealExp(x);
  auto exp = CreateStrExp(text);
  if (exp->DataType != etString) {  // a one-byte text is still a string value here
    exp->DataType = etString;
    exp->SetStrValue(text);
  }
  return exp;
}

void StoreVarListGrid(const QTableWidget& grid, TVarList& list) {
  while (list.Count() > 0) list.SetVarExp(list.Strings(list.Count() - 1), nullptr);
  for (int row = 0; row < grid.rowCount(); ++row) {
    const QTableWidgetItem* name = grid.item(row, 0);
    const QTableWidgetItem* value = grid.item(row, 1);
    const std::string key = name ? StdStr(name->text().trimmed()) : std::string();
    if (key.empty()) continue;
    list.SetVarExp(key, InitialValueExp(value ? StdStr(value->text()) : std::string()));
  }
}

void AppendVarRow(QTableWidget& grid) {
  const int row = grid.rowCount();
  grid.insertRow(row);
  grid.setItem(row, 0, new QTableWidgetItem);
  grid.setItem(row, 1, new QTableWidgetItem);
  grid.setCurrentCell(row, 0);
  grid.editItem(grid.item(row, 0));
}

void DeleteVarRow(QTableWidget& grid) {
  if (grid.currentRow() >= 0) grid.removeRow(grid.currentRow());
}

}  // namespace kv
