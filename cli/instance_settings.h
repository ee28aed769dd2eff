// A Lensfall instance's saved data, read and edited in plain words: one
// declaration per setting gives its key for --set, its label, its kind and
// its place among the saved items.
#pragma once

#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/scene.h"

namespace lensfall::cli {

class SettingBounds;

enum class SettingKind {
  Number,    // a plain animatable number
  Percent,   // animatable, stored as a fraction, shown and set in percent
  Distance,  // animatable, scene units
  Angle,     // animatable, stored in radians, shown and set in degrees
  Switch,    // on or off
  Shape,     // circle, polygon, ring or image
  Count,     // a whole number
  Focus,     // the focus object's name
  Image,     // the aperture image's name
};

struct SettingField {
  const char *key;
  const char *label;  // as the settings form shows it
  SettingKind kind;
  int item;  // position among the saved items
};

std::span<const SettingField> settingFields();
const SettingField *findSetting(std::string_view key);

// One line per setting, with its value or envelope.
std::string describeInstance(const nlohmann::json &data);

// Applies KEY=VALUE to the saved items. Animatable settings take a number,
// or keys as TIME:VALUE[,TIME:VALUE...] (seconds) for an envelope. Values
// outside `bounds` (the settings form's), when given, are refused. Throws
// HostError naming the key and what it expects.
void applySetting(nlohmann::json &data, std::string_view assignment,
                  const host::Scene &scene,
                  const SettingBounds *bounds = nullptr);

// A stored value as the user reads and types it: "50 %", "15°", "2.8".
std::string shownValue(SettingKind kind, double stored);

// What the user types, in the units shown ("50" percent, "15" degrees),
// as the value is stored (0.5, radians).
double storedFromShown(SettingKind kind, double shown);

// Every setting as a KEY=VALUE assignment that --set takes, with animated
// values evaluated at `time` (seconds): what a frame was rendered with.
std::vector<std::string> settingsAt(const nlohmann::json &data, double time);

// The focus object's name (UTF-8) in the saved items; empty for none.
std::string focusObjectOf(const nlohmann::json &data);

// The --help text that lists the keys.
std::string settingKeysHelp();

}  // namespace lensfall::cli
