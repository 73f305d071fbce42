#!/usr/bin/env bash
# Installs the Debian packages of packages.txt (as root, or through sudo).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
mapfile -t packages < <(grep -v '^\s*#' "$here/packages.txt" | awk 'NF {print $1}')
if [ "$(id -u)" -eq 0 ]; then
  run=()
else
  run=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${run[@]}" apt-get update
"${run[@]}" apt-get install -y --no-install-recommends "${packages[@]}"
