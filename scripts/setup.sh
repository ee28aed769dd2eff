#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Lensfall need.
# Packages already present are skipped, so running it again is cheap.
# With --bench, also what the whole-process comparison in bench/ runs
# (GEGL, which no test needs).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang clang-format libclang-rt-14-dev
  libopenexr-dev libdeflate-dev libopenimageio-dev openimageio-tools
  libcli11-dev nlohmann-json3-dev libfmt-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcpp-httplib-dev
  binutils python3 procps
  chromium chromium-driver python3-selenium fonts-noto-cjk
)
for argument in "$@"; do
  case "$argument" in
    --bench) packages+=(gegl) ;;
    *) echo "setup: unknown option $argument (expected --bench)" >&2; exit 2 ;;
  esac
done

missing=()
for pkg in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
