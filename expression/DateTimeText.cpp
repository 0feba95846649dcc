#include "expression/DateTimeText.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "foundation/Exceptions.h"
#include "foundation/CharClass.h"

namespace kv {

namespace {

// Case-insensitive comparison of `text` at `pos` with the ASCII word `word`.
bool MatchAt(std::string_view text, size_t pos, std::string_view word) {
  if (word.empty() || pos + word.size() > text.size()) return false;
  for (size_t i = 0; i < word.size(); ++i)
    if (AsciiUpper(text[pos + i]) != AsciiUpper(word[i])) return false;
  return true;
}

struct TParts {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0, dayOfWeek = 1;  // 1 = Sunday
};

[[noreturn]] void TooLong() {
  throw EConvertError("The formatted date-time text would be longer than " + std::to_string(kMaxDateTimeTextLength) +
                      " characters");
}

// The end of the quoted piece that starts at `i` (past the closing quote, or
// the end of the pattern when the quote is not closed).
size_t SkipQuoted(std::string_view fmt, size_t i) {
  const size_t close = fmt.find(fmt[i], i + 1);
  return close == std::string_view::npos ? fmt.size() : close + 1;
}

class TDateFormatter {
public:
  TDateFormatter(TDateTime value, const TDateTimeSettings& st) : st_(st) {
    DecodeDateTime(value, p_.year, p_.month, p_.day, p_.hour, p_.minute, p_.second, p_.msec);
    p_.dayOfWeek = DayOfWeek(value);
  }

  // Appends `fmt` formatted. Level 0 is the caller's pattern; the patterns of
  // the settings that it names (c, ddddd, dddddd, t, tt) are level 1, and
  // inside them such names are ignored, so nothing recurses.
  void Append(std::string_view fmt, int level) {
    if (fmt.empty() && level == 0) fmt = "c";
    char lastToken = ' ';
    size_t i = 0;
    while (i < fmt.size()) {
      const char starter = fmt[i];
      char token = AsciiUpper(starter);
      if (IsAsciiUpper(token)) {
        if (token == 'M' && lastToken == 'H') token = 'N';
        lastToken = token;
      }
      // The run of the same byte that starts here.
      auto count = [&]() {
        size_t j = i + 1;
        while (j < fmt.size() && fmt[j] == starter) ++j;
        const size_t n = j - i;
        i = j;
        return n > 64 ? 64 : static_cast<int>(n);
      };
      switch (token) {
        case 'Y': {
          if (count() <= 2)
            Number(p_.year % 100, 2);
          else
            Number(p_.year, 4);
          break;
        }
        case 'M': {
          const int n = count();
          if (n <= 2)
            Number(p_.month, n);
          else if (n == 3)
            Put(st_.ShortMonthNames[static_cast<size_t>(p_.month - 1)]);
          else
            Put(st_.LongMonthNames[static_cast<size_t>(p_.month - 1)]);
          break;
        }
        case 'D': {
          const int n = count();
          if (n <= 2)
            Number(p_.day, n);
          else if (n == 3)
            Put(st_.ShortDayNames[static_cast<size_t>(p_.dayOfWeek - 1)]);
          else if (n == 4)
            Put(st_.LongDayNames[static_cast<size_t>(p_.dayOfWeek - 1)]);
          else if (n == 5)
            Nested(st_.ShortDateFormat, kShortDate, level);
          else
            Nested(st_.LongDateFormat, kLongDate, level);
          break;
        }
        case 'H': {
          const int n = count();
          int h = p_.hour;
          if (TwelveHourClock(fmt, i)) {
            if (h == 0)
              h = 12;
            else if (h > 12)
              h -= 12;
          }
          Number(h, n > 2 ? 2 : n);
          break;
        }
        case 'N': {
          const int n = count();
          Number(p_.minute, n > 2 ? 2 : n);
          break;
        }
        case 'S': {
          const int n = count();
          Number(p_.second, n > 2 ? 2 : n);
          break;
        }
        case 'Z': {
          const int n = count();
          Number(p_.msec, n > 3 ? 3 : n);
          break;
        }
        case 'T': {
          if (count() == 1)
            Nested(st_.ShortTimeFormat, kShortTime, level);
          else
            Nested(st_.LongTimeFormat, kLongTime, level);
          break;
        }
        case 'C': {
          count();
          Nested(st_.ShortDateFormat, kShortDate, level);
          // The time follows unless it is midnight (or there is no time pattern).
          if ((p_.hour != 0 || p_.minute != 0 || p_.second != 0) && !st_.LongTimeFormat.empty() && level == 0) {
            Put(" ");
            Nested(st_.LongTimeFormat, kLongTime, level);
          }
          break;
        }
        case 'A': {
          if (MatchAt(fmt, i, "am/pm")) {
            Put(fmt.substr(p_.hour >= 12 ? i + 3 : i, 2));
            i += 5;
          } else if (MatchAt(fmt, i, "a/p")) {
            Put(fmt.substr(p_.hour >= 12 ? i + 2 : i, 1));
            i += 3;
          } else if (MatchAt(fmt, i, "ampm")) {
            Put(p_.hour < 12 ? st_.TimeAMString : st_.TimePMString);
            i += 4;
          } else if (MatchAt(fmt, i, "aaaa")) {
            Put(st_.LongDayNames[static_cast<size_t>(p_.dayOfWeek - 1)]);
            i += 4;
          } else if (MatchAt(fmt, i, "aaa")) {
            Put(st_.ShortDayNames[static_cast<size_t>(p_.dayOfWeek - 1)]);
            i += 3;
          } else {
            Put(fmt.substr(i, 1));
            ++i;
          }
          break;
        }
        case '/':
          if (st_.DateSeparator != 0) Put(std::string_view(&st_.DateSeparator, 1));
          ++i;
          break;
        case ':':
          if (st_.TimeSeparator != 0) Put(std::string_view(&st_.TimeSeparator, 1));
          ++i;
          break;
        case '\'':
        case '"': {
          // Literal text up to the matching quote (or the end of the pattern).
          const size_t close = std::min(fmt.find(starter, i + 1), fmt.size());
          Put(fmt.substr(i + 1, close - i - 1));
          i = close < fmt.size() ? close + 1 : close;
          break;
        }
        default: {
          // A run of plain characters is copied at once.
          size_t j = i + 1;
          while (j < fmt.size() && IsPlain(fmt[j])) ++j;
          Put(fmt.substr(i, j - i));
          i = j;
          break;
        }
      }
    }
  }

  std::string Take() { return std::move(out_); }

private:
  enum TNestedPattern { kShortDate, kLongDate, kShortTime, kLongTime, kNestedCount };

  // A byte that is no token, separator or quote and so is copied as it is.
  static bool IsPlain(char c) {
    if (IsAsciiLetter(c)) return false;
    return c != '/' && c != ':' && c != '\'' && c != '"';
  }

  // Whether the hour token that ended just before `from` uses the 12-hour
  // clock: an am/pm, a/p or ampm token comes before the next hour token.
  // Quoted pieces are skipped the way Append skips them.
  static bool TwelveHourClock(std::string_view fmt, size_t from) {
    size_t j = from;
    while (j < fmt.size()) {
      const char c = fmt[j];
      if (c == '\'' || c == '"') {
        j = SkipQuoted(fmt, j);
        continue;
      }
      if (c == 'a' || c == 'A') return MatchAt(fmt, j, "am/pm") || MatchAt(fmt, j, "a/p") || MatchAt(fmt, j, "ampm");
      if (c == 'h' || c == 'H') return false;
      ++j;
    }
    return false;
  }

  void Put(std::string_view s) {
    if (s.size() > kMaxDateTimeTextLength - out_.size()) TooLong();
    out_.append(s);
  }

  void Number(int value, int minDigits) {
    char buf[16];
    int n = 0;
    unsigned v = value < 0 ? 0u : static_cast<unsigned>(value);
    do {
      buf[n++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v != 0 && n < 10);
    while (n < minDigits && n < 10) buf[n++] = '0';
    char text[16];
    for (int k = 0; k < n; ++k) text[k] = buf[n - 1 - k];
    Put(std::string_view(text, static_cast<size_t>(n)));
  }

  // A pattern of the settings named inside the caller's pattern. Its text
  // depends only on the value, so it is formatted once and then copied: a
  // long pattern that names a long pattern many times costs no more than
  // the text it makes.
  void Nested(const std::string& fmt, TNestedPattern which, int level) {
    if (level > 0 || fmt.empty()) return;
    std::string& memo = nested_[which];
    if (!done_[which]) {
      std::string saved = std::move(out_);
      out_.clear();
      try {
        Append(fmt, level + 1);
      } catch (...) {
        out_ = std::move(saved);
        throw;
      }
      memo = std::move(out_);
      out_ = std::move(saved);
      done_[which] = true;
    }
    Put(memo);
  }

  const TDateTimeSettings& st_;
  TParts p_;
  std::string out_;
  std::string nested_[kNestedCount];
  bool done_[kNestedCount] = {};
};

// ---- Reading --------------------------------------------------------------------

enum TDateOrder { doMDY, doDMY, doYMD };

TDateOrder GetDateOrder(std::string_view fmt) {
  bool quoted = false;
  for (char c : fmt) {
    if (c == '\'' || c == '"') quoted = !quoted;
    if (quoted) continue;
    switch (AsciiUpper(c)) {
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
    if (st_.DateSeparator == 0 && !st_.AnyDateSeparator) return CompactDate(result);
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
      if (yearDigits <= 2) y = WindowYear(y);
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

  // A date without separators ("20030517" for "yyyymmdd"): the pattern's
  // year, month and day fields in their order and width (yy or yyyy, mm,
  // dd; m and d count as two digits), digits only.
  bool CompactDate(TDateTime& result) {
    int fields[3] = {};
    char order[3] = {};
    int n = 0;
    for (size_t i = 0; i < st_.ShortDateFormat.size();) {
      const char c = st_.ShortDateFormat[i];
      if (c == '\'' || c == '"') {
        const size_t close = st_.ShortDateFormat.find(c, i + 1);
        i = close == std::string::npos ? st_.ShortDateFormat.size() : close + 1;
        continue;
      }
      size_t j = i + 1;
      while (j < st_.ShortDateFormat.size() && st_.ShortDateFormat[j] == c) ++j;
      const size_t run = j - i;
      i = j;
      const char u = AsciiUpper(c);
      if (u != 'Y' && u != 'M' && u != 'D') continue;
      if (n == 3 || (u != 'Y' && run > 2)) return false;
      order[n] = u;
      fields[n++] = u == 'Y' && run > 2 ? 4 : 2;
    }
    if (n != 3 || order[0] == order[1] || order[0] == order[2] || order[1] == order[2]) return false;
    Blanks();
    int y = 0, m = 0, d = 0;
    for (int k = 0; k < 3; ++k) {
      int v = 0;
      for (int digit = 0; digit < fields[k]; ++digit) {
        if (pos >= s_.size() || !IsDigit(s_[pos])) return false;
        v = v * 10 + (s_[pos++] - '0');
      }
      (order[k] == 'Y' ? y : order[k] == 'M' ? m : d) = v;
      if (order[k] == 'Y' && fields[k] == 2) y = WindowYear(y);
    }
    if (pos < s_.size() && IsDigit(s_[pos])) return false;
    return TryEncodeDate(y, m, d, result);
  }

  // A year of one or two digits placed in the century window.
  int WindowYear(int y) const {
    const int base = YearOf(Now()) - st_.TwoDigitYearCenturyWindow;
    y += base / 100 * 100;
    if (st_.TwoDigitYearCenturyWindow > 0 && y < base) y += 100;
    return y;
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

// The message quotes at most the first 100 characters of the text.
[[noreturn]] void NotValid(std::string_view text, const char* what) {
  constexpr size_t kShown = 100;
  const std::string shown = text.size() > kShown ? std::string(text.substr(0, kShown)) + "..." : std::string(text);
  throw EConvertError("'" + shown + "' is not a valid " + what);
}

// The first separator a pattern shows between `from` and the first of the
// letters in `stop`: a character that is no letter, digit, blank or quote,
// outside quoted text.
char PatternSeparator(std::string_view pattern, size_t from, std::string_view stop) {
  for (size_t i = from; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '\'' || c == '"') {
      const size_t close = pattern.find(c, i + 1);
      if (close == std::string_view::npos) break;
      i = close;
      continue;
    }
    const char u = AsciiUpper(c);
    if (stop.find(u) != std::string_view::npos) break;
    if (IsAsciiUpper(u) || IsDigit(c) || c == ' ' || c == '\t') continue;
    return c;
  }
  return 0;
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
  s.ShortDateFormat = std::string(shortDateFormat);
  s.LongTimeFormat = std::string(longTimeFormat);
  s.LongDateFormat.clear();
  s.ShortTimeFormat.clear();
  s.AnyDateSeparator = false;
  return s;
}

char PatternDateSeparator(std::string_view pattern) { return PatternSeparator(pattern, 0, "HNSZTA"); }

char PatternTimeSeparator(std::string_view pattern) {
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '\'' || c == '"') {
      const size_t close = pattern.find(c, i + 1);
      if (close == std::string_view::npos) break;
      i = close;
    } else if (c == 'h' || c == 'H') {
      return PatternSeparator(pattern, i, "");
    }
  }
  return 0;
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
