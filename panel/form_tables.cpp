#include "panel/form_tables.h"

#include "module/texts.h"
#include "panel/form_callbacks.h"
#include "panel/thumbnail.h"

namespace lensfall {

namespace {

namespace t = texts;

// Hint tags. The low byte counts the fixed arguments; with bit 7 set a list
// of control ids ended by 0 follows them.
enum : HostHintWord {
  kHintDestroyNotify = 0x3d001302,
  kHintChangeNotify = 0x3d000f01,
  kHintLabel = 0x3d000b03,
  kHintMin = 0x3d014002,
  kHintMax = 0x3d014202,
  kHintRange = 0x3d014304,
  kHintChoiceNames = 0x3d014503,
  kHintPopupCallbacks = 0x3d016203,
  kHintDrawCallback = 0x3d016502,
  kHintThumbnailConfig = 0x3d017403,
  kHintEnable = 0x3d01f984,
  kHintGroup = 0x3d01fe81,
  kHintLeft = 0x3d021280,
  kHintNarrow = 0x3d021380,
  kHintEnd = 0,
};

template <typename T>
HostHintWord word(T *pointer) {
  return reinterpret_cast<HostHintWord>(pointer);
}

// A callback as a hint word, checked against the type the form calls it with.
template <typename Func>
HostHintWord callbackWord(Func *callback) {
  return word(callback);
}

}  // namespace

const HostFormControl controlTable[] = {
    {kIdFrontBlur, t::kLabelFrontBlur, "iBoolean"},
    {kIdFrontMax, t::kLabelFrontMax, "percent-env"},
    {kIdBackBlur, t::kLabelBackBlur, "iBoolean"},
    {kIdBackMax, t::kLabelBackMax, "percent-env"},
    {kIdStrength, t::kLabelStrength, "float-env"},
    {kIdFocusItem, t::kLabelFocus, "iPopChoice"},
    {kIdFNumber, t::kLabelFNumber, "float-env"},
    {kIdKeepFarSharp, t::kLabelKeepFarSharp, "iBoolean"},
    {kIdNoBlurDistance, t::kLabelNoBlurDistance, "distance-env"},
    {kIdUseDepth, t::kLabelUseDepth, "iBoolean"},
    {kIdThumbnail, t::kLabelThumbnail, "dThumbnail"},
    {kIdShape, t::kLabelShape, "iChoice"},
    {kIdRotation, t::kLabelRotation, "angle-env"},
    {kIdDeform, t::kLabelDeform, "percent-env"},
    {kIdVertexCount, t::kLabelVertexCount, "iSlider"},
    {kIdImage, t::kLabelImage, "iPopChoice"},
    {0, nullptr, nullptr},
};

const HostFormDataDesc dataTable[] = {
    {kIdFrontBlur, t::kLabelFrontBlur, "integer"},
    {kIdFrontMax, t::kLabelFrontMax, "percent-env"},
    {kIdBackBlur, t::kLabelBackBlur, "integer"},
    {kIdBackMax, t::kLabelBackMax, "percent-env"},
    {kIdStrength, t::kLabelStrength, "float-env"},
    {kIdFocusItem, t::kLabelFocus, "integer"},
    {kIdFNumber, t::kLabelFNumber, "float-env"},
    {kIdKeepFarSharp, t::kLabelKeepFarSharp, "integer"},
    {kIdNoBlurDistance, t::kLabelNoBlurDistance, "distance-env"},
    {kIdUseDepth, t::kLabelUseDepth, "integer"},
    {kIdThumbnail, t::kLabelThumbnail, "integer"},
    {kIdShape, t::kLabelShape, "integer"},
    {kIdRotation, t::kLabelRotation, "angle-env"},
    {kIdDeform, t::kLabelDeform, "percent-env"},
    {kIdVertexCount, t::kLabelVertexCount, "integer"},
    {kIdImage, t::kLabelImage, "integer"},
    {0, nullptr, nullptr},
};

const char *const shapeNames[] = {t::kShapeCircle, t::kShapePolygon,
                                  t::kShapeRing, t::kShapeImage, nullptr};

const int vertexCountEnableMap[4] = {0, 1, 0, 0};
const int rotationEnableMap[4] = {0, 1, 0, 0};
const int deformEnableMap[4] = {0, 1, 1, 0};
const int imageEnableMap[4] = {0, 0, 0, 1};

// One hint per line, as the form reads them.
// clang-format off
const HostHintWord hintTable[] = {
    kHintDestroyNotify, callbackWord<HostFormDestroyFunc>(onFormDestroy), 0,
    kHintChangeNotify, callbackWord<HostFormChangeFunc>(onFormChange),
    kHintMin, kIdFrontMax, 0,
    kHintMin, kIdBackMax, 0,
    kHintRange, kIdVertexCount, 3, 6, 1,
    kHintMin, kIdNoBlurDistance, 0,
    kHintMax, kIdNoBlurDistance, 1000,
    kHintMin, kIdStrength, -3,
    kHintMax, kIdStrength, 1,
    kHintMax, kIdStrength, 10,
    kHintMin, kIdFNumber, 0,
    kHintMax, kIdFNumber, 10,
    kHintMax, kIdRotation, 10,
    kHintMax, kIdDeform, 10,
    kHintChoiceNames, kIdShape, word(shapeNames), 0,
    kHintPopupCallbacks, kIdImage, callbackWord<HostPopupCountFunc>(imageCount), callbackWord<HostPopupNameFunc>(imageName),
    kHintPopupCallbacks, kIdFocusItem, callbackWord<HostPopupCountFunc>(focusItemCount),
        callbackWord<HostPopupNameFunc>(focusItemName),
    kHintThumbnailConfig, kIdThumbnail, 0, 0x10001,
    kHintDrawCallback, kIdThumbnail, callbackWord<HostDrawFunc>(drawThumbnail),
    kHintEnable, kIdKeepFarSharp, 0, 0, 0, kIdNoBlurDistance, 0,
    kHintEnable, kIdFrontBlur, 0, 0, 0, kIdFrontMax, 0,
    kHintEnable, kIdBackBlur, 0, 0, 0, kIdBackMax, 0,
    kHintEnable, kIdShape, 0, 0, word(vertexCountEnableMap), kIdVertexCount, 0,
    kHintEnable, kIdShape, 0, 0, word(rotationEnableMap), kIdRotation, 0,
    kHintEnable, kIdShape, 0, 0, word(deformEnableMap), kIdDeform, 0,
    kHintEnable, kIdShape, 0, 0, word(imageEnableMap), kIdImage, 0,
    kHintEnable, kIdUseDepth, 0, 0, 0,
        kIdFNumber, kIdFocusItem, kIdBackBlur, kIdBackMax, kIdKeepFarSharp,
        kIdNoBlurDistance, 0,
    kHintGroup, kIdApertureGroup,
        kIdThumbnail, kIdShape, kIdVertexCount, kIdRotation, kIdDeform,
        kIdImage, 0,
    kHintLeft, kIdThumbnail, 0,
    kHintNarrow, kIdShape, kIdRotation, kIdVertexCount, kIdDeform, kIdImage,
        kIdStrength, 0,
    kHintGroup, kIdLensGroup, kIdStrength, kIdUseDepth, kIdFNumber,
        kIdFocusItem, 0,
    kHintLeft, kIdUseDepth, 0,
    kHintNarrow, kIdFNumber, kIdFocusItem, 0,
    kHintGroup, kIdBlurRangeGroup,
        kIdFrontBlur, kIdFrontMax, kIdBackBlur, kIdBackMax, kIdKeepFarSharp,
        kIdNoBlurDistance, 0,
    kHintLabel, kIdKeepFarSharp, word(t::kLabelBlurRange), 0,
    kHintLabel, kIdNoBlurDistance, word(t::kLabelDistance), 0,
    kHintLabel, kIdFrontMax, word(t::kLabelMaximum), 0,
    kHintLabel, kIdBackMax, word(t::kLabelMaximum), 0,
    kHintLeft, kIdKeepFarSharp, 0,
    kHintLeft, kIdFrontBlur, 0,
    kHintLeft, kIdBackBlur, 0,
    kHintNarrow, kIdNoBlurDistance, 0,
    kHintNarrow, kIdFrontMax, 0,
    kHintNarrow, kIdBackMax, 0,
    kHintEnd,
};
// clang-format on

}  // namespace lensfall
