#include "mod_gcode/GCCode/PathArena.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace quillet {

void* CPathArena::Region::Allocate(std::size_t bytes, std::size_t align, bool grow) {
  std::size_t pad = cursor ? (align - reinterpret_cast<std::uintptr_t>(cursor) % align) % align : 0;
  if (!cursor || pad + bytes > left) {
    if (!grow) return nullptr;
    std::size_t size = std::max(nextChunk, bytes + align);
    chunks.emplace_back(new std::byte[size]);
    cursor = chunks.back().get();
    left = size;
    reserved += size;
    nextChunk = std::min<std::size_t>(nextChunk * 2, 16 * 1024 * 1024);
    pad = (align - reinterpret_cast<std::uintptr_t>(cursor) % align) % align;
  }
  std::byte* p = cursor + pad;
  cursor = p + bytes;
  left -= pad + bytes;
  return p;
}

void CPathArena::Region::Reset() {
  chunks.clear();
  cursor = nullptr;
  left = 0;
  reserved = 0;
  nextChunk = 64 * 1024;
}

CPoint3d* CPathArena::AllocatePoints(std::size_t count) {
  return static_cast<CPoint3d*>(m_points.Allocate(sizeof(CPoint3d) * count, alignof(CPoint3d)));
}

CPathPolyline* CPathArena::MakePolyline(const CPathStyle& style, const CPoint3d* points,
                                        std::size_t count) {
  CPoint3d* pts = nullptr;
  if (count > 0) {
    pts = AllocatePoints(count);
    std::memcpy(static_cast<void*>(pts), points, sizeof(CPoint3d) * count);
  }
  m_runEnd = nullptr;
  void* mem = m_heads.Allocate(sizeof(CPathPolyline), alignof(CPathPolyline));
  return new (mem) CPathPolyline(style, pts, static_cast<std::int32_t>(count));
}

CPathPolyline* CPathArena::MakeSegment(const CPathStyle& style, const CPoint3d& start,
                                       const CPoint3d& end) {
  CPoint3d* pts = nullptr;
  if (m_runEnd && reinterpret_cast<std::byte*>(m_runEnd) == m_points.cursor &&
      std::memcmp(static_cast<const void*>(&m_runEnd[-1]), &start, sizeof(CPoint3d)) == 0) {
    // Continue the run in place when the next point still fits this chunk.
    if (auto* slot = static_cast<CPoint3d*>(m_points.Allocate(sizeof(CPoint3d), alignof(CPoint3d), false))) {
      *slot = end;
      pts = slot - 1;
    }
  }
  if (!pts) {
    pts = AllocatePoints(2);
    pts[0] = start;
    pts[1] = end;
  }
  m_runEnd = pts + 2;
  void* mem = m_heads.Allocate(sizeof(CPathPolyline), alignof(CPathPolyline));
  return new (mem) CPathPolyline(style, pts, 2);
}

CPathList CPathArena::MakeList(CPathPolyline* const* items, std::size_t count) {
  CPathList list;
  if (count == 0) return list;
  if (count == 1) {
    list.m_one = items[0];
    list.m_count = 1;
    return list;
  }
  auto** arr = static_cast<CPathPolyline**>(
      m_heads.Allocate(sizeof(CPathPolyline*) * count, alignof(CPathPolyline*)));
  std::memcpy(static_cast<void*>(arr), items, sizeof(CPathPolyline*) * count);
  list.m_items = arr;
  list.m_count = static_cast<std::uint32_t>(count);
  return list;
}

void CPathArena::Reset() {
  m_points.Reset();
  m_heads.Reset();
  m_runEnd = nullptr;
}

}  // namespace quillet
