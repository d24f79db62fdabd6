// Rapid, linear and circular moves.
//
// Under cutter-radius compensation (G41/G42) a line or an arc draws, in
// place of its plain path, a compensated polyline (CompensatedPath.h): its
// corner with the next motion in the plane is solved and kept as the move's
// path end, where the next compensated move starts. The moves that start
// and end compensation are drawn in the rapid style.
#pragma once
#include <memory>

#include "mod_gcode/instructions/Instruction.h"

namespace quillet {

class CGCPanelG17;

class CGCInstructionLine : public CGCInstructionWords<3> {
 public:
  CGCInstructionLine(const ChainRef& chain, CGCInstruction* previous, CGCBlock* block, short kind)
      : CGCInstructionWords<3>(chain, previous, block, kind) {}
  ~CGCInstructionLine() override;

  void AppendSegment(CPathSink& sink) override;
  void BuildPath(CPathSink& sink) override;
  bool Report() override;
  void ApplyTransforms() override;

 protected:
  virtual const CPathStyle& PlainStyle() const;
  // The macro call made after this move while G66 was active, or null.
  CGCInstruction* ModalMacroCall() const;

 private:
  // Appends the compensated polyline when this line starts, continues or
  // ends compensation; false when the plain path is to be drawn.
  bool BuildCompensatedPath(CPathSink& sink);
};

class CGCInstructionLineRapidTraverse : public CGCInstructionLine {
 public:
  using CGCInstructionLine::CGCInstructionLine;

 protected:
  const CPathStyle& PlainStyle() const override;
};

class CGCInstructionCircular : public CGCInstructionWords<7> {
 public:
  CGCInstructionCircular(const ChainRef& chain, CGCInstruction* previous, CGCBlock* block, short kind);
  ~CGCInstructionCircular() override;

  void BuildPath(CPathSink& sink) override;
  void AppendToPolyline(std::vector<CPoint3d>& points) override;
  bool Report() override;
  void SetWordValue(int index, double programmed, bool absolute) override;
  void ApplyTransforms() override;
  bool SolveArcByRadius(bool clockwise);
  bool SolveArcByCentre(bool clockwise);
  bool IsClockwise() const { return m_clockwise; }
  // Whether the arc could be solved (an impossible arc gets a block message).
  bool IsSolved() const { return m_solved; }
  CGCPanelG17* Plane() const { return m_plane.get(); }

 private:
  CGCPanelG17& EnsurePlane();
  // Appends the compensated polyline of a compensated arc; false when the
  // plain path is to be drawn.
  bool BuildCompensatedPath(CPathSink& sink);
  // The tessellated arc in machine axes.
  void Tessellate(std::vector<CPoint3d>& points) const;
  // The arc's own records, without a modal macro call after it.
  bool ReportArc();

  std::unique_ptr<CGCPanelG17> m_plane;
  bool m_clockwise;
  bool m_solved = false;
};

}  // namespace quillet
