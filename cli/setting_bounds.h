// The bounds the module's settings form puts on each setting, read from the
// form itself: the module declares them once, in its form's hints, and
// --set and scene create refuse what the form and the settings page refuse.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "host/forms/panel_host.h"
#include "host/session.h"

namespace lensfall::cli {

struct SettingField;

struct ValueBounds {
  std::optional<double> low, high;  // in the stored units
};

class SettingBounds {
 public:
  // Opens the settings window of the session's newest instance as a user
  // would, reads its controls' bounds and closes it again.
  static SettingBounds fromForm(host::Session &session);
  // The bounds of a form that is open already.
  static SettingBounds fromControls(const host::FormModel &form);

  // Throws HostError naming the key, the value and the bounds, in the units
  // the user types, when `stored` is outside them.
  void check(const SettingField &field, double stored) const;

 private:
  std::map<std::string, ValueBounds> byKey_;
};

}  // namespace lensfall::cli
