#include "cli/render_command.h"

#include <fmt/format.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>

#include "cli/instance_settings.h"
#include "host/frame.h"
#include "host/frame_io.h"
#include "host/host_error.h"
#include "host/path_format.h"
#include "host/session.h"
#include "host/sidecar.h"

namespace lensfall::cli {

namespace {

using host::HostError;

std::optional<std::filesystem::path> sidecarFor(const RenderOptions &options) {
  if (options.sidecar) return options.sidecar;
  auto guess = options.input;
  guess.replace_extension(".json");
  if (std::filesystem::exists(guess)) return guess;
  return std::nullopt;
}

nlohmann::json readJson(const std::filesystem::path &path) {
  std::ifstream in(path);
  try {
    return nlohmann::json::parse(in);
  } catch (const nlohmann::json::exception &error) {
    throw HostError(fmt::format("{}: not valid JSON: {}", path, error.what()));
  }
}

host::DepthMeasure measureFrom(const std::string &name,
                               const std::string &sidecarMeasure) {
  const std::string &chosen = name.empty() ? sidecarMeasure : name;
  if (chosen.empty() || chosen == "distance")
    return host::DepthMeasure::Distance;
  if (chosen == "planar" || chosen.find("planar") != std::string::npos) {
    return host::DepthMeasure::Planar;
  }
  if (name.empty()) return host::DepthMeasure::Distance;
  throw HostError(fmt::format(
      "--depth-measure: expected planar or distance, not \"{}\"", name));
}

}  // namespace

int renderFrame(const std::filesystem::path &modulePath,
                const RenderOptions &options) {
  host::Session session(modulePath);
  host::Scene &scene = session.scene();
  host::FrameSource source;
  source.image = options.input;
  source.depthImage = options.depth;
  std::string sidecarMeasure;

  const auto sidecar = sidecarFor(options);
  if (options.scene) {
    session.openScene(*options.scene);
    if (session.instances().empty()) {
      throw HostError(
          fmt::format("{}: the scene has no Lensfall filter", *options.scene));
    }
  } else if (sidecar) {
    const host::SidecarInfo info = host::readSidecar(*sidecar, scene);
    sidecarMeasure = info.depthMeasure;
  } else {
    throw HostError(fmt::format(
        "{}: no camera for this frame: give --scene, or --sidecar with the "
        "frame's camera (looked for {})",
        options.input,
        std::filesystem::path(options.input).replace_extension(".json")));
  }
  if (sidecar) {
    const nlohmann::json json = readJson(*sidecar);
    if (json.contains("exr_channels") && json["exr_channels"].is_object()) {
      const auto &channels = json["exr_channels"];
      source.channels.red = channels.value("R", "");
      source.channels.green = channels.value("G", "");
      source.channels.blue = channels.value("B", "");
      source.channels.alpha = channels.value("A", "");
      source.channels.depth = channels.value("Z", "");
    }
    if (options.scene && json.contains("depth") && json["depth"].is_object()) {
      sidecarMeasure = json["depth"].value("measures", "");
    }
  }
  if (!scene.camera) {
    throw HostError("the scene has no render camera");
  }
  source.depthMeasure = measureFrom(options.depthMeasure, sidecarMeasure);
  source.horizontalFov = scene.camera->lens.horizontalFov;
  source.verticalFov = scene.camera->lens.verticalFov;
  if (source.depthImage == std::nullopt &&
      options.input.extension() != ".exr") {
    source.channels.depth.clear();
  }

  host::Frame frame = host::readFrame(source);
  scene.width = frame.width;
  scene.height = frame.height;
  session.services().sceneChanged();

  HostInstance instance =
      options.scene ? session.instances().front() : session.filter().create();
  if (!options.scene || options.focus || !options.settings.empty()) {
    nlohmann::json data = session.filter().save(instance);
    if (options.focus) applySetting(data, "focus=" + *options.focus, scene);
    for (const std::string &setting : options.settings) {
      applySetting(data, setting, scene);
    }
    session.filter().load(instance, data);
  }
  if (frame.depth.empty() && !options.quiet) {
    fmt::print(stderr, "lensfall: {}: no depth; the filter sees none\n",
               options.input);
  }

  host::ProcessOptions process;
  process.frameNumber = scene.frame;
  const bool showProgress = !options.quiet && isatty(STDERR_FILENO);
  int lastPercent = -1;
  process.onStep = [&](int steps, unsigned int total) {
    if (!showProgress) return;
    const int percent =
        total > 0 ? int(std::min(100.0, 100.0 * steps / total)) : 100;
    if (percent != lastPercent) {
      fmt::print(stderr, "\rrendering {:3d} %", percent);
      lastPercent = percent;
    }
  };
  const auto started = std::chrono::steady_clock::now();
  const host::ProcessReport report =
      host::processFrame(session.filter(), instance, frame, process);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started)
          .count();
  if (showProgress) fmt::print(stderr, "\n");
  if (report.rgbWrites == 0) {
    throw HostError(fmt::format(
        "the filter wrote no pixels for {}; nothing was written to {}",
        options.input, options.output));
  }
  host::writeFrameOutput(frame, options.output);
  if (!options.quiet) {
    fmt::print("{} -> {} ({} x {}, {:.2f} s)\n", options.input, options.output,
               frame.width, frame.height, seconds);
  }
  return 0;
}

}  // namespace lensfall::cli
