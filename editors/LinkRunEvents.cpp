#include "editors/LinkRunEvents.h"

#include <exception>

#include "environment/CoreMessages.h"
#include "environment/Environment.h"
#include "foundation/Format.h"
#include "foundation/UserInterface.h"
#include "jobs/DBLink.h"
#include "jobs/HeadlessHandlers.h"

namespace kv {

void HandleLinkError(TDBLink& link, const std::string& error, const TDataSet* dataSet,
                     const std::function<void()>& saveEnvironment) {
  if (GlobalEnv && GlobalEnv->Prompting->ErrorPrompt) {
    const std::string dest = link.DestDataSet() ? link.DestDataSet()->Name : std::string();
    const int answer = UserInterface().MessageDlg(Format(SDBLinkFindErrWhenImportIntoTableMsg.Text(), dest, error),
                                                  mtError, mbYesNo, mrYes);
    if (answer != mrYes) {
      GlobalEnv->Prompting->ErrorPrompt = false;
      if (saveEnvironment) saveEnvironment();
    }
  }
  CaptureErrorRecord(link, dataSet);
  link.AddLog(ltError, error);
}

std::string LinkStatusLogText(const TDBLink& link, TJobStatus status, TLogType& type) {
  type = status == jsError ? ltError : ltInfo;
  const TMessage* message = nullptr;
  switch (status) {
    case jsStop: message = &SDBLinkStopMsg; break;
    case jsPause: message = &SDBLinkPauseMsg; break;
    case jsStart: message = &SDBLinkStartMsg; break;
    case jsOk: message = &SDBLinkFinishedMsg; break;
    case jsError: message = &SDBLinkFindErrorMsg; break;
    default: break;
  }
  return message ? Format(message->Text(), link.Name) : std::string();
}

void SaveGlobalEnvironment() {
  if (!GlobalEnv) return;
  try {
    SaveEnvironment(*GlobalEnv, EnvironmentFilePath());
  } catch (const std::exception& e) {
    ShowError(e.what());
  }
}

}  // namespace kv
