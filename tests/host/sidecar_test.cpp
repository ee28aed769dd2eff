// Sidecars: every field is checked and named when wrong, the depth measure
// is read strictly, and applying a frame's sidecar keeps the items the
// module holds.
#include "host/sidecar.h"

#include <gtest/gtest.h>

#include <fstream>
#include <numbers>

#include "host/host_error.h"

namespace lensfall::testing {
namespace {

using namespace lensfall::host;
using nlohmann::json;

json goodSidecar() {
  std::ifstream in(std::string(LENSFALL_FRAMES_DIR) +
                   "/occlusion/occlusion_640x360.json");
  return json::parse(in);
}

struct BadField {
  const char *pointer;  // JSON pointer of the field to change
  json value;
  std::vector<std::string> message;  // words the error must hold
};

TEST(Sidecar, AWrongFieldIsNamedWithItsValueAndWhatWasExpected) {
  const std::vector<BadField> cases = {
      {"/camera/focal_length_mm", 0, {"camera.focal_length_mm", "above 0"}},
      {"/camera/focal_length_mm", -35, {"camera.focal_length_mm", "-35"}},
      {"/camera/focal_length_mm", "35mm", {"camera.focal_length_mm", "35mm"}},
      {"/camera/hfov_rad", 0.0, {"camera.hfov_rad", "pi"}},
      {"/camera/vfov_rad", std::numbers::pi, {"camera.vfov_rad", "pi"}},
      {"/camera/focus_distance", 0, {"camera.focus_distance", "above 0"}},
      {"/camera/focus_distance", nullptr, {"camera.focus_distance"}},
      {"/camera/world_position",
       json::array({0, 1}),
       {"camera.world_position", "3"}},
      {"/camera", "front", {"camera", "object"}},
      {"/width", 0, {"width", "1 to 65536"}},
      {"/height", 1.5, {"height", "whole"}},
      {"/fps", -24, {"fps", "above 0"}},
      {"/frame", 1e300, {"frame", "whole frame number"}},
      {"/frame", 2.5, {"frame", "whole frame number"}},
      {"/depth/measures",
       "distance from the camera, not planar depth",
       {"depth.measures", "distance from the camera, not planar depth",
        "planar"}},
      {"/depth/background_value", "far", {"depth.background_value"}},
      {"/exr_channels/R", 7, {"exr_channels.R", "text"}},
      {"/mesh_objects/0/world_position",
       "here",
       {"mesh_objects[0].world_position"}},
      {"/mesh_objects", 3, {"mesh_objects", "list"}},
      {"/camera/view_direction",
       json::array({0, 0, 0}),
       {"camera.view_direction", "non-zero"}},
      {"/camera/up_direction",
       json::array({0.023405, 0.99863, -0.046811}),
       {"camera.up_direction", "parallel"}},
      {"/camera/up_direction", nullptr, {"camera.up_direction", "3"}},
  };
  for (const BadField &bad : cases) {
    SCOPED_TRACE(std::string(bad.pointer) + " = " + bad.value.dump());
    json sidecar = goodSidecar();
    sidecar[json::json_pointer(bad.pointer)] = bad.value;
    try {
      parseSidecar(sidecar);
      ADD_FAILURE() << "accepted";
    } catch (const HostError &error) {
      for (const std::string &word : bad.message) {
        EXPECT_NE(std::string(error.what()).find(word), std::string::npos)
            << error.what();
      }
    }
  }
}

TEST(Sidecar, DepthMeasuresAreKnownValuesOnly) {
  const std::pair<const char *, std::optional<DepthMeasure>> cases[] = {
      {"planar depth along the view axis", DepthMeasure::Planar},
      {"Planar_Depth", DepthMeasure::Planar},
      {"z", DepthMeasure::Planar},
      {"distance", DepthMeasure::Distance},
      {"radial distance", DepthMeasure::Distance},
      {"distance from the camera", DepthMeasure::Distance},
      {"distance from the camera, not planar depth", std::nullopt},
      {"not planar", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto &[text, measure] : cases) {
    EXPECT_EQ(parseDepthMeasure(text), measure) << text;
  }
}

TEST(Sidecar, AFrameMovesTheItemsTheModuleHolds) {
  Scene scene;
  json sidecar = goodSidecar();
  sidecar["mesh_objects"].push_back(
      {{"name", "Ω≠∞ emoji 🎥"}, {"world_position", {0, 0, 0}}});
  const SidecarApplied first = applySidecar(parseSidecar(sidecar), scene);
  EXPECT_EQ(first.skippedObjects, std::vector<std::string>{"Ω≠∞ emoji 🎥"});
  const HostItem *marker = scene.objectNamed("FenceCenterMarker");
  const HostItem *camera = scene.camera.get();
  ASSERT_NE(marker, nullptr);
  const size_t objects = scene.objects.size();

  sidecar["frame"] = 2;
  sidecar["camera"]["focus_distance"] = 3.25;
  sidecar["mesh_objects"][31]["world_position"] = {1, 2, 3};
  ASSERT_EQ(sidecar["mesh_objects"][31]["name"], "FenceCenterMarker");
  applySidecar(parseSidecar(sidecar), scene);
  EXPECT_EQ(scene.objectNamed("FenceCenterMarker"), marker) << "same item ID";
  EXPECT_EQ(scene.camera.get(), camera);
  EXPECT_EQ(scene.objects.size(), objects);
  EXPECT_EQ(marker->position.at(0.0), (std::array<double, 3>{1, 2, 3}));
  EXPECT_EQ(scene.camera->lens.focalDistance, 3.25);
  EXPECT_EQ(scene.frame, 2);
  ASSERT_TRUE(scene.camera->aim);
  EXPECT_EQ(scene.camera->aim->view[1], 0.99863) << "kept as given";
  EXPECT_EQ(scene.camera->aim->up[2], 0.998904);
}

}  // namespace
}  // namespace lensfall::testing
