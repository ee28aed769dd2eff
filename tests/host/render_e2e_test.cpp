// Frames through the loaded module's process callback, as a host runs them.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "cli/instance_settings.h"
#include "host/frame.h"
#include "host/frame_io.h"
#include "host/session.h"
#include "host/sidecar.h"
#include "settings/filter_settings.h"

namespace lensfall::testing {
namespace {

namespace fs = std::filesystem;
using namespace lensfall::host;

const fs::path kFrames = LENSFALL_FRAMES_DIR;

// A session with one instance whose saved settings are edited by KEY=VALUE.
HostInstance instanceWith(Session &session,
                          std::initializer_list<const char *> settings) {
  HostInstance instance = session.filter().create();
  nlohmann::json data = session.filter().save(instance);
  for (const char *setting : settings) {
    cli::applySetting(data, setting, session.scene());
  }
  session.filter().load(instance, data);
  return instance;
}

double luminance(const Frame &frame, size_t i, bool output) {
  return output ? frame.outRed[i] + frame.outGreen[i] + frame.outBlue[i]
                : frame.red[i] + frame.green[i] + frame.blue[i];
}

TEST(RenderEndToEnd, RealFrameKeepsTheSubjectSharpAndBloomsTheLights) {
  Session session(LENSFALL_MODULE_PATH);
  const fs::path dir = kFrames / "highlights";
  readSidecar(dir / "highlights_640x360.json", session.scene());
  FrameSource source;
  source.image = dir / "highlights_640x360.exr";
  source.channels = {"ViewLayer.Combined.R", "ViewLayer.Combined.G",
                     "ViewLayer.Combined.B", "ViewLayer.Combined.A",
                     "ViewLayer.Depth.Z"};
  source.depth.measure = DepthMeasure::Planar;
  source.horizontalFov = session.scene().camera->lens.horizontalFov;
  source.verticalFov = session.scene().camera->lens.verticalFov;
  Frame frame = readFrame(source);
  session.services().sceneChanged();
  HostInstance instance = instanceWith(
      session, {"focus=Subject", "f-number=0.25", "shape=polygon"});

  const ProcessReport report = processFrame(session.filter(), instance, frame);
  EXPECT_EQ(report.initTotal, unsigned(2 * frame.height - 2));
  EXPECT_EQ(report.steps, 2 * frame.height);
  EXPECT_EQ(report.doneCalls, 1);
  EXPECT_EQ(report.rgbWrites, long(frame.pixels()));
  EXPECT_FALSE(report.alphaBeforeRgb);

  size_t brightBefore = 0, brightAfter = 0, subjectPixels = 0;
  size_t subjectChanged = 0;
  const double focus =
      static_cast<const FilterSettings *>(instance)->focusDistance;
  for (size_t i = 0; i < frame.pixels(); ++i) {
    ASSERT_TRUE(
        std::isfinite(frame.outRed[i]) && std::isfinite(frame.outGreen[i]) &&
        std::isfinite(frame.outBlue[i]) && std::isfinite(frame.outAlpha[i]))
        << "pixel " << i;
    brightBefore += luminance(frame, i, false) > 3.0;
    brightAfter += luminance(frame, i, true) > 3.0;
    // Pixels at the focus distance stay as they were.
    if (std::fabs(frame.depth[i] - focus) < 0.01 * focus) {
      ++subjectPixels;
      subjectChanged +=
          std::fabs(luminance(frame, i, true) - luminance(frame, i, false)) >
          0.01 * luminance(frame, i, false) + 1e-4;
    }
  }
  EXPECT_GT(brightAfter, 4 * brightBefore) << "highlights bloom";
  ASSERT_GT(subjectPixels, 500u);
  EXPECT_LT(double(subjectChanged) / double(subjectPixels), 0.02)
      << subjectChanged << " of " << subjectPixels
      << " in-focus pixels changed";
}

// A small frame whose camera focuses at 1 unit.
class SyntheticFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HostCameraLens lens;
    lens.focalLengthMm = 50.0;
    lens.focalDistance = 1.0;
    lens.horizontalFov = 2.0 * std::atan(18.0 / 50.0);
    lens.verticalFov = lens.horizontalFov * 0.75;
    session.scene().setCamera(lens);
    session.scene().width = 64;
    session.scene().height = 48;
    session.services().sceneChanged();
  }
  Session session{LENSFALL_MODULE_PATH};
  Frame frame{64, 48};
};

TEST_F(SyntheticFrameTest, InFocusObjectInFrontOfABlurredBackgroundStaysClean) {
  frame.depth.assign(frame.pixels(), 40.0f);
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 64; ++x) {
      const size_t i = size_t(y) * 64 + size_t(x);
      const bool square = x >= 20 && x < 44 && y >= 14 && y < 34;
      const float stripe = (x / 3) % 2 ? 4.0f : 0.0f;
      frame.red[i] = frame.green[i] = frame.blue[i] = square ? 0.25f : stripe;
      if (square) frame.depth[i] = 1.0f;
    }
  }
  frame.resetOutput();
  HostInstance instance = instanceWith(session, {"f-number=0.5"});
  processFrame(session.filter(), instance, frame);
  double backgroundChange = 0.0;
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 64; ++x) {
      const size_t i = size_t(y) * 64 + size_t(x);
      if (x >= 20 && x < 44 && y >= 14 && y < 34) {
        EXPECT_NEAR(frame.outRed[i], 0.25f, 0.25f * 1e-3) << x << "," << y;
      } else {
        backgroundChange += std::fabs(frame.outRed[i] - frame.red[i]);
      }
    }
  }
  EXPECT_GT(backgroundChange, 100.0) << "the background is blurred";
}

TEST_F(SyntheticFrameTest, UniformImageStaysUniformOnBothPaths) {
  for (const char *useDepth : {"use-depth=on", "use-depth=off"}) {
    Frame uniform(64, 48);
    uniform.depth.assign(uniform.pixels(), 0.0f);
    for (size_t i = 0; i < uniform.pixels(); ++i) {
      uniform.red[i] = 0.3f;
      uniform.green[i] = 0.02f;
      uniform.blue[i] = 1.7f;
      uniform.depth[i] = 2.0f + float(i % 7);
    }
    uniform.resetOutput();
    HostInstance instance =
        instanceWith(session, {useDepth, "f-number=0.5", "strength=3"});
    processFrame(session.filter(), instance, uniform);
    for (size_t i = 0; i < uniform.pixels(); ++i) {
      ASSERT_NEAR(uniform.outRed[i], 0.3f, 0.3f * 1e-3) << useDepth << " " << i;
      ASSERT_NEAR(uniform.outGreen[i], 0.02f, 0.02f * 1e-2)
          << useDepth << " " << i;
      ASSERT_NEAR(uniform.outBlue[i], 1.7f, 1.7f * 1e-3)
          << useDepth << " " << i;
    }
  }
}

}  // namespace
}  // namespace lensfall::testing
