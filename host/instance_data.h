// The load and save states over one instance's data. The data is a JSON
// array of items in the order the instance wrote them:
//   a number          one 32-bit integer
//   {"ints": [...]}   several integers written at once
//   a string          a text (UTF-8 here, code page 932 across the boundary)
//   {"param": {...}}  a variant parameter's block
//   {"image": "name"} a reference to an image of the scene's image list
// Reads never run past the data or leave a string unterminated; the first
// problem is kept and reported by the host after the instance's load.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "hostapi/io_state.h"

namespace lensfall::host {

class DataReader {
 public:
  explicit DataReader(const nlohmann::json &items);

  const HostLoadState &state() const { return state_; }

  int readIntegers(int32_t *values, int n);
  int readString(char *buffer, int size);
  // The next item when it is an object holding `key`; null otherwise. A
  // required item that is missing is recorded as a problem.
  const nlohmann::json *takeObject(const char *key, bool required);

  void fail(const std::string &problem);
  const std::optional<std::string> &problem() const { return problem_; }
  size_t position() const { return next_; }
  size_t unread() const;

  // Keeps an error text alive for as long as the reader lives.
  const char *keepText(std::string text);

 private:
  const nlohmann::json *peek();
  const nlohmann::json &items_;
  size_t next_ = 0;
  std::optional<std::string> problem_;
  std::string keptText_;
  HostLoadState state_;
};

class DataWriter {
 public:
  DataWriter();
  const HostSaveState &state() const { return state_; }
  void writeIntegers(const int32_t *values, int n);
  void writeString(const char *cp932);
  void writeItem(nlohmann::json item);
  nlohmann::json take() { return std::move(items_); }
  // Host callbacks never throw into the module; the first problem is kept.
  void fail(const std::string &problem);
  const std::optional<std::string> &problem() const { return problem_; }

 private:
  nlohmann::json items_ = nlohmann::json::array();
  std::optional<std::string> problem_;
  HostSaveState state_;
};

// The reader or writer behind a state the host made.
DataReader &readerOf(const HostLoadState *state);
DataWriter &writerOf(const HostSaveState *state);

}  // namespace lensfall::host
