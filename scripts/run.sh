#!/usr/bin/env bash
# Installs what is missing, builds, creates the demo database on the embedded default and a demo
# certificate authority with a server certificate (var/tls/) when they are absent, starts the
# application server on loopback over TLS and opens the back-office host with the account screen,
# trusting that authority. The server stops when the host exits.
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

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display to open the back office on. Run it under a virtual display instead:"
  echo "  xvfb-run -a -s '-screen 0 1280x800x24' scripts/run.sh"
  exit 1
fi

scripts/make-tls.sh var/tls >/dev/null

build/bin/acc00420-server --database="$database" --port="$port" \
  --tls-cert=var/tls/server.pem --tls-key=var/tls/server.key &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null' EXIT
# The server is ready when it accepts connections.
for _ in $(seq 50); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.1
done

# The sign-in dialog opens with operator 0007 at branch 0001 filled in (demo password demo0007);
# BACKOFFICE_SENHA=demo0007 in the environment signs in without it.
build/bin/backoffice --database="$database" --server-port="$port" --server-ca=var/tls/ca.pem \
  --filial="${BACKOFFICE_FILIAL:-0001}" --operador="${BACKOFFICE_OPERADOR:-0007}" --open=PKG_Acc00420
