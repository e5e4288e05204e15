#!/bin/sh
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each for a bounded
# time, starting from the committed seed corpus. New inputs go to
# build-fuzz/corpus/<target>, crashes to build-fuzz/crashes/<target>.
#   FUZZ_SECONDS  time per target (default 20)
#   FUZZ_TARGETS  targets to run (default all)
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
out="$root/build-fuzz"
seconds=${FUZZ_SECONDS:-20}
targets=${FUZZ_TARGETS:-"weighing_reply identity_reply pt_lines model_lookup mass_text_counts"}
cxx=${CXX_FUZZ:-clang++}
flags="-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined
       -fno-sanitize-recover=undefined -I$root/src -I$root/tests/fuzz"

mkdir -p "$out/obj"
# The link library and the number routines, compiled once for all targets.
objs=""
for src in $(find "$root/src/link" -name '*.cpp' | sort) "$root/tests/fuzz/fuzz_entries.cpp"; do
  obj="$out/obj/$(echo "${src#$root/}" | tr '/' '_' | sed 's/\.cpp$/.o/')"
  if [ ! -f "$obj" ] || [ "$src" -nt "$obj" ] || [ -n "$(find "$root/src/link" "$root/tests/fuzz" -name '*.h' -newer "$obj")" ]; then
    # shellcheck disable=SC2086
    $cxx $flags -fsanitize=fuzzer-no-link -c "$src" -o "$obj"
  fi
  objs="$objs $obj"
done

status=0
for t in $targets; do
  # shellcheck disable=SC2086
  $cxx $flags -fsanitize=fuzzer "$root/tests/fuzz/fuzz_$t.cpp" $objs -pthread -o "$out/fuzz_$t"
  mkdir -p "$out/corpus/$t" "$out/crashes/$t"
  echo "fuzz $t: ${seconds}s"
  if ! "$out/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$out/crashes/$t/" "$out/corpus/$t" "$root/tests/fuzz/corpus/$t" \
      >"$out/fuzz_$t.log" 2>&1; then
    echo "fuzz $t: FAILED (see $out/fuzz_$t.log and $out/crashes/$t/)"
    status=1
  else
    grep -E 'stat::number_of_executed_units|stat::new_units_added' "$out/fuzz_$t.log" | tr '\n' ' '
    echo
  fi
done
exit $status
