#!/usr/bin/env python3
"""Bad input to the lensfall command, case by case, run as a user runs it.

Every case checks the exit status; for a refusal, a message that names the
file (or option) and the problem; no crash; every file that was there before
(inputs and an earlier output) byte for byte the same afterwards; and no
temporary file left behind.

    bad_inputs.py LENSFALL FRAMES_DIR WORK_DIR [CASE...]
"""
import copy
import json
import os
import shutil
import subprocess
import sys

LENSFALL, FRAMES, WORK = (os.path.abspath(a) for a in sys.argv[1:4])
ONLY = set(sys.argv[4:])
FRAME = os.path.join(FRAMES, "occlusion", "occlusion_640x360")
SIDECAR = json.load(open(FRAME + ".json"))
SANITIZED = b"asan" in subprocess.run(
    ["ldd", LENSFALL], capture_output=True).stdout.lower()


def oiiotool(*args):
    subprocess.run(["oiiotool", *args], check=True, capture_output=True)


def sidecar(changes=None, drop=()):
    """The frame's sidecar with fields replaced ("camera/hfov_rad": value)."""
    doc = copy.deepcopy(SIDECAR)
    for key in drop:
        doc.pop(key, None)
    for pointer, value in (changes or {}).items():
        *path, last = pointer.split("/")
        target = doc
        for part in path:
            target = target[part]
        target[last] = value
    return doc


def write_json(path, doc):
    with open(path, "w") as out:
        json.dump(doc, out)


def frame(name="shot", changes=None, drop=()):
    """A setup step: the frame as NAME.exr with its sidecar NAME.json."""
    def make():
        shutil.copy(FRAME + ".exr", name + ".exr")
        write_json(name + ".json", sidecar(changes, drop))
    return make


def objects(*names):
    """The sidecar's objects with more of them, at the wall's place."""
    extra = [{"name": n, "world_position": [0.0, 6.0, 1.0]} for n in names]
    return {"mesh_objects": SIDECAR["mesh_objects"] + extra}


def layered(*layers):
    """A setup step: shot.exr holding the frame's channels once per layer
    prefix, so a file has several colour layers."""
    def make():
        inputs = []
        for prefix in layers:
            names = [f"{prefix}.Combined.{c}" for c in "RGBA"] + \
                [f"{prefix}.Depth.Z"]
            inputs += [FRAME + ".exr", "--chnames", ",".join(names)]
            if len(inputs) > 3:
                inputs.append("--chappend")
        oiiotool(*inputs, "-o", "shot.exr")
        write_json("shot.json", sidecar(drop=["exr_channels"]))
    return make


def ao_before_beauty(keep_names):
    def make():
        oiiotool("--pattern", "constant:color=0.25,0.25,0.25", "640x360", "3",
                 "--chnames", "ViewLayer.AO.R,ViewLayer.AO.G,ViewLayer.AO.B",
                 FRAME + ".exr", "--chappend", "-o", "shot.exr")
        write_json("shot.json",
                   sidecar(drop=[] if keep_names else ["exr_channels"]))
    return make


def layer_is(name):
    def check(out, err):
        info = subprocess.run(["oiiotool", "--info", "-v", "new.exr"],
                              capture_output=True, text=True).stdout
        return f'lensfall/layer: "{name}"' in info
    return check


def steps(*makers):
    def make():
        for maker in makers:
            maker()
    return make


def sequence(*numbers):
    def make():
        for n in numbers:
            frame(f"shot.{n:04d}")()
    return make


def big_frame():
    oiiotool("--pattern", "constant:color=0.5,0.5,0.5,1,5", "6000x6000", "5",
             "--chnames", "R,G,B,A,Z", "-d", "half", "-o", "big.exr")
    write_json("big.json", sidecar({"width": 6000, "height": 6000},
                                   drop=["exr_channels"]))


def wide_frame():
    oiiotool("--pattern", "constant:color=0.5,0.5,0.5,1,5", "65536x1", "5",
             "--chnames", "R,G,B,A,Z", "-d", "half", "-o", "wide.exr")
    write_json("wide.json", sidecar({"width": 64, "height": 36},
                                    drop=["exr_channels"]))


RENDER = ["render", "shot.exr", "-o", "out.exr"]

# name, setup, arguments, expected status (None: any refusal), words the
# message must hold, a check of a success.
CASES = [
    # 1. The beauty, not the pass that sorts before it.
    ("ao_pass_before_beauty", ao_before_beauty(False),
     ["render", "shot.exr", "-o", "new.exr"], 0, [],
     layer_is("ViewLayer.Combined")),
    ("ao_pass_before_beauty_named", ao_before_beauty(True),
     ["render", "shot.exr", "-o", "new.exr"], 0, [],
     layer_is("ViewLayer.Combined")),
    ("sidecar_names_missing_channels",
     frame(changes={"exr_channels": {"R": "RenderLayer.Combined.R",
                                     "G": "RenderLayer.Combined.G",
                                     "B": "RenderLayer.Combined.B"}}),
     RENDER, None, ["shot.exr", "RenderLayer.Combined.R",
                    "ViewLayer.Combined"], None),
    ("two_beauty_layers", layered("Fore", "Back"), RENDER, None,
     ["shot.exr", "Fore.Combined", "Back.Combined", "--channels"], None),
    ("two_beauty_layers_chosen", layered("Fore", "Back"),
     ["render", "shot.exr", "-o", "new.exr", "--channels", "Fore.Combined"],
     0, [], layer_is("Fore.Combined")),
    # 2. An output that is an input.
    ("output_is_input", frame(), ["render", "shot.exr", "-o", "shot.exr"],
     None, ["shot.exr", "is the input"], None),
    ("output_is_depth",
     lambda: (shutil.copy(FRAME + ".png", "beauty.png"),
              oiiotool(FRAME + ".exr", "--ch", "ViewLayer.Depth.Z", "-o",
                       "depth.exr")),
     ["render", "beauty.png", "--depth", "depth.exr", "--focal-length", "35",
      "-o", "depth.exr"], None, ["depth.exr", "is the input"], None),
    ("output_is_input_sequence", sequence(1, 2),
     ["render", "shot.####.exr", "-o", "shot.####.exr", "--frames", "1-2"],
     None, ["shot.0001.exr", "is the input"], None),
    ("output_links_to_input",
     steps(frame(), lambda: os.symlink("shot.exr", "link.exr")),
     ["render", "shot.exr", "-o", "link.exr"], None,
     ["link.exr", "is the input"], None),
    ("output_is_sidecar", frame(), ["render", "shot.exr", "-o", "shot.json"],
     None, ["shot.json"], None),
    # 3. Impossible cameras.
    ("focal_length_zero", frame(changes={"camera/focal_length_mm": 0}), RENDER,
     None, ["shot.json", "camera.focal_length_mm", "above 0"], None),
    ("field_of_view_beyond_pi", frame(changes={"camera/hfov_rad": 3.2}),
     RENDER, None, ["shot.json", "camera.hfov_rad", "3.2"], None),
    ("focus_distance_negative", frame(changes={"camera/focus_distance": -1}),
     RENDER, None, ["shot.json", "camera.focus_distance", "-1"], None),
    # 4. Names with no code page 932 form.
    ("object_names_without_cp932",
     frame(changes=objects("Ω≠∞ “quoted”", "café", "🎥 camera")),
     ["render", "shot.exr", "-o", "new.exr", "--set", "focus=Ω≠∞ “quoted”"],
     0, ["warning", "café", "🎥 camera"], None),
    ("focus_without_cp932", frame(changes=objects("naïve")),
     RENDER + ["--set", "focus=naïve"], None,
     ["focus", "naïve", "code page 932"], None),
    ("scene_image_without_cp932",
     lambda: shutil.copy(FRAME + ".png", "bokeh.png"),
     ["scene", "create", "-o", "out.exr", "--image", "café=bokeh.png"], None,
     ["--image", "café"], None),
    # 5. Settings out of the form's bounds.
    ("strength_below_bounds", frame(), RENDER + ["--set", "strength=-1000"],
     None, ["strength", "-1000"], None),
    ("f_number_negative", frame(), RENDER + ["--set", "f-number=-1"], None,
     ["f-number", "-1"], None),
    ("back_max_negative", frame(), RENDER + ["--set", "back-max=-50"], None,
     ["back-max", "-50"], None),
    ("vertices_zero", frame(), RENDER + ["--set", "vertices=0"], None,
     ["vertices", "0", "3"], None),
    ("vertices_thousand", frame(), RENDER + ["--set", "vertices=1000"], None,
     ["vertices", "1000"], None),
    ("animated_value_out_of_bounds", frame(),
     RENDER + ["--set", "f-number=0:2.8,1:-4"], None, ["f-number", "-4"],
     None),
    # 6. Frame ranges that cannot be rendered.
    ("frames_to_int_max", sequence(1),
     ["render", "shot.####.exr", "-o", "out.####.exr", "--frames",
      "2147483600-2147483647", "--jobs", "1"], None, ["--frames"], None),
    ("frames_trailing_junk", sequence(1),
     ["render", "shot.####.exr", "-o", "out.####.exr", "--frames", "1-3x"],
     None, ["--frames", "1-3x"], None),
    ("frames_three_numbers", sequence(1),
     ["render", "shot.####.exr", "-o", "out.####.exr", "--frames", "1-2-3"],
     None, ["--frames", "1-2-3"], None),
    ("single_frame_hash_output", frame(),
     ["render", "shot.exr", "-o", "x####.exr"], None,
     ["x####.exr", "single frame"], None),
    # 8. Messages that name the file and the problem.
    ("missing_input_without_sidecar", None,
     ["render", "nothere.exr", "-o", "out.exr"], None,
     ["nothere.exr", "no such file"], None),
    ("sidecar_field_of_wrong_type",
     frame(changes={"camera": "front"}), RENDER, None,
     ["shot.json", "camera", "object"], None),
    ("scene_is_a_folder", steps(frame(), lambda: os.mkdir("folder")),
     RENDER + ["--scene", "folder"], None, ["folder", "is a folder"], None),
    ("camera_is_a_folder", steps(frame(), lambda: os.mkdir("folder")),
     RENDER + ["--camera", "folder"], None, ["folder", "is a folder"], None),
    ("out_of_memory", big_frame,
     ["render", "big.exr", "-o", "out.exr"], None,
     ["big.exr", "memory", "6000 x 6000", "MiB"], None),
    # 9. A focus object's name too long for the module.
    ("focus_name_256_bytes", frame(changes=objects("x" * 256)),
     RENDER + ["--set", "focus=" + "x" * 256], None, ["focus", "255"], None),
    ("focus_name_128_japanese", frame(changes=objects("あ" * 128)),
     RENDER + ["--set", "focus=" + "あ" * 128], None, ["focus", "255"], None),
    # 10. Inputs that are not regular files.
    ("fifo_input", lambda: os.mkfifo("shot.exr"), RENDER, None,
     ["shot.exr", "not a regular file"], None),
    ("device_input", None,
     ["render", "/dev/zero", "--focal-length", "35", "-o", "out.exr"], None,
     ["/dev/zero", "not a regular file"], None),
    # 11. Output formats: what each holds, or refused up front.
    ("hdr_output", frame(), ["render", "shot.exr", "-o", "new.hdr"], 0, [],
     None),
    ("ppm_output", frame(), ["render", "shot.exr", "-o", "new.ppm"], 0, [],
     None),
    ("sgi_output", frame(), ["render", "shot.exr", "-o", "out.sgi"], None,
     ["out.sgi", ".exr", ".png"], None),
    ("avif_output", frame(), ["render", "shot.exr", "-o", "out.avif"], None,
     ["out.avif", ".exr"], None),
    # 12. A frame number beyond any integer.
    ("sidecar_frame_huge", frame(changes={"frame": 1e300}), RENDER, None,
     ["shot.json", "frame"], None),
    # 13. The sidecar's frame size against the image's.
    ("header_size_against_sidecar", wide_frame,
     ["render", "wide.exr", "-o", "out.exr"], None,
     ["wide.json", "64 x 36", "65536 x 1"], None),
]


def snapshot(folder):
    files = {}
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            if os.path.isfile(path) and not os.path.islink(path):
                with open(path, "rb") as data:
                    files[os.path.relpath(path, folder)] = data.read()
    return files


def temporaries(folder):
    return [n for _, _, names in os.walk(folder) for n in names
            if n.startswith(".") and n.endswith(".tmp")]


def run_case(name, setup, arguments, status, words, check):
    folder = os.path.join(WORK, name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    os.chdir(folder)
    if setup:
        setup()
    with open("out.exr", "wb") as earlier:
        earlier.write(b"an earlier output")
    before = snapshot(folder)
    limits = None
    if name == "out_of_memory":
        if SANITIZED:
            return "skipped (address space limits do not apply under ASan)"
        limits = "ulimit -v 2000000; "
    command = [LENSFALL, *arguments]
    if limits:
        command = ["bash", "-c", limits + 'exec "$@"', "--", *command]
    try:
        result = subprocess.run(command, capture_output=True, text=True,
                                timeout=120, stdin=subprocess.DEVNULL)
    except subprocess.TimeoutExpired:
        return "FAIL: no answer within 120 s"
    problems = []
    code, err = result.returncode, result.stderr
    if code < 0 or code >= 128:
        problems.append(f"crashed (status {code})")
    if status is None and code == 0:
        problems.append("accepted")
    if status is not None and code != status:
        problems.append(f"status {code}, expected {status}")
    for word in words:
        if word not in err:
            problems.append(f"message lacks {word!r}")
    if status is None and len(err.strip().splitlines()) != 1:
        problems.append("not a one-line message")
    if check and code == 0 and not check(result.stdout, err):
        problems.append("the output is not what was asked for")
    after = snapshot(folder)
    for path, data in before.items():
        if after.get(path) != data:
            problems.append(f"{path} changed")
    left = temporaries(folder)
    if left:
        problems.append(f"temporaries left: {left}")
    first = err.strip().splitlines()[0] if err.strip() else "(no message)"
    if problems:
        return "FAIL: " + "; ".join(problems) + f"\n      stderr: {err!r}"
    return f"ok (status {code}): {first}"


def main():
    os.makedirs(WORK, exist_ok=True)
    failed = 0
    for case in CASES:
        if ONLY and case[0] not in ONLY:
            continue
        outcome = run_case(*case)
        failed += outcome.startswith("FAIL")
        print(f"{case[0]:36} {outcome}", flush=True)
    print(f"{failed} of {len(CASES)} cases failed" if failed else
          f"all {len(CASES)} cases hold")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
