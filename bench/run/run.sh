#!/usr/bin/env bash
# Run rhythm: a whole verification through librato-demo (real window, serial
# channel over a pseudo-terminal, acquisition thread, step machine) and, for
# every placed weight, the time from the balance's first stable report to the
# hand-over whose reading passed the step, less the read-out time.
# Usage: bench/run/run.sh BUILD [extra librato-demo options]
set -euo pipefail
build=${1:-build}
shift || true
if ! log=$(cmake --build "$build" --target librato-demo -j 2 2>&1); then
  echo "$log" >&2
  exit 1
fi
work=$(mktemp -d /tmp/librato-bench-run-XXXXXX)
trap 'rm -rf "$work"' EXIT
echo "librato-demo --weights 5 --individual 1 --readout 3 --settle 1 (11 readings)"
if ! "$build/tools/demo/librato-demo" --weights 5 --individual 1 --readout 3 --settle 1 \
  --tests 100.0011,99.9993,100.0004,99.9989,100.0017 --results "$work/results.tsv" \
  --timing "$work/timing.txt" "$@" 2>"$work/stderr.txt"; then
  echo "the run did not finish:" >&2
  cat "$work/stderr.txt" "$work/results.tsv" >&2 || true
  exit 1
fi
cat "$work/timing.txt"
