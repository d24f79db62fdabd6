// File helpers of the library: paths under the executable's folder, whole
// text files, raw table files, and the readers of the key=value files
// (code rules, code tips) and of the nested-block script files.
#pragma once
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "mod_gcode/GCCode/TextUtil.h"

namespace quillet {

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
// Reads an 8-bit text file as UTF-16. A missing or empty file is not created:
// the default text (when given) is returned instead, as if it had been
// written and read back; without a default the result is nothing.
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
