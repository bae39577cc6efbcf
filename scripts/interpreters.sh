#!/usr/bin/env bash
# The pytest suite on the interpreters this machine lacks: CPython 3.14, 3.15
# and the debug build of 3.14 (python3.14d, run with -X dev), all from
# Debian's unstable suite in a root made with debootstrap.
#
# The root is kept in TARNWICK_UNSTABLE_ROOT (default
# /var/cache/tarnwick/unstable-root) and reused while it is whole; it is
# rebuilt when missing or broken. The checkout is copied in with its file
# times kept, so the builds there stay incremental. NumPy comes from PyPI;
# pip there uses a copy of the certificate bundle PIP_CERT names here.
#
# The debug interpreter's module must be compiled with Py_DEBUG, or the
# interpreter's reference-count checks do not cover it: the build refuses
# otherwise, and the built module must reference the debug bookkeeping.
#
# Needs root (debootstrap, chroot, mount). Prints pytest's summary line per
# interpreter and copies its JUnit XML out of the root to
# $TARNWICK_JUNIT_DIR/python-<name>.xml (default build/junit), or writes there
# one failed case when the run left none; exits non-zero when any step fails
# or an interpreter's XML is missing.
#
#   bash scripts/interpreters.sh            # all three
#   bash scripts/interpreters.sh 3.14d      # a subset, by name
#   bash scripts/interpreters.sh --root     # only make the root (the release wheels' headers)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
# debootstrap and chroot live in sbin, which a plain user PATH lacks.
export PATH=$PATH:/usr/sbin:/sbin

root=${TARNWICK_UNSTABLE_ROOT:-/var/cache/tarnwick/unstable-root}
root_only=0
[ "${1:-}" = --root ] && { root_only=1; shift; }
interpreters=${*:-3.14 3.15 3.14d}
packages=(python3.14 python3.14-dev python3.14-venv python3.15 python3.15-dev python3.15-venv
          python3.14-dbg g++ cmake ca-certificates)
stamp=$root/etc/tarnwick-root
wanted="${packages[*]}"

# One run at a time per root: a second waits for the first.
mkdir -p "$(dirname "$root")"
exec 9>"$root.lock"
flock 9
root_whole() {
    [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$wanted" ] || return 1
    local v
    for v in python3.14 python3.15 python3.14d g++ cmake; do
        chroot "$root" /usr/bin/env PATH=/usr/bin:/bin sh -c "command -v $v" >/dev/null 2>&1 || return 1
    done
}
nothing_mounted_under() { ! grep -q " $1[/ ]" /proc/mounts; }

mirror=$(awk '/^URIs:/{print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
mirror=${mirror:-http://deb.debian.org/debian}

if ! root_whole; then
    echo "== Building the unstable root in $root"
    start=$(date +%s)
    for dir in "$root" "$root.new"; do
        nothing_mounted_under "$dir" || { echo "something is mounted under $dir; not rebuilding it" >&2; exit 1; }
    done
    require_packages debootstrap
    rm -rf "$root" "$root.new"
    if ! debootstrap --variant=minbase --include="$(IFS=,; echo "${packages[*]}")" unstable "$root.new" "$mirror" \
            >"$root.log" 2>&1; then
        tail -n 20 "$root.log" >&2
        rm -rf "$root.new"
        exit 1
    fi
    echo "$wanted" >"$root.new/etc/tarnwick-root"
    mv "$root.new" "$root"
    echo "   root built in $(( $(date +%s) - start )) s"
fi
[ "$root_only" = 1 ] && exit 0

cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
cp "${PIP_CERT:-/etc/ssl/certs/ca-certificates.crt}" "$root/etc/ssl/certs/host-ca.crt"
mount_in "$root/proc" -t proc proc
mount_in "$root/dev" --bind /dev
mount_in "$root/dev/pts" --bind /dev/pts

# The checkout, without builds and environments; file times kept so CMake
# rebuilds only what changed since the last run.
src=$root/opt/tarnwick/src
rm -rf "$src"
mkdir -p "$src"
tar -c --exclude=./build --exclude='./build-*' --exclude='./.venv*' --exclude=./.git --exclude=./dist --exclude=./fuzz/corpus-run . \
    | tar -x -C "$src"

# pytest writes its XML here in the root, cleared first so that nothing of
# an earlier run is copied out.
junit=$(junit_dir)
rm -rf "$root/opt/tarnwick/junit"
mkdir -p "$root/opt/tarnwick/junit"
status=0
for name in $interpreters; do
    case $name in
        3.14|3.15) python=python$name; flags="" ;;
        3.14d) python=python3.14d; flags="-X dev" ;;
        *) echo "unknown interpreter $name (3.14, 3.15 or 3.14d)" >&2; exit 2 ;;
    esac
    echo "== Python $name (unstable root)"
    if chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 \
            PIP_CERT=/etc/ssl/certs/host-ca.crt PIP_DISABLE_PIP_VERSION_CHECK=1 CMAKE_BUILD_PARALLEL_LEVEL=2 \
            PYTHON="$python" NAME="$name" FLAGS="$flags" bash -euo pipefail -c '
        cd /opt/tarnwick/src
        venv=/opt/tarnwick/venv-$NAME
        [ -x "$venv/bin/python" ] || "$PYTHON" -m venv "$venv"
        py=$venv/bin/python
        "$py" -m pip install -q numpy pytest scikit-build-core ninja
        # Built against the NumPy installed here, so a warm run fetches nothing.
        "$py" -m pip install -q --force-reinstall --no-deps --no-build-isolation \
            --config-settings=cmake.define.TARNWICK_WERROR=ON \
            --config-settings=build-dir=/opt/tarnwick/build/$NAME .
        if "$py" -c "import sys; sys.exit(not hasattr(sys, \"gettotalrefcount\"))"; then
            so=$("$py" -c "import tarnwick; print(tarnwick.__file__)")
            # grep reads all that nm prints: with -q it could exit early and nm
            # would die of SIGPIPE, which pipefail reports as a missing symbol.
            if ! nm -D "$so" | grep _Py_INCREF_IncRefTotal >/dev/null; then
                echo "$so was built without Py_DEBUG: it has no reference-count bookkeeping" >&2
                exit 1
            fi
        fi
        "$py" $FLAGS -m pytest -q -p no:cacheprovider --junitxml="/opt/tarnwick/junit/$NAME.xml" tests/python
    '; then run=0; else run=$?; status=1; fi
    copy_junit "$root/opt/tarnwick/junit/$name.xml" "$junit/python-$name.xml" "Python $name" \
        "pytest in the unstable root" $run || status=1
done
exit $status
