// The view's copy of a tool path: vertices, box, and independence from the
// library's memory.
#include <gtest/gtest.h>

#include <memory>

#include "mod_gcode/GCCode/PathArena.h"
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
