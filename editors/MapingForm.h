// The mapping editor "TKVMapingForm" and its entry EditDBLinkMaping: the
// modal window in which the expression that fills each destination field
// of one DB link is set.
//
// The form works on a copy of the link; a dataset of the copy without
// stored field definitions is opened once to learn its fields (a failure
// is shown as an error). The work area (TWorkArea, white)
// holds two panels side by side: the source panel (captioned with the
// source dataset's name) whose grid lists the source field names, and the
// destination panel whose grid shows, per destination field, the
// expression (column 0, editable) and the field name (column 1). Rows of
// the grids are field rows counted from 0 (the column titles are the
// grids' headers). A line (TFieldLink) joins a source row to each
// destination row whose expression mentions the reference
// "<source dataset name>.<source field name>" as a whole name, letter case
// aside ("S.ID" is in "Upper(s.id)", not in "S.IDX"); the work area
// paints the lines between the panels and keeps them at their rows while
// the grids scroll or change size.
//
// The user draws a line by dragging a source row onto a destination row
// (the reference is appended to the expression when the line is new),
// types an expression into its cell, or opens the expression editor on it
// with a double click. "&Match fields" (acAutoMatch) matches fields by name
// with the options of the auto-match dialog. The pages tshSourFieldDef and
// tshDestFieldDef show the field definitions of both datasets (read-only;
// a field is marked as key when an index of a table dataset lists it).
//
// Writing back (Ok, or acApply which keeps the window open) rebuilds the
// link's mapping from the destination rows: one name=expression line per
// row with an expression, in field order. Entries for fields the
// destination no longer has are dropped then; only when the destination's
// fields could not be read at all are the link's entries kept as they
// were. The link's mapping and match options are all the form writes: its
// datasets stay the ones it refers to. Closing other than by Ok asks
// SSureCloseMapping; only Yes closes.
#pragma once

#include <QDialog>
#include <QFrame>
#include <QTableWidget>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "KVEditorLib_export.h"
#include "jobs/DBLink.h"

class QHBoxLayout;
class QLabel;
class QPushButton;
class QTabWidget;

namespace kv {

class TExpForm;
class TFieldDefGrid;
class TKVCustomDataSet;

// A grid of field rows. The source grid lets a row be dragged away with
// the left button: it reports where the drag goes and where it ends, in
// global coordinates, and does not know where it is dropped.
class KVEDITORLIB_EXPORT TDataSetGrid : public QTableWidget {
  Q_OBJECT
public:
  // `dragSource`: rows of this grid can be dragged.
  TDataSetGrid(bool dragSource, QWidget* parent);
  // The field row under `pos` (viewport coordinates), -1 for none.
  int RowAt(const QPoint& pos) const;

signals:
  void FieldDragMoved(int row, const QPoint& globalPos);
  void FieldDropped(int row, const QPoint& globalPos);
  void FieldDragEnded();

protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

private:
  bool dragSource_;
  int pressedRow_ = -1;
  QPoint pressedAt_;
  bool dragging_ = false;
};

// A captioned frame holding one grid (owned by the panel).
class KVEDITORLIB_EXPORT TDataSetPanel : public QFrame {
  Q_OBJECT
public:
  TDataSetPanel(const char* name, bool dragSource, QWidget* parent);
  void SetCaption(const QString& caption);
  QString Caption() const;
  TDataSetGrid& Grid() const { return *grid_; }
  // Limits the grid to the height its rows need, and the panel to the grid's.
  void FitToRows();
  // As tall as the rows (when the work area has room).
  QSize sizeHint() const override;

private:
  QLabel* caption_;
  TDataSetGrid* grid_;
};

// One line from a source row to a destination row.
struct TFieldLink {
  TDataSetPanel* SourcePanel = nullptr;  // not owned
  TDataSetPanel* DestPanel = nullptr;    // not owned
  int SourceRow = -1;
  int DestRow = -1;
  std::string SourceField;
  std::string DestField;
};

// The white area holding both panels; paints the lines between them and
// the line being dragged.
class KVEDITORLIB_EXPORT TWorkArea : public QWidget {
  Q_OBJECT
public:
  // `links` (owned by the form) must outlive the area.
  TWorkArea(const std::vector<TFieldLink>& links, QWidget* parent);
  TDataSetPanel& SourcePanel() const { return *source_; }
  TDataSetPanel& DestPanel() const { return *dest_; }
  // Where a line leaves `row` of the source grid / enters `row` of the
  // destination grid, in the area's coordinates (clamped to the visible rows).
  QPoint SourceAnchor(int row) const;
  QPoint DestAnchor(int row) const;
  // The line shown while a row is dragged (from its row to `to`, area coordinates).
  void ShowDragLine(int row, const QPoint& to);
  void HideDragLine();

protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  QPoint Anchor(const TDataSetPanel& panel, int row, bool rightEdge) const;
  void Watch(TDataSetPanel& panel);

  const std::vector<TFieldLink>& links_;
  TDataSetPanel* source_;
  TDataSetPanel* dest_;
  int dragRow_ = -1;
  QPoint dragTo_;
};

class KVEDITORLIB_EXPORT TKVMapingForm : public QDialog {
  Q_OBJECT
public:
  // `link` (not owned) must outlive the form; the form shows it at once.
  explicit TKVMapingForm(TDBLink& link, QWidget* parent = nullptr);
  ~TKVMapingForm() override;

  // ---- What the grids hold (rows counted from 0) ----
  int SourceRowCount() const;
  int DestRowCount() const;
  std::string SourceField(int row) const;
  std::string DestField(int row) const;
  std::string Expression(int destRow) const;
  // Replaces the expression of a destination row and redraws its lines.
  void SetExpression(int destRow, const std::string& text);
  const std::vector<TFieldLink>& Links() const { return links_; }
  // Whether a line joins the two rows.
  bool HasLink(int sourceRow, int destRow) const;
  // "<source dataset name>.<field>" of a source row.
  std::string SourceReference(int sourceRow) const;

  // ---- Editing ----
  // Adds the line between two rows; false (nothing added) when it exists
  // already or a row is out of range.
  bool InsertLink(int sourceRow, int destRow);
  // A source row dropped onto a destination row: the line is inserted and,
  // when it is new, the source's reference appended to the expression.
  // True when the line is new.
  bool DropField(int sourceRow, int destRow);
  // After the expression of `destRow` changed: adds the lines of the
  // references it now holds and removes those of references it lost.
  void RefreshLinks(int destRow);
  // Opens the expression editor on a destination row's expression, offering
  // the variables of the working link (source fields, link, job); the row
  // takes the text on OK. True when it did.
  bool EditExpression(int destRow);
  // "&Match fields": the options dialog, then MatchFields with its choice.
  void AutoMatch();
  // Clears every expression and line, keeps `modes` as the link's match
  // options and matches the fields by them (see the comment at the top).
  void MatchFields(TMatchModes modes);
  TMatchModes MatchModes() const { return working_->MatchModes; }

  // ---- Writing back ----
  // Writes the mapping (and match options) into the edited link.
  void Apply();
  void accept() override;  // Apply and close
  void reject() override;  // closes only when the user confirms SSureCloseMapping

private:
  void BuildForm();
  QWidget* BuildFieldDefPages();
  QHBoxLayout* BuildButtons();
  void LoadLink();
  void LoadFieldNames();
  void LoadExpressions();
  void DrawLinks();
  void AppendReference(int sourceRow, int destRow);
  void RemoveLink(int sourceRow, int destRow);
  bool ExpressionRefers(int sourceRow, int destRow) const;
  void DestCellChanged(int row, int column);
  void DragMoved(int row, const QPoint& globalPos);
  void Dropped(int row, const QPoint& globalPos);
  void Redraw();

  // The widgets below belong to the form through Qt's parent chain.
  TDBLink& link_;
  std::unique_ptr<TDBLink> working_;  // the copy the form edits
  std::vector<TFieldLink> links_;
  bool destFieldsKnown_ = false;  // the destination's fields could be read
  bool loading_ = false;          // cell changes made by the form itself
  TWorkArea* workArea_ = nullptr;
  TExpForm* expForm_ = nullptr;  // the expression editor, made once with the form
  QTabWidget* fieldDefPages_ = nullptr;
  TFieldDefGrid* sgdSourFieldDef_ = nullptr;  // read-only
  TFieldDefGrid* sgdDestFieldDef_ = nullptr;
};

// Edits the mapping of `link` modally; true only when closed with Ok (an
// Apply may have written it back before the window was closed otherwise).
KVEDITORLIB_EXPORT bool EditDBLinkMaping(TDBLink& link, QWidget* parent = nullptr);

}  // namespace kv
