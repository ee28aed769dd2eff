// lensfall: runs the Lensfall module in the stand-in host.
#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <filesystem>

#include "cli/demo.h"
#include "cli/instance_settings.h"
#include "cli/render_command.h"
#if LENSFALL_HAS_PANEL_COMMANDS
#include "cli/panel/panel_commands.h"
#endif
#include "cli/scene_commands.h"
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
  fs::path renderScene, renderSidecar, renderDepth;
  std::string renderFocus;
  auto *renderCommand =
      app.add_subcommand("render", "Apply depth of field to a rendered frame");
  renderCommand
      ->add_option("input", render.input,
                   "The frame: EXR with colour, alpha and depth, or "
                   "any image with --depth")
      ->required();
  renderCommand
      ->add_option("-o,--output", render.output,
                   "Output image (.exr keeps floats; .png is sRGB)")
      ->required();
  renderCommand->add_option("--scene", renderScene,
                            "Scene file whose first Lensfall filter to use");
  renderCommand->add_option(
      "--sidecar", renderSidecar,
      "JSON sidecar with the frame's camera (default: INPUT with .json)");
  renderCommand->add_option("--depth", renderDepth,
                            "Separate depth image (distance or planar depth)");
  renderCommand->add_option(
      "--depth-measure", render.depthMeasure,
      "What the depth holds: distance (from the camera) or planar (along the "
      "view axis; converted). Default: the sidecar's depth.measures, else "
      "distance");
  renderCommand->add_option("--focus", renderFocus, "Focus object");
  renderCommand->add_option("--set", render.settings,
                            "KEY=VALUE, as for scene create");
  renderCommand->add_flag("-q,--quiet", render.quiet,
                          "Print nothing on success");
  renderCommand->callback([&] {
    if (!renderScene.empty()) render.scene = renderScene;
    if (!renderSidecar.empty()) render.sidecar = renderSidecar;
    if (!renderDepth.empty()) render.depth = renderDepth;
    if (!renderFocus.empty()) render.focus = renderFocus;
    code = cli::renderFrame(modulePath, render);
  });

#if LENSFALL_HAS_PANEL_COMMANDS
  cli::addPanelCommands(app, modulePath, code);
#endif

  cli::DemoOptions demo;
  auto *demoCommand = app.add_subcommand(
      "demo",
      "Check the module, make the demo scene from a rendered frame and "
      "apply depth of field to that frame");
  demoCommand
      ->add_option("-o,--output", demo.outputDir, "Folder for the demo's files")
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
  try {
    return run(argc, argv);
  } catch (const lensfall::host::HostError &error) {
    fmt::print(stderr, "lensfall: {}\n", error.what());
    return 1;
  } catch (const std::exception &error) {
    fmt::print(stderr, "lensfall: unexpected failure: {}\n", error.what());
    return 1;
  }
}
