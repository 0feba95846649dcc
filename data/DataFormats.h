// The text conventions of one dataset: date, time and decimal separators,
// the year and leading-zero style of dates, the date order and the words
// for true and false. A new object takes the conventions of the locale in
// force (LC_TIME and LC_NUMERIC; the "C" locale unless the program chose
// another) and the current texts of the messages STrue and SFalse.
#pragma once

#include <cstdint>
#include <string>

#include "KVCore_export.h"
#include "foundation/BaseObject.h"

namespace kv {

enum TKVDateOrder : uint8_t { doMDY, doDMY, doYMD, doYDM, doDYM, doMYD };

class KVCORE_EXPORT TKVDataFormats : public TBaseObject {
  KV_CLASS(TKVDataFormats, TBaseObject)
public:
  TKVDataFormats();
  // Copies all eight conventions from another TKVDataFormats.
  void Assign(const TBaseObject* source) override;
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;

  char DateSeparator;
  char TimeSeparator;
  bool FourDigitYear;
  bool LeadingZerosInDate;
  char DecimalSeparator;
  std::string BooleanTrue;
  std::string BooleanFalse;
  TKVDateOrder DateOrder = doMDY;
};

// The locale's conventions, as a new TKVDataFormats takes them.
struct KVCORE_EXPORT TLocaleFormats {
  char DateSeparator = '/';
  char TimeSeparator = ':';
  bool FourDigitYear = false;
  bool LeadingZerosInDate = true;
  char DecimalSeparator = '.';
};
KVCORE_EXPORT TLocaleFormats LocaleFormats();
// The same from explicit strftime-style formats (for tests and odd locales).
KVCORE_EXPORT TLocaleFormats LocaleFormatsFrom(const char* dateFormat, const char* timeFormat, const char* radix);

}  // namespace kv
