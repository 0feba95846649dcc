// vandrel-cli messages / tips: print the message tables, the window
// translation table and the tips of one language.
#include <iostream>

#include "CliCommand.h"
#include "environment/CoreMessages.h"
#include "environment/LanguageTranslate.h"
#include "environment/Tips.h"

namespace {

// Reads "[--lang en|zh]" and switches the libraries to that language.
void SelectLanguage(const std::vector<std::string>& args) {
  kv::TLanguageType language = kv::ltEnglish;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string value;
    if (a == "--lang") {
      if (i + 1 >= args.size()) throw cli::UsageError{"--lang needs a value (en or zh)"};
      value = args[++i];
    } else if (a.rfind("--lang=", 0) == 0) {
      value = a.substr(7);
    } else {
      throw cli::UsageError{"unexpected argument \"" + a + "\""};
    }
    if (value == "en") {
      language = kv::ltEnglish;
    } else if (value == "zh") {
      language = kv::ltSimpleChinese;
    } else {
      throw cli::UsageError{"unknown language \"" + value + "\" (en or zh)"};
    }
  }
  kv::KVSetLanguage(language);
}

int RunMessages(const std::vector<std::string>& args) {
  SelectLanguage(args);
  std::ostream& out = std::cout;
  for (const kv::TMessage* m : kv::KVLibMessages()) out << m->Name() << '=' << cli::EscapeField(m->c_str()) << '\n';
  for (const kv::TMessage* m : kv::KVCoreMessages()) out << m->Name() << '=' << cli::EscapeField(m->c_str()) << '\n';
  if (const kv::TStringList* table = kv::KVLanguage)
    for (int i = 0; i < table->Count(); ++i) out << cli::EscapeField(table->Strings(i)) << '\n';
  out.flush();
  return out ? cli::kExitOk : cli::kExitFailure;
}

int RunTips(const std::vector<std::string>& args) {
  SelectLanguage(args);
  std::vector<std::string> tips;
  kv::GetTips(tips);
  for (const std::string& tip : tips) std::cout << cli::EscapeField(tip) << '\n';
  std::cout.flush();
  return std::cout ? cli::kExitOk : cli::kExitFailure;
}

const cli::CommandRegistrar messagesCommand{cli::Command{
    "messages", "messages [--lang en|zh]",
    "Prints every message as NAME=TEXT (foundation messages, then core messages,\n"
    "each in table order; CR, LF, tab and backslash escaped), then every line of\n"
    "the window translation table. English unless --lang zh.",
    30, RunMessages}};

const cli::CommandRegistrar tipsCommand{cli::Command{
    "tips", "tips [--lang en|zh]",
    "Prints the tips of the tip window, one per line (heading and text separated\n"
    "by an escaped line break \\n). English unless --lang zh.",
    31, RunTips}};

}  // namespace
