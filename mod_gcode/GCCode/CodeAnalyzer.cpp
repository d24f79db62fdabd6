#include "mod_gcode/GCCode/CodeAnalyzer.h"

#include <algorithm>
#include <chrono>
#include <charconv>
#include <new>
#include <utility>

#include "platform/Files.h"
#include "platform/Host.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace quillet {
namespace {

constexpr std::size_t kReservedLines = 1000;
constexpr std::size_t kItemChunk = 32;
const std::u16string kBlockEnd = u";";

enum class CharClass { Separator, Number, CommentStart, Minus, BlockEnd, Upper, Lower, Ignored };

CharClass Classify(char16_t c) {
  switch (c) {
    case u' ': case u'*': case u'+': case u'/': case u'=': case u'[': case u']':
      return CharClass::Separator;
    case u'#': case u'.':
      return CharClass::Number;
    case u'(':
      return CharClass::CommentStart;
    case u'-':
      return CharClass::Minus;
    case u';':
      return CharClass::BlockEnd;
    default:
      break;
  }
  if (c >= u'0' && c <= u'9') return CharClass::Number;
  if (c >= u'@' && c <= u'Z') return CharClass::Upper;
  if (c >= u'a' && c <= u'z') return CharClass::Lower;
  return CharClass::Ignored;
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Upper-cases one character of the ASCII letters (the only ones the lexer
// hands over).
char16_t UpperCase(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

std::size_t LeadingDigits(std::u16string_view s) {
  std::size_t n = 0;
  while (n < s.size() && IsDigit(s[n])) ++n;
  return n;
}

bool HoldsBlockEnd(const CodeItemLine& items) {
  for (const auto& item : items)
    if (item == kBlockEnd) return true;
  return false;
}

// Cuts items after each ";" item: every piece but the last ends with ";";
// the last one is what follows the last ";" (possibly nothing).
std::vector<CodeItemLine> CutAtBlockEnds(CodeItemLine items) {
  std::vector<CodeItemLine> pieces(1);
  for (auto& item : items) {
    bool end = item == kBlockEnd;
    pieces.back().push_back(std::move(item));
    if (end) pieces.emplace_back();
  }
  return pieces;
}

// Typing digits extends the word at the cursor: the text's leading digits
// are appended to `item`, and what the first lexed item holds beyond them
// (".5" of "5.5") stays to be inserted as its own item.
void ExtendByDigits(std::u16string& item, std::u16string_view text, CodeItemLine& items) {
  std::size_t run = LeadingDigits(text);
  item.append(text.substr(0, run));
  if (items.empty()) return;
  std::u16string& first = items.front();
  std::size_t inItem = LeadingDigits(first);
  if (inItem >= first.size())
    items.erase(items.begin());
  else
    first.erase(0, inItem);
}

std::string FormatSeconds(double seconds) {
  // As a standard stream prints a double: six significant digits.
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof(buf), seconds, std::chars_format::general, 6);
  return std::string(buf, res.ptr);
}

}  // namespace

std::u16string CCodeItem::Text() const {
  std::u16string text;
  text.reserve(static_cast<std::size_t>(nameCount + valueCount));
  text.append(name, static_cast<std::size_t>(nameCount));
  text.append(value, static_cast<std::size_t>(valueCount));
  return text;
}

CCodeAnalyzer::CCodeAnalyzer() : m_itemPool(kItemChunk) {}

CCodeAnalyzer::~CCodeAnalyzer() = default;

void CCodeAnalyzer::LexBlockText(std::u16string_view text, CodeItemLine& items, bool closing) {
  CCodeItem* current = nullptr;
  bool comment = false;

  auto take = [&]() {
    current = m_itemPool.construct();
    if (!current) throw std::bad_alloc();
  };
  auto emit = [&]() {
    if (!current) return;
    if (!current->Empty()) items.push_back(current->Text());
    m_itemPool.destroy(current);
    current = nullptr;
  };

  for (char16_t c : text) {
    if (comment) {
      current->AppendName(c);
      if (c == u')') {
        emit();
        comment = false;
      }
      continue;
    }
    switch (Classify(c)) {
      case CharClass::Separator:
        emit();
        if (c != u' ') items.emplace_back(1, c);
        break;
      case CharClass::Number:
        if (current && current->letter) {
          emit();
          take();
          current->AppendValue(c);
        } else if (current) {
          current->AppendValue(c);
        } else {
          take();
          current->AppendValue(c);
          if (c == u'#') current->variable = 1;
        }
        break;
      case CharClass::CommentStart:
        comment = true;
        emit();
        take();
        current->AppendName(c);
        break;
      case CharClass::Minus:
        if (current && (current->letter || current->variable)) {
          emit();
          items.emplace_back(1, c);
        } else {
          if (!current) take();
          current->AppendValue(c);
        }
        break;
      case CharClass::BlockEnd:
        emit();
        items.push_back(kBlockEnd);
        break;
      case CharClass::Upper:
      case CharClass::Lower:
        if (current && current->valueCount == 0) {
          current->AppendName(c);
          current->letter = 1;
        } else if (current) {
          emit();
        }
        if (!current) {
          take();
          current->AppendName(UpperCase(c));
        }
        break;
      case CharClass::Ignored:
        break;
    }
  }
  emit();
  if (closing) items.push_back(kBlockEnd);
}

void CCodeAnalyzer::AnalyzeNow(std::u16string_view text) {
  auto start = std::chrono::steady_clock::now();
  ClearTable();
  m_table.reserve(kReservedLines);
  std::size_t begin = 0;
  while (true) {
    std::size_t end = text.find_first_of(u"\r\n", begin);
    m_table.emplace_back();
    LexBlockText(text.substr(begin, end == std::u16string_view::npos ? std::u16string_view::npos : end - begin),
                 m_table.back(), true);
    if (end == std::u16string_view::npos) break;
    begin = end + 1;
  }
  if (plat::TraceEnabled()) {
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    plat::Trace("code analysis:" + FormatSeconds(elapsed.count()) + "\n");
  }
}

CodeItemTable* CCodeAnalyzer::Analyze(std::u16string_view text) {
  if (text.empty()) return nullptr;
  AnalyzeNow(text);
  return GetTable();
}

void CCodeAnalyzer::ClearTable() {
  CodeItemTable().swap(m_table);
  m_pendingText = nullptr;
  m_pendingHead.clear();
}

void CCodeAnalyzer::AnalyzeLater(const std::u16string* text, std::u16string head) {
  ClearTable();
  if (!text || text->empty()) return;  // an empty text analyses to no line
  m_pendingText = text;
  m_pendingHead = std::move(head);
}

void CCodeAnalyzer::CompleteTable() {
  if (!m_pendingText) return;
  const std::u16string* text = m_pendingText;
  std::u16string head = std::move(m_pendingHead);
  AnalyzeNow(*text);  // clears the pending state
  if (!head.empty()) m_table.insert(m_table.begin(), CodeItemLine{std::move(head), kBlockEnd});
}

CodeItemTable* CCodeAnalyzer::GetTable() {
  CompleteTable();
  return m_table.empty() ? nullptr : &m_table;
}

bool CCodeAnalyzer::ValidCursor(int line, int col) const {
  if (line < 0 || col < 0) return false;
  auto q = static_cast<std::size_t>(line);
  return q < m_table.size() && static_cast<std::size_t>(col) < m_table[q].size();
}

const std::u16string& CCodeAnalyzer::GetItem(int line, int col) {
  static const std::u16string empty;
  CompleteTable();
  if (!ValidCursor(line, col)) return empty;
  return m_table[static_cast<std::size_t>(line)][static_cast<std::size_t>(col)];
}

int CCodeAnalyzer::LineCount() {
  CompleteTable();
  return static_cast<int>(m_table.size());
}

int CCodeAnalyzer::ColCount(int line) {
  CompleteTable();
  if (line < 0 || static_cast<std::size_t>(line) >= m_table.size()) return 0;
  return static_cast<int>(m_table[static_cast<std::size_t>(line)].size());
}

const char16_t* CCodeAnalyzer::ItemStr(int line, int col) {
  CompleteTable();
  if (m_table.empty()) return nullptr;
  return GetItem(line, col).c_str();
}

void CCodeAnalyzer::InsertText(std::u16string_view text, int& line, int& col) {
  CompleteTable();
  if (text.empty()) return;
  // A closing bracket before any opening one would leave a comment half open.
  std::size_t open = text.find(u'(');
  std::size_t close = text.find(u')');
  if (close != std::u16string_view::npos && (open == std::u16string_view::npos || close < open)) return;

  if (m_table.empty()) {
    CodeItemLine only;
    LexBlockText(text, only, true);
    m_table.push_back(std::move(only));
    return;
  }
  if (!ValidCursor(line, col)) return;

  auto q = static_cast<std::size_t>(line);
  auto a = static_cast<std::size_t>(col);
  const bool onLastItem = a + 1 == m_table[q].size();
  const bool digitsFirst = IsDigit(text.front());
  CodeItemLine items;
  LexBlockText(text, items, false);

  // Splits line q after item a: the items after it move to a new line after
  // q, and line q gets a closing ";".
  auto splitCursorLine = [&]() {
    CodeItemLine& cur = m_table[q];
    CodeItemLine moved(std::make_move_iterator(cur.begin() + static_cast<std::ptrdiff_t>(a) + 1),
                       std::make_move_iterator(cur.end()));
    cur.erase(cur.begin() + static_cast<std::ptrdiff_t>(a) + 1, cur.end());
    cur.push_back(kBlockEnd);
    m_table.insert(m_table.begin() + static_cast<std::ptrdiff_t>(q) + 1, std::move(moved));
  };
  auto insertLine = [&](std::size_t at, CodeItemLine l) {
    m_table.insert(m_table.begin() + static_cast<std::ptrdiff_t>(at), std::move(l));
  };
  auto setCursorAtEnd = [&](std::size_t l) {
    line = static_cast<int>(l);
    col = static_cast<int>(m_table[l].size()) - 1;
  };

  if (text == kBlockEnd) {
    if (onLastItem) {
      insertLine(q + 1, CodeItemLine{kBlockEnd});
      line = static_cast<int>(q + 1);
      col = 0;
    } else {
      splitCursorLine();
      col = static_cast<int>(a + 1);
    }
    return;
  }

  if (!HoldsBlockEnd(items)) {
    if (onLastItem) {
      if (q + 1 == m_table.size()) {
        items.push_back(kBlockEnd);
        insertLine(q + 1, std::move(items));
        line = static_cast<int>(q + 1);
        col = 0;
      } else {
        CodeItemLine& next = m_table[q + 1];
        next.insert(next.begin(), std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()));
        setCursorAtEnd(q + 1);
      }
    } else {
      CodeItemLine& cur = m_table[q];
      if (digitsFirst) ExtendByDigits(cur[a], text, items);
      cur.insert(cur.begin() + static_cast<std::ptrdiff_t>(a) + 1, std::make_move_iterator(items.begin()),
                 std::make_move_iterator(items.end()));
      col = static_cast<int>(a + items.size());
    }
    return;
  }

  // The text holds ";" and is more than ";".
  if (!onLastItem) {
    if (digitsFirst) ExtendByDigits(m_table[q][a], text, items);
    std::vector<CodeItemLine> pieces = CutAtBlockEnds(std::move(items));
    CodeItemLine tail = std::move(pieces.back());
    pieces.pop_back();
    splitCursorLine();
    // The first piece goes before the closing ";" of the cursor line; its own
    // ";" is that line end.
    CodeItemLine& cur = m_table[q];
    CodeItemLine& first = pieces.front();
    cur.insert(cur.end() - 1, std::make_move_iterator(first.begin()), std::make_move_iterator(first.end() - 1));
    std::size_t lastReceived = q;
    for (std::size_t i = 1; i < pieces.size(); ++i) {
      insertLine(lastReceived + 1, std::move(pieces[i]));
      ++lastReceived;
    }
    if (!tail.empty()) {
      CodeItemLine& moved = m_table[lastReceived + 1];
      moved.insert(moved.begin(), std::make_move_iterator(tail.begin()), std::make_move_iterator(tail.end()));
    }
    setCursorAtEnd(lastReceived);
    return;
  }

  std::vector<CodeItemLine> pieces = CutAtBlockEnds(std::move(items));
  CodeItemLine tail = std::move(pieces.back());
  pieces.pop_back();
  std::size_t insertAt = q + 1;
  std::size_t lastReceived = q;
  if (text.front() == u';') {
    // A leading ";" opens an empty line first; what follows the text's last
    // ";" then lands at the start of that line.
    insertLine(insertAt, std::move(pieces.front()));
    pieces.erase(pieces.begin());
    lastReceived = insertAt;
  }
  for (auto& piece : pieces) {
    insertLine(insertAt, std::move(piece));
    lastReceived = insertAt;
    ++insertAt;
  }
  if (!tail.empty()) {
    if (insertAt < m_table.size()) {
      CodeItemLine& next = m_table[insertAt];
      next.insert(next.begin(), std::make_move_iterator(tail.begin()), std::make_move_iterator(tail.end()));
    } else {
      tail.push_back(kBlockEnd);
      insertLine(insertAt, std::move(tail));
    }
    lastReceived = insertAt;
  }
  setCursorAtEnd(lastReceived);
}

void CCodeAnalyzer::ReplaceItem(std::u16string_view text, int& line, int& col) {
  CompleteTable();
  if (m_table.empty() || !ValidCursor(line, col)) return;
  if (line == 0 && col == 0 && m_table[0][0] == u"O") return;

  auto q = static_cast<std::size_t>(line);
  auto a = static_cast<std::size_t>(col);
  CodeItemLine items;
  LexBlockText(text, items, false);
  const bool cut = HoldsBlockEnd(items);
  const std::size_t inserted = items.size();

  CodeItemLine& cur = m_table[q];
  const bool onLastItem = a + 1 == cur.size();
  const bool lastLine = q + 1 == m_table.size();
  // The new item sequence of the line (and of the joined next line).
  CodeItemLine seq(std::make_move_iterator(cur.begin()),
                   std::make_move_iterator(cur.begin() + static_cast<std::ptrdiff_t>(a)));
  seq.insert(seq.end(), std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()));
  std::size_t replacedLines = 1;
  if (onLastItem && lastLine) {
    seq.push_back(std::move(cur[a]));  // the items go before the last ";", which stays
  } else if (onLastItem) {
    CodeItemLine& next = m_table[q + 1];
    seq.insert(seq.end(), std::make_move_iterator(next.begin()), std::make_move_iterator(next.end()));
    replacedLines = 2;
  } else {
    seq.insert(seq.end(), std::make_move_iterator(cur.begin() + static_cast<std::ptrdiff_t>(a) + 1),
               std::make_move_iterator(cur.end()));
  }

  std::vector<CodeItemLine> lines;
  if (cut) {
    lines = CutAtBlockEnds(std::move(seq));
    if (lines.back().empty()) lines.pop_back();
  } else if (!seq.empty()) {
    lines.push_back(std::move(seq));
  }
  auto first = m_table.begin() + static_cast<std::ptrdiff_t>(q);
  m_table.erase(first, first + static_cast<std::ptrdiff_t>(replacedLines));
  m_table.insert(m_table.begin() + static_cast<std::ptrdiff_t>(q), std::make_move_iterator(lines.begin()),
                 std::make_move_iterator(lines.end()));

  if (cut && inserted > 0) {
    // The cursor goes to the last inserted item.
    std::size_t index = a + inserted - 1;
    std::size_t l = q;
    while (l < m_table.size() && index >= m_table[l].size()) index -= m_table[l++].size();
    if (l < m_table.size()) {
      line = static_cast<int>(l);
      col = static_cast<int>(index);
    }
  }
  if (!m_table.empty() && !ValidCursor(line, col)) {
    std::size_t l = std::min(static_cast<std::size_t>(line), m_table.size() - 1);
    line = static_cast<int>(l);
    col = static_cast<int>(m_table[l].size()) - 1;
  }
}

void CCodeAnalyzer::DeleteItem(int& line, int& col) {
  CompleteTable();
  if (m_table.empty() || !ValidCursor(line, col)) return;
  auto q = static_cast<std::size_t>(line);
  auto a = static_cast<std::size_t>(col);
  CodeItemLine& cur = m_table[q];
  const bool lastItem = a + 1 == cur.size();
  if (lastItem && q + 1 == m_table.size()) return;  // the final ";" stays

  cur.erase(cur.begin() + static_cast<std::ptrdiff_t>(a));
  if (cur.empty()) {
    // A line of only ";" disappears; the cursor now points at the start of
    // the line that followed it.
    m_table.erase(m_table.begin() + static_cast<std::ptrdiff_t>(q));
    col = 0;
    return;
  }
  if (lastItem) {
    if (q + 1 < m_table.size()) {
      CodeItemLine& next = m_table[q + 1];
      cur.insert(cur.end(), std::make_move_iterator(next.begin()), std::make_move_iterator(next.end()));
      m_table.erase(m_table.begin() + static_cast<std::ptrdiff_t>(q) + 1);
    } else {
      col = static_cast<int>(cur.size()) - 1;
    }
  }
}

int CCodeAnalyzer::WriteItemsToFile(std::u16string_view path, const CodeItemTable& table, std::size_t* replaced) {
  if (replaced) *replaced = 0;
  if (table.empty()) return kCodeWriteNothing;
  if (path.empty()) return kCodeWriteFailed;

  // The whole text first, then one conversion to the code page.
  std::u16string text;
  for (std::size_t i = 0; i < table.size(); ++i) {
    const bool lastLine = i + 1 == table.size();
    for (const auto& item : table[i]) {
      if (item == kBlockEnd) {
        if (!lastLine) text.push_back(u'\n');
      } else {
        text.append(item);
      }
    }
  }
  plat::Narrowed narrowed = plat::NarrowTo(text, plat::SystemCodePage());
  std::string bytes = plat::ToCrLf(narrowed.text);
  if (replaced) *replaced = narrowed.replaced;

  std::string file = ResolveCodeFilePath(path);
  std::string error;
  if (!plat::WriteFileAtomic(file, bytes, false, &error)) {
    plat::Trace("cannot write " + file + ": " + error + "\n");
    return kCodeWriteFailed;
  }
  return narrowed.replaced > 0 ? kCodeWriteLossy : kCodeWriteOk;
}

std::string ResolveCodeFilePath(std::u16string_view path) { return plat::ResolvePath(path, "."); }

CCodeAnalyzer& SharedCodeAnalyzer() {
  static CCodeAnalyzer analyzer;
  return analyzer;
}

}  // namespace quillet
