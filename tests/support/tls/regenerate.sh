#!/usr/bin/env bash
# Writes the tests' certificates into this folder (checked in; run again only to change them):
# the tests' authority and its server certificate for 127.0.0.1 and localhost (valid a century),
# another authority nobody trusts, and two server certificates of the tests' authority that a
# client must refuse: one expired in 2021, one for another name.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cd "$here"
rm -f ./*.pem ./*.key
../../../scripts/make-tls.sh "$here" 36500 >/dev/null
mkdir -p other && ../../../scripts/make-tls.sh "$here/other" 36500 >/dev/null
mv other/ca.pem other-ca.pem && rm -rf other

signed() { # name, subjectAltName, then the signing's own options
  local name=$1 san=$2; shift 2
  openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$name.key" -out "$name.csr" \
    -subj "/O=Acc00420/CN=$name" 2>/dev/null
  work=$(mktemp -d)
  touch "$work/index.txt"
  printf '[ca]\ndefault_ca=c\n[c]\ndatabase=%s/index.txt\nnew_certs_dir=%s\nserial=%s/serial\ndefault_md=sha256\npolicy=p\ncopy_extensions=none\nx509_extensions=e\n[p]\norganizationName=supplied\ncommonName=supplied\n[e]\nsubjectAltName=%s\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' \
    "$work" "$work" "$work" "$san" > "$work/ca.cnf"
  echo 01 > "$work/serial"
  openssl ca -batch -config "$work/ca.cnf" -cert ca.pem -keyfile ca.key -in "$name.csr" -out "$name.pem" -notext "$@" 2>/dev/null
  rm -rf "$work" "$name.csr"
}
signed expired "IP:127.0.0.1,DNS:localhost" -startdate 20200101000000Z -enddate 20210101000000Z
signed othername "DNS:outro.exemplo" -days 36500
rm -f ca.key
chmod 644 ./*.pem ./*.key
