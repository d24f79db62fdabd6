// Locale-independent number reading and writing.
//
// The viewer's toolkit sets the process locale, after which printf/strtod may
// use a decimal comma. Every number that reaches a file, an NC text or an
// interface text goes through these functions instead.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace plat {

// Reads a decimal number the way the C library's wide-text conversion does
// with the "C" locale: leading blanks (space, tab, CR, LF, VT, FF) are
// skipped, an optional sign, digits with an optional point and an optional
// exponent; reading stops at the first character that cannot continue the
// number. `consumed` receives the number of units used (0 when no number was
// found, in which case the result is 0).
double ParseDouble(std::u16string_view text, std::size_t* consumed = nullptr);
double ParseDouble(std::string_view text, std::size_t* consumed = nullptr);

// Reads a decimal integer prefix as strtol would (blanks, sign, digits), with
// the result clamped to the range of int. 0 when there is no number.
int ParseIntPrefix(std::u16string_view text, std::size_t* consumed = nullptr);
int ParseIntPrefix(std::string_view text, std::size_t* consumed = nullptr);

// Converts a double to int safely: NaN gives `fallback`, values beyond the
// range of int are clamped. Truncates toward zero like a C cast.
int ClampToInt(double value, int fallback = 0);
// Whether a double truncated toward zero fits into an int (and is not NaN).
bool FitsInt(double value);

// Fixed notation with `decimals` digits after the point, rounded, like
// printf("%.*f"). Non-finite values give "nan", "inf" or "-inf".
std::string FormatFixed(double value, int decimals);
std::u16string FormatFixedW(double value, int decimals);
// printf("%d").
std::string FormatInt(long long value);
std::u16string FormatIntW(long long value);
// Shortest text that reads back as exactly the same double.
std::string FormatRoundTrip(double value);

}  // namespace plat
