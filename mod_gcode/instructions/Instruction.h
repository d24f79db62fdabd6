// The instruction model: every command of a block becomes one instruction
// that holds its words, knows its start point (the end of the instruction
// before it), applies its coordinate transforms, builds its polylines and
// reports itself to the host during simulation.
//
// Internal axis order: an instruction keeps the two axes of its working plane
// at word indexes 0 and 1 and the third axis at index 2 (ZX: X, Z, Y; YZ: Z,
// Y, X), and the centre offsets likewise at 3 to 5. Points handed between
// instructions of different planes are converted through machine axes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "mod_gcode/geometry/Coord.h"
#include "mod_gcode/geometry/Geometry.h"
#include "mod_gcode/geometry/PathArena.h"
#include "mod_gcode/geometry/PathRecords.h"

namespace quillet {

class CGCBlock;
class CGCProgram;
class CGCInstruction;
class CTransformChain;

// Command kinds (the kind short of an instruction and of a command record).
enum CommandKind : short {
  kKindDefault = 0, kKindRapid = 1, kKindLine = 2, kKindCircleCw = 3, kKindCircleCcw = 4,
  kKindCycle = 5, kKindChangeWcs = 6, kKindChangeG92 = 7, kKindChangeTool = 8,
  kKindCoolant = 9, kKindSpindleCw = 10, kKindSpindleCcw = 11, kKindSpindleStop = 12,
  kKindOpenSub = 13, kKindCloseSub = 14, kKindStopAuto = 15, kKindDwell = 16,
  kKindToolReady = 17, kKindComH = 18
};
inline constexpr int kCommandKindCount = 34;
// "Default", "Rapid traverse", ... "Call Macro".
const char16_t* CommandKindName(int kind);

// Maps a word index between machine axes and a plane's internal order
// (the mapping is its own inverse).
int PlaneWordIndex(int index, int planeCode);

// Where a block's instructions put their polylines while the path is built.
struct CPathSink {
  CPathArena* arena = nullptr;
  std::vector<CPathPolyline*>* items = nullptr;
  void Add(CPathPolyline* p) { items->push_back(p); }
};

// Intrusive, single-threaded reference to a shared transform chain.
class ChainRef {
 public:
  ChainRef() = default;
  explicit ChainRef(CTransformChain* c);
  ChainRef(const ChainRef& o);
  ChainRef& operator=(const ChainRef& o);
  ~ChainRef();
  CTransformChain* get() const { return m_chain; }
  CTransformChain* operator->() const { return m_chain; }
  explicit operator bool() const { return m_chain != nullptr; }

 private:
  CTransformChain* m_chain = nullptr;
};

// Bits of an instruction's chain number; the largest number means "in the
// program's overflow map" (see CGCProgram::ChainNumber).
inline constexpr int kChainNumberBits = 23;
inline constexpr std::uint32_t kChainOverflow = (1u << kChainNumberBits) - 1;

// Storage of the instructions of one program: carved out of large chunks and
// released with the program. Instructions made here are destroyed by their
// block (destructor only); the memory goes with the arena.
class CInstructionArena {
 public:
  CInstructionArena() = default;
  CInstructionArena(const CInstructionArena&) = delete;
  CInstructionArena& operator=(const CInstructionArena&) = delete;
  void* Allocate(std::size_t bytes);
  // Bytes of the chunks taken so far.
  std::size_t BytesReserved() const { return m_reserved; }

 private:
  std::vector<std::unique_ptr<std::byte[]>> m_chunks;
  std::size_t m_reserved = 0;
  std::byte* m_cursor = nullptr;
  std::size_t m_left = 0;
  std::size_t m_nextChunk = 16 * 1024;
};

class CGCInstruction {
 public:
  virtual ~CGCInstruction();

  // Instructions live in their program's arena; `delete` is for the few
  // made on the heap (copies held by transforms, the modal macro call).
  static void* operator new(std::size_t bytes, CInstructionArena& arena) { return arena.Allocate(bytes); }
  static void operator delete(void*, CInstructionArena&) {}
  static void* operator new(std::size_t bytes) { return ::operator new(bytes); }
  static void operator delete(void* p) { ::operator delete(p); }
  // Ends an instruction's life the right way for where it was made.
  static void Dispose(CGCInstruction* instr);
  // Makes an instruction in an arena.
  template <class T, class... A>
  static T* Make(CInstructionArena& arena, A&&... args) {
    static_assert(alignof(T) <= alignof(double), "the arena aligns to a double");
    T* p = new (arena) T(std::forward<A>(args)...);
    p->m_inArena = 1;
    return p;
  }
  // Whether the word store sits where the base expects it (checked by tests).
  bool WordStoreInPlace(const void* store) const { return store == static_cast<const void*>(WordStore()); }

  // Word slots.
  virtual void SetWord(int index, const CGCDimWordMM& word, bool specified);
  virtual int GetMoveCount() const { return 0; }
  virtual CGCInstruction* GetMove(int) const { return nullptr; }
  virtual void AttachChildText() {}
  virtual void AppendSegment(CPathSink&) {}
  virtual CPoint3d GetPathEndPoint() const;
  virtual void BuildPath(CPathSink&) {}
  virtual void AppendToPolyline(std::vector<CPoint3d>& points);
  virtual bool Report();
  virtual void SetWordValue(int index, double programmed, bool absolute);
  virtual void ApplyTransforms();
  virtual short GetModalCode() const { return 0; }
  virtual bool HasModalCode() const { return true; }
  virtual void SetModalCode(short) {}
  // The next-block link is the block's own next block: motions and tool
  // changes read it when their path is built and when they report.
  virtual void SetNextBlock(CGCBlock*) {}
  virtual CGCBlock* GetNextBlock() const;
  virtual void SetWordText(int index, WStringView text, double base, bool absolute);
  virtual void SetWordNumber(int index, double number, double base, bool absolute);
  // A modal-state instruction (its kind is its modal group or a setting kind).
  virtual bool IsModalState() const { return false; }
  // For a call: the first motion of the called program, or null.
  virtual CGCInstruction* FindChildMotion() const { return nullptr; }

  CGCCoord Words() const { return CGCCoord(WordStore(), m_wordCount, FlagStore()); }

  CPoint3d GetStartPoint() const;
  CPoint3d GetStartValuePoint() const;
  CPoint3d GetEndPoint() const { return Words().GetPositionPoint(); }
  CPoint3d GetEndValuePoint() const { return Words().GetValuePoint(); }
  CPoint3d GetStartPointInPlane() const { return SwapForPlane(GetStartPoint(), m_planeCode); }
  CPoint3d GetEndPointInPlane() const { return SwapForPlane(GetEndPoint(), m_planeCode); }
  double GetSignedRadius() const { return m_side == 0 ? GetCompensationRadius() : -GetCompensationRadius(); }
  bool IsCompensated() const { return m_side == 0 || m_side == 1; }

  CGCWordRef GetWord(int i) const { return Words().GetWord(i); }
  double GetWordValue(int i) const { return Words().GetValue(i); }
  double GetWordPosition(int i) const { return Words().GetPosition(i); }
  void PutWordValue(int i, double v) { Words().SetValue(i, v); }
  void PutWordPosition(int i, double v) { Words().SetPosition(i, v); }

  // Sets the working plane; words already held are moved to the new order.
  void SetPlane(int planeCode);
  int GetPlaneCode() const { return m_planeCode; }
  CGCBlock* GetBlock() const { return m_block; }
  void SetBlock(CGCBlock* b) { m_block = b; }
  CGCInstruction* GetPrevious() const { return m_previous; }
  void SetPrevious(CGCInstruction* p) { m_previous = p; }
  short GetKind() const { return m_kind; }
  void SetKind(short k) { m_kind = static_cast<std::int8_t>(k); }
  short GetSide() const { return m_side; }
  // Compensation side (0, 1; 2 = none) and cutter radius.
  void SetCompensation(short side, double radius);
  double GetCompensationRadius() const;
  CGCProgram* GetProgram() const;

  // The transform chain, or null: kept in the program's table of chains
  // (most instructions share a few, and the table holds them as long as
  // the program lives), so an instruction holds its number only.
  CTransformChain* Transforms() const { return m_chain ? ChainFromProgram() : nullptr; }
  void SetTransforms(const ChainRef& chain);
  // A chain of this instruction's own (a copy of the shared one), or null.
  CTransformChain* MutableTransforms();

  // Reports through the host's command callback.
  bool ReportCommand(short kind, const int* line, const double* feed) const;
  bool ReportCommandPoint(short kind, const CPoint3d& value, const CPoint3d& position, const int* line,
                          const double* feed) const;
  // The block's line index and feed for reports (0 without a block).
  const int* ReportLine() const;
  const double* ReportFeed() const;

 protected:
  CGCInstruction(short kind, int wordCount);
  CGCInstruction(const ChainRef& chain, CGCInstruction* previous, CGCBlock* block, short kind, int wordCount);
  // The copy of another instruction's state into this one: words (as
  // millimetre words), radius, block, previous, kind, side, plane and
  // transforms.
  void CopyFrom(const CGCInstruction& other);
  void ApplyWordText(int index, WStringView text, double base, bool absolute);
  void ApplyWordNumber(int index, double number, double base, bool absolute);
  // The decimal-point rule of the program (the pocket rule without one).
  double ParseNumber(WStringView text) const;
  void ApplyChain();
  CTransformChain* ChainFromProgram() const;
  // The word store follows this base directly (see CGCInstructionWords).
  // (Reached through the address as a number: the store lies outside this
  // base subobject, which the compiler's object-size checks would flag.)
  double* WordStore() const {
    return reinterpret_cast<double*>(reinterpret_cast<std::uintptr_t>(this) + sizeof(CGCInstruction));
  }
  // The flag bytes of the words: in this base for up to kInlineFlags
  // words, else behind the values and positions in the store.
  static constexpr int kInlineFlags = 3;  // CInstructionWordStore agrees
  std::uint8_t* FlagStore() const {
    return m_wordCount <= kInlineFlags ? m_inlineFlags : reinterpret_cast<std::uint8_t*>(WordStore() + 2 * m_wordCount);
  }

  CGCBlock* m_block = nullptr;
  CGCInstruction* m_previous = nullptr;
  // The small fields share one word: kinds fit a byte, the plane (0-2),
  // side and word count a few bits, and the chain number the rest.
  mutable std::uint8_t m_inlineFlags[kInlineFlags] = {};
  std::int8_t m_kind = 0;
  std::uint32_t m_planeCode : 2 = 0;
  std::uint32_t m_side : 2 = 2;
  std::uint32_t m_inArena : 1 = 0;
  std::uint32_t m_wordCount : 4 = 0;  // at most kMaxWords
  // 0 for none, else the number of the chain in the program's table.
  std::uint32_t m_chain : kChainNumberBits = 0;
};

// An instruction with inline room for N words, stored right behind the base
// (its first member, where `WordStore` finds it).
// Values and positions of N words, and their flags unless the base holds them.
template <int N, bool FlagsInBase = (N <= 3)>
struct CInstructionWordStore {
  double values[2 * N] = {};
  std::uint8_t flags[N] = {};
};
template <int N>
struct CInstructionWordStore<N, true> {
  double values[2 * N] = {};
};

template <int N>
class CGCInstructionWords : public CGCInstruction {
 public:
  static constexpr int kWordCount = N;
  // Whether the words sit where the base reads them (a layout check).
  bool StoreInPlace() const { return WordStoreInPlace(&m_store); }

 protected:
  template <class... A>
  explicit CGCInstructionWords(A&&... args) : CGCInstruction(std::forward<A>(args)..., N) {}
  CInstructionWordStore<N> m_store;
};

// A plain copy of another instruction (the start of a modal macro call and
// the defining instructions of transforms).
class CGCInstructionCopy : public CGCInstructionWords<kMaxWords> {
 public:
  explicit CGCInstructionCopy(const CGCInstruction& other);
  CGCInstructionCopy(const CGCInstructionCopy& other) : CGCInstructionCopy(static_cast<const CGCInstruction&>(other)) {}
};

// An instruction made from a given set of words (generated moves).
class CGCInstructionFromWords : public CGCInstructionWords<kMaxWords> {
 public:
  CGCInstructionFromWords(const CGCCoord& words, short kind);
};

}  // namespace quillet
