// Arbitrary bytes as a scene file and as a frame's JSON sidecar, through the
// same parsing the command uses: every input is read or refused with a
// HostError, nothing else.
#include <cstdint>
#include <nlohmann/json.hpp>

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
  try {
    lensfall::host::Scene scene;
    lensfall::host::sceneFromSidecar(document, scene);
  } catch (const lensfall::host::HostError &) {
  }
  return 0;
}
