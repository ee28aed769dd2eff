#include "cli/render_command.h"

#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>
#include <thread>

#include "cli/depth_flags.h"
#include "cli/interrupts.h"
#include "cli/progress_bar.h"
#include "cli/worker_pool.h"
#include "host/colour.h"
#include "host/host_error.h"
#include "host/output_format.h"
#include "host/path_format.h"

namespace lensfall::cli {

namespace {

using host::HostError;

// Options that would fail every frame fail before the first.
void checkOptions(const RenderOptions &options) {
  if (options.jobs && *options.jobs < 1) {
    throw HostError(fmt::format(
        "--jobs {}: give the number of frames to render at once, 1 or more",
        *options.jobs));
  }
  host::requireOutputFormat(options.output);
  parseDepthFlags(options.depthFlags);
  if (!options.colorspace.empty()) {
    host::checkColorspace(options.colorspace, "--colorspace");
    std::string extension = options.input.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (extension == ".exr" && !host::isLinearColorspace(options.colorspace)) {
      throw HostError(fmt::format(
          "--colorspace {}: {} is an EXR, whose colour is scene-linear and "
          "is read as it is; --colorspace names the colour space of PNG, "
          "TIFF and JPEG input",
          options.colorspace, options.input));
    }
  }
  if (!options.outputColorspace.empty()) {
    host::checkColorspace(options.outputColorspace, "--output-colorspace");
  }
}

struct FileIdentity {
  dev_t device;
  ino_t inode;
  auto operator<=>(const FileIdentity &) const = default;
};

std::optional<FileIdentity> identityOf(const std::filesystem::path &path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return std::nullopt;
  return FileIdentity{info.st_dev, info.st_ino};
}

// An output that is one of the inputs (compared as files, so links and
// other spellings of the same name count) would destroy the render it was
// made from: refuse the whole command before anything is written.
void refuseOverwritingInputs(const RenderOptions &options,
                             const std::vector<int> &frames) {
  std::map<FileIdentity, std::filesystem::path> inputs;
  auto addInput = [&](const std::filesystem::path &path) {
    if (auto identity = identityOf(path)) inputs.emplace(*identity, path);
  };
  if (options.scene) addInput(*options.scene);
  for (const std::string &setting : options.settings) {
    if (setting.rfind("image=", 0) == 0) addInput(setting.substr(6));
  }
  for (const int number : frames) {
    const FramePaths paths = framePaths(options, number);
    addInput(paths.input);
    if (paths.depth) addInput(*paths.depth);
    if (paths.sidecar) addInput(*paths.sidecar);
  }
  for (const int number : frames) {
    const std::filesystem::path output = framePath(options.output, number);
    const auto identity = identityOf(output);
    if (!identity) continue;
    const auto found = inputs.find(*identity);
    if (found != inputs.end()) {
      throw HostError(fmt::format(
          "{}: the output is the input {}; writing it would destroy the "
          "render; choose another output name",
          output, found->second));
    }
  }
}

// --jobs 1, or a single frame: every frame in this process, in order.
int renderInProcess(const std::filesystem::path &modulePath,
                    const RenderOptions &options, const FrameRange &range,
                    const std::vector<int> &frames) {
  FrameRenderer renderer(modulePath, options, range);
  InterruptGuard interrupts(InterruptGuard::Second::EndsProgram);
  ProgressBar progress(!options.quiet && isatty(STDERR_FILENO));
  std::set<std::string> warned;
  std::vector<int> failed;
  for (const int number : frames) {
    try {
      const FrameDone done = renderer.render(number, progress);
      for (const std::string &warning : done.warnings) {
        if (warned.insert(warning).second) {
          fmt::print(stderr, "lensfall: warning: {}\n", warning);
        }
      }
      if (options.quiet) continue;
      if (done.skipped) {
        fmt::print("{} skipped: {} exists\n", done.input, done.output);
      } else {
        fmt::print("{} -> {} ({} x {}, {:.2f} s)\n", done.input, done.output,
                   done.width, done.height, done.seconds);
      }
    } catch (const FrameError &error) {
      fmt::print(stderr, "lensfall: {}\n", error.what());
      failed.push_back(number);
    } catch (const RenderStopped &) {
      fmt::print(stderr, "lensfall: stopped; {} was not written\n",
                 framePath(options.output, number));
      throw;
    }
  }
  if (failed.empty()) return 0;
  if (range.sequence) {
    fmt::print(stderr,
               "lensfall: {} of {} frames were not written; failed: {}\n",
               failed.size(), frames.size(), frameList(failed));
  }
  return 1;
}

}  // namespace

int defaultJobs() {
  return int(std::max(1u, std::thread::hardware_concurrency()));
}

int renderFrames(const std::filesystem::path &modulePath,
                 const RenderOptions &options) {
  checkOptions(options);
  const FrameRange range =
      parseFrameRange(options.frames, options.input, options.output);
  if (options.worker) return serveFrames(modulePath, options, range);

  std::vector<int> frames;
  for (int number = range.first; number <= range.last; ++number) {
    frames.push_back(number);
  }
  refuseOverwritingInputs(options, frames);
  const int workers =
      std::min(options.jobs.value_or(defaultJobs()), int(frames.size()));
  if (workers <= 1) return renderInProcess(modulePath, options, range, frames);
  return renderInWorkers(options, frames, workers);
}

}  // namespace lensfall::cli
