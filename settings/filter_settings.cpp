#include "settings/filter_settings.h"

#include <cmath>

#include "hostapi/services.h"
#include "hostlink/service_table.h"
#include "hostlink/texts.h"

namespace lensfall {

const std::array<AnimatedSetting, 7> kAnimatedSettings = {{
    {&FilterSettings::strengthParam, &FilterSettings::strength,
     HOST_VPARM_NUMBER, texts::kChannelStrength, 0.0},
    {&FilterSettings::backMaxParam, &FilterSettings::backMax,
     HOST_VPARM_PERCENT, texts::kChannelBackMax, 1.0},
    {&FilterSettings::frontMaxParam, &FilterSettings::frontMax,
     HOST_VPARM_PERCENT, texts::kChannelFrontMax, 1.0},
    {&FilterSettings::fNumberParam, &FilterSettings::fNumber, HOST_VPARM_NUMBER,
     texts::kChannelFNumber, 2.4},
    {&FilterSettings::noBlurDistanceParam, &FilterSettings::noBlurDistance,
     HOST_VPARM_DISTANCE, texts::kChannelNoBlurDistance, 100.0},
    {&FilterSettings::rotationParam, &FilterSettings::rotation,
     HOST_VPARM_ANGLE, texts::kChannelRotation, 0.0},
    {&FilterSettings::deformParam, &FilterSettings::deform, HOST_VPARM_PERCENT,
     texts::kChannelDeform, 0.0},
}};

double toneScaleFor(double exponent) {
  return 100.0 * std::pow(1.0 / 255.0, exponent);
}

void setDefaults(FilterSettings &settings) {
  for (const AnimatedSetting &animated : kAnimatedSettings) {
    settings.*animated.value = animated.defaultValue;
  }
  settings.useDepth = 1;
  settings.keepFarSharp = 0;
  settings.focusItemIndex = 0;
  settings.focusItem = nullptr;
  settings.frontBlur = 1;
  settings.backBlur = 1;
  settings.apertureShape = kShapeCircle;
  settings.kernelIsColor = 0;
  settings.vertexCount = 5;
  settings.apertureImageIndex = 0;
  settings.apertureImage = nullptr;
  settings.focusDistance = 0.0;
  settings.pixelsPerFilmUnit = 0.0;
  settings.focalLength = 0.0;
  settings.apertureRadius = 0.0;
  settings.angleScale = 1.0;
  settings.filmWidth = 0.0;
  settings.filmHeight = 0.0;
  settings.toneExponent = 2.5;
  settings.toneScale = toneScaleFor(2.5);
  settings.evalTime = 0.0;
}

void evaluate(FilterSettings &settings, double time) {
  const HostVParmFuncs *vparm = services.vparm;
  if (vparm == nullptr) return;
  for (const AnimatedSetting &animated : kAnimatedSettings) {
    HostVParmID param = settings.*animated.param;
    if (param == nullptr) continue;
    double result[3] = {settings.*animated.value, 0.0, 0.0};
    vparm->getValue(param, time, nullptr, result);
    settings.*animated.value = result[0];
  }
}

}  // namespace lensfall
