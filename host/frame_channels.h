// Which channels of an image file hold the frame's colour, alpha and depth.
//
// Renderers write many layers into one file: the beauty pass beside AOVs
// such as ambient occlusion or cryptomatte, sometimes several view layers,
// sometimes one part per layer. A layer is the channels that share a name
// up to their last dot ("ViewLayer.Combined.R" is channel R of layer
// "ViewLayer.Combined"); in a file of several parts, the part's name comes
// first. The beauty is chosen by a fixed rule, never by channel order:
//
//  1. a layer the user names (--channels): its full name or its last part;
//  2. channel names the frame's sidecar gives: exactly those channels;
//  3. the only colour layer (one with R, G and B) of the file;
//  4. the only colour layer called Combined, beauty, rgba or left unnamed.
//
// Anything else is a question the user has to answer: the error lists the
// colour layers there are.
#pragma once

#include <string>
#include <vector>

#include "host/image_file.h"

namespace lensfall::host {

// Channel names as a sidecar or the user gives them; empty: not given.
struct ChannelNames {
  std::string red, green, blue, alpha, depth;
};

struct ChannelRequest {
  std::string layer;                      // the beauty layer's name, or empty
  ChannelNames names;                     // exact channel names, or empty
  std::string namesFrom = "the sidecar";  // who gave the names, for messages
};

struct ChannelRef {
  int part = -1;
  int channel = -1;
  bool found() const { return channel >= 0; }
};

struct FrameChannels {
  std::string layer;  // the beauty layer's name, as the messages show it
  ChannelRef red, green, blue;
  ChannelRef alpha;   // not found: the frame is opaque
  ChannelRef depth;   // not found: the file has no depth
  bool grey = false;  // one channel stands for red, green and blue
};

// Throws HostError naming the file and, when the choice is not clear, the
// colour layers the file has.
FrameChannels findFrameChannels(const ImageFile &file,
                                const ChannelRequest &request);

// The depth channel of a separate depth file: the one named, else one that
// is called Z or depth, else the first channel.
ChannelRef findDepthChannel(const ImageFile &file, const std::string &name);

// The colour layers of a file by the names findFrameChannels uses.
std::vector<std::string> colourLayers(const ImageFile &file);

}  // namespace lensfall::host
