#!/usr/bin/env bash
# Builds the release, sanitizer and thread-sanitizer configurations and runs their tests.
# The release configuration runs last; the output ends with a short account of each
# configuration whose tests failed.
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
jobs="${ORX_JOBS:-$(nproc)}"
status=0
failed_configs=()

for program in cmake ninja g++ ffmpeg ffprobe; do
  if ! command -v "$program" >/dev/null; then
    echo "missing program: $program (run scripts/install-packages.sh)" >&2
    exit 1
  fi
done

run_config() {
  local config="$1"; shift
  local start=$SECONDS
  echo "=== $config: build"
  if ! "$here/scripts/build.sh" "$config" "${build_targets[@]}"; then
    echo "=== $config: build failed"
    status=1
    return
  fi
  echo "=== $config: tests"
  if ! (cd "$here/build/$config" && ctest -j "$jobs" --output-on-failure "$@"); then
    status=1
    failed_configs+=("$config")
  fi
  echo "=== $config: $((SECONDS - start)) s"
}

build_targets=(tsan_tests)
run_config tsan -L tsan
build_targets=()
run_config asan
run_config release
for config in "${failed_configs[@]}"; do
  echo "=== $config: why tests failed"
  "$here/scripts/failure-digest.sh" "$here/build/$config/Testing/Temporary/LastTest.log"
done
exit $status
