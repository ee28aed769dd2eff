#include "cli/scene_commands.h"

#include <fmt/format.h>

#include "cli/instance_settings.h"
#include "cli/setting_bounds.h"
#include "host/host_error.h"
#include "host/path_format.h"
#include "host/session.h"
#include "host/sidecar.h"
#include "host/text_codec.h"

namespace lensfall::cli {

using host::HostError;

int checkModule(const std::filesystem::path &modulePath) {
  host::Session session(modulePath);
  const HostModuleDescriptor &descriptor = session.module().descriptor();
  fmt::print("module      {}\n", modulePath);
  fmt::print("sync word   {:#010x}\n", descriptor.sync);
  fmt::print("system      {}\n", descriptor.systemVersion);
  fmt::print("machine     {:#x}\n", descriptor.machine);
  fmt::print("servers\n");
  for (const host::ServerEntry &server : session.module().servers()) {
    fmt::print("  {:<22} \"{}\"\n", server.className, server.name);
  }
  // A module is good when its filter activates and an instance survives a
  // save and load of its own data.
  HostInstance instance = session.filter().create();
  const nlohmann::json data = session.filter().save(instance);
  session.filter().load(instance, data);
  fmt::print(
      "filter      activated; flags {:#x}; an instance saves {} items "
      "and loads them back\n",
      session.filter().flags(instance), data.size());
  return 0;
}

int createScene(const std::filesystem::path &modulePath,
                const CreateOptions &options) {
  host::Session session(modulePath);
  host::Scene &scene = session.scene();
  std::optional<std::string> focus = options.focus;
  if (options.sidecar) {
    const host::SidecarInfo info = host::readSidecar(*options.sidecar, scene);
    if (!focus && !info.suggestedFocusObject.empty()) {
      focus = info.suggestedFocusObject;
    }
  } else {
    scene.setCamera(HostCameraLens{}, {0.0, -8.0, 1.5});
    scene.addObject("Floor", {0.0, 0.0, 0.0});
    scene.addObject("Subject", {0.0, 0.0, 1.5});
  }
  for (const std::string &image : options.images) {
    const size_t equals = image.find('=');
    if (equals == std::string::npos || equals == 0) {
      throw HostError(fmt::format("--image \"{}\": expected NAME=FILE", image));
    }
    try {
      scene.addImage(image.substr(0, equals),
                     {std::filesystem::path(image.substr(equals + 1))});
    } catch (const HostError &problem) {
      throw HostError(fmt::format("--image \"{}\": {}", image, problem.what()));
    }
  }
  session.services().sceneChanged();

  HostInstance instance = session.filter().create();
  nlohmann::json data = session.filter().save(instance);
  if (focus) applySetting(data, "focus=" + *focus, scene);
  const SettingBounds bounds = SettingBounds::fromForm(session);
  for (const std::string &setting : options.settings) {
    applySetting(data, setting, scene, &bounds);
  }
  session.filter().load(instance, data);
  session.saveScene(options.output);
  fmt::print("wrote {}\n", options.output);
  return 0;
}

int showScene(const std::filesystem::path &modulePath,
              const std::filesystem::path &path) {
  host::Session session(modulePath);
  session.openScene(path);
  const host::Scene &scene = session.scene();
  fmt::print("scene       {}\n", path);
  fmt::print("frame       {} x {} at {:g} fps, frame {}\n", scene.width,
             scene.height, scene.framesPerSecond, scene.frame);
  if (scene.camera) {
    const HostCameraLens &lens = scene.camera->lens;
    fmt::print(
        "camera      {:g} mm, focal distance {:g}, field of view "
        "{:.4f} x {:.4f} rad\n",
        lens.focalLengthMm, lens.focalDistance, lens.horizontalFov,
        lens.verticalFov);
  } else {
    fmt::print("camera      none\n");
  }
  fmt::print("objects     {}\n", scene.objects.size());
  for (const auto &image : scene.images) {
    fmt::print("image       {} ({} frame{})\n", host::cp932ToUtf8(image->name),
               image->frames.size(), image->frames.size() == 1 ? "" : "s");
  }
  int number = 0;
  for (HostInstance instance : session.instances()) {
    fmt::print("filter {}    Lensfall\n", ++number);
    fmt::print("{}", describeInstance(session.filter().save(instance)));
  }
  if (number == 0) fmt::print("filters     none\n");
  return 0;
}

int resaveScene(const std::filesystem::path &modulePath,
                const std::filesystem::path &path,
                const std::filesystem::path &output) {
  host::Session session(modulePath);
  session.openScene(path);
  session.saveScene(output);
  fmt::print("loaded {} and wrote {} through the module\n", path, output);
  return 0;
}

}  // namespace lensfall::cli
