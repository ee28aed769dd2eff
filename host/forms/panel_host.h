// The stand-in host's settings panels: the form service ("LWXPanel") that
// builds a form model from a module's control, value and hint tables, the
// window service ("LWPanelServices") that shows forms in windows, and the
// operations a user performs on them (edit a value, draw a control, close a
// window), which reach the module only through its callbacks.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/services.h"
#include "hostapi/panel.h"

// A drawn control's pixels: 8-bit RGB, row-major, top row first. Pixels a
// module draws outside the area are counted, not stored.
struct HostDrawArea {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
  long outside = 0;
  long drawn = 0;
  const uint8_t *at(int x, int y) const {
    return &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
  }
};

namespace lensfall::host {

// What kind of input a control class asks for.
enum class ControlKind {
  Boolean,    // "iBoolean": a check box holding 0 or 1
  Choice,     // "iChoice": one of fixed names
  Popup,      // "iPopChoice": one of the entries its callbacks name
  Slider,     // "iSlider": an integer between its bounds
  Integer,    // other integer controls
  Number,     // "float-env"
  Percent,    // "percent-env": a fraction shown in percent
  Distance,   // "distance-env"
  Angle,      // "angle-env": radians shown in degrees
  Thumbnail,  // "dThumbnail": drawn by its callback, holds no value
  Unknown,
};

ControlKind controlKindOf(const std::string &controlClass);
// Animated kinds keep their value in a variant parameter.
bool isAnimatedKind(ControlKind kind);

// A control enabled only while its controller's value allows it: with a
// map, while map[value] is non-zero; without one, while the value is not 0.
struct EnableRule {
  unsigned long controller = 0;
  const int *map = nullptr;
};

struct FormControl {
  unsigned long id = 0;
  std::string label;       // UTF-8, after any label hint
  std::string tableLabel;  // UTF-8, as the control table names it
  std::string controlClass;
  std::string dataType;
  ControlKind kind = ControlKind::Unknown;
  unsigned long group = 0;  // 0: in no group
  // Bounds in the value's own units (fractions, radians, scene units);
  // a later hint replaces an earlier one.
  std::optional<double> minimum;
  std::optional<double> maximum;
  std::optional<double> step;
  std::vector<std::string> choiceNames;  // UTF-8, for "iChoice"
  HostPopupCountFunc *popupCount = nullptr;
  HostPopupNameFunc *popupName = nullptr;
  HostDrawFunc *draw = nullptr;
  std::vector<HostHintWord> drawConfig;
  bool left = false;    // starts a row at the left edge
  bool narrow = false;  // narrow, beside the control before it
  std::vector<EnableRule> enableRules;
};

// A window control: the record the module sees, and what the host keeps.
struct WindowControl : HostControl {
  std::string controlClass;
  std::string label;
  HostFormID form = nullptr;       // "XPanelControl"
  std::vector<std::string> lines;  // "TextControl", UTF-8
  std::map<int, intptr_t> attributes;
};

}  // namespace lensfall::host

// The form behind a form handle.
struct HostForm {
  int serial = 0;  // counts forms from 1; addresses may be reused
  int kind = 0;
  std::vector<lensfall::host::FormControl> controls;  // in table order
  std::vector<unsigned long> groups;                  // in hint order
  HostFormGetFunc *get = nullptr;
  HostFormSetFunc *set = nullptr;
  void *instance = nullptr;  // given to get and set
  void *data = nullptr;
  HostFormChangeFunc *onChange = nullptr;
  HostFormDestroyFunc *onDestroy = nullptr;
  int viewRefreshes = 0;
  int redrawRequests = 0;             // refresh codes the set callback gave
  std::vector<std::string> problems;  // hints the form could not apply
};

// The window behind a window handle.
struct HostWindow {
  int serial = 0;  // counts windows from 1; addresses may be reused
  std::string title;
  bool open = false;
  HostWindowCloseFunc *onClose = nullptr;
  HostWindowKeyFunc *onKey = nullptr;
  std::vector<std::unique_ptr<lensfall::host::WindowControl>> controls;
};

namespace lensfall::host {

struct PanelFaults {
  bool failWindowCreate = false;
  bool failFormCreate = false;
};

// Counts of what the module asked for, for tests.
struct PanelCalls {
  int windowCreates = 0;
  int windowDestroys = 0;
  int windowOpens = 0;
  int windowCloses = 0;
  int formCreates = 0;
  int formDestroys = 0;
  int viewRefreshes = 0;
};

class PanelHost {
 public:
  // The panels of the active host services; throws HostError when none.
  static PanelHost &active();

  PanelFaults &faults() { return faults_; }
  const PanelCalls &calls() const { return calls_; }

  bool formAlive(const HostForm *form) const;
  bool windowAlive(const HostWindow *window) const;
  size_t liveForms() const { return forms_.size(); }
  size_t liveWindows() const { return windows_.size(); }
  std::vector<HostWindow *> openWindows() const;
  // The form that the only open window shows; null when no window is open
  // or its form is gone. Throws HostError when several windows are open.
  HostForm *openForm() const;
  // The form an open window embeds, when it still exists.
  HostForm *formOf(const HostWindow &window) const;

  // The user closes the window: it closes, then its close callback runs.
  void userClose(HostWindow &window);
  void userKey(HostWindow &window, int key);
  // The host destroys a form on its own: the destroy notification runs.
  void hostDestroysForm(HostForm &form);

  // Used by the service records.
  HostForm *makeForm(int kind, const HostFormControl *controls);
  void destroyForm(HostForm *form);
  HostWindow *makeWindow(const char *title);
  void destroyWindow(HostWindow *window);
  void closeWindow(HostWindow *window);
  PanelCalls &mutableCalls() { return calls_; }

 private:
  friend void installPanelServices(HostServices &services);
  explicit PanelHost(HostServices &owner) : owner_(&owner) {}
  HostServices *owner_;
  PanelFaults faults_;
  PanelCalls calls_;
  std::map<HostForm *, std::unique_ptr<HostForm>> forms_;
  std::map<HostWindow *, std::unique_ptr<HostWindow>> windows_;
  int serials_ = 0;
};

// Registers "LWXPanel" and "LWPanelServices" with the services and gives
// them fresh panels.
void installPanelServices(HostServices &services);

// A user's view of one form: values read through its get callback, edits
// written through its set callback (plain values) or the variant parameter
// (animated ones), followed by the change notification.
class FormModel {
 public:
  explicit FormModel(HostForm &form) : form_(&form) {}
  HostForm &form() const { return *form_; }
  const std::vector<FormControl> &controls() const { return form_->controls; }
  // Throws HostError for an id the form does not have.
  const FormControl &control(unsigned long id) const;
  const FormControl *findControl(unsigned long id) const;

  // The value shown now: integers as they are, animated values at the
  // scene's current time. Throws HostError for a control without a value.
  double value(unsigned long id) const;
  // An animated value driven by an envelope.
  bool hasEnvelope(unsigned long id) const;
  bool enabled(unsigned long id) const;
  // The entries of a choice or popup, UTF-8.
  std::vector<std::string> choices(unsigned long id) const;

  // Edits one value as a user would. Throws HostError naming the control
  // when the id is unknown, the control is disabled or holds no value, or
  // the value is not whole where it must be, or outside the bounds;
  // nothing changes then.
  void setValue(unsigned long id, double value);

  // Runs the control's draw callback on a fresh area.
  HostDrawArea draw(unsigned long id, int width, int height) const;
  // Draws the form's thumbnail control in a square area.
  HostDrawArea drawThumbnail(int size) const;

 private:
  HostForm *form_;
};

}  // namespace lensfall::host
