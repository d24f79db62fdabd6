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
#include <cstdint>
#include <memory>
#include <vector>

#include "mod_gcode/GCCode/Coord.h"
#include "mod_gcode/GCCode/Geometry.h"
#include "mod_gcode/GCCode/PathArena.h"
#include "mod_gcode/GCCode/PathRecords.h"

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
inline constexpr int kCommandKindCount = 33;
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

class CGCInstruction {
 public:
  virtual ~CGCInstruction();

  // Word slots.
  virtual void SetWord(int index, const CGCDimWordMM& word, bool specified);
  virtual int GetMoveCount() const { return 0; }
  virtual CGCInstruction* GetMove(int) const { return nullptr; }
  virtual void AttachChildText() {}
  virtual void AppendSegment(CPathSink&) {}
  virtual CPoint3d GetPathEndPoint() const { return CPoint3d(); }
  virtual void BuildPath(CPathSink&) {}
  virtual void AppendToPolyline(std::vector<CPoint3d>& points);
  virtual bool Report();
  virtual void SetWordValue(int index, double programmed, bool absolute);
  virtual void ApplyTransforms();
  virtual short GetModalCode() const { return 0; }
  virtual bool HasModalCode() const { return true; }
  virtual void SetModalCode(short) {}
  virtual void SetNextBlock(CGCBlock* block) { m_nextBlock = block; }
  virtual CGCBlock* GetNextBlock() const { return m_nextBlock; }
  virtual void SetWordText(int index, WStringView text, double base, bool absolute);
  virtual void SetWordNumber(int index, double number, double base, bool absolute);
  // A modal-state instruction (its kind is its modal group or a setting kind).
  virtual bool IsModalState() const { return false; }

  CGCCoord& Words() { return m_words; }
  const CGCCoord& Words() const { return m_words; }

  CPoint3d GetStartPoint() const;
  CPoint3d GetStartValuePoint() const;
  CPoint3d GetEndPoint() const { return m_words.GetPositionPoint(); }
  CPoint3d GetEndValuePoint() const { return m_words.GetValuePoint(); }
  CPoint3d GetStartPointInPlane() const { return SwapForPlane(GetStartPoint(), m_planeCode); }
  CPoint3d GetEndPointInPlane() const { return SwapForPlane(GetEndPoint(), m_planeCode); }
  double GetSignedRadius() const { return m_side == 0 ? m_compRadius : -m_compRadius; }
  bool IsCompensated() const { return m_side == 0 || m_side == 1; }

  CGCDimWordMM* GetWord(int i) { return m_words.GetWord(i); }
  double GetWordValue(int i) const { return m_words.GetValue(i); }
  double GetWordPosition(int i) const { return m_words.GetPosition(i); }
  void PutWordValue(int i, double v) { m_words.SetValue(i, v); }
  void PutWordPosition(int i, double v) { m_words.SetPosition(i, v); }

  // Sets the working plane; words already held are moved to the new order.
  void SetPlane(int planeCode);
  int GetPlaneCode() const { return m_planeCode; }
  CGCBlock* GetBlock() const { return m_block; }
  void SetBlock(CGCBlock* b) { m_block = b; }
  CGCInstruction* GetPrevious() const { return m_previous; }
  void SetPrevious(CGCInstruction* p) { m_previous = p; }
  short GetKind() const { return m_kind; }
  void SetKind(short k) { m_kind = k; }
  short GetSide() const { return m_side; }
  void SetCompensation(short side, double radius) { m_side = side; m_compRadius = radius; }
  double GetCompensationRadius() const { return m_compRadius; }
  CGCProgram* GetProgram() const;

  const ChainRef& Transforms() const { return m_transforms; }
  void SetTransforms(const ChainRef& chain) { m_transforms = chain; }
  // The chain, copied first when another instruction shares it.
  CTransformChain* MutableTransforms();

  // Reports through the host's command callback.
  bool ReportCommand(short kind, const int* line, const double* feed) const;
  bool ReportCommandPoint(short kind, const CPoint3d& value, const CPoint3d& position, const int* line,
                          const double* feed) const;
  // The block's line index and feed for reports (0 without a block).
  const int* ReportLine() const;
  const double* ReportFeed() const;

 protected:
  CGCInstruction(short kind, CGCDimWordMM* store, int wordCount);
  CGCInstruction(const ChainRef& chain, CGCInstruction* previous, CGCBlock* block, short kind,
                 CGCDimWordMM* store, int wordCount);
  // The copy of another instruction's state into this one's own storage:
  // words (as millimetre words), radius, block, previous, kind, side, plane
  // and transforms; the next-block link starts empty.
  void CopyFrom(const CGCInstruction& other);
  void ApplyWordText(int index, WStringView text, double base, bool absolute);
  void ApplyWordNumber(int index, double number, double base, bool absolute);
  // The decimal-point rule of the program (the pocket rule without one).
  double ParseNumber(WStringView text) const;
  void ApplyChain();

  CGCCoord m_words;
  double m_compRadius = 0.0;
  ChainRef m_transforms;
  CGCBlock* m_block = nullptr;
  CGCBlock* m_nextBlock = nullptr;
  CGCInstruction* m_previous = nullptr;
  short m_kind = 0;
  short m_side = 2;
  short m_planeCode = 0;
};

// An instruction with inline room for N words.
template <int N, class Base = CGCInstruction>
class CGCInstructionWords : public Base {
 public:
  static constexpr int kWordCount = N;

 protected:
  template <class... A>
  explicit CGCInstructionWords(A&&... args) : Base(std::forward<A>(args)..., m_store, N) {}
  CGCDimWordMM m_store[N];
};

// A plain copy of another instruction (the start of a modal macro call and
// the defining instructions of transforms).
class CGCInstructionCopy : public CGCInstruction {
 public:
  explicit CGCInstructionCopy(const CGCInstruction& other);
  CGCInstructionCopy(const CGCInstructionCopy& other) : CGCInstructionCopy(static_cast<const CGCInstruction&>(other)) {}

 private:
  CGCDimWordMM m_store[kMaxWords];
};

// An instruction made from a given set of words (generated moves).
class CGCInstructionFromWords : public CGCInstruction {
 public:
  CGCInstructionFromWords(const CGCCoord& words, short kind);

 private:
  CGCDimWordMM m_store[kMaxWords];
};

}  // namespace quillet
