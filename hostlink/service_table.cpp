#include "hostlink/service_table.h"

namespace lensfall {

ServiceTable services = {};

namespace {

template <typename Record>
bool lookUp(HostGlobalFunc *global, const char *name, const Record *&slot) {
  slot = static_cast<const Record *>(global(name, 0));
  return slot != nullptr;
}

}  // namespace

bool acquireServices(HostGlobalFunc *global) {
  // Every lookup runs, in this order, even after one has failed, so the
  // table always reflects this activation's host.
  bool allFound = true;
  allFound &= lookUp(global, HOST_IMAGE_LIST_SERVICE, services.imageList);
  allFound &= lookUp(global, HOST_IMAGE_UTILITY_SERVICE, services.imageUtility);
  allFound &= lookUp(global, HOST_CAMERA_INFO_SERVICE, services.cameraInfo);
  allFound &= lookUp(global, HOST_SCENE_INFO_SERVICE, services.sceneInfo);
  allFound &= lookUp(global, HOST_MESSAGE_SERVICE, services.messages);
  allFound &= lookUp(global, HOST_ITEM_INFO_SERVICE, services.itemInfo);
  allFound &= lookUp(global, HOST_TIME_INFO_SERVICE, services.timeInfo);
  allFound &= lookUp(global, HOST_VPARM_SERVICE, services.vparm);
  allFound &= lookUp(global, HOST_ENVELOPE_SERVICE, services.envelopes);
  return allFound;
}

}  // namespace lensfall
