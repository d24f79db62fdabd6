// The viewer's language: a process-wide flag (1 English, 0 Chinese) and the
// language texts read from "language\enu.ini" or "language\chs.ini" beside
// the executable (section "String").
//
// The flag follows the system language: Chinese for the language ids 1028
// (Chinese, Taiwan) and 2052 (Chinese, PRC), English for every other one.
// The environment variable RAVIK_LANGUAGE ("chs", "enu", or a numeric
// language id) or the command-line option --lang=<same> overrides it.
#pragma once
#include <QLocale>
#include <QString>
#include <QStringList>

#include <map>
#include <string>

namespace ravik {

// The language id of a locale, as the system would report it: 2052 for
// Chinese in mainland China, 1028 for Chinese in Taiwan, 3076 Hong Kong,
// 4100 Singapore, 5124 Macao, 1033 for any other locale.
int LangIdFromLocale(const QLocale& locale);
// 0 (Chinese) for 1028 and 2052, 1 (English) otherwise.
int LanguageFlagFromLangId(int langId);
// Reads an override text ("chs", "enu", "chinese", "english" or a number);
// -1 when it names nothing.
int LanguageFlagFromOverride(const QString& text);

// The flag of this process: set by InitLanguage, 1 before it.
int LanguageFlag();
void SetLanguageFlag(int flag);
// Decides the flag from the command line, the environment and the system
// locale, in this order.
void InitLanguage(const QStringList& arguments);

// Picks the English or the Chinese text by the flag.
inline const QString& Tr(const QString& english, const QString& chinese) {
  return LanguageFlag() == 0 ? chinese : english;
}

// A small reader of INI files (private-profile format): "[section]" lines
// and "key=value" lines; section and key names compare without regard to
// ASCII case, blanks around names and values are dropped, and a value in
// double or single quotes loses them. The file is UTF-8 (with or without a
// byte-order mark) or UTF-16 with a byte-order mark.
class IniFile {
 public:
  bool Load(const std::string& path);
  void Parse(const QString& text);
  // Empty when the section or the key is missing.
  QString Value(const QString& section, const QString& key) const;
  bool Has(const QString& section, const QString& key) const;

 private:
  std::map<QString, std::map<QString, QString>> m_sections;  // lower-case names
};

// Decodes the bytes of a text file: UTF-16LE/BE with a byte-order mark,
// otherwise UTF-8 (a UTF-8 byte-order mark is dropped).
QString DecodeTextFile(const std::string& bytes);

// The text of `key` in section "String" of the language file of the current
// flag, at most 511 characters, with every backslash-n pair turned into a
// line break; empty when the file or the key is missing.
QString GetLangString(const QString& key);

}  // namespace ravik
