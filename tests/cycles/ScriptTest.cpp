// Cycle scripts on their own: reading the script folder, step names, repeat
// counts, the peck actions' move sequences and their bounds.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>

#include "ScratchFolder.h"
#include "mod_gcode/instructions/Cycle.h"
#include "mod_gcode/instructions/Script.h"

namespace quillet::test {
namespace {

const char kDrill[] =
    "action={\ninfo={type=0,name=drill}\nsubact={name=positioning,type=0}\nsubact={name=move2r,type=0}\n"
    "subact={name=machiningHoleQOffset,type=0}\n}\n";

// A generated move as its kind, its levels along the drilling axis and
// whether it has the peck colour; other instructions as their kind alone.
struct Move { short kind; double from, to; bool coloured; bool operator==(const Move&) const = default; };
void PrintTo(const Move& m, std::ostream* os) { *os << m.kind << " " << m.from << ">" << m.to << (m.coloured ? " c" : ""); }

// A hole at (0, 0) with the bottom `z`, the R level `r` and the given Q; the
// tool starts at Z 10, the initial level.
struct Hole {
  CGCCoordN<9> cycle, start;
  std::vector<CGCInstruction*> generated;
  std::vector<WString> messages;
  CScriptRun run;
  Hole(double z, double r, double q) {
    Set(cycle, kWordZ, z);
    Set(cycle, kWordR, r);
    Set(cycle, kWordQ, q);
    Set(cycle, kWordP, 0.25);
    Set(start, kWordZ, 10);
    run.generated = &generated;
    run.messages = &messages;
    run.initialLevel = 10.0;
  }
  ~Hole() { for (CGCInstruction* g : generated) CGCInstruction::Dispose(g); }
  static void Set(CGCCoordN<9>& c, int i, double v) {
    c.View().ReplaceWord(i, CGCDimWordMM::FromParts(v, v, kWordSpecified | kWordAbsolute));
  }
  std::vector<Move> Run(const std::u16string& text) {
    CScript::FromText(text).Run(run, cycle.View(), start.View());
    std::vector<Move> out;
    for (CGCInstruction* g : generated) {
      const auto* m = dynamic_cast<const CGCInstructionCCMove*>(g);
      out.push_back(m ? Move{m->GetKind(), m->StartInPlaneOrder().z, m->GetEndPoint().z, m->IsColoured()}
                      : Move{g->GetKind(), 0.0, 0.0, false});
    }
    return out;
  }
};

constexpr short R = kKindRapid;
constexpr short F = kKindLine;

// Positions the hole, goes down to R and runs the given peck action.
std::u16string PeckScript(const char16_t* action) {
  return u"action={info={type=0,name=a}subact={name=positioning,type=0}subact={name=move2r,type=0}subact={name=" +
         std::u16string(action) + u",type=0}}";
}
const std::u16string kPeck = PeckScript(u"machiningHole"), kTorque = PeckScript(u"machiningHoleTorque"),
                     kWithC = PeckScript(u"machiningHoleWithC");

TEST(ScriptLibrary, ReadsUpperCaseGFilesByTheNameBeforeTheFirstDot) {
  ScratchFolder dir;
  std::string crlf;
  for (char c : std::string(kDrill)) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  WriteBytes(dir.File("G81.txt"), kDrill);
  WriteBytes(dir.File("G82.txt"), crlf);
  WriteBytes(dir.File("g83.txt"), kDrill);                                // lower case: not a script
  WriteBytes(dir.File("G84.old.txt"), "ignored");                         // key G84, read from G84.txt (missing)
  WriteBytes(dir.File("G" + std::string(31, '1') + ".txt"), kDrill);  // key of 32 characters
  CScriptLibrary lib(dir.Path());
  EXPECT_EQ(lib.Size(), 3u);  // G81, G82 and an empty G84
  EXPECT_FALSE(lib.Has(u"G83"));
  for (const char16_t* name : {u"G81", u"G82"}) {
    const CScript& s = lib.Find(name);
    ASSERT_EQ(s.Actions().size(), 1u);
    ASSERT_EQ(s.Actions()[0].steps.size(), 3u);
    EXPECT_EQ(s.Actions()[0].steps[0].name, u"positioning");
  }
  EXPECT_EQ(CScriptLibrary("/nonexistent/folder").Size(), 0u);
}

TEST(ScriptRun, StepNamesAreExactAndUnknownNamesAndCyclesRunNothing) {
  // Without the positioning step the tool is still at the cycle's words:
  // move2r runs from the bottom.
  Hole hole(-5, 2, 0);
  EXPECT_EQ(hole.Run(u"action={info={type=0,name=a}subact={name=Positioning,type=0}subact={name=drill,type=0}"
                       u"subact={name=move2r,type=0}}"),
            (std::vector<Move>{{R, -5, 2, false}}));
  CGCInstructionCC cycle(ChainRef(), nullptr, nullptr, 1, u"G999");
  ASSERT_NE(cycle.Script(), nullptr);
  cycle.ApplyTransforms();
  EXPECT_TRUE(cycle.Generated().empty());
}

TEST(ScriptRun, RepeatCountFromK) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::pair<double, int> rows[] = {{std::nan(""), 1}, {-inf, 1}, {-1.0, 1}, {0.0, 0}, {0.5, 0}, {3.0, 3}, {9999.9, 9999},
                                         {10000.0, 0},     {70000.0, 0}, {inf, 0}};  // 70000 not wrapped to 16 bits
  for (const auto& [k, n] : rows) EXPECT_EQ(CScript::RepeatCount(true, k), n) << k;
}

TEST(PeckActions, SequencesOfTheThreePeckActions) {
  struct Row { std::u16string script; double bottom, r, q; std::vector<Move> moves; };
  const Row rows[] = {
      // R 5 above the bottom, Q 2: pecks of 2, 2 and 1 in the peck colour.
      {kPeck, 0, 5, 2, {{R, 10, 5, false}, {F, 5, 3, true}, {F, 3, 1, true}, {F, 1, 0, true}}},
      {kPeck, 0, 4, 2, {{R, 10, 4, false}, {F, 4, 2, true}, {F, 2, 0, true}}},  // the last peck fits exactly
      {kPeck, 0, 5, -2, {{R, 10, 5, false}}},                                     // negative Q: nothing
      {kTorque, 0, 5, 0, {{R, 10, 5, false}, {F, 5, 0, false}}},                  // Q 0: one feed
      // (The shipped G83 and G73 show the torque and clearance sequences.)
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "Q " << row.q);
    Hole hole(row.bottom, row.r, row.q);
    EXPECT_EQ(hole.Run(row.script), row.moves);
    EXPECT_TRUE(hole.messages.empty());
  }
}

TEST(PeckActions, PeckCountIsBoundedAndNotANumberMakesNoPoints) {
  // 5 million pecks: one message, fed to the bottom in one move.
  Hole hole(-5, 0, 1e-6);
  const auto moves = hole.Run(kPeck);
  EXPECT_EQ(hole.messages.size(), 1u);
  ASSERT_LE(moves.size(), 3u);
  EXPECT_NEAR(moves.back().to, -5, 1e-12);
  for (const std::u16string& script : {kPeck, kTorque, kWithC})
    for (int which : {kWordZ, kWordQ}) {
      Hole hole(-5, 0, 2.5);
      hole.cycle.View().SetValue(which, std::nan(""));
      hole.cycle.View().SetPosition(which, std::nan(""));
      for (const Move& m : hole.Run(script)) EXPECT_TRUE(std::isfinite(m.from) && std::isfinite(m.to));
    }
}

}  // namespace
}  // namespace quillet::test
