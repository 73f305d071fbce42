#!/usr/bin/env bash
# Builds the release, sanitizer and thread-sanitizer configurations and runs their tests.
# The release configuration runs last; the output ends with a short account of each failed
# test run and a line about the machine.
#
# ORX_NONBLOCKING_TESTS, when set, is a CTest name pattern: those tests run after the others
# of their configuration and their failures are reported in full, but do not fail the run.
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
jobs="${ORX_JOBS:-$(nproc)}"
nonblocking="${ORX_NONBLOCKING_TESTS:-}"
status=0
failed_logs=()

for program in cmake ninja g++ ffmpeg ffprobe; do
  if ! command -v "$program" >/dev/null; then
    echo "missing program: $program (run scripts/install-packages.sh)" >&2
    exit 1
  fi
done

# Runs CTest in the configuration's folder with the given arguments; a failed run's log is
# kept as <config>/<name>.log for the account at the end. Answers CTest's status.
run_ctest() {
  local config="$1" name="$2"; shift 2
  local folder="$here/build/$config"
  if (cd "$folder" && ctest -j "$jobs" --output-on-failure "$@"); then return 0; fi
  cp "$folder/Testing/Temporary/LastTest.log" "$folder/$name.log" 2>/dev/null
  failed_logs+=("$config/$name")
  return 1
}

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
  if [ -z "$nonblocking" ]; then
    run_ctest "$config" tests "$@" || status=1
  else
    run_ctest "$config" tests -E "$nonblocking" "$@" || status=1
    echo "=== $config: non-blocking tests ($nonblocking)"
    run_ctest "$config" non-blocking-tests -R "$nonblocking" "$@" ||
      echo "=== $config: non-blocking tests failed (not counted)"
  fi
  echo "=== $config: $((SECONDS - start)) s"
}

build_targets=(tsan_tests)
run_config tsan -L tsan
build_targets=()
run_config asan
run_config release
# The non-blocking runs first, so the failures that fail the run come last.
for failed in "${failed_logs[@]}"; do
  [[ "$failed" == */non-blocking-tests ]] || continue
  echo "=== ${failed/\// }: why tests failed"
  "$here/scripts/failure-digest.sh" "$here/build/$failed.log"
done
for failed in "${failed_logs[@]}"; do
  [[ "$failed" == */non-blocking-tests ]] && continue
  echo "=== ${failed/\// }: why tests failed"
  "$here/scripts/failure-digest.sh" "$here/build/$failed.log"
done
# Free space: the tests' folders are under TMPDIR (or /tmp), the builds under the repository.
free_space() { df -Pk "$1" 2>/dev/null | awk 'NR==2 {printf "%s %.1f GiB free", $1, $4 / 1048576}'; }
echo "=== machine: $(nproc) processors ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 |
  sed 's/^ *//')), $(free -g 2>/dev/null | awk '/^Mem:/ {print $2 " GiB"}'), kernel $(uname -r), up $(cut -d' ' -f1 /proc/uptime) s, in $here ($(df -T "$here" | awk 'NR==2 {print $2}'); $(free_space "$here")), temporary folder ${TMPDIR:-/tmp} ($(free_space "${TMPDIR:-/tmp}"))"
exit $status
