// Cycle scripts on their own: reading the script folder and files, the peck
// actions' move sequences, repeat counts, return-mode steps and the bounds.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "mod_gcode/GCCode/Cycle.h"
#include "mod_gcode/GCCode/PathArena.h"
#include "mod_gcode/GCCode/Script.h"
#include "mod_gcode/export/LibraryState.h"
#include "platform/Text.h"

namespace quillet::test {
namespace {

// A scratch folder removed with the object.
class ScratchFolder {
 public:
  ScratchFolder() {
    char tmpl[] = "/tmp/cycle_scriptsXXXXXX";
    if (mkdtemp(tmpl)) m_path = tmpl;
  }
  ~ScratchFolder() { std::filesystem::remove_all(m_path); }
  const std::string& Path() const { return m_path; }
  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(m_path + "/" + name, std::ios::binary) << bytes;
  }

 private:
  std::string m_path;
};

const char kDrill[] =
    "action={\ninfo={type=0,name=drill}\nsubact={name=positioning,type=0}\nsubact={name=move2r,type=0}\n"
    "subact={name=machiningHoleQOffset,type=0}\n}\n";

// The moves of a run, as kind and Z levels (start, end) along the drilling
// axis; other generated instructions as their kind alone.
struct Move {
  short kind;
  double from;
  double to;
  bool coloured;
};

class Generated {
 public:
  ~Generated() {
    for (CGCInstruction* g : list) CGCInstruction::Dispose(g);
  }
  std::vector<Move> Moves() const {
    std::vector<Move> out;
    for (CGCInstruction* g : list) {
      if (const auto* m = dynamic_cast<const CGCInstructionCCMove*>(g))
        out.push_back({m->GetKind(), m->StartInPlaneOrder().z, m->GetEndPoint().z, m->IsColoured()});
      else
        out.push_back({g->GetKind(), 0.0, 0.0, false});
    }
    return out;
  }
  std::vector<CGCInstruction*> list;
};

void ExpectMoves(const std::vector<Move>& got, const std::vector<Move>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(got[i].kind, want[i].kind);
    EXPECT_NEAR(got[i].from, want[i].from, 1e-9);
    EXPECT_NEAR(got[i].to, want[i].to, 1e-9);
    EXPECT_EQ(got[i].coloured, want[i].coloured);
  }
}

// Cycle words of a hole at (x, y) with the R level `r`, the bottom `z` and
// the given Q; the tool starts at (0, 0, start).
struct Hole {
  CGCCoordN<9> cycle;
  CGCCoordN<9> start;
  Hole(double x, double y, double z, double r, double q, double startZ = 10.0) {
    Set(cycle, kWordX, x);
    Set(cycle, kWordY, y);
    Set(cycle, kWordZ, z);
    Set(cycle, kWordR, r);
    Set(cycle, kWordQ, q);
    Set(cycle, kWordP, 0.25);
    Set(start, kWordX, 0.0);
    Set(start, kWordY, 0.0);
    Set(start, kWordZ, startZ);
  }
  static void Set(CGCCoordN<9>& c, int i, double v) {
    c.View().ReplaceWord(i, CGCDimWordMM::FromParts(v, v, kWordSpecified | kWordAbsolute));
  }
};

// Runs a script text over a hole.
std::vector<Move> RunScript(const char16_t* text, Hole& hole, Generated& out, std::vector<WString>* messages = nullptr,
                            short returnMode = 1) {
  CScript script = CScript::FromText(text);
  CScriptRun run;
  run.generated = &out.list;
  run.messages = messages;
  run.initialLevel = 10.0;
  run.returnMode = returnMode;
  script.Run(run, hole.cycle.View(), hole.start.View());
  return out.Moves();
}

constexpr short R = kKindRapid;
constexpr short F = kKindLine;

// ------------------------------------------------------------- library

TEST(ScriptLibrary, ReadsUpperCaseGFilesByTheNameBeforeTheFirstDot) {
  ScratchFolder dir;
  dir.Write("G81.txt", kDrill);
  dir.Write("g82.txt", kDrill);                 // lower case: not a script
  dir.Write("G83.old.txt", "ignored");          // key G83, read from G83.txt (missing)
  dir.Write("G84.txt.bak", kDrill);             // not a .txt file
  dir.Write("notes.txt", kDrill);               // not a G file
  dir.Write(std::string("G") + std::string(31, '1') + ".txt", kDrill);  // key of 32 characters
  std::filesystem::create_directory(dir.Path() + "/G85.txt");
  CScriptLibrary lib(dir.Path());
  EXPECT_EQ(lib.Size(), 2u);
  EXPECT_TRUE(lib.Has(u"G81"));
  EXPECT_FALSE(lib.Has(u"g82"));
  EXPECT_FALSE(lib.Has(u"G82"));
  EXPECT_TRUE(lib.Has(u"G83"));
  EXPECT_TRUE(lib.Find(u"G83").Empty());
  ASSERT_FALSE(lib.Find(u"G81").Empty());
  EXPECT_EQ(lib.Find(u"G81").Actions()[0].steps.size(), 3u);
}

TEST(ScriptLibrary, MissingFolderAndUnknownNamesGiveEmptyScripts) {
  CScriptLibrary lib("/nonexistent/folder/for/scripts");
  EXPECT_EQ(lib.Size(), 0u);
  EXPECT_TRUE(lib.Find(u"G81").Empty());
  EXPECT_TRUE(CScriptLibrary::Instance().Find(u"G75").Empty());
}

TEST(ScriptLibrary, CrLfFileReadsLikeLfFile) {
  ScratchFolder dir;
  std::string crlf;
  for (char c : std::string(kDrill)) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  // A stray CR (not followed by LF) between two blocks as well.
  crlf += "\raction={info={type=8,name=back}subact={name=return2initP,type=1}}";
  dir.Write("G81.txt", crlf);
  CScriptLibrary lib(dir.Path());
  const CScript& s = lib.Find(u"G81");
  ASSERT_EQ(s.Actions().size(), 2u);
  EXPECT_EQ(s.Actions()[0].name, u"drill");
  ASSERT_EQ(s.Actions()[0].steps.size(), 3u);
  EXPECT_EQ(s.Actions()[0].steps[0].name, u"positioning");
  EXPECT_NE(s.Actions()[0].steps[0].action, nullptr);
  EXPECT_EQ(s.Actions()[1].type, 8);
  EXPECT_EQ(s.Actions()[1].steps[0].type, 1);
}

TEST(ScriptLibrary, ShippedScriptsCoverEveryCycleWithKnownSteps) {
  const CScriptLibrary& lib = CScriptLibrary::Instance();
  for (const char16_t* name : {u"G73", u"G74", u"G76", u"G81", u"G82", u"G83", u"G84", u"G85", u"G86", u"G87",
                               u"G88", u"G89"}) {
    SCOPED_TRACE(plat::WideToUtf8(name));
    const CScript& s = lib.Find(name);
    ASSERT_FALSE(s.Empty());
    for (const auto& action : s.Actions()) {
      EXPECT_FALSE(action.name.empty());
      for (const auto& step : action.steps) {
        EXPECT_NE(step.action, nullptr) << plat::WideToUtf8(step.name);
        // Steps reserved for the return to the initial level sit in type-8 actions.
        if (step.type == 1) {
          EXPECT_EQ(action.type, 8);
        }
      }
    }
  }
}

TEST(ScriptText, StepNamesAreExactAndUnknownOnesAreKeptWithoutAction) {
  CScript s = CScript::FromText(
      u"action={info={type=0,name=a}subact={name=Positioning,type=0}subact={name=move2r,type=0}}\n"
      u"subact={name=dwell,type=0}");  // a step before no action of its own: joins the last
  ASSERT_EQ(s.Actions().size(), 1u);
  const auto& steps = s.Actions()[0].steps;
  ASSERT_EQ(steps.size(), 3u);
  EXPECT_EQ(steps[0].action, nullptr);
  EXPECT_NE(steps[1].action, nullptr);
  // Unknown steps are skipped when the script runs.
  Hole hole(5, 0, -5, 2, 0);
  Generated out;
  ExpectMoves(RunScript(u"action={info={type=0,name=a}subact={name=drill,type=0}subact={name=move2r,type=0}}", hole,
                        out),
              {{R, -5, 2, false}});
}

// ------------------------------------------------------------- repeats

TEST(ScriptRun, RepeatCountFromK) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(CScript::RepeatCount(false, 5.0), 1);
  EXPECT_EQ(CScript::RepeatCount(true, nan), 1);
  EXPECT_EQ(CScript::RepeatCount(true, -inf), 1);
  EXPECT_EQ(CScript::RepeatCount(true, -40000.0), 1);
  EXPECT_EQ(CScript::RepeatCount(true, 0.0), 1);
  EXPECT_EQ(CScript::RepeatCount(true, 0.5), 1);
  EXPECT_EQ(CScript::RepeatCount(true, 3.0), 3);
  EXPECT_EQ(CScript::RepeatCount(true, 9999.9), 9999);
  EXPECT_EQ(CScript::RepeatCount(true, 10000.0), 0);
  EXPECT_EQ(CScript::RepeatCount(true, 70000.0), 0);  // not wrapped to 16 bits
  EXPECT_EQ(CScript::RepeatCount(true, 1e300), 0);
  EXPECT_EQ(CScript::RepeatCount(true, inf), 0);
}

TEST(ScriptRun, NotANumberKRunsOnceAndHugeKRunsNothing) {
  const char16_t* text = u"action={info={type=0,name=a}subact={name=positioning,type=0}subact={name=move2r,type=0}}";
  {
    Hole hole(5, 0, -5, 2, 0);
    hole.cycle.View().ReplaceWord(kWordK, CGCDimWordMM::FromParts(std::nan(""), 0, kWordSpecified));
    Generated out;
    EXPECT_EQ(RunScript(text, hole, out).size(), 2u);
  }
  {
    Hole hole(5, 0, -5, 2, 0);
    Hole::Set(hole.cycle, kWordK, 1e300);
    Generated out;
    EXPECT_TRUE(RunScript(text, hole, out).empty());
    EXPECT_EQ(hole.start.View().GetPosition(kWordZ), 10.0);  // the tool stays
  }
}

TEST(ScriptRun, ReturnStepsRunOnlyWhenReturningToTheInitialLevel) {
  const char16_t* text =
      u"action={info={type=0,name=a}subact={name=positioning,type=0}subact={name=move2r,type=0}"
      u"subact={name=machiningHoleQOffset,type=0}subact={name=return2R,type=1}}"
      u"action={info={type=8,name=b}subact={name=return2R,type=0}subact={name=return2initP,type=1}}";
  {
    Hole hole(5, 0, -5, 2, 0);
    Generated out;
    ExpectMoves(RunScript(text, hole, out, nullptr, 1),
                {{R, 10, 10, false}, {R, 10, 2, false}, {F, 2, -5, false}, {R, -5, 2, false}, {R, 2, 10, false}});
  }
  for (short mode : {short{0}, short{-1}, short{2}}) {
    // A type-1 step outside a type-8 action always runs; return2R there
    // leaves nothing for the type-0 return2R of the second action.
    Hole hole(5, 0, -5, 2, 0);
    Generated out;
    ExpectMoves(RunScript(text, hole, out, nullptr, mode),
                {{R, 10, 10, false}, {R, 10, 2, false}, {F, 2, -5, false}, {R, -5, 2, false}});
    EXPECT_EQ(hole.start.View().GetPosition(kWordZ), 2.0);
  }
}

TEST(ScriptRun, IncrementalShiftsMoveEachRepetition) {
  const char16_t* text = u"action={info={type=0,name=a}subact={name=positioning,type=0}}";
  Hole hole(10, 0, -5, 2, 0);
  Hole::Set(hole.cycle, kWordK, 3);
  Generated out;
  CScript script = CScript::FromText(text);
  CScriptRun run;
  run.generated = &out.list;
  run.xShift = 10;
  run.yShift = 1;
  script.Run(run, hole.cycle.View(), hole.start.View());
  ASSERT_EQ(out.list.size(), 3u);
  EXPECT_EQ(run.repetitions, 3);
  const double xs[3] = {10, 20, 30};
  const double ys[3] = {0, 1, 2};
  for (int i = 0; i < 3; ++i) {
    const CPoint3d e = out.list[i]->GetEndPoint();
    EXPECT_NEAR(e.x, xs[i], 1e-12);
    EXPECT_NEAR(e.y, ys[i], 1e-12);
  }
  EXPECT_NEAR(hole.start.View().GetPosition(kWordX), 30, 1e-12);
}

TEST(ScriptRun, PolarShiftsTurnByTheAngleStep) {
  // The hole moves by the X step in the direction of the accumulated angle.
  const char16_t* text = u"action={info={type=0,name=a}subact={name=positioning,type=0}}";
  Hole hole(10, 0, -5, 2, 0);
  Hole::Set(hole.cycle, kWordK, 2);
  Generated out;
  CScript script = CScript::FromText(text);
  CScriptRun run;
  run.generated = &out.list;
  run.polar = true;
  run.xShift = 4;
  run.yShift = 45;
  script.Run(run, hole.cycle.View(), hole.start.View());
  ASSERT_EQ(out.list.size(), 2u);
  const CPoint3d e = out.list[1]->GetEndPoint();
  EXPECT_NEAR(e.x, 10.0, 1e-12);  // 4 cos 90
  EXPECT_NEAR(e.y, 4.0, 1e-12);   // 4 sin 90
}

// --------------------------------------------------------------- pecks

const char16_t kPeck[] =
    u"action={info={type=0,name=a}subact={name=positioning,type=0}subact={name=move2r,type=0}"
    u"subact={name=machiningHole,type=0}}";
const char16_t kTorque[] =
    u"action={info={type=0,name=a}subact={name=positioning,type=0}subact={name=move2r,type=0}"
    u"subact={name=machiningHoleTorque,type=0}}";
const char16_t kWithC[] =
    u"action={info={type=0,name=a}subact={name=positioning,type=0}subact={name=move2r,type=0}"
    u"subact={name=machiningHoleWithC,type=0}}";

TEST(PeckActions, PlainPecksFeedStepsOfQ) {
  // R level 5 above the bottom, Q 2: 2, 2 and 1, in the peck colour.
  Hole hole(0, 0, 0, 5, 2);
  Generated out;
  ExpectMoves(RunScript(kPeck, hole, out),
              {{R, 10, 5, false}, {F, 5, 3, true}, {F, 3, 1, true}, {F, 1, 0, true}});
}

TEST(PeckActions, PeckEqualToTheRestEndsAtTheBottom) {
  Hole hole(0, 0, 0, 4, 2);
  Generated out;
  ExpectMoves(RunScript(kPeck, hole, out), {{R, 10, 4, false}, {F, 4, 2, true}, {F, 2, 0, true}});
}

TEST(PeckActions, TorquePecksRetractToRAndReapproachWithClearance) {
  Hole hole(0, 0, 0, 5, 2);
  Generated out;
  ExpectMoves(RunScript(kTorque, hole, out), {{R, 10, 5, false},
                                              {F, 5, 3, true},   // 2 from R
                                              {R, 3, 5, false},  // back to R
                                              {R, 5, 4, false},  // 1 above 2 below R
                                              {F, 4, 1, true},   // 3
                                              {R, 1, 5, false},
                                              {R, 5, 2, false},  // 1 above 4 below R
                                              {F, 2, 0, true},   // 2, reaching the bottom
                                              {R, 0, 5, false}});
}

TEST(PeckActions, ZeroQFeedsOnceAndNegativeQDoesNothing) {
  {
    Hole hole(0, 0, 0, 5, 0);
    Generated out;
    ExpectMoves(RunScript(kTorque, hole, out), {{R, 10, 5, false}, {F, 5, 0, false}});
  }
  {
    Hole hole(0, 0, 0, 5, -2);
    Generated out;
    ExpectMoves(RunScript(kPeck, hole, out), {{R, 10, 5, false}});
  }
}

TEST(PeckActions, ClearancePecksAdvanceQMinusClearance) {
  Hole hole(0, 0, 0, 5, 3);
  Generated out;
  std::vector<WString> messages;
  ExpectMoves(RunScript(kWithC, hole, out, &messages),
              {{R, 10, 5, false}, {F, 5, 2, false}, {R, 2, 3, false}, {F, 3, 0, false}, {R, 0, 1, false},
               {F, 1, 0, false}});
  EXPECT_TRUE(messages.empty());
}

TEST(PeckActions, ClearancePeckNotAboveClearanceIsRefusedOncePerBlock) {
  Hole hole(0, 0, 0, 5, 1.0);
  Hole::Set(hole.cycle, kWordK, 3);
  Generated out;
  std::vector<WString> messages;
  const auto moves = RunScript(kWithC, hole, out, &messages);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], u"Q value is too small!");
  for (const Move& m : moves) EXPECT_EQ(m.kind, R);  // positioning and R only
}

TEST(PeckActions, PeckCountIsBounded) {
  for (const char16_t* script : {kPeck, kTorque}) {
    Hole hole(0, 0, -5, 0, 1e-6);  // 5 million pecks
    Generated out;
    std::vector<WString> messages;
    const auto moves = RunScript(script, hole, out, &messages);
    EXPECT_EQ(messages.size(), 1u);
    ASSERT_LE(moves.size(), 3u);
    EXPECT_NEAR(moves.back().to, -5.0, 1e-12);  // fed to the bottom in one move
  }
  {
    // Each peck advances 1e-9: a hundred billion pecks.
    Hole hole(0, 0, -100, 0, 1.0 + 1e-9);
    Generated out;
    std::vector<WString> messages;
    const auto moves = RunScript(kWithC, hole, out, &messages);
    EXPECT_EQ(messages.size(), 1u);
    ASSERT_LE(moves.size(), 3u);
    EXPECT_NEAR(moves.back().to, -100.0, 1e-12);
  }
}

TEST(PeckActions, NotANumberLevelsMakeNoPoints) {
  const double nan = std::nan("");
  for (const char16_t* script : {kPeck, kTorque, kWithC}) {
    for (int which : {kWordZ, kWordQ}) {
      Hole hole(0, 0, -5, 0, 2.5);
      hole.cycle.View().SetValue(which, nan);
      hole.cycle.View().SetPosition(which, nan);
      Generated out;
      std::vector<WString> messages;
      for (const Move& m : RunScript(script, hole, out, &messages)) {
        EXPECT_TRUE(std::isfinite(m.from));
        EXPECT_TRUE(std::isfinite(m.to));
      }
    }
  }
}

// --------------------------------------------------------------- moves

TEST(GeneratedMove, ColouredMoveHasItsOwnStyle) {
  InitPathStyles(Lib());
  const CPathStyle before = Lib().styles[kStyleFeed];
  CGCCoordN<3> words;
  words.View().ReplaceWord(kWordX, CGCDimWordMM(1, 1));
  words.View().ReplaceWord(kWordY, CGCDimWordMM(2, 1));
  words.View().ReplaceWord(kWordZ, CGCDimWordMM(3, 1));
  CGCInstructionCCMove coloured(words.View(), CPoint3d(1, 2, 5), true, kKindLine, CMoveColour{0.f, 1.f, 1.f, 1.f}, 0);
  CGCInstructionCCMove plain(words.View(), CPoint3d(1, 2, 5), false, kKindLine, CMoveColour{}, 0);
  CPathArena arena;
  std::vector<CPathPolyline*> items;
  CPathSink sink{&arena, &items};
  coloured.AppendSegment(sink);
  plain.AppendSegment(sink);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0]->m_style.b, 1.f);
  EXPECT_EQ(items[0]->m_style.width, 1.5f);
  EXPECT_EQ(items[1]->m_style.b, before.b);
  const CPathStyle& after = Lib().styles[kStyleFeed];
  EXPECT_EQ(after.r, before.r);
  EXPECT_EQ(after.g, before.g);
  EXPECT_EQ(after.b, before.b);
  EXPECT_EQ(after.width, before.width);
}

TEST(GeneratedMove, MoveOfTheZXPlaneIsDrawnInMachineAxes) {
  // In the ZX plane the words are kept as X, Z, Y: a move along the third
  // word runs along machine Y.
  CGCCoordN<3> words;
  words.View().ReplaceWord(0, CGCDimWordMM(4, 1));
  words.View().ReplaceWord(1, CGCDimWordMM(6, 1));
  words.View().ReplaceWord(2, CGCDimWordMM(-2, 1));
  CGCInstructionCCMove move(words.View(), CPoint3d(4, 6, 8), false, kKindLine, CMoveColour{}, 1);
  CPathArena arena;
  std::vector<CPathPolyline*> items;
  CPathSink sink{&arena, &items};
  move.AppendSegment(sink);
  ASSERT_EQ(items.size(), 1u);
  const CPoint3d a = items[0]->Point(0), b = items[0]->Point(1);
  EXPECT_EQ(a.x, 4);
  EXPECT_EQ(a.y, 8);
  EXPECT_EQ(a.z, 6);
  EXPECT_EQ(b.x, 4);
  EXPECT_EQ(b.y, -2);
  EXPECT_EQ(b.z, 6);
}

TEST(CycleInstruction, UnknownCycleNameExpandsToNothing) {
  CGCInstructionCC cycle(ChainRef(), nullptr, nullptr, 1, u"G999");
  ASSERT_NE(cycle.Script(), nullptr);
  EXPECT_TRUE(cycle.Script()->Empty());
  cycle.ApplyTransforms();
  EXPECT_TRUE(cycle.Generated().empty());
}

}  // namespace
}  // namespace quillet::test
