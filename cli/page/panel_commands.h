// lensfall aperture and lensfall panel: the module's aperture thumbnail as
// an image, and its settings form served as a page in the browser.
#pragma once

#include <CLI/CLI.hpp>
#include <filesystem>

namespace lensfall::cli {

void addPanelCommands(CLI::App &app, std::filesystem::path &modulePath,
                      int &code);

}  // namespace lensfall::cli
