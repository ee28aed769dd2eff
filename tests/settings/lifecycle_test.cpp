// Creating, copying and destroying settings records, their defaults and
// their evaluation at a time.
#include "settings/lifecycle.h"

#include <gtest/gtest.h>

#include <cmath>

#include "host/host_error.h"
#include "host/text_codec.h"
#include "hostlink/service_table.h"
#include "settings/current_settings.h"
#include "tests/support/module_host.h"

namespace lensfall::testing {
namespace {

using host::HostError;

HostVParm &parm(HostVParmID id) { return *id; }

class LifecycleTest : public ModuleHostTest {
 protected:
  void SetUp() override {
    ModuleHostTest::SetUp();
    activate();
  }
};

TEST_F(LifecycleTest, FreshRecordHasItsDefaults) {
  const FilterSettings &s = settingsOf(filter->create());
  EXPECT_EQ(s.strength, 0.0);
  EXPECT_EQ(s.noBlurDistance, 100.0);
  EXPECT_EQ(s.fNumber, 2.4);
  EXPECT_EQ(s.frontMax, 1.0);
  EXPECT_EQ(s.backMax, 1.0);
  EXPECT_EQ(s.rotation, 0.0);
  EXPECT_EQ(s.deform, 0.0);
  EXPECT_EQ(s.useDepth, 1);
  EXPECT_EQ(s.keepFarSharp, 0);
  EXPECT_EQ(s.frontBlur, 1);
  EXPECT_EQ(s.backBlur, 1);
  EXPECT_EQ(s.apertureShape, 0);
  EXPECT_EQ(s.vertexCount, 5);
  EXPECT_EQ(s.focusItem, nullptr);
  EXPECT_EQ(s.focusItemIndex, 0);
  EXPECT_EQ(s.apertureImage, nullptr);
  EXPECT_EQ(s.apertureImageIndex, 0);
  EXPECT_EQ(s.kernelIsColor, 0);
  EXPECT_EQ(s.angleScale, 1.0);
  EXPECT_EQ(s.toneExponent, 2.5);
  EXPECT_DOUBLE_EQ(s.toneScale, 9.630515818302953e-05);
  EXPECT_EQ(s.evalTime, 0.0);
  ASSERT_NE(s.channelGroup, nullptr);
  EXPECT_EQ(s.channelGroup->name, "Lensfall");
  EXPECT_EQ(s.channelGroup->parent, nullptr);

  struct Expected {
    HostVParmID FilterSettings::*param;
    int type;
    const char *channelUtf8;
    double value;
  };
  const Expected expected[] = {
      {&FilterSettings::strengthParam, 0x10, "強さ", 0.0},
      {&FilterSettings::noBlurDistanceParam, 0x30, "ぼかさない距離", 100.0},
      {&FilterSettings::fNumberParam, 0x10, "絞り", 2.4},
      {&FilterSettings::frontMaxParam, 0x20, "前ボケ最大サイズ", 1.0},
      {&FilterSettings::backMaxParam, 0x20, "後ボケ最大サイズ", 1.0},
      {&FilterSettings::rotationParam, 0x40, "角度", 0.0},
      {&FilterSettings::deformParam, 0x20, "変形", 0.0},
  };
  for (const Expected &e : expected) {
    const HostVParm &p = parm(s.*e.param);
    EXPECT_EQ(p.type, e.type) << e.channelUtf8;
    EXPECT_EQ(host::cp932ToUtf8(p.channelName), e.channelUtf8);
    EXPECT_EQ(p.group, s.channelGroup) << e.channelUtf8;
    EXPECT_EQ(p.valueAt(0.0), e.value) << e.channelUtf8;
  }
}

TEST_F(LifecycleTest, RefusedParameterFailsCreateAfterTryingAllSeven) {
  services->faults().failVParmCreateAt = 2;
  try {
    filter->create();
    FAIL() << "create succeeded";
  } catch (const HostError &error) {
    EXPECT_NE(std::string(error.what()).find("エンベロープを作成できません"),
              std::string::npos)
        << error.what();
  }
  EXPECT_EQ(services->vparmCreateCalls, 7);
  // The record the host never received keeps nothing alive.
  EXPECT_EQ(services->liveVParms(), 0u);
}

TEST_F(LifecycleTest, CopyHasItsOwnEnvelopesAndOutlivesItsSource) {
  HostInstance source = filter->create();
  HostInstance copy = filter->create();
  parm(settingsOf(source).fNumberParam).envelope.setKey({0.0, 2.0});
  parm(settingsOf(source).fNumberParam).envelope.setKey({1.0, 4.0});
  settingsOf(source).apertureShape = 2;
  HostVParmID copyHandle = settingsOf(copy).fNumberParam;
  HostChanGroupID copyGroup = settingsOf(copy).channelGroup;

  filter->copy(copy, source);
  EXPECT_EQ(settingsOf(copy).fNumberParam, copyHandle);
  EXPECT_EQ(settingsOf(copy).channelGroup, copyGroup);
  EXPECT_EQ(settingsOf(copy).apertureShape, 2);
  EXPECT_EQ(parm(copyHandle).valueAt(1.0), 4.0);

  parm(copyHandle).envelope.setKey({1.0, 8.0});
  EXPECT_EQ(parm(settingsOf(source).fNumberParam).valueAt(1.0), 4.0);

  filter->destroy(source);
  const nlohmann::json data = filter->save(copy);
  filter->load(copy, data);
  EXPECT_EQ(parm(copyHandle).valueAt(1.0), 8.0);
  EXPECT_EQ(settingsOf(copy).apertureShape, 2);
}

// The module's own code, linked into the test, over the stand-in host's
// services: this reaches the module-wide state that a host cannot see.
class InProcessTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(acquireServices(host.lookup())); }
  host::HostServices host;
};

TEST_F(InProcessTest, EvaluationFollowsAnEnvelope) {
  const char *error = nullptr;
  FilterSettings *s = createSettings(&error);
  ASSERT_NE(s, nullptr);
  parm(s->fNumberParam).envelope.setKey({0.0, 2.0});
  parm(s->fNumberParam).envelope.setKey({1.0, 4.0});
  s->focalLength = 0.05;
  s->evalTime = 7.0;
  evaluate(*s, 0.0);
  EXPECT_EQ(s->fNumber, 2.0);
  evaluate(*s, 1.0);
  EXPECT_EQ(s->fNumber, 4.0);
  EXPECT_EQ(s->focalLength, 0.05);
  EXPECT_EQ(s->evalTime, 7.0);
  EXPECT_EQ(s->strength, 0.0);
  destroySettings(s);
}

TEST_F(InProcessTest, CurrentSettingsNeverDesignatesAReleasedRecord) {
  const char *error = nullptr;
  FilterSettings *first = createSettings(&error);
  EXPECT_EQ(currentSettings, first);
  FilterSettings *second = createSettings(&error);
  EXPECT_EQ(currentSettings, second);
  destroySettings(first);
  EXPECT_EQ(currentSettings, second);
  destroySettings(second);
  EXPECT_EQ(currentSettings, nullptr);

  host.faults().failVParmCreateAt = host.vparmCreateCalls + 6;
  EXPECT_EQ(createSettings(&error), nullptr);
  EXPECT_EQ(currentSettings, nullptr);
  EXPECT_EQ(host.liveVParms(), 0u);
}

}  // namespace
}  // namespace lensfall::testing
