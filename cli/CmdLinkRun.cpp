// link run: runs DB links of a job file headlessly, each on its own thread
// as a job runs them, with the main thread pumping their events.
#include <unistd.h>

#include <filesystem>
#include <iostream>

#include "CliCommand.h"
#include "environment/Logs.h"
#include "flowchart/FlowChart.h"
#include "foundation/Exceptions.h"
#include "jobs/DBLink.h"
#include "jobs/HeadlessHandlers.h"
#include "jobs/Job.h"

namespace cli {
namespace {

struct LinkRunOptions {
  std::string jobFile;
  std::vector<std::string> links;
  bool errorData = false;
  bool quiet = false;
};

LinkRunOptions ParseLinkRun(const std::vector<std::string>& args) {
  if (args.empty() || args[0] != "run") throw UsageError{"the only link command is \"run\""};
  LinkRunOptions o;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--error-data") {
      o.errorData = true;
    } else if (a == "--quiet") {
      o.quiet = true;
    } else if (a.rfind("--", 0) == 0) {
      throw UsageError{"unknown option \"" + a + "\""};
    } else if (o.jobFile.empty()) {
      o.jobFile = a;
    } else {
      o.links.push_back(a);
    }
  }
  if (o.jobFile.empty()) throw UsageError{"a job file is required"};
  return o;
}

const char* StatusName(kv::TJobStatus status) {
  static const char* const kNames[] = {"stop", "pause", "start", "waiting", "running", "ok", "error"};
  return status <= kv::jsError ? kNames[status] : "?";
}

const char* LevelName(kv::TLogType type) {
  switch (type) {
    case kv::ltError: return "error";
    case kv::ltWarnint: return "warning";
    default: return "info";
  }
}

// The links to run: the named ones in the order named, or all of the job's.
std::vector<kv::TDBLink*> SelectLinks(kv::TJob& job, const LinkRunOptions& o) {
  std::vector<kv::TDBLink*> all;
  for (int i = 0; i < job.DBLinks->Count(); ++i) all.push_back(job.DBLinks->GetObj(i));
  if (o.links.empty()) return all;
  std::vector<kv::TDBLink*> chosen;
  for (const std::string& name : o.links) {
    kv::TDBLink* found = nullptr;
    for (kv::TDBLink* l : all)
      if (l && l->Name == name) found = l;
    if (!found) throw kv::Exception("The job " + o.jobFile + " has no DB link named \"" + name + "\"");
    chosen.push_back(found);
  }
  return chosen;
}

// Puts the link's saved error records in place of its source.
void UseErrorData(kv::TDBLink& link) {
  const std::string file = link.GetErrorDataFileName();
  if (!std::filesystem::exists(file)) {
    throw kv::Exception("DB link \"" + link.Name + "\" has no error records (" + file + " does not exist)");
  }
  link.LoadErrorDataFromFile(file);
  link.SetSourceDataType(kv::sdtError);
}

int RunLinkRun(const std::vector<std::string>& args) {
  const LinkRunOptions o = ParseLinkRun(args);
  const std::string path = std::filesystem::absolute(o.jobFile).string();
  if (!std::filesystem::is_regular_file(path)) throw kv::Exception("Cannot open the job file " + path);
  kv::TJob job;
  job.GetDesignControl().LoadFromFile(path);
  job.SaveFileName = path;
  job.LoadFromFlChart();
  // Relative file names of the job's datasets are taken from the job file's folder.
  const std::string folder = std::filesystem::path(path).parent_path().string();
  if (::chdir(folder.c_str()) != 0) throw kv::Exception("Cannot enter the folder " + folder);
  const std::vector<kv::TDBLink*> links = SelectLinks(job, o);
  for (kv::TDBLink* link : links) {
    if (o.errorData) UseErrorData(*link);
    kv::AttachHeadlessHandlers(*link, [&o](kv::TDBLink& l, const kv::TKVLog& log) {
      if (!o.quiet) {
        std::cout << EscapeTerminalField(l.Name) << '\t' << LevelName(log.LogType) << '\t'
                  << EscapeTerminalField(log.Event) << '\n';
      }
    });
  }
  for (kv::TDBLink* link : links) link->Run();
  bool allOk = true;
  for (kv::TDBLink* link : links) {
    link->WaitFor();
    const kv::TRunStatistic s = link->Counters().Statistic;
    std::cout << EscapeTerminalField(link->Name) << '\t' << StatusName(link->Status()) << "\trows=" << s.Rows
              << " inserted=" << s.Inserted << " updated=" << s.Updated << " deleted=" << s.Deleted
              << " errors=" << s.Errors << '\n';
    allOk = allOk && link->Status() == kv::jsOk;
  }
  std::cout.flush();
  return allOk ? kExitOk : kExitFailure;
}

const CommandRegistrar linkRun{Command{
    "link", "link run JOB.job [LINK...] [--error-data] [--quiet]",
    "Runs the named DB links (all links when none is named) of a job file, each on its\n"
    "own thread as a job runs them. Every log record of a link prints as a line\n"
    "LINK<TAB>error|warning|info<TAB>text (not with --quiet); a failing record is\n"
    "logged and captured into the link's error records, which are saved to its .err\n"
    "file beside the job file. Each link then prints\n"
    "LINK<TAB>status<TAB>rows=N inserted=N updated=N deleted=N errors=N, status being\n"
    "ok, error or stop. With --error-data the links transfer their saved error records\n"
    "instead of their sources (a record that fails again stays captured). Relative file\n"
    "names in the job are taken from the job file's folder. Exit status 0 when every\n"
    "link ended ok, 1 otherwise.",
    60, RunLinkRun}};

}  // namespace
}  // namespace cli
