// The item-info and camera-info services over the scene's objects and its
// render camera.
#include "host/services.h"

namespace lensfall::host {

namespace {

Scene &scene() { return HostServices::active().scene(); }

HostItemID firstItem(int type, HostItemID) {
  Scene &current = scene();
  if (type == HOST_ITEM_OBJECT) {
    return current.objects.empty() ? nullptr : current.objects.front().get();
  }
  if (type == HOST_ITEM_CAMERA) return current.camera.get();
  return nullptr;
}

HostItemID nextItem(HostItemID item) {
  if (item == nullptr || item->type != HOST_ITEM_OBJECT) return nullptr;
  const auto &objects = scene().objects;
  for (size_t k = 0; k + 1 < objects.size(); ++k) {
    if (objects[k].get() == item) return objects[k + 1].get();
  }
  return nullptr;
}

const char *itemName(HostItemID item) {
  return item != nullptr ? item->name.c_str() : nullptr;
}

void itemParam(HostItemID item, int paramType, double time, double *vector) {
  if (vector == nullptr) return;
  vector[0] = vector[1] = vector[2] = 0.0;
  if (item == nullptr || paramType != HOST_ITEM_PARAM_WORLD_POSITION) return;
  const auto position = item->position.at(time);
  for (int axis = 0; axis < 3; ++axis) vector[axis] = position[axis];
}

double focalLength(HostItemID camera, double) {
  return camera != nullptr ? camera->lens.focalLengthMm : 0.0;
}

double focalDistance(HostItemID camera, double) {
  return camera != nullptr ? camera->lens.focalDistance : 0.0;
}

void fovAngles(HostItemID camera, double, double *horizontal,
               double *vertical) {
  if (horizontal != nullptr) {
    *horizontal = camera != nullptr ? camera->lens.horizontalFov : 0.0;
  }
  if (vertical != nullptr) {
    *vertical = camera != nullptr ? camera->lens.verticalFov : 0.0;
  }
}

}  // namespace

const HostItemInfo &itemInfoFuncs() {
  static const HostItemInfo funcs = {firstItem, nextItem, nullptr, nullptr,
                                     nullptr,   nullptr,  nullptr, nullptr,
                                     itemName,  itemParam};
  return funcs;
}

const HostCameraInfo &cameraInfoFuncs() {
  static const HostCameraInfo funcs = {nullptr, focalLength, focalDistance,
                                       nullptr, nullptr,     fovAngles};
  return funcs;
}

}  // namespace lensfall::host
