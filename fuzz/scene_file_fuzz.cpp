// Arbitrary bytes as a scene file, as a frame's JSON sidecar, and as the
// channel names of a rendered file, through the same parsing the command
// uses: every input is read or refused with a HostError, nothing else.
#include <cstdint>
#include <nlohmann/json.hpp>

#include "host/frame_channels.h"
#include "host/host_error.h"
#include "host/scene.h"
#include "host/scene_file.h"
#include "host/sidecar.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const nlohmann::json document =
      nlohmann::json::parse(data, data + size, nullptr, false);
  if (document.is_discarded()) return 0;
  try {
    lensfall::host::Scene scene;
    // Image files are looked up in a folder that does not exist.
    const auto filters =
        lensfall::host::parseScene(document, "/nonexistent/lensfall", scene);
    // What parses writes back out and parses to the same scene.
    const nlohmann::json written =
        lensfall::host::sceneDocument(scene, filters, "/nonexistent/lensfall");
    lensfall::host::Scene again;
    lensfall::host::parseScene(written, "/nonexistent/lensfall", again);
    if (again.objects.size() != scene.objects.size()) __builtin_trap();
  } catch (const lensfall::host::HostError &) {
  }
  lensfall::host::ChannelRequest request;
  try {
    // A sidecar, applied twice as two frames of a shot are.
    const lensfall::host::Sidecar sidecar =
        lensfall::host::parseSidecar(document);
    lensfall::host::Scene scene;
    lensfall::host::applySidecar(sidecar, scene);
    lensfall::host::applySidecar(sidecar, scene);
    request.names = sidecar.channels;
  } catch (const lensfall::host::HostError &) {
  }
  // "channels": the channel names of a file's parts, a "|" between parts;
  // "layer": the beauty layer asked for.
  if (document.is_object() && document.contains("channels") &&
      document["channels"].is_array()) {
    lensfall::host::ImageFile file;
    file.path = "fuzz.exr";
    file.parts.emplace_back();
    for (const nlohmann::json &name : document["channels"]) {
      if (!name.is_string()) continue;
      if (name == "|") {
        file.parts.emplace_back();
        continue;
      }
      file.parts.back().spec.channelnames.push_back(name);
    }
    for (lensfall::host::ImagePart &part : file.parts) {
      part.spec.nchannels = int(part.spec.channelnames.size());
      part.spec.width = part.spec.height = 1;
    }
    if (document.contains("layer") && document["layer"].is_string()) {
      request.layer = document["layer"];
    }
    try {
      const auto channels = lensfall::host::findFrameChannels(file, request);
      for (const auto ref : {channels.red, channels.green, channels.blue}) {
        if (ref.part < 0 || ref.part >= int(file.parts.size()) ||
            ref.channel < 0 ||
            ref.channel >= file.parts[size_t(ref.part)].spec.nchannels) {
          __builtin_trap();
        }
      }
    } catch (const lensfall::host::HostError &) {
    }
  }
  return 0;
}
