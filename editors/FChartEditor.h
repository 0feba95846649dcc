// The job designer "TFChartEditor" and its entry DesignJob: a modal window
// in which a job is drawn as a diagram (chartMain, a TFlowChartView) of
// dataset shapes joined by DB link connections.
//
// The designer works on a working copy of the edited job: a TJob it owns,
// assigned from the edited job, whose design chart is the diagram shown.
// The edited job changes only when the designer copies the diagram into it
// (acApply, or acOk which then also saves the job file); cancelling leaves
// the job and its file as they were.
//
// Copying the diagram into a job records on every shape's dataset whether
// it is a source (ttSource) or a destination (ttDest) of some connection,
// puts a copy of the diagram in the job's design chart, and rebuilds the
// job from it (TJob::LoadFromFlChart).
//
// Tools: six checkable buttons (btnCreateTextDataSet ... btnCreateOracleDataSet
// with the tag of the dataset kind they create, and btnCreateLink), at most
// one down. A create button down: a drag on the diagram makes a 60 by 60
// shape of that kind at the dragged rectangle's top-left corner. The link
// button down: a drag from one shape to another joins them at their linked
// points nearest to the ends of the drag; a destination that is a text or
// query dataset is refused (EDataSetCanotBeDest). Pressing the link button
// while exactly two shapes and no connection are selected joins those two
// at once. A drag that moved 5 pixels or less, or Esc, creates nothing;
// either way the button pops up.
#pragma once

#include <QDialog>
#include <array>
#include <memory>

#include "KVEditorLib_export.h"
#include "flowchart/FlowChart.h"

class QAction;
class QMenu;
class QToolButton;
class QVBoxLayout;

namespace kv {

class TDBLink;
class TFlowChartView;
class TJob;

class KVEDITORLIB_EXPORT TFChartEditor : public QDialog {
  Q_OBJECT
public:
  // `job` (not owned) must outlive the designer. Call LoadFromJob next.
  explicit TFChartEditor(TJob& job, QWidget* parent = nullptr);
  ~TFChartEditor() override;

  // Sets the caption, loads the diagram from the job's file when it exists
  // (GetSaveFileName) and gives every shape the look of its kind. False,
  // after the error was shown, when the file exists but cannot be read:
  // the designer must not be shown then (saving would lose the file).
  bool LoadFromJob();
  // acApply: copies the diagram into the edited job.
  void Apply();
  // Apply, then writes the diagram to the job's file (atomically); false,
  // after the error was shown, when that failed (the designer stays open).
  bool SaveJob();

  TKVFlowChart& Chart() const;
  TFlowChartView& View() const { return *chartMain_; }
  TJob& WorkJob() const { return *work_; }
  // The create button that is down (its kind), -1 for none, kLinkTool for
  // the link button.
  int DownTool() const { return downTool_; }
  static constexpr int kLinkTool = 5;

  void accept() override;  // SaveJob, and close when it succeeded
  void reject() override;  // asks SSureCloseJobDesigner; only Yes closes

  // Gives `shape` the look of its dataset kind: the kind's image, centred,
  // on a silver background.
  static void ApplyKindLook(TKVFcObject& shape);
  // Records ttSource / ttDest on the datasets of `chart`'s shapes.
  static void RecordPurposes(TKVCustomFlowChart& chart);

protected:
  void keyPressEvent(QKeyEvent* event) override;

private:
  void BuildForm();
  void BuildActions();
  QWidget* BuildToolBar();
  void BuildMenus(QVBoxLayout& layout);
  QAction* NewAction(const char* name, const QString& caption, void (TFChartEditor::*slot)());
  void ToolToggled(int tool, bool down);
  void ReleaseTools();
  void ToolDragFinished(QPoint start, QPoint end);
  void CreateShape(TDataSetObjType kind, QPoint start, QPoint end);
  void CreateLink(QPoint start, QPoint end);
  bool CreateLinkFromSelection();
  TKVFcConnection* Join(TKVFcObject& source, TKVFcObject& dest, uint8_t pointSource, uint8_t pointDest);
  bool AcceptsAsDest(const TKVFcObject& dest) const;
  void DoubleClicked(QPoint pos);
  void EditDataSet(TKVFcObject& shape);
  void EditConnection(TKVFcConnection& connection);
  void EditSelected();
  TDBLink* SelectedLink();
  void DBLinkPro();
  void DBLinkMaping();
  void PreviewImportData();
  void Validate();
  void JobPro();
  void JobSchedule();
  void ZoomIn();
  void ZoomOut();
  void Zoom(int delta);
  void DeleteSelection();
  void ShowPopup(QPoint global);
  void UpdateActions();
  // The diagram copied into the working job (the dialogs see its datasets).
  void RefreshWorkJob();
  void CopyDiagramInto(TJob& job);

  TJob& job_;                  // the edited job (not owned)
  std::unique_ptr<TJob> work_;  // the working copy; its design chart is the diagram
  TFlowChartView* chartMain_ = nullptr;  // owned by the dialog (freed first by the destructor)
  std::array<QToolButton*, 6> tools_{};  // the five create buttons by kind, then btnCreateLink
  int downTool_ = -1;
  bool creating_ = false;  // items are being created: tool buttons stay as they are
  QMenu* popup_ = nullptr;
  QAction *acOk_ = nullptr, *acApply_ = nullptr, *acZoomIn_ = nullptr, *acZoomOut_ = nullptr;
  QAction *acDBLinkPro_ = nullptr, *acDBLinkMaping_ = nullptr, *acPreviewImportData_ = nullptr;
  QAction *acValidate_ = nullptr, *acJobPro_ = nullptr, *acJobSchedue_ = nullptr, *acDataSetPro_ = nullptr;
  QAction *miDelete_ = nullptr, *iDelete_ = nullptr, *iEditDataSet_ = nullptr;
};

// Designs `job` modally. On OK the diagram is copied into the job and
// saved to the job's file (GetSaveFileName); true. Otherwise false, and the
// job and its file are as they were.
KVEDITORLIB_EXPORT bool DesignJob(TJob& job, QWidget* parent = nullptr);

}  // namespace kv
