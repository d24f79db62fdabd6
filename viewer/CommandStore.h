// The command store: the simulated commands of the last load, as the library
// reports them through its command callback (on the loader thread), read by
// the interface. Every access takes the store's lock.
#pragma once
#include <cstddef>
#include <functional>
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
  void Append(const CommandRecord& record);
  void Clear();
  std::size_t Size() const;
  // Calls `reader` with the records while holding the lock.
  void Read(const std::function<void(const std::vector<CommandRecord>&)>& reader) const;
  std::vector<CommandRecord> Snapshot() const;

 private:
  mutable std::mutex m_mutex;
  std::vector<CommandRecord> m_records;
};

CommandStore& Commands();
void ClearCommandRecords();

// Name of a command kind 0 to 32; "" for any other value.
const char* CommandKindName(int kind);

// While set, the command callback answers 0, which ends the simulation after
// the current block (used to stop a running simulation before a new load or
// before closing).
void SetSimulationStop(bool stop);
bool SimulationStopRequested();

// Called by the command callback before each record is stored (on the
// loader thread); tests use it to make a simulation take its time.
using AppendHook = void (*)();
void SetAppendHook(AppendHook hook);

// Host callbacks handed to the library.
int AppendCommandRecord(int* line, short* kind, double* xValue, double* yValue, double* zValue,
                        double* xPos, double* yPos, double* zPos, double* i, double* j, double* k,
                        double* r, double* p, double* q, double* feed);
void GetToolOffsets(unsigned char* tool, double* first, double* second, double* third);

}  // namespace ravik
