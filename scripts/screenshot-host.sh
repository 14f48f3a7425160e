#!/usr/bin/env bash
# Draws the back office with the account screen open on a demo statement into docs/host.png,
# under Xvfb (for the README): the keys type the demo client, then Tab loads its statement.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs/host.png}"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
build/bin/acc00420-server --database="$tmp/demo.db" --create-demo >/dev/null
scripts/make-tls.sh "$tmp/tls" >/dev/null
xvfb-run -a -s '-screen 0 1280x800x24' bash -c "
  openbox >/dev/null 2>&1 & wm=\$! # focus and activation as on a desktop
  build/bin/acc00420-server --database='$tmp/demo.db' --port=4431 \
    --tls-cert='$tmp/tls/server.pem' --tls-key='$tmp/tls/server.key' & server=\$!
  sleep 1
  build/bin/backoffice --database='$tmp/demo.db' --server-port=4431 --server-ca='$tmp/tls/ca.pem' --operador=0007 \
    --senha=demo0007 --open=PKG_Acc00420 & host=\$!
  sleep \${SCREENSHOT_WAIT:-4}
  xdotool type --delay 30 11222333000181
  xdotool key --delay 200 Tab 1 Tab Tab
  sleep 2
  build/bin/grabdisplay '$out'
  kill \$host \$server \$wm
"
echo "saved $out"
