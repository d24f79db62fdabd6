// Compensated programs parsed with the shipped rule files and data tables
// copied into a scratch folder; the drawn polylines and the simulated
// command reports are read back per program line.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "mod_gcode/GCCode/Program.h"

namespace quillet::test {

// Expects a point within 1e-9 of (x, y, z).
inline void ExpectPoint(const CPoint3d& p, double x, double y, double z) {
  EXPECT_NEAR(p.x, x, 1e-9);
  EXPECT_NEAR(p.y, y, 1e-9);
  EXPECT_NEAR(p.z, z, 1e-9);
}
inline void ExpectPoint(const CPoint3d& p, const CPoint3d& q) { ExpectPoint(p, q.x, q.y, q.z); }

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

class CompTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  // Parses `text` into a fresh program (start point 0, 0, 0).
  CGCProgramPath& Parse(const std::u16string& text);
  // Parses, builds the path and runs the simulation.
  void Run(const std::u16string& text);
  // All messages of all blocks, in order.
  std::vector<std::u16string> Messages() const;
  // The polylines drawn for program line `line` (empty when none).
  std::vector<const CPathPolyline*> PathOfLine(int line) const;
  // The points of the one polyline drawn for `line`.
  std::vector<CPoint3d> PointsOfLine(int line) const;
  // The motion reports of `line` (kinds 1 to 4), in order.
  std::vector<Report> ReportsOfLine(int line) const;
  // Cutter radius `radius` for D number `row`, split over the two columns
  // the table sums and halves.
  void SetCutterRadius(int row, double radius);

  std::unique_ptr<CGCProgramPath> m_program;
  PathGroups* m_paths = nullptr;
  static std::vector<Report> s_reports;
  static std::string s_folder;
};

}  // namespace quillet::test
