// The NC text buffers that the library keeps for its host: a program's text
// as loaded, the folder and file name it belongs to, and its table of lexed
// items for display. The host edits the program item by item: each edit
// changes the text at the item's place and nothing else, re-lexes the lines
// it touched, and writes the text back to the buffer's file with the file's
// own line ends and zero bytes.
//
// Loading is cheap: Create and Reset keep the text and lex it into the table
// only when the table (or an item, a count, an edit, a write) is first
// needed, with the same result an immediate analysis would give.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "mod_gcode/text/CodeAnalyzer.h"
#include "mod_gcode/text/FileUtil.h"

namespace quillet {

class CCodeBuffer : public CCodeAnalyzer {
 public:
  static constexpr std::size_t kMaxPathPart = 1023;

  CCodeBuffer() = default;

  // Loads the file at `path` (backslashes or slashes; null or empty reads
  // nothing) whole (WidenFileText: every line end one LF, zero bytes shown).
  // A missing or empty file gives `defaultText` as the text, as if
  // the file had been created with it and read back, but the file system is
  // not touched. A file that cannot be read, or a missing one without a
  // default text, leaves the buffer empty. When the first item of the text
  // does not begin with "O" and a default text is given, a first line
  // holding the default text as one item and ";" is put before the lexed
  // lines; the text itself stays as loaded, and the line joins it only when
  // an edit touches it. `setPath` first takes folder and name from `path`.
  // Nothing of the previous text stays: the tail is emptied and the
  // modified flag cleared. Returns the first character of the text's first
  // item, 0 when there is no text.
  int Create(const char16_t* path, const char16_t* defaultText, bool setPath);
  // The text becomes a copy of `text` (null: no text), the table is made
  // from it, the tail becomes `tail` (null: empty). The text belongs to no
  // file until SetPath: edits do not save it.
  void Reset(const char16_t* text, const char16_t* tail);
  // Drops the text and the table; folder, name, tail and the modified flag
  // stay.
  void Clear();
  // Splits `path` at its last backslash or slash into folder and name (each
  // at most 1023 characters), the file that edits save to; a path without
  // either changes nothing.
  void SetPath(const char16_t* path);

  const char16_t* GetName() const { return m_name.c_str(); }
  const char16_t* GetFolder() const { return m_folder.c_str(); }
  const std::u16string& GetTail() const { return m_tail; }
  bool IsModified() const { return m_modified; }

  // The text (null when there is none); once the buffer was edited, a
  // non-empty tail follows it on a line of its own. Valid until the next
  // call that changes the buffer.
  const char16_t* GetText();

  // Edits at the cursor (line, col) in item coordinates, which they move.
  // Each marks the buffer modified, changes the text at the cursor item,
  // writes the text to the buffer's file (Save; `saved` receives its
  // CodeWriteResult) and returns the table (null when empty).
  //
  // Insert puts the text after the cursor item, a blank between it and a
  // word it would otherwise run into; digits typed inside a line extend the
  // cursor word. On a line's ";" the text starts the next line (or a new
  // last line). ";" typed ends a line (";" alone splits the line, or opens
  // an empty one on a line's ";"). An empty text, or a ")" before any "(",
  // is refused.
  // Replace puts the text in place of the cursor item; in place of a line's
  // ";" it goes at the end of the line (a line end is never replaced).
  // Delete removes the cursor item with a blank before it; removing a
  // line's ";" joins the next line, a line without items disappears, and the
  // last ";" stays. Removing the text's only item leaves no text and no line;
  // the save then empties the file.
  // Replace and Delete leave an item at line 0, column 0 that begins with
  // "O" (the program number) alone.
  CodeItemTable* Insert(std::u16string_view text, int& line, int& col, int* saved = nullptr);
  CodeItemTable* Replace(std::u16string_view text, int& line, int& col, int* saved = nullptr);
  CodeItemTable* Delete(int& line, int& col, int* saved = nullptr);

  // Once modified: writes the text to the buffer's file (the one Create
  // opened, or folder\name since the last SetPath). Returns a
  // CodeWriteResult (kCodeWriteNothing when the buffer was never modified or
  // has no file).
  int Save();
  // Writes the text to `path` with the line ends and zero bytes of the file
  // it was read from (CR LF for a text given as a string); a CodeWriteResult.
  int WriteTo(std::u16string_view path, std::size_t* replaced = nullptr);

 private:
  struct LineRange {
    std::size_t start;  // first character of the line's text
    std::size_t end;    // its line end character, or the end of the text
  };
  bool ProtectsProgramNumber(int line, int col);
  // Rows of the table before the text's first line (the default line).
  std::size_t HeadRows() const { return m_head.empty() ? 0 : 1; }
  LineRange FindLine(std::size_t textLine) const;
  // Whether line end `crEnd` followed by the text of line `textLine` and
  // line end `lfEnd` would read back as one CR LF: a CR, nothing, an LF.
  bool JoinsCrLf(std::size_t crEnd, std::size_t textLine, std::size_t lfEnd) const;
  // The character at `i`, 0 past the end.
  char16_t CharAt(std::size_t i) const { return i < m_raw.size() ? m_raw[i] : u'\0'; }
  std::vector<CodeItemSpan> ItemSpans(const LineRange& range);
  // A line of several items written without blanks between them: edits
  // keep it so, adding a blank only where words would run together.
  bool Compact(const LineRange& range, const std::vector<CodeItemSpan>& spans) const;
  // Makes the default line part of the text; the cursor follows its items.
  void AdoptHead(int& line, int& col);
  // Where an edit at the cursor (line, col) acts: the text line, its range,
  // its items' spans, and whether the cursor is on the line end (of the last
  // line).
  struct EditPlace {
    std::size_t textLine;
    LineRange range;
    std::vector<CodeItemSpan> spans;
    std::size_t item;
    bool onLineEnd;
    bool lastLine;
  };
  EditPlace PlaceOf(int line, int col);
  // Replaces `erase` characters at `at` (on text line `textLine`, which
  // starts at `lineStart`) with `insert`, and lexes the lines that changed
  // into the table.
  void Splice(std::size_t textLine, std::size_t lineStart, std::size_t at, std::size_t erase,
              std::u16string_view insert);
  // The cursor on the item at (or after) character `pos`, searched from
  // text line `textLine` starting at `lineStart`.
  void CursorAt(std::size_t textLine, std::size_t lineStart, std::size_t pos, int& line, int& col);
  void ClampCursor(int& line, int& col);
  int Edited(int* saved);
  int WriteText(std::u16string_view path, std::size_t* replaced);

  std::u16string m_folder;
  std::u16string m_name;
  std::u16string m_tail;
  std::u16string m_file;  // the file edits save to; empty: none
  std::u16string m_raw;
  std::u16string m_head;   // the default line shown before a text without program number
  std::u16string m_shown;  // the text followed by the tail, as GetText hands it out
  ProgramFileLayout m_layout;
  bool m_hasRaw = false;
  bool m_modified = false;
};

// The two global buffers: ids 0 and 1; any other id gives null.
CCodeBuffer* GetCodeBuffer(int id);

}  // namespace quillet
