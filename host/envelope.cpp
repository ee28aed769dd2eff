#include "host/envelope.h"

#include <algorithm>
#include <string>

#include "host/host_error.h"

namespace lensfall::host {

void Envelope::setKey(const Key &key) {
  auto at = std::lower_bound(
      keys_.begin(), keys_.end(), key.time,
      [](const Key &existing, double time) { return existing.time < time; });
  if (at != keys_.end() && at->time == key.time) {
    *at = key;
  } else {
    keys_.insert(at, key);
  }
}

double Envelope::valueAt(double time) const {
  if (keys_.empty()) return 0.0;
  if (!(time > keys_.front().time)) return keys_.front().value;
  if (time >= keys_.back().time) return keys_.back().value;
  auto next =
      std::upper_bound(keys_.begin(), keys_.end(), time,
                       [](double t, const Key &key) { return t < key.time; });
  const Key &to = *next;
  const Key &from = *(next - 1);
  if (from.shape == KeyShape::Stepped) return from.value;
  const double fraction = (time - from.time) / (to.time - from.time);
  return from.value + (to.value - from.value) * fraction;
}

std::string_view keyShapeName(KeyShape shape) {
  return shape == KeyShape::Stepped ? "stepped" : "linear";
}

KeyShape keyShapeFromName(std::string_view name) {
  if (name == "linear") return KeyShape::Linear;
  if (name == "stepped") return KeyShape::Stepped;
  throw HostError("unknown key shape \"" + std::string(name) +
                  "\" (expected linear or stepped)");
}

bool PositionTrack::isKeyed() const {
  return std::any_of(keyed.begin(), keyed.end(),
                     [](const Envelope &e) { return !e.empty(); });
}

std::array<double, 3> PositionTrack::at(double time) const {
  if (!isKeyed()) return constant;
  std::array<double, 3> position{};
  for (int axis = 0; axis < 3; ++axis) {
    position[axis] =
        keyed[axis].empty() ? constant[axis] : keyed[axis].valueAt(time);
  }
  return position;
}

}  // namespace lensfall::host
