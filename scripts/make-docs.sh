#!/usr/bin/env bash
# Writes the API reference of the library's own layer into BUILD/docs/html; fails on any doxygen warning.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build}/docs"
rm -rf "$out" && mkdir -p "$out"
inputs=""
for d in core data geom image texture mesh view net; do
  [ -d "qcore/$d" ] && inputs="$inputs qcore/$d"
done
export QCORE_DOCS_OUT="$out" QCORE_DOCS_INPUT="$inputs docs/guide.md docs/platform.md"
doxygen docs/Doxyfile
if [ -s "$out/warnings.txt" ]; then
  cat "$out/warnings.txt" >&2
  exit 1
fi
# The headers' comments reach doxygen through its input filter; a reference without them is a failure too.
if ! grep -qs 'class="mdescRight"' "$out"/html/class*.html; then
  echo "the reference has no descriptions: the comment filter (scripts/doxygen-filter.awk) did not run" >&2
  exit 1
fi
echo "API reference: $out/html/index.html"
