// The handlers a headless program (vandrel-cli, the tests) attaches to a
// DB link, doing what the main window does for a run: the error handler
// captures the failing record into the link's error data and logs the
// error text. All of it runs in the main thread, as the link raises its
// events there.
#pragma once

#include <functional>

#include "KVCore_export.h"
#include "environment/Logs.h"

namespace kv {

class TDBLink;
class TDataSet;

// When the link's BackErrorData is set and both `dataSet` and the link's
// ErrorData are open: appends a record to ErrorData holding every field of
// `dataSet`'s current record that ErrorData has under the same name
// (letter case aside), and posts it. Nothing otherwise.
KVCORE_EXPORT void CaptureErrorRecord(TDBLink& link, const TDataSet* dataSet);

// Called with every log record the link adds (the link's OnLogOccur).
using THeadlessLogSink = std::function<void(TDBLink& link, const TKVLog& log)>;

// Sets the link's OnError to capture the failing record and add an
// ltError log record with the error text (leaving Abort as it is), and its
// OnLogOccur to `sink` (when given). The link keeps the handlers; they
// refer to the link, not to anything of the caller.
KVCORE_EXPORT void AttachHeadlessHandlers(TDBLink& link, THeadlessLogSink sink = nullptr);

}  // namespace kv
