// Which channels of a file are the beauty and the depth: a fixed rule that
// never takes a pass for the beauty because of its place in the file, and
// asks the user when the file leaves it open.
#include "host/frame_channels.h"

#include <gtest/gtest.h>

#include "host/host_error.h"

namespace lensfall::testing {
namespace {

using namespace lensfall::host;

// A file of parts with channels and no pixels: the rule reads names only.
ImageFile fileOf(const std::vector<std::vector<std::string>> &parts,
                 const std::vector<std::string> &partNames = {}) {
  ImageFile file;
  file.path = "shot.exr";
  for (size_t p = 0; p < parts.size(); ++p) {
    ImagePart part;
    part.spec.width = part.spec.height = 4;
    part.spec.nchannels = int(parts[p].size());
    part.spec.channelnames = parts[p];
    part.spec.channelformats.assign(parts[p].size(), PixelType::Half);
    if (p < partNames.size()) part.spec.name = partNames[p];
    file.parts.push_back(part);
  }
  return file;
}

std::string channelName(const ImageFile &file, ChannelRef ref) {
  if (!ref.found()) return "-";
  return file.parts[size_t(ref.part)].spec.channelnames[size_t(ref.channel)];
}

struct Choice {
  const char *name;
  ImageFile file;
  ChannelRequest request;
  // The channels chosen: red, alpha, depth ("-" for none); or, for an
  // error, the words its message must hold.
  std::vector<std::string> expected;
  bool error = false;
};

std::vector<Choice> choices() {
  const std::vector<std::string> blender = {
      "ViewLayer.AO.B",       "ViewLayer.AO.G",       "ViewLayer.AO.R",
      "ViewLayer.Combined.A", "ViewLayer.Combined.B", "ViewLayer.Combined.G",
      "ViewLayer.Combined.R", "ViewLayer.Depth.Z"};
  std::vector<std::string> twoViewLayers = {
      "Back.Combined.R", "Back.Combined.G", "Back.Combined.B", "Back.Depth.Z",
      "Fore.Combined.R", "Fore.Combined.G", "Fore.Combined.B", "Fore.Depth.Z"};
  ChannelRequest fore;
  fore.layer = "Fore.Combined";
  ChannelRequest combined;
  combined.layer = "Combined";
  ChannelRequest sidecar;
  sidecar.names = {"ViewLayer.Combined.R", "ViewLayer.Combined.G",
                   "ViewLayer.Combined.B", "ViewLayer.Combined.A",
                   "ViewLayer.Depth.Z"};
  ChannelRequest missing = sidecar;
  missing.names.red = "RenderLayer.Combined.R";
  return {
      {"a pass that sorts before the beauty",
       fileOf({blender}),
       {},
       {"ViewLayer.Combined.R", "ViewLayer.Combined.A", "ViewLayer.Depth.Z"}},
      {"the sidecar's names",
       fileOf({blender}),
       sidecar,
       {"ViewLayer.Combined.R", "ViewLayer.Combined.A", "ViewLayer.Depth.Z"}},
      {"names the file lacks",
       fileOf({blender}),
       missing,
       {"RenderLayer.Combined.R", "ViewLayer.AO", "ViewLayer.Combined"},
       true},
      {"two view layers, none named",
       fileOf({twoViewLayers}),
       {},
       {"Back.Combined", "Fore.Combined", "--channels"},
       true},
      {"two view layers, one named",
       fileOf({twoViewLayers}),
       fore,
       {"Fore.Combined.R", "-", "Fore.Depth.Z"}},
      {"a last name that two layers share",
       fileOf({twoViewLayers}),
       combined,
       {"more than one", "Back.Combined"},
       true},
      {"plain RGBA and Z",
       fileOf({{"A", "B", "G", "R", "Z"}}),
       {},
       {"R", "A", "Z"}},
      {"a part per layer",
       fileOf({{"A", "B", "G", "R"}, {"Z"}, {"B", "G", "R"}},
              {"rgba", "depth", "diffuse"}),
       {},
       {"R", "A", "Z"}},
      {"a grey image", fileOf({{"Y"}}), {}, {"Y", "-", "-"}},
      {"no channels at all",
       fileOf({{}}),
       {},
       {"no red, green and blue channels"},
       true},
      {"two depth channels",
       fileOf({{"R", "G", "B", "Z", "other.Z"}}),
       {},
       {"R", "-", "Z"}},
  };
}

TEST(FrameChannels, TheBeautyIsChosenByRuleAndNeverByOrder) {
  for (const Choice &choice : choices()) {
    SCOPED_TRACE(choice.name);
    if (choice.error) {
      try {
        findFrameChannels(choice.file, choice.request);
        ADD_FAILURE() << "no error";
      } catch (const HostError &error) {
        const std::string message = error.what();
        EXPECT_NE(message.find("shot.exr"), std::string::npos) << message;
        for (const std::string &word : choice.expected) {
          EXPECT_NE(message.find(word), std::string::npos) << message;
        }
      }
      continue;
    }
    const FrameChannels channels =
        findFrameChannels(choice.file, choice.request);
    EXPECT_EQ(channelName(choice.file, channels.red), choice.expected[0]);
    EXPECT_EQ(channelName(choice.file, channels.alpha), choice.expected[1]);
    EXPECT_EQ(channelName(choice.file, channels.depth), choice.expected[2]);
  }
}

}  // namespace
}  // namespace lensfall::testing
