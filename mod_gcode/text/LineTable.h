// The line table of a program text: the text cut into lines, and the N
// number words that name them, as the block loop reads them.
#pragma once
#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "mod_gcode/text/TextUtil.h"

namespace quillet {

// The lines of a text: views into the text, and the map from N number to
// the (last) line that carries it.
class CGCLineTable {
 public:
  static constexpr std::size_t kMaxLine = 1023;
  CGCLineTable() = default;
  explicit CGCLineTable(WStringView text) { Build(text); }
  void Build(WStringView text);
  int Count() const { return static_cast<int>(m_lines.size()); }
  // Line i without its leading spaces (the CR of CR LF stays at its end).
  // Lines end at LF and at a CR alone.
  WStringView Line(int i) const;
  // Whether line i holds a zero byte (0 or kZeroByteShown).
  bool HoldsZeroByte(int i) const {
    return !m_zeroLines.empty() && std::binary_search(m_zeroLines.begin(), m_zeroLines.end(), i);
  }
  // Line of an N number, -1 when none.
  int FindSequence(int n) const;
  // First line from `from` on that contains `needle`, -1 when none.
  int FindText(int from, WStringView needle) const;

 private:
  WStringView m_text;
  struct Span { std::uint32_t start; std::uint32_t length; };
  std::vector<Span> m_lines;
  std::unordered_map<int, int> m_bySequence;
  std::vector<int> m_zeroLines;  // in ascending order
};

// The first N number word of a line ("N" or "n" at a word start and one to
// five digits) outside comments "(...)" and before any ";", as the block
// scanner and the line table read it. Returns
// the number, or -1; `matchStart`/`matchLength` receive the word's place
// including the blanks behind it.
int FindSequenceWord(WStringView line, std::size_t* matchStart = nullptr, std::size_t* matchLength = nullptr);

}  // namespace quillet
