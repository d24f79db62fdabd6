// One line (block) of an NC program: scanned into its sequence number,
// statement, code words and address words; its code words dispatched to the
// rule handlers, which create the block's instructions; later it builds its
// polylines, delivers its messages and is simulated.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mod_gcode/GCCode/CodeRule.h"
#include "mod_gcode/GCCode/Instruction.h"

namespace quillet {

class CGCProgram;

// Statement kinds of a line.
enum StatementKind : short {
  kStmtNone = -1, kStmtIf = 0, kStmtWhile = 1, kStmtEnd = 2, kStmtGoto = 3, kStmtWhileFalse = 4,
  kStmtOther = 100
};

// An address word read before the line had an instruction to take it. The
// index is the machine word index; the receiving instruction maps it to its
// own plane order.
struct PendingWord {
  static constexpr std::size_t kMaxText = 24;
  int index = 0;
  std::uint8_t length = 0;
  char16_t text[kMaxText] = {};
  WStringView View() const { return WStringView(text, length); }
};

// Scratch state of the line being parsed (one per program, reused).
struct CLineScan {
  std::vector<PendingWord> pending;
  CGCInstruction* current = nullptr;  // the instruction later address words go to
  CGCInstruction* previousMotionAtStart = nullptr;
  int statementStart = 0;
  bool macroArgs = false;
  // The G92 of this line and the offset it replaces.
  CGCInstruction* partZero = nullptr;
  CPoint3d partZeroOld;
  // The G53 of this line (its move is in machine coordinates), the G68 of
  // this line (its centre is completed at the end of the line), and whether
  // a refused code's words are to be dropped.
  CGCInstruction* machine = nullptr;
  CGCInstruction* rotation = nullptr;
  // The G50.1 of this line and the mirror it cancels.
  CGCInstruction* mirrorCancel = nullptr;
  const CGCInstruction* mirrorBefore = nullptr;
  bool dropWords = false;
};

class CGCBlock {
 public:
  CGCBlock() = default;
  CGCBlock(CGCBlock* previous, CGCProgram* program);
  ~CGCBlock();
  CGCBlock(const CGCBlock&) = delete;
  CGCBlock& operator=(const CGCBlock&) = delete;

  void SetLineNumber(int line) { m_line = line; }
  int GetLineNumber() const { return m_line; }
  void SetSequenceNumber(int n) { m_sequence = n; }
  int GetSequenceNumber() const { return m_sequence; }
  void SetNext(CGCBlock* b) { m_next = b; }
  CGCBlock* GetNext() const { return m_next; }
  CGCProgram* GetProgram() const { return m_program; }

  // Messages queued while the line was interpreted.
  bool HasMessages() const { return m_extra && !m_extra->messages.empty(); }
  const std::vector<WString>* GetMessagesIfAny() const { return m_extra ? &m_extra->messages : nullptr; }
  std::vector<WString>& GetMessages();
  void AddMessage(WString text) { GetMessages().push_back(std::move(text)); }

  bool IsStatement(short kind) const { return m_statement == kind; }
  short GetStatement() const { return m_statement; }
  void SetStatement(short kind) { m_statement = kind; }
  bool IsEndOfProgram() const { return m_endOfProgram; }
  void SetEndOfProgram() { m_endOfProgram = true; }
  int GetPlane() const { return m_plane; }
  void SetPlane(int p) { m_plane = static_cast<short>(p); }
  bool IsAbsolute() const { return m_absolute; }
  void SetAbsolute(bool a) { m_absolute = a; }
  // The base handed with every word given to an instruction (always 0).
  double GetWordBase() const { return 0.0; }
  double* GetFeedRate() { return &m_feed; }
  double GetFeed() const { return m_feed; }
  void SetFeed(double f) { m_feed = f; }
  const int* GetLinePtr() const { return &m_line; }

  // Instructions, in creation order; the block owns them.
  void AddInstruction(CGCInstruction* instr);
  std::size_t InstructionCount() const {
    return m_extra && !m_extra->instructions.empty() ? m_extra->instructions.size() : (m_first ? 1 : 0);
  }
  CGCInstruction* InstructionAt(std::size_t i) const {
    return m_extra && !m_extra->instructions.empty() ? m_extra->instructions[i] : m_first;
  }
  void DestroyInstructions();

  // Parses and interprets the line, given in its compact form
  // (CompactBlockText: no blanks, no comments, upper case). Result: 0
  // ordinary line, -2 syntax error (reported into the message list), > 0 a
  // jump target or loop number of a macro statement.
  int ParseLine(WString& line, CGCInstruction** previousMotion);
  // The post-parse step: every instruction's coordinates through its
  // transforms.
  void ApplyTransforms();
  // The path pass into `sink`, then the message delivery.
  void BuildPath(CPathSink& sink);
  // Delivers the messages to the host's message callback (when installed).
  void DeliverMessages() const;
  // The simulation pass; the result of the last report.
  bool Simulate();

  static CGCInstruction* FindLastMotion(const CGCBlock* block);

  // --- used by the handlers and the macro statements ---
  CGCProgram* Program() const { return m_program; }
  CLineScan& Scan();
  void FlushPendingWords(CGCInstruction* instr);
  void QueueWord(int index, WStringView text);
  // The number behind the first occurrence of the rule's address letter.
  // A value from a variable or an expression (P#1) is rounded to a whole
  // number; its problems go to the message list.
  bool FindAddressDigits(const CCodeRuleEntry& rule, WString& digits);
  short GetModalCode(int group) const;
  void SetModalCode(int group, short code);

 private:
  // Code dispatch and the rule handlers.
  int DispatchRule(WStringView code, int& index, CGCInstruction** previousMotion);
  void OnSettingCode(const CCodeRuleEntry& rule, CGCInstruction** previousMotion);
  void OnReferenceReturn(const CCodeRuleEntry& rule, CGCInstruction** previousMotion);
  void OnMotion(const CCodeRuleEntry& rule, CGCInstruction** previousMotion);
  void OnPlane(const CCodeRuleEntry& rule);
  void OnDistanceMode(const CCodeRuleEntry& rule);
  void OnFeedMode(const CCodeRuleEntry& rule);
  void OnUnits(const CCodeRuleEntry& rule);
  void OnCutterCompensation(const CCodeRuleEntry& rule);
  void OnToolLengthOffset(const CCodeRuleEntry& rule);
  void OnCannedCycle(const CCodeRuleEntry& rule, CGCInstruction** previousMotion);
  void OnReturnMode(const CCodeRuleEntry& rule);
  void OnScaling(const CCodeRuleEntry& rule);
  void OnModalMacro(const CCodeRuleEntry& rule, CGCInstruction** previousMotion);
  void OnWorkCoordinateSystem(const CCodeRuleEntry& rule);
  void OnRotation(const CCodeRuleEntry& rule, CGCInstruction** previousMotion);
  void OnPolar(const CCodeRuleEntry& rule);
  void OnMirror(const CCodeRuleEntry& rule);
  void OnLetterWord(const CCodeRuleEntry& rule, WStringView number);
  void OnMCode(const CCodeRuleEntry& rule, int& index, CGCInstruction** previousMotion);
  void OnDNumber(const CCodeRuleEntry& rule);

  void BuildRapid(const CCodeRuleEntry& rule, CGCInstruction** previousMotion);
  void BuildLine(const CCodeRuleEntry& rule, CGCInstruction** previousMotion);
  void BuildMotion(const CCodeRuleEntry& rule, CGCInstruction** previousMotion, bool rapid);
  void BuildCircular(const CCodeRuleEntry& rule, CGCInstruction** previousMotion);
  void BuildCycle(const CCodeRuleEntry& rule, CGCInstruction** previousMotion);
  CGCInstruction* BuildMCodeState(short mNumber);
  class CGCInstructionGlobal* SetModalInstruction(int group, const CCodeRuleEntry& rule);
  void SetModalInstructionWords(CGCInstruction* instr, int count);
  void CarryMotionWords(CGCInstruction* motion, const CGCInstruction* from);
  void ConsumeWorkOffsetChange(CGCInstruction* motion);
  void RebaseOnWorkOffset(CGCInstruction* motion, const CGCInstruction* offsetInstr);
  void ApplyCompensationState(CGCInstruction* motion);
  // Whether new words are inch words, and the polar-mode exception for Y.
  bool InchWords() const;
  bool PolarInch() const;
  CGCDimWordMM NewWord(int index, bool polarRule) const;
  // Creates a word at a machine index of an instruction (mapped for its plane).
  void GiveWord(CGCInstruction* instr, int machineIndex, const CGCDimWordMM& word);
  void RejectInModes(const char16_t* tabs);
  void CallSubProgram(WString text, CGCInstruction** previousMotion);
  int ReadSequenceNumber(int& index);
  // An expression's value; its problems go to the message list.
  double Evaluate(WStringView expression);
  int ReadAddressWord(int& index);
  int ReadCodeWord(int& index, CGCInstruction** previousMotion);
  // Reads the value characters behind the letter at `index`. Mode 0 plain,
  // 1 expression ("#" seen), 2 statement keyword.
  // The text of a word: a view into the line being parsed, or of the
  // two-character keyword kept in `key`.
  struct WordText {
    WStringView view;
    char16_t key[2] = {};
  };
  int ReadStatement(int& index, WordText& word, int& exprStart);
  void FinishLine(CGCInstruction** previousMotion);
  // Whether the pending words program a position for the modal move `rule`.
  bool PendingWordsMove(const CCodeRuleEntry& rule) const;
  // G50.1: the mirrored axes the cancel does not name stay mirrored.
  void KeepUnnamedMirrorAxes(CGCInstruction* cancel, const CGCInstruction* before);
  // Makes the line's move a rapid move in machine coordinates (G53).
  void MoveInMachineCoordinates(CGCInstruction* motion, CGCInstruction* machine);
  // Where the tool is, in the program coordinates of the work system in
  // force (machine axis order).
  CPoint3d ProgramPosition(const CGCInstruction* previous) const;

  // What most blocks do not need: a second instruction and messages.
  struct Extra {
    std::vector<CGCInstruction*> instructions;  // all of them, once there are two
    std::vector<WString> messages;
  };
  Extra& Ext();

  CGCInstruction* m_first = nullptr;
  std::unique_ptr<Extra> m_extra;
  double m_feed = 0.0;
  int m_line = 0;
  int m_sequence = 0;
  CGCBlock* m_next = nullptr;
  CGCProgram* m_program = nullptr;
  short m_plane = 0;
  short m_statement = kStmtNone;
  bool m_absolute = true;
  bool m_endOfProgram = false;
};

// The last motion of the first block from `block` on that has one.
CGCInstruction* FindNextMotion(const CGCBlock* block);

}  // namespace quillet
