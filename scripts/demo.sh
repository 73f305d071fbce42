#!/usr/bin/env bash
# Installs what is needed, builds the release configuration and runs the system's main job.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/install-packages.sh"
"$here/scripts/build.sh" release
bin="$here/build/release/bin"
lib="$here/build/release/lib"
# The export runs once the host has its export command and the video encoder component is built.
if [ -x "$bin/orx-export" ] && [ -f "$lib/ExporterORXEncoder.so" ] && [ -f "$lib/libqvavenc.so" ] &&
   [[ "$("$bin/orx-export" --help)" == *$'\n  export '* ]]; then
  out="$here/build/demo"
  mkdir -p "$out"
  # The exporters register only on processors that report CPUID leaf 0x80000001 ECX bits 6 and
  # 7. The demo presents such a processor to the plug-in (ORX_CPUID_TABLE), so that it runs on
  # any x86-64 machine; the encoding itself uses only what the real processor has.
  cat > "$out/cpuid-table" <<'TABLE'
0 0 0000000D 68747541 444D4163 69746E65
1 0 00000F00 0 00000001 178BFBFF
80000000 0 80000008 0 0 0
80000001 0 0 0 000000C0 0
TABLE
  # A registry of its own ("GPUFlags" 0: no GPU request) and the plug-in's log in the demo folder.
  printf '%s\n' 'HKCU\Software\ORX\AdobePluginCS4\GPUFlags = dword:0x00000000' > "$out/registry"
  (cd "$out" && ORX_CPUID_TABLE="$out/cpuid-table" ORX_REGISTRY="$out/registry" \
    "$bin/orx-export" export --type MPG2 --pattern 720x480@29.97 --frames 150 \
      --set ORXMultiplexerContainer=0 --set "ORXLogFile=$out/orxencoder.log" --output "$out/demo.m2v")
  echo "wrote $out/demo.m2v"
else
  echo "Built. The export road is not complete in this build yet (the video encoder component"
  echo "libqvavenc.so is not built), so there is no export to run."
fi
