#!/usr/bin/env bash
# Runs one fuzz target a fixed number of executions over its seed corpus, with fixed seeds (the
# fuzzer's and Qt's hashing) so runs go much the same way. A crash, a sanitizer report, a broken invariant
# or an input still running after a minute fails it, and the input is kept in
# build/fuzz/artifacts/. Exits 77 (skipped) when the target was not built.
#   run-target.sh TARGET CORPUS-FOLDER [RUNS]
set -euo pipefail
target=$1
corpus=$2
runs=${3:-20000}

if [ ! -x "$target" ]; then
  echo "$(basename "$target") was not built (it needs clang and libFuzzer): skipped"
  exit 77
fi
artifacts=$(dirname "$target")/artifacts
mkdir -p "$artifacts"
# libFuzzer adds the inputs it finds to the first folder: a scratch one, never the corpus.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
QT_HASH_SEED=0 "$target" -runs="$runs" -seed=1 -timeout=60 -artifact_prefix="$artifacts/$(basename "$target")-" "$scratch" "$corpus"
