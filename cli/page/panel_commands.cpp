#include "cli/page/panel_commands.h"

#include <fmt/format.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/instance_settings.h"
#include "cli/interrupts.h"
#include "cli/page/page_server.h"
#include "cli/page/settings_page.h"
#include "cli/page/settings_panel.h"
#include "cli/setting_bounds.h"
#include "host/atomic_write.h"
#include "host/frame_io.h"
#include "host/host_error.h"
#include "host/path_format.h"
#include "host/session.h"
#include "host/sidecar.h"

namespace lensfall::cli {

namespace {

namespace fs = std::filesystem;
using host::HostError;

struct ApertureOptions {
  fs::path output;
  int size = 256;
  std::vector<std::string> settings;
  fs::path scene;
};

struct PageOptions {
  fs::path scene;
  fs::path input;
  int port = 0;
};

void writeImageFile(const HostDrawArea &area, const fs::path &path) {
  host::writeRgb8File(path, area.width, area.height, area.rgb);
}

int drawAperture(const fs::path &modulePath, const ApertureOptions &options) {
  if (options.size < 1 || options.size > 4096) {
    throw HostError(
        fmt::format("--size: expected 1 to 4096 pixels, not {}", options.size));
  }
  host::Session session(modulePath);
  if (!options.scene.empty()) session.openScene(options.scene);
  // The thumbnail draws the newest instance, while a render uses the scene's
  // first: a fresh instance holding a copy of the first draws exactly the
  // aperture the renderer uses. The session is not saved.
  HostInstance instance = session.filter().create();
  if (session.instances().size() > 1) {
    session.filter().copy(instance, session.instances().front());
  }
  if (!options.settings.empty()) {
    nlohmann::json data = session.filter().save(instance);
    const SettingBounds bounds = SettingBounds::fromForm(session);
    for (const std::string &setting : options.settings) {
      applySetting(data, setting, session.scene(), &bounds);
    }
    session.filter().load(instance, data);
  }
  SettingsPanel panel(session);
  writeImageFile(panel.form().drawThumbnail(options.size), options.output);
  fmt::print("{} ({} x {})\n", options.output, options.size, options.size);
  return 0;
}

std::optional<host::Frame> previewFrame(host::Session &session,
                                        const fs::path &input) {
  if (input.empty()) return std::nullopt;
  host::Scene &scene = session.scene();
  if (!scene.camera) {
    throw HostError(fmt::format(
        "{}: the scene has no render camera, so the frame cannot be "
        "previewed",
        input));
  }
  host::FrameSource source;
  source.image = input;
  fs::path sidecar = input;
  sidecar.replace_extension(".json");
  if (fs::exists(sidecar)) {
    const host::Sidecar frame = host::loadSidecar(sidecar);
    source.channels = frame.channels;
    source.depth.measure =
        frame.depthMeasure.value_or(host::DepthMeasure::Distance);
    source.depth.background = frame.depthBackground;
  }
  source.horizontalFov = scene.camera->lens.horizontalFov;
  source.verticalFov = scene.camera->lens.verticalFov;
  if (input.extension() != ".exr") source.channels.depth.clear();
  return host::readFrame(source);
}

int servePage(const fs::path &modulePath, const PageOptions &options) {
  host::Session session(modulePath);
  session.openScene(options.scene);
  if (session.instances().empty()) session.filter().create();
  std::optional<host::Frame> frame = previewFrame(session, options.input);
  SettingsPage page(session, options.scene, std::move(frame));

  PageServer server(page);
  server.bind(options.port);
  endOnStopSignals();
  fmt::print("Lensfall settings for {}: {}\n", options.scene, server.address());
  fmt::print("Press Ctrl-C to stop.\n");
  std::fflush(stdout);
  server.run();
  return 0;
}

}  // namespace

void addPanelCommands(CLI::App &app, fs::path &modulePath, int &code) {
  auto aperture = std::make_shared<ApertureOptions>();
  auto *apertureCommand = app.add_subcommand(
      "aperture",
      "Draw the aperture the renderer uses, through the settings form's "
      "thumbnail, as an image");
  apertureCommand->add_option("-o,--output", aperture->output, "Image to write")
      ->required();
  apertureCommand->add_option("--size", aperture->size, "Edge in pixels")
      ->capture_default_str();
  apertureCommand->add_option("--set", aperture->settings,
                              "KEY=VALUE, as for scene create");
  apertureCommand->add_option(
      "--scene", aperture->scene,
      "Scene file whose first Lensfall filter to draw (default: a fresh one)");
  apertureCommand->callback([&modulePath, &code, aperture] {
    code = drawAperture(modulePath, *aperture);
  });

  auto page = std::make_shared<PageOptions>();
  auto *pageCommand = app.add_subcommand(
      "panel",
      "Serve the settings form of a scene's Lensfall filter as a page on "
      "127.0.0.1, with the aperture and an optional preview");
  pageCommand->add_option("--scene", page->scene, "Scene file to edit and save")
      ->required();
  pageCommand->add_option("input", page->input,
                          "A rendered frame to preview (as for render)");
  pageCommand->add_option("--port", page->port,
                          "Port on 127.0.0.1 (default: any free port)");
  pageCommand->callback(
      [&modulePath, &code, page] { code = servePage(modulePath, *page); });
}

}  // namespace lensfall::cli
