#include "CompFixture.h"

#include <cstdlib>
#include <filesystem>

#include "mod_gcode/export/LibraryState.h"
#include "platform/Paths.h"

namespace quillet::test {

std::vector<Report> CompTest::s_reports;

void CompTest::SetUp() {
  ProgramTest::SetUp();
  s_reports.clear();
  Lib().command = [](int* line, short* kind, double*, double*, double*, double* x, double* y, double* z, double*,
                     double*, double*, double*, double*, double*, double*) -> int {
    s_reports.push_back(Report{*line, *kind, CPoint3d(*x, *y, *z)});
    return 1;
  };
}

void CompTest::TearDown() {
  m_paths = nullptr;
  ProgramTest::TearDown();
}

void CompTest::Run(const std::u16string& text) {
  m_paths = nullptr;
  Parse(text);
  s_reports.clear();
  m_paths = m_program->GetCutterPath(false);
  m_program->AutoRun();
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
