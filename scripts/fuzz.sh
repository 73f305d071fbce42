#!/usr/bin/env bash
# Builds the libFuzzer targets in tests/fuzz/ with clang (address and undefined-behaviour
# sanitizers) and runs each from its seed corpus for a bounded time. A crash fails the run and
# leaves its input in build/fuzz/ (make it a test).
#
# ORX_FUZZ_SECONDS: the time each target runs (default 60).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${ORX_FUZZ_SECONDS:-60}"
out="$here/build/fuzz"
mkdir -p "$out"
cxx="${ORX_FUZZ_CXX:-clang++}"
flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined
       -fno-sanitize-recover=undefined -I"$here")

# name, seed folder, then its sources and libraries.
build() {
  local name="$1"; shift
  "$cxx" "${flags[@]}" -o "$out/$name" "$@"
}
build y4m_reader_fuzz "$here/tests/fuzz/y4m_reader_fuzz.cpp" "$here/host/frame_source.cpp" \
  "$here/support/y4m.cpp" "$here/support/test_pattern.cpp" -lpthread
build wav_reader_fuzz "$here/tests/fuzz/wav_reader_fuzz.cpp" "$here/support/audio_clip.cpp" \
  "$here/host/audio_resampler.cpp" -lsoxr
build param_value_fuzz "$here/tests/fuzz/param_value_fuzz.cpp" "$here/host/param_store.cpp" \
  "$here/platform/host_sdk/utf16_text.cpp"

status=0
for target in y4m_reader:y4m wav_reader:wav param_value:param; do
  name="${target%%:*}_fuzz"
  seeds="$here/tests/fuzz/corpus/${target##*:}"
  work="$out/corpus-${target##*:}"
  mkdir -p "$work"
  echo "=== fuzz: $name for $seconds s"
  if ! (cd "$out" && "./$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=0 "$work" "$seeds" 2>"$out/$name.log"); then
    tail -40 "$out/$name.log"
    echo "=== fuzz: $name found a fault (its input is in $out)"
    status=1
  else
    grep -E "^Done [0-9]+ runs" "$out/$name.log" | tail -n 1 || true
  fi
done
exit $status
