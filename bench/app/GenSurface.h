// Writes a surfacing NC program: a zig-zag raster over a wavy surface, one
// "G01 X Y Z" line per point with four decimals, G02/G03 turn-arounds at the
// row ends. Used by the load benchmark.
#pragma once
#include <cstddef>
#include <string>

namespace ravik::bench {

// The program text with about `lines` lines, CR LF line ends.
std::string MakeSurfacingProgram(std::size_t lines);

}  // namespace ravik::bench
