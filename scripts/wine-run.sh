#!/usr/bin/env bash
# Runs one Windows program under Wine, in the build tree's own prefix:
#   wine-run.sh <prefix dir> <program.exe> [args...]
# CTest uses it as the cross-compiling emulator; scripts use it too.
set -u
. "$(dirname "$0")/wine.sh"
prefix=$1
shift

export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all
# No Mono/Gecko install prompts (they would hang a headless run), no desktop entries for saved .lnk files.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Wine takes the ANSI code page from the locale: zh_CN gives 936.
export LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8
mkdir -p "$(dirname "$prefix")"

# QUOREL_WITHOUT_FILE_CAPS=1: the whole session, the prefix's server included, runs without the capabilities
# that let root pass over file permissions, so that Unix permissions bind it as a DACL binds a user who did
# not install the program (Wine checks no DACL between users).
file_caps=dac_override,fowner,dac_read_search
has_file_caps() { (( 0x$(awk '/^CapEff/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0) & 0xe )); }
if [ -n "${QUOREL_WITHOUT_FILE_CAPS:-}" ] && has_file_caps self; then
    exec setpriv --bounding-set="-${file_caps//,/,-}" --inh-caps="-${file_caps//,/,-}" "$0" "$prefix" "$@"
fi

# Each step runs once under the prefix's lock, and only if it is still due once the lock is held.
# Nothing started under the lock may keep its descriptor (9>&-): a persistent wineserver would hold it for good.
wine_quiet() { "$quorel_wine" "$@" 9>&- </dev/null >/dev/null 2>&1; }
once() {
    "$1" || return 0
    (flock 9 && ! "$1" || "$2") 9>"$prefix.lock"
}

# Wine links the profile's Desktop, Documents and the like to the Unix home folder. The prefix keeps
# folders of its own instead: the program writes shortcuts there, and tests reset them.
unready() { [ ! -f "$prefix/.quorel-ready" ]; }
make_prefix() {
    wine_quiet wineboot -i
    wineserver -w 9>&-
    for link in "$prefix"/drive_c/users/*/*; do
        [ -L "$link" ] && rm -f "$link" && mkdir -p "$link"
    done
    touch "$prefix/.quorel-ready"
}
once unready make_prefix

# Drive T: is a folder on another file system than the prefix's (tmpfs where there is one), so that a test
# can put a program's temporary folder where a move to the program's folder would have to copy.
other_fs_unmapped() { [ ! -d "$prefix/dosdevices/t:/" ]; }
map_other_fs() {
    for base in /dev/shm /run/shm /tmp; do
        if [ -d "$base" ] && [ -w "$base" ] && [ "$(stat -c %d "$base")" != "$(stat -c %d "$prefix")" ]; then
            folder="$base/quorel-drive-$(stat -c %i "$prefix")"
            mkdir -p "$folder" && ln -sfn "$folder" "$prefix/dosdevices/t:"
            return
        fi
    done
}
once other_fs_unmapped map_other_fs

# Headless without a display: Wine's null graphics driver still gives real windows and message boxes.
want=x11
[ -z "${DISPLAY:-}" ] && want=null
other_driver() { [ "$want" != "$(cat "$prefix/.quorel-graphics" 2>/dev/null || echo x11)" ]; }
switch_driver() {
    # Every Wine process of the prefix must start afresh under the other driver.
    wineserver -k 9>&- >/dev/null 2>&1
    if [ "$want" = null ]; then
        wine_quiet reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
    else
        wine_quiet reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f
    fi
    wineserver -w 9>&-
    echo "$want" >"$prefix/.quorel-graphics"
}
once other_driver switch_driver

# A warm wineserver cuts each start from seconds to a fraction of one. Its services are started
# detached: CTest would otherwise wait on the pipes they inherit. The prefix's server is the one whose
# working folder is named after the prefix's device and inode.
server_name=$(printf 'server-%x-%x' "$(stat -c %d "$prefix")" "$(stat -c %i "$prefix")")
# A server of the other kind (with or without those capabilities) is ended: every program it starts would
# run as it does.
server_cold() {
    for pid in $(pgrep -u "$(id -u)" wineserver); do
        [[ "$(readlink "/proc/$pid/cwd" 2>/dev/null)" == */"$server_name" ]] || continue
        [ "$(has_file_caps self; echo $?)" = "$(has_file_caps "$pid"; echo $?)" ] && return 1
        wineserver -k 9>&- >/dev/null 2>&1
        wineserver -w 9>&-
    done
    return 0
}
warm_server() { wineserver -p 9>&- </dev/null >/dev/null 2>&1; wine_quiet wineboot; }
once server_cold warm_server

# The tests' throwaway code-signing root, made by the build beside the prefix, is trusted machine-wide in
# the prefix before anything runs: signed test copies then reach a trusted root, as the vendor's
# programs do on users' machines. Once per root; a remade root is trusted again.
pki=$(dirname "$prefix")/test-pki
root_untrusted() { [ -f "$pki/root.cer" ] && [ -f "$pki/trust-root.exe" ] && ! cmp -s "$pki/root.cer" "$prefix/.quorel-trusted-root"; }
trust_root() { wine_quiet "$pki/trust-root.exe" "Z:$pki/root.cer" && cp "$pki/root.cer" "$prefix/.quorel-trusted-root"; }
once root_untrusted trust_root

# The scenarios' https copies talk to a TLS front on loopback (QUOREL_TLS_FRONT: its ports and
# certificates, tests/support/tls_front.py), which lives as long as the program it runs.
if [ -n "${QUOREL_TLS_FRONT:-}" ]; then
    exec python3 "$(dirname "$0")/../tests/support/tls_front.py" $QUOREL_TLS_FRONT -- "$quorel_wine" "$@"
fi
exec "$quorel_wine" "$@"
