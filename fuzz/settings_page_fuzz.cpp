// Arbitrary requests to the settings page's handlers: methods, paths,
// parameters and bodies. Every request gets a response; edits reach the
// module only through the form, and nothing crashes or leaks.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <memory>

#include "cli/page/settings_page.h"
#include "host/session.h"

namespace {

using namespace lensfall;

struct PageUnderTest {
  host::Session session{LENSFALL_MODULE_PATH};
  std::unique_ptr<cli::SettingsPage> page;

  PageUnderTest() {
    host::Scene &scene = session.scene();
    HostCameraLens lens;
    scene.setCamera(lens, {0.0, -5.0, 1.0});
    scene.addObject("Ball");
    scene.addObject("Cube");
    HostPixmap grey;
    grey.width = grey.height = 2;
    grey.pixelType = HOST_PIXEL_GREY8;
    grey.bytes = {0, 255, 255, 0};
    scene.addImage("bokeh", grey);
    scene.width = 16;
    scene.height = 12;
    session.services().sceneChanged();
    session.filter().create();
    host::Frame frame(16, 12);
    frame.depth.assign(frame.pixels(), 0.0f);
    for (size_t i = 0; i < frame.pixels(); ++i) {
      frame.red[i] = float(i % 5);
      frame.depth[i] = 1.0f + float(i % 13);
    }
    frame.resetOutput();
    const auto dir = std::filesystem::temp_directory_path() /
                     ("lensfall_page_fuzz_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    // A preview of half the frame's width, so the 1:1 view filters the
    // frame at its own size.
    page = std::make_unique<cli::SettingsPage>(session, dir / "scene.json",
                                               frame, 8);
  }
};

const char *const kPaths[] = {"/",
                              "/api/form",
                              "/api/value",
                              "/api/thumbnail.png",
                              "/api/preview.bmp",
                              "/api/detail.bmp",
                              "/api/save",
                              "/api/undo",
                              "/api/frame",
                              "/api/focus",
                              "/api/ping"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static PageUnderTest *under = new PageUnderTest;
  FuzzedDataProvider input(data, size);
  cli::PageRequest request;
  request.method = input.ConsumeBool() ? "POST" : "GET";
  if (input.ConsumeIntegralInRange<int>(0, 9) == 0) {
    request.method = input.ConsumeRandomLengthString(8);
  }
  request.path = input.ConsumeIntegralInRange<int>(0, 7) == 0
                     ? input.ConsumeRandomLengthString(32)
                     : kPaths[input.ConsumeIntegralInRange<size_t>(
                           0, std::size(kPaths) - 1)];
  const int parameters = input.ConsumeIntegralInRange<int>(0, 4);
  for (int k = 0; k < parameters; ++k) {
    static const char *const kKeys[] = {"size", "exposure", "before", "x",
                                        "y",    "w",        "h"};
    std::string key = input.ConsumeBool()
                          ? kKeys[input.ConsumeIntegralInRange<size_t>(
                                0, std::size(kKeys) - 1)]
                          : input.ConsumeRandomLengthString(8);
    request.query[key] = input.ConsumeRandomLengthString(12);
  }
  request.body = input.ConsumeRemainingBytesAsString();
  const cli::PageResponse response = under->page->handle(request);
  if (response.status < 100 || response.status > 599) __builtin_trap();
  return 0;
}
