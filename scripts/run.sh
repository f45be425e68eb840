#!/usr/bin/env bash
# Installs what is missing, builds everything and starts Lumatrace on the
# virtual instrument. Without a display it runs the program under Xvfb,
# saves a screenshot and says where it is.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh

build=build
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)"

program="$build/bin/lumatrace"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$program" "$@"
fi

shot="$root/$build/lumatrace-screenshot.png"
echo "No display: running Lumatrace under Xvfb for a few seconds."
xvfb-run -a -s "-screen 0 1600x1000x24" \
  "$program" --auto --screenshot "$shot" --quit-after 6 "$@"
echo "Screenshot of the running program: $shot"
