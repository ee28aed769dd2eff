// The fast cores against the literal ones: the same frame through both, on
// randomised scenes (shapes, sizes, value ranges, occluders, both paths) and
// on crops of shared frames. blockedWeights must match bit for bit (so pass
// two re-gathers the same pixels), and every channel's weighted mean (what
// the write-back turns into the output) must lie within 1e-5 relative of the
// algorithm's exact result wherever the weight is not zero. That result is
// the double-precision copy of the literal cores (reference_cores.h); the
// literal cores themselves are held to it within their float32 rounding.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "host/frame_io.h"
#include "kernels/kernel_runs.h"
#include "render/blur_size.h"
#include "render/fast_scatter.h"
#include "render/passes.h"
#include "render/tone.h"
#include "test_lens.h"
#include "tests/render/reference_cores.h"
#include "tests/render/shared_frame.h"

namespace lensfall::testing {
namespace {

constexpr double kTolerance = 1e-5;
constexpr double kWeightTolerance = 1e-4;
// The literal cores against the exact result. Kernels up to 25 x 25, so a
// pixel's float32 colour and weight sums each add up to 625 non-negative
// terms and each may be off by up to 625 x 2^-24 = 3.7e-5 relative. Their
// mean could in the worst case carry both errors (7.5e-5), which needs every
// rounding of both sums at its extreme and in opposite directions; over
// hundreds of terms the errors largely cancel instead, and the scenes are
// fixed (seeded, shared frames), so the mean is held to the bound of one sum.
constexpr double kLiteralTolerance = 4e-5;

// A bank made from per-size cell functions, for colour and noisy kernels the
// aperture shapes do not draw.
struct OwnedBank {
  std::vector<std::vector<std::uint8_t>> cells;
  std::vector<ApertureKernel> entries;
  KernelBank bank() { return {entries.data(), int(entries.size())}; }
};

// Colour kernels of sizes 1 .. 2 count - 1: a disk whose bands have their own
// colour, or (noisy) cells of random bytes with holes.
OwnedBank colourBank(int count, bool noisy, bool redOnly, std::mt19937 &rng) {
  OwnedBank owned;
  std::uniform_int_distribution<int> byte(0, 255);
  for (int e = 0; e < count; ++e) {
    const int n = 2 * e + 1, half = e;
    owned.cells.emplace_back(std::size_t(n) * n * 3, 0);
    std::uint8_t band[4][3];
    for (auto &b : band) {
      for (auto &c : b) c = static_cast<std::uint8_t>(byte(rng));
    }
    for (int v = 0; v < n; ++v) {
      for (int u = 0; u < n; ++u) {
        const double r = std::hypot(u - half, v - half);
        if (r > half + 0.5) continue;
        std::uint8_t *cell = &owned.cells.back()[3 * (v * n + u)];
        for (int k = 0; k < 3; ++k) {
          cell[k] = noisy ? (byte(rng) < 40 ? 0 : byte(rng))
                          : band[std::min(3, int(r) / 2)][k];
          if (redOnly && k > 0) cell[k] = 0;
        }
      }
    }
    owned.entries.push_back({n, {0, 0, 0, 0}, nullptr});
  }
  for (std::size_t e = 0; e < owned.entries.size(); ++e) {
    owned.entries[e].cells = owned.cells[e].data();
    SumKernelWeights(owned.entries[e], 1);
  }
  return owned;
}

// One random scene's inputs: source values spread over many orders of
// magnitude (as after the power), a far background with a depth gradient,
// near occluders, and signed sizes that follow them.
void fillScene(FrameBuffers &b, std::mt19937 &rng, int maxSize,
               double exponent) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double scale = std::ldexp(1.0, 100);
  struct Box {
    int x0, y0, x1, y1;
    float depth;
  };
  std::vector<Box> boxes;
  for (int i = 0; i < 3; ++i) {
    const int x0 = int(unit(rng) * b.width), y0 = int(unit(rng) * b.height);
    boxes.push_back({x0, y0, x0 + 2 + int(unit(rng) * b.width / 3),
                     y0 + 2 + int(unit(rng) * b.height / 3),
                     float(0.5 + 4.0 * unit(rng))});
  }
  const double slope = unit(rng);
  for (int y = 0; y < b.height; ++y) {
    for (int x = 0; x < b.width; ++x) {
      const std::size_t i = std::size_t(y) * b.width + x;
      const bool highlight = unit(rng) < 0.03;
      for (int k = 0; k < 4; ++k) {
        const double v = highlight ? 1.0 : 0.02 + 0.5 * unit(rng);
        b.source[i].c[k] =
            unit(rng) < 0.02 ? 0.0f : float(std::pow(v, exponent) * scale);
      }
      float depth = float(12.0 + 20.0 * slope * y / b.height + unit(rng));
      for (const Box &box : boxes) {
        if (x >= box.x0 && x < box.x1 && y >= box.y0 && y < box.y1) {
          depth = std::min(depth, box.depth);
        }
      }
      b.depth[i] = depth;
      const int n = 2 * int(unit(rng) * (maxSize / 2 + 1)) + 1;
      b.sizeMap[i] = depth < 10.0f && n > 1 ? -n : n;
    }
  }
}

struct Run {
  FrameBuffers buffers;
  bool finished = false;
};

// The largest relative difference seen in one comparison, and where.
struct Worst {
  double rel = 0.0;
  std::string where;
};

struct Diff {
  Worst literal;             // fast against literal
  Worst fastToReference;     // fast against the exact result
  Worst literalToReference;  // literal against the exact result
  long blocked = 0;          // pixels that stopped some light
  long regathered = 0;       // pixels pass two gathers afresh
};

// Both cores must stop the same light, bit for bit, so that pass two
// re-gathers the same pixels.
void expectSameBlockedWeights(const FrameBuffers &literal,
                              const FrameBuffers &fast, const std::string &what,
                              Diff &diff) {
  const std::size_t pixels = std::size_t(literal.width) * literal.height;
  ASSERT_EQ(0, std::memcmp(literal.blockedWeights, fast.blockedWeights,
                           pixels * sizeof(Float4)))
      << what << ": blocked weights differ, so pass two differs";
  for (std::size_t i = 0; i < pixels; ++i) {
    diff.blocked += literal.blockedWeights[i].c[3] > 0.0f;
    diff.regathered += literal.blockedWeights[i].c[3] >= 0.1f;
  }
}

// Compares the fast frame against the literal one.
void expectEquivalent(const FrameBuffers &literal, const FrameBuffers &fast,
                      const std::string &what, Diff &diff) {
  const std::size_t pixels = std::size_t(literal.width) * literal.height;
  expectSameBlockedWeights(literal, fast, what, diff);
  if (::testing::Test::HasFatalFailure()) return;
  for (std::size_t i = 0; i < pixels; ++i) {
    for (int k = 0; k < 4; ++k) {
      const float lw = literal.weightSums[i].c[k];
      const float fw = fast.weightSums[i].c[k];
      if (lw == 0.0f) {
        ASSERT_EQ(fw, 0.0f) << what << " pixel " << i << " channel " << k;
        ASSERT_EQ(fast.colourSums[i].c[k], literal.colourSums[i].c[k])
            << what << " pixel " << i;
        continue;
      }
      // The write-back reads the mean colour / weight: that is what must
      // agree within 1e-5. The weight sum alone carries the literal's float32
      // accumulation over up to n x n terms, so it gets 1e-4.
      const double lm = literal.colourSums[i].c[k] / double(lw);
      const double fm = fast.colourSums[i].c[k] / double(fw);
      const double checks[2][3] = {{lm, fm, kTolerance},
                                   {lw, fw, kWeightTolerance}};
      for (const auto &p : checks) {
        const double scale = std::max(std::fabs(p[0]), std::fabs(p[1]));
        const double rel = scale > 0 ? std::fabs(p[0] - p[1]) / scale : 0.0;
        if (p[2] == kTolerance && rel > diff.literal.rel) {
          diff.literal.rel = rel;
          diff.literal.where = what + " pixel " + std::to_string(i);
        }
        ASSERT_LE(rel, p[2]) << what << " pixel " << i << " channel " << k
                             << ": literal " << p[0] << " fast " << p[1];
      }
    }
  }
}

// Compares one core's frame with the exact result: every channel's weighted
// mean, and its weight sum, within `tolerance` relative of the reference
// wherever the reference weight is not zero; where it is zero, the core must
// have added nothing either.
void expectNearReference(const ReferenceSums &reference, const FrameBuffers &b,
                         const std::string &what, double tolerance,
                         Worst &worst) {
  const auto relative = [](double core, double exact) {
    const double d = std::fabs(core - exact);
    if (exact != 0.0) return d / std::fabs(exact);
    return d == 0.0 ? 0.0 : HUGE_VAL;
  };
  for (int y = 0; y < b.height; ++y) {
    for (int x = 0; x < b.width; ++x) {
      const std::size_t i = std::size_t(y) * b.width + x;
      for (int k = 0; k < 4; ++k) {
        const double rw = reference.weight[i][k];
        const double w = b.weightSums[i].c[k];
        const double c = b.colourSums[i].c[k];
        const auto where = [&] {
          return what + " pixel (" + std::to_string(x) + ", " +
                 std::to_string(y) + ") channel " + "RGBA"[k];
        };
        if (rw == 0.0) {
          ASSERT_EQ(w, 0.0) << where();
          ASSERT_EQ(c, 0.0) << where();
          continue;
        }
        ASSERT_GT(w, 0.0) << where() << ": reference weight " << rw;
        const double rm = reference.colour[i][k] / rw;
        const double mean = c / w;
        const double rel = relative(mean, rm);
        if (rel > worst.rel) {
          char values[96];
          std::snprintf(values, sizeof values, ": mean %.9g, exact %.9g", mean,
                        rm);
          worst.rel = rel;
          worst.where = where() + values;
        }
        ASSERT_LE(rel, tolerance)
            << where() << ": mean " << mean << " (colour " << c << ", weight "
            << w << "), exact " << rm << " (colour " << reference.colour[i][k]
            << ", weight " << rw << ")";
        ASSERT_LE(relative(w, rw), tolerance)
            << where() << ": weight " << w << ", exact " << rw;
      }
    }
  }
}

// Computes the exact result from the literal frame's inputs (which the
// reference only reads) and holds both cores to it. The reference re-gathers
// the pixels the literal's blocked weights flag, and must itself stop the
// same light as the literal scatter, bit for bit.
void expectNearTheExactResult(FrameBuffers &literal, const FrameBuffers &fast,
                              KernelBank bank, int mode, FilterSettings &lens,
                              bool depthPath, int uniformSize,
                              const std::string &what, Diff &diff) {
  FallbackKernels store(bank.entries[bank.count - 1].size / 2);
  const PassInputs in{literal, bank, mode, lens, &store};
  const ReferenceSums reference =
      depthPath ? referenceDepthPasses(in, literal.blockedWeights)
                : referenceUniformPass(in, uniformSize);
  ASSERT_EQ(0, std::memcmp(reference.blocked.data(), literal.blockedWeights,
                           reference.blocked.size() * sizeof(Float4)))
      << what << ": the reference stops other light than the literal scatter";
  expectNearReference(reference, fast, what, kTolerance, diff.fastToReference);
  expectNearReference(reference, literal, what, kLiteralTolerance,
                      diff.literalToReference);
}

struct Scene {
  int width, height;
  double exponent;
  int maxSize;
};

void copyInputs(const FrameBuffers &from, FrameBuffers &to) {
  const std::size_t pixels = std::size_t(from.width) * from.height;
  std::memcpy(to.source, from.source, pixels * sizeof(Float4));
  std::memcpy(to.depth, from.depth, pixels * sizeof(float));
  std::memcpy(to.sizeMap, from.sizeMap, pixels * sizeof(std::int32_t));
}

// Runs one scene through both cores and compares.
void compareOn(const Scene &scene, KernelBank bank, int mode,
               FilterSettings &lens, bool depthPath, int uniformSize,
               std::mt19937 &rng, const std::string &what, Diff &diff) {
  Run literal, fast;
  ASSERT_TRUE(literal.buffers.allocate(scene.width, scene.height));
  ASSERT_TRUE(fast.buffers.allocate(scene.width, scene.height));
  fillScene(literal.buffers, rng, scene.maxSize, scene.exponent);
  copyInputs(literal.buffers, fast.buffers);
  for (Run *run : {&literal, &fast}) {
    const Cores cores = run == &literal ? Cores::literal : Cores::fast;
    FallbackKernels store(bank.entries[bank.count - 1].size / 2);
    const PassInputs in{run->buffers, bank, mode, lens, &store};
    run->finished = depthPath ? runDepthPasses(in, cores)
                              : runUniformPass(in, uniformSize, cores);
    ASSERT_TRUE(run->finished);
  }
  expectEquivalent(literal.buffers, fast.buffers, what, diff);
  if (::testing::Test::HasFatalFailure()) return;
  expectNearTheExactResult(literal.buffers, fast.buffers, bank, mode, lens,
                           depthPath, uniformSize, what, diff);
}

void printDiff(const char *what, const Diff &diff) {
  std::printf(
      "%s: largest relative difference fast to literal %.3g (%s); %ld pixels "
      "stopped light, %ld gathered afresh\n"
      "  to the exact result: fast %.3g (%s), literal %.3g (%s)\n",
      what, diff.literal.rel, diff.literal.where.c_str(), diff.blocked,
      diff.regathered, diff.fastToReference.rel,
      diff.fastToReference.where.c_str(), diff.literalToReference.rel,
      diff.literalToReference.where.c_str());
}

TEST(FastPasses, MonoShapesMatchTheLiteralCoresOnRandomScenes) {
  std::mt19937 rng(20261210);
  Diff diff;
  const int shapes[] = {kShapeCircle, kShapePolygon, kShapeRing};
  for (int trial = 0; trial < 18; ++trial) {
    const Scene scene{23 + int(rng() % 40), 11 + int(rng() % 30),
                      trial % 3 == 0 ? 12.5 : 2.5 + (rng() % 5),
                      3 + 2 * int(rng() % 9)};
    FilterSettings lens = testLens(scene.width, 0.0);
    lens.apertureShape = shapes[trial % 3];
    lens.vertexCount = 5 + trial % 3;  // odd counts: no symmetry
    lens.rotation = 0.3 * trial;
    lens.deform = 0.2 + 0.1 * (trial % 5);
    KernelBank bank = BuildKernelBank(lens);
    ASSERT_GT(bank.count, 0);
    const bool depthPath = trial % 2 == 0 || trial % 3 == 0;
    const int uniform = 1 + 2 * int(rng() % 12);
    const std::string what =
        "trial " + std::to_string(trial) + (depthPath ? " depth" : " uniform");
    compareOn(scene, bank, lens.kernelIsColor, lens, depthPath, uniform, rng,
              what, diff);
    releaseKernelBank(bank);
    if (HasFatalFailure()) return;
  }
  printDiff("mono", diff);
  // The scenes must reach the occlusion test and pass two.
  EXPECT_GT(diff.blocked, 0);
  EXPECT_GT(diff.regathered, 0);
}

TEST(FastPasses, ColourKernelsMatchTheLiteralCoresOnRandomScenes) {
  std::mt19937 rng(7);
  Diff diff;
  for (int trial = 0; trial < 12; ++trial) {
    const Scene scene{20 + int(rng() % 30), 12 + int(rng() % 25),
                      2.5 + (rng() % 8), 3 + 2 * int(rng() % 8)};
    FilterSettings lens = testLens(scene.width, 0.0);
    OwnedBank owned =
        colourBank(10 + trial % 4, trial % 3 == 1, trial % 4 == 3, rng);
    const bool depthPath = trial % 4 != 2;
    const std::string what = "colour trial " + std::to_string(trial);
    compareOn(scene, owned.bank(), 1, lens, depthPath, 1 + 2 * int(rng() % 14),
              rng, what, diff);
    if (HasFatalFailure()) return;
  }
  printDiff("colour", diff);
  // The scenes must reach the occlusion test and pass two.
  EXPECT_GT(diff.blocked, 0);
  EXPECT_GT(diff.regathered, 0);
}

TEST(FastPasses, StoppingAfterARowStopsBothCoresAlike) {
  std::mt19937 rng(3);
  FilterSettings lens = testLens(30, 0.0);
  KernelBank bank = BuildKernelBank(lens);
  for (Cores cores : {Cores::literal, Cores::fast}) {
    FrameBuffers b;
    ASSERT_TRUE(b.allocate(30, 12));
    fillScene(b, rng, 7, 3.0);
    int steps = 0;
    const RowProgress stopAtFive{
        [](void *data) { return ++*static_cast<int *>(data) == 5; }, &steps};
    const PassInputs in{b, bank, 0, lens};
    EXPECT_FALSE(runDepthPasses(in, cores, stopAtFive));
    EXPECT_EQ(steps, 5);
    steps = 0;
    EXPECT_FALSE(runUniformPass(in, 5, cores, stopAtFive));
    EXPECT_EQ(steps, 5);
  }
  releaseKernelBank(bank);
}

// A fence before a wall: the wall at one blur size, its depth either level
// with a little noise or sloping across the rows, and bars a few pixels wide
// at a near depth (most near enough that their occluder sizes cover the
// wall's kernels, some too far for that), sharp or slightly blurred; or
// (planks) wider bars turned away from the camera, whose depth runs from
// 0.25 to 0.7 across them, so their occluder sizes span many kernels.
// Values span many orders of magnitude, as after the power.
void fillFence(FrameBuffers &b, int wallSize, bool slope, bool planks,
               std::mt19937 &rng) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double scale = std::ldexp(1.0, 100);
  std::vector<float> barDepth(b.width, 0.0f);
  for (int x = 3; x < b.width;) {
    const int wide = planks ? 6 + int(rng() % 9) : 1 + int(rng() % 4);
    const float depth = unit(rng) < 0.8 ? float(0.3 + 0.1 * unit(rng)) : 2.0f;
    for (int k = 0; k < wide && x + k < b.width; ++k) {
      barDepth[x + k] = planks ? float(0.25 + 0.45 * k / (wide - 1)) : depth;
    }
    x += wide + 4 + int(rng() % 14);
  }
  for (int y = 0; y < b.height; ++y) {
    for (int x = 0; x < b.width; ++x) {
      const std::size_t i = std::size_t(y) * b.width + x;
      const bool highlight = unit(rng) < 0.02;
      for (int k = 0; k < 4; ++k) {
        const double v = highlight ? 1.0 : 0.02 + 0.5 * unit(rng);
        b.source[i].c[k] = float(std::pow(v, 6.0) * scale);
      }
      const bool bar = barDepth[x] > 0.0f && y > 2;
      const double wall =
          slope ? 30.0 + 0.5 * x : 30.0 * (1.0 + 1e-3 * unit(rng));
      b.depth[i] = bar ? barDepth[x] : float(wall);
      b.sizeMap[i] = bar ? (y % 5 == 0 ? -3 : 1) : wallSize;
    }
  }
}

// Neighbours with one kernel are scattered together where every nearer
// surface their runs cross stops all their light, and one by one where
// that cannot be shown; both must give the literal scatter's result.
TEST(FastPasses, FencesBeforeAWallMatchTheLiteralCores) {
  std::mt19937 rng(1210);
  Diff diff;
  FastScatter::SpanCounts spans;
  const int shapes[] = {kShapeCircle, kShapePolygon, kShapeRing};
  for (int trial = 0; trial < 8; ++trial) {
    const bool planks = trial >= 6;
    const int width = planks ? 320 : 90 + int(rng() % 40);
    const int height = planks ? 12 : 24;
    FilterSettings lens = testLens(width, 2.0);
    lens.apertureShape = shapes[trial % 3];
    lens.rotation = 0.4 * trial;
    KernelBank bank = BuildKernelBank(lens);
    ASSERT_GT(bank.count, 10);
    const int wallSize = planks ? 41 : 9 + 2 * int(rng() % 6);
    FrameBuffers literal, fast;
    ASSERT_TRUE(literal.allocate(width, height));
    ASSERT_TRUE(fast.allocate(width, height));
    fillFence(literal, wallSize, trial % 2 == 1, planks, rng);
    copyInputs(literal, fast);
    {
      FrameBuffers once;
      ASSERT_TRUE(once.allocate(width, height));
      copyInputs(literal, once);
      const PassInputs in{once, bank, 0, lens};
      const KernelRuns runs(bank, 0);
      FastScatter scatter(in, runs);
      for (int v = 0; v < height; ++v) scatter.row(v);
      spans.spanned += scatter.spanCounts().spanned;
      spans.fellBack += scatter.spanCounts().fellBack;
    }
    for (FrameBuffers *b : {&literal, &fast}) {
      FallbackKernels store(bank.entries[bank.count - 1].size / 2);
      const PassInputs in{*b, bank, 0, lens, &store};
      ASSERT_TRUE(
          runDepthPasses(in, b == &literal ? Cores::literal : Cores::fast));
    }
    const std::string what = "fence trial " + std::to_string(trial);
    expectEquivalent(literal, fast, what, diff);
    if (HasFatalFailure()) break;
    expectNearTheExactResult(literal, fast, bank, 0, lens, true, 0, what, diff);
    releaseKernelBank(bank);
    if (HasFatalFailure()) return;
  }
  printDiff("fences", diff);
  std::printf("  sources in spans %lld, of which one by one %lld\n",
              spans.spanned, spans.fellBack);
  EXPECT_GT(diff.blocked, 0);
  EXPECT_GT(diff.regathered, 0);
  // Both ways through the spans are taken.
  EXPECT_GT(spans.fellBack, 0);
  EXPECT_GT(spans.spanned - spans.fellBack, spans.fellBack);
}

// A crop of a shared rendered frame, its depth as distance from the camera.
struct Crop {
  int width, height;
  std::vector<float> rgba[4];
  std::vector<float> depth;
  nlohmann::json sidecar;
};

Crop sharedCrop(const std::string &scene, int x0, int y0, int width,
                int height) {
  Crop crop{width, height, {}, {}, {}};
  SharedFrame shared = readSharedFrame(
      std::filesystem::path(LENSFALL_FRAMES_DIR) / scene, scene + "_640x360");
  crop.sidecar = std::move(shared.sidecar);
  const host::Frame &frame = shared.frame;
  const std::vector<float> *planes[4] = {&frame.red, &frame.green, &frame.blue,
                                         &frame.alpha};
  for (int y = y0; y < y0 + height; ++y) {
    for (int x = x0; x < x0 + width; ++x) {
      const std::size_t i = std::size_t(y) * frame.width + x;
      for (int k = 0; k < 4; ++k) crop.rgba[k].push_back((*planes[k])[i]);
      crop.depth.push_back(frame.depth[i]);
    }
  }
  return crop;
}

// The crop's lens: the sidecar's camera focused at `focus` with f-number
// `fNumber`, over the frame's 640 pixels.
FilterSettings cropLens(const Crop &crop, double focus, double fNumber) {
  const auto &camera = crop.sidecar["camera"];
  TestCamera lens;
  lens.focalLengthMm = camera["focal_length_mm"].get<double>();
  lens.focusDistance = focus;
  lens.horizontalFov = camera["hfov_rad"].get<double>();
  lens.fNumber = fNumber;
  return lensFromCamera(640, 0.4, lens);  // sizes up to 25 pixels
}

void fillFromCrop(const Crop &crop, FilterSettings &lens, double exponent,
                  FrameBuffers &b) {
  double brightest = 0.0;
  for (const auto &plane : crop.rgba) {
    for (float v : plane) {
      if (std::isfinite(v)) brightest = std::max<double>(brightest, v);
    }
  }
  const ToneCurve curve = chooseToneCurve(exponent, brightest);
  for (std::size_t i = 0; i < crop.depth.size(); ++i) {
    for (int k = 0; k < 4; ++k) {
      b.source[i].c[k] = curve.encode(cleanChannel(crop.rgba[k][i], brightest));
    }
    b.depth[i] = crop.depth[i] > 0 && std::isfinite(crop.depth[i])
                     ? crop.depth[i]
                     : 1e10f;
  }
  buildSizeMap(lens, b.width, b.height, b.depth, b.sizeMap);
}

TEST(FastPasses, SharedFrameCropsMatchTheLiteralCores) {
  struct Case {
    const char *scene;
    int x0, y0;
    double focus, fNumber, exponent;
  };
  // The fence of the occlusion scene in focus and before a blurred wall (its
  // bars stop the wall's light); the HDR highlights scene, whose highlights
  // exceed the rest by orders of magnitude after the power.
  const Case cases[] = {{"occlusion", 250, 120, 1.25, 0.5, 3.5},
                        {"occlusion", 40, 200, 7.0, 0.7, 2.5},
                        {"highlights", 200, 100, 2.0, 0.5, 8.0}};
  Diff diff;
  for (const Case &c : cases) {
    const Crop crop = sharedCrop(c.scene, c.x0, c.y0, 96, 64);
    FilterSettings lens = cropLens(crop, c.focus, c.fNumber);
    KernelBank bank = BuildKernelBank(lens);
    ASSERT_GT(bank.count, 1);
    for (bool depthPath : {true, false}) {
      FrameBuffers literal, fast;
      ASSERT_TRUE(literal.allocate(crop.width, crop.height));
      ASSERT_TRUE(fast.allocate(crop.width, crop.height));
      fillFromCrop(crop, lens, c.exponent, literal);
      copyInputs(literal, fast);
      for (FrameBuffers *b : {&literal, &fast}) {
        const Cores cores = b == &literal ? Cores::literal : Cores::fast;
        FallbackKernels store(bank.entries[bank.count - 1].size / 2);
        const PassInputs in{*b, bank, lens.kernelIsColor, lens, &store};
        ASSERT_TRUE(depthPath ? runDepthPasses(in, cores)
                              : runUniformPass(in, 2 * bank.count - 1, cores));
      }
      const std::string what =
          std::string(c.scene) + (depthPath ? " depth" : " uniform");
      expectSameBlockedWeights(literal, fast, what, diff);
      if (HasFatalFailure()) break;
      // The fast cores within 1e-5 of the exact result; the literal ones
      // within their float32 rounding (kLiteralTolerance).
      expectNearTheExactResult(literal, fast, bank, lens.kernelIsColor, lens,
                               depthPath, 2 * bank.count - 1, what, diff);
      if (HasFatalFailure()) break;
    }
    releaseKernelBank(bank);
    if (HasFatalFailure()) return;
  }
  std::printf(
      "shared frames: %ld pixels stopped light, %ld gathered afresh\n"
      "  largest relative difference to the exact result: fast %.3g (%s), "
      "literal %.3g (%s)\n",
      diff.blocked, diff.regathered, diff.fastToReference.rel,
      diff.fastToReference.where.c_str(), diff.literalToReference.rel,
      diff.literalToReference.where.c_str());
  EXPECT_GT(diff.regathered, 0);
}

}  // namespace
}  // namespace lensfall::testing
