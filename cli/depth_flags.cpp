#include "cli/depth_flags.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <limits>

#include "host/host_error.h"

namespace lensfall::cli {

namespace {

using host::DepthMapping;
using host::HostError;

std::optional<double> number(std::string_view text) {
  if (text == "inf" || text == "infinity") {
    return std::numeric_limits<double>::infinity();
  }
  double value = 0.0;
  const auto result =
      std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size() ||
      std::isnan(value)) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

DepthChoice parseDepthFlags(const DepthFlags &flags) {
  DepthChoice choice;
  if (!flags.measure.empty()) {
    choice.measure = host::parseDepthMeasure(flags.measure);
    if (!choice.measure) {
      throw HostError(fmt::format(
          "--depth-measure: expected planar or distance, not \"{}\"",
          flags.measure));
    }
  }
  host::DepthConvention &map = choice.map;
  if (flags.range.empty()) {
    if (!flags.map.empty() || !flags.nearEnd.empty()) {
      throw HostError(
          "--depth-map and --depth-near describe a normalised depth map; "
          "give its depths with --depth-range NEAR:FAR");
    }
  } else {
    const size_t colon = flags.range.find(':');
    const auto nearDepth = colon == std::string::npos
                               ? std::nullopt
                               : number(flags.range.substr(0, colon));
    const auto farDepth = colon == std::string::npos
                              ? std::nullopt
                              : number(flags.range.substr(colon + 1));
    if (!nearDepth || !farDepth || !(*nearDepth >= 0.0) ||
        !(*farDepth > *nearDepth) || !std::isfinite(*nearDepth)) {
      throw HostError(fmt::format(
          "--depth-range \"{}\": expected NEAR:FAR in scene units, 0 <= NEAR "
          "< FAR",
          flags.range));
    }
    map.nearDepth = *nearDepth;
    map.farDepth = *farDepth;
    if (flags.map.empty() || flags.map == "linear") {
      map.mapping = DepthMapping::Linear;
    } else if (flags.map == "inverse") {
      map.mapping = DepthMapping::Inverse;
    } else {
      throw HostError(fmt::format(
          "--depth-map: expected linear or inverse, not \"{}\"", flags.map));
    }
    if (map.mapping == DepthMapping::Linear && !std::isfinite(map.farDepth)) {
      throw HostError(fmt::format(
          "--depth-range \"{}\": a linear map needs a finite far depth; an "
          "inverse map (--depth-map inverse) may reach infinity",
          flags.range));
    }
    if (map.mapping == DepthMapping::Inverse && !(map.nearDepth > 0.0)) {
      throw HostError(fmt::format(
          "--depth-range \"{}\": an inverse map needs a near depth above 0",
          flags.range));
    }
    if (flags.nearEnd.empty() || flags.nearEnd == "white") {
      map.whiteIsNear = true;
    } else if (flags.nearEnd == "black") {
      map.whiteIsNear = false;
    } else {
      throw HostError(fmt::format(
          "--depth-near: expected white or black, not \"{}\"", flags.nearEnd));
    }
  }
  if (!flags.background.empty()) {
    choice.backgroundGiven = true;
    if (flags.background != "none") {
      const auto value = number(flags.background);
      if (!value) {
        throw HostError(fmt::format(
            "--depth-background: expected a number, inf or none, not \"{}\"",
            flags.background));
      }
      map.background = float(*value);
    }
  }
  return choice;
}

host::DepthConvention depthConventionFor(const DepthChoice &choice,
                                         const host::Sidecar *sidecar) {
  host::DepthConvention convention = choice.map;
  if (choice.measure) {
    convention.measure = *choice.measure;
  } else if (sidecar != nullptr && sidecar->depthMeasure) {
    convention.measure = *sidecar->depthMeasure;
  }
  if (!choice.backgroundGiven && sidecar != nullptr &&
      convention.mapping == DepthMapping::Units) {
    convention.background = sidecar->depthBackground;
  }
  return convention;
}

std::string describeDepthConvention(const host::DepthConvention &convention) {
  const char *measure =
      convention.measure == host::DepthMeasure::Planar ? "planar" : "distance";
  std::string text;
  switch (convention.mapping) {
    case DepthMapping::Units:
      text = fmt::format("{} in scene units", measure);
      break;
    case DepthMapping::Linear:
    case DepthMapping::Inverse:
      text = fmt::format(
          "{} map {:g} to {:g}, {} near, {}",
          convention.mapping == DepthMapping::Linear ? "linear" : "inverse",
          convention.nearDepth, convention.farDepth,
          convention.whiteIsNear ? "white" : "black", measure);
      break;
  }
  if (convention.background) {
    text += fmt::format(", background {:g}", *convention.background);
  }
  return text;
}

}  // namespace lensfall::cli
