# Shared by the project's scripts: finds interpreters and prepares virtual environments.

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
