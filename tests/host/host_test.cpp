// The stand-in host's own machinery: envelopes, resampling, scene files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/envelope.h"
#include "host/host_error.h"
#include "host/scene.h"
#include "host/scene_file.h"
#include "host/session.h"

namespace lensfall::testing {
namespace {

using namespace lensfall::host;
namespace fs = std::filesystem;

TEST(Envelope, InterpolatesAndHoldsItsEnds) {
  Envelope envelope;
  envelope.setKey({1.0, 10.0, KeyShape::Linear});
  envelope.setKey({3.0, 20.0, KeyShape::Stepped});
  envelope.setKey({5.0, 40.0, KeyShape::Linear});
  struct Case {
    double time, value;
  };
  for (const Case c :
       {Case{-4.0, 10.0}, Case{1.0, 10.0}, Case{2.0, 15.0}, Case{3.0, 20.0},
        Case{4.9, 20.0}, Case{5.0, 40.0}, Case{9.0, 40.0}}) {
    EXPECT_DOUBLE_EQ(envelope.valueAt(c.time), c.value) << c.time;
  }
}

TEST(Resample, AreaAverageKeepsThinBrightFeatures) {
  HostPixmap source;
  source.width = source.height = 16;
  source.pixelType = HOST_PIXEL_GREY8;
  source.bytes.assign(256, 0);
  for (int y = 0; y < 16; ++y) source.bytes[size_t(y) * 16 + 5] = 255;
  const HostPixmap small = resamplePixmap(source, 4, 4);
  ASSERT_EQ(small.bytes.size(), 16u);
  for (int y = 0; y < 4; ++y) {
    EXPECT_EQ(small.bytes[size_t(y) * 4 + 0], 0);
    EXPECT_EQ(small.bytes[size_t(y) * 4 + 1], 64);  // a quarter of the area
  }
  const HostPixmap large = resamplePixmap(small, 8, 8);
  EXPECT_EQ(large.bytes[2], 64);
  EXPECT_EQ(large.bytes[3], 64);
}

class SceneFileTest : public ::testing::Test {
 protected:
  // Test binaries run in parallel: each test gets a folder of its own.
  fs::path dir =
      fs::path(::testing::TempDir()) /
      ("lensfall_" + std::to_string(getpid()) + "_" +
       ::testing::UnitTest::GetInstance()->current_test_info()->name());
  void SetUp() override {
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    chmod(dir.c_str(), 0755);
    fs::remove_all(dir);
  }
  static std::string contents(const fs::path &file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
};

TEST_F(SceneFileTest, SessionSavesAndReopensItsInstances) {
  const fs::path path = dir / "scene.json";
  {
    Session session(LENSFALL_MODULE_PATH);
    session.scene().addObject("Floor");
    session.scene().addObject("Cup", {1.0, 2.0, 3.0});
    session.scene().setCamera(HostCameraLens{}, {0, -5, 1});
    HostInstance instance = session.filter().create();
    nlohmann::json data = session.filter().save(instance);
    data[13] = "Cup";
    data[11] = 1;
    session.filter().load(instance, data);
    session.saveScene(path);
  }
  Session session(LENSFALL_MODULE_PATH);
  session.openScene(path);
  ASSERT_EQ(session.instances().size(), 1u);
  const nlohmann::json data = session.filter().save(session.instances()[0]);
  EXPECT_EQ(data[13], "Cup");
  EXPECT_EQ(data[11], 1);
  ASSERT_EQ(session.scene().objects.size(), 2u);
  EXPECT_EQ(session.scene().objects[1]->position.constant[2], 3.0);
}

TEST_F(SceneFileTest, FailedWriteLeavesTheOldFile) {
  const fs::path path = dir / "scene.json";
  writeFileAtomically(path, "old contents\n");
  chmod(dir.c_str(), 0555);
  if (access(dir.c_str(), W_OK) == 0)
    GTEST_SKIP() << "running as a user who can write anywhere";
  EXPECT_THROW(writeFileAtomically(path, "new contents\n"), HostError);
  EXPECT_EQ(contents(path), "old contents\n");
}

TEST_F(SceneFileTest, AFailedSaveLeavesNoTemporaryFiles) {
  const fs::path path = dir / "scene.json";
  writeFileAtomically(path, "old contents\n");
  // A directory in the file's place cannot be replaced by a rename.
  const fs::path blocked = dir / "blocked";
  fs::create_directories(blocked / "inside");
  EXPECT_THROW(writeFileAtomically(blocked, "new\n"), HostError);
  int entries = 0;
  for ([[maybe_unused]] const auto &entry : fs::directory_iterator(dir))
    ++entries;
  EXPECT_EQ(entries, 2);
  EXPECT_EQ(contents(path), "old contents\n");
}

TEST_F(SceneFileTest, BadScenesNameTheFileAndTheValue) {
  struct Case {
    const char *text;
    const char *expected;
  };
  const Case cases[] = {
      {"{ not json", "not valid JSON"},
      {"[]", "must be an object"},
      {"{}", "not a Lensfall scene"},
      {R"({"lensfall_scene": 99})", "newer than"},
      {R"({"lensfall_scene": 1, "fps": 0})", "fps must be above 0"},
      {R"({"lensfall_scene": 1, "width": -3})", "width must be a whole number"},
      {R"({"lensfall_scene": 1, "camera": {"hfov_rad": "wide"}})",
       "camera.hfov_rad"},
      {R"({"lensfall_scene": 1, "objects": [{"position": [0,0,0]}]})",
       "objects[0].name"},
      {R"({"lensfall_scene": 1, "objects": [{"name": "a", "position": [0,0]}]})",
       "objects[0].position"},
      {R"({"lensfall_scene": 1, "images": [{"name": "a", "file": "missing.png"}]})",
       "missing.png"},
      {R"({"lensfall_scene": 1, "filters": [{"server": "Lensfall"}]})",
       "filters[0] has no data"},
      {R"({"lensfall_scene": 1, "filters": [{"server": "Other", "data": []}]})",
       "no filter server"},
      {R"({"lensfall_scene": 1, "filters": [{"server": "Lensfall", "data": [1]}]})",
       "filters[0]"},
  };
  const fs::path path = dir / "bad.json";
  for (const Case &c : cases) {
    writeFileAtomically(path, c.text);
    Session session(LENSFALL_MODULE_PATH);
    try {
      session.openScene(path);
      ADD_FAILURE() << c.text << ": opened";
    } catch (const HostError &error) {
      const std::string message = error.what();
      EXPECT_NE(message.find(path.string()), std::string::npos) << message;
      EXPECT_NE(message.find(c.expected), std::string::npos) << message;
    }
  }
}

}  // namespace
}  // namespace lensfall::testing
