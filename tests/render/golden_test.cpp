// Golden hashes of whole frames: crops of the rendered frames in
// tests/data/frames through the process callback on the fast and on the
// literal cores, every aperture shape, colour kernels and a near occluder
// whose size lies beyond the bank. A change to how the cores are arranged
// must leave every output bit, and so every hash, as it is. A change that is
// meant to alter the output updates the table, and says why in its commit.
#include <OpenImageIO/imagebuf.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "host/frame_io.h"
#include "render/passes.h"
#include "render/render_frame.h"
#include "tests/render/render_host.h"
#include "tests/render/shared_frame.h"

namespace lensfall::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kCropWidth = 200;
constexpr int kCropHeight = 120;

// FNV-1a over the bytes of the frame's output RGBA.
std::uint64_t hashOf(const std::vector<float> &rgba) {
  std::uint64_t hash = 1469598103934665603ull;
  const auto *bytes = reinterpret_cast<const unsigned char *>(rgba.data());
  for (std::size_t i = 0; i < rgba.size() * sizeof(float); ++i) {
    hash = (hash ^ bytes[i]) * 1099511628211ull;
  }
  return hash;
}

// A crop of a rendered frame with its depth as distance from the camera, and
// the camera of its sidecar.
struct RenderedCrop {
  host::Frame frame = uniformFrame(kCropWidth, kCropHeight);
  HostCameraLens lens;
};

RenderedCrop cropOf(const std::string &scene, int x0, int y0) {
  const SharedFrame shared = readSharedFrame(
      fs::path(LENSFALL_FRAMES_DIR) / scene, scene + "_640x360");
  const host::Frame &whole = shared.frame;
  const auto &camera = shared.sidecar["camera"];
  const double hfov = camera["hfov_rad"].get<double>();
  const double vfov = camera["vfov_rad"].get<double>();

  RenderedCrop crop;
  // The crop is a frame of its own, as wide in film as in pixels.
  crop.lens.focalLengthMm = camera["focal_length_mm"].get<double>();
  crop.lens.focalDistance = camera["focus_distance"].get<double>();
  crop.lens.horizontalFov =
      2 * std::atan(std::tan(hfov / 2) * kCropWidth / whole.width);
  crop.lens.verticalFov =
      2 * std::atan(std::tan(vfov / 2) * kCropHeight / whole.height);
  const std::vector<float> *planes[4] = {&whole.red, &whole.green, &whole.blue,
                                         &whole.alpha};
  for (int y = 0; y < kCropHeight; ++y) {
    for (int x = 0; x < kCropWidth; ++x) {
      const std::size_t from = std::size_t(y + y0) * whole.width + (x + x0);
      for (int k = 0; k < 4; ++k) {
        inputPlane(crop.frame, k)[std::size_t(y) * kCropWidth + x] =
            (*planes[k])[from];
      }
      crop.frame.depth[std::size_t(y) * kCropWidth + x] = whole.depth[from];
    }
  }
  return crop;
}

// A 9 x 9 aperture image: a disc whose colour turns from red at the centre
// to blue at the rim, so the kernels it gives are colour kernels.
fs::path writeColourAperture(const fs::path &dir) {
  OIIO::ImageBuf image(OIIO::ImageSpec(9, 9, 3, OIIO::TypeDesc::UINT8));
  for (int y = 0; y < 9; ++y) {
    for (int x = 0; x < 9; ++x) {
      const double r = std::hypot(x - 4, y - 4) / 4.5;
      const float inside = r <= 1 ? 1.0f : 0.0f;
      const float pixel[3] = {inside * float(1 - r), inside * 0.5f,
                              inside * float(r)};
      image.setpixel(x, y, pixel);
    }
  }
  const fs::path file = dir / "colour_aperture.png";
  EXPECT_TRUE(image.write(file.string())) << image.geterror();
  return file;
}

struct Case {
  const char *what;
  const char *scene;
  int x0, y0;
  int useDepth;
  int shape;
  double fNumber;
  double deform;         // polygons only: 0 straight sides, 1 fully curved
  double maxima;         // front and back maximum
  double focusDistance;  // 0: the sidecar's
  double focalLengthMm;  // 0: the sidecar's
  std::uint64_t fast, literal;
};

// The expected hashes were taken from the cores as they stood when the table
// was made, and hold them to the bit.
const Case kCases[] = {
    {"uniform disc, highlights", "highlights", 220, 120, 0, kShapeCircle, 2.8,
     0, 1.0, 0, 0, 0x399b76ce190841a1ull, 0x5f1ecb69bb3c6e84ull},
    {"depth, circle, occlusion", "occlusion", 220, 120, 1, kShapeCircle, 1.4, 0,
     1.0, 0, 0, 0x1787520884ce4178ull, 0xd424ca36b3f0701bull},
    {"depth, straight hexagon, highlights", "highlights", 220, 120, 1,
     kShapePolygon, 1.0, 0, 1.0, 0, 0, 0x02f92c7661aedb33ull,
     0x05c4093a2771e26cull},
    {"depth, curved pentagon, occlusion", "occlusion", 300, 160, 1,
     kShapePolygon, 1.0, 1.0, 1.0, 0, 0, 0x0d210492d42fc6edull,
     0x3d8b429c41404d50ull},
    {"depth, ring, highlights", "highlights", 220, 120, 1, kShapeRing, 1.4, 0,
     1.0, 0, 0, 0x32546593b00019abull, 0x146da6f6cc7d9cd8ull},
    {"depth, colour image, highlights", "highlights", 220, 120, 1, kShapeImage,
     1.0, 0, 1.0, 0, 0, 0x69c038c6d5a882c5ull, 0xac6af0bb743ab015ull},
    // A long lens keeps the bank small (its largest size does not depend on
    // the focal length) while the occluder sizes of the near fence grow.
    {"near occluder beyond the bank, occlusion", "occlusion", 220, 200, 1,
     kShapeCircle, 16.0, 0, 1.0, 7.0, 1000.0, 0x816a493b8de87a48ull,
     0xf48b84beccab9d6dull},
};

class GoldenFrames : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dir); }
  void TearDown() override { fs::remove_all(dir); }
  fs::path dir = fs::path(::testing::TempDir()) /
                 ("lensfall_golden_" + std::to_string(getpid()));
};

TEST_F(GoldenFrames, OutputBitsOfBothCoresAreUnchanged) {
  const fs::path aperture = writeColourAperture(dir);
  for (const Case &c : kCases) {
    std::uint64_t hashes[2] = {};
    for (const Cores cores : {Cores::fast, Cores::literal}) {
      RenderedCrop crop = cropOf(c.scene, c.x0, c.y0);
      if (c.focusDistance > 0) crop.lens.focalDistance = c.focusDistance;
      if (c.focalLengthMm > 0) crop.lens.focalLengthMm = c.focalLengthMm;
      RenderHost render(kCropWidth);
      render.host().scene().height = kCropHeight;
      render.host().scene().setCamera(crop.lens);
      render.host().sceneChanged();
      FilterSettings &settings = render.settings();
      settings.useDepth = c.useDepth;
      settings.apertureShape = c.shape;
      settings.vertexCount = c.deform > 0 ? 5 : 6;
      render.set(&FilterSettings::deformParam, c.deform);
      render.set(&FilterSettings::rotationParam, 0.2);
      render.set(&FilterSettings::frontMaxParam, c.maxima);
      render.set(&FilterSettings::backMaxParam, c.maxima);
      render.set(&FilterSettings::fNumberParam, c.fNumber);
      if (c.shape == kShapeImage) {
        settings.apertureImage =
            &render.host().scene().addImage("colour", {aperture});
      }
      const host::ProcessReport report =
          renderOn(settings, crop.frame, {}, {}, cores);
      ASSERT_EQ(report.rgbWrites, kCropWidth * kCropHeight) << c.what;
      hashes[cores == Cores::fast ? 0 : 1] = hashOf(outputRGBA(crop.frame));
    }
    if (hashes[0] != c.fast || hashes[1] != c.literal) {
      std::printf("%s: fast 0x%016llxull, literal 0x%016llxull\n", c.what,
                  static_cast<unsigned long long>(hashes[0]),
                  static_cast<unsigned long long>(hashes[1]));
    }
    EXPECT_EQ(hashes[0], c.fast) << c.what << ": the fast cores' output";
    EXPECT_EQ(hashes[1], c.literal) << c.what << ": the literal cores' output";
  }
}

}  // namespace
}  // namespace lensfall::testing
