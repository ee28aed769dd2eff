// Stopping a frame at every row of every pass, through the loaded module:
// nothing is written, done is called once, and nothing leaks (the sanitizer
// build checks the last at exit).
#include <gtest/gtest.h>

#include <cmath>

#include "cli/instance_settings.h"
#include "host/frame.h"
#include "host/session.h"

namespace lensfall::testing {
namespace {

using namespace lensfall::host;

class AbortTest : public ::testing::TestWithParam<const char *> {
 protected:
  void SetUp() override {
    HostCameraLens lens;
    lens.focalLengthMm = 50.0;
    lens.focalDistance = 1.0;
    lens.horizontalFov = 2.0 * std::atan(18.0 / 50.0);
    lens.verticalFov = lens.horizontalFov * 0.75;
    session.scene().setCamera(lens);
    session.scene().width = kWidth;
    session.scene().height = kHeight;
    session.services().sceneChanged();
    instance = session.filter().create();
    nlohmann::json data = session.filter().save(instance);
    cli::applySetting(data, GetParam(), session.scene());
    cli::applySetting(data, "f-number=0.2", session.scene());
    session.filter().load(instance, data);
  }

  Frame smallFrame() const {
    Frame frame(kWidth, kHeight);
    frame.depth.assign(frame.pixels(), 0.0f);
    for (size_t i = 0; i < frame.pixels(); ++i) {
      frame.red[i] = float(i % 5) * 0.3f;
      frame.green[i] = float(i % 3) * 0.5f;
      frame.blue[i] = 0.2f;
      frame.depth[i] = (i / kWidth) % 2 ? 0.4f : 30.0f;
    }
    frame.resetOutput();
    return frame;
  }

  static constexpr int kWidth = 12;
  static constexpr int kHeight = 7;
  Session session{LENSFALL_MODULE_PATH};
  HostInstance instance = nullptr;
};

TEST_P(AbortTest, StoppingAtAnyRowWritesNothingAndFinishesOnce) {
  const Frame untouched = smallFrame();
  const ProcessReport full = [&] {
    Frame frame = smallFrame();
    return processFrame(session.filter(), instance, frame);
  }();
  ASSERT_EQ(full.stopped, false);
  ASSERT_GT(full.steps, 0);
  for (int stopAt = 1; stopAt <= full.steps; ++stopAt) {
    Frame frame = smallFrame();
    ProcessOptions options;
    options.stopAfterSteps = stopAt;
    const ProcessReport report =
        processFrame(session.filter(), instance, frame, options);
    EXPECT_TRUE(report.stopped) << "stop at step " << stopAt;
    EXPECT_EQ(report.steps, stopAt) << "no step after the stop";
    EXPECT_EQ(report.rgbWrites, 0) << "stop at step " << stopAt;
    EXPECT_EQ(report.alphaWrites, 0) << "stop at step " << stopAt;
    EXPECT_EQ(report.doneCalls, 1) << "stop at step " << stopAt;
    EXPECT_EQ(frame.outRed, untouched.red);
  }
}

INSTANTIATE_TEST_SUITE_P(BothPaths, AbortTest,
                         ::testing::Values("use-depth=on", "use-depth=off"));

}  // namespace
}  // namespace lensfall::testing
