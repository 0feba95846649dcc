// vandrel-shots OUTDIR: opens every window with sample data, first in
// English and then in Simplified Chinese, and writes one PNG per window into
// OUTDIR (see Shots.h). The program folder (PrgDir, normally $VANDREL_HOME)
// supplies the sample jobs. Messages the windows raise are printed instead
// of shown, so the run never waits for a user. Exit status 1 when OUTDIR
// cannot be made, 2 on a usage error.
#include <QApplication>
#include <QDir>
#include <cstdio>

#include "Shots.h"
#include "editors/QtMainThread.h"
#include "editors/QtText.h"
#include "environment/CoreMessages.h"
#include "foundation/FileUtils.h"
#include "foundation/UserInterface.h"

namespace {

using TShooter = void (*)(const QString& outDir, const QString& suffix, const QString& home);

// The functions listed in app/shots/Shots.cmake.
const TShooter kShooters[] = {
#include "ShotFunctions.inc"
};

// Prints what would be shown and gives each question its default answer.
class TPrintingUI : public kv::IUserInterface {
public:
  int MessageDlg(const std::string& text, kv::TMsgDlgType, kv::TMsgDlgButtons, int defaultAnswer) override {
    std::fprintf(stderr, "vandrel-shots: message: %s\n", text.c_str());
    return defaultAnswer;
  }
  void Beep() override {}
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("vandrel");
  QApplication::setOrganizationName("Vandrelworks");
  const QStringList args = QCoreApplication::arguments();
  if (args.size() != 2) {
    std::fprintf(stderr, "usage: vandrel-shots OUTDIR\n");
    return 2;
  }
  const QString outDir = QDir(args[1]).absolutePath();
  if (!QDir().mkpath(outDir)) {
    std::fprintf(stderr, "vandrel-shots: cannot make %s\n", qPrintable(outDir));
    return 1;
  }
  kv::TQtMainThreadScope mainThread;
  TPrintingUI ui;
  kv::IUserInterface* previous = kv::SetUserInterface(&ui);
  const QString home = kv::QStr(kv::PrgDir());
  for (const auto& [language, suffix] : {std::pair{kv::ltEnglish, "en"}, std::pair{kv::ltSimpleChinese, "zh"}}) {
    kv::KVSetLanguage(language);
    for (TShooter shoot : kShooters) shoot(outDir, suffix, home);
  }
  kv::KVSetLanguage(kv::ltEnglish);
  kv::SetUserInterface(previous);
  return 0;
}
