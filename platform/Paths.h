// The executable's folder and the resolution of the relative paths the
// system names with backslashes and mixed case ("coderule\fanuc.cmt").
#pragma once
#include <string>
#include <string_view>

namespace plat {

// Folder of the running executable (from /proc/self/exe), without a trailing
// separator. Tests may override it; an empty override returns to the real one.
std::string ExeDir();
void SetExeDirOverride(const std::string& dir);

// Turns a path written with backslashes or slashes into a real path: every
// separator becomes '/', and each component that does not exist exactly is
// matched case-insensitively (ASCII) against the entries of its folder. A
// component with no match is kept as written (so the path can be created).
// A relative path is taken relative to `base` (the executable's folder when
// `base` is empty).
std::string ResolvePath(std::string_view path, std::string_view base = {});
// The same for a UTF-16 path.
std::string ResolvePath(std::u16string_view path, std::string_view base = {});

// A path under the executable's folder: ResolvePath(relative, ExeDir()).
std::string ExePath(std::string_view relative);
std::string ExePath(std::u16string_view relative);

// Last component of a path (after the last '/' or '\\') and the part before.
std::string_view FileNamePart(std::string_view path);
std::string_view FolderPart(std::string_view path);

}  // namespace plat
