// Compensated programs parsed with the shipped rule files and data tables
// copied into a scratch folder; the drawn polylines and the simulated
// command reports are read back per program line.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ProgramFixture.h"

namespace quillet::test {

inline bool SameStyle(const CPathStyle& a, const CPathStyle& b) {
  return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a && a.width == b.width && a.kind == b.kind &&
         a.pattern == b.pattern;
}

// One simulated command as the host receives it.
struct Report {
  int line = 0;
  short kind = 0;
  CPoint3d position;
};

class CompTest : public ProgramTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Parses, builds the path and runs the simulation.
  void Run(const std::u16string& text);
  // The polylines drawn for program line `line` (empty when none).
  std::vector<const CPathPolyline*> PathOfLine(int line) const;
  // The points of the one polyline drawn for `line`.
  std::vector<CPoint3d> PointsOfLine(int line) const;
  // The motion reports of `line` (kinds 1 to 4), in order.
  std::vector<Report> ReportsOfLine(int line) const;
  // Cutter radius `radius` for D number `row`, split over the two columns
  // the table sums and halves.
  void SetCutterRadius(int row, double radius);

  PathGroups* m_paths = nullptr;
  static std::vector<Report> s_reports;
};

}  // namespace quillet::test
