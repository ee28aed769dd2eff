// The stand-in host's own save format for a variant parameter:
//   {"type": "percent", "channel": "...", "value": 1.0}
//   {"type": "number", "channel": "...", "envelope": [
//       {"time": 0.0, "value": 2.0, "shape": "linear"}, ...]}
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "host/services.h"

namespace lensfall::host {

nlohmann::json paramBlock(const HostVParm &parm);

// Reads a block into parm; returns what is wrong with it, if anything.
// A block of another type than parm's is refused.
std::optional<std::string> readParamBlock(const nlohmann::json &block,
                                          HostVParm &parm);

std::string_view vparmTypeName(int type);
// 0 for an unknown name.
int vparmTypeFromName(std::string_view name);

}  // namespace lensfall::host
