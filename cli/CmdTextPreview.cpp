// text-preview: a text data file as the text file dataset reads it.
#include <iostream>

#include "CliCommand.h"
#include "data/TextFileDataset.h"
#include "foundation/Exceptions.h"
#include "foundation/UserInterface.h"

namespace cli {
namespace {

// The headless user interface, less the warnings: the command prints those itself.
class TPreviewUI : public kv::THeadlessUserInterface {
public:
  int MessageDlg(const std::string& text, kv::TMsgDlgType type, kv::TMsgDlgButtons buttons, int defaultAnswer) override {
    if (type == kv::mtWarning && buttons == kv::mbOKOnly) return defaultAnswer;
    return THeadlessUserInterface::MessageDlg(text, type, buttons, defaultAnswer);
  }
};

struct TUIGuard {
  explicit TUIGuard(kv::IUserInterface* ui) : old(kv::SetUserInterface(ui)) {}
  ~TUIGuard() { kv::SetUserInterface(old); }
  kv::IUserInterface* old;
};

int RunTextPreview(const std::vector<std::string>& args) {
  std::string file;
  std::string delimiter, qualifier, rowSeparator, widths, encoding;
  bool hasDelimiter = false, hasQualifier = false, hasRowSeparator = false, fixed = false;
  bool header = false, loadBad = false;
  int32_t skip = 0, rows = 10, maxFields = -1;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw UsageError{a + " needs a value"};
      return args[++i];
    };
    if (a == "--delimiter") {
      delimiter = value();
      hasDelimiter = true;
    } else if (a == "--qualifier") {
      qualifier = value();
      hasQualifier = true;
    } else if (a == "--row-separator") {
      rowSeparator = value();
      hasRowSeparator = true;
    } else if (a == "--fixed") {
      widths = value();
      fixed = true;
    } else if (a == "--skip") {
      skip = ParseCount(a, value());
    } else if (a == "--rows") {
      rows = ParseCount(a, value());
    } else if (a == "--encoding") {
      encoding = value();
    } else if (a == "--max-fields") {
      maxFields = ParseCount(a, value());
    } else if (a == "--header") {
      header = true;
    } else if (a == "--load-bad") {
      loadBad = true;
    } else if (!a.empty() && a[0] == '-' && a != "-") {
      throw UsageError{"unknown option \"" + a + "\""};
    } else if (file.empty()) {
      file = a;
    } else {
      throw UsageError{"expected one FILE"};
    }
  }
  if (file.empty()) throw UsageError{"expected one FILE"};

  kv::TTextFileDataset ds;
  TPreviewUI ui;
  TUIGuard uiGuard(&ui);
  try {
    if (!encoding.empty()) ds.SetEncoding(encoding);
    if (maxFields >= 0) {
      ds.UnattendedMaxFields = maxFields;
      if (ds.MaxFieldsWarn < maxFields) ds.MaxFieldsWarn = maxFields;
    }
    if (hasDelimiter) ds.SetColumnSeperator(delimiter);
    if (hasQualifier) ds.SetStringQualifier(qualifier);
    if (hasRowSeparator) ds.SetRowSeperator(rowSeparator);
    if (fixed) {
      ds.SetTextFileType(kv::tftFixedWidths);
      ds.SetColumnWidths(widths);
    }
    ds.SetSkipRows(skip);
    ds.SetExtractColumnNamesFromFirstLine(header);
    ds.LoadBadRecords = loadBad;
    ds.SetTableName(file);
    ds.Open();
  } catch (const kv::Exception& e) {
    std::string message = e.Message();
    if (message.find("VANDREL_MAX_TEXT_FIELDS") != std::string::npos) message += " (or use --max-fields N)";
    // Messages that name the file already are not prefixed with it again.
    throw kv::Exception(message.find(file) != std::string::npos ? message : file + ": " + message);
  }

  std::string out;
  for (int i = 0; i < ds.FieldCount(); ++i) {
    if (i) out += '\t';
    out += EscapeTerminalField(ds.Fields(i).FieldName());
  }
  out += '\n';
  std::string value;
  int32_t shown = 0;
  for (ds.First(); !ds.Eof() && shown < rows; ds.Next(), ++shown) {
    for (int i = 0; i < ds.FieldCount(); ++i) {
      if (i) out += '\t';
      ds.Fields(i).ReadText(value);
      out += EscapeTerminalField(value);
    }
    out += '\n';
  }
  out += "# bad records:";
  const kv::TPlainStringList& bad = ds.BadRecords();
  for (int i = 0; i < bad.Count(); ++i) out += ' ' + bad.Strings(i);
  out += '\n';
  // Why, for the records bad for another reason than their field count (at most --rows of them).
  const kv::TPlainStringList& reasons = ds.BadRecordReasons();
  int32_t told = 0;
  for (int i = 0; i < reasons.Count() && told < rows; ++i) {
    if (reasons.Strings(i).find(" fields instead of ") != std::string::npos) continue;
    out += "# bad record " + bad.Strings(i) + ": " + EscapeTerminalField(reasons.Strings(i)) + '\n';
    ++told;
  }
  for (int i = 0; i < ds.Warnings().Count(); ++i)
    out += "# warning: " + EscapeTerminalField(ds.Warnings().Strings(i)) + '\n';
  std::cout << out;
  return kExitOk;
}

const CommandRegistrar textPreview{Command{
    "text-preview",
    "text-preview FILE [--delimiter X] [--qualifier X] [--row-separator X] [--fixed WIDTHS] "
    "[--skip N] [--header] [--load-bad] [--rows N] [--encoding NAME] [--max-fields N]",
    "Reads a delimited or fixed-width text file as a text dataset would and prints the\n"
    "field names, the first N records (10 by default; fields separated by tabs; tab, CR,\n"
    "LF and backslash escaped, other control bytes as \\xNN) and the numbers of the bad\n"
    "records (another field count, a qualifier never closed, bytes that do not convert),\n"
    "then why, and any warning (\"# warning: ...\").\n"
    "X is written in the escaped notation: <tab>, <cr>, <lf>, <null>, <> (nothing), or\n"
    "the character itself. The defaults are \",\", '\"' and <cr><lf>; --fixed takes\n"
    "widths separated by \";\", --skip lines to skip first, --header names the fields\n"
    "from the first record, --load-bad keeps bad records. --encoding names the encoding\n"
    "of a file without a byte-order mark (UTF-8 by default; GB18030, GBK, CP1252, CP437,\n"
    "CP850 or any other name iconv knows). A first record of more than 10,000 fields\n"
    "is refused unless --max-fields N (or the environment variable\n"
    "VANDREL_MAX_TEXT_FIELDS) allows more.",
    40, RunTextPreview}};

}  // namespace
}  // namespace cli
