// One frame of an NC program: the top-level program of a parse, or the
// program of a sub-program or macro call. It splits its text into lines,
// runs every line through a block in the order the program's jumps and loops
// dictate, holds the modal state the blocks read and change, and afterwards
// builds the per-block tool-path lists, simulates the program and
// highlights one block's path.
#pragma once
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <memory_resource>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "mod_gcode/text/LineTable.h"
#include "mod_gcode/program/Block.h"
#include "mod_gcode/tables/CodeRule.h"
#include "mod_gcode/tables/DataTables.h"
#include "mod_gcode/geometry/PathArena.h"
#include "mod_gcode/instructions/Transform.h"
#include "platform/Host.h"

namespace quillet {

class CGCProgramPath;

// Rarely used state of an instruction, kept beside it by its program: the
// cutter radius of a compensated move, the corrected end of its path and the
// polyline built for it.
struct CInstrExtra {
  double compRadius = 0.0;
  CPoint3d pathEnd;
  CPathPolyline* compensated = nullptr;
  // How many of its last points are the straight moves that join its own
  // element to the next move (they pass outside a sharp corner).
  std::uint8_t compensatedJoins = 0;
  // The modal macro call (G66) made after a move, and the copy of the move
  // it starts from.
  std::unique_ptr<CGCInstruction> macroStart;
  std::unique_ptr<CGCInstruction> macroCall;
};

class CGCProgram {
 public:
  static constexpr int kFirstModalGroup = 19;
  static constexpr int kModalGroups = 15;  // 19 to 33
  // Upper bound on executed blocks of one parse, so that an endless jump
  // ends with a message instead of exhausting memory.
  static constexpr std::size_t kDefaultMaxExecutedBlocks = 20'000'000;
  static void SetExecutedBlockLimit(std::size_t limit);
  static std::size_t ExecutedBlockLimit();
  // Upper bound on the work of one parse: the characters of the executed
  // blocks (and of the sub-program texts each call reads), this many per
  // executed block of the limit above, so that a loop over long blocks
  // ends as soon as a loop over short ones.
  static constexpr std::size_t kWorkPerBlock = 16;
  // Upper bound on the bytes a parse holds: its instructions, blocks, call
  // frames and the path points its moves will draw (counted as they are
  // taken), checked at every executed block and again while the path is
  // built. A long program text raises it to kBytesPerTextChar a character,
  // so that a program that runs straight through loads whole. The path
  // build itself stops at 15/14 of the limit (1800 MB by default): the parse
  // leaves that room for what its count of the path points missed.
  static constexpr std::size_t kDefaultMemoryLimit = std::size_t{1680} << 20;
  static constexpr std::size_t kBytesPerTextChar = 16;
  static void SetMemoryLimit(std::size_t bytes);  // 0: the default
  static std::size_t MemoryLimit();
  // The bytes the run holds: what its arenas and the counts below give,
  // and what the process's resident memory grew beyond that since the run
  // began (read every kResidentSampleBlocks executed blocks).
  std::size_t HeldBytes() const;
  static constexpr std::size_t kResidentSampleBlocks = 16384;
  // Counts bytes held for the run that no arena counts: a frame, a block
  // page, the plane of an arc.
  void CountHeld(std::size_t bytes) { m_budget->bytes += bytes; }
  // Counts the path points a move will draw when the path is built (they
  // count against the limit while the program is parsed).
  void CountPath(std::size_t bytes) { m_budget->projected += bytes; }
  // Gives `block` the notice `text` the first time the run passes its line:
  // a loop over the line does not repeat it (the run goes on through
  // notices, so a loop would otherwise say it once a pass).
  void AddNoticeOnce(CGCBlock* block, WString text);
  // Whether the run has ended (a block reported an error, or a limit was
  // passed): no frame interprets further blocks.
  bool RunStopped() const { return m_budget->reported; }
  // How many chain numbers programs made from now on give out before they
  // keep chains per instruction (0: all the numbers an instruction holds).
  // Smaller limits let a short program reach the full table.
  static void SetChainNumberLimit(std::uint32_t numbers);
  static std::uint32_t ChainNumberLimit();

  // Top-level frame.
  CGCProgram(const CCodeRuleEntry* motionRule, WStringView folder, WStringView name);
  // Child frame of a call: modal state copied from the caller.
  explicit CGCProgram(const CGCProgram& caller);
  virtual ~CGCProgram();
  CGCProgram& operator=(const CGCProgram&) = delete;

  // Counts a block made by NewBlock as executed (the store keeps blocks
  // in the order they are made, which is the order they run in).
  virtual void AddBlock(CGCBlock* block) {
    (void)block;
    ++m_budget->executed;
    m_budget->projected += sizeof(CPathList);  // the block's list in the path
  }
  virtual void BuildPath();
  // Runs the parse loop over the line table from `startLine`.
  virtual void Run(int startLine, const CGCLineTable& lines, CGCInstruction* caller);

  void AttachDataTables(CDataComp* comp, CDataCoordSystem* coord, CParameter* param, CVariables* vars);
  // A frame for a call from this one: modal state copied, the library's
  // tables attached, the run's block budget shared.
  std::unique_ptr<CGCProgramPath> NewChild() const;
  // Reads the sub-program file of a number (the "GPH" letter, the number and
  // ".cnc" or ".nc" in the frame's folder) and runs it from its first line,
  // starting from `caller`. False, with a message on `callerBlock`, when the
  // file is missing or the calls nest too deeply.
  bool RunSubProgramFile(WStringView number, CGCInstruction* caller, CGCBlock* callerBlock);
  // The text of a sub-program file ("O1000" and ".cnc" or ".nc"), read once
  // per parse; null when there is none.
  std::shared_ptr<const WString> SubProgramText(const WString& name);
  // Identifies the frame within its top-level program (1 for the top).
  int FrameId() const { return m_frameId; }
  // The caller's block that ran this frame (M98, G65); null for the top.
  const CGCBlock* CallBlock() const { return m_callBlock; }
  // A write to #3000 raises the user alarm: the parse loop stops the frame
  // at that block with the alarm number and the line's comment.
  void RaiseUserAlarm(double value) {
    m_userAlarm = value;
    m_alarmRaised = true;
  }
  // M99 P<n> of this frame: the caller goes on at its block N<n> (0: the
  // block after the call).
  void SetReturnSequence(int n) { m_returnSequence = n; }
  int ReturnSequence() const { return m_returnSequence; }
  // A return with P from a call made by the block being parsed; the parse
  // loop continues at that sequence number of this frame.
  void SetPendingReturn(int n) { m_pendingReturn = n; }
  static constexpr int kMaxCallDepth = 16;
  // What a call (made or refused) counts against the executed-block budget:
  // a frame holds about as much memory as this many blocks.
  static constexpr std::size_t kCallCost = 64;
  // How many moves canned cycles may still make, and their charge against
  // the budget once made: a cycle move holds about as much memory as two
  // executed blocks. A cycle that ran out of it stops the program with a
  // message on its block.
  static constexpr std::size_t kCycleMoveCost = 2;
  // The bytes a move draws: one new point and its polyline in a list.
  static constexpr std::size_t kPathBytesPerMove = sizeof(CPoint3d) + sizeof(CPathPolyline);
  // The most bytes a cycle move takes (its instruction and its path), which
  // bounds the moves one cycle block may make within the memory left.
  static constexpr std::size_t kCycleMoveBytes = 256;
  std::size_t CycleMoveBudget() const;
  void ChargeCycleMoves(std::size_t moves, bool cutShort, CGCBlock* block);
  void ParseText(int startLine, const char16_t* text, std::size_t length, const CPoint3d& start);
  void ParseFile(WStringView path, const CPoint3d& start);

  // Builds the path lists (again, replacing earlier ones) and returns them.
  PathGroups* GetCutterPath(bool notifyHost = true);
  PathGroups* GetCommandedPath();
  // Simulates every executed block; stops after the first that yields false.
  bool AutoRun();
  PathGroups* SelectBlock(unsigned index);
  // Empties the path lists without touching the polylines (which then
  // belong to the caller's lists).
  void ClearBlockPaths();
  PathGroups& Paths() { return m_pathGroups; }
  CPathArena& Arena() { return m_arena; }

  // Variables: 0 to 33 local, higher numbers from the global table. Null
  // when the number is outside the tables.
  CVariableBase* GetVariable(int number);
  CVariableBase* GetVariableByText(WStringView text);
  bool SetVariable(int number, double value);
  bool SetVariableByText(WStringView text, double value);
  const WString& GetLocalText(int number);
  // Makes this frame run on the local variables of `caller` (a sub-program
  // call shares its caller's level; a macro call has its own).
  void ShareLocals(CGCProgram& caller) { m_localVars = caller.m_localVars; }
  static constexpr int kLastLocal = 33;

  // Modal groups 19 to 33.
  static int GetModalIndex(int group) { return group - kFirstModalGroup; }
  static bool IsModalGroup(int group) { return group >= kFirstModalGroup && group < kFirstModalGroup + kModalGroups; }
  CGCInstruction* SetModal(int group, CGCInstruction* instr);
  CGCInstruction* GetModal(int group) const;
  short GetModalCode(int group) const;
  int SetModalCode(int group, short code);
  bool HasModalValue(int group) const;
  bool IsModalActive(int group) const { return GetModalCode(group) > 0; }
  double GetGroupOffset(int group) const;
  CPoint3d GetPartZero() const;
  // The local coordinate system (G52): a shift of every work system.
  const CPoint3d& LocalShift() const { return m_localShift; }
  void SetLocalShift(const CPoint3d& shift) { m_localShift = shift; }
  // The shift a G92 gave every work system, from the selected system's
  // table row and tool length.
  void SetPartZeroShift(const CPoint3d& shift) { m_partZeroShift = shift; }
  // Takes over the modal state a called program left (the control keeps one
  // modal state for all program levels).
  void TakeModalState(const CGCProgram& child);
  CPoint3d SelectWorkOffset(int index, bool* ok = nullptr);
  void ApplyWorkOffsetFromModal();

  short GetH() const { return m_h; }
  void SetH(short v) { m_h = v; }
  short GetD() const { return m_d; }
  void SetD(short v) { m_d = v; }
  short GetT() const { return m_t; }
  void SetT(short v) { m_t = v; }
  double GetS() const { return m_s; }
  void SetS(double v) { m_s = v; }
  double GetF() const { return m_f; }
  void SetF(double v) { m_f = v; }
  // The intermediate point of the last return to the reference point.
  const CPoint3d& ReferenceIntermediate() const { return m_refIntermediate; }
  void SetReferenceIntermediate(const CPoint3d& p) { m_refIntermediate = p; }
  double GetInitialLevel() const { return m_initialLevel; }
  void SetInitialLevel(double v) { m_initialLevel = v; }
  bool GetWorkOffsetFlag() const { return m_workOffsetFlag != 0; }
  void SetWorkOffsetFlag(bool v) { m_workOffsetFlag = v ? 1 : 0; }
  const CCodeRuleEntry* GetMotionRule() const { return m_motionRule; }
  void SetMotionRule(const CCodeRuleEntry* rule) { m_motionRule = rule; }
  const CGCDecimalPoint& NumberRule() const;
  const WString& Folder() const { return m_folder; }
  const WString& Name() const { return m_name; }
  void SetName(WString name) { m_name = std::move(name); }
  CDataComp* OffsetTable() const { return m_comp; }
  CDataCoordSystem* CoordTable() const { return m_coord; }
  CVariables* GlobalVariables() const { return m_globals; }
  const CBlockStore& Blocks() const { return m_blocks; }
  // Flow links between blocks that the blocks cannot keep themselves (see
  // CGCBlock::SetNext).
  std::unordered_map<const CGCBlock*, CGCBlock*>& NextLinks() { return m_nextLinks; }
  int HighlightedBlock() const { return m_highlighted; }
  CGCInstruction*& PreviousMotion() { return m_previousMotion; }
  CLineScan& Scan() { return m_scan; }
  // The line being parsed (the block scanner upper-cases letters in it).
  WString* ScanLine() const { return m_scanLine; }
  void SetScanLine(WString* line) { m_scanLine = line; }
  // Writes #n when the global table holds it (system variables).
  void SetSystemVariable(int number, double value);

  // The transform chain for a motion created now (shared while the modal
  // state that shapes it is unchanged).
  ChainRef TransformChainFor(int planeCode, bool rotationOnly);
  // Marks the modal state changed, so the next chain is built afresh.
  void TouchModalState() { ++m_modalEpoch; }

  CGCBlock* NewBlock(CGCBlock* previous);
  // The blocks' feeds: each distinct value once, at a stable address.
  std::uint32_t FeedIndex(double feed);
  const double* FeedAt(std::uint32_t index) const { return &m_feeds[index]; }
  CInstructionArena& InstrArena() { return *m_instructions; }
  template <class T, class... A>
  T* MakeInstruction(A&&... args) {
    return CGCInstruction::Make<T>(*m_instructions, std::forward<A>(args)...);
  }
  CInstrExtra& Extra(const CGCInstruction* instr) { return m_extras[instr]; }
  // The number of a transform chain in this program's table (taken in when
  // new); the instruction is where the chain goes once the table is full.
  std::uint32_t ChainNumber(const ChainRef& chain, const CGCInstruction* instr);
  CTransformChain* ChainAt(std::uint32_t number, const CGCInstruction* instr) const;
  // Whether any move of this frame made a modal macro call (so moves need
  // not look for one otherwise).
  bool HasModalMacroCalls() const { return m_modalMacroCalls; }
  void NoteModalMacroCall() { m_modalMacroCalls = true; }
  const CInstrExtra* FindExtra(const CGCInstruction* instr) const {
    auto it = m_extras.find(instr);
    return it == m_extras.end() ? nullptr : &it->second;
  }

 protected:
  void BuildPreamble(const CPoint3d& start);
  void ParseLoop(int s, int e, const CGCLineTable& lines, CGCBlock* previous);
  // Whether the run ends at `block`: it holds a message (an error ends the
  // whole program, called programs included), the run stopped before, or
  // it passed a limit (its block then says which).
  bool RunEndsAt(CGCBlock* block);
  // Whether the path built so far passed the memory limit; the block then
  // says so and the build ends there.
  bool PathLimitReached(CGCBlock* block);
  void SampleResident();
  // Ends a parse that an exception interrupted (called in its handler).
  void StopOnException();
  void NotifyLineCount(int lines);
  void NotifyLineDone(int line);

  // Instructions outlive nothing but their blocks: the arena is declared
  // before the pool so it is released after the blocks are destroyed.
  CInstructionArena m_instrArena;
  std::deque<double> m_feeds{0.0};
  std::unordered_map<std::uint64_t, std::uint32_t> m_feedIndex{{0, 0}};
  std::uint32_t m_lastFeed = 0;
  std::unordered_map<const CGCBlock*, CGCBlock*> m_nextLinks;
  CBlockStore m_blocks{this};
  PathGroups m_pathGroups;
  PathGroups m_commanded;
  PathGroups m_retiredGroups;  // lists a calling frame took (see ClearBlockPaths)
  CPathArena m_arena;
  // The instruction arena this frame allocates from: its own in the
  // top-level frame, the top-level frame's in the frames of calls (which
  // die before it), so a call costs no arena chunk of its own. Paths are
  // built per frame, into an arena whose chunks start small in a call.
  CInstructionArena* m_instructions = &m_instrArena;
  static constexpr std::size_t kCallPathChunk = 1024;
  CGCInstruction* m_modal[kModalGroups] = {};
  std::vector<const CPathStyle*> m_savedStyles;
  CVariables m_locals{kLastLocal + 1};
  CVariables* m_localVars = &m_locals;  // this frame's, or its caller's
  CPoint3d m_refIntermediate;
  CPoint3d m_localShift;
  CPoint3d m_partZeroShift;
  double m_s = 120.0;
  double m_f = 0.0;
  double m_initialLevel = 0.0;
  CDataComp* m_comp = nullptr;
  CDataCoordSystem* m_coord = nullptr;
  CVariables* m_globals = nullptr;
  const CCodeRuleEntry* m_motionRule = nullptr;
  std::unique_ptr<CGCDecimalPoint> m_numberRule;
  std::shared_ptr<const WString> m_ownText;
  WString m_folder;
  WString m_name;
  int m_highlighted = -1;
  short m_h = 0;
  short m_d = 0;
  short m_t = 0;
  unsigned char m_workOffsetFlag = 0;

  CGCInstruction* m_previousMotion = nullptr;
  CLineScan m_scan;
  WString* m_scanLine = nullptr;
  WString m_lineBuffer;
  // Owned modal instructions that no block holds (the modal macro call).
  std::unique_ptr<CGCInstruction> m_modalMacro;
  // The side table's entries come from chunks released with the program,
  // so a long compensated contour costs no allocation per move.
  std::pmr::monotonic_buffer_resource m_extraMemory;
  std::pmr::unordered_map<const CGCInstruction*, CInstrExtra> m_extras{&m_extraMemory};
  // The chains instructions hold by number (number n is entry n - 1), the number
  // of each, the last one taken in, and the chains of instructions made
  // once the table was full.
  std::vector<ChainRef> m_chainTable;
  std::unordered_map<const CTransformChain*, std::uint32_t> m_chainNumbers;
  const CTransformChain* m_lastChain = nullptr;
  std::uint32_t m_lastChainNumber = 0;
  std::uint32_t m_chainLimit = ChainNumberLimit();
  std::unordered_map<const CGCInstruction*, ChainRef> m_chainOverflow;
  // The shared transform chain and the state it was built for.
  ChainRef m_chain;
  std::uint64_t m_modalEpoch = 1;
  std::uint64_t m_chainEpoch = 0;
  int m_chainPlane = -1;
  bool m_chainRotationOnly = false;
  // Host window target for the progress messages of this parse.
  std::shared_ptr<plat::MessageTarget> m_host;
  std::uint64_t m_hostGeneration = 0;
  int m_hostHandle = 0;
  // Blocks run by the whole parse, shared by the frames of its calls.
  struct RunBudget {
    std::size_t executed = 0;
    std::size_t work = 0;      // characters of executed blocks and sub-program texts read
    std::size_t bytes = 0;      // see CountHeld
    std::size_t pathBytes = 0;  // the chunks of every frame's path arena
    std::size_t projected = 0;  // see CountPath
    // The resident bytes when the run began, the growth beyond the counts at
    // the last reading, and the executed count of the next reading.
    std::size_t residentBase = 0;
    std::size_t uncounted = 0;
    std::size_t nextSample = 0;
    std::size_t byteLimit = 0;
    bool reported = false;      // the run ended
    bool pathStopped = false;   // the path build ended early (memory)
    // The block that said the last path build ran out of memory: the next
    // build takes that message back, as memory may be there then.
    CGCBlock* outOfMemoryBlock = nullptr;
    int frames = 1;
    // Sub-program files read by this parse by name; null when missing, so
    // a missing file is looked for once.
    std::unordered_map<WString, std::shared_ptr<const WString>> files;
    // Refused calls already reported (one message per reason and calling line).
    std::unordered_set<WString> refusals;
    // Notices already given (one per program, line and text).
    std::unordered_set<WString> notices;
    // Set when the top frame is deleted: its frames then go all together.
    bool tearingDown = false;
  };
  std::shared_ptr<RunBudget> m_budget = std::make_shared<RunBudget>();
  int m_depth = 0;  // call nesting of this frame
  bool m_modalMacroCalls = false;
  int m_frameId = 1;
  const CGCBlock* m_callBlock = nullptr;
  double m_userAlarm = 0.0;
  bool m_alarmRaised = false;
  int m_returnSequence = 0;
  int m_pendingReturn = 0;
  // The top frame's room for the report that memory ran out.
  std::unique_ptr<CGCBlock::MessageReserve> m_memoryReport;
  // The block of another frame (the caller's, or an earlier call's) that
  // this frame's first block was linked to as its next, and that block's
  // next before. A call frame that is deleted before its caller took it
  // (a failure in the call) puts the link back.
  CGCBlock* m_entryFrom = nullptr;
  CGCBlock* m_entryOldNext = nullptr;
};

class CGCProgramPath : public CGCProgram {
 public:
  using CGCProgram::CGCProgram;
  // Child frame of a call.
  explicit CGCProgramPath(const CGCProgram& caller) : CGCProgram(caller) {}
  ~CGCProgramPath() override;
  void BuildPath() override;

 private:
  void StopPathOutOfMemory(CGCBlock* block, CGCBlock::MessageReserve* reserve);
};

// Deletes a replaced program on a short-lived thread bound to the odd
// processors, so a new load does not wait for the old program's teardown.
class CDestructThread {
 public:
  explicit CDestructThread(CGCProgramPath* program);
  ~CDestructThread();  // joins the thread
  void Start();
  void Join();

 private:
  std::thread m_thread;
  CGCProgramPath* m_program;
};

}  // namespace quillet
