#!/usr/bin/env bash
# Builds the Release build in build-release, starts a throw-away PostgreSQL, runs the
# benchmarks and writes their results as one Markdown table to build-release/bench.md and
# stdout; what they print besides goes to build-release/bench-output.txt. The machine is
# shared and noisy: only the ratios compare.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release
source scripts/pg-throwaway.sh

# The ledger of a million movements, built by the first benchmark and kept for the next runs.
database=build-release/bench.db
output=build-release/bench-output.txt
: >"$output"
for benchmark in bench_statement bench_load bench_concurrency bench_statementpdf bench_livestatement; do
  echo "== $benchmark" | tee -a "$output"
  "build-release/bin/$benchmark" "$database" | tee -a "$output"
done

{
  echo "| benchmark | figure | baseline | ratio | target | met? |"
  echo "|---|---|---|---|---|---|"
  grep '^| ' "$output"
} >build-release/bench.md
echo
cat build-release/bench.md
