// env: the settings in force.
#include <iostream>
#include <memory>

#include "CliCommand.h"
#include "environment/Environment.h"
#include "foundation/Exceptions.h"
#include "foundation/FileUtils.h"
#include "foundation/Format.h"

namespace cli {
namespace {

const char* Bool(bool b) { return b ? "True" : "False"; }

int RunEnv(const std::vector<std::string>& args) {
  std::string home;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--home" && i + 1 < args.size())
      home = args[++i];
    else
      throw UsageError{"unknown argument \"" + args[i] + "\""};
  }
  std::string file = home.empty() ? kv::EnvironmentFilePath() : kv::IncludeTrailingPathDelimiter(home) + kv::kEnvironmentFileName;
  bool exists = kv::FileExists(file);
  std::unique_ptr<kv::TKVEnvironment> env;
  try {
    env = kv::LoadEnvironment(file);
  } catch (const kv::Exception& e) {
    throw kv::Exception(file + ": " + e.Message());
  }
  const kv::TKVEnvironment& e = *env;
  std::cout << "# " << file << (exists ? "" : " (not found: defaults)") << "\n"
            << "ExpOption.ZeroAsNull=" << Bool(e.ExpOption->ZeroAsNull) << "\n"
            << "ExpOption.NullStringAsNull=" << Bool(e.ExpOption->NullStringAsNull) << "\n"
            << "Prompting.JobDeletion=" << Bool(e.Prompting->JobDeletion) << "\n"
            << "Prompting.ErrorPrompt=" << Bool(e.Prompting->ErrorPrompt) << "\n"
            << "Prompting.StopPrompt=" << Bool(e.Prompting->StopPrompt) << "\n"
            << "Prompting.PausePrompt=" << Bool(e.Prompting->PausePrompt) << "\n"
            << "DefaultFolder=" << EscapeField(e.DefaultFolder) << "\n"
            << "DblClickJobOption.DblClickOnRunJob=" << static_cast<int>(e.DblClickJobOption->DblClickOnRunJob) << "\n"
            << "DblClickJobOption.DblClickOnCompleteJob=" << static_cast<int>(e.DblClickJobOption->DblClickOnCompleteJob) << "\n"
            << "DblClickJobOption.DblClickOnErrorJob=" << static_cast<int>(e.DblClickJobOption->DblClickOnErrorJob) << "\n"
            << "MaxRunJobs=" << static_cast<int>(e.MaxRunJobs) << "\n"
            << "MonitorParam.BKColor=" << e.MonitorParam->BKColor << "\n"
            << "MonitorParam.SourceBrowseSpeedColor=" << e.MonitorParam->SourceBrowseSpeedColor << "\n"
            << "MonitorParam.ImportSpeedColor=" << e.MonitorParam->ImportSpeedColor << "\n"
            << "MonitorParam.ErrRecordsSpeedColor=" << e.MonitorParam->ErrRecordsSpeedColor << "\n"
            << "MonitorParam.MaxSpeedScale=" << e.MonitorParam->MaxSpeedScale << "\n"
            << "ShowTipDlgOnStart=" << Bool(e.ShowTipDlgOnStart) << "\n"
            << "ShowMonitorDlg=" << Bool(e.ShowMonitorDlg) << "\n"
            << "ShowDebugDlg=" << Bool(e.ShowDebugDlg) << "\n"
            << "LogOption.DelLogModes=" << static_cast<int>(e.LogOption->DelLogModes) << "\n"
            << "LogOption.DelLogDays=" << e.LogOption->DelLogDays << "\n"
            << "LogOption.DelFileSize=" << e.LogOption->DelFileSize << "\n"
            << "LogOption.DelTime=" << kv::FloatToStrGeneral(e.LogOption->DelTime) << "\n";
  return kExitOk;
}

const CommandRegistrar env{Command{
    "env", "env [--home DIR]",
    "Prints the settings in force, read from KVCore.env in the program folder\n"
    "(DIR, else $VANDREL_HOME, else the build folder of a program run from its build\n"
    "tree, else ~/.local/share/vandrel); defaults when there is no file.",
    12, RunEnv}};

}  // namespace
}  // namespace cli
