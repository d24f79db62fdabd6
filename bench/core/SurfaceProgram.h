// A CAM-like 3D surfacing program: a zig-zag raster over a wavy surface, one
// G01 X Y Z line per point (X and Y with 3 decimals, Z with 4), with G02/G03
// half-circle turn-arounds at the row ends. Deterministic: the same line
// count always gives the same text. Used by the benchmarks.
#pragma once
#include <cstddef>
#include <string>

namespace quillet::bench {

// The program text with `lines` lines (at least 20), CR LF line ends.
std::string MakeSurfacingProgram(std::size_t lines);

}  // namespace quillet::bench
