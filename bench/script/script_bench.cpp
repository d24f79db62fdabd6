// Reads an oversized canned-cycle script: the shipped G81 script repeated
// until the text reaches the size asked for (8.5 MB when none is given),
// and prints the reading time and the actions read. Reading must grow in
// proportion to the text.
//   script_bench [megabytes]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mod_gcode/instructions/Script.h"

int main(int argc, char** argv) {
  const double megabytes = argc > 1 ? std::atof(argv[1]) : 8.5;
  const std::u16string block =
      u"action={\r\ninfo={type=0,name=drill}\r\nsubact={name=positioning,type=0}\r\n"
      u"subact={name=move2r,type=0}\r\nsubact={name=machiningHoleQOffset,type=0}\r\n"
      u"subact={name=return2R,type=0}\r\n}\r\n";
  std::u16string text;
  const std::size_t bytes = static_cast<std::size_t>(megabytes * 1024 * 1024);
  while (text.size() < bytes) text += block;  // one byte a character in the file
  const auto start = std::chrono::steady_clock::now();
  quillet::CScript script = quillet::CScript::FromText(text);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.1f MB script: %zu actions read in %.3f s\n", text.size() / 1048576.0, script.Actions().size(),
              seconds);
  return script.Actions().size() == text.size() / block.size() ? 0 : 1;
}
