// Lets fmt print filesystem paths as plain text, for error messages.
#pragma once

#include <fmt/format.h>

#include <filesystem>
#include <string>

template <>
struct fmt::formatter<std::filesystem::path> : fmt::formatter<std::string> {
  auto format(const std::filesystem::path &path,
              format_context &context) const {
    return fmt::formatter<std::string>::format(path.string(), context);
  }
};
