// The main window's widgets, actions, menus, tool bar, popups and status bar.
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QGridLayout>

#include "app/MainFormActions.h"
#include "app/MainFormParts.h"
#include "editors/DataSetTableModel.h"

namespace kv {

namespace {

QIcon ThemeIcon(const char* theme, QStyle::StandardPixmap fallback) {
  return QIcon::fromTheme(theme, QApplication::style()->standardIcon(fallback));
}

struct TIconChoice {
  const char* theme;
  QStyle::StandardPixmap fallback;
};

TIconChoice IconFor(const QString& name) {
  static const std::pair<const char*, TIconChoice> table[] = {
      {"acNewJob", {"document-new", QStyle::SP_FileIcon}},
      {"acDelJob", {"edit-delete", QStyle::SP_TrashIcon}},
      {"acDesignJob", {"document-edit", QStyle::SP_FileDialogDetailedView}},
      {"acSetJobProperty", {"document-properties", QStyle::SP_FileDialogInfoView}},
      {"acSetJobSchedule", {"appointment-new", QStyle::SP_FileDialogContentsView}},
      {"acDBLinkPro", {"insert-link", QStyle::SP_DriveNetIcon}},
      {"acDBLinkMapping", {"view-list-details", QStyle::SP_FileDialogListView}},
      {"acRun", {"media-playback-start", QStyle::SP_MediaPlay}},
      {"acPause", {"media-playback-pause", QStyle::SP_MediaPause}},
      {"acStop", {"media-playback-stop", QStyle::SP_MediaStop}},
      {"acValidate", {"tools-check-spelling", QStyle::SP_DialogApplyButton}},
      {"acDebug", {"debug-run", QStyle::SP_MediaSeekForward}},
      {"acContext", {"help-contents", QStyle::SP_DialogHelpButton}},
      {"acExit", {"application-exit", QStyle::SP_DialogCloseButton}},
      {"acImportJob", {"document-open", QStyle::SP_DialogOpenButton}},
      {"acExportJob", {"document-save-as", QStyle::SP_DialogSaveButton}},
      {"acRefresh", {"view-refresh", QStyle::SP_BrowserReload}},
      {"acAbout", {"help-about", QStyle::SP_MessageBoxInformation}},
  };
  for (const auto& [n, choice] : table)
    if (name == n) return choice;
  return {nullptr, QStyle::SP_CustomBase};
}

QTreeWidget* NewList(const char* name, const QStringList& columns, QWidget* parent) {
  auto* list = new QTreeWidget(parent);
  list->setObjectName(name);
  list->setRootIsDecorated(false);
  list->setUniformRowHeights(true);
  list->setHeaderLabels(columns);
  list->setContextMenuPolicy(Qt::CustomContextMenu);
  return list;
}

// Adds the actions to a menu or tool bar; a null entry is a separator.
void AddItems(QWidget& target, std::initializer_list<QAction*> items) {
  for (QAction* item : items) {
    if (item) {
      target.addAction(item);
      continue;
    }
    auto* separator = new QAction(&target);
    separator->setSeparator(true);
    target.addAction(separator);
  }
}

QLabel* NewLabel(const char* name, const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  return label;
}

}  // namespace

QAction* TMainForm::NewAction(const char* name, const QString& caption, const QString& hint, const char*) {
  auto* action = new QAction(caption, this);
  action->setObjectName(name);
  action->setStatusTip(hint);
  action->setToolTip(hint.isEmpty() ? QString(caption).remove('&') : hint);
  const TIconChoice icon = IconFor(name);
  if (icon.theme) action->setIcon(ThemeIcon(icon.theme, icon.fallback));
  return action;
}

void TMainForm::BuildActions() {
  ac_ = std::make_unique<TActions>();
  TActions& a = *ac_;
  a.acImportJob = NewAction("acImportJob", "&ImportJob", "Add a job file to the job list");
  a.acExportJob = NewAction("acExportJob", "&ExportJob", "Save the selected job to another file");
  a.acExit = NewAction("acExit", "E&xit", "Close the program");
  a.acNewJob = NewAction("acNewJob", "&New job", "Create a new job");
  a.acDelJob = NewAction("acDelJob", "&Del job", "Delete the selected job");
  a.acDelJob->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
  a.acDesignJob = NewAction("acDesignJob", "Desi&gn job", "Design the selected job");
  a.acSetJobProperty = NewAction("acSetJobProperty", "&Job property", "Set the properties of the selected job");
  a.acSetJobSchedule = NewAction("acSetJobSchedule", "&Schedule", "Set the schedule of the selected job");
  a.acDBLinkPro = NewAction("acDBLinkPro", "D&BLink Property", "Set the properties of the selected DB link");
  a.acDBLinkMapping = NewAction("acDBLinkMapping", "DBLink &Mapping", "Map the fields of the selected DB link");
  a.acDestDataSetPro = NewAction("acDestDataSetPro", "D&est DataSet Property", "Set the properties of the destination dataset");
  a.acSourDataSetPro = NewAction("acSourDataSetPro", "&Source DataSet Property", "Set the properties of the source dataset");
  a.acClearLog = NewAction("acClearLog", "&Clear Log", "Clear the logs of every job");
  a.acViewToolBar = NewAction("acViewToolBar", "View &ToolBar", "Show or hide the tool bar");
  a.acViewToolBar->setCheckable(true);
  a.acViewToolBar->setChecked(true);
  a.acViewStatusBar = NewAction("acViewStatusBar", "View &StatusBar", "Show or hide the status bar");
  a.acViewStatusBar->setCheckable(true);
  a.acViewStatusBar->setChecked(true);
  a.acRefresh = NewAction("acRefresh", "&Refresh", "Refresh the job list");
  a.acRun = NewAction("acRun", "&Run", "Run the selected job");
  a.acRun->setShortcut(Qt::Key_F5);
  a.acStop = NewAction("acStop", "&Stop", "Stop the selected job");
  a.acStop->setShortcut(Qt::Key_F9);
  a.acPause = NewAction("acPause", "&Pause", "Pause the selected job");
  a.acPause->setShortcut(Qt::Key_F6);
  a.acRunAllJob = NewAction("acRunAllJob", "R&un All", "Run every job in the list");
  a.acPauseAllJob = NewAction("acPauseAllJob", "P&ause All", "Pause every running job");
  a.acStopAllJob = NewAction("acStopAllJob", "S&top All", "Stop every running job");
  a.acValidate = NewAction("acValidate", "&Validate", "Check the conditions and field mappings of the selected job");
  a.acPreviewImportData = NewAction("acPreviewImportData", "&Preview Import Data", "Preview the records the selected DB link imports");
  a.acBrowseSourceData = NewAction("acBrowseSourceData", "Browse &Source Data", "Browse the records of the source dataset");
  a.acBrowseDestData = NewAction("acBrowseDestData", "Browse &Dest Data", "Browse the records of the destination dataset");
  a.acDebug = NewAction("acDebug", "&Debug", "Debug the DB links of the selected job record by record");
  a.acShowOrHide = NewAction("acShowOrHide", "Show/&Hide", "Show or hide the main window");
  a.acSetOption = NewAction("acSetOption", "&Option", "Set the options of the program");
  a.acEngLanguage = NewAction("acEngLanguage", "English", "Show the program in English");
  a.acSimChinese = NewAction("acSimChinese", "Chinese(Simplified)", "Show the program in Simplified Chinese");
  a.acContext = NewAction("acContext", "&Context", "Open the manual");
  a.acAbout = NewAction("acAbout", "&About", "About the program");
  a.acErrDataSaveAs = NewAction("acErrDataSaveAs", "&Save as", "Save the error records to a file");
  a.acErrDataLoad = NewAction("acErrDataLoad", "&Load", "Load error records from a file");
  a.acErrDataReTrans = NewAction("acErrDataReTrans", "&Translate Error Data", "Transfer the error records of the DB link again");
  a.acLogPro = NewAction("acLogPro", "&Property", "Show the selected log record");
  for (QAction* action : findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly)) addAction(action);
}

void TMainForm::BuildMenus() {
  TActions& a = *ac_;
  QMenuBar* bar = menuBar();
  bar->setObjectName("MainMenu");
  auto add = [&](const char* name, const QString& title, std::initializer_list<QAction*> items) {
    QMenu* menu = bar->addMenu(title);
    menu->setObjectName(name);
    AddItems(*menu, items);
    return menu;
  };
  add("miFile", "&File", {a.acImportJob, a.acExportJob, nullptr, a.acExit});
  add("miEditJobs", "&Edit",
      {a.acNewJob, a.acDelJob, a.acDesignJob, nullptr, a.acSetJobProperty, a.acSetJobSchedule, nullptr, a.acDBLinkPro,
       a.acDBLinkMapping, a.acDestDataSetPro, a.acSourDataSetPro, nullptr, a.acClearLog});
  add("miViewWindow", "&View", {a.acViewToolBar, a.acViewStatusBar, nullptr, a.acRefresh});
  add("miRun", "&Run",
      {a.acRun, a.acStop, a.acPause, nullptr, a.acRunAllJob, a.acPauseAllJob, a.acStopAllJob, nullptr, a.acValidate,
       nullptr, a.acDebug});
  QMenu* tools = add("miTools", "&Tools",
                     {a.acPreviewImportData, a.acBrowseDestData, a.acBrowseSourceData, nullptr, a.acShowOrHide});
  QMenu* language = tools->addMenu("&Language");
  language->setObjectName("miLanguage");
  language->addAction(a.acEngLanguage);
  language->addAction(a.acSimChinese);
  tools->addSeparator();
  tools->addAction(a.acSetOption);
  add("miHelp", "&Help", {a.acContext, nullptr, a.acAbout});
}

void TMainForm::BuildToolBar() {
  TActions& a = *ac_;
  toolBar_ = addToolBar("ToolBar");
  toolBar_->setObjectName("ToolBar");
  toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  AddItems(*toolBar_, {a.acNewJob, a.acDelJob, a.acDesignJob, nullptr, a.acSetJobProperty, a.acSetJobSchedule,
                       a.acDBLinkPro, a.acDBLinkMapping, nullptr, a.acRun, a.acPause, a.acStop, nullptr, a.acValidate,
                       a.acDebug, nullptr, a.acContext, nullptr, a.acExit});
}

void TMainForm::BuildPopups() {
  TActions& a = *ac_;
  auto popup = [&](const char* name, std::initializer_list<QAction*> items) {
    auto* menu = new QMenu(this);
    menu->setObjectName(name);
    AddItems(*menu, items);
    return menu;
  };
  pmJob_ = popup("pmJob", {a.acRun, a.acRunAllJob, a.acPause, a.acPauseAllJob, a.acStop, a.acStopAllJob, nullptr,
                           a.acValidate, nullptr, a.acDebug, nullptr, a.acNewJob, a.acDelJob, a.acDesignJob, nullptr,
                           a.acSetJobSchedule, a.acSetJobProperty, nullptr, a.acSetOption});
  pmDBLink_ = popup("pmDBLink", {a.acDBLinkPro, a.acDBLinkMapping, nullptr, a.acDestDataSetPro, a.acSourDataSetPro,
                                 nullptr, a.acPreviewImportData, a.acBrowseSourceData, a.acBrowseDestData, nullptr,
                                 a.acSetOption});
  pmLog_ = popup("pmLog", {a.acLogPro, a.acClearLog});
  pmErrData_ = popup("pmErrData", {a.acErrDataSaveAs, a.acErrDataLoad, a.acErrDataReTrans});
  pmNotify_ = popup("pmNotify", {a.acShowOrHide, nullptr, a.acNewJob, nullptr, a.acRun, a.acStop, a.acPause,
                                 a.acRunAllJob, a.acPauseAllJob, a.acStopAllJob, nullptr, a.acSetOption, nullptr,
                                 a.acAbout, nullptr, a.acExit});
}

QWidget* TMainForm::BuildInfoPages() {
  pctDBLinkInfo_ = new QTabWidget(this);
  pctDBLinkInfo_->setObjectName("pctDBLinkInfo");
  auto* progress = new QWidget(pctDBLinkInfo_);
  progress->setObjectName("tshProgress");
  auto* grid = new QGridLayout(progress);
  lblLinkName_ = NewLabel("lblLinkName", QString(), progress);
  grid->addWidget(NewLabel("lblStatus", "Status:", progress), 0, 0);
  grid->addWidget(lblLinkName_, 0, 1, 1, 3);
  const std::pair<const char*, QLabel**> totals[] = {{"lblAdded", &lblAddedValue_},
                                                      {"lblUpdated", &lblUpdatedValue_},
                                                      {"lblDeleted", &lblDeletedValue_},
                                                      {"lblErrors", &lblErrorsValue_}};
  const char* captions[] = {"Append:", "Update:", "Delete:", "Error:"};
  for (int i = 0; i < 4; ++i) {
    grid->addWidget(NewLabel(totals[i].first, captions[i], progress), 1 + i / 2, (i % 2) * 2);
    *totals[i].second = NewLabel((std::string(totals[i].first) + "Value").c_str(), QString(), progress);
    grid->addWidget(*totals[i].second, 1 + i / 2, (i % 2) * 2 + 1);
  }
  grid->addWidget(NewLabel("lblProcessed", "Progress:", progress), 3, 0);
  lblProcessedValue_ = NewLabel("lblProcessedValue", QString(), progress);
  grid->addWidget(lblProcessedValue_, 3, 1);
  progressBar_ = new QProgressBar(progress);
  progressBar_->setObjectName("ProgressBar");
  grid->addWidget(progressBar_, 4, 0, 1, 4);
  grid->setRowStretch(5, 1);
  pctDBLinkInfo_->addTab(progress, "Progress");

  lvwLog_ = NewList("lvwLog", {"", "Date", "Time", "Event"}, pctDBLinkInfo_);
  auto* logPage = new QWidget(pctDBLinkInfo_);
  logPage->setObjectName("tshLog");
  (new QVBoxLayout(logPage))->addWidget(lvwLog_);
  pctDBLinkInfo_->addTab(logPage, "Log");

  auto* propPage = new QWidget(pctDBLinkInfo_);
  propPage->setObjectName("tshProperty");
  sgdDBLinkPro_ = new QTableWidget(0, 2, propPage);
  sgdDBLinkPro_->setObjectName("sgdDBLinkPro");
  sgdDBLinkPro_->horizontalHeader()->setVisible(false);
  sgdDBLinkPro_->verticalHeader()->setVisible(false);
  sgdDBLinkPro_->horizontalHeader()->setStretchLastSection(true);
  sgdDBLinkPro_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  (new QVBoxLayout(propPage))->addWidget(sgdDBLinkPro_);
  pctDBLinkInfo_->addTab(propPage, "Property");

  auto* errPage = new QWidget(pctDBLinkInfo_);
  errPage->setObjectName("tshErrordata");
  dgdErrData_ = new QTableView(errPage);
  dgdErrData_->setObjectName("dgdErrData");
  dgdErrData_->setContextMenuPolicy(Qt::CustomContextMenu);
  errModel_ = new TDataSetTableModel(dgdErrData_);
  dgdErrData_->setModel(errModel_);
  (new QVBoxLayout(errPage))->addWidget(dgdErrData_);
  pctDBLinkInfo_->addTab(errPage, "Errordata");
  return pctDBLinkInfo_;
}

void TMainForm::BuildCentral() {
  tvwJobPro_ = new QTreeWidget(this);
  tvwJobPro_->setObjectName("tvwJobPro");
  tvwJobPro_->setHeaderHidden(true);
  tvwJobPro_->setRootIsDecorated(true);
  auto* root = new QTreeWidgetItem(tvwJobPro_, QStringList{"Job Status"});
  for (const char* child : {"Running", "Waiting", "Complete", "Stop", "Error"})
    new QTreeWidgetItem(root, QStringList{child});

  lvwJobs_ = NewList("lvwJobs", {"", "Job Name", "Create time", "Start time", "Consumed time", "Notes"}, this);
  lvwJobs_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lvwDBLinks_ = NewList("lvwDBLinks", {"", "DBLink Name", "Start time", "Source rows", "Extract rows", "Rows/sec"}, this);
  chart_ = new TMonitorChart(this);
  chart_->setObjectName("chartMonitor");

  auto* bottom = new QSplitter(Qt::Horizontal, this);
  bottom->setObjectName("pnlDBLinkInfo");
  bottom->addWidget(BuildInfoPages());
  bottom->addWidget(chart_);
  // The chart is read at a glance while jobs run: it keeps a useful share of the width.
  chart_->setMinimumWidth(280);
  bottom->setStretchFactor(0, 3);
  bottom->setStretchFactor(1, 2);
  listSplit_ = new QSplitter(Qt::Vertical, this);
  listSplit_->setObjectName("pnlLists");
  listSplit_->addWidget(lvwJobs_);
  listSplit_->addWidget(lvwDBLinks_);
  listSplit_->addWidget(bottom);
  mainSplit_ = new QSplitter(Qt::Horizontal, this);
  mainSplit_->setObjectName("pnlMain");
  mainSplit_->addWidget(tvwJobPro_);
  mainSplit_->addWidget(listSplit_);
  mainSplit_->setStretchFactor(1, 1);
  setCentralWidget(mainSplit_);
}

void TMainForm::BuildStatusBar() {
  statusBar()->setObjectName("StatusBar");
  static const int widths[6] = {370, 70, 70, 70, 70, 50};
  for (int i = 0; i < 6; ++i) {
    panels_[i] = new QLabel(statusBar());
    panels_[i]->setObjectName(QString("StatusPanel%1").arg(i));
    panels_[i]->setMinimumWidth(widths[i]);
    panels_[i]->setFrameShape(QFrame::StyledPanel);
    if (i == 0)
      statusBar()->addWidget(panels_[i], 1);
    else
      statusBar()->addPermanentWidget(panels_[i]);
  }
}

}  // namespace kv
