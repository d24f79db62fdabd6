#include "mod_gcode/GCCode/CodeBuffer.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/Files.h"
#include "platform/Text.h"

namespace quillet {
namespace {

bool IsUtf8CodePage(const std::string& name) {
  std::string up;
  for (char c : name) up.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c);
  return up == "UTF-8" || up == "UTF8";
}

// The text a default text becomes once written to a file and read back:
// narrowed to the code page, line ends as the text-mode round trip leaves
// them, widened again.
std::u16string RoundTripDefault(std::u16string_view text) {
  std::string bytes = plat::ToCrLf(plat::WideToAnsiString(text));
  return WidenFileText(bytes);
}

// What loading `path` gives: the file's text, the default text for a
// missing or empty file, nothing when neither is to be had.
std::optional<std::u16string> LoadText(std::u16string_view path, const char16_t* defaultText) {
  if (path.empty()) return std::nullopt;
  std::string file = ResolveCodeFilePath(path);
  if (auto bytes = plat::ReadFileBytes(file)) {
    std::u16string text = WidenFileText(*bytes);
    if (!text.empty()) return text;
  } else if (plat::FileExists(file) || plat::IsDirectory(file)) {
    return std::nullopt;  // there, but not readable
  } else {
    // A missing file could only have been created in an existing folder.
    auto slash = file.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : file.substr(0, slash == 0 ? 1 : slash);
    if (!plat::IsDirectory(folder)) return std::nullopt;
  }
  if (!defaultText) return std::nullopt;
  return RoundTripDefault(plat::WView(defaultText));
}

}  // namespace

std::u16string WidenFileText(std::string_view bytes) {
  if (const void* zero = std::memchr(bytes.data(), 0, bytes.size()))
    bytes = bytes.substr(0, static_cast<std::size_t>(static_cast<const char*>(zero) - bytes.data()));
  const std::string codePage = plat::SystemCodePage();
  if (!IsUtf8CodePage(codePage)) return plat::WidenFrom(plat::FromCrLf(bytes), codePage).text;

  // UTF-8: ASCII runs are copied directly (dropping the CR of CR LF), the
  // runs of other bytes are decoded. A run of bytes >= 0x80 holds whole
  // sequences, so decoding run by run equals decoding the whole text, and no
  // UTF-8 sequence widens to more units than it has bytes.
  std::u16string out(bytes.size(), u'\0');
  char16_t* o = out.data();
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  while (i < n) {
    if (p[i] < 0x80) {
      if (!(p[i] == '\r' && i + 1 < n && p[i + 1] == '\n')) *o++ = p[i];
      ++i;
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
  return out;
}

int CCodeBuffer::Create(const char16_t* path, const char16_t* defaultText, bool setPath) {
  if (setPath) SetPath(path);
  std::optional<std::u16string> text = LoadText(plat::WView(path), defaultText);
  m_hasRaw = text.has_value();
  m_raw = text ? std::move(*text) : std::u16string();
  if (m_raw.empty()) {
    ClearTable();
    return 0;
  }
  // Only the first line decides the result and the program-number line.
  CodeItemLine first;
  LexBlockText(std::u16string_view(m_raw).substr(0, m_raw.find_first_of(u"\r\n")), first, true);
  const std::u16string& item = first.front();  // at least the closing ";"
  const char16_t lead = item.empty() ? u'\0' : item.front();
  std::u16string head;
  if (lead != u'O' && defaultText && *defaultText) head = defaultText;
  AnalyzeLater(&m_raw, std::move(head));
  return lead;
}

void CCodeBuffer::Reset(const char16_t* text, const char16_t* tail) {
  m_hasRaw = text != nullptr;
  m_raw = text ? std::u16string(text) : std::u16string();
  AnalyzeLater(&m_raw, {});
  m_tail = tail ? std::u16string(tail) : std::u16string();
}

void CCodeBuffer::Clear() {
  ClearTable();
  m_raw.clear();
  m_raw.shrink_to_fit();
  m_hasRaw = false;
}

void CCodeBuffer::SetPath(const char16_t* path) {
  std::u16string_view p = plat::WView(path);
  std::size_t sep = p.find_last_of(u"\\/");
  if (sep == std::u16string_view::npos) return;
  m_folder = std::u16string(p.substr(0, std::min(sep, kMaxPathPart)));
  m_name = std::u16string(p.substr(sep + 1, kMaxPathPart));
}

const char16_t* CCodeBuffer::GetText() {
  if (!m_modified) return m_hasRaw ? m_raw.c_str() : nullptr;
  CompleteTable();
  std::u16string text;
  for (const auto& line : m_table) {
    for (const auto& item : line) text.append(item);
    text.push_back(u'\n');
  }
  text.append(m_tail);
  m_raw = std::move(text);
  m_hasRaw = true;
  return m_raw.c_str();
}

bool CCodeBuffer::ProtectsProgramNumber(int line, int col) {
  if (line != 0 || col != 0) return false;
  const std::u16string& first = GetItem(0, 0);
  return !first.empty() && first.front() == u'O';
}

CodeItemTable* CCodeBuffer::Insert(std::u16string_view text, int& line, int& col) {
  m_modified = true;
  InsertText(text, line, col);
  Save();
  return GetTable();
}

CodeItemTable* CCodeBuffer::Replace(std::u16string_view text, int& line, int& col) {
  m_modified = true;
  if (!ProtectsProgramNumber(line, col)) {
    ReplaceItem(text, line, col);
    Save();
  }
  return GetTable();
}

CodeItemTable* CCodeBuffer::Delete(int& line, int& col) {
  m_modified = true;
  if (!ProtectsProgramNumber(line, col)) {
    DeleteItem(line, col);
    Save();
  }
  return GetTable();
}

int CCodeBuffer::Save() {
  if (!m_modified || m_name.empty()) return kCodeWriteNothing;
  CompleteTable();
  return WriteItemsToFile(m_folder + u"\\" + m_name, m_table);
}

int CCodeBuffer::WriteTo(std::u16string_view path, std::size_t* replaced) {
  CompleteTable();
  return WriteItemsToFile(path, m_table, replaced);
}

CCodeBuffer* GetCodeBuffer(int id) {
  static CCodeBuffer buffers[2];
  return (id == 0 || id == 1) ? &buffers[id] : nullptr;
}

}  // namespace quillet
