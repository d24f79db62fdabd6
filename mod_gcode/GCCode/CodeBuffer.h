// The NC text buffers that the library keeps for its host: a program's text
// as loaded, the folder and file name it belongs to, and its table of lexed
// items, which the host may edit item by item. Every edit writes the items
// back to the buffer's file.
//
// Loading is cheap: Create and Reset keep the text and lex it into the table
// only when the table (or an item, a count, an edit, a write) is first
// needed, with the same result an immediate analysis would give.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "mod_gcode/GCCode/CodeAnalyzer.h"

namespace quillet {

class CCodeBuffer : public CCodeAnalyzer {
 public:
  static constexpr std::size_t kMaxPathPart = 1023;

  CCodeBuffer() = default;

  // Loads the file at `path` (backslashes or slashes; null or empty reads
  // nothing). A missing or empty file gives `defaultText` as the text, as if
  // the file had been created with it and read back, but the file system is
  // not touched. A file that cannot be read, or a missing one without a
  // default text, leaves the buffer empty. When the first item of the text
  // does not begin with "O" and a default text is given, a first line
  // holding the default text as one item and ";" is put before the lexed
  // lines (the text itself stays as loaded). `setPath` first takes folder
  // and name from `path`. Returns the first character of the text's first
  // item, 0 when there is no text.
  int Create(const char16_t* path, const char16_t* defaultText, bool setPath);
  // The text becomes a copy of `text` (null: no text), the table is made
  // from it, the tail becomes `tail` (null: empty).
  void Reset(const char16_t* text, const char16_t* tail);
  // Drops the text and the table; folder, name, tail and the modified flag
  // stay.
  void Clear();
  // Splits `path` at its last backslash or slash into folder and name (each
  // at most 1023 characters); a path without either changes nothing.
  void SetPath(const char16_t* path);

  const char16_t* GetName() const { return m_name.c_str(); }
  const char16_t* GetFolder() const { return m_folder.c_str(); }
  const std::u16string& GetTail() const { return m_tail; }
  bool IsModified() const { return m_modified; }

  // The text: as loaded while the buffer was never edited (null when there
  // is none); after an edit it is rebuilt from the items, each line's items
  // run together and followed by "\n", then the tail. Valid until the next
  // call that changes the buffer.
  const char16_t* GetText();

  // Edits at the cursor (line, col), which they move; each marks the buffer
  // modified, writes it to its file (Save) and returns the table (null when
  // empty). Replace and Delete leave an item at line 0, column 0 that begins
  // with "O" (the program number) alone.
  CodeItemTable* Insert(std::u16string_view text, int& line, int& col);
  CodeItemTable* Replace(std::u16string_view text, int& line, int& col);
  CodeItemTable* Delete(int& line, int& col);

  // Once modified: writes the items to folder\name. Returns a CodeWriteResult
  // (kCodeWriteNothing when the buffer was never modified or has no name).
  int Save();
  // Writes the items to `path`; a CodeWriteResult.
  int WriteTo(std::u16string_view path, std::size_t* replaced = nullptr);

 private:
  bool ProtectsProgramNumber(int line, int col);

  std::u16string m_folder;
  std::u16string m_name;
  std::u16string m_tail;
  std::u16string m_raw;
  bool m_hasRaw = false;
  bool m_modified = false;
};

// The two global buffers: ids 0 and 1; any other id gives null.
CCodeBuffer* GetCodeBuffer(int id);

// Reads an NC file's bytes as text: the bytes up to the first zero byte, CR LF
// turned into LF, converted from the system code page.
std::u16string WidenFileText(std::string_view bytes);

}  // namespace quillet
