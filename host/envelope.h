// Animation curves of the stand-in host: keys with linear or stepped
// interpolation; before the first key and after the last the end value holds.
#pragma once

#include <array>
#include <string_view>
#include <vector>

namespace lensfall::host {

enum class KeyShape { Linear, Stepped };

struct Key {
  double time = 0.0;
  double value = 0.0;
  KeyShape shape = KeyShape::Linear;  // how the curve leaves this key
};

// Keys are kept sorted by time; a key at an existing time replaces it.
class Envelope {
 public:
  void setKey(const Key &key);
  const std::vector<Key> &keys() const { return keys_; }
  bool empty() const { return keys_.empty(); }
  double valueAt(double time) const;

 private:
  std::vector<Key> keys_;
};

std::string_view keyShapeName(KeyShape shape);
// Throws HostError for an unknown name.
KeyShape keyShapeFromName(std::string_view name);

// A world position that is either constant or keyed per component.
struct PositionTrack {
  std::array<double, 3> constant = {0.0, 0.0, 0.0};
  std::array<Envelope, 3> keyed;  // used when any of them has keys
  bool isKeyed() const;
  std::array<double, 3> at(double time) const;
};

}  // namespace lensfall::host
