#!/usr/bin/env bash
# An output that cannot be written completely (a full disk, here a file-size
# limit; an unwritable folder) fails the command with a message and leaves an
# existing output file exactly as it was, with no temporary files behind.
#   output_safety.sh LENSFALL FRAME.exr WORKDIR
set -u
lensfall=$1 frame=$2 work=$3
rm -rf "$work" && mkdir -p "$work/out"
fail() { echo "FAIL: $*"; exit 1; }

# A good output to protect.
"$lensfall" render "$frame" -o "$work/out/frame.png" -q || fail "first render"
cp "$work/out/frame.png" "$work/original.png"

# Disk full: writes beyond one block fail with EFBIG instead of a signal.
( trap '' XFSZ; ulimit -f 1; exec "$lensfall" render "$frame" -o "$work/out/frame.png" -q ) \
  2>"$work/full.err" && fail "a full disk was reported as success"
grep -q "frame.png" "$work/full.err" || fail "the message does not name the output: $(cat "$work/full.err")"
cmp -s "$work/out/frame.png" "$work/original.png" || fail "the existing output was changed"
[ "$(ls -A "$work/out")" = "frame.png" ] || fail "files left behind: $(ls -A "$work/out")"

# Unwritable folder (not for root, who can write anywhere).
if [ "$(id -u)" -ne 0 ]; then
  chmod 0555 "$work/out"
  "$lensfall" render "$frame" -o "$work/out/frame.png" -q 2>/dev/null && fail "unwritable folder reported as success"
  chmod 0755 "$work/out"
  cmp -s "$work/out/frame.png" "$work/original.png" || fail "the existing output was changed"
fi

# A bad input never overwrites a good file.
"$lensfall" render "$work/missing.exr" -o "$work/out/frame.png" -q 2>/dev/null && fail "missing input reported as success"
cmp -s "$work/out/frame.png" "$work/original.png" || fail "a bad input changed the output"
echo "output safety: ok"
