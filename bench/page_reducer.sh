#!/usr/bin/env bash
# Hostile pages in the web panel: reduction + setHtml + first paint. Target: worst <= 50 ms.
set -euo pipefail
QT_QPA_PLATFORM=offscreen "$SNIPORA_BUILD_DIR/bench/bench_page_reducer"
