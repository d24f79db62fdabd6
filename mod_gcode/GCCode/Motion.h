// Rapid, linear and circular moves.
#pragma once
#include <memory>

#include "mod_gcode/GCCode/Instruction.h"

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
  // The tessellated arc in machine axes.
  void Tessellate(std::vector<CPoint3d>& points) const;

  std::unique_ptr<CGCPanelG17> m_plane;
  bool m_clockwise;
  bool m_solved = false;
};

}  // namespace quillet
