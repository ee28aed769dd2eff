#include "tests/render/test_lens.h"

#include "host/services.h"
#include "hostlink/service_table.h"
#include "render/camera.h"

namespace lensfall::testing {

FilterSettings lensFromCamera(int width, double maxima,
                              const TestCamera &camera) {
  host::HostServices host;
  host.scene().width = width;
  HostCameraLens lens;
  lens.focalLengthMm = camera.focalLengthMm;
  lens.focalDistance = camera.focusDistance;
  lens.horizontalFov = camera.horizontalFov;
  host.scene().setCamera(lens);
  host.sceneChanged();

  FilterSettings s{};
  setDefaults(s);
  s.fNumber = camera.fNumber;
  s.frontMax = s.backMax = maxima;
  // The host lives only for this call: the module's table is put back.
  const ServiceTable previous = services;
  acquireServices(host.lookup());
  updateCamera(s);
  services = previous;
  return s;
}

}  // namespace lensfall::testing
