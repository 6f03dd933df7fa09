#!/usr/bin/env bash
# Runs one Windows program under Wine, in the build tree's own prefix:
#   wine-run.sh <prefix dir> <program.exe> [args...]
# CTest uses it as the cross-compiling emulator; scripts use it too.
set -u
. "$(dirname "$0")/../scripts/wine.sh"
prefix=$1
shift

export WINEPREFIX=$prefix
export WINEARCH=win64
export WINEDEBUG=-all
# No Mono/Gecko install prompts (they would hang a headless run), no desktop entries for saved .lnk files.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Wine takes the ANSI code page from the locale: zh_CN gives 936.
export LC_ALL=zh_CN.UTF-8
export LANG=zh_CN.UTF-8

mkdir -p "$(dirname "$prefix")"
if [ ! -f "$prefix/.quorel-ready" ]; then
    # Nothing started under the lock may keep its descriptor (9>&-): a persistent wineserver would
    # hold the lock for good.
    (
        flock 9
        if [ ! -f "$prefix/.quorel-ready" ]; then
            "$quorel_wine" wineboot -i 9>&- </dev/null >/dev/null 2>&1
            wineserver -w 9>&-
            touch "$prefix/.quorel-ready"
        fi
    ) 9>"$prefix.lock"
fi

# Wine links the profile's Desktop, Documents and the like to the Unix home folder. The prefix keeps
# folders of its own instead: the program writes shortcuts there, and tests reset them.
if [ ! -f "$prefix/.quorel-sandboxed" ]; then
    (
        flock 9
        for link in "$prefix"/drive_c/users/*/*; do
            if [ -L "$link" ]; then
                rm -f "$link"
                mkdir -p "$link"
            fi
        done
        touch "$prefix/.quorel-sandboxed"
    ) 9>"$prefix.lock"
fi

# Headless without a display: Wine's null graphics driver still gives real windows and message boxes.
want=x11
[ -z "${DISPLAY:-}" ] && want=null
have=$(cat "$prefix/.quorel-graphics" 2>/dev/null || echo x11)
if [ "$want" != "$have" ]; then
    (
        flock 9
        # Every Wine process of the prefix must start afresh under the other driver.
        wineserver -k 9>&- >/dev/null 2>&1 || true
        if [ "$want" = null ]; then
            "$quorel_wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f 9>&- </dev/null >/dev/null 2>&1
        else
            "$quorel_wine" reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f 9>&- </dev/null >/dev/null 2>&1
        fi
        wineserver -w 9>&-
        echo "$want" > "$prefix/.quorel-graphics"
    ) 9>"$prefix.lock"
fi

# A warm wineserver cuts each start from seconds to a fraction of one. Its services are started
# detached: CTest would otherwise wait on the pipes they inherit. The prefix's server is the one whose
# working folder is named after the prefix's device and inode.
server_name=$(printf 'server-%x-%x' "$(stat -c %d "$prefix")" "$(stat -c %i "$prefix")")
prefix_server_running() {
    local pid
    for pid in $(pgrep -u "$(id -u)" wineserver); do
        case "$(readlink "/proc/$pid/cwd" 2>/dev/null)" in
            */"$server_name") return 0 ;;
        esac
    done
    return 1
}
if ! prefix_server_running; then
    (
        flock 9
        if ! prefix_server_running; then
            wineserver -p 9>&- </dev/null >/dev/null 2>&1
            "$quorel_wine" wineboot 9>&- </dev/null >/dev/null 2>&1
        fi
    ) 9>"$prefix.lock"
fi

# The tests' throwaway code-signing root, made by the build beside the prefix, is trusted machine-wide in
# the prefix before anything runs: signed test copies then reach a trusted root, as the vendor's
# programs do on users' machines. Once per root; a remade root is trusted again.
pki=$(dirname "$prefix")/test-pki
if [ -f "$pki/root.cer" ] && [ -f "$pki/trust-root.exe" ] && ! cmp -s "$pki/root.cer" "$prefix/.quorel-trusted-root"; then
    (
        flock 9
        if ! cmp -s "$pki/root.cer" "$prefix/.quorel-trusted-root" &&
            "$quorel_wine" "$pki/trust-root.exe" "Z:$pki/root.cer" 9>&- </dev/null >/dev/null 2>&1; then
            cp "$pki/root.cer" "$prefix/.quorel-trusted-root"
        fi
    ) 9>"$prefix.lock"
fi

exec "$quorel_wine" "$@"
