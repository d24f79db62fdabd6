// Writes the benchmark's surfacing program (see SurfaceProgram.h).
//
//   gen_surface <lines> <output.nc>
#include <cstdio>
#include <cstdlib>

#include "bench/core/SurfaceProgram.h"
#include "platform/Files.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: gen_surface <lines> <output.nc>\n");
    return 2;
  }
  long lines = std::strtol(argv[1], nullptr, 10);
  if (!plat::WriteFileAtomic(argv[2], quillet::bench::MakeSurfacingProgram(lines < 0 ? 0 : static_cast<std::size_t>(lines)))) {
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
