#!/usr/bin/env bash
# Signs a Windows program with Authenticode (SHA-256) and verifies the signature.
#   sign-exe.sh IN OUT DESCRIPTION [--cafile F] [--timestamp URL] (--cert F --key F | --pkcs12 F)
# The PKCS#12 password is read from the environment variable QUOREL_SIGN_PASSWORD and handed over on a
# pipe, never on a command line. --cafile names the roots the signature must reach (default: the
# system's). OUT may be IN. On any failure OUT is removed, so that the next build makes it again instead
# of keeping an unsigned file.
set -euo pipefail
in=$1 out=$2 description=$3
shift 3
cafile= cert= key= p12= timestamp=
while [ $# -ge 2 ]; do
    case $1 in
        --cafile) cafile=$2 ;;
        --cert) cert=$2 ;;
        --key) key=$2 ;;
        --pkcs12) p12=$2 ;;
        --timestamp) timestamp=$2 ;;
        *) echo "sign-exe.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift 2
done
tmp=$out.signing
trap 'rm -f "$tmp"' EXIT
fail() {
    echo "sign-exe.sh: $*" >&2
    rm -f "$out"
    exit 1
}

sign=(osslsigncode sign -h sha256 -n "$description")
[ -n "$timestamp" ] && sign+=(-ts "$timestamp")
if [ -n "$p12" ]; then
    [ -n "${QUOREL_SIGN_PASSWORD+set}" ] || fail "QUOREL_SIGN_PASSWORD is not set for $p12"
    printf '%s' "$QUOREL_SIGN_PASSWORD" |
        "${sign[@]}" -pkcs12 "$p12" -readpass - -in "$in" -out "$tmp" >/dev/null || fail "signing $in failed"
else
    "${sign[@]}" -certs "$cert" -key "$key" -in "$in" -out "$tmp" >/dev/null || fail "signing $in failed"
fi
verify=(osslsigncode verify -in "$tmp")
[ -n "$cafile" ] && verify+=(-CAfile "$cafile")
"${verify[@]}" >"$tmp.log" 2>&1 || { cat "$tmp.log" >&2; rm -f "$tmp.log"; fail "the signature of $in does not verify"; }
rm -f "$tmp.log"
mv -f "$tmp" "$out"
