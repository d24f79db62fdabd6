#include "mod_gcode/text/CodeAnalyzer.h"

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

// Upper-cases one character of the ASCII letters (the only ones the lexer
// hands over).
char16_t UpperCase(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

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

void CCodeAnalyzer::LexBlockText(std::u16string_view text, CodeItemLine& items, bool closing,
                                 std::vector<CodeItemSpan>* spans) {
  CCodeItem* current = nullptr;
  bool comment = false;
  std::size_t begin = 0;  // where the current item starts in the text
  std::size_t i = 0;      // the character being read

  auto take = [&]() {
    current = m_itemPool.construct();
    if (!current) throw std::bad_alloc();
    begin = i;
  };
  // The current item ends before character `end` (the last character given
  // to it, kept or dropped, is end - 1).
  std::size_t last = 0;
  auto emit = [&]() {
    if (!current) return;
    if (!current->Empty()) {
      items.push_back(current->Text());
      if (spans) spans->push_back({begin, last + 1});
    }
    m_itemPool.destroy(current);
    current = nullptr;
  };
  auto single = [&](std::u16string item) {
    items.push_back(std::move(item));
    if (spans) spans->push_back({i, i + 1});
  };

  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (comment) {
      last = i;
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
        if (c != u' ') single(std::u16string(1, c));
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
        last = i;
        break;
      case CharClass::CommentStart:
        comment = true;
        emit();
        take();
        current->AppendName(c);
        last = i;
        break;
      case CharClass::Minus:
        if (current && (current->letter || current->variable)) {
          emit();
          single(std::u16string(1, c));
        } else {
          if (!current) take();
          current->AppendValue(c);
          last = i;
        }
        break;
      case CharClass::BlockEnd:
        emit();
        single(kBlockEnd);
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
        last = i;
        break;
      case CharClass::Ignored:
        break;
    }
  }
  emit();
  if (closing) {
    items.push_back(kBlockEnd);
    if (spans) spans->push_back({text.size(), text.size()});
  }
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

std::string ResolveCodeFilePath(std::u16string_view path) { return plat::ResolvePath(path, "."); }

CCodeAnalyzer& SharedCodeAnalyzer() {
  static CCodeAnalyzer analyzer;
  return analyzer;
}

}  // namespace quillet
