// Text and number helpers shared by the library: code-page conversion,
// number texts, blank trimming and single-character upper-casing.
#pragma once
#include <string>
#include <string_view>

#include "mod_gcode/text/MathUtil.h"
#include "platform/Text.h"

namespace quillet {

using WString = std::u16string;
using WStringView = std::u16string_view;

// 8-bit text in the system code page <-> UTF-16.
WString AnsiToWide(std::string_view text);
std::string WideToAnsi(WStringView text, std::size_t* replaced = nullptr);
inline WString AnsiToWideString(std::string_view text) { return AnsiToWide(text); }
inline std::string WideToAnsiString(WStringView text) { return WideToAnsi(text); }

// "%d".
WString IntToText(long long value);
// A value within 2^-23 of a whole number as that integer, any other value
// with its sign and three decimals.
WString NumberToText(double value);

// Removes every leading space (only the space character counts).
void EraseLeadingBlanks(WString& text);
// When `text` has spaces at its start or end, `out` receives the text
// between them and the result is true; otherwise false and `out` is untouched.
bool TrimBlanksCopy(WStringView text, WString& out);
// The characters [first, end) with leading and trailing spaces removed.
WString TrimmedSubstring(WStringView text, std::size_t first, std::size_t end);
// Upper-cases exactly one character (ASCII letters only).
inline void UpperCaseChar(char16_t* c) {
  if (c && *c >= u'a' && *c <= u'z') *c = static_cast<char16_t>(*c - 32);
}
inline char16_t UpperChar(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

// ASCII white space (space, tab, LF, VT, FF, CR).
constexpr bool IsBlankChar(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

// A macro text as the control reads it: blanks dropped, letters in upper
// case. The result is `text` itself when it needs no change, else `buffer`.
WStringView CompactMacroText(WStringView text, WString& buffer);

// A block as the control reads it, into `out`: blanks dropped, letters in
// upper case, comments "(...)" left out (the words after ")" stay), and
// nothing from ";" (the end of the block) on.
void CompactBlockText(WStringView line, WString& out);

// ASCII literal to UTF-16 (for constants and number texts).
inline WString W(std::string_view ascii) { return plat::AsciiToWide(ascii); }

}  // namespace quillet
