#include "platform/Paths.h"

#include <dirent.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/Text.h"

namespace plat {
namespace {

std::mutex g_exeMutex;
std::string g_exeOverride;

std::string RealExeDir() {
  std::vector<char> buf(4096);
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return ".";
  std::string path(buf.data(), static_cast<std::size_t>(n));
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool Exists(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// Finds an entry of `folder` whose name equals `name` without regard to
// ASCII case; the first in directory order wins.
bool FindNoCase(const std::string& folder, const std::string& name, std::string& found) {
  DIR* d = opendir(folder.empty() ? "." : folder.c_str());
  if (!d) return false;
  bool ok = false;
  while (dirent* e = readdir(d)) {
    if (EqualNoCase(e->d_name, name)) {
      found = e->d_name;
      ok = true;
      break;
    }
  }
  closedir(d);
  return ok;
}

}  // namespace

std::string ExeDir() {
  {
    std::lock_guard<std::mutex> lock(g_exeMutex);
    if (!g_exeOverride.empty()) return g_exeOverride;
  }
  static const std::string real = RealExeDir();
  return real;
}

void SetExeDirOverride(const std::string& dir) {
  std::lock_guard<std::mutex> lock(g_exeMutex);
  g_exeOverride = dir;
  while (g_exeOverride.size() > 1 && g_exeOverride.back() == '/') g_exeOverride.pop_back();
}

std::string ResolvePath(std::string_view path, std::string_view base) {
  std::string p(path);
  for (char& c : p)
    if (c == '\\') c = '/';
  std::string result;
  std::size_t pos = 0;
  if (!p.empty() && p[0] == '/') {
    result = "/";
    pos = 1;
  } else {
    result = base.empty() ? ExeDir() : std::string(base);
  }
  bool missing = false;  // once a component is missing, later ones cannot exist
  while (pos <= p.size()) {
    std::size_t next = p.find('/', pos);
    if (next == std::string::npos) next = p.size();
    std::string comp = p.substr(pos, next - pos);
    pos = next + 1;
    if (comp.empty() || comp == ".") {
      if (next == p.size()) break;
      continue;
    }
    std::string joined = result.empty() || result.back() == '/' ? result + comp : result + "/" + comp;
    if (!missing && comp != ".." && !Exists(joined)) {
      std::string found;
      if (FindNoCase(result, comp, found))
        joined = result.empty() || result.back() == '/' ? result + found : result + "/" + found;
      else
        missing = true;
    }
    result = joined;
    if (next == p.size()) break;
  }
  return result;
}

std::string ResolvePath(std::u16string_view path, std::string_view base) {
  return ResolvePath(WideToUtf8(path), base);
}

std::string ExePath(std::string_view relative) { return ResolvePath(relative, ExeDir()); }
std::string ExePath(std::u16string_view relative) { return ResolvePath(relative, ExeDir()); }

std::string_view FileNamePart(std::string_view path) {
  auto pos = path.find_last_of("/\\");
  return pos == std::string_view::npos ? path : path.substr(pos + 1);
}

std::string_view FolderPart(std::string_view path) {
  auto pos = path.find_last_of("/\\");
  return pos == std::string_view::npos ? std::string_view() : path.substr(0, pos);
}

}  // namespace plat
