# Shared by scripts/run and scripts/test: package set-up and the build.
# shellcheck shell=bash

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Everything a fresh Debian 12 machine needs to build, test and run.
PACKAGES=(
  build-essential cmake ninja-build pkg-config
  zlib1g-dev libpng-dev libstb-dev
  libgif-dev                   # giflib 5.2 (MIT), the GIF writer's encoder
  nlohmann-json3-dev           # JSON for Modern C++ (MIT, header-only): the sprite sheet's JSON
  libglfw3-dev libgl1-mesa-dev libglu1-mesa-dev libgl1-mesa-dri
  libegl-dev libegl1-mesa-dev
  libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev
  libfreetype-dev fonts-dejavu-core
  xvfb xauth xdotool imagemagick x11-utils
  python3                      # scripts/mutate
  python3-pil ffmpeg           # the animation tests read APNG and GIF back with Pillow and ffprobe
  desktop-file-utils shared-mime-info
  libtinygltf-dev nlohmann-json3-dev  # app/export
  assimp-utils nodejs                 # tests/export: assimp and the glTF validator
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the packages that are missing; silent when none are.
ensure_packages() {
  local missing=()
  local pkg
  for pkg in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' \
      || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
}

# The Khronos glTF validator for tests/export, pinned by its lockfile and
# installed with `npm ci` into .cache/gltf-validator (again when the lockfile
# changes). Debian's nodejs comes without npm; a nodejs that bundles it
# (as other builds of node do) must not get Debian's npm on top.
ensure_gltf_validator() {
  local from="$ROOT/tests/export/validator" to="$ROOT/.cache/gltf-validator"
  if [ -d "$to/node_modules/gltf-validator" ] && cmp -s "$from/package-lock.json" "$to/package-lock.json"; then
    return 0
  fi
  if ! command -v npm >/dev/null; then
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends npm >/dev/null
  fi
  echo "Installing the glTF validator into $to"
  rm -rf "$to"
  mkdir -p "$to"
  cp "$from/package.json" "$from/package-lock.json" "$to/"
  (cd "$to" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
}

JOBS=$(nproc 2>/dev/null || echo 2)

# configure_and_build DIR [cmake options...]
configure_and_build() {
  local dir=$1; shift
  cmake -S "$ROOT" -B "$ROOT/$dir" -G Ninja -Wno-dev "$@" >/dev/null
  cmake --build "$ROOT/$dir" -j "$JOBS"
}

# Runs a command with an X display: the current one, or a virtual one of its
# own (Xvfb picks a free display number itself, so runs started together on
# one machine cannot take each other's display).
with_display() {
  if [ -n "${DISPLAY:-}" ]; then
    "$@"
    return
  fi
  # A subshell, so the virtual DISPLAY does not outlive its server.
  (
    source "$ROOT/scripts/headless.sh"
    start_virtual_display 1280x1024x24
    trap stop_virtual_display EXIT
    "$@"
  )
}
