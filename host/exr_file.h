// EXR files read and written with the OpenEXR library. Scan-line parts
// compressed with ZIP or ZIPS have their blocks packed and unpacked by
// host/exr_scanlines.h on every core; the library's thread pool does the
// blocks of every other part.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "host/image_file.h"

namespace lensfall::host {

// Every part of an EXR file, with each part's header kept whole in
// spec.original. Throws HostError naming the file.
ImageFile readExrFile(const std::filesystem::path &path);

// The parts encoded as an EXR file. A part read from an EXR file keeps its
// own header, with spec.attributes and the date added; other parts get a
// new header with zip compression. Throws HostError naming `path`.
std::string encodeExr(const std::vector<ImagePart> &parts,
                      const std::filesystem::path &path);

// The data window's size from the header alone; false if not an EXR file.
bool exrSize(const std::filesystem::path &path, int &width, int &height);

}  // namespace lensfall::host
