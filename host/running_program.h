// Where the running program's file is, for what lives beside it (the
// module, the image plug-in) and for starting it again.
#pragma once

#include <filesystem>
#include <system_error>

namespace lensfall::host {

// The running program's file; empty when the system does not say.
inline std::filesystem::path runningProgram() {
  std::error_code error;
  auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : self;
}

}  // namespace lensfall::host
