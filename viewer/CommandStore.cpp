#include "viewer/CommandStore.h"

#include <atomic>

namespace ravik {
namespace {
std::atomic<bool> g_stop{false};
std::atomic<AppendHook> g_hook{nullptr};

double Val(const double* v) { return v ? *v : 0.0; }
}  // namespace

void CommandStore::Append(const CommandRecord& record) {
  std::lock_guard lock(m_mutex);
  m_records.push_back(record);
}

void CommandStore::Clear() {
  std::vector<CommandRecord> old;
  {
    std::lock_guard lock(m_mutex);
    old.swap(m_records);
  }
  // `old` is freed outside the lock.
}

std::size_t CommandStore::Size() const {
  std::lock_guard lock(m_mutex);
  return m_records.size();
}

void CommandStore::Read(const std::function<void(const std::vector<CommandRecord>&)>& reader) const {
  std::lock_guard lock(m_mutex);
  reader(m_records);
}

std::vector<CommandRecord> CommandStore::Snapshot() const {
  std::lock_guard lock(m_mutex);
  return m_records;
}

CommandStore& Commands() {
  static CommandStore* store = new CommandStore();  // lives until exit; loaders may still append
  return *store;
}

void ClearCommandRecords() { Commands().Clear(); }

const char* CommandKindName(int kind) {
  // Kinds 19 to 33 are the modal groups, each under its own name.
  static const char* const kNames[34] = {
      "Default",       "Rapid traverse", "Line Interpolation", "Circle-cw", "Circle-ccw",
      "CC",            "ChangeWCS",      "ChangeG92",          "ChangeTool", "EnableCoolant",
      "MS CW",         "MS CCW",         "MS Stop",            "OpenSub",   "CloseSub",
      "StopAuto",      "Dwell",          "ToolReady",          "ComH",      "ComH",
      "Abs./Rel.",     "ComD",           "Scale",              "Rot",       "Mrr",
      "PartZero",      "PanelSel",       "Polar",              "StartPoint", "ReturnMode",
      "LCrdSys",       "Input unit",     "Feed unit",          "Call Macro"};
  return kind >= 0 && kind < 34 ? kNames[kind] : "";
}

void SetAppendHook(AppendHook hook) { g_hook.store(hook, std::memory_order_release); }

void SetSimulationStop(bool stop) { g_stop.store(stop, std::memory_order_release); }
bool SimulationStopRequested() { return g_stop.load(std::memory_order_acquire); }

int AppendCommandRecord(int* line, short* kind, double* xValue, double* yValue, double* zValue,
                        double* xPos, double* yPos, double* zPos, double* i, double* j, double* k,
                        double* r, double* p, double* q, double* feed) {
  if (AppendHook hook = g_hook.load(std::memory_order_acquire)) hook();
  CommandRecord rec;
  rec.line = line ? *line : 0;
  rec.kind = kind ? *kind : 0;
  const double* in[13] = {xValue, yValue, zValue, xPos, yPos, zPos, i, j, k, r, p, q, feed};
  for (int n = 0; n < 13; ++n) rec.values[n] = Val(in[n]);
  Commands().Append(rec);
  return SimulationStopRequested() ? 0 : 1;
}

void GetToolOffsets(unsigned char* /*tool*/, double* first, double* second, double* third) {
  if (first) *first = 0.0;
  if (second) *second = 0.0;
  if (third) *third = 0.0;
}

}  // namespace ravik
