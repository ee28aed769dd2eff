// The settings page: plain HTML, CSS and JavaScript, served as it is. It
// lays the module's form out the way the host's form does (groups, rows
// started by left-edge controls, narrow controls beside the one before)
// and sends every edit to the form service. Around the form it adds what
// the host's page owns: the token on every request, the preview beside the
// form, undo, the unsaved mark and word when the server has gone.
#include "cli/panel/settings_page.h"

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
  #layout { display: flex; flex-wrap: wrap; gap: 16px; align-items: flex-start; }
  #window { background: #3a3a3a; padding: 10px 14px; max-width: 100%;
            box-sizing: border-box; border: 1px solid #555; border-radius: 4px; }
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
  #preview-box { flex: 1 1 360px; min-width: 0; max-width: 100%; }
  #preview-wrap { position: relative; display: inline-block; max-width: 100%; }
  #preview { max-width: 100%; border: 1px solid #555; display: block;
             cursor: crosshair; }
  #preview-wrap.busy::after { content: "描画中 (rendering)…"; position: absolute;
    top: 6px; left: 6px; background: rgba(0,0,0,.7); padding: 2px 8px; font-size: 12px; }
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
  <h1>プレビュー (preview) <span class="unit">click to focus</span></h1>
  <div class="tools">
    <label><input type="checkbox" id="before"> 適用前 (before)</label>
    <label for="exposure">露出 (display exposure)</label>
    <input type="range" id="exposure" min="-4" max="4" step="0.5" value="0">
    <span id="exposure-shown" class="unit">0 EV</span>
    <label for="frame">フレーム (frame)</label>
    <input type="text" inputmode="numeric" id="frame" class="number"
           title="The frame whose animated values the form and the preview show">
    <span id="render-time" class="unit"></span>
  </div>
  <div id="preview-wrap"><img id="preview" alt="preview"></div>
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
  document.getElementById("preview-box").hidden = !previewOn;
}

// `kept`: a control whose refused edit shows the value it keeps, even
// while the user is still in the field.
function update(form, kept) {
  drawCount += 1;
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
  if (previewOn) requestPreview();
}

// One preview renders at a time; edits made meanwhile ask for one more,
// which shows the newest values, instead of a queue of stale renders.
let previewBusy = false;
let previewAgain = false;
async function requestPreview() {
  if (previewBusy) { previewAgain = true; return; }
  previewBusy = true;
  const wrap = document.getElementById("preview-wrap");
  wrap.classList.add("busy");
  do {
    previewAgain = false;
    const started = editStarted;
    editStarted = null;
    const exposure = document.getElementById("exposure").value;
    const before = document.getElementById("before").checked ? "&before=1" : "";
    const img = document.getElementById("preview");
    const response = await loadImage(img, "/api/preview.png?exposure=" + exposure + before);
    if (response) {
      await img.decode().catch(() => {});
      const renderMs = Number(response.headers.get("X-Render-Ms"));
      document.getElementById("render-time").textContent = "render " + renderMs.toFixed(0) + " ms";
      if (started !== null && !previewAgain) {
        window.lensfallTimings.push({ editToPreviewMs: performance.now() - started, renderMs: renderMs });
      }
    }
  } while (previewAgain);
  wrap.classList.remove("busy");
  previewBusy = false;
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
// A click in the preview focuses at the depth under the cursor.
document.getElementById("preview").onclick = async (event) => {
  const img = event.target;
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
};
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
