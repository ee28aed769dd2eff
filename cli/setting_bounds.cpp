#include "cli/setting_bounds.h"

#include <fmt/format.h>

#include "cli/instance_settings.h"
#include "cli/page/settings_panel.h"
#include "host/forms/panel_host.h"
#include "host/host_error.h"

namespace lensfall::cli {

SettingBounds SettingBounds::fromControls(const host::FormModel &form) {
  SettingBounds bounds;
  for (const SettingField &field : settingFields()) {
    for (const host::FormControl &control : form.controls()) {
      if (control.tableLabel == field.label) {
        bounds.byKey_[field.key] = {control.minimum, control.maximum};
      }
    }
  }
  return bounds;
}

SettingBounds SettingBounds::fromForm(host::Session &session) {
  SettingBounds bounds;
  {
    const SettingsPanel panel(session);
    bounds = fromControls(panel.form());
  }
  host::PanelHost &panels = host::PanelHost::active();
  for (HostWindow *window : panels.openWindows()) panels.userClose(*window);
  return bounds;
}

void SettingBounds::check(const SettingField &field, double stored) const {
  const auto found = byKey_.find(field.key);
  if (found == byKey_.end()) return;
  const ValueBounds &bounds = found->second;
  const bool below = bounds.low && stored < *bounds.low;
  const bool above = bounds.high && stored > *bounds.high;
  if (!below && !above) return;
  std::string range;
  if (bounds.low && bounds.high) {
    range = fmt::format("{} to {}", shownValue(field.kind, *bounds.low),
                        shownValue(field.kind, *bounds.high));
  } else if (bounds.low) {
    range = "at least " + shownValue(field.kind, *bounds.low);
  } else {
    range = "at most " + shownValue(field.kind, *bounds.high);
  }
  throw host::HostError(
      fmt::format("{}: {} is outside the settings form's bounds ({})",
                  field.key, shownValue(field.kind, stored), range));
}

}  // namespace lensfall::cli
