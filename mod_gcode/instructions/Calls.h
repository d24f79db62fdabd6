// Sub-program and macro calls: M98 runs a sub-program file as a child
// frame at the place of the call, M99 returns, G65 calls a macro program
// with arguments, G66 calls it after every move until G67.
#pragma once
#include <memory>
#include <utility>
#include <vector>

#include "mod_gcode/instructions/Instruction.h"

namespace quillet {

class CGCProgramPath;

// Sub-program call (kind 13, with its child frame) and return (kind 14).
class CGCInstructionSub : public CGCInstructionWords<3> {
 public:
  CGCInstructionSub(CGCInstruction* previous, CGCBlock* block, short kind);
  CGCInstructionSub(CGCInstruction* previous, CGCBlock* block, short kind, std::unique_ptr<CGCProgramPath> child);
  ~CGCInstructionSub() override;
  void AttachChildText() override;
  void BuildPath(CPathSink& sink) override;
  bool Report() override;
  CGCProgramPath* Child() const { return m_child.get(); }
  // The first motion of the child's blocks (each block read from its last
  // instruction back), or null.
  CGCInstruction* FindChildMotion() const override;

 private:
  std::unique_ptr<CGCProgramPath> m_child;
};

// Macro call (G65, and the calls G66 makes after linear moves).
class CGCInstructionSubMacro : public CGCInstructionWords<3> {
 public:
  CGCInstructionSubMacro(CGCInstruction* previous, CGCBlock* block);
  ~CGCInstructionSubMacro() override;
  void SetWordText(int index, WStringView text, double base, bool absolute) override;
  void ApplyTransforms() override;
  bool Report() override;
  void BuildPath(CPathSink& sink) override;
  // Arguments, program and repeat count taken over from a modal call.
  void CopyCallFrom(const CGCInstructionSubMacro& modal);
  const CGCCoordN<3>& EndWords() const { return m_endWords; }
  const std::vector<std::unique_ptr<CGCProgramPath>>& Children() const { return m_children; }
  CGCInstruction* FindChildMotion() const override;

 private:
  std::vector<std::pair<short, double>> m_arguments;
  std::vector<std::unique_ptr<CGCProgramPath>> m_children;
  CGCCoordN<3> m_endWords;
  WString m_program;
  WString m_repeatText;  // the L as written, for the refusal
  int m_repeat = 0;
  double m_repeatValue = 0.0;
};

class CGCProgram;

// Makes the modal macro call (G66) of `to` the one `from` holds, or none:
// a sub-program (M98) runs under its caller's G66, and a G66 or G67 in it
// lasts after M99.
void CopyModalMacroCall(CGCProgram& from, CGCProgram& to, CGCBlock* block);

// Splits the P text of M98 into the program number ("%04d") and the repeat
// count: "1234" -> 1234 x1, "21234" -> 1234 x2, "12" -> 0012, "1234L3" -> x3.
void SplitSubProgramCall(WString& text, int& count);

// The control's largest repeat count (L) of M98 and G65.
constexpr int kMaxRepeatCount = 9999;
// False, with a message on the block that quotes the count as written, when
// a call's repeat count is larger or below 0.
bool RepeatCountAllowed(double count, WStringView written, CGCBlock* block);

// The whole number a call's P or L value names: a value from a variable or
// an expression rounds to the nearest whole number. False when it is no
// number a call can use (below 0, too large, not a number).
bool WholeCallNumber(double value, long long& number);

}  // namespace quillet
