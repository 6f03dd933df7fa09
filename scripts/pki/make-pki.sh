#!/usr/bin/env bash
# Makes a throwaway code-signing PKI in OUTDIR; its private keys never leave the build tree.
#   make-pki.sh OUTDIR LABEL        (LABEL: "Test" for the tests, "Demo" for the demo)
# root        a root CA that the Wine prefix is told to trust
# vendor      the vendor's publisher certificate, issued by the root
# renewed     the vendor's next certificate: a new key, the same subject, the same root
# other       a second publisher under the same root
# impostor    a self-signed certificate that copies the vendor's subject
# stranger    a root CA that nobody trusts
# forged      the vendor's subject again, issued by the stranger (signatures carry it without its root)
# server      the loopback TLS front's certificate for 127.0.0.1, issued by the root
# shady       a self-signed certificate for 127.0.0.1, which nothing trusts
# Each NAME gives NAME.pem and NAME.key; the root also as root.cer (DER).
set -euo pipefail
out=$1
label=$2
vendor="/C=CN/O=Zelmora $label Vendor/CN=Zelmora $label Vendor"
ca="-addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign"
leaf="-addext basicConstraints=critical,CA:FALSE -addext keyUsage=critical,digitalSignature
      -addext extendedKeyUsage=codeSigning"
# Wine 8 matches no IP address in subjectAltName: the address is a DNS name too.
tls="-addext basicConstraints=critical,CA:FALSE -addext extendedKeyUsage=serverAuth
     -addext subjectAltName=DNS:127.0.0.1,IP:127.0.0.1"

mkdir -p "$out"
tmp=$(mktemp -d "$out/.make.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
cert() {  # NAME SUBJECT EXTENSIONS [ISSUER]; self-signed without an issuer
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$tmp/$1.key" -subj "$2" -days 1825 $3 \
        ${4:+-CA "$tmp/$4.pem" -CAkey "$tmp/$4.key"} -out "$tmp/$1.pem" 2>/dev/null
}
cert root "/O=Zelmora $label/CN=Zelmora $label Root" "$ca"
cert vendor "$vendor" "$leaf" root
cert renewed "$vendor" "$leaf" root
cert other "/C=CN/O=Other $label Publisher/CN=Other $label Publisher" "$leaf" root
cert impostor "$vendor" "$leaf"
cert stranger "/O=Stranger $label/CN=Stranger $label Root" "$ca"
cert forged "$vendor" "$leaf" stranger
cert server "/O=Zelmora $label/CN=127.0.0.1" "$tls" root
cert shady "/O=Shady $label/CN=127.0.0.1" "$tls"
openssl x509 -in "$tmp/root.pem" -outform DER -out "$tmp/root.cer"

chmod 600 "$tmp"/*.key
mv "$tmp"/*.pem "$tmp"/*.key "$tmp/root.cer" "$out/"
