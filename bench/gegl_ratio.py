#!/usr/bin/env python3
"""Whole-process speed of `lensfall render` beside GEGL's lens blur.

Runs both commands in turn on the 1280 x 720 highlights frame, several
times each, and prints the median wall and CPU time of each and the ratio
of the wall medians:

  uniform  lensfall, depth off: one 129 px disc everywhere (front max 100 %)
           gegl:lens-blur radius 64 with a constant blur map
  depth    lensfall, f/0.7, 6-vertex polygon, exact occlusion
           gegl:lens-blur radius 64 with a map derived from the depth

Both read an EXR and write an EXR. GEGL cannot read the renderer's layer
names, so its input (a plain RGBA EXR) and its depth map are made once
before timing starts; only the blur commands themselves are timed. GEGL's
map is |1 - focus / depth| clamped to 1: the blur of a thin lens relative to
its largest, the same shape Lensfall's sizes follow, without occlusion.

Memory. On a virtual machine whose hypervisor takes back freed memory
(Linux's free page reporting), the first touch of a page the guest has not
used for a second or two costs a fault in the hypervisor: 1 to 2 ms per
MB on the machine this was written on, about 0.15 s for a render that
touches 115 MB. A workstation has no such cost. By default each timed command
therefore starts just after the script has touched and released 512 MB in
2 MB pages, so that both commands find memory at hand, as they would
outside a virtual machine. --memory as-found leaves the machine as it is;
each command then pays what it happens to find.

Needs gegl (scripts/setup.sh --bench installs it) and oiiotool.
"""

import argparse
import json
import mmap
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)


HUGE_PAGE = 2 << 20


def bring_memory_to_hand(size=512 << 20):
    """Touches and releases `size` bytes in 2 MB pages: the pages go back to
    the kernel's free lists, where the next command finds them, before a
    hypervisor can take them back."""
    area = mmap.mmap(-1, size + HUGE_PAGE, flags=mmap.MAP_PRIVATE)
    area.madvise(mmap.MADV_HUGEPAGE)
    for offset in range(0, len(area), 4096):
        area[offset] = 1
    area.close()


def run_timed(command, memory_at_hand):
    """Runs a command; returns (wall seconds, CPU seconds of the child)."""
    # What the previous command wrote goes to disk first, so that neither
    # pays for the other's writes (lensfall syncs its output file, and a
    # sync may take other files' pending writes with it).
    os.sync()
    if memory_at_hand:
        bring_memory_to_hand()
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    started = time.perf_counter()
    finished = subprocess.run(command, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, text=True)
    wall = time.perf_counter() - started
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if finished.returncode != 0:
        sys.exit("gegl_ratio: {} failed ({}):\n{}".format(
            command[0], finished.returncode, finished.stderr.strip()))
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu


def prepare_gegl_inputs(frame, sidecar, work):
    """A plain RGBA EXR of the beauty and a blur map from the depth."""
    with open(sidecar, encoding="utf-8") as f:
        described = json.load(f)
    names = described["exr_channels"]
    focus = described["camera"]["focus_distance"]
    beauty = os.path.join(work, "beauty.exr")
    subprocess.run(["oiiotool", frame, "--ch",
                    "R={R},G={G},B={B},A={A}".format(**names),
                    "-d", "float", "-o", beauty], check=True)
    # |1 - focus / depth|, clamped to [0, 1], as one grey channel (Y).
    depth_map = os.path.join(work, "depth_map.exr")
    subprocess.run(["oiiotool", frame, "--ch", "Y=" + names["Z"],
                    "--powc", "-1", "--mulc", str(focus), "--subc", "1",
                    "--abs", "--clamp:min=0:max=1",
                    "-d", "float", "-o", depth_map],
                   check=True)
    constant_map = os.path.join(work, "constant_map.exr")
    subprocess.run(["oiiotool", depth_map, "--mulc", "0", "--addc", "1",
                    "-o", constant_map], check=True)
    return beauty, depth_map, constant_map


def gegl_command(beauty, blur_map, output):
    return ["gegl", "-o", output, "--",
            "gegl:exr-load", "path=" + beauty,
            "gegl:lens-blur", "radius=64",
            "aux=[", "gegl:exr-load", "path=" + blur_map, "]"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--frames",
                        default=os.path.join(REPO, "..", "shared", "data",
                                             "frames"),
                        help="folder of rendered frames "
                             "(highlights/highlights_1280x720.exr)")
    parser.add_argument("--lensfall",
                        default=os.path.join(REPO, "build", "release", "cli",
                                             "lensfall"),
                        help="the lensfall command to time")
    parser.add_argument("--module",
                        help="the module file lensfall loads (default: its "
                             "own build's)")
    parser.add_argument("--runs", type=int, default=5,
                        help="runs of each command (default 5)")
    parser.add_argument("--memory", choices=("at-hand", "as-found"),
                        default="at-hand",
                        help="at-hand (default): touch and release 512 MB "
                             "before each command, so that neither pays a "
                             "hypervisor's first touch of reclaimed memory; "
                             "as-found: leave memory as it is")
    args = parser.parse_args()

    frame = os.path.join(args.frames, "highlights", "highlights_1280x720.exr")
    sidecar = frame[:-len(".exr")] + ".json"
    for needed, what in ((frame, "the highlights frame"),
                         (sidecar, "its sidecar"),
                         (args.lensfall, "the lensfall command")):
        if not os.path.exists(needed):
            sys.exit("gegl_ratio: {}: missing ({})".format(needed, what))
    for tool in ("gegl", "oiiotool"):
        if shutil.which(tool) is None:
            sys.exit("gegl_ratio: {} not found; run scripts/setup.sh --bench"
                     .format(tool))

    with tempfile.TemporaryDirectory(prefix="gegl_ratio_") as work:
        beauty, depth_map, constant_map = prepare_gegl_inputs(
            frame, sidecar, work)
        out = os.path.join(work, "out.exr")
        lensfall = [args.lensfall]
        if args.module:
            lensfall += ["--module", args.module]
        lensfall += ["render", frame, "-o", out]
        pairs = {
            "uniform": (lensfall + ["--set", "use-depth=0"],
                        gegl_command(beauty, constant_map, out)),
            "depth": (lensfall + ["--set", "f-number=0.7",
                                  "--set", "shape=polygon",
                                  "--set", "vertices=6"],
                      gegl_command(beauty, depth_map, out)),
        }
        times = {(case, tool): [] for case in pairs
                 for tool in ("lensfall", "gegl")}
        at_hand = args.memory == "at-hand"
        # In turn, so that a change in the machine's load falls on both.
        for run in range(args.runs):
            for case, (ours, theirs) in pairs.items():
                times[(case, "lensfall")].append(run_timed(ours, at_hand))
                times[(case, "gegl")].append(run_timed(theirs, at_hand))
            print("run {}/{} done".format(run + 1, args.runs),
                  file=sys.stderr)

    print("{:8} {:9} {:>10} {:>10}".format("case", "command", "wall s",
                                            "cpu s"))
    for case in pairs:
        for tool in ("lensfall", "gegl"):
            runs = times[(case, tool)]
            print("{:8} {:9} {:10.3f} {:10.3f}".format(
                case, tool, statistics.median(w for w, _ in runs),
                statistics.median(c for _, c in runs)))
    for case in pairs:
        ours = statistics.median(w for w, _ in times[(case, "lensfall")])
        theirs = statistics.median(w for w, _ in times[(case, "gegl")])
        print("{}: gegl / lensfall wall = {:.2f}".format(case, theirs / ours))


if __name__ == "__main__":
    main()
