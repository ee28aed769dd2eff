// Helpers for kernel tests: grids drawn as text for failure messages, and
// small measurements of a grid.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace lensfall::testing {

// A mono grid as rows of '#' (255), '.' (0) and '+' (anything else); grids
// wider than 120 cells are summarised instead of drawn.
inline std::string gridText(const std::uint8_t *cells, int w, int h) {
  std::ostringstream out;
  out << w << " x " << h << " grid\n";
  if (w > 120) {
    out << "(too wide to draw)\n";
    return out.str();
  }
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::uint8_t v = cells[static_cast<std::size_t>(y) * w + x];
      out << (v == 255 ? '#' : v == 0 ? '.' : '+');
    }
    out << '\n';
  }
  return out.str();
}

inline std::string gridText(const std::vector<std::uint8_t> &cells, int w,
                            int h) {
  return gridText(cells.data(), w, h);
}

// A mono grid from rows of '#' and '.', the way gridText draws one.
// Equal mono grids, or a failure that draws both (or names the first
// differing cell when they are too wide to draw).
inline ::testing::AssertionResult sameGrid(
    const std::vector<std::uint8_t> &actual,
    const std::vector<std::uint8_t> &expected, int w, int h) {
  const std::size_t cells = static_cast<std::size_t>(w) * h;
  if (actual.size() < cells || expected.size() < cells) {
    return ::testing::AssertionFailure()
           << "grid buffers smaller than " << w << " x " << h;
  }
  for (std::size_t i = 0; i < cells; ++i) {
    if (actual[i] != expected[i]) {
      return ::testing::AssertionFailure()
             << "first difference at cell (" << i % w << ", " << i / w
             << "): " << int{actual[i]} << " instead of " << int{expected[i]}
             << "\nactual:\n"
             << gridText(actual.data(), w, h) << "expected:\n"
             << gridText(expected.data(), w, h);
    }
  }
  return ::testing::AssertionSuccess();
}

// CRC-32 (the zlib polynomial) of a grid's first `count` bytes, to compare a
// large kernel with a figure computed outside this code.
inline std::uint32_t crc32Of(const std::vector<std::uint8_t> &bytes,
                             std::size_t count) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
  }
  return ~crc;
}

inline std::vector<std::uint8_t> gridFromRows(
    const std::vector<std::string> &rows) {
  std::vector<std::uint8_t> cells;
  for (const std::string &row : rows) {
    for (char c : row) cells.push_back(c == '#' ? 255 : 0);
  }
  return cells;
}

inline long long sumOfCells(const std::vector<std::uint8_t> &cells, int w,
                            int h) {
  long long sum = 0;
  for (std::size_t i = 0; i < static_cast<std::size_t>(w) * h; ++i) {
    sum += cells[i];
  }
  return sum;
}

inline long long countOf(const std::vector<std::uint8_t> &cells, int w, int h,
                         std::uint8_t value) {
  long long count = 0;
  for (std::size_t i = 0; i < static_cast<std::size_t>(w) * h; ++i) {
    count += cells[i] == value;
  }
  return count;
}

}  // namespace lensfall::testing
