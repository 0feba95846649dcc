#include "expression/functions/DateTimeFunctions.h"

#include <string_view>

#include "expression/DateTimeText.h"
#include "foundation/Exceptions.h"
#include "foundation/Format.h"

namespace kv {

namespace {

// An argument as the call text shows it: numbers and date-times by value,
// texts quoted and cut after 40 characters.
std::string ArgText(const TExpression& a) {
  switch (a.DataType) {
    case etInteger: return std::to_string(a.GetInteger());
    case etReal: return FloatToStrGeneral(a.GetReal());
    case etBoolean: return a.GetBoolean() ? "Yes" : "No";
    case etDateTime: {
      const TDateTime d = a.GetDateTime();
      try {
        return FormatDateTime("yyyy.mm.dd hh:nn:ss", d);
      } catch (const EConvertError&) {
        return FloatToStrGeneral(d);
      }
    }
    case etChar:
    case etString: {
      TTextBuffer buffer;
      const std::string_view s = a.GetText(buffer);
      constexpr size_t kShown = 40;
      return "'" + std::string(s.substr(0, kShown)) + (s.size() > kShown ? "...'" : "'");
    }
    default: return "?";
  }
}

}  // namespace

void RaiseInDateCall(const TFunction& function, const std::string& message) {
  std::string_view name = function.ClassName();
  if (name.rfind("TExp_", 0) == 0) name.remove_prefix(5);
  std::string text = message + ": " + std::string(name) + "(";
  for (int i = 0; i < function.ArgCount(); ++i) {
    if (i > 0) text += ", ";
    text += ArgText(*function.Arg(i));
  }
  text += ")";
  throw EDateCallError(text);
}

void TDateIncFunction::Compute() {
  const TDateTime value = DateArg(0);
  const int64_t n = Arg(1)->GetInteger();
  switch (Unit()) {
    case duYear: PutDateTime(IncYear(value, n)); break;
    case duMonth: PutDateTime(IncMonth(value, n)); break;
    case duWeek: PutDateTime(IncWeek(value, n)); break;
    case duDay: PutDateTime(IncDay(value, n)); break;
    case duHour: PutDateTime(IncHour(value, n)); break;
    case duMinute: PutDateTime(IncMinute(value, n)); break;
    case duSecond: PutDateTime(IncSecond(value, n)); break;
    case duMilliSecond: PutDateTime(IncMilliSecond(value, n)); break;
  }
}

namespace {

// Reads the integer arguments of a build function into `v`; false when one
// lies outside the int range (no component can).
bool ReadComponents(const TFunction& f, int* v) {
  bool ok = true;
  for (int i = 0; i < f.ArgCount(); ++i) {
    const int64_t x = f.Arg(i)->GetInteger();
    if (x <= INT32_MIN || x > INT32_MAX) ok = false;
    v[i] = ok ? static_cast<int>(x) : 0;
  }
  return ok;
}

}  // namespace

void TDateBuildFunction::Compute() {
  int v[kSubExpCount] = {};
  TDateTime result = 0;
  const bool ok = ReadComponents(*this, v);
  if (!ok || !Build(v, result)) RaiseInDateCall(*this, BuildError(v));
  PutDateTime(result);
}

void TDateStartOfFunction::Compute() {
  int v[kSubExpCount] = {};
  TDateTime result = 0;
  if (!ReadComponents(*this, v) || !Build(v, result)) RaiseInDateCall(*this, kDateEncodeError);
  PutDateTime(result);
}

TDateTime EndOfDayAt(TDateTime day) { return IncMilliSecond(day, MSecsPerDay - 1); }

TDateTimeSettings DateFunctionSettings(const TExpression* pattern, bool timePattern, const TExpression* dateSeparator,
                                       const TExpression* timeSeparator, bool defaultTimeSeparator) {
  const std::string text = pattern ? pattern->GetString() : std::string();
  if (text.empty()) return DefaultDateTimeSettings();
  char dateSep = dateSeparator ? dateSeparator->GetChar() : PatternDateSeparator(text);
  char timeSep = timeSeparator ? timeSeparator->GetChar() : PatternTimeSeparator(text);
  if (timeSep == 0 && !timeSeparator && defaultTimeSeparator) timeSep = DefaultDateTimeSettings().TimeSeparator;
  if (timePattern) return PatternDateTimeSettings("", text, dateSep, timeSep);
  return PatternDateTimeSettings(text, "", dateSep, timeSep);
}

}  // namespace kv
