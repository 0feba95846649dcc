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
