#include "mod_gcode/text/TextUtil.h"

#include <array>
#include <cmath>

#include "platform/Numbers.h"

namespace quillet {

WString AnsiToWide(std::string_view text) { return plat::AnsiToWideString(text); }

std::string WideToAnsi(WStringView text, std::size_t* replaced) {
  return plat::WideToAnsiString(text, replaced);
}

WString IntToText(long long value) { return plat::FormatIntW(value); }

WString NumberToText(double value) {
  if (!std::isfinite(value) || std::fabs(value) >= 9.2e18) return plat::FormatFixedW(value, 3);
  double n = std::trunc(value);
  double f = value - n;
  if (std::fabs(std::fabs(f) - 1.0) < kFloatEpsilon)
    return plat::FormatIntW(static_cast<long long>(value > 0 ? n + 1 : n - 1));
  if (std::fabs(f) < kFloatEpsilon) return plat::FormatIntW(static_cast<long long>(n));
  return plat::FormatFixedW(value, 3);
}

void EraseLeadingBlanks(WString& text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == u' ') ++i;
  if (i) text.erase(0, i);
}

bool TrimBlanksCopy(WStringView text, WString& out) {
  std::size_t b = 0, e = text.size();
  while (b < e && text[b] == u' ') ++b;
  while (e > b && text[e - 1] == u' ') --e;
  if (b == 0 && e == text.size()) return false;
  out.assign(text.substr(b, e - b));
  return true;
}

WString TrimmedSubstring(WStringView text, std::size_t first, std::size_t end) {
  if (first > text.size()) first = text.size();
  if (end > text.size()) end = text.size();
  if (end < first) end = first;
  WStringView part = text.substr(first, end - first);
  WString trimmed;
  if (TrimBlanksCopy(part, trimmed)) return trimmed;
  return WString(part);
}

WStringView CompactMacroText(WStringView text, WString& buffer) {
  bool plain = true;
  for (char16_t c : text)
    if (IsBlankChar(c) || (c >= u'a' && c <= u'z')) {
      plain = false;
      break;
    }
  if (plain) return text;
  buffer.clear();
  for (char16_t c : text)
    if (!IsBlankChar(c)) buffer.push_back(UpperChar(c));
  return buffer;
}

namespace {

// What CompactBlockText does with an ASCII character: 0 keep, 1 drop (a
// blank), 2 upper-case, 3 a comment starts, 4 the block ends.
constexpr std::array<unsigned char, 128> kBlockCharClass = [] {
  std::array<unsigned char, 128> t{};
  for (char16_t c = 0; c < 128; ++c)
    if (IsBlankChar(c)) t[c] = 1;
  for (char c = 'a'; c <= 'z'; ++c) t[static_cast<unsigned char>(c)] = 2;
  t['('] = 3;
  t[';'] = 4;
  return t;
}();

}  // namespace

void CompactBlockText(WStringView line, WString& out) {
  if (out.size() < line.size()) out.resize(line.size());
  char16_t* dst = out.data();
  const char16_t* p = line.data();
  const char16_t* const end = p + line.size();
  while (p != end) {
    const char16_t c = *p++;
    const unsigned char k = c < 128 ? kBlockCharClass[c] : 0;
    if (k == 0) {
      *dst++ = c;
    } else if (k == 2) {
      *dst++ = static_cast<char16_t>(c - 32);
    } else if (k == 3) {
      while (p != end && *p != u')') ++p;
      if (p != end) ++p;
    } else if (k == 4) {
      break;
    }
  }
  out.resize(static_cast<std::size_t>(dst - out.data()));
}

}  // namespace quillet
