#include "settings/numbering.h"

#include <cstring>

#include "hostlink/service_table.h"

namespace lensfall {

namespace {

// Walks a host list given its first and next operations.
template <typename Id, typename First, typename Next>
int positionOf(Id wanted, First first, Next next) {
  if (wanted == nullptr) return 0;
  int position = 1;
  for (Id entry = first(); entry != nullptr; entry = next(entry), ++position) {
    if (entry == wanted) return position;
  }
  return 0;
}

template <typename Id, typename First, typename Next>
Id entryAt(int position, First first, Next next) {
  if (position <= 0) return nullptr;
  Id entry = first();
  for (int step = 1; step < position && entry != nullptr; ++step) {
    entry = next(entry);
  }
  return entry;
}

HostItemID firstObject() {
  return services.itemInfo->firstItem(HOST_ITEM_OBJECT, nullptr);
}
HostItemID nextObject(HostItemID item) {
  return services.itemInfo->nextItem(item);
}
HostImageID firstImage() { return services.imageList->first(); }
HostImageID nextImage(HostImageID image) {
  return services.imageList->next(image);
}

}  // namespace

HostItemID objectByName(const char *name) {
  if (name == nullptr || std::strcmp(name, kNoneName) == 0) return nullptr;
  for (HostItemID item = firstObject(); item != nullptr;
       item = nextObject(item)) {
    const char *itemName = services.itemInfo->name(item);
    if (itemName != nullptr && std::strcmp(itemName, name) == 0) return item;
  }
  return nullptr;
}

int objectIndexOf(HostItemID item) {
  return positionOf(item, firstObject, nextObject);
}

HostItemID objectAtIndex(int position) {
  return entryAt<HostItemID>(position, firstObject, nextObject);
}

int imageIndexOf(HostImageID image) {
  return positionOf(image, firstImage, nextImage);
}

HostImageID imageAtIndex(int position) {
  return entryAt<HostImageID>(position, firstImage, nextImage);
}

}  // namespace lensfall
