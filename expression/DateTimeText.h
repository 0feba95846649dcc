// Date-times as text: the pattern formatter of the expression language
// (yyyy, mm, dd, hh, nn, ss, zzz, ddd, mmmm, am/pm, quoted literals, ...)
// and the reading of dates, times and date-times from text, both driven by a
// settings record. The default settings are fixed rather than taken from the
// process locale, so that texts mean the same on every machine:
// dates "yyyy-mm-dd", times "hh:nn:ss", English month and day names.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "KVLib_export.h"
#include "foundation/DateUtils.h"

namespace kv {

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
// Settings that are empty except for a date pattern, a time pattern and the
// separators (0 leaves a separator empty), as the date functions build them
// from their optional arguments.
KVLIB_EXPORT TDateTimeSettings PatternDateTimeSettings(std::string_view shortDateFormat,
                                                       std::string_view longTimeFormat, char dateSeparator,
                                                       char timeSeparator);

// Formats `value` by `pattern`. Pattern letters are case-insensitive:
//   c          short date, then the long time unless the time is 00:00:00
//   d dd       day; ddd dddd short / long day name; ddddd short date; dddddd long date
//   m mm       month; mmm mmmm short / long month name (minutes right after h or hh)
//   yy yyyy    year in two / four digits
//   h hh n nn s ss   hour, minute, second (12-hour clock when an am/pm token follows)
//   z zzz      millisecond
//   t tt       short / long time
//   am/pm a/p ampm    the half of the day ("AM/PM" keeps the letter case written)
//   /  :       the date and time separators
//   '...' "..."  literal text; every other character is copied.
// Raises EConvertError when the value is not a date between the years 1 and 9999.
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
// around the parts are allowed; anything else makes the reading fail.
KVLIB_EXPORT bool TryStrToDate(std::string_view text, TDateTime& result,
                               const TDateTimeSettings& settings = DefaultDateTimeSettings());
KVLIB_EXPORT bool TryStrToTime(std::string_view text, TDateTime& result,
                               const TDateTimeSettings& settings = DefaultDateTimeSettings());
// A date followed by an optional time, or a time alone.
KVLIB_EXPORT bool TryStrToDateTime(std::string_view text, TDateTime& result,
                                   const TDateTimeSettings& settings = DefaultDateTimeSettings());
// The same, raising EConvertError ("'x' is not a valid date") on failure.
KVLIB_EXPORT TDateTime StrToDate(std::string_view text, const TDateTimeSettings& settings = DefaultDateTimeSettings());
KVLIB_EXPORT TDateTime StrToTime(std::string_view text, const TDateTimeSettings& settings = DefaultDateTimeSettings());
KVLIB_EXPORT TDateTime StrToDateTime(std::string_view text,
                                     const TDateTimeSettings& settings = DefaultDateTimeSettings());

// Whether `text` holds a date separator / a time separator of the settings.
KVLIB_EXPORT bool HasDateSeparator(std::string_view text, const TDateTimeSettings& settings = DefaultDateTimeSettings());
KVLIB_EXPORT bool HasTimeSeparator(std::string_view text, const TDateTimeSettings& settings = DefaultDateTimeSettings());

}  // namespace kv
