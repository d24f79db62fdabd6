// Runs NC programs through the library the way the viewer does and prints
// each stage's wall time, lines per second and the peak resident memory.
//
//   quillet_bench <program.nc> [--repeat N]
//   quillet_bench --lines 1000000,10000000 [--repeat N]
//   quillet_bench --loops
//
// Stages: reading and widening the file, Code_ParsingFromBuffer,
// Code_CutterPath and Code_AutoRun (with a callback that counts records).
//
// With --lines the bench makes the surfacing program of each line count
// itself (see SurfaceProgram.h), runs each size in a process of its own (so
// each has its own peak) and ends with a table of the sizes side by side,
// each stage's time relative to the first size, and the bytes per line the
// library holds beyond the caller's UTF-16 text. With --repeat the sizes
// run N rounds (each size once a round) and the table shows each stage's
// median time.
//
// With --loops the bench runs programs that loop without end (or nearly):
// over lines, arcs, compensated arcs, canned cycles, sub-program and modal
// macro calls, long blocks. Each runs in a process of its own, one after
// the other, and the bench prints its peak resident memory, its time
// (parse, path and simulation) and the message it ended with.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/core/SurfaceProgram.h"
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
std::string g_firstMessage;
void OnMessage(char16_t*, int*, int*, char16_t* text) {
  if (g_messages++ == 0 && text) g_firstMessage = plat::WideToUtf8(text);
}

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
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double PeakMegabytes() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_maxrss) / 1024.0;
}

// The figures of one run.
struct Figures {
  long lines = 0;
  double widen = 0, parse = 0, path = 0, run = 0;
  double rssText = 0, peak = 0;
};

void Initialize() {
  short mode = 1;
  int language = 1;
  Code_Initialize(&mode, OnCommand, OnMessage, 0, OnTool, &language);
  std::u16string folder = plat::Utf8ToWide(plat::ExeDir());
  std::u16string system = u"fanuc";
  Code_SwitchData(folder.data(), system.data());
  std::u16string mainRules = u"coderule\\fanuc.cmt", macroRules = u"coderule\\fanuc_macro.cmt";
  Code_SwitchRule(mainRules.data(), macroRules.data());
}

// Runs the three stages over `text` and prints them.
Figures RunStages(std::u16string& text, double widenSeconds, int round) {
  Figures f;
  f.widen = widenSeconds;
  f.lines = 1;
  for (char16_t c : text) f.lines += c == u'\n';
  f.rssText = CurrentMegabytes();

  int start = 0;
  double x = 0, y = 0, z = 0;
  double t1 = Now();
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
  // The simulation is short (about 20 ms a million lines), so one run is
  // mostly timer and scheduler noise: it runs five times, and its figure is
  // the median.
  std::vector<double> runs;
  for (int i = 0; i < 5; ++i) {
    g_records = 0;
    double t4 = Now();
    Code_AutoRun();
    runs.push_back(Now() - t4);
  }
  std::sort(runs.begin(), runs.end());
  f.parse = t2 - t1;
  f.path = t3 - t2;
  f.run = runs[runs.size() / 2];
  f.peak = PeakMegabytes();

  const double lines = static_cast<double>(f.lines);
  std::printf("round %d: %ld lines, %zu lists, %ld polylines, %ld points, %ld records, %ld messages\n", round,
              f.lines, groups ? groups->size() : 0, polylines, points, g_records, g_messages);
  std::printf("  read+widen   %8.3f s\n", f.widen);
  std::printf("  parse        %8.3f s  (%.2f M lines/s)\n", f.parse, lines / f.parse / 1e6);
  std::printf("  cutter path  %8.3f s\n", f.path);
  std::printf("  auto run     %8.3f s\n", f.run);
  std::printf("  three stages %8.3f s  (%.2f M lines/s)\n", f.parse + f.path + f.run,
              lines / (f.parse + f.path + f.run) / 1e6);
  std::printf("  resident     %8.1f MB with the text, %.1f MB parsed, %.1f MB with the path\n", f.rssText, rssParsed,
              rssPath);
  std::printf("  peak RSS     %8.1f MB\n", f.peak);
  std::fflush(stdout);
  return f;
}

int RunFile(const char* path, int repeat) {
  Initialize();
  for (int round = 0; round < repeat; ++round) {
    double t0 = Now();
    auto bytes = plat::ReadFileBytes(path);
    if (!bytes) {
      std::fprintf(stderr, "cannot read %s\n", path);
      return 1;
    }
    std::u16string text = plat::AnsiToWideString(*bytes);
    bytes.reset();
    RunStages(text, Now() - t0, round + 1);
  }
  Code_Uninitialize();
  return 0;
}

// One size in a child process; its figures come back through a pipe.
bool RunSize(long lines, Figures& out) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    close(fds[0]);
    Initialize();
    double t0 = Now();
    std::u16string text;
    {
      std::string program = quillet::bench::MakeSurfacingProgram(static_cast<std::size_t>(lines));
      text = plat::AnsiToWideString(program);
    }
    Figures f = RunStages(text, Now() - t0, 1);
    Code_Uninitialize();
    bool ok = write(fds[1], &f, sizeof f) == static_cast<ssize_t>(sizeof f);
    close(fds[1]);
    std::fflush(stdout);
    _exit(ok ? 0 : 1);
  }
  close(fds[1]);
  bool ok = read(fds[0], &out, sizeof out) == static_cast<ssize_t>(sizeof out);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The figures of several runs of one size: each stage's median time (one
// slow or lucky run on a busy machine does not move it) and the largest
// peak.
Figures Median(const std::vector<Figures>& runs) {
  auto median = [&](double Figures::*field) {
    std::vector<double> v;
    for (const Figures& f : runs) v.push_back(f.*field);
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2.0;
  };
  Figures out = runs.front();
  out.widen = median(&Figures::widen);
  out.parse = median(&Figures::parse);
  out.path = median(&Figures::path);
  out.run = median(&Figures::run);
  out.rssText = median(&Figures::rssText);
  for (const Figures& f : runs) out.peak = std::max(out.peak, f.peak);
  return out;
}

int RunSizes(const char* list, int repeat) {
  std::vector<long> sizes;
  for (const char* p = list; *p;) {
    char* end = nullptr;
    long n = std::strtol(p, &end, 10);
    if (end == p || n < 20) {
      std::fprintf(stderr, "--lines wants line counts of 20 or more, separated by commas\n");
      return 2;
    }
    sizes.push_back(n);
    p = *end == ',' ? end + 1 : end;
    if (*end && *end != ',') {
      std::fprintf(stderr, "--lines wants line counts of 20 or more, separated by commas\n");
      return 2;
    }
  }
  // Round by round, every size in each round, so that a slow spell of the
  // machine falls on all sizes alike.
  std::vector<std::vector<Figures>> runs(sizes.size());
  for (int round = 0; round < repeat; ++round)
    for (std::size_t i = 0; i < sizes.size(); ++i) {
      Figures f;
      if (!RunSize(sizes[i], f)) {
        std::fprintf(stderr, "the run of %ld lines failed\n", sizes[i]);
        return 1;
      }
      runs[i].push_back(f);
    }
  std::vector<Figures> figures;
  for (const std::vector<Figures>& r : runs) figures.push_back(Median(r));
  const Figures& base = figures.front();
  std::printf("\n%-24s", "lines");
  for (const Figures& f : figures) std::printf(" %12ld", f.lines);
  std::printf("\n");
  auto row = [&](const char* name, double Figures::*field, const char* unit) {
    std::printf("%-24s", name);
    for (const Figures& f : figures) std::printf(" %10.3f %s", f.*field, unit);
    std::printf("\n");
    if (figures.size() < 2) return;
    std::printf("%-24s", "  x first size");
    for (const Figures& f : figures) std::printf(" %11.2fx", base.*field > 0 ? f.*field / base.*field : 0.0);
    std::printf("  (lines x%.2f)\n", static_cast<double>(figures.back().lines) / static_cast<double>(base.lines));
  };
  row("parse", &Figures::parse, "s");
  row("cutter path", &Figures::path, "s");
  row("auto run", &Figures::run, "s");
  std::printf("%-24s", "peak RSS");
  for (const Figures& f : figures) std::printf(" %9.1f MB", f.peak);
  std::printf("\n%-24s", "text (UTF-16) resident");
  for (const Figures& f : figures) std::printf(" %9.1f MB", f.rssText);
  std::printf("\n%-24s", "bytes/line beyond text");
  for (const Figures& f : figures)
    std::printf(" %12.1f", (f.peak - f.rssText) * 1024.0 * 1024.0 / static_cast<double>(f.lines));
  std::printf("\n");
  return 0;
}

// A program of the loop table: its text and the sub-program files beside it.
struct LoopProgram {
  const char* name;
  std::string text;
  std::vector<std::pair<std::string, std::string>> files;
  double cutterDiameter = 0.0;  // D1, 0: none
};

std::string Repeat(const std::string& part, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += part;
  return out;
}

std::vector<LoopProgram> LoopPrograms() {
  std::string small;
  for (int i = 0; i < 5000; ++i) small += i % 2 ? "X-0.001 Y0.001\n" : "X0.001 Y-0.001\n";
  std::vector<LoopProgram> p;
  p.push_back({"line loop", "N10 G00 X1\nGOTO 10\n", {}});
  p.push_back({"incremental line loop", "G91 G01 F100\nN10 X0.001\nGOTO 10\n", {}});
  p.push_back({"arc loop", "G01 X0 Y0 F100\nN10 G02 X0 Y0 I10 J0\nGOTO 10\n", {}});
  // Compensation that starts on the arc (an error), and one that starts on a line.
  p.push_back({"compensated arc loop", "G41 D1 G01 X0 Y0 F100\nN10 G02 X0 Y0 I10 J0\nGOTO 10\n", {}, 4.0});
  p.push_back({"compensated arc loop, started on a line", "G41 D1 G01 X0 Y-1 F100\nN10 G02 X0 Y-1 I10 J0\nGOTO 10\n",
               {}, 4.0});
  p.push_back({"drilling cycle loop", "N10 G99 G81 X1 Y0 Z-5 R2 F100\nGOTO 10\n", {}});
  p.push_back({"peck cycle WHILE loop", "WHILE [1 LT 2] DO1\nG99 G83 X1 Y0 Z-5 R2 Q0.5 F100\nEND1\n", {}});
  p.push_back({"call loop", "N10 M98 P7010\nGOTO 10\n", {{"O7010.nc", "G91 G01 X0.001 F100\nM99\n"}}});
  p.push_back({"G66 call loop", "G66 P7010\nN10 G91 G01 X0.001 F100\nGOTO 10\n",
               {{"O7010.nc", "G91 G01 Y0.001 F100\nM99\n"}}});
  p.push_back({"macro: division by zero, then an endless WHILE",
               "#1=#2/#3\n#4=0\nWHILE [#4 LT 1] DO1\nG91 G01 X0.001 F100\nEND1\nM30\n", {}});
  p.push_back({"M98 L9999 of 5,000 lines", "G91 G01 F100\nM98 P1000 L9999\n", {{"O1000.nc", small + "M99\n"}}});
  p.push_back({"M98 L9999 of one 300 KB line", "G91 G01 F100\nM98 P1001 L9999\n",
               {{"O1001.nc", Repeat("X0.001 ", 300 * 1024 / 7) + "\nM99\n"}}});
  p.push_back({"50-word line loop", "G91 G01 F100\nN1 " + Repeat("X0.001 ", 50) + "\nGOTO 1\n", {}});
  p.push_back({"2,000-word line loop", "G91 G01 F100\nN1 " + Repeat("X0.001 ", 2000) + "\nGOTO 1\n", {}});
  p.push_back({"arc call loop", "N10 M98 P7011\nGOTO 10\n",
               {{"O7011.nc", "G02 X0 Y0 I5 J0 F100\nG03 X0 Y0 I-5 J0\nM99\n"}}});
  return p;
}

// Runs one loop program in a process of its own and prints its figures.
bool RunLoop(const LoopProgram& program, const std::string& folder) {
  for (const auto& [name, text] : program.files)
    if (!plat::WriteFileAtomic(folder + "/" + name, text)) return false;
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    Initialize();
    if (program.cutterDiameter > 0) {
      unsigned kind = 0;
      int row = 1, col = 2;
      double value = program.cutterDiameter;
      Code_SetDataValue(&kind, &row, &col, &value);
    }
    std::u16string text = plat::AnsiToWideString("%\nO0001\n" + program.text + "%\n");
    std::u16string wideFolder = plat::Utf8ToWide(folder), name = u"O0001";
    int start = 0;
    double x = 0, y = 0, z = 0;
    g_records = 0;
    const double t0 = Now();
    Code_ParsingFromBuffer(&start, text.data(), wideFolder.data(), name.data(), &x, &y, &z);
    const double t1 = Now();
    quillet::PathGroups* groups = Code_CutterPath();
    const double t2 = Now();
    Code_AutoRun();
    const double t3 = Now();
    long points = 0;
    if (groups)
      for (const auto& list : *groups)
        for (const quillet::CPathPolyline* p : list) points += p->PointCount();
    std::printf("%-48s %8.0f MB %7.2f s (%.2f + %.2f + %.2f) %10ld points %10ld records%s\n    %s\n", program.name,
                PeakMegabytes(), t3 - t0, t1 - t0, t2 - t1, t3 - t2, points, g_records, groups ? "" : " NO PATH",
                g_firstMessage.empty() ? "(no message)" : g_firstMessage.c_str());
    std::fflush(stdout);
    Code_Uninitialize();
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  for (const auto& [name, text] : program.files) std::remove((folder + "/" + name).c_str());
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::printf("%-48s ended abnormally (status %d)\n", program.name, status);
  return true;
}

int RunLoops() {
  char folder[] = "/tmp/quillet_loopsXXXXXX";
  if (!mkdtemp(folder)) return 1;
  std::printf("%-48s %11s %s\n", "program", "peak RSS", "time (parse + path + simulation)");
  for (const LoopProgram& p : LoopPrograms())
    if (!RunLoop(p, folder)) std::printf("%s: could not run\n", p.name);
  rmdir(folder);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* usage =
      "usage: quillet_bench <program.nc> [--repeat N]\n       quillet_bench --lines N[,N...] [--repeat N]\n"
      "       quillet_bench --loops\n";
  if (argc < 2) {
    std::fputs(usage, stderr);
    return 2;
  }
  if (argc == 2 && std::strcmp(argv[1], "--loops") == 0) return RunLoops();
  const bool sizes = std::strcmp(argv[1], "--lines") == 0;
  const int first = sizes ? 3 : 2;
  int repeat = 1;
  if (argc != first && !(argc == first + 2 && std::strcmp(argv[first], "--repeat") == 0)) {
    std::fputs(usage, stderr);
    return 2;
  }
  if (argc == first + 2) repeat = std::atoi(argv[first + 1]);
  if (repeat < 1 || repeat > 100) {
    std::fputs("--repeat wants a count from 1 to 100\n", stderr);
    return 2;
  }
  return sizes ? RunSizes(argv[2], repeat) : RunFile(argv[1], repeat);
}
