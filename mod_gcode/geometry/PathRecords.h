// The drawn records that cross from the library to the viewer: points,
// path styles, polylines, the per-block polyline lists and `PathGroups`.
//
// Polylines live in a path arena owned by the program that built them; the
// viewer reads them in place under its lock and copies what it draws.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillet {

// A position or a vector.
struct CPoint3d {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;

  CPoint3d() = default;
  constexpr CPoint3d(double ax, double ay, double az) : x(ax), y(ay), z(az) {}

  void Clear() { x = y = z = 0.0; }
  void Set(double ax, double ay, double az) { x = ax; y = ay; z = az; }
  double& At(int i) { return i == 0 ? x : (i == 1 ? y : z); }
  double At(int i) const { return i == 0 ? x : (i == 1 ? y : z); }

  CPoint3d operator+(const CPoint3d& o) const { return {x + o.x, y + o.y, z + o.z}; }
  CPoint3d operator-(const CPoint3d& o) const { return {x - o.x, y - o.y, z - o.z}; }
  CPoint3d operator-() const { return {-x, -y, -z}; }
  CPoint3d operator*(double f) const { return {x * f, y * f, z * f}; }
  CPoint3d& operator+=(const CPoint3d& o) { x += o.x; y += o.y; z += o.z; return *this; }
  CPoint3d& operator-=(const CPoint3d& o) { x -= o.x; y -= o.y; z -= o.z; return *this; }
  bool operator==(const CPoint3d& o) const = default;  // exact; see PointsEqual for the tolerant test
};

// Head of every drawn polyline.
struct CPathStyle {
  float r = 0.f, g = 0.f, b = 0.f, a = 0.f;  // colour
  float width = 0.f;                         // line width
  std::int32_t count = 0;                    // number of points of the polyline
  std::int16_t kind = 3;                     // primitive kind: 3 = line strip
  std::int16_t pattern = -1;                 // stipple pattern index, -1 = solid
};

// A forward iterator over a container read by index (`container[i]`), for
// the stores that hand out their items by number.
template <class Container, class Value>
class IndexIterator {
 public:
  using value_type = Value;
  using difference_type = std::ptrdiff_t;
  IndexIterator() = default;
  IndexIterator(const Container* container, std::size_t i) : m_container(container), m_i(i) {}
  Value operator*() const { return (*m_container)[m_i]; }
  IndexIterator& operator++() {
    ++m_i;
    return *this;
  }
  IndexIterator operator++(int) {
    IndexIterator t = *this;
    ++m_i;
    return t;
  }
  bool operator==(const IndexIterator& o) const { return m_i == o.m_i; }

 private:
  const Container* m_container = nullptr;
  std::size_t m_i = 0;
};

// A style and its points in drawing order. Made only by a path arena (see
// PathArena.h), which keeps one copy of each distinct style (the point count
// is part of the style, so every straight segment shares one); the points
// are immutable once the polyline exists, the style may change (block
// highlighting, which points the polyline at another shared style).
class CPathPolyline {
 public:
  const CPathStyle& Style() const { return *m_style; }
  const CPoint3d* Points() const { return m_points; }
  std::int32_t PointCount() const { return m_style->count; }
  const CPoint3d& Point(std::int32_t i) const { return m_points[i]; }
  const CPoint3d* begin() const { return m_points; }
  const CPoint3d* end() const { return m_points + m_style->count; }

 private:
  friend class CPathArena;
  friend class CPathList;
  CPathPolyline(const CPathStyle* style, const CPoint3d* points) : m_style(style), m_points(points) {}
  const CPathStyle* m_style;
  const CPoint3d* m_points;
};

// The polylines of one executed block, in the order they were appended.
// A list of one polyline (most blocks) holds that polyline itself; a longer
// list holds, in the style word tagged in its lowest bit, the address of an
// arena record of the count followed by the polyline pointers.
class CPathList {
 public:
  std::size_t size() const {
    if (!m_one.m_style) return 0;
    return Tagged() ? *Many() : 1;
  }
  bool empty() const { return m_one.m_style == nullptr; }
  CPathPolyline* operator[](std::size_t i) const {
    return Tagged() ? reinterpret_cast<CPathPolyline* const*>(Many() + 1)[i] : const_cast<CPathPolyline*>(&m_one);
  }

  // Yields the polyline pointers in order.
  using iterator = IndexIterator<CPathList, CPathPolyline*>;
  iterator begin() const { return iterator(this, 0); }
  iterator end() const { return iterator(this, size()); }

 private:
  friend class CPathArena;
  bool Tagged() const { return (reinterpret_cast<std::uintptr_t>(m_one.m_style) & 1u) != 0; }
  // The count, followed by the polyline pointers.
  const std::size_t* Many() const {
    return reinterpret_cast<const std::size_t*>(reinterpret_cast<std::uintptr_t>(m_one.m_style) &
                                                ~std::uintptr_t{1});
  }
  CPathPolyline m_one{nullptr, nullptr};
};
static_assert(sizeof(CPathList) == sizeof(CPathPolyline), "a list is the size of one polyline");

// One list per executed block, in execution order, the preamble block first.
using PathGroups = std::vector<CPathList>;

}  // namespace quillet
