#!/usr/bin/env bash
# The test command: installs the Debian packages it lacks, builds everything
# and runs every test, one step at a time:
#   0. the C and C++ sources against clang-format-14 (scripts/format.sh --check);
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
#   bash scripts/test.sh --quick    # steps 0 to 2 on one Python (also TARNWICK_QUICK=1)
#
# Each step's output goes to build/logs/<step>.log and its results, as JUnit
# XML, to build/junit/<step>/ (the step's scripts are given that folder as
# TARNWICK_JUNIT_DIR): pytest's and ctest's own, and one case from the exit
# status for a check that writes none (stubtest, clang-format, each fuzz
# target). scripts/junit_counts.py sums them: each step prints one line (name,
# time, counts) and, when it fails, its log's tail and failed cases; a step
# that exits non-zero with no failure in its XML (a crash before pytest wrote
# it, a missing file), or that leaves no XML, counts a failed case of its own.
# The last line is the verdict over every file in build/junit:
# "N passed, M failed[, K skipped]" (errors count as failed). The exit status
# is non-zero when anything failed.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

quick=${TARNWICK_QUICK:-0}
for arg in "$@"; do
    case $arg in
        --quick) quick=1 ;;
        -h | --help) sed -n '2,25s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) echo "test.sh: unknown argument '$arg' (try --help)" >&2; exit 2 ;;
    esac
done

pythons=(${TARNWICK_TEST_PYTHONS:-3.12 3.13})
[ "$quick" = 1 ] && pythons=("${pythons[0]}")

# ---- Debian packages -------------------------------------------------------
# The C++ tests need gtest and cmake, the format check clang-format-14; the
# sanitizer and fuzz builds need clang and its runtimes; debootstrap makes the
# roots the other interpreters run in, qemu-user-static runs the arm64 one.
packages=(libgtest-dev cmake g++ clang-format-14)
[ "$quick" = 1 ] || packages+=(clang-14 libclang-rt-14-dev debootstrap qemu-user-static)
missing=($(missing_packages "${packages[@]}"))
if [ ${#missing[@]} -gt 0 ] && [ "$(id -u)" != 0 ]; then
    echo "test.sh needs these Debian packages: ${missing[*]}" >&2
    echo "Install them as root, then run the test command again:" >&2
    echo "    sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 2
fi

# ---- Steps -----------------------------------------------------------------
logs=build/logs junit_root=build/junit
mkdir -p "$logs"
rm -f "$logs"/*.log
rm -rf "$junit_root"
any_failed=0
run_start=$SECONDS

# A step's name as a file name: "Python 3.12 pytest" -> Python-3.12-pytest.
slug() { echo "$1" | tr -cs 'A-Za-z0-9.\n' '-' | sed 's/-$//'; }

# step [--kind KIND] NAME COMMAND...: runs COMMAND (a program or a function of
# this script, under set -e) with its output in build/logs/ and its JUnit XML
# in build/junit/<step>/ (TARNWICK_JUNIT_DIR), and prints one line for it from
# that XML (scripts/junit_counts.py step). KIND: "tests" (the command writes
# the XML), "status" (it writes none; its exit status is its one result) or
# "setup" (no results).
step() {
    local kind=tests
    if [ "$1" = --kind ]; then kind=$2; shift 2; fi
    local name=$1 log dir status start report ok
    shift
    log=$logs/$(slug "$name").log dir=$junit_root/$(slug "$name")
    mkdir -p "$dir"
    printf '%-32s ' "$name"
    start=$SECONDS
    # The outer redirection takes the shell's own note of a command killed by
    # a signal ("Segmentation fault") into the log too.
    { (set -e; export TARNWICK_JUNIT_DIR=$dir; "$@") >"$log" 2>&1 </dev/null; } 2>>"$log"
    status=$?
    report=$(junit step "$dir" --name "$name" --exit-status "$status" --log "$log" --kind "$kind")
    ok=$?
    if [ -z "$report" ]; then
        # No counts at all: a failed case by hand, so the verdict counts it too.
        report="no counts: scripts/junit_counts.py failed"
        echo "<testsuite name=\"counts\"><testcase name=\"junit_counts.py\"><failure message=\"$report\"/></testcase></testsuite>" \
            >"$dir/no-counts.xml"
    fi
    printf '%4d s  %s  %s\n' $((SECONDS - start)) "$([ "$ok" -eq 0 ] && echo ok || echo FAIL)" "${report%%$'\n'*}"
    if [ "$ok" -ne 0 ]; then
        any_failed=1
        tail -n 25 "$log" | sed 's/^/    | /'
        [[ $report == *$'\n'* ]] && echo "${report#*$'\n'}" | sed 's/^/    /'
        echo "    full log: $log (exit status $status); JUnit XML in $dir/"
    fi
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
    ctest --test-dir build/cpp --output-on-failure --parallel 2 --output-junit "$(junit_dir)/ctest.xml"
}

python_tests() {  # VERSION
    local py
    py=$(make_venv "$1")
    "$py" -m pip install -q -r requirements-test.txt
    "$py" -m pip install -v --force-reinstall --no-deps \
        --config-settings=cmake.define.TARNWICK_WERROR=ON .
    "$py" -m pytest -q -p no:cacheprovider -rs --junitxml="$(junit_dir)/pytest-$1.xml" tests/python
}

stub_check() {  # VERSION
    "$(make_venv "$1")" -m mypy.stubtest tarnwick
}

[ ${#missing[@]} -gt 0 ] && step --kind setup "Debian packages" install_packages
step --kind status "clang-format" bash scripts/format.sh --check
step "C++ unit tests" cpp_tests
for version in "${pythons[@]}"; do
    step "Python $version pytest" python_tests "$version"
    step --kind status "Python $version stubs" stub_check "$version"
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
            junit record "$junit_root/$(slug "$name")/skipped.xml" --suite "$name" --case "$name" \
                --skipped "chroot needs root" || any_failed=1
        done
    fi
fi

echo "total time $((SECONDS - run_start)) s; logs in $logs/, JUnit XML in $junit_root/"
verdict=$(junit total "$junit_root") || any_failed=1
echo "${verdict:-no verdict: scripts/junit_counts.py failed}"
[ "$any_failed" -eq 0 ]
