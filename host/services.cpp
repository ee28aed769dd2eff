#include "host/services.h"

#include "host/forms/panel_host.h"
#include "host/host_error.h"

namespace lensfall::host {

namespace {

HostServices *activeServices = nullptr;

HostItemID renderCamera(double) {
  return HostServices::active().scene().camera.get();
}

}  // namespace

HostServices::HostServices() {
  if (activeServices != nullptr) {
    throw HostError("the stand-in host already has active services");
  }
  activeServices = this;
  addService(HOST_VPARM_SERVICE, &vparmFuncs());
  addService(HOST_ENVELOPE_SERVICE, &envelopeFuncs());
  addService(HOST_ITEM_INFO_SERVICE, &itemInfoFuncs());
  addService(HOST_IMAGE_LIST_SERVICE, &imageListFuncs());
  addService(HOST_IMAGE_UTILITY_SERVICE, &imageUtilityFuncs());
  addService(HOST_CAMERA_INFO_SERVICE, &cameraInfoFuncs());
  addService(HOST_SCENE_INFO_SERVICE, &sceneInfo);
  addService(HOST_MESSAGE_SERVICE, &messageFuncs());
  addService(HOST_TIME_INFO_SERVICE, &timeInfo);
  installPanelServices(*this);
  sceneChanged();
}

HostServices::~HostServices() { activeServices = nullptr; }

HostServices &HostServices::active() {
  if (activeServices == nullptr) {
    throw HostError("no stand-in host services are active");
  }
  return *activeServices;
}

void HostServices::addService(const std::string &name, const void *record) {
  records_[name] = record;
}

void *HostServices::globalLookup(const char *name, int) {
  if (activeServices == nullptr || name == nullptr) return nullptr;
  HostServices &self = *activeServices;
  self.lookups.emplace_back(name);
  if (self.faults_.withheld.count(name) != 0) return nullptr;
  const auto found = self.records_.find(name);
  return found == self.records_.end() ? nullptr
                                      : const_cast<void *>(found->second);
}

void HostServices::sceneChanged() {
  sceneInfo.name = "Lensfall stand-in scene";
  sceneInfo.filename = "";
  sceneInfo.frameStart = 0;
  sceneInfo.frameEnd = scene_.frame;
  sceneInfo.framesPerSecond = scene_.framesPerSecond;
  sceneInfo.frameWidth = scene_.width;
  sceneInfo.frameHeight = scene_.height;
  sceneInfo.pixelAspect = 1.0;
  sceneInfo.renderCamera = renderCamera;
  timeInfo.frame = scene_.frame;
  timeInfo.time = scene_.framesPerSecond > 0.0
                      ? scene_.frame / scene_.framesPerSecond
                      : 0.0;
}

HostVParm *HostServices::makeVParm(int type) {
  auto parm = std::make_unique<HostVParm>();
  parm->type = type;
  HostVParm *id = parm.get();
  vparms_.emplace(id, std::move(parm));
  return id;
}

void HostServices::destroyVParm(HostVParm *parm) { vparms_.erase(parm); }

bool HostServices::ownsVParm(const HostVParm *parm) const {
  return vparms_.count(const_cast<HostVParm *>(parm)) != 0;
}

HostChanGroup *HostServices::makeGroup(HostChanGroup *parent,
                                       std::string name) {
  groups_.push_back(std::make_unique<HostChanGroup>());
  groups_.back()->parent = parent;
  groups_.back()->name = std::move(name);
  return groups_.back().get();
}

HostPixmap *HostServices::keepResampled(HostPixmap pixmap) {
  auto kept = std::make_unique<HostPixmap>(std::move(pixmap));
  HostPixmap *id = kept.get();
  resampled_.emplace(id, std::move(kept));
  return id;
}

void HostServices::destroyResampled(HostPixmap *pixmap) {
  resampled_.erase(pixmap);
}

namespace {

void showInfo(const char *line1, const char *line2) {
  HostServices::active().message(std::string("info: ") + (line1 ? line1 : "") +
                                 " " + (line2 ? line2 : ""));
}
void showError(const char *line1, const char *line2) {
  HostServices::active().message(std::string("error: ") + (line1 ? line1 : "") +
                                 " " + (line2 ? line2 : ""));
}
void showWarning(const char *line1, const char *line2) {
  HostServices::active().message(std::string("warning: ") +
                                 (line1 ? line1 : "") + " " +
                                 (line2 ? line2 : ""));
}

}  // namespace

const HostMessageFuncs &messageFuncs() {
  static const HostMessageFuncs funcs = {showInfo, showError, showWarning};
  return funcs;
}

}  // namespace lensfall::host
