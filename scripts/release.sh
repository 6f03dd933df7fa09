#!/usr/bin/env bash
# Makes a release folder that every installed copy accepts, and checks a live update server the way an
# installed copy reads it.
#   release.sh make QUOREL.EXE OUT [--previous FOLDER_OR_URL] [--cafile ROOTS.pem] [--machine x86_64]
#       writes OUT/update/Quorel.exe and OUT/update/update.txt (the exe's own version, bare); --machine
#       only for a vendor (and tests) whose every installed copy is x86_64
#   release.sh check BASE_URL [--as RUNNING.exe] [--cafile ROOTS.pem] [--machine x86_64]
#       BASE_URL ends in /update/; exit 0 only when a copy of that version and publisher will update
# A refusal is one line on stderr and a non-zero exit; nothing is written then.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
max_bytes=$((64 * 1024 * 1024))  # what every installed copy takes at most (update/TransferLimits.h)

refuse() { echo "release: refused: $*" >&2; exit 1; }
usage() { sed -n '4,9p' "$0" | sed 's/^# *//' >&2; exit 2; }

# machine, whole (1/0) and version (empty: none) of a PE file, read from its headers.
pe_facts() {
    python3 - "$1" <<'PY'
import struct, sys
d = open(sys.argv[1], 'rb').read()
def u(fmt, at):
    return struct.unpack_from(fmt, d, at)[0] if at + struct.calcsize(fmt) <= len(d) else 0
pe = u('<I', 0x3C)
if d[:2] != b'MZ' or d[pe:pe + 4] != b'PE\0\0':
    print('none 0 '); sys.exit()
machine, sections, opt_size, chars = u('<H', pe + 4), u('<H', pe + 6), u('<H', pe + 20), u('<H', pe + 22)
opt = pe + 24
dirs = opt + (96 if u('<H', opt) == 0x10B else 112)
sec_off, sec_size = u('<I', dirs + 4 * 8), u('<I', dirs + 4 * 8 + 4)
end = max([u('<I', opt + opt_size + 40 * i + 20) + u('<I', opt + opt_size + 40 * i + 16) for i in range(sections)] + [0])
whole = chars & 2 and not chars & 0x2000 and 0 < sections <= 96 and end <= len(d) and sec_off + sec_size <= len(d)
key, at = -1, -1  # the version resource: its key, then the fixed part's signature
while at < 0 and (key := d.find('VS_VERSION_INFO'.encode('utf-16-le'), key + 1)) >= 0:
    at = d.find(b'\xbd\x04\xef\xfe', key, key + 40)
version = '' if at < 0 else '%d.%d.%d.%d' % (u('<H', at + 10), u('<H', at + 8), u('<H', at + 14), u('<H', at + 12))
print('%04x %d %s' % (machine, 1 if whole else 0, version))
PY
}

# The signer's subject, "" for an unsigned file; fails when a signature does not verify against the roots.
signer() {
    local out
    rm -f "$tmp/signature"
    osslsigncode extract-signature -in "$1" -out "$tmp/signature" >/dev/null 2>&1 || return 0
    out=$(osslsigncode verify -in "$1" -CAfile "$cafile" 2>&1) || return 1
    sed -n '/Signer #0:/,/Serial/s/^[[:space:]]*Subject: //p' <<<"$out" | head -n 1
}

newer() {  # newer A B: A is a newer version than B
    python3 -c 'import sys; v = [tuple(map(int, a.split("."))) for a in sys.argv[1:]]; sys.exit(v[0] <= v[1])' "$1" "$2"
}

make_release() {
    local exe=$1 out=$2 facts machine whole version publisher
    [ -f "$exe" ] || refuse "$exe does not exist"
    read -r machine whole version <<<"$(pe_facts "$exe")"
    [ "$machine" = "$want_machine" ] && [ "$whole" = 1 ] || refuse "$exe is not a whole $arch_name program" \
        "(machine $machine): the one update address serves every installed copy, and every $arch_name copy would refuse it"
    [ -n "$version" ] || refuse "$exe has no version: no installed copy could tell it is newer"
    [ "$(stat -c %s "$exe")" -le $max_bytes ] ||
        refuse "$exe is $(stat -c %s "$exe") bytes: every installed copy refuses more than 64 MB"
    publisher=$(signer "$exe") || refuse "the signature of $exe does not verify against $cafile:" \
        "every signed installed copy would refuse it"
    if [ -n "$previous" ]; then
        local was=$tmp/previous.exe was_version was_publisher
        if [[ $previous == http://* || $previous == https://* ]]; then
            curl -fsS -o "$was" "${previous%/}/Quorel.exe" || refuse "the previous release at $previous could not be read"
        else
            was=$previous/update/Quorel.exe
            [ -f "$was" ] || was=$previous/Quorel.exe
            [ -f "$was" ] || refuse "no previous release in $previous"
        fi
        read -r _ _ was_version <<<"$(pe_facts "$was")"
        was_publisher=$(signer "$was") || was_publisher="(a signature that does not verify)"
        newer "$version" "${was_version:-0.0.0.0}" || refuse "$version is not newer than the previous release" \
            "$was_version: the installed copies of $was_version would never be offered it"
        [ -z "$was_publisher" ] || [ -n "$publisher" ] || refuse "$exe is unsigned after the signed release" \
            "$was_version: every installed copy signed by \"$was_publisher\" would refuse it"
        [ -z "$was_publisher" ] || [ "$publisher" = "$was_publisher" ] || refuse "$exe is signed by \"$publisher\"," \
            "the release $was_version by \"$was_publisher\": every installed copy signed by \"$was_publisher\" would refuse it"
    fi
    mkdir -p "$out/update" && cp "$exe" "$tmp/Quorel.exe" && printf '%s' "$version" >"$tmp/update.txt" &&
        mv -f "$tmp/Quorel.exe" "$out/update/Quorel.exe" && mv -f "$tmp/update.txt" "$out/update/update.txt" ||
        refuse "$out/update could not be written"
    echo "release: $out/update/Quorel.exe $version, signed by ${publisher:-nobody (unsigned)}; update.txt holds \"$version\""
}

# The judge (scripts/release_judge.cpp) runs under Wine in a throwaway prefix of its own per set of
# roots: never the user's, never the tests'. The build of this machine's shipped width is used.
check_server() {
    local url=$1
    [[ $url == */update/ ]] || refuse "$url does not end in /update/"
    . "$root/scripts/wine.sh"
    [ "$arch_name" = x86_64 ] || [ "$QUOREL_RUNS_I686" = 1 ] ||
        { echo "release: this machine runs no 32-bit programs: check with --machine x86_64" >&2; exit 2; }
    local arch=$arch_name build=$root/build/$arch_name judge key prefix
    judge=$build/scripts/quorel-judge.exe
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch.cmake" >/dev/null 2>&1
    fi
    cmake --build "$build" --target quorel_judge -j2 >"$tmp/build.log" 2>&1 ||
        { cat "$tmp/build.log" >&2; echo "release: the judge did not build" >&2; exit 2; }
    key=system && [ -n "$given_cafile" ] && key=$(sha256sum <"$given_cafile" | cut -c1-16)
    prefix=$build/release-check/$key/wineprefix
    run() { "$root/scripts/wine-run.sh" "$prefix" "$judge" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
    if [ -n "$given_cafile" ] && [ ! -f "$prefix.trusted" ]; then
        awk -v dir="$tmp" '/BEGIN CERT/ { n++ } n { print > (dir "/root" n ".pem") }' "$given_cafile"
        run trust $(for f in "$tmp"/root*.pem; do echo "Z:$f"; done) || { echo "release: $given_cafile could not be trusted" >&2; exit 2; }
        touch "$prefix.trusted"
    fi
    # Without --as, the served exe's own publisher stands for every older copy.
    local as=("Z:$(realpath "${as_exe:-$tmp/served.exe}")") status
    if [ -z "$as_exe" ]; then
        curl -fsS -o "$tmp/served.exe" "${url}Quorel.exe" 2>/dev/null || : >"$tmp/served.exe"
        as+=(publisher)
    fi
    run check "$url" "${as[@]}"
    status=${PIPESTATUS[0]}
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
    return "$status"
}

[ $# -ge 2 ] || usage
command=$1 && shift
positional=() previous= given_cafile= as_exe= arch_name=i686
while [ $# -gt 0 ]; do
    case $1 in
    --previous) previous=${2:-} && shift 2 ;;
    --cafile) given_cafile=${2:-} && shift 2 ;;
    --as) as_exe=${2:-} && shift 2 ;;
    --machine) arch_name=${2:-} && shift 2 ;;
    *) positional+=("$1") && shift ;;
    esac
done
want_machine=014c && [ "$arch_name" = x86_64 ] && want_machine=8664
cafile=${given_cafile:-/etc/ssl/certs/ca-certificates.crt}
[ -z "$given_cafile" ] || [ -f "$given_cafile" ] || refuse "$given_cafile does not exist"
tmp=$(mktemp -d) && trap 'rm -rf "$tmp"' EXIT
case $command in
make) [ ${#positional[@]} = 2 ] || usage; make_release "${positional[@]}" ;;
check) [ ${#positional[@]} = 1 ] || usage; [ -z "$as_exe" ] || [ -f "$as_exe" ] || refuse "$as_exe does not exist"
    check_server "${positional[0]}" ;;
*) usage ;;
esac
