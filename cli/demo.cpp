#include "cli/demo.h"

#include <fmt/format.h>
#include <unistd.h>

#include <chrono>

#include "cli/demo_scene.h"
#include "cli/instance_settings.h"
#include "host/frame_io.h"
#include "host/host_error.h"
#include "host/path_format.h"
#include "host/session.h"

namespace lensfall::cli {

int runDemo(const std::filesystem::path &modulePath,
            const DemoOptions &options) {
  if (options.width < 16 || options.height < 16 || options.width > 8192 ||
      options.height > 8192) {
    throw host::HostError("--size: width and height must be 16 to 8192");
  }
  host::Session session(modulePath);
  fmt::print("module   {} ({} servers)\n", modulePath,
             session.module().servers().size());
  host::Frame frame =
      makeDemoFrame(session.scene(), options.width, options.height);
  session.services().sceneChanged();

  // Default settings, focused on the ball in the middle of the scene.
  HostInstance instance = session.filter().create();
  nlohmann::json data = session.filter().save(instance);
  applySetting(data, std::string("focus=") + kDemoFocusObject, session.scene());
  session.filter().load(instance, data);
  fmt::print("scene    {} x {}, focus on \"{}\", default settings\n",
             frame.width, frame.height, kDemoFocusObject);

  const auto started = std::chrono::steady_clock::now();
  const host::ProcessReport report =
      host::processFrame(session.filter(), instance, frame);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started)
          .count();
  if (report.rgbWrites == 0) {
    throw host::HostError("the filter wrote no pixels for the demo frame");
  }
  host::writeBeforeAfter(frame, options.output);
  auto scenePath = options.output;
  scenePath.replace_extension(".lfscene.json");
  session.saveScene(scenePath);
  fmt::print("rendered in {:.2f} s\n", seconds);
  fmt::print("wrote    {} (left: as rendered, right: with depth of field)\n",
             options.output);
  fmt::print("wrote    {} (open it with: lensfall scene show {})\n", scenePath,
             scenePath);
  return 0;
}

}  // namespace lensfall::cli
