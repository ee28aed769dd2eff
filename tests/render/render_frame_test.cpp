// Whole frames through the process callback on the stand-in host's services.
#include "render/render_frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "render/frame_fill.h"
#include "settings/lifecycle.h"
#include "tests/render/render_host.h"

namespace lensfall::testing {
namespace {

constexpr int kWidth = 24;
constexpr int kHeight = 10;

// Every pixel written, colour before alpha, and finite.
void expectAllFinite(const host::Frame &f, const host::ProcessReport &report,
                     const char *what) {
  ASSERT_EQ(report.rgbWrites, f.width * f.height) << what;
  ASSERT_EQ(report.alphaWrites, f.width * f.height) << what;
  EXPECT_FALSE(report.alphaBeforeRgb) << what;
  for (float v : outputRGBA(f)) ASSERT_TRUE(std::isfinite(v)) << what;
}

float &at(host::Frame &frame, int k, int x, int y) {
  return inputPlane(frame, k)[size_t(y) * frame.width + x];
}

float out(const host::Frame &frame, int k, int x, int y) {
  return outputPlane(frame, k)[size_t(y) * frame.width + x];
}

TEST(RenderFrame, MonitorGetsTheTotalsAndOneStepPerRow) {
  struct Case {
    int useDepth;
    int height;
    unsigned int total;
    int steps;
  };
  const Case cases[] = {{0, kHeight, kHeight - 1, kHeight},
                        {1, kHeight, 2 * kHeight - 2, 2 * kHeight},
                        {0, 1, 0, 1},
                        {1, 1, 0, 2}};
  for (const Case &c : cases) {
    RenderHost render(kWidth);
    render.settings().useDepth = c.useDepth;
    host::Frame frame = uniformFrame(kWidth, c.height);
    const host::ProcessReport report = renderOn(render.settings(), frame);
    ASSERT_EQ(report.initCalls, 1);
    EXPECT_EQ(report.initTotal, c.total) << "useDepth " << c.useDepth;
    EXPECT_EQ(report.steps, c.steps);
    EXPECT_EQ(report.doneCalls, 1);
    expectAllFinite(frame, report, "monitored frame");
  }
}

TEST(RenderFrame, StoppingWritesNothingAndStillFinishesTheMonitor) {
  struct Case {
    const char *what;
    int useDepth;
    int stopAtStep;
  };
  const Case cases[] = {{"uniform pass", 0, 3},
                        {"depth pass one", 1, 2},
                        {"depth pass two", 1, kHeight + 1},
                        {"last step of pass two", 1, 2 * kHeight}};
  for (const Case &c : cases) {
    RenderHost render(kWidth);
    render.settings().useDepth = c.useDepth;
    host::Frame frame = uniformFrame(kWidth, kHeight);
    host::ProcessOptions options;
    options.stopAfterSteps = c.stopAtStep;
    const host::ProcessReport report =
        renderOn(render.settings(), frame, options);
    EXPECT_EQ(report.steps, c.stopAtStep) << c.what;
    EXPECT_EQ(report.doneCalls, 1) << c.what;
    EXPECT_EQ(report.rgbWrites + report.alphaWrites, 0) << c.what;
  }
}

TEST(RenderFrame, AllocationFailureAbortsCleanly) {
  static int failAt;
  static int calls;
  const BlockAllocation failing = [](std::size_t count,
                                     std::size_t size) -> void * {
    return calls++ == failAt ? nullptr : std::calloc(count, size);
  };
  // Six blocks on the depth path; the uniform path takes three, and with
  // only those it renders.
  for (const int useDepth : {1, 0}) {
    for (failAt = 0; failAt < 7; ++failAt) {
      calls = 0;
      RenderHost render(kWidth);
      render.settings().useDepth = useDepth;
      host::Frame frame = uniformFrame(kWidth, kHeight);
      const host::ProcessReport report =
          renderOn(render.settings(), frame, {}, {failing, nullptr});
      const bool enough = failAt >= (useDepth != 0 ? 6 : 3);
      EXPECT_EQ(report.rgbWrites > 0, enough)
          << "path " << useDepth << ", block " << failAt;
      EXPECT_EQ(report.initCalls, enough ? 1 : 0);
    }
  }
  RenderHost render(kWidth);
  host::Frame frame = uniformFrame(kWidth, kHeight);
  const ZeroedAllocation noBank = [](std::size_t, std::size_t) -> void * {
    return nullptr;
  };
  const host::ProcessReport report =
      renderOn(render.settings(), frame, {}, {nullptr, noBank});
  EXPECT_EQ(report.rgbWrites + report.alphaWrites, 0) << "bank";
  EXPECT_EQ(report.doneCalls, 0);
}

TEST(RenderFrame, StoresTheToneConstants) {
  struct Case {
    double strength;
    double exponent;
    double scale;
  };
  const Case cases[] = {{0.0, 2.5, 9.630515818302953e-05},
                        {1.5, 4.0, 2.365044290627876e-08}};
  for (const Case &c : cases) {
    RenderHost render(kWidth);
    render.set(&FilterSettings::strengthParam, c.strength);
    host::Frame frame = uniformFrame(kWidth, 2);
    renderOn(render.settings(), frame);
    EXPECT_EQ(render.settings().toneExponent, c.exponent);
    EXPECT_NEAR(render.settings().toneScale, c.scale, c.scale * 1e-15);
  }
}

// A frame whose values differ pixel by pixel, in (0, 1].
void fillPattern(host::Frame &frame) {
  for (int k = 0; k < 4; ++k) {
    for (int i = 0; i < frame.width * frame.height; ++i) {
      inputPlane(frame, k)[i] = 0.05f + 0.9f * ((i * 7 + k * 3) % 11) / 10.0f;
    }
  }
}

TEST(RenderFrame, SizeOneIsTheIdentityAtEveryStrength) {
  for (double strength : {-3.0, -2.5, 0.0, 1.5, 10.0}) {
    RenderHost render(kWidth);
    render.settings().useDepth = 0;
    render.set(&FilterSettings::frontMaxParam, 0.0);
    render.set(&FilterSettings::strengthParam, strength);
    host::Frame frame = uniformFrame(kWidth, kHeight);
    fillPattern(frame);
    const host::ProcessReport report = renderOn(render.settings(), frame);
    expectAllFinite(frame, report, "identity");
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        for (int k = 0; k < 4; ++k) {
          ASSERT_NEAR(out(frame, k, x, y), at(frame, k, x, y), 1e-5)
              << "strength " << strength << " at " << x << "," << y;
        }
      }
    }
  }
}

// Each case is one fault of the input or the settings; every path must give
// back a finite frame, and a uniform area must stay at its value.
struct FaultCase {
  const char *what;
  float value;  // the uniform colour
  double strength;
  void (*arrange)(RenderHost &, host::Frame &, host::ProcessOptions &);
  float tolerance;  // relative, on the untouched area
};

void nothing(RenderHost &, host::Frame &, host::ProcessOptions &) {}

const FaultCase kFaults[] = {
    {"dark frame at strength 10", 0.02f, 10.0, nothing, 0.01f},
    {"strength -2.5, geometric mean", 0.3f, -2.5, nothing, 1e-4f},
    {"strength -2.5 + 1e-7", 0.3f, -2.5 + 1e-7, nothing, 1e-4f},
    {"strength -3", 0.3f, -3.0, nothing, 1e-4f},
    {"image shape without an image", 0.4f, 0.0,
     [](RenderHost &r, host::Frame &, host::ProcessOptions &) {
       r.settings().apertureShape = kShapeImage;
       r.settings().apertureImage = nullptr;
     },
     1e-5f},
    {"ring deformed beyond its hole", 0.4f, 0.0,
     [](RenderHost &r, host::Frame &, host::ProcessOptions &) {
       r.settings().apertureShape = kShapeRing;
       r.set(&FilterSettings::deformParam, 1.5);
     },
     1e-4f},
    {"bad colour values in one corner", 0.5f, 1.5,
     [](RenderHost &, host::Frame &f, host::ProcessOptions &) {
       at(f, 0, 0, 0) = NAN;
       at(f, 1, 1, 0) = -INFINITY;
       at(f, 2, 0, 1) = INFINITY;
       at(f, 3, 1, 1) = -4.0f;
     },
     1e-4f},
    {"bad depth values and missing depth rows", 0.5f, 0.0,
     [](RenderHost &, host::Frame &f, host::ProcessOptions &options) {
       f.depth[0] = NAN;
       f.depth[1] = -1.0f;
       f.depth[2] = 0.0f;
       f.depth[3] = INFINITY;
       options.missingDepthFromRow = 3;
     },
     1e-4f},
    {"f-number 0", 0.5f, 0.0,
     [](RenderHost &r, host::Frame &, host::ProcessOptions &) {
       r.set(&FilterSettings::fNumberParam, 0.0);
     },
     1e-5f},
    {"negative f-number", 0.5f, 0.0,
     [](RenderHost &r, host::Frame &, host::ProcessOptions &) {
       r.set(&FilterSettings::fNumberParam, -1.0);
     },
     1e-5f},
    {"camera without a field of view", 0.5f, 0.0,
     [](RenderHost &r, host::Frame &, host::ProcessOptions &) {
       HostCameraLens lens;
       lens.horizontalFov = NAN;
       r.host().scene().setCamera(lens);
     },
     1e-5f},
};

TEST(RenderFrame, FaultsGiveBackASoundFrame) {
  for (const FaultCase &c : kFaults) {
    for (int useDepth : {0, 1}) {
      RenderHost render(kWidth);
      render.settings().useDepth = useDepth;
      render.set(&FilterSettings::strengthParam, c.strength);
      // Near pixels, blurred by several pixels on the depth path.
      host::Frame frame = uniformFrame(kWidth, kHeight, c.value, 1.0f);
      host::ProcessOptions options;
      c.arrange(render, frame, options);
      const host::ProcessReport report =
          renderOn(render.settings(), frame, options);
      expectAllFinite(frame, report, c.what);
      // The right half lies beyond the reach of the corner faults.
      for (int y = 0; y < kHeight; ++y) {
        for (int x = kWidth / 2; x < kWidth; ++x) {
          for (int k = 0; k < 3; ++k) {
            ASSERT_NEAR(out(frame, k, x, y), c.value, c.value * c.tolerance)
                << c.what << ", useDepth " << useDepth << " at " << x << ","
                << y << " channel " << k;
          }
        }
      }
    }
  }
}

TEST(RenderFrame, StrengthIsContinuousThroughMinusTwoAndAHalf) {
  const double strengths[] = {-2.5 - 1e-3, -2.5 - 1e-6, -2.5, -2.5 + 1e-6,
                              -2.5 + 1e-3};
  std::vector<float> reference;
  for (double strength : strengths) {
    RenderHost render(kWidth);
    render.settings().useDepth = 0;
    render.set(&FilterSettings::strengthParam, strength);
    host::Frame frame = uniformFrame(kWidth, kHeight);
    fillPattern(frame);
    const host::ProcessReport report = renderOn(render.settings(), frame);
    expectAllFinite(frame, report, "near -2.5");
    const std::vector<float> rgba = outputRGBA(frame);
    if (reference.empty()) {
      reference = rgba;
      continue;
    }
    for (std::size_t i = 0; i < reference.size(); ++i) {
      ASSERT_NEAR(rgba[i], reference[i], 2e-3 * reference[i])
          << "strength " << strength << " value " << i;
    }
  }
}

TEST(RenderFrame, DarkAreaBesideLightKeepsItsValueAtStrengthTen) {
  RenderHost render(kWidth);
  render.settings().useDepth = 0;
  render.set(&FilterSettings::strengthParam, 10.0);
  host::Frame frame = uniformFrame(kWidth, kHeight, 0.02f);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < 4; ++x) {
      for (int k = 0; k < 3; ++k) at(frame, k, x, y) = 1.0f;
    }
  }
  const host::ProcessReport report = renderOn(render.settings(), frame);
  expectAllFinite(frame, report, "dark beside light");
  EXPECT_NEAR(out(frame, 0, kWidth - 1, kHeight / 2), 0.02f, 2e-4f);
}

// A far, patterned background with a bar just beyond the lens: on the depth
// path the bar's pixels stop part of the background's light, through the
// occlusion geometry and kernels larger than the bank.
void fillOccludedScene(host::Frame &frame) {
  fillPattern(frame);
  for (int y = 0; y < frame.height; ++y) {
    for (int x = 0; x < frame.width; ++x) {
      const bool bar = x >= frame.width / 3 && x < frame.width / 2;
      frame.depth[y * frame.width + x] = bar ? 0.08f : 60.0f;
    }
  }
}

// Focus at 1 unit at f/1, so the background blurs by several pixels.
void focusNear(RenderHost &render) {
  HostCameraLens lens;
  lens.focalDistance = 1.0;
  render.host().scene().setCamera(lens);
  render.host().sceneChanged();
  render.set(&FilterSettings::fNumberParam, 1.0);
}

// Makes a record differ from the defaults in everything the occlusion test
// reads: the lens (through the aperture number) and the aperture shape.
void giveOtherLensAndAperture(FilterSettings &settings) {
  settings.fNumberParam->value = 0.7;
  settings.apertureShape = kShapeRing;
  settings.deformParam->value = 0.95;
}

TEST(RenderFrame, AnInstanceRendersAsIfAloneBesideAnother) {
  constexpr int kW = 64, kH = 20;
  for (int shape : {kShapeCircle, kShapePolygon}) {
    // The reference: the instance alone.
    host::Frame reference = uniformFrame(kW, kH);
    fillOccludedScene(reference);
    {
      RenderHost alone(kW);
      focusNear(alone);
      alone.settings().apertureShape = shape;
      expectAllFinite(reference, renderOn(alone.settings(), reference),
                      "alone");
    }
    const std::vector<float> expected = outputRGBA(reference);

    // The same instance, created first, beside a second one that has been
    // processed with another lens and aperture and is the most recent.
    RenderHost first(kW);
    focusNear(first);
    first.settings().apertureShape = shape;
    const char *error = nullptr;
    FilterSettings *second = createSettings(&error);
    ASSERT_NE(second, nullptr) << (error != nullptr ? error : "");
    giveOtherLensAndAperture(*second);
    host::Frame other = uniformFrame(kW, kH);
    fillOccludedScene(other);
    renderOn(*second, other);

    host::Frame beside = uniformFrame(kW, kH);
    fillOccludedScene(beside);
    expectAllFinite(beside, renderOn(first.settings(), beside),
                    "beside another");
    const std::vector<float> besideRGBA = outputRGBA(beside);
    for (std::size_t i = 0; i < expected.size(); ++i) {
      ASSERT_EQ(besideRGBA[i], expected[i])
          << "shape " << shape << ", value " << i << " (pixel " << i / 4 << ")";
    }

    // And after the other instance is gone, again the same frame.
    destroySettings(second);
    host::Frame after = uniformFrame(kW, kH);
    fillOccludedScene(after);
    renderOn(first.settings(), after);
    const std::vector<float> afterRGBA = outputRGBA(after);
    for (std::size_t i = 0; i < expected.size(); ++i) {
      ASSERT_EQ(afterRGBA[i], expected[i]) << "value " << i;
    }
  }
}

// Nothing of a frame's work buffers carries over to the next one: a frame
// after frames of other sizes, after one of the same size and after one whose
// buffers could not be had is the frame rendered first, to the bit.
TEST(RenderFrame, BuffersGiveTheSameFrameWhateverCameBefore) {
  constexpr int kW = 40, kH = 16;
  RenderHost render(kW);
  focusNear(render);
  render.settings().useDepth = 1;
  auto renderScene = [&](int width, int height,
                         const FrameAllocation &allocation = {}) {
    host::Frame frame = uniformFrame(width, height);
    fillOccludedScene(frame);
    renderOn(render.settings(), frame, {}, allocation);
    return outputRGBA(frame);
  };
  const std::vector<float> first = renderScene(kW, kH);
  const BlockAllocation none = [](std::size_t, std::size_t) -> void * {
    return nullptr;
  };
  struct Between {
    const char *what;
    int width, height;
    BlockAllocation allocation;
  };
  const Between cases[] = {{"a smaller frame", kW / 2, kH / 2, nullptr},
                           {"a larger frame", 2 * kW, kH + 3, nullptr},
                           {"the same frame", kW, kH, nullptr},
                           {"a frame without buffers", kW, kH, none}};
  for (const Between &c : cases) {
    renderScene(c.width, c.height, {c.allocation, nullptr});
    const std::vector<float> again = renderScene(kW, kH);
    ASSERT_EQ(again.size(), first.size()) << c.what;
    for (std::size_t i = 0; i < first.size(); ++i) {
      ASSERT_EQ(again[i], first[i]) << "after " << c.what << ", value " << i;
    }
  }
}

TEST(FillDepth, UnusableAndMissingDepthIsFar) {
  host::Frame frame = uniformFrame(4, 3);
  frame.depth = {5.0f, NAN,   -1.0f, 0.0f, INFINITY, -INFINITY,
                 2.0f, 1e-3f, 9.0f,  9.0f, 9.0f,     9.0f};
  host::ProcessOptions options;
  options.missingDepthFromRow = 2;
  FrameBuffers buffers;
  ASSERT_TRUE(buffers.allocate(4, 3));
  const host::FrameCall call(frame, options);
  fillDepth(*call.access(), buffers);
  const float expected[] = {5.0f,      kFarDepth, kFarDepth, kFarDepth,
                            kFarDepth, kFarDepth, 2.0f,      1e-3f,
                            kFarDepth, kFarDepth, kFarDepth, kFarDepth};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(buffers.depth[i], expected[i]) << i;
}

}  // namespace
}  // namespace lensfall::testing
