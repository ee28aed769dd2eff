// Display-referred files are linearised on reading and encoded again on
// writing, as OpenImageIO's own colour conversion does it, at the file's
// own precision.
#include "host/colour.h"

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "host/frame_io.h"

namespace lensfall::testing {
namespace {

namespace fs = std::filesystem;
using namespace lensfall::host;

const fs::path kPng =
    fs::path(LENSFALL_FRAMES_DIR) / "highlights" / "highlights_640x360.png";

std::vector<float> pixelsOf(const OIIO::ImageBuf &image, OIIO::TypeDesc type) {
  std::vector<float> values(image.spec().image_pixels() *
                            size_t(image.nchannels()));
  image.get_pixels(OIIO::ROI::All(), type, values.data());
  return values;
}

class Colour : public ::testing::Test {
 protected:
  fs::path dir_ = fs::path(::testing::TempDir()) /
                  ("lensfall_colour_" + std::to_string(getpid()));
  void SetUp() override { fs::create_directories(dir_); }
  void TearDown() override { fs::remove_all(dir_); }
};

TEST_F(Colour, EightBitPngIsLinearisedAsOpenImageIODoesIt) {
  FrameSource source;
  source.image = kPng;
  const FrameFile file = readFrameFile(source);
  EXPECT_EQ(file.colorspace, "sRGB");
  EXPECT_EQ(file.bits, 8);

  OIIO::ImageBuf png(kPng.string()), linear;
  ASSERT_TRUE(png.read(0, 0, true, OIIO::TypeFloat));
  ASSERT_TRUE(OIIO::ImageBufAlgo::colorconvert(linear, png, "sRGB", "linear"));
  const std::vector<float> expected = pixelsOf(linear, OIIO::TypeFloat);
  const int channels = linear.nchannels();
  const Frame &frame = file.frame;
  for (size_t i = 0; i < frame.pixels(); i += 97) {
    EXPECT_NEAR(frame.red[i], expected[i * channels + 0], 1e-6) << i;
    EXPECT_NEAR(frame.green[i], expected[i * channels + 1], 1e-6) << i;
    EXPECT_NEAR(frame.blue[i], expected[i * channels + 2], 1e-6) << i;
  }
  // And on a value known without either: sRGB 128/255 is 0.2158605 linear.
  std::vector<float> grey = {128.0f / 255.0f}, same = grey, again = grey;
  convertColour(grey, same, again, {1.0f}, 1, 1, "sRGB", linearColorspace());
  EXPECT_NEAR(grey[0], 0.2158605f, 1e-6);
}

TEST_F(Colour, PngComesBackAsItWentIn) {
  FrameSource source;
  source.image = kPng;
  const FrameFile file = readFrameFile(source);
  writeFilteredFrame(file, file.frame, dir_ / "out.png");
  const OIIO::ImageBuf in(kPng.string());
  OIIO::ImageBuf out((dir_ / "out.png").string());
  ASSERT_TRUE(out.read());
  EXPECT_EQ(out.spec().format, OIIO::TypeUInt8);
  EXPECT_EQ(pixelsOf(out, OIIO::TypeFloat), pixelsOf(in, OIIO::TypeFloat));
}

TEST_F(Colour, SixteenBitsAreReadAndWrittenAtFullPrecision) {
  // A 16-bit PNG of the frame, made by OpenImageIO from the 8-bit one and a
  // smooth ramp, so it holds values 8 bits cannot.
  OIIO::ImageBuf ramp(OIIO::ImageSpec(256, 4, 3, OIIO::TypeFloat));
  for (OIIO::ImageBuf::Iterator<float> it(ramp); !it.done(); ++it) {
    for (int c = 0; c < 3; ++c) it[c] = float(it.x() * 4 + c) / 1023.0f;
  }
  ramp.specmod().attribute("oiio:ColorSpace", "sRGB");
  ASSERT_TRUE(ramp.write((dir_ / "ramp16.png").string(), OIIO::TypeUInt16));

  FrameSource source;
  source.image = dir_ / "ramp16.png";
  const FrameFile file = readFrameFile(source);
  EXPECT_EQ(file.bits, 16);
  writeFilteredFrame(file, file.frame, dir_ / "out16.png");
  const OIIO::ImageBuf in((dir_ / "ramp16.png").string());
  OIIO::ImageBuf out((dir_ / "out16.png").string());
  ASSERT_TRUE(out.read());
  EXPECT_EQ(out.spec().format, OIIO::TypeUInt16);
  const auto a = pixelsOf(in, OIIO::TypeFloat);
  const auto b = pixelsOf(out, OIIO::TypeFloat);
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_NEAR(a[i], b[i], 1.0 / 65535.0) << i;
  }
}

TEST_F(Colour, UnknownColourSpacesAreRefusedWithTheKnownOnes) {
  try {
    checkColorspace("sRBG", "--colorspace");
    FAIL();
  } catch (const std::exception &error) {
    const std::string message = error.what();
    EXPECT_NE(message.find("--colorspace"), std::string::npos) << message;
    EXPECT_NE(message.find("sRBG"), std::string::npos) << message;
    EXPECT_NE(message.find("sRGB"), std::string::npos) << message;
  }
}

}  // namespace
}  // namespace lensfall::testing
