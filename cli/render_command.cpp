#include "cli/render_command.h"

#include <fmt/format.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

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

std::atomic<bool> stopRequested{false};

void requestStop(int) { stopRequested = true; }

// Ctrl-C asks the module to stop through its monitor, for as long as a
// render runs; a second Ctrl-C ends the program the usual way.
class InterruptGuard {
 public:
  InterruptGuard() {
    stopRequested = false;
    struct sigaction action {};
    action.sa_handler = requestStop;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous_);
  }
  ~InterruptGuard() { sigaction(SIGINT, &previous_, nullptr); }

 private:
  struct sigaction previous_ {};
};

nlohmann::json readJson(const std::filesystem::path &path) {
  std::ifstream in(path);
  if (!in) throw HostError(fmt::format("{}: cannot open", path));
  try {
    return nlohmann::json::parse(in);
  } catch (const nlohmann::json::exception &error) {
    throw HostError(fmt::format("{}: not valid JSON: {}", path, error.what()));
  }
}

host::DepthMeasure measureFrom(const std::string &flag,
                               const std::string &sidecarMeasure) {
  if (flag == "distance") return host::DepthMeasure::Distance;
  if (flag == "planar") return host::DepthMeasure::Planar;
  if (!flag.empty()) {
    throw HostError(fmt::format(
        "--depth-measure: expected planar or distance, not \"{}\"", flag));
  }
  return sidecarMeasure.find("planar") != std::string::npos
             ? host::DepthMeasure::Planar
             : host::DepthMeasure::Distance;
}

std::pair<int, int> frameRange(const RenderOptions &options) {
  const bool pattern = options.input.string().find('#') != std::string::npos;
  if (options.frames.empty()) {
    if (pattern) {
      throw HostError(
          fmt::format("{}: a '#' pattern needs --frames A-B", options.input));
    }
    return {0, 0};
  }
  int first = 0, last = 0;
  char dash = 0;
  std::istringstream in(options.frames);
  if (!(in >> first) || (in >> dash && (dash != '-' || !(in >> last)))) {
    throw HostError(
        fmt::format("--frames: expected A-B, not \"{}\"", options.frames));
  }
  if (dash == 0) last = first;
  if (last < first) {
    throw HostError(
        fmt::format("--frames {}: the range is empty", options.frames));
  }
  if (!pattern) {
    throw HostError("--frames needs '#' in INPUT and OUTPUT for the number");
  }
  return {first, last};
}

// Settings whose value names a file: an aperture image given by its file is
// added to the scene under the file's name.
std::string resolveImageSetting(const std::string &setting,
                                host::Scene &scene) {
  if (setting.rfind("image=", 0) != 0) return setting;
  const std::string value = setting.substr(6);
  if (value.empty() || value == "(none)" ||
      scene.imageNamed(value) != nullptr) {
    return setting;
  }
  const std::filesystem::path file(value);
  if (!std::filesystem::exists(file)) {
    throw HostError(fmt::format(
        "image: \"{}\" is neither an image of the scene nor a file", value));
  }
  const std::string name = file.stem().string();
  if (scene.imageNamed(name) == nullptr) scene.addImage(name, {file});
  return "image=" + name;
}

void cameraFromFlags(const CameraFlags &flags, int width, int height,
                     host::Scene &scene) {
  HostCameraLens lens;
  lens.focalLengthMm = flags.focalLengthMm;
  lens.horizontalFov =
      2.0 * std::atan(flags.sensorWidthMm / 2.0 / flags.focalLengthMm);
  lens.verticalFov =
      2.0 * std::atan(std::tan(lens.horizontalFov / 2.0) * height / width);
  lens.focalDistance = flags.focusDistance;
  scene.setCamera(lens, {0.0, 0.0, 0.0});
}

class ProgressBar {
 public:
  explicit ProgressBar(bool shown) : shown_(shown) {}
  void operator()(int steps, unsigned int total) {
    if (!shown_) return;
    const double fraction =
        total > 0 ? std::min(1.0, double(steps) / total) : 1.0;
    const int filled = int(fraction * 40);
    if (filled == last_) return;
    last_ = filled;
    fmt::print(stderr, "\r[{:<40}] {:3d} %", std::string(size_t(filled), '#'),
               int(fraction * 100));
  }
  void finish() {
    if (shown_ && last_ >= 0) fmt::print(stderr, "\n");
    last_ = -1;
  }

 private:
  bool shown_;
  int last_ = -1;
};

}  // namespace

std::filesystem::path framePath(const std::filesystem::path &pattern,
                                int frame) {
  std::string text = pattern.string();
  const size_t first = text.find('#');
  if (first == std::string::npos) return pattern;
  const size_t last = text.find_first_not_of('#', first);
  const size_t width = (last == std::string::npos ? text.size() : last) - first;
  text.replace(first, width, fmt::format("{:0{}d}", frame, width));
  return text;
}

int renderFrames(const std::filesystem::path &modulePath,
                 const RenderOptions &options) {
  const auto [firstFrame, lastFrame] = frameRange(options);
  const bool sequence = options.input.string().find('#') != std::string::npos;
  if (sequence && options.output.string().find('#') == std::string::npos) {
    throw HostError(
        fmt::format("{}: a sequence needs '#' in OUTPUT for the frame number",
                    options.output));
  }
  const std::filesystem::path firstInput = framePath(options.input, firstFrame);

  host::Session session(modulePath);
  host::Scene &scene = session.scene();
  std::optional<std::filesystem::path> sidecar = options.camera;
  if (!sidecar) {
    auto guess = firstInput;
    guess.replace_extension(".json");
    if (std::filesystem::exists(guess)) sidecar = guess;
  }
  std::string sidecarMeasure;
  host::ChannelNames channels;
  if (sidecar) {
    const nlohmann::json json = readJson(*sidecar);
    if (json.contains("exr_channels") && json["exr_channels"].is_object()) {
      const auto &names = json["exr_channels"];
      channels = {names.value("R", ""), names.value("G", ""),
                  names.value("B", ""), names.value("A", ""),
                  names.value("Z", "")};
    }
    if (json.contains("depth") && json["depth"].is_object()) {
      sidecarMeasure = json["depth"].value("measures", "");
    }
  }
  if (!options.depthChannel.empty()) channels.depth = options.depthChannel;
  if (options.depth) channels.depth.clear();

  if (options.scene) {
    session.openScene(*options.scene);
    if (session.instances().empty()) {
      throw HostError(
          fmt::format("{}: the scene has no Lensfall filter", *options.scene));
    }
  } else if (sidecar) {
    try {
      host::sceneFromSidecar(readJson(*sidecar), scene);
    } catch (const HostError &error) {
      throw HostError(fmt::format("{}: {}", *sidecar, error.what()));
    }
  } else if (options.cameraFlags.focalLengthMm <= 0.0) {
    throw HostError(fmt::format(
        "{}: no camera for this frame: give --camera with the frame's JSON "
        "sidecar, --scene, or --focal-length (looked for {})",
        firstInput,
        std::filesystem::path(firstInput).replace_extension(".json")));
  }

  HostInstance instance =
      options.scene ? session.instances().front() : session.filter().create();
  std::vector<std::string> settings;
  for (const std::string &setting : options.settings) {
    settings.push_back(resolveImageSetting(setting, scene));
  }
  const bool edited = !options.scene || !settings.empty();

  InterruptGuard interrupts;
  ProgressBar progress(!options.quiet && isatty(STDERR_FILENO));
  for (int number = firstFrame; number <= lastFrame; ++number) {
    host::FrameSource source;
    source.image = framePath(options.input, number);
    source.depthImage = options.depth;
    if (options.depth) source.depthImage = framePath(*options.depth, number);
    source.channels = channels;
    if (source.image.extension() != ".exr" && !options.depth) {
      source.channels.depth.clear();
    }
    host::Frame frame = host::readFrame(source);
    if (!scene.camera) {
      cameraFromFlags(options.cameraFlags, frame.width, frame.height, scene);
    }
    source.depthMeasure = measureFrom(options.depthMeasure, sidecarMeasure);
    if (!frame.depth.empty() &&
        source.depthMeasure == host::DepthMeasure::Planar) {
      host::planarToDistance(frame, scene.camera->lens.horizontalFov,
                             scene.camera->lens.verticalFov);
    }
    scene.width = frame.width;
    scene.height = frame.height;
    if (sequence) scene.frame = number;
    session.services().sceneChanged();
    if (edited && number == firstFrame) {
      nlohmann::json data = session.filter().save(instance);
      for (const std::string &setting : settings) {
        applySetting(data, setting, scene);
      }
      session.filter().load(instance, data);
    }
    const bool usesDepth = session.filter().save(instance)[7] != 0;
    if (frame.depth.empty() && usesDepth) {
      throw HostError(fmt::format(
          "{}: the frame has no depth; give --depth FILE, name the channel "
          "with --depth-channel, or --set use-depth=off",
          source.image));
    }

    host::ProcessOptions process;
    process.frameNumber = scene.frame;
    process.stopRequested = &stopRequested;
    process.onStep = [&](int steps, unsigned int total) {
      progress(steps, total);
    };
    const auto started = std::chrono::steady_clock::now();
    const host::ProcessReport report =
        host::processFrame(session.filter(), instance, frame, process);
    progress.finish();
    const double seconds = std::chrono::duration<double>(
                               std::chrono::steady_clock::now() - started)
                               .count();
    const std::filesystem::path output = framePath(options.output, number);
    if (report.stopped) {
      fmt::print(stderr, "lensfall: stopped; {} was not written\n", output);
      throw RenderStopped{};
    }
    if (report.rgbWrites == 0) {
      throw HostError(fmt::format(
          "the filter wrote no pixels for {}; nothing was written to {}",
          source.image, output));
    }
    host::writeFrameOutput(frame, output);
    if (!options.quiet) {
      fmt::print("{} -> {} ({} x {}, {:.2f} s)\n", source.image, output,
                 frame.width, frame.height, seconds);
    }
  }
  return 0;
}

}  // namespace lensfall::cli
