// Number pictures: a real formatted by a picture such as "#,##0.00" or
// "0.000E+00", the picture language of the platform's FormatFloat.
//
//   0        digit placeholder: a digit of the value, or 0
//   #        digit placeholder: a digit of the value, or nothing
//   .        the first one marks the decimal point; the others are ignored
//   ,        anywhere: group the integer digits by thousands with ","
//   E+ E- e+ e-   scientific notation; the 0s that follow (up to four count)
//            give the minimum exponent digits. E+ writes the exponent's sign
//            always, E- only when it is negative
//   '...' "..."   literal text (the quotes are dropped); an unclosed quote
//            runs to the end of the picture
//   ;        separates up to three sections: positive; negative; zero
//   anything else is copied as it is.
//
// Rules:
// * The leftmost 0 before the decimal point and the rightmost 0 after it
//   give the digits always shown. Integer digits beyond the placeholders are
//   written at the first placeholder.
// * Without scientific notation the value is rounded to as many decimals as
//   there are placeholders after the point; with it, to as many significant
//   digits as there are placeholders. Rounding is half away from zero on the
//   exact decimal digits of the value, keeping at most 18 significant digits
//   (further places show 0).
// * Sections: one section serves every value; with two, the first serves
//   positive values and zero; with three, the third serves zero. A missing or
//   empty negative or zero section falls back to the first section. A value
//   written by the negative section gets no minus sign of its own (the
//   section carries its own marks, e.g. "(0.00)"); one written by the first
//   section does.
// * A value that rounds to zero under its section (including -0 and negative
//   values such as -0.001 under "0.00") is written as zero: by the zero
//   section if there is one, else by the first section, without a sign.
// * General notation with 15 significant digits (FloatToStrGeneral) is used
//   when the first section is empty (or the whole picture is), when a
//   non-scientific section meets a value with more than 18 integer digits,
//   and for NaN and infinities ("NAN", "INF", "-INF").
//
// Any picture is accepted; the work and the result grow linearly with the
// picture's length (the result is at most about 4/3 of it plus the digits of
// the value), so there is no failure mode.
#pragma once

#include <string>
#include <string_view>

#include "KVLib_export.h"

namespace kv {

// `value` written by `picture` as described above.
KVLIB_EXPORT std::string FormatFloat(std::string_view picture, long double value);

}  // namespace kv
