#include "editors/QtTranslation.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <memory>
#include <vector>

#include "editors/QtText.h"
#include "editors/RadioGroup.h"
#include "environment/LanguageTranslate.h"

namespace kv {

namespace {

// The tab widget showing `w` as one of its pages, or null.
QTabWidget* TabOwnerOf(QWidget* w) {
  auto* stack = qobject_cast<QStackedWidget*>(w->parentWidget());
  return stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
}

TComponentKind KindOf(QObject* o) {
  if (qobject_cast<QAction*>(o)) return TComponentKind::ckAction;
  if (qobject_cast<QMenu*>(o)) return TComponentKind::ckMenuItem;
  if (qobject_cast<QMenuBar*>(o)) return TComponentKind::ckActionMenuBar;
  auto* w = qobject_cast<QWidget*>(o);
  if (!w) return TComponentKind::ckOther;
  if (TabOwnerOf(w)) return TComponentKind::ckTabSheet;
  if (qobject_cast<QPushButton*>(o)) return TComponentKind::ckPushButton;
  if (qobject_cast<QToolButton*>(o)) return TComponentKind::ckToolButton;
  if (qobject_cast<QLabel*>(o)) return TComponentKind::ckLabel;
  if (qobject_cast<TRadioGroup*>(o)) return TComponentKind::ckRadioGroup;
  if (qobject_cast<QGroupBox*>(o)) return TComponentKind::ckGroupBox;
  if (qobject_cast<QRadioButton*>(o)) return TComponentKind::ckRadioButton;
  if (qobject_cast<QCheckBox*>(o)) return TComponentKind::ckCheckBox;
  if (qobject_cast<QComboBox*>(o)) return TComponentKind::ckComboBox;
  if (qobject_cast<QListWidget*>(o)) return TComponentKind::ckListBox;
  if (auto* tree = qobject_cast<QTreeWidget*>(o))
    return tree->rootIsDecorated() ? TComponentKind::ckTreeView : TComponentKind::ckListView;
  if (qobject_cast<QTableWidget*>(o)) return TComponentKind::ckValueListEditor;
  if (qobject_cast<QMainWindow*>(o) || qobject_cast<QDialog*>(o)) return TComponentKind::ckForm;
  return TComponentKind::ckOther;
}

std::vector<QTreeWidgetItem*> NodesOf(QTreeWidget* tree) {
  std::vector<QTreeWidgetItem*> nodes;
  for (QTreeWidgetItemIterator it(tree); *it; ++it) nodes.push_back(*it);
  return nodes;
}

// One Qt object as the translation walk sees it.
class TQtComponent final : public ITranslatableComponent {
public:
  explicit TQtComponent(QObject* o, bool isWindow = false)
      : o_(o), kind_(isWindow ? TComponentKind::ckForm : KindOf(o)) {}

  TComponentKind Kind() const override { return kind_; }
  std::string Name() const override { return StdStr(o_->objectName()); }

  std::string Caption() const override { return StdStr(CaptionText()); }
  void SetCaption(const std::string& caption) override { SetCaptionText(QStr(caption)); }

  std::string Hint() const override {
    if (auto* a = qobject_cast<QAction*>(o_)) return StdStr(a->statusTip());
    if (auto* w = qobject_cast<QWidget*>(o_)) return StdStr(w->statusTip());
    return {};
  }
  void SetHint(const std::string& hint) override {
    const QString h = QStr(hint);
    if (auto* a = qobject_cast<QAction*>(o_)) {
      a->setStatusTip(h);
      a->setToolTip(h.isEmpty() ? QString(a->text()).remove('&') : h);
    } else if (auto* w = qobject_cast<QWidget*>(o_)) {
      w->setStatusTip(h);
      w->setToolTip(h);
    }
  }

  bool HasAction() const override {
    auto* b = qobject_cast<QToolButton*>(o_);
    return b && b->defaultAction();
  }

  int ItemCount() const override { return static_cast<int>(Items().size()); }
  std::string Item(int index) const override {
    const QStringList items = Items();
    return index >= 0 && index < items.size() ? StdStr(items[index]) : std::string();
  }
  void SetItem(int index, const std::string& text) override { SetItemText(index, QStr(text)); }

  int ComponentCount() const override { return static_cast<int>(Children().size()); }
  ITranslatableComponent* Component(int index) override {
    const auto& kids = Children();
    return index >= 0 && static_cast<size_t>(index) < kids.size() ? kids[static_cast<size_t>(index)].get() : nullptr;
  }

private:
  QString CaptionText() const {
    if (kind_ == TComponentKind::ckForm) return static_cast<QWidget*>(o_)->windowTitle();
    if (auto* a = qobject_cast<QAction*>(o_)) return a->text();
    if (auto* m = qobject_cast<QMenu*>(o_)) return m->title();
    auto* w = qobject_cast<QWidget*>(o_);
    if (!w) return {};
    if (QTabWidget* tabs = TabOwnerOf(w)) return tabs->tabText(tabs->indexOf(w));
    if (auto* b = qobject_cast<QAbstractButton*>(o_)) return b->text();
    if (auto* l = qobject_cast<QLabel*>(o_)) return l->text();
    if (auto* g = qobject_cast<QGroupBox*>(o_)) return g->title();
    return {};
  }

  void SetCaptionText(const QString& text) {
    if (kind_ == TComponentKind::ckForm) return static_cast<QWidget*>(o_)->setWindowTitle(text);
    if (auto* a = qobject_cast<QAction*>(o_)) return a->setText(text);
    if (auto* m = qobject_cast<QMenu*>(o_)) return m->setTitle(text);
    auto* w = qobject_cast<QWidget*>(o_);
    if (!w) return;
    if (QTabWidget* tabs = TabOwnerOf(w)) return tabs->setTabText(tabs->indexOf(w), text);
    if (auto* b = qobject_cast<QAbstractButton*>(o_)) return b->setText(text);
    if (auto* l = qobject_cast<QLabel*>(o_)) return l->setText(text);
    if (auto* g = qobject_cast<QGroupBox*>(o_)) return g->setTitle(text);
  }

  static QStringList HeaderOf(QAbstractItemModel* model, int columns) {
    QStringList list;
    for (int c = 0; c < columns; ++c) list << model->headerData(c, Qt::Horizontal).toString();
    return list;
  }

  QStringList Items() const {
    QStringList list;
    if (auto* g = qobject_cast<TRadioGroup*>(o_)) {
      for (int i = 0; i < g->ItemCount(); ++i) list << g->Item(i);
    } else if (auto* c = qobject_cast<QComboBox*>(o_)) {
      for (int i = 0; i < c->count(); ++i) list << c->itemText(i);
    } else if (auto* l = qobject_cast<QListWidget*>(o_)) {
      for (int i = 0; i < l->count(); ++i) list << l->item(i)->text();
    } else if (auto* t = qobject_cast<QTreeWidget*>(o_)) {
      if (kind_ == TComponentKind::ckTreeView) {
        for (QTreeWidgetItem* node : NodesOf(t)) list << node->text(0);
      } else {
        list = HeaderOf(t->model(), t->columnCount());
      }
    } else if (auto* tw = qobject_cast<QTableWidget*>(o_)) {
      list = HeaderOf(tw->model(), tw->columnCount());
    } else if (auto* bar = qobject_cast<QMenuBar*>(o_)) {
      for (QAction* a : bar->actions()) list << a->text();
    }
    return list;
  }

  void SetItemText(int index, const QString& text) {
    if (index < 0) return;
    if (auto* g = qobject_cast<TRadioGroup*>(o_)) {
      g->SetItem(index, text);
    } else if (auto* c = qobject_cast<QComboBox*>(o_)) {
      if (index < c->count()) c->setItemText(index, text);
    } else if (auto* l = qobject_cast<QListWidget*>(o_)) {
      if (index < l->count()) l->item(index)->setText(text);
    } else if (auto* t = qobject_cast<QTreeWidget*>(o_)) {
      if (kind_ == TComponentKind::ckTreeView) {
        const auto nodes = NodesOf(t);
        if (static_cast<size_t>(index) < nodes.size()) nodes[static_cast<size_t>(index)]->setText(0, text);
      } else if (index < t->columnCount()) {
        t->headerItem()->setText(index, text);
      }
    } else if (auto* tw = qobject_cast<QTableWidget*>(o_)) {
      if (index < tw->columnCount()) tw->setHorizontalHeaderItem(index, new QTableWidgetItem(text));
    } else if (auto* bar = qobject_cast<QMenuBar*>(o_)) {
      const auto actions = bar->actions();
      if (index < actions.size()) actions[index]->setText(text);
    }
  }

  // The named objects the window owns, made on first use (windows only).
  const std::vector<std::unique_ptr<TQtComponent>>& Children() const {
    if (kind_ == TComponentKind::ckForm && !childrenMade_) {
      childrenMade_ = true;
      for (QObject* c : o_->findChildren<QObject*>())
        if (!c->objectName().isEmpty()) children_.push_back(std::make_unique<TQtComponent>(c));
    }
    return children_;
  }

  QObject* o_;
  TComponentKind kind_;
  mutable bool childrenMade_ = false;
  mutable std::vector<std::unique_ptr<TQtComponent>> children_;
};

}  // namespace

void LanguageTanslate(QWidget& window) {
  TQtComponent form(&window, true);
  kv::LanguageTanslate(static_cast<ITranslatableComponent&>(form));
}

void LanguageTansAcMenu(QMenuBar& menuBar) {
  TQtComponent bar(&menuBar);
  kv::LanguageTansAcMenu(static_cast<ITranslatableComponent&>(bar));
}

}  // namespace kv
