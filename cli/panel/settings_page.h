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

#include "cli/panel/settings_panel.h"
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

// Shrinks a frame by point sampling, so that colour, alpha and depth stay
// consistent per pixel, to at most `maxWidth` pixels across.
host::Frame reducedFrame(const host::Frame &frame, int maxWidth);

class SettingsPage {
 public:
  // Opens the settings window over the session's newest instance. With a
  // frame, the preview filters it through that instance: the scene's frame
  // size becomes the frame's while the page is open, and the scene's own
  // size is what a save writes.
  SettingsPage(host::Session &session, std::filesystem::path scenePath,
               std::optional<host::Frame> previewFrame = std::nullopt);

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
  PageResponse save();

  std::mutex mutex_;
  host::Session &session_;
  std::filesystem::path scenePath_;
  std::optional<host::Frame> frame_;
  // The scene's own frame size and current frame, which a save writes
  // whatever the preview and the frame control show.
  int sceneWidth_ = 0, sceneHeight_ = 0, sceneFrame_ = 0;
  SettingsPanel panel_;
  // The instance's data before each edit, newest last, for undo.
  std::vector<nlohmann::json> undo_;
  bool unsaved_ = false;
};

// The page itself: HTML, CSS and JavaScript in one document.
const char *settingsPageHtml();

}  // namespace lensfall::cli
