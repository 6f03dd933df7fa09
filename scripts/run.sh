#!/usr/bin/env bash
# Shows Quorel's whole story under Wine: a downloaded Quorel.exe installs itself, the installed copy opens
# and places its shortcuts, and twenty seconds later it finds an update on a local demo server, downloads
# it, swaps it in and restarts into the new version. Both builds are signed by a demo publisher, whose
# throwaway root the demo's prefix trusts: the installed copy accepts only its own publisher's update.
#   scripts/run.sh                   with a display: the window opens there and stays until you close it
#   QUOREL_FORCE_XVFB=1 scripts/run.sh
#                                    headless (also without DISPLAY): a private virtual display, the boxes
#                                    answered "Yes" automatically, and a screenshot of each stage
#   QUOREL_DEMO_ARCH=x86_64 scripts/run.sh
#                                    the 64-bit build instead of the shipped i686 one
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/ensure-deps.sh" || exit 1
. "$root/scripts/xvfb.sh"

demo=$root/build/demo
next=$root/build/demo-next
prefix=$demo/wineprefix
shots=$demo/screenshots
events=$demo/events.log
helper=$demo/tests/demo_helper.exe
. "$root/scripts/wine.sh"
arch=${QUOREL_DEMO_ARCH:-i686}
if [ "$arch" = i686 ] && [ "$QUOREL_RUNS_I686" = 0 ]; then
    # The shipped build is i686, but Wine runs 32-bit programs only where the kernel runs them.
    echo "This machine's kernel runs no 32-bit programs: the demo runs the x86_64 build instead."
    arch=x86_64
fi
# Beside the prefix, where the Wine wrapper finds the root to trust (with trust-root.exe).
pki=$demo/test-pki
wine_run=$root/tests/wine-run.sh
jobs=$(nproc 2>/dev/null || echo 2)
user=$(id -un)
drive_c=$prefix/drive_c
install_dir=$drive_c/ProgramData/Quorelware
install_win='C:\ProgramData\Quorelware\Quorel.exe'
download_dir_win="C:\\users\\$user\\Downloads"
new_version=3.2.0.1

# Generous bounds: Wine is slow to start on a busy machine, and the update timer alone takes 20 s.
window_timeout_ms=180000
question_timeout_ms=120000
box_timeout_ms=120000
restart_timeout_s=120

headless=0
if [ -z "${DISPLAY:-}" ] || [ "${QUOREL_FORCE_XVFB:-0}" = 1 ]; then
    headless=1
fi

say() { printf '%s\n' "$*"; }
step() { printf '\n== %s\n' "$*"; }

server_pid=
wine_pid=
cleaned=0
cleanup() {
    [ "$cleaned" = 1 ] && return
    cleaned=1
    # The prefix's wineserver takes every Windows process of the demo with it.
    if [ -d "$prefix" ]; then
        WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
    fi
    if [ -n "$wine_pid" ]; then
        kill "$wine_pid" 2>/dev/null || true
        wait "$wine_pid" 2>/dev/null || true
    fi
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    quorel_stop_xvfb
}
trap cleanup EXIT
trap 'say ""; say "Stopped (Ctrl-C): the demo server, Wine and the virtual display are being shut down."; exit 130' INT
trap 'exit 143' TERM

fail() {
    say ""
    say "The demo stopped: $*"
    exit 1
}

# Runs a Windows program of the demo in its prefix; stdin detached so Wine's services never hold the terminal.
wine_in_prefix() { "$wine_run" "$prefix" "$@" </dev/null; }

helper_args=()
[ "$headless" = 1 ] && helper_args=(--desktop Quorel)
helper() { wine_in_prefix "$helper" "${helper_args[@]}" "$@" 2>/dev/null | tr -d '\r'; }

win_path() {  # a path inside the prefix's drive_c, as Windows writes it
    local rel=${1#"$drive_c"/}
    printf 'C:\\%s' "${rel//\//\\}"
}

file_version() {  # the FILEVERSION of a PE file's version resource, or "none"
    python3 - "$1" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = data.find(b"\xbd\x04\xef\xfe")
if at < 0:
    print("none")
else:
    ms, ls = struct.unpack_from("<II", data, at + 8)
    print("%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF))
EOF
}

link_target() {  # the local path a .lnk file points at (its LinkInfo), in the ANSI code page 936
    python3 - "$1" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read()
try:
    flags = struct.unpack_from("<I", data, 0x14)[0]
    at = 0x4C
    if flags & 1:
        at += 2 + struct.unpack_from("<H", data, at)[0]
    if not flags & 2:
        raise ValueError
    base = struct.unpack_from("<I", data, at + 16)[0]
    end = data.index(b"\0", at + base)
    print(data[at + base:end].decode("cp936"))
except (ValueError, struct.error, UnicodeDecodeError):
    print("(unreadable)")
EOF
}

screenshot() {  # screenshot NN-stage: the whole virtual display, only when headless
    [ "$headless" = 1 ] || return 0
    local out=$shots/$1.png
    if xwd -root -silent 2>/dev/null | /usr/bin/convert xwd:- "$out" 2>/dev/null; then
        say "   screenshot: ${out#"$root"/}"
    fi
}

settle() { sleep 1; }  # lets Wine paint a window that has just appeared before the screenshot

seen_event() { grep -q "^event $1\$" "$events" 2>/dev/null; }

wait_event() {  # wait_event PATTERN SECONDS
    local deadline=$((SECONDS + $2))
    while ! seen_event "$1"; do
        [ "$SECONDS" -ge "$deadline" ] && return 1
        sleep 0.5
    done
}

signer_of() {  # who signed a program (the signer's subject and its issuer), or "nobody (unsigned)"
    local out subject issuer
    out=$(osslsigncode verify -in "$1" -CAfile "$pki/root.pem" 2>/dev/null | sed -n '/Signer #0:/,/Serial/p')
    subject=$(printf '%s\n' "$out" | sed -n 's/^[[:space:]]*Subject: //p' | head -n 1)
    issuer=$(printf '%s\n' "$out" | sed -n 's/^[[:space:]]*Issuer : //p' | head -n 1)
    if [ -z "$subject" ]; then
        printf 'nobody (unsigned)'
    else
        printf '"%s" (issued by "%s")' "$subject" "$issuer"
    fi
}

show_install() {
    local exe=$install_dir/Quorel.exe
    if [ ! -f "$exe" ]; then
        say "   Nothing is installed at $install_win."
        return
    fi
    say "   Installed: $install_win, version $(file_version "$exe"), $(stat -c %s "$exe") bytes"
    say "              signed by $(signer_of "$exe")"
    local bak=$install_dir/OldExecutable.bak
    [ -f "$bak" ] && say "   Backup:    $(win_path "$bak"), version $(file_version "$bak") (the image the old process ran from)"
}

show_shortcuts() {
    local found=0 link
    while IFS= read -r -d '' link; do
        found=1
        say "   $(win_path "$link")  ->  $(link_target "$link")"
    done < <(find "$drive_c" -name ' Zelmora.lnk' -print0 2>/dev/null | sort -z)
    [ "$found" = 1 ] || say "   (no shortcuts)"
}

# Wine links the profile's Desktop, Downloads and other folders to your home folder; the demo's copies
# and shortcuts stay inside its own prefix instead.
unlink_profile_folders() {
    local folder
    for folder in "$drive_c/users/$user"/*; do
        if [ -L "$folder" ]; then
            rm -f "$folder"
            mkdir -p "$folder"
        fi
    done
}

reset_prefix() {
    rm -rf "$install_dir"
    find "$drive_c" \( -name ' Zelmora.lnk' -o -name ' Zelmora' \) -prune -exec rm -rf {} + 2>/dev/null
    rm -f "$drive_c/users/$user/Temp/Quorel.exe"
}

mkdir -p "$demo" "$shots"
rm -f "$shots"/*.png "$events"

step "Starting the demo server (web application and update server) on loopback"
preferred_port=$(cat "$demo/port" 2>/dev/null || echo 0)
rm -f "$demo/port.now"
python3 "$root/scripts/demo_server.py" --port "$preferred_port" --port-file "$demo/port.now" \
    --events "$events" --version "$new_version" --exe "$next/Quorel.exe" &
server_pid=$!
for _ in $(seq 1 100); do
    [ -s "$demo/port.now" ] && break
    kill -0 "$server_pid" 2>/dev/null || fail "the demo server did not start"
    sleep 0.1
done
[ -s "$demo/port.now" ] || fail "the demo server did not report its port"
port=$(cat "$demo/port.now")
echo "$port" > "$demo/port"
host=127.0.0.1:$port
caption="Zelmora $host"
say "   http://$host/touch/default/type/ipad/source/software?ver...  (the web application)"
say "   http://$host/update/update.txt  answers $new_version, and /update/Quorel.exe serves that version"

build() {  # build DIR VERSION [EXTRA TARGET]: the extra target needs the tests' support library
    local dir=$1 version=$2 log=$1/build.log tests=OFF
    [ -n "${3:-}" ] && tests=ON
    mkdir -p "$dir"
    say "   Quorel.exe $version with both hosts at $host  (log: ${log#"$root"/})"
    if ! { cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch.cmake" \
               -DQUOREL_WEBAPP_HOST="$host" -DQUOREL_VENDOR_HOST="$host" -DQUOREL_VERSION="$version" \
               -DQUOREL_SIGN_CERT="$pki/vendor.pem" -DQUOREL_SIGN_KEY="$pki/vendor.key" \
               -DQUOREL_SIGN_CAFILE="$pki/root.pem" -DQUOREL_BUILD_TESTS=$tests &&
           cmake --build "$dir" -j"$jobs" --target Quorel ${3:-}; } >"$log" 2>&1; then
        tail -n 30 "$log"
        fail "the build of Quorel.exe $version failed (see ${log#"$root"/})"
    fi
    say "      signed by $(signer_of "$dir/Quorel.exe")"
}
step "Making the demo publisher's code-signing certificate (a throwaway PKI, ${pki#"$root"/})"
if [ ! -f "$pki/vendor.pem" ] || [ ! -f "$pki/root.cer" ]; then
    rm -rf "$pki"
    bash "$root/tests/pki/make-test-pki.sh" "$pki" Demo || fail "the demo PKI could not be made"
fi
if [ ! -f "$pki/trust-root.exe" ] || [ "$root/tests/pki/TrustRoot.cpp" -nt "$pki/trust-root.exe" ]; then
    $arch-w64-mingw32-g++-posix -static -Os -s -I"$root" -o "$pki/trust-root.exe" "$root/tests/pki/TrustRoot.cpp" \
        -lcrypt32 || fail "the root-trusting tool did not build"
fi
say "   Publisher: $(openssl x509 -in "$pki/vendor.pem" -noout -subject -nameopt compat | sed 's/^subject=//')"
say "   Root:      $(openssl x509 -in "$pki/root.pem" -noout -subject -nameopt compat | sed 's/^subject=//'), trusted in the demo's Wine prefix only"

step "Building ($arch$([ "$arch" = i686 ] && echo ", the shipped build")), signed by the demo publisher"
build "$demo" 3.2.0.0 demo_helper
build "$next" "$new_version"

if [ "$headless" = 1 ]; then
    quorel_start_xvfb 110 || fail "no virtual display"
    display_words="a private virtual display ($DISPLAY), in a Wine virtual desktop"
else
    display_words="your display ($DISPLAY)"
fi

step "Preparing the demo's Wine prefix (${prefix#"$root"/}; the first time takes about half a minute)"
WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
wine_in_prefix "$helper" processes Quorel.exe >/dev/null 2>&1
[ -d "$drive_c" ] || fail "the Wine prefix was not created"
unlink_profile_folders
reset_prefix
download_dir=$drive_c/users/$user/Downloads
mkdir -p "$download_dir"
cp "$demo/Quorel.exe" "$download_dir/Quorel.exe"
say "   Cleared C:\\ProgramData\\Quorelware and every \" Zelmora\" shortcut."
say "   The downloaded copy: $download_dir_win\\Quorel.exe (version $(file_version "$download_dir/Quorel.exe"))"

step "Starting the downloaded Quorel.exe on $display_words"
# "start" opens it the way a double click in the Downloads folder does.
if [ "$headless" = 1 ]; then
    wine_in_prefix explorer "/desktop=Quorel,1280x1024" start /d "$download_dir_win" Quorel.exe >/dev/null 2>&1 &
else
    wine_in_prefix start /d "$download_dir_win" Quorel.exe >/dev/null 2>&1 &
fi
wine_pid=$!

out=$(helper wait "$caption" "$window_timeout_ms" "$install_win") \
    || fail "no window of the installed copy appeared; $(ls "$install_dir" >/dev/null 2>&1 && echo "the install folder exists" || echo "nothing was installed")"
say "   The download copy installed itself and closed; the installed copy opened its window:"
say "   \"$caption\", ${out%%$'\n'*}"
settle
screenshot 01-installed-window
show_install
say "   Shortcuts that the installed copy placed:"
show_shortcuts

step "Waiting for the update check (the timer fires 20 s after the window opened)"
out=$(helper wait "有新版更新" "$question_timeout_ms") || fail "the update question did not appear"
say "   The update question \"有新版更新\" appeared: ${out#*text }"
[ "$headless" = 1 ] && helper reveal "有新版更新" >/dev/null
settle
screenshot 02-update-question

if [ "$headless" = 0 ]; then
    say ""
    say "   Answer the question in the window. Quorel stays open until you close it (or press Ctrl-C here)."
    restarted=0
    swapped=0
    while helper processes Quorel.exe >/dev/null; do
        if [ "$swapped" = 0 ] && [ -f "$install_dir/OldExecutable.bak" ]; then
            swapped=1
            say "   The update was downloaded and swapped in:"
            show_install
        fi
        if [ "$restarted" = 0 ] && seen_event "opened $new_version"; then
            restarted=1
            say "   Quorel restarted into $new_version."
        fi
        sleep 2
    done
    step "Quorel was closed"
    show_install
    exit 0
fi

helper press "有新版更新" 6 >/dev/null || fail "could not answer the update question"
say "   Answered \"是\" (Yes): Quorel downloads the new executable."
out=$(helper wait "更新成功！" "$box_timeout_ms") || {
    helper wait "更新失败！" 1000 >/dev/null && fail "Quorel reported that the update failed (更新失败！)"
    fail "no answer to the update appeared"
}
say "   The success box \"更新成功！\" appeared: ${out#*text }"
[ "$headless" = 1 ] && helper reveal "更新成功！" >/dev/null
settle
screenshot 03-update-success
show_install

helper press "更新成功！" 6 >/dev/null || fail "could not answer the restart question"
say "   Answered \"是\" (Yes): Quorel restarts into the new executable."
wait_event "opened $new_version" "$restart_timeout_s" || fail "the new version did not open the web application"
out=$(helper wait "$caption" "$window_timeout_ms" "$install_win") || fail "the restarted window did not appear"
say "   The restarted copy runs from $install_win and opened the web application as $new_version."
settle
screenshot 04-restarted

step "What happened"
seen_event "opened 3.2" || fail "the web application was never asked for with \"?ver3.2\""
say "   1. The downloaded $download_dir_win\\Quorel.exe (3.2.0.0) opened the web application with \"?ver3.2\","
say "      installed itself as $install_win, started that copy and closed."
say "   2. The installed copy opened its window \"$caption\" and placed its shortcuts (listed above)."
say "   3. Twenty seconds later it asked the update server, which offered $new_version; the question was answered Yes."
say "   4. It downloaded Quorel.exe $new_version, found it signed by its own publisher, $(signer_of "$next/Quorel.exe"),"
say "      kept the old image as OldExecutable.bak and restarted into $new_version:"
show_install
say "   Running Quorel processes:"
helper processes Quorel.exe | sed 's/^/   /'
say "   Screenshots: ${shots#"$root"/}/"
for shot in "$shots"/*.png; do
    [ -f "$shot" ] && say "     $(basename "$shot")"
done
say ""
say "Done. The demo server, Wine and the virtual display are being stopped."
