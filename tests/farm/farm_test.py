#!/usr/bin/env python3
"""lensfall farm against a real Slurm cluster (scripts/slurm-local start).

    farm_test.py LENSFALL FRAMES_DIR WORK_DIR

A 12-frame shot whose sidecars differ frame by frame is rendered on the farm
in chunks of 4 and compared byte for byte with a local render; one array
task is cancelled while it runs, and status and resubmit must bring the
shot back to the same bytes; an unreadable frame fails alone and is listed.
Exits 77 (skipped) with a message when no Slurm controller answers.
"""
import filecmp
import glob
import json
import os
import re
import shutil
import subprocess
import sys
import time

LENSFALL, FRAMES, WORK = (os.path.abspath(a) for a in sys.argv[1:4])
FRAME = os.path.join(FRAMES, "occlusion", "occlusion_640x360")
FRAME_COUNT = 12
# Heavy blur makes a frame take most of a second, so a task of four frames
# can be cancelled while it runs.
SETTINGS = ["--set", "f-number=0.8"]
failures = []


def run(*args, check=True, env=None):
    result = subprocess.run(args, capture_output=True, text=True, env=env)
    if check and result.returncode != 0:
        raise AssertionError(f"{' '.join(args)} failed ({result.returncode}):"
                             f"\n{result.stdout}{result.stderr}")
    return result


def expect(condition, message):
    if not condition:
        failures.append(message)
        print("  FAIL:", message)


def make_shot(folder, count=FRAME_COUNT, size=None):
    """Frames racking focus: each sidecar has its own focus distance. With a
    size (W, H) the frame is scaled up to it, so each takes seconds."""
    os.makedirs(folder)
    sidecar = json.load(open(FRAME + ".json"))
    image = FRAME + ".exr"
    if size:
        image = os.path.join(folder, "scaled.exr")
        run("oiiotool", FRAME + ".exr", "--resize", f"{size[0]}x{size[1]}",
            "-o", image)
        sidecar["width"], sidecar["height"] = size
    for frame in range(1, count + 1):
        shutil.copy(image, os.path.join(folder, f"shot.{frame:04d}.exr"))
        sidecar["frame"] = frame
        sidecar["camera"]["focus_distance"] = 1.0 + 0.4 * frame
        with open(os.path.join(folder, f"shot.{frame:04d}.json"), "w") as out:
            json.dump(sidecar, out)


def farm(*args):
    return run(LENSFALL, "farm", *args, env=ENV)


def submit(shot, out, count=FRAME_COUNT):
    result = farm("submit", f"{shot}/shot.####.exr", "-o", f"{out}/shot.####.exr",
                  "--frames", f"1-{count}", "--chunk", "4", *SETTINGS)
    return re.search(r"Submitted job (\d+)", result.stdout).group(1)


def queued(job):
    return run("squeue", "-h", "-r", "-j", job, "-o", "%K %t", check=False).stdout


def rendering(out, frames):
    """Whether a task's lensfall is rendering `frames` into `out` (the local
    cluster runs its tasks on this machine)."""
    pattern = f"render .* -o {out}/shot\\.####\\.exr --frames {frames} "
    return run("pgrep", "-f", pattern, check=False).returncode == 0


def wait_for(job, timeout=300):
    end = time.time() + timeout
    while time.time() < end:
        if not queued(job).strip():
            return
        time.sleep(0.5)
    raise AssertionError(f"job {job} did not finish in {timeout} s")


def outputs(out):
    return sorted(f for f in os.listdir(out) if f.endswith(".exr"))


def temporaries(out):
    return [f for f in os.listdir(out) if f.endswith(".tmp")]


def same_as_local(out, local, count=FRAME_COUNT):
    names = [f"shot.{frame:04d}.exr" for frame in range(1, count + 1)]
    _, mismatch, errors = filecmp.cmpfiles(out, local, names, shallow=False)
    return mismatch + errors


def status(job):
    return farm("status", job).stdout


def listed(text, state):
    line = re.search(rf"^  {state}: (.*)$", text, re.M)
    return [int(n) for n in line.group(1).split(", ")] if line else []


def main():
    if run("sinfo", "-h", check=False).returncode != 0:
        print("farm tests skipped: no Slurm controller answers "
              "(scripts/slurm-local start starts one)")
        return 77
    shutil.rmtree(WORK, ignore_errors=True)
    shot, local = os.path.join(WORK, "shot"), os.path.join(WORK, "local")
    make_shot(shot)
    os.makedirs(local)
    started = time.time()
    run(LENSFALL, "render", f"{shot}/shot.####.exr", "-o",
        f"{local}/shot.####.exr", "--frames", f"1-{FRAME_COUNT}", "--jobs", "2",
        *SETTINGS, "-q")
    local_seconds = time.time() - started

    print("== a shot in chunks of 4 is the local render, byte for byte")
    out = os.path.join(WORK, "farm")
    os.makedirs(out)
    started = time.time()
    job = submit(shot, out)
    submitted = time.time() - started
    wait_for(job)
    farm_seconds = time.time() - started
    expect(same_as_local(out, local) == [],
           f"farm outputs differ from the local render: {same_as_local(out, local)}")
    text = status(job)
    expect(f"{FRAME_COUNT} done" in text, f"status after the job: {text}")
    print(f"  local --jobs 2: {local_seconds:.1f} s; farm submit to done: "
          f"{farm_seconds:.1f} s (submit itself {submitted:.2f} s)")

    print("== a task cancelled while it runs leaves no partial file; "
          "status and resubmit complete the shot")
    # Full-HD frames take seconds each, so task 1 (frames 5-8) is surely
    # cancelled before it has written all of them.
    big, big_local = os.path.join(WORK, "big-shot"), os.path.join(WORK, "big-local")
    make_shot(big, count=8, size=(1920, 1080))
    os.makedirs(big_local)
    run(LENSFALL, "render", f"{big}/shot.####.exr", "-o",
        f"{big_local}/shot.####.exr", "--frames", "1-8", "--jobs", "2",
        *SETTINGS, "-q")
    out = os.path.join(WORK, "cancelled")
    os.makedirs(out)
    job = submit(big, out, count=8)
    # Cancelled once task 1's render has started: Slurm shows a task as
    # running while it is still launching it, and a cancel that lands then
    # can miss the task, which goes on to render every frame.
    end = time.time() + 120
    while time.time() < end and not rendering(out, "5-8"):
        time.sleep(0.05)
    run("scancel", f"{job}_1")
    wait_for(job)
    expect(temporaries(out) == [], f"temporaries left: {temporaries(out)}")
    text = status(job)
    missing = listed(text, "missing")
    expect(missing and set(missing) <= {5, 6, 7, 8},
           f"status should list frames of task 1 (5-8) as missing: {text}")
    again = farm("resubmit", job).stdout
    resubmitted = re.search(r"Submitted job (\d+)", again)
    expect(resubmitted, f"resubmit should submit the missing frames: {again}")
    if resubmitted:
        wait_for(resubmitted.group(1))
        expect(same_as_local(out, big_local, 8) == [],
               f"after resubmit the outputs differ: "
               f"{same_as_local(out, big_local, 8)}")
        expect("8 done" in status(resubmitted.group(1)), "status after resubmit")
        expect("Nothing to resubmit" in
               farm("resubmit", resubmitted.group(1)).stdout,
               "a complete shot has nothing to resubmit")

    print("== an unreadable frame fails alone and is listed")
    broken = os.path.join(WORK, "broken-shot")
    shutil.copytree(shot, broken)
    with open(os.path.join(broken, "shot.0007.exr"), "r+b") as frame:
        frame.truncate(1000)
    out = os.path.join(WORK, "broken")
    os.makedirs(out)
    job = submit(broken, out)
    wait_for(job)
    text = status(job)
    expect(listed(text, "failed") == [7], f"frame 7 should be listed failed: {text}")
    expect(len(outputs(out)) == FRAME_COUNT - 1,
           f"the other frames should be written: {outputs(out)}")

    print("== bad requests are refused with a clear message")
    bad = run(LENSFALL, "farm", "submit", f"{shot}/nothing.####.exr", "-o",
              f"{out}/x.####.exr", "--frames", "1-3", check=False, env=ENV)
    expect(bad.returncode != 0 and "no frame of 1-3 exists" in bad.stderr,
           f"pattern matching nothing: {bad.stderr}")
    bad = run(LENSFALL, "farm", "submit", f"{shot}/shot.####.exr", "-o",
              f"{WORK}/no-such-folder/x.####.exr", "--frames", "1-3",
              check=False, env=ENV)
    expect(bad.returncode != 0 and "output folder does not exist" in bad.stderr,
           f"missing output folder: {bad.stderr}")
    no_slurm = dict(ENV, PATH="/nonexistent")
    bad = run(LENSFALL, "farm", "submit", f"{shot}/shot.####.exr", "-o",
              f"{out}/y.####.exr", "--frames", "1-3", check=False, env=no_slurm)
    expect(bad.returncode != 0 and "sbatch was not found" in bad.stderr and
           "render on this machine instead" in bad.stderr,
           f"no Slurm: {bad.stderr}")

    if failures:
        print(f"{len(failures)} farm check(s) failed")
        return 1
    print("farm: every check holds")
    return 0


ENV = dict(os.environ, XDG_DATA_HOME=os.path.join(WORK, "data"))
sys.exit(main())
