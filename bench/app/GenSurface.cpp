#include "bench/app/GenSurface.h"

#include <cmath>

#include "platform/Numbers.h"

namespace ravik::bench {
namespace {

double Surface(double x, double y) { return 5.0 * std::sin(x * 0.05) * std::cos(y * 0.04) - 2.0; }

void Line(std::string& out, const char* head, double x, double y, double z) {
  out += head;
  out += " X";
  out += plat::FormatFixed(x, 4);
  out += " Y";
  out += plat::FormatFixed(y, 4);
  out += " Z";
  out += plat::FormatFixed(z, 4);
  out += "\r\n";
}

}  // namespace

std::string MakeSurfacingProgram(std::size_t lines) {
  std::string out;
  out.reserve(lines * 34);
  out += "%\r\nO2000 (SURFACING)\r\nG90 G17 G21 G40 G49 G80\r\nG54 G00 X0. Y0. S8000 M03\r\nZ10.\r\nG01 Z-2. F1500\r\n";
  const std::size_t rows = 1000;
  const std::size_t body = lines > 10 ? lines - 10 : 1;
  const std::size_t perRow = body / rows > 2 ? body / rows - 2 : 1;
  const double width = 300.0, step = 0.5;
  for (std::size_t r = 0; r < rows; ++r) {
    const double y = static_cast<double>(r) * step;
    const bool forward = r % 2 == 0;
    for (std::size_t i = 1; i <= perRow; ++i) {
      double t = width * static_cast<double>(i) / static_cast<double>(perRow);
      double x = forward ? t : width - t;
      Line(out, "G01", x, y, Surface(x, y));
    }
    if (r + 1 < rows) {
      // Half circle of radius step / 2 to the next row, at the row end's height.
      const double x = forward ? width : 0.0;
      const double ny = y + step;
      out += forward ? "G03" : "G02";
      out += " X";
      out += plat::FormatFixed(x, 4);
      out += " Y";
      out += plat::FormatFixed(ny, 4);
      out += " R";
      out += plat::FormatFixed(step / 2, 4);
      out += "\r\n";
      Line(out, "G01", x, ny, Surface(x, ny));
    }
  }
  out += "G00 Z10.\r\nM05\r\nM30\r\n%\r\n";
  return out;
}

}  // namespace ravik::bench
