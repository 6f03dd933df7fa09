#!/usr/bin/env bash
# Makes a throwaway code-signing PKI in OUTDIR; its private keys never leave the build tree.
#   make-test-pki.sh OUTDIR LABEL        (LABEL: "Test" for the tests, "Demo" for the demo)
# root        a root CA that the Wine prefix is told to trust
# vendor      the vendor's publisher certificate, issued by the root
# renewed     the vendor's next certificate: a new key, the same subject, the same root
# other       a second publisher under the same root
# impostor    a self-signed certificate that copies the vendor's subject
# stranger    a root CA that nobody trusts
# forged      the vendor's subject again, issued by the stranger (signatures carry it without its root)
# Each NAME gives NAME.pem and NAME.key; the root also as root.cer (DER).
set -euo pipefail
out=$1
label=$2
vendor_subject="/C=CN/O=Zelmora $label Vendor/CN=Zelmora $label Vendor"

mkdir -p "$out"
tmp=$(mktemp -d "$out/.make.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

cat >"$tmp/ca.ext" <<'EXT'
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
EXT
cat >"$tmp/leaf.ext" <<'EXT'
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
EXT
cat >"$tmp/self.ext" <<'EXT'
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
EXT

serial() { printf '0x%s' "$(openssl rand -hex 8)"; }
key() { openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$tmp/$1.key" 2>/dev/null; }
self_signed() {  # NAME SUBJECT EXTFILE
    key "$1"
    openssl req -new -key "$tmp/$1.key" -subj "$2" -out "$tmp/$1.csr"
    openssl x509 -req -in "$tmp/$1.csr" -signkey "$tmp/$1.key" -days 3650 -set_serial "$(serial)" \
        -extfile "$3" -out "$tmp/$1.pem" 2>/dev/null
}
issued() {  # NAME SUBJECT [ISSUER]
    local issuer=${3:-root}
    key "$1"
    openssl req -new -key "$tmp/$1.key" -subj "$2" -out "$tmp/$1.csr"
    openssl x509 -req -in "$tmp/$1.csr" -CA "$tmp/$issuer.pem" -CAkey "$tmp/$issuer.key" -days 1825 \
        -set_serial "$(serial)" -extfile "$tmp/leaf.ext" -out "$tmp/$1.pem" 2>/dev/null
}

self_signed root "/O=Zelmora $label/CN=Zelmora $label Root" "$tmp/ca.ext"
issued vendor "$vendor_subject"
issued renewed "$vendor_subject"
issued other "/C=CN/O=Other $label Publisher/CN=Other $label Publisher"
self_signed impostor "$vendor_subject" "$tmp/self.ext"
self_signed stranger "/O=Stranger $label/CN=Stranger $label Root" "$tmp/ca.ext"
issued forged "$vendor_subject" stranger
openssl x509 -in "$tmp/root.pem" -outform DER -out "$tmp/root.cer"

chmod 600 "$tmp"/*.key
for name in root vendor renewed other impostor stranger forged; do
    mv "$tmp/$name.pem" "$tmp/$name.key" "$out/"
done
mv "$tmp/root.cer" "$out/"
