#include "viewer/TextConv.h"

#include <cmath>
#include <limits>

#include "platform/Numbers.h"
#include "platform/Text.h"

namespace ravik {

std::u16string ToWide(std::string_view text) { return plat::AnsiToWideString(text); }
std::string ToNarrow(std::u16string_view text) { return plat::WideToAnsiString(text); }
std::u16string IntToWString(int value) { return plat::FormatIntW(value); }

std::u16string DoubleToWString(double value) {
  if (std::isfinite(value)) {
    const double whole = std::nearbyint(value);
    if (std::fabs(value - whole) <= 1.1920929e-7 && plat::FitsInt(whole)) {
      return plat::FormatIntW(static_cast<long long>(whole));
    }
  }
  return plat::FormatFixedW(value, 3);
}

QString FromU16(const char16_t* s) { return s ? FromU16(plat::WView(s)) : QString(); }

}  // namespace ravik
