#!/usr/bin/env bash
# Long fuzz runs of every fuzz target (built by `make sanitize`).
# usage: scripts/fuzz.sh BUILD_DIR   (FUZZ_SECONDS per target, default 600; FUZZ_TARGETS to
# run only some of them)
set -euo pipefail
build=${1:-build/sanitize}
seconds=${FUZZ_SECONDS:-600}
root=$(cd "$(dirname "$0")/.." && pwd)
seeds=$(cd "$root/.." && pwd)/shared/corpus
status=0
for target in ${FUZZ_TARGETS:-fuzz_lha_header fuzz_lha_decode fuzz_startup fuzz_lha_encode_fast fuzz_lha_encode_best}; do
  binary=$build/tests/fuzz/$target
  [ -x "$binary" ] || { echo "fuzz: $binary not built (run make sanitize)"; exit 1; }
  work=$build/fuzz-corpus/$target
  crashes=$build/fuzz-crashes/$target
  mkdir -p "$work" "$crashes"
  extra=$build/tests/fuzz/${target}_seeds  # per-target seeds the build wrote, if any
  [ -d "$extra" ] || extra=
  echo "fuzz: $target for ${seconds}s (corpus $work, findings $crashes)"
  if ! "$binary" -max_total_time="$seconds" -max_len=70000 -rss_limit_mb=2048 -timeout=20 \
       -artifact_prefix="$crashes/" -print_final_stats=1 "$work" "$seeds" $extra; then
    echo "fuzz: $target found a problem; see $crashes"
    status=1
  fi
done
exit "$status"
