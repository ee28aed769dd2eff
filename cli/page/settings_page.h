// The settings page's request handlers: each request in, one response out,
// with no socket in between, so tests call them directly. Every edit goes
// through the form service to the module; the page draws nothing itself.
#pragma once

#include <filesystem>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/page/display_image.h"
#include "cli/page/settings_panel.h"
#include "host/frame.h"
#include "host/session.h"

namespace lensfall::cli {

struct PageRequest {
  std::string method;  // "GET" or "POST"
  std::string path;
  std::map<std::string, std::string> query;
  std::string body;
  std::map<std::string, std::string> headers;  // names in lower case
};

struct PageResponse {
  int status = 200;
  std::string contentType = "application/json";
  std::string body;
  std::map<std::string, std::string> headers;
};

// Widest preview the page filters for every edit; the 1:1 view filters the
// frame at its own size.
inline constexpr int kPreviewWidth = 480;

class SettingsPage {
 public:
  // Opens the settings window over the session's newest instance. With a
  // frame, the preview filters it through that instance, reduced to at
  // most `previewWidth` pixels across, and the 1:1 view at its own size:
  // the scene's frame size is the filtered frame's while the page is open,
  // and the scene's own size is what a save writes.
  SettingsPage(host::Session &session, std::filesystem::path scenePath,
               std::optional<host::Frame> frame = std::nullopt,
               int previewWidth = kPreviewWidth);

  // Requests may come from several threads; they reach the module one at a
  // time.
  PageResponse handle(const PageRequest &request);

  // The form as the page shows it: groups, controls, values and states.
  nlohmann::json formJson() const;

 private:
  PageResponse setValue(const std::string &body);
  PageResponse undo();
  PageResponse showFrame(const std::string &body);
  PageResponse focusAt(const std::string &body);
  PageResponse thumbnail(const PageRequest &request);
  PageResponse preview(const PageRequest &request);
  PageResponse detail(const PageRequest &request);
  PageResponse save();

  // A frame the page filters, and the edit its output planes show.
  struct Filtered {
    host::Frame frame;
    unsigned long generation = 0;  // 0: never filtered
    double renderMs = 0.0;
  };
  // Filters the frame through the instance unless its output already shows
  // the newest edit; the scene's frame size is the frame's meanwhile.
  // Answers whether it filtered.
  bool filter(Filtered &filtered);
  // The preview and the 1:1 view drawn with the display query parameters
  // ("exposure" in stops, "before") over `region` of the frame.
  PageResponse picture(Filtered &filtered, const PageRequest &request,
                       std::optional<Region> region);
  // What an edit must do besides changing the form: keep the state before
  // it for undo and mark the page's pictures and the scene as changed.
  void edited(nlohmann::json before, double focalDistanceBefore);
  // The render camera's focal distance; 0 without a camera.
  double focalDistance() const;

  std::mutex mutex_;
  host::Session &session_;
  std::filesystem::path scenePath_;
  // The preview's reduced frame and, when it is larger, the frame itself.
  std::optional<Filtered> preview_, full_;
  // The scene's own frame size and current frame, which a save writes
  // whatever the preview and the frame control show.
  int sceneWidth_ = 0, sceneHeight_ = 0, sceneFrame_ = 0;
  SettingsPanel panel_;
  // What an edit changed, newest last, for undo: the instance's data and
  // the camera's focal distance, which a click in the preview sets.
  struct Before {
    nlohmann::json data;
    double focalDistance = 0.0;
  };
  std::vector<Before> undo_;
  // Counts the edits and frame changes, so a picture is filtered again only
  // when its output planes show an older state.
  unsigned long generation_ = 1;
  bool unsaved_ = false;
};

// The page itself: HTML, CSS and JavaScript in one document.
const char *settingsPageHtml();

}  // namespace lensfall::cli
