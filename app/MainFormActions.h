// The main window's actions, each named as its objectName (TMainForm::TActions).
#pragma once

#include <QAction>

#include "app/MainForm.h"

namespace kv {

struct TMainForm::TActions {
  QAction *acImportJob, *acExportJob, *acExit;
  QAction *acNewJob, *acDelJob, *acDesignJob, *acSetJobProperty, *acSetJobSchedule;
  QAction *acDBLinkPro, *acDBLinkMapping, *acDestDataSetPro, *acSourDataSetPro, *acClearLog;
  QAction *acViewToolBar, *acViewStatusBar, *acRefresh;
  QAction *acRun, *acStop, *acPause, *acRunAllJob, *acPauseAllJob, *acStopAllJob, *acValidate, *acDebug;
  QAction *acPreviewImportData, *acBrowseSourceData, *acBrowseDestData, *acShowOrHide;
  QAction *acSetOption, *acEngLanguage, *acSimChinese, *acContext, *acAbout;
  QAction *acErrDataSaveAs, *acErrDataLoad, *acErrDataReTrans, *acLogPro;
};

}  // namespace kv
