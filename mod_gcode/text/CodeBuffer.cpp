#include "mod_gcode/text/CodeBuffer.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/Files.h"
#include "platform/Host.h"
#include "platform/Text.h"

namespace quillet {
namespace {

bool IsLineEnd(char16_t c) { return c == u'\n' || c == u'\r'; }
bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }
bool IsLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'@'; }
bool IsValueChar(char16_t c) { return (c >= u'0' && c <= u'9') || c == u'.' || c == u'#'; }
bool IsWordChar(char16_t c) { return IsLetter(c) || IsValueChar(c) || c == u'-' || c == u'(' || c == u')'; }

// Whether the lexer would read `left` and `right`, written side by side, as
// one item where they were two.
bool RunTogether(char16_t left, char16_t right) {
  if (IsValueChar(right) || right == u'-') return IsLetter(left) || IsValueChar(left) || left == u'-';
  if (IsLetter(right)) return IsLetter(left);
  return false;
}

// `text` put between the characters `left` and `right` (0: none, or a line
// end): a blank is added on a side where the text would otherwise run into
// the neighbouring word, or, with `spaced`, touch it at all. `core`
// receives where the text starts in the result.
std::u16string Glue(char16_t left, std::u16string_view text, char16_t right, bool spaced, std::size_t* core) {
  auto needs = [&](char16_t a, char16_t b) {
    if (!a || !b || IsLineEnd(a) || IsLineEnd(b) || IsBlank(a) || IsBlank(b)) return false;
    return RunTogether(a, b) || (spaced && IsWordChar(a) && IsWordChar(b));
  };
  std::u16string out;
  if (!text.empty() && needs(left, text.front())) out.push_back(u' ');
  if (core) *core = out.size();
  out.append(text);
  if (!text.empty() && needs(text.back(), right)) out.push_back(u' ');
  return out;
}

// A typed text as program text: CR LF and CR become LF, and every ";" the
// lexer reads as a block end (not one inside a comment) ends a line.
std::u16string TypedText(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  bool comment = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'\r') {
      if (i + 1 < text.size() && text[i + 1] == u'\n') continue;
      c = u'\n';
    }
    if (comment) {
      if (c == u')' || c == u'\n') comment = false;
    } else if (c == u'(') {
      comment = true;
    } else if (c == u';') {
      c = u'\n';
    }
    out.push_back(c);
  }
  return out;
}

std::size_t CountLineEnds(std::u16string_view text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), IsLineEnd));
}

// The text a default text becomes once written to a file and read back.
std::u16string RoundTripDefault(std::u16string_view text) {
  return WidenFileText(plat::ToCrLf(plat::WideToAnsiString(text)));
}

// What loading `path` gives: the file's text, the default text for a
// missing or empty file, nothing when neither is to be had.
std::optional<std::u16string> LoadText(std::u16string_view path, const char16_t* defaultText,
                                       ProgramFileLayout& layout) {
  if (path.empty()) return std::nullopt;
  std::string file = ResolveCodeFilePath(path);
  if (auto bytes = plat::ReadFileBytes(file)) {
    std::u16string text = WidenFileText(*bytes, &layout);
    if (!text.empty()) return text;
  } else if (plat::FileExists(file) || plat::IsDirectory(file)) {
    return std::nullopt;  // there, but not readable
  } else {
    // A missing file could only have been created in an existing folder.
    auto slash = file.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : file.substr(0, slash == 0 ? 1 : slash);
    if (!plat::IsDirectory(folder)) return std::nullopt;
  }
  layout = ProgramFileLayout();
  if (!defaultText) return std::nullopt;
  return RoundTripDefault(plat::WView(defaultText));
}

}  // namespace

int CCodeBuffer::Create(const char16_t* path, const char16_t* defaultText, bool setPath) {
  if (setPath) SetPath(path);
  // Edits save to the file that was opened, whether or not it gave the name.
  m_file = plat::WView(path);
  m_modified = false;
  m_tail.clear();
  m_head.clear();
  m_shown.clear();
  std::optional<std::u16string> text = LoadText(plat::WView(path), defaultText, m_layout);
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
  if (lead != u'O' && defaultText && *defaultText) m_head = defaultText;
  AnalyzeLater(&m_raw, m_head);
  return lead;
}

void CCodeBuffer::Reset(const char16_t* text, const char16_t* tail) {
  // A new text belongs to no file yet: edits must not save it over the file
  // that was loaded before.
  m_file.clear();
  m_hasRaw = text != nullptr;
  m_raw = text ? std::u16string(text) : std::u16string();
  m_head.clear();
  m_layout = ProgramFileLayout();
  AnalyzeLater(&m_raw, {});
  m_tail = tail ? std::u16string(tail) : std::u16string();
}

void CCodeBuffer::Clear() {
  ClearTable();
  m_raw.clear();
  m_raw.shrink_to_fit();
  m_head.clear();
  m_shown.clear();
  m_hasRaw = false;
}

void CCodeBuffer::SetPath(const char16_t* path) {
  std::u16string_view p = plat::WView(path);
  std::size_t sep = p.find_last_of(u"\\/");
  if (sep == std::u16string_view::npos) return;
  m_folder = std::u16string(p.substr(0, std::min(sep, kMaxPathPart)));
  m_name = std::u16string(p.substr(sep + 1, kMaxPathPart));
  m_file = m_name.empty() ? std::u16string() : m_folder + u"\\" + m_name;
}

const char16_t* CCodeBuffer::GetText() {
  if (!m_modified || m_tail.empty()) return m_hasRaw ? m_raw.c_str() : nullptr;
  m_shown = m_raw;
  if (!m_shown.empty() && !IsLineEnd(m_shown.back())) m_shown.push_back(u'\n');
  m_shown.append(m_tail);
  return m_shown.c_str();
}

bool CCodeBuffer::ProtectsProgramNumber(int line, int col) {
  if (line != 0 || col != 0) return false;
  const std::u16string& first = GetItem(0, 0);
  return !first.empty() && first.front() == u'O';
}

CCodeBuffer::LineRange CCodeBuffer::FindLine(std::size_t textLine) const {
  std::size_t start = 0;
  for (std::size_t k = 0; k < textLine; ++k) {
    std::size_t end = m_raw.find_first_of(u"\r\n", start);
    if (end == std::u16string::npos) break;
    start = end + 1;
  }
  std::size_t end = m_raw.find_first_of(u"\r\n", start);
  return {start, end == std::u16string::npos ? m_raw.size() : end};
}

bool CCodeBuffer::JoinsCrLf(std::size_t crEnd, std::size_t textLine, std::size_t lfEnd) const {
  if (m_layout.Kind(crEnd) != ProgramFileLayout::kCr || m_layout.Kind(lfEnd) != ProgramFileLayout::kLf) return false;
  const LineRange r = FindLine(textLine);
  return r.start == r.end && r.end < m_raw.size();
}

bool CCodeBuffer::Compact(const LineRange& range, const std::vector<CodeItemSpan>& spans) const {
  if (spans.size() < 3) return false;  // fewer than two items besides the closing ";"
  const std::u16string_view text = std::u16string_view(m_raw).substr(range.start, range.end - range.start);
  return text.find_first_of(u" \t") == std::u16string_view::npos;
}

std::vector<CodeItemSpan> CCodeBuffer::ItemSpans(const LineRange& range) {
  CodeItemLine items;
  std::vector<CodeItemSpan> spans;
  LexBlockText(std::u16string_view(m_raw).substr(range.start, range.end - range.start), items, true, &spans);
  for (auto& s : spans) {
    s.begin += range.start;
    s.end += range.start;
  }
  return spans;
}

void CCodeBuffer::Splice(std::size_t textLine, std::size_t lineStart, std::size_t at, std::size_t erase,
                         std::u16string_view insert) {
  const std::size_t removed = CountLineEnds(std::u16string_view(m_raw).substr(at, erase));
  const std::size_t added = CountLineEnds(insert);
  m_layout.Splice(textLine, removed, added);
  m_raw.replace(at, erase, insert);
  m_hasRaw = true;

  std::vector<CodeItemLine> lines(added + 1);
  std::size_t pos = lineStart;
  for (auto& items : lines) {
    std::size_t end = m_raw.find_first_of(u"\r\n", pos);
    if (end == std::u16string::npos) end = m_raw.size();
    LexBlockText(std::u16string_view(m_raw).substr(pos, end - pos), items, true);
    pos = end + 1;
  }
  const std::size_t row = HeadRows() + textLine;
  const std::size_t oldRows = std::min(removed + 1, m_table.size() - std::min(row, m_table.size()));
  auto first = m_table.begin() + static_cast<std::ptrdiff_t>(std::min(row, m_table.size()));
  first = m_table.erase(first, first + static_cast<std::ptrdiff_t>(oldRows));
  m_table.insert(first, std::make_move_iterator(lines.begin()), std::make_move_iterator(lines.end()));
}

void CCodeBuffer::CursorAt(std::size_t textLine, std::size_t lineStart, std::size_t pos, int& line, int& col) {
  LineRange range{lineStart, 0};
  while (true) {
    std::size_t end = m_raw.find_first_of(u"\r\n", range.start);
    range.end = end == std::u16string::npos ? m_raw.size() : end;
    if (pos <= range.end || range.end == m_raw.size()) break;
    range.start = range.end + 1;
    ++textLine;
  }
  std::vector<CodeItemSpan> spans = ItemSpans(range);
  std::size_t item = 0;
  while (item + 1 < spans.size() && spans[item].end <= pos) ++item;
  line = static_cast<int>(HeadRows() + textLine);
  col = static_cast<int>(item);
}

void CCodeBuffer::ClampCursor(int& line, int& col) {
  if (m_table.empty() || ValidCursor(line, col)) return;
  std::size_t l = std::min(static_cast<std::size_t>(std::max(line, 0)), m_table.size() - 1);
  line = static_cast<int>(l);
  col = std::min(std::max(col, 0), static_cast<int>(m_table[l].size()) - 1);
}

void CCodeBuffer::AdoptHead(int& line, int& col) {
  const bool onEnd = col != 0;
  std::u16string head = TypedText(m_head) + u"\n";
  m_head.clear();
  m_table.erase(m_table.begin());
  Splice(0, 0, 0, 0, head);
  const std::size_t rows = CountLineEnds(head);
  line = onEnd ? static_cast<int>(rows - 1) : 0;
  col = onEnd ? static_cast<int>(m_table[rows - 1].size()) - 1 : 0;
}

CCodeBuffer::EditPlace CCodeBuffer::PlaceOf(int line, int col) {
  EditPlace p{static_cast<std::size_t>(line) - HeadRows(), {}, {}, static_cast<std::size_t>(col), false, false};
  p.range = FindLine(p.textLine);
  p.spans = ItemSpans(p.range);
  p.onLineEnd = p.item + 1 == p.spans.size();
  p.lastLine = static_cast<std::size_t>(line) + 1 == m_table.size();
  return p;
}

CodeItemTable* CCodeBuffer::Insert(std::u16string_view text, int& line, int& col, int* saved) {
  if (saved) *saved = kCodeWriteNothing;
  m_modified = true;
  CompleteTable();
  // A closing bracket before any opening one would leave a comment half open.
  std::size_t open = text.find(u'(');
  std::size_t close = text.find(u')');
  if (text.empty() || (close != std::u16string_view::npos && (open == std::u16string_view::npos || close < open)))
    return GetTable();
  const std::u16string typed = TypedText(text);
  if (m_table.empty()) {
    m_raw = typed;
    m_hasRaw = true;
    m_head.clear();
    AnalyzeLater(&m_raw, {});
    CompleteTable();
    CursorAt(0, 0, typed.size() - 1, line, col);
    Edited(saved);
    return GetTable();
  }
  if (!ValidCursor(line, col)) return GetTable();
  if (line == 0 && !m_head.empty()) AdoptHead(line, col);

  const auto [t, range, spans, a, onLineEnd, lastLine] = PlaceOf(line, col);

  // `put` goes in at `at`; `anchor` is where in it the typed text ends,
  // the place the cursor moves to.
  std::size_t at = 0;
  std::size_t anchor = 0;
  std::size_t core = 0;
  std::u16string put;
  if (onLineEnd && lastLine) {
    // A new line (or lines) after the last one.
    std::u16string_view body = typed;
    if (!body.empty() && body.front() == u'\n') body.remove_prefix(1);
    if (!body.empty() && body.back() == u'\n') body.remove_suffix(1);
    at = range.end;
    put = u"\n" + std::u16string(body);
    anchor = body.empty() ? 1 : put.size() - 1;
  } else if (onLineEnd) {
    // The text starts the next line; a leading ";" gives it a line of its own.
    at = range.end + 1;
    put = typed.front() == u'\n' ? typed.substr(1) + u"\n" : Glue(0, typed, CharAt(at), true, &core);
    anchor = core + typed.size() - 1;
  } else {
    // Inside the line, after the cursor item (";" alone splits the line).
    at = spans[a].end;
    const bool digitsFirst = typed.front() >= u'0' && typed.front() <= u'9';
    put = typed == u"\n" ? typed
                          : Glue(digitsFirst ? u'\0' : m_raw[at - 1], typed, CharAt(at), !Compact(range, spans), &core);
    anchor = core + typed.size() - 1;
  }
  const std::size_t firstLine = onLineEnd && !lastLine ? t + 1 : t;
  const std::size_t lineStart = onLineEnd && !lastLine ? at : range.start;
  Splice(firstLine, lineStart, at, 0, put);
  if (typed == u"\n" && !onLineEnd) {
    col = static_cast<int>(a + 1);  // on the new end of the cursor line
  } else {
    CursorAt(firstLine, lineStart, at + anchor, line, col);
  }
  ClampCursor(line, col);
  Edited(saved);
  return GetTable();
}

CodeItemTable* CCodeBuffer::Replace(std::u16string_view text, int& line, int& col, int* saved) {
  if (saved) *saved = kCodeWriteNothing;
  m_modified = true;
  CompleteTable();
  if (m_table.empty() || !ValidCursor(line, col) || ProtectsProgramNumber(line, col)) return GetTable();
  if (line == 0 && !m_head.empty()) AdoptHead(line, col);

  const auto [t, range, spans, a, onLineEnd, lastLine] = PlaceOf(line, col);
  const std::u16string typed = TypedText(text);

  // A line's ";" stands for its line end, which stays: the text goes at the
  // end of the line.
  const std::size_t at = spans[a].begin;
  const std::size_t erase = spans[a].end - spans[a].begin;
  const bool spaced = onLineEnd && !Compact(range, spans);
  const char16_t left = at > range.start ? m_raw[at - 1] : u'\0';
  const char16_t right = CharAt(at + erase);
  std::size_t core = 0;
  std::u16string put = Glue(left, typed, right, spaced, &core);
  if (typed.empty() && spaced && IsWordChar(left) && IsWordChar(right)) put = u" ";
  Splice(t, range.start, at, erase, put);
  if (typed.find(u'\n') != std::u16string::npos) CursorAt(t, range.start, at + core + typed.size() - 1, line, col);
  ClampCursor(line, col);
  Edited(saved);
  return GetTable();
}

CodeItemTable* CCodeBuffer::Delete(int& line, int& col, int* saved) {
  if (saved) *saved = kCodeWriteNothing;
  m_modified = true;
  CompleteTable();
  if (m_table.empty() || !ValidCursor(line, col) || ProtectsProgramNumber(line, col)) return GetTable();
  const bool lastLine = static_cast<std::size_t>(line) + 1 == m_table.size();
  if (lastLine && static_cast<std::size_t>(col) + 1 == m_table[static_cast<std::size_t>(line)].size())
    return GetTable();  // the final ";" stays
  if (line == 0 && !m_head.empty()) AdoptHead(line, col);

  const auto [t, range, spans, a, onLineEnd, lastOfText] = PlaceOf(line, col);

  if (spans.size() == 1) {
    // A line without items goes, with what it holds besides them and one of
    // the line ends around it: its own, or the one before it when its own
    // going would leave an empty line between a CR and an LF end, which
    // would read back as one CR LF.
    if (t > 0 && JoinsCrLf(t - 1, t + 1, t + 1) && !(t > 1 && JoinsCrLf(t - 2, t - 1, t))) {
      Splice(t - 1, FindLine(t - 1).start, range.start - 1, range.end + 1 - range.start, u"");
    } else {
      Splice(t, range.start, range.start, range.end + 1 - range.start, u"");
    }
    col = 0;
  } else if (onLineEnd) {
    const char16_t left = range.end > range.start ? m_raw[range.end - 1] : u'\0';
    const char16_t right = CharAt(range.end + 1);
    const bool blank = IsWordChar(left) && IsWordChar(right) && (!Compact(range, spans) || RunTogether(left, right));
    Splice(t, range.start, range.end, 1, blank ? u" " : u"");
  } else {
    std::size_t at = spans[a].begin;
    std::size_t end = spans[a].end;
    const bool blankBefore = at > range.start && IsBlank(m_raw[at - 1]);
    if (blankBefore && (end == range.end || IsBlank(m_raw[end]))) {
      --at;
    } else if (!blankBefore && at == range.start && end < range.end && IsBlank(m_raw[end])) {
      ++end;
    }
    const char16_t left = at > range.start ? m_raw[at - 1] : u'\0';
    const char16_t right = end < range.end ? m_raw[end] : u'\0';
    const bool blank = left && right && !IsBlank(left) && !IsBlank(right) && RunTogether(left, right);
    Splice(t, range.start, at, end - at, blank ? u" " : u"");
  }
  if (m_raw.empty()) ClearTable();  // the last item went: an empty text has no line
  ClampCursor(line, col);
  Edited(saved);
  return GetTable();
}

int CCodeBuffer::Edited(int* saved) {
  const int result = Save();
  if (saved) *saved = result;
  return result;
}

int CCodeBuffer::Save() {
  if (!m_modified || m_file.empty()) return kCodeWriteNothing;
  return WriteText(m_file, nullptr);
}

int CCodeBuffer::WriteTo(std::u16string_view path, std::size_t* replaced) { return WriteText(path, replaced); }

int CCodeBuffer::WriteText(std::u16string_view path, std::size_t* replaced) {
  if (replaced) *replaced = 0;
  // An edit that took the last item leaves an empty text, which is written:
  // the file must not keep what the buffer no longer holds.
  if (m_raw.empty() && !(m_hasRaw && m_modified)) return kCodeWriteNothing;
  if (path.empty()) return kCodeWriteFailed;
  std::size_t lost = 0;
  const std::string bytes = NarrowFileText(m_raw, m_layout, &lost);
  if (replaced) *replaced = lost;
  const std::string file = ResolveCodeFilePath(path);
  std::string error;
  if (!plat::WriteFileAtomic(file, bytes, false, &error)) {
    plat::Trace("cannot write " + file + ": " + error + "\n");
    return kCodeWriteFailed;
  }
  return lost > 0 ? kCodeWriteLossy : kCodeWriteOk;
}

CCodeBuffer* GetCodeBuffer(int id) {
  static CCodeBuffer buffers[2];
  return (id == 0 || id == 1) ? &buffers[id] : nullptr;
}

}  // namespace quillet
