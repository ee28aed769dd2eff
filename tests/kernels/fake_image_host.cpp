#include "tests/kernels/fake_image_host.h"

#include <cstring>

namespace lensfall::testing {

namespace {

FakeImageHostState *state = nullptr;
int imageTag = 0;

HostPixmapID evaluate(HostImageID image, double time) {
  ++state->evaluateCalls;
  state->lastTime = time;
  if (image != fakeImageId() || state->evaluateGivesNothing) return nullptr;
  return reinterpret_cast<HostPixmapID>(&state->source);
}

HostPixmapID resample(HostPixmapID pixmap, int width, int height, int mode) {
  state->lastWidth = width;
  state->lastHeight = height;
  state->lastMode = mode;
  if (pixmap != reinterpret_cast<HostPixmapID>(&state->source) ||
      state->resampleGivesNothing) {
    return nullptr;
  }
  state->made.push_back(std::make_unique<FakePixmap>(
      FakePixmap{width, height, state->pixelType}));
  ++state->liveResampled;
  return reinterpret_cast<HostPixmapID>(state->made.back().get());
}

void destroy(HostPixmapID pixmap) {
  if (pixmap != nullptr) --state->liveResampled;
}

int info(HostPixmapID pixmap, int *width, int *height) {
  const auto *image = reinterpret_cast<const FakePixmap *>(pixmap);
  *width = image->width;
  *height = image->height;
  return image->pixelType;
}

// Writes as many bytes as the pixel type has, like a real image would.
void getPixel(HostPixmapID pixmap, int x, int y, void *buffer) {
  const auto *image = reinterpret_cast<const FakePixmap *>(pixmap);
  ASSERT_TRUE(x >= 0 && x < image->width && y >= 0 && y < image->height)
      << "pixel (" << x << ", " << y << ") read outside the image";
  const auto bytes = fakePixel(x, y);
  const std::size_t count = image->pixelType == HOST_PIXEL_GREY8   ? 1
                            : image->pixelType == HOST_PIXEL_RGB24 ? 3
                                                                   : 4;
  std::memcpy(buffer, bytes.data(), count);
}

HostImageList imageList() {
  HostImageList list = {};
  list.evaluate = evaluate;
  return list;
}

HostImageUtility imageUtility() {
  HostImageUtility utility = {};
  utility.destroy = destroy;
  utility.getPixel = getPixel;
  utility.info = info;
  utility.resample = resample;
  return utility;
}

const HostImageList kImageList = imageList();
const HostImageUtility kImageUtility = imageUtility();

}  // namespace

HostImageID fakeImageId() { return reinterpret_cast<HostImageID>(&imageTag); }

void FakeImageHostTest::SetUp() {
  saved_ = services;
  state = new FakeImageHostState;
  services.imageList = &kImageList;
  services.imageUtility = &kImageUtility;
}

void FakeImageHostTest::TearDown() {
  EXPECT_EQ(state->liveResampled, 0) << "resampled images left undestroyed";
  delete state;
  state = nullptr;
  services = saved_;
}

FakeImageHostState &FakeImageHostTest::host() { return *state; }

}  // namespace lensfall::testing
