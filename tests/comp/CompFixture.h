// A compensated program through a real parse, with its drawn path and the
// positions of its motion reports, and the view of each working plane
// (its axis letters right and up and their centre letters).
#pragma once
#include <map>
#include <string>
#include <vector>

#include "ProgramFixture.h"
#include "mod_gcode/export/LibraryState.h"

namespace quillet::test {

// The positions of the motion reports (kinds 1 to 4) of each line.
inline std::map<int, std::vector<CPoint3d>> g_reports;

inline int CollectMotion(int* line, short* kind, double*, double*, double*, double* x, double* y, double* z, double*,
                  double*, double*, double*, double*, double*, double*) {
  if (*kind >= 1 && *kind <= 4) g_reports[*line].push_back({*x, *y, *z});
  return 1;
}

class CompTest : public ProgramTest {
 protected:
  // Parses with the cutter radius for D1 (columns 2 and 3 are summed and
  // halved), builds the path and runs the simulation.
  void Run(const std::u16string& text, double radius = 2.0) {
    SetToolOffset(1, 2, 1.5 * radius);
    SetToolOffset(1, 3, 0.5 * radius);
    Parse(text);
    m_paths = m_program->GetCutterPath(false);
    g_reports.clear();
    Lib().command = &CollectMotion;
    m_program->AutoRun();
  }
  // The points of the one polyline drawn for a line.
  std::vector<CPoint3d> PointsOfLine(int line, CPathStyle* style = nullptr) const {
    const CPathList* list = ListOfLine(*m_paths, line);
    EXPECT_TRUE(list && list->size() == 1) << "line " << line;
    if (!list || list->size() != 1) return {};
    if (style) *style = (*list)[0]->Style();
    return {(*list)[0]->begin(), (*list)[0]->end()};
  }
  // Every drawn point is finite and inside the box.
  void ExpectPathWithin(double x0, double x1, double y0, double y1, double z0, double z1) const {
    for (const CPathList& list : *m_paths)
      for (const CPathPolyline* p : list)
        for (const CPoint3d& q : *p)
          ASSERT_TRUE(q.x >= x0 && q.x <= x1 && q.y >= y0 && q.y <= y1 && q.z >= z0 && q.z <= z1)
              << q.x << ", " << q.y << ", " << q.z;
  }
  PathGroups* m_paths = nullptr;
};

// The code, the axis letters right and up, and their centre letters.
struct Plane { const char16_t* code; char16_t h, v, hc, vc; };
inline const Plane kPlanes[] = {{u"G17", u'X', u'Y', u'I', u'J'}, {u"G18", u'Z', u'X', u'K', u'I'}, {u"G19", u'Y', u'Z', u'J', u'K'}};

}  // namespace quillet::test
