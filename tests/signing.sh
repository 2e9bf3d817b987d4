#!/bin/sh
# signing.sh BUILD: makes a throwaway certificate authority and code-signing
# certificate in BUILD/signing and signs through the package target in a build
# folder of its own, twice, 2 s apart. It checks that its launcher is byte for
# byte BUILD's, built in another folder at another time, and the two zips and
# signed launchers each other's; that the signature verifies, that the signed
# launcher stays under 128 KB, and that a wrong password or a signature that
# does not verify stops the build, says which, and leaves no zip. Runs in the
# source tree, after BUILD is built.
set -eu
keys=$1/signing
fail() {
  echo "signing.sh: $*"
  exit 1
}
rm -rf "$keys" && mkdir -p "$keys"
(
  cd "$keys"
  printf '[req]\ndistinguished_name = name\n[name]\n[authority]\nbasicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign\n[signer]\nbasicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature\nextendedKeyUsage = codeSigning\n' >openssl.cnf
  for authority in ca other; do
    openssl req -x509 -newkey rsa:2048 -nodes -keyout $authority.key -out $authority.pem -days 2 \
      -subj "/CN=Throwaway $authority" -config openssl.cnf -extensions authority 2>/dev/null
  done
  openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "/CN=Throwaway Signer" \
    -config openssl.cnf 2>/dev/null
  openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out signer.pem \
    -days 2 -extfile openssl.cnf -extensions signer 2>/dev/null
  echo "throwaway password" >password
  echo "not the password" >wrong-password
  openssl pkcs12 -export -inkey signer.key -in signer.pem -out signer.p12 -passout file:password
)

# package FOLDER PASSWORD AUTHORITY: builds the package in FOLDER, signed with the
# throwaway certificate and the password file PASSWORD, verified against AUTHORITY.
package() {
  cmake --preset windows -B "$1" -DBUILD_TESTING=OFF -DVYRA_SIGN_PKCS12="$keys/signer.p12" \
    -DVYRA_SIGN_PASSWORD_FILE="$keys/$2" -DVYRA_SIGN_CA_FILE="$keys/$3.pem" >/dev/null
  cmake --build "$1" --target package 2>&1
}
package "$keys/a" password ca
cmp "$1/bin/VyraLauncher.exe" "$keys/a/bin/VyraLauncher.exe" || fail "two builds differ"
mkdir -p "$keys/first/signed" && cp "$keys"/a/*-win32.zip "$keys/first"
cp "$keys/a/signed/VyraLauncher.exe" "$keys/first/signed"
sleep 2 && package "$keys/a" password ca >/dev/null  # zip dates count in 2 s steps
(cd "$keys/a" && for file in signed/VyraLauncher.exe *-win32.zip; do cmp "$file" "../first/$file"; done) ||
  fail "two signed builds differ"
signed=$keys/a/signed/VyraLauncher.exe
osslsigncode verify -CAfile "$keys/ca.pem" -in "$signed" >/dev/null || fail "no valid signature"
[ "$(stat -c %s "$signed")" -lt 131072 ] || fail "the signed launcher is 128 KB or more"

# stops PASSWORD AUTHORITY MESSAGE: the package build fails, says MESSAGE, and leaves no zip.
stops() {
  out=$(package "$keys/a" "$1" "$2") && fail "the build went on with $1 and $2"
  echo "$out" | grep -q "sign.sh: $3" || fail "with $1 and $2, the build did not say \"$3\": $out"
  ! ls "$keys"/a/*.zip 2>/dev/null || fail "a zip was left with $1 and $2"
}
stops wrong-password ca "wrong password for"
stops password other "the signature does not verify"
