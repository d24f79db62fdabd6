// Layout files (".dlgc") and the viewer's small text-file helpers.
//
// A layout file is UTF-16LE text with a byte-order mark and CR LF line ends.
// Line breaks mean nothing: the text is a sequence of blocks name={body},
// where a body holds key=value pairs separated by "," or further blocks.
// Keys and values cannot hold ",", "{" or "}"; each holds at most 255
// characters (longer ones are cut when read, and refused when written).
#pragma once
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ravik {

using KeyValueMap = std::map<std::u16string, std::u16string>;

// The longest key or value the format holds, and the longest path.
constexpr std::size_t kMaxKeyValue = 255;
constexpr std::size_t kMaxPath = 1023;
// Blocks nested deeper than this are not read (and the file counts as
// malformed); the shipped layouts nest two deep.
constexpr int kMaxBlockDepth = 32;

// The executable's folder, without a trailing separator.
std::u16string GetExeDir();
// The executable's folder joined with `name` (resolved case-insensitively
// where the exact name is missing); empty when the path would be longer
// than kMaxPath characters.
std::u16string MakeExePath(std::u16string_view name);

// Reads a UTF-16LE text file: the first two bytes are skipped, a CR ends a
// line (the unit after it is skipped), every line is returned followed by
// one LF, and text after the last CR is not read. When the file cannot be
// opened, the message "failed to read the file!" is shown and nothing is
// returned.
std::optional<std::u16string> ReadUnicodeTextFile(const std::u16string& path);
// How a layout file's bytes were stored.
enum class TextEncoding {
  Utf16Le,     // the layout format: FF FE, CR LF line ends
  Utf16LeOther,  // UTF-16LE with another byte-order mark or other line ends
  Utf16Be,
  Utf8,
  Unknown      // not text the reader understands: nothing was read
};

// A layout file as read by ReadLayoutText.
struct LayoutText {
  bool opened = false;     // the file could be read at all
  TextEncoding encoding = TextEncoding::Unknown;
  std::u16string text;     // lines each followed by one LF
  // Whether the bytes are the layout format itself, so that writing the
  // layout back keeps the file's form.
  bool Native() const { return encoding == TextEncoding::Utf16Le; }
};

// Reads a layout file whatever a text editor may have made of it. A file
// in the layout format is read exactly as ReadUnicodeTextFile reads it
// (text after the last CR is not read). UTF-16 in either byte order (with
// or without a byte-order mark) and UTF-8 are decoded whole, with CR LF,
// LF or CR as line ends. Bytes that are none of these give Unknown and no
// text. Shows no message.
LayoutText ReadLayoutText(const std::u16string& path);
// The same for bytes already read (`opened` is set).
LayoutText DecodeLayoutBytes(const std::string& bytes);
// The name of an encoding as the pages report it.
const char* EncodingName(TextEncoding encoding);

// Writes FF FE and every LF-terminated line of `text` as UTF-16LE with CR LF;
// text after the last LF is not written. The file is replaced atomically;
// false when that failed (the old file is then untouched).
bool WriteUnicodeTextFile(const std::u16string& path, std::u16string_view text);
// Writes 8-bit text with every LF turned into CR LF (atomically).
bool WriteNarrowTextFile(const std::string& path, std::string_view text);

// What ParseBraceBlocks found wrong (it never stops at the first problem
// unless the rest cannot be read).
struct ParseIssues {
  bool unclosedBrace = false;   // a "{" without its "}": the rest was dropped
  bool missingBrace = false;    // a "=" with no "{" after it: the rest was dropped
  bool tooDeep = false;         // blocks nested deeper than kMaxBlockDepth
  bool cutText = false;         // a key or value was longer than kMaxKeyValue
  bool Any() const { return unclosedBrace || missingBrace || tooDeep || cutText; }
};

// Receives the start notice of a block (pairs null) and its end notice
// (pairs set, at least one entry) after the notices of its nested blocks.
using BlockCallback = void (*)(void* owner, const std::u16string& name, const KeyValueMap* pairs);

// Parses the blocks of `text` (LFs are removed first) and reports each to
// `callback` with `owner`.
ParseIssues ParseBraceBlocks(std::u16string_view text, void* owner, BlockCallback callback);

// Splits an item at its first "=": the key loses every blank, the value
// its leading and trailing blanks. True when the item had a "=" or was not
// empty. Keys and values are cut to kMaxKeyValue characters (`cut` is set).
bool SplitKeyValue(std::u16string_view item, std::u16string& key, std::u16string& value, bool* cut = nullptr);
// Finds the first "{" of `text` and the "}" that closes it. True when a "{"
// was found; `close` is npos when it is never closed.
bool FindMatchingBrace(std::u16string_view text, std::size_t& open, std::size_t& close);

// Only the space character counts as blank.
void RemoveBlanks(std::u16string& s);
void TrimLeftBlanks(std::u16string& s);
void TrimRightBlanks(std::u16string& s);

// A list value: items separated by single blanks (the value trimmed first);
// an empty value is one empty item.
std::vector<std::u16string> SplitTextList(std::u16string_view value);
std::vector<float> SplitNumberList(std::u16string_view value);
// Each item followed by one blank.
std::u16string JoinTextList(const std::vector<std::u16string>& items);
std::u16string JoinNumberList(const std::vector<float>& items);

// Value kinds of the layout keys.
double ValueNumber(std::u16string_view value);
int ValueWhole(std::u16string_view value);
// A share of the layout (a band's ratio, a margin, a control's height, a
// label's, column's or list column's width) lies between 0 and 1: a value
// outside is brought to the nearer end and NaN to 0, and `clamped` is set.
float LayoutFraction(double value, bool* clamped = nullptr);

// True when the path names an existing folder (or a root).
bool IsFolderOrRoot(const std::u16string& path);

// Whether a text can be written as a key or value and read back unchanged.
bool IsWritableValue(std::u16string_view value);

}  // namespace ravik
