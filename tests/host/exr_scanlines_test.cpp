// Scan-line ZIP and ZIPS files: what the OpenEXR library writes reads back
// here bit for bit, what is written here the library reads bit for bit with
// the header it would have written itself, and a damaged block is refused.
#include "host/exr_scanlines.h"

#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfInputFile.h>
#include <OpenEXR/ImfOutputFile.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "host/exr_file.h"
#include "host/exr_memory_stream.h"
#include "host/exr_zip.h"
#include "host/host_error.h"
#include "tests/support/temp_dir.h"

namespace lensfall::testing {
namespace {

namespace fs = std::filesystem;
using namespace lensfall::host;

void writeBytes(const fs::path &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

struct Case {
  const char *name;
  Imf::Compression compression;
  int width, height, top;  // top: the data window's first row
  bool noise;              // random bytes (blocks that do not shrink)
  bool longName;           // a channel name of more than 31 characters
};

// A part whose channels are in an order of their own, not the file's
// (sorted by name), with every pixel type EXR has.
ImagePart partFor(const Case &c) {
  ImagePart part;
  PartSpec &spec = part.spec;
  spec.x = -3;
  spec.y = c.top;
  spec.width = spec.full_width = c.width;
  spec.height = spec.full_height = c.height;
  spec.channelnames = {"Z", "B", "A"};
  spec.channelformats = {PixelType::UInt32, PixelType::Float, PixelType::Half};
  if (c.longName) {
    spec.channelnames.push_back("Render.Layer.With.A.Longer.Name.R");
    spec.channelformats.push_back(PixelType::Half);
  }
  spec.nchannels = int(spec.channelnames.size());
  part.pixels.resize(spec.imageBytes());
  std::mt19937 random(7);
  for (std::size_t i = 0; i < part.pixels.size(); ++i) {
    part.pixels[i] = std::byte(c.noise ? random() : (i / 97) % 3);
  }
  Imf::Header header(Imath::Box2i({spec.x, spec.y}, {spec.x + c.width - 1,
                                                     spec.y + c.height - 1}),
                     Imath::Box2i({spec.x, spec.y}, {spec.x + c.width - 1,
                                                     spec.y + c.height - 1}));
  header.compression() = c.compression;
  const Imf::PixelType types[] = {Imf::UINT, Imf::FLOAT, Imf::HALF, Imf::HALF};
  for (int k = 0; k < spec.nchannels; ++k) {
    header.channels().insert(spec.channelnames[std::size_t(k)],
                             Imf::Channel(types[k]));
  }
  spec.original = std::make_shared<const Imf::Header>(header);
  return part;
}

Imf::FrameBuffer frameBufferFor(const PartSpec &spec, std::byte *pixels) {
  const Imf::PixelType types[] = {Imf::UINT, Imf::FLOAT, Imf::HALF, Imf::HALF};
  const Imath::Box2i data({spec.x, spec.y},
                          {spec.x + spec.width - 1, spec.y + spec.height - 1});
  Imf::FrameBuffer buffer;
  std::size_t offset = 0;
  for (int k = 0; k < spec.nchannels; ++k) {
    buffer.insert(
        spec.channelnames[std::size_t(k)],
        Imf::Slice::Make(types[k], pixels + offset, data, spec.pixelBytes(),
                         spec.pixelBytes() * std::size_t(spec.width)));
    offset += bytesOf(spec.channelformat(k));
  }
  return buffer;
}

// One channel's bytes, whatever the order of a part's channels.
std::vector<std::byte> channelBytes(const PartSpec &spec,
                                    const std::vector<std::byte> &pixels,
                                    const std::string &name) {
  std::size_t offset = 0;
  int c = 0;
  while (spec.channelnames[std::size_t(c)] != name) {
    offset += bytesOf(spec.channelformat(c++));
  }
  const std::size_t size = bytesOf(spec.channelformat(c));
  std::vector<std::byte> bytes;
  for (std::size_t at = offset; at < pixels.size(); at += spec.pixelBytes()) {
    bytes.insert(bytes.end(), pixels.begin() + long(at),
                 pixels.begin() + long(at + size));
  }
  return bytes;
}

class ZipScanlines : public ::testing::TestWithParam<Case> {};

TEST_P(ZipScanlines, ReadAndWriteAsTheLibraryDoes) {
  const TempDir dir("exr_scanlines");
  ImagePart part = partFor(GetParam());
  const auto &header =
      *static_cast<const Imf::Header *>(part.spec.original.get());
  ASSERT_TRUE(readsZipScanlines(header));
  ASSERT_TRUE(writesZipScanlines(header));

  // The library's file, read here.
  {
    Imf::OutputFile output((dir / "library.exr").c_str(), header);
    output.setFrameBuffer(frameBufferFor(part.spec, part.pixels.data()));
    output.writePixels(part.spec.height);
  }
  const ImageFile read = readExrFile(dir / "library.exr");
  ASSERT_EQ(read.parts.size(), 1u);
  for (const std::string &name : part.spec.channelnames) {
    EXPECT_EQ(channelBytes(read.parts[0].spec, read.parts[0].pixels, name),
              channelBytes(part.spec, part.pixels, name))
        << name;
  }

  // The file written here, read by the library.
  const std::string ours = encodeExr({part}, dir / "ours.exr");
  writeBytes(dir / "ours.exr", ours);
  std::vector<std::byte> back(part.pixels.size());
  {
    Imf::InputFile input((dir / "ours.exr").c_str());
    ASSERT_TRUE(input.isComplete());
    input.setFrameBuffer(frameBufferFor(part.spec, back.data()));
    input.readPixels(part.spec.y, part.spec.y + part.spec.height - 1);
  }
  EXPECT_TRUE(back == part.pixels);

  // The same version flags and header bytes as the library's file.
  MemoryStream headerOnly;
  header.writeTo(headerOnly, false);
  const std::size_t headerEnd = 8 + headerOnly.take().size();
  const std::string library = readText(dir / "library.exr");
  EXPECT_EQ(ours.substr(0, headerEnd), library.substr(0, headerEnd));
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, ZipScanlines,
    ::testing::Values(
        Case{"ZipSmooth", Imf::ZIP_COMPRESSION, 37, 41, -5, false, false},
        Case{"ZipNoise", Imf::ZIP_COMPRESSION, 37, 41, 0, true, false},
        Case{"ZipOneRow", Imf::ZIP_COMPRESSION, 5, 1, 3, false, false},
        Case{"ZipExactBlocks", Imf::ZIP_COMPRESSION, 8, 32, 16, false, true},
        Case{"ZipsSmooth", Imf::ZIPS_COMPRESSION, 13, 9, -2, false, true},
        Case{"ZipsNoise", Imf::ZIPS_COMPRESSION, 13, 9, 0, true, false},
        Case{"OnePixel", Imf::ZIPS_COMPRESSION, 1, 1, 0, false, false}),
    [](const auto &info) { return info.param.name; });

TEST(ZipScanlines, ADamagedBlockIsRefusedNamingTheFile) {
  const TempDir dir("exr_scanlines_damaged");
  const ImagePart part =
      partFor({"", Imf::ZIP_COMPRESSION, 37, 41, 0, false, false});
  const std::string good = encodeExr({part}, dir / "good.exr");
  // The last block's deflated bytes, then a file cut inside its blocks.
  std::string damaged = good;
  for (std::size_t i = damaged.size() - 20; i < damaged.size() - 4; ++i) {
    damaged[i] = char(~damaged[i]);
  }
  const std::string cut = good.substr(0, good.size() - 40);
  for (const auto &[name, bytes] :
       {std::pair{"damaged.exr", damaged}, std::pair{"cut.exr", cut}}) {
    writeBytes(dir / name, bytes);
    try {
      readExrFile(dir / name);
      ADD_FAILURE() << name << " was read";
    } catch (const HostError &error) {
      EXPECT_NE(std::string(error.what()).find(name), std::string::npos)
          << error.what();
    }
  }
}

TEST(ZipBlockCodec, PacksAndUnpacksBlocksOfAnySize) {
  ZipBlockCodec codec;
  std::mt19937 random(3);
  for (const std::size_t size : {1u, 2u, 3u, 1001u, 65536u}) {
    for (const bool noise : {false, true}) {
      std::vector<std::byte> plain(size);
      for (std::size_t i = 0; i < size; ++i) {
        plain[i] = std::byte(noise ? random() : i % 5);
      }
      std::vector<char> stored;
      codec.pack(plain.data(), size, stored);
      EXPECT_LE(stored.size(), size);
      std::vector<std::byte> back(size);
      ASSERT_TRUE(
          codec.unpack(stored.data(), stored.size(), back.data(), size));
      EXPECT_TRUE(back == plain) << size << (noise ? " noise" : " smooth");
      if (stored.size() < size) {
        EXPECT_FALSE(
            codec.unpack(stored.data(), stored.size() - 1, back.data(), size))
            << "a cut stream";
        EXPECT_FALSE(
            codec.unpack(stored.data(), stored.size(), back.data(), size + 1))
            << "a stream of another size";
      }
    }
  }
}

}  // namespace
}  // namespace lensfall::testing
