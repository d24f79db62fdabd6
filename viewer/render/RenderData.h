// The 3D view's own copy of a tool path.
//
// `CRenderData` is built from the library's `PathGroups` while the caller
// holds the path lock, and afterwards never refers to the library's memory:
// it keeps the vertex floats, each polyline's style, first vertex and point
// count, and the bounding box. The library may free or replace its polylines
// as soon as the constructor returns.
//
// A vertex is its position alone (three floats); the normal, the same
// (0, 1, 0) for every vertex of a line, is a constant attribute. A polyline's
// style is a number into a small table of the distinct styles. Once the
// vertices and indices are in buffer objects, the renderer drops this copy of
// them (`ReleaseHostArrays`); the counts, styles and batches stay.
//
// Drawing is grouped into batches: consecutive polylines of the same style
// (colour, width, primitive kind and stipple pattern) are drawn with one call.
// A line strip per polyline must not connect to the next polyline, so a batch
// of line strips is drawn either as independent line segments (GL_LINES
// through `indices`, which list each segment's two vertices) or as several
// strips in one call (glMultiDrawArrays over `firsts`/`counts`). Solid strips
// and two-point strips look the same drawn either way; a stippled strip of
// more than two points is always drawn as a strip, since GL_LINES would
// restart the stipple pattern at every vertex.
//
// Block highlighting recolours polylines without moving them: `Restyle` reads
// the styles again from the same `PathGroups` and only derives new batches,
// so no vertex data is rebuilt or uploaded again.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "mod_gcode/geometry/PathRecords.h"

namespace ravik {

// What decides how a polyline is drawn.
struct PolylineStyle {
  float r = 0.f, g = 0.f, b = 0.f, a = 0.f;
  float width = 0.f;
  std::int16_t kind = 3;      // OpenGL primitive: 3 line strip, 0 points, ...
  std::int16_t pattern = -1;  // stipple pattern index, negative = solid
  bool operator==(const PolylineStyle&) const = default;
};

// The stipple patterns, indexed by a polyline's pattern field.
inline constexpr int kStippleCount = 6;
inline constexpr std::uint16_t kStipplePatterns[kStippleCount] = {0x0101, 0x27FF, 0x33FF,
                                                                  0x3F3F, 0x24FF, 0x05FF};
// The pattern to stipple with, or -1 for a solid line (a negative index or
// one beyond the table).
int StipplePattern(int patternIndex);

// How a batch is issued.
enum class BatchDraw : std::uint8_t {
  Single,     // one polyline: glDrawArrays(kind, first, count)
  Pairs,      // two-point line strips with consecutive vertices: glDrawArrays(GL_LINES)
  Lines,      // line strips as segments: glDrawElements(GL_LINES) over `indices`
  MultiDraw,  // glMultiDrawArrays(kind) over `firsts`/`counts`
  Skip,       // nothing to draw (no points, or a primitive kind OpenGL lacks)
};

struct DrawBatch {
  PolylineStyle style;
  BatchDraw draw = BatchDraw::Skip;
  std::uint32_t firstPolyline = 0;  // into `firsts`/`counts`/`styles`
  std::uint32_t polylineCount = 0;
  std::int32_t firstVertex = 0;     // Single, Pairs
  std::int32_t vertexCount = 0;
  std::uint32_t firstIndex = 0;     // Lines: into `indices`
  std::uint32_t indexCount = 0;
};

// How batches are formed (the view uses Batched; the others are the
// reference drawing for tests and the benchmark).
enum class BatchMode : std::uint8_t {
  Batched,      // runs of one style: Pairs, Lines or MultiDraw
  Strips,       // runs of one style, always MultiDraw
  PerPolyline,  // one Single draw per polyline
};

class CRenderData {
 public:
  static constexpr int kFloatsPerVertex = 3;  // x, y, z
  static constexpr int kStrideBytes = kFloatsPerVertex * 4;

  CRenderData() = default;
  // Copies the tool path. Null polylines and negative point counts are
  // skipped; a path too large for 32-bit vertex numbers is cut off there.
  explicit CRenderData(const quillet::PathGroups& groups, BatchMode mode = BatchMode::Batched);

  // Reads the styles again from `groups`, which must hold the same polylines
  // with the same point counts as when this data was built; then forms new
  // batches. Returns false (and changes nothing) when the structure differs.
  bool Restyle(const quillet::PathGroups& groups);
  void SetBatchMode(BatchMode mode);
  BatchMode batchMode() const { return m_mode; }

  bool empty() const { return m_vertexCount == 0; }
  std::size_t vertexCount() const { return m_vertexCount; }
  std::size_t polylineCount() const { return styleIds.size(); }
  const float* vertexPointer() const { return vertices.empty() ? nullptr : vertices.data(); }
  const PolylineStyle& style(std::size_t polyline) const { return palette[styleIds[polyline]]; }
  // Frees `vertices` and `indices` (they were copied into buffer objects).
  void ReleaseHostArrays();
  bool hasHostArrays() const { return !vertices.empty() || m_vertexCount == 0; }
  // Bytes held by this copy.
  std::size_t HeldBytes() const;

  // The bounding box; it always contains the origin.
  double minX = 0, minY = 0, minZ = 0;
  double maxX = 0, maxY = 0, maxZ = 0;

  std::vector<float> vertices;
  std::int32_t floatCount = 0;
  // The distinct styles, and per polyline (in drawing order) its number there.
  std::vector<PolylineStyle> palette;
  std::vector<std::uint16_t> styleIds;
  std::vector<std::int32_t> firsts;  // first vertex
  std::vector<std::int32_t> counts;  // point count
  std::vector<std::uint32_t> indexStarts;  // first entry in `indices`
  // Two vertex numbers per segment of every line-strip polyline.
  std::vector<std::uint32_t> indices;
  std::vector<DrawBatch> batches;

 private:
  void DeriveBatches();
  // The number of `style` in the palette (added when new).
  std::uint16_t StyleId(const PolylineStyle& style);
  BatchMode m_mode = BatchMode::Batched;
  std::size_t m_vertexCount = 0;
  std::size_t m_indexCount = 0;
};

}  // namespace ravik
