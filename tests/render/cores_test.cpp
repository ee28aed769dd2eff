// The per-pixel cores: gather, scatter and the occlusion geometry.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "render/gather.h"
#include "render/scatter.h"
#include "tests/render/test_lens.h"

namespace lensfall::testing {
namespace {

// Kernels made by hand, so each case shows exactly the cells it uses.
struct HandBank {
  std::vector<std::vector<std::uint8_t>> cells;
  std::vector<ApertureKernel> entries;
  KernelBank bank() {
    return {entries.data(), static_cast<int>(entries.size())};
  }

  // Adds the next odd size; `cell(u, v, channel)` gives each byte.
  template <typename CellFn>
  void add(int mode, CellFn cell) {
    const int size = 2 * static_cast<int>(entries.size()) + 1;
    cells.emplace_back(size * size * 3, 0);
    for (int v = 0; v < size; ++v) {
      for (int u = 0; u < size; ++u) {
        for (int k = 0; k < (mode == 0 ? 1 : 3); ++k) {
          cells.back()[(mode == 0 ? 1 : 3) * (v * size + u) + k] =
              cell(u, v, k);
        }
      }
    }
    entries.push_back({size, {0, 0, 0, 0}, nullptr});
    for (std::size_t i = 0; i < entries.size(); ++i) {
      entries[i].cells = cells[i].data();
    }
    SumKernelWeights(entries.back(), mode);
  }
};

// A kernel with no symmetry: every cell has its own byte.
std::uint8_t asymmetric(int u, int v, int) { return 10 + 7 * v + u; }
std::uint8_t full(int, int, int) { return 255; }

struct Frame {
  FrameBuffers buffers;
  FilterSettings lens{};
  Frame(int w, int h, float value = 0.0f) {
    EXPECT_TRUE(buffers.allocate(w, h));
    setDefaults(lens);
    for (int i = 0; i < w * h; ++i) {
      for (float &c : buffers.source[i].c) c = value;
      buffers.depth[i] = 10.0f;
      buffers.sizeMap[i] = 1;
    }
  }
  const Float4 &weight(int x, int y) {
    return buffers.weightSums[y * buffers.width + x];
  }
  const Float4 &colour(int x, int y) {
    return buffers.colourSums[y * buffers.width + x];
  }
};

TEST(Cores, GatherAndScatterApplyTheSameCellToTheSamePair) {
  for (int mode : {0, 1}) {
    HandBank hand;
    for (int i = 0; i < 4; ++i) hand.add(mode, asymmetric);
    const KernelBank bank = hand.bank();
    const int n = 7, half = 3;
    const ApertureKernel &kernel = bank.entries[half];
    const int sx = 4, sy = 3;

    Frame scattered(9, 8);
    scatterPixel({scattered.buffers, bank, mode, scattered.lens}, sx, sy, n);
    Frame gathered(9, 8);
    gathered.buffers.source[sy * 9 + sx] = {{1.0f, 1.0f, 1.0f, 1.0f}};
    const PassInputs in{gathered.buffers, bank, mode, gathered.lens};
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 9; ++x) gatherPixel(in, x, y, n);
    }
    for (int dy = -half; dy <= half; ++dy) {
      for (int dx = -half; dx <= half; ++dx) {
        const int cell = (dy + half) * n + (dx + half);
        const int byte = kernel.cells[(mode == 0 ? 1 : 3) * cell];
        const int x = sx + dx, y = sy + dy;
        EXPECT_NEAR(scattered.weight(x, y).c[0] * kernel.weightSum[0], byte,
                    1e-3)
            << "mode " << mode << " scatter offset " << dx << "," << dy;
        EXPECT_NEAR(gathered.colour(x, y).c[0] * 255.0f, byte, 1e-3)
            << "mode " << mode << " gather offset " << dx << "," << dy;
      }
    }
  }
}

TEST(Cores, CornerWindowIsClippedAndNotRenormalised) {
  HandBank hand;
  // The 5 x 5 circle: full but for its four corner cells.
  for (int i = 0; i < 3; ++i) {
    const int size = 2 * i + 1;
    hand.add(0, [size](int u, int v, int) -> std::uint8_t {
      const bool corner = size == 5 && (u == 0 || u == 4) && (v == 0 || v == 4);
      return corner ? 0 : 255;
    });
  }
  const KernelBank bank = hand.bank();
  Frame gathered(6, 6, 1.0f);
  gatherPixel({gathered.buffers, bank, 0, gathered.lens}, 0, 0, 5);
  EXPECT_FLOAT_EQ(gathered.weight(0, 0).c[0], 8.0f);
  EXPECT_FLOAT_EQ(gathered.weight(0, 0).c[3], 8.0f);

  Frame scattered(6, 6, 1.0f);
  scatterPixel({scattered.buffers, bank, 0, scattered.lens}, 5, 5, 5);
  float total = 0.0f;
  for (int i = 0; i < 36; ++i) total += scattered.buffers.weightSums[i].c[0];
  EXPECT_NEAR(total, 8.0f / 21.0f, 1e-6);
}

TEST(Cores, RingHoleDoesNotCarryASourceToItself) {
  HandBank hand;
  hand.add(0, full);
  hand.add(0, [](int u, int v, int) -> std::uint8_t {
    return u == 1 && v == 1 ? 0 : 255;
  });
  const KernelBank bank = hand.bank();
  Frame frame(5, 5);
  frame.buffers.source[2 * 5 + 2] = {{1.0f, 1.0f, 1.0f, 1.0f}};
  const PassInputs in{frame.buffers, bank, 0, frame.lens};
  scatterPixel(in, 2, 2, 3);
  EXPECT_EQ(frame.weight(2, 2).c[0], 0.0f);
  EXPECT_NEAR(frame.weight(1, 2).c[0], 1.0f / 8.0f, 1e-7);
  gatherPixel(in, 2, 2, 3);
  EXPECT_EQ(frame.colour(2, 2).c[0], 0.0f);
}

TEST(Cores, SizesBeyondTheBankUseItsLargestKernelAndWindow) {
  HandBank hand;
  hand.add(0, full);
  hand.add(0, asymmetric);
  const KernelBank bank = hand.bank();
  for (int requested : {5, 9, 301, 1 << 30}) {
    Frame largest(7, 7), beyond(7, 7);
    for (int i = 0; i < 49; ++i) {
      for (Frame *f : {&largest, &beyond}) {
        f->buffers.source[i] = {{0.1f * (i % 5), 0.2f, 0.3f, 1.0f}};
      }
    }
    const PassInputs a{largest.buffers, bank, 0, largest.lens};
    const PassInputs b{beyond.buffers, bank, 0, beyond.lens};
    gatherPixel(a, 3, 3, 3);
    gatherPixel(b, 3, 3, requested);
    scatterPixel(a, 1, 1, 3);
    scatterPixel(b, 1, 1, requested);
    for (int i = 0; i < 49; ++i) {
      for (int k = 0; k < 4; ++k) {
        ASSERT_EQ(largest.buffers.colourSums[i].c[k],
                  beyond.buffers.colourSums[i].c[k])
            << "size " << requested << " pixel " << i;
        ASSERT_EQ(largest.buffers.weightSums[i].c[k],
                  beyond.buffers.weightSums[i].c[k]);
      }
    }
  }
}

TEST(Cores, ChannelsWhoseKernelSumsToZeroCarryNoWeight) {
  struct Case {
    const char *what;
    int mode;
    std::uint8_t (*cell)(int, int, int);
  };
  const Case cases[] = {
      {"all-zero mono kernel", 0,
       [](int, int, int) -> std::uint8_t { return 0; }},
      {"pure red colour kernel", 1,
       [](int, int, int k) -> std::uint8_t { return k == 0 ? 255 : 0; }},
  };
  for (const Case &c : cases) {
    HandBank hand;
    hand.add(c.mode, c.cell);
    hand.add(c.mode, c.cell);
    const KernelBank bank = hand.bank();
    Frame frame(4, 4, 0.5f);
    const PassInputs in{frame.buffers, bank, c.mode, frame.lens};
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 4; ++x) scatterPixel(in, x, y, 3);
    }
    for (int i = 0; i < 16; ++i) {
      for (int k = 0; k < 4; ++k) {
        ASSERT_TRUE(std::isfinite(frame.buffers.weightSums[i].c[k])) << c.what;
        ASSERT_TRUE(std::isfinite(frame.buffers.colourSums[i].c[k])) << c.what;
      }
    }
    if (c.mode == 1) {
      // Red and the fourth weight (a third of red) arrive; green and blue not.
      const Float4 &w = frame.weight(1, 1);
      EXPECT_NEAR(w.c[0], 1.0f, 1e-6) << c.what;
      EXPECT_EQ(w.c[1], 0.0f);
      EXPECT_EQ(w.c[2], 0.0f);
      EXPECT_NEAR(w.c[3], 1.0f / 3.0f, 1e-6);
    } else {
      EXPECT_EQ(frame.weight(1, 1).c[0], 0.0f) << c.what;
    }
  }
}

// f/0.5 at 50 mm, a wide cone, over a 36 mm film 64 pixels wide.
FilterSettings occlusionLens() {
  TestCamera camera;
  camera.fNumber = 0.5;
  return lensFromCamera(64, 1.0, camera);
}

TEST(OccluderSize, IsOddAndOneOutsideTheCone) {
  const int w = 64;
  std::vector<float> depth(w * w, 20.0f);
  depth[10 * w + 11] = 1.5f;  // a near occluder beside the source at (10, 10)
  depth[10 * w + 60] = 2.0f;  // a near surface far outside the cone
  const FilterSettings s = occlusionLens();
  const int beside = occluderSize(s, depth.data(), w, 10, 10, 11, 10);
  EXPECT_EQ(beside, 11);  // trunc(64 / 0.036 / 30 x 0.0925 x 2) = 10, made odd
  EXPECT_EQ(beside % 2, 1);
  EXPECT_EQ(occluderSize(s, depth.data(), w, 10, 10, 60, 10), 1);
  // Same depth: no cone section at all.
  EXPECT_EQ(occluderSize(s, depth.data(), w, 10, 10, 12, 10), 1);

  FilterSettings broken = s;
  broken.focalLength = 0.0;
  EXPECT_EQ(occluderSize(broken, depth.data(), w, 10, 10, 11, 10), 1);
  broken = s;
  broken.pixelsPerFilmUnit = NAN;
  EXPECT_EQ(occluderSize(broken, depth.data(), w, 10, 10, 11, 10), 1);
}

}  // namespace
}  // namespace lensfall::testing
