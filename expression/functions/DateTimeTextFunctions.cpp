// Date and time functions between dates and text: the readers of StrToDate,
// StrToDateTime and StrToTime, and FormatDateTime. (DateTimeToStr,
// DateToStr and TimeToStr are rows of TDateToText.)
#include "expression/functions/DateTimeFunctions.h"

namespace kv {

// StrToDate(string Text[, string Format[, char DateSeparator]]): a date.
TDateTime ReadStrToDate(const TFunction& f, std::string_view text) {
  return StrToDate(text, DateFunctionSettings(f.Arg(1), false, f.Arg(2), nullptr, false));
}

// StrToDateTime(string Text[, string Format[, char DateSeparator[, char
// TimeSeparator]]]): a date with an optional time, or a time.
TDateTime ReadStrToDateTime(const TFunction& f, std::string_view text) {
  return StrToDateTime(text, DateFunctionSettings(f.Arg(1), false, f.Arg(2), f.Arg(3), true));
}

// StrToTime(string Text[, string Format[, char TimeSeparator]]): a time of day.
TDateTime ReadStrToTime(const TFunction& f, std::string_view text) {
  return StrToTime(text, DateFunctionSettings(f.Arg(1), true, nullptr, f.Arg(2), false));
}

KV_IMPLEMENT_CLASS(TExp_FormatDateTime, TFunction)

void TExp_FormatDateTime::Compute() {
  TTextBuffer buffer;
  PutString(FormatDateTime(Arg(0)->GetText(buffer), DateArg(1)));
}

}  // namespace kv
