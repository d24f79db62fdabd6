// A parse of an NC text with the shipped rule files and the data tables
// copied into a scratch folder, for tests that look inside the interpreter.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "mod_gcode/program/Program.h"

namespace quillet::test {

// Expects a point within 1e-9 of (x, y, z).
void ExpectPoint(const CPoint3d& p, double x, double y, double z, const char* what = "");
inline void ExpectPoint(const CPoint3d& p, const CPoint3d& q) { ExpectPoint(p, q.x, q.y, q.z); }

class ProgramTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  // Parses `text` into a fresh program (start point 0, 0, 0).
  CGCProgramPath& Parse(const std::u16string& text);
  // The same with the program's folder (where its sub-programs are found).
  CGCProgramPath& ParseIn(const std::string& folder, const std::u16string& text);
  // All messages of all blocks, in order.
  std::vector<std::u16string> Messages() const;
  // The block of a line (the last one run for it); null when none.
  CGCBlock* BlockOfLine(int line) const;
  // The machine end point of the last motion of the block of a line.
  CPoint3d EndOfLine(int line) const;
  // The path list of a line in `paths` (built for this program), or null.
  const CPathList* ListOfLine(const PathGroups& paths, int line) const;
  // Writes a work coordinate system row (1 = G54 ...).
  void SetWorkOffset(int row, double x, double y, double z);
  void SetToolOffset(int row, int col, double value);

  std::unique_ptr<CGCProgramPath> m_program;
  // The scratch folder that holds "fanuc/" with the tables.
  static std::string s_folder;
};

}  // namespace quillet::test
