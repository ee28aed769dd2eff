#include "cli/page/settings_panel.h"

#include <fmt/format.h>

#include "host/filter_host.h"
#include "host/host_error.h"
#include "host/image_plugin.h"

namespace lensfall::cli {

SettingsPanel::SettingsPanel(host::Session &session) {
  session.module().activateOrThrow(host::kInterfaceClass, host::kLensfallServer,
                                   HOST_INTERFACE_VERSION,
                                   session.services().lookup(), &record_);
  if (record_.options == nullptr) {
    throw host::HostError("the interface server installed no options callback");
  }
  // The form shows the newest instance whichever one the host passes.
  void *instance =
      session.instances().empty() ? nullptr : session.instances().back();
  if (const char *message = record_.options(instance)) {
    throw host::HostError("the settings window did not open: " +
                          host::moduleText(message));
  }
}

host::FormModel SettingsPanel::form() const {
  HostForm *open = host::PanelHost::active().openForm();
  if (open == nullptr) throw host::HostError("the settings window is closed");
  return host::FormModel(*open);
}

std::vector<std::string> SettingsPanel::banner() const {
  for (HostWindow *window : host::PanelHost::active().openWindows()) {
    for (const auto &control : window->controls) {
      if (control->controlClass == "TextControl") return control->lines;
    }
  }
  return {};
}

std::string encodeImage(const char *format, int width, int height, int channels,
                        const uint8_t *pixels) {
  host::EncodeRequest request;
  request.fileName = fmt::format("memory.{}", format);
  request.width = width;
  request.height = height;
  request.channels = channels;
  request.bytes = pixels;
  // The page shows these images at once and never keeps them: the fastest
  // compression is worth more than the smallest file on loopback.
  request.pngCompression = 1;
  std::string encoded, error;
  if (!host::imagePlugin().encode(request, encoded, error)) {
    throw host::HostError(fmt::format("cannot encode {}: {}", format, error));
  }
  return encoded;
}

std::string encodePng(int width, int height, int channels,
                      const uint8_t *pixels) {
  return encodeImage("png", width, height, channels, pixels);
}

std::string areaPng(const HostDrawArea &area) {
  return encodePng(area.width, area.height, 3, area.rgb.data());
}

}  // namespace lensfall::cli
