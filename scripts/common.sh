# Shared by the project's scripts: finds interpreters, prepares virtual
# environments, checks for Debian packages, finds the JUnit folder and mounts
# into chroot roots.

# The interpreter of Python version $1 (for example 3.12): $TARNWICK_PYTHON_<major><minor>
# if set, else pyenv's installation, else python$1 on PATH.
find_python() {
    local version=$1 var="TARNWICK_PYTHON_${1/./}" prefix
    if [ -n "${!var:-}" ]; then echo "${!var}"; return; fi
    if command -v pyenv >/dev/null 2>&1 && prefix=$(pyenv prefix "$version" 2>/dev/null); then
        echo "$prefix/bin/python3"; return
    fi
    if command -v "python$version" >/dev/null 2>&1; then command -v "python$version"; return; fi
    echo "Python $version not found: install it or set $var" >&2
    return 1
}

# Creates (once) the virtual environment .venv/$1 for Python version $1 and prints its python.
make_venv() {
    local version=$1 dir=".venv/$1" py
    if [ ! -x "$dir/bin/python" ]; then
        py=$(find_python "$version")
        "$py" -m venv "$dir"
        "$dir/bin/python" -m pip install -q --upgrade pip >/dev/null
    fi
    echo "$dir/bin/python"
}

# The Debian packages among the arguments that are not installed, one a line.
missing_packages() {
    local pkg
    for pkg in "$@"; do
        [ "$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null)" = "install ok installed" ] || echo "$pkg"
    done
}

# Stops the calling script, naming the apt-get command, when any of the
# Debian packages given is missing. Only the test command installs them.
require_packages() {
    local missing
    missing=$(missing_packages "$@" | xargs)
    [ -z "$missing" ] && return 0
    echo "$(basename "$0") needs these Debian packages: $missing" >&2
    echo "    apt-get install -y $missing    (bash scripts/test.sh installs them when run as root)" >&2
    exit 2
}

# The folder the scripts leave their JUnit XML in, made, as an absolute path
# (ctest reads a relative one from its build tree): TARNWICK_JUNIT_DIR, which
# the test command sets to each step's own, else build/junit.
junit_dir() {
    local dir=${TARNWICK_JUNIT_DIR:-build/junit}
    mkdir -p "$dir" && (cd "$dir" && pwd)
}

# junit ARGS...: scripts/junit_counts.py, which needs only the standard
# library, on Python 3.12 (the system's python3 where there is none).
junit() {
    local py
    py=$(find_python 3.12 2>/dev/null) || py=python3
    "$py" scripts/junit_counts.py "$@"
}

# copy_junit FROM TO SUITE CASE STATUS: copies the JUnit XML a run in a
# chroot root wrote (FROM) out to TO. Where the run left none (it died first),
# writes there instead one failed case naming its exit STATUS, and returns 1.
copy_junit() {
    cp "$1" "$2" 2>/dev/null && return 0
    echo "$3: no JUnit XML (the run exited with status $5)" >&2
    junit record "$2" --suite "$3" --case "$4" --failed "no JUnit XML; the run exited with status $5"
    return 1
}

# Mounts into a chroot root, undone in reverse order when the script exits.
# mount_in TARGET MOUNT-ARGS... mounts and remembers TARGET; the first call
# sets the traps that unmount (INT, TERM and HUP become an exit, so they
# unmount too). Lazy unmounts: a process still inside cannot keep one.
mounted=()
unmount_all() {
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[$i]}" 2>/dev/null || true; done
}
mount_in() {
    local target=$1; shift
    if [ ${#mounted[@]} -eq 0 ]; then
        trap unmount_all EXIT
        trap 'exit 130' INT TERM HUP
    fi
    mkdir -p "$target"
    mount "$@" "$target"
    mounted+=("$target")
}
