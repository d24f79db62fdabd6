// Whole-file reading and writing.
//
// Reading never creates or changes a file. Writing replaces a file
// atomically: the data goes to a temporary file in the same folder, which is
// flushed and then renamed over the target, so a failed write leaves the old
// file whole and is reported. The written file keeps what the user set up
// around it: a symbolic link is followed (the link stays, the file it names
// changes), the permissions and owner stay, hard links keep sharing the
// file, and a file the user may not write is refused.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

// The file's bytes, or nothing when it cannot be opened or read.
std::optional<std::string> ReadFileBytes(const std::string& path);
// The file's bytes with every CR LF pair turned into LF (Windows text mode).
std::optional<std::string> ReadTextFile(const std::string& path);

// A zero byte of a program file as its text holds it: a zero character
// would end the text for every caller that takes it as a zero-terminated
// string. It is the lone low surrogate U+DC00, next to the stand-ins of the
// undecodable bytes (U+DC80-U+DCFF): no file of any code page decodes to it,
// so every character a file does hold (U+2400, the symbol for NUL, too)
// is written back as itself.
constexpr char16_t kZeroByteShown = 0xDC00;

// How a text file ends its lines, so that its text, edited as lines that end
// with LF, is written back with the file's own line ends.
struct LineEnds {
  enum Kind : unsigned char { kLf, kCrLf, kCr };
  // The file's first line end; every line takes it while the file holds
  // one kind, and lines a save adds take it.
  Kind first = kCrLf;
  // Every line end in order, and a hash of each line's bytes, when the
  // file mixes kinds; empty otherwise.
  std::vector<unsigned char> each;
  std::vector<std::uint32_t> lineHashes;
  // The file holds zero bytes.
  bool zeroBytes = false;
};
// The line ends of the file (read piece by piece, never held whole), or
// nothing when it cannot be read. A CR alone, CR LF and LF each end a line.
std::optional<LineEnds> ReadLineEnds(const std::string& path);
// `text` (in the file's code page) with each LF written as the line end the
// file had there: a line like the file's at the same place from the start
// or from the end keeps its own; the others take the end at the first line
// that differs. An LF after a CR is written alone.
std::string ApplyLineEnds(std::string_view text, const LineEnds& ends);

bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);

// Turns every LF that is not already preceded by CR into CR LF.
std::string ToCrLf(std::string_view text);
// Turns every CR LF pair into LF.
std::string FromCrLf(std::string_view text);

// Replaces the file atomically with `bytes`. Creates missing folders of the
// path first when `createFolders` is set. Where no temporary file can be made
// (a folder the user may not write), and for a file with hard links, an
// existing file is rewritten in place, its old bytes put back when that
// fails. Returns false (and leaves any old file whole) when anything fails;
// `error` then holds a reason.
bool WriteFileAtomic(const std::string& path, std::string_view bytes,
                     bool createFolders = true, std::string* error = nullptr);

// Creates every missing folder of `folder` (like mkdir -p).
bool CreateFolders(const std::string& folder);

}  // namespace plat
