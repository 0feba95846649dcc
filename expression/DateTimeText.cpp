#include "expression/DateTimeText.h"

#include <cstdint>

#include "foundation/Exceptions.h"

namespace kv {

namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Case-insensitive comparison of `text` at `pos` with the ASCII word `word`.
bool MatchAt(std::string_view text, size_t pos, std::string_view word) {
  if (word.empty() || pos + word.size() > text.size()) return false;
  for (size_t i = 0; i < word.size(); ++i)
    if (Upper(text[pos + i]) != Upper(word[i])) return false;
  return true;
}

void AppendNumber(std::string& out, int64_t value, int minDigits) {
  char buf[24];
  int n = 0;
  bool negative = value < 0;
  uint64_t v = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    buf[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  while (n < minDigits && n < 20) buf[n++] = '0';
  if (negative) out.push_back('-');
  while (n > 0) out.push_back(buf[--n]);
}

struct TParts {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0, dayOfWeek = 1;  // 1 = Sunday
};

class TDateFormatter {
public:
  TDateFormatter(TDateTime value, const TDateTimeSettings& st) : st_(st) {
    DecodeDateTime(value, p_.year, p_.month, p_.day, p_.hour, p_.minute, p_.second, p_.msec);
    p_.dayOfWeek = DayOfWeek(value);
  }

  void Append(std::string_view fmt, int level) {
    if (fmt.empty() && level == 0) fmt = "c";
    char lastToken = ' ';
    bool use12Hour = false;
    size_t i = 0;
    while (i < fmt.size()) {
      const char starter = fmt[i];
      char token = Upper(starter);
      if (token >= 'A' && token <= 'Z') {
        if (token == 'M' && lastToken == 'H') token = 'N';
        lastToken = token;
      }
      // The run of the same byte that starts here.
      auto count = [&]() {
        size_t j = i + 1;
        while (j < fmt.size() && fmt[j] == starter) ++j;
        int n = static_cast<int>(j - i);
        i = j;
        return n;
      };
      switch (token) {
        case 'Y': {
          int n = count();
          if (n <= 2)
            AppendNumber(out_, p_.year % 100, 2);
          else
            AppendNumber(out_, p_.year, 4);
          break;
        }
        case 'M': {
          int n = count();
          if (n <= 2)
            AppendNumber(out_, p_.month, n);
          else if (n == 3)
            out_ += st_.ShortMonthNames[static_cast<size_t>(p_.month - 1)];
          else
            out_ += st_.LongMonthNames[static_cast<size_t>(p_.month - 1)];
          break;
        }
        case 'D': {
          int n = count();
          if (n <= 2)
            AppendNumber(out_, p_.day, n);
          else if (n == 3)
            out_ += st_.ShortDayNames[static_cast<size_t>(p_.dayOfWeek - 1)];
          else if (n == 4)
            out_ += st_.LongDayNames[static_cast<size_t>(p_.dayOfWeek - 1)];
          else if (n == 5)
            Nested(st_.ShortDateFormat, level);
          else
            Nested(st_.LongDateFormat, level);
          break;
        }
        case 'H': {
          int n = count();
          // A 12-hour clock when an am/pm token comes before the next hour
          // token (quoted text does not count).
          bool quoted = false;
          use12Hour = false;
          for (size_t j = i; j < fmt.size(); ++j) {
            char c = fmt[j];
            if (c == '\'' || c == '"') {
              quoted = !quoted;
            } else if (!quoted && (c == 'a' || c == 'A')) {
              use12Hour = MatchAt(fmt, j, "am/pm") || MatchAt(fmt, j, "a/p") || MatchAt(fmt, j, "ampm");
              break;
            } else if (!quoted && (c == 'h' || c == 'H')) {
              break;
            }
          }
          int h = p_.hour;
          if (use12Hour) {
            if (h == 0)
              h = 12;
            else if (h > 12)
              h -= 12;
          }
          AppendNumber(out_, h, n > 2 ? 2 : n);
          break;
        }
        case 'N': {
          int n = count();
          AppendNumber(out_, p_.minute, n > 2 ? 2 : n);
          break;
        }
        case 'S': {
          int n = count();
          AppendNumber(out_, p_.second, n > 2 ? 2 : n);
          break;
        }
        case 'Z': {
          int n = count();
          AppendNumber(out_, p_.msec, n > 3 ? 3 : n);
          break;
        }
        case 'T': {
          int n = count();
          Nested(n == 1 ? st_.ShortTimeFormat : st_.LongTimeFormat, level);
          break;
        }
        case 'C': {
          count();
          Nested(st_.ShortDateFormat, level);
          if (p_.hour != 0 || p_.minute != 0 || p_.second != 0) {
            out_.push_back(' ');
            Nested(st_.LongTimeFormat, level);
          }
          break;
        }
        case 'A': {
          if (MatchAt(fmt, i, "am/pm")) {
            out_.append(fmt.substr(p_.hour >= 12 ? i + 3 : i, 2));
            i += 5;
          } else if (MatchAt(fmt, i, "a/p")) {
            out_.append(fmt.substr(p_.hour >= 12 ? i + 2 : i, 1));
            i += 3;
          } else if (MatchAt(fmt, i, "ampm")) {
            out_ += p_.hour < 12 ? st_.TimeAMString : st_.TimePMString;
            i += 4;
          } else if (MatchAt(fmt, i, "aaaa")) {
            out_ += st_.LongDayNames[static_cast<size_t>(p_.dayOfWeek - 1)];
            i += 4;
          } else if (MatchAt(fmt, i, "aaa")) {
            out_ += st_.ShortDayNames[static_cast<size_t>(p_.dayOfWeek - 1)];
            i += 3;
          } else {
            out_.push_back(starter);
            ++i;
          }
          break;
        }
        case '/':
          if (st_.DateSeparator != 0) out_.push_back(st_.DateSeparator);
          ++i;
          break;
        case ':':
          if (st_.TimeSeparator != 0) out_.push_back(st_.TimeSeparator);
          ++i;
          break;
        case '\'':
        case '"': {
          size_t j = i + 1;
          while (j < fmt.size() && fmt[j] != starter) ++j;
          out_.append(fmt.substr(i + 1, j - i - 1));
          i = j < fmt.size() ? j + 1 : j;
          break;
        }
        default:
          out_.push_back(starter);
          ++i;
          break;
      }
    }
  }

  std::string Take() { return std::move(out_); }

private:
  // Patterns inside patterns (short date, long time, ...) go one level deep
  // only, so a pattern that names itself cannot recurse without end.
  void Nested(const std::string& fmt, int level) {
    if (level < 2) Append(fmt, level + 1);
  }

  const TDateTimeSettings& st_;
  TParts p_;
  std::string out_;
};

// ---- Reading --------------------------------------------------------------------

enum TDateOrder { doMDY, doDMY, doYMD };

TDateOrder GetDateOrder(std::string_view fmt) {
  bool quoted = false;
  for (char c : fmt) {
    if (c == '\'' || c == '"') quoted = !quoted;
    if (quoted) continue;
    switch (Upper(c)) {
      case 'Y': return doYMD;
      case 'M': return doMDY;
      case 'D': return doDMY;
      default: break;
    }
  }
  return doYMD;
}

class TScanner {
public:
  TScanner(std::string_view text, const TDateTimeSettings& st) : s_(text), st_(st) {}

  size_t pos = 0;

  bool AtEnd() {
    Blanks();
    return pos >= s_.size();
  }
  void Blanks() {
    while (pos < s_.size() && (s_[pos] == ' ' || s_[pos] == '\t')) ++pos;
  }
  bool Number(int& value, int& digits) {
    Blanks();
    size_t start = pos;
    int64_t v = 0;
    while (pos < s_.size() && IsDigit(s_[pos]) && pos - start < 9) v = v * 10 + (s_[pos++] - '0');
    digits = static_cast<int>(pos - start);
    value = static_cast<int>(v);
    return digits > 0;
  }
  bool Char(char c) {
    if (c == 0) return false;
    Blanks();
    if (pos < s_.size() && s_[pos] == c) {
      ++pos;
      return true;
    }
    return false;
  }
  bool DateSep() {
    Blanks();
    if (pos >= s_.size()) return false;
    char c = s_[pos];
    if ((st_.DateSeparator != 0 && c == st_.DateSeparator) || (st_.AnyDateSeparator && (c == '-' || c == '/' || c == '.'))) {
      ++pos;
      return true;
    }
    return false;
  }
  bool Word(std::string_view w) {
    Blanks();
    if (MatchAt(s_, pos, w)) {
      pos += w.size();
      return true;
    }
    return false;
  }

  bool Date(TDateTime& result) {
    int n1, n2, n3, l1, l2, l3;
    if (!Number(n1, l1) || !DateSep() || !Number(n2, l2)) return false;
    TDateOrder order = GetDateOrder(st_.ShortDateFormat);
    int y, m, d, yearDigits;
    if (DateSep()) {
      if (!Number(n3, l3)) return false;
      if (order != doYMD && l1 > 2) order = doYMD;
      switch (order) {
        case doMDY: y = n3; yearDigits = l3; m = n1; d = n2; break;
        case doDMY: y = n3; yearDigits = l3; m = n2; d = n1; break;
        default: y = n1; yearDigits = l1; m = n2; d = n3; break;
      }
      if (yearDigits <= 2) {
        int base = YearOf(Now()) - st_.TwoDigitYearCenturyWindow;
        y += base / 100 * 100;
        if (st_.TwoDigitYearCenturyWindow > 0 && y < base) y += 100;
      }
    } else {
      y = YearOf(Now());
      if (order == doDMY) {
        d = n1;
        m = n2;
      } else {
        m = n1;
        d = n2;
      }
    }
    return TryEncodeDate(y, m, d, result);
  }

  bool Time(TDateTime& result) {
    int baseHour = -1;
    if (Word(st_.TimeAMString) || Word("AM"))
      baseHour = 0;
    else if (Word(st_.TimePMString) || Word("PM"))
      baseHour = 12;
    int hour, minute = 0, second = 0, msec = 0, l;
    if (!Number(hour, l)) return false;
    if (Char(st_.TimeSeparator)) {
      if (!Number(minute, l)) return false;
      if (Char(st_.TimeSeparator)) {
        if (!Number(second, l)) return false;
        if (Char(st_.DecimalSeparator) && !Number(msec, l)) return false;
      }
    }
    if (baseHour < 0) {
      if (Word(st_.TimeAMString) || Word("AM"))
        baseHour = 0;
      else if (Word(st_.TimePMString) || Word("PM"))
        baseHour = 12;
    }
    if (baseHour >= 0) {
      if (hour == 0 || hour > 12) return false;
      if (hour == 12) hour = 0;
      hour += baseHour;
    }
    return TryEncodeTime(hour, minute, second, msec, result);
  }

private:
  std::string_view s_;
  const TDateTimeSettings& st_;
};

[[noreturn]] void NotValid(std::string_view text, const char* what) {
  throw EConvertError("'" + std::string(text) + "' is not a valid " + what);
}

}  // namespace

const TDateTimeSettings& DefaultDateTimeSettings() {
  static const TDateTimeSettings settings;
  return settings;
}

TDateTimeSettings PatternDateTimeSettings(std::string_view shortDateFormat, std::string_view longTimeFormat,
                                          char dateSeparator, char timeSeparator) {
  TDateTimeSettings s;
  s.DateSeparator = dateSeparator;
  s.TimeSeparator = timeSeparator;
  s.DecimalSeparator = 0;
  s.ShortDateFormat = std::string(shortDateFormat);
  s.LongTimeFormat = std::string(longTimeFormat);
  s.LongDateFormat.clear();
  s.ShortTimeFormat.clear();
  s.TimeAMString.clear();
  s.TimePMString.clear();
  for (auto& n : s.ShortMonthNames) n.clear();
  for (auto& n : s.LongMonthNames) n.clear();
  for (auto& n : s.ShortDayNames) n.clear();
  for (auto& n : s.LongDayNames) n.clear();
  s.AnyDateSeparator = false;
  return s;
}

std::string FormatDateTime(std::string_view pattern, TDateTime value, const TDateTimeSettings& settings) {
  TDateFormatter f(value, settings);
  f.Append(pattern, 0);
  return f.Take();
}

std::string DateTimeToStr(TDateTime value, const TDateTimeSettings& settings) { return FormatDateTime("c", value, settings); }

std::string DateToStr(TDateTime value, const TDateTimeSettings& settings) {
  return FormatDateTime(settings.ShortDateFormat.empty() ? std::string_view("ddddd") : std::string_view(settings.ShortDateFormat),
                        value, settings);
}

std::string TimeToStr(TDateTime value, const TDateTimeSettings& settings) {
  return FormatDateTime(settings.LongTimeFormat.empty() ? std::string_view("tt") : std::string_view(settings.LongTimeFormat),
                        value, settings);
}

bool TryStrToDate(std::string_view text, TDateTime& result, const TDateTimeSettings& settings) {
  TScanner s(text, settings);
  TDateTime d;
  if (!s.Date(d) || !s.AtEnd()) return false;
  result = d;
  return true;
}

bool TryStrToTime(std::string_view text, TDateTime& result, const TDateTimeSettings& settings) {
  TScanner s(text, settings);
  TDateTime t;
  if (!s.Time(t) || !s.AtEnd()) return false;
  result = t;
  return true;
}

bool TryStrToDateTime(std::string_view text, TDateTime& result, const TDateTimeSettings& settings) {
  TScanner s(text, settings);
  TDateTime d, t = 0;
  if (s.Date(d) && (s.AtEnd() || (s.Time(t) && s.AtEnd()))) {
    result = d >= 0 ? d + t : d - t;
    return true;
  }
  return TryStrToTime(text, result, settings);
}

TDateTime StrToDate(std::string_view text, const TDateTimeSettings& settings) {
  TDateTime r;
  if (!TryStrToDate(text, r, settings)) NotValid(text, "date");
  return r;
}

TDateTime StrToTime(std::string_view text, const TDateTimeSettings& settings) {
  TDateTime r;
  if (!TryStrToTime(text, r, settings)) NotValid(text, "time");
  return r;
}

TDateTime StrToDateTime(std::string_view text, const TDateTimeSettings& settings) {
  TDateTime r;
  if (!TryStrToDateTime(text, r, settings)) NotValid(text, "date and time");
  return r;
}

bool HasDateSeparator(std::string_view text, const TDateTimeSettings& settings) {
  for (char c : text)
    if ((settings.DateSeparator != 0 && c == settings.DateSeparator) ||
        (settings.AnyDateSeparator && (c == '-' || c == '/' || c == '.')))
      return true;
  return false;
}

bool HasTimeSeparator(std::string_view text, const TDateTimeSettings& settings) {
  return settings.TimeSeparator != 0 && text.find(settings.TimeSeparator) != std::string_view::npos;
}

}  // namespace kv
