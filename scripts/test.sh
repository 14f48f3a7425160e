#!/usr/bin/env bash
# Installs what is missing, builds everything and the Debian packages, and runs every test with
# CTest.
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build -G Ninja
cmake --build build
# The Debian packages, which the package test checks and unpacks.
scripts/package.sh
source scripts/pg-throwaway.sh
ctest --test-dir build --output-on-failure
