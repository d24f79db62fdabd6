// Every allocation of an export call fails in turn: the call, run in a child
// process, must end without a crash and without an exception out of the
// library, with a block message or a failure result (or, where the failure
// was absorbed, with the same result as an undisturbed call), with the data
// files and program files byte for byte as they were, and with the library
// still parsing the next program right.
//
// The normal run tries an even sample of the failure points of each call
// (about 60), a sanitizer build about 200; QUILLET_ALLOC_SWEEP=1 tries every
// one (some minutes: reading the 6,000 variables alone allocates 6,000
// times). QUILLET_ALLOC_ONLY=n tries only the n-th (to look at one finding).
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/alloc/FailingNew.h"
#include "tests/api/ApiHarness.h"
#include "platform/Host.h"
#include "tests/support/Sanitized.h"
#include "tests/support/ScratchFolder.h"

namespace apitest {
namespace {

using quillet::test::ReadBytes;
using quillet::test::ScratchFolder;
using quillet::test::kSanitized;
using quillet::test::WriteBytes;
namespace fs = std::filesystem;

constexpr long kSampled = kSanitized ? 200 : 60;

bool EveryPoint() {
  const char* sweep = std::getenv("QUILLET_ALLOC_SWEEP");
  return sweep && *sweep && *sweep != '0';
}

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

std::string MessageLines() {
  std::string out;
  for (const Message& m : Log().messages) out += std::to_string(m.line) + ": " + Narrow(m.text) + "\n";
  return out;
}

bool ToldOutOfMemory() {
  for (const Message& m : Log().messages)
    if (Narrow(m.text).find("Not enough memory") != std::string::npos) return true;
  return false;
}

// What a path shows: per list its polylines' point counts and last points,
// then the messages.
std::string Describe(const PathGroups* paths) {
  if (!paths) return "no path\n";
  std::string out;
  for (std::size_t i = 0; i < paths->size(); ++i) {
    out += std::to_string(i) + ":";
    for (const CPathPolyline* p : (*paths)[i]) {
      out += " " + std::to_string(p->PointCount());
      if (p->PointCount() > 0) {
        const CPoint3d e = p->Point(p->PointCount() - 1);
        out += "(" + std::to_string(e.x) + "," + std::to_string(e.y) + "," + std::to_string(e.z) + ")";
      }
    }
    out += "\n";
  }
  return out + MessageLines();
}

// Every file under a folder with its bytes.
std::string Snapshot(const std::string& folder) {
  std::string out;
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  for (const fs::path& f : files) out += f.string() + "\n" + ReadBytes(f.string()) + "\n";
  return out;
}

struct ChildEnd {
  bool normal = false;
  int status = 0;
  std::string output;
};

// Runs `body` in a child process and returns what it wrote.
ChildEnd InChild(const std::function<std::string()>& body) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    std::string out;
    try {
      out = body();
    } catch (...) {
      alloctest::Disarm();
      ::_exit(2);  // an exception out of the library
    }
    std::size_t done = 0;
    while (done < out.size()) {
      const ssize_t n = ::write(fds[1], out.data() + done, out.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    ::_exit(0);
  }
  ::close(fds[1]);
  ChildEnd end;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) end.output.append(buffer, static_cast<std::size_t>(n));
  ::close(fds[0]);
  ::waitpid(pid, &end.status, 0);
  end.normal = WIFEXITED(end.status) && WEXITSTATUS(end.status) == 0;
  return end;
}

const char* kCompensatedCalls =
    "G90 G17 G00 X0 Y-10 Z0\n"
    "G41 D1 G01 X10 Y0 F100\n"
    "M98 P1000 L2\n"
    "G01 X40 Y0\n"
    "G40 G00 X50 Y-10\n"
    "M30\n";
const char* kMacroCallsUnderCompensation =
    "G90 G17 G00 X0 Y-10 Z0\n"
    "G41 D1 G01 X10 Y0 F100\n"
    "G65 P1000 L2 A1\n"
    "G66 P1000\n"
    "G01 X40 Y0\n"
    "G67\n"
    "G40 G00 X50 Y-10\n"
    "M30\n";
const char* kSubProgram =
    "G91 G01 X5 Y5\n"
    "G02 X5 Y-5 R5\n"
    "G90\n"
    "M99\n";
const char* kCycles =
    "G90 G00 X0 Y0 Z10\n"
    "G99 G81 X10 Y0 Z-5 R2 F100\n"
    "X20\n"
    "G80 G00 Z10\n"
    "M30\n";

const char* kEverything =
    "G90 G17 G00 X0 Y-10 Z10\n"
    "G41 D1 G01 X10 Y0 F100\n"
    "M98 P1000\n"
    "G40 G00 X50 Y-10\n"
    "G65 P1000 A1\n"
    "G66 P1000\n"
    "G00 X60\n"
    "G67\n"
    "G99 G81 X10 Y0 Z-5 R2 F100\n"
    "X20\n"
    "G80 G00 Z10\n"
    "M30\n";

// One export call to fail, with what comes before it and what its result
// must be.
struct Scenario {
  const char* name;
  std::function<void()> prepare;   // before the call, nothing failing
  std::function<void()> call;      // the call whose allocations fail
  // After the call, nothing failing: "" when the result is one the call may
  // leave, else what is wrong. `reference` is the same check's description
  // after an undisturbed call; `failed` whether an allocation failed.
  std::function<std::string(const std::string& reference, bool failed, std::string& description)> check;
};

// The harness's host, whose records and messages are kept outside the
// failing allocations.
int Command(int* line, short* kind, double* xv, double* yv, double* zv, double* xp, double* yp, double* zp, double* i,
            double* j, double* k, double* r, double* p, double* q, double* feed) {
  alloctest::Suspend host;
  return CommandCallback(line, kind, xv, yv, zv, xp, yp, zp, i, j, k, r, p, q, feed);
}
void Tell(char16_t* program, int* line, int* sequence, char16_t* text) {
  alloctest::Suspend host;
  MessageCallback(program, line, sequence, text);
}
void Tool(unsigned char* tool, double* first, double* second, double* third) {
  alloctest::Suspend host;
  ToolCallback(tool, first, second, third);
}
class QuietWindow : public plat::MessageTarget {
 public:
  std::intptr_t Send(unsigned message, std::uintptr_t wParam, std::intptr_t) override {
    alloctest::Suspend host;
    Log().window.push_back({message, wParam, false});
    return 0;
  }
  void Post(unsigned message, std::uintptr_t wParam, std::intptr_t) override {
    alloctest::Suspend host;
    Log().window.push_back({message, wParam, true});
  }
};

void Initialize() {
  short mode = 1;
  int language = 1;
  Code_Initialize(&mode, Command, Tell, 0, Tool, &language);
}

class AllocFail : public ApiTest {
 protected:
  void SetUp() override {
    ApiTest::SetUp();
    Initialize();
    plat::ReleaseTarget(windowHandle);
    windowHandle = plat::RegisterTarget(std::make_shared<QuietWindow>());
    Code_SetHWnd(&windowHandle);
    WriteBytes(folder.File("O1000.cnc"), kSubProgram);
    dir = W(folder.Path());
    data = W(dataRoot);
    SetCell(0, 1, 2, 2.0);  // D1: a radius of 1 (D holds a diameter)
    ASSERT_EQ(SwitchData(dataRoot), 0);  // stored: the files hold it now
  }

  // The texts an armed call passes are made before it: only the library's
  // own allocations may fail.
  void ParseText(const char* text) {
    std::u16string& t = texts.at(text);
    int startLine = 0;
    CPoint3d start;
    Code_ParsingFromBuffer(&startLine, t.data(), dir.data(), name.data(), &start.x, &start.y, &start.z);
  }
  void SwitchRules() { Code_SwitchRule(mainRules.data(), macroRules.data()); }
  void SwitchTables() { Code_SwitchData(data.data(), system.data()); }

  std::map<const char*, std::u16string> texts{
      {kCompensatedCalls, W(kCompensatedCalls)}, {kCycles, W(kCycles)}, {kEverything, W(kEverything)},
      {kMacroCallsUnderCompensation, W(kMacroCallsUnderCompensation)}};
  std::u16string dir, name = u"O1234", data, system = u"fanuc";
  std::u16string mainRules = u"coderule\\fanuc.cmt", macroRules = u"coderule\\fanuc_macro.cmt";

  // The next parse after the failure draws its two moves right.
  static std::string NextParseWorks(AllocFail& self) {
    Log().Clear();
    PathGroups* paths = self.ParseIn(self.folder.Path(), u"G00 X1 Y2 Z3\nG01 X4 F100\n");
    if (paths && paths->size() == 4u && (*paths)[2].size() == 1u && (*paths)[2][0]->PointCount() == 2) {
      const CPoint3d p = (*paths)[2][0]->Point(1);
      if (p.x == 4 && p.y == 2 && p.z == 3 && Log().messages.empty()) return "";
    }
    return "the next parse is wrong:\n" + Describe(paths);
  }

  // Runs every failure point (or a sample) of a scenario, in single and in
  // lasting failures.
  void Sweep(const Scenario& s) {
    const std::string files = Snapshot(dataRoot) + Snapshot(folder.Path());
    // The undisturbed call: how many allocations it makes and its result.
    ChildEnd counted = InChild([&] {
      s.prepare();
      alloctest::Arm(0, false);
      s.call();
      const long count = alloctest::Disarm();
      std::string description;
      const std::string problem = s.check("", false, description);
      return std::to_string(count) + "\n" + problem + "\x01" + description;
    });
    ASSERT_TRUE(counted.normal) << s.name << ": undisturbed call, wait status " << counted.status;
    const std::size_t split = counted.output.find('\x01');
    ASSERT_NE(split, std::string::npos) << counted.output;
    const long count = std::stol(counted.output);
    const std::string reference = counted.output.substr(split + 1);
    ASSERT_EQ(counted.output.substr(counted.output.find('\n') + 1, split - counted.output.find('\n') - 1), "")
        << s.name << ": the undisturbed call";
    if (count == 0) std::printf("%s: no allocation\n", s.name);
    const long only = std::getenv("QUILLET_ALLOC_ONLY") ? std::atol(std::getenv("QUILLET_ALLOC_ONLY")) : 0;
    const long step = EveryPoint() || only > 0 ? 1 : std::max(1L, count / kSampled);
    int failures = 0;
    for (bool keepFailing : {false, true}) {
      for (long n = 1; n <= count && failures < 5; n += step) {
        if (only > 0 && n != only) continue;
        ChildEnd end = InChild([&] {
          s.prepare();
          alloctest::Arm(n, keepFailing);
          s.call();
          alloctest::Disarm();
          const bool failed = alloctest::Failed();
          std::string description;
          std::string problem = s.check(reference, failed, description);
          if (problem.empty()) problem = NextParseWorks(*this);
          if (problem.empty() && Snapshot(dataRoot) + Snapshot(folder.Path()) != files) problem = "files changed";
          return problem;
        });
        const std::string where = std::string(s.name) + ", allocation " + std::to_string(n) + " of " +
                                  std::to_string(count) + (keepFailing ? " and after" : "");
        if (!end.normal || !end.output.empty()) ++failures;
        EXPECT_TRUE(end.normal) << where << ": wait status " << end.status;
        EXPECT_EQ(end.output, "") << where;
      }
    }
  }

  // A parse result after a failure: the undisturbed one, none, or a path
  // whose messages say that memory ran out.
  std::string PathResult(PathGroups* paths, const std::string& reference, bool failed, std::string& description) {
    description = Describe(paths);
    if (reference.empty()) return "";  // the undisturbed call describes itself
    if (!failed || description == reference) return description == reference ? "" : "changed without a failure";
    if (!paths || ToldOutOfMemory()) return "";
    return "a truncated path without its reason:\n" + description;
  }

  ScratchFolder folder;
};

TEST_F(AllocFail, ParseWithCallsUnderCompensation) {
  for (const char* program : {kCompensatedCalls, kMacroCallsUnderCompensation}) {
    Sweep({program == kCompensatedCalls ? "parse with M98" : "parse with G65 and G66", [] {},
           [&] { ParseText(program); },
           [&](const std::string& reference, bool failed, std::string& description) {
             Log().Clear();
             return PathResult(Code_CutterPath(), reference, failed, description);
           }});
  }
}

TEST_F(AllocFail, CutterPath) {
  PathGroups* built = nullptr;
  Sweep({"cutter path", [&] { ParseText(kCompensatedCalls); },
         [&] {
           Log().Clear();
           built = Code_CutterPath();
         },
         [&](const std::string& reference, bool failed, std::string& description) {
           // The failed build gives no path or says why it is short; the
           // next build gives the whole path again.
           std::string problem = PathResult(built, reference, failed, description);
           if (!problem.empty()) return problem;
           Log().Clear();
           const std::string again = Describe(Code_CutterPath());
           return again == description || again == reference ? "" : "the next build differs:\n" + again;
         }});
}

TEST_F(AllocFail, AutoRun) {
  Sweep({"auto-run",
         [&] {
           ParseText(kEverything);
           Code_CutterPath();
           Log().Clear();
         },
         [] { Code_AutoRun(); },
         [&](const std::string& reference, bool failed, std::string& description) {
           // A run that failed ends without the closing record; one that did
           // not fail delivers every record. The next run is whole.
           auto records = [] {
             std::string out;
             for (const Record& r : Log().records)
               out += std::to_string(r.line) + " " + std::to_string(r.kind) + " " + std::to_string(r.position.x) + " " +
                      std::to_string(r.position.y) + " " + std::to_string(r.position.z) + "\n";
             return out;
           };
           const std::string got = records();
           Log().Clear();
           Code_AutoRun();
           description = records();
           if (!reference.empty() && description != reference) return "the next run differs:\n" + description;
           const bool closed = !got.empty() && got.find(" 15 ", got.rfind('\n', got.size() - 2)) != std::string::npos;
           if (closed && got != description) return "a run that went wrong ended as a whole one:\n" + got;
           if (!closed && !failed) return std::string("a run without a failure ended without its closing record");
           return std::string();
         }});
}

TEST_F(AllocFail, SwitchData) {
  const std::string variables = TablePath("variables.txt");
  const std::string original = ReadBytes(variables);
  Sweep({"switch data", [] {},
         [&] { SwitchTables(); },
         [&](const std::string&, bool, std::string&) -> std::string {
           // Whatever the switch left, a change to one variable is written
           // with every other row as it was, or not at all.
           SetCell(3, 10, 0, 42.5);
           if (SwitchData(dataRoot) != 0) return "the next switch failed";
           const std::string after = ReadBytes(variables);
           std::string expected = original;
           std::size_t line = 0;
           for (int row = 0; row < 10; ++row) line = expected.find('\n', line) + 1;
           expected.replace(line, expected.find(' ', line) - line, "42.5");
           if (after != original && after != expected)
             return "variables.txt was rewritten with " + std::to_string(std::count(after.begin(), after.end(), '\n')) +
                    " lines";
           // Put the file back for the byte comparison of the sweep.
           WriteBytes(variables, original);
           if (Cell(3, 10, 0) != 42.5) return "the changed variable is lost";
           return "";
         }});
}

TEST_F(AllocFail, SwitchRule) {
  Sweep({"switch rule", [] {},
         [&] { SwitchRules(); },
         [](const std::string&, bool, std::string&) { return std::string(); }});
}

// Which polylines are lit, list by list ("L" lit, "." not).
std::string LitMap(const PathGroups* paths) {
  std::string out;
  if (!paths) return "no path";
  for (const quillet::CPathList& list : *paths) {
    for (const CPathPolyline* p : list) out += p->Style().width == 3.f ? 'L' : '.';
    out += '|';
  }
  return out;
}

// The map with list `lit` lit whole and nothing else.
std::string LitOnly(const PathGroups* paths, std::size_t lit) {
  std::string out;
  for (std::size_t i = 0; i < paths->size(); ++i) {
    out += std::string((*paths)[i].size(), i == lit ? 'L' : '.');
    out += '|';
  }
  return out;
}

TEST_F(AllocFail, SelectBlock) {
  // The highlight is all or nothing: after the call the block lit before
  // or the new one is lit, whole, and nothing else.
  PathGroups* paths = nullptr;
  Sweep({"select block",
         [&] {
           ParseText(kCompensatedCalls);
           paths = Code_CutterPath();
           unsigned block = 3;  // the call: two passes through the sub-program
           Code_SelBlock(&block);
         },
         [] {
           unsigned block = 2;  // the compensated approach
           Code_SelBlock(&block);
         },
         [&](const std::string&, bool, std::string& description) -> std::string {
           description = LitMap(paths);
           if (!paths || paths->size() < 5 || (*paths)[3].size() < 2) return "no path to light: " + description;
           if (description != LitOnly(paths, 2) && description != LitOnly(paths, 3)) return "lit: " + description;
           unsigned block = 4;
           Code_SelBlock(&block);
           if (LitMap(paths) != LitOnly(paths, 4)) return "the next highlight: " + LitMap(paths);
           return "";
         }});
}

// Cycle holes at X10 and X20: each a rapid to the hole at Z10 (the first) or
// Z2, a rapid to R2, a feed to Z-5 and a rapid back to R2 (G99).
std::string CycleProblem(PathGroups* paths) {
  const std::string d = Describe(paths);
  if (!paths || paths->size() < 4) return "no cycle path:\n" + d;
  for (std::size_t list : {2u, 3u}) {
    const double x = list == 2 ? 10.0 : 20.0;
    bool deep = false;
    CPoint3d last{NAN, NAN, NAN};
    for (const CPathPolyline* p : (*paths)[list]) {
      for (int i = 0; i < p->PointCount(); ++i) deep = deep || (p->Point(i).z == -5 && p->Point(i).x == x);
      if (p->PointCount() > 0) last = p->Point(p->PointCount() - 1);
    }
    if (!deep || last.x != x || last.y != 0 || last.z != 2) return "a wrong hole at X" + std::to_string(x) + ":\n" + d;
  }
  return "";
}

TEST_F(AllocFail, LibraryStartAndFirstCycle) {
  auto finishStart = [&] {
    SwitchTables();
    SwitchRules();
    Code_SetHWnd(&windowHandle);
  };
  auto initialize = [] { Initialize(); };
  // A start of the library that fails anywhere: the first cycle after it
  // still finds its script.
  Sweep({"library start", [] { Code_Uninitialize(); }, initialize,
         [&](const std::string&, bool, std::string&) -> std::string {
           finishStart();
           Log().Clear();
           ParseText(kCycles);
           return CycleProblem(Code_CutterPath());
         }});
  // A start that failed at once reads no scripts: the first cycle reads
  // them, and a failure there ends the parse with its reason.
  Sweep({"first cycle",
         [&] {
           Code_Uninitialize();
           alloctest::Arm(1, true);
           initialize();
           alloctest::Disarm();
           finishStart();
         },
         [&] { ParseText(kCycles); },
         [&](const std::string& reference, bool failed, std::string& description) -> std::string {
           Log().Clear();
           std::string problem = PathResult(Code_CutterPath(), reference, failed, description);
           if (!problem.empty()) return problem;
           Log().Clear();
           ParseText(kCycles);
           return CycleProblem(Code_CutterPath());
         }});
}

}  // namespace
}  // namespace apitest
