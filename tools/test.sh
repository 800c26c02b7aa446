#!/usr/bin/env bash
# Builds and runs every test: native unit tests and benchmark, the fuzzer,
# and the Windows build's tests under Wine in a fresh prefix. Ends with one
# line "N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

./tools/setup.sh || { echo "0 passed, 1 failed"; exit 1; }

passed=0
failed=0
jobs=$(nproc)

# Runs ctest in a build folder and adds its counts to the totals. A folder
# whose build failed counts as one failure.
run_ctest() {
    local dir=$1 log
    log=$(mktemp)
    (cd "$dir" && ctest --output-on-failure --timeout 600 2>&1) | tee "$log"
    local summary total bad
    summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
    if [ -z "$summary" ]; then
        failed=$((failed + 1))
    else
        bad=$(sed -E 's/.*, ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
        total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
        passed=$((passed + total - bad))
        failed=$((failed + bad))
    fi
    rm -f "$log"
}

# build <folder> <cmake options>... [--target <targets>...]
build() {
    local dir=$1; shift
    local options=() targets=()
    while [ $# -gt 0 ] && [ "$1" != --target ]; do options+=("$1"); shift; done
    [ $# -gt 0 ] && { shift; targets=(--target "$@"); }
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release "${options[@]}" >/dev/null &&
        cmake --build "$dir" -j"$jobs" "${targets[@]}"
}

echo "== native build =="
if build build/native; then
    run_ctest build/native
    echo "== access decision benchmark (native) =="
    build/native/tests/bench/access_decision_benchmark --benchmark_min_time=0.2 --benchmark_repetitions=5 --benchmark_report_aggregates_only=true || failed=$((failed + 1))
else
    failed=$((failed + 1))
fi

echo "== fuzzer (clang, address and undefined-behaviour sanitizers) =="
if CC=clang CXX=clang++ build build/fuzz -DSENTREL_FUZZ=ON; then
    run_ctest build/fuzz
else
    failed=$((failed + 1))
fi

# The version a newer release would have, for the upgrade test: Windows
# Installer compares only the first three numbers, so the third goes up.
version=$(sed -n 's/^set(SENTREL_VERSION \([0-9.]*\) CACHE.*/\1/p' CMakeLists.txt)
next_version=$(awk -F. '{ print $1 "." $2 "." $3 + 1 ".0" }' <<<"$version")

# The Windows build of one architecture and its tests under Wine, in a
# session of their own.
windows_tests() {
    SENTREL_WINE_ARCH=$1
    wine_select_architecture || { failed=$((failed + 1)); return; }
    local win=$SENTREL_WIN_BUILD x86_parts=()
    echo "== Windows build ($SENTREL_WINE_ARCH, $win), tests under Wine =="
    # The 64-bit package carries the 32-bit build's agent and type library;
    # the 64-bit tests also check that the 32-bit package refuses 64-bit Windows.
    if [ "$SENTREL_WINE_ARCH" = win64 ]; then
        build build/win -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" --target SentrelAgent sentrel_generated \
            sentrel_package ||
            { failed=$((failed + 1)); return; }
        x86_parts=(-DSENTREL_X86_BUILD="$root/build/win")
    fi
    # The package of the next version, which the deployment test installs
    # over this build's: only what the package holds is built.
    echo "== the package of version $next_version for the upgrade test ($win-next) =="
    build "$win-next" -DCMAKE_TOOLCHAIN_FILE="$SENTREL_TOOLCHAIN" -DSENTREL_VERSION="$next_version" "${x86_parts[@]}" \
        --target sentrel_package || { failed=$((failed + 1)); return; }
    build "$win" -DCMAKE_TOOLCHAIN_FILE="$SENTREL_TOOLCHAIN" -DSENTREL_NEXT_PACKAGE="$root/$win-next/Sentrel.msi" ||
        { failed=$((failed + 1)); return; }
    wine_session_start
    settings_server_start || failed=$((failed + 1))
    figures="$WINE_SESSION_DIR/figures.txt"
    SENTREL_FIGURES=$(winepath_of "$figures")
    export SENTREL_FIGURES
    run_ctest "$win"
    echo "== figures from the Windows tests ($SENTREL_WINE_ARCH) =="
    cat "$figures" 2>/dev/null || { echo "no figures were written"; failed=$((failed + 1)); }
    echo "== controller round trip under Wine ($SENTREL_WINE_ARCH) =="
    "$SENTREL_WINE" "$win"/tools/round_trip_timing.exe </dev/null || failed=$((failed + 1))
    echo "== the controller with 1,000, 10,000 and 100,000 site entries under Wine ($SENTREL_WINE_ARCH) =="
    "$SENTREL_WINE" "$win"/tools/settings_timing.exe </dev/null || failed=$((failed + 1))
    echo "== a settings password check under Wine ($SENTREL_WINE_ARCH) =="
    "$SENTREL_WINE" "$win"/tools/password_timing.exe </dev/null || failed=$((failed + 1))
    echo "== the agent's cost under Wine ($SENTREL_WINE_ARCH) =="
    "$SENTREL_WINE" "$win"/tools/agent_timing.exe </dev/null || failed=$((failed + 1))
    echo "== URL routines: the native build against the Windows build ($SENTREL_WINE_ARCH) =="
    imitate=()
    [ "$SENTREL_WINE_ARCH" = win64 ] && imitate=(--wine64)
    if build/native/tests/url_outcomes "${imitate[@]}" >"$win"/native_url_outcomes.txt &&
        "$SENTREL_WINE" "$win"/tests/url_outcomes.exe </dev/null >"$win"/url_outcomes.txt &&
        python3 tools/compare_url_outcomes.py "$win"/native_url_outcomes.txt "$win"/url_outcomes.txt; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
    fi
    echo "== policy checker: native, Windows and the real controller over the same table ($SENTREL_WINE_ARCH) =="
    table="$(winepath_of tests/deploy/checker_table.txt)"
    if "$SENTREL_WINE" "$win"/tests/wine/controller_answers.exe "$table" </dev/null >"$win"/controller_answers.txt &&
        python3 tests/deploy/compare_checkers.py tests/deploy/checker_table.txt build/native/sentrel-check \
            "$SENTREL_WINE" "$win"/tools/sentrel-check.exe "$win"/controller_answers.txt; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
    fi
    echo "== the agent's log read back by the native and the Windows policy checker ($SENTREL_WINE_ARCH) =="
    if python3 tests/deploy/log_reading_test.py tests/deploy/log_table.txt build/native/sentrel-check \
        "$SENTREL_WINE" "$win"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
    fi
    wine_session_stop
}

# The product is 32-bit. Where the machine runs 32-bit programs, its tests
# run under 32-bit Wine and then the 64-bit build's under 64-bit Wine (64-bit
# Windows runs both); where it runs none, the 32-bit deliverables are built
# (a build failure counts) and the tests run on the 64-bit build.
# SENTREL_WINE_ARCH=win32 or win64 runs one architecture only.
source tools/wine_session.sh
if [ -n "${SENTREL_WINE_ARCH:-}" ]; then
    architectures=("$SENTREL_WINE_ARCH")
elif machine_runs_32bit; then
    architectures=(win32 win64)
else
    architectures=(win64)
    echo "== 32-bit deliverables (this machine runs no 32-bit programs; tests use the 64-bit build) =="
    if build build/win -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" --target SentrelAgent SentrelAgentController sentrel_package; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
    fi
fi
for architecture in "${architectures[@]}"; do
    windows_tests "$architecture"
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
