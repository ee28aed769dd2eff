#include "cli/instance_settings.h"

#include <fmt/format.h>

#include <array>
#include <charconv>
#include <cmath>
#include <numbers>
#include <optional>

#include "cli/setting_bounds.h"
#include "host/envelope.h"
#include "host/host_error.h"
#include "host/text_codec.h"

namespace lensfall::cli {

namespace {

using host::HostError;
using nlohmann::json;

constexpr std::array kFields = {
    SettingField{"strength", "強さ", SettingKind::Number, 0},
    SettingField{"back-max", "後ボケの最大値", SettingKind::Percent, 1},
    SettingField{"front-max", "前ボケの最大値", SettingKind::Percent, 2},
    SettingField{"f-number", "絞り", SettingKind::Number, 3},
    SettingField{"no-blur-distance", "ぼかさない距離", SettingKind::Distance,
                 4},
    SettingField{"rotation", "回転", SettingKind::Angle, 5},
    SettingField{"deform", "変形", SettingKind::Percent, 6},
    SettingField{"use-depth", "Z値計算", SettingKind::Switch, 7},
    SettingField{"keep-far-sharp", "遠くをぼかさない", SettingKind::Switch, 8},
    SettingField{"front-blur", "前ボケ", SettingKind::Switch, 9},
    SettingField{"back-blur", "後ボケ", SettingKind::Switch, 10},
    SettingField{"shape", "絞り形状", SettingKind::Shape, 11},
    SettingField{"vertices", "頂点数", SettingKind::Count, 12},
    SettingField{"focus", "ピント位置", SettingKind::Focus, 13},
    SettingField{"image", "画像", SettingKind::Image, 14},
};

constexpr std::array<const char *, 4> kShapeNames = {"circle", "polygon",
                                                     "ring", "image"};
constexpr int kImageItem = 14;
// The module reads the focus object's name into a buffer of 256 bytes.
constexpr size_t kMaxFocusNameBytes = 255;

bool animatable(SettingKind kind) {
  return kind == SettingKind::Number || kind == SettingKind::Percent ||
         kind == SettingKind::Distance || kind == SettingKind::Angle;
}

// Stored value to what the user reads and types.
double toShown(SettingKind kind, double stored) {
  if (kind == SettingKind::Percent) return stored * 100.0;
  if (kind == SettingKind::Angle) return stored * 180.0 / std::numbers::pi;
  return stored;
}

double fromShown(SettingKind kind, double shown) {
  if (kind == SettingKind::Percent) return shown / 100.0;
  if (kind == SettingKind::Angle) return shown * std::numbers::pi / 180.0;
  return shown;
}

const char *unitOf(SettingKind kind) {
  switch (kind) {
    case SettingKind::Percent:
      return " %";
    case SettingKind::Angle:
      return "°";
    case SettingKind::Distance:
      return " m";
    default:
      return "";
  }
}

std::string describeItem(const SettingField &field, const json &data) {
  const bool present = data.is_array() && size_t(field.item) < data.size();
  if (field.kind == SettingKind::Image) {
    if (!present || !data[size_t(field.item)].is_object()) return "(none)";
    return data[size_t(field.item)].value("image", std::string("?"));
  }
  if (!present) return "(missing)";
  const json &item = data[size_t(field.item)];
  switch (field.kind) {
    case SettingKind::Switch:
      return item.is_number_integer() ? (item.get<int>() != 0 ? "on" : "off")
                                      : item.dump();
    case SettingKind::Shape:
      if (item.is_number_integer() && item.get<int>() >= 0 &&
          item.get<int>() < int(kShapeNames.size())) {
        return kShapeNames[size_t(item.get<int>())];
      }
      return fmt::format("unknown shape {}", item.dump());
    case SettingKind::Count:
    case SettingKind::Focus:
      return item.is_string() ? item.get<std::string>() : item.dump();
    default:
      break;
  }
  const json *block =
      item.is_object() && item.contains("param") ? &item["param"] : nullptr;
  if (block == nullptr || !block->is_object()) return item.dump();
  if (block->contains("envelope") && (*block)["envelope"].is_array()) {
    std::string keys;
    for (const json &key : (*block)["envelope"]) {
      if (!keys.empty()) keys += ", ";
      keys += fmt::format("{} at {:g} s",
                          shownValue(field.kind, key.value("value", 0.0)),
                          key.value("time", 0.0));
      if (key.value("shape", std::string("linear")) != "linear") {
        keys += " (" + key.value("shape", std::string()) + ")";
      }
    }
    return "envelope: " + keys;
  }
  return shownValue(field.kind, block->value("value", 0.0));
}

double parseNumber(std::string_view text, std::string_view key) {
  double value = 0.0;
  const auto result =
      std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size() ||
      !std::isfinite(value)) {
    throw HostError(fmt::format("{}: \"{}\" is not a number", key, text));
  }
  return value;
}

std::string_view trimUnit(std::string_view text) {
  for (std::string_view unit : {"%", "deg", "°", "m"}) {
    if (text.size() > unit.size() && text.ends_with(unit)) {
      return text.substr(0, text.size() - unit.size());
    }
  }
  return text;
}

json animatedBlock(const SettingField &field, std::string_view value,
                   const json &previous) {
  json block = previous.is_object() ? previous : json::object();
  block.erase("value");
  block.erase("envelope");
  if (value.find(':') == std::string_view::npos) {
    block["value"] =
        fromShown(field.kind, parseNumber(trimUnit(value), field.key));
    return block;
  }
  json keys = json::array();
  while (!value.empty()) {
    const size_t comma = value.find(',');
    const std::string_view key = value.substr(0, comma);
    const size_t colon = key.find(':');
    if (colon == std::string_view::npos) {
      throw HostError(fmt::format(
          "{}: envelope keys are TIME:VALUE, not \"{}\"", field.key, key));
    }
    keys.push_back(
        {{"time", parseNumber(key.substr(0, colon), field.key)},
         {"value",
          fromShown(field.kind,
                    parseNumber(trimUnit(key.substr(colon + 1)), field.key))},
         {"shape", "linear"}});
    value = comma == std::string_view::npos ? std::string_view()
                                            : value.substr(comma + 1);
  }
  block["envelope"] = keys;
  return block;
}

int parseSwitch(std::string_view value, std::string_view key) {
  if (value == "on" || value == "1" || value == "true" || value == "yes") {
    return 1;
  }
  if (value == "off" || value == "0" || value == "false" || value == "no") {
    return 0;
  }
  throw HostError(
      fmt::format("{}: expected on or off, not \"{}\"", key, value));
}

// An animated item's value at a time: its envelope there, or its value.
std::optional<double> valueAt(const json &item, double time) {
  if (!item.is_object() || !item.contains("param")) return std::nullopt;
  const json &block = item["param"];
  if (!block.is_object()) return std::nullopt;
  if (block.contains("envelope") && block["envelope"].is_array()) {
    host::Envelope envelope;
    for (const json &key : block["envelope"]) {
      if (!key.is_object()) return std::nullopt;
      envelope.setKey(
          {key.value("time", 0.0), key.value("value", 0.0),
           host::keyShapeFromName(key.value("shape", std::string("linear")))});
    }
    return envelope.valueAt(time);
  }
  if (block.contains("value") && block["value"].is_number()) {
    return block["value"].get<double>();
  }
  return std::nullopt;
}

// A value as --set takes it back: percent and degrees marked.
std::string assignable(SettingKind kind, double stored) {
  const double value = toShown(kind, stored);
  if (kind == SettingKind::Percent) return fmt::format("{:g}%", value);
  if (kind == SettingKind::Angle) return fmt::format("{:g}deg", value);
  return fmt::format("{:g}", value);
}

// A focus object the module can be told about: its name must have a form in
// the host's text encoding and fit the module's name buffer.
void checkFocusName(std::string_view value, const host::Scene &scene) {
  std::string encoded;
  try {
    encoded = host::utf8ToCp932(value);
  } catch (const HostError &) {
    throw HostError(fmt::format(
        "focus: \"{}\" cannot be the focus object: its name has no form in "
        "code page 932, the host's text encoding",
        value));
  }
  if (encoded.size() > kMaxFocusNameBytes) {
    throw HostError(fmt::format(
        "focus: the name \"{}\" is {} bytes in the host's text encoding; a "
        "focus object's name can have at most {}",
        value, encoded.size(), kMaxFocusNameBytes));
  }
  if (scene.objectNamed(std::string(value)) == nullptr) {
    throw HostError(
        fmt::format("focus: the scene has no object named \"{}\"", value));
  }
}

}  // namespace

std::span<const SettingField> settingFields() { return kFields; }

double storedFromShown(SettingKind kind, double shown) {
  return fromShown(kind, shown);
}

std::string shownValue(SettingKind kind, double stored) {
  return fmt::format("{:g}{}", toShown(kind, stored), unitOf(kind));
}

std::vector<std::string> settingsAt(const json &data, double time) {
  std::vector<std::string> settings;
  for (const SettingField &field : kFields) {
    std::string value;
    if (animatable(field.kind)) {
      const bool present = data.is_array() && size_t(field.item) < data.size();
      const auto number =
          present ? valueAt(data[size_t(field.item)], time) : std::nullopt;
      value = number ? assignable(field.kind, *number) : "?";
    } else {
      value = describeItem(field, data);
    }
    settings.push_back(fmt::format("{}={}", field.key, value));
  }
  return settings;
}

std::string focusObjectOf(const json &data) {
  const SettingField &focus = *findSetting("focus");
  if (!data.is_array() || size_t(focus.item) >= data.size() ||
      !data[size_t(focus.item)].is_string()) {
    return {};
  }
  const std::string name = data[size_t(focus.item)].get<std::string>();
  return name == "(none)" ? std::string() : name;
}

const SettingField *findSetting(std::string_view key) {
  for (const SettingField &field : kFields) {
    if (key == field.key) return &field;
  }
  return nullptr;
}

std::string describeInstance(const json &data) {
  std::string text;
  for (const SettingField &field : kFields) {
    text += fmt::format("  {:<18} {}  ({})\n", field.key,
                        describeItem(field, data), field.label);
  }
  return text;
}

void applySetting(json &data, std::string_view assignment,
                  const host::Scene &scene, const SettingBounds *bounds) {
  const size_t equals = assignment.find('=');
  if (equals == std::string_view::npos) {
    throw HostError(
        fmt::format("--set \"{}\": expected KEY=VALUE", assignment));
  }
  const std::string_view key = assignment.substr(0, equals);
  const std::string_view value = assignment.substr(equals + 1);
  const SettingField *field = findSetting(key);
  if (field == nullptr) {
    throw HostError(fmt::format("--set: unknown key \"{}\" (keys: {})", key,
                                settingKeysHelp()));
  }
  if (!data.is_array() || data.size() < 14) {
    throw HostError("the instance data is incomplete");
  }
  json &item = data[size_t(std::min(field->item, 13))];
  if (animatable(field->kind)) {
    const json previous =
        item.is_object() ? item.value("param", json()) : json();
    const json block = animatedBlock(*field, value, previous);
    if (bounds != nullptr) {
      if (block.contains("value")) bounds->check(*field, block["value"]);
      for (const json &key : block.value("envelope", json::array())) {
        bounds->check(*field, key["value"]);
      }
    }
    item = {{"param", block}};
  } else if (field->kind == SettingKind::Switch) {
    item = parseSwitch(value, key);
  } else if (field->kind == SettingKind::Shape) {
    for (size_t k = 0; k < kShapeNames.size(); ++k) {
      if (value == kShapeNames[k]) {
        item = int(k);
        return;
      }
    }
    throw HostError(
        fmt::format("shape: expected circle, polygon, ring or "
                    "image, not \"{}\"",
                    value));
  } else if (field->kind == SettingKind::Count) {
    const double count = parseNumber(value, key);
    if (count != std::floor(count) || std::fabs(count) > 1e6) {
      throw HostError(fmt::format("{}: expected a whole number", key));
    }
    if (bounds != nullptr) bounds->check(*field, count);
    item = int(count);
  } else if (field->kind == SettingKind::Focus) {
    if (value != "(none)") checkFocusName(value, scene);
    item = std::string(value);
  } else if (field->kind == SettingKind::Image) {
    const bool none = value.empty() || value == "(none)";
    if (!none && scene.imageNamed(std::string(value)) == nullptr) {
      throw HostError(
          fmt::format("image: the scene has no image named \"{}\"", value));
    }
    data.erase(data.begin() + kImageItem, data.end());
    if (!none) data.push_back({{"image", std::string(value)}});
  }
}

std::string settingKeysHelp() {
  std::string keys;
  for (const SettingField &field : kFields) {
    if (!keys.empty()) keys += ", ";
    keys += field.key;
  }
  return keys;
}

}  // namespace lensfall::cli
