#!/usr/bin/env bash
# Link figures: protocol-1 readings per second, the share of protocol-2 lines
# that become readings, the time to the first protocol-2 reading.
# Usage: bench/link/run.sh BUILD [--quick]
set -euo pipefail
build=${1:-build}
shift || true
if ! log=$(cmake --build "$build" --target bench_link -j 2 2>&1); then
  echo "$log" >&2
  exit 1
fi
exec "$build/bench/link/bench_link" "$@"
