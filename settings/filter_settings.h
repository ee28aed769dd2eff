// FilterSettings: the per-instance settings record, its defaults, the fixed
// order of its seven animated parameters and their evaluation at a time.
#pragma once

#include <array>
#include <cstdint>

#include "hostapi/ids.h"

namespace lensfall {

enum ApertureShape : int32_t {
  kShapeCircle = 0,
  kShapePolygon = 1,
  kShapeRing = 2,
  kShapeImage = 3,
};

struct FilterSettings {
  HostVParmID strengthParam;
  HostVParmID noBlurDistanceParam;
  HostVParmID fNumberParam;
  HostVParmID frontMaxParam;
  HostVParmID backMaxParam;
  HostVParmID rotationParam;
  HostVParmID deformParam;
  double strength;
  int32_t useDepth;
  int32_t keepFarSharp;
  double noBlurDistance;
  double fNumber;
  int32_t focusItemIndex;
  HostItemID focusItem;
  int32_t frontBlur;
  double frontMax;
  int32_t backBlur;
  double backMax;
  int32_t apertureShape;
  int32_t kernelIsColor;
  double rotation;
  double deform;
  int32_t vertexCount;
  int32_t apertureImageIndex;
  HostImageID apertureImage;
  // Working values, recomputed every frame before use.
  double focusDistance;
  double pixelsPerFilmUnit;
  double focalLength;
  double apertureRadius;
  double angleScale;
  double filmWidth;
  double filmHeight;
  double toneExponent;
  double toneScale;
  double evalTime;
  HostChanGroupID channelGroup;
};

// One animated setting: its variant parameter, the field that caches its
// value, the host type code it is created with and its channel name.
struct AnimatedSetting {
  HostVParmID FilterSettings::*param;
  double FilterSettings::*value;
  int typeCode;
  const char *channelName;
  double defaultValue;
};

// The fixed order that evaluation, saving, loading, copying and destruction
// all follow.
extern const std::array<AnimatedSetting, 7> kAnimatedSettings;

// Gives every field its default; the parameter handles and the channel
// group are left alone.
void setDefaults(FilterSettings &settings);

// The tone scale for an exponent: 100 x (1/255)^exponent.
double toneScaleFor(double exponent);

// Brings the seven cached values up to date for `time` (seconds). Does not
// touch evalTime.
void evaluate(FilterSettings &settings, double time);

}  // namespace lensfall
