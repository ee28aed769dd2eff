// The stand-in host's global services: one record per service name, served
// by the global-lookup function that activations receive. Tests can withhold
// a service or make single operations fail to reach the failure paths.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/envelope.h"
#include "host/scene.h"
#include "hostapi/module.h"
#include "hostapi/services.h"

// A variant parameter: a constant value, or an envelope when it has keys.
struct HostVParm {
  int type = 0;
  std::string channelName;  // code page 932
  HostChanGroup *group = nullptr;
  double value = 0.0;
  lensfall::host::Envelope envelope;
  double valueAt(double time) const;
};

struct HostChanGroup {
  std::string name;
  HostChanGroup *parent = nullptr;
};

namespace lensfall::host {

// Operations that tests can make fail. Counts start at 0 and cover every
// call since the services were made; -1 never fails.
struct HostFaults {
  std::set<std::string> withheld;  // service names the lookup denies
  int failVParmCreateAt = -1;
  int failVParmLoadAt = -1;
  int failVParmSaveAt = -1;
  std::string failureText = "the host refused the parameter";
};

class HostServices {
 public:
  // Only one set of services exists at a time: the module's callbacks find
  // the host through the lookup function, which carries no context.
  HostServices();
  ~HostServices();
  HostServices(const HostServices &) = delete;
  HostServices &operator=(const HostServices &) = delete;

  static HostServices &active();

  HostGlobalFunc *lookup() const { return &globalLookup; }
  void addService(const std::string &name, const void *record);

  Scene &scene() { return scene_; }
  // Call after changing the scene's frame settings or camera.
  void sceneChanged();
  HostFaults &faults() { return faults_; }
  const std::vector<std::string> &messages() const { return messages_; }
  void message(std::string text) { messages_.push_back(std::move(text)); }

  // Variant parameters and channel groups that the module made.
  HostVParm *makeVParm(int type);
  void destroyVParm(HostVParm *parm);
  bool ownsVParm(const HostVParm *parm) const;
  size_t liveVParms() const { return vparms_.size(); }
  HostChanGroup *makeGroup(HostChanGroup *parent, std::string name);
  const std::vector<std::unique_ptr<HostChanGroup>> &groups() const {
    return groups_;
  }

  // Pixmaps made by the image utility's resample, owned by the module until
  // it destroys them.
  HostPixmap *keepResampled(HostPixmap pixmap);
  void destroyResampled(HostPixmap *pixmap);
  size_t liveResampled() const { return resampled_.size(); }

  int vparmCreateCalls = 0;
  int vparmLoadCalls = 0;
  int vparmSaveCalls = 0;
  std::vector<std::string> lookups;  // every name asked for, in order
  HostSceneInfo sceneInfo{};
  HostTimeInfo timeInfo{};

 private:
  static void *globalLookup(const char *name, int useMode);

  Scene scene_;
  HostFaults faults_;
  std::map<std::string, const void *> records_;
  std::map<HostVParm *, std::unique_ptr<HostVParm>> vparms_;
  std::vector<std::unique_ptr<HostChanGroup>> groups_;
  std::map<HostPixmap *, std::unique_ptr<HostPixmap>> resampled_;
  std::vector<std::string> messages_;
};

// The service records, one per family of operations.
const HostVParmFuncs &vparmFuncs();
const HostEnvelopeFuncs &envelopeFuncs();
const HostItemInfo &itemInfoFuncs();
const HostCameraInfo &cameraInfoFuncs();
const HostImageList &imageListFuncs();
const HostImageUtility &imageUtilityFuncs();
const HostMessageFuncs &messageFuncs();

}  // namespace lensfall::host
