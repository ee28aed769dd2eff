// Files for tests: a fresh folder per test, and a whole file's bytes.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace lensfall::testing {

// A file's bytes as they stand, empty when it cannot be read.
inline std::string readText(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A fresh folder for one test, removed with it.
class TempDir {
 public:
  explicit TempDir(const std::string &name)
      : path_(std::filesystem::path(::testing::TempDir()) /
              ("lensfall_" + name + "_" + std::to_string(getpid()))) {
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  const std::filesystem::path &path() const { return path_; }
  std::filesystem::path operator/(const std::string &name) const {
    return path_ / name;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace lensfall::testing
