// Date-times as text: the pattern formatter of the expression language
// (yyyy, mm, dd, hh, nn, ss, zzz, ddd, mmmm, am/pm, quoted literals, ...)
// and the reading of dates, times and date-times from text, both driven by a
// settings record. The default settings are fixed rather than taken from the
// process locale, so that texts mean the same on every machine:
// dates "yyyy-mm-dd", times "hh:nn:ss", English month and day names.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "KVLib_export.h"
#include "foundation/DateUtils.h"

namespace kv {

// The longest text the formatter makes; a pattern that would make more
// raises EConvertError instead (a pattern of megabytes cannot exhaust memory).
inline constexpr size_t kMaxDateTimeTextLength = size_t{1} << 20;

// The format settings of date-times: the one place where the defaults of
// every date-time text of the system are written down. Whatever formats or
// reads a date-time without a pattern of its own (DateTimeToStr, DateToStr,
// TimeToStr, StrToDate, StrToDateTime, StrToTime, a date-time value turned
// into text or read from text) uses DefaultDateTimeSettings():
//   short date "yyyy-mm-dd", long date "dddd, mmmm d, yyyy",
//   short time "hh:nn", long time "hh:nn:ss",
//   date separator '-', time separator ':', decimal separator '.',
//   AM/PM "AM" and "PM", English month and day names,
//   any of '-', '/' and '.' separating a date being read,
//   two-digit years within 50 years before the current year.
struct KVLIB_EXPORT TDateTimeSettings {
  char DateSeparator = '-';
  char TimeSeparator = ':';
  char DecimalSeparator = '.';
  std::string ShortDateFormat = "yyyy-mm-dd";
  std::string LongDateFormat = "dddd, mmmm d, yyyy";
  std::string ShortTimeFormat = "hh:nn";
  std::string LongTimeFormat = "hh:nn:ss";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
  std::array<std::string, 12> ShortMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::array<std::string, 12> LongMonthNames{"January", "February", "March",     "April",   "May",      "June",
                                              "July",    "August",   "September", "October", "November", "December"};
  // Sunday first.
  std::array<std::string, 7> ShortDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  std::array<std::string, 7> LongDayNames{"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  // Reading: when set, '-', '/' and '.' all separate the parts of a date
  // (so "2003.05.17", the default text form of a date-time value, reads back).
  bool AnyDateSeparator = true;
  // Reading: a year of one or two digits lands within this many years
  // before the current year or fewer after it.
  int TwoDigitYearCenturyWindow = 50;
};

// The settings used where none are given.
KVLIB_EXPORT const TDateTimeSettings& DefaultDateTimeSettings();
// The settings the date functions build from their optional arguments: the
// given date pattern, time pattern and separators (0 leaves a separator
// empty), no other patterns (long date, short time) and only the given date
// separator when reading. The names, AM/PM strings, decimal separator and
// century window stay the defaults.
KVLIB_EXPORT TDateTimeSettings PatternDateTimeSettings(std::string_view shortDateFormat,
                                                       std::string_view longTimeFormat, char dateSeparator,
                                                       char timeSeparator);

// The first separator character a pattern shows in its date part (before
// any time letter) and after its first h: a character that is not a letter,
// digit, blank or quote, outside quoted text; 0 when there is none. The
// date functions take it when a pattern is given without separators, so
// StrToDate('17.05.2003', 'dd.mm.yyyy') reads with '.'.
KVLIB_EXPORT char PatternDateSeparator(std::string_view pattern);
KVLIB_EXPORT char PatternTimeSeparator(std::string_view pattern);

// Formats `value` by `pattern`. Pattern letters are case-insensitive:
//   c          short date, then the long time unless the time is 00:00:00
//              (or the long time pattern is empty)
//   d dd       day; ddd dddd short / long day name; ddddd short date; dddddd long date
//   m mm       month; mmm mmmm short / long month name (minutes right after h or hh)
//   yy yyyy    year in two / four digits
//   h hh n nn s ss   hour, minute, second (12-hour clock when an am/pm token follows)
//   z zzz      millisecond
//   t tt       short / long time
//   am/pm a/p ampm    the half of the day ("AM/PM" keeps the letter case written)
//   /  :       the date and time separators
//   '...' "..."  literal text (an unclosed quote runs to the end); every
//              other character is copied.
// The patterns named by c, ddddd, dddddd, t and tt are formatted with the
// same rules, except that such names inside them are ignored.
// Raises EConvertError when the value is not a date between the years 1 and
// 9999 (NaN and infinities included) or the text would be longer than
// kMaxDateTimeTextLength.
KVLIB_EXPORT std::string FormatDateTime(std::string_view pattern, TDateTime value,
                                        const TDateTimeSettings& settings = DefaultDateTimeSettings());
// Short date and, unless the time is 00:00:00, the long time.
KVLIB_EXPORT std::string DateTimeToStr(TDateTime value, const TDateTimeSettings& settings = DefaultDateTimeSettings());
KVLIB_EXPORT std::string DateToStr(TDateTime value, const TDateTimeSettings& settings = DefaultDateTimeSettings());
KVLIB_EXPORT std::string TimeToStr(TDateTime value, const TDateTimeSettings& settings = DefaultDateTimeSettings());

// Reading. A date is two or three numbers separated by the date separator,
// in the order of the short date pattern (year-month-day, month-day-year or
// day-month-year; a first number of three or more digits always starts a
// year-month-day date; two numbers mean the current year). A time is hours,
// minutes, optional seconds and milliseconds, then an optional AM/PM. Blanks
// around the parts are allowed; anything else makes the reading fail. With
// no date separator at all (DateSeparator 0 and AnyDateSeparator off) a
// date is read as digits in the fields of the short date pattern, so
// "20030517" reads with "yyyymmdd".
KVLIB_EXPORT bool TryStrToDate(std::string_view text, TDateTime& result,
                               const TDateTimeSettings& settings = DefaultDateTimeSettings());
KVLIB_EXPORT bool TryStrToTime(std::string_view text, TDateTime& result,
                               const TDateTimeSettings& settings = DefaultDateTimeSettings());
// A date followed by an optional time, or a time alone.
KVLIB_EXPORT bool TryStrToDateTime(std::string_view text, TDateTime& result,
                                   const TDateTimeSettings& settings = DefaultDateTimeSettings());
// The same, raising EConvertError ("'x' is not a valid date", quoting at
// most 100 characters of the text) on failure.
KVLIB_EXPORT TDateTime StrToDate(std::string_view text, const TDateTimeSettings& settings = DefaultDateTimeSettings());
KVLIB_EXPORT TDateTime StrToTime(std::string_view text, const TDateTimeSettings& settings = DefaultDateTimeSettings());
KVLIB_EXPORT TDateTime StrToDateTime(std::string_view text,
                                     const TDateTimeSettings& settings = DefaultDateTimeSettings());

// Whether `text` holds a date separator / a time separator of the settings.
KVLIB_EXPORT bool HasDateSeparator(std::string_view text, const TDateTimeSettings& settings = DefaultDateTimeSettings());
KVLIB_EXPORT bool HasTimeSeparator(std::string_view text, const TDateTimeSettings& settings = DefaultDateTimeSettings());

}  // namespace kv
