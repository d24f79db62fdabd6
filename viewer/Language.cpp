#include "viewer/Language.h"

#include <QStringDecoder>

#include <atomic>
#include <mutex>

#include "platform/Files.h"
#include "platform/Numbers.h"
#include "platform/Paths.h"

namespace ravik {
namespace {
std::atomic<int> g_languageFlag{1};

QString Unquote(QString v) {
  if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
    return v.mid(1, v.size() - 2);
  return v;
}
}  // namespace

int LangIdFromLocale(const QLocale& locale) {
  if (locale.language() != QLocale::Chinese) return 1033;
  switch (locale.territory()) {
    case QLocale::China: return 2052;
    case QLocale::Taiwan: return 1028;
    case QLocale::HongKong: return 3076;
    case QLocale::Singapore: return 4100;
    case QLocale::Macao: return 5124;
    default:
      // Chinese without a territory: the script decides.
      return locale.script() == QLocale::TraditionalHanScript ? 1028 : 2052;
  }
}

int LanguageFlagFromLangId(int langId) { return (langId == 1028 || langId == 2052) ? 0 : 1; }

int LanguageFlagFromOverride(const QString& text) {
  const QString t = text.trimmed().toLower();
  if (t.isEmpty()) return -1;
  if (t == u"chs" || t == u"chinese" || t == u"zh" || t == u"cn") return 0;
  if (t == u"enu" || t == u"english" || t == u"en") return 1;
  std::size_t used = 0;
  const std::u16string s(reinterpret_cast<const char16_t*>(t.utf16()), static_cast<std::size_t>(t.size()));
  int id = plat::ParseIntPrefix(s, &used);
  if (used == 0 || used != s.size()) return -1;
  return LanguageFlagFromLangId(id);
}

int LanguageFlag() { return g_languageFlag.load(std::memory_order_relaxed); }
void SetLanguageFlag(int flag) { g_languageFlag.store(flag == 0 ? 0 : 1, std::memory_order_relaxed); }

void InitLanguage(const QStringList& arguments) {
  for (const QString& a : arguments) {
    if (a.startsWith(u"--lang=")) {
      int f = LanguageFlagFromOverride(a.mid(7));
      if (f >= 0) {
        SetLanguageFlag(f);
        return;
      }
    }
  }
  int f = LanguageFlagFromOverride(qEnvironmentVariable("RAVIK_LANGUAGE"));
  if (f >= 0) {
    SetLanguageFlag(f);
    return;
  }
  SetLanguageFlag(LanguageFlagFromLangId(LangIdFromLocale(QLocale::system())));
}

QString DecodeTextFile(const std::string& bytes) {
  auto u = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (bytes.size() >= 2 && u(0) == 0xFF && u(1) == 0xFE) {
    QStringDecoder d(QStringDecoder::Utf16LE);
    return d(QByteArrayView(bytes.data() + 2, static_cast<qsizetype>(bytes.size() - 2)));
  }
  if (bytes.size() >= 2 && u(0) == 0xFE && u(1) == 0xFF) {
    QStringDecoder d(QStringDecoder::Utf16BE);
    return d(QByteArrayView(bytes.data() + 2, static_cast<qsizetype>(bytes.size() - 2)));
  }
  std::size_t skip = (bytes.size() >= 3 && u(0) == 0xEF && u(1) == 0xBB && u(2) == 0xBF) ? 3 : 0;
  return QString::fromUtf8(bytes.data() + skip, static_cast<qsizetype>(bytes.size() - skip));
}

bool IniFile::Load(const std::string& path) {
  m_sections.clear();
  std::optional<std::string> bytes = plat::ReadFileBytes(path);
  if (!bytes) return false;
  Parse(DecodeTextFile(*bytes));
  return true;
}

void IniFile::Parse(const QString& text) {
  m_sections.clear();
  std::map<QString, QString>* current = nullptr;
  const QStringList lines = text.split(u'\n');
  for (QString line : lines) {
    if (line.endsWith(u'\r')) line.chop(1);
    const QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(u';')) continue;
    if (t.startsWith(u'[')) {
      qsizetype end = t.indexOf(u']');
      if (end < 0) continue;
      current = &m_sections[t.mid(1, end - 1).trimmed().toLower()];
      continue;
    }
    if (!current) continue;
    qsizetype eq = t.indexOf(u'=');
    if (eq <= 0) continue;
    const QString key = t.left(eq).trimmed().toLower();
    if (key.isEmpty() || current->count(key)) continue;  // the first entry of a key counts
    (*current)[key] = Unquote(t.mid(eq + 1).trimmed());
  }
}

QString IniFile::Value(const QString& section, const QString& key) const {
  auto s = m_sections.find(section.toLower());
  if (s == m_sections.end()) return {};
  auto k = s->second.find(key.toLower());
  return k == s->second.end() ? QString() : k->second;
}

bool IniFile::Has(const QString& section, const QString& key) const {
  auto s = m_sections.find(section.toLower());
  return s != m_sections.end() && s->second.count(key.toLower()) != 0;
}

QString GetLangString(const QString& key) {
  // The files are small; they are read again when they change on disk.
  struct Cached {
    std::string path;
    std::string bytes;
    IniFile ini;
  };
  static std::mutex mutex;
  static Cached cache[2];
  const int flag = LanguageFlag();
  const std::string path = plat::ExePath(flag == 0 ? "language\\chs.ini" : "language\\enu.ini");
  std::optional<std::string> bytes = plat::ReadFileBytes(path);
  if (!bytes) return {};
  QString value;
  {
    std::lock_guard lock(mutex);
    Cached& c = cache[flag == 0 ? 0 : 1];
    if (c.path != path || c.bytes != *bytes) {
      c.path = path;
      c.bytes = *bytes;
      c.ini.Parse(DecodeTextFile(c.bytes));
    }
    value = c.ini.Value(QStringLiteral("String"), key);
  }
  if (value.size() > 511) value.truncate(511);
  value.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
  return value;
}

}  // namespace ravik
