#include "bench/core/SurfaceProgram.h"

#include <cmath>

#include "platform/Numbers.h"

namespace quillet::bench {

namespace {

double Surface(double x, double y) {
  return -3.0 + 1.5 * std::sin(x / 7.0) * std::cos(y / 5.0) + 0.4 * std::sin((x + y) / 3.0);
}

void Append(std::string& out, const std::string& text) {
  out += text;
  out += "\r\n";
}

}  // namespace

std::string MakeSurfacingProgram(std::size_t count) {
  long lines = count < 20 ? 20 : static_cast<long>(count);
  const int perRow = 500;             // points per row
  const double dx = 0.25, dy = 0.5;   // raster steps in mm
  std::string out;
  out.reserve(static_cast<std::size_t>(lines) * 30);
  Append(out, "%");
  Append(out, "O2000 (3D SURFACE FINISHING)");
  Append(out, "(BALL MILL D6, ZIG-ZAG RASTER)");
  Append(out, "G90 G17 G21 G40 G49 G80 G94");
  Append(out, "T1 M06");
  Append(out, "G54 G00 X0. Y0. S8000 M03");
  Append(out, "G43 H1 Z10. M08");
  const long body = lines - 7 - 4;
  int row = 0;
  long n = 0;
  bool first = true;
  while (n < body) {
    double y = row * dy;
    bool forward = row % 2 == 0;
    for (int i = 0; i < perRow && n < body; ++i) {
      int k = forward ? i : perRow - 1 - i;
      double x = k * dx;
      std::string line = first ? "G01 " : "";
      line += "X" + plat::FormatFixed(x, 3) + " Y" + plat::FormatFixed(y, 3) + " Z" + plat::FormatFixed(Surface(x, y), 4);
      if (first) line += " F2500.";
      first = false;
      Append(out, line);
      ++n;
    }
    if (n >= body) break;
    // Turn-around: half circle to the next row at the row's end height.
    double xEnd = forward ? (perRow - 1) * dx : 0.0;
    double yNext = (row + 1) * dy;
    std::string turn = forward ? "G03 X" : "G02 X";
    turn += plat::FormatFixed(xEnd, 3) + " Y" + plat::FormatFixed(yNext, 3) + " R" + plat::FormatFixed(dy / 2, 3);
    Append(out, turn);
    Append(out, "G01");
    n += 2;
    ++row;
  }
  Append(out, "G00 Z10.");
  Append(out, "M05 M09");
  Append(out, "M30");
  Append(out, "%");
  return out;
}

}  // namespace quillet::bench
