// A test fixture that does what a host does: the stand-in host's services,
// the built module file loaded with dlopen, and its activated filter.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "host/filter_host.h"
#include "host/module_file.h"
#include "host/services.h"
#include "settings/filter_settings.h"

namespace lensfall::testing {

class ModuleHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    services = std::make_unique<host::HostServices>();
    module = std::make_unique<host::ModuleFile>(LENSFALL_MODULE_PATH);
  }

  void TearDown() override {
    filter.reset();
    module.reset();
    services.reset();
  }

  // Activates the filter server; call after arranging the scene or faults.
  host::FilterHost &activate() {
    filter = std::make_unique<host::FilterHost>(*module, *services);
    return *filter;
  }

  host::Scene &scene() { return services->scene(); }

  // The instance is the module's settings record; the layout is shared
  // through the module's header, so a test may look inside.
  static FilterSettings &settingsOf(HostInstance instance) {
    return *static_cast<FilterSettings *>(instance);
  }

  std::unique_ptr<host::HostServices> services;
  std::unique_ptr<host::ModuleFile> module;
  std::unique_ptr<host::FilterHost> filter;
};

}  // namespace lensfall::testing
