#include "module/item_callbacks.h"

#include "panel/panel_state.h"
#include "settings/numbering.h"

namespace lensfall {

namespace {

HostItemID usedItemList[2] = {nullptr, nullptr};

}  // namespace

unsigned int filterFlags(const FilterSettings &) {
  return HOST_FILTER_WANTS_DEPTH;
}

const HostItemID *usedItems(const FilterSettings &settings) {
  usedItemList[0] = settings.focusItem;
  usedItemList[1] = nullptr;
  return usedItemList;
}

void changeItemIds(FilterSettings &settings, const HostItemID *pairs) {
  if (pairs == nullptr) return;
  for (const HostItemID *pair = pairs; pair[0] != nullptr; pair += 2) {
    if (pair[0] != settings.focusItem) continue;
    settings.focusItem = pair[1];
    settings.focusItemIndex = objectIndexOf(settings.focusItem);
    refreshSettingsForm();
    return;
  }
}

}  // namespace lensfall
