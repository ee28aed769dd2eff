// Scan-line EXR parts compressed with ZIP (blocks of 16 rows) or ZIPS (one
// row), read and written block by block with the codec of exr_zip.h on
// every core. These are what renderers write; the OpenEXR library reads
// and writes every other kind of part.
#pragma once

#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfInputPart.h>

#include <cstddef>
#include <string>

#include "host/image_file.h"

namespace lensfall::host {

// Whether the part `header` describes is read here: scan lines, ZIP or
// ZIPS, on a machine that stores numbers as the file does (little-endian).
bool readsZipScanlines(const Imf::Header &header);
// Whether a file of that one part is written here: the same, with its rows
// in increasing order.
bool writesZipScanlines(const Imf::Header &header);

// Reads every block of the part into `pixels`, laid out as `spec` says
// (channels interleaved in the order of `spec`, each in its own type). `spec`
// has the header's channels, in any order. Throws std::exception naming the
// block on a damaged file.
void readZipScanlines(Imf::InputPart &reader, const Imf::Header &header,
                      const PartSpec &spec, std::byte *pixels);

// A whole EXR file of one part: `header`, which must pass
// writesZipScanlines and hold the channels of `spec`, and `pixels` laid out as
// in readZipScanlines. The blocks are deflated at the header's ZIP level.
// Throws std::exception when the header cannot be written.
std::string encodeZipScanlineFile(const Imf::Header &header,
                                  const PartSpec &spec,
                                  const std::byte *pixels);

}  // namespace lensfall::host
