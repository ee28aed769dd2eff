#include <fmt/format.h>

#include <cmath>

#include "host/forms/panel_host.h"
#include "host/host_error.h"
#include "host/text_codec.h"

namespace lensfall::host {

namespace {

// The event the change notification receives after a value edit.
constexpr int kEventValueChanged = 1;

std::string decodedName(const char *cp932) {
  if (cp932 == nullptr) return "";
  try {
    return cp932ToUtf8(cp932);
  } catch (const HostError &) {
    return cp932;
  }
}

}  // namespace

ControlKind controlKindOf(const std::string &controlClass) {
  static const std::map<std::string, ControlKind> kinds = {
      {"iBoolean", ControlKind::Boolean},
      {"iChoice", ControlKind::Choice},
      {"iPopChoice", ControlKind::Popup},
      {"iSlider", ControlKind::Slider},
      {"integer", ControlKind::Integer},
      {"float-env", ControlKind::Number},
      {"percent-env", ControlKind::Percent},
      {"distance-env", ControlKind::Distance},
      {"angle-env", ControlKind::Angle},
      {"dThumbnail", ControlKind::Thumbnail},
  };
  const auto found = kinds.find(controlClass);
  return found == kinds.end() ? ControlKind::Unknown : found->second;
}

bool isAnimatedKind(ControlKind kind) {
  return kind == ControlKind::Number || kind == ControlKind::Percent ||
         kind == ControlKind::Distance || kind == ControlKind::Angle;
}

const FormControl *FormModel::findControl(unsigned long id) const {
  for (const FormControl &control : form_->controls) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

const FormControl &FormModel::control(unsigned long id) const {
  if (const FormControl *found = findControl(id)) return *found;
  throw HostError(fmt::format("the form has no control {:#x}", id));
}

namespace {

HostVParm *parameterOf(const HostForm &form, const FormControl &control) {
  void *value =
      form.get != nullptr ? form.get(form.instance, control.id) : nullptr;
  auto *parm = static_cast<HostVParm *>(value);
  if (parm == nullptr || !HostServices::active().ownsVParm(parm)) {
    throw HostError(fmt::format("{} ({:#x}): the module gave no parameter",
                                control.label, control.id));
  }
  return parm;
}

int32_t *integerOf(const HostForm &form, const FormControl &control) {
  void *value =
      form.get != nullptr ? form.get(form.instance, control.id) : nullptr;
  if (value == nullptr) {
    throw HostError(fmt::format("{} ({:#x}): the module gave no value",
                                control.label, control.id));
  }
  return static_cast<int32_t *>(value);
}

}  // namespace

double FormModel::value(unsigned long id) const {
  const FormControl &shown = control(id);
  if (shown.kind == ControlKind::Thumbnail) {
    throw HostError(
        fmt::format("{} ({:#x}) holds no value", shown.label, shown.id));
  }
  if (isAnimatedKind(shown.kind)) {
    return parameterOf(*form_, shown)
        ->valueAt(HostServices::active().timeInfo.time);
  }
  return *integerOf(*form_, shown);
}

bool FormModel::hasEnvelope(unsigned long id) const {
  const FormControl &shown = control(id);
  return isAnimatedKind(shown.kind) &&
         !parameterOf(*form_, shown)->envelope.empty();
}

bool FormModel::enabled(unsigned long id) const {
  const FormControl &shown = control(id);
  for (const EnableRule &rule : shown.enableRules) {
    const FormControl *controller = findControl(rule.controller);
    if (controller == nullptr) return false;
    const double v = value(rule.controller);
    if (rule.map == nullptr) {
      if (v == 0.0) return false;
      continue;
    }
    // A map has one entry per choice of its controller; any other value
    // has no entry and leaves the control disabled.
    const size_t entries = controller->choiceNames.size();
    if (v < 0.0 || v >= double(entries) || rule.map[size_t(v)] == 0) {
      return false;
    }
  }
  return true;
}

std::vector<std::string> FormModel::choices(unsigned long id) const {
  const FormControl &shown = control(id);
  if (shown.kind == ControlKind::Choice) return shown.choiceNames;
  std::vector<std::string> names;
  if (shown.kind != ControlKind::Popup || shown.popupCount == nullptr ||
      shown.popupName == nullptr) {
    return names;
  }
  const int count = shown.popupCount(form_->data);
  for (int index = 0; index < count; ++index) {
    names.push_back(decodedName(shown.popupName(form_->data, index)));
  }
  return names;
}

void FormModel::setValue(unsigned long id, double value) {
  const FormControl &edited = control(id);
  const auto refuse = [&](const std::string &why) {
    return HostError(
        fmt::format("{} ({:#x}): {}", edited.label, edited.id, why));
  };
  if (edited.kind == ControlKind::Thumbnail ||
      edited.kind == ControlKind::Unknown) {
    throw refuse("holds no value");
  }
  if (!std::isfinite(value)) throw refuse("the value is not a number");
  if (!enabled(id)) throw refuse("the control is disabled");
  const bool whole = !isAnimatedKind(edited.kind);
  if (whole && (value != std::trunc(value) || std::fabs(value) > 2e9)) {
    throw refuse(fmt::format("expects a whole number, not {}", value));
  }
  double low = edited.minimum.value_or(-INFINITY);
  double high = edited.maximum.value_or(INFINITY);
  if (edited.kind == ControlKind::Boolean) {
    low = 0.0;
    high = 1.0;
  } else if (edited.kind == ControlKind::Choice ||
             edited.kind == ControlKind::Popup) {
    low = 0.0;
    high = double(choices(id).size()) - 1.0;
  }
  if (value < low || value > high) {
    throw refuse(fmt::format("{} is outside {} to {}", value, low, high));
  }
  if (form_->set == nullptr) throw refuse("the form has no set callback");

  int refresh = 0;
  if (isAnimatedKind(edited.kind)) {
    // The host edits the parameter itself; a value typed into the form
    // replaces any envelope, as the parameter's own set-value does.
    HostVParm *parm = parameterOf(*form_, edited);
    parm->value = value;
    parm->envelope = Envelope{};
    refresh = form_->set(form_->instance, id, &value);
  } else {
    int32_t stored = int32_t(value);
    refresh = form_->set(form_->instance, id, &stored);
  }
  if (refresh != 0) ++form_->redrawRequests;
  if (form_->onChange != nullptr) {
    form_->onChange(form_, id, id, kEventValueChanged);
  }
}

HostDrawArea FormModel::draw(unsigned long id, int width, int height) const {
  const FormControl &drawn = control(id);
  if (drawn.draw == nullptr) {
    throw HostError(
        fmt::format("{} ({:#x}) has no draw callback", drawn.label, drawn.id));
  }
  if (width <= 0 || height <= 0 || width > 4096 || height > 4096) {
    throw HostError(
        fmt::format("{} ({:#x}): a drawing area of {} x {} is not "
                    "between 1 x 1 and 4096 x 4096",
                    drawn.label, drawn.id, width, height));
  }
  HostDrawArea area;
  area.width = width;
  area.height = height;
  area.rgb.assign(size_t(width) * size_t(height) * 3, 0);
  drawn.draw(form_, id, &area, width, height);
  return area;
}

HostDrawArea FormModel::drawThumbnail(int size) const {
  for (const FormControl &candidate : form_->controls) {
    if (candidate.kind == ControlKind::Thumbnail) {
      return draw(candidate.id, size, size);
    }
  }
  throw HostError("the form has no thumbnail control");
}

}  // namespace lensfall::host
