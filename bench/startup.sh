#!/usr/bin/env bash
# Start-up and image I/O of two builds of the command, side by side in one
# run: CPU (user + system), wall time and peak memory of the whole process
# for the commands that do no filtering and for a render to EXR and to PNG.
#
#   bench/startup.sh BEFORE_LENSFALL AFTER_LENSFALL [FRAME.exr] [RUNS]
#
# Each command runs RUNS times (default 7) for each build in turn; the table
# gives medians. With perf installed, a perf stat line per build and command
# follows (task-clock and page faults of one more run).
set -euo pipefail

if [ $# -lt 2 ]; then
  sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
fi
before=$(realpath "$1")
after=$(realpath "$2")
here=$(cd "$(dirname "$0")/.." && pwd)
frame=$(realpath "${3:-$here/tests/data/frames/highlights/highlights_640x360.exr}")
runs=${4:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$frame" "$work/frame.exr"
[ -f "${frame%.exr}.json" ] && cp "${frame%.exr}.json" "$work/frame.json"
cd "$work"

names=("--help" "check" "aperture -o a.exr" "aperture -o a.png"
       "render frame.exr -o out.exr -q" "render frame.exr -o out.png -q")

# Median of the numbers on standard input.
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

measure() {  # build, command words...: prints "cpu wall rss_kb"
  local bin=$1; shift
  local cpu=() wall=() rss=()
  for ((k = 0; k < runs; k++)); do
    /usr/bin/time -f "%U %S %e %M" -o t.txt "$bin" "$@" >/dev/null
    read -r user sys elapsed maxrss <t.txt
    cpu+=("$(echo "$user + $sys" | bc)")
    wall+=("$elapsed")
    rss+=("$maxrss")
  done
  printf '%s %s %s\n' "$(printf '%s\n' "${cpu[@]}" | median)" \
    "$(printf '%s\n' "${wall[@]}" | median)" \
    "$(printf '%s\n' "${rss[@]}" | median)"
}

printf '%-30s | %22s | %22s\n' "command (median of $runs)" "before: CPU s, wall s, MB" \
  "after: CPU s, wall s, MB"
for name in "${names[@]}"; do
  read -r -a words <<<"$name"
  read -r bc bw br < <(measure "$before" "${words[@]}")
  read -r ac aw ar < <(measure "$after" "${words[@]}")
  printf '%-30s | %6.2f %6.2f %7.0f | %6.2f %6.2f %7.0f\n' "$name" \
    "$bc" "$bw" "$((br / 1024))" "$ac" "$aw" "$((ar / 1024))"
done

if command -v perf >/dev/null; then
  echo
  for name in "${names[@]}"; do
    read -r -a words <<<"$name"
    for build in before after; do
      bin=$before; [ $build = after ] && bin=$after
      perf stat -x, -e task-clock,page-faults -o p.txt "$bin" "${words[@]}" \
        >/dev/null 2>&1 || true
      awk -F, -v n="$name" -v b="$build" '
        /task-clock/ {ms = $1} /page-faults/ {pf = $1}
        END {printf "perf %-30s %-6s task-clock %8.1f ms  page-faults %6d\n", n, b, ms, pf}' p.txt
    done
  done
fi
