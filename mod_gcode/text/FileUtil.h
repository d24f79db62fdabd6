// File helpers of the library: paths under the executable's folder, whole
// text files, raw table files, and the readers of the key=value files
// (code rules, code tips) and of the nested-block script files.
#pragma once
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mod_gcode/text/TextUtil.h"
#include "platform/Files.h"

namespace quillet {

using plat::kZeroByteShown;

// How a program file's text lies on disk, so that a save writes back what
// it read: its line ends (CR LF, LF or CR, each file keeping its own) and
// its zero bytes.
struct ProgramFileLayout {
  enum LineEnd : unsigned char { kLf, kCrLf, kCr };
  // The file's first line end, given to lines a save adds.
  LineEnd lineEnd = kCrLf;
  // Every line end in order when the file mixes kinds; empty when all are
  // `lineEnd`.
  std::vector<unsigned char> lineEnds;
  // The file holds zero bytes (shown as kZeroByteShown).
  bool zeroBytes = false;

  // An edit took `removed` line ends from the text, starting with line end
  // `index`, and put `added` new ones in their place.
  void Splice(std::size_t index, std::size_t removed, std::size_t added);
  // The kind of line end `index` of the text.
  LineEnd Kind(std::size_t index) const {
    return index < lineEnds.size() ? static_cast<LineEnd>(lineEnds[index]) : lineEnd;
  }
};

// Reads a program file's bytes as text: converted from the system code page,
// every line end (CR LF, CR alone, LF) made one LF, and every zero byte
// shown as kZeroByteShown, so no byte of the file is lost. `layout`
// receives what a save needs to write the same bytes back.
std::u16string WidenFileText(std::string_view bytes, ProgramFileLayout* layout = nullptr);
// The bytes of `text` as a file of `layout`: each LF written as the file's
// line end (an LF after a CR stays alone), each kZeroByteShown as a zero
// byte when the file held them, in the system code page. An empty line that
// an edit left between a CR and an LF line end takes a CR, as the LF would
// make one line end of the two when read. `replaced` receives the number of
// characters the code page cannot hold (written as '?').
std::string NarrowFileText(std::u16string_view text, const ProgramFileLayout& layout, std::size_t* replaced);

// Folder of the running executable, and a relative path under it resolved
// to a real path (backslashes, case-insensitive components).
std::string GetExeDir();
std::string MakeExePath(WStringView relative);
// A path given through the interface (absolute or relative to the current
// folder, with either separator) resolved to a real path.
std::string ResolveUserPath(WStringView path);

// The file's text with CR LF turned into LF, cut at the first zero byte;
// nothing when the file cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);
// Replaces the file with the text, each LF written as CR LF (no CR doubled).
bool WriteTextFile(const std::string& path, std::string_view text);
// Reads a program file as UTF-16 (WidenFileText: whole, every line end one
// LF). A missing or empty file is not created: the default text (when given)
// is returned instead, as if it had been written and read back; without a
// default the result is nothing.
std::optional<WString> LoadOrCreateFile(const std::string& path, const char16_t* defaultText);
// Raw table files. Reading never creates anything; a short file fills only
// the first bytes. Writing replaces the file atomically, creating folders.
bool ReadRawFile(const std::string& path, void* buffer, std::size_t length, std::size_t* got = nullptr);
bool WriteRawFile(const std::string& path, const void* data, std::size_t length);

// Space-only trimming helpers (tabs do not count).
void RemoveBlanks(WString& text);
void TrimLeftBlanks(WString& text);
void TrimRightBlanks(WString& text);

// Splits "key = value" at the first separator: key without any space, value
// trimmed. Without a separator a non-empty text becomes the key alone.
bool SplitKeyValue(WStringView text, WStringView separator, WString& key, WString& value);

using KeyValueHandler = std::function<void(const WString& key, const WString& value)>;
// Reads a UTF-16LE file (byte-order mark, CR LF lines) and calls the handler
// for every "key=value" line and every "%" line. Returns false (after an
// alert "failed to read the file!") when the file cannot be read. The last
// line counts with or without its line end.
bool ReadRuleFile(const std::string& path, const KeyValueHandler& handler);
bool ReadTipsFile(const std::string& path, const KeyValueHandler& handler);

// First "{" and the "}" that closes it.
bool FindBraceBlock(WStringView text, std::size_t& open, std::size_t& close);

using BlockHandler = std::function<void(const WString& name, const std::map<WString, WString>& items)>;
// Parses name={key=value,...} blocks, nested blocks reported first.
void ParseScriptText(WStringView text, const BlockHandler& handler);

}  // namespace quillet
