// A host with the module's filter and interface servers activated, and the
// user's side of the settings window: open the options, find the form.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "host/filter_host.h"
#include "host/forms/panel_host.h"
#include "hostapi/panel.h"
#include "tests/support/module_host.h"

namespace lensfall::testing {

class PanelTest : public ModuleHostTest {
 protected:
  void SetUp() override {
    ModuleHostTest::SetUp();
    activate();
    ASSERT_EQ(
        module->activate(host::kInterfaceClass, host::kLensfallServer,
                         HOST_INTERFACE_VERSION, services->lookup(), &record),
        HOST_ACTIVATE_OK);
  }

  host::PanelHost &panels() { return host::PanelHost::active(); }

  // What the options callback answered, in UTF-8; empty when it opened.
  std::string openOptions(HostInstance instance = nullptr) {
    return host::moduleText(record.options(instance));
  }

  // The form of the open settings window; fails the test when none.
  host::FormModel form() {
    HostForm *open = panels().openForm();
    EXPECT_NE(open, nullptr) << "no settings window shows a form";
    if (open == nullptr) throw std::runtime_error("no open form");
    return host::FormModel(*open);
  }

  HostInstance createAndOpen() {
    HostInstance instance = filter->create();
    EXPECT_EQ(openOptions(instance), "");
    return instance;
  }

  HostInterfaceRecord record{};
};

// Control ids of the settings form.
enum : unsigned long {
  kFrontBlur = 0x8002,
  kFrontMax = 0x8003,
  kBackBlur = 0x8004,
  kBackMax = 0x8005,
  kStrength = 0x8006,
  kFocus = 0x8007,
  kFNumber = 0x8008,
  kUseDepth = 0x8009,
  kKeepFarSharp = 0x800a,
  kNoBlurDistance = 0x800b,
  kShape = 0x800c,
  kRotation = 0x800d,
  kDeform = 0x800e,
  kThumbnail = 0x800f,
  kVertexCount = 0x8010,
  kImage = 0x8011,
};

inline constexpr char kNoPanelMessage[] = "なぜかパネルを作成できません";

}  // namespace lensfall::testing
