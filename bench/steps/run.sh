#!/usr/bin/env bash
# The step machine's tick times over the largest plan, in fake time.
set -euo pipefail
build=${1:-build}
cmake --build "$build" -j2 --target bench_steps >/dev/null
exec "$build/bench/steps/bench_steps" "${@:2}"
