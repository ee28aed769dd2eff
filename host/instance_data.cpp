#include "host/instance_data.h"

#include <fmt/format.h>

#include <cstring>
#include <limits>

#include "host/host_error.h"
#include "host/text_codec.h"

namespace lensfall::host {

namespace {

int readI4(void *data, int32_t *values, int n) {
  return static_cast<DataReader *>(data)->readIntegers(values, n);
}

int readStr(void *data, char *buffer, int size) {
  return static_cast<DataReader *>(data)->readString(buffer, size);
}

void writeI4(void *data, const int32_t *values, int n) {
  static_cast<DataWriter *>(data)->writeIntegers(values, n);
}

void writeStr(void *data, const char *text) {
  static_cast<DataWriter *>(data)->writeString(text);
}

std::optional<int32_t> asInt32(const nlohmann::json &item) {
  if (item.is_number_integer()) {
    const auto value = item.get<int64_t>();
    if (value >= std::numeric_limits<int32_t>::min() &&
        value <= std::numeric_limits<int32_t>::max()) {
      return int32_t(value);
    }
  } else if (item.is_number_unsigned()) {
    const auto value = item.get<uint64_t>();
    if (value <= uint64_t(std::numeric_limits<int32_t>::max())) {
      return int32_t(value);
    }
  }
  return std::nullopt;
}

}  // namespace

DataReader::DataReader(const nlohmann::json &items)
    : items_(items), state_{0, this, readI4, readStr} {
  if (!items_.is_array()) fail("instance data is not a list of items");
}

const nlohmann::json *DataReader::peek() {
  if (problem_ || !items_.is_array() || next_ >= items_.size()) return nullptr;
  return &items_[next_];
}

size_t DataReader::unread() const {
  return items_.is_array() && next_ < items_.size() ? items_.size() - next_ : 0;
}

void DataReader::fail(const std::string &problem) {
  if (!problem_) problem_ = fmt::format("item {}: {}", next_ + 1, problem);
}

const char *DataReader::keepText(std::string text) {
  keptText_ = std::move(text);
  return keptText_.c_str();
}

int DataReader::readIntegers(int32_t *values, int n) {
  const nlohmann::json *item = peek();
  if (item == nullptr) {
    if (!problem_) fail("data ends where an integer was expected");
    return 0;
  }
  if (values == nullptr || n <= 0) return 0;
  if (n == 1) {
    const auto value = asInt32(*item);
    if (!value) {
      fail("expected a 32-bit integer, found " + item->dump());
      return 0;
    }
    values[0] = *value;
    ++next_;
    return 1;
  }
  const auto ints = item->is_object() ? item->find("ints") : item->end();
  if (ints == item->end() || !ints->is_array() || ints->size() != size_t(n)) {
    fail(fmt::format("expected {} integers", n));
    return 0;
  }
  int32_t parsed[64];
  if (n > 64) {
    fail("too many integers in one item");
    return 0;
  }
  for (int k = 0; k < n; ++k) {
    const auto value = asInt32((*ints)[size_t(k)]);
    if (!value) {
      fail("expected 32-bit integers");
      return 0;
    }
    parsed[k] = *value;
  }
  std::memcpy(values, parsed, sizeof(int32_t) * size_t(n));
  ++next_;
  return n;
}

int DataReader::readString(char *buffer, int size) {
  if (buffer != nullptr && size > 0) buffer[0] = '\0';
  const nlohmann::json *item = peek();
  if (item == nullptr) {
    if (!problem_) fail("data ends where a text was expected");
    return -1;
  }
  if (!item->is_string()) {
    fail("expected a text, found " + item->dump());
    return -1;
  }
  std::string text;
  try {
    text = utf8ToCp932(item->get_ref<const std::string &>());
  } catch (const HostError &error) {
    fail(error.what());
    return -1;
  }
  ++next_;
  if (buffer == nullptr || size <= 0) return 0;
  const size_t length = std::min(text.size(), size_t(size - 1));
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
  return int(length);
}

const nlohmann::json *DataReader::takeObject(const char *key, bool required) {
  const nlohmann::json *item = peek();
  if (item != nullptr && item->is_object() && item->contains(key)) {
    ++next_;
    return &(*item)[key];
  }
  if (required && !problem_) {
    fail(item == nullptr
             ? fmt::format("data ends where a {} was expected", key)
             : fmt::format("expected a {}, found {}", key, item->dump()));
  }
  return nullptr;
}

DataWriter::DataWriter() : state_{0, this, writeI4, writeStr} {}

void DataWriter::writeIntegers(const int32_t *values, int n) {
  if (values == nullptr || n <= 0) return;
  if (n == 1) {
    items_.push_back(values[0]);
    return;
  }
  items_.push_back({{"ints", std::vector<int32_t>(values, values + n)}});
}

void DataWriter::writeString(const char *cp932) {
  try {
    items_.push_back(cp932ToUtf8(cp932 != nullptr ? cp932 : ""));
  } catch (const HostError &error) {
    fail(fmt::format("item {}: {}", items_.size() + 1, error.what()));
    items_.push_back("");
  }
}

void DataWriter::fail(const std::string &problem) {
  if (!problem_) problem_ = problem;
}

void DataWriter::writeItem(nlohmann::json item) {
  items_.push_back(std::move(item));
}

DataReader &readerOf(const HostLoadState *state) {
  return *static_cast<DataReader *>(state->readData);
}

DataWriter &writerOf(const HostSaveState *state) {
  return *static_cast<DataWriter *>(state->writeData);
}

}  // namespace lensfall::host
