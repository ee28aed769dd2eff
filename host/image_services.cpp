// The image list and the image utility over the scene's images.
#include <cstring>

#include "host/instance_data.h"
#include "host/services.h"
#include "host/text_codec.h"

namespace lensfall::host {

namespace {

HostServices &host() { return HostServices::active(); }

HostImageID firstImage() {
  const auto &images = host().scene().images;
  return images.empty() ? nullptr : images.front().get();
}

HostImageID nextImage(HostImageID image) {
  const auto &images = host().scene().images;
  for (size_t k = 0; k + 1 < images.size(); ++k) {
    if (images[k].get() == image) return images[k + 1].get();
  }
  return nullptr;
}

const char *imageName(HostImageID image) {
  return image != nullptr ? image->name.c_str() : nullptr;
}

// Nothing stored, or a name the scene no longer has, loads as no image.
HostImageID sceneLoad(const HostLoadState *state) {
  DataReader &reader = readerOf(state);
  try {
    const nlohmann::json *reference = reader.takeObject("image", false);
    if (reference == nullptr) return nullptr;
    if (!reference->is_string()) {
      reader.fail("an image reference must be the image's name");
      return nullptr;
    }
    HostImage *image = host().scene().imageNamed(reference->get<std::string>());
    if (image == nullptr) {
      host().message("warning: the scene has no image named " +
                     reference->get<std::string>());
    }
    return image;
  } catch (const std::exception &error) {
    reader.fail(error.what());
    return nullptr;
  }
}

void sceneSave(const HostSaveState *state, HostImageID image) {
  if (image == nullptr) return;
  DataWriter &writer = writerOf(state);
  try {
    writer.writeItem({{"image", cp932ToUtf8(image->name)}});
  } catch (const std::exception &error) {
    writer.fail(error.what());
  }
}

HostPixmapID evaluateImage(HostImageID image, double time) {
  if (image == nullptr) return nullptr;
  return const_cast<HostPixmap *>(
      pixmapAt(*image, time, host().scene().framesPerSecond));
}

void destroyPixmap(HostPixmapID pixmap) { host().destroyResampled(pixmap); }

void getPixel(HostPixmapID pixmap, int x, int y, void *buffer) {
  if (pixmap == nullptr || buffer == nullptr) return;
  std::memset(buffer, 0, 4);
  if (x < 0 || y < 0 || x >= pixmap->width || y >= pixmap->height) return;
  const int channels = pixmap->channels();
  std::memcpy(buffer,
              &pixmap->bytes[(size_t(y) * pixmap->width + x) * channels],
              size_t(channels));
}

int pixmapInfo(HostPixmapID pixmap, int *width, int *height) {
  if (width != nullptr) *width = pixmap != nullptr ? pixmap->width : 0;
  if (height != nullptr) *height = pixmap != nullptr ? pixmap->height : 0;
  return pixmap != nullptr ? pixmap->pixelType : -1;
}

HostPixmapID resample(HostPixmapID pixmap, int width, int height, int) {
  if (pixmap == nullptr || width <= 0 || height <= 0) return nullptr;
  try {
    return host().keepResampled(resamplePixmap(*pixmap, width, height));
  } catch (const std::exception &) {
    return nullptr;
  }
}

}  // namespace

const HostImageList &imageListFuncs() {
  static const HostImageList funcs = {
      firstImage, nextImage, nullptr, imageName,    nullptr,
      nullptr,    nullptr,   nullptr, nullptr,      nullptr,
      nullptr,    nullptr,   nullptr, sceneLoad,    sceneSave,
      nullptr,    nullptr,   nullptr, evaluateImage};
  return funcs;
}

const HostImageUtility &imageUtilityFuncs() {
  static const HostImageUtility funcs = {
      nullptr, destroyPixmap, nullptr, nullptr, getPixel, pixmapInfo, resample};
  return funcs;
}

}  // namespace lensfall::host
