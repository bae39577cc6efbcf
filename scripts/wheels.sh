#!/usr/bin/env bash
# The release wheels on the interpreters this machine lacks, each with the
# pytest suite in a venv whose PATH reaches no compiler, and the Debian
# roots they run in (whose headers scripts/dist.sh also builds against):
#
#   bash scripts/wheels.sh --roots    # make the roots when missing or stale
#   bash scripts/wheels.sh x86_64     # dist/'s cp314 and cp315 x86_64 wheels, Debian unstable amd64
#   bash scripts/wheels.sh aarch64    # dist/'s aarch64 wheels, Debian unstable arm64 under qemu-user
#
# The amd64 root is scripts/interpreters.sh's. The arm64 root is kept in
# TARNWICK_ARM64_ROOT (default /var/cache/tarnwick/arm64-root), made with
# debootstrap --arch=arm64 and run through qemu-aarch64-static, which this
# script registers with binfmt_misc (mounting it first) when it is not: with
# the F flag, so the kernel holds the emulator open and it serves chroots.
# The venvs in the roots are kept; each run reinstalls the wheel. NumPy and
# pytest come from PyPI, NumPy as its own aarch64 wheel there.
#
# Each interpreter's JUnit XML is copied out of the root to
# $TARNWICK_JUNIT_DIR/wheel-<tag>-<arch>.xml (default build/junit); where the
# run left none, one failed case is written there and the run fails.
# Needs root (debootstrap, chroot, mount, binfmt_misc).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
export PATH=$PATH:/usr/sbin:/sbin

unstable_root=${TARNWICK_UNSTABLE_ROOT:-/var/cache/tarnwick/unstable-root}
arm64_root=${TARNWICK_ARM64_ROOT:-/var/cache/tarnwick/arm64-root}
arm64_packages=(python3.13 python3.13-venv python3.13-dev python3.14 python3.14-venv python3.14-dev
                python3.15 python3.15-venv python3.15-dev ca-certificates)

# qemu-aarch64-static as the kernel's handler of aarch64 ELF programs.
register_qemu() {
    local dir=/proc/sys/fs/binfmt_misc
    grep -q " $dir " /proc/mounts || mount -t binfmt_misc binfmt_misc "$dir"
    [ -e "$dir/qemu-aarch64" ] && grep -q '^flags: .*F' "$dir/qemu-aarch64" && return
    [ -e "$dir/qemu-aarch64" ] && echo -1 >"$dir/qemu-aarch64"
    require_packages qemu-user-static
    # The ELF header of a 64-bit little-endian aarch64 executable or shared object.
    printf '%s' ':qemu-aarch64:M::\x7f\x45\x4c\x46\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00:\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-aarch64-static:F' \
        >"$dir/register"
}

arm64_root_whole() {
    local stamp=$arm64_root/etc/tarnwick-root v
    [ -f "$stamp" ] && [ "$(cat "$stamp")" = "${arm64_packages[*]}" ] || return 1
    for v in python3.13 python3.14 python3.15; do
        chroot "$arm64_root" /usr/bin/env PATH=/usr/bin:/bin sh -c "command -v $v" >/dev/null 2>&1 || return 1
    done
}

make_arm64_root() {
    register_qemu
    arm64_root_whole && return
    local mirror start
    if grep -q " $arm64_root[/ ]" /proc/mounts || grep -q " $arm64_root.new[/ ]" /proc/mounts; then
        echo "something is mounted under $arm64_root; not rebuilding it" >&2
        return 1
    fi
    require_packages debootstrap qemu-user-static
    echo "== Building the arm64 root in $arm64_root (emulated: about 20 minutes here)"
    start=$SECONDS
    mirror=$(awk '/^URIs:/{print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
    rm -rf "$arm64_root" "$arm64_root.new"
    if ! debootstrap --arch=arm64 --variant=minbase --include="$(IFS=,; echo "${arm64_packages[*]}")" \
            unstable "$arm64_root.new" "${mirror:-http://deb.debian.org/debian}" >"$arm64_root.log" 2>&1; then
        tail -n 20 "$arm64_root.log" >&2
        rm -rf "$arm64_root.new"
        return 1
    fi
    echo "${arm64_packages[*]}" >"$arm64_root.new/etc/tarnwick-root"
    mv "$arm64_root.new" "$arm64_root"
    echo "   root built in $((SECONDS - start)) s"
}

make_roots() {
    bash scripts/interpreters.sh --root
    make_arm64_root
}

# test_in_root ROOT ARCH WHEEL...: the pytest suite in ROOT on each wheel,
# with the Python its tag names.
test_in_root() {
    local root=$1 arch=$2 wheels=("${@:3}") wheel tag version status=0 dest=/opt/tarnwick/wheels junit run
    junit=$(junit_dir)
    mount_in "$root/proc" -t proc proc
    mount_in "$root/dev" --bind /dev
    cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
    cp "${PIP_CERT:-/etc/ssl/certs/ca-certificates.crt}" "$root/etc/ssl/certs/host-ca.crt"
    # The tests and the files they read, never the module's sources.
    rm -rf "$root$dest"
    mkdir -p "$root$dest/src"
    tar -c tests/python tests/data examples pyproject.toml README.md | tar -x -C "$root$dest/src"
    for wheel in "${wheels[@]}"; do
        tag=$(basename "$wheel" | cut -d- -f3)
        version=${tag:2:1}.${tag:3}
        cp "$wheel" "$root$dest/"
        echo "== $(basename "$wheel"), Python $version in $root"
        if chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/bin:/bin LANG=C.UTF-8 \
                PIP_CERT=/etc/ssl/certs/host-ca.crt PIP_DISABLE_PIP_VERSION_CHECK=1 \
                TARNWICK_TEST_EMULATED="$([ "$arch" = aarch64 ] && echo 1 || echo 0)" \
                VERSION="$version" TAG="$tag-$arch" WHEEL="$dest/$(basename "$wheel")" bash -euo pipefail -c '
            venv=/opt/tarnwick/wheel-venv-$VERSION
            [ -x "$venv/bin/python" ] || "python$VERSION" -m venv "$venv"
            # What the suite runs besides Python, and no compiler.
            nocc=/opt/tarnwick/nocc
            mkdir -p "$nocc"
            for tool in sh bash cat env; do ln -sf "$(command -v $tool)" "$nocc/$tool"; done
            export PATH=$venv/bin:$nocc
            for compiler in cc c++ gcc g++; do
                if command -v $compiler >/dev/null; then echo "$compiler is reachable" >&2; exit 1; fi
            done
            py=$venv/bin/python
            "$py" -m pip install -q --only-binary :all: numpy pytest
            "$py" -m pip install -q --force-reinstall --no-deps "$WHEEL"
            cd /opt/tarnwick/wheels/src
            "$py" -P -c "import sys, tarnwick; assert tarnwick.__file__.startswith(sys.prefix), tarnwick.__file__"
            "$py" -P -m pytest -q -p no:cacheprovider --junitxml=/opt/tarnwick/wheels/$TAG.xml tests/python
        '; then run=0; else run=$?; status=1; fi
        copy_junit "$root$dest/$tag-$arch.xml" "$junit/wheel-$tag-$arch.xml" "$(basename "$wheel")" \
            "pytest in $root" $run || status=1
    done
    return $status
}

case ${1:-} in
    --roots) make_roots ;;
    x86_64)
        mkdir -p "$(dirname "$unstable_root")"
        exec 9>"$unstable_root.lock"
        flock 9
        test_in_root "$unstable_root" x86_64 dist/tarnwick-*-cp31[4-9]-*x86_64*.whl ;;
    aarch64)
        make_arm64_root
        test_in_root "$arm64_root" aarch64 dist/tarnwick-*aarch64*.whl ;;
    *) sed -n '2,20s/^# \{0,1\}//p' "$0"; exit 2 ;;
esac
