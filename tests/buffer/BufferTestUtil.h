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
#include "tests/support/ScratchFolder.h"

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


}  // namespace quillet::test
