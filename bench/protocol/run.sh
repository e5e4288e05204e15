#!/bin/sh
# The protocol of the largest run (4000 results rows), built and saved by the
# program, and docxtemplater filling the same rows into the same template.
#   bench/protocol/run.sh BUILD
set -eu
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
bench="$build/bench/protocol/bench_protocol"
[ -x "$bench" ] || { echo "missing $bench: build the bench_protocol target first" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/librato-bench-protocol-XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

"$bench" "$work" 4000 7 | tee "$work/ours.txt"
ours=$(sed -n 's/^protocol_ms //p' "$work/ours.txt")

command -v node >/dev/null && command -v npm >/dev/null ||
  { echo "node and npm are needed for the docxtemplater comparison" >&2; exit 1; }
if [ ! -d "$here/node_modules/docxtemplater" ] || [ ! -d "$here/node_modules/pizzip" ]; then
  echo "installing docxtemplater and pizzip into $here/node_modules" >&2
  (cd "$here" && npm install --no-audit --no-fund --loglevel=error >&2)
fi
node "$here/docxtemplater_bench.js" "$work/peer-template.docx" "$work/peer-data.json" \
  "$work/peer-4000.docx" 7 | tee "$work/peer.txt"
peer=$(sed -n 's/^docxtemplater_ms //p' "$work/peer.txt")

speedup=$(awk -v a="$ours" -v b="$peer" 'BEGIN { printf "%.1f", b / a }')
echo "protocol with 4000 rows: $ours ms; docxtemplater: $peer ms; speedup ${speedup}x"
