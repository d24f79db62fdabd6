// Times one block of many words under cutter compensation: a program
// "G41 D1" then one line of N "G01 X1 Y2 Z3" groups, through the Code_
// calls the viewer makes: the parse, the commanded path, and the buffer's
// formatted table of the same text. Usage: many_words_bench [--compact |
// --lines] [N ...] (default 5000 10000 20000; --compact writes the words
// without blanks, --lines puts each group on a line of its own); each time
// should grow with N, not N squared.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "mod_gcode/export/Quillet.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace {

int OnCommand(int*, short*, double*, double*, double*, double*, double*, double*, double*, double*, double*, double*,
              double*, double*, double*) {
  return 1;
}
long g_messages = 0;
void OnMessage(char16_t*, int*, int*, char16_t*) { ++g_messages; }
void OnTool(unsigned char*, double* a, double* b, double* c) { *a = *b = *c = 0; }

double Since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<long> sizes;
  bool compact = false;  // --compact: the words without blanks between them
  bool lines = false;    // --lines: each group on a line of its own
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--compact") compact = true;
    else if (std::string(argv[i]) == "--lines") lines = true;
    else sizes.push_back(std::atol(argv[i]));
  }
  if (sizes.empty()) sizes = {5000, 10000, 20000};
  short mode = 1;
  int language = 1;
  Code_Initialize(&mode, OnCommand, OnMessage, 0, OnTool, &language);
  std::u16string folder = plat::Utf8ToWide(plat::ExeDir()), system = u"fanuc";
  Code_SwitchData(folder.data(), system.data());
  std::u16string mainRules = u"coderule\\fanuc.cmt", macroRules = u"coderule\\fanuc_macro.cmt";
  Code_SwitchRule(mainRules.data(), macroRules.data());
  // A cutter of diameter 4 for D1 (not stored: the table is read back as it was).
  unsigned kind = 0;
  int row = 1, col = 2;
  double diameter = 4.0, before = Code_GetDataValue(&kind, &row, &col);
  Code_SetData(&kind, &row, &col, &diameter);
  std::printf("%8s %10s %12s %12s\n", "words", "parse s", "commanded s", "formatted s");
  for (long n : sizes) {
    std::u16string text = u"G90 G17 G00 X0 Y0 Z0\nG41 D1 ";
    for (long i = 0; i < n; ++i) text += compact ? u"G01X1Y2Z3" : lines ? u"G01 X1 Y2 Z3\n" : u"G01 X1 Y2 Z3 ";
    text += u"\nG40 G00 X0 Y0\nM30\n";
    int start = 0;
    double x = 0, y = 0, z = 0;
    std::u16string name = u"O0001";
    auto t = std::chrono::steady_clock::now();
    Code_ParsingFromBuffer(&start, text.data(), folder.data(), name.data(), &x, &y, &z);
    const double parse = Since(t);
    t = std::chrono::steady_clock::now();
    Code_CutterPath_Commonded();
    const double commanded = Since(t);
    // The buffer reads the program from its file, as the viewer opens it.
    const std::string file = "/tmp/many_words_bench.nc";
    if (FILE* f = std::fopen(file.c_str(), "wb")) {
      for (char16_t c : text) std::fputc(static_cast<char>(c), f);
      std::fclose(f);
    }
    int id = 1;
    char setPath = 1;
    std::u16string path = plat::Utf8ToWide(file);
    t = std::chrono::steady_clock::now();
    Code_CreateBuffer(&id, path.data(), nullptr, &setPath);
    Code_GetFormatedStr(&id);
    const double formatted = Since(t);
    std::remove(file.c_str());
    std::printf("%8ld %10.3f %12.3f %12.3f\n", n, parse, commanded, formatted);
  }
  Code_SetData(&kind, &row, &col, &before);
  Code_Uninitialize();
  return 0;
}
