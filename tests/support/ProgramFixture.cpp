#include "ProgramFixture.h"

#include <cstdlib>
#include <filesystem>

#include "mod_gcode/export/LibraryState.h"
#include "platform/Paths.h"

namespace quillet::test {

std::string ProgramTest::s_folder;

void ExpectPoint(const CPoint3d& p, double x, double y, double z, const char* what) {
  EXPECT_NEAR(p.x, x, 1e-9) << what;
  EXPECT_NEAR(p.y, y, 1e-9) << what;
  EXPECT_NEAR(p.z, z, 1e-9) << what;
}

void ProgramTest::SetUpTestSuite() {
  CLibraryState& s = Lib();
  InitPathStyles(s);
  s.mainRules = std::make_unique<CCodeRuleTable>();
  s.macroRules = std::make_unique<CCodeRuleTable>();
  ASSERT_TRUE(s.mainRules->Load(u"coderule\\fanuc.cmt"));
  ASSERT_TRUE(s.macroRules->Load(u"coderule\\fanuc_macro.cmt"));
  char tmpl[] = "/tmp/program_testXXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  s_folder = tmpl;
  // The tables as committed, whatever a viewer wrote beside the executable.
  std::filesystem::copy(std::string(QUILLET_SHIPPED_DATA) + "/fanuc", s_folder + "/fanuc",
                        std::filesystem::copy_options::recursive);
}

void ProgramTest::TearDownTestSuite() {
  Lib().tables = CDataTables();
  std::filesystem::remove_all(s_folder);
}

void ProgramTest::SetUp() {
  Lib().tables = CDataTables();
  Lib().tables.Create(plat::Utf8ToWide(s_folder), u"fanuc");
  for (int row = 0; row < CDataCoordSystem::kRows; ++row) SetWorkOffset(row, 0, 0, 0);
  Lib().command = nullptr;
  Lib().message = nullptr;
  Lib().tool = nullptr;
  CGCProgram::SetExecutedBlockLimit(0);
  CGCProgram::SetMemoryLimit(0);
}

void ProgramTest::TearDown() {
  m_program.reset();
  Lib().command = nullptr;
  CGCProgram::SetExecutedBlockLimit(0);
  CGCProgram::SetMemoryLimit(0);
  CGCProgram::SetChainNumberLimit(0);
}

CGCProgramPath& ProgramTest::Parse(const std::u16string& text) { return ParseIn("", text); }

CGCProgramPath& ProgramTest::ParseIn(const std::string& folder, const std::u16string& text) {
  const CCodeRuleEntry& g00 = Lib().mainRules->FindByCode(u"G00");
  m_program = std::make_unique<CGCProgramPath>(&g00, plat::Utf8ToWide(folder), u"TEST");
  CDataTables& t = Lib().tables;
  m_program->AttachDataTables(t.comp.get(), t.coord.get(), t.param.get(), t.vars.get());
  m_program->ParseText(0, text.data(), text.size(), CPoint3d());
  return *m_program;
}

std::vector<std::u16string> ProgramTest::Messages() const {
  std::vector<std::u16string> out;
  for (CGCBlock* b : m_program->Blocks())
    if (const auto* m = b->GetMessagesIfAny()) out.insert(out.end(), m->begin(), m->end());
  return out;
}

CGCBlock* ProgramTest::BlockOfLine(int line) const {
  CGCBlock* found = nullptr;
  const auto& blocks = m_program->Blocks();
  for (std::size_t i = 1; i < blocks.size(); ++i)  // block 0 is the preamble
    if (blocks[i]->GetLineNumber() == line) found = blocks[i];
  return found;
}

CPoint3d ProgramTest::EndOfLine(int line) const {
  CGCBlock* b = BlockOfLine(line);
  CGCInstruction* m = b ? CGCBlock::FindLastMotion(b) : nullptr;
  if (!m) {
    ADD_FAILURE() << "line " << line << " has no motion";
    return CPoint3d();
  }
  return m->GetEndPointInPlane();
}

const CPathList* ProgramTest::ListOfLine(const PathGroups& paths, int line) const {
  CGCBlock* target = BlockOfLine(line);
  const auto& blocks = m_program->Blocks();
  for (std::size_t i = 0; i < blocks.size() && i < paths.size(); ++i)
    if (blocks[i] == target) return &paths[i];
  return nullptr;
}

void ProgramTest::SetWorkOffset(int row, double x, double y, double z) {
  Lib().tables.coord->SetValue(row, 0, x);
  Lib().tables.coord->SetValue(row, 1, y);
  Lib().tables.coord->SetValue(row, 2, z);
}

void ProgramTest::SetToolOffset(int row, int col, double value) { Lib().tables.comp->SetValue(row, col, value); }

}  // namespace quillet::test
