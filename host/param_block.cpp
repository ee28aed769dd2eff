#include "host/param_block.h"

#include <fmt/format.h>

#include <cmath>

#include "host/host_error.h"
#include "host/text_codec.h"

namespace lensfall::host {

std::string_view vparmTypeName(int type) {
  switch (type) {
    case HOST_VPARM_NUMBER:
      return "number";
    case HOST_VPARM_PERCENT:
      return "percent";
    case HOST_VPARM_DISTANCE:
      return "distance";
    case HOST_VPARM_ANGLE:
      return "angle";
    default:
      return "unknown";
  }
}

int vparmTypeFromName(std::string_view name) {
  for (int type : {HOST_VPARM_NUMBER, HOST_VPARM_PERCENT, HOST_VPARM_DISTANCE,
                   HOST_VPARM_ANGLE}) {
    if (vparmTypeName(type) == name) return type;
  }
  return 0;
}

nlohmann::json paramBlock(const HostVParm &parm) {
  nlohmann::json block;
  block["type"] = vparmTypeName(parm.type);
  try {
    block["channel"] = cp932ToUtf8(parm.channelName);
  } catch (const HostError &) {
    // A channel name is only a label here; an unreadable one is left out.
  }
  if (parm.envelope.empty()) {
    block["value"] = parm.value;
  } else {
    auto &keys = block["envelope"] = nlohmann::json::array();
    for (const Key &key : parm.envelope.keys()) {
      keys.push_back({{"time", key.time},
                      {"value", key.value},
                      {"shape", keyShapeName(key.shape)}});
    }
  }
  return block;
}

namespace {

std::optional<double> finiteNumber(const nlohmann::json &object,
                                   const char *name) {
  const auto found = object.find(name);
  if (found == object.end() || !found->is_number()) return std::nullopt;
  const double value = found->get<double>();
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::string> readParamBlock(const nlohmann::json &block,
                                          HostVParm &parm) {
  if (!block.is_object()) return "a parameter block must be an object";
  const auto type = block.find("type");
  if (type == block.end() || !type->is_string()) {
    return "a parameter block needs a type";
  }
  const int typeCode = vparmTypeFromName(type->get<std::string>());
  if (typeCode == 0) {
    return fmt::format("unknown parameter type {}", type->dump());
  }
  if (typeCode != parm.type) {
    return fmt::format("a {} parameter cannot load a {} block",
                       vparmTypeName(parm.type), vparmTypeName(typeCode));
  }
  Envelope envelope;
  const auto keys = block.find("envelope");
  if (keys != block.end()) {
    if (!keys->is_array() || keys->empty()) {
      return "an envelope must be a non-empty list of keys";
    }
    for (const auto &entry : *keys) {
      if (!entry.is_object()) return "an envelope key must be an object";
      const auto time = finiteNumber(entry, "time");
      const auto value = finiteNumber(entry, "value");
      if (!time || !value) {
        return "an envelope key needs a finite time and value";
      }
      Key key{*time, *value, KeyShape::Linear};
      const auto shape = entry.find("shape");
      if (shape != entry.end()) {
        if (!shape->is_string()) return "a key shape must be a name";
        try {
          key.shape = keyShapeFromName(shape->get<std::string>());
        } catch (const HostError &error) {
          return std::string(error.what());
        }
      }
      envelope.setKey(key);
    }
  }
  const auto value = finiteNumber(block, "value");
  if (keys == block.end() && !value) {
    return "a parameter block needs a finite value or an envelope";
  }
  parm.envelope = std::move(envelope);
  if (value) parm.value = *value;
  return std::nullopt;
}

}  // namespace lensfall::host
