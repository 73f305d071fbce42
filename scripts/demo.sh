#!/usr/bin/env bash
# Installs what is needed, builds the release configuration and runs the system's main job.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/install-packages.sh"
"$here/scripts/build.sh" release
bin="$here/build/release/bin"
# The export runs once the host has its export command.
if [ -x "$bin/orx-export" ] && [ -f "$here/build/release/lib/ExporterORXEncoder.so" ] &&
   [[ "$("$bin/orx-export" --help)" == *$'\n  export '* ]]; then
  out="$here/build/demo"
  mkdir -p "$out"
  "$bin/orx-export" export --type MPG2 --pattern 720x480@29.97 --frames 150 \
    --set ORXMultiplexerContainer=0 --output "$out/demo.m2v"
  echo "wrote $out/demo.m2v"
else
  echo "Built. The export road (orx-export and the exporter plug-in) is not part of this build yet,"
  echo "so there is no export to run."
fi
