#include "host/exr_zip.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace lensfall::host {

ZipBlockCodec::ZipBlockCodec(int level) : level_(std::clamp(level, 1, 12)) {}

ZipBlockCodec::~ZipBlockCodec() {
  libdeflate_free_compressor(compressor_);
  libdeflate_free_decompressor(decompressor_);
}

bool ZipBlockCodec::unpack(const char *stored, std::size_t storedSize,
                           std::byte *plain, std::size_t plainSize) {
  // A block that did not shrink is kept as it is.
  if (storedSize >= plainSize) {
    std::memcpy(plain, stored, plainSize);
    return true;
  }
  if (decompressor_ == nullptr) {
    decompressor_ = libdeflate_alloc_decompressor();
    if (decompressor_ == nullptr) throw std::bad_alloc();
  }
  scratch_.resize(plainSize);
  unsigned char *t = scratch_.data();
  // Without a place for the size it found, libdeflate accepts only a stream
  // of exactly plainSize bytes.
  if (libdeflate_zlib_decompress(decompressor_, stored, storedSize, t,
                                 plainSize, nullptr) != LIBDEFLATE_SUCCESS) {
    return false;
  }
  for (std::size_t i = 1; i < plainSize; ++i) {
    t[i] = static_cast<unsigned char>(t[i - 1] + t[i] - 128);
  }
  const unsigned char *even = t;
  const unsigned char *odd = t + (plainSize + 1) / 2;
  auto *out = reinterpret_cast<unsigned char *>(plain);
  for (std::size_t i = 0; i + 1 < plainSize; i += 2) {
    out[i] = *even++;
    out[i + 1] = *odd++;
  }
  if (plainSize % 2 != 0) out[plainSize - 1] = *even;
  return true;
}

void ZipBlockCodec::pack(const std::byte *plain, std::size_t size,
                         std::vector<char> &stored) {
  if (compressor_ == nullptr) {
    compressor_ = libdeflate_alloc_compressor(level_);
    if (compressor_ == nullptr) throw std::bad_alloc();
  }
  scratch_.resize(size);
  unsigned char *t = scratch_.data();
  const auto *in = reinterpret_cast<const unsigned char *>(plain);
  unsigned char *even = t;
  unsigned char *odd = t + (size + 1) / 2;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    *even++ = in[i];
    *odd++ = in[i + 1];
  }
  if (size % 2 != 0) *even = in[size - 1];
  // Backwards, so that each byte still sees the one before as it was.
  for (std::size_t i = size; i-- > 1;) {
    t[i] = static_cast<unsigned char>(t[i] - t[i - 1] + 128);
  }
  packed_.resize(libdeflate_zlib_compress_bound(compressor_, size));
  const std::size_t packed = libdeflate_zlib_compress(
      compressor_, t, size, packed_.data(), packed_.size());
  if (packed == 0 || packed >= size) {
    stored.assign(reinterpret_cast<const char *>(plain),
                  reinterpret_cast<const char *>(plain) + size);
    return;
  }
  stored.assign(packed_.data(), packed_.data() + packed);
}

}  // namespace lensfall::host
