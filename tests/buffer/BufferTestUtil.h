// Helpers shared by the buffer tests: tables written as nested lists, and
// a scratch folder that is removed afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mod_gcode/GCCode/CodeAnalyzer.h"
#include "platform/Text.h"

namespace quillet::test {

using Lines = std::vector<std::vector<std::u16string>>;

inline Lines Copy(const CodeItemTable* table) {
  Lines out;
  if (table)
    for (const auto& line : *table) out.push_back(line);
  return out;
}

// Items of one line lexed with its closing ";".
inline std::vector<std::u16string> LexLine(std::u16string_view text) {
  CCodeAnalyzer analyzer;
  CodeItemLine items;
  analyzer.LexBlockText(text, items, true);
  return items;
}

inline std::string Utf8(std::u16string_view s) { return plat::WideToUtf8(s); }
inline std::u16string Wide(const std::string& s) { return plat::Utf8ToWide(s); }

class ScratchFolder {
 public:
  ScratchFolder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "quillet-buffer-XXXXXX").string();
    char* made = ::mkdtemp(tmpl.data());
    if (made) path_ = made;
  }
  ~ScratchFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  std::u16string WideFile(const std::string& name) const { return Wide(File(name)); }

 private:
  std::string path_;
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace quillet::test
