#include "cli/demo.h"

#include <fmt/format.h>

#include <cstdlib>

#include "cli/render_command.h"
#include "cli/scene_commands.h"
#include "host/host_error.h"
#include "host/path_format.h"

namespace lensfall::cli {

std::filesystem::path framesDirectory() {
  if (const char *fromEnvironment = std::getenv("LENSFALL_FRAMES")) {
    if (*fromEnvironment != '\0') return fromEnvironment;
  }
  return LENSFALL_DEFAULT_FRAMES_DIR;
}

int runDemo(const std::filesystem::path &modulePath,
            const DemoOptions &options) {
  const auto sidecar =
      framesDirectory() / "highlights" / "highlights_640x360.json";
  if (!std::filesystem::exists(sidecar)) {
    throw host::HostError(fmt::format(
        "{}: the demo frame is missing (set LENSFALL_FRAMES to the folder of "
        "rendered frames)",
        sidecar));
  }
  std::filesystem::create_directories(options.outputDir);
  fmt::print("== the module\n");
  checkModule(modulePath);

  fmt::print("\n== a scene from {}\n", sidecar);
  CreateOptions create;
  create.output = options.outputDir / "highlights.lfscene.json";
  create.sidecar = sidecar;
  create.settings = {"strength=1", "shape=polygon", "vertices=6",
                     "f-number=0:2.8,2:1.4"};
  createScene(modulePath, create);

  fmt::print("\n== loaded back through the module and saved again\n");
  const auto resaved = options.outputDir / "highlights.resaved.lfscene.json";
  resaveScene(modulePath, create.output, resaved);
  showScene(modulePath, resaved);

  fmt::print("\n== depth of field on the rendered frame, through that scene\n");
  RenderOptions render;
  render.input = framesDirectory() / "highlights" / "highlights_640x360.exr";
  render.output = options.outputDir / "highlights_dof.png";
  render.scene = resaved;
  render.sidecar = sidecar;
  render.settings = {"f-number=0.25"};
  renderFrame(modulePath, render);
  return 0;
}

}  // namespace lensfall::cli
