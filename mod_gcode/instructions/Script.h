// Drilling-cycle scripts: what a canned cycle does is not coded per G number.
// Each cycle code has a script file in the "CodeRule" folder beside the
// executable ("G81.txt" for G81) that lists its steps by name; every step
// name becomes an action object that generates moves, dwells and spindle
// commands into the cycle's list of generated instructions.
//
// A script file is a sequence of blocks
//   action={info={type=0,name=drill}subact={name=positioning,type=0}...}
// read with ParseScriptText: one "action" block per group of steps, its
// "info" block giving the action's type and name, each "subact" block one
// step with its name and type. In an action of type 8 the steps of type 1
// run only when the cycle returns to the initial level (return mode 1, G98).
//
// The library is read once, on first use, and never changed afterwards:
// scripts and their action objects are shared by every program and thread,
// so everything that changes while a script runs travels in CScriptRun.
#pragma once
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "mod_gcode/geometry/Coord.h"
#include "mod_gcode/instructions/Instruction.h"

namespace quillet {

// Colour of a generated move drawn in its own colour.
struct CMoveColour {
  float r = 0.f, g = 0.f, b = 0.f, a = 1.f;
};

// One run of a script for one cycle instruction: where the generated
// instructions go and the values the actions read besides the coordinates.
struct CScriptRun {
  // Upper bound of the pecks of one hole: a peck depth far smaller than the
  // hole is reported instead of generating millions of moves.
  static constexpr int kMaxPecks = 10000;

  std::vector<CGCInstruction*>* generated = nullptr;
  // Storage of the generated instructions (the heap when null); they end
  // with CGCInstruction::Dispose either way.
  CInstructionArena* arena = nullptr;
  // The cycle block's message list (may be null).
  std::vector<WString>* messages = nullptr;
  double initialLevel = 0.0;  // the Z level at which the cycle started
  short returnMode = 1;       // 1 back to the initial level, other values to R
  bool polar = false;
  double xShift = 0.0;  // the programmed X and Y of an incremental cycle
  double yShift = 0.0;  // in polar mode the angle step of the repetitions
  double poleX = 0.0;   // the pole of polar mode as drawn, in the plane's order
  double poleY = 0.0;
  // The cycle's transforms (scaling, mirror, rotation): polar steps turn
  // the programmed pattern, which is then drawn through them.
  const CTransformChain* chain = nullptr;
  double spindleSpeed = 0.0;  // the programmed S
  int planeCode = 0;  // the cycle's plane: generated moves keep its axis order
  int pecks = 0;      // peck counter of the peck action that runs
  int repetitions = 0;  // repetitions done by the last Run

  // How many instructions the run may make (the program's budget); once
  // it is reached, further ones are not made and the run stops early.
  std::size_t moveLimit = static_cast<std::size_t>(-1);
  bool Full() const { return generated->size() >= moveLimit; }

  template <class T, class... A>
  T* Add(A&&... args) {
    if (Full()) return nullptr;
    T* p = arena ? CGCInstruction::Make<T>(*arena, std::forward<A>(args)...) : new T(std::forward<A>(args)...);
    generated->push_back(p);
    return p;
  }
  // Appends a message once (a repeated cycle would repeat it otherwise).
  void AddMessage(const char16_t* text);
};

// The three coordinate sets an action sees: current is the running position
// of the tool, which the moves change; cycle holds the cycle's words (X, Y,
// Z, I, J, K, R, P, Q) with their transformed positions (the R position is
// the R level, the Z position the hole bottom); start is the position before
// the repetition.
class CAction {
 public:
  CAction() = default;
  explicit CAction(WString name) : m_name(std::move(name)) {}
  virtual ~CAction();
  CAction(const CAction&) = delete;
  CAction& operator=(const CAction&) = delete;

  virtual void Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle, const CGCCoord& start);
  virtual void Reset(CScriptRun&) {}
  virtual void AfterPeck(CScriptRun&, const CGCCoord&, const CGCCoord&, const CGCCoord&) {}
  virtual double BeforeNextPeck(CScriptRun&, const CGCCoord&, const CGCCoord&, const CGCCoord&) { return 0.0; }

  const WString& Name() const { return m_name; }
  double Clearance() const { return m_clearance; }

  // Moves the tool by `delta` along the drilling axis (word 2) or the
  // plane's second axis (word 1) and appends the move (kind 1 rapid, 2 feed).
  // A move shorter than 1e-9 is not generated.
  static void MoveAlongZ(CScriptRun& run, const CGCCoord& current, double delta, bool coloured, short kind,
                         const CMoveColour& colour = CMoveColour());
  static void MoveAlongSecondAxis(CScriptRun& run, const CGCCoord& current, double delta, bool coloured, short kind,
                                  const CMoveColour& colour = CMoveColour());

 protected:
  WString m_name;
  double m_clearance = 1.0;  // retract and re-approach allowance of the peck steps

 private:
  static void MoveAlong(int word, CScriptRun& run, const CGCCoord& current, double delta, bool coloured, short kind,
                        const CMoveColour& colour);
};

// "positioning": rapid to the hole's X and Y at the current height.
class CActionPositioning : public CAction {
 public:
  using CAction::CAction;
  void Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle, const CGCCoord& start) override;
};

// "move2r": rapid along Z to the R level.
class CActionMove2R : public CAction {
 public:
  using CAction::CAction;
  void Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle, const CGCCoord& start) override;
};

// "machiningHole": feed to the bottom in pecks of Q.
class CActionMachiningHole : public CAction {
 public:
  using CAction::CAction;
  void Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle, const CGCCoord& start) override;
  void Reset(CScriptRun& run) override { run.pecks = 0; }
};

// "machiningHoleTorque": pecks of Q with a rapid back to R after each peck
// and a rapid down to the clearance above the depth reached before the next.
class CActionMachiningHoleTorque : public CActionMachiningHole {
 public:
  using CActionMachiningHole::CActionMachiningHole;
  void AfterPeck(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle, const CGCCoord& start) override;
  double BeforeNextPeck(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle,
                        const CGCCoord& start) override;
};

// "machiningHoleWithC": pecks that each end Q below the one before, with a
// retract of the clearance between them (the next peck feeds the clearance
// and Q); without a positive Q, one feed to the bottom.
class CActionMachiningHoleWithClearence : public CActionMachiningHole {
 public:
  using CActionMachiningHole::CActionMachiningHole;
  void Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle, const CGCCoord& start) override;
};

// "machiningHoleQOffset": one feed to the bottom.
class CActionMachiningHoleQOffset : public CAction {
 public:
  using CAction::CAction;
  void Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle, const CGCCoord& start) override;
};

// "return2R": rapid up to the R level.
class CActionReturn2R : public CAction {
 public:
  using CAction::CAction;
  void Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle, const CGCCoord& start) override;
};

// "return2initP": rapid up to the initial level.
class CActionReturn2InitP : public CAction {
 public:
  using CAction::CAction;
  void Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle, const CGCCoord& start) override;
};

// "feed2R": feed along Z back to the R level (tapping and boring cycles
// that leave the hole at feed).
class CActionFeed2R : public CAction {
 public:
  using CAction::CAction;
  void Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle, const CGCCoord& start) override;
};

// "feed2Z": feed along Z to the Z level, up or down (back boring feeds up
// from the R level below the part to Z).
class CActionFeed2Z : public CAction {
 public:
  using CAction::CAction;
  void Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle, const CGCCoord& start) override;
};

// "ms_cw", "ms_ccw", "ms_stop": spindle clockwise, counter-clockwise, stop.
class CActionMS_CW : public CAction {
 public:
  using CAction::CAction;
  void Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle, const CGCCoord& start) override;
};
class CActionMS_CCW : public CAction {
 public:
  using CAction::CAction;
  void Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle, const CGCCoord& start) override;
};
class CActionMS_Stop : public CAction {
 public:
  using CAction::CAction;
  void Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle, const CGCCoord& start) override;
};

// "dwell": a dwell of the cycle's P.
class CActionDwell : public CAction {
 public:
  using CAction::CAction;
  void Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle, const CGCCoord& start) override;
};

// "shift", "shiftback": rapid by +Q / -Q along the plane's second axis.
class CActionShift : public CAction {
 public:
  using CAction::CAction;
  void Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle, const CGCCoord& start) override;
};
class CActionShiftBack : public CAction {
 public:
  using CAction::CAction;
  void Generate(CScriptRun& run, const CGCCoord& current, const CGCCoord& cycle, const CGCCoord& start) override;
};

// The action object of a step name (exact, case-sensitive); null for a name
// that is not an action.
std::unique_ptr<CAction> MakeAction(const WString& name);

class CScript {
 public:
  struct Step {
    WString name;
    short type = 0;
    std::unique_ptr<CAction> action;  // null when the name is not an action
  };
  struct Action {
    WString name;
    short type = 0;
    std::vector<Step> steps;
  };

  CScript() = default;
  virtual ~CScript();
  CScript(const CScript&) = delete;
  CScript& operator=(const CScript&) = delete;
  CScript(CScript&&) = default;
  CScript& operator=(CScript&&) = default;

  // Reads the script text (CR is dropped first).
  static CScript FromText(WStringView text);

  bool Empty() const { return m_actions.empty(); }
  const std::vector<Action>& Actions() const { return m_actions; }

  // Runs the actions K times (K at the cycle's word 5 in machine order: the
  // run's plane gives its index). Nothing at all for K from 0 to below 1 and
  // for K of 10000 or more, once for K absent, negative or not a number.
  // Between repetitions the hole moves by the shifts (in polar mode it turns
  // about the pole by the angle step). `start` is the position before
  // the cycle and is updated to the tool's position after each repetition.
  void Run(CScriptRun& run, const CGCCoord& cycle, const CGCCoord& start) const;

  // The number of repetitions of a K value.
  static int RepeatCount(bool hasK, double k);

 private:
  void OnBlock(const WString& name, const std::map<WString, WString>& items);

  std::vector<Action> m_actions;
};

// The scripts by cycle name (the file name up to its first ".").
class CScriptLibrary {
 public:
  // Reads every "*.txt" file of the folder whose name begins with an
  // upper-case "G". A missing folder gives an empty library.
  explicit CScriptLibrary(const std::string& folder);
  CScriptLibrary(const CScriptLibrary&) = delete;
  CScriptLibrary& operator=(const CScriptLibrary&) = delete;

  // The library of the "CodeRule" folder beside the executable: read when
  // the library starts (Load), or on first use when that read failed.
  static const CScriptLibrary& Instance();

  // The script of a cycle name; an empty script for a name without one.
  const CScript& Find(WStringView name) const;
  bool Has(WStringView name) const { return m_scripts.count(WString(name)) != 0; }
  std::size_t Size() const { return m_scripts.size(); }

 private:
  std::map<WString, CScript, std::less<>> m_scripts;
};

}  // namespace quillet
