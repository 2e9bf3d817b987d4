#!/bin/sh
# sign.sh IN OUT PKCS12 PASSWORD_FILE CA_FILE [TIMESTAMP_URL]: signs the Windows
# executable IN into OUT with Authenticode (SHA-256, described as "VYRA
# Launcher"), with the certificate and key in PKCS12, whose password is the first
# line of PASSWORD_FILE, then verifies OUT against the certificates in CA_FILE.
# The signing time is the last commit's, so one certificate signs one commit
# byte for byte the same; a time-stamp server (RFC 3161) gives up that sameness.
# Prints the signer and OUT's SHA-256. On any failure it says which, and leaves
# no OUT. The password reaches the tools only through PASSWORD_FILE's name,
# never on a command line. Runs in the source tree.
set -eu
in=$1 out=$2 pkcs12=$3 password=$4 cafile=$5 timestamp=${6-}
fail() {
  rm -f "$out"
  echo "sign.sh: $*" >&2
  exit 1
}
rm -f "$out"
[ -r "$pkcs12" ] || fail "cannot read the certificate $pkcs12"
[ -r "$password" ] || fail "cannot read the password file $password"
if ! certificate=$(openssl pkcs12 -in "$pkcs12" -passin "file:$password" -nokeys -clcerts 2>&1); then
  case $certificate in
  *"invalid password"*) fail "wrong password for $pkcs12 (from $password)" ;;
  *) fail "cannot read $pkcs12 as a PKCS#12 certificate: $certificate" ;;
  esac
fi
subject=$(echo "$certificate" | openssl x509 -noout -subject)
subject=${subject#subject=}
echo "$certificate" | openssl x509 -noout -checkend 0 >/dev/null ||
  fail "the certificate has expired: $(echo "$certificate" | openssl x509 -noout -enddate)"

time=$(git log -1 --format=%ct 2>/dev/null || echo 315532800)  # else 1980-01-01
mkdir -p "$(dirname "$out")"
osslsigncode sign -pkcs12 "$pkcs12" -readpass "$password" -h sha256 -n "VYRA Launcher" \
  -time "$time" ${timestamp:+-ts "$timestamp"} -in "$in" -out "$out" >/dev/null ||
  fail "osslsigncode could not sign $in"
report=$(osslsigncode verify -CAfile "$cafile" -in "$out" 2>&1) ||
  fail "the signature does not verify against $cafile:
$report"
echo "signed by: $subject"
sha256sum "$out"
