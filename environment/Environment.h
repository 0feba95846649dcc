// Program-wide settings: expression options, confirmations, the default job
// folder, double-click actions, the number of jobs that may run at once, the
// transfer monitor's colours and scale, and when logs are deleted. One
// instance, GlobalEnv, is read from "KVCore.env" in the program folder at
// start and written back when settings change and at exit.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "KVCore_export.h"
#include "foundation/BaseObject.h"

namespace kv {

class KVCORE_EXPORT TExpressionOption : public TBaseObject {
  KV_CLASS(TExpressionOption, TBaseObject)
public:
  void Assign(const TBaseObject* source) override;
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;

  bool ZeroAsNull = true;
  bool NullStringAsNull = true;
};

// Which confirmations the main window asks.
class KVCORE_EXPORT TPrompting : public TBaseObject {
  KV_CLASS(TPrompting, TBaseObject)
public:
  void Assign(const TBaseObject* source) override;
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;

  bool JobDeletion = true;
  bool ErrorPrompt = false;
  bool StopPrompt = true;
  bool PausePrompt = true;
};

enum TDblClickOnRunJob : uint8_t { drpRunOrPause, drpProperty, drpSchedule };
enum TDblClickOnCompleteJob : uint8_t { dcpRunOrPause, dcpDesign, dcpProperty, dcpSchedule };
enum TDblClickOnErrorJob : uint8_t { depDesign, depProperty, depSchedule };

// What a double click on a job in the main window's list does, by job state.
class KVCORE_EXPORT TDblClickJobOption : public TBaseObject {
  KV_CLASS(TDblClickJobOption, TBaseObject)
public:
  void Assign(const TBaseObject* source) override;
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;

  TDblClickOnRunJob DblClickOnRunJob = drpRunOrPause;
  TDblClickOnCompleteJob DblClickOnCompleteJob = dcpRunOrPause;
  TDblClickOnErrorJob DblClickOnErrorJob = depDesign;
};

// The transfer monitor chart. Colours are blue-green-red with red in the low byte.
class KVCORE_EXPORT TKVMonitorParam : public TBaseObject {
  KV_CLASS(TKVMonitorParam, TBaseObject)
public:
  void Assign(const TBaseObject* source) override;
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;

  int32_t BKColor = 0;                      // black
  int32_t SourceBrowseSpeedColor = 65535;   // yellow
  int32_t ImportSpeedColor = 32768;         // green
  int32_t ErrRecordsSpeedColor = 255;       // red
  int32_t MaxSpeedScale = 100;              // upper limit of the speed axis
};

enum TDelLogMode : uint8_t { dlmDelAtRun = 0, dlmDelAtExit = 1, dlmDelEverDays = 2, dlmDelExceedSize = 3 };
using TDelLogModes = uint8_t;  // bit n = mode n
constexpr TDelLogModes DelLogModeBit(TDelLogMode m) { return static_cast<TDelLogModes>(1u << m); }

// When logs are deleted.
class KVCORE_EXPORT TLogOption : public TBaseObject {
  KV_CLASS(TLogOption, TBaseObject)
public:
  void Assign(const TBaseObject* source) override;
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  bool Has(TDelLogMode m) const { return (DelLogModes & DelLogModeBit(m)) != 0; }
  void Include(TDelLogMode m) { DelLogModes = static_cast<TDelLogModes>(DelLogModes | DelLogModeBit(m)); }
  void Exclude(TDelLogMode m) { DelLogModes = static_cast<TDelLogModes>(DelLogModes & ~DelLogModeBit(m)); }

  double DelTime = 0;          // reference time of the every-N-days rule
  TDelLogModes DelLogModes = 0;
  int32_t DelLogDays = 1;
  int32_t DelFileSize = 1;     // KB
};

class KVCORE_EXPORT TKVEnvironment : public TBaseObject {
  KV_CLASS(TKVEnvironment, TBaseObject)
public:
  TKVEnvironment();
  void Assign(const TBaseObject* source) override;
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  void AfterLoad(TFiler& filer) override;

  // Above 100 the value is refused with a warning and the old one kept.
  void SetMaxRunJobs(int value);
  // Stores the folder with a trailing folder separator.
  void SetDefaultFolder(const std::string& value);
  void SetExpOption(const TExpressionOption& value) { ExpOption->Assign(&value); }
  void SetLogOption(const TLogOption& value) { LogOption->Assign(&value); }
  void SetDblClickJobOption(const TDblClickJobOption& value) { DblClickJobOption->Assign(&value); }

  static constexpr int kMaxRunJobsLimit = 100;

  ObjPtr<TExpressionOption> ExpOption;
  ObjPtr<TPrompting> Prompting;
  std::string DefaultFolder;
  ObjPtr<TDblClickJobOption> DblClickJobOption;
  uint8_t MaxRunJobs = 3;
  ObjPtr<TKVMonitorParam> MonitorParam;
  bool ShowTipDlgOnStart = true;
  bool ShowMonitorDlg = false;
  bool ShowDebugDlg = false;
  ObjPtr<TLogOption> LogOption;
};

// The settings file's name and full path in the program folder.
inline constexpr const char* kEnvironmentFileName = "KVCore.env";
KVCORE_EXPORT std::string EnvironmentFilePath();
// Reads the settings from `fileName`; defaults when the file does not exist.
// A file that exists but cannot be read raises its error.
KVCORE_EXPORT std::unique_ptr<TKVEnvironment> LoadEnvironment(const std::string& fileName);
// Writes the settings atomically (temporary file, then rename).
KVCORE_EXPORT void SaveEnvironment(const TKVEnvironment& env, const std::string& fileName);

// The one settings object of the process; null until the program creates it.
extern KVCORE_EXPORT TKVEnvironment* GlobalEnv;

}  // namespace kv
