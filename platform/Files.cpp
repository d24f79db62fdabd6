#include "platform/Files.h"

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <vector>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

namespace {

// Hands the file's bytes to `take` piece by piece; false when the file cannot
// be opened or read (or is a folder).
template <typename Take>
bool ReadFilePieces(const std::string& path, Take&& take, off_t* size = nullptr) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return false;
  }
  if (size) *size = st.st_size;
  char buf[1 << 16];
  while (true) {
    ssize_t n = ::read(fd, buf, sizeof(buf));
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    take(std::string_view(buf, static_cast<std::size_t>(n)));
  }
  ::close(fd);
  return true;
}

// FNV-1a, continued piece by piece.
constexpr std::uint32_t kHashStart = 2166136261u;
std::uint32_t HashOn(std::uint32_t h, unsigned char c) { return (h ^ c) * 16777619u; }

}  // namespace

std::optional<std::string> ReadFileBytes(const std::string& path) {
  std::string data;
  off_t size = 0;
  const bool read = ReadFilePieces(
      path,
      [&](std::string_view piece) {
        if (data.empty() && size > 0) data.reserve(static_cast<std::size_t>(size));
        data.append(piece);
      },
      &size);
  if (!read) return std::nullopt;
  return data;
}

namespace {

// Reads the file's lines: `end(kind, hash)` for each line end, with the hash
// of the line's bytes when `hashed`; `zero` is set by a zero byte.
template <typename End>
bool ScanLines(const std::string& path, bool hashed, bool& zero, End&& end) {
  bool afterCr = false;
  std::uint32_t hash = kHashStart;
  auto close = [&](LineEnds::Kind kind) {
    end(kind, hash);
    hash = kHashStart;
  };
  const bool read = ReadFilePieces(path, [&](std::string_view piece) {
    for (const char ch : piece) {
      const auto c = static_cast<unsigned char>(ch);
      if (afterCr) {
        afterCr = false;
        close(c == '\n' ? LineEnds::kCrLf : LineEnds::kCr);
        if (c == '\n') continue;
      }
      if (c == '\r') {
        afterCr = true;
      } else if (c == '\n') {
        close(LineEnds::kLf);
      } else {
        zero |= c == 0;
        if (hashed) hash = HashOn(hash, c);
      }
    }
  });
  if (read && afterCr) close(LineEnds::kCr);
  return read;
}

}  // namespace

std::optional<LineEnds> ReadLineEnds(const std::string& path) {
  LineEnds ends;
  std::size_t count = 0;
  bool mixed = false;
  const bool read = ScanLines(path, false, ends.zeroBytes, [&](LineEnds::Kind kind, std::uint32_t) {
    if (count == 0) ends.first = kind;
    if (!mixed && kind != ends.first) {
      mixed = true;
      ends.each.assign(count, ends.first);
    }
    if (mixed) ends.each.push_back(kind);
    ++count;
  });
  if (!read) return std::nullopt;
  // A file of mixed kinds (rare) is read again for the lines' hashes.
  if (mixed) {
    ends.lineHashes.reserve(ends.each.size());
    bool zero = false;
    if (!ScanLines(path, true, zero, [&](LineEnds::Kind, std::uint32_t hash) { ends.lineHashes.push_back(hash); }) ||
        ends.lineHashes.size() != ends.each.size()) {
      return std::nullopt;  // changed meanwhile
    }
  }
  return ends;
}

std::string ApplyLineEnds(std::string_view text, const LineEnds& ends) {
  static constexpr std::string_view kBytes[] = {"\n", "\r\n", "\r"};
  // The lines of `text` that end with an LF, and their hashes when the file
  // mixes kinds: the lines alike at the start and at the end of both keep
  // their own ends, the lines between take the end at the first difference.
  std::vector<std::uint32_t> hashes;
  std::size_t lines = 0;
  {
    std::uint32_t h = kHashStart;
    for (const char ch : text) {
      if (ch != '\n') {
        h = HashOn(h, static_cast<unsigned char>(ch));
        continue;
      }
      if (!ends.each.empty()) hashes.push_back(h);
      h = kHashStart;
      ++lines;
    }
  }
  const std::size_t old = ends.each.size();
  std::size_t same = 0, sameAtEnd = 0;
  if (old > 0) {
    const std::size_t most = std::min(lines, old);
    while (same < most && hashes[same] == ends.lineHashes[same]) ++same;
    while (sameAtEnd < most - same && hashes[lines - 1 - sameAtEnd] == ends.lineHashes[old - 1 - sameAtEnd]) ++sameAtEnd;
  }
  auto kindOf = [&](std::size_t line) -> unsigned char {
    if (old == 0) return ends.first;
    if (line < same) return ends.each[line];
    if (line >= lines - sameAtEnd) return ends.each[line - lines + old];
    return same < old ? ends.each[same] : static_cast<unsigned char>(ends.first);
  };
  std::string out;
  out.reserve(text.size() + (ends.first == LineEnds::kCrLf ? lines : 0));
  std::size_t line = 0, from = 0;
  for (std::size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', from)) {
    out.append(text.substr(from, at - from));
    const unsigned char kind = kindOf(line++);
    // A CR already before the LF stays one CR LF.
    if (at > 0 && text[at - 1] == '\r') out += '\n';
    else out.append(kBytes[kind]);
    from = at + 1;
  }
  out.append(text.substr(from));
  return out;
}

std::optional<std::string> ReadTextFile(const std::string& path) {
  auto bytes = ReadFileBytes(path);
  if (!bytes) return std::nullopt;
  return FromCrLf(*bytes);
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ToCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16 + 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\n' && (i == 0 || text[i - 1] != '\r')) out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

std::string FromCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(text[i]);
  }
  return out;
}

bool CreateFolders(const std::string& folder) {
  if (folder.empty()) return true;
  std::string prefix;
  std::size_t pos = 0;
  while (pos <= folder.size()) {
    std::size_t next = folder.find('/', pos);
    if (next == std::string::npos) next = folder.size();
    prefix = folder.substr(0, next);
    if (!prefix.empty() && !IsDirectory(prefix)) {
      if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    pos = next + 1;
  }
  return IsDirectory(folder);
}

namespace {

bool WriteAll(int fd, std::string_view bytes, std::string* why) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      *why = std::string("write failed: ") + std::strerror(errno);
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

bool Flush(int fd, std::string* why) {
  if (::fsync(fd) == 0 || errno == EINVAL) return true;
  *why = std::string("flush failed: ") + std::strerror(errno);
  return false;
}

std::string FolderOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash == 0 ? 1 : slash);
}

// Follows symbolic links to the file they name (which need not exist yet).
// Gives an empty text for a loop or a chain too long to follow.
std::string FollowLinks(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
    if (n < 0) return current;
    link.resize(static_cast<std::size_t>(n));
    current = (!link.empty() && link[0] == '/') ? link : FolderOf(current) + "/" + link;
  }
  return std::string();
}

// Rewrites an existing file through its own inode: used where no temporary
// file can take its place. The old bytes are put back when the new ones
// cannot be written whole.
bool WriteInPlace(const std::string& path, std::string_view bytes, std::string* why) {
  std::optional<std::string> old = ReadFileBytes(path);
  if (!old) {
    *why = "cannot read " + path + " before rewriting it";
    return false;
  }
  int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) {
    *why = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  bool ok = WriteAll(fd, bytes, why);
  if (ok && ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) {
    *why = std::string("truncate failed: ") + std::strerror(errno);
    ok = false;
  }
  ok = ok && Flush(fd, why);
  if (!ok) {
    std::string ignored;
    if (::lseek(fd, 0, SEEK_SET) == 0 && WriteAll(fd, *old, &ignored)) {
      if (::ftruncate(fd, static_cast<off_t>(old->size())) == 0) Flush(fd, &ignored);
    }
  }
  if (::close(fd) != 0 && ok) {
    *why = std::string("close failed: ") + std::strerror(errno);
    ok = false;
  }
  return ok;
}

}  // namespace

bool WriteFileAtomic(const std::string& path, std::string_view bytes, bool createFolders,
                     std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (path.empty()) return fail("no file name");
  // A symbolic link stays: the file it names is written.
  const std::string target = FollowLinks(path);
  if (target.empty()) return fail("too many symbolic links: " + path);
  const std::string folder = FolderOf(target);
  if (createFolders && !CreateFolders(folder)) return fail("cannot create folder " + folder);

  mode_t mode = 0666;
  struct stat st;
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists) {
    if (S_ISDIR(st.st_mode)) return fail(target + " is a folder");
    // A file the user may not write is not replaced behind its back.
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
      return fail("no permission to write " + target + ": " + std::strerror(errno));
    mode = st.st_mode & 07777;
    // Other names of the same file (hard links) see the new text only when
    // it is written into the file itself.
    if (st.st_nlink > 1) {
      std::string why;
      return WriteInPlace(target, bytes, &why) || fail(why);
    }
  }

  static thread_local std::mt19937_64 rng{std::random_device{}()};
  std::string tmp;
  int fd = -1;
  int openError = 0;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof(suffix), ".tmp%012llx", static_cast<unsigned long long>(rng() & 0xFFFFFFFFFFFFULL));
    tmp = target + suffix;
    fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? 0600 : 0666);
    openError = fd < 0 ? errno : 0;
    if (fd < 0 && openError != EEXIST) break;
  }
  if (fd < 0) {
    // No temporary file in that folder: an existing file is rewritten in place.
    if (exists) {
      std::string why;
      if (WriteInPlace(target, bytes, &why)) return true;
      return fail(why);
    }
    return fail("cannot create a file beside " + target + ": " + std::strerror(openError ? openError : EEXIST));
  }
  auto abandon = [&](const std::string& why) {
    ::close(fd);
    ::unlink(tmp.c_str());
    return fail(why);
  };
  // The new file takes the old one's permissions (not narrowed by the umask)
  // and, where allowed, its owner; a file that would change owner is written
  // in place instead.
  if (exists && ::fchmod(fd, mode) != 0)
    return abandon(std::string("cannot set permissions: ") + std::strerror(errno));
  if (exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) && ::fchown(fd, st.st_uid, st.st_gid) != 0) {
    ::close(fd);
    ::unlink(tmp.c_str());
    std::string why;
    return WriteInPlace(target, bytes, &why) || fail(why);
  }
  std::string why;
  if (!WriteAll(fd, bytes, &why) || !Flush(fd, &why)) return abandon(why);
  if (::close(fd) != 0) {
    ::unlink(tmp.c_str());
    return fail(std::string("close failed: ") + std::strerror(errno));
  }
  if (::rename(tmp.c_str(), target.c_str()) != 0) {
    why = std::string("rename failed: ") + std::strerror(errno);
    ::unlink(tmp.c_str());
    return fail(why);
  }
  return true;
}

}  // namespace plat
