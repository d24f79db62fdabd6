#include "platform/Numbers.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

namespace plat {
namespace {

inline bool IsBlank(unsigned c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
inline bool IsDigit(unsigned c) { return c >= '0' && c <= '9'; }

// Power of ten of the leading significant digit of an unsigned decimal
// number text (digits, optional point, optional exponent): negative for a
// magnitude below 1. Decides between underflow and overflow.
long long DecimalExponent(const char* s, std::size_t n) {
  std::size_t i = 0;
  long long intDigits = 0;      // integer digits from the first non-zero one
  long long leadingZeros = 0;   // fraction zeros before the first non-zero digit
  bool significant = false;
  for (; i < n && IsDigit(static_cast<unsigned char>(s[i])); ++i) {
    if (s[i] != '0') significant = true;
    if (significant) ++intDigits;
  }
  if (i < n && s[i] == '.') {
    ++i;
    for (; i < n && IsDigit(static_cast<unsigned char>(s[i])); ++i) {
      if (significant) continue;
      if (s[i] == '0') ++leadingZeros;
      else significant = true;
    }
  }
  long long exponent = 0;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    for (; i < n && IsDigit(static_cast<unsigned char>(s[i])); ++i)
      if (exponent < 1000000000LL) exponent = exponent * 10 + (s[i] - '0');
    if (negative) exponent = -exponent;
  }
  long long lead = intDigits > 0 ? intDigits - 1 : -(leadingZeros + 1);
  return lead + exponent;
}

// Copies the longest prefix that may form a decimal number into `buf` as
// ASCII and parses it with from_chars. Works for both character widths.
template <typename Ch>
double ParseDoubleImpl(const Ch* s, std::size_t n, std::size_t* consumed) {
  std::size_t i = 0;
  while (i < n && IsBlank(static_cast<unsigned>(s[i]))) ++i;
  std::size_t start = i;
  bool negative = false;
  if (i < n && (s[i] == Ch('+') || s[i] == Ch('-'))) {
    negative = s[i] == Ch('-');
    ++i;
  }
  // Scan mantissa digits and point, then an optional exponent.
  std::size_t mantStart = i;
  std::size_t digits = 0;
  while (i < n && IsDigit(static_cast<unsigned>(s[i]))) { ++i; ++digits; }
  if (i < n && s[i] == Ch('.')) {
    ++i;
    while (i < n && IsDigit(static_cast<unsigned>(s[i]))) { ++i; ++digits; }
  }
  if (digits == 0) {
    if (consumed) *consumed = 0;
    (void)start;
    return 0.0;
  }
  std::size_t mantEnd = i;
  if (i < n && (s[i] == Ch('e') || s[i] == Ch('E'))) {
    std::size_t j = i + 1;
    if (j < n && (s[j] == Ch('+') || s[j] == Ch('-'))) ++j;
    if (j < n && IsDigit(static_cast<unsigned>(s[j]))) {
      while (j < n && IsDigit(static_cast<unsigned>(s[j]))) ++j;
      mantEnd = j;
    }
  }
  std::size_t len = mantEnd - mantStart;
  char small[64] = {};
  std::string big;
  const char* buf;
  if constexpr (sizeof(Ch) == 1) {
    buf = reinterpret_cast<const char*>(s + mantStart);
  } else {
    char* dst = small;
    if (len + 1 > sizeof(small)) {
      big.resize(len + 1);
      dst = big.data();
    }
    for (std::size_t k = 0; k < len; ++k) dst[k] = static_cast<char>(s[mantStart + k]);
    buf = dst;
  }
  double value = 0.0;
  auto res = std::from_chars(buf, buf + len, value, std::chars_format::general);
  if (res.ec == std::errc::result_out_of_range) {
    // Overflow gives infinity and underflow zero, as strtod does.
    value = DecimalExponent(buf, len) < 0 ? 0.0 : HUGE_VAL;
  }
  if (consumed) *consumed = mantEnd;
  return negative ? -value : value;
}

template <typename Ch>
int ParseIntImpl(const Ch* s, std::size_t n, std::size_t* consumed) {
  std::size_t i = 0;
  while (i < n && IsBlank(static_cast<unsigned>(s[i]))) ++i;
  bool negative = false;
  if (i < n && (s[i] == Ch('+') || s[i] == Ch('-'))) {
    negative = s[i] == Ch('-');
    ++i;
  }
  if (i >= n || !IsDigit(static_cast<unsigned>(s[i]))) {
    if (consumed) *consumed = 0;
    return 0;
  }
  long long v = 0;
  while (i < n && IsDigit(static_cast<unsigned>(s[i]))) {
    if (v < 10000000000LL) v = v * 10 + (static_cast<unsigned>(s[i]) - '0');
    ++i;
  }
  if (negative) v = -v;
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  if (consumed) *consumed = i;
  return static_cast<int>(v);
}

}  // namespace

double ParseDouble(std::u16string_view text, std::size_t* consumed) {
  return ParseDoubleImpl(text.data(), text.size(), consumed);
}
double ParseDouble(std::string_view text, std::size_t* consumed) {
  return ParseDoubleImpl(text.data(), text.size(), consumed);
}
int ParseIntPrefix(std::u16string_view text, std::size_t* consumed) {
  return ParseIntImpl(text.data(), text.size(), consumed);
}
int ParseIntPrefix(std::string_view text, std::size_t* consumed) {
  return ParseIntImpl(text.data(), text.size(), consumed);
}

bool FitsInt(double value) {
  return !std::isnan(value) && value > static_cast<double>(INT_MIN) - 1.0 &&
         value < static_cast<double>(INT_MAX) + 1.0;
}

int ClampToInt(double value, int fallback) {
  if (std::isnan(value)) return fallback;
  if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(value);
}

std::string FormatFixed(double value, int decimals) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char buf[512];
  auto res = std::to_chars(buf, buf + sizeof(buf), value, std::chars_format::fixed, decimals);
  if (res.ec != std::errc()) return "0";
  return std::string(buf, res.ptr);
}

std::u16string FormatFixedW(double value, int decimals) {
  std::string s = FormatFixed(value, decimals);
  return std::u16string(s.begin(), s.end());
}

std::string FormatInt(long long value) {
  char buf[32];
  auto res = std::to_chars(buf, buf + sizeof(buf), value);
  return std::string(buf, res.ptr);
}

std::u16string FormatIntW(long long value) {
  std::string s = FormatInt(value);
  return std::u16string(s.begin(), s.end());
}

std::string FormatRoundTrip(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof(buf), value);
  return std::string(buf, res.ptr);
}

}  // namespace plat
