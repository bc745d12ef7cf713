#!/usr/bin/env bash
# Installs what is missing, builds Tarnwick (Release) and starts it on the current X session.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${DISPLAY:-}" ]; then
  echo "Tarnwick needs a graphical X11 session (or XWayland): DISPLAY is not set." >&2
  exit 1
fi

bash scripts/install-deps.sh run
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARNWICK_TESTS=OFF -DTARNWICK_BENCH=OFF >/dev/null
cmake --build build-release -j"$(nproc)" --target tarnwick
exec build-release/src/tarnwick "$@"
