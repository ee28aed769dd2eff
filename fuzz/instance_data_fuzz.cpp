// Arbitrary bytes as an instance's scene-file data, through the host's load
// state into the module's load callback, then saved and loaded once more.
#include <cstdint>
#include <nlohmann/json.hpp>

#include "host/instance_data.h"
#include "host/services.h"
#include "hostlink/service_table.h"
#include "settings/lifecycle.h"
#include "settings/persistence.h"

namespace {

using namespace lensfall;

host::HostServices &fuzzHost() {
  static host::HostServices *services = [] {
    auto *created = new host::HostServices;
    created->scene().addObject("Floor");
    created->scene().addObject("Cup");
    created->scene().addObject("Cup");
    HostPixmap grey;
    grey.width = grey.height = 2;
    grey.pixelType = HOST_PIXEL_GREY8;
    grey.bytes = {0, 255, 255, 0};
    created->scene().addImage("bokeh", grey);
    acquireServices(created->lookup());
    return created;
  }();
  return *services;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzzHost();
  const nlohmann::json items =
      nlohmann::json::parse(data, data + size, nullptr, false);
  if (items.is_discarded()) return 0;
  const char *error = nullptr;
  FilterSettings *settings = createSettings(&error);
  if (settings == nullptr) __builtin_trap();
  host::DataReader reader(items);
  const char *loadError = loadSettings(*settings, reader.state());
  if (loadError == nullptr && !reader.problem()) {
    // What loaded cleanly saves and loads back to the same data.
    host::DataWriter writer;
    if (saveSettings(*settings, writer.state()) != nullptr) __builtin_trap();
    const nlohmann::json saved = writer.take();
    host::DataReader again(saved);
    if (loadSettings(*settings, again.state()) != nullptr || again.problem() ||
        again.unread() != 0) {
      __builtin_trap();
    }
  }
  destroySettings(settings);
  return 0;
}
