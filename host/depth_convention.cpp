#include "host/depth_convention.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

namespace lensfall::host {

namespace {

// Lower case, with runs of spaces, '_' and '-' made one space, trimmed.
std::string normalised(std::string_view text) {
  std::string result;
  bool space = false;
  for (const char c : text) {
    if (c == ' ' || c == '_' || c == '-' || c == '\t') {
      space = !result.empty();
      continue;
    }
    if (space) result += ' ';
    space = false;
    result += char(std::tolower(static_cast<unsigned char>(c)));
  }
  return result;
}

struct KnownMeasure {
  std::string_view name;
  DepthMeasure measure;
};

constexpr std::array kKnownMeasures = {
    KnownMeasure{"planar", DepthMeasure::Planar},
    KnownMeasure{"planar depth", DepthMeasure::Planar},
    KnownMeasure{"planar depth along the view axis", DepthMeasure::Planar},
    KnownMeasure{"planar depth along the viewing axis", DepthMeasure::Planar},
    KnownMeasure{"depth along the view axis", DepthMeasure::Planar},
    KnownMeasure{"z", DepthMeasure::Planar},
    KnownMeasure{"camera z", DepthMeasure::Planar},
    KnownMeasure{"camera space z", DepthMeasure::Planar},
    KnownMeasure{"distance", DepthMeasure::Distance},
    KnownMeasure{"radial", DepthMeasure::Distance},
    KnownMeasure{"radial distance", DepthMeasure::Distance},
    KnownMeasure{"euclidean distance", DepthMeasure::Distance},
    KnownMeasure{"distance from the camera", DepthMeasure::Distance},
};

// The map value as a fraction of the way from the near depth (0) to the
// far one (1).
double towardFar(float value, bool whiteIsNear) {
  const double v = std::clamp(double(value), 0.0, 1.0);
  return whiteIsNear ? 1.0 - v : v;
}

double unmapped(float value, const DepthConvention &convention) {
  switch (convention.mapping) {
    case DepthMapping::Units:
      return value;
    case DepthMapping::Linear: {
      const double t = towardFar(value, convention.whiteIsNear);
      return convention.nearDepth +
             t * (convention.farDepth - convention.nearDepth);
    }
    case DepthMapping::Inverse: {
      const double t = towardFar(value, convention.whiteIsNear);
      // A far depth of infinity is an inverse of 0: the map's far end is
      // at infinity, as in disparity maps.
      const double inverse =
          (1.0 - t) / convention.nearDepth + t / convention.farDepth;
      return inverse > 0.0 ? 1.0 / inverse : double(kVeryFar);
    }
  }
  return value;
}

}  // namespace

std::optional<DepthMeasure> parseDepthMeasure(std::string_view text) {
  const std::string name = normalised(text);
  for (const KnownMeasure &known : kKnownMeasures) {
    if (name == known.name) return known.measure;
  }
  return std::nullopt;
}

std::string_view knownDepthMeasures() {
  return "planar (also \"planar depth\", \"planar depth along the view "
         "axis\", \"z\", \"camera space z\") or distance (also \"radial "
         "distance\", \"euclidean distance\", \"distance from the camera\")";
}

void depthToDistance(Frame &frame, const DepthConvention &convention,
                     double horizontalFov, double verticalFov) {
  if (frame.depth.empty()) return;
  std::vector<bool> background;
  if (convention.background) {
    background.resize(frame.depth.size());
    for (size_t i = 0; i < frame.depth.size(); ++i) {
      const float v = frame.depth[i];
      background[i] = v == *convention.background;
    }
  }
  if (convention.mapping != DepthMapping::Units) {
    for (float &v : frame.depth) {
      if (std::isnan(v)) continue;
      const double depth = unmapped(v, convention);
      v = std::isfinite(depth) && depth < kVeryFar ? float(depth) : kVeryFar;
    }
  }
  if (convention.measure == DepthMeasure::Planar) {
    planarToDistance(frame, horizontalFov, verticalFov);
  }
  for (size_t i = 0; i < background.size(); ++i) {
    if (background[i]) frame.depth[i] = kVeryFar;
  }
}

void planarToDistance(Frame &frame, double horizontalFov, double verticalFov) {
  const double tx = std::tan(horizontalFov / 2.0);
  const double ty = std::tan(verticalFov / 2.0);
  for (int y = 0; y < frame.height; ++y) {
    const double v = ty * (2.0 * (y + 0.5) / frame.height - 1.0);
    for (int x = 0; x < frame.width; ++x) {
      const double u = tx * (2.0 * (x + 0.5) / frame.width - 1.0);
      float &z = frame.depth[size_t(y) * size_t(frame.width) + size_t(x)];
      z = float(z * std::sqrt(1.0 + u * u + v * v));
    }
  }
}

}  // namespace lensfall::host
