// Reference-point returns: the check (G27), the return through an
// intermediate point (G28, G30) and the return from the reference point
// (G29). The machine reference point is the origin of the path coordinates.
#pragma once
#include <vector>

#include "mod_gcode/instructions/Instruction.h"

namespace quillet {

class CGCInstructionReturnRefCheck : public CGCInstructionWords<3> {
 public:
  CGCInstructionReturnRefCheck(const ChainRef& chain, CGCInstruction* previous, CGCBlock* block)
      : CGCInstructionWords<3>(chain, previous, block, kKindRapid) {}
  void BuildPath(CPathSink& sink) override;
};

class CGCInstructionReturnRef : public CGCInstructionWords<3> {
 public:
  CGCInstructionReturnRef(const ChainRef& chain, CGCInstruction* previous, CGCBlock* block)
      : CGCInstructionWords<3>(chain, previous, block, kKindRapid) {}
  ~CGCInstructionReturnRef() override;
  int GetMoveCount() const override { return static_cast<int>(m_moves.size()); }
  CGCInstruction* GetMove(int i) const override;
  void ApplyTransforms() override;
  void BuildPath(CPathSink& sink) override;
  bool Report() override;
  bool IsDirect() const { return m_direct; }
  const CPoint3d& Intermediate() const { return m_intermediate; }

 private:
  void AddMove(const CPoint3d& to);
  void ClearMoves();

  CPoint3d m_intermediate;
  std::vector<CGCInstruction*> m_moves;
  bool m_direct = false;
};

class CGCInstructionReturnFromRef : public CGCInstructionWords<3> {
 public:
  CGCInstructionReturnFromRef(const ChainRef& chain, CGCInstruction* previous, CGCBlock* block)
      : CGCInstructionWords<3>(chain, previous, block, kKindRapid) {}
  void ApplyTransforms() override;
  void BuildPath(CPathSink& sink) override;

 private:
  // The intermediate point of the last return before this line.
  CPoint3d m_mid;
};

}  // namespace quillet
