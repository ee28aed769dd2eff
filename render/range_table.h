// The least or the greatest value over any range of a row in constant time:
// a sparse table holding, for every level, the extreme over each span of
// 2^level pixels. Two overlapping spans cover any range.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace lensfall {

struct Least {
  template <typename T>
  T operator()(T a, T b) const {
    return std::min(a, b);
  }
};
struct Greatest {
  template <typename T>
  T operator()(T a, T b) const {
    return std::max(a, b);
  }
};

inline int floorLog2(unsigned int n) { return 31 - __builtin_clz(n); }

template <typename T, typename Pick>
class RangeTable {
 public:
  // Room for rows of `width` values and ranges up to 2^levels - 1 wide.
  void reserve(int width, int levels) {
    width_ = width;
    levels_ = levels;
    table_.assign(static_cast<std::size_t>(levels) * width, T{});
  }

  bool empty() const { return table_.empty(); }
  int levels() const { return levels_; }

  // Fills the table from `row`'s width values.
  void build(const T *row) {
    std::copy(row, row + width_, table_.begin());
    for (int level = 1; level < levels_; ++level) {
      const int step = 1 << (level - 1);
      const std::size_t at = static_cast<std::size_t>(level) * width_;
      const std::size_t below = at - width_;
      for (int u = 0; u + 2 * step <= width_; ++u) {
        table_[at + u] = Pick{}(table_[below + u], table_[below + u + step]);
      }
    }
  }

  // The extreme of row[l .. r]; r - l + 1 must be below 2^levels.
  T over(int l, int r) const {
    const int level = floorLog2(static_cast<unsigned>(r - l + 1));
    const std::size_t at = static_cast<std::size_t>(level) * width_;
    return Pick{}(table_[at + l], table_[at + r - (1 << level) + 1]);
  }

  // The extreme of the 2^level values from u on.
  T ofSpan(int level, int u) const {
    return table_[static_cast<std::size_t>(level) * width_ + u];
  }

 private:
  int width_ = 0, levels_ = 0;
  std::vector<T> table_;
};

}  // namespace lensfall
