#!/usr/bin/env bash
# Start-up benchmark: time from launching the program to the first paint of
# its window (the splash picture), and its peak resident memory once the
# working area is shown (3.5 s later). Runs the program several times with a
# scratch settings store; prints each run, then the median time and the
# largest peak as the last line.
#   bench/start/run.sh BUILD [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-build}
runs=${2:-5}
case $build in /*) ;; *) build=$root/$build ;; esac
exe=$build/src/app/librato
[ -x "$exe" ] || { echo "bench-start: $exe not found" >&2; exit 1; }
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
echo "platform: ${QT_QPA_PLATFORM:-default}; runs: $runs"
paints=() rss=()
for i in $(seq 1 "$runs"); do
  rm -rf "$scratch/config" && mkdir -p "$scratch/config"
  t0=$(date +%s%N)
  line=$(cd "$scratch" && XDG_CONFIG_HOME=$scratch/config XDG_RUNTIME_DIR=$scratch \
    LIBRATO_START_PROBE=$t0 timeout 30 "$exe" 2>/dev/null | tail -n 1)
  echo "run $i: $line"
  [[ $line =~ first\ paint\ after\ ([0-9.]+)\ ms\;\ peak\ RSS\ ([0-9.]+)\ MB ]] || {
    echo "bench-start: no figures from run $i" >&2; exit 1; }
  paints+=("${BASH_REMATCH[1]}")
  rss+=("${BASH_REMATCH[2]}")
done
median=$(printf '%s\n' "${paints[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
peak=$(printf '%s\n' "${rss[@]}" | sort -g | tail -n 1)
echo "goals: first paint <= 300 ms, peak RSS <= 80 MB (median time, largest peak of $runs runs)"
echo "first paint after $median ms; peak RSS $peak MB"
