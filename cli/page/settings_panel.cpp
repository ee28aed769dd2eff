#include "cli/page/settings_panel.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>
#include <fmt/format.h>

#include "host/filter_host.h"
#include "host/host_error.h"

namespace lensfall::cli {

SettingsPanel::SettingsPanel(host::Session &session) : session_(session) {
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
  std::vector<unsigned char> bytes;
  OIIO::Filesystem::IOVecOutput proxy(bytes);
  auto output = OIIO::ImageOutput::create(format);
  if (!output) throw host::HostError(fmt::format("no {} writer", format));
  output->set_ioproxy(&proxy);
  OIIO::ImageSpec spec(width, height, channels, OIIO::TypeDesc::UINT8);
  // The page shows these images at once and never keeps them: the fastest
  // compression is worth more than the smallest file on loopback.
  spec.attribute("png:compressionLevel", 1);
  if (!output->open(fmt::format("memory.{}", format), spec) ||
      !output->write_image(OIIO::TypeDesc::UINT8, pixels) || !output->close()) {
    throw host::HostError(
        fmt::format("cannot encode {}: {}", format, output->geterror()));
  }
  return std::string(bytes.begin(), bytes.end());
}

std::string encodePng(int width, int height, int channels,
                      const uint8_t *pixels) {
  return encodeImage("png", width, height, channels, pixels);
}

std::string areaPng(const HostDrawArea &area) {
  return encodePng(area.width, area.height, 3, area.rgb.data());
}

}  // namespace lensfall::cli
