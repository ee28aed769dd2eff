// A stand-in for the host's image list and image utility, installed into the
// module's service table for the duration of a test.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "hostapi/services.h"
#include "hostlink/service_table.h"

namespace lensfall::testing {

// The bytes the fake's resampled images hold at (x, y): distinct per channel
// and per position, so a kernel that swaps rows and columns or channels
// shows it.
inline std::array<std::uint8_t, 4> fakePixel(int x, int y) {
  return {static_cast<std::uint8_t>(x * 7 + y * 3),
          static_cast<std::uint8_t>(x + 2 * y + 50),
          static_cast<std::uint8_t>(255 - x - y), 99};
}

struct FakePixmap {
  int width;
  int height;
  int pixelType;
};

// What the fake host saw and what it should answer.
struct FakeImageHostState {
  int pixelType = HOST_PIXEL_RGB24;
  bool evaluateGivesNothing = false;
  bool resampleGivesNothing = false;
  int evaluateCalls = 0;
  double lastTime = -1.0;
  int lastWidth = 0;
  int lastHeight = 0;
  int lastMode = -1;
  int liveResampled = 0;  // made by resample and not yet destroyed
  FakePixmap source = {640, 480, HOST_PIXEL_RGB24};
  std::vector<std::unique_ptr<FakePixmap>> made;
};

// The image ID the fake's image list knows.
HostImageID fakeImageId();

// A fixture that installs the fake image services and puts the module's
// service table back afterwards.
class FakeImageHostTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  FakeImageHostState &host();

 private:
  ServiceTable saved_ = {};
};

}  // namespace lensfall::testing
