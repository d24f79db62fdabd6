// Text conversions shared by the pages and the layout engine.
#pragma once
#include <QString>

#include <string>
#include <string_view>

namespace ravik {

// 8-bit text in the system code page to UTF-16, and back.
std::u16string ToWide(std::string_view text);
std::string ToNarrow(std::u16string_view text);
// "%d".
std::u16string IntToWString(int value);
// A value within 1.1920929e-7 of a whole number is that whole number ("%d");
// any other value is written with three decimals and its sign ("%0.3f").
std::u16string DoubleToWString(double value);

// QString <-> UTF-16 without a detour through 8-bit text.
inline std::u16string ToU16(const QString& s) {
  return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), static_cast<std::size_t>(s.size()));
}
// Every unit is copied as it is: QString::fromUtf16 would take a leading
// byte order mark away (a program file that starts with one keeps it).
inline QString FromU16(std::u16string_view s) {
  return QString(reinterpret_cast<const QChar*>(s.data()), static_cast<qsizetype>(s.size()));
}
QString FromU16(const char16_t* s);

}  // namespace ravik
