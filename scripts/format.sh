#!/usr/bin/env bash
# clang-format-14, with the style in .clang-format, over the project's C and
# C++ sources: every .cpp, .hpp, .cc, .c and .h file under src/, tests/,
# fuzz/ and benchmarks/. The test command runs the check.
#
#   bash scripts/format.sh           # rewrites the files that differ, in place
#   bash scripts/format.sh --check   # changes nothing: shows how each file that
#                                    # differs would change, names them and fails
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

check=0
case ${1:-} in
    --check) check=1 ;;
    "") ;;
    *) sed -n '2,8s/^# \{0,1\}//p' "$0"; exit 2 ;;
esac
require_packages clang-format-14

mapfile -t files < <(find src tests fuzz benchmarks -type f \
    \( -name '*.cpp' -o -name '*.hpp' -o -name '*.cc' -o -name '*.c' -o -name '*.h' \) | sort)
differ=()
for file in "${files[@]}"; do
    if ! clang-format-14 --style=file "$file" | cmp -s - "$file"; then
        differ+=("$file")
        if [ "$check" = 1 ]; then
            # The first lines of the change it needs.
            clang-format-14 --style=file "$file" | diff -u --label "$file" --label "$file (formatted)" "$file" - \
                | head -n 40 || true
        else
            clang-format-14 --style=file -i "$file"
        fi
    fi
done

if [ "$check" = 0 ]; then
    echo "formatted ${#differ[@]} of ${#files[@]} files"
elif [ ${#differ[@]} -gt 0 ]; then
    echo "differ from clang-format-14:"
    printf '    %s\n' "${differ[@]}"
    echo "${#differ[@]} of ${#files[@]} files differ; bash scripts/format.sh rewrites them"
    exit 1
else
    echo "all ${#files[@]} files as clang-format-14 writes them"
fi
