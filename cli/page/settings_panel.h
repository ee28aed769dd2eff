// The module's settings window opened in the stand-in host, as a user opens
// a filter's options: the interface server is activated, its options
// callback opens the window, and the window's form is what tools edit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/forms/panel_host.h"
#include "host/session.h"

namespace lensfall::cli {

class SettingsPanel {
 public:
  // Throws HostError with the module's message when the window cannot open.
  explicit SettingsPanel(host::Session &session);
  // The open window's form; throws HostError when it has been closed.
  host::FormModel form() const;
  // The banner lines of the open window's text control.
  std::vector<std::string> banner() const;

 private:
  HostInterfaceRecord record_{};
};

// An 8-bit RGB or RGBA image encoded in memory in an image format
// OpenImageIO writes ("png", "bmp").
std::string encodeImage(const char *format, int width, int height, int channels,
                        const uint8_t *pixels);
// The same as PNG.
std::string encodePng(int width, int height, int channels,
                      const uint8_t *pixels);
// The drawn area as PNG.
std::string areaPng(const HostDrawArea &area);

}  // namespace lensfall::cli
