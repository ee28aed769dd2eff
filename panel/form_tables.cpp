#include "panel/form_tables.h"

#include "hostlink/texts.h"
#include "panel/form_callbacks.h"
#include "panel/thumbnail.h"

namespace lensfall {

namespace {

namespace t = texts;

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

const char *const shapeNames[] = {t::kShapeNameCircle, t::kShapeNamePolygon,
                                  t::kShapeNameRing, t::kShapeNameImage,
                                  nullptr};

const int vertexCountEnableMap[4] = {0, 1, 0, 0};
const int rotationEnableMap[4] = {0, 1, 0, 0};
const int deformEnableMap[4] = {0, 1, 1, 0};
const int imageEnableMap[4] = {0, 0, 0, 1};

// One hint per line, as the form reads them.
// clang-format off
const HostHintWord hintTable[] = {
    HOST_HINT_DESTROY_NOTIFY, callbackWord<HostFormDestroyFunc>(onFormDestroy), 0,
    HOST_HINT_CHANGE_NOTIFY, callbackWord<HostFormChangeFunc>(onFormChange),
    HOST_HINT_MIN, kIdFrontMax, 0,
    HOST_HINT_MIN, kIdBackMax, 0,
    HOST_HINT_RANGE, kIdVertexCount, 3, 6, 1,
    HOST_HINT_MIN, kIdNoBlurDistance, 0,
    HOST_HINT_MAX, kIdNoBlurDistance, 1000,
    HOST_HINT_MIN, kIdStrength, -3,
    HOST_HINT_MAX, kIdStrength, 1,
    HOST_HINT_MAX, kIdStrength, 10,
    HOST_HINT_MIN, kIdFNumber, 0,
    HOST_HINT_MAX, kIdFNumber, 10,
    HOST_HINT_MAX, kIdRotation, 10,
    HOST_HINT_MAX, kIdDeform, 10,
    HOST_HINT_CHOICE_NAMES, kIdShape, word(shapeNames), 0,
    HOST_HINT_POPUP_CALLBACKS, kIdImage, callbackWord<HostPopupCountFunc>(imageCount), callbackWord<HostPopupNameFunc>(imageName),
    HOST_HINT_POPUP_CALLBACKS, kIdFocusItem, callbackWord<HostPopupCountFunc>(focusItemCount),
        callbackWord<HostPopupNameFunc>(focusItemName),
    HOST_HINT_THUMBNAIL_CONFIG, kIdThumbnail, 0, 0x10001,
    HOST_HINT_DRAW_CALLBACK, kIdThumbnail, callbackWord<HostDrawFunc>(drawThumbnail),
    HOST_HINT_ENABLE, kIdKeepFarSharp, 0, 0, 0, kIdNoBlurDistance, 0,
    HOST_HINT_ENABLE, kIdFrontBlur, 0, 0, 0, kIdFrontMax, 0,
    HOST_HINT_ENABLE, kIdBackBlur, 0, 0, 0, kIdBackMax, 0,
    HOST_HINT_ENABLE, kIdShape, 0, 0, word(vertexCountEnableMap), kIdVertexCount, 0,
    HOST_HINT_ENABLE, kIdShape, 0, 0, word(rotationEnableMap), kIdRotation, 0,
    HOST_HINT_ENABLE, kIdShape, 0, 0, word(deformEnableMap), kIdDeform, 0,
    HOST_HINT_ENABLE, kIdShape, 0, 0, word(imageEnableMap), kIdImage, 0,
    HOST_HINT_ENABLE, kIdUseDepth, 0, 0, 0,
        kIdFNumber, kIdFocusItem, kIdBackBlur, kIdBackMax, kIdKeepFarSharp,
        kIdNoBlurDistance, 0,
    HOST_HINT_GROUP, kIdApertureGroup,
        kIdThumbnail, kIdShape, kIdVertexCount, kIdRotation, kIdDeform,
        kIdImage, 0,
    HOST_HINT_LEFT, kIdThumbnail, 0,
    HOST_HINT_NARROW, kIdShape, kIdRotation, kIdVertexCount, kIdDeform, kIdImage,
        kIdStrength, 0,
    HOST_HINT_GROUP, kIdLensGroup, kIdStrength, kIdUseDepth, kIdFNumber,
        kIdFocusItem, 0,
    HOST_HINT_LEFT, kIdUseDepth, 0,
    HOST_HINT_NARROW, kIdFNumber, kIdFocusItem, 0,
    HOST_HINT_GROUP, kIdBlurRangeGroup,
        kIdFrontBlur, kIdFrontMax, kIdBackBlur, kIdBackMax, kIdKeepFarSharp,
        kIdNoBlurDistance, 0,
    HOST_HINT_LABEL, kIdKeepFarSharp, word(t::kLabelBlurRange), 0,
    HOST_HINT_LABEL, kIdNoBlurDistance, word(t::kLabelDistance), 0,
    HOST_HINT_LABEL, kIdFrontMax, word(t::kLabelMaximum), 0,
    HOST_HINT_LABEL, kIdBackMax, word(t::kLabelMaximum), 0,
    HOST_HINT_LEFT, kIdKeepFarSharp, 0,
    HOST_HINT_LEFT, kIdFrontBlur, 0,
    HOST_HINT_LEFT, kIdBackBlur, 0,
    HOST_HINT_NARROW, kIdNoBlurDistance, 0,
    HOST_HINT_NARROW, kIdFrontMax, 0,
    HOST_HINT_NARROW, kIdBackMax, 0,
    HOST_HINT_END,
};
// clang-format on

}  // namespace lensfall
