#include "InterpFixture.h"

#include <cstdlib>
#include <filesystem>

#include "mod_gcode/GCCode/FileUtil.h"
#include "mod_gcode/export/LibraryState.h"
#include "platform/Paths.h"

namespace quillet::test {

std::string InterpTest::s_folder;

void InterpTest::SetUpTestSuite() {
  CLibraryState& s = Lib();
  InitPathStyles(s);
  s.mainRules = std::make_unique<CCodeRuleTable>();
  s.macroRules = std::make_unique<CCodeRuleTable>();
  ASSERT_TRUE(s.mainRules->Load(u"coderule\\fanuc.cmt"));
  ASSERT_TRUE(s.macroRules->Load(u"coderule\\fanuc_macro.cmt"));
  char tmpl[] = "/tmp/interp_testXXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  s_folder = tmpl;
  std::filesystem::copy(plat::ExeDir() + "/fanuc", s_folder + "/fanuc", std::filesystem::copy_options::recursive);
}

void InterpTest::TearDownTestSuite() {
  Lib().tables = CDataTables();
  std::filesystem::remove_all(s_folder);
}

void InterpTest::SetUp() {
  Lib().tables = CDataTables();
  Lib().tables.Create(plat::Utf8ToWide(s_folder), u"fanuc");
  CGCProgram::SetExecutedBlockLimit(0);
}

void InterpTest::TearDown() {
  m_program.reset();
  CGCProgram::SetExecutedBlockLimit(0);
}

CGCProgramPath& InterpTest::Parse(const std::u16string& text) { return ParseIn("", text); }

CGCProgramPath& InterpTest::ParseIn(const std::string& folder, const std::u16string& text) {
  const CCodeRuleEntry& g00 = Lib().mainRules->FindByCode(u"G00");
  m_program = std::make_unique<CGCProgramPath>(&g00, plat::Utf8ToWide(folder), u"TEST");
  CDataTables& t = Lib().tables;
  m_program->AttachDataTables(t.comp.get(), t.coord.get(), t.param.get(), t.vars.get());
  m_program->ParseText(0, text.data(), text.size(), CPoint3d());
  return *m_program;
}

std::vector<std::u16string> InterpTest::Messages() const {
  std::vector<std::u16string> out;
  for (CGCBlock* b : m_program->Blocks())
    if (const auto* m = b->GetMessagesIfAny()) out.insert(out.end(), m->begin(), m->end());
  return out;
}

CGCBlock* InterpTest::BlockOfLine(int line) const {
  CGCBlock* found = nullptr;
  const auto& blocks = m_program->Blocks();
  for (std::size_t i = 1; i < blocks.size(); ++i)  // block 0 is the preamble
    if (blocks[i]->GetLineNumber() == line) found = blocks[i];
  return found;
}

CPoint3d InterpTest::EndOfLine(int line) const {
  CGCBlock* b = BlockOfLine(line);
  CGCInstruction* m = b ? CGCBlock::FindLastMotion(b) : nullptr;
  if (!m) {
    ADD_FAILURE() << "line " << line << " has no motion";
    return CPoint3d();
  }
  return m->GetEndPointInPlane();
}

void InterpTest::SetWorkOffset(int row, double x, double y, double z) {
  Lib().tables.coord->SetValue(row, 0, x);
  Lib().tables.coord->SetValue(row, 1, y);
  Lib().tables.coord->SetValue(row, 2, z);
}

void InterpTest::SetToolOffset(int row, int col, double value) { Lib().tables.comp->SetValue(row, col, value); }

}  // namespace quillet::test
