// Reading real rendered frames and writing filtered ones.
#include "host/frame_io.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "host/host_error.h"

namespace lensfall::testing {
namespace {

namespace fs = std::filesystem;
using namespace lensfall::host;

const fs::path kFrames = LENSFALL_FRAMES_DIR;

TEST(FrameIo, ReadsColourAlphaAndDepthFromAMultilayerExr) {
  FrameSource source;
  source.image = kFrames / "highlights" / "highlights_640x360.exr";
  source.channels = {"ViewLayer.Combined.R", "ViewLayer.Combined.G",
                     "ViewLayer.Combined.B", "ViewLayer.Combined.A",
                     "ViewLayer.Depth.Z"};
  const Frame planar = readFrame(source);
  ASSERT_EQ(planar.width, 640);
  ASSERT_EQ(planar.height, 360);
  ASSERT_EQ(planar.depth.size(), planar.pixels());
  EXPECT_EQ(planar.alpha[1000], 1.0f);
  float brightest = 0.0f;
  for (float v : planar.red) brightest = std::max(brightest, v);
  EXPECT_GT(brightest, 1.0f) << "HDR highlights survive reading";

  source.depth.measure = DepthMeasure::Planar;
  source.horizontalFov = 0.6911111611634243;
  source.verticalFov = 0.39959649248062956;
  const Frame distance = readFrame(source);
  // At the corner the ray is longer than the axis by sqrt(1 + tx^2 + ty^2).
  const double tx = std::tan(source.horizontalFov / 2) * (2 * 0.5 / 640 - 1);
  const double ty = std::tan(source.verticalFov / 2) * (2 * 0.5 / 360 - 1);
  EXPECT_NEAR(distance.depth[0],
              planar.depth[0] * std::sqrt(1 + tx * tx + ty * ty),
              1e-3 * planar.depth[0]);
}

TEST(FrameIo, NamesTheFileThatCannotBeRead) {
  FrameSource source;
  source.image = kFrames / "no-such-frame.exr";
  try {
    readFrame(source);
    FAIL();
  } catch (const HostError &error) {
    EXPECT_NE(std::string(error.what()).find("no-such-frame.exr"),
              std::string::npos);
  }
}

TEST(FrameIo, FailedWriteLeavesNothingBehind) {
  const fs::path dir = fs::path(::testing::TempDir()) /
                       ("lensfall_frame_io_" + std::to_string(getpid()));
  fs::create_directories(dir / "blocked.png");
  Frame frame(4, 3);
  EXPECT_THROW(writeFrameOutput(frame, dir / "blocked.png"), HostError);
  EXPECT_THROW(writeFrameOutput(frame, dir / "missing" / "out.exr"), HostError);
  writeFrameOutput(frame, dir / "good.exr");
  int entries = 0;
  for ([[maybe_unused]] const auto &entry : fs::directory_iterator(dir))
    ++entries;
  EXPECT_EQ(entries, 2);  // blocked.png and good.exr
  fs::remove_all(dir);
}

}  // namespace
}  // namespace lensfall::testing
