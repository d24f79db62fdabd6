// Helpers of the library's unit tests: scratch folders, raw file access that
// bypasses the code under test, UTF-16LE key=value files built line by line,
// and a capture of the alerts the library raises.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Host.h"
#include "platform/Text.h"

#include "tests/support/ScratchFolder.h"

namespace coretest {

using quillet::test::ScratchFolder;
using quillet::test::ReadBytes;
using quillet::test::WriteBytes;


inline bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// UTF-16LE bytes of a text, unit by unit.
inline std::string Utf16Le(std::u16string_view text) {
  std::string out;
  for (char16_t u : text) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
  return out;
}

// A key=value file: byte-order mark, the lines joined by `eol`, and `eol`
// after the last line too when `lastEnded`.
inline std::string KeyValueFile(const std::vector<std::u16string>& lines, bool bom = true,
                                std::u16string_view eol = u"\r\n", bool lastEnded = true) {
  std::u16string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    text += lines[i];
    if (i + 1 < lines.size() || lastEnded) text += eol;
  }
  return (bom ? std::string("\xFF\xFE", 2) : std::string()) + Utf16Le(text);
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

inline std::string Utf8(std::u16string_view s) { return plat::WideToUtf8(s); }

}  // namespace coretest
