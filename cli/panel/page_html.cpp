// The settings page: plain HTML, CSS and JavaScript, served as it is. It
// lays the module's form out the way the host's form does (groups, rows
// started by left-edge controls, narrow controls beside the one before)
// and sends every edit to the form service.
#include "cli/panel/settings_page.h"

namespace lensfall::cli {

const char *settingsPageHtml() {
  return R"PAGE(<!doctype html>
<html lang="ja">
<head>
<meta charset="utf-8">
<title>Lensfall</title>
<style>
  body { font-family: "Noto Sans CJK JP", "Hiragino Sans", sans-serif;
         background: #2b2b2b; color: #ddd; margin: 16px; }
  h1 { font-size: 15px; margin: 0 0 8px; color: #eee; }
  #window { display: inline-block; background: #3a3a3a; padding: 10px 14px;
            border: 1px solid #555; border-radius: 4px; vertical-align: top; }
  fieldset { border: 1px solid #5a5a5a; margin: 0 0 10px; padding: 6px 10px; }
  .row { display: flex; align-items: center; gap: 14px; margin: 5px 0; }
  .control { display: flex; align-items: center; gap: 6px; }
  .control label.name { min-width: 72px; text-align: right; }
  .control.disabled { opacity: 0.4; }
  input[type=number] { width: 80px; background: #222; color: #eee;
                       border: 1px solid #666; }
  select { background: #222; color: #eee; border: 1px solid #666; }
  .unit { color: #aaa; font-size: 12px; }
  .env { color: #e9b44c; font-size: 11px; }
  img.thumb { background: #000; border: 1px solid #666; image-rendering: pixelated; }
  #banner { margin: 4px 0 0 10px; font-size: 12px; color: #bbb; }
  #status { margin-top: 8px; min-height: 1.2em; font-size: 13px; }
  #status.error { color: #ff7b72; }
  #preview-box { display: inline-block; margin-left: 16px; vertical-align: top; }
  #preview { max-width: 640px; border: 1px solid #555; }
  button { background: #4a6fa5; color: white; border: 0; padding: 5px 14px;
           border-radius: 3px; cursor: pointer; }
</style>
</head>
<body>
<div id="window">
  <h1 id="title">Lensfall</h1>
  <div id="form"></div>
  <div id="banner"></div>
  <div class="row"><button id="save">保存 (save scene)</button></div>
  <div id="status"></div>
</div>
<div id="preview-box" hidden>
  <h1>プレビュー (preview)</h1>
  <img id="preview" alt="preview">
</div>
<script>
"use strict";
const units = {
  percent: { scale: 100, unit: "%" },
  angle: { scale: 180 / Math.PI, unit: "°" },
  distance: { scale: 1, unit: "m" },
  number: { scale: 1, unit: "" },
};
const elements = new Map();  // control id -> { box, input, update(control) }
let drawCount = 0;
let previewOn = false;

function status(text, isError) {
  const box = document.getElementById("status");
  box.textContent = text;
  box.className = isError ? "error" : "";
}

async function send(id, value) {
  const response = await fetch("/api/value", {
    method: "POST", headers: { "Content-Type": "application/json" },
    body: JSON.stringify({ id: id, value: value }) });
  const body = await response.json();
  if (!response.ok) { status(body.error, true); refresh(); return; }
  status("");
  update(body);
}

function rounded(v) { return Math.round(v * 10000) / 10000; }

function makeControl(c) {
  const box = document.createElement("div");
  box.className = "control";
  box.dataset.id = c.id;
  const name = document.createElement("label");
  name.className = "name";
  name.textContent = c.label;
  box.appendChild(name);
  let input, update;
  if (c.kind === "boolean") {
    input = document.createElement("input");
    input.type = "checkbox";
    input.onchange = () => send(c.id, input.checked ? 1 : 0);
    update = (d) => { input.checked = d.value !== 0; };
  } else if (c.kind === "choice" || c.kind === "popup") {
    input = document.createElement("select");
    input.onchange = () => send(c.id, Number(input.value));
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
    const range = document.createElement("input");
    range.type = "range";
    range.min = c.min; range.max = c.max; range.step = c.step || 1;
    const shown = document.createElement("span");
    shown.className = "unit";
    range.oninput = () => { shown.textContent = range.value; };
    range.onchange = () => send(c.id, Number(range.value));
    update = (d) => { range.value = d.value; shown.textContent = d.value; };
    box.appendChild(range);
    box.appendChild(shown);
  } else if (c.kind === "thumbnail") {
    input = document.createElement("img");
    input.className = "thumb";
    input.width = 160; input.height = 160;
    update = () => { input.src = "/api/thumbnail.png?size=160&n=" + drawCount; };
  } else {
    const u = units[c.kind] || units.number;
    const field = document.createElement("input");
    field.type = "number";
    field.step = "any";
    if (c.min !== undefined) field.min = rounded(c.min * u.scale);
    if (c.max !== undefined) field.max = rounded(c.max * u.scale);
    field.title = (c.min !== undefined ? rounded(c.min * u.scale) : "") + " … " +
                  (c.max !== undefined ? rounded(c.max * u.scale) : "");
    field.onchange = () => send(c.id, Number(field.value) / u.scale);
    const unit = document.createElement("span");
    unit.className = "unit"; unit.textContent = u.unit;
    const env = document.createElement("span");
    env.className = "env"; env.textContent = "E"; env.title = "envelope";
    box.appendChild(field); box.appendChild(unit); box.appendChild(env);
    update = (d) => {
      if (document.activeElement !== field) field.value = rounded(d.value * u.scale);
      env.hidden = !d.envelope;
    };
  }
  if (input) box.appendChild(input);
  return { box, update };
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

function update(form) {
  drawCount += 1;
  for (const c of form.controls) {
    const made = elements.get(c.id);
    if (!made) continue;
    made.update(c);
    made.box.classList.toggle("disabled", !c.enabled);
    made.box.querySelectorAll("input, select").forEach((e) => { e.disabled = !c.enabled; });
  }
  if (previewOn) {
    document.getElementById("preview").src = "/api/preview.png?n=" + drawCount;
  }
}

async function refresh() {
  const form = await (await fetch("/api/form")).json();
  update(form);
}

document.getElementById("save").onclick = async () => {
  const response = await fetch("/api/save", { method: "POST" });
  const body = await response.json();
  if (response.ok) status("保存しました: " + body.saved, false);
  else status(body.error, true);
};

(async () => {
  const form = await (await fetch("/api/form")).json();
  build(form);
  update(form);
})();
</script>
</body>
</html>
)PAGE";
}

}  // namespace lensfall::cli
