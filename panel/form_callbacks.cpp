#include "panel/form_callbacks.h"

#include <cstdint>

#include "hostlink/service_table.h"
#include "panel/form_tables.h"
#include "panel/panel_state.h"
#include "settings/filter_settings.h"
#include "settings/numbering.h"

namespace lensfall {

namespace {

// The refresh code that makes the form read its values again and redraw.
constexpr int kRefreshForm = 2;

// Name of the list entry the popup shows at `index`: "(none)" at 0, else
// the entry reached after at most index - 1 steps, so an index past the end
// names the last entry; null for an empty list.
template <typename Id, typename First, typename Next, typename Name>
const char *popupName(int index, First first, Next next, Name name) {
  if (index == 0) return kNoneName;
  Id entry = first();
  if (entry == nullptr) return nullptr;
  for (int step = 1; step < index; ++step) {
    Id following = next(entry);
    if (following == nullptr) break;
    entry = following;
  }
  return name(entry);
}

template <typename Id, typename First, typename Next>
int popupCount(First first, Next next) {
  int count = 1;
  for (Id entry = first(); entry != nullptr; entry = next(entry)) ++count;
  return count;
}

HostItemID firstObject() {
  return services.itemInfo->firstItem(HOST_ITEM_OBJECT, nullptr);
}
HostItemID nextObject(HostItemID item) {
  return services.itemInfo->nextItem(item);
}
const char *objectName(HostItemID item) {
  return services.itemInfo->name(item);
}
HostImageID firstImage() { return services.imageList->first(); }
HostImageID nextImage(HostImageID image) {
  return services.imageList->next(image);
}
const char *imageNameOf(HostImageID image) {
  return services.imageList->name(image);
}

}  // namespace

void *getSetting(void *record, unsigned long id) noexcept {
  if (record == nullptr) return nullptr;
  auto &settings = *static_cast<FilterSettings *>(record);
  switch (id) {
    case kIdFrontBlur:
      return &settings.frontBlur;
    case kIdFrontMax:
      return settings.frontMaxParam;
    case kIdBackBlur:
      return &settings.backBlur;
    case kIdBackMax:
      return settings.backMaxParam;
    case kIdStrength:
      return settings.strengthParam;
    case kIdFocusItem:
      return &settings.focusItemIndex;
    case kIdFNumber:
      return settings.fNumberParam;
    case kIdUseDepth:
      return &settings.useDepth;
    case kIdKeepFarSharp:
      return &settings.keepFarSharp;
    case kIdNoBlurDistance:
      return settings.noBlurDistanceParam;
    case kIdShape:
      return &settings.apertureShape;
    case kIdRotation:
      return settings.rotationParam;
    case kIdDeform:
      return settings.deformParam;
    case kIdVertexCount:
      return &settings.vertexCount;
    case kIdImage:
      return &settings.apertureImageIndex;
    default:
      return nullptr;
  }
}

int setSetting(void *record, unsigned long id, void *value) noexcept {
  if (record == nullptr) return kRefreshForm;
  auto &settings = *static_cast<FilterSettings *>(record);
  // The animated values live in their variant parameters, which the host
  // edits itself; only the rotation and the deformation are re-read at once,
  // because the thumbnail draws their cached values.
  if (id == kIdRotation || id == kIdDeform) {
    evaluate(settings, 0.0);
    return kRefreshForm;
  }
  if (value == nullptr) return kRefreshForm;
  const int32_t stored = *static_cast<const int32_t *>(value);
  switch (id) {
    case kIdFrontBlur:
      settings.frontBlur = stored;
      break;
    case kIdBackBlur:
      settings.backBlur = stored;
      break;
    case kIdUseDepth:
      settings.useDepth = stored;
      break;
    case kIdKeepFarSharp:
      settings.keepFarSharp = stored;
      break;
    case kIdShape:
      settings.apertureShape = stored;
      break;
    case kIdVertexCount:
      settings.vertexCount = stored;
      break;
    case kIdFocusItem:
      settings.focusItemIndex = stored;
      settings.focusItem = objectAtIndex(stored);
      break;
    case kIdImage:
      settings.apertureImageIndex = stored;
      settings.apertureImage = imageAtIndex(stored);
      break;
    default:
      break;
  }
  return kRefreshForm;
}

int focusItemCount(void *) noexcept {
  if (services.itemInfo == nullptr) return 1;
  return popupCount<HostItemID>(firstObject, nextObject);
}

const char *focusItemName(void *, int index) noexcept {
  if (index == 0) return kNoneName;
  if (services.itemInfo == nullptr) return nullptr;
  return popupName<HostItemID>(index, firstObject, nextObject, objectName);
}

int imageCount(void *) noexcept {
  if (services.imageList == nullptr) return 1;
  return popupCount<HostImageID>(firstImage, nextImage);
}

const char *imageName(void *, int index) noexcept {
  if (index == 0) return kNoneName;
  if (services.imageList == nullptr) return nullptr;
  return popupName<HostImageID>(index, firstImage, nextImage, imageNameOf);
}

void onFormChange(HostFormID form, unsigned long, unsigned long, int) noexcept {
  if (form != nullptr && formService != nullptr) formService->viewRefresh(form);
}

void onFormDestroy(void *) noexcept { settingsForm = nullptr; }

void onWindowClose(HostWindowID, void *) noexcept {
  if (settingsForm != nullptr) {
    HostFormID form = settingsForm;
    // Cleared first: the host may run the destroy notification while it
    // destroys the form.
    settingsForm = nullptr;
    if (formService != nullptr) formService->destroy(form);
  }
  settingsWindow = nullptr;
}

void onWindowKey(HostWindowID, void *, int) noexcept {}

}  // namespace lensfall
