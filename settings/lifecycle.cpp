#include "settings/lifecycle.h"

#include <cstdlib>

#include "hostlink/service_table.h"
#include "hostlink/texts.h"
#include "settings/current_settings.h"

namespace lensfall {

namespace {

inline constexpr char kChannelGroupName[] = "Lensfall";

void destroyParameters(FilterSettings &settings) {
  for (const AnimatedSetting &animated : kAnimatedSettings) {
    HostVParmID &param = settings.*animated.param;
    if (param != nullptr && services.vparm != nullptr) {
      services.vparm->destroy(param);
    }
    param = nullptr;
  }
}

void releaseRecord(FilterSettings *settings) {
  if (currentSettings == settings) currentSettings = nullptr;
  std::free(settings);
}

}  // namespace

FilterSettings *createSettings(const char **error) {
  auto *settings =
      static_cast<FilterSettings *>(std::calloc(1, sizeof(FilterSettings)));
  currentSettings = settings;
  if (settings == nullptr || services.vparm == nullptr ||
      services.envelopes == nullptr) {
    std::free(settings);
    currentSettings = nullptr;
    if (error != nullptr) *error = texts::kMessageNoInstance;
    return nullptr;
  }
  setDefaults(*settings);
  settings->channelGroup =
      services.envelopes->createGroup(nullptr, kChannelGroupName);

  // Every parameter is attempted even after one has failed.
  bool allMade = true;
  for (const AnimatedSetting &animated : kAnimatedSettings) {
    HostVParmID param = services.vparm->create(animated.typeCode, -1);
    if (param != nullptr) {
      services.vparm->setup(param, animated.channelName, settings->channelGroup,
                            nullptr, nullptr, nullptr, nullptr);
      const double value[3] = {settings->*animated.value, 0.0, 0.0};
      services.vparm->setValue(param, value);
    }
    settings->*animated.param = param;
    allMade &= param != nullptr;
  }
  if (!allMade) {
    // The host never sees this record, so release what was made for it.
    destroyParameters(*settings);
    releaseRecord(settings);
    if (error != nullptr) *error = texts::kMessageNoEnvelopes;
    return nullptr;
  }
  return settings;
}

void destroySettings(FilterSettings *settings) {
  if (settings == nullptr) return;
  destroyParameters(*settings);
  releaseRecord(settings);
}

const char *copySettings(FilterSettings &to, const FilterSettings &from) {
  if (&to == &from) return nullptr;
  FilterSettings kept = to;
  to = from;
  for (const AnimatedSetting &animated : kAnimatedSettings) {
    to.*animated.param = kept.*animated.param;
  }
  to.channelGroup = kept.channelGroup;
  for (const AnimatedSetting &animated : kAnimatedSettings) {
    HostVParmID target = to.*animated.param;
    HostVParmID source = from.*animated.param;
    if (target != nullptr && source != nullptr) {
      services.vparm->copy(target, source);
    }
  }
  return nullptr;
}

}  // namespace lensfall
