// The command store: the simulated commands of the last load, as the library
// reports them through its command callback (on the loader thread), read by
// the interface. Every access takes the store's lock.
//
// A program of ten million lines simulates about as many commands, so the
// records are kept packed: each record is a header word (line, kind and a
// mask of the values it holds) followed only by its values that are not zero
// and, for the X, Y and Z values, not equal to the matching position. Packed
// records sit in blocks of a fixed record count; a block is stored at its
// exact size once full, and nothing is ever moved as the store grows.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace ravik {

struct CommandRecord {
  int line = 0;
  short kind = 0;
  // X, Y, Z values, X, Y, Z positions, I, J, K, R, P, Q, feed.
  double values[13] = {};
};

// The closing record of a simulation has this kind ("StopAuto").
inline constexpr short kStopAutoKind = 15;

class CommandStore {
 public:
  // Records per block.
  static constexpr std::size_t kBlockRecords = 256;

  // False (and nothing stored) when memory ran out.
  bool Append(const CommandRecord& record);
  void Clear();
  std::size_t Size() const;
  // The record `index`; false when there is none.
  bool At(std::size_t index, CommandRecord& out) const;
  std::vector<CommandRecord> Snapshot() const;
  // Bytes held for the records (blocks and their table).
  std::size_t HeldBytes() const;

 private:
  struct Block {
    std::unique_ptr<std::uint64_t[]> words;
    std::size_t wordCount = 0;
  };
  void SealOpenBlock();

  mutable std::mutex m_mutex;
  std::vector<Block> m_blocks;         // full blocks
  std::vector<std::uint64_t> m_open;   // the block being filled
  std::size_t m_openRecords = 0;
  std::size_t m_size = 0;
};

CommandStore& Commands();
// Empties the store (and forgets that memory ran out).
void ClearCommandRecords();
// Whether a record could not be stored since the last clear: memory ran out,
// and the command callback ended the simulation.
bool CommandsRanOutOfMemory();

// Name of a command kind 0 to 32; "" for any other value.
const char* CommandKindName(int kind);

// While set, the command callback answers 0, which ends the simulation after
// the current block (used to stop a running simulation before a new load or
// before closing).
void SetSimulationStop(bool stop);
bool SimulationStopRequested();

// Called by the command callback before each record is stored (on the
// loader thread); tests use it to make a simulation take its time, or throw
// std::bad_alloc from it to make storing fail.
using AppendHook = void (*)();
void SetAppendHook(AppendHook hook);

// Host callbacks handed to the library.
int AppendCommandRecord(int* line, short* kind, double* xValue, double* yValue, double* zValue,
                        double* xPos, double* yPos, double* zPos, double* i, double* j, double* k,
                        double* r, double* p, double* q, double* feed);
void GetToolOffsets(unsigned char* tool, double* first, double* second, double* third);

}  // namespace ravik
