// Activation of the two servers: the version check, the callbacks the filter
// installs, the services it looks up and its result codes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "hostapi/filter.h"
#include "hostapi/panel.h"
#include "tests/support/module_host.h"

namespace lensfall::testing {
namespace {

const std::vector<std::string> kFilterServices = {
    "LW Image List 3", "Image Utility",   "LW Camera Info",
    "LW Scene Info 2", "Info Messages 2", "LW Item Info 3",
    "LW Time Info",    "LWVParmFuncs 2",  "Animation Envelopes"};

struct HandlerRecords {
  HostInstanceFuncs instance{};
  HostItemFuncs item{};
  HostFilterHandler handler{&instance, &item, nullptr, nullptr};
};

bool allZero(const void *record, size_t size) {
  const auto *bytes = static_cast<const unsigned char *>(record);
  for (size_t k = 0; k < size; ++k) {
    if (bytes[k] != 0) return false;
  }
  return true;
}

class ActivationTest : public ModuleHostTest {
 protected:
  int activateFilter(int version, HostFilterHandler &handler) {
    return module->activate("ImageFilterHandler", "Lensfall", version,
                            services->lookup(), &handler);
  }
};

TEST_F(ActivationTest, OtherVersionsAreRefusedUntouched) {
  for (int version : {3, 5}) {
    HandlerRecords records;
    EXPECT_EQ(activateFilter(version, records.handler), 1) << version;
    EXPECT_TRUE(allZero(&records.instance, sizeof records.instance));
    EXPECT_TRUE(allZero(&records.item, sizeof records.item));
    EXPECT_EQ(records.handler.process, nullptr);
    EXPECT_EQ(records.handler.flags, nullptr);
  }
  EXPECT_TRUE(services->lookups.empty());
}

TEST_F(ActivationTest, VersionFourInstallsEverythingAndLooksUpNineServices) {
  HandlerRecords records;
  EXPECT_EQ(activateFilter(4, records.handler), 0);
  EXPECT_NE(records.instance.create, nullptr);
  EXPECT_NE(records.instance.destroy, nullptr);
  EXPECT_NE(records.instance.copy, nullptr);
  EXPECT_NE(records.instance.load, nullptr);
  EXPECT_NE(records.instance.save, nullptr);
  EXPECT_EQ(records.instance.describe, nullptr);
  EXPECT_NE(records.handler.process, nullptr);
  EXPECT_NE(records.handler.flags, nullptr);
  EXPECT_NE(records.item.useItems, nullptr);
  EXPECT_NE(records.item.changeID, nullptr);
  EXPECT_EQ(services->lookups, kFilterServices);
}

TEST_F(ActivationTest, MissingServiceGivesTwoWithCallbacksInstalled) {
  services->faults().withheld = {"Info Messages 2"};
  HandlerRecords records;
  EXPECT_EQ(activateFilter(4, records.handler), 2);
  EXPECT_NE(records.instance.create, nullptr);
  EXPECT_NE(records.handler.process, nullptr);
  EXPECT_NE(records.item.changeID, nullptr);
  // Every service is still asked for, in order.
  EXPECT_EQ(services->lookups, kFilterServices);
}

TEST_F(ActivationTest, HandlerWithoutItemTableActivates) {
  HandlerRecords records;
  records.handler.item = nullptr;
  EXPECT_EQ(activateFilter(4, records.handler), 0);
  EXPECT_EQ(records.handler.item, nullptr);
  EXPECT_TRUE(allZero(&records.item, sizeof records.item));
  EXPECT_NE(records.instance.create, nullptr);
}

TEST_F(ActivationTest, InterfaceServerChecksVersionAndPanelServices) {
  HostInterfaceRecord record{};
  for (int version : {3, 5}) {
    EXPECT_EQ(module->activate("ImageFilterInterface", "Lensfall", version,
                               services->lookup(), &record),
              1);
  }
  EXPECT_TRUE(services->lookups.empty());
  // A host without the window service.
  services->faults().withheld = {"LWPanelServices"};
  EXPECT_EQ(module->activate("ImageFilterInterface", "Lensfall", 4,
                             services->lookup(), &record),
            2);
  EXPECT_EQ(services->lookups,
            (std::vector<std::string>{"LWXPanel", "LWPanelServices"}));
}

}  // namespace
}  // namespace lensfall::testing
