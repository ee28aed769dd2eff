// Blur size from depth, the uniform size and the camera's lens values.
#include "render/blur_size.h"

#include <gtest/gtest.h>

#include <cmath>

#include "render/camera.h"
#include "tests/render/render_host.h"
#include "tests/render/test_lens.h"

namespace lensfall::testing {
namespace {

// A 50 mm lens, by default at f/2.4 focused at 10 units, whose field of
// view makes the film 1 unit wide: a frame `pixelsPerFilmUnit` pixels wide
// has that scale, and a maximum of m allows m x 0.1 film units.
FilterSettings lens(int pixelsPerFilmUnit, double frontMax = 1.0,
                    double backMax = 1.0, double fNumber = 2.4,
                    double focus = 10.0) {
  TestCamera camera;
  camera.fNumber = fNumber;
  camera.focusDistance = focus;
  camera.horizontalFov = 2 * std::atan(10.0);  // tan(fov / 2) x 0.05 x 2 = 1
  FilterSettings s = lensFromCamera(pixelsPerFilmUnit, frontMax, camera);
  s.backMax = backMax;
  return s;
}

// A fast wide lens focused close, whose back blur reaches its limit: f/0.5
// at 50 mm focused at 0.1 units; both limits 0.01 film units, 4.5 pixels.
FilterSettings wideLens() { return lens(450, 0.1, 0.1, 0.5, 0.1); }

TEST(BlurSizeAt, FollowsTheSidesLimitsAndSwitches) {
  struct Case {
    const char *what;
    FilterSettings s;
    double depth;
    int size;
  };
  FilterSettings bothOff = lens(1000);
  bothOff.frontBlur = bothOff.backBlur = 0;
  // Limits of 4.5 px truncate to 4, which is made odd.
  const FilterSettings four = wideLens();
  FilterSettings far = lens(1000);
  far.keepFarSharp = 1;
  far.noBlurDistance = 5.0;  // below the focus distance of 10
  const Case cases[] = {
      {"both sides off, near", bothOff, 1.0, 1},
      {"both sides off, far", bothOff, 1000.0, 1},
      {"exactly at focus", lens(1000), 10.0, 1},
      {"front truncating to 0", lens(5), 0.0, 1},
      {"front truncating to 1", lens(15), 0.0, 1},
      {"front n = 4", four, 0.0, -5},
      {"back n = 4", four, 1e9, 5},
      {"depth 0 takes the front limit", lens(1000), 0.0, -101},
      {"keep far sharp, beyond, in front of focus", far, 7.0, 1},
      {"keep far sharp, at the distance", far, 5.0, 1},
      {"keep far sharp, behind focus", far, 50.0, 1},
      {"keep far sharp, nearer is blurred", far, 0.0, -101},
      {"NaN depth", lens(1000), NAN, 1},
      {"negative depth", lens(1000), -3.0, 1},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(blurSizeAt(c.s, c.depth), c.size) << c.what;
  }
}

TEST(BlurSizeAt, GrowsContinuouslyAwayFromFocus) {
  const FilterSettings s = lens(20000);
  int previous = 1;
  for (double d = 10.0; d < 60.0; d += 0.5) {
    const int size = blurSizeAt(s, d);
    EXPECT_GE(size, previous) << "behind, depth " << d;
    EXPECT_EQ(size % 2, 1);
    previous = size;
  }
  previous = 1;
  for (double d = 10.0; d > 0.5; d -= 0.25) {
    const int size = blurSizeAt(s, d);
    EXPECT_LE(size, previous) << "in front, depth " << d;
    EXPECT_NE(size, -1);
    previous = size;
  }
}

TEST(BlurSizeAt, UnusableLensKeepsEverythingSharp) {
  struct Case {
    const char *what;
    double FilterSettings::*field;
    double value;
  };
  const Case cases[] = {
      {"aperture radius 0", &FilterSettings::apertureRadius, 0.0},
      {"negative aperture", &FilterSettings::apertureRadius, -0.01},
      {"infinite aperture", &FilterSettings::apertureRadius, INFINITY},
      {"NaN focal length", &FilterSettings::focalLength, NAN},
      {"NaN angle scale", &FilterSettings::angleScale, NAN},
      {"zero film width", &FilterSettings::filmWidth, 0.0},
      {"infinite pixel scale", &FilterSettings::pixelsPerFilmUnit, INFINITY},
  };
  for (const Case &c : cases) {
    FilterSettings s = lens(1000);
    s.*c.field = c.value;
    for (double d : {0.0, 1.0, 10.0, 1e6}) {
      EXPECT_EQ(blurSizeAt(s, d), 1) << c.what << ", depth " << d;
    }
  }
}

TEST(UniformBlurSize, IsOddAndAtLeastOne) {
  struct Case {
    double frontMax;  // film width 1, so pixels = ppfu x frontMax x 0.1
    int size;
  };
  const Case cases[] = {
      {0.05, 1}, {0.0, 1},   {0.37, 3}, {0.45, 5},
      {0.41, 5}, {-0.45, 5}, {NAN, 1},  {1e300, kSizeLimit + 1}};
  for (const Case &c : cases) {
    EXPECT_EQ(uniformBlurSize(lens(100, c.frontMax)), c.size)
        << "frontMax " << c.frontMax;
  }
}

TEST(UpdateCamera, FrontMaximumIsATenthOfTheFrameWidthPerUnit) {
  RenderHost render(640);
  FilterSettings &s = render.settings();
  s.frontMax = 0.5;
  updateCamera(s);
  ASSERT_TRUE(lensUsable(s));
  EXPECT_NEAR(s.frontMax * s.filmWidth * 0.1 * s.pixelsPerFilmUnit, 32.0, 1e-9);
  const int atZero = blurSizeAt(s, 0.0);
  EXPECT_TRUE(atZero == -31 || atZero == -33) << atZero;
  EXPECT_EQ(blurSizeAt(s, s.focusDistance), 1);
  EXPECT_NEAR(s.focusDistance, 10.0, 1e-12);
  EXPECT_NEAR(s.focalLength, 0.05, 1e-12);
}

TEST(UpdateCamera, FocusItemSetsTheFocusDistance) {
  RenderHost render(640);
  HostItem &marker = render.host().scene().addObject("Marker", {3.0, 4.0, 0.0});
  FilterSettings &s = render.settings();
  s.focusItem = &marker;
  updateCamera(s);
  EXPECT_NEAR(s.focusDistance, 5.0, 1e-12);
}

TEST(UpdateCamera, BadLensValuesGiveAnUnusableLens) {
  struct Case {
    const char *what;
    double fNumber;
    HostCameraLens camera;
  };
  const HostCameraLens good{};
  HostCameraLens nanFocal = good;
  nanFocal.focalLengthMm = NAN;
  HostCameraLens zeroFov = good;
  zeroFov.horizontalFov = 0.0;
  HostCameraLens infFocus = good;
  infFocus.focalDistance = INFINITY;
  const Case cases[] = {{"f-number 0", 0.0, good},
                        {"negative f-number", -2.0, good},
                        {"NaN f-number", NAN, good},
                        {"NaN focal length", 2.4, nanFocal},
                        {"zero field of view", 2.4, zeroFov},
                        {"infinite focus distance", 2.4, infFocus}};
  for (const Case &c : cases) {
    RenderHost render(640);
    render.host().scene().setCamera(c.camera);
    render.host().sceneChanged();
    FilterSettings &s = render.settings();
    s.fNumber = c.fNumber;
    updateCamera(s);
    EXPECT_FALSE(lensUsable(s)) << c.what;
    EXPECT_EQ(blurSizeAt(s, 0.5), 1) << c.what;
  }
}

}  // namespace
}  // namespace lensfall::testing
