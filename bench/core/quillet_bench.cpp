// Runs one NC file through the library the way the viewer does and prints
// each stage's wall time, lines per second and the peak resident memory.
//
//   quillet_bench <program.nc> [--repeat N]
//
// Stages: reading and widening the file, Code_ParsingFromBuffer,
// Code_CutterPath and Code_AutoRun (with a callback that counts records).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "mod_gcode/export/Quillet.h"
#include "platform/Files.h"
#include "platform/Numbers.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace {

long g_records = 0;

int OnCommand(int*, short*, double*, double*, double*, double*, double*, double*, double*, double*, double*, double*,
              double*, double*, double*) {
  ++g_records;
  return 1;
}

long g_messages = 0;
void OnMessage(char16_t*, int*, int*, char16_t*) { ++g_messages; }

void OnTool(unsigned char*, double* a, double* b, double* c) { *a = *b = *c = 0.0; }

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double CurrentMegabytes() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * 4096.0 / (1024.0 * 1024.0);
}

double PeakMegabytes() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: quillet_bench <program.nc> [--repeat N]\n");
    return 2;
  }
  int repeat = 1;
  for (int i = 2; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--repeat") == 0) repeat = std::atoi(argv[i + 1]);

  short mode = 1;
  int language = 1;
  Code_Initialize(&mode, OnCommand, OnMessage, 0, OnTool, &language);
  std::u16string folder = plat::Utf8ToWide(plat::ExeDir());
  std::u16string system = u"fanuc";
  Code_SwitchData(folder.data(), system.data());
  std::u16string mainRules = u"coderule\\fanuc.cmt", macroRules = u"coderule\\fanuc_macro.cmt";
  Code_SwitchRule(mainRules.data(), macroRules.data());

  for (int round = 0; round < repeat; ++round) {
    double t0 = Now();
    auto bytes = plat::ReadFileBytes(argv[1]);
    if (!bytes) {
      std::fprintf(stderr, "cannot read %s\n", argv[1]);
      return 1;
    }
    std::u16string text = plat::AnsiToWideString(*bytes);
    bytes.reset();
    long lines = 1;
    for (char16_t c : text) lines += c == u'\n';
    double t1 = Now();
    double rssText = CurrentMegabytes();

    int start = 0;
    double x = 0, y = 0, z = 0;
    Code_ParsingFromBuffer(&start, text.data(), nullptr, nullptr, &x, &y, &z);
    double t2 = Now();
    double rssParsed = CurrentMegabytes();
    quillet::PathGroups* groups = Code_CutterPath();
    double t3 = Now();
    double rssPath = CurrentMegabytes();
    long polylines = 0, points = 0;
    if (groups)
      for (const auto& list : *groups)
        for (const quillet::CPathPolyline* p : list) {
          ++polylines;
          points += p->PointCount();
        }
    g_records = 0;
    double t4 = Now();
    Code_AutoRun();
    double t5 = Now();

    double parse = t2 - t1, path = t3 - t2, run = t5 - t4;
    std::printf("round %d: %ld lines, %zu lists, %ld polylines, %ld points, %ld records, %ld messages\n", round + 1,
                lines, groups ? groups->size() : 0, polylines, points, g_records, g_messages);
    std::printf("  read+widen   %8.3f s\n", t1 - t0);
    std::printf("  parse        %8.3f s  (%.2f M lines/s)\n", parse, lines / parse / 1e6);
    std::printf("  cutter path  %8.3f s\n", path);
    std::printf("  auto run     %8.3f s\n", run);
    std::printf("  three stages %8.3f s  (%.2f M lines/s)\n", parse + path + run, lines / (parse + path + run) / 1e6);
    std::printf("  resident     %8.1f MB with the text, %.1f MB parsed, %.1f MB with the path\n", rssText,
                rssParsed, rssPath);
    std::printf("  peak RSS     %8.1f MB\n", PeakMegabytes());
  }
  Code_Uninitialize();
  return 0;
}
