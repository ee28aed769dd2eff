// The aperture image through the stand-in host's image list and image
// utility: real files read with OpenImageIO, resampled and read per pixel.
#include <OpenImageIO/imagebuf.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "host/services.h"
#include "hostlink/service_table.h"
#include "kernels/aperture.h"
#include "settings/lifecycle.h"

namespace lensfall::testing {
namespace {

namespace fs = std::filesystem;

class ImageApertureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir);
    ASSERT_TRUE(acquireServices(host.lookup()));
    const char *error = nullptr;
    settings = createSettings(&error);
    ASSERT_NE(settings, nullptr);
    settings->apertureShape = kShapeImage;
  }
  void TearDown() override {
    destroySettings(settings);
    fs::remove_all(dir);
  }

  // Writes a size x size image whose pixels come from `pixel`.
  fs::path writeImage(const std::string &name, int size, int channels,
                      auto pixel) {
    OIIO::ImageBuf image(
        OIIO::ImageSpec(size, size, channels, OIIO::TypeDesc::UINT8));
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        std::vector<float> value = pixel(x, y);
        image.setpixel(x, y, value.data());
      }
    }
    const fs::path file = dir / name;
    EXPECT_TRUE(image.write(file.string())) << image.geterror();
    return file;
  }

  fs::path dir = fs::path(::testing::TempDir()) /
                 ("lensfall_images_" + std::to_string(getpid()));
  host::HostServices host;
  FilterSettings *settings = nullptr;
};

TEST_F(ImageApertureTest, GreyFileGivesAMonoKernelThatKeepsAThinLine) {
  // A one-pixel bright column in a 16 x 16 image.
  const auto file = writeImage("line.png", 16, 1, [](int x, int) {
    return std::vector<float>{x == 8 ? 1.0f : 0.0f};
  });
  settings->apertureImage = &host.scene().addImage("line", {file});
  std::vector<uint8_t> cells(4 * 4 * 3, 0xAB);
  RasterizeAperture(cells.data(), 4, *settings);
  EXPECT_EQ(settings->kernelIsColor, 0);
  for (int y = 0; y < 4; ++y) {
    EXPECT_EQ(cells[size_t(y) * 4 + 1], 0) << y;
    EXPECT_EQ(cells[size_t(y) * 4 + 2], 64) << y;  // a quarter of its area
  }
  EXPECT_EQ(host.liveResampled(), 0u);
}

TEST_F(ImageApertureTest, ColourFilesGiveColourKernels) {
  for (int channels : {3, 4}) {
    const auto file = writeImage("red" + std::to_string(channels) + ".png", 5,
                                 channels, [&](int, int) {
                                   std::vector<float> v = {1.0f, 0.0f, 0.2f};
                                   if (channels == 4) v.push_back(1.0f);
                                   return v;
                                 });
    settings->apertureImage =
        &host.scene().addImage("red" + std::to_string(channels), {file});
    std::vector<uint8_t> cells(5 * 5 * 3, 0);
    RasterizeAperture(cells.data(), 5, *settings);
    EXPECT_EQ(settings->kernelIsColor, 1) << channels;
    for (int cell = 0; cell < 25; ++cell) {
      EXPECT_EQ(cells[size_t(cell) * 3 + 0], 255) << channels;
      EXPECT_EQ(cells[size_t(cell) * 3 + 1], 0) << channels;
      EXPECT_EQ(cells[size_t(cell) * 3 + 2], 51) << channels;
    }
  }
  EXPECT_EQ(host.liveResampled(), 0u);
}

TEST_F(ImageApertureTest, SequenceShowsTheFrameOfTheTime) {
  std::vector<fs::path> files;
  for (int frame = 0; frame < 3; ++frame) {
    files.push_back(
        writeImage("seq" + std::to_string(frame) + ".png", 3, 1,
                   [&](int, int) { return std::vector<float>{frame / 2.0f}; }));
  }
  settings->apertureImage = &host.scene().addImage("sequence", files);
  const double fps = host.scene().framesPerSecond;
  struct Case {
    double time;
    uint8_t value;
  };
  for (const Case c : {Case{-1.0, 0}, Case{0.0, 0}, Case{1.0 / fps, 128},
                       Case{2.0 / fps, 255}, Case{50.0, 255}}) {
    settings->evalTime = c.time;
    std::vector<uint8_t> cells(3 * 3 * 3, 0);
    RasterizeAperture(cells.data(), 3, *settings);
    EXPECT_EQ(cells[4], c.value) << c.time;
  }
}

}  // namespace
}  // namespace lensfall::testing
