// A small direct-mapped memo of a function of float values: frames hold few
// distinct values where it matters (half-float or 8-bit sources, flat depth,
// sharp pixels whose sums are their own values), and the functions it keeps
// (powers, logarithms, arc tangents) cost tens of nanoseconds each.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

namespace lensfall {

// Bits: the log2 of its slot count.
template <typename Value, int Bits = 14>
class FloatMemo {
 public:
  FloatMemo() { keys_.fill(kEmpty); }

  // f(x), from the memo when x was seen recently.
  template <typename F>
  Value operator()(float x, F &&f) {
    std::uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    if (bits == kEmpty) return f(x);
    const std::size_t slot = (bits * 0x9E3779B1u) >> (32 - kBits);
    if (keys_[slot] != bits) {
      values_[slot] = f(x);
      keys_[slot] = bits;
    }
    return values_[slot];
  }

 private:
  static constexpr int kBits = Bits;
  // The key of an empty slot: a NaN pattern, computed every time it comes.
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
  std::array<std::uint32_t, 1 << kBits> keys_;
  std::array<Value, 1 << kBits> values_{};
};

}  // namespace lensfall
