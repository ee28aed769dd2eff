// Saving and loading instance data through the loaded module: the item
// sequence, finding the focus object and the image again, host errors, and
// data that is truncated or malformed.
#include <gtest/gtest.h>

#include <string>

#include "host/host_error.h"
#include "tests/support/module_host.h"

namespace lensfall::testing {
namespace {

using host::HostError;
using nlohmann::json;

class PersistenceTest : public ModuleHostTest {
 protected:
  HostInstance freshInstance() {
    if (!filter) activate();
    return filter->create();
  }

  // A fresh instance's data with the focus name replaced.
  json dataWithFocus(const std::string &name) {
    HostInstance instance = freshInstance();
    json data = filter->save(instance);
    data[13] = name;
    return data;
  }
};

TEST_F(PersistenceTest, FreshInstanceRoundTripsWithoutFocusOrImage) {
  activate();
  HostInstance saved = filter->create();
  const json data = filter->save(saved);
  ASSERT_EQ(data.size(), 14u) << data.dump();
  for (int k = 0; k < 7; ++k) EXPECT_TRUE(data[k].contains("param")) << k;
  EXPECT_EQ(data[7], 1);   // useDepth
  EXPECT_EQ(data[8], 0);   // keepFarSharp
  EXPECT_EQ(data[9], 1);   // frontBlur
  EXPECT_EQ(data[10], 1);  // backBlur
  EXPECT_EQ(data[11], 0);  // apertureShape
  EXPECT_EQ(data[12], 5);  // vertexCount
  EXPECT_EQ(data[13], "(none)");

  HostInstance loaded = filter->create();
  settingsOf(loaded).useDepth = 0;
  settingsOf(loaded).vertexCount = 9;
  filter->load(loaded, data);
  EXPECT_EQ(filter->save(loaded), data);
  EXPECT_EQ(settingsOf(loaded).useDepth, 1);
  EXPECT_EQ(settingsOf(loaded).vertexCount, 5);
  EXPECT_EQ(settingsOf(loaded).focusItem, nullptr);
  EXPECT_EQ(settingsOf(loaded).apertureImage, nullptr);
  EXPECT_EQ(settingsOf(loaded).fNumber, 2.4);
}

TEST_F(PersistenceTest, LoadEvaluatesAtTimeZero) {
  activate();
  HostInstance instance = filter->create();
  json data = filter->save(instance);
  data[0] = {
      {"param",
       {{"type", "number"},
        {"envelope",
         {{{"time", 0.0}, {"value", 1.5}}, {{"time", 2.0}, {"value", 9.0}}}}}}};
  settingsOf(instance).strength = 7.0;
  filter->load(instance, data);
  EXPECT_EQ(settingsOf(instance).strength, 1.5);
}

TEST_F(PersistenceTest, FocusNameFindsTheFirstObjectOfThatName) {
  scene().addObject("Floor");
  HostItem &firstCup = scene().addObject("Cup");
  scene().addObject("Cup");
  const json data = dataWithFocus("Cup");
  HostInstance instance = filter->create();
  filter->load(instance, data);
  EXPECT_EQ(settingsOf(instance).focusItem, &firstCup);
  EXPECT_EQ(settingsOf(instance).focusItemIndex, 2);
  EXPECT_EQ(filter->save(instance)[13], "Cup");
}

TEST_F(PersistenceTest, MissingFocusObjectLoadsAsNone) {
  scene().addObject("Floor");
  for (const char *name : {"Cup", "cup", "Floor ", ""}) {
    HostInstance instance = freshInstance();
    settingsOf(instance).focusItemIndex = 4;
    filter->load(instance, dataWithFocus(name));
    EXPECT_EQ(settingsOf(instance).focusItem, nullptr) << name;
    EXPECT_EQ(settingsOf(instance).focusItemIndex, 0) << name;
  }
}

TEST_F(PersistenceTest, OverlongFocusNameIsCutAndStillTerminated) {
  const std::string longName(300, 'x');
  scene().addObject(std::string(255, 'x'));
  HostItem &exact = *scene().objects.back();
  scene().addObject(longName);
  HostInstance instance = freshInstance();
  filter->load(instance, dataWithFocus(longName));
  // The name buffer holds 255 bytes: the cut name matches the first object.
  EXPECT_EQ(settingsOf(instance).focusItem, &exact);
}

TEST_F(PersistenceTest, ApertureImageIsSavedByReference) {
  HostPixmap grey;
  grey.width = grey.height = 2;
  grey.pixelType = HOST_PIXEL_GREY8;
  grey.bytes = {0, 255, 255, 0};
  scene().addImage("first", grey);
  HostImage &second = scene().addImage("second", grey);
  activate();
  HostInstance instance = filter->create();
  settingsOf(instance).apertureImage = &second;
  const json data = filter->save(instance);
  ASSERT_EQ(data.size(), 15u);
  EXPECT_EQ(data[14], json({{"image", "second"}}));

  HostInstance loaded = filter->create();
  filter->load(loaded, data);
  EXPECT_EQ(settingsOf(loaded).apertureImage, &second);
  EXPECT_EQ(settingsOf(loaded).apertureImageIndex, 2);

  json unknown = data;
  unknown[14] = {{"image", "gone"}};
  filter->load(loaded, unknown);
  EXPECT_EQ(settingsOf(loaded).apertureImage, nullptr);
  EXPECT_EQ(settingsOf(loaded).apertureImageIndex, 0);
}

TEST_F(PersistenceTest, HostErrorFromAParameterStopsTheLoad) {
  HostInstance instance = freshInstance();
  json data = filter->save(instance);
  data[7] = 0;  // useDepth, which must not be read
  services->faults().failVParmLoadAt = services->vparmLoadCalls + 2;
  services->faults().failureText = "envelope block damaged";
  try {
    filter->load(instance, data);
    FAIL() << "load succeeded";
  } catch (const HostError &error) {
    EXPECT_NE(std::string(error.what()).find("envelope block damaged"),
              std::string::npos)
        << error.what();
  }
  EXPECT_EQ(settingsOf(instance).useDepth, 1);
}

TEST_F(PersistenceTest, HostErrorFromAParameterStopsTheSave) {
  HostInstance instance = freshInstance();
  services->faults().failVParmSaveAt = services->vparmSaveCalls + 1;
  EXPECT_THROW(filter->save(instance), HostError);
}

TEST_F(PersistenceTest, DamagedDataIsAClearErrorAndNeverACrash) {
  HostInstance instance = freshInstance();
  const json good = filter->save(instance);
  auto with = [&](size_t item, json value) {
    json data = good;
    data[item] = std::move(value);
    return data;
  };
  auto truncated = [&](size_t items) {
    json data = json::array();
    for (size_t k = 0; k < items; ++k) data.push_back(good[k]);
    return data;
  };
  struct Case {
    const char *name;
    json data;
    const char *expected;
  };
  const Case cases[] = {
      {"not a list", json::object(), "not a list"},
      {"empty", json::array(), "item 1"},
      {"ends inside the parameters", truncated(3), "item 4"},
      {"ends before the integers", truncated(7), "item 8"},
      {"ends before the name", truncated(13), "item 14"},
      {"text where an integer belongs", with(9, "on"), "item 10"},
      {"integer beyond 32 bits", with(12, 1LL << 40), "item 13"},
      {"fraction where an integer belongs", with(11, 1.5), "item 12"},
      {"integer where the name belongs", with(13, 3), "item 14"},
      {"block of the wrong type",
       with(0, {{"param", {{"type", "angle"}, {"value", 1}}}}), "cannot load"},
      {"block without a value", with(3, {{"param", {{"type", "number"}}}}),
       "needs a finite value"},
      {"envelope of garbage",
       with(3, {{"param", {{"type", "number"}, {"envelope", {1, 2}}}}}),
       "key must be an object"},
      {"image reference that is not a name",
       [&] {
         json d = good;
         d.push_back({{"image", 12}});
         return d;
       }(),
       "image"},
      {"items left over",
       [&] {
         json d = good;
         d.push_back(7);
         d.push_back(8);
         return d;
       }(),
       "were not read"},
  };
  for (const Case &c : cases) {
    try {
      filter->load(instance, c.data);
      ADD_FAILURE() << c.name << ": loaded";
    } catch (const HostError &error) {
      EXPECT_NE(std::string(error.what()).find(c.expected), std::string::npos)
          << c.name << ": " << error.what();
    }
  }
  // The instance still works after every failed load.
  filter->load(instance, good);
  EXPECT_EQ(filter->save(instance), good);
}

}  // namespace
}  // namespace lensfall::testing
