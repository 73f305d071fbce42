#!/usr/bin/env bash
# Checks that a document's references into the tree are still true, so a page that maps the
# code (docs/ARCHITECTURE.md) fails a test as soon as the code it names moves or is renamed.
#
#   check-doc-hops.sh DOCUMENT [ROOT]
#
# ROOT is the tree the references are relative to (the repository by default). Every span in
# backticks is read; these are references:
#   `path/file.cpp:Name` or `path/file.h:Class::Name`: the file exists and holds the name as a
#       function (the last name followed by "("), and every qualifier as a word;
#   `path/folder/`: the folder exists;
#   `path/file.ext` (.cpp .h .inc .md .sh .cmake): the file exists.
# Any other span (a flag, a command, a placeholder with <>) is prose. Lists every stale
# reference with its line and exits 1 when there is one.
set -euo pipefail

if [ "$#" -lt 1 ] || [ "$#" -gt 2 ]; then
  echo "usage: $0 DOCUMENT [ROOT]" >&2
  exit 2
fi
doc="$1"
root="${2:-$(cd "$(dirname "$0")/.." && pwd)}"
if [ ! -f "$doc" ]; then
  echo "$doc: no such document" >&2
  exit 2
fi

segment='[A-Za-z0-9_.-]+'
identifier='[A-Za-z_~][A-Za-z0-9_~]*'
hop_pattern="^(($segment/)*$segment\\.(cpp|h|inc)):($identifier(::$identifier)*)\$"
folder_pattern="^$segment(/$segment)*/\$"
file_pattern="^($segment/)*$segment\\.(cpp|h|inc|md|sh|cmake)\$"

references=0
stale=0
report() {
  echo "$doc:$1: \`$2\`: $3"
  stale=$((stale + 1))
}

# "LINE:`span`" for every span; fenced code blocks are not used for references.
while IFS= read -r match; do
  line="${match%%:*}"
  span="${match#*:}"
  span="${span#\`}"
  span="${span%\`}"
  if [[ "$span" =~ $hop_pattern ]]; then
    references=$((references + 1))
    file="${BASH_REMATCH[1]}"
    qualified="${BASH_REMATCH[4]}"
    name="${qualified##*::}"
    if [ ! -f "$root/$file" ]; then
      report "$line" "$span" "no file $file"
      continue
    fi
    if ! grep -qE "(^|[^A-Za-z0-9_])$name[[:space:]]*\\(" "$root/$file"; then
      report "$line" "$span" "$file has no function $name"
      continue
    fi
    qualifiers="${qualified%"$name"}"
    for qualifier in ${qualifiers//::/ }; do
      if ! grep -qw -- "$qualifier" "$root/$file"; then
        report "$line" "$span" "$file never names $qualifier"
        break
      fi
    done
  elif [[ "$span" =~ $folder_pattern ]]; then
    references=$((references + 1))
    [ -d "$root/$span" ] || report "$line" "$span" "no folder $span"
  elif [[ "$span" =~ $file_pattern ]]; then
    references=$((references + 1))
    [ -f "$root/$span" ] || report "$line" "$span" "no file $span"
  fi
done < <(grep -noE '`[^`]+`' "$doc" || true)

if [ "$stale" -ne 0 ]; then
  echo "$doc: $stale of $references references are stale (update the document where the code moved)"
  exit 1
fi
echo "$doc: all $references references hold"
