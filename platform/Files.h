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
#include <optional>
#include <string>
#include <string_view>

namespace plat {

// The file's bytes, or nothing when it cannot be opened or read.
std::optional<std::string> ReadFileBytes(const std::string& path);
// The file's bytes with every CR LF pair turned into LF (Windows text mode).
std::optional<std::string> ReadTextFile(const std::string& path);
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
