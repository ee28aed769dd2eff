// The page's pictures of a frame: sRGB codes against the transfer curve
// itself, regions kept inside the frame, the display exposure applied
// before the clamp, and the reduced frame the preview filters.
#include "cli/page/display_image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace lensfall::testing {
namespace {

// The oracle: the sRGB transfer curve in double precision, rounded.
int curveCode(double linear) {
  const double v = std::clamp(linear, 0.0, 1.0);
  const double encoded =
      v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
  return int(std::lround(encoded * 255.0));
}

TEST(DisplayImage, SrgbCodesFollowTheTransferCurve) {
  // Every float from 0 to a little over 1 in steps fine enough to land
  // on both sides of every code's boundary.
  int differing = 0;
  for (int k = 0; k <= 1100000; ++k) {
    const float v = float(k) / 1000000.0f;
    if (cli::srgbCode(v) != curveCode(v)) ++differing;
  }
  EXPECT_EQ(differing, 0);
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    float linear;
    int code;
  } ends[] = {{-1.0f, 0},   {0.0f, 0},  {1.0f, 255},
              {40.0f, 255}, {inf, 255}, {std::nanf(""), 0}};
  for (const auto &e : ends) {
    EXPECT_EQ(cli::srgbCode(e.linear), e.code) << e.linear;
  }
}

TEST(DisplayImage, RegionsAreMovedInsideTheFrame) {
  const struct {
    cli::Region wanted, inside;
  } cases[] = {
      {{2, 3, 4, 5}, {2, 3, 4, 5}},   {{8, 9, 4, 5}, {6, 5, 4, 5}},
      {{-3, -1, 4, 5}, {0, 0, 4, 5}}, {{1, 1, 50, 50}, {0, 0, 10, 10}},
      {{1, 1, 0, 0}, {1, 1, 0, 0}},   {{0, 9, 10, 1}, {0, 9, 10, 1}},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(cli::regionInside(c.wanted, 10, 10), c.inside)
        << c.wanted.x << "," << c.wanted.y << " " << c.wanted.width << "x"
        << c.wanted.height;
  }
}

TEST(DisplayImage, PixelsOfARegionWithExposureBeforeTheClamp) {
  host::Frame frame(4, 3);
  for (size_t i = 0; i < frame.pixels(); ++i) {
    frame.red[i] = float(i);  // 0 to 11: above 1 from the second pixel
    frame.green[i] = 0.25f;
    frame.blue[i] = 0.0f;
  }
  frame.resetOutput();
  for (float &v : frame.outBlue) v = 1.0f;
  const cli::Region region{1, 1, 2, 2};
  const std::vector<uint8_t> input =
      cli::displayPixels(frame, cli::Planes::Input, -4.0, region);
  const std::vector<uint8_t> filtered =
      cli::displayPixels(frame, cli::Planes::Filtered, 0.0, region);
  ASSERT_EQ(input.size(), 12u);
  ASSERT_EQ(filtered.size(), 12u);
  const int pixels[] = {5, 6, 9, 10};  // (1,1) (2,1) (1,2) (2,2)
  for (int k = 0; k < 4; ++k) {
    // Four stops down: 5 / 16 and so on, below white, apart from each other.
    EXPECT_EQ(input[k * 3], curveCode(pixels[k] / 16.0)) << k;
    EXPECT_EQ(input[k * 3 + 1], curveCode(0.25 / 16.0)) << k;
    EXPECT_EQ(input[k * 3 + 2], 0) << k;
    EXPECT_EQ(filtered[k * 3], 255) << k;
    EXPECT_EQ(filtered[k * 3 + 2], 255) << k;
  }
}

TEST(DisplayImage, ReducedFramePointSamplesEveryPlane) {
  host::Frame frame(8, 4);
  for (size_t i = 0; i < frame.pixels(); ++i) {
    frame.red[i] = float(i);
    frame.depth.push_back(float(100 + i));
  }
  const host::Frame reduced = cli::reducedFrame(frame, 4);
  ASSERT_EQ(reduced.width, 4);
  ASSERT_EQ(reduced.height, 2);
  // Pixel (x, y) takes source (2x + 1, 2y + 1): the nearest to its centre.
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) {
      const size_t from = size_t(2 * y + 1) * 8 + size_t(2 * x + 1);
      EXPECT_EQ(reduced.red[size_t(y) * 4 + x], frame.red[from]);
      EXPECT_EQ(reduced.depth[size_t(y) * 4 + x], frame.depth[from]);
    }
  }
  EXPECT_EQ(reduced.outRed, reduced.red);
  // A frame no wider than asked is kept as it is.
  EXPECT_EQ(cli::reducedFrame(frame, 8).red, frame.red);
}

}  // namespace
}  // namespace lensfall::testing
