#include "cli/frame_renderer.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <new>

#include "cli/allocator_tuning.h"
#include "cli/frame_record.h"
#include "cli/instance_settings.h"
#include "cli/interrupts.h"
#include "cli/setting_bounds.h"
#include "host/frame.h"
#include "host/frame_io.h"
#include "host/image_file.h"
#include "host/path_format.h"
#include "host/sidecar.h"

namespace lensfall::cli {

namespace {

using host::HostError;

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
  if (scene.camera) {
    scene.camera->lens = lens;
  } else {
    scene.setCamera(lens, {0.0, 0.0, 0.0});
  }
}

std::string mebibytes(double bytes) {
  return fmt::format("{:.0f} MiB", std::ceil(bytes / (1024.0 * 1024.0)));
}

// What a frame of this file's size needs, from its header alone.
std::string memoryNeed(const std::filesystem::path &image) {
  int width = 0, height = 0;
  if (!host::imageSize(image, width, height)) return "";
  return fmt::format("; this {} x {} frame needs about {}", width, height,
                     mebibytes(frameMemoryBytes(width, height)));
}

}  // namespace

double frameMemoryBytes(int width, int height) {
  // Host: colour, alpha and depth in, colour and alpha out, as floats, and
  // the file's own pixels. Filter: four planes of four floats, depth and
  // sizes, and the fast cores' row buffers.
  const double pixels = double(width) * double(height);
  return pixels * (9 * 4 + 16 + 4 * 16 + 8 + 16);
}

FramePaths framePaths(const RenderOptions &options, int number) {
  FramePaths paths;
  paths.input = framePath(options.input, number);
  if (options.depth) paths.depth = framePath(*options.depth, number);
  if (options.camera) {
    paths.sidecar = framePath(*options.camera, number);
  } else {
    auto guess = paths.input;
    guess.replace_extension(".json");
    std::error_code error;
    if (std::filesystem::exists(guess, error)) paths.sidecar = guess;
  }
  paths.output = framePath(options.output, number);
  return paths;
}

FrameRenderer::FrameRenderer(const std::filesystem::path &modulePath,
                             const RenderOptions &options,
                             const FrameRange &range)
    : options_(options),
      range_(range),
      depth_(parseDepthFlags(options.depthFlags)),
      session_(modulePath) {
  if (options.scene) {
    session_.openScene(*options.scene);
    if (session_.instances().empty()) {
      throw HostError(
          fmt::format("{}: the scene has no Lensfall filter", *options.scene));
    }
    sceneFileFrame_ = session_.scene().frame;
  }
  instance_ =
      options.scene ? session_.instances().front() : session_.filter().create();
  for (const std::string &setting : options.settings) {
    settings_.push_back(resolveImageSetting(setting, session_.scene()));
  }
  settingsPending_ = !options.scene || !settings_.empty();
}

FrameDone FrameRenderer::render(int number, ProgressBar &progress) {
  const FramePaths paths = framePaths(options_, number);
  try {
    return renderFrame(paths, number, progress);
  } catch (const std::bad_alloc &) {
    progress.finish();
    throw FrameError(fmt::format("{}: not enough memory to render it{}",
                                 paths.input, memoryNeed(paths.input)));
  }
}

void FrameRenderer::placeCamera(const FramePaths &paths,
                                const std::optional<host::Sidecar> &sidecar,
                                const host::Frame &frame, int number,
                                FrameDone &done) {
  host::Scene &scene = session_.scene();
  if (sidecar) {
    const host::SidecarApplied applied = host::applySidecar(*sidecar, scene);
    for (const std::string &name : applied.skippedObjects) {
      done.warnings.push_back(fmt::format(
          "{}: object \"{}\" is left out: its name has no form in code page "
          "932, the host's text encoding",
          *paths.sidecar, name));
    }
    if (!sidecar->frame) scene.frame = range_.sequence ? number : 0;
  } else if (options_.scene) {
    scene.frame = range_.sequence ? number : sceneFileFrame_;
  } else if (options_.cameraFlags.focalLengthMm > 0.0) {
    cameraFromFlags(options_.cameraFlags, frame.width, frame.height, scene);
    scene.frame = range_.sequence ? number : 0;
  } else {
    auto expected = paths.input;
    expected.replace_extension(".json");
    throw FrameError(fmt::format(
        "{}: no camera for this frame: give --camera with the frame's JSON "
        "sidecar, --scene, or --focal-length (looked for {})",
        paths.input, expected));
  }
  scene.width = frame.width;
  scene.height = frame.height;
  session_.services().sceneChanged();
}

// The settings go in with the first frame that could be read, once the
// scene has its frame size and objects.
void FrameRenderer::applySettingsOnce() {
  if (!settingsPending_) return;
  nlohmann::json data = session_.filter().save(instance_);
  const SettingBounds bounds = SettingBounds::fromForm(session_);
  for (const std::string &setting : settings_) {
    applySetting(data, setting, session_.scene(), &bounds);
  }
  session_.filter().load(instance_, data);
  settingsPending_ = false;
}

FrameDone FrameRenderer::renderFrame(const FramePaths &paths, int number,
                                     ProgressBar &progress) {
  FrameDone done;
  done.input = paths.input;
  done.output = paths.output;
  if (options_.skipExisting) {
    std::error_code error;
    if (std::filesystem::is_regular_file(paths.output, error)) {
      done.skipped = true;
      return done;
    }
  }
  std::error_code error;
  if (!std::filesystem::exists(paths.input, error)) {
    throw FrameError(fmt::format("{}: no such file", paths.input));
  }

  // Room for the frame, from its header; the reading below refuses what is
  // not a regular file (a pipe's reader would wait here).
  int width = 0, height = 0;
  if (std::filesystem::is_regular_file(paths.input, error) &&
      host::imageSize(paths.input, width, height)) {
    growHeapOnHugePages(std::size_t(frameMemoryBytes(width, height)));
  }

  std::optional<host::Sidecar> sidecar;
  if (paths.sidecar) {
    try {
      sidecar = host::loadSidecar(*paths.sidecar);
    } catch (const HostError &problem) {
      throw FrameError(problem.what());
    }
  }
  host::FrameSource source;
  source.image = paths.input;
  source.depthImage = paths.depth;
  source.layer = options_.channels;
  source.colorspace = options_.colorspace;
  if (sidecar) source.channels = sidecar->channels;
  if (!options_.depthChannel.empty()) {
    source.channels.depth = options_.depthChannel;
  }
  host::FrameFile file;
  try {
    file = host::readFrameFile(source);
  } catch (const HostError &problem) {
    throw FrameError(problem.what());
  }
  host::Frame &frame = file.frame;
  if (sidecar &&
      (sidecar->width != frame.width || sidecar->height != frame.height)) {
    throw FrameError(
        fmt::format("{}: the sidecar's frame is {} x {}, but {} is {} x {}",
                    *paths.sidecar, sidecar->width, sidecar->height,
                    paths.input, frame.width, frame.height));
  }

  placeCamera(paths, sidecar, frame, number, done);
  const host::Scene &scene = session_.scene();
  const host::DepthConvention convention =
      depthConventionFor(depth_, sidecar ? &*sidecar : nullptr);
  if (!scene.camera && convention.measure == host::DepthMeasure::Planar) {
    throw FrameError(fmt::format(
        "{}: planar depth needs the camera's field of view, and the scene "
        "has no camera",
        paths.input));
  }
  const HostCameraLens lens =
      scene.camera ? scene.camera->lens : HostCameraLens{};
  host::depthToDistance(frame, convention, lens.horizontalFov,
                        lens.verticalFov);
  applySettingsOnce();

  const nlohmann::json data = session_.filter().save(instance_);
  const bool usesDepth = data.is_array() && data.size() > 7 && data[7] != 0;
  if (frame.depth.empty() && usesDepth) {
    throw FrameError(fmt::format(
        "{}: the frame has no depth; give --depth FILE, name the channel "
        "with --depth-channel, or --set use-depth=off",
        paths.input));
  }
  const std::string focus = focusObjectOf(data);
  if (sidecar && !focus.empty() &&
      std::none_of(sidecar->objects.begin(), sidecar->objects.end(),
                   [&](const host::SidecarObject &object) {
                     return object.name == focus;
                   })) {
    throw FrameError(fmt::format(
        "{}: the focus object \"{}\" is not among this frame's mesh_objects",
        *paths.sidecar, focus));
  }

  host::ProcessOptions process;
  process.frameNumber = scene.frame;
  process.stopRequested = &stopRequested;
  process.onStep = [&](int steps, unsigned int total) {
    progress(steps, total);
  };
  const auto started = std::chrono::steady_clock::now();
  host::ProcessReport report;
  try {
    report = host::processFrame(session_.filter(), instance_, frame, process);
  } catch (const HostError &problem) {
    progress.finish();
    throw FrameError(fmt::format("{}: {}", paths.input, problem.what()));
  }
  progress.finish();
  done.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started)
          .count();
  if (report.stopped) throw RenderStopped{};
  if (report.rgbWrites == 0) {
    throw FrameError(fmt::format(
        "{}: the filter wrote no pixels, most likely for want of memory (this "
        "{} x {} frame needs about {}); nothing was written to {}",
        paths.input, frame.width, frame.height,
        mebibytes(frameMemoryBytes(frame.width, frame.height)), paths.output));
  }
  host::OutputOptions output;
  output.colorspace = options_.outputColorspace;
  output.attributes = frameRecord({&data, &scene, file.channels.layer,
                                   describeDepthConvention(convention)});
  try {
    host::writeFilteredFrame(file, frame, paths.output, output);
  } catch (const HostError &problem) {
    throw FrameError(problem.what());
  }
  done.width = frame.width;
  done.height = frame.height;
  return done;
}

}  // namespace lensfall::cli
