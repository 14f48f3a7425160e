#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test with CTest.
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build -G Ninja
cmake --build build
source scripts/pg-throwaway.sh
ctest --test-dir build --output-on-failure
