// The module-wide table of host services, filled by the filter activation and
// read by every other part of the module.
#pragma once

#include "hostapi/module.h"
#include "hostapi/panel.h"
#include "hostapi/services.h"

namespace lensfall {

struct ServiceTable {
  const HostImageList *imageList;
  const HostImageUtility *imageUtility;
  const HostCameraInfo *cameraInfo;
  const HostSceneInfo *sceneInfo;
  const HostMessageFuncs *messages;
  const HostItemInfo *itemInfo;
  const HostTimeInfo *timeInfo;
  const HostVParmFuncs *vparm;
  const HostEnvelopeFuncs *envelopes;
};

extern ServiceTable services;

// Looks up all nine services in their fixed order, overwriting the table.
// Returns true when every one was found.
bool acquireServices(HostGlobalFunc *global);

}  // namespace lensfall
