#!/usr/bin/env bash
# The test command: installs the Debian packages it lacks, builds everything
# and runs every test, one step at a time:
#   1. the C++ unit tests;
#   2. on each supported Python (3.12 and 3.13, or those in
#      TARNWICK_TEST_PYTHONS), the installed wheel's pytest suite and a check
#      of the type stubs against the built module;
#   3. the NumPy export against NumPy 1.26 (the wheel is built with NumPy 2);
#   4. the C++ tests and the pytest suite under AddressSanitizer and
#      UndefinedBehaviorSanitizer;
#   5. a short run of each fuzz target (TARNWICK_FUZZ_SECONDS, default 15);
#   6. the sdist and the seven manylinux wheels (zig-built for glibc 2.17,
#      x86_64 and aarch64), checked, and the pytest suite of the x86_64 3.12
#      and 3.13 wheels and of a g++ build of the sdist run with no compiler
#      in reach (scripts/dist.sh; as another user than root, only the two
#      x86_64 wheels the Pythons here take);
#   7. the pytest suite on CPython 3.14, 3.15 and debug 3.14 in a Debian
#      unstable root (scripts/interpreters.sh; needs root);
#   8. the pytest suite of the other wheels on their own interpreters: the
#      x86_64 cp314 and cp315 wheels in that root, the aarch64 wheels in a
#      Debian arm64 root under qemu-user (scripts/wheels.sh; needs root).
#
#   bash scripts/test.sh            # everything
#   bash scripts/test.sh --quick    # steps 1 and 2 on one Python (also TARNWICK_QUICK=1)
#
# Each step prints one line (name, time, counts); its whole output goes to
# build/logs/<step>.log and, when it fails, the log's tail is shown. The last
# line is the verdict over every step: "N passed, M failed[, K skipped]".
# The exit status is non-zero when anything failed.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

quick=${TARNWICK_QUICK:-0}
for arg in "$@"; do
    case $arg in
        --quick) quick=1 ;;
        -h | --help) sed -n '2,24s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) echo "test.sh: unknown argument '$arg' (try --help)" >&2; exit 2 ;;
    esac
done

pythons=(${TARNWICK_TEST_PYTHONS:-3.12 3.13})
[ "$quick" = 1 ] && pythons=("${pythons[0]}")

# ---- Debian packages -------------------------------------------------------
# The C++ tests need gtest and cmake; the sanitizer and fuzz builds need clang
# and its runtimes; debootstrap makes the roots the other interpreters run
# in, qemu-user-static runs the arm64 one.
packages=(libgtest-dev cmake g++)
[ "$quick" = 1 ] || packages+=(clang-14 libclang-rt-14-dev debootstrap qemu-user-static)
missing=($(missing_packages "${packages[@]}"))
if [ ${#missing[@]} -gt 0 ] && [ "$(id -u)" != 0 ]; then
    echo "test.sh needs these Debian packages: ${missing[*]}" >&2
    echo "Install them as root, then run the test command again:" >&2
    echo "    sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 2
fi

# ---- Steps -----------------------------------------------------------------
logs=build/logs
mkdir -p "$logs"
rm -f "$logs"/*.log
total_passed=0 total_failed=0 total_skipped=0
run_start=$SECONDS

# counts LOG: prints "passed failed skipped" summed over the result lines the
# log holds:
#   pytest's summary      "12 passed, 1 failed, 2 skipped in 3.40s" (errors count as failed)
#   ctest's summary       "100% tests passed out of 52", "96% tests passed, 2 tests failed
#                         out of 52" (and its "(Skipped)" lines)
#   mypy stubtest         "Success: no issues found in 1 module"
#   a script's own tally  "5 passed, 0 failed" or "5 passed, 0 failed, 1 skipped" alone on its line
counts() {
    sed 's/\x1b\[[0-9;]*m//g' "$1" | awk '
        function tally(line,   n, i, parts, kv) {
            n = split(line, parts, /, /)
            for (i = 1; i <= n; i++) {
                split(parts[i], kv, " ")
                if (kv[2] == "passed" || kv[2] == "xpassed") p += kv[1]
                else if (kv[2] == "failed" || kv[2] ~ /^errors?$/) f += kv[1]
                else if (kv[2] == "skipped" || kv[2] == "xfailed") s += kv[1]
            }
        }
        /^=* *[0-9]+ (passed|failed|skipped|errors?|xfailed|xpassed|deselected|warnings?)(, [0-9]+ [a-z]+)* in [0-9.]+s/ {
            line = $0; sub(/^=* */, "", line); sub(/ in [0-9.]+s.*$/, "", line); tally(line); next
        }
        /^[0-9]+ passed, [0-9]+ failed(, [0-9]+ skipped)?$/ { tally($0); next }
        /^[0-9]+% tests passed(, [0-9]+ tests? failed)? out of [0-9]+/ {
            ct_total += $NF; if ($4 ~ /^[0-9]+$/) ct_failed += $4; next
        }
        /^[ \t]*[0-9]+ - .* \(Skipped\)$/ { ct_skipped++; next }
        /^Success: no issues found in [0-9]+ modules?/ { p += $(NF - 1); next }
        /^Found [0-9]+ errors? \(checked [0-9]+ modules?\)/ { f += $2; next }
        END {
            p += ct_total - ct_failed - ct_skipped; f += ct_failed; s += ct_skipped
            print p + 0, f + 0, s + 0
        }'
}

# step NAME COMMAND...: runs COMMAND (a program or a function of this script,
# under set -e) with its output in build/logs/, prints one line for it and
# adds its counts to the verdict. A step that fails without reporting a
# failed test counts as one failure.
step() {
    local name=$1 log status start passed failed skipped summary
    shift
    log=$logs/$(echo "$name" | tr -cs 'A-Za-z0-9.\n' '-' | sed 's/-$//').log
    printf '%-32s ' "$name"
    start=$SECONDS
    (set -e; "$@") >"$log" 2>&1 </dev/null
    status=$?
    read -r passed failed skipped < <(counts "$log")
    [ "$status" -ne 0 ] && [ "$failed" -eq 0 ] && failed=1
    summary="$passed passed, $failed failed"
    [ "$skipped" -gt 0 ] && summary+=", $skipped skipped"
    [ "$passed$failed$skipped" = 000 ] && summary="done"
    printf '%4d s  %s  %s\n' $((SECONDS - start)) "$([ "$status" -eq 0 ] && echo ok || echo FAIL)" "$summary"
    if [ "$status" -ne 0 ]; then
        tail -n 25 "$log" | sed 's/^/    | /'
        echo "    full log: $log (exit status $status)"
    fi
    total_passed=$((total_passed + passed))
    total_failed=$((total_failed + failed))
    total_skipped=$((total_skipped + skipped))
}

install_packages() {
    export DEBIAN_FRONTEND=noninteractive
    echo "installing: ${missing[*]}"
    apt-get update -q
    apt-get install -y -q "${missing[@]}"
}

cpp_tests() {
    cmake -S . -B build/cpp -DTARNWICK_TESTS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build build/cpp --parallel 2
    ctest --test-dir build/cpp --output-on-failure --parallel 2
}

python_tests() {  # VERSION
    local py
    py=$(make_venv "$1")
    "$py" -m pip install -q -r requirements-test.txt
    "$py" -m pip install -v --force-reinstall --no-deps \
        --config-settings=cmake.define.TARNWICK_WERROR=ON .
    "$py" -m pytest -q -p no:cacheprovider -rs tests/python
}

stub_check() {  # VERSION
    "$(make_venv "$1")" -m mypy.stubtest tarnwick
}

[ ${#missing[@]} -gt 0 ] && step "Debian packages" install_packages
step "C++ unit tests" cpp_tests
for version in "${pythons[@]}"; do
    step "Python $version pytest" python_tests "$version"
    step "Python $version stubs" stub_check "$version"
done
if [ "$quick" != 1 ]; then
    step "NumPy 1.26" bash scripts/check_numpy1.sh
    step "Sanitizers (ASan + UBSan)" bash scripts/sanitize.sh "${pythons[0]}"
    step "Fuzzing" bash scripts/fuzz.sh "${TARNWICK_FUZZ_SECONDS:-15}"
    if [ "$(id -u)" = 0 ]; then
        step "Release files" bash scripts/dist.sh
        step "Python 3.14, 3.15, 3.14d" bash scripts/interpreters.sh
        step "Wheels, x86_64 unstable root" bash scripts/wheels.sh x86_64
        step "Wheels, aarch64 under qemu" bash scripts/wheels.sh aarch64
    else
        step "Release files (x86_64 only)" env TARNWICK_DIST_WHEELS="cp312-x86_64 cp313-x86_64" bash scripts/dist.sh
        for name in "Python 3.14, 3.15, 3.14d" "Wheels, x86_64 unstable root" "Wheels, aarch64 under qemu"; do
            printf '%-32s    -  skipped (chroot needs root)\n' "$name"
            total_skipped=$((total_skipped + 1))
        done
    fi
fi

echo "total time $((SECONDS - run_start)) s; logs in $logs/"
verdict="$total_passed passed, $total_failed failed"
[ "$total_skipped" -gt 0 ] && verdict+=", $total_skipped skipped"
echo "$verdict"
[ "$total_failed" -eq 0 ]
