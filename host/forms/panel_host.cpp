#include "host/forms/panel_host.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>

#include "host/host_error.h"
#include "host/text_codec.h"

namespace lensfall::host {

namespace {

std::unique_ptr<PanelHost> activePanels;

std::string decoded(const char *cp932) {
  if (cp932 == nullptr) return "";
  try {
    return cp932ToUtf8(cp932);
  } catch (const HostError &) {
    return cp932;
  }
}

// Service operations never throw into the module: a host failure inside one
// leaves the module's call without effect.
template <typename Result, typename Body>
Result guarded(Result fallback, Body body) noexcept {
  try {
    return body();
  } catch (const std::exception &) {
    return fallback;
  }
}

// ---- the form service ----

template <typename T>
T *pointerOf(HostHintWord word) {
  return reinterpret_cast<T *>(word);
}

FormControl *controlIn(HostForm &form, unsigned long id) {
  for (FormControl &control : form.controls) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

void applyHint(HostForm &form, HostHintWord tag,
               const std::vector<HostHintWord> &args,
               const std::vector<unsigned long> &list) {
  auto target = [&](unsigned long id) -> FormControl * {
    FormControl *control = controlIn(form, id);
    if (control == nullptr) {
      form.problems.push_back(
          fmt::format("hint {:#x} names no control {:#x}", tag, id));
    }
    return control;
  };
  switch (tag) {
    case HOST_HINT_DESTROY_NOTIFY:
      form.onDestroy = pointerOf<HostFormDestroyFunc>(args[0]);
      return;
    case HOST_HINT_CHANGE_NOTIFY:
      form.onChange = pointerOf<HostFormChangeFunc>(args[0]);
      return;
    case HOST_HINT_GROUP:
      form.groups.push_back(static_cast<unsigned long>(args[0]));
      for (unsigned long id : list) {
        if (FormControl *control = target(id)) {
          control->group = static_cast<unsigned long>(args[0]);
        }
      }
      return;
    case HOST_HINT_LEFT:
    case HOST_HINT_NARROW:
      for (unsigned long id : list) {
        if (FormControl *control = target(id)) {
          (tag == HOST_HINT_LEFT ? control->left : control->narrow) = true;
        }
      }
      return;
    case HOST_HINT_ENABLE:
      for (unsigned long id : list) {
        if (FormControl *control = target(id)) {
          control->enableRules.push_back({static_cast<unsigned long>(args[0]),
                                          pointerOf<const int>(args[3])});
        }
      }
      return;
    default:
      break;
  }
  FormControl *control = target(static_cast<unsigned long>(args[0]));
  if (control == nullptr) return;
  switch (tag) {
    case HOST_HINT_LABEL:
      control->label = decoded(pointerOf<const char>(args[1]));
      break;
    case HOST_HINT_MIN:
      control->minimum = double(args[1]);
      break;
    case HOST_HINT_MAX:
      control->maximum = double(args[1]);
      break;
    case HOST_HINT_RANGE:
      control->minimum = double(args[1]);
      control->maximum = double(args[2]);
      control->step = double(args[3]);
      break;
    case HOST_HINT_CHOICE_NAMES:
      control->choiceNames.clear();
      for (const char *const *name = pointerOf<const char *const>(args[1]);
           name != nullptr && *name != nullptr; ++name) {
        control->choiceNames.push_back(decoded(*name));
      }
      break;
    case HOST_HINT_POPUP_CALLBACKS:
      control->popupCount = pointerOf<HostPopupCountFunc>(args[1]);
      control->popupName = pointerOf<HostPopupNameFunc>(args[2]);
      break;
    case HOST_HINT_DRAW_CALLBACK:
      control->draw = pointerOf<HostDrawFunc>(args[1]);
      break;
    case HOST_HINT_THUMBNAIL_CONFIG:
      control->drawConfig.assign(args.begin() + 1, args.end());
      break;
    default:
      form.problems.push_back(fmt::format("unknown hint {:#x}", tag));
  }
}

void parseHints(HostForm &form, const HostHintWord *words) {
  // Far more words than any form needs: a missing end word stops here
  // instead of running through memory.
  constexpr int kWordLimit = 4096;
  int read = 0;
  auto next = [&]() -> HostHintWord {
    if (++read > kWordLimit) throw HostError("the hint array has no end");
    return *words++;
  };
  for (HostHintWord tag = next(); tag != 0; tag = next()) {
    const int fixed = int(tag & 0x7f);
    std::vector<HostHintWord> args;
    for (int k = 0; k < fixed; ++k) args.push_back(next());
    std::vector<unsigned long> list;
    if ((tag & 0x80) != 0) {
      for (HostHintWord id = next(); id != 0; id = next()) {
        list.push_back(static_cast<unsigned long>(id));
      }
    }
    if (fixed == 0 && (tag & 0x80) == 0) {
      form.problems.push_back(fmt::format("hint {:#x} has no arguments", tag));
      continue;
    }
    applyHint(form, tag, args, list);
  }
}

void drawRGBPixel(HostDrawAreaID area, int r, int g, int b, int x, int y) {
  if (area == nullptr) return;
  if (x < 0 || y < 0 || x >= area->width || y >= area->height) {
    ++area->outside;
    return;
  }
  ++area->drawn;
  uint8_t *pixel =
      &area->rgb[(size_t(y) * size_t(area->width) + size_t(x)) * 3];
  const int rgb[3] = {r, g, b};
  for (int k = 0; k < 3; ++k) pixel[k] = uint8_t(std::clamp(rgb[k], 0, 255));
}

const HostDrawFuncs drawFuncs = {nullptr, drawRGBPixel};

HostForm *aliveForm(HostFormID form) {
  return form != nullptr && PanelHost::active().formAlive(form) ? form
                                                                : nullptr;
}

HostFormID formCreate(int kind, const HostFormControl *controls) {
  return guarded<HostFormID>(
      nullptr, [&] { return PanelHost::active().makeForm(kind, controls); });
}

void formDestroy(HostFormID form) {
  guarded(0, [&] {
    if (aliveForm(form)) PanelHost::active().destroyForm(form);
    return 0;
  });
}

void formDescribe(HostFormID form, const HostFormDataDesc *data,
                  HostFormGetFunc *get, HostFormSetFunc *set) {
  guarded(0, [&] {
    HostForm *model = aliveForm(form);
    if (model == nullptr) return 0;
    model->get = get;
    model->set = set;
    for (const HostFormDataDesc *row = data; row != nullptr && row->id != 0;
         ++row) {
      if (FormControl *control = controlIn(*model, row->id)) {
        control->dataType = row->dataType != nullptr ? row->dataType : "";
      } else {
        model->problems.push_back(
            fmt::format("value {:#x} has no control", row->id));
      }
    }
    return 0;
  });
}

void formHint(HostFormID form, unsigned long id, const HostHintWord *hints) {
  guarded(0, [&] {
    HostForm *model = aliveForm(form);
    if (model == nullptr || hints == nullptr) return 0;
    if (id != 0) {
      model->problems.push_back(
          fmt::format("hints for control {:#x} alone are not supported", id));
      return 0;
    }
    parseHints(*model, hints);
    return 0;
  });
}

void formSetData(HostFormID form, unsigned long, void *value) {
  guarded(0, [&] {
    if (HostForm *model = aliveForm(form)) model->data = value;
    return 0;
  });
}

void formViewInstance(HostFormID form, void *instance) {
  guarded(0, [&] {
    if (HostForm *model = aliveForm(form)) model->instance = instance;
    return 0;
  });
}

void formViewRefresh(HostFormID form) {
  guarded(0, [&] {
    PanelHost &panels = PanelHost::active();
    ++panels.mutableCalls().viewRefreshes;
    if (HostForm *model = aliveForm(form)) ++model->viewRefreshes;
    return 0;
  });
}

const HostFormFuncs formFuncs = {
    1,           &drawFuncs,       formCreate,
    formDestroy, formDescribe,     formHint,
    nullptr,     formSetData,      nullptr,
    nullptr,     formViewInstance, formViewRefresh};

// ---- the window service ----

HostWindow *aliveWindow(HostWindowID window) {
  return window != nullptr && PanelHost::active().windowAlive(window) ? window
                                                                      : nullptr;
}

HostWindowID windowCreate(const char *title, void *) {
  return guarded<HostWindowID>(
      nullptr, [&] { return PanelHost::active().makeWindow(title); });
}

void windowDestroy(HostWindowID window) {
  guarded(0, [&] {
    if (aliveWindow(window)) PanelHost::active().destroyWindow(window);
    return 0;
  });
}

int windowOpen(HostWindowID window, int) {
  return guarded(0, [&] {
    HostWindow *model = aliveWindow(window);
    if (model == nullptr) return 0;
    ++PanelHost::active().mutableCalls().windowOpens;
    // Not modal: the window stays open after the call returns.
    model->open = true;
    return 1;
  });
}

void windowClose(HostWindowID window) {
  guarded(0, [&] {
    if (aliveWindow(window)) PanelHost::active().closeWindow(window);
    return 0;
  });
}

void windowSet(HostWindowID window, int attribute, void *value) {
  guarded(0, [&] {
    HostWindow *model = aliveWindow(window);
    if (model == nullptr) return 0;
    if (attribute == HOST_WINDOW_CLOSE_CALLBACK) {
      model->onClose = reinterpret_cast<HostWindowCloseFunc *>(value);
    } else if (attribute == HOST_WINDOW_KEY_CALLBACK) {
      model->onKey = reinterpret_cast<HostWindowKeyFunc *>(value);
    }
    return 0;
  });
}

void controlSet(HostControl *control, int attribute,
                const HostIntegerValue *value) {
  if (control == nullptr || value == nullptr ||
      value->type != HOST_DESC_INTEGER) {
    return;
  }
  static_cast<WindowControl *>(control)->attributes[attribute] = value->value;
}

HostControl *windowAddControl(HostWindowID window, const char *controlClass,
                              const void *desc, const char *label) {
  return guarded<HostControl *>(nullptr, [&]() -> HostControl * {
    HostWindow *model = aliveWindow(window);
    if (model == nullptr || controlClass == nullptr || desc == nullptr) {
      return nullptr;
    }
    auto control = std::make_unique<WindowControl>();
    control->reserved0 = nullptr;
    control->reserved1 = nullptr;
    control->set = controlSet;
    control->controlClass = controlClass;
    control->label = decoded(label);
    if (std::strcmp(controlClass, "XPanelControl") == 0) {
      const auto *formDesc = static_cast<const HostFormControlDesc *>(desc);
      if (formDesc->type != HOST_DESC_FORM) return nullptr;
      control->form = formDesc->form;
    } else if (std::strcmp(controlClass, "TextControl") == 0) {
      const auto *textDesc = static_cast<const HostTextControlDesc *>(desc);
      if (textDesc->type != HOST_DESC_TEXT) return nullptr;
      for (const char *const *line = textDesc->lines;
           line != nullptr && *line != nullptr; ++line) {
        control->lines.push_back(decoded(*line));
      }
    } else {
      return nullptr;
    }
    model->controls.push_back(std::move(control));
    return model->controls.back().get();
  });
}

const HostWindowFuncs windowFuncs = {
    windowCreate, windowDestroy, windowOpen, nullptr,         nullptr,
    windowClose,  nullptr,       windowSet,  windowAddControl};

}  // namespace

PanelHost &PanelHost::active() {
  HostServices &services = HostServices::active();
  if (!activePanels || activePanels->owner_ != &services) {
    throw HostError("the stand-in host has no panel services");
  }
  return *activePanels;
}

void installPanelServices(HostServices &services) {
  activePanels.reset(new PanelHost(services));
  services.addService(HOST_FORM_SERVICE, &formFuncs);
  services.addService(HOST_WINDOW_SERVICE, &windowFuncs);
}

bool PanelHost::formAlive(const HostForm *form) const {
  return forms_.count(const_cast<HostForm *>(form)) != 0;
}

bool PanelHost::windowAlive(const HostWindow *window) const {
  return windows_.count(const_cast<HostWindow *>(window)) != 0;
}

std::vector<HostWindow *> PanelHost::openWindows() const {
  std::vector<HostWindow *> open;
  for (const auto &[id, window] : windows_) {
    if (window->open) open.push_back(id);
  }
  return open;
}

HostForm *PanelHost::formOf(const HostWindow &window) const {
  for (const auto &control : window.controls) {
    if (control->form != nullptr && formAlive(control->form)) {
      return control->form;
    }
  }
  return nullptr;
}

HostForm *PanelHost::openForm() const {
  const std::vector<HostWindow *> open = openWindows();
  if (open.empty()) return nullptr;
  if (open.size() > 1) {
    throw HostError(fmt::format("{} settings windows are open", open.size()));
  }
  return formOf(*open.front());
}

void PanelHost::userClose(HostWindow &window) {
  if (windowAlive(&window)) closeWindow(&window);
}

void PanelHost::userKey(HostWindow &window, int key) {
  if (windowAlive(&window) && window.onKey != nullptr) {
    window.onKey(&window, nullptr, key);
  }
}

void PanelHost::hostDestroysForm(HostForm &form) {
  if (formAlive(&form)) destroyForm(&form);
}

HostForm *PanelHost::makeForm(int kind, const HostFormControl *controls) {
  ++calls_.formCreates;
  if (faults_.failFormCreate || controls == nullptr) return nullptr;
  auto form = std::make_unique<HostForm>();
  form->serial = ++serials_;
  form->kind = kind;
  for (const HostFormControl *row = controls; row->id != 0; ++row) {
    FormControl control;
    control.id = row->id;
    control.label = decoded(row->label);
    control.tableLabel = control.label;
    control.controlClass =
        row->controlClass != nullptr ? row->controlClass : "";
    control.kind = controlKindOf(control.controlClass);
    if (control.kind == ControlKind::Unknown) {
      form->problems.push_back(fmt::format("control {:#x}: unknown class {}",
                                           row->id, control.controlClass));
    }
    form->controls.push_back(std::move(control));
  }
  HostForm *id = form.get();
  forms_.emplace(id, std::move(form));
  return id;
}

void PanelHost::destroyForm(HostForm *form) {
  ++calls_.formDestroys;
  auto found = forms_.find(form);
  if (found == forms_.end()) return;
  // The notification runs while the form still exists, then it is gone.
  std::unique_ptr<HostForm> owned = std::move(found->second);
  forms_.erase(found);
  if (owned->onDestroy != nullptr) owned->onDestroy(form);
}

HostWindow *PanelHost::makeWindow(const char *title) {
  ++calls_.windowCreates;
  if (faults_.failWindowCreate) return nullptr;
  auto window = std::make_unique<HostWindow>();
  window->serial = ++serials_;
  window->title = decoded(title);
  HostWindow *id = window.get();
  windows_.emplace(id, std::move(window));
  return id;
}

void PanelHost::destroyWindow(HostWindow *window) {
  ++calls_.windowDestroys;
  windows_.erase(window);
}

void PanelHost::closeWindow(HostWindow *window) {
  ++calls_.windowCloses;
  if (!window->open) return;
  window->open = false;
  if (window->onClose != nullptr) window->onClose(window, nullptr);
}

}  // namespace lensfall::host
