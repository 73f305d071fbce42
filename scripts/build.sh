#!/usr/bin/env bash
# Configures and builds one configuration: build.sh release|asan|tsan [targets...]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
config="${1:-release}"
shift || true
case "$config" in
  release) sanitizer=none ;;
  asan) sanitizer=address ;;
  tsan) sanitizer=thread ;;
  *) echo "unknown configuration $config (release, asan or tsan)" >&2; exit 2 ;;
esac
jobs="${ORX_JOBS:-$(nproc)}"
cmake -S "$here" -B "$here/build/$config" -G Ninja -DORX_SANITIZER="$sanitizer" >/dev/null
if [ "$#" -gt 0 ]; then
  cmake --build "$here/build/$config" -j "$jobs" --target "$@"
else
  cmake --build "$here/build/$config" -j "$jobs"
fi
