#!/usr/bin/env bash
# Hostile pages in the web panel: reduction + setHtml + first paint. Target: worst <= 50 ms.
# Each page is timed inside the process, with no peer beside it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.bash"
output=$(QT_QPA_PLATFORM=offscreen "$SNIPORA_BUILD_DIR/bench/bench_page_reducer")
table_header
# The program prints "NAME  MEDIAN ms (reduction R ms)" per page, then the worst.
while IFS= read -r line; do
    if [[ $line =~ ^(.*[^ ])\ +([0-9.]+)\ ms\ \(reduction\ ([0-9.]+)\ ms\)$ ]]; then
        row_value "page: ${BASH_REMATCH[1]} (reduction ${BASH_REMATCH[3]} ms)" \
            "${BASH_REMATCH[2]}ms" "$inside" "" - "<= 50ms"
    elif [[ $line =~ ^worst\ page\ \((.*)\):.*\ ([0-9.]+)\ ms ]]; then
        row_value "worst page: ${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}ms" "$inside" "" - "<= 50ms"
    fi
done <<<"$output"
