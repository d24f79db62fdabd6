#include "CycleFixture.h"

#include "mod_gcode/export/LibraryState.h"

namespace quillet::test {

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

void ExpectChain(const std::vector<Segment>& segs, const std::vector<CPoint3d>& points) {
  ASSERT_EQ(segs.size() + 1, points.size());
  for (std::size_t s = 0; s < segs.size(); ++s) {
    SCOPED_TRACE("segment " + std::to_string(s));
    ExpectPoint(segs[s].from, points[s].x, points[s].y, points[s].z, "from");
    ExpectPoint(segs[s].to, points[s + 1].x, points[s + 1].y, points[s + 1].z, "to");
  }
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

}  // namespace quillet::test
