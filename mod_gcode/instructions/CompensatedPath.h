// The drawn path of moves under cutter-radius compensation (G41/G42).
//
// Each line or arc of a compensated run is drawn on its offset element, from
// where the move before it ended to its corner with the next move that moves
// in the working plane. Moves without motion in the plane (a plunge or a
// retract along the tool axis) keep the offset of the move before them, and
// the look-ahead for a corner passes over them, at start-up, in the contour
// and before the cancel. It also reads on into a called sub-program or
// macro (the first repetition of a repeated call) and, at the end of one,
// past the return to the moves after the call:
//  - start-up: the move that turns compensation on ends offset from its end
//    point, square to the next move in the plane (radially for an arc);
//  - inside corners end where the two offset elements meet; where they do
//    not meet, the move's block gets a message and nothing of it is drawn
//    (the drawn path ends before it);
//  - outside corners: two lines that turn by up to 90 degrees meet where
//    their offsets cross, and so do a line and an arc, or two arcs, that
//    turn by less than 90 degrees where their offsets carried on past the
//    corner meet; at a sharper turn, at an arc where the offsets do not meet
//    so, and where a path turns back on itself without the offsets meeting,
//    the offset ends are joined by straight moves along the elements'
//    directions that pass outside the programmed corner (one corner point up
//    to a turn of 90 degrees, beyond it two extension points, each one
//    radius past its element's offset end);
//  - the move before the cancel (G40) ends where its offset meets the offset
//    of the cancel move, which then runs from there to its programmed end;
//  - the last move of a program without a cancel ends at its own offset end.
// A mirror of one axis of the plane swaps the sides. With cutter radius 0
// the path is the programmed path.
#pragma once

#include "mod_gcode/geometry/Geometry.h"
#include "mod_gcode/instructions/Instruction.h"

namespace quillet {

class CGCInstructionCircular;

// The compensated path of a line or rapid move that is compensated or ends
// compensation; false when the plain path is to be drawn.
bool BuildCompensatedLine(const CGCInstruction& line, CPathSink& sink);

// The compensated path of a compensated arc; false when the plain path is to
// be drawn.
bool BuildCompensatedArc(const CGCInstructionCircular& arc, CPathSink& sink);

// Whether the cutter of a compensated move fits the solved arc: false when
// the cutter runs inside the arc and its radius exceeds the arc's.
bool CutterFitsArc(const CGCInstruction& instr, const CGraphicCircle& arc);

// Whether an arc move is where compensation starts (the first compensated
// move in the plane) or is cancelled (the first move after a compensated
// one): the control takes neither on an arc.
bool CompensationChangesOnArc(const CGCInstruction& arc);

// Lives on the stack of a path build: while it does, each compensated move
// of the build hands what it found out about the moves before it (the run
// of moves that leave the plane) to the move after, so a long run costs
// each move one step instead of a walk back over the run.
class CCompensationBuildScope {
 public:
  CCompensationBuildScope();
  ~CCompensationBuildScope();
  CCompensationBuildScope(const CCompensationBuildScope&) = delete;
  CCompensationBuildScope& operator=(const CCompensationBuildScope&) = delete;

  // The run before `move`: how many compensated moves that leave the plane
  // come right before it, and the move before them (null: none).
  struct Run {
    const CGCInstruction* move = nullptr;
    int length = 0;
    const CGCInstruction* end = nullptr;
  };
  // The run found last in this build.
  Run& Last() { return m_last; }

 private:
  Run m_last;
  CCompensationBuildScope* m_outer;
};

}  // namespace quillet
