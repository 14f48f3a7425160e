#!/usr/bin/env bash
# Installs what is missing, builds, creates the demo database on the embedded default when it
# is absent, and runs the application server on loopback.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build -G Ninja
cmake --build build

database="${ACC00420_DATABASE:-var/acc00420.db}"
port="${ACC00420_PORT:-4420}"
if [ "${database#postgres}" = "$database" ] && [ ! -f "$database" ]; then
  mkdir -p "$(dirname "$database")"
  build/bin/acc00420-server --database="$database" --create-demo
fi

if [ ! -x build/bin/backoffice ]; then
  echo "The back-office host is not built yet; running the application server alone"
  echo "(Ctrl+C stops it)."
  exec build/bin/acc00420-server --database="$database" --port="$port"
fi
