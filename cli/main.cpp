// lensfall: runs the Lensfall module in the stand-in host.
#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <filesystem>

#include "cli/allocator_tuning.h"
#include "cli/demo.h"
#include "cli/farm/farm_commands.h"
#include "cli/frame_renderer.h"
#include "cli/instance_settings.h"
#include "cli/page/panel_commands.h"
#include "cli/render_command.h"
#include "cli/scene_commands.h"
#include "cli/worker_pool.h"
#include "host/host_error.h"
#include "host/module_file.h"

namespace {

namespace fs = std::filesystem;
using namespace lensfall;

int run(int argc, char **argv) {
  CLI::App app{
      "Lensfall: depth of field for rendered frames.\n"
      "Runs the Lensfall module inside a stand-in host, which loads it the "
      "way a 3D host does."};
  app.require_subcommand(1);
  fs::path modulePath = host::defaultModulePath();
  app.add_option("--module", modulePath, "The module file to load")
      ->capture_default_str();

  // A worker process of `render --jobs` (started by the program itself,
  // with this before the user's own arguments).
  std::string renderWorker;
  app.add_option("--render-worker", renderWorker)->group("");

  int code = 0;

  auto *check = app.add_subcommand(
      "check",
      "Load the module, print its descriptor and servers, and "
      "check that an instance saves and loads");
  check->callback([&] { code = cli::checkModule(modulePath); });

  auto *scene = app.add_subcommand("scene", "Create, show and re-save scenes");
  scene->require_subcommand(1);

  cli::CreateOptions create;
  fs::path sidecar;
  std::string focus;
  auto *createCommand = scene->add_subcommand(
      "create", "Write a scene with one Lensfall filter instance");
  createCommand->add_option("-o,--output", create.output, "Scene file to write")
      ->required();
  createCommand->add_option(
      "--from-frame", sidecar,
      "A rendered frame's JSON sidecar: frame size, camera and objects");
  createCommand->add_option("--focus", focus,
                            "Focus object (default: the sidecar's suggestion)");
  createCommand->add_option("--image", create.images,
                            "Add an image to the scene: NAME=FILE");
  createCommand->add_option(
      "--set", create.settings,
      "KEY=VALUE, repeatable. Keys: " + cli::settingKeysHelp() +
          ". Percent values are in percent, rotation in degrees; animatable "
          "values also take TIME:VALUE,TIME:VALUE keys in seconds");
  createCommand->callback([&] {
    if (!sidecar.empty()) create.sidecar = sidecar;
    if (!focus.empty()) create.focus = focus;
    code = cli::createScene(modulePath, create);
  });

  fs::path scenePath;
  auto *show = scene->add_subcommand(
      "show", "Print a scene and its filter settings in plain words");
  show->add_option("scene", scenePath, "Scene file")->required();
  show->callback([&] { code = cli::showScene(modulePath, scenePath); });

  fs::path output;
  auto *resave = scene->add_subcommand(
      "resave", "Load a scene through the module and save it again");
  resave->add_option("scene", scenePath, "Scene file")->required();
  resave->add_option("-o,--output", output,
                     "Where to write (default: over the scene file)");
  resave->callback([&] {
    code = cli::resaveScene(modulePath, scenePath,
                            output.empty() ? scenePath : output);
  });

  cli::RenderOptions render;
  render.commandLine.assign(argv + 1, argv + argc);
  fs::path renderScene, renderCamera, renderDepth;
  auto *renderCommand = app.add_subcommand(
      "render",
      "Apply depth of field to rendered frames.\n"
      "INPUT is a multilayer EXR with colour, alpha and depth, or any image "
      "with --depth. Every frame's camera comes from its own JSON sidecar "
      "(INPUT with .json, or --camera), from --scene, or from "
      "--focal-length. For a sequence put '#' for the frame number in INPUT "
      "and OUTPUT and give --frames A-B; the frames render in parallel "
      "processes (--jobs), and one that fails does not stop the others. "
      "Ctrl-C stops without writing.");
  renderCommand->add_option("input", render.input, "The frame to filter")
      ->required();
  renderCommand
      ->add_option("-o,--output", render.output,
                   "Output image: .exr keeps every channel, part, pixel type "
                   "and attribute of an EXR input with the beauty replaced; "
                   ".hdr (linear), .png, .tif, .jpg, .ppm (display colour)")
      ->required();
  renderCommand->add_option("--scene", renderScene,
                            "Scene file whose first Lensfall filter to use");
  renderCommand->add_option(
      "--camera,--sidecar", renderCamera,
      "JSON sidecar with the frame's camera and objects (may hold '#')");
  renderCommand->add_option("--focal-length", render.cameraFlags.focalLengthMm,
                            "Camera focal length in mm, without a sidecar");
  renderCommand
      ->add_option("--sensor-width", render.cameraFlags.sensorWidthMm,
                   "Film width in mm, with --focal-length")
      ->capture_default_str();
  renderCommand->add_option("--focus-distance",
                            render.cameraFlags.focusDistance,
                            "Camera focus distance, with --focal-length");
  renderCommand->add_option(
      "--channels", render.channels,
      "The beauty layer of a multilayer file, e.g. ViewLayer.Combined or "
      "Combined (default: the only colour layer, or the one called "
      "Combined, beauty or rgba)");
  renderCommand->add_option(
      "--depth", renderDepth,
      "Separate depth image for a colour-only INPUT (may hold '#')");
  renderCommand->add_option("--depth-channel", render.depthChannel,
                            "Name of the depth channel in the EXR");
  renderCommand->add_option(
      "--depth-measure", render.depthFlags.measure,
      "What the depth measures: distance (from the camera) or planar (along "
      "the view axis; converted). Default: the sidecar's depth.measures, "
      "else distance");
  renderCommand->add_option(
      "--depth-range", render.depthFlags.range,
      "NEAR:FAR in scene units: the depth is a normalised map (0 to 1) "
      "standing for depths NEAR to FAR");
  renderCommand->add_option(
      "--depth-map", render.depthFlags.map,
      "linear (default) or inverse: how the map's values follow depth; an "
      "inverse map follows 1/depth and its FAR may be inf");
  renderCommand->add_option(
      "--depth-near", render.depthFlags.nearEnd,
      "white (default, as depth networks write) or black: the map's near end");
  renderCommand->add_option(
      "--depth-background", render.depthFlags.background,
      "The depth value of pixels with nothing in them (e.g. 1e10, 0, inf), "
      "put very far away; none for no such value. Default: the sidecar's "
      "depth.background_value");
  renderCommand->add_option(
      "--colorspace", render.colorspace,
      "Colour space of PNG, TIFF or JPEG input (default: the file's own, "
      "sRGB for 8-bit files); EXR is scene-linear and never converted");
  renderCommand->add_option(
      "--output-colorspace", render.outputColorspace,
      "Colour space of PNG, TIFF, JPEG or PPM output (default: the input's "
      "own when it was not linear, else sRGB)");
  renderCommand->add_option("--frames", render.frames,
                            "Frame range A-B for a '#' sequence");
  int renderJobs = 0;
  auto *jobsOption = renderCommand->add_option(
      "-j,--jobs", renderJobs,
      fmt::format("Frames of a sequence rendered at the same time, each in "
                  "its own process (default: the number of cores, {}); 1 "
                  "renders them one after another in this process",
                  cli::defaultJobs()));
  renderCommand->add_option(
      "--set", render.settings,
      "KEY=VALUE, repeatable. Keys: " + cli::settingKeysHelp() +
          ". image takes a scene image or a file");
  renderCommand->add_flag(
      "--skip-existing", render.skipExisting,
      "Leave frames whose output file exists as they are, to resume a "
      "stopped shot or split one between runs");
  renderCommand->add_flag("-q,--quiet", render.quiet,
                          "Print nothing on success");
  renderCommand->callback([&] {
    if (!renderScene.empty()) render.scene = renderScene;
    if (!renderCamera.empty()) render.camera = renderCamera;
    if (!renderDepth.empty()) render.depth = renderDepth;
    if (jobsOption->count() > 0) render.jobs = renderJobs;
    if (!renderWorker.empty()) {
      render.worker = cli::parseWorkerChannel(renderWorker);
    }
    code = cli::renderFrames(modulePath, render);
  });

  cli::addPanelCommands(app, modulePath, code);
  cli::addFarmCommands(app, modulePath, code);

  cli::DemoOptions demo;
  auto *demoCommand = app.add_subcommand(
      "demo",
      "Render the built-in procedural scene through the module with default "
      "settings and write a before/after picture");
  demoCommand->add_option("-o,--output", demo.output, "The picture to write")
      ->capture_default_str();
  demoCommand->callback([&] { code = cli::runDemo(modulePath, demo); });

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError &error) {
    return app.exit(error);
  }
  return code;
}

}  // namespace

int main(int argc, char **argv) {
  // Room for a 1920 x 1080 frame from the start, for the commands that
  // filter frames outside the render loop (the demo, the settings page);
  // the render loop makes room for each frame it reads.
  lensfall::cli::reuseFreedBlocks();
  lensfall::cli::growHeapOnHugePages(
      std::size_t(lensfall::cli::frameMemoryBytes(1920, 1080)));
  try {
    return run(argc, argv);
  } catch (const lensfall::cli::RenderStopped &) {
    return 130;
  } catch (const lensfall::host::HostError &error) {
    fmt::print(stderr, "lensfall: {}\n", error.what());
    return 1;
  } catch (const std::exception &error) {
    fmt::print(stderr, "lensfall: unexpected failure: {}\n", error.what());
    return 1;
  }
}
