// The error every stand-in host operation throws: a message meant for the
// user, naming the file or item and what is wrong with it.
#pragma once

#include <stdexcept>
#include <string>

namespace lensfall::host {

class HostError : public std::runtime_error {
 public:
  explicit HostError(const std::string &message)
      : std::runtime_error(message) {}
};

}  // namespace lensfall::host
