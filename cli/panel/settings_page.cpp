#include "cli/panel/settings_page.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "host/host_error.h"

namespace lensfall::cli {

namespace {

using host::ControlKind;
using host::HostError;
using nlohmann::json;

constexpr int kDefaultThumbnailSize = 192;
constexpr int kMaxThumbnailSize = 1024;

const char *kindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::Boolean:
      return "boolean";
    case ControlKind::Choice:
      return "choice";
    case ControlKind::Popup:
      return "popup";
    case ControlKind::Slider:
      return "slider";
    case ControlKind::Integer:
      return "integer";
    case ControlKind::Number:
      return "number";
    case ControlKind::Percent:
      return "percent";
    case ControlKind::Distance:
      return "distance";
    case ControlKind::Angle:
      return "angle";
    case ControlKind::Thumbnail:
      return "thumbnail";
    case ControlKind::Unknown:
      break;
  }
  return "unknown";
}

PageResponse error(int status, const std::string &message) {
  return {status, "application/json", json{{"error", message}}.dump()};
}

PageResponse jsonResponse(const json &body) {
  return {200, "application/json", body.dump()};
}

float linearToSrgb(float v) {
  v = std::clamp(v, 0.0f, 1.0f);
  return v <= 0.0031308f ? 12.92f * v
                         : 1.055f * std::pow(v, 1.0f / 2.4f) - 0.055f;
}

uint8_t toByte(float v) { return uint8_t(std::lround(v * 255.0f)); }

}  // namespace

host::Frame reducedFrame(const host::Frame &frame, int maxWidth) {
  if (frame.width <= maxWidth || frame.width <= 0) return frame;
  const int width = maxWidth;
  const int height =
      std::max(1, int(std::lround(double(frame.height) * width / frame.width)));
  host::Frame reduced(width, height);
  const bool depth = !frame.depth.empty();
  if (depth) reduced.depth.resize(reduced.pixels());
  for (int y = 0; y < height; ++y) {
    const int sy =
        std::min(frame.height - 1, int((y + 0.5) * frame.height / height));
    for (int x = 0; x < width; ++x) {
      const int sx =
          std::min(frame.width - 1, int((x + 0.5) * frame.width / width));
      const size_t from = size_t(sy) * frame.width + sx;
      const size_t to = size_t(y) * width + x;
      reduced.red[to] = frame.red[from];
      reduced.green[to] = frame.green[from];
      reduced.blue[to] = frame.blue[from];
      reduced.alpha[to] = frame.alpha[from];
      if (depth) reduced.depth[to] = frame.depth[from];
    }
  }
  reduced.resetOutput();
  return reduced;
}

SettingsPage::SettingsPage(host::Session &session,
                           std::filesystem::path scenePath,
                           std::optional<host::Frame> previewFrame)
    : session_(session),
      scenePath_(std::move(scenePath)),
      frame_(std::move(previewFrame)),
      panel_(session) {}

json SettingsPage::formJson() const {
  const host::FormModel model = panel_.form();
  json controls = json::array();
  std::vector<unsigned long> groupOrder;
  for (const host::FormControl &control : model.controls()) {
    json entry = {{"id", control.id},
                  {"label", control.label},
                  {"kind", kindName(control.kind)},
                  {"class", control.controlClass},
                  {"group", control.group},
                  {"left", control.left},
                  {"narrow", control.narrow},
                  {"enabled", model.enabled(control.id)}};
    if (control.minimum) entry["min"] = *control.minimum;
    if (control.maximum) entry["max"] = *control.maximum;
    if (control.step) entry["step"] = *control.step;
    if (control.kind != ControlKind::Thumbnail) {
      entry["value"] = model.value(control.id);
      entry["envelope"] = model.hasEnvelope(control.id);
    }
    if (control.kind == ControlKind::Choice ||
        control.kind == ControlKind::Popup) {
      entry["choices"] = model.choices(control.id);
    }
    controls.push_back(std::move(entry));
    if (std::find(groupOrder.begin(), groupOrder.end(), control.group) ==
        groupOrder.end()) {
      groupOrder.push_back(control.group);
    }
  }
  const std::vector<std::string> banner = panel_.banner();
  return {{"title", "Lensfall"},
          {"banner", banner.empty() ? "" : banner.front()},
          {"groups", groupOrder},
          {"controls", controls},
          {"preview", frame_.has_value()},
          {"scene", scenePath_.string()}};
}

PageResponse SettingsPage::handle(const PageRequest &request) {
  std::lock_guard<std::mutex> lock(mutex_);
  try {
    const bool get = request.method == "GET";
    const bool post = request.method == "POST";
    if (get && request.path == "/") {
      return {200, "text/html; charset=utf-8", settingsPageHtml()};
    }
    if (get && request.path == "/api/form") return jsonResponse(formJson());
    if (post && request.path == "/api/value") return setValue(request.body);
    if (get && request.path == "/api/thumbnail.png") return thumbnail(request);
    if (get && request.path == "/api/preview.png") return preview();
    if (post && request.path == "/api/save") return save();
    return error(
        404, fmt::format("no such page: {} {}", request.method, request.path));
  } catch (const std::exception &failure) {
    return error(500, failure.what());
  }
}

PageResponse SettingsPage::setValue(const std::string &body) {
  json request;
  try {
    request = json::parse(body);
  } catch (const json::exception &) {
    return error(400,
                 "the request is not JSON: expected {\"id\": ID, "
                 "\"value\": NUMBER}");
  }
  if (!request.is_object() || !request.contains("id") ||
      !request["id"].is_number_unsigned()) {
    return error(400, "\"id\" must be a control id (a whole number)");
  }
  if (!request.contains("value") || !request["value"].is_number()) {
    return error(400, "\"value\" must be a number");
  }
  const unsigned long id = request["id"].get<unsigned long>();
  host::FormModel model = panel_.form();
  if (model.findControl(id) == nullptr) {
    return error(400, fmt::format("the form has no control {:#x}", id));
  }
  try {
    model.setValue(id, request["value"].get<double>());
  } catch (const HostError &refused) {
    return error(400, refused.what());
  }
  return jsonResponse(formJson());
}

PageResponse SettingsPage::thumbnail(const PageRequest &request) {
  int size = kDefaultThumbnailSize;
  if (const auto found = request.query.find("size");
      found != request.query.end()) {
    try {
      size_t used = 0;
      size = std::stoi(found->second, &used);
      if (used != found->second.size()) throw std::invalid_argument("size");
    } catch (const std::exception &) {
      return error(400, "size must be a whole number");
    }
    if (size < 1 || size > kMaxThumbnailSize) {
      return error(400, fmt::format("size must be 1 to {}", kMaxThumbnailSize));
    }
  }
  const HostDrawArea area = panel_.form().drawThumbnail(size);
  return {200, "image/png", areaPng(area)};
}

PageResponse SettingsPage::preview() {
  if (!frame_) return error(404, "no input frame was given");
  HostInstance instance = panel_.form().form().instance;
  host::ProcessOptions options;
  options.frameNumber = session_.scene().frame;
  host::processFrame(session_.filter(), instance, *frame_, options);
  const host::Frame &frame = *frame_;
  std::vector<uint8_t> rgb(frame.pixels() * 3);
  for (size_t i = 0; i < frame.pixels(); ++i) {
    rgb[i * 3 + 0] = toByte(linearToSrgb(frame.outRed[i]));
    rgb[i * 3 + 1] = toByte(linearToSrgb(frame.outGreen[i]));
    rgb[i * 3 + 2] = toByte(linearToSrgb(frame.outBlue[i]));
  }
  return {200, "image/png",
          encodePng(frame.width, frame.height, 3, rgb.data())};
}

PageResponse SettingsPage::save() {
  session_.saveScene(scenePath_);
  return jsonResponse({{"saved", scenePath_.string()}});
}

}  // namespace lensfall::cli
