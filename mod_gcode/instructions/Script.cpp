#include "mod_gcode/instructions/Script.h"

#include <algorithm>
#include <cmath>
#include <dirent.h>
#include <sys/stat.h>

#include <memory>
#include <vector>

#include "mod_gcode/instructions/Cycle.h"
#include "mod_gcode/text/FileUtil.h"
#include "mod_gcode/text/MathUtil.h"
#include "mod_gcode/instructions/Transform.h"
#include "mod_gcode/export/LibraryState.h"
#include "platform/Numbers.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace quillet {

namespace {

// Moves shorter than this are not generated (a return to a level the tool
// is already at, a positioning onto the same point).
constexpr double kMinMove = 1e-9;
// The peck colour of the stepped feeds.
constexpr CMoveColour kPeckColour{0.f, 1.f, 1.f, 1.f};

const char16_t kTooManyPecks[] =
    u"Q value is too small for the depth: more than 10000 pecks for one hole, the hole is fed in one move";

double CurrentZ(const CGCCoord& c) { return c.GetPosition(kWordZ); }
double RLevel(const CGCCoord& cycle) { return cycle.GetPosition(kWordR); }
double Bottom(const CGCCoord& cycle) { return cycle.GetPosition(kWordZ); }
double QValue(const CGCCoord& cycle) { return cycle.GetValue(kWordQ); }

short ToShort(const WString& text) {
  int v = plat::ParseIntPrefix(text);
  return static_cast<short>(std::clamp(v, -32768, 32767));
}

const WString* Item(const std::map<WString, WString>& items, const char16_t* key) {
  auto it = items.find(key);
  return it == items.end() ? nullptr : &it->second;
}

}  // namespace

void CScriptRun::AddMessage(const char16_t* text) {
  if (!messages) return;
  if (std::find(messages->begin(), messages->end(), text) != messages->end()) return;
  messages->emplace_back(text);
}

// ------------------------------------------------------------- actions

CAction::~CAction() = default;

void CAction::Generate(CScriptRun&, const CGCCoord&, const CGCCoord&, const CGCCoord&) {}

void CAction::MoveAlong(int word, CScriptRun& run, const CGCCoord& current, double delta, bool coloured, short kind,
                        const CMoveColour& colour) {
  // Not a number, or too short to see: nothing to move.
  if (!(std::fabs(delta) >= kMinMove) || !current.Has(word)) return;
  const CPoint3d start = current.GetPositionPoint();
  current.AddToPosition(word, delta);
  run.Add<CGCInstructionCCMove>(current, start, coloured, kind, colour, run.planeCode);
}

void CAction::MoveAlongZ(CScriptRun& run, const CGCCoord& current, double delta, bool coloured, short kind,
                         const CMoveColour& colour) {
  MoveAlong(kWordZ, run, current, delta, coloured, kind, colour);
}

void CAction::MoveAlongSecondAxis(CScriptRun& run, const CGCCoord& current, double delta, bool coloured, short kind,
                                  const CMoveColour& colour) {
  MoveAlong(kWordY, run, current, delta, coloured, kind, colour);
}

void CActionPositioning::Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle,
                                  const CGCCoord& start) {
  // The hole's X and Y at the height the tool has before the repetition.
  const CPoint3d from = start.GetPositionPoint();
  current.CopyWords(cycle);
  current.SetPosition(kWordZ, start.GetPosition(kWordZ));
  const CPoint3d to = current.GetPositionPoint();
  const CPoint3d d = to - from;
  if (!(std::fabs(d.x) >= kMinMove || std::fabs(d.y) >= kMinMove || std::fabs(d.z) >= kMinMove)) return;
  run.Add<CGCInstructionCCMove>(current, from, false, kKindRapid, CMoveColour(), run.planeCode);
}

void CActionMove2R::Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle, const CGCCoord&) {
  MoveAlongZ(run, current, -(CurrentZ(current) - RLevel(cycle)), false, kKindRapid);
}

void CActionMachiningHoleQOffset::Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle,
                                           const CGCCoord&) {
  MoveAlongZ(run, current, -std::fabs(CurrentZ(current) - Bottom(cycle)), false, kKindLine);
}

void CActionReturn2R::Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle, const CGCCoord&) {
  MoveAlongZ(run, current, std::fabs(CurrentZ(current) - RLevel(cycle)), false, kKindRapid);
}

void CActionReturn2InitP::Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord&, const CGCCoord&) {
  // Up or down: an R level above the initial level leaves the tool above it.
  MoveAlongZ(run, current, run.initialLevel - CurrentZ(current), false, kKindRapid);
}

void CActionFeed2R::Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle, const CGCCoord&) {
  MoveAlongZ(run, current, RLevel(cycle) - CurrentZ(current), false, kKindLine);
}

void CActionFeed2Z::Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle, const CGCCoord&) {
  MoveAlongZ(run, current, Bottom(cycle) - CurrentZ(current), false, kKindLine);
}

void CActionShift::Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle, const CGCCoord&) {
  MoveAlongSecondAxis(run, current, QValue(cycle), false, kKindRapid);
}

void CActionShiftBack::Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle, const CGCCoord&) {
  MoveAlongSecondAxis(run, current, -QValue(cycle), false, kKindRapid);
}

void CActionDwell::Generate(CScriptRun& run, const CGCCoord&, const CGCCoord& cycle, const CGCCoord&) {
  run.Add<CGCInstructionCCState>(kKindDwell, cycle.GetValue(kWordP));
}

void CActionMS_CW::Generate(CScriptRun& run, const CGCCoord&, const CGCCoord&, const CGCCoord&) {
  run.Add<CGCInstructionCCState>(kKindSpindleCw, run.spindleSpeed);
}

void CActionMS_CCW::Generate(CScriptRun& run, const CGCCoord&, const CGCCoord&, const CGCCoord&) {
  run.Add<CGCInstructionCCState>(kKindSpindleCcw, run.spindleSpeed);
}

void CActionMS_Stop::Generate(CScriptRun& run, const CGCCoord&, const CGCCoord&, const CGCCoord&) {
  run.Add<CGCInstructionCCState>(kKindSpindleStop, 0.0);
}

void CActionMachiningHole::Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle,
                                    const CGCCoord& start) {
  const double q = QValue(cycle);
  const double bottom = Bottom(cycle);
  double r = std::fabs(CurrentZ(current) - bottom);
  double e = 0.0;
  Reset(run);
  if (q > 0.0) {
    if (r / q > CScriptRun::kMaxPecks) {
      run.AddMessage(kTooManyPecks);
      MoveAlongZ(run, current, -r, false, kKindLine);
      return;
    }
    // At most kMaxPecks + 1 rounds (r / q is bounded above); the count is a
    // guard against rounding only.
    while (run.pecks <= CScriptRun::kMaxPecks + 1) {
      if (r > q) {
        if (run.pecks > 0) e = BeforeNextPeck(run, current, cycle, start);
        MoveAlongZ(run, current, -(q + e), true, kKindLine, kPeckColour);
        AfterPeck(run, current, cycle, start);
        r -= q;
        ++run.pecks;
      } else if (r < q) {
        if (run.pecks > 0) e = BeforeNextPeck(run, current, cycle, start);
        MoveAlongZ(run, current, -(r + e), true, kKindLine, kPeckColour);
        AfterPeck(run, current, cycle, start);
        break;
      } else {
        if (run.pecks > 0) e = BeforeNextPeck(run, current, cycle, start);
        MoveAlongZ(run, current, -(r + e), true, kKindLine, kPeckColour);
        break;
      }
    }
  } else if (q == 0.0) {
    MoveAlongZ(run, current, -r, false, kKindLine);
  }
  run.pecks = 0;
}

void CActionMachiningHoleTorque::AfterPeck(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle,
                                           const CGCCoord&) {
  MoveAlongZ(run, current, std::fabs(CurrentZ(current) - RLevel(cycle)), false, kKindRapid);
}

double CActionMachiningHoleTorque::BeforeNextPeck(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle,
                                                  const CGCCoord&) {
  // Back down to the clearance above the depth reached; the next peck then
  // feeds the clearance as well.
  MoveAlongZ(run, current, -(run.pecks * QValue(cycle) - m_clearance), false, kKindRapid);
  return m_clearance;
}

void CActionMachiningHoleWithClearence::Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle,
                                                 const CGCCoord&) {
  // Each peck feeds on from the retract to q below the depth the last one
  // reached, and the clearance back up; the last peck ends at the bottom.
  // Without a depth per peck (Q 0, none, or below 0) the hole is fed in one
  // move.
  const double q = QValue(cycle);
  const double bottom = Bottom(cycle);
  const double depth = CurrentZ(current) - bottom;
  if (!(q > 0.0) || !(depth > 0.0)) {
    MoveAlongZ(run, current, -depth, false, kKindLine);
    return;
  }
  if (depth / q > CScriptRun::kMaxPecks) {
    run.AddMessage(kTooManyPecks);
    MoveAlongZ(run, current, -depth, false, kKindLine);
    return;
  }
  const double c = m_clearance;
  double reached = CurrentZ(current);
  for (int pecks = 0; reached - bottom >= 1e-7; ++pecks) {
    if (pecks > CScriptRun::kMaxPecks + 1) {  // rounding guard
      run.AddMessage(kTooManyPecks);
      break;
    }
    const double target = reached - bottom > q + 1e-7 ? reached - q : bottom;
    MoveAlongZ(run, current, target - CurrentZ(current), false, kKindLine);
    reached = target;
    if (target == bottom) break;
    MoveAlongZ(run, current, c, false, kKindRapid);
  }
}

std::unique_ptr<CAction> MakeAction(const WString& name) {
  if (name == u"positioning") return std::make_unique<CActionPositioning>(name);
  if (name == u"move2r") return std::make_unique<CActionMove2R>(name);
  if (name == u"machiningHole") return std::make_unique<CActionMachiningHole>(name);
  if (name == u"machiningHoleWithC") return std::make_unique<CActionMachiningHoleWithClearence>(name);
  if (name == u"machiningHoleTorque") return std::make_unique<CActionMachiningHoleTorque>(name);
  if (name == u"machiningHoleQOffset") return std::make_unique<CActionMachiningHoleQOffset>(name);
  if (name == u"return2R") return std::make_unique<CActionReturn2R>(name);
  if (name == u"return2initP") return std::make_unique<CActionReturn2InitP>(name);
  if (name == u"feed2R") return std::make_unique<CActionFeed2R>(name);
  if (name == u"feed2Z") return std::make_unique<CActionFeed2Z>(name);
  if (name == u"ms_cw") return std::make_unique<CActionMS_CW>(name);
  if (name == u"ms_ccw") return std::make_unique<CActionMS_CCW>(name);
  if (name == u"ms_stop") return std::make_unique<CActionMS_Stop>(name);
  if (name == u"dwell") return std::make_unique<CActionDwell>(name);
  if (name == u"shift") return std::make_unique<CActionShift>(name);
  if (name == u"shiftback") return std::make_unique<CActionShiftBack>(name);
  return nullptr;
}

// -------------------------------------------------------------- scripts

CScript::~CScript() = default;

CScript CScript::FromText(WStringView text) {
  // A file written with CR LF would leave a CR in front of block names.
  WString t;
  t.reserve(text.size());
  for (char16_t c : text)
    if (c != u'\r') t.push_back(c);
  CScript script;
  ParseScriptText(t, [&script](const WString& name, const std::map<WString, WString>& items) {
    script.OnBlock(name, items);
  });
  return script;
}

void CScript::OnBlock(const WString& name, const std::map<WString, WString>& items) {
  if (name == u"action") {
    if (items.empty()) m_actions.emplace_back();  // the block's announcement
    return;
  }
  if (m_actions.empty() || items.empty()) return;
  Action& action = m_actions.back();
  const WString* type = Item(items, u"type");
  const WString* stepName = Item(items, u"name");
  if (name == u"info") {
    action.type = type ? ToShort(*type) : 0;
    action.name = stepName ? *stepName : WString();
  } else if (name == u"subact") {
    Step step;
    step.name = stepName ? *stepName : WString();
    step.type = type ? ToShort(*type) : 0;
    step.action = MakeAction(step.name);
    action.steps.push_back(std::move(step));
  }
}

int CScript::RepeatCount(bool hasK, double k) {
  if (!hasK || std::isnan(k) || k < 0.0) return 1;
  // K0 keeps the cycle for the following blocks and drills nothing here.
  if (k < 1.0 || k >= 10000.0) return 0;
  return static_cast<int>(k);
}

void CScript::Run(CScriptRun& run, const CGCCoord& cycle, const CGCCoord& start) const {
  run.repetitions = 0;
  if (m_actions.empty()) return;
  CGCCoordN<kMaxWords> currentStore, cycleStore;
  const CGCCoord current = currentStore.View();
  const CGCCoord cyc = cycleStore.View();
  current.CopyWords(cycle);
  cyc.CopyWords(cycle);
  const int kIndex = PlaneWordIndex(kWordK, run.planeCode);
  const int n = RepeatCount(cycle.IsSpecified(kIndex), cycle.GetValue(kIndex));
  for (int rep = 0; rep < n && !run.Full(); ++rep) {
    for (const Action& action : m_actions) {
      for (const Step& step : action.steps) {
        if (action.type == 8 && step.type == 1 && run.returnMode != 1) continue;
        if (step.action) step.action->Generate(run, current, cyc, start);
      }
    }
    ++run.repetitions;
    start.CopyWords(current);
    // The next hole.
    if (run.polar) {
      // Turned about the pole by the angle step, at the same radius: in the
      // programmed frame, then drawn through the transforms again.
      const double a = DegToRad(run.yShift);
      const double cs = std::cos(a);
      const double sn = std::sin(a);
      for (const CGCCoord* c : {&current, &cyc}) {
        const CPoint3d drawn(c->GetPosition(kWordX) - run.poleX, c->GetPosition(kWordY) - run.poleY, 0.0);
        const CPoint3d v = UnmapDisplacement(run.chain, drawn, run.planeCode);
        const CPoint3d turned =
            MapDisplacement(run.chain, CPoint3d(v.x * cs - v.y * sn, v.x * sn + v.y * cs, 0.0), run.planeCode);
        c->SetPosition(kWordX, run.poleX + turned.x);
        c->SetPosition(kWordY, run.poleY + turned.y);
      }
    } else {
      for (const CGCCoord* c : {&current, &cyc}) {
        if (c->IsSpecified(kWordX)) c->AddToPosition(kWordX, run.xShift);
        if (c->IsSpecified(kWordY)) c->AddToPosition(kWordY, run.yShift);
      }
    }
  }
}

// -------------------------------------------------------------- library

CScriptLibrary::CScriptLibrary(const std::string& folder) {
  // The folder is listed with the plain directory calls: the library's own
  // allocations then happen where their failure can be caught (the
  // error-code forms of the standard directory iterator allocate inside
  // functions that may not throw).
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
  if (!dir) return;
  std::vector<std::string> files;
  while (const dirent* e = ::readdir(dir.get())) files.emplace_back(e->d_name);
  dir.reset();
  for (const std::string& file : files) {
    if (file.empty() || file[0] != 'G') continue;
    if (file.size() < 4) continue;
    std::string ext = file.substr(file.size() - 4);
    for (char& ch : ext) ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch + 32 : ch);
    if (ext != ".txt") continue;
    struct stat st {};
    if (::stat((folder + "/" + file).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    const std::string key = file.substr(0, file.find('.'));
    if (key.size() > 31) continue;
    // "G81.old.txt" names the key G81, whose script is G81.txt.
    std::optional<std::string> bytes = ReadWholeFile(plat::ResolvePath(key + ".txt", folder));
    CScript script = bytes ? CScript::FromText(AnsiToWide(*bytes)) : CScript();
    m_scripts.insert_or_assign(plat::Utf8ToWide(key), std::move(script));
  }
}

const CScriptLibrary& CScriptLibrary::Instance() {
  // Read when the library starts; read here when that failed (the failure
  // of this read ends the parse that needed it, and the next one tries again).
  CLibraryState& lib = Lib();
  if (!lib.scripts) lib.scripts = std::make_shared<const CScriptLibrary>(plat::ExePath(u"CodeRule"));
  return *lib.scripts;
}

const CScript& CScriptLibrary::Find(WStringView name) const {
  static const CScript empty;
  auto it = m_scripts.find(name);
  return it == m_scripts.end() ? empty : it->second;
}

}  // namespace quillet
