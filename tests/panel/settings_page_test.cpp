// The settings page's request handlers over a real session: the form as
// JSON, edits through the form service, refused requests, the thumbnail and
// preview images, and saving the scene.
#include "cli/page/settings_page.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imagebuf.h>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>

#include "cli/instance_settings.h"
#include "host/depth_convention.h"
#include "host/session.h"
#include "settings/filter_settings.h"
#include "tests/panel/panel_fixture.h"

namespace lensfall::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// A decoded image: width, height and 8-bit pixels.
struct Decoded {
  int width = 0, height = 0, channels = 0;
  std::vector<uint8_t> pixels;
};

// Decodes an image file held in memory, in the format its extension names.
Decoded decode(const std::string &bytes, const std::string &extension) {
  OIIO::Filesystem::IOMemReader reader(bytes.data(), bytes.size());
  OIIO::ImageSpec config;
  void *proxy = &reader;
  config.attribute("oiio:ioproxy", OIIO::TypeDesc::PTR, &proxy);
  OIIO::ImageBuf image("memory." + extension, 0, 0, nullptr, &config);
  Decoded decoded;
  if (!image.read(0, 0, true, OIIO::TypeDesc::UINT8)) {
    ADD_FAILURE() << image.geterror();
    return decoded;
  }
  decoded.width = image.spec().width;
  decoded.height = image.spec().height;
  decoded.channels = image.spec().nchannels;
  decoded.pixels.resize(size_t(decoded.width) * decoded.height *
                        decoded.channels);
  image.get_pixels(OIIO::ROI::All(), OIIO::TypeDesc::UINT8,
                   decoded.pixels.data());
  return decoded;
}

class SettingsPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("lensfall_page_" + std::to_string(getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
    scenePath = dir / "shot.json";
    // A scene with a camera and one instance, written by the module.
    host::Session maker(LENSFALL_MODULE_PATH);
    maker.scene().setCamera(HostCameraLens{}, {0.0, -8.0, 1.0});
    maker.filter().create();
    maker.saveScene(scenePath);
  }

  void TearDown() override {
    page.reset();
    session.reset();
    fs::remove_all(dir);
  }

  cli::SettingsPage &open(std::optional<host::Frame> frame = std::nullopt,
                          int previewWidth = cli::kPreviewWidth) {
    session = std::make_unique<host::Session>(LENSFALL_MODULE_PATH);
    session->openScene(scenePath);
    page = std::make_unique<cli::SettingsPage>(*session, scenePath,
                                               std::move(frame), previewWidth);
    return *page;
  }

  FilterSettings &record() {
    return *static_cast<FilterSettings *>(session->instances().back());
  }

  cli::PageResponse post(const std::string &path, const std::string &body) {
    return page->handle({"POST", path, {}, body, {}});
  }
  cli::PageResponse get(const std::string &path,
                        std::map<std::string, std::string> query = {}) {
    return page->handle({"GET", path, std::move(query), "", {}});
  }

  static json control(const json &form, unsigned long id) {
    for (const json &c : form["controls"]) {
      if (c["id"] == id) return c;
    }
    ADD_FAILURE() << "no control " << id;
    return json::object();
  }

  fs::path dir, scenePath;
  std::unique_ptr<host::Session> session;
  std::unique_ptr<cli::SettingsPage> page;
};

TEST_F(SettingsPageTest, PageAndFormDescribeTheModulesForm) {
  open();
  const cli::PageResponse html = get("/");
  EXPECT_EQ(html.status, 200);
  EXPECT_NE(html.contentType.find("text/html"), std::string::npos);
  EXPECT_NE(html.body.find("/api/form"), std::string::npos);

  const cli::PageResponse response = get("/api/form");
  ASSERT_EQ(response.status, 200);
  const json form = json::parse(response.body);
  EXPECT_EQ(form["banner"], "Lensfall 1.1.1");
  EXPECT_EQ(form["groups"], json({0x8016, 0x8014, 0x8017}));
  EXPECT_EQ(form["controls"].size(), 16u);
  EXPECT_EQ(form["preview"], false);
  const json depth = control(form, kUseDepth);
  EXPECT_EQ(depth["label"], "Z値計算");
  EXPECT_EQ(depth["kind"], "boolean");
  EXPECT_EQ(depth["value"], 1);
  const json distance = control(form, kNoBlurDistance);
  EXPECT_EQ(distance["label"], "距離");
  EXPECT_EQ(distance["min"], 0);
  EXPECT_EQ(distance["max"], 1000);
  EXPECT_EQ(distance["enabled"], false);  // "ぼかす範囲" is off
  EXPECT_EQ(control(form, kShape)["choices"],
            json({"円", "多角形", "リング", "画像"}));
  EXPECT_EQ(control(form, kFocus)["choices"], json({"(none)"}));
  EXPECT_FALSE(control(form, kThumbnail).contains("value"));
}

TEST_F(SettingsPageTest, EditsReachTheRecordAndChangeWhatIsEnabled) {
  open();
  cli::PageResponse response =
      post("/api/value", R"({"id": 32780, "value": 1})");
  ASSERT_EQ(response.status, 200) << response.body;
  json form = json::parse(response.body);
  EXPECT_EQ(record().apertureShape, 1);
  EXPECT_EQ(control(form, kShape)["value"], 1);
  EXPECT_EQ(control(form, kVertexCount)["enabled"], true);

  response = post("/api/value", R"({"id": 32777, "value": 0})");
  ASSERT_EQ(response.status, 200) << response.body;
  form = json::parse(response.body);
  EXPECT_EQ(record().useDepth, 0);
  for (unsigned long id : {kFNumber, kFocus, kBackBlur, kBackMax, kKeepFarSharp,
                           kNoBlurDistance}) {
    EXPECT_EQ(control(form, id)["enabled"], false) << std::hex << id;
  }
  EXPECT_EQ(control(form, kStrength)["enabled"], true);

  // An animated value goes into its parameter.
  response = post("/api/value", R"({"id": 32774, "value": 0.5})");
  ASSERT_EQ(response.status, 200) << response.body;
  EXPECT_EQ(record().strengthParam->value, 0.5);
}

TEST_F(SettingsPageTest, BadRequestsAreRefusedAndChangeNothing) {
  open();
  const char *bodies[] = {
      "not json",
      R"({"value": 1})",
      R"({"id": "0x800c", "value": 1})",
      R"({"id": 32780, "value": "1"})",
      R"({"id": 32780})",
      R"({"id": 39321, "value": 1})",    // no such control
      R"({"id": 32780, "value": 7})",    // shape 0..3
      R"({"id": 32780, "value": 1.5})",  // shape is whole
      R"({"id": 32783, "value": 1})",    // the thumbnail holds no value
      R"({"id": 32784, "value": 4})",    // vertices disabled for the circle
      R"({"id": 32779, "value": 2000})",
  };
  const FilterSettings before = record();
  for (const char *body : bodies) {
    const cli::PageResponse response = post("/api/value", body);
    EXPECT_EQ(response.status, 400) << body;
    EXPECT_TRUE(json::parse(response.body).contains("error")) << body;
  }
  EXPECT_EQ(std::memcmp(&before, &record(), sizeof before), 0);
  EXPECT_EQ(get("/api/nothing").status, 404);
  EXPECT_EQ(post("/api/form", "").status, 404);
}

TEST_F(SettingsPageTest, ThumbnailIsTheFormsDrawing) {
  open();
  post("/api/value", R"({"id": 32780, "value": 2})");
  const cli::PageResponse response =
      get("/api/thumbnail.png", {{"size", "64"}});
  ASSERT_EQ(response.status, 200);
  EXPECT_EQ(response.contentType, "image/png");
  const Decoded png = decode(response.body, "png");
  ASSERT_EQ(png.width, 64);
  ASSERT_EQ(png.height, 64);
  HostForm *form = host::PanelHost::active().openForm();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(png.pixels, host::FormModel(*form).drawThumbnail(64).rgb);
  // The ring's centre is dark, its body lit.
  EXPECT_EQ(png.pixels[(32 * 64 + 32) * 3], 0);
  EXPECT_EQ(png.pixels[(32 * 64 + 20) * 3], 255);
  for (const char *size : {"0", "abc", "5000", "12px"}) {
    EXPECT_EQ(get("/api/thumbnail.png", {{"size", size}}).status, 400) << size;
  }
}

TEST_F(SettingsPageTest, PreviewFiltersTheFrameThroughTheEditedInstance) {
  open();
  EXPECT_EQ(get("/api/preview.bmp").status, 404);
  EXPECT_EQ(
      get("/api/detail.bmp", {{"x", "0"}, {"y", "0"}, {"w", "1"}, {"h", "1"}})
          .status,
      404);
  page.reset();
  session.reset();

  host::Frame frame(12, 8);
  for (size_t i = 0; i < frame.pixels(); ++i) {
    frame.red[i] = frame.green[i] = frame.blue[i] = (i % 5 == 0) ? 1.0f : 0.1f;
    frame.alpha[i] = 1.0f;
  }
  frame.depth.assign(frame.pixels(), 20.0f);
  frame.resetOutput();
  open(frame);
  const cli::PageResponse response = get("/api/preview.bmp");
  ASSERT_EQ(response.status, 200) << response.body;
  EXPECT_EQ(response.contentType, "image/bmp");
  const Decoded shown = decode(response.body, "bmp");
  EXPECT_EQ(shown.width, 12);
  EXPECT_EQ(shown.height, 8);
  EXPECT_EQ(json::parse(get("/api/form").body)["preview"], true);
}

TEST_F(SettingsPageTest, SaveWritesTheEditsThroughTheModule) {
  open();
  ASSERT_EQ(post("/api/value", R"({"id": 32780, "value": 1})").status, 200);
  ASSERT_EQ(post("/api/value", R"({"id": 32784, "value": 3})").status, 200);
  const cli::PageResponse response = post("/api/save", "");
  ASSERT_EQ(response.status, 200) << response.body;
  page.reset();
  session.reset();

  host::Session reopened(LENSFALL_MODULE_PATH);
  reopened.openScene(scenePath);
  ASSERT_EQ(reopened.instances().size(), 1u);
  const auto &saved =
      *static_cast<const FilterSettings *>(reopened.instances().front());
  EXPECT_EQ(saved.apertureShape, 1);
  EXPECT_EQ(saved.vertexCount, 3);
}

// A frame of 12 x 8 with a few bright pixels at 20 m.
host::Frame smallFrame() {
  host::Frame frame(12, 8);
  for (size_t i = 0; i < frame.pixels(); ++i) {
    frame.red[i] = frame.green[i] = frame.blue[i] = (i % 5 == 0) ? 4.0f : 0.1f;
    frame.alpha[i] = 1.0f;
  }
  frame.depth.assign(frame.pixels(), 20.0f);
  frame.resetOutput();
  return frame;
}

TEST_F(SettingsPageTest, SaveKeepsTheScenesOwnFrameSizeWhilePreviewing) {
  {
    host::Session sized(LENSFALL_MODULE_PATH);
    sized.openScene(scenePath);
    sized.scene().width = 1920;
    sized.scene().height = 1080;
    sized.saveScene(scenePath);
  }
  open(smallFrame());
  // The module filters the preview as a whole frame of its own size.
  EXPECT_EQ(session->scene().width, 12);
  ASSERT_EQ(post("/api/value", R"({"id": 32780, "value": 1})").status, 200);
  ASSERT_EQ(post("/api/save", "{}").status, 200);
  EXPECT_EQ(session->scene().width, 12);
  page.reset();
  session.reset();
  const json saved = json::parse(std::ifstream(scenePath));
  EXPECT_EQ(saved["width"], 1920);
  EXPECT_EQ(saved["height"], 1080);
}

TEST_F(SettingsPageTest, TypedValuesAreReadInTheUnitsShown) {
  open();
  // The rotation is enabled for a polygon.
  ASSERT_EQ(post("/api/value", R"({"id": 32780, "value": 1})").status, 200);
  const struct {
    unsigned long id;
    const char *text;
    double stored;
  } accepted[] = {
      {kFNumber, "5.6", 5.6},      {kFNumber, " 4 ", 4.0},
      {kBackMax, "50", 0.5},       {kBackMax, "25 %", 0.25},
      {kRotation, "90", M_PI / 2}, {kRotation, "45°", M_PI / 4},
  };
  for (const auto &c : accepted) {
    const json body = {{"id", c.id}, {"text", c.text}};
    const cli::PageResponse response = post("/api/value", body.dump());
    ASSERT_EQ(response.status, 200) << c.text << " " << response.body;
    EXPECT_NEAR(json::parse(get("/api/form").body)["controls"].size(), 16, 0);
    const json form = json::parse(response.body);
    EXPECT_NEAR(control(form, c.id)["value"].get<double>(), c.stored, 1e-9)
        << c.text;
  }
}

TEST_F(SettingsPageTest, JunkAndEmptyFieldsKeepTheOldValueAndSayWhy) {
  open();
  ASSERT_EQ(post("/api/value", R"({"id": 32776, "text": "5.6"})").status, 200);
  ASSERT_EQ(post("/api/value", R"({"id": 32780, "value": 1})").status, 200);
  const FilterSettings before = record();
  const struct {
    unsigned long id;
    const char *text;
    const char *message;
  } refused[] = {
      {kFNumber, "e", "f-number: \"e\" is not a number"},
      {kFNumber, "", "f-number: the field is empty; type a number"},
      {kFNumber, "   ", "f-number: the field is empty; type a number"},
      {kFNumber, "5,6", "f-number: \"5,6\" is not a number"},
      {kFNumber, "nan", "f-number: \"nan\" is not a number"},
      {kFNumber, "-1",
       "f-number: -1 is outside the settings form's bounds (0 to 10)"},
      {kBackMax, "-5",
       "back-max: -5 % is outside the settings form's bounds (at least 0 %)"},
  };
  for (const auto &c : refused) {
    const json body = {{"id", c.id}, {"text", c.text}};
    const cli::PageResponse response = post("/api/value", body.dump());
    EXPECT_EQ(response.status, 400) << c.text;
    const json answer = json::parse(response.body);
    EXPECT_EQ(answer["error"], c.message) << c.text;
    EXPECT_EQ(answer["id"], c.id) << c.text;
  }
  // A number sent directly is held to the same bounds, said in degrees.
  const cli::PageResponse angle =
      post("/api/value", R"({"id": 32781, "value": 100})");
  EXPECT_EQ(angle.status, 400);
  EXPECT_NE(json::parse(angle.body)["error"].get<std::string>().find("°"),
            std::string::npos)
      << angle.body;
  EXPECT_EQ(std::memcmp(&before, &record(), sizeof before), 0);
  EXPECT_NEAR(record().fNumberParam->value, 5.6, 1e-12);
}

TEST_F(SettingsPageTest, AnimatedValuesAreReplacedOnlyWhenAskedAndUndone) {
  {
    host::Session animated(LENSFALL_MODULE_PATH);
    animated.openScene(scenePath);
    HostInstance instance = animated.instances().front();
    json data = animated.filter().save(instance);
    cli::applySetting(data, "strength=0:1,1:3", animated.scene());
    animated.filter().load(instance, data);
    animated.saveScene(scenePath);
  }
  open();
  json form = json::parse(get("/api/form").body);
  ASSERT_EQ(control(form, kStrength)["envelope"], true);
  EXPECT_EQ(form["unsaved"], false);
  EXPECT_EQ(form["undo"], 0);

  cli::PageResponse response =
      post("/api/value", R"({"id": 32774, "text": "2"})");
  EXPECT_EQ(response.status, 409);
  EXPECT_EQ(json::parse(response.body)["animated"], true);
  EXPECT_FALSE(record().strengthParam->envelope.empty());

  response = post("/api/value",
                  R"({"id": 32774, "text": "2", "replaceAnimation": true})");
  ASSERT_EQ(response.status, 200) << response.body;
  form = json::parse(response.body);
  EXPECT_EQ(control(form, kStrength)["envelope"], false);
  EXPECT_EQ(control(form, kStrength)["value"], 2);
  EXPECT_EQ(form["unsaved"], true);
  EXPECT_EQ(form["undo"], 1);

  response = post("/api/undo", "{}");
  ASSERT_EQ(response.status, 200) << response.body;
  form = json::parse(response.body);
  EXPECT_EQ(control(form, kStrength)["envelope"], true);
  EXPECT_FALSE(record().strengthParam->envelope.empty());
  EXPECT_EQ(post("/api/undo", "{}").status, 409);

  ASSERT_EQ(post("/api/save", "{}").status, 200);
  EXPECT_EQ(json::parse(get("/api/form").body)["unsaved"], false);
}

TEST_F(SettingsPageTest, TheFrameControlMovesAnimatedValuesButIsNotSaved) {
  {
    host::Session animated(LENSFALL_MODULE_PATH);
    animated.openScene(scenePath);
    HostInstance instance = animated.instances().front();
    json data = animated.filter().save(instance);
    cli::applySetting(data, "strength=0:1,1:3", animated.scene());
    animated.filter().load(instance, data);
    animated.scene().frame = 0;
    animated.saveScene(scenePath);
  }
  open();
  EXPECT_EQ(control(json::parse(get("/api/form").body), kStrength)["value"], 1);
  cli::PageResponse response = post("/api/frame", R"({"frame": 24})");
  ASSERT_EQ(response.status, 200) << response.body;
  json form = json::parse(response.body);
  EXPECT_EQ(form["frame"], 24);
  EXPECT_NEAR(control(form, kStrength)["value"].get<double>(), 3.0, 1e-9);
  for (const char *bad : {R"({"frame": -1})", R"({"frame": 1.5})",
                          R"({"frame": "2"})", "{}", "junk"}) {
    EXPECT_EQ(post("/api/frame", bad).status, 400) << bad;
  }
  ASSERT_EQ(post("/api/save", "{}").status, 200);
  page.reset();
  session.reset();
  EXPECT_EQ(json::parse(std::ifstream(scenePath))["frame"], 0);
}

TEST_F(SettingsPageTest, ClickingThePreviewFocusesAtTheDepthThere) {
  host::Frame frame = smallFrame();
  frame.depth[3 * 12 + 5] = 6.5f;
  frame.depth[0] = 0.0f;
  frame.depth[1] = INFINITY;
  open(frame);
  cli::PageResponse response = post("/api/focus", R"({"x": 5, "y": 3})");
  ASSERT_EQ(response.status, 200) << response.body;
  EXPECT_EQ(json::parse(response.body)["focusDistance"], 6.5);
  EXPECT_EQ(session->scene().camera->lens.focalDistance, 6.5);
  EXPECT_EQ(json::parse(response.body)["unsaved"], true);
  for (const char *bad :
       {R"({"x": 0, "y": 0})", R"({"x": 12, "y": 0})", R"({"x": -1, "y": 0})",
        R"({"x": 1.5, "y": 0})", R"({"y": 0})", "junk"}) {
    EXPECT_EQ(post("/api/focus", bad).status, 400) << bad;
  }
  EXPECT_EQ(session->scene().camera->lens.focalDistance, 6.5);
  // Undo puts the focus back where it was.
  ASSERT_EQ(post("/api/undo", "{}").status, 200);
  EXPECT_EQ(session->scene().camera->lens.focalDistance,
            HostCameraLens{}.focalDistance);
  // The sky focuses on the distance, where nothing is blurred.
  ASSERT_EQ(post("/api/focus", R"({"x": 1, "y": 0})").status, 200);
  EXPECT_EQ(session->scene().camera->lens.focalDistance, host::kVeryFar);
}

// With the camera's aim known, a click chooses the object nearest the point
// under the cursor, not just one at the same distance: "Left" and "Right"
// are equally far from the camera, on either side of its view.
TEST_F(SettingsPageTest, ClickingThePreviewPicksTheObjectAlongTheRay) {
  {
    host::Session objects(LENSFALL_MODULE_PATH);
    objects.openScene(scenePath);
    HostCameraLens wide;
    wide.horizontalFov = wide.verticalFov = std::numbers::pi / 2.0;
    HostItem &camera = objects.scene().setCamera(wide, {0.0, 0.0, 0.0});
    camera.aim = HostCameraAim{{0.0, 2.0, 0.0}, {0.0, 0.5, 1.0}};
    objects.scene().addObject("Left", {-5.0, 5.0, 0.0});
    objects.scene().addObject("Right", {5.0, 5.0, 0.0});
    objects.saveScene(scenePath);
  }
  host::Frame frame = smallFrame();
  frame.depth.assign(frame.pixels(), float(std::hypot(5.0, 5.0)));
  open(frame);
  ASSERT_TRUE(session->scene().camera->aim) << "kept by the scene file";
  ASSERT_EQ(post("/api/value", R"({"id": 32775, "value": 1})").status, 200);
  for (const auto &[click, object] :
       {std::pair{R"({"x": 11, "y": 4})", "Right"},
        std::pair{R"({"x": 0, "y": 3})", "Left"},
        std::pair{R"({"x": 10, "y": 0})", "Right"}}) {
    const cli::PageResponse response = post("/api/focus", click);
    ASSERT_EQ(response.status, 200) << response.body;
    EXPECT_EQ(json::parse(response.body)["focusObject"], object) << click;
  }
}

TEST_F(SettingsPageTest, ClickingThePreviewPicksTheFocusObjectNearestTheDepth) {
  {
    // The camera is at (0, -8, 1): "Near" lies 5 away, "Far" 20.
    host::Session objects(LENSFALL_MODULE_PATH);
    objects.openScene(scenePath);
    objects.scene().addObject("Near", {0.0, -3.0, 1.0});
    objects.scene().addObject("Far", {0.0, 12.0, 1.0});
    objects.saveScene(scenePath);
  }
  host::Frame frame = smallFrame();
  frame.depth[2 * 12 + 3] = 19.0f;
  frame.depth[2 * 12 + 4] = 6.0f;
  open(frame);
  ASSERT_EQ(post("/api/value", R"({"id": 32775, "value": 1})").status, 200);
  ASSERT_EQ(record().focusItemIndex, 1);
  const struct {
    const char *click;
    const char *object;
    int index;
  } clicks[] = {{R"({"x": 3, "y": 2})", "Far", 2},
                {R"({"x": 4, "y": 2})", "Near", 1}};
  for (const auto &c : clicks) {
    const cli::PageResponse response = post("/api/focus", c.click);
    ASSERT_EQ(response.status, 200) << response.body;
    EXPECT_EQ(json::parse(response.body)["focusObject"], c.object) << c.click;
    EXPECT_EQ(record().focusItemIndex, c.index) << c.click;
  }
  // The camera's own focus is left alone while an object is the focus.
  EXPECT_EQ(session->scene().camera->lens.focalDistance,
            HostCameraLens{}.focalDistance);
  ASSERT_EQ(post("/api/undo", "{}").status, 200);
  EXPECT_EQ(record().focusItemIndex, 2);
}

// A frame of `width` x `height` with a bright pixel in every seven and a
// depth that grows across it, so blur sizes differ from column to column.
host::Frame rampFrame(int width, int height) {
  host::Frame frame(width, height);
  frame.depth.resize(frame.pixels());
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const size_t i = size_t(y) * width + x;
      const float v = i % 7 == 0 ? 6.0f : 0.05f * float(x % 5);
      frame.red[i] = v;
      frame.green[i] = 0.5f * v;
      frame.blue[i] = 0.2f;
      frame.alpha[i] = 1.0f;
      frame.depth[i] = 2.0f + 0.4f * float(x);
    }
  }
  frame.resetOutput();
  return frame;
}

TEST_F(SettingsPageTest, TheOneToOneViewShowsTheFrameFilteredAtItsOwnSize) {
  // The oracle: the frame filtered whole by a session of its own, the
  // scene sized as the frame, as a render would.
  const host::Frame frame = rampFrame(96, 64);
  host::Frame expected = frame;
  {
    host::Session reference(LENSFALL_MODULE_PATH);
    reference.openScene(scenePath);
    reference.scene().width = frame.width;
    reference.scene().height = frame.height;
    reference.services().sceneChanged();
    host::processFrame(reference.filter(), reference.instances().back(),
                       expected);
  }
  open(frame, 48);
  EXPECT_EQ(json::parse(get("/api/form").body)["frameWidth"], 96);
  EXPECT_EQ(decode(get("/api/preview.bmp").body, "bmp").width, 48);

  const struct {
    const char *x, *y, *w, *h;
    cli::Region shown;
  } regions[] = {
      {"10", "20", "30", "16", {10, 20, 30, 16}},
      {"80", "60", "30", "16", {66, 48, 30, 16}},  // moved inside
      {"-9", "-4", "8", "8", {0, 0, 8, 8}},        // moved inside
      {"0", "0", "2000", "2000", {0, 0, 96, 64}},  // cut to the frame
  };
  for (const auto &r : regions) {
    const cli::PageResponse response = get(
        "/api/detail.bmp", {{"x", r.x}, {"y", r.y}, {"w", r.w}, {"h", r.h}});
    ASSERT_EQ(response.status, 200) << response.body;
    const cli::Region s = r.shown;
    EXPECT_EQ(response.headers.at("X-Region"),
              fmt::format("{},{},{},{}", s.x, s.y, s.width, s.height));
    const Decoded shown = decode(response.body, "bmp");
    ASSERT_EQ(shown.width, s.width);
    ASSERT_EQ(shown.height, s.height);
    EXPECT_EQ(shown.pixels,
              cli::displayPixels(expected, cli::Planes::Filtered, 0.0, s))
        << r.x << "," << r.y;
  }
  // The preview is filtered as before: at its own reduced size.
  EXPECT_EQ(session->scene().width, 48);
  EXPECT_EQ(session->scene().height, 32);

  for (const auto &bad : std::vector<std::map<std::string, std::string>>{
           {{"x", "0"}, {"y", "0"}, {"w", "0"}, {"h", "8"}},
           {{"x", "0"}, {"y", "0"}, {"w", "8"}},
           {{"x", "a"}, {"y", "0"}, {"w", "8"}, {"h", "8"}},
           {{"x", "0"}, {"y", "0"}, {"w", "8"}, {"h", "3000"}},
           {{"x", "1.5"}, {"y", "0"}, {"w", "8"}, {"h", "8"}},
       }) {
    EXPECT_EQ(get("/api/detail.bmp", bad).status, 400);
  }
}

TEST_F(SettingsPageTest, PicturesAreFilteredAgainOnlyAfterAChange) {
  open(smallFrame());
  const auto rendered = [&](std::map<std::string, std::string> query = {}) {
    const cli::PageResponse response =
        get("/api/preview.bmp", std::move(query));
    EXPECT_EQ(response.status, 200) << response.body;
    return response.headers.at("X-Rendered");
  };
  EXPECT_EQ(rendered(), "now");
  // Only the display changes: the output planes are shown again.
  EXPECT_EQ(rendered({{"exposure", "2"}}), "earlier");
  EXPECT_EQ(rendered({{"before", "1"}}), "earlier");
  EXPECT_EQ(rendered(), "earlier");
  const struct {
    const char *path, *body;
  } changes[] = {
      {"/api/value", R"({"id": 32776, "text": "4"})"},
      {"/api/frame", R"({"frame": 3})"},
      {"/api/undo", "{}"},
      {"/api/focus", R"({"x": 2, "y": 2})"},
  };
  for (const auto &c : changes) {
    ASSERT_EQ(post(c.path, c.body).status, 200) << c.path;
    EXPECT_EQ(rendered(), "now") << c.path;
    EXPECT_EQ(rendered(), "earlier") << c.path;
  }
  // Refused edits change nothing.
  ASSERT_EQ(post("/api/value", R"({"id": 32776, "text": "e"})").status, 400);
  EXPECT_EQ(rendered(), "earlier");
}

TEST_F(SettingsPageTest, PreviewReportsItsRenderTimeAndShowsExposure) {
  open(smallFrame());
  const cli::PageResponse after = get("/api/preview.bmp");
  ASSERT_EQ(after.status, 200);
  ASSERT_TRUE(after.headers.contains("X-Render-Ms"));
  EXPECT_GE(std::stod(after.headers.at("X-Render-Ms")), 0.0);
  // Before: the input itself, where 4.0 and 0.1 differ.
  const Decoded before =
      decode(get("/api/preview.bmp", {{"before", "1"}}).body, "bmp");
  EXPECT_EQ(before.pixels[0], 255);
  EXPECT_LT(before.pixels[3], 255);
  // Four stops down brings 4.0 below white.
  const Decoded darker = decode(
      get("/api/preview.bmp", {{"before", "1"}, {"exposure", "-4"}}).body,
      "bmp");
  EXPECT_LT(darker.pixels[0], 255);
  EXPECT_GT(darker.pixels[0], 0);
  for (const char *bad : {"x", "100", "nan", "1e9"}) {
    EXPECT_EQ(get("/api/preview.bmp", {{"exposure", bad}}).status, 400) << bad;
  }
}

}  // namespace
}  // namespace lensfall::testing
