#!/usr/bin/env bash
# Runs every fuzz target longer than the test command does, in parallel on
# the machine's cores, and prints executions and findings per target.
#
#   tools/fuzz.sh [--runs N | --seconds N]     default: --runs 10000000
#
# Each target starts from its committed seeds and a scratch corpus in the
# build tree; a finding is written to build/fuzz/findings/<target>/ and the
# script exits non-zero.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

limit=(-runs=10000000)
case "${1:-}" in
    --runs) limit=(-runs="$2") ;;
    --seconds) limit=(-max_total_time="$2") ;;
    "") ;;
    *) echo "usage: tools/fuzz.sh [--runs N | --seconds N]" >&2; exit 2 ;;
esac

./tools/setup.sh || exit 1
CC=clang CXX=clang++ cmake -S "$root" -B build/fuzz -DSENTREL_FUZZ=ON -DCMAKE_BUILD_TYPE=Release >/dev/null &&
    cmake --build build/fuzz -j"$(nproc)" || exit 1

targets=(url_fuzzer host_index_fuzzer password_fuzzer command_line_fuzzer)
seeds=(url host_index password command_line)
logs=$(mktemp -d)
running=0
for i in "${!targets[@]}"; do
    target=${targets[$i]}
    corpus=build/fuzz/corpus/$target
    findings=build/fuzz/findings/$target
    mkdir -p "$corpus" "$findings"
    (
        start=$(date +%s)
        build/fuzz/tests/fuzz/$target "${limit[@]}" -max_len=4096 -print_final_stats=1 \
            -artifact_prefix="$findings/" "$corpus" "tests/fuzz/seeds/${seeds[$i]}" >"$logs/$target.log" 2>&1
        echo "$? $(( $(date +%s) - start ))" >"$logs/$target.status"
    ) &
    running=$((running + 1))
    if [ "$running" -ge "$(nproc)" ]; then
        wait -n
        running=$((running - 1))
    fi
done
wait

failed=0
printf '%-22s %14s %9s  %s\n' target executions seconds result
for target in "${targets[@]}"; do
    read -r code seconds <"$logs/$target.status"
    executions=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$logs/$target.log" | grep -o '[0-9]*$' | tail -1)
    if [ "$code" -eq 0 ]; then
        result="no finding"
    else
        result="FINDING: $(grep -m1 -E 'runtime error|ERROR:|deadly signal' "$logs/$target.log")"
        failed=$((failed + 1))
    fi
    printf '%-22s %14s %9s  %s\n' "$target" "${executions:-?}" "$seconds" "$result"
done
rm -rf "$logs"
[ "$failed" -eq 0 ]
