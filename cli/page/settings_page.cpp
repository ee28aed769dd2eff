#include "cli/page/settings_page.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>

#include "cli/instance_settings.h"
#include "cli/page/focus_pick.h"
#include "cli/setting_bounds.h"
#include "host/depth_convention.h"
#include "host/host_error.h"
#include "host/text_codec.h"

namespace lensfall::cli {

namespace {

using host::ControlKind;
using host::HostError;
using nlohmann::json;

constexpr int kDefaultThumbnailSize = 192;
constexpr int kMaxThumbnailSize = 1024;
constexpr size_t kMaxUndo = 100;
constexpr int kMaxFrame = 1000000;
constexpr double kMaxExposureStops = 16.0;
constexpr int kMaxDetailEdge = 2048;

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

PageResponse error(int status, const std::string &message,
                   json extra = json::object()) {
  extra["error"] = message;
  return {status, "application/json", extra.dump(), {}};
}

PageResponse jsonResponse(const json &body) {
  return {200, "application/json", body.dump(), {}};
}

// The setting a control edits, found by the label the control table gives
// it, as --set finds its bounds.
const SettingField *settingOf(const host::FormControl &control) {
  for (const SettingField &field : settingFields()) {
    if (control.tableLabel == field.label) return &field;
  }
  return nullptr;
}

// A number as typed into a field in the units it shows, with the unit
// itself allowed after it ("50", "50 %", "15°"). Throws HostError in the
// words --set uses.
double typedNumber(std::string text, const std::string &key) {
  const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), blank));
  for (const char *unit : {"%", "°", "deg", "m"}) {
    const std::string_view u(unit);
    if (text.size() > u.size() && text.ends_with(u)) {
      text.resize(text.size() - u.size());
    }
  }
  while (!text.empty() && blank(text.back())) text.pop_back();
  if (text.empty()) {
    throw HostError(fmt::format("{}: the field is empty; type a number", key));
  }
  double value = 0.0;
  const char *end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value)) {
    throw HostError(fmt::format("{}: \"{}\" is not a number", key, text));
  }
  return value;
}

}  // namespace

SettingsPage::SettingsPage(host::Session &session,
                           std::filesystem::path scenePath,
                           std::optional<host::Frame> frame, int previewWidth)
    : session_(session),
      scenePath_(std::move(scenePath)),
      sceneWidth_(session.scene().width),
      sceneHeight_(session.scene().height),
      sceneFrame_(session.scene().frame),
      panel_(session) {
  if (!frame) return;
  preview_ = Filtered{reducedFrame(*frame, previewWidth)};
  if (preview_->frame.width != frame->width) {
    full_ = Filtered{std::move(*frame)};
  }
  // The module sizes its blur by the scene's frame, so the reduced
  // preview is filtered as the whole frame would be.
  session_.scene().width = preview_->frame.width;
  session_.scene().height = preview_->frame.height;
  session_.services().sceneChanged();
}

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
    if (const SettingField *field = settingOf(control))
      entry["key"] = field->key;
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
          {"preview", preview_.has_value()},
          {"frameWidth", full_      ? full_->frame.width
                         : preview_ ? preview_->frame.width
                                    : 0},
          {"frameHeight", full_      ? full_->frame.height
                          : preview_ ? preview_->frame.height
                                     : 0},
          {"unsaved", unsaved_},
          {"frame", session_.scene().frame},
          {"undo", undo_.size()},
          {"scene", scenePath_.string()}};
}

PageResponse SettingsPage::handle(const PageRequest &request) {
  std::lock_guard<std::mutex> lock(mutex_);
  try {
    const bool get = request.method == "GET";
    const bool post = request.method == "POST";
    if (get && request.path == "/") {
      return {200, "text/html; charset=utf-8", settingsPageHtml(), {}};
    }
    if (get && request.path == "/api/form") return jsonResponse(formJson());
    if (get && request.path == "/api/ping") return jsonResponse({{"ok", true}});
    if (post && request.path == "/api/value") return setValue(request.body);
    if (post && request.path == "/api/undo") return undo();
    if (post && request.path == "/api/frame") return showFrame(request.body);
    if (post && request.path == "/api/focus") return focusAt(request.body);
    if (get && request.path == "/api/thumbnail.png") return thumbnail(request);
    if (get && request.path == "/api/preview.bmp") return preview(request);
    if (get && request.path == "/api/detail.bmp") return detail(request);
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
                 "\"value\": NUMBER} or {\"id\": ID, \"text\": TYPED}");
  }
  if (!request.is_object() || !request.contains("id") ||
      !request["id"].is_number_unsigned()) {
    return error(400, "\"id\" must be a control id (a whole number)");
  }
  const unsigned long id = request["id"].get<unsigned long>();
  const json about = {{"id", id}};
  const bool typed = request.contains("text");
  if (typed ? !request["text"].is_string()
            : !request.contains("value") || !request["value"].is_number()) {
    return error(400, "\"value\" must be a number, or \"text\" a string",
                 about);
  }
  host::FormModel model = panel_.form();
  const host::FormControl *control = model.findControl(id);
  if (control == nullptr) {
    return error(400, fmt::format("the form has no control {:#x}", id), about);
  }
  const SettingField *field = settingOf(*control);
  const std::string key = field ? field->key : control->label;
  try {
    double stored = 0.0;
    if (typed) {
      const double shown = typedNumber(request["text"].get<std::string>(), key);
      stored = field ? storedFromShown(field->kind, shown) : shown;
    } else {
      stored = request["value"].get<double>();
    }
    // The form's bounds, refused in the words and units --set uses.
    if (field) SettingBounds::fromControls(model).check(*field, stored);
    if (control->kind != ControlKind::Thumbnail && model.hasEnvelope(id) &&
        !request.value("replaceAnimation", false)) {
      return error(409,
                   fmt::format("{} ({}) is animated: a typed value replaces "
                               "its animation with one value",
                               control->label, key),
                   {{"id", id}, {"animated", true}});
    }
    HostInstance instance = model.form().instance;
    json before = session_.filter().save(instance);
    model.setValue(id, stored);
    edited(std::move(before), focalDistance());
  } catch (const HostError &refused) {
    return error(400, refused.what(), about);
  }
  return jsonResponse(formJson());
}

void SettingsPage::edited(json before, double focalDistanceBefore) {
  undo_.push_back({std::move(before), focalDistanceBefore});
  if (undo_.size() > kMaxUndo) undo_.erase(undo_.begin());
  unsaved_ = true;
  ++generation_;
}

double SettingsPage::focalDistance() const {
  const host::Scene &scene = session_.scene();
  return scene.camera ? scene.camera->lens.focalDistance : 0.0;
}

PageResponse SettingsPage::undo() {
  if (undo_.empty()) return error(409, "there is no edit to undo");
  HostInstance instance = panel_.form().form().instance;
  session_.filter().load(instance, undo_.back().data);
  if (session_.scene().camera) {
    session_.scene().camera->lens.focalDistance = undo_.back().focalDistance;
    session_.services().sceneChanged();
  }
  undo_.pop_back();
  unsaved_ = true;
  ++generation_;
  return jsonResponse(formJson());
}

PageResponse SettingsPage::showFrame(const std::string &body) {
  const json request = json::parse(body, nullptr, false);
  if (!request.is_object() || !request.contains("frame") ||
      !request["frame"].is_number_integer() ||
      request["frame"].get<long>() < 0 ||
      request["frame"].get<long>() > kMaxFrame) {
    return error(400, fmt::format("frame: expected a whole number from 0 to {}",
                                  kMaxFrame));
  }
  // Animated values are read, and the preview filtered, at this frame.
  session_.scene().frame = request["frame"].get<int>();
  session_.services().sceneChanged();
  ++generation_;
  return jsonResponse(formJson());
}

PageResponse SettingsPage::focusAt(const std::string &body) {
  if (!preview_) return error(404, "no input frame was given");
  const host::Frame &frame = preview_->frame;
  const json request = json::parse(body, nullptr, false);
  const auto coordinate = [&](const char *name,
                              int size) -> std::optional<int> {
    if (!request.is_object() || !request.contains(name) ||
        !request[name].is_number_integer()) {
      return std::nullopt;
    }
    const long value = request[name].get<long>();
    return value >= 0 && value < size ? std::optional<int>(int(value))
                                      : std::nullopt;
  };
  const auto x = coordinate("x", frame.width),
             y = coordinate("y", frame.height);
  if (!x || !y) {
    return error(400, fmt::format("focus: expected {{\"x\": 0 to {}, \"y\": 0 "
                                  "to {}}} in preview pixels",
                                  frame.width - 1, frame.height - 1));
  }
  if (frame.depth.empty()) return error(400, "focus: the frame has no depth");
  host::Scene &scene = session_.scene();
  if (!scene.camera) return error(400, "focus: the scene has no camera");
  const double depth = frame.depth[size_t(*y) * frame.width + size_t(*x)];
  if (std::isnan(depth) || depth <= 0.0) {
    return error(400, "focus: there is no depth under the cursor");
  }
  // Sky and other empty pixels lie as far as far goes: a click there
  // focuses on the distance.
  const FocusClick click{*x, *y, frame.width, frame.height,
                         std::min(depth, double(host::kVeryFar))};
  host::FormModel model = panel_.form();
  const host::FormControl *focus = nullptr;
  for (const host::FormControl &control : model.controls()) {
    const SettingField *field = settingOf(control);
    if (field && field->kind == SettingKind::Focus) focus = &control;
  }
  const double time = session_.services().timeInfo.time;
  if (focus == nullptr || model.value(focus->id) == 0.0) {
    // No focus object: the camera's focal distance moves to the depth.
    HostInstance instance = model.form().instance;
    edited(session_.filter().save(instance), focalDistance());
    scene.camera->lens.focalDistance = click.distance;
    session_.services().sceneChanged();
    json form = formJson();
    form["focusDistance"] = click.distance;
    return jsonResponse(form);
  }
  // A focus object is chosen: the object nearest the point under the
  // cursor becomes it.
  const HostItem *nearest = objectUnderClick(scene, time, click);
  const std::vector<std::string> names = model.choices(focus->id);
  const std::string name = nearest ? host::cp932ToUtf8(nearest->name) : "";
  const auto found = std::find(names.begin(), names.end(), name);
  if (found == names.end()) {
    return error(400,
                 "focus: no object of the focus list lies near that depth");
  }
  HostInstance instance = model.form().instance;
  json before = session_.filter().save(instance);
  try {
    model.setValue(focus->id, double(found - names.begin()));
  } catch (const HostError &refused) {
    return error(400, refused.what());
  }
  edited(std::move(before), focalDistance());
  json form = formJson();
  form["focusDistance"] = click.distance;
  form["focusObject"] = name;
  return jsonResponse(form);
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
  return {200, "image/png", areaPng(area), {}};
}

bool SettingsPage::filter(Filtered &filtered) {
  if (filtered.generation == generation_) return false;
  host::Scene &scene = session_.scene();
  const int shownWidth = scene.width, shownHeight = scene.height;
  const auto sceneSize = [&](int width, int height) {
    if (scene.width == width && scene.height == height) return;
    scene.width = width;
    scene.height = height;
    session_.services().sceneChanged();
  };
  sceneSize(filtered.frame.width, filtered.frame.height);
  const auto started = std::chrono::steady_clock::now();
  try {
    HostInstance instance = panel_.form().form().instance;
    host::ProcessOptions options;
    options.frameNumber = scene.frame;
    host::processFrame(session_.filter(), instance, filtered.frame, options);
  } catch (...) {
    filtered.generation = 0;
    sceneSize(shownWidth, shownHeight);
    throw;
  }
  filtered.renderMs = std::chrono::duration<double, std::milli>(
                          std::chrono::steady_clock::now() - started)
                          .count();
  filtered.generation = generation_;
  sceneSize(shownWidth, shownHeight);
  return true;
}

PageResponse SettingsPage::picture(Filtered &filtered,
                                   const PageRequest &request,
                                   std::optional<Region> region) {
  double stops = 0.0;
  if (const auto found = request.query.find("exposure");
      found != request.query.end()) {
    const char *end = found->second.data() + found->second.size();
    const auto parsed = std::from_chars(found->second.data(), end, stops);
    if (parsed.ec != std::errc() || parsed.ptr != end ||
        !(std::fabs(stops) <= kMaxExposureStops)) {
      return error(400, fmt::format("exposure must be -{0} to {0} stops",
                                    kMaxExposureStops));
    }
  }
  const auto query = request.query.find("before");
  const bool before = query != request.query.end() && query->second == "1";
  // The output planes are kept between requests: a change of exposure, of
  // the before view or of the region shown filters nothing again.
  const bool rendered = !before && filter(filtered);
  const host::Frame &frame = filtered.frame;
  const Region shown = region.value_or(Region{0, 0, frame.width, frame.height});
  const std::vector<uint8_t> rgb = displayPixels(
      frame, before ? Planes::Input : Planes::Filtered, stops, shown);
  PageResponse response{
      200,
      "image/bmp",
      encodeImage("bmp", shown.width, shown.height, 3, rgb.data()),
      {}};
  // The time the filter took to make the output shown, whether by this
  // request or by an earlier one.
  response.headers["X-Render-Ms"] =
      fmt::format("{:.1f}", before ? 0.0 : filtered.renderMs);
  response.headers["X-Rendered"] = rendered ? "now" : "earlier";
  response.headers["X-Region"] =
      fmt::format("{},{},{},{}", shown.x, shown.y, shown.width, shown.height);
  return response;
}

PageResponse SettingsPage::preview(const PageRequest &request) {
  if (!preview_) return error(404, "no input frame was given");
  return picture(*preview_, request, std::nullopt);
}

PageResponse SettingsPage::detail(const PageRequest &request) {
  if (!preview_) return error(404, "no input frame was given");
  Filtered &filtered = full_ ? *full_ : *preview_;
  const int width = filtered.frame.width, height = filtered.frame.height;
  // The region is asked for in the frame's own pixels; one that reaches
  // past an edge is moved inside, as a view panned too far stops there.
  Region wanted;
  const struct {
    const char *name;
    int *value;
    int low, high;
  } fields[] = {{"x", &wanted.x, -kMaxDetailEdge, width},
                {"y", &wanted.y, -kMaxDetailEdge, height},
                {"w", &wanted.width, 1, kMaxDetailEdge},
                {"h", &wanted.height, 1, kMaxDetailEdge}};
  for (const auto &field : fields) {
    const auto found = request.query.find(field.name);
    const std::string text =
        found == request.query.end() ? std::string() : found->second;
    const char *end = text.data() + text.size();
    const auto parsed = std::from_chars(text.data(), end, *field.value);
    if (text.empty() || parsed.ec != std::errc() || parsed.ptr != end ||
        *field.value < field.low || *field.value > field.high) {
      return error(400,
                   fmt::format("1:1 view: {} must be a whole number from {} "
                               "to {} (frame pixels)",
                               field.name, field.low, field.high));
    }
  }
  return picture(filtered, request, regionInside(wanted, width, height));
}

PageResponse SettingsPage::save() {
  // The preview's reduced frame size and the frame shown are the page's own
  // business: the scene keeps the size and frame it was opened with.
  host::Scene &scene = session_.scene();
  const int previewWidth = scene.width, previewHeight = scene.height;
  const int shownFrame = scene.frame;
  const auto showAgain = [&] {
    scene.width = previewWidth;
    scene.height = previewHeight;
    scene.frame = shownFrame;
  };
  scene.width = sceneWidth_;
  scene.height = sceneHeight_;
  scene.frame = sceneFrame_;
  try {
    session_.saveScene(scenePath_);
  } catch (...) {
    showAgain();
    throw;
  }
  showAgain();
  unsaved_ = false;
  return jsonResponse({{"saved", scenePath_.string()}});
}

}  // namespace lensfall::cli
