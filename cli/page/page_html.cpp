// The settings page: plain HTML, CSS and JavaScript, served as it is. It
// lays the module's form out the way the host's form does (groups, rows
// started by left-edge controls, narrow controls beside the one before)
// and sends every edit to the form service. Around the form it adds what
// the host's page owns: the token on every request, the preview beside the
// form with its 1:1 view, undo, the unsaved mark and word when the server
// has gone.
#include "cli/page/settings_page.h"

namespace lensfall::cli {

const char *settingsPageHtml() {
  return R"PAGE(<!doctype html>
<html lang="ja">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Lensfall</title>
<style>
  body { font-family: "Noto Sans CJK JP", "Hiragino Sans", sans-serif;
         background: #2b2b2b; color: #ddd; margin: 12px; }
  h1 { font-size: 15px; margin: 0 0 8px; color: #eee; }
  /* The form and the preview side by side where both fit (a laptop's
     screen), the preview below the form in a narrower window. */
  #layout { display: flex; flex-wrap: wrap; gap: 16px; align-items: flex-start; }
  #window { background: #3a3a3a; padding: 10px 14px; flex: 0 1 620px; min-width: 0;
            max-width: 100%; box-sizing: border-box; border: 1px solid #555;
            border-radius: 4px; }
  fieldset { border: 1px solid #5a5a5a; margin: 0 0 10px; padding: 6px 10px;
             min-width: 0; }
  .row { display: flex; flex-wrap: wrap; align-items: center; gap: 6px 14px;
         margin: 5px 0; }
  .control { display: flex; align-items: center; gap: 6px; }
  .control label.name { min-width: 72px; text-align: right; }
  .control.disabled { opacity: 0.4; }
  .control.refused input { outline: 2px solid #ff7b72; }
  input.number { width: 72px; background: #222; color: #eee; border: 1px solid #666; }
  select { background: #222; color: #eee; border: 1px solid #666; }
  .unit { color: #aaa; font-size: 12px; }
  .env { color: #e9b44c; font-size: 11px; }
  img.thumb { background: #000; border: 1px solid #666; image-rendering: pixelated; }
  #banner { margin: 4px 0 0 10px; font-size: 12px; color: #bbb; }
  #status { margin-top: 8px; min-height: 1.2em; font-size: 13px; max-width: 40em; }
  #status.error { color: #ff7b72; }
  #offline { background: #8b1e1e; color: #fff; padding: 6px 10px; margin-bottom: 8px; }
  #confirm { background: #5a4a1a; padding: 6px 10px; margin: 6px 0; }
  #unsaved { color: #e9b44c; }
  #preview-box { flex: 1 1 420px; min-width: 0; max-width: 100%;
                 position: sticky; top: 8px; }
  #preview-wrap { position: relative; display: inline-block; max-width: 100%; }
  #preview { max-width: 100%; border: 1px solid #555; display: block;
             cursor: crosshair; }
  #preview-wrap.busy::after, #detail-view.busy::after {
    content: "描画中 (rendering)…"; position: absolute;
    top: 6px; left: 6px; background: rgba(0,0,0,.7); padding: 2px 8px; font-size: 12px; }
  #region-mark { position: absolute; border: 1px solid #ffd84a; pointer-events: none;
                 box-shadow: 0 0 0 1px rgba(0,0,0,.6); }
  #detail-view { position: relative; width: 100%; height: min(320px, 45vh); overflow: hidden;
                 border: 1px solid #555; background: #111; cursor: grab;
                 touch-action: none; margin-top: 8px; }
  #detail-view.dragging { cursor: grabbing; }
  #detail { position: absolute; left: 0; top: 0; image-rendering: pixelated;
            user-select: none; -webkit-user-drag: none; }
  .tools { display: flex; flex-wrap: wrap; gap: 6px 14px; align-items: center;
           margin: 6px 0; font-size: 13px; }
  button { background: #4a6fa5; color: white; border: 0; padding: 5px 14px;
           border-radius: 3px; cursor: pointer; }
  button:disabled { opacity: 0.4; cursor: default; }
</style>
</head>
<body>
<div id="offline" hidden>サーバーが停止しました: the lensfall panel server has stopped; edits are not being kept. Start it again and reload.</div>
<div id="layout">
<div id="window">
  <h1><span id="title">Lensfall</span> <span id="unsaved" hidden title="unsaved edits">● 未保存 (unsaved)</span></h1>
  <div id="form"></div>
  <div id="banner"></div>
  <div id="confirm" hidden><span id="confirm-text"></span>
    <button id="confirm-yes">置き換える (replace animation)</button>
    <button id="confirm-no">キャンセル (cancel)</button></div>
  <div class="row"><button id="save">保存 (save scene)</button>
    <button id="undo" disabled>元に戻す (undo)</button></div>
  <div id="status" role="status"></div>
</div>
<div id="preview-box" hidden>
  <h1>プレビュー (preview) <span class="unit">click to focus; with 1:1 on, drag to move the 1:1 view</span></h1>
  <div class="tools">
    <label title="Show the frame as it was before the filter"><input type="checkbox" id="before"> 適用前 (before)</label>
    <label title="Show a region at the frame's full resolution; drag in it to pan"><input type="checkbox" id="detail-on"> 等倍 (1:1)</label>
    <label for="exposure">露出 (display exposure)</label>
    <input type="range" id="exposure" min="-4" max="4" step="0.5" value="0">
    <span id="exposure-shown" class="unit">0 EV</span>
    <label for="frame">フレーム (frame)</label>
    <input type="text" inputmode="numeric" id="frame" class="number"
           title="The frame whose animated values the form and the preview show">
    <span id="render-time" class="unit"></span>
  </div>
  <div id="preview-wrap"><img id="preview" alt="preview" draggable="false"><div id="region-mark" hidden></div></div>
  <div id="detail-view" hidden title="1:1: drag to pan"><img id="detail" alt="1:1 view" draggable="false"></div>
  <div id="detail-where" class="unit" hidden></div>
</div>
</div>
<script>
"use strict";
const token = new URLSearchParams(location.search).get("token") || "";
const units = {
  percent: { scale: 100, unit: "%" },
  angle: { scale: 180 / Math.PI, unit: "°" },
  distance: { scale: 1, unit: "m" },
  number: { scale: 1, unit: "" },
};
// What each setting does, in English, shown on hover beside the form's own
// Japanese labels.
const descriptions = {
  "strength": "Overall blur strength: scales every circle of confusion.",
  "back-max": "Largest blur behind the focus, as a percent of the frame width.",
  "front-max": "Largest blur in front of the focus, as a percent of the frame width.",
  "f-number": "Aperture f-number: smaller numbers give shallower depth of field.",
  "no-blur-distance": "Beyond this distance (metres) nothing is blurred.",
  "rotation": "Rotation of the aperture shape, in degrees.",
  "deform": "Squeezes the aperture shape, in percent (anamorphic look).",
  "use-depth": "Blur by the depth channel and the camera's focus (Z depth).",
  "keep-far-sharp": "Keep the far distance sharp (limit the blurred range).",
  "front-blur": "Blur what is in front of the focus.",
  "back-blur": "Blur what is behind the focus.",
  "shape": "Aperture shape: circle, polygon, ring or an image.",
  "vertices": "Number of blades of the polygon aperture.",
  "focus": "Object to keep in focus; (none) uses the camera's focal distance.",
  "image": "Image used as the aperture shape.",
};
const elements = new Map();  // control id -> { box, update(control) }
let drawCount = 0;
let previewOn = false;
let unsaved = false;
let serverGone = false;
let frameSize = { w: 0, h: 0 };  // the frame's own size, for the 1:1 view
window.lensfallTimings = [];  // { editToPreviewMs, renderMs } per edit shown

function status(text, isError) {
  const box = document.getElementById("status");
  box.textContent = text;
  box.className = isError ? "error" : "";
}

function gone() {
  serverGone = true;
  document.getElementById("offline").hidden = false;
}

// Every request carries the run's token; a request that cannot reach the
// server at all means it has stopped.
async function api(path, options) {
  options = options || {};
  options.headers = Object.assign({ "X-Lensfall-Token": token }, options.headers || {});
  try {
    const response = await fetch(path, options);
    if (serverGone) { serverGone = false; document.getElementById("offline").hidden = true; }
    return response;
  } catch (failure) {
    gone();
    throw failure;
  }
}

function postJson(path, body) {
  return api(path, { method: "POST", headers: { "Content-Type": "application/json" },
                     body: JSON.stringify(body) });
}

let pendingEdit = null;  // an edit of an animated value waiting for consent
let editStarted = null;  // when the newest edit was sent, for the timings

async function send(id, edit) {
  const body = Object.assign({ id: id }, edit);
  editStarted = performance.now();
  let response, answer;
  try {
    response = await postJson("/api/value", body);
    answer = await response.json();
  } catch (failure) { return; }
  for (const made of elements.values()) made.box.classList.remove("refused");
  if (response.status === 409 && answer.animated) {
    pendingEdit = body;
    document.getElementById("confirm-text").textContent = answer.error + ". ";
    document.getElementById("confirm").hidden = false;
    return;
  }
  if (!response.ok) {
    status(answer.error + " (the value is kept)", true);
    const made = elements.get(id);
    if (made) made.box.classList.add("refused");
    refresh(id);
    return;
  }
  status("");
  update(answer);
}

document.getElementById("confirm-yes").onclick = () => {
  document.getElementById("confirm").hidden = true;
  const edit = pendingEdit; pendingEdit = null;
  if (edit) {
    edit.replaceAnimation = true;
    send(edit.id, edit).then(() =>
      status("The animation was replaced by one value; undo brings it back.", false));
  }
};
document.getElementById("confirm-no").onclick = () => {
  document.getElementById("confirm").hidden = true;
  pendingEdit = null;
  refresh();
};

function rounded(v) { return Math.round(v * 10000) / 10000; }

function makeControl(c) {
  const box = document.createElement("div");
  box.className = "control";
  box.dataset.id = c.id;
  if (c.key) box.dataset.key = c.key;
  const hint = descriptions[c.key] || "";
  if (hint) box.title = hint;
  const inputId = "control-" + c.id;
  const name = document.createElement("label");
  name.className = "name";
  name.textContent = c.label;
  name.htmlFor = inputId;
  box.appendChild(name);
  let input, update;
  if (c.kind === "boolean") {
    input = document.createElement("input");
    input.type = "checkbox";
    input.onchange = () => send(c.id, { value: input.checked ? 1 : 0 });
    update = (d) => { input.checked = d.value !== 0; };
  } else if (c.kind === "choice" || c.kind === "popup") {
    input = document.createElement("select");
    input.onchange = () => send(c.id, { value: Number(input.value) });
    update = (d) => {
      const names = d.choices.join("\n");
      if (input.dataset.names !== names) {
        input.innerHTML = "";
        d.choices.forEach((n, k) => {
          const o = document.createElement("option");
          o.value = k; o.textContent = n; input.appendChild(o);
        });
        input.dataset.names = names;
      }
      input.value = d.value;
    };
  } else if (c.kind === "slider") {
    input = document.createElement("input");
    input.type = "range";
    input.min = c.min; input.max = c.max; input.step = c.step || 1;
    const shown = document.createElement("span");
    shown.className = "unit";
    input.oninput = () => { shown.textContent = input.value; };
    input.onchange = () => send(c.id, { value: Number(input.value) });
    update = (d) => { input.value = d.value; shown.textContent = d.value; };
    box.appendChild(input);
    box.appendChild(shown);
  } else if (c.kind === "thumbnail") {
    input = document.createElement("img");
    input.className = "thumb";
    input.alt = c.label;
    input.width = 160; input.height = 160;
    update = () => { loadImage(input, "/api/thumbnail.png?size=160"); };
  } else {
    // Typed text goes to the server as it is: it reads it in the units
    // shown and refuses junk or an empty field, keeping the old value.
    const u = units[c.kind] || units.number;
    const field = document.createElement("input");
    field.type = "text";
    field.inputMode = "decimal";
    field.className = "number";
    field.title = (hint ? hint + " " : "") +
        (c.min !== undefined ? rounded(c.min * u.scale) : "") + " … " +
        (c.max !== undefined ? rounded(c.max * u.scale) : "") + " " + u.unit;
    field.onchange = () => send(c.id, { text: field.value });
    const unit = document.createElement("span");
    unit.className = "unit"; unit.textContent = u.unit;
    const env = document.createElement("span");
    env.className = "env"; env.textContent = "E";
    env.title = "animated: driven by an envelope";
    update = (d, force) => {
      if (force || document.activeElement !== field) field.value = rounded(d.value * u.scale);
      env.hidden = !d.envelope;
      field.dataset.animated = d.envelope ? "1" : "";
    };
    box.appendChild(field); box.appendChild(unit); box.appendChild(env);
    field.onfocus = () => {
      if (field.dataset.animated) {
        status("This value is animated: typing a number replaces the animation (you will be asked first; undo restores it).", false);
      }
    };
    input = field;
  }
  input.id = inputId;
  if (!input.parentNode) box.appendChild(input);
  return { box, update };
}

async function loadImage(img, path) {
  try {
    const response = await api(path);
    if (!response.ok) return null;
    const blob = await response.blob();
    const old = img.src;
    img.src = URL.createObjectURL(blob);
    if (old.startsWith("blob:")) URL.revokeObjectURL(old);
    return response;
  } catch (failure) { return null; }
}

function build(form) {
  document.getElementById("title").textContent = form.title;
  document.getElementById("banner").textContent = form.banner;
  const root = document.getElementById("form");
  root.innerHTML = "";
  for (const group of form.groups) {
    const fieldset = document.createElement("fieldset");
    fieldset.dataset.group = group;
    let row = null;
    for (const c of form.controls.filter((c) => c.group === group)) {
      if (!row || c.left || !c.narrow) {
        row = document.createElement("div");
        row.className = "row";
        fieldset.appendChild(row);
      }
      const made = makeControl(c);
      elements.set(c.id, made);
      row.appendChild(made.box);
    }
    root.appendChild(fieldset);
  }
  previewOn = form.preview;
  frameSize = { w: form.frameWidth, h: form.frameHeight };
  document.getElementById("preview-box").hidden = !previewOn;
}

// `kept`: a control whose refused edit shows the value it keeps, even
// while the user is still in the field.
function update(form, kept) {
  drawCount += 1;
  // The preview is asked for first: it takes longest.
  if (previewOn) requestPreview();
  for (const c of form.controls) {
    const made = elements.get(c.id);
    if (!made) continue;
    made.update(c, c.id === kept);
    made.box.classList.toggle("disabled", !c.enabled);
    made.box.querySelectorAll("input, select").forEach((e) => { e.disabled = !c.enabled; });
  }
  const frame = document.getElementById("frame");
  if (kept === "frame" || document.activeElement !== frame) frame.value = form.frame;
  unsaved = form.unsaved;
  document.getElementById("unsaved").hidden = !unsaved;
  document.title = (unsaved ? "● " : "") + "Lensfall";
  document.getElementById("undo").disabled = !form.undo;
}

// Runs `draw` so that one runs at a time: calls made meanwhile ask for one
// more run, which shows the newest state, instead of a queue of stale ones.
// `box` shows it is busy until the last run is done.
function latestOnly(box, draw) {
  let busy = false, again = false;
  return async function run() {
    if (busy) { again = true; return; }
    busy = true;
    box.classList.add("busy");
    try {
      do { again = false; await draw(() => again); } while (again);
    } finally {
      box.classList.remove("busy");
      busy = false;
    }
  };
}

function displayQuery() {
  const exposure = document.getElementById("exposure").value;
  const before = document.getElementById("before").checked ? "&before=1" : "";
  return "exposure=" + exposure + before;
}

const requestPreview = latestOnly(document.getElementById("preview-wrap"), async (superseded) => {
  const started = editStarted;
  editStarted = null;
  const img = document.getElementById("preview");
  const response = await loadImage(img, "/api/preview.bmp?" + displayQuery());
  if (!response) return;
  await img.decode().catch(() => {});
  const renderMs = Number(response.headers.get("X-Render-Ms"));
  document.getElementById("render-time").textContent = "render " + renderMs.toFixed(0) + " ms";
  if (started !== null && !superseded()) {
    window.lensfallTimings.push({ editToPreviewMs: performance.now() - started, renderMs: renderMs });
  }
  placeRegionMark();
  if (detail.on) requestDetail();
});

// The 1:1 view: a region of the frame at its own resolution, one image
// pixel to one screen pixel, its corner in frame pixels. The server keeps
// the region inside the frame and says where it put it.
const detail = { on: false, x: 0, y: 0, w: 0, h: 0, shown: null };
window.lensfallDetail = detail;

function detailSize() {
  const view = document.getElementById("detail-view");
  const ratio = window.devicePixelRatio || 1;
  return { w: Math.max(1, Math.round(view.clientWidth * ratio)),
           h: Math.max(1, Math.round(view.clientHeight * ratio)), ratio: ratio };
}

const requestDetail = latestOnly(document.getElementById("detail-view"), async () => {
  const size = detailSize();
  const img = document.getElementById("detail");
  const response = await loadImage(img, "/api/detail.bmp?x=" + Math.round(detail.x) +
      "&y=" + Math.round(detail.y) + "&w=" + size.w + "&h=" + size.h + "&" + displayQuery());
  if (!response) return;
  await img.decode().catch(() => {});
  const [x, y, w, h] = response.headers.get("X-Region").split(",").map(Number);
  Object.assign(detail, { x: x, y: y, w: w, h: h, shown: { x: x, y: y, w: w, h: h } });
  img.style.width = (w / size.ratio) + "px";
  img.style.height = (h / size.ratio) + "px";
  img.style.transform = "";
  document.getElementById("detail-where").textContent =
      "1:1 " + w + " × " + h + " at " + x + ", " + y + " of " + frameSize.w + " × " + frameSize.h;
  placeRegionMark();
});

// The 1:1 region outlined on the preview.
function placeRegionMark() {
  const mark = document.getElementById("region-mark");
  const img = document.getElementById("preview");
  mark.hidden = !detail.on || !detail.shown || !img.naturalWidth;
  if (mark.hidden) return;
  const scale = img.clientWidth / frameSize.w;
  mark.style.left = (img.offsetLeft + detail.shown.x * scale) + "px";
  mark.style.top = (img.offsetTop + detail.shown.y * scale) + "px";
  mark.style.width = (detail.shown.w * scale) + "px";
  mark.style.height = (detail.shown.h * scale) + "px";
}

// Centres the 1:1 region on a point of the preview given in CSS pixels.
function centreDetailAt(event) {
  const img = document.getElementById("preview");
  const box = img.getBoundingClientRect();
  const size = detailSize();
  detail.x = (event.clientX - box.left) * frameSize.w / box.width - size.w / 2;
  detail.y = (event.clientY - box.top) * frameSize.h / box.height - size.h / 2;
  requestDetail();
}

async function refresh(kept) {
  try {
    const response = await api("/api/form");
    update(await response.json(), kept);
  } catch (failure) {}
}

document.getElementById("save").onclick = async () => {
  try {
    const response = await postJson("/api/save", {});
    const body = await response.json();
    if (response.ok) { status("保存しました (saved): " + body.saved, false); refresh(); }
    else status(body.error, true);
  } catch (failure) {}
};
document.getElementById("undo").onclick = async () => {
  try {
    const response = await postJson("/api/undo", {});
    const body = await response.json();
    if (response.ok) { status("元に戻しました (undone)", false); update(body); }
    else status(body.error, true);
  } catch (failure) {}
};
document.getElementById("exposure").oninput = () => {
  const v = document.getElementById("exposure").value;
  document.getElementById("exposure-shown").textContent = (v > 0 ? "+" : "") + v + " EV";
  requestPreview();
};
document.getElementById("before").onchange = () => requestPreview();
// A click in the preview focuses at the depth under the cursor; with the
// 1:1 view on, it also centres that view there, and a drag moves it.
async function focusAt(event) {
  const img = document.getElementById("preview");
  const box = img.getBoundingClientRect();
  const x = Math.floor((event.clientX - box.left) * img.naturalWidth / box.width);
  const y = Math.floor((event.clientY - box.top) * img.naturalHeight / box.height);
  editStarted = performance.now();
  try {
    const response = await postJson("/api/focus", { x: x, y: y });
    const body = await response.json();
    if (!response.ok) { status(body.error, true); return; }
    status("ピント (focus): " + (body.focusObject ? body.focusObject + ", " : "") +
           body.focusDistance.toFixed(2) + " m", false);
    update(body);
  } catch (failure) {}
}
{
  const img = document.getElementById("preview");
  let pressed = null;
  img.onpointerdown = (event) => {
    pressed = { x: event.clientX, y: event.clientY, dragged: false };
    img.setPointerCapture(event.pointerId);
  };
  img.onpointermove = (event) => {
    if (!pressed) return;
    if (Math.hypot(event.clientX - pressed.x, event.clientY - pressed.y) > 4) pressed.dragged = true;
    if (pressed.dragged && detail.on) centreDetailAt(event);
  };
  img.onpointerup = (event) => {
    const was = pressed;
    pressed = null;
    if (!was) return;
    if (detail.on) centreDetailAt(event);
    if (!was.dragged) focusAt(event);
  };
  img.onpointercancel = () => { pressed = null; };
}
// Dragging in the 1:1 view pans it: the image follows the pointer at once,
// and the region under it is fetched when the pointer rests or lets go.
{
  const view = document.getElementById("detail-view");
  const img = document.getElementById("detail");
  let drag = null;
  view.onpointerdown = (event) => {
    drag = { x: event.clientX, y: event.clientY, fromX: detail.x, fromY: detail.y };
    view.setPointerCapture(event.pointerId);
    view.classList.add("dragging");
  };
  view.onpointermove = (event) => {
    if (!drag) return;
    const dx = event.clientX - drag.x, dy = event.clientY - drag.y;
    img.style.transform = "translate(" + dx + "px, " + dy + "px)";
    const ratio = detailSize().ratio;
    detail.x = drag.fromX - dx * ratio;
    detail.y = drag.fromY - dy * ratio;
    requestDetail();
  };
  view.onpointerup = () => {
    if (!drag) return;
    drag = null;
    view.classList.remove("dragging");
    requestDetail();
  };
  view.onpointercancel = view.onpointerup;
}
document.getElementById("detail-on").onchange = () => {
  detail.on = document.getElementById("detail-on").checked;
  document.getElementById("detail-view").hidden = !detail.on;
  document.getElementById("detail-where").hidden = !detail.on;
  if (detail.on) {
    // Starts at the centre of the frame.
    const size = detailSize();
    detail.x = (frameSize.w - size.w) / 2;
    detail.y = (frameSize.h - size.h) / 2;
    requestDetail();
  } else {
    placeRegionMark();
  }
};
window.addEventListener("resize", () => { placeRegionMark(); if (detail.on) requestDetail(); });
document.getElementById("frame").onchange = async () => {
  const text = document.getElementById("frame").value.trim();
  try {
    const response = await postJson("/api/frame", { frame: /^\d+$/.test(text) ? Number(text) : text });
    const body = await response.json();
    if (response.ok) { status(""); update(body, "frame"); }
    else { status(body.error, true); refresh(); }
  } catch (failure) {}
};
window.addEventListener("beforeunload", (event) => {
  if (unsaved) { event.preventDefault(); event.returnValue = ""; }
});
// Notices a stopped server also when nothing is being edited.
setInterval(() => {
  api("/api/ping").catch(() => {});
}, 3000);

(async () => {
  const response = await api("/api/form");
  if (!response.ok) { status((await response.json()).error, true); return; }
  const form = await response.json();
  build(form);
  update(form);
})();
</script>
</body>
</html>
)PAGE";
}

}  // namespace lensfall::cli
