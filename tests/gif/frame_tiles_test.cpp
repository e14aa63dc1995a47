// The tiles a frame's texture is filled in: every pixel once, each tile within the staging
// texture and its pixel limit, in order.
#include <gtest/gtest.h>

#include <vector>

#include "gif/frame_tiles.h"

TEST(FrameTiles, CoverEveryPixelOnceWithinTheStagingTextureRowByRow) {
  struct Case {
    unsigned width, height, tiles;
  };
  const Case cases[] = {
      {1, 1, 1},        {37, 5, 1},      {256, 256, 1},  // small frames: one tile
      {257, 256, 2},    {1024, 1024, 16}, {1100, 300, 10}, // bands, and a narrow last column
      {4096, 17, 4},    {2049, 64, 3},    {1, 70'000, 274}, // wide, and one column of staging height
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    const FrameTiles tiles(c.width, c.height);
    EXPECT_EQ(tiles.count(), c.tiles);
    std::vector<unsigned char> covered(std::size_t{c.width} * c.height, 0);
    FrameTile previous{0, 0, 0, 0};
    for (unsigned i = 0; i < tiles.count(); ++i) {
      const FrameTile tile = tiles[i];
      ASSERT_GT(tile.width * tile.height, 0u) << "tile " << i;
      ASSERT_LE(tile.left + tile.width, c.width) << "tile " << i;
      ASSERT_LE(tile.top + tile.height, c.height) << "tile " << i;
      EXPECT_LE(tile.width, FrameTiles::StagingWidth);
      EXPECT_LE(tile.height, FrameTiles::StagingHeight);
      EXPECT_LE(tile.width * tile.height, FrameTiles::TilePixels);
      EXPECT_TRUE(tile.top > previous.top || (tile.top == previous.top && tile.left >= previous.left))
          << "tile " << i << " comes before the one ahead of it";
      previous = tile;
      for (unsigned y = tile.top; y < tile.top + tile.height; ++y)
        for (unsigned x = tile.left; x < tile.left + tile.width; ++x) ++covered[std::size_t{y} * c.width + x];
    }
    for (std::size_t i = 0; i < covered.size(); ++i)
      ASSERT_EQ(covered[i], 1) << "pixel (" << i % c.width << ", " << i / c.width << ")";
  }
}
