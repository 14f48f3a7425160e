#!/usr/bin/env bash
# Creates, in DIR, a certificate authority and a server certificate signed by it for 127.0.0.1
# and localhost, each valid for DAYS (825 by default): ca.pem (what the back office trusts),
# server.pem and server.key (what acc00420-server serves). Keeps what is already there.
#   scripts/make-tls.sh DIR [DAYS]
set -euo pipefail
dir=$1
days=${2:-825}
mkdir -p "$dir"
cd "$dir"
[ -f ca.pem ] && [ -f server.pem ] && [ -f server.key ] && exit 0
umask 077
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout ca.key -out ca.pem \
  -days "$days" -subj "/O=Acc00420/CN=Acc00420 CA de demonstração" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout server.key -out server.csr \
  -subj "/O=Acc00420/CN=localhost" 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' > server.ext
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days "$days" -extfile server.ext \
  -out server.pem 2>/dev/null
rm -f server.csr server.ext ca.srl
chmod 644 ca.pem server.pem
echo "certificados TLS criados em $dir (autoridade ca.pem, servidor server.pem e server.key)"
