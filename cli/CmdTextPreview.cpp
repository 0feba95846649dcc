// text-preview: a text data file as the text file dataset reads it.
#include <charconv>
#include <iostream>

#include "CliCommand.h"
#include "data/TextFileDataset.h"
#include "foundation/Exceptions.h"

namespace cli {
namespace {

int32_t Count(const std::string& option, const std::string& value) {
  int32_t n = 0;
  auto r = std::from_chars(value.data(), value.data() + value.size(), n);
  if (r.ec != std::errc() || r.ptr != value.data() + value.size() || n < 0)
    throw UsageError{option + " needs a number of 0 or more, not \"" + value + "\""};
  return n;
}

int RunTextPreview(const std::vector<std::string>& args) {
  std::string file;
  std::string delimiter, qualifier, rowSeparator, widths;
  bool hasDelimiter = false, hasQualifier = false, hasRowSeparator = false, fixed = false;
  bool header = false, loadBad = false;
  int32_t skip = 0, rows = 10;
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
      skip = Count(a, value());
    } else if (a == "--rows") {
      rows = Count(a, value());
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
  try {
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
    throw kv::Exception(file + ": " + e.Message());
  }

  std::string out;
  for (int i = 0; i < ds.FieldCount(); ++i) {
    if (i) out += '\t';
    out += EscapeField(ds.Fields(i).FieldName());
  }
  out += '\n';
  std::string value;
  int32_t shown = 0;
  for (ds.First(); !ds.Eof() && shown < rows; ds.Next(), ++shown) {
    for (int i = 0; i < ds.FieldCount(); ++i) {
      if (i) out += '\t';
      ds.Fields(i).ReadText(value);
      out += EscapeField(value);
    }
    out += '\n';
  }
  out += "# bad records:";
  const kv::TPlainStringList& bad = ds.BadRecords();
  for (int i = 0; i < bad.Count(); ++i) out += ' ' + bad.Strings(i);
  out += '\n';
  std::cout << out;
  return kExitOk;
}

const CommandRegistrar textPreview{Command{
    "text-preview",
    "text-preview FILE [--delimiter X] [--qualifier X] [--row-separator X] [--fixed WIDTHS] "
    "[--skip N] [--header] [--load-bad] [--rows N]",
    "Reads a delimited or fixed-width text file as a text dataset would and prints the\n"
    "field names, the first N records (10 by default; fields separated by tabs; tab, CR,\n"
    "LF and backslash escaped) and the numbers of the records whose field count differs.\n"
    "X is written in the escaped notation: <tab>, <cr>, <lf>, <null>, <> (nothing), or\n"
    "the character itself. The defaults are \",\", '\"' and <cr><lf>; --fixed takes\n"
    "widths separated by \";\", --skip lines to skip first, --header names the fields\n"
    "from the first record, --load-bad keeps records with a different field count.",
    40, RunTextPreview}};

}  // namespace
}  // namespace cli
