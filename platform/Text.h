// 8-bit <-> UTF-16 text conversion and small wide-text helpers.
//
// Inside the system all text is UTF-16 (char16_t). 8-bit text appears only at
// the file boundary and is in the "system code page": the character set of
// the process environment's locale (LC_ALL / LC_CTYPE / LANG), UTF-8 when the
// locale names plain ASCII. Nothing that cannot be converted is dropped or a
// reason to stop: a byte 0x80-0xFF that the code page cannot decode widens to
// the lone low surrogate U+DC80-U+DCFF, which narrows back to the same byte,
// so a text read and written back keeps every byte; other bytes that cannot
// be decoded widen to U+FFFD, and characters the code page cannot hold (an
// unpaired surrogate in every code page) narrow to '?'.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace plat {

using WString = std::u16string;
using WStringView = std::u16string_view;

// Name of the code page used for 8-bit text ("UTF-8", "GB18030", ...).
const std::string& SystemCodePage();
// Tests and hosts may force a code page; an empty name returns to the locale's.
void SetSystemCodePage(const std::string& name);

// Result of a conversion: the text plus a count. Widening counts the bytes
// that could not be decoded (each kept as its stand-in or U+FFFD); narrowing
// counts the characters written as '?', that is what was lost (a
// byte stand-in written back as its byte is no loss).
struct Narrowed {
  std::string text;
  std::size_t replaced = 0;
};
struct Widened {
  WString text;
  std::size_t replaced = 0;
};

Widened WidenFrom(std::string_view bytes, const std::string& codePage);
Narrowed NarrowTo(WStringView text, const std::string& codePage);

// Conversions in the system code page.
WString AnsiToWideString(std::string_view bytes);
std::string WideToAnsiString(WStringView text, std::size_t* replaced = nullptr);

// UTF-8 <-> UTF-16 for file names and texts that are UTF-8 by definition.
WString Utf8ToWide(std::string_view bytes);
std::string WideToUtf8(WStringView text);

// Length of a zero-terminated UTF-16 text (0 for null).
std::size_t WLen(const char16_t* s);
// View of a zero-terminated UTF-16 text; an empty view for null.
inline WStringView WView(const char16_t* s) { return s ? WStringView(s, WLen(s)) : WStringView(); }
// Widens ASCII text (each byte one unit); for literals and number texts.
WString AsciiToWide(std::string_view ascii);
// Narrows text known to be ASCII; other units become '?'.
std::string WideToAscii(WStringView text);

}  // namespace plat
