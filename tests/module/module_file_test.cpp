// Loading the built module file the way a host does, and the loader's
// errors for files that are not good modules.
#include "host/module_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "host/host_error.h"
#include "tests/support/module_host.h"

namespace lensfall::testing {
namespace {

using host::HostError;
using host::ModuleFile;

std::string commandOutput(const std::string &command) {
  std::string output;
  FILE *pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[512];
  while (fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
  pclose(pipe);
  return output;
}

TEST(ModuleFile, ExportsOnlyTheDescriptor) {
  const std::string symbols = commandOutput(
      std::string("nm -D --defined-only ") + LENSFALL_MODULE_PATH);
  ASSERT_FALSE(symbols.empty());
  int lines = 0;
  for (size_t at = 0; at < symbols.size();
       at = symbols.find('\n', at) + 1, ++lines) {
    if (symbols.find('\n', at) == std::string::npos) break;
  }
  EXPECT_EQ(lines, 1) << symbols;
  EXPECT_NE(symbols.find(" D _mod_descrip"), std::string::npos) << symbols;
}

TEST(ModuleFile, ReadsDescriptorAndServers) {
  host::HostServices services;
  ModuleFile module(LENSFALL_MODULE_PATH);
  EXPECT_EQ(module.descriptor().sync, 0x04121994u);
  EXPECT_EQ(module.descriptor().systemVersion, 3u);
  EXPECT_EQ(module.descriptor().machine, 0x300u);
  ASSERT_EQ(module.servers().size(), 2u);
  EXPECT_EQ(module.servers()[0].className, "ImageFilterHandler");
  EXPECT_EQ(module.servers()[0].name, "Lensfall");
  EXPECT_EQ(module.servers()[1].className, "ImageFilterInterface");
  EXPECT_EQ(module.servers()[1].name, "Lensfall");
  EXPECT_THROW(module.activate("ImageFilterHandler", "Other", 4,
                               services.lookup(), nullptr),
               HostError);
}

void expectLoadError(const std::string &path, const std::string &cause) {
  try {
    ModuleFile module(path);
    ADD_FAILURE() << path << " loaded";
  } catch (const HostError &error) {
    const std::string message = error.what();
    EXPECT_NE(message.find(path), std::string::npos) << message;
    EXPECT_NE(message.find(cause), std::string::npos) << message;
  }
}

TEST(ModuleFile, RefusesFilesThatAreNotGoodModules) {
  const std::string text = ::testing::TempDir() + "not_a_module.p";
  std::ofstream(text) << "just text\n";
  expectLoadError(text, "not a loadable shared library");
  expectLoadError(::testing::TempDir() + "missing.p", "no such module file");
  expectLoadError(LENSFALL_FIXTURE_NO_DESCRIPTOR, "no module descriptor");
  expectLoadError(LENSFALL_FIXTURE_BAD_SYNC,
                  "wrong synchronisation word 0x12345678");
}

}  // namespace
}  // namespace lensfall::testing
