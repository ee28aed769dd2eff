// Colour spaces of image files, by the names of the OpenColorIO
// configuration in use ($OCIO, or OpenImageIO's built-in one). The
// configuration lives in the image plug-in (host/image_plugin.h); the empty
// name stands for its scene-linear space without loading it, so that EXR
// files, linear already, never need it.
//
// The filter works on scene-linear light. Display-referred files (8- and
// 16-bit PNG, TIFF, JPEG) are linearised on reading and encoded again on
// writing; floating-point files (EXR, HDR) are linear already and are
// never converted.
#pragma once

#include <string>
#include <vector>

#include "host/image_file.h"

namespace lensfall::host {

// The configuration's scene-linear space.
std::string linearColorspace();

// The colour space a file's values are in: its own label when it has one,
// else scene-linear ("") for floating-point data and sRGB for integers.
std::string colorspaceOf(const PartSpec &spec);

bool isLinearColorspace(const std::string &name);

// Throws HostError naming `what` (an option or file) and the known names
// when the configuration has no colour space called `name`.
void checkColorspace(const std::string &name, const std::string &what);

// Converts premultiplied colour planes from one colour space to another in
// place: the colour is divided by alpha, converted and multiplied again,
// as compositing packages do. Alpha itself is not changed.
void convertColour(std::vector<float> &red, std::vector<float> &green,
                   std::vector<float> &blue, const std::vector<float> &alpha,
                   int width, int height, const std::string &from,
                   const std::string &to);

}  // namespace lensfall::host
