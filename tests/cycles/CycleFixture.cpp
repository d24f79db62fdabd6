#include "CycleFixture.h"

#include <cstdlib>
#include <filesystem>

#include "mod_gcode/GCCode/FileUtil.h"
#include "mod_gcode/export/LibraryState.h"
#include "platform/Paths.h"

namespace quillet::test {

std::string CycleTest::s_folder;

namespace {

std::vector<Record>* g_records = nullptr;

int CollectRecord(int* line, short* kind, double* xv, double* yv, double* zv, double* xp, double* yp, double* zp,
                  double* i, double* j, double* k, double* r, double* p, double* q, double* feed) {
  if (!g_records) return 1;
  Record rec;
  rec.line = *line;
  rec.kind = *kind;
  rec.value = CPoint3d(*xv, *yv, *zv);
  rec.position = CPoint3d(*xp, *yp, *zp);
  rec.i = *i;
  rec.j = *j;
  rec.k = *k;
  rec.r = *r;
  rec.p = *p;
  rec.q = *q;
  rec.feed = *feed;
  g_records->push_back(rec);
  return 1;
}

}  // namespace

void ExpectPoint(const CPoint3d& p, double x, double y, double z, const char* what) {
  EXPECT_NEAR(p.x, x, 1e-9) << what;
  EXPECT_NEAR(p.y, y, 1e-9) << what;
  EXPECT_NEAR(p.z, z, 1e-9) << what;
}

void ExpectChain(const std::vector<Segment>& segs, const std::vector<CPoint3d>& points) {
  ASSERT_EQ(segs.size() + 1, points.size());
  for (std::size_t s = 0; s < segs.size(); ++s) {
    SCOPED_TRACE("segment " + std::to_string(s));
    ExpectPoint(segs[s].from, points[s].x, points[s].y, points[s].z, "from");
    ExpectPoint(segs[s].to, points[s + 1].x, points[s + 1].y, points[s + 1].z, "to");
  }
}

void CycleTest::SetUpTestSuite() {
  CLibraryState& s = Lib();
  InitPathStyles(s);
  s.mainRules = std::make_unique<CCodeRuleTable>();
  s.macroRules = std::make_unique<CCodeRuleTable>();
  ASSERT_TRUE(s.mainRules->Load(u"coderule\\fanuc.cmt"));
  ASSERT_TRUE(s.macroRules->Load(u"coderule\\fanuc_macro.cmt"));
  char tmpl[] = "/tmp/cycle_testXXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  s_folder = tmpl;
  std::filesystem::copy(plat::ExeDir() + "/fanuc", s_folder + "/fanuc", std::filesystem::copy_options::recursive);
}

void CycleTest::TearDownTestSuite() {
  Lib().tables = CDataTables();
  std::filesystem::remove_all(s_folder);
}

void CycleTest::SetUp() {
  Lib().tables = CDataTables();
  Lib().tables.Create(plat::Utf8ToWide(s_folder), u"fanuc");
  for (int row = 0; row < 7; ++row) SetWorkOffset(row, 0, 0, 0);
  Lib().command = nullptr;
  Lib().message = nullptr;
  Lib().tool = nullptr;
  CGCProgram::SetExecutedBlockLimit(0);
}

void CycleTest::TearDown() {
  m_program.reset();
  Lib().command = nullptr;
  CGCProgram::SetExecutedBlockLimit(0);
}

CGCProgramPath& CycleTest::Parse(const std::u16string& text) {
  const CCodeRuleEntry& g00 = Lib().mainRules->FindByCode(u"G00");
  m_program = std::make_unique<CGCProgramPath>(&g00, u"", u"TEST");
  CDataTables& t = Lib().tables;
  m_program->AttachDataTables(t.comp.get(), t.coord.get(), t.param.get(), t.vars.get());
  m_program->ParseText(0, text.data(), text.size(), CPoint3d());
  return *m_program;
}

std::vector<std::u16string> CycleTest::Messages() const {
  std::vector<std::u16string> out;
  for (CGCBlock* b : m_program->Blocks())
    if (const auto* m = b->GetMessagesIfAny()) out.insert(out.end(), m->begin(), m->end());
  return out;
}

CGCBlock* CycleTest::BlockOfLine(int line) const {
  CGCBlock* found = nullptr;
  const auto& blocks = m_program->Blocks();
  for (std::size_t i = 1; i < blocks.size(); ++i)  // block 0 is the preamble
    if (blocks[i]->GetLineNumber() == line) found = blocks[i];
  return found;
}

CPoint3d CycleTest::EndOfLine(int line) const {
  CGCBlock* b = BlockOfLine(line);
  CGCInstruction* m = b ? CGCBlock::FindLastMotion(b) : nullptr;
  if (!m) {
    ADD_FAILURE() << "line " << line << " has no motion";
    return CPoint3d();
  }
  return m->GetEndPointInPlane();
}

std::vector<Segment> CycleTest::SegmentsOfLine(int line) {
  PathGroups* groups = m_program->GetCutterPath(false);
  std::vector<Segment> out;
  const auto& blocks = m_program->Blocks();
  CGCBlock* target = BlockOfLine(line);
  for (std::size_t b = 0; b < blocks.size() && b < groups->size(); ++b) {
    if (blocks[b] != target) continue;
    for (CPathPolyline* p : (*groups)[b])
      for (int i = 0; i + 1 < p->PointCount(); ++i) out.push_back({p->Point(i), p->Point(i + 1), p->m_style});
  }
  return out;
}

std::size_t CycleTest::PathBlockCount() { return m_program->GetCutterPath(false)->size(); }

std::vector<Record> CycleTest::RecordsOfLine(int line) {
  std::vector<Record> all;
  g_records = &all;
  Lib().command = &CollectRecord;
  m_program->AutoRun();
  Lib().command = nullptr;
  g_records = nullptr;
  std::vector<Record> out;
  for (const Record& r : all)
    if ((line < 0 || r.line == line) && r.kind < 19) out.push_back(r);
  return out;
}

void CycleTest::SetWorkOffset(int row, double x, double y, double z) {
  Lib().tables.coord->SetValue(row, 0, x);
  Lib().tables.coord->SetValue(row, 1, y);
  Lib().tables.coord->SetValue(row, 2, z);
}

}  // namespace quillet::test
