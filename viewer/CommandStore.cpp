#include "viewer/CommandStore.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

namespace ravik {
namespace {
std::atomic<bool> g_stop{false};
std::atomic<AppendHook> g_hook{nullptr};
std::atomic<bool> g_outOfMemory{false};

double Val(const double* v) { return v ? *v : 0.0; }

// Header word: bits 0-31 the line, 32-47 the kind, 48-60 one bit per value
// stored after the header (values 0 to 12), 61-63 one bit per X, Y, Z value
// that equals its position and is not stored.
constexpr int kStoredShift = 48;
constexpr int kSameShift = 61;
constexpr std::size_t kMaxWords = 1 + 13;

std::uint64_t Bits(double v) {
  std::uint64_t u;
  std::memcpy(&u, &v, sizeof u);
  return u;
}

double FromBits(std::uint64_t u) {
  double v;
  std::memcpy(&v, &u, sizeof v);
  return v;
}

// Packs `r` into `out` (at least kMaxWords long); returns the words written.
std::size_t Pack(const CommandRecord& r, std::uint64_t* out) {
  std::uint64_t stored = 0, same = 0;
  std::size_t n = 1;
  for (int k = 0; k < 13; ++k) {
    const std::uint64_t bits = Bits(r.values[k]);
    if (k < 3 && bits == Bits(r.values[k + 3])) {
      same |= std::uint64_t{1} << k;
    } else if (bits != 0) {  // +0.0 only: -0.0 keeps its sign
      stored |= std::uint64_t{1} << k;
      out[n++] = bits;
    }
  }
  out[0] = static_cast<std::uint32_t>(r.line) | (std::uint64_t{static_cast<std::uint16_t>(r.kind)} << 32) |
           (stored << kStoredShift) | (same << kSameShift);
  return n;
}

// Unpacks the record at `in`; returns the words it takes.
std::size_t Unpack(const std::uint64_t* in, CommandRecord* r) {
  const std::uint64_t head = in[0];
  std::size_t n = 1;
  if (r) {
    r->line = static_cast<int>(static_cast<std::uint32_t>(head));
    r->kind = static_cast<short>(static_cast<std::uint16_t>(head >> 32));
  }
  for (int k = 0; k < 13; ++k) {
    if (head >> (kStoredShift + k) & 1) {
      if (r) r->values[k] = FromBits(in[n]);
      ++n;
    } else if (r) {
      r->values[k] = 0.0;
    }
  }
  if (r) {
    for (int k = 0; k < 3; ++k)
      if (head >> (kSameShift + k) & 1) r->values[k] = r->values[k + 3];
  }
  return n;
}

}  // namespace

bool CommandStore::Append(const CommandRecord& record) {
  std::uint64_t packed[kMaxWords];
  const std::size_t n = Pack(record, packed);
  std::lock_guard lock(m_mutex);
  try {
    if (m_open.capacity() == 0) m_open.reserve(kBlockRecords * kMaxWords);
    if (m_openRecords == kBlockRecords) SealOpenBlock();
  } catch (const std::bad_alloc&) {
    return false;
  }
  m_open.insert(m_open.end(), packed, packed + n);  // within the reserved capacity
  ++m_openRecords;
  ++m_size;
  return true;
}

void CommandStore::SealOpenBlock() {
  if (m_blocks.size() == m_blocks.capacity()) m_blocks.reserve(m_blocks.size() * 2 + 64);
  Block b;
  b.words = std::make_unique<std::uint64_t[]>(m_open.size());
  std::copy(m_open.begin(), m_open.end(), b.words.get());
  b.wordCount = m_open.size();
  m_blocks.push_back(std::move(b));
  m_open.clear();
  m_openRecords = 0;
}

void CommandStore::Clear() {
  std::vector<Block> old;
  std::vector<std::uint64_t> open;
  {
    std::lock_guard lock(m_mutex);
    old.swap(m_blocks);
    open.swap(m_open);
    m_openRecords = 0;
    m_size = 0;
  }
  // The blocks are freed outside the lock.
}

std::size_t CommandStore::Size() const {
  std::lock_guard lock(m_mutex);
  return m_size;
}

bool CommandStore::At(std::size_t index, CommandRecord& out) const {
  std::lock_guard lock(m_mutex);
  if (index >= m_size) return false;
  const std::size_t block = index / kBlockRecords;
  const std::uint64_t* p = block < m_blocks.size() ? m_blocks[block].words.get() : m_open.data();
  for (std::size_t skip = index % kBlockRecords; skip > 0; --skip) p += Unpack(p, nullptr);
  Unpack(p, &out);
  return true;
}

std::vector<CommandRecord> CommandStore::Snapshot() const {
  std::lock_guard lock(m_mutex);
  std::vector<CommandRecord> all(m_size);
  std::size_t i = 0;
  auto unpackAll = [&](const std::uint64_t* p, const std::uint64_t* end) {
    while (p < end) p += Unpack(p, &all[i++]);
  };
  for (const Block& b : m_blocks) unpackAll(b.words.get(), b.words.get() + b.wordCount);
  unpackAll(m_open.data(), m_open.data() + m_open.size());
  return all;
}

std::size_t CommandStore::HeldBytes() const {
  std::lock_guard lock(m_mutex);
  std::size_t bytes = m_blocks.capacity() * sizeof(Block) + m_open.capacity() * sizeof(std::uint64_t);
  for (const Block& b : m_blocks) bytes += b.wordCount * sizeof(std::uint64_t);
  return bytes;
}

CommandStore& Commands() {
  static CommandStore* store = new CommandStore();  // lives until exit; loaders may still append
  return *store;
}

void ClearCommandRecords() {
  Commands().Clear();
  g_outOfMemory.store(false);
}

bool CommandsRanOutOfMemory() { return g_outOfMemory.load(); }

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
  CommandRecord rec;
  rec.line = line ? *line : 0;
  rec.kind = kind ? *kind : 0;
  const double* in[13] = {xValue, yValue, zValue, xPos, yPos, zPos, i, j, k, r, p, q, feed};
  for (int n = 0; n < 13; ++n) rec.values[n] = Val(in[n]);
  bool stored = false;
  try {
    if (AppendHook hook = g_hook.load(std::memory_order_acquire)) hook();
    stored = Commands().Append(rec);
  } catch (const std::bad_alloc&) {
  }
  if (!stored) {
    // Nothing may reach the library from here: the simulation ends instead.
    g_outOfMemory.store(true);
    return 0;
  }
  return SimulationStopRequested() ? 0 : 1;
}

void GetToolOffsets(unsigned char* /*tool*/, double* first, double* second, double* third) {
  if (first) *first = 0.0;
  if (second) *second = 0.0;
  if (third) *third = 0.0;
}

}  // namespace ravik
