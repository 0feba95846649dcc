// job show / job build: a job file as text and back (docs/job-text.md).
#include <iostream>

#include "CliCommand.h"
#include "foundation/Exceptions.h"
#include "foundation/FileUtils.h"
#include "jobs/JobText.h"

namespace cli {
namespace {

int RunShow(const std::vector<std::string>& args) {
  std::string file;
  kv::TJobTextOptions options;
  for (const std::string& a : args) {
    if (a == "--with-passwords") {
      options.WithPasswords = true;
    } else if (!a.empty() && a[0] == '-') {
      throw UsageError{"unknown option \"" + a + "\""};
    } else if (file.empty()) {
      file = a;
    } else {
      throw UsageError{"one job file only"};
    }
  }
  if (file.empty()) throw UsageError{"the job file is missing"};
  std::cout << kv::JobFileToText(file, options);
  return kExitOk;
}

std::string ReadText(const std::string& file) {
  kv::TFileStream f(file, kv::fmOpenRead | kv::fmShareDenyWrite);
  std::string text(static_cast<size_t>(f.Size()), '\0');
  if (!text.empty()) f.ReadBuffer(text.data(), f.Size());
  return text;
}

int RunBuild(const std::vector<std::string>& args) {
  std::string textFile, jobFile;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o" || args[i] == "--output") {
      if (i + 1 >= args.size()) throw UsageError{args[i] + " needs the job file to write"};
      jobFile = args[++i];
    } else if (!args[i].empty() && args[i][0] == '-') {
      throw UsageError{"unknown option \"" + args[i] + "\""};
    } else if (textFile.empty()) {
      textFile = args[i];
    } else {
      throw UsageError{"one text file only"};
    }
  }
  if (textFile.empty()) throw UsageError{"the text file is missing"};
  if (jobFile.empty()) throw UsageError{"-o FILE.job is required"};
  std::string text;
  try {
    text = ReadText(textFile);
  } catch (const kv::Exception& e) {
    throw kv::Exception(textFile + ": " + e.Message());
  }
  kv::BuildJobFile(text, textFile, kv::ProcessEnvironment(), jobFile);
  return kExitOk;
}

int RunJob(const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError{"show or build expected"};
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "show") return RunShow(rest);
  if (args[0] == "build") return RunBuild(rest);
  throw UsageError{"unknown job command \"" + args[0] + "\" (show or build)"};
}

const CommandRegistrar job{Command{
    "job", "job show FILE.job [--with-passwords] | job build TEXTFILE -o FILE.job",
    "show prints a job file as text: the job, its datasets (shapes) and DB links\n"
    "(connections) with all their settings, and the diagram (docs/job-text.md). Each\n"
    "password is written as a reference ${VANDREL_PASSWORD_<NAME>} to an environment\n"
    "variable (NAME: the dataset's name upper-cased, other bytes than letters and\n"
    "digits as _); --with-passwords writes them as they are, for backups.\n"
    "build writes a job file from such a text, atomically, taking each password from its\n"
    "variable; an error names TEXTFILE:LINE and writes nothing. A text without bounds is\n"
    "laid out left to right. show then build gives the same job file byte for byte.",
    70, RunJob}};

}  // namespace
}  // namespace cli
