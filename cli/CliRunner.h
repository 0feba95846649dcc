// What `vandrel-cli run` and `vandrel-cli schedule` share: the settings and
// the jobs put in place as the desktop program does (GlobalEnv, JobGroup,
// JobQueue), the log lines, the progress display, the signal flag, and
// the orderly end of every run.
//
// Log line format (one per log record, on standard output):
//   ISO-time<TAB>error|warning|info<TAB>job<TAB>link<TAB>text
// (link empty for a job's own records; fields escaped as terminal fields).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "environment/Environment.h"
#include "jobs/Job.h"

namespace cli {

class TRunner {
public:
  // Reads DIR/KVCore.env (or the program folder's) into GlobalEnv and
  // makes JobGroup and JobQueue. With `home` set, the program folder is
  // `home` for everything the run resolves ($VANDREL_HOME).
  explicit TRunner(const std::string& home);
  // Ends every run still going (see StopAndDrain) and lets the process-wide objects go.
  ~TRunner();
  TRunner(const TRunner&) = delete;
  TRunner& operator=(const TRunner&) = delete;

  // Adds the jobs to JobGroup: `names` are job files (paths) or names of
  // jobs of the group file; `all` takes every job of the group file.
  // Raises Exception for a name that is neither, or a file that cannot be
  // read. Every job gets the log and progress handlers.
  void AddJobs(const std::vector<std::string>& names, bool all);
  // Adds every job of the group file that loads; a missing or unreadable
  // one is logged and left out.
  void AddGroupJobs();

  // Pumps the main thread until no job runs or waits any more, or until a
  // stop signal came (then StopAndDrain). True when not interrupted.
  bool PumpUntilIdle();
  // Pumps the main thread until a stop signal came.
  void PumpUntilSignal();
  // Stops every job (no question asked) and pumps until every thread has
  // ended, the links' error data saved.
  void StopAndDrain();
  // Prints one log line (nothing when quiet).
  void Log(kv::TLogType type, const std::string& job, const std::string& link, const std::string& text);
  // One "ended" line per job; true when every job ended jsOk.
  bool Report();

  bool quiet = false;
  bool progress = false;  // a live progress block (standard output a terminal)

private:
  void Attach(kv::TJob& job);
  void Adopt(std::unique_ptr<kv::TJob> job);
  void DrawProgress();
  void ClearProgress();
  std::unique_ptr<kv::TKVEnvironment> env_;
  int progressLines_ = 0;
};

// Installs SIGINT and SIGTERM handlers that only set the stop flag.
void InstallStopSignals();
bool StopRequested();

// "YYYY-MM-DDTHH:MM:SS" of a date-time.
std::string IsoTime(double time);

}  // namespace cli
