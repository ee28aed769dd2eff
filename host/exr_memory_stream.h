// An OpenEXR output stream into memory, so that a file is written whole
// with checked writes, a sync and a rename.
#pragma once

#include <OpenEXR/ImfIO.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace lensfall::host {

class MemoryStream : public Imf::OStream {
 public:
  MemoryStream() : Imf::OStream("memory") {}
  void write(const char bytes[], int count) override {
    if (position_ + size_t(count) > data_.size()) {
      data_.resize(position_ + size_t(count));
    }
    std::memcpy(data_.data() + position_, bytes, size_t(count));
    position_ += size_t(count);
  }
  uint64_t tellp() override { return position_; }
  void seekp(uint64_t position) override { position_ = size_t(position); }
  void reserve(size_t bytes) { data_.reserve(bytes); }
  std::string take() { return std::move(data_); }

 private:
  std::string data_;
  size_t position_ = 0;
};

}  // namespace lensfall::host
