#include "CompFixture.h"

#include <cstdlib>
#include <filesystem>

#include "mod_gcode/export/LibraryState.h"
#include "platform/Paths.h"

namespace quillet::test {

std::string CompTest::s_folder;
std::vector<Report> CompTest::s_reports;

void CompTest::SetUpTestSuite() {
  CLibraryState& s = Lib();
  InitPathStyles(s);
  s.mainRules = std::make_unique<CCodeRuleTable>();
  s.macroRules = std::make_unique<CCodeRuleTable>();
  ASSERT_TRUE(s.mainRules->Load(u"coderule\\fanuc.cmt"));
  ASSERT_TRUE(s.macroRules->Load(u"coderule\\fanuc_macro.cmt"));
  char tmpl[] = "/tmp/comp_testXXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  s_folder = tmpl;
  std::filesystem::copy(plat::ExeDir() + "/fanuc", s_folder + "/fanuc", std::filesystem::copy_options::recursive);
}

void CompTest::TearDownTestSuite() {
  Lib().tables = CDataTables();
  std::filesystem::remove_all(s_folder);
}

void CompTest::SetUp() {
  Lib().tables = CDataTables();
  Lib().tables.Create(plat::Utf8ToWide(s_folder), u"fanuc");
  CGCProgram::SetExecutedBlockLimit(0);
  s_reports.clear();
  Lib().command = [](int* line, short* kind, double*, double*, double*, double* x, double* y, double* z, double*,
                     double*, double*, double*, double*, double*, double*) -> int {
    s_reports.push_back(Report{*line, *kind, CPoint3d(*x, *y, *z)});
    return 1;
  };
}

void CompTest::TearDown() {
  Lib().command = nullptr;
  m_paths = nullptr;
  m_program.reset();
  CGCProgram::SetExecutedBlockLimit(0);
}

CGCProgramPath& CompTest::Parse(const std::u16string& text) {
  const CCodeRuleEntry& g00 = Lib().mainRules->FindByCode(u"G00");
  m_paths = nullptr;
  m_program = std::make_unique<CGCProgramPath>(&g00, u"", u"TEST");
  CDataTables& t = Lib().tables;
  m_program->AttachDataTables(t.comp.get(), t.coord.get(), t.param.get(), t.vars.get());
  m_program->ParseText(0, text.data(), text.size(), CPoint3d());
  return *m_program;
}

void CompTest::Run(const std::u16string& text) {
  Parse(text);
  s_reports.clear();
  m_paths = m_program->GetCutterPath(false);
  m_program->AutoRun();
}

std::vector<std::u16string> CompTest::Messages() const {
  std::vector<std::u16string> out;
  for (CGCBlock* b : m_program->Blocks())
    if (const auto* m = b->GetMessagesIfAny()) out.insert(out.end(), m->begin(), m->end());
  return out;
}

std::vector<const CPathPolyline*> CompTest::PathOfLine(int line) const {
  std::vector<const CPathPolyline*> out;
  if (!m_paths) return out;
  const auto& blocks = m_program->Blocks();
  // Block 0 is the preamble; the path lists follow the blocks.
  for (std::size_t i = 1; i < blocks.size() && i < m_paths->size(); ++i) {
    if (blocks[i]->GetLineNumber() != line) continue;
    out.clear();
    for (CPathPolyline* p : (*m_paths)[i]) out.push_back(p);
  }
  return out;
}

std::vector<CPoint3d> CompTest::PointsOfLine(int line) const {
  auto polys = PathOfLine(line);
  EXPECT_EQ(polys.size(), 1u) << "line " << line;
  if (polys.size() != 1) return {};
  return std::vector<CPoint3d>(polys[0]->begin(), polys[0]->end());
}

std::vector<Report> CompTest::ReportsOfLine(int line) const {
  std::vector<Report> out;
  for (const Report& r : s_reports)
    if (r.line == line && r.kind >= 1 && r.kind <= 4) out.push_back(r);
  return out;
}

void CompTest::SetCutterRadius(int row, double radius) {
  // Columns 2 and 3 are summed and halved: 3r/2 + r/2 = 2r, halved is r.
  Lib().tables.comp->SetValue(row, 2, 1.5 * radius);
  Lib().tables.comp->SetValue(row, 3, 0.5 * radius);
}

}  // namespace quillet::test
