// Storage of the drawn records of one path build. Everything is carved out of
// large chunks and released together when the arena is reset or destroyed,
// so a million-segment path costs a few allocations.
//
// Points live in one region and polyline heads and lists in another, so the
// points of consecutive segments form one unbroken run: a segment that starts
// where the previous one ended shares that point instead of repeating it.
// Styles (with their point counts) are kept once each and shared by the
// polylines that use them.
#pragma once
#include <cstddef>
#include <deque>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "mod_gcode/geometry/PathRecords.h"

namespace quillet {

class CPathArena {
 public:
  CPathArena() = default;
  // An arena whose first chunk (and the first after each Reset) holds
  // `firstChunk` bytes, for the many small arenas of sub-program calls.
  explicit CPathArena(std::size_t firstChunk) {
    m_points.firstChunk = m_points.nextChunk = firstChunk;
    m_heads.firstChunk = m_heads.nextChunk = firstChunk;
  }
  CPathArena(const CPathArena&) = delete;
  CPathArena& operator=(const CPathArena&) = delete;

  // A polyline holding a copy of the given points.
  CPathPolyline* MakePolyline(const CPathStyle& style, const CPoint3d* points, std::size_t count);
  // A two-point polyline from `start` to `end`, valid until the next list
  // is made (a list keeps a copy of it).
  CPathPolyline* MakeSegment(const CPathStyle& style, const CPoint3d& start, const CPoint3d& end);
  // A list holding copies of the given polylines.
  CPathList MakeList(CPathPolyline* const* items, std::size_t count);
  // Gives a polyline of this arena another style (its point count stays).
  void SetStyle(CPathPolyline* polyline, const CPathStyle& style);
  // In two steps, of which only the first allocates: the shared copy of a
  // style for a polyline, then giving a polyline a shared style (one from
  // StyleOf or SharedStyleFor).
  const CPathStyle* SharedStyleFor(const CPathPolyline* polyline, const CPathStyle& style) {
    return Shared(style, polyline->PointCount());
  }
  static const CPathStyle* StyleOf(const CPathPolyline* polyline) noexcept { return polyline->m_style; }
  static void UseStyle(CPathPolyline* polyline, const CPathStyle* shared) noexcept { polyline->m_style = shared; }

  // Releases everything made so far.
  void Reset();
  std::size_t BytesReserved() const { return m_points.reserved + m_heads.reserved; }
  // Keeps `*total` up to date with the bytes this arena holds (added as
  // chunks are taken, taken off again by Reset), so that the paths of many
  // arenas are counted in one place.
  void CountInto(std::size_t* total) { m_points.total = m_heads.total = total; }

 private:
  struct Region {
    std::vector<std::unique_ptr<std::byte[]>> chunks;
    std::byte* cursor = nullptr;
    std::size_t left = 0;
    std::size_t reserved = 0;
    std::size_t* total = nullptr;
    std::size_t firstChunk = 64 * 1024;
    std::size_t nextChunk = 64 * 1024;
    // Returns null when `bytes` does not fit the current chunk and `grow` is false.
    void* Allocate(std::size_t bytes, std::size_t align, bool grow = true);
    void Reset();
  };
  CPoint3d* AllocatePoints(std::size_t count);
  // The shared copy of `style` with the point count `count`.
  const CPathStyle* Shared(const CPathStyle& style, std::int32_t count);

  Region m_points;
  Region m_heads;
  // One past the last point written, when the last point allocation was a
  // segment; null otherwise.
  CPoint3d* m_runEnd = nullptr;
  // The shared styles, keyed by their bytes; the last one found.
  std::unordered_map<std::string_view, const CPathStyle*> m_styles;
  const CPathStyle* m_lastStyle = nullptr;
  // Segments between two lists: every list copies the polylines it holds,
  // so most segments need no place of their own.
  struct ScratchSlot {
    alignas(CPathPolyline) std::byte bytes[sizeof(CPathPolyline)];
  };
  std::deque<ScratchSlot> m_scratch;
};

}  // namespace quillet
