// The lexer of NC program text for display: it cuts a text into lines and
// every line into items (words such as G01, X-10.5 or #100, operators,
// comments and the block end ";").
//
// The interpreter does not read this table; it is what the host shows
// through the buffer exports and Code_Analyze, and the buffers locate their
// item-by-item edits in the text with it.
#pragma once

#include <boost/pool/object_pool.hpp>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// One line of item texts.
using CodeItemLine = std::vector<std::u16string>;

// Lines of item texts in text order. Every line made by the lexer ends with
// the item ";". The table belongs to its analyzer: callers read it in place
// and must not keep it across the next analysis or edit.
class CodeItemTable : public std::vector<CodeItemLine> {};

// Scratch record of the lexer for the item being scanned.
struct CCodeItem {
  static constexpr int kNameUnits = 256;
  static constexpr int kValueUnits = 12;

  char16_t name[kNameUnits] = {};
  char16_t value[kValueUnits] = {};
  int nameCount = 0;
  int valueCount = 0;
  unsigned char letter = 0;    // a second letter joined the name ("GOTO")
  unsigned char variable = 0;  // the item began with "#"

  // A unit appended to a full name or a full value is dropped.
  void AppendName(char16_t c) {
    if (nameCount < kNameUnits) name[nameCount++] = c;
  }
  void AppendValue(char16_t c) {
    if (valueCount < kValueUnits) value[valueCount++] = c;
  }
  bool Empty() const { return nameCount == 0 && valueCount == 0; }
  // The stored name units followed by the stored value units.
  std::u16string Text() const;
};

// Where an item lies in the line it was lexed from: characters [begin, end).
// The closing ";" of a line lies at the line's end, with begin == end.
struct CodeItemSpan {
  std::size_t begin;
  std::size_t end;
};

// Results of CCodeBuffer::WriteTo (and so of Code_WriteBuffer) and of the
// saves of the buffer edits.
enum CodeWriteResult : int {
  kCodeWriteOk = 0,       // written
  kCodeWriteNothing = 1,  // the table is empty: nothing was written
  kCodeWriteFailed = 2,   // the file could not be written; an old file is left whole
  kCodeWriteLossy = 3,    // written, but characters that the system code page
                          // cannot hold were written as '?'
};

class CCodeAnalyzer {
 public:
  CCodeAnalyzer();
  virtual ~CCodeAnalyzer();
  CCodeAnalyzer(const CCodeAnalyzer&) = delete;
  CCodeAnalyzer& operator=(const CCodeAnalyzer&) = delete;

  // Lexes `text` into the table and returns it. An empty text gives null and
  // leaves the table as it is. Lines end at every CR and every LF, so CR LF
  // gives a line and then an empty one, and a final line end gives a final
  // empty line (which lexes to the line ";").
  CodeItemTable* Analyze(std::u16string_view text);

  // The table, or null when it has no line.
  CodeItemTable* GetTable();
  // Text of one item; the empty text when the indexes lie outside the table.
  const std::u16string& GetItem(int line, int col);
  // Lines of the table (0 when empty), items of one line (0 outside the
  // table) and the zero-terminated text of one item (null when the table is
  // empty, the empty text for indexes outside it).
  int LineCount();
  int ColCount(int line);
  const char16_t* ItemStr(int line, int col);

  // Lexes one line of text (without its line end) and appends its items;
  // `closing` appends the final ";". `spans`, when given, receives where
  // each appended item lies in `text`. Characters an item holds beyond its
  // room (a comment over 256 units, a value over 12) are inside its span
  // though not in its text.
  void LexBlockText(std::u16string_view text, CodeItemLine& items, bool closing,
                    std::vector<CodeItemSpan>* spans = nullptr);

 protected:
  // Empties the table and drops a pending analysis.
  void ClearTable();
  // Lets the table be built from `*text` on first use instead of now; the
  // text must stay unchanged until then. A non-empty `head` becomes a first
  // line holding `head` as one item and ";" before the lexed lines.
  void AnalyzeLater(const std::u16string* text, std::u16string head);
  // Runs a pending analysis.
  void CompleteTable();
  // Whether (line, col) names an item of the table.
  bool ValidCursor(int line, int col) const;

  CodeItemTable m_table;

 private:
  void AnalyzeNow(std::u16string_view text);

  boost::object_pool<CCodeItem> m_itemPool;

  const std::u16string* m_pendingText = nullptr;
  std::u16string m_pendingHead;
};

// Turns a path given with backslashes or slashes into the real file name:
// each component matched as the file system has it, a relative path taken
// from the current folder.
std::string ResolveCodeFilePath(std::u16string_view path);

// The analyzer behind Code_Analyze, created on first use.
CCodeAnalyzer& SharedCodeAnalyzer();

}  // namespace quillet
