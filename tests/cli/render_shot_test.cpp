// `lensfall render` on shots as renderers write them: every frame of a
// sequence with its own camera, multilayer EXRs that come out with every
// other channel and attribute as they went in, depth in every convention
// renderers and depth tools use, and resuming a stopped shot.
#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "cli/cli_run.h"

namespace lensfall::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const fs::path kFrame =
    fs::path(LENSFALL_FRAMES_DIR) / "occlusion" / "occlusion_640x360";

json readJson(const fs::path &path) { return json::parse(readText(path)); }

void writeJson(const fs::path &path, const json &value) {
  std::ofstream(path) << value.dump(1);
}

std::string numbered(const std::string &stem, int n, const char *ext) {
  char number[16];
  std::snprintf(number, sizeof number, "%04d", n);
  return stem + "." + number + ext;
}

// Every pixel of every channel of every part, as floats.
std::vector<std::vector<float>> allPixels(const fs::path &path) {
  auto input = OIIO::ImageInput::open(path.string());
  EXPECT_TRUE(input) << path;
  std::vector<std::vector<float>> parts;
  for (int s = 0; input && input->seek_subimage(s, 0); ++s) {
    const OIIO::ImageSpec &spec = input->spec();
    std::vector<float> pixels(spec.image_pixels() * size_t(spec.nchannels));
    input->read_image(s, 0, 0, spec.nchannels, OIIO::TypeFloat, pixels.data());
    parts.push_back(std::move(pixels));
  }
  return parts;
}

// ---------------------------------------------------------------------------
// A sequence renders each frame with its own sidecar: a rack focus (the
// camera's focus distance changes) and a focus object that moves give, frame
// by frame, the very files that rendering each frame alone gives.

struct RackFocusCase {
  const char *name;
  std::vector<std::string> settings;
};

class RackFocus : public ::testing::TestWithParam<RackFocusCase> {};

TEST_P(RackFocus, EveryFrameOfASequenceIsTheFrameRenderedAlone) {
  const TempDir dir(std::string("rack_") + GetParam().name);
  const json base = readJson(kFrame.string() + ".json");
  const double focus[] = {1.2, 3.5, 7.4};  // fence, between, wall
  for (int n = 1; n <= 3; ++n) {
    fs::create_symlink(kFrame.string() + ".exr",
                       dir / numbered("in", n, ".exr"));
    json sidecar = base;
    sidecar["frame"] = n;
    sidecar["camera"]["focus_distance"] = focus[n - 1];
    // A marker that travels from the fence to the wall along the view axis.
    const auto &camera = base["camera"]["world_position"];
    const auto &view = base["camera"]["view_direction"];
    json position = json::array();
    for (int k = 0; k < 3; ++k) {
      position.push_back(camera[k].get<double>() +
                         view[k].get<double>() * focus[n - 1]);
    }
    sidecar["mesh_objects"].push_back(
        {{"name", "Mover"}, {"world_position", position}});
    writeJson(dir / numbered("in", n, ".json"), sidecar);
  }
  auto render = [&](const std::vector<std::string> &arguments) {
    std::vector<std::string> all = arguments;
    for (const std::string &setting : GetParam().settings) {
      all.push_back("--set");
      all.push_back(setting);
    }
    const CliRun run = lensfall(dir.path(), all);
    EXPECT_EQ(run.status, 0) << run.err;
  };
  render({"render", "in.####.exr", "-o", "one.####.exr", "--frames", "1-3",
          "--jobs", "1", "-q"});
  render({"render", "in.####.exr", "-o", "two.####.exr", "--frames", "1-3",
          "--jobs", "2", "-q"});
  for (int n = 1; n <= 3; ++n) {
    const std::string alone = numbered("alone", n, ".exr");
    render({"render", numbered("in", n, ".exr"), "-o", alone, "-q"});
    const std::string bytes = readText(dir / alone);
    EXPECT_EQ(readText(dir / numbered("one", n, ".exr")), bytes) << n;
    EXPECT_EQ(readText(dir / numbered("two", n, ".exr")), bytes) << n;
  }
  EXPECT_NE(allPixels(dir / "one.0001.exr"), allPixels(dir / "one.0003.exr"))
      << "the focus moved from the fence to the wall";
}

INSTANTIATE_TEST_SUITE_P(
    Sidecars, RackFocus,
    ::testing::Values(RackFocusCase{"camera", {"f-number=1.4"}},
                      RackFocusCase{"object", {"focus=Mover"}}),
    [](const auto &info) { return std::string(info.param.name); });

// Without sidecars, a scene file is evaluated at each frame's time: a
// focus object with keys moves from frame to frame, and frame n of the
// sequence is the frame rendered alone with the scene saved at frame n.
TEST(SceneSequence, FramesFollowTheScenesKeys) {
  const TempDir dir("scene_keys");
  ASSERT_EQ(lensfall(dir.path(), {"scene", "create", "-o", "shot.json",
                                  "--from-frame", kFrame.string() + ".json",
                                  "--focus", "FenceCenterMarker"})
                .status,
            0);
  json scene = readJson(dir / "shot.json");
  for (json &object : scene["objects"]) {
    if (object["name"] != "FenceCenterMarker") continue;
    // Toward the wall, one metre a frame at 24 frames a second.
    json keys = json::array();
    for (int n = 1; n <= 3; ++n) {
      json position = object["position"];
      position[1] = position[1].get<double>() + (n - 1);
      keys.push_back({{"time", n / 24.0}, {"position", position}});
    }
    object["keys"] = keys;
  }
  writeJson(dir / "shot.json", scene);
  for (int n = 1; n <= 3; ++n) {
    fs::create_symlink(kFrame.string() + ".exr",
                       dir / numbered("in", n, ".exr"));
  }
  const std::vector<std::string> depth = {"--depth-measure", "planar", "-q"};
  auto render = [&](std::vector<std::string> arguments) {
    arguments.insert(arguments.end(), depth.begin(), depth.end());
    const CliRun run = lensfall(dir.path(), arguments);
    EXPECT_EQ(run.status, 0) << run.err;
  };
  render({"render", "in.####.exr", "-o", "seq.####.exr", "--frames", "1-3",
          "--scene", "shot.json", "--jobs", "2"});
  for (int n = 1; n <= 3; ++n) {
    scene["frame"] = n;
    writeJson(dir / "at_frame.json", scene);
    const std::string alone = numbered("alone", n, ".exr");
    render({"render", numbered("in", n, ".exr"), "-o", alone, "--scene",
            "at_frame.json"});
    EXPECT_EQ(allPixels(dir / numbered("seq", n, ".exr")),
              allPixels(dir / alone))
        << n;
  }
  EXPECT_NE(allPixels(dir / "seq.0001.exr"), allPixels(dir / "seq.0003.exr"));
}

// ---------------------------------------------------------------------------
// A multilayer EXR as a pipeline has it: AOVs beside the beauty, half and
// float channels, its own metadata and windows. Only the beauty's colour
// and alpha change; everything else comes out bit for bit.

struct Part {
  OIIO::ImageSpec spec;
  std::vector<std::byte> pixels;  // native
};

std::vector<Part> readParts(const fs::path &path) {
  auto input = OIIO::ImageInput::open(path.string());
  std::vector<Part> parts;
  for (int s = 0; input && input->seek_subimage(s, 0); ++s) {
    Part part{input->spec(), {}};
    part.pixels.resize(part.spec.image_bytes(true));
    input->read_image(s, 0, 0, part.spec.nchannels, OIIO::TypeUnknown,
                      part.pixels.data());
    parts.push_back(std::move(part));
  }
  return parts;
}

void writeParts(const fs::path &path, const std::vector<Part> &parts) {
  auto output = OIIO::ImageOutput::create(path.string());
  std::vector<OIIO::ImageSpec> specs;
  for (const Part &part : parts) specs.push_back(part.spec);
  for (size_t k = 0; k < parts.size(); ++k) {
    ASSERT_TRUE(
        k == 0 ? output->open(path.string(), int(specs.size()), specs.data())
               : output->open(path.string(), specs[k],
                              OIIO::ImageOutput::AppendSubimage))
        << output->geterror();
    ASSERT_TRUE(output->write_image(OIIO::TypeUnknown, parts[k].pixels.data()))
        << output->geterror();
  }
  output->close();
}

// One channel's bytes out of a part's native pixels.
std::vector<std::byte> channelBytes(const Part &part, int channel) {
  size_t offset = 0;
  for (int c = 0; c < channel; ++c) offset += part.spec.channelformat(c).size();
  const size_t size = part.spec.channelformat(channel).size();
  const size_t stride = part.spec.pixel_bytes(true);
  std::vector<std::byte> bytes;
  for (size_t p = 0; p < part.spec.image_pixels(); ++p) {
    const std::byte *at = part.pixels.data() + p * stride + offset;
    bytes.insert(bytes.end(), at, at + size);
  }
  return bytes;
}

// The frame's own channels with three AOV layers added: ambient occlusion
// (sorting before the beauty), normals in half and a cryptomatte-like layer
// in float; a display window larger than the data; metadata of its own.
Part pipelineFrame() {
  Part frame = readParts(kFrame.string() + ".exr").front();
  const OIIO::ImageSpec &in = frame.spec;
  OIIO::ImageSpec spec = in;
  spec.channelnames.clear();
  spec.channelformats.clear();
  spec.nchannels = 0;
  struct Added {
    const char *name;
    OIIO::TypeDesc type;
  };
  const std::vector<Added> added = {
      {"ViewLayer.AO.R", OIIO::TypeHalf},
      {"ViewLayer.AO.G", OIIO::TypeHalf},
      {"ViewLayer.AO.B", OIIO::TypeHalf},
      {"ViewLayer.Normal.X", OIIO::TypeHalf},
      {"ViewLayer.Normal.Y", OIIO::TypeHalf},
      {"ViewLayer.Normal.Z", OIIO::TypeHalf},
      {"ViewLayer.CryptoObject00.R", OIIO::TypeFloat},
      {"ViewLayer.CryptoObject00.G", OIIO::TypeFloat}};
  for (int c = 0; c < in.nchannels; ++c) {
    spec.channelnames.push_back(in.channelnames[size_t(c)]);
    spec.channelformats.push_back(in.channelformat(c));
  }
  for (const Added &channel : added) {
    spec.channelnames.push_back(channel.name);
    spec.channelformats.push_back(channel.type);
  }
  spec.nchannels = int(spec.channelnames.size());
  spec.full_x = -8;
  spec.full_y = -4;
  spec.full_width = in.width + 16;
  spec.full_height = in.height + 8;
  spec.attribute("compression", "piz");
  spec.attribute("studio/shot", "sq010_sh0040");
  spec.attribute("studio/take", 7);
  Part out{spec, std::vector<std::byte>(spec.image_bytes(true))};
  // Pixel by pixel: the frame's channels, then a pattern for each AOV.
  const size_t inStride = in.pixel_bytes(true);
  const size_t outStride = spec.pixel_bytes(true);
  for (size_t p = 0; p < spec.image_pixels(); ++p) {
    std::byte *to = out.pixels.data() + p * outStride;
    std::memcpy(to, frame.pixels.data() + p * inStride, inStride);
    size_t offset = inStride;
    for (size_t k = 0; k < added.size(); ++k) {
      const float value = float((p * 7 + k * 13) % 101) / 100.0f;
      OIIO::convert_pixel_values(OIIO::TypeFloat, &value, added[k].type,
                                 to + offset, 1);
      offset += added[k].type.size();
    }
  }
  return out;
}

void expectKeptBesideTheBeauty(const std::vector<Part> &in,
                               const std::vector<Part> &out,
                               const std::string &beautyPart,
                               const std::string &beautyPrefix) {
  ASSERT_EQ(in.size(), out.size());
  bool beautyChanged = false;
  for (size_t s = 0; s < in.size(); ++s) {
    const OIIO::ImageSpec &a = in[s].spec;
    const OIIO::ImageSpec &b = out[s].spec;
    SCOPED_TRACE("part " + std::to_string(s));
    EXPECT_EQ(a.channelnames, b.channelnames);
    for (int c = 0; c < a.nchannels; ++c) {
      EXPECT_EQ(a.channelformat(c), b.channelformat(c)) << a.channelnames[c];
    }
    EXPECT_EQ(std::tie(a.x, a.y, a.width, a.height),
              std::tie(b.x, b.y, b.width, b.height));
    EXPECT_EQ(std::tie(a.full_x, a.full_y, a.full_width, a.full_height),
              std::tie(b.full_x, b.full_y, b.full_width, b.full_height));
    // The input's metadata, every value as it was; the writer's time stamp
    // and the lensfall/ record are the only additions.
    for (const OIIO::ParamValue &attribute : a.extra_attribs) {
      const std::string name = attribute.name().string();
      if (name.rfind("oiio:", 0) == 0) continue;
      const OIIO::ParamValue *kept = b.find_attribute(name);
      ASSERT_NE(kept, nullptr) << name;
      EXPECT_EQ(kept->get_string(), attribute.get_string()) << name;
    }
    for (const OIIO::ParamValue &attribute : b.extra_attribs) {
      const std::string name = attribute.name().string();
      if (name.rfind("oiio:", 0) == 0 || name == "DateTime") continue;
      if (name.rfind("lensfall/", 0) == 0) {
        EXPECT_EQ(b.get_string_attribute("name"), beautyPart) << name;
        continue;
      }
      EXPECT_NE(a.find_attribute(name), nullptr) << "added: " << name;
    }
    const bool isBeautyPart = b.get_string_attribute("name") == beautyPart;
    for (int c = 0; c < a.nchannels; ++c) {
      const std::string &name = a.channelnames[size_t(c)];
      const std::string layer =
          name.size() > 1 ? name.substr(0, name.size() - 2) : "";
      const bool beauty =
          isBeautyPart && layer == beautyPrefix &&
          std::string("RGBA").find(name.back()) != std::string::npos &&
          (name.size() == 1 || name[name.size() - 2] == '.');
      if (beauty) {
        beautyChanged |= channelBytes(in[s], c) != channelBytes(out[s], c);
      } else {
        EXPECT_EQ(channelBytes(in[s], c), channelBytes(out[s], c)) << name;
      }
    }
  }
  EXPECT_TRUE(beautyChanged) << "the beauty was filtered";
}

TEST(PipelineExr, EveryOtherChannelAndAttributeComesOutAsItWentIn) {
  const TempDir dir("pipeline_exr");
  const Part frame = pipelineFrame();
  writeParts(dir / "shot.exr", {frame});
  fs::copy_file(kFrame.string() + ".json", dir / "shot.json");
  const CliRun run =
      lensfall(dir.path(), {"render", "shot.exr", "-o", "out.exr", "-q",
                            "--set", "focus=FenceCenterMarker"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<Part> out = readParts(dir / "out.exr");
  expectKeptBesideTheBeauty(readParts(dir / "shot.exr"), out, "",
                            "ViewLayer.Combined");
  const OIIO::ImageSpec &spec = out.front().spec;
  EXPECT_EQ(spec.get_string_attribute("compression"), "piz");
  EXPECT_EQ(spec.get_string_attribute("lensfall/layer"), "ViewLayer.Combined");
  EXPECT_NE(spec.get_string_attribute("lensfall/version"), "");
  EXPECT_NE(spec.get_string_attribute("lensfall/settings")
                .find("focus=FenceCenterMarker"),
            std::string::npos);
  // The fence marker's distance from the camera, as the sidecar lists it.
  double expected = 0.0;
  const json sidecar = readJson(dir / "shot.json");
  for (const json &object : sidecar["mesh_objects"]) {
    if (object["name"] == "FenceCenterMarker") {
      expected = object["distance_euclidean"].get<double>();
    }
  }
  EXPECT_NEAR(spec.get_float_attribute("lensfall/focusDistance"), expected,
              1e-4);
  EXPECT_GT(spec.get_float_attribute("lensfall/apertureRadius"), 0.0f);
  EXPECT_GT(spec.get_float_attribute("lensfall/pixelsPerFilmUnit"), 0.0f);
}

TEST(PipelineExr, APartPerLayerKeepsItsParts) {
  const TempDir dir("pipeline_parts");
  const Part frame = readParts(kFrame.string() + ".exr").front();
  // Parts "beauty" (RGBA, half) and "depth" (Z, float), as compositing
  // packages write them.
  std::vector<Part> parts(2);
  for (int k = 0; k < 2; ++k) {
    OIIO::ImageSpec spec = frame.spec;
    spec.channelnames = k == 0 ? std::vector<std::string>{"R", "G", "B", "A"}
                               : std::vector<std::string>{"Z"};
    spec.channelformats.assign(size_t(k == 0 ? 4 : 1),
                               k == 0 ? OIIO::TypeHalf : OIIO::TypeFloat);
    spec.nchannels = int(spec.channelnames.size());
    spec.alpha_channel = k == 0 ? 3 : -1;
    spec.z_channel = k == 0 ? -1 : 0;
    spec.attribute("name", k == 0 ? "beauty" : "depth");
    parts[size_t(k)].spec = spec;
    parts[size_t(k)].pixels.resize(spec.image_bytes(true));
  }
  const size_t stride = frame.spec.pixel_bytes(true);
  for (size_t p = 0; p < frame.spec.image_pixels(); ++p) {
    std::memcpy(parts[0].pixels.data() + p * 8,
                frame.pixels.data() + p * stride, 8);
    std::memcpy(parts[1].pixels.data() + p * 4,
                frame.pixels.data() + p * stride + 8, 4);
  }
  writeParts(dir / "shot.exr", parts);
  json sidecar = readJson(kFrame.string() + ".json");
  sidecar.erase("exr_channels");
  writeJson(dir / "shot.json", sidecar);
  const CliRun run =
      lensfall(dir.path(), {"render", "shot.exr", "-o", "out.exr", "-q"});
  ASSERT_EQ(run.status, 0) << run.err;
  expectKeptBesideTheBeauty(readParts(dir / "shot.exr"),
                            readParts(dir / "out.exr"), "beauty", "");
}

// ---------------------------------------------------------------------------
// Depth as renderers and depth tools write it. Each file below holds the
// frame's depth in one convention; told which, the command renders what the
// renderer's own planar depth renders, up to float rounding.

// The frame with its depth channel replaced by f(planar depth, pixel).
void writeDepthVariant(const fs::path &path,
                       const std::function<float(float, int, int)> &f) {
  OIIO::ImageBuf image(kFrame.string() + ".exr");
  ASSERT_TRUE(image.read(0, 0, true, OIIO::TypeFloat));
  const int z = image.spec().channelindex("ViewLayer.Depth.Z");
  for (OIIO::ImageBuf::Iterator<float> it(image); !it.done(); ++it) {
    it[z] = f(it[z], it.x(), it.y());
  }
  ASSERT_TRUE(image.write(path.string()));
}

struct DepthCase {
  const char *name;
  std::function<float(float, int, int)> encode;
  std::vector<std::string> options;
};

constexpr double kNear = 0.5, kFar = 12.0;

// Planar depth to distance, as the frame's sidecar camera sees it.
float planarToDistance(float z, int x, int y) {
  static const json camera = readJson(kFrame.string() + ".json")["camera"];
  const double tx = std::tan(camera["hfov_rad"].get<double>() / 2) *
                    (2 * (x + 0.5) / 640 - 1);
  const double ty = std::tan(camera["vfov_rad"].get<double>() / 2) *
                    (2 * (y + 0.5) / 360 - 1);
  return float(z * std::sqrt(1 + tx * tx + ty * ty));
}

class DepthConventions : public ::testing::TestWithParam<DepthCase> {};

TEST_P(DepthConventions, RenderAsThePlanarDepthDoes) {
  const TempDir dir(std::string("depth_") + GetParam().name);
  // Sky in the corner: its planar depth is the renderer's "nothing here".
  auto withSky = [](float z, int x, int y) {
    return x < 40 && y < 30 ? 1e10f : z;
  };
  writeDepthVariant(dir / "planar.exr", withSky);
  writeDepthVariant(dir / "variant.exr", [&](float z, int x, int y) {
    return GetParam().encode(withSky(z, x, y), x, y);
  });
  for (const char *stem : {"planar", "variant"}) {
    fs::copy_file(kFrame.string() + ".json",
                  dir / (std::string(stem) + ".json"));
  }
  const std::vector<std::string> common = {"-q", "--set", "f-number=1.4",
                                           "--set", "focus=FenceCenterMarker"};
  std::vector<std::string> reference = {"render", "planar.exr", "-o",
                                        "planar_out.exr"};
  reference.insert(reference.end(), common.begin(), common.end());
  std::vector<std::string> variant = {"render", "variant.exr", "-o",
                                      "variant_out.exr"};
  variant.insert(variant.end(), common.begin(), common.end());
  variant.insert(variant.end(), GetParam().options.begin(),
                 GetParam().options.end());
  ASSERT_EQ(lensfall(dir.path(), reference).status, 0);
  const CliRun run = lensfall(dir.path(), variant);
  ASSERT_EQ(run.status, 0) << run.err;

  const auto expected = allPixels(dir / "planar_out.exr").front();
  const auto actual = allPixels(dir / "variant_out.exr").front();
  ASSERT_EQ(expected.size(), actual.size());
  // Colour and alpha (the depth channel is the input's own and differs).
  size_t differing = 0;
  double largest = 0.0;
  for (size_t i = 0; i < expected.size(); ++i) {
    if (i % 5 == 4) continue;
    const double difference = std::fabs(expected[i] - actual[i]);
    largest = std::max(largest, difference);
    if (difference > 1e-3 * std::max(1.0f, std::fabs(expected[i]))) {
      ++differing;
    }
  }
  // A depth that rounds across a blur-size boundary changes its own
  // neighbourhood; no more than that.
  EXPECT_LT(differing, expected.size() / 5000)
      << "largest difference " << largest;
}

INSTANTIATE_TEST_SUITE_P(
    Renderers, DepthConventions,
    ::testing::Values(
        DepthCase{"planar_told",
                  [](float z, int, int) { return z; },
                  {"--depth-measure", "planar"}},
        DepthCase{"distance",
                  [](float z, int x, int y) {
                    return z >= 1e10f ? 1e10f : planarToDistance(z, x, y);
                  },
                  {"--depth-measure", "distance"}},
        DepthCase{"vray_zero_background",
                  [](float z, int, int) { return z >= 1e10f ? 0.0f : z; },
                  {"--depth-background", "0"}},
        DepthCase{"infinite_background",
                  [](float z, int, int) {
                    return z >= 1e10f ? std::numeric_limits<float>::infinity()
                                      : z;
                  },
                  {"--depth-background", "inf"}},
        DepthCase{"linear_map_black_near",
                  [](float z, int, int) {
                    return z >= 1e10f ? 1.0f
                                      : float((z - kNear) / (kFar - kNear));
                  },
                  {"--depth-range", "0.5:12", "--depth-near", "black",
                   "--depth-background", "1"}},
        DepthCase{"inverse_map_white_near",
                  [](float z, int, int) {
                    return z >= 1e10f ? 0.0f
                                      : float((1 / z - 1 / kFar) /
                                              (1 / kNear - 1 / kFar));
                  },
                  {"--depth-range", "0.5:12", "--depth-map", "inverse",
                   "--depth-background", "0"}},
        DepthCase{"disparity_to_infinity",
                  [](float z, int, int) {
                    return z >= 1e10f ? 0.0f : float(kNear / z);
                  },
                  {"--depth-range", "0.5:inf", "--depth-map", "inverse"}}),
    [](const auto &info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// --skip-existing: a resumed shot renders only what is missing, and never
// touches what is there.

TEST(SkipExisting, LeavesWrittenFramesAndRendersTheRest) {
  const TempDir dir("skip_existing");
  for (int n = 1; n <= 3; ++n) {
    fs::create_symlink(kFrame.string() + ".exr",
                       dir / numbered("in", n, ".exr"));
    fs::create_symlink(kFrame.string() + ".json",
                       dir / numbered("in", n, ".json"));
  }
  std::ofstream(dir / "out.0002.exr") << "already here";
  for (const char *jobs : {"1", "2"}) {
    const CliRun run = lensfall(
        dir.path(), {"render", "in.####.exr", "-o", "out.####.exr", "--frames",
                     "1-3", "--skip-existing", "--jobs", jobs});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("skipped"), std::string::npos) << run.out;
    EXPECT_EQ(readText(dir / "out.0002.exr"), "already here");
    EXPECT_TRUE(fs::exists(dir / "out.0001.exr"));
    EXPECT_TRUE(fs::exists(dir / "out.0003.exr"));
    fs::remove(dir / "out.0003.exr");
  }
}

}  // namespace
}  // namespace lensfall::testing
