#!/bin/sh
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for a bounded time. The test command
# (./run tests) runs it for a few seconds per target; a long run is an hour or a night per target.
#   tests/fuzz/run.sh [seconds per target, default 60]
# New inputs go to build-fuzz/fuzz-corpus/, crashes to build-fuzz/fuzz-artifacts/. A crash makes the script
# fail; fix it and copy the crashing input into tests/fuzz/regressions/<target>/ so that the replay tests
# (ctest -R fuzz) keep it.
set -eu
seconds=${1:-60}
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${TOTEM_FUZZ_BUILD:-$root/build-fuzz}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTOTEM_FUZZ=ON >/dev/null
cmake --build "$build" --target fuzz_wire fuzz_filter fuzz_call fuzz_csv

status=0
for target in wire filter call csv; do
    corpus="$build/fuzz-corpus/$target"
    mkdir -p "$corpus" "$build/fuzz-artifacts"
    echo "== fuzz_$target for ${seconds}s"
    "$build/tests/server/fuzz/fuzz_$target" "$corpus" "$root/tests/fuzz/corpus/$target" \
        "$root/tests/fuzz/regressions/$target" -dict="$root/tests/fuzz/$target.dict" \
        -max_total_time="$seconds" -max_len=4096 \
        -artifact_prefix="$build/fuzz-artifacts/$target-" -print_final_stats=1 || status=1
done
exit $status
