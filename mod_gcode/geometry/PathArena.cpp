#include "mod_gcode/geometry/PathArena.h"

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
    if (total) *total += size;
    nextChunk = std::min<std::size_t>(nextChunk * 2, 16 * 1024 * 1024);
    pad = (align - reinterpret_cast<std::uintptr_t>(cursor) % align) % align;
  }
  std::byte* p = cursor + pad;
  cursor = p + bytes;
  left -= pad + bytes;
  return p;
}

void CPathArena::Region::Reset() {
  if (total) *total -= reserved;
  chunks.clear();
  cursor = nullptr;
  left = 0;
  reserved = 0;
  nextChunk = firstChunk;
}

CPoint3d* CPathArena::AllocatePoints(std::size_t count) {
  return static_cast<CPoint3d*>(m_points.Allocate(sizeof(CPoint3d) * count, alignof(CPoint3d)));
}

const CPathStyle* CPathArena::Shared(const CPathStyle& style, std::int32_t count) {
  CPathStyle key = style;
  key.count = count;
  static_assert(sizeof(CPathStyle) == 7 * 4, "a style has no padding bytes");
  if (m_lastStyle && std::memcmp(m_lastStyle, &key, sizeof key) == 0) return m_lastStyle;
  std::string_view bytes(reinterpret_cast<const char*>(&key), sizeof key);
  auto it = m_styles.find(bytes);
  if (it == m_styles.end()) {
    void* mem = m_heads.Allocate(sizeof(CPathStyle), alignof(CPathStyle));
    const auto* shared = new (mem) CPathStyle(key);
    it = m_styles.emplace(std::string_view(reinterpret_cast<const char*>(shared), sizeof key), shared).first;
  }
  m_lastStyle = it->second;
  return m_lastStyle;
}

void CPathArena::SetStyle(CPathPolyline* polyline, const CPathStyle& style) {
  if (polyline) polyline->m_style = Shared(style, polyline->PointCount());
}

CPathPolyline* CPathArena::MakePolyline(const CPathStyle& style, const CPoint3d* points,
                                        std::size_t count) {
  CPoint3d* pts = nullptr;
  if (count > 0) {
    pts = AllocatePoints(count);
    std::memcpy(static_cast<void*>(pts), points, sizeof(CPoint3d) * count);
  }
  m_runEnd = nullptr;
  const CPathStyle* shared = Shared(style, static_cast<std::int32_t>(count));
  void* mem = m_heads.Allocate(sizeof(CPathPolyline), alignof(CPathPolyline));
  return new (mem) CPathPolyline(shared, pts);
}

CPathPolyline* CPathArena::MakeSegment(const CPathStyle& style, const CPoint3d& start,
                                       const CPoint3d& end) {
  CPoint3d* pts = nullptr;
  if (m_runEnd && std::memcmp(static_cast<const void*>(&m_runEnd[-2]), &start, sizeof(CPoint3d)) == 0 &&
      std::memcmp(static_cast<const void*>(&m_runEnd[-1]), &end, sizeof(CPoint3d)) == 0) {
    // The same segment again (a loop that repeats a move): share its points.
    pts = m_runEnd - 2;
  } else if (m_runEnd && reinterpret_cast<std::byte*>(m_runEnd) == m_points.cursor &&
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
  const CPathStyle* shared = Shared(style, 2);
  void* mem = m_scratch.emplace_back().bytes;
  return new (mem) CPathPolyline(shared, pts);
}

CPathList CPathArena::MakeList(CPathPolyline* const* items, std::size_t count) {
  CPathList list;
  if (count == 1) {
    list.m_one = *items[0];
  } else if (count > 1) {
    // The count, the pointers, then the polylines they point to; the
    // record's address is tagged in its lowest bit (the record is
    // pointer-aligned, so that bit is free).
    auto* record = static_cast<std::size_t*>(m_heads.Allocate(
        sizeof(std::size_t) + (sizeof(CPathPolyline*) + sizeof(CPathPolyline)) * count, alignof(CPathPolyline*)));
    *record = count;
    auto** pointers = reinterpret_cast<CPathPolyline**>(record + 1);
    auto* copies = reinterpret_cast<CPathPolyline*>(pointers + count);
    for (std::size_t i = 0; i < count; ++i) pointers[i] = new (&copies[i]) CPathPolyline(*items[i]);
    list.m_one.m_style = reinterpret_cast<const CPathStyle*>(reinterpret_cast<std::uintptr_t>(record) | 1u);
  }
  m_scratch.clear();
  return list;
}

void CPathArena::Reset() {
  m_points.Reset();
  m_heads.Reset();
  m_runEnd = nullptr;
  m_styles.clear();
  m_lastStyle = nullptr;
  m_scratch.clear();
}

}  // namespace quillet
