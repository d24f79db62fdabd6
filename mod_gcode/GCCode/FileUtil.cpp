#include "mod_gcode/GCCode/FileUtil.h"

#include <cstring>
#include <vector>

#include "platform/Files.h"
#include "platform/Host.h"
#include "platform/Paths.h"

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

std::optional<WString> LoadOrCreateFile(const std::string& path, const char16_t* defaultText) {
  auto bytes = ReadWholeFile(path);
  if (bytes && !bytes->empty()) return AnsiToWide(*bytes);
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
