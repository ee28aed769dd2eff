#include "host/exr_scanlines.h"

#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfCompression.h>
#include <OpenEXR/ImfPartType.h>
#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstring>
#include <exception>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <type_traits>
#include <vector>

#include "host/exr_memory_stream.h"
#include "host/exr_zip.h"

namespace lensfall::host {

namespace {

constexpr int kMagic = 20000630;
constexpr int kVersion = 2;
constexpr int kLongNamesFlag = 0x400;
// Names up to this length fit a file without the long-names flag.
constexpr std::size_t kShortNameLength = 31;

std::size_t bytesOfExr(Imf::PixelType type) {
  return type == Imf::HALF ? 2 : 4;
}

// Where one of the file's channels lives in a pixel of the part's
// interleaved layout.
struct ChannelPlace {
  std::size_t offset = 0, bytes = 0;
};

// The places of the header's channels, in the file's order (sorted by name).
std::vector<ChannelPlace> placesOf(const Imf::Header &header,
                                   const PartSpec &spec) {
  std::vector<ChannelPlace> places;
  const Imf::ChannelList &channels = header.channels();
  for (auto it = channels.begin(); it != channels.end(); ++it) {
    std::size_t offset = 0;
    int c = 0;
    while (c < spec.nchannels &&
           spec.channelnames[std::size_t(c)] != it.name()) {
      offset += bytesOf(spec.channelformat(c));
      ++c;
    }
    const std::size_t bytes = bytesOfExr(it.channel().type);
    if (c == spec.nchannels || bytesOf(spec.channelformat(c)) != bytes) {
      throw std::logic_error(
          fmt::format("channel {} has no place of its size", it.name()));
    }
    places.push_back({offset, bytes});
  }
  return places;
}

// The blocks of rows a part is stored in, from the top of its data window.
struct Blocks {
  int firstRow = 0, rows = 0, rowsPerBlock = 1, count = 0;
  std::size_t rowBytes = 0;  // one row of every channel, as stored

  Blocks(const Imf::Header &header, const std::vector<ChannelPlace> &places) {
    const Imath::Box2i data = header.dataWindow();
    firstRow = data.min.y;
    rows = data.max.y - data.min.y + 1;
    rowsPerBlock = header.compression() == Imf::ZIP_COMPRESSION ? 16 : 1;
    count = (rows + rowsPerBlock - 1) / rowsPerBlock;
    const std::size_t width = std::size_t(data.max.x - data.min.x + 1);
    for (const ChannelPlace &place : places) rowBytes += width * place.bytes;
  }
  int firstRowOf(int block) const { return firstRow + block * rowsPerBlock; }
  int rowsOf(int block) const {
    return std::min(rowsPerBlock, rows - block * rowsPerBlock);
  }
  std::size_t bytesOf(int block) const {
    return rowBytes * std::size_t(rowsOf(block));
  }
};

// Copies one channel of a row between its stored form (the channel's
// values side by side) and the interleaved pixels, `stride` bytes apart.
template <std::size_t Bytes, typename To, typename From>
void copyChannel(To *to, std::size_t toStep, From *from, std::size_t fromStep,
                 std::size_t width) {
  for (std::size_t x = 0; x < width; ++x) {
    std::memcpy(to + x * toStep, from + x * fromStep, Bytes);
  }
}

// Unpacked blocks and pixels, in either direction: `rows` rows between a
// block's stored form and the part's pixels from `pixelRows` on.
enum class Direction { toPixels, toBlock };

template <Direction direction>
void moveRows(std::conditional_t<direction == Direction::toPixels,
                                 const std::byte, std::byte> *block,
              std::conditional_t<direction == Direction::toPixels, std::byte,
                                 const std::byte> *pixelRows,
              int rows, const std::vector<ChannelPlace> &places,
              const PartSpec &spec) {
  const std::size_t width = std::size_t(spec.width);
  const std::size_t stride = spec.pixelBytes();
  for (int r = 0; r < rows; ++r) {
    auto *row = pixelRows + std::size_t(r) * width * stride;
    for (const ChannelPlace &place : places) {
      auto *pixel = row + place.offset;
      if constexpr (direction == Direction::toPixels) {
        if (place.bytes == 2) {
          copyChannel<2>(pixel, stride, block, 2, width);
        } else {
          copyChannel<4>(pixel, stride, block, 4, width);
        }
      } else {
        if (place.bytes == 2) {
          copyChannel<2>(block, 2, pixel, stride, width);
        } else {
          copyChannel<4>(block, 4, pixel, stride, width);
        }
      }
      block += width * place.bytes;
    }
  }
}

// One thread's tools for its blocks.
struct BlockWorker {
  explicit BlockWorker(int level) : codec(level) {}
  ZipBlockCodec codec;
  std::vector<char> stored;      // a block as stored in the file
  std::vector<std::byte> plain;  // and unpacked
};

// Runs work(block, worker) for every block, on every core; the first
// exception thrown is rethrown once every thread has stopped.
void forEachBlock(int count, int level,
                  const std::function<void(int, BlockWorker &)> &work) {
  std::atomic<int> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr failure;
  std::mutex failureLock;
  auto run = [&] {
    try {
      BlockWorker worker(level);
      for (int block = next++; block < count && !failed; block = next++) {
        work(block, worker);
      }
    } catch (...) {
      const std::lock_guard<std::mutex> hold(failureLock);
      if (!failure) failure = std::current_exception();
      failed = true;
    }
  };
  const int threads =
      std::clamp(int(std::thread::hardware_concurrency()), 1, count);
  std::vector<std::thread> helpers;
  try {
    for (int t = 1; t < threads; ++t) helpers.emplace_back(run);
  } catch (const std::system_error &) {
    // Fewer threads than cores: the ones started and this one do it all.
  }
  run();
  for (std::thread &helper : helpers) helper.join();
  if (failure) std::rethrow_exception(failure);
}

// Whether the file needs the flag for names longer than 31 characters.
bool usesLongNames(const Imf::Header &header) {
  for (auto it = header.begin(); it != header.end(); ++it) {
    if (std::strlen(it.name()) > kShortNameLength ||
        std::strlen(it.attribute().typeName()) > kShortNameLength) {
      return true;
    }
  }
  const Imf::ChannelList &channels = header.channels();
  for (auto it = channels.begin(); it != channels.end(); ++it) {
    if (std::strlen(it.name()) > kShortNameLength) return true;
  }
  return false;
}

// Integers are stored little-endian, as on the machines this path runs on.
template <typename T>
void writeNumber(MemoryStream &stream, T value) {
  stream.write(reinterpret_cast<const char *>(&value), int(sizeof value));
}

}  // namespace

bool readsZipScanlines(const Imf::Header &header) {
  if constexpr (std::endian::native != std::endian::little) return false;
  if (header.hasTileDescription()) return false;
  if (header.hasType() && header.type() != Imf::SCANLINEIMAGE) return false;
  const Imf::Compression compression = header.compression();
  if (compression != Imf::ZIP_COMPRESSION &&
      compression != Imf::ZIPS_COMPRESSION) {
    return false;
  }
  const Imf::ChannelList &channels = header.channels();
  for (auto it = channels.begin(); it != channels.end(); ++it) {
    if (it.channel().xSampling != 1 || it.channel().ySampling != 1) {
      return false;
    }
  }
  return true;
}

bool writesZipScanlines(const Imf::Header &header) {
  return readsZipScanlines(header) && header.lineOrder() == Imf::INCREASING_Y;
}

void readZipScanlines(Imf::InputPart &reader, const Imf::Header &header,
                      const PartSpec &spec, std::byte *pixels) {
  const std::vector<ChannelPlace> places = placesOf(header, spec);
  const Blocks blocks(header, places);
  const std::size_t rowPixels = std::size_t(spec.width) * spec.pixelBytes();
  // The library reads a stored block, checking its row and size, into
  // memory of its own that the next read reuses: one thread reads at a
  // time and copies the block out, and the threads unpack in parallel.
  std::mutex readLock;
  // The deflate level only matters for packing.
  forEachBlock(blocks.count, 4, [&](int block, BlockWorker &worker) {
    {
      const std::lock_guard<std::mutex> hold(readLock);
      const char *data = nullptr;
      int size = 0;
      reader.rawPixelData(blocks.firstRowOf(block), data, size);
      worker.stored.assign(data, data + size);
    }
    worker.plain.resize(blocks.bytesOf(block));
    if (!worker.codec.unpack(worker.stored.data(), worker.stored.size(),
                             worker.plain.data(), worker.plain.size())) {
      throw std::runtime_error(fmt::format(
          "the block of rows from {} is damaged", blocks.firstRowOf(block)));
    }
    moveRows<Direction::toPixels>(
        worker.plain.data(),
        pixels + std::size_t(block) * blocks.rowsPerBlock * rowPixels,
        blocks.rowsOf(block), places, spec);
  });
}

std::string encodeZipScanlineFile(const Imf::Header &header,
                                  const PartSpec &spec,
                                  const std::byte *pixels) {
  header.sanityCheck(false);
  const std::vector<ChannelPlace> places = placesOf(header, spec);
  const Blocks blocks(header, places);
  const std::size_t rowPixels = std::size_t(spec.width) * spec.pixelBytes();
  std::vector<std::vector<char>> stored(std::size_t(blocks.count));
  forEachBlock(
      blocks.count, header.zipCompressionLevel(),
      [&](int block, BlockWorker &worker) {
        worker.plain.resize(blocks.bytesOf(block));
        moveRows<Direction::toBlock>(
            worker.plain.data(),
            pixels + std::size_t(block) * blocks.rowsPerBlock * rowPixels,
            blocks.rowsOf(block), places, spec);
        worker.codec.pack(worker.plain.data(), worker.plain.size(),
                          stored[std::size_t(block)]);
      });

  // Magic number and version, header, the table of the blocks' offsets,
  // then each block after its first row and its size.
  MemoryStream stream;
  writeNumber<std::int32_t>(stream, kMagic);
  writeNumber<std::int32_t>(
      stream, kVersion | (usesLongNames(header) ? kLongNamesFlag : 0));
  header.writeTo(stream, false);
  std::uint64_t offset = stream.tellp() + 8 * std::uint64_t(blocks.count);
  std::uint64_t total = offset;
  for (const std::vector<char> &bytes : stored) total += 8 + bytes.size();
  stream.reserve(std::size_t(total));
  for (const std::vector<char> &bytes : stored) {
    writeNumber<std::uint64_t>(stream, offset);
    offset += 8 + bytes.size();
  }
  for (int block = 0; block < blocks.count; ++block) {
    const std::vector<char> &bytes = stored[std::size_t(block)];
    writeNumber<std::int32_t>(stream, blocks.firstRowOf(block));
    writeNumber<std::int32_t>(stream, std::int32_t(bytes.size()));
    stream.write(bytes.data(), int(bytes.size()));
  }
  return stream.take();
}

}  // namespace lensfall::host
