// Parses NC texts with the shipped rule files, cycle scripts and data tables
// (copied into a scratch folder) and collects what the host would receive:
// the drawn segments of a line and the simulated command records.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ProgramFixture.h"

namespace quillet::test {

struct Segment {
  CPoint3d from;
  CPoint3d to;
  CPathStyle style;
};

struct Record {
  int line = 0;
  short kind = 0;
  CPoint3d value;
  CPoint3d position;
  double i = 0, j = 0, k = 0, r = 0, p = 0, q = 0, feed = 0;
};

class CycleTest : public ProgramTest {
 protected:
  // Builds the tool path and returns the segments drawn for a line (every
  // polyline of the block, point to point).
  std::vector<Segment> SegmentsOfLine(int line);
  // Number of blocks that got a path list (the path stops after a block
  // with messages).
  std::size_t PathBlockCount();
  // Simulates the program and returns the records of one line (all lines
  // for -1), leaving out the modal-state kinds 19 and above.
  std::vector<Record> RecordsOfLine(int line);
};

// Expects the segments to run through the given points in order: segment i
// from points[i] to points[i + 1].
void ExpectChain(const std::vector<Segment>& segs, const std::vector<CPoint3d>& points);

}  // namespace quillet::test
