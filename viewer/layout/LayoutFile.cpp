#include "viewer/layout/LayoutFile.h"

#include <QStringDecoder>

#include "platform/Files.h"
#include "platform/Host.h"
#include "platform/Numbers.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "viewer/TextConv.h"
#include "viewer/UiSeam.h"

namespace ravik {
namespace {

constexpr char16_t kBlank = u' ';

std::string PathBytes(const std::u16string& path) { return plat::WideToUtf8(path); }

struct Parser {
  void* owner;
  BlockCallback callback;
  ParseIssues issues;

  void Parse(std::u16string_view text, int depth) {
    if (depth > kMaxBlockDepth) {
      issues.tooDeep = true;
      return;
    }
    std::size_t pos = 0;
    while (true) {
      const std::u16string_view rest = text.substr(pos);
      const std::size_t eq = rest.find(u'=');
      if (eq == std::u16string_view::npos) return;
      std::size_t open = 0, close = 0;
      if (!FindMatchingBrace(rest, open, close)) {
        issues.missingBrace = true;
        return;
      }
      if (close == std::u16string_view::npos) {
        issues.unclosedBrace = true;
        return;
      }
      const std::u16string name(rest.substr(0, eq));
      const std::u16string_view body = rest.substr(open + 1, close - open - 1);
      callback(owner, name, nullptr);
      if (body.find(u'{') != std::u16string_view::npos && body.find(u'}') != std::u16string_view::npos)
        Parse(body, depth + 1);
      pos += close + 1;

      KeyValueMap pairs;
      std::size_t start = 0;
      while (true) {
        const std::size_t comma = body.find(u',', start);
        const std::u16string_view item =
            body.substr(start, comma == std::u16string_view::npos ? std::u16string_view::npos : comma - start);
        std::u16string key, value;
        bool cut = false;
        SplitKeyValue(item, key, value, &cut);
        if (cut) issues.cutText = true;
        pairs[key] = value;
        if (comma == std::u16string_view::npos) break;
        start = comma + 1;
      }
      callback(owner, name, &pairs);
    }
  }
};

// The layout format's reading: the first two bytes are skipped, a CR ends
// a line and the unit after it is skipped, text after the last CR is lost.
std::u16string FormatText(const std::string& b) {
  std::u16string result, line;
  result.reserve(b.size() / 2);
  for (std::size_t p = 2; p + 1 < b.size();) {
    const char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(b[p]) |
                                                (static_cast<unsigned char>(b[p + 1]) << 8));
    if (unit == u'\r') {
      result += line;
      result += u'\n';
      line.clear();
      p += 4;
    } else {
      line += unit;
      p += 2;
    }
  }
  return result;
}

char16_t Unit(const std::string& b, std::size_t p, bool bigEndian) {
  const unsigned lo = static_cast<unsigned char>(b[bigEndian ? p + 1 : p]);
  const unsigned hi = static_cast<unsigned char>(b[bigEndian ? p : p + 1]);
  return static_cast<char16_t>(lo | (hi << 8));
}

std::u16string Utf16Units(const std::string& b, std::size_t from, bool bigEndian) {
  std::u16string units;
  units.reserve(b.size() / 2);
  for (std::size_t p = from; p + 1 < b.size(); p += 2) units += Unit(b, p, bigEndian);
  return units;
}

// Every CR LF, lone CR and lone LF becomes one LF; a last line without a
// line end is kept and ended.
std::u16string NormaliseLines(std::u16string_view t) {
  std::u16string out;
  out.reserve(t.size() + 1);
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] == u'\r') {
      out += u'\n';
      if (i + 1 < t.size() && t[i + 1] == u'\n') ++i;
    } else {
      out += t[i];
    }
  }
  if (!out.empty() && out.back() != u'\n') out += u'\n';
  return out;
}

// Whether units hold line ends other than CR LF.
bool OtherLineEnds(std::u16string_view t) {
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] == u'\r' && (i + 1 >= t.size() || t[i + 1] != u'\n')) return true;
    if (t[i] == u'\n' && (i == 0 || t[i - 1] != u'\r')) return true;
  }
  return false;
}

// Zero bytes at even and at odd offsets among the first bytes: layout text
// is mostly ASCII, so UTF-16 without a byte-order mark shows a zero in
// every other byte.
void CountZeros(const std::string& b, std::size_t& even, std::size_t& odd) {
  even = odd = 0;
  const std::size_t n = std::min<std::size_t>(b.size(), 8192);
  for (std::size_t i = 0; i < n; ++i)
    if (b[i] == 0) ++((i % 2) ? odd : even);
}

}  // namespace

LayoutText ReadLayoutText(const std::u16string& path) {
  std::optional<std::string> bytes;
  if (!path.empty()) bytes = plat::ReadFileBytes(PathBytes(path));
  if (!bytes) return {};
  return DecodeLayoutBytes(*bytes);
}

LayoutText DecodeLayoutBytes(const std::string& b) {
  LayoutText result;
  result.opened = true;
  auto starts = [&b](const char* prefix, std::size_t n) { return b.size() >= n && b.compare(0, n, prefix, n) == 0; };
  if (starts("\xFF\xFE", 2)) {
    const std::u16string units = Utf16Units(b, 2, false);
    if (b.size() % 2 == 0 && !OtherLineEnds(units)) {
      // The layout format: read exactly as the format is read.
      result.encoding = TextEncoding::Utf16Le;
      result.text = FormatText(b);
      return result;
    }
    result.encoding = TextEncoding::Utf16LeOther;
    result.text = NormaliseLines(units);
    return result;
  }
  if (starts("\xFE\xFF", 2)) {
    result.encoding = TextEncoding::Utf16Be;
    result.text = NormaliseLines(Utf16Units(b, 2, true));
    return result;
  }
  std::size_t even = 0, odd = 0;
  CountZeros(b, even, odd);
  const std::size_t half = std::min<std::size_t>(b.size(), 8192) / 2;
  if (b.size() % 2 == 0 && half > 0 && (odd * 4 >= half || even * 4 >= half)) {
    const bool big = even > odd;
    result.encoding = big ? TextEncoding::Utf16Be : TextEncoding::Utf16LeOther;
    result.text = NormaliseLines(Utf16Units(b, 0, big));
    return result;
  }
  const std::size_t skip = starts("\xEF\xBB\xBF", 3) ? 3 : 0;
  if (even + odd == 0 || skip) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(QByteArrayView(b.data() + skip, static_cast<qsizetype>(b.size() - skip)));
    if (!utf8.hasError()) {
      result.encoding = TextEncoding::Utf8;
      result.text = NormaliseLines(text.toStdU16String());
      return result;
    }
  }
  return result;  // Unknown
}

const char* EncodingName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Utf16Le: return "UTF-16LE";
    case TextEncoding::Utf16LeOther: return "UTF-16LE with other line ends";
    case TextEncoding::Utf16Be: return "UTF-16BE";
    case TextEncoding::Utf8: return "UTF-8";
    case TextEncoding::Unknown: break;
  }
  return "unknown";
}

std::u16string GetExeDir() { return plat::Utf8ToWide(plat::ExeDir()); }

std::u16string MakeExePath(std::u16string_view name) {
  std::u16string path = plat::Utf8ToWide(plat::ExePath(name));
  if (path.size() > kMaxPath) {
    plat::Trace("layout: path longer than 1023 characters refused");
    return {};
  }
  return path;
}

std::optional<std::u16string> ReadUnicodeTextFile(const std::u16string& path) {
  std::optional<std::string> bytes;
  if (!path.empty()) bytes = plat::ReadFileBytes(PathBytes(path));
  if (!bytes) {
    plat::Trace("layout: cannot read " + PathBytes(path));
    // The file is named, so that the user knows which one to mend.
    Ui().Message(nullptr, QString(), QStringLiteral("failed to read the file!\n") + FromU16(path),
                 UiSeam::Icon::Warning);
    return std::nullopt;
  }
  return FormatText(*bytes);
}

bool WriteUnicodeTextFile(const std::u16string& path, std::u16string_view text) {
  std::string bytes("\xFF\xFE", 2);
  bytes.reserve(2 + text.size() * 2 + 64);
  auto put = [&bytes](char16_t u) {
    bytes += static_cast<char>(u & 0xFF);
    bytes += static_cast<char>((u >> 8) & 0xFF);
  };
  std::size_t start = 0;
  while (true) {
    const std::size_t lf = text.find(u'\n', start);
    if (lf == std::u16string_view::npos) break;
    for (std::size_t i = start; i < lf; ++i) put(text[i]);
    put(u'\r');
    put(u'\n');
    start = lf + 1;
  }
  std::string error;
  if (path.empty() || !plat::WriteFileAtomic(PathBytes(path), bytes, false, &error)) {
    plat::Trace("layout: cannot write " + PathBytes(path) + ": " + error);
    return false;
  }
  return true;
}

bool WriteNarrowTextFile(const std::string& path, std::string_view text) {
  const std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  std::string error;
  if (!plat::WriteFileAtomic(path, out, false, &error)) {
    plat::Trace("text file: cannot write " + path + ": " + error);
    return false;
  }
  return true;
}

ParseIssues ParseBraceBlocks(std::u16string_view text, void* owner, BlockCallback callback) {
  std::u16string flat;
  flat.reserve(text.size());
  for (char16_t c : text)
    if (c != u'\n') flat += c;
  Parser parser{owner, callback, {}};
  if (callback) parser.Parse(flat, 0);
  return parser.issues;
}

bool SplitKeyValue(std::u16string_view item, std::u16string& key, std::u16string& value, bool* cut) {
  const std::size_t eq = item.find(u'=');
  if (eq == std::u16string_view::npos) {
    key.assign(item);
    value.clear();
  } else {
    key.assign(item.substr(0, eq));
    value.assign(item.substr(eq + 1));
  }
  RemoveBlanks(key);
  TrimLeftBlanks(value);
  TrimRightBlanks(value);
  bool wasCut = false;
  if (key.size() > kMaxKeyValue) key.resize(kMaxKeyValue), wasCut = true;
  if (value.size() > kMaxKeyValue) value.resize(kMaxKeyValue), wasCut = true;
  if (cut) *cut = wasCut;
  return eq != std::u16string_view::npos || !item.empty();
}

bool FindMatchingBrace(std::u16string_view text, std::size_t& open, std::size_t& close) {
  open = text.find(u'{');
  close = std::u16string_view::npos;
  if (open == std::u16string_view::npos) return false;
  long depth = 0;
  for (std::size_t i = open; i < text.size(); ++i) {
    if (text[i] == u'{') ++depth;
    else if (text[i] == u'}' && --depth == 0) {
      close = i;
      break;
    }
  }
  return true;
}

void RemoveBlanks(std::u16string& s) { std::erase(s, kBlank); }

void TrimLeftBlanks(std::u16string& s) {
  const std::size_t first = s.find_first_not_of(kBlank);
  s.erase(0, first == std::u16string::npos ? s.size() : first);
}

void TrimRightBlanks(std::u16string& s) {
  const std::size_t last = s.find_last_not_of(kBlank);
  s.erase(last == std::u16string::npos ? 0 : last + 1);
}

std::vector<std::u16string> SplitTextList(std::u16string_view value) {
  std::u16string v(value);
  TrimLeftBlanks(v);
  TrimRightBlanks(v);
  std::vector<std::u16string> items;
  std::size_t start = 0;
  while (true) {
    const std::size_t blank = v.find(kBlank, start);
    if (blank == std::u16string::npos) {
      items.push_back(v.substr(start));
      break;
    }
    items.push_back(v.substr(start, blank - start));
    start = blank + 1;
  }
  return items;
}

std::vector<float> SplitNumberList(std::u16string_view value) {
  std::vector<float> numbers;
  for (const std::u16string& item : SplitTextList(value)) numbers.push_back(static_cast<float>(ValueNumber(item)));
  return numbers;
}

std::u16string JoinTextList(const std::vector<std::u16string>& items) {
  std::u16string out;
  for (const std::u16string& item : items) {
    out += item;
    out += kBlank;
  }
  return out;
}

std::u16string JoinNumberList(const std::vector<float>& items) {
  std::u16string out;
  for (float item : items) {
    out += DoubleToWString(static_cast<double>(item));
    out += kBlank;
  }
  return out;
}

double ValueNumber(std::u16string_view value) { return plat::ParseDouble(value); }
int ValueWhole(std::u16string_view value) { return plat::ParseIntPrefix(value); }

float LayoutFraction(double value, bool* clamped) {
  if (value >= 0.0 && value <= 1.0) return static_cast<float>(value);
  if (clamped) *clamped = true;
  return value > 1.0 ? 1.0f : 0.0f;  // NaN and negative values give 0
}

bool IsFolderOrRoot(const std::u16string& path) {
  if (path.empty()) return false;
  return plat::IsDirectory(PathBytes(path));
}

bool IsWritableValue(std::u16string_view value) {
  if (value.size() > kMaxKeyValue) return false;
  for (char16_t c : value)
    if (c == u',' || c == u'{' || c == u'}' || c == u'\r' || c == u'\n') return false;
  // Leading and trailing blanks would be trimmed away when read back.
  return value.empty() || (value.front() != kBlank && value.back() != kBlank);
}

}  // namespace ravik
