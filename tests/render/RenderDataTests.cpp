// The view's copy of a tool path: vertices, box, and independence from the
// library's memory.
#include <gtest/gtest.h>

#include <memory>

#include "mod_gcode/geometry/PathArena.h"
#include "viewer/render/RenderData.h"

TEST(RenderData, CopiesPointsAsThreeFloatsPerVertexAndOutlivesTheLibrarysMemory) {
  auto arena = std::make_unique<quillet::CPathArena>();
  quillet::CPathStyle feed;
  feed.g = 1.f, feed.width = 1.5f;
  const quillet::CPoint3d pts[] = {{7, 8, 9}, {10, 11, 12}, {13, 14, -15}};
  quillet::CPathPolyline* items[] = {arena->MakeSegment(feed, {1, 2, 3}, {4, -5, 6}), arena->MakePolyline(feed, pts, 3)};
  quillet::PathGroups groups{arena->MakeList(items, 2)};
  ravik::CRenderData d(groups);
  // The library replaces its program: every polyline is freed.
  groups.clear();
  arena.reset();
  ASSERT_EQ(5u, d.vertexCount());
  const float expected[] = {1, 2, 3, 4, -5, 6, 7, 8, 9, 10, 11, 12, 13, 14, -15};
  ASSERT_EQ(15, d.floatCount);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(expected[i], d.vertices[i]) << i;
  EXPECT_EQ((std::vector<std::int32_t>{0, 2}), d.firsts);
  EXPECT_EQ((std::vector<std::int32_t>{2, 3}), d.counts);
  // Segments of each polyline only: nothing joins vertex 1 to vertex 2.
  EXPECT_EQ((std::vector<std::uint32_t>{0, 1, 2, 3, 3, 4}), d.indices);
  // The box always holds the origin.
  EXPECT_EQ(0, d.minX);
  EXPECT_EQ(13, d.maxX);
  EXPECT_EQ(-5, d.minY);
  EXPECT_EQ(-15, d.minZ);
  EXPECT_EQ(12, d.maxZ);
}

TEST(RenderData, StylesShareATableAndBatchesStayRightOnceTheArraysAreInBuffers) {
  auto arena = std::make_unique<quillet::CPathArena>();
  quillet::CPathStyle feed, rapid, lit;
  feed.g = 1.f, feed.width = 1.f;
  rapid.r = 1.f, rapid.width = 1.f, rapid.pattern = 2;
  lit.r = lit.g = 1.f, lit.width = 3.f;
  const quillet::CPoint3d arc[] = {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}};
  // feed strip, feed segment, rapid segment, feed strip: three runs.
  // (A segment lives until the next list is made: each list's polylines
  // are made just before it.)
  quillet::PathGroups groups;
  quillet::CPathPolyline* first[] = {arena->MakePolyline(feed, arc, 3), arena->MakeSegment(feed, {2, 0, 0}, {3, 0, 0})};
  groups.push_back(arena->MakeList(first, 2));
  quillet::CPathPolyline* second[] = {arena->MakeSegment(rapid, {3, 0, 0}, {3, 5, 0}),
                                      arena->MakePolyline(feed, arc, 3)};
  groups.push_back(arena->MakeList(second, 2));
  ravik::CRenderData d(groups);
  ASSERT_EQ(d.palette.size(), 2u);
  EXPECT_EQ((std::vector<std::uint16_t>{0, 0, 1, 0}), d.styleIds);
  EXPECT_EQ(d.style(2).pattern, 2);
  const std::vector<ravik::DrawBatch> before = d.batches;
  ASSERT_EQ(before.size(), 3u);
  EXPECT_EQ(before[0].draw, ravik::BatchDraw::Lines);  // a strip and a segment, solid
  EXPECT_EQ(before[0].indexCount, 6u);
  EXPECT_EQ(before[2].draw, ravik::BatchDraw::Single);

  d.ReleaseHostArrays();
  EXPECT_TRUE(d.vertices.empty());
  EXPECT_TRUE(d.indices.empty());
  EXPECT_FALSE(d.empty()) << "the path is still there, in buffers";
  EXPECT_EQ(d.vertexCount(), 10u);

  // A highlight recolours the rapid segment like the feed: one run of all
  // four, whose index range reaches the end of the (released) indices.
  auto recolour = [&](quillet::CPathPolyline* pl, const quillet::CPathStyle& style) { arena->SetStyle(pl, style); };
  recolour(groups[1][0], feed);
  ASSERT_TRUE(d.Restyle(groups));
  ASSERT_EQ(d.batches.size(), 1u);
  EXPECT_EQ(d.batches[0].draw, ravik::BatchDraw::Lines);
  EXPECT_EQ(d.batches[0].firstIndex, 0u);
  EXPECT_EQ(d.batches[0].indexCount, 12u);
  // Another style joins the table; the structure check still holds.
  recolour(groups[1][1], lit);
  ASSERT_TRUE(d.Restyle(groups));
  EXPECT_EQ(d.palette.size(), 3u);
  ASSERT_EQ(d.batches.size(), 2u);
  EXPECT_EQ(d.batches[1].draw, ravik::BatchDraw::Single);
  EXPECT_FLOAT_EQ(d.batches[1].style.width, 3.f);
}
