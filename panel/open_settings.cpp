#include "panel/open_settings.h"

#include "hostlink/texts.h"
#include "panel/form_callbacks.h"
#include "panel/form_tables.h"
#include "panel/panel_state.h"
#include "settings/current_settings.h"

namespace lensfall {

namespace {

inline constexpr char kWindowTitle[] = "Lensfall";
inline constexpr char kFormControlClass[] = "XPanelControl";
inline constexpr char kTextControlClass[] = "TextControl";
inline constexpr char kNoLabel[] = "";

const char *const bannerLines[] = {"Lensfall 1.1.1", nullptr};

// The window service reads these during the call that receives them.
HostFormControlDesc formDescription{HOST_DESC_FORM, 0, 0, nullptr};
const HostTextControlDesc textDescription{HOST_DESC_TEXT, bannerLines};
const HostIntegerValue bannerX{HOST_DESC_INTEGER, 10, 0};

// A callback as an attribute value, checked against the type the window
// calls it with.
template <typename Function>
void *callbackWord(Function *function) {
  return reinterpret_cast<void *>(function);
}

// Releases a half-made panel so that no handle names a window that never
// opened or a form that no window shows.
void releasePartialPanel(HostWindowID window, HostFormID form) {
  if (form != nullptr) formService->destroy(form);
  if (window != nullptr) windowService->destroy(window);
  settingsForm = nullptr;
  settingsWindow = nullptr;
}

}  // namespace

const char *openSettings(void *) {
  if (formService == nullptr || windowService == nullptr) {
    return texts::kMessageNoPanel;
  }
  // The form is bound to the newest record; once that record is destroyed
  // there is nothing left to show.
  FilterSettings *record = currentSettings;
  if (record == nullptr) return texts::kMessageNoPanel;
  // A second opening replaces the first window, so the new form shows the
  // record current now and no open window keeps a form that was destroyed.
  closeSettingsWindow();

  HostWindowID window = windowService->create(kWindowTitle, nullptr);
  settingsWindow = window;
  HostFormID form = formService->create(HOST_FORM_KIND_VIEW, controlTable);
  if (form != nullptr) {
    formService->describe(form, dataTable, getSetting, setSetting);
    formService->hint(form, 0, hintTable);
    formService->viewInstance(form, record);
    formService->setData(form, 0, record);
  }
  settingsForm = form;
  if (window == nullptr || form == nullptr) {
    releasePartialPanel(window, form);
    return texts::kMessageNoPanel;
  }

  windowService->set(window, HOST_WINDOW_CLOSE_CALLBACK,
                     callbackWord<HostWindowCloseFunc>(onWindowClose));
  windowService->set(window, HOST_WINDOW_KEY_CALLBACK,
                     callbackWord<HostWindowKeyFunc>(onWindowKey));
  formDescription.form = form;
  windowService->addControl(window, kFormControlClass, &formDescription,
                            kNoLabel);
  HostControl *text = windowService->addControl(window, kTextControlClass,
                                                &textDescription, kNoLabel);
  if (text != nullptr && text->set != nullptr) {
    text->set(text, HOST_CONTROL_X, &bannerX);
  }
  windowService->open(window, 0);
  return nullptr;
}

}  // namespace lensfall
