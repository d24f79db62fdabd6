// A fixture that parses NC texts for real: the shipped rule files from the
// executable's folder, data tables in a scratch folder (with a variable
// table of 600 variables, all 0), and a fresh program per parse.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "mod_gcode/GCCode/Block.h"
#include "mod_gcode/GCCode/Macro.h"
#include "mod_gcode/GCCode/Program.h"
#include "mod_gcode/export/LibraryState.h"
#include "platform/Text.h"

namespace quillet::test {

constexpr int kGlobalVariables = 600;

inline std::string Utf8(std::u16string_view s) { return plat::WideToUtf8(s); }

class MacroTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    auto main = std::make_unique<CCodeRuleTable>();
    ASSERT_TRUE(main->Load(u"coderule\\fanuc.cmt"));
    auto macro = std::make_unique<CCodeRuleTable>();
    ASSERT_TRUE(macro->Load(u"coderule\\fanuc_macro.cmt"));
    Lib().mainRules = std::move(main);
    Lib().macroRules = std::move(macro);
  }

  void SetUp() override {
    char name[] = "/tmp/quillet_macro_XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    m_folder = name;
    std::filesystem::create_directories(m_folder / "fanuc");
    std::ofstream vars(m_folder / "fanuc" / "variables.txt", std::ios::binary);
    for (int i = 0; i < kGlobalVariables; ++i) vars << "0 " << (i < 33 ? 1 : (i < 1000 ? 2 : 3)) << "\n";
    vars.close();
    Lib().tables = CDataTables();
    Lib().tables.Create(plat::Utf8ToWide(m_folder.string()), u"fanuc");
  }

  void TearDown() override {
    m_program.reset();
    Lib().tables = CDataTables();
    CGCProgram::SetExecutedBlockLimit(0);
    std::error_code ec;
    std::filesystem::remove_all(m_folder, ec);
  }

  // Parses a text (lines separated by "\n") with a fresh program.
  CGCProgram& Parse(std::u16string_view text) {
    const CCodeRuleEntry& g00 = Lib().mainRules->FindByCode(u"G00");
    m_program = std::make_unique<CGCProgramPath>(&g00, u"", u"test");
    CDataTables& t = Lib().tables;
    m_program->AttachDataTables(t.comp.get(), t.coord.get(), t.param.get(), t.vars.get());
    m_text.assign(text);
    m_program->ParseText(0, m_text.data(), m_text.size(), CPoint3d());
    return *m_program;
  }

  // A program with the tables attached but nothing parsed, for evaluating
  // single expressions and statements.
  CGCProgram& Fresh() { return Parse(u""); }

  double Var(int n) {
    CVariableBase* v = m_program->GetVariable(n);
    EXPECT_NE(v, nullptr) << "variable #" << n;
    return v ? v->GetValue() : -12345.0;
  }

  // Line indexes of the executed blocks, without the preamble block.
  std::vector<int> ExecutedLines() const {
    std::vector<int> lines;
    const auto& blocks = m_program->Blocks();
    for (std::size_t i = 1; i < blocks.size(); ++i) lines.push_back(blocks[i]->GetLineNumber());
    return lines;
  }

  // Every message of every executed block, in order.
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const CGCBlock* b : m_program->Blocks())
      if (const auto* list = b->GetMessagesIfAny())
        for (const auto& m : *list) out.push_back(Utf8(m));
    return out;
  }

  // Messages of the executed blocks of one line.
  std::vector<std::string> MessagesOfLine(int line) const {
    std::vector<std::string> out;
    for (const CGCBlock* b : m_program->Blocks())
      if (b->GetLineNumber() == line)
        if (const auto* list = b->GetMessagesIfAny())
          for (const auto& m : *list) out.push_back(Utf8(m));
    return out;
  }

  std::filesystem::path m_folder;
  std::unique_ptr<CGCProgramPath> m_program;
  std::u16string m_text;
};

}  // namespace quillet::test
