// Helpers shared by the buffer tests: tables written as nested lists, the
// items of one lexed line, and a scratch folder.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mod_gcode/text/CodeAnalyzer.h"
#include "platform/Text.h"
#include "tests/support/ScratchFolder.h"

namespace quillet::test {

using Items = std::vector<std::u16string>;
using Lines = std::vector<Items>;

inline Lines Copy(const CodeItemTable* table) { return table ? Lines(table->begin(), table->end()) : Lines(); }

// Items of one line lexed with its closing ";".
inline Items LexLine(std::u16string_view text) {
  CCodeAnalyzer analyzer;
  CodeItemLine items;
  analyzer.LexBlockText(text, items, true);
  return items;
}

}  // namespace quillet::test
