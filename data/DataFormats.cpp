#include "data/DataFormats.h"

#include <langinfo.h>

#include <string_view>

#include "environment/CoreMessages.h"

namespace kv {

KV_IMPLEMENT_CLASS(TKVDataFormats, TBaseObject)

namespace {

// %D, %F, %T, %R and %x-style shorthands written out, so that the
// separators and conversions can be read from one pattern.
std::string Expand(std::string_view fmt) {
  std::string out;
  for (size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] == '%' && i + 1 < fmt.size()) {
      size_t j = i + 1;
      while (j < fmt.size() && (fmt[j] == 'E' || fmt[j] == 'O')) ++j;
      if (j >= fmt.size()) break;
      switch (fmt[j]) {
        case 'D': out += "%m/%d/%y"; break;
        case 'F': out += "%Y-%m-%d"; break;
        case 'T': out += "%H:%M:%S"; break;
        case 'R': out += "%H:%M"; break;
        default: out += '%', out += fmt[j];
      }
      i = j;
    } else {
      out += fmt[i];
    }
  }
  return out;
}

// The first character of the pattern that is not part of a conversion.
char FirstSeparator(const std::string& fmt, char fallback) {
  for (size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] == '%') {
      ++i;
      continue;
    }
    return fmt[i];
  }
  return fallback;
}

}  // namespace

TLocaleFormats LocaleFormatsFrom(const char* dateFormat, const char* timeFormat, const char* radix) {
  TLocaleFormats f;
  std::string date = Expand(dateFormat ? dateFormat : "");
  std::string time = Expand(timeFormat ? timeFormat : "");
  f.DateSeparator = FirstSeparator(date, '/');
  f.TimeSeparator = FirstSeparator(time, ':');
  f.FourDigitYear = date.find("%Y") != std::string::npos;
  f.LeadingZerosInDate = date.find("%d") != std::string::npos;
  f.DecimalSeparator = radix && radix[0] ? radix[0] : '.';
  return f;
}

TLocaleFormats LocaleFormats() { return LocaleFormatsFrom(nl_langinfo(D_FMT), nl_langinfo(T_FMT), nl_langinfo(RADIXCHAR)); }

TKVDataFormats::TKVDataFormats() {
  TLocaleFormats f = LocaleFormats();
  DateSeparator = f.DateSeparator;
  TimeSeparator = f.TimeSeparator;
  FourDigitYear = f.FourDigitYear;
  LeadingZerosInDate = f.LeadingZerosInDate;
  DecimalSeparator = f.DecimalSeparator;
  BooleanTrue = STrue.Text();
  BooleanFalse = SFalse.Text();
}

void TKVDataFormats::Assign(const TBaseObject* source) {
  if (source == this) return;
  if (auto* s = ObjCast<TKVDataFormats>(source)) {
    DateSeparator = s->DateSeparator;
    TimeSeparator = s->TimeSeparator;
    FourDigitYear = s->FourDigitYear;
    LeadingZerosInDate = s->LeadingZerosInDate;
    DecimalSeparator = s->DecimalSeparator;
    BooleanTrue = s->BooleanTrue;
    BooleanFalse = s->BooleanFalse;
    DateOrder = s->DateOrder;
    return;
  }
  inherited::Assign(source);
}

void TKVDataFormats::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptChar>(proc, param, DateSeparator, "DateSeparator", DateSeparator != 0);
  Prop<ptChar>(proc, param, TimeSeparator, "TimeSeparator", TimeSeparator != 0);
  Prop<ptBoolean>(proc, param, FourDigitYear, "FourDigitYear");
  Prop<ptBoolean>(proc, param, LeadingZerosInDate, "LeadingZerosInDate");
  Prop<ptChar>(proc, param, DecimalSeparator, "DecimalSeparator", DecimalSeparator != 0);
  Prop<ptString>(proc, param, BooleanTrue, "BooleanTrue", !BooleanTrue.empty());
  Prop<ptString>(proc, param, BooleanFalse, "BooleanFalse", !BooleanFalse.empty());
  Prop<ptByte>(proc, param, DateOrder, "FDateOrder", DateOrder != 0);
}

}  // namespace kv
