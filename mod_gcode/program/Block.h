// One line (block) of an NC program: scanned into its sequence number,
// statement, code words and address words; its code words dispatched to the
// rule handlers, which create the block's instructions; later it builds its
// polylines, delivers its messages and is simulated.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "mod_gcode/tables/CodeRule.h"
#include "mod_gcode/instructions/Instruction.h"

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
  // The G51 of this line (its centre is completed like G68's).
  CGCInstruction* scaling = nullptr;
  // The G50.1 of this line and the mirror it cancels.
  CGCInstruction* mirrorCancel = nullptr;
  const CGCInstruction* mirrorBefore = nullptr;
  bool dropWords = false;
};

class CGCBlock {
 public:
  // Made only by a program's block store (see CBlockStore).
  CGCBlock(CGCBlock* previous, CGCProgram* program);
  ~CGCBlock();
  CGCBlock(const CGCBlock&) = delete;
  CGCBlock& operator=(const CGCBlock&) = delete;

  void SetLineNumber(int line) { m_line = line; }
  int GetLineNumber() const { return m_line; }
  void SetSequenceNumber(int n) { m_sequence = n; }
  int GetSequenceNumber() const { return m_sequence; }
  // The block that runs after this one in the program's flow (read ahead
  // by compensation and cycles), or null.
  void SetNext(CGCBlock* b);
  CGCBlock* GetNext() const;
  CGCProgram* GetProgram() const { return m_program; }

  // Messages queued while the line was interpreted. Most report an error,
  // which ends the run at this block; a notice (a zero byte read as a blank,
  // a hole fed in one move) only tells what the block was read as, and the
  // run goes on through it.
  bool HasMessages() const { return ExtraIfAny() && !ExtraIfAny()->messages.empty(); }
  bool HasErrors() const { return ExtraIfAny() && ExtraIfAny()->messages.size() > ExtraIfAny()->notices; }
  const std::vector<WString>* GetMessagesIfAny() const { return ExtraIfAny() ? &ExtraIfAny()->messages : nullptr; }
  std::vector<WString>& GetMessages();
  void AddMessage(WString text) { GetMessages().push_back(std::move(text)); }
  void AddNotice(WString text) {
    GetMessages().push_back(std::move(text));
    ++Ext().notices;
  }
  void RemoveLastMessage() noexcept {
    if (Extra* e = ExtraIfAny(); e && !e->messages.empty()) {
      e->messages.pop_back();
      e->notices = std::min(e->notices, e->messages.size());
    }
  }
  // Room kept in advance for one message that must reach a block when no
  // memory is left (the report that memory ran out).
  class MessageReserve;
  // Adds the reserved message without allocating (once per reserve; when
  // the block's messages fill the room, its last message gives way).
  void AddReservedMessage(MessageReserve& reserve) noexcept;

  bool IsStatement(short kind) const { return m_statement == kind; }
  short GetStatement() const { return m_statement; }
  void SetStatement(short kind) { m_statement = static_cast<std::int8_t>(kind); }
  bool IsEndOfProgram() const { return m_endOfProgram; }
  void SetEndOfProgram() { m_endOfProgram = true; }
  int GetPlane() const { return m_plane; }
  void SetPlane(int p) { m_plane = static_cast<std::int8_t>(p); }
  bool IsAbsolute() const { return m_absolute; }
  void SetAbsolute(bool a) { m_absolute = a; }
  // The base handed with every word given to an instruction (always 0).
  double GetWordBase() const { return 0.0; }
  const double* GetFeedRate() const { return m_feed.Ptr(); }
  double GetFeed() const { return m_feed; }
  void SetFeed(double f) { m_feed = f; }
  const int* GetLinePtr() const { return &m_line; }

  // Instructions, in creation order; the block owns them.
  void AddInstruction(CGCInstruction* instr);
  std::size_t InstructionCount() const {
    if (const Extra* e = ExtraIfAny()) return e->instructions.size();
    return m_instr ? 1 : 0;
  }
  CGCInstruction* InstructionAt(std::size_t i) const {
    if (const Extra* e = ExtraIfAny()) return e->instructions[i];
    return reinterpret_cast<CGCInstruction*>(m_instr);
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
  // The same for the first word of a letter in the line.
  bool FindLetterDigits(char16_t letter, WString& digits);
  short GetModalCode(int group) const;
  void SetModalCode(int group, short code);

 private:
  // Code dispatch and the rule handlers.
  int DispatchRule(WStringView code, int& index, CGCInstruction** previousMotion);
  void OnSettingCode(const CCodeRuleEntry& rule, CGCInstruction** previousMotion);
  void OnReferenceReturn(const CCodeRuleEntry& rule, CGCInstruction** previousMotion);
  void OnMotion(const CCodeRuleEntry& rule, CGCInstruction** previousMotion);
  // Whether the group 01 code at `index` of the line makes the block's move
  // (no later group 01 code, and a position programmed); else it only sets
  // the mode.
  bool MotionCodeMoves(const CCodeRuleEntry& rule, int index, bool& later) const;
  void SetMotionMode(const CCodeRuleEntry& rule, bool later);
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
  void RebaseOnWorkOffset(CGCInstruction* motion, const CGCInstruction* offsetInstr, unsigned named = 0);
  void KeepUnnamedAxesInPlace(CGCInstruction* motion, int axes = 3);
  // The coordinate system or the way words are read changes: the next
  // move's unnamed axes stay where the tool is.
  void KeepToolAfterChange();
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
  // The host's tool length of the tool in use (a work system adds it).
  double ToolLength() const;

  // What most blocks do not need: a second instruction and messages.
  struct Extra {
    std::vector<CGCInstruction*> instructions;  // all of them
    std::vector<WString> messages;
    std::size_t notices = 0;  // how many of the messages are notices
  };
  Extra& Ext();

 public:
  class MessageReserve {
   public:
    explicit MessageReserve(WStringView text);
    ~MessageReserve();
    MessageReserve(const MessageReserve&) = delete;
    MessageReserve& operator=(const MessageReserve&) = delete;

   private:
    friend class CGCBlock;
    static constexpr std::size_t kMessages = 8;
    WString m_text;
    std::unique_ptr<Extra> m_extra;   // for a block without one
    std::vector<WString> m_messages;  // for a block whose messages are full
    bool m_used = false;
  };

 private:
  // The extra part, when the instruction word holds one (tagged in its
  // lowest bit; instructions and extras are at least pointer-aligned).
  Extra* ExtraIfAny() const { return (m_instr & 1u) ? reinterpret_cast<Extra*>(m_instr & ~std::uintptr_t{1}) : nullptr; }

  // The program that owns the block, found from the block's address (see
  // CBlockStore); reads like a pointer to the program.
  struct ProgramLink {
    operator CGCProgram*() const;
    CGCProgram* operator->() const { return *this; }
  };

  // The only instruction, or the tagged extra part, or 0.
  // The block's feed: an index into its program's table of the feeds in
  // use (most blocks share a few); reads and assigns like a double.
  struct FeedLink {
    std::uint32_t index = 0;
    operator double() const { return *Ptr(); }
    FeedLink& operator=(double feed);
    const double* Ptr() const;
  };

  std::uintptr_t m_instr = 0;
  int m_line = 0;
  int m_sequence = 0;
  FeedLink m_feed;
  std::int8_t m_plane = 0;
  std::int8_t m_statement = kStmtNone;
  bool m_absolute : 1 = true;
  bool m_endOfProgram : 1 = false;
  // Where the next block is: none, the block made after this one, the one
  // after that (a skipped comment or jump line between), or the program's
  // table of other links.
  enum : std::uint8_t { kNextNone = 0, kNextFollower = 1, kNextSecond = 2, kNextLinked = 3 };
  std::uint8_t m_nextKind : 2 = kNextNone;
  [[no_unique_address]] ProgramLink m_program;
};

// The blocks of one program, in the order they were made (which is the
// order they run in). Blocks sit in 1 KB pages that start with the owning
// program's address, so a block finds its program from its own address
// instead of holding it; pages come in chunks that double up to 256 pages,
// so the frame of a short sub-program call costs one page.
class CBlockStore {
 public:
  static constexpr std::size_t kPageBytes = 1024;
  explicit CBlockStore(CGCProgram* program) : m_program(program) {}
  CBlockStore(const CBlockStore&) = delete;
  CBlockStore& operator=(const CBlockStore&) = delete;
  ~CBlockStore();

  CGCBlock* Make(CGCBlock* previous);
  std::size_t size() const { return m_count; }
  bool empty() const { return m_count == 0; }
  CGCBlock* operator[](std::size_t i) const {
    return reinterpret_cast<CGCBlock*>(m_pages[i / kPerPage] + kHeader + (i % kPerPage) * sizeof(CGCBlock));
  }
  // The program whose store holds the block at `address`.
  static CGCProgram* ProgramAt(const void* address) { return PageOf(address)->program; }
  // The block made after `block` (which this store holds), or null.
  CGCBlock* After(const CGCBlock* block) const;

  using iterator = IndexIterator<CBlockStore, CGCBlock*>;
  iterator begin() const { return iterator(this, 0); }
  iterator end() const { return iterator(this, m_count); }

 private:
  struct PageHeader {
    CGCProgram* program;
    std::size_t index;  // of the page in the store
  };
  static const PageHeader* PageOf(const void* address) {
    return reinterpret_cast<const PageHeader*>(reinterpret_cast<std::uintptr_t>(address) & ~(kPageBytes - 1));
  }
  static constexpr std::size_t kHeader = sizeof(PageHeader);
  static constexpr std::size_t kPerPage = (kPageBytes - kHeader) / sizeof(CGCBlock);
  struct FreeChunk {
    void operator()(std::byte* p) const { ::operator delete(p, std::align_val_t{kPageBytes}); }
  };
  CGCProgram* m_program;
  std::vector<std::byte*> m_pages;
  std::vector<std::unique_ptr<std::byte, FreeChunk>> m_chunks;
  std::size_t m_count = 0;
  std::size_t m_nextChunkPages = 1;
};

inline CGCBlock::ProgramLink::operator CGCProgram*() const { return CBlockStore::ProgramAt(this); }

// Whether a compact line's block is in absolute mode: the last G90 or G91
// anywhere in it decides; without one, the mode in force.
bool LineIsAbsolute(const WString& line, bool inForce);

// The last motion of the first block from `block` on that has one.
CGCInstruction* FindNextMotion(const CGCBlock* block);

}  // namespace quillet
