// Instructions that change the machine state instead of moving it: modal
// settings, work coordinate systems, part zero, local coordinates, dwell,
// M-code states, data input (G10), tool change and the sub-program return.
#pragma once
#include "mod_gcode/instructions/Instruction.h"

namespace quillet {

class CGCInstructionGlobal : public CGCInstructionWords<8> {
 public:
  CGCInstructionGlobal(const ChainRef& chain, CGCInstruction* previous, CGCBlock* block, short kind, short code)
      : CGCInstructionWords<8>(chain, previous, block, kind), m_code(code) {}
  short GetModalCode() const override { return m_code; }
  bool HasModalCode() const override { return m_code > 0; }
  void SetModalCode(short code) override { m_code = code; }
  void SetWordValue(int index, double programmed, bool absolute) override;
  bool IsModalState() const override { return true; }

 protected:
  short m_code;
};

// Coordinate rotation (G68/G69); defines the rotation transform. Its words
// follow the ordinary rule, so an incremental angle adds to the one held.
class CGCInstructionGlobalForRIns : public CGCInstructionGlobal {
 public:
  using CGCInstructionGlobal::CGCInstructionGlobal;
  void SetWordValue(int index, double programmed, bool absolute) override;
};

// Local coordinate system (G52): shifts the current work coordinate system
// on the axes it names.
class CGCInstructionGlobalLocalCoordSet : public CGCInstructionGlobal {
 public:
  using CGCInstructionGlobal::CGCInstructionGlobal;
  void SetWordValue(int index, double programmed, bool absolute) override;
};

// Part zero setting (G92): the named axes take the programmed coordinate at
// the current position.
class CGCInstructionGlobalPartZero : public CGCInstructionGlobal {
 public:
  using CGCInstructionGlobal::CGCInstructionGlobal;
  void SetWordValue(int index, double programmed, bool absolute) override;
};

// Work coordinate system selection (group 25); defines the reference-point
// transform.
class CGCInstructionGlobalWPZeor : public CGCInstructionGlobalPartZero {
 public:
  using CGCInstructionGlobalPartZero::CGCInstructionGlobalPartZero;
  void SetWordValue(int index, double programmed, bool absolute) override {
    CGCInstructionGlobal::SetWordValue(index, programmed, absolute);
  }
};

// Programmable data input (G10): writes offsets or work coordinates.
class CGCInstructionPParam : public CGCInstructionWords<15> {
 public:
  CGCInstructionPParam(const ChainRef& chain, CGCInstruction* previous, CGCBlock* block)
      : CGCInstructionWords<15>(chain, previous, block, kKindComH) {}
  void ApplyTransforms() override;

 private:
  // Writes nothing and gives the block the reason.
  void Refuse(WString text);
};

// Tool change (M06): Z goes to the tool's length from the host, X and Y stay.
class CGCInstructionChangeTool : public CGCInstructionWords<4> {
 public:
  CGCInstructionChangeTool(const ChainRef& chain, CGCInstruction* previous, CGCBlock* block)
      : CGCInstructionWords<4>(chain, previous, block, kKindChangeTool) {}
  void ApplyTransforms() override;
  void BuildPath(CPathSink& sink) override;
};


}  // namespace quillet
