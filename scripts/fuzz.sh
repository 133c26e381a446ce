#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan, UBSan) and runs each for SECONDS (600), one
# after the other. The seeds in fuzz/corpus/<target>/ are only read; what the fuzzer adds goes to
# build/fuzz/corpus/<target>/, and a finding (crash-*, leak-*, timeout-*, oom-*) to
# build/fuzz/findings/<target>/. A finding is mended, then its input is copied to
# fuzz/corpus/<target>/, where the replay tests of scripts/test.sh keep running it.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}

bash scripts/setup.sh
if ! command -v clang++ >/dev/null || ! dpkg -s libclang-rt-dev >/dev/null 2>&1; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq clang libclang-rt-dev >/dev/null
fi

targets=(regfile regjournal machine_ini version_reader resfile ver_install)
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DVK_FUZZ=ON -DVK_TESTS=OFF >/dev/null
cmake --build build/fuzz -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

found_any=0
for t in "${targets[@]}"; do
  work=build/fuzz/corpus/$t
  findings=build/fuzz/findings/$t
  log=build/fuzz/logs/$t.log
  mkdir -p "$work" "$findings" build/fuzz/logs
  echo "== $t: ${seconds}s (log: $log)"
  # A run stops at its first finding; -timeout makes a hang one, -rss_limit_mb an excess of memory.
  build/fuzz/fuzz/fuzz_$t -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$findings/" "$work" "fuzz/corpus/$t" >"$log" 2>&1 || true
  speed=$(awk '/^stat::average_exec_per_sec/ {print $2}' "$log")
  runs=$(awk '/^stat::number_of_executed_units/ {print $2}' "$log")
  corpus=$(grep -oE 'corp: [0-9]+/[0-9]+[KM]?b' "$log" | tail -n 1 | sed 's/corp: //')
  artifacts=$(sed -n 's/.*Test unit written to //p' "$log" | tr '\n' ' ')
  summary=$(grep -m1 -E '^SUMMARY:|^==[0-9]+== ERROR:|expectation broken' "$log" || true)
  echo "$t: ${speed:-?} exec/s (${runs:-?} runs), corpus ${corpus:-?} (files/bytes)," \
    "found: ${artifacts:-nothing}${summary:+ ($summary)}"
  [ -z "$artifacts" ] || found_any=1
done
[ "$found_any" -eq 0 ]
