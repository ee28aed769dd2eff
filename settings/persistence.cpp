#include "settings/persistence.h"

#include "hostlink/service_table.h"
#include "settings/numbering.h"

namespace lensfall {

namespace {

// The integers stored after the parameter blocks, in their order.
constexpr int32_t FilterSettings::*kStoredIntegers[] = {
    &FilterSettings::useDepth,      &FilterSettings::keepFarSharp,
    &FilterSettings::frontBlur,     &FilterSettings::backBlur,
    &FilterSettings::apertureShape, &FilterSettings::vertexCount,
};

}  // namespace

const char *saveSettings(const FilterSettings &settings,
                         const HostSaveState &state) {
  for (const AnimatedSetting &animated : kAnimatedSettings) {
    const char *error = services.vparm->save(settings.*animated.param, &state);
    if (error != nullptr) return error;
  }
  for (int32_t FilterSettings::*field : kStoredIntegers) {
    state.writeI4(state.writeData, &(settings.*field), 1);
  }
  const char *focusName = nullptr;
  if (settings.focusItem != nullptr) {
    focusName = services.itemInfo->name(settings.focusItem);
  }
  state.writeStr(state.writeData, focusName != nullptr ? focusName : kNoneName);
  if (settings.apertureImage != nullptr) {
    services.imageList->sceneSave(&state, settings.apertureImage);
  }
  return nullptr;
}

const char *loadSettings(FilterSettings &settings, const HostLoadState &state) {
  for (const AnimatedSetting &animated : kAnimatedSettings) {
    const char *error = services.vparm->load(settings.*animated.param, &state);
    if (error != nullptr) return error;
  }
  for (int32_t FilterSettings::*field : kStoredIntegers) {
    state.readI4(state.readData, &(settings.*field), 1);
  }
  // Whatever the reader delivers, the name is a terminated string before
  // it is looked up.
  char focusName[kNameBufferSize] = {};
  state.readStr(state.readData, focusName, kNameBufferSize);
  focusName[kNameBufferSize - 1] = '\0';
  settings.focusItem = objectByName(focusName);
  settings.focusItemIndex = objectIndexOf(settings.focusItem);

  settings.apertureImage = services.imageList->sceneLoad(&state);
  settings.apertureImageIndex = imageIndexOf(settings.apertureImage);

  evaluate(settings, 0.0);
  return nullptr;
}

}  // namespace lensfall
