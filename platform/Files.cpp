#include "platform/Files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

std::optional<std::string> ReadFileBytes(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  std::string data;
  if (st.st_size > 0) data.reserve(static_cast<std::size_t>(st.st_size));
  char buf[1 << 16];
  while (true) {
    ssize_t n = ::read(fd, buf, sizeof(buf));
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    data.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return data;
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

bool WriteFileAtomic(const std::string& path, std::string_view bytes, bool createFolders,
                     std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  std::string folder;
  auto slash = path.find_last_of('/');
  if (slash != std::string::npos) folder = path.substr(0, slash == 0 ? 1 : slash);
  if (createFolders && !folder.empty() && !CreateFolders(folder)) return fail("cannot create folder " + folder);

  // Keep the permissions of an existing file.
  mode_t mode = 0666;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return fail(path + " is a folder");
    mode = st.st_mode & 07777;
  }

  static thread_local std::mt19937_64 rng{std::random_device{}()};
  std::string tmp;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof(suffix), ".tmp%012llx", static_cast<unsigned long long>(rng() & 0xFFFFFFFFFFFFULL));
    tmp = path + suffix;
    fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0 && errno != EEXIST) return fail(std::string("cannot create ") + tmp + ": " + std::strerror(errno));
  }
  if (fd < 0) return fail("cannot create a temporary file beside " + path);

  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      std::string why = std::string("write failed: ") + std::strerror(errno);
      ::close(fd);
      ::unlink(tmp.c_str());
      return fail(why);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0 && errno != EINVAL) {
    std::string why = std::string("flush failed: ") + std::strerror(errno);
    ::close(fd);
    ::unlink(tmp.c_str());
    return fail(why);
  }
  if (::close(fd) != 0) {
    ::unlink(tmp.c_str());
    return fail(std::string("close failed: ") + std::strerror(errno));
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    std::string why = std::string("rename failed: ") + std::strerror(errno);
    ::unlink(tmp.c_str());
    return fail(why);
  }
  return true;
}

}  // namespace plat
