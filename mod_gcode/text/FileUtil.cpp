#include "mod_gcode/text/FileUtil.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/Files.h"
#include "platform/Host.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace quillet {

std::string GetExeDir() { return plat::ExeDir(); }

std::string MakeExePath(WStringView relative) { return plat::ExePath(relative); }

std::string ResolveUserPath(WStringView path) {
  std::string p = plat::WideToUtf8(path);
  for (char& c : p)
    if (c == '\\') c = '/';
  if (!p.empty() && p[0] == '/') return plat::ResolvePath(p, "/");
  return plat::ResolvePath(p, ".");
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  auto text = plat::ReadTextFile(path);
  if (!text) return std::nullopt;
  auto zero = text->find('\0');
  if (zero != std::string::npos) text->resize(zero);
  return text;
}

bool WriteTextFile(const std::string& path, std::string_view text) {
  return plat::WriteFileAtomic(path, plat::ToCrLf(text));
}

void ProgramFileLayout::Splice(std::size_t index, std::size_t removed, std::size_t added) {
  if (lineEnds.empty()) return;  // all alike: new ones take the same kind
  index = std::min(index, lineEnds.size());
  removed = std::min(removed, lineEnds.size() - index);
  lineEnds.erase(lineEnds.begin() + static_cast<std::ptrdiff_t>(index),
                 lineEnds.begin() + static_cast<std::ptrdiff_t>(index + removed));
  lineEnds.insert(lineEnds.begin() + static_cast<std::ptrdiff_t>(index), added, lineEnd);
}

namespace {

bool IsUtf8CodePage(const std::string& name) {
  std::string up;
  for (char c : name) up.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c);
  return up == "UTF-8" || up == "UTF8";
}

// Collects the kinds of a file's line ends: only the first while all agree.
class LineEndRecorder {
 public:
  void Add(ProgramFileLayout::LineEnd kind) {
    if (m_count == 0) {
      m_first = kind;
    } else if (!m_mixed && kind != m_first) {
      m_mixed = true;
      m_ends.assign(m_count, m_first);
    }
    if (m_mixed) m_ends.push_back(kind);
    ++m_count;
  }
  void Into(ProgramFileLayout& layout) {
    if (m_count > 0) layout.lineEnd = m_first;
    layout.lineEnds = std::move(m_ends);
  }

 private:
  ProgramFileLayout::LineEnd m_first = ProgramFileLayout::kCrLf;
  std::size_t m_count = 0;
  bool m_mixed = false;
  std::vector<unsigned char> m_ends;
};

}  // namespace

std::u16string WidenFileText(std::string_view bytes, ProgramFileLayout* layout) {
  LineEndRecorder ends;
  bool zero = false;
  const std::string codePage = plat::SystemCodePage();
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  // Handles the line end or zero byte at p[i] (`put` receives what it reads
  // as); returns the bytes it took.
  auto control = [&](std::size_t i, auto put) -> std::size_t {
    if (p[i] == 0) {
      zero = true;
      put(true);
      return 1;
    }
    put(false);
    if (p[i] == '\n') {
      ends.Add(ProgramFileLayout::kLf);
      return 1;
    }
    if (i + 1 < n && p[i + 1] == '\n') {
      ends.Add(ProgramFileLayout::kCrLf);
      return 2;
    }
    ends.Add(ProgramFileLayout::kCr);
    return 1;
  };
  auto isControl = [](unsigned char c) { return c == '\n' || c == '\r' || c == 0; };

  std::u16string out;
  if (IsUtf8CodePage(codePage)) {
    // ASCII is copied directly, the runs of other bytes are decoded. A run of
    // bytes >= 0x80 holds whole sequences, so decoding run by run equals
    // decoding the whole text, and no UTF-8 sequence widens to more units
    // than it has bytes.
    out.assign(n, u'\0');
    char16_t* o = out.data();
    std::size_t i = 0;
    while (i < n) {
      const unsigned char c = p[i];
      if (c < 0x80) {
        if (isControl(c)) {
          i += control(i, [&](bool isZero) { *o++ = isZero ? kZeroByteShown : u'\n'; });
        } else {
          *o++ = c;
          ++i;
        }
        continue;
      }
      std::size_t j = i;
      while (j < n && p[j] >= 0x80) ++j;
      plat::Widened run = plat::WidenFrom(bytes.substr(i, j - i), codePage);
      std::memcpy(o, run.text.data(), run.text.size() * sizeof(char16_t));
      o += run.text.size();
      i = j;
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
  } else {
    // Line ends and zero bytes are never part of a multi-byte character of
    // the code pages, so they are sorted out on the bytes; the text between
    // zero bytes is converted piece by piece.
    std::string lines;
    lines.reserve(n);
    std::vector<std::size_t> zeros;
    for (std::size_t i = 0; i < n;) {
      if (!isControl(p[i])) {
        lines.push_back(static_cast<char>(p[i++]));
        continue;
      }
      i += control(i, [&](bool isZero) {
        if (isZero) zeros.push_back(lines.size());
        else lines.push_back('\n');
      });
    }
    std::size_t start = 0;
    for (std::size_t k = 0; k <= zeros.size(); ++k) {
      const std::size_t stop = k < zeros.size() ? zeros[k] : lines.size();
      out += plat::WidenFrom(std::string_view(lines).substr(start, stop - start), codePage).text;
      if (k < zeros.size()) out.push_back(kZeroByteShown);
      start = stop;
    }
  }
  if (layout) {
    *layout = ProgramFileLayout();
    ends.Into(*layout);
    layout->zeroBytes = zero;
  }
  return out;
}

std::string NarrowFileText(std::u16string_view text, const ProgramFileLayout& layout, std::size_t* replaced) {
  static const char16_t* const kEnds[] = {u"\n", u"\r\n", u"\r"};
  std::u16string wide;
  wide.reserve(text.size() + text.size() / 16 + 2);
  std::size_t endIndex = 0;
  unsigned previous = ProgramFileLayout::kCrLf;  // the kind of the last line end written
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c != u'\n') {
      wide.push_back(c);
      continue;
    }
    unsigned kind = layout.Kind(endIndex++);
    if (i > 0 && text[i - 1] == u'\r') kind = ProgramFileLayout::kLf;  // CR LF given as such
    // An LF right after a CR end would read back as one CR LF.
    if (kind == ProgramFileLayout::kLf && previous == ProgramFileLayout::kCr && i > 0 && text[i - 1] == u'\n')
      kind = ProgramFileLayout::kCr;
    previous = kind;
    wide.append(kEnds[kind < 3 ? kind : 1]);
  }
  // Zero bytes are put between the converted pieces: the conversion itself
  // works on zero-terminated text.
  std::string out;
  std::size_t lost = 0;
  std::size_t start = 0;
  while (true) {
    std::size_t zero = layout.zeroBytes ? wide.find(kZeroByteShown, start) : std::u16string::npos;
    plat::Narrowed piece =
        plat::NarrowTo(std::u16string_view(wide).substr(start, zero == std::u16string::npos ? zero : zero - start),
                       plat::SystemCodePage());
    out += piece.text;
    lost += piece.replaced;
    if (zero == std::u16string::npos) break;
    out.push_back('\0');
    start = zero + 1;
  }
  if (replaced) *replaced = lost;
  return out;
}

std::optional<WString> LoadOrCreateFile(const std::string& path, const char16_t* defaultText) {
  auto bytes = plat::ReadFileBytes(path);
  if (bytes && !bytes->empty()) return WidenFileText(*bytes);
  if (!defaultText) return std::nullopt;
  // The default as it would read back from the file: through the code page.
  return AnsiToWide(WideToAnsi(plat::WView(defaultText)));
}

bool ReadRawFile(const std::string& path, void* buffer, std::size_t length, std::size_t* got) {
  if (got) *got = 0;
  auto bytes = plat::ReadFileBytes(path);
  if (!bytes) return false;
  std::size_t n = bytes->size() < length ? bytes->size() : length;
  if (n) std::memcpy(buffer, bytes->data(), n);
  if (got) *got = n;
  return true;
}

bool WriteRawFile(const std::string& path, const void* data, std::size_t length) {
  if (!data || length == 0 || path.empty()) return false;
  return plat::WriteFileAtomic(path, std::string_view(static_cast<const char*>(data), length), true);
}

void RemoveBlanks(WString& text) {
  WString out;
  out.reserve(text.size());
  for (char16_t c : text)
    if (c != u' ') out.push_back(c);
  text.swap(out);
}

void TrimLeftBlanks(WString& text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == u' ') ++i;
  text.erase(0, i);
}

void TrimRightBlanks(WString& text) {
  while (!text.empty() && text.back() == u' ') text.pop_back();
}

bool SplitKeyValue(WStringView text, WStringView separator, WString& key, WString& value) {
  auto pos = text.find(separator);
  if (pos == WStringView::npos) {
    if (text.empty()) return false;
    key.assign(text);
    RemoveBlanks(key);
    return true;
  }
  key.assign(text.substr(0, pos));
  RemoveBlanks(key);
  value.assign(text.substr(pos + separator.size()));
  TrimLeftBlanks(value);
  TrimRightBlanks(value);
  return true;
}

namespace {

// Delivers one finished line of a key=value file.
void DeliverLine(WString& line, const KeyValueHandler& handler) {
  if (line.empty()) return;
  WString probe = line;
  RemoveBlanks(probe);
  if (probe == u"%") {
    handler(u"%", u"");
  } else {
    WString key, value;
    if (SplitKeyValue(line, u"=", key, value)) handler(key, value);
  }
  line.clear();
}

bool ReadKeyValueFile(const std::string& path, const KeyValueHandler& handler, bool asciiUnits) {
  auto bytes = plat::ReadFileBytes(path);
  if (!bytes) {
    plat::Alert(u"failed to read the file!", u"");
    return false;
  }
  const std::string& b = *bytes;
  std::size_t units = b.size() / 2;  // an odd trailing byte is not a unit
  auto unitAt = [&](std::size_t i) {
    return static_cast<char16_t>(static_cast<unsigned char>(b[2 * i]) |
                                 (static_cast<unsigned char>(b[2 * i + 1]) << 8));
  };
  std::size_t i = 0;
  if (units > 0 && unitAt(0) == 0xFEFF) i = 1;
  WString line;
  while (i < units) {
    char16_t u = unitAt(i);
    if (u == u'\r' || u == u'\n') {
      DeliverLine(line, handler);
      ++i;
      if (u == u'\r' && i < units && unitAt(i) == u'\n') ++i;
      continue;
    }
    if (asciiUnits && u > 0x7F) u = u'?';  // rule files hold ASCII only
    line.push_back(u);
    ++i;
  }
  DeliverLine(line, handler);  // the last line counts without its line end
  return true;
}

}  // namespace

bool ReadRuleFile(const std::string& path, const KeyValueHandler& handler) {
  return ReadKeyValueFile(path, handler, true);
}

bool ReadTipsFile(const std::string& path, const KeyValueHandler& handler) {
  return ReadKeyValueFile(path, handler, false);
}

bool FindBraceBlock(WStringView text, std::size_t& open, std::size_t& close) {
  auto pos = text.find(u'{');
  if (pos == WStringView::npos) return false;
  open = pos;
  close = 0;
  int depth = 0;
  for (std::size_t i = pos; i < text.size(); ++i) {
    if (text[i] == u'{') ++depth;
    else if (text[i] == u'}') {
      --depth;
      if (depth == 0) {
        close = i;
        return true;
      }
    }
  }
  // Unbalanced: the block runs to the end of the text.
  close = text.size() ? text.size() - 1 : 0;
  return true;
}

namespace {

void ParseScriptBlocks(WStringView text, const BlockHandler& handler, int depth) {
  if (depth > 64) return;  // nesting far beyond any script: stop rather than recurse on
  // The text is read front to back through a view: each block is looked at
  // once, so a large script takes time in proportion to its length.
  while (true) {
    auto eq = text.find(u'=');
    if (eq == WStringView::npos) return;
    WString name(text.substr(0, eq));
    std::size_t open = 0, close = 0;
    if (!FindBraceBlock(text, open, close) || close <= open) return;  // outside the format
    WStringView body = text.substr(open + 1, close - open - 1);
    std::map<WString, WString> items;
    handler(name, items);
    if (body.find(u'{') != WStringView::npos && body.find(u'}') != WStringView::npos)
      ParseScriptBlocks(body, handler, depth + 1);
    text.remove_prefix(close + 1);
    std::size_t start = 0;
    while (true) {
      auto comma = body.find(u',', start);
      WStringView item = body.substr(start, comma == WStringView::npos ? WStringView::npos : comma - start);
      WString key, value;
      if (item.empty()) {
        items[WString()] = WString();
      } else if (SplitKeyValue(item, u"=", key, value)) {
        items[key] = value;
      }
      if (comma == WStringView::npos) break;
      start = comma + 1;
    }
    handler(name, items);
  }
}

}  // namespace

void ParseScriptText(WStringView text, const BlockHandler& handler) {
  WString t;
  t.reserve(text.size());
  for (char16_t c : text)
    if (c != u'\n') t.push_back(c);
  ParseScriptBlocks(t, handler, 0);
}

}  // namespace quillet
