// What the desktop windows share in handling a DB link's run events: the
// log text of a status change, and for a record that failed the
// import-error question, the capture of the record and the error log entry.
// Runs in the GUI thread (the link raises its events there while its run
// waits).
#pragma once

#include <functional>
#include <string>

#include "KVEditorLib_export.h"
#include "environment/Logs.h"
#include "jobs/DBLink.h"

namespace kv {

class TDataSet;

// When the environment's import-error prompt is on, asks whether to be asked
// again (SDBLinkFindErrWhenImportIntoTableMsg, Yes/No, through the user
// interface hook); No turns the prompt off and calls `saveEnvironment` at
// once, so the answer holds after a restart. Then captures the failing
// record of `dataSet` (may be null) into the link's error data and adds an
// error log entry with `error` to the link (raising its OnLogOccur).
KVEDITORLIB_EXPORT void HandleLinkError(TDBLink& link, const std::string& error, const TDataSet* dataSet,
                                        const std::function<void()>& saveEnvironment);

// The log text of a link's status change (SDBLinkStopMsg ... formatted with
// the link's name) and its type (ltError for jsError, else ltInfo); empty
// for the statuses that are not logged (waiting, running).
KVEDITORLIB_EXPORT std::string LinkStatusLogText(const TDBLink& link, TJobStatus status, TLogType& type);

// Saves the global environment to its file ("KVCore.env" in the program
// folder); a failure is shown as an error message, never raised.
KVEDITORLIB_EXPORT void SaveGlobalEnvironment();

}  // namespace kv
