// The view's copy of a tool path: vertices, box, batches, restyling, and
// independence from the library's memory.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "mod_gcode/GCCode/PathArena.h"
#include "viewer/render/Glyphs.h"
#include "viewer/render/RenderData.h"

using quillet::CPathArena;
using quillet::CPathPolyline;
using quillet::CPathStyle;
using quillet::PathGroups;
using QPoint = quillet::CPoint3d;
using ravik::BatchDraw;
using ravik::BatchMode;
using ravik::CRenderData;

namespace {

CPathStyle Style(float r, float g, float b, float width, int pattern) {
  CPathStyle s;
  s.r = r;
  s.g = g;
  s.b = b;
  s.a = 1.f;
  s.width = width;
  s.kind = 3;
  s.pattern = static_cast<std::int16_t>(pattern);
  return s;
}

const CPathStyle kFeed = Style(0, 1, 0, 1.5f, -1);
const CPathStyle kRapid = Style(0, 1, 1, 1.0f, 0);
const CPathStyle kArc = Style(1, 1, 0, 1.5f, -1);

// Builds path groups in an arena; each inner vector is one block.
struct Path {
  std::unique_ptr<CPathArena> arena = std::make_unique<CPathArena>();
  PathGroups groups;
  void Block(std::vector<CPathPolyline*> items) {
    groups.push_back(arena->MakeList(items.data(), items.size()));
  }
  CPathPolyline* Seg(const CPathStyle& s, QPoint a, QPoint b) { return arena->MakeSegment(s, a, b); }
  CPathPolyline* Poly(const CPathStyle& s, std::vector<QPoint> pts) {
    return arena->MakePolyline(s, pts.data(), pts.size());
  }
};

}  // namespace

TEST(RenderData, CopiesPointsAsSixFloatsPerVertex) {
  Path p;
  p.Block({p.Seg(kFeed, {1, 2, 3}, {4, 5, 6}), p.Poly(kArc, {{7, 8, 9}, {10, 11, 12}, {13, 14, 15}})});
  CRenderData d(p.groups);
  ASSERT_EQ(5u, d.vertexCount());
  EXPECT_EQ(30, d.floatCount);
  const float expected[] = {1, 2, 3, 0, 1, 0, 4, 5, 6, 0, 1, 0, 7, 8, 9, 0, 1, 0,
                            10, 11, 12, 0, 1, 0, 13, 14, 15, 0, 1, 0};
  for (int i = 0; i < 30; ++i) EXPECT_EQ(expected[i], d.vertices[i]) << i;
  EXPECT_EQ((std::vector<std::int32_t>{0, 2}), d.firsts);
  EXPECT_EQ((std::vector<std::int32_t>{2, 3}), d.counts);
  // Segments of each polyline only: nothing joins vertex 1 to vertex 2.
  EXPECT_EQ((std::vector<std::uint32_t>{0, 1, 2, 3, 3, 4}), d.indices);
  EXPECT_EQ(0.f, d.styles[1].r - 1.f);
  EXPECT_EQ(1.5f, d.styles[1].width);
  EXPECT_EQ(d.vertices.data(), d.vertexPointer());
}

TEST(RenderData, BoxAlwaysHoldsTheOrigin) {
  Path p;
  p.Block({p.Seg(kFeed, {10, 20, 5}, {30, 25, 8})});
  CRenderData d(p.groups);
  EXPECT_EQ(0, d.minX);
  EXPECT_EQ(0, d.minY);
  EXPECT_EQ(0, d.minZ);
  EXPECT_EQ(30, d.maxX);
  EXPECT_EQ(25, d.maxY);
  EXPECT_EQ(8, d.maxZ);

  Path q;
  q.Block({q.Seg(kFeed, {-10, -3, -2}, {-4, -1, -1})});
  CRenderData e(q.groups);
  EXPECT_EQ(-10, e.minX);
  EXPECT_EQ(0, e.maxX);
  EXPECT_EQ(-3, e.minY);
  EXPECT_EQ(0, e.maxY);
}

TEST(RenderData, EmptyPathsGiveEmptyData) {
  PathGroups none;
  CRenderData a(none);
  EXPECT_TRUE(a.empty());
  EXPECT_EQ(nullptr, a.vertexPointer());
  EXPECT_TRUE(a.batches.empty());

  Path p;
  p.Block({});
  p.Block({p.Poly(kFeed, {})});
  CRenderData b(p.groups);
  EXPECT_TRUE(b.empty());
  ASSERT_EQ(1u, b.batches.size());
  EXPECT_EQ(BatchDraw::Skip, b.batches[0].draw);
}

TEST(RenderData, CopyOutlivesTheLibrarysMemory) {
  Path p;
  p.Block({p.Seg(kFeed, {1, 1, 0}, {2, 2, 0}), p.Seg(kFeed, {2, 2, 0}, {3, 1, 0})});
  CRenderData d(p.groups);
  // The library replaces its program: every polyline is freed.
  p.groups.clear();
  p.arena.reset();
  ASSERT_EQ(4u, d.vertexCount());
  EXPECT_EQ(3.f, d.vertices[18]);
  EXPECT_EQ(1.f, d.vertices[19]);
  EXPECT_EQ(3.0, d.maxX);
}

TEST(RenderData, ConsecutivePolylinesOfOneStyleShareABatch) {
  Path p;
  // Block 1: three feed segments; block 2: two more feeds, then a rapid,
  // then an arc of several points, then two solid multi-point feeds.
  p.Block({p.Seg(kFeed, {0, 0, 0}, {1, 0, 0}), p.Seg(kFeed, {1, 0, 0}, {1, 1, 0}),
           p.Seg(kFeed, {1, 1, 0}, {0, 1, 0})});
  p.Block({p.Seg(kFeed, {0, 1, 0}, {0, 2, 0}), p.Seg(kFeed, {5, 5, 0}, {6, 6, 0}),
           p.Seg(kRapid, {6, 6, 0}, {9, 9, 0}),
           p.Poly(kArc, {{9, 9, 0}, {10, 10, 0}, {11, 9, 0}}),
           p.Poly(kFeed, {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}}), p.Poly(kFeed, {{3, 3, 0}, {4, 4, 0}})});
  CRenderData d(p.groups);
  ASSERT_EQ(4u, d.batches.size());
  const auto& feeds = d.batches[0];
  EXPECT_EQ(BatchDraw::Pairs, feeds.draw);  // five two-point feeds, across blocks
  EXPECT_EQ(0u, feeds.firstPolyline);
  EXPECT_EQ(5u, feeds.polylineCount);
  EXPECT_EQ(0, feeds.firstVertex);
  EXPECT_EQ(10, feeds.vertexCount);
  EXPECT_EQ(BatchDraw::Single, d.batches[1].draw);  // the rapid
  EXPECT_EQ(10, d.batches[1].firstVertex);
  EXPECT_EQ(2, d.batches[1].vertexCount);
  EXPECT_EQ(BatchDraw::Single, d.batches[2].draw);  // the arc
  EXPECT_EQ(3, d.batches[2].vertexCount);
  // Two solid feeds, one of three points: segments through the indices.
  const auto& lines = d.batches[3];
  EXPECT_EQ(BatchDraw::Lines, lines.draw);
  EXPECT_EQ(6u, lines.indexCount);
  std::vector<std::uint32_t> segs(d.indices.begin() + lines.firstIndex,
                                  d.indices.begin() + lines.firstIndex + lines.indexCount);
  EXPECT_EQ((std::vector<std::uint32_t>{15, 16, 16, 17, 18, 19}), segs);
}

TEST(RenderData, StippledStripsStayStrips) {
  Path p;
  p.Block({p.Poly(kRapid, {{0, 0, 0}, {5, 0, 0}, {5, 5, 0}}), p.Seg(kRapid, {5, 5, 0}, {0, 5, 0})});
  CRenderData d(p.groups);
  ASSERT_EQ(1u, d.batches.size());
  // As segments the stipple would restart at the middle vertex.
  EXPECT_EQ(BatchDraw::MultiDraw, d.batches[0].draw);
  EXPECT_EQ(2u, d.batches[0].polylineCount);

  // Two-point stippled strips draw the same as segments.
  Path q;
  q.Block({q.Seg(kRapid, {0, 0, 0}, {5, 0, 0}), q.Seg(kRapid, {7, 0, 0}, {9, 0, 0})});
  EXPECT_EQ(BatchDraw::Pairs, CRenderData(q.groups).batches[0].draw);
}

TEST(RenderData, BatchModesForReferenceDrawing) {
  Path p;
  p.Block({p.Seg(kFeed, {0, 0, 0}, {1, 0, 0}), p.Seg(kFeed, {1, 0, 0}, {2, 0, 0}),
           p.Seg(kFeed, {2, 0, 0}, {3, 0, 0})});
  CRenderData d(p.groups, BatchMode::PerPolyline);
  ASSERT_EQ(3u, d.batches.size());
  for (const auto& b : d.batches) EXPECT_EQ(BatchDraw::Single, b.draw);
  d.SetBatchMode(BatchMode::Strips);
  ASSERT_EQ(1u, d.batches.size());
  EXPECT_EQ(BatchDraw::MultiDraw, d.batches[0].draw);
  d.SetBatchMode(BatchMode::Batched);
  EXPECT_EQ(BatchDraw::Pairs, d.batches[0].draw);
}

TEST(RenderData, UnknownPrimitiveKindsAreNotDrawn) {
  Path p;
  CPathStyle odd = kFeed;
  odd.kind = 42;
  p.Block({p.Seg(odd, {0, 0, 0}, {1, 0, 0})});
  EXPECT_EQ(BatchDraw::Skip, CRenderData(p.groups).batches[0].draw);
}

TEST(RenderData, RestyleReformsBatchesWithoutTouchingVertices) {
  Path p;
  CPathPolyline* a = p.Seg(kFeed, {0, 0, 0}, {1, 0, 0});
  CPathPolyline* b = p.Seg(kFeed, {1, 0, 0}, {2, 0, 0});
  CPathPolyline* c = p.Seg(kFeed, {2, 0, 0}, {3, 0, 0});
  p.Block({a});
  p.Block({b});
  p.Block({c});
  CRenderData d(p.groups);
  ASSERT_EQ(1u, d.batches.size());
  const float* before = d.vertexPointer();

  // Highlight block 1: red, width 3.
  b->m_style.r = 1;
  b->m_style.g = 0;
  b->m_style.b = 0;
  b->m_style.width = 3;
  ASSERT_TRUE(d.Restyle(p.groups));
  EXPECT_EQ(before, d.vertexPointer());
  ASSERT_EQ(3u, d.batches.size());
  EXPECT_EQ(1.f, d.batches[1].style.r);
  EXPECT_EQ(3.f, d.batches[1].style.width);
  EXPECT_EQ(1u, d.batches[1].firstPolyline);
  EXPECT_EQ(0.f, d.batches[2].style.r);

  // Back to the feed style: one batch again.
  b->m_style = kFeed;
  b->m_style.count = 2;
  ASSERT_TRUE(d.Restyle(p.groups));
  EXPECT_EQ(1u, d.batches.size());

  // A different program is refused and leaves the data as it was.
  Path other;
  other.Block({other.Poly(kArc, {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}})});
  EXPECT_FALSE(d.Restyle(other.groups));
  EXPECT_EQ(1u, d.batches.size());
  EXPECT_EQ(0.f, d.styles[1].r);
}

TEST(RenderData, StippleTableAndIndicesOutsideIt) {
  EXPECT_EQ(0x0101, ravik::StipplePattern(0));
  EXPECT_EQ(0x33FF, ravik::StipplePattern(2));
  EXPECT_EQ(0x3F3F, ravik::StipplePattern(3));
  EXPECT_EQ(0x05FF, ravik::StipplePattern(5));
  EXPECT_EQ(-1, ravik::StipplePattern(-1));
  EXPECT_EQ(-1, ravik::StipplePattern(6));
}

TEST(Glyphs, GivenBitmapsAndMissingCharacters) {
  const unsigned char a[13] = {0x00, 0x00, 0xc3, 0xc3, 0xc3, 0xc3, 0xff,
                               0xc3, 0xc3, 0xc3, 0x66, 0x3c, 0x18};
  const unsigned char i[13] = {0x00, 0x00, 0x7e, 0x18, 0x18, 0x18, 0x18,
                               0x18, 0x18, 0x18, 0x18, 0x18, 0x7e};
  const unsigned char dot[13] = {0x00, 0x00, 0x18, 0x18, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (int r = 0; r < 13; ++r) {
    EXPECT_EQ(a[r], ravik::GlyphBitmap('A')[r]) << r;
    EXPECT_EQ(i[r], ravik::GlyphBitmap('I')[r]) << r;
    EXPECT_EQ(dot[r], ravik::GlyphBitmap('.')[r]) << r;
    EXPECT_EQ(0, ravik::GlyphBitmap(' ')[r]);
  }
  // Every capital has ink, and its two bottom rows are empty.
  for (char c = 'A'; c <= 'Z'; ++c) {
    const unsigned char* g = ravik::GlyphBitmap(c);
    ASSERT_NE(nullptr, g);
    EXPECT_EQ(0, g[0] | g[1]) << c;
    int ink = 0;
    for (int r = 2; r < 13; ++r) ink += g[r] != 0;
    EXPECT_GE(ink, 9) << c;
  }
  EXPECT_EQ(nullptr, ravik::GlyphBitmap('a'));
  EXPECT_EQ(nullptr, ravik::GlyphBitmap('1'));
}
