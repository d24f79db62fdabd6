#include "viewer/render/RenderData.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ravik {

namespace {

constexpr int kLineStrip = 3;
constexpr int kMaxPrimitiveKind = 9;  // GL_POLYGON
// Vertex numbers and index positions stay well inside 32-bit ints.
constexpr std::size_t kMaxVertices = std::size_t{1} << 28;

PolylineStyle StyleOf(const quillet::CPathStyle& s) {
  PolylineStyle st;
  st.r = s.r;
  st.g = s.g;
  st.b = s.b;
  st.a = s.a;
  st.width = s.width;
  st.kind = s.kind;
  st.pattern = s.pattern;
  return st;
}

}  // namespace

int StipplePattern(int patternIndex) {
  if (patternIndex < 0 || patternIndex >= kStippleCount) return -1;
  return kStipplePatterns[patternIndex];
}

CRenderData::CRenderData(const quillet::PathGroups& groups, BatchMode mode) : m_mode(mode) {
  // First pass: sizes, so that the copy below writes into storage made once.
  std::size_t polylines = 0, points = 0, segments = 0;
  bool full = false;
  for (const quillet::CPathList& list : groups) {
    for (const quillet::CPathPolyline* pl : list) {
      if (!pl || pl->PointCount() < 0) continue;
      std::size_t n = static_cast<std::size_t>(pl->PointCount());
      if (points + n > kMaxVertices) {
        full = true;
        break;
      }
      ++polylines;
      points += n;
      if (n > 1) segments += n - 1;
    }
    if (full) break;
  }
  styleIds.reserve(polylines);
  firsts.reserve(polylines);
  counts.reserve(polylines);
  indexStarts.reserve(polylines);
  vertices.resize(points * kFloatsPerVertex);
  indices.resize(segments * 2);

  float* v = vertices.data();
  std::uint32_t* ix = indices.data();
  std::size_t vertex = 0, index = 0;
  double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
  for (const quillet::CPathList& list : groups) {
    if (styleIds.size() == polylines) break;
    for (const quillet::CPathPolyline* pl : list) {
      if (styleIds.size() == polylines) break;
      if (!pl || pl->PointCount() < 0) continue;
      std::size_t n = static_cast<std::size_t>(pl->PointCount());
      styleIds.push_back(StyleId(StyleOf(pl->Style())));
      firsts.push_back(static_cast<std::int32_t>(vertex));
      counts.push_back(static_cast<std::int32_t>(n));
      indexStarts.push_back(static_cast<std::uint32_t>(index));
      const quillet::CPoint3d* p = pl->Points();
      for (std::size_t i = 0; i < n; ++i) {
        const double c[3] = {p[i].x, p[i].y, p[i].z};
        for (int k = 0; k < 3; ++k) {
          if (!std::isfinite(c[k])) continue;  // keeps the box (and the fit) usable
          lo[k] = std::min(lo[k], c[k]);
          hi[k] = std::max(hi[k], c[k]);
        }
        v[0] = static_cast<float>(c[0]);
        v[1] = static_cast<float>(c[1]);
        v[2] = static_cast<float>(c[2]);
        v += kFloatsPerVertex;
      }
      for (std::size_t i = 1; i < n; ++i) {
        ix[0] = static_cast<std::uint32_t>(vertex + i - 1);
        ix[1] = static_cast<std::uint32_t>(vertex + i);
        ix += 2;
      }
      vertex += n;
      if (n > 1) index += 2 * (n - 1);
    }
  }
  minX = lo[0];
  minY = lo[1];
  minZ = lo[2];
  maxX = hi[0];
  maxY = hi[1];
  maxZ = hi[2];
  floatCount = static_cast<std::int32_t>(vertices.size());
  m_vertexCount = points;
  m_indexCount = indices.size();
  DeriveBatches();
}

std::uint16_t CRenderData::StyleId(const PolylineStyle& style) {
  // Paths use a handful of styles; the last one found is the likely next.
  if (!styleIds.empty() && palette[styleIds.back()] == style) return styleIds.back();
  for (std::size_t i = 0; i < palette.size(); ++i)
    if (palette[i] == style) return static_cast<std::uint16_t>(i);
  if (palette.size() == 0xFFFF) return 0;  // beyond 65535 styles the first one stands in
  palette.push_back(style);
  return static_cast<std::uint16_t>(palette.size() - 1);
}

void CRenderData::ReleaseHostArrays() {
  std::vector<float>().swap(vertices);
  std::vector<std::uint32_t>().swap(indices);
}

std::size_t CRenderData::HeldBytes() const {
  return vertices.capacity() * sizeof(float) + indices.capacity() * sizeof(std::uint32_t) +
         palette.capacity() * sizeof(PolylineStyle) + styleIds.capacity() * sizeof(std::uint16_t) +
         (firsts.capacity() + counts.capacity()) * sizeof(std::int32_t) +
         indexStarts.capacity() * sizeof(std::uint32_t) + batches.capacity() * sizeof(DrawBatch);
}

bool CRenderData::Restyle(const quillet::PathGroups& groups) {
  std::size_t i = 0;
  for (const quillet::CPathList& list : groups) {
    for (const quillet::CPathPolyline* pl : list) {
      if (!pl || pl->PointCount() < 0) continue;
      if (i >= styleIds.size() || pl->PointCount() != counts[i]) return false;
      ++i;
    }
  }
  if (i != styleIds.size()) return false;
  i = 0;
  for (const quillet::CPathList& list : groups) {
    for (const quillet::CPathPolyline* pl : list) {
      if (!pl || pl->PointCount() < 0) continue;
      styleIds[i] = StyleId(StyleOf(pl->Style()));
      ++i;
    }
  }
  DeriveBatches();
  return true;
}

void CRenderData::SetBatchMode(BatchMode mode) {
  m_mode = mode;
  DeriveBatches();
}

void CRenderData::DeriveBatches() {
  batches.clear();
  const std::size_t n = styleIds.size();
  std::size_t i = 0;
  while (i < n) {
    std::size_t j = i + 1;
    if (m_mode != BatchMode::PerPolyline) {
      while (j < n && styleIds[j] == styleIds[i]) ++j;
    }
    DrawBatch b;
    b.style = palette[styleIds[i]];
    b.firstPolyline = static_cast<std::uint32_t>(i);
    b.polylineCount = static_cast<std::uint32_t>(j - i);
    std::int32_t maxCount = 0;
    std::int64_t total = 0;
    bool allPairs = true;
    for (std::size_t k = i; k < j; ++k) {
      maxCount = std::max(maxCount, counts[k]);
      total += counts[k];
      allPairs = allPairs && counts[k] == 2;
    }
    const int kind = b.style.kind;
    if (total == 0 || kind < 0 || kind > kMaxPrimitiveKind) {
      b.draw = BatchDraw::Skip;
    } else if (j - i == 1) {
      b.draw = BatchDraw::Single;
      b.firstVertex = firsts[i];
      b.vertexCount = counts[i];
    } else if (m_mode == BatchMode::Strips || kind != kLineStrip) {
      b.draw = BatchDraw::MultiDraw;
    } else if (allPairs) {
      // Every polyline's points follow the previous polyline's, so a run of
      // two-point strips is one block of segment pairs.
      b.draw = BatchDraw::Pairs;
      b.firstVertex = firsts[i];
      b.vertexCount = static_cast<std::int32_t>(total);
    } else if (StipplePattern(b.style.pattern) < 0 || maxCount <= 2) {
      b.draw = BatchDraw::Lines;
      b.firstIndex = indexStarts[i];
      std::size_t end = (j < n) ? indexStarts[j] : m_indexCount;
      b.indexCount = static_cast<std::uint32_t>(end - indexStarts[i]);
    } else {
      b.draw = BatchDraw::MultiDraw;
    }
    batches.push_back(b);
    i = j;
  }
}

}  // namespace ravik
