#include "host/frame_channels.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <optional>

#include "host/host_error.h"
#include "host/path_format.h"

namespace lensfall::host {

namespace {

struct Layer {
  int part = 0;
  std::string prefix;  // channel names up to the last dot
  std::string name;    // with the part's name in front, in a multi-part file
  int red = -1, green = -1, blue = -1, alpha = -1;
  bool colour() const { return red >= 0 && green >= 0 && blue >= 0; }
};

std::string lower(std::string text) {
  for (char &c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string lastComponent(const std::string &name) {
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(dot + 1);
}

std::string joined(const std::string &a, const std::string &b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return a + "." + b;
}

std::vector<Layer> layersOf(const ImageFile &file) {
  std::vector<Layer> layers;
  for (size_t p = 0; p < file.parts.size(); ++p) {
    const ImagePart &part = file.parts[p];
    const std::string partName = file.parts.size() > 1 ? part.name() : "";
    for (int c = 0; c < part.spec.nchannels; ++c) {
      const std::string &channel = part.spec.channelnames[size_t(c)];
      const size_t dot = channel.rfind('.');
      const std::string prefix =
          dot == std::string::npos ? "" : channel.substr(0, dot);
      const std::string suffix =
          dot == std::string::npos ? channel : channel.substr(dot + 1);
      auto layer =
          std::find_if(layers.begin(), layers.end(), [&](const Layer &l) {
            return l.part == int(p) && l.prefix == prefix;
          });
      if (layer == layers.end()) {
        layers.push_back({int(p), prefix, joined(partName, prefix)});
        layer = layers.end() - 1;
      }
      if (suffix == "R") layer->red = c;
      if (suffix == "G") layer->green = c;
      if (suffix == "B") layer->blue = c;
      if (suffix == "A") layer->alpha = c;
    }
  }
  std::erase_if(layers, [](const Layer &layer) { return !layer.colour(); });
  return layers;
}

std::string layerList(const std::vector<Layer> &layers) {
  std::string list;
  for (const Layer &layer : layers) {
    if (!list.empty()) list += ", ";
    list += layer.name.empty() ? "(unnamed)" : layer.name;
  }
  return list.empty() ? "none" : list;
}

const Layer &chooseLayer(const ImageFile &file,
                         const std::vector<Layer> &layers,
                         const std::string &requested) {
  std::vector<const Layer *> matches;
  if (!requested.empty()) {
    for (const Layer &layer : layers) {
      if (layer.name == requested) return layer;
    }
    for (const Layer &layer : layers) {
      const std::string tail = "." + requested;
      if (layer.name.size() > tail.size() && layer.name.ends_with(tail)) {
        matches.push_back(&layer);
      }
    }
    if (matches.size() == 1) return *matches.front();
    throw HostError(fmt::format(
        "{}: {} colour layer \"{}\"; the file's colour layers are: {}",
        file.path, matches.empty() ? "no" : "more than one", requested,
        layerList(layers)));
  }
  if (layers.size() == 1) return layers.front();
  for (const Layer &layer : layers) {
    const std::string name = lower(lastComponent(layer.name));
    if (name.empty() || name == "combined" || name == "beauty" ||
        name == "rgba") {
      matches.push_back(&layer);
    }
  }
  if (matches.size() == 1) return *matches.front();
  if (layers.empty()) {
    throw HostError(
        fmt::format("{}: no red, green and blue channels", file.path));
  }
  throw HostError(fmt::format(
      "{}: several colour layers ({}) and none is clearly the beauty; name it "
      "with --channels",
      file.path, layerList(layers)));
}

// An exact channel name, looked for in `preferredPart` first.
std::optional<ChannelRef> channelNamed(const ImageFile &file,
                                       const std::string &name,
                                       int preferredPart) {
  std::vector<int> order;
  if (preferredPart >= 0) order.push_back(preferredPart);
  for (int p = 0; p < int(file.parts.size()); ++p) {
    if (p != preferredPart) order.push_back(p);
  }
  for (const int p : order) {
    const int c = file.parts[size_t(p)].channelIndex(name);
    if (c >= 0) return ChannelRef{p, c};
  }
  return std::nullopt;
}

// How much a channel name looks like depth: 0 best, -1 not at all.
int depthRank(const std::string &channel, const std::string &beautyPrefix) {
  const std::string name = lower(channel);
  if (name.ends_with(".depth.z")) return 0;
  if (!beautyPrefix.empty() && channel == beautyPrefix + ".Z") return 1;
  if (name == "z") return 2;
  if (name.ends_with(".z")) return 3;
  if (name == "depth" || name.ends_with(".depth")) return 4;
  return -1;
}

std::string firstComponent(const std::string &name) {
  return name.substr(0, name.find('.'));
}

ChannelRef findDepth(const ImageFile &file, const std::string &explicitName,
                     const std::string &namesFrom, int beautyPart,
                     const std::string &beautyPrefix) {
  if (!explicitName.empty()) {
    if (auto found = channelNamed(file, explicitName, beautyPart)) {
      return *found;
    }
    throw HostError(fmt::format("{}: no depth channel \"{}\" (named by {})",
                                file.path, explicitName, namesFrom));
  }
  struct Candidate {
    ChannelRef ref;
    std::string name;
    int rank;
    bool samePart, sameViewLayer;
  };
  std::vector<Candidate> candidates;
  for (int p = 0; p < int(file.parts.size()); ++p) {
    const PartSpec &spec = file.parts[size_t(p)].spec;
    for (int c = 0; c < spec.nchannels; ++c) {
      const std::string &name = spec.channelnames[size_t(c)];
      const int rank = depthRank(name, beautyPrefix);
      if (rank < 0) continue;
      candidates.push_back(
          {{p, c},
           name,
           rank,
           p == beautyPart,
           firstComponent(name) == firstComponent(beautyPrefix)});
    }
  }
  if (candidates.empty()) return {};
  const auto better = [](const Candidate &a, const Candidate &b) {
    if (a.rank != b.rank) return a.rank < b.rank;
    if (a.samePart != b.samePart) return a.samePart;
    return a.sameViewLayer && !b.sameViewLayer;
  };
  std::stable_sort(candidates.begin(), candidates.end(), better);
  if (candidates.size() > 1 && !better(candidates[0], candidates[1])) {
    throw HostError(fmt::format(
        "{}: several depth channels ({}, {}); name one with --depth-channel",
        file.path, candidates[0].name, candidates[1].name));
  }
  return candidates.front().ref;
}

}  // namespace

std::vector<std::string> colourLayers(const ImageFile &file) {
  std::vector<std::string> names;
  for (const Layer &layer : layersOf(file)) names.push_back(layer.name);
  return names;
}

FrameChannels findFrameChannels(const ImageFile &file,
                                const ChannelRequest &request) {
  FrameChannels channels;
  const std::vector<Layer> layers = layersOf(file);
  const ChannelNames &names = request.names;
  std::string beautyPrefix;
  const bool named = request.layer.empty() && !names.red.empty() &&
                     !names.green.empty() && !names.blue.empty();
  if (named) {
    std::vector<std::string> missing;
    auto find = [&](const std::string &name, int preferredPart) {
      if (auto found = channelNamed(file, name, preferredPart)) return *found;
      missing.push_back(name);
      return ChannelRef{};
    };
    channels.red = find(names.red, -1);
    channels.green = find(names.green, channels.red.part);
    channels.blue = find(names.blue, channels.red.part);
    if (!names.alpha.empty())
      channels.alpha = find(names.alpha, channels.red.part);
    if (!missing.empty()) {
      std::string list;
      for (const std::string &name : missing) {
        list += (list.empty() ? "" : ", ") + name;
      }
      throw HostError(fmt::format(
          "{}: {} names channels the file does not have ({}); the file's "
          "colour layers are: {}",
          file.path, request.namesFrom, list, layerList(layers)));
    }
    const size_t dot = names.red.rfind('.');
    beautyPrefix = dot == std::string::npos ? "" : names.red.substr(0, dot);
    channels.layer = beautyPrefix;
  } else if (layers.empty() && request.layer.empty() &&
             file.parts.front().spec.nchannels >= 1 &&
             file.parts.front().spec.nchannels <= 2) {
    // A grey image (Y, or Y and A): one channel stands for all three.
    const PartSpec &spec = file.parts.front().spec;
    channels.red = channels.green = channels.blue = ChannelRef{0, 0};
    channels.grey = true;
    if (spec.nchannels == 2) channels.alpha = ChannelRef{0, 1};
  } else {
    const Layer &layer = chooseLayer(file, layers, request.layer);
    channels.layer = layer.name;
    channels.red = {layer.part, layer.red};
    channels.green = {layer.part, layer.green};
    channels.blue = {layer.part, layer.blue};
    if (layer.alpha >= 0) channels.alpha = {layer.part, layer.alpha};
    beautyPrefix = layer.prefix;
  }
  channels.depth = findDepth(file, names.depth, request.namesFrom,
                             channels.red.part, beautyPrefix);
  return channels;
}

ChannelRef findDepthChannel(const ImageFile &file, const std::string &name) {
  const ChannelRef depth = findDepth(file, name, "--depth-channel", 0, "");
  if (depth.found()) return depth;
  const PartSpec &spec = file.parts.front().spec;
  for (int c = 0; c < spec.nchannels; ++c) {
    if (spec.channelnames[size_t(c)] == "Y") return {0, c};
  }
  if (spec.nchannels < 1) {
    throw HostError(
        fmt::format("{}: no channels to read depth from", file.path));
  }
  return {0, 0};
}

}  // namespace lensfall::host
