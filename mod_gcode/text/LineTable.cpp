#include "mod_gcode/text/LineTable.h"

#include <array>

#include "mod_gcode/text/FileUtil.h"

namespace quillet {

namespace {

bool IsWordChar(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_';
}
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f' || c == u'\v'; }

// The characters FindSequenceWord stops at: N, n, "(" and ";".
constexpr std::array<bool, 128> kSequenceStops = [] {
  std::array<bool, 128> t{};
  t['N'] = t['n'] = t['('] = t[';'] = true;
  return t;
}();

}  // namespace

int FindSequenceWord(WStringView line, std::size_t* matchStart, std::size_t* matchLength) {
  const std::size_t n = line.size();
  for (std::size_t i = 0; i < n; ++i) {
    char16_t c = line[i];
    if (c >= 128 || !kSequenceStops[c]) continue;
    if (c == u'(') {
      // A comment ends at its ")"; an N in it numbers nothing.
      while (i + 1 < n && line[i + 1] != u')') ++i;
      continue;
    }
    if (c == u';') break;
    if (c != u'N' && c != u'n') continue;
    if (i > 0 && IsWordChar(line[i - 1])) continue;
    std::size_t d = i + 1;
    while (d < n && (line[d] == u' ' || line[d] == u'\t')) ++d;  // "N 10" is N10
    if (d >= n || !IsDigit(line[d])) continue;
    std::size_t j = d;
    int value = 0;
    while (j < n && j < d + 5 && IsDigit(line[j])) value = value * 10 + (line[j++] - u'0');
    std::size_t k = j;
    while (k < n && IsSpace(line[k])) ++k;
    if (matchStart) *matchStart = i;
    if (matchLength) *matchLength = k - i;
    return value;
  }
  return -1;
}

// ---------------------------------------------------------------- lines

void CGCLineTable::Build(WStringView text) {
  m_text = text;
  m_lines.clear();
  m_bySequence.clear();
  std::size_t pos = 0;
  const std::size_t n = text.size();
  m_lines.reserve(n / 24 + 1);
  m_zeroLines.clear();
  while (true) {
    // A line ends at LF (the CR of CR LF stays in it) or at a CR alone; a
    // zero byte (as read from a file, or shown as kZeroByteShown) marks the
    // line for a message.
    std::size_t end = pos;
    bool zero = false;
    for (; end < n; ++end) {
      const char16_t c = text[end];
      // One test lets through every character that is none of them (all
      // four have no bit outside 0xDC0F).
      static_assert((kZeroByteShown & ~0xDC0F) == 0, "the zero byte's stand-in passes the test");
      if ((c & ~0xDC0F) != 0) continue;
      if (c == u'\n' || (c == u'\r' && (end + 1 == n || text[end + 1] != u'\n'))) break;
      if (c == 0 || c == kZeroByteShown) zero = true;
    }
    std::size_t start = pos;
    while (start < end && text[start] == u' ') ++start;
    int index = static_cast<int>(m_lines.size());
    m_lines.push_back({static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end - start)});
    int seq = FindSequenceWord(text.substr(start, end - start));
    m_bySequence[seq < 0 ? 0 : seq] = index;
    if (zero) m_zeroLines.push_back(index);
    if (end >= n) break;
    pos = end + 1;
  }
}

WStringView CGCLineTable::Line(int i) const {
  if (i < 0 || i >= Count()) return WStringView();
  return m_text.substr(m_lines[static_cast<std::size_t>(i)].start, m_lines[static_cast<std::size_t>(i)].length);
}

int CGCLineTable::FindSequence(int n) const {
  auto it = m_bySequence.find(n);
  return it == m_bySequence.end() ? -1 : it->second;
}

int CGCLineTable::FindText(int from, WStringView needle) const {
  for (int i = from < 0 ? 0 : from; i < Count(); ++i)
    if (Line(i).find(needle) != WStringView::npos) return i;
  return -1;
}

}  // namespace quillet
