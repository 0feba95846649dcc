// Jobs as text: a job file (the chart stream of flowchart/) written as a
// documented, human-editable text and built back from it. docs/job-text.md
// describes the format; in short:
//
//   jobtext 1
//   job
//     object TJob ... end                  (the job's settings, object text)
//   shape Orders                           (one per dataset, in z-order)
//     bounds 40 40 120 60                  (diagram settings, one per line)
//     object TKVTextDataSet ... end        (the dataset's settings)
//   connection Orders -> Sales             (one per DB link)
//     attach 6 14
//     object TDBLink ... end               (mappings, conditions, ...)
//
// The embedded objects are the object text of foundation/ObjectText.h, so a
// job file written as text and built again is the same file byte for byte.
//
// Passwords. A property whose name holds "password" (any letter case) is
// written, unless passwords are asked for, as a reference ${VAR} to an
// environment variable (PasswordVariableName); building takes the value
// from that variable. A password is never part of an error message.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "KVCore_export.h"
#include "flowchart/FlowChart.h"
#include "foundation/Exceptions.h"

namespace kv {

// A text that cannot be built: the message is "SOURCE:LINE: reason".
class KVCORE_EXPORT EJobTextError : public Exception {
public:
  EJobTextError(const std::string& source, int line, const std::string& reason)
      : Exception(source + ":" + std::to_string(line) + ": " + reason), Line(line), Reason(reason) {}
  int Line;            // counted from 1
  std::string Reason;  // the message without "SOURCE:LINE: "
};

// The value of an environment variable; nullopt when it is not set.
using TEnvLookup = std::function<std::optional<std::string>(const std::string& name)>;
// Looks variables up in the process environment (getenv).
KVCORE_EXPORT TEnvLookup ProcessEnvironment();

// "VANDREL_PASSWORD_" followed by `objectName` with ASCII letters
// upper-cased and every byte that is no ASCII letter or digit made '_'
// ("Orders db" -> VANDREL_PASSWORD_ORDERS_DB).
KVCORE_EXPORT std::string PasswordVariableName(const std::string& objectName);

// ---- Writing ------------------------------------------------------------------------------
struct TJobTextOptions {
  // Passwords as they are (for backups) instead of ${VAR} references.
  bool WithPasswords = false;
};

// The text of `chart`. Raises Exception when the chart holds an item the
// text cannot express (a shape without a dataset, a connection without a DB
// link, a chart without a job).
KVCORE_EXPORT std::string ChartToJobText(const TKVCustomFlowChart& chart, const TJobTextOptions& options = {});
// Reads a job file (TKVCustomFlowChart::LoadFromFile) and returns its text.
KVCORE_EXPORT std::string JobFileToText(const std::string& jobFile, const TJobTextOptions& options = {});

// ---- Building -------------------------------------------------------------------------------
// Builds the diagram of `text` into `chart` (which is cleared first; its
// hooks stay). `source` names the text in error messages. Password
// references are looked up with `env`. Raises EJobTextError naming the line;
// `chart` is then unchanged. A text without any "bounds" is laid out left
// to right: shapes that feed no other first, each destination one column
// right of its furthest source.
KVCORE_EXPORT void JobTextToChart(std::string_view text, const std::string& source, const TEnvLookup& env,
                                  TKVCustomFlowChart& chart);
// The job-file bytes of `text`; they are checked to load as a job file.
KVCORE_EXPORT std::string JobTextToJobFileBytes(std::string_view text, const std::string& source,
                                                const TEnvLookup& env);
// Builds `text` and writes the job file atomically: on any error nothing is
// written and an old file stays as it was.
KVCORE_EXPORT void BuildJobFile(std::string_view text, const std::string& source, const TEnvLookup& env,
                                const std::string& jobFile);

}  // namespace kv
