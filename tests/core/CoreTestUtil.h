// Helpers of the library's unit tests: a scratch folder, raw file access that
// bypasses the code under test, UTF-16LE key=value files and a capture of the
// alerts the library raises.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/Host.h"
#include "tests/support/ScratchFolder.h"

namespace coretest {

using quillet::test::ReadBytes;
using quillet::test::ScratchFolder;
using quillet::test::WriteBytes;

inline bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// UTF-16LE bytes of a text, unit by unit.
inline std::string Utf16Le(std::u16string_view text) {
  std::string out;
  for (char16_t u : text) out += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
  return out;
}

// A key=value file: byte-order mark and the lines, each ended by CR LF.
inline std::string KeyValueFile(const std::vector<std::u16string>& lines) {
  std::u16string text;
  for (const auto& line : lines) text += line + u"\r\n";
  return std::string("\xFF\xFE", 2) + Utf16Le(text);
}

// Collects the alerts raised while it lives.
class AlertCapture {
 public:
  AlertCapture() {
    plat::SetAlertSink([this](const std::u16string& text, const std::u16string&) { texts.push_back(text); });
  }
  ~AlertCapture() { plat::SetAlertSink(nullptr); }
  std::vector<std::u16string> texts;
};

}  // namespace coretest
