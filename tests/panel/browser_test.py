#!/usr/bin/env python3
"""The settings page as a user drives it, in Debian's headless Chromium.

Runs `lensfall panel` on a real frame and checks in the browser: the enable
rules of "Z値計算" and "多角形", the thumbnail following the shape, an edit
reaching the preview, the before view, the display exposure, the 1:1 view
and its panning, junk refused, the unsaved mark, save writing exactly the
edited values, a page on another origin failing to change anything, click
to focus, the preview beside the form on a laptop's screen, the layout at
600 px, and the page noticing that the server has stopped.
It prints the time from an edit to the new preview beside the preview's
own render time, and keeps screenshots in the output folder.

Usage: browser_test.py LENSFALL FRAMES_DIR OUTPUT_DIR
Exits 77 (skipped) when Chromium or its driver is not installed.
"""
import http.server
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

SKIP = 77
CHROMEDRIVER = "/usr/bin/chromedriver"
DEBIAN_PYTHON = "/usr/bin/python3"


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def check(condition, message):
    if not condition:
        fail(message)
    print("ok: " + message)


def wait_for(predicate, what, timeout=20.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(0.05)
    fail("timed out waiting for " + what)


def differences(a, b, path=""):
    """Paths at which two JSON values differ."""
    if isinstance(a, dict) and isinstance(b, dict):
        found = []
        for key in sorted(set(a) | set(b)):
            found += differences(a.get(key), b.get(key), path + "/" + str(key))
        return found
    if isinstance(a, list) and isinstance(b, list) and len(a) == len(b):
        found = []
        for i, (x, y) in enumerate(zip(a, b)):
            found += differences(x, y, path + "/" + str(i))
        return found
    return [] if a == b else [path]


# A page on another origin that tries every way a plain web page has to
# change the settings: no-cors fetches (which may not set the token header
# or a JSON type), a fetch that asks for CORS, and form posts.
FOREIGN_PAGE = """<!doctype html><html><body>
<iframe name="sink"></iframe>
<form id="f" method="POST" enctype="text/plain" target="sink"
      action="{base}/api/value">
<input name='{{"id":32780,"value":3,"x":"' value='"}}'></form>
<script>
const base = "{base}";
const edit = JSON.stringify({{id: 32780, value: 3}});
fetch(base + "/api/value", {{method: "POST", mode: "no-cors",
  headers: {{"Content-Type": "text/plain", "X-Lensfall-Token": "{token}"}},
  body: edit}}).catch(() => {{}});
fetch(base + "/api/value", {{method: "POST", mode: "no-cors", body: edit}})
  .catch(() => {{}});
fetch(base + "/api/value", {{method: "POST",
  headers: {{"Content-Type": "application/json", "X-Lensfall-Token": "{token}"}},
  body: edit}}).catch(() => {{}});
fetch(base + "/api/save", {{method: "POST", mode: "no-cors"}}).catch(() => {{}});
setTimeout(() => {{ document.getElementById("f").submit(); }}, 300);
setTimeout(() => {{ document.title = "tried"; }}, 1000);
</script></body></html>"""


def main():
    if len(sys.argv) != 4:
        fail("usage: browser_test.py LENSFALL FRAMES_DIR OUTPUT_DIR")
    lensfall, frames, output = sys.argv[1:]
    chromium = shutil.which("chromium")
    if chromium is None or not os.path.exists(CHROMEDRIVER):
        print("SKIP: the browser test needs Debian's chromium and "
              "chromium-driver (scripts/setup.sh installs them)")
        return SKIP
    try:
        from selenium import webdriver
    except ImportError:
        # Debian's python3-selenium belongs to Debian's own interpreter,
        # which may not be the first python3 on the path.
        if os.path.realpath(sys.executable) != os.path.realpath(DEBIAN_PYTHON) \
                and os.path.exists(DEBIAN_PYTHON):
            os.execv(DEBIAN_PYTHON, [DEBIAN_PYTHON] + sys.argv)
        fail("python3-selenium is not installed (scripts/setup.sh installs it)")
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import Select

    os.makedirs(output, exist_ok=True)
    work = tempfile.mkdtemp(prefix="lensfall_browser_")
    frame = os.path.join(frames, "occlusion", "occlusion_640x360")
    scene = os.path.join(work, "shot.json")
    subprocess.run([lensfall, "scene", "create", "-o", scene, "--from-frame",
                    frame + ".json"], check=True, stdout=subprocess.DEVNULL)
    with open(scene, encoding="utf-8") as f:
        original = json.load(f)

    server = subprocess.Popen([lensfall, "panel", "--scene", scene,
                               frame + ".exr"],
                              stdout=subprocess.PIPE, text=True)
    foreign = None
    driver = None
    try:
        line = server.stdout.readline()
        address = line[line.index("http://"):].strip()
        base = address[:address.index("/?")]
        token = address[address.index("token=") + 6:]
        print("page: " + address)

        options = webdriver.ChromeOptions()
        options.binary_location = chromium
        for argument in ["--headless=new", "--no-sandbox", "--disable-gpu",
                         "--disable-dev-shm-usage", "--no-first-run",
                         "--disable-background-networking",
                         "--disable-component-update", "--disable-sync",
                         "--user-data-dir=" + os.path.join(work, "profile"),
                         "--window-size=1366,768"]:
            options.add_argument(argument)
        driver = webdriver.Chrome(service=Service(CHROMEDRIVER),
                                  options=options)
        driver.get(address)
        wait_for(lambda: driver.find_elements(By.CSS_SELECTOR,
                                              "[data-key=f-number]"),
                 "the form")

        def box(key):
            return driver.find_element(By.CSS_SELECTOR, f"[data-key={key}]")

        def field(key):
            return box(key).find_element(By.CSS_SELECTOR, "input, select")

        def disabled(key):
            return "disabled" in box(key).get_attribute("class") and \
                not field(key).is_enabled()

        def image_sum(selector):
            return driver.execute_script("""
              const img = document.querySelector(arguments[0]);
              if (!img.complete || !img.naturalWidth) return null;
              const c = document.createElement("canvas");
              c.width = img.naturalWidth; c.height = img.naturalHeight;
              const g = c.getContext("2d"); g.drawImage(img, 0, 0);
              const d = g.getImageData(0, 0, c.width, c.height).data;
              let s = 0; for (let i = 0; i < d.length; i++) s = (s * 31 + d[i]) % 1000000007;
              return s;""", selector)

        def server_form():
            return driver.execute_script("""
              const r = await fetch("/api/form", {headers: {"X-Lensfall-Token": arguments[0]}});
              return await r.json();""", token)

        def server_value(key):
            for c in server_form()["controls"]:
                if c.get("key") == key:
                    return c["value"]
            fail("no control " + key)

        # On a laptop's screen the preview sits beside the form, in view.
        beside = driver.execute_script("""
          const form = document.getElementById("window").getBoundingClientRect();
          const preview = document.getElementById("preview-box").getBoundingClientRect();
          return {beside: preview.left >= form.right, top: preview.top,
                  height: window.innerHeight};""")
        check(beside["beside"] and beside["top"] < beside["height"] / 2,
              "at 1366 x 768 the preview is beside the form: " + str(beside))

        # The labels are tied to their inputs.
        label = box("f-number").find_element(By.CSS_SELECTOR, "label")
        check(label.get_attribute("for") == field("f-number").get_attribute("id"),
              "the f-number label is tied to its input")
        check(box("f-number").get_attribute("title") != "",
              "the f-number control has an English description on hover")

        # Z値計算 enables the depth settings.
        depth = box("use-depth")
        check("Z値計算" in depth.text, "the depth switch is labelled Z値計算")
        check(field("use-depth").is_selected() and not disabled("f-number"),
              "depth on: the f-number is enabled")
        field("use-depth").click()
        wait_for(lambda: disabled("f-number"), "the f-number to be disabled")
        check(disabled("f-number"), "depth off: the f-number is disabled")
        field("use-depth").click()
        wait_for(lambda: not disabled("f-number"), "the f-number enabled again")
        check(not disabled("f-number"), "depth on again: the f-number is enabled")

        # 多角形 enables the vertex count, and the thumbnail follows.
        wait_for(lambda: image_sum("img.thumb") is not None, "the thumbnail")
        thumb_circle = image_sum("img.thumb")
        check(disabled("vertices"), "circle: the vertex count is disabled")
        Select(field("shape")).select_by_visible_text("多角形")
        wait_for(lambda: not disabled("vertices"), "the vertex count enabled")
        check(not disabled("vertices"), "多角形: the vertex count is enabled")
        wait_for(lambda: image_sum("img.thumb") not in (None, thumb_circle),
                 "the thumbnail to change")
        check(True, "the thumbnail changed with the shape")
        check(driver.find_element(By.ID, "unsaved").is_displayed(),
              "an edit shows the unsaved mark")

        # Edits reach the preview; the time from the edit to the new preview
        # is measured beside the preview's own render time.
        wait_for(lambda: image_sum("#preview") is not None, "the preview")
        # Counts the times the preview shows it is busy.
        driver.execute_script("""
          window.busyShown = 0;
          const wrap = document.getElementById("preview-wrap");
          new MutationObserver(() => {
            if (wrap.classList.contains("busy")) window.busyShown += 1;
          }).observe(wrap, {attributes: true, attributeFilter: ["class"]});""")
        timings = []
        for value in ["2.8", "4", "1.4", "8", "2", "5.6", "3.2"]:
            before = image_sum("#preview")
            count = driver.execute_script("return window.lensfallTimings.length")
            f_number = field("f-number")
            f_number.send_keys(Keys.CONTROL, "a")
            f_number.send_keys(value, Keys.ENTER)
            wait_for(lambda: driver.execute_script(
                "return window.lensfallTimings.length") > count,
                "the preview after f-number " + value)
            wait_for(lambda: image_sum("#preview") != before,
                     "the preview to change for f-number " + value)
            timings.append(driver.execute_script(
                "return window.lensfallTimings[window.lensfallTimings.length - 1]"))
        check(abs(server_value("f-number") - 3.2) < 1e-9,
              "the last typed f-number reached the module")
        check(True, "each f-number edit changed the preview")
        busy = driver.execute_script("return window.busyShown")
        check(busy >= 1, f"the preview showed it was busy ({busy} times)")
        edit_ms = [t["editToPreviewMs"] for t in timings]
        render_ms = [t["renderMs"] for t in timings]
        print("edit-to-preview ms: " + " ".join(f"{v:.0f}" for v in edit_ms))
        print("preview render ms:  " + " ".join(f"{v:.0f}" for v in render_ms))
        print(f"median edit-to-preview {statistics.median(edit_ms):.0f} ms, "
              f"median preview render {statistics.median(render_ms):.0f} ms")

        # The before view shows the unfiltered frame, and the display
        # exposure brightens what is shown.
        after = image_sum("#preview")
        driver.find_element(By.ID, "before").click()
        wait_for(lambda: image_sum("#preview") not in (None, after),
                 "the before view")
        check(True, "the before toggle shows the frame before filtering")
        driver.find_element(By.ID, "before").click()
        wait_for(lambda: image_sum("#preview") == after, "the after view")
        set_exposure = ('const e = document.getElementById("exposure");'
                        'e.value = arguments[0];'
                        'e.dispatchEvent(new Event("input"));')
        driver.execute_script(set_exposure, "2")
        wait_for(lambda: image_sum("#preview") not in (None, after),
                 "the brighter preview")
        check(True, "the display exposure changes the preview")
        driver.execute_script(set_exposure, "0")
        wait_for(lambda: image_sum("#preview") == after, "exposure back at 0")

        # The 1:1 view shows a region at the frame's own resolution (the
        # preview is reduced), outlined on the preview, and a drag pans it.
        def detail_shown():
            return driver.execute_script(
                "const d = window.lensfallDetail.shown;"
                "const i = document.getElementById('detail');"
                "return d && i.complete && i.naturalWidth ?"
                " Object.assign({nw: i.naturalWidth, nh: i.naturalHeight}, d) : null;")

        frame_width = server_form()["frameWidth"]
        preview_width = driver.execute_script(
            "return document.getElementById('preview').naturalWidth")
        driver.find_element(By.ID, "detail-on").click()
        shown = wait_for(detail_shown, "the 1:1 view")
        view = driver.execute_script("""
          const v = document.getElementById("detail-view");
          return {w: v.clientWidth, h: v.clientHeight, ratio: window.devicePixelRatio};""")
        check(preview_width < frame_width and
              (shown["nw"], shown["nh"]) == (shown["w"], shown["h"]) and
              shown["w"] == min(round(view["w"] * view["ratio"]), frame_width),
              f"the 1:1 view shows {shown['w']} x {shown['h']} frame pixels "
              f"of a {frame_width} wide frame (preview {preview_width})")
        check(driver.find_element(By.ID, "region-mark").is_displayed(),
              "the 1:1 region is outlined on the preview")
        detail_before = image_sum("#detail")
        ActionChains(driver).move_to_element(
            driver.find_element(By.ID, "detail-view")).click_and_hold() \
            .move_by_offset(-40, -30).release().perform()
        frame_height = server_form()["frameHeight"]

        def clamp(v, high):
            return max(0, min(v, high))

        want = (clamp(shown["x"] + round(40 * view["ratio"]),
                      frame_width - shown["w"]),
                clamp(shown["y"] + round(30 * view["ratio"]),
                      frame_height - shown["h"]))
        check(want != (shown["x"], shown["y"]), "the drag can pan the view")
        panned = wait_for(lambda: (lambda d: d if d and (d["x"], d["y"]) == want
                                   else None)(detail_shown()),
                          f"the 1:1 view to pan to {want}")
        wait_for(lambda: image_sum("#detail") not in (None, detail_before),
                 "the panned 1:1 picture")
        check(True, f"a drag panned the 1:1 view from ({shown['x']}, "
              f"{shown['y']}) to ({panned['x']}, {panned['y']})")
        driver.save_screenshot(os.path.join(output, "panel_detail.png"))
        driver.find_element(By.ID, "detail-on").click()

        # Junk and an emptied field keep the old value and say why.
        for junk, why in [("e", "is not a number"), ("", "is empty"),
                          ("-1", "outside the settings form's bounds")]:
            f_number = field("f-number")
            f_number.send_keys(Keys.CONTROL, "a")
            f_number.send_keys(Keys.BACKSPACE)
            f_number.send_keys(junk, Keys.ENTER)
            wait_for(lambda: why in driver.find_element(By.ID, "status").text,
                     f"the message for {junk!r}")
            check(abs(server_value("f-number") - 3.2) < 1e-9,
                  f"typing {junk!r} keeps f/3.2 and says '{why}'")
        driver.find_element(By.ID, "title").click()
        wait_for(lambda: field("f-number").get_attribute("value") == "3.2",
                 "the field to show the kept value")

        # Leaving the page with unsaved edits asks first; once saved, not.
        leave_asks = ('const e = new Event("beforeunload", {cancelable: true});'
                      'window.dispatchEvent(e); return e.defaultPrevented;')
        check(driver.execute_script(leave_asks),
              "closing the page with unsaved edits asks first")

        # Save writes exactly what was edited.
        driver.find_element(By.ID, "save").click()
        wait_for(lambda: "saved" in driver.find_element(By.ID, "status").text,
                 "the save")
        wait_for(lambda: not driver.find_element(By.ID, "unsaved").is_displayed(),
                 "the unsaved mark to go")
        check(not driver.execute_script(leave_asks),
              "once saved, closing the page does not ask")
        with open(scene, encoding="utf-8") as f:
            saved = json.load(f)
        changed = differences(original, saved)
        check(sorted(changed) == ["/filters/0/data/11",
                                  "/filters/0/data/3/param/value"],
              "save changed only the shape and the f-number: " + str(changed))
        check(saved["width"] == 640 and saved["height"] == 360,
              "save kept the scene's frame size")
        with open(scene, "rb") as f:
            saved_bytes = f.read()

        # A page on another origin, even one that knows the token, changes
        # nothing.
        port = int(base.rsplit(":", 1)[1])
        page = FOREIGN_PAGE.format(base=base, token=token).encode()

        class Foreign(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                self.send_response(200)
                self.send_header("Content-Type", "text/html")
                self.end_headers()
                self.wfile.write(page)

            def log_message(self, *args):
                pass

        foreign = http.server.HTTPServer(("127.0.0.1", 0), Foreign)
        threading.Thread(target=foreign.serve_forever, daemon=True).start()
        own_tab = driver.current_window_handle
        driver.switch_to.new_window("tab")
        driver.get(f"http://127.0.0.1:{foreign.server_port}/")
        wait_for(lambda: driver.title == "tried", "the foreign page's attempts")
        time.sleep(1.5)
        driver.close()
        driver.switch_to.window(own_tab)
        check(server_value("shape") == 1,
              f"a page on port {foreign.server_port} did not change the shape "
              f"(server on {port})")
        with open(scene, "rb") as f:
            check(f.read() == saved_bytes,
                  "a page on another origin did not save the scene")

        # A click in the preview focuses at the depth under the cursor.
        ActionChains(driver).move_to_element(
            driver.find_element(By.ID, "preview")).click().perform()
        wait_for(lambda: "ピント" in driver.find_element(By.ID, "status").text,
                 "the focus set by a click")
        check(True, "a click in the preview focuses: " +
              driver.find_element(By.ID, "status").text)

        # The layout at 600 px: rows wrap, nothing runs off to the side.
        driver.save_screenshot(os.path.join(output, "panel_wide.png"))
        driver.set_window_size(600, 1000)
        wait_for(lambda: driver.execute_script("return window.innerWidth") <= 600,
                 "the narrow window")
        overflow = driver.execute_script("""
          const width = document.documentElement.clientWidth;
          let worst = document.documentElement.scrollWidth - width;
          for (const e of document.querySelectorAll(".control, #preview, fieldset"))
            worst = Math.max(worst, e.getBoundingClientRect().right - width);
          return worst;""")
        check(overflow <= 0, f"no horizontal overflow at 600 px ({overflow})")
        wrapped = driver.execute_script("""
          const form = document.getElementById("window").getBoundingClientRect();
          const preview = document.getElementById("preview-box").getBoundingClientRect();
          let rowsWrapped = 0;
          for (const row of document.querySelectorAll(".row")) {
            const tops = new Set([...row.children].map((c) => Math.round(c.getBoundingClientRect().top)));
            if (tops.size > 1) rowsWrapped += 1;
          }
          return {below: preview.top >= form.bottom, rowsWrapped};""")
        check(wrapped["below"], "at 600 px the preview goes below the form")
        check(wrapped["rowsWrapped"] > 0,
              f"rows wrap at 600 px ({wrapped['rowsWrapped']} of them)")
        driver.save_screenshot(os.path.join(output, "panel_600px.png"))
        print("screenshots: " + os.path.join(output, "panel_600px.png") +
              ", panel_wide.png, panel_detail.png")

        # The page says when the server has gone.
        server.terminate()
        server.wait(timeout=10)
        wait_for(lambda: driver.find_element(By.ID, "offline").is_displayed(),
                 "the page to say the server has stopped")
        check(True, "the page says when the server has stopped")
    finally:
        if driver is not None:
            driver.quit()
        if foreign is not None:
            foreign.shutdown()
        if server.poll() is None:
            server.terminate()
            server.wait(timeout=10)
        shutil.rmtree(work, ignore_errors=True)
    print("browser test passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
