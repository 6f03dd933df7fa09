#!/usr/bin/env bash
# Shows Quorel's whole story under Wine: a downloaded Quorel.exe installs itself, the installed copy opens
# and places its shortcuts, and twenty seconds later it finds an update on a local demo server, downloads
# it, swaps it in and restarts into the new version. Both builds are signed by a demo publisher whose
# throwaway root only the demo's Wine prefix trusts.
#   scripts/run.sh                      with a display: Quorel opens there and stays until you close it
#   QUOREL_FORCE_XVFB=1 scripts/run.sh  headless (also without DISPLAY): a private virtual display, the boxes
#                                       answered Yes automatically, a screenshot of each stage
#   QUOREL_DEMO_ARCH=x86_64 ...         the 64-bit build instead of the shipped i686 one
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/ensure-deps.sh" || exit 1
. "$root/scripts/xvfb.sh"
. "$root/scripts/wine.sh"

arch=${QUOREL_DEMO_ARCH:-i686}
[ "$arch" = i686 ] && [ "$QUOREL_RUNS_I686" = 0 ] && arch=x86_64 &&
    echo "This machine's kernel runs no 32-bit programs: the demo runs the x86_64 build instead."
demo=$root/build/demo
prefix=$demo/wineprefix
pki=$demo/test-pki  # beside the prefix, where scripts/wine-run.sh finds the root to trust
shots=$demo/screenshots
events=$demo/events.log
helper=$demo/$arch/scripts/demo_helper.exe
user=$(id -un)
drive_c=$prefix/drive_c
log_file=$drive_c/users/$user/AppData/Local/Quorelware/update.log
install_win='C:\ProgramData\Quorelware\Quorel.exe'
download_win="C:\\users\\$user\\Downloads\\Quorel.exe"
question=有新版更新
bar=msctls_progress32
new_version=3.2.0.1
wait_ms=180000  # generous: Wine starts slowly on a busy machine
[ -z "${DISPLAY:-}" ] || [ "${QUOREL_FORCE_XVFB:-0}" = 1 ] && headless=1 || headless=0

say() { printf '%s\n' "$@"; }  # one line per argument
step() { printf '\n== %s\n' "$*"; }
fail() { say "" "The demo stopped: $*"; exit 1; }

cleanup() {
    trap - EXIT
    [ -d "$prefix" ] && WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1  # takes every Windows process along
    for pid in ${wine_pid:-} ${server_pid:-}; do kill "$pid" && wait "$pid"; done 2>/dev/null
    quorel_stop_xvfb
}
trap cleanup EXIT
# On stderr: a Ctrl-C may land while stdout is sent to /dev/null.
trap 'say "" "Stopped (Ctrl-C): the demo server, Wine and the virtual display are being shut down." >&2; exit 130' INT
trap 'exit 143' TERM

# Windows programs run in the demo's prefix, stdin detached so that Wine's services never hold the terminal.
in_prefix() { "$root/scripts/wine-run.sh" "$prefix" "$@" </dev/null; }
desktop=() && [ "$headless" = 1 ] && desktop=(--desktop Quorel)
tool() { in_prefix "$helper" "$@" 2>/dev/null | tr -d '\r'; }
helper() { tool "${desktop[@]}" "$@"; }  # windows: headless, they are in the Wine virtual desktop
seen_event() { grep -q "^event $1\$" "$events" 2>/dev/null; }

screenshot() {  # only headless: the whole virtual display
    [ "$headless" = 1 ] || return 0
    sleep 1  # lets Wine paint what has just appeared
    xwd -root -silent 2>/dev/null | /usr/bin/convert xwd:- "$shots/$1.png" 2>/dev/null &&
        say "   screenshot: ${shots#"$root"/}/$1.png"
}

signer_of() {  # the signer's subject and its issuer, or "nobody (unsigned)"
    local out subject
    out=$(osslsigncode verify -in "$1" -CAfile "$pki/root.pem" 2>/dev/null | sed -n '/Signer #0:/,/Serial/p')
    subject=$(sed -n 's/^[[:space:]]*Subject: //p' <<<"$out" | head -n 1)
    [ -n "$subject" ] || { printf 'nobody (unsigned)'; return; }
    printf '"%s" (issued by "%s")' "$subject" "$(sed -n 's/^[[:space:]]*Issuer : //p' <<<"$out" | head -n 1)"
}

show_install() {
    local exe=$drive_c/ProgramData/Quorelware/Quorel.exe
    [ -f "$exe" ] || { say "   Nothing is installed at $install_win."; return; }
    say "   Installed: $install_win, version $(tool version "$install_win"), $(stat -c %s "$exe") bytes"
    say "              signed by $(signer_of "$exe")"
    local bak='C:\ProgramData\Quorelware\OldExecutable.bak'
    [ -f "${exe%/*}/OldExecutable.bak" ] &&
        say "   Backup:    $bak, version $(tool version "$bak") (the image the old process ran from)"
}

mkdir -p "$shots" && rm -f "$shots"/*.png "$events"

step "Starting the demo server (web application and update server) on loopback"
rm -f "$demo/port.now"
python3 "$root/scripts/demo_server.py" --port "$(cat "$demo/port" 2>/dev/null || echo 0)" --port-file "$demo/port.now" \
    --events "$events" --release "$demo/release" &
server_pid=$!
timeout 10 bash -c "until [ -s '$demo/port.now' ] || ! kill -0 $server_pid; do sleep 0.1; done" 2>/dev/null
[ -s "$demo/port.now" ] || fail "the demo server did not start or report its port"
host=127.0.0.1:$(cat "$demo/port.now")
cp "$demo/port.now" "$demo/port"
caption="Zelmora $host"
say "   http://$host/touch/default/type/ipad/source/software?ver...  (the web application)"
say "   http://$host/update/  serves the release folder ${demo#"$root"/}/release/update/, the exe slowly"

step "Making the demo publisher's code-signing certificate (a throwaway PKI, ${pki#"$root"/})"
[ -f "$pki/vendor.pem" ] && [ -f "$pki/root.cer" ] ||
    { rm -rf "$pki"; bash "$root/scripts/pki/make-pki.sh" "$pki" Demo || fail "the demo PKI could not be made"; }
# The prefix is always 64-bit, so the root-trusting tool is too.
[ "$pki/trust-root.exe" -nt "$root/tests/pki/TrustRoot.cpp" ] || x86_64-w64-mingw32-g++-posix -static -Os -s -I"$root" \
    -o "$pki/trust-root.exe" "$root/tests/pki/TrustRoot.cpp" -lcrypt32 || fail "the root-trusting tool did not build"
subject() { openssl x509 -in "$pki/$1.pem" -noout -subject -nameopt compat | sed 's/^subject=//'; }
say "   Publisher: $(subject vendor)" "   Root:      $(subject root), trusted in the demo's Wine prefix only"

build() {  # build DIR VERSION [TARGET]
    local dir=$1 log=$1/build.log
    mkdir -p "$dir"
    say "   Quorel.exe $2 with both hosts at $host  (log: ${log#"$root"/})"
    { cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch.cmake" \
        -DQUOREL_WEBAPP_HOST="$host" -DQUOREL_VENDOR_HOST="$host" -DQUOREL_VERSION="$2" \
        -DQUOREL_SIGN_CERT="$pki/vendor.pem" -DQUOREL_SIGN_KEY="$pki/vendor.key" -DQUOREL_SIGN_CAFILE="$pki/root.pem" \
        -DQUOREL_BUILD_TESTS=OFF &&
        cmake --build "$dir" -j"$(nproc 2>/dev/null || echo 2)" --target Quorel ${3:-}; } >"$log" 2>&1 ||
        { tail -n 30 "$log"; fail "the build of Quorel.exe $2 failed (see ${log#"$root"/})"; }
    say "      signed by $(signer_of "$dir/Quorel.exe")"
}
step "Building ($arch$([ "$arch" = i686 ] && echo ", the shipped build")), signed by the demo publisher"
build "$demo/$arch" 3.2.0.0 demo_helper
build "$demo/$arch-next" "$new_version"

step "Making the release with the release command, and checking the demo server as an installed copy reads it"
machine=() && [ "$arch" = x86_64 ] && machine=(--machine x86_64)
rm -rf "$demo/release"
"$root/scripts/release.sh" make "$demo/$arch-next/Quorel.exe" "$demo/release" --previous "$demo/$arch" \
    --cafile "$pki/root.pem" "${machine[@]}" 2>&1 | sed 's/^/   /'
[ -f "$demo/release/update/update.txt" ] || fail "the release command refused the release"
say "   update.txt holds \"$(cat "$demo/release/update/update.txt")\""
"$root/scripts/release.sh" check "http://$host/update/" --as "$demo/$arch/Quorel.exe" --cafile "$pki/root.pem" \
    "${machine[@]}" 2>&1 | sed 's/^/   /'
[ "${PIPESTATUS[0]}" = 0 ] || fail "the release check says an installed copy would not update"

[ "$headless" = 1 ] && { quorel_start_xvfb 110 || fail "no virtual display"; }

step "Preparing the demo's Wine prefix (${prefix#"$root"/}; the first time takes about half a minute)"
WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
tool reset || fail "the Wine prefix could not be made or cleared"
install -D "$demo/$arch/Quorel.exe" "$drive_c/users/$user/Downloads/Quorel.exe"
rm -f "$drive_c/users/$user/AppData/Local/Quorelware/update.log"  # the story's own lines only
say "   Cleared C:\\ProgramData\\Quorelware and every \" Zelmora\" shortcut."
say "   The downloaded copy: $download_win (version $(tool version "$download_win"))"

step "Starting the downloaded Quorel.exe on $([ "$headless" = 1 ] &&
    echo "a private virtual display ($DISPLAY), in a Wine virtual desktop" || echo "your display ($DISPLAY)")"
# "start" opens it the way a double click in the Downloads folder does.
launch=(start /d "${download_win%\\*}" Quorel.exe)
[ "$headless" = 1 ] && launch=(explorer /desktop=Quorel,1280x1024 "${launch[@]}")
in_prefix "${launch[@]}" >/dev/null 2>&1 & wine_pid=$!

out=$(helper wait "$caption" "$wait_ms" "$install_win") || fail "no window of the installed copy appeared;" \
    "$([ -d "$drive_c/ProgramData/Quorelware" ] && echo "the install folder exists" || echo "nothing was installed")"
say "   The download copy installed itself and closed; the installed copy opened its window:"
say "   \"$caption\", ${out%%$'\n'*}"
screenshot 01-installed-window
show_install
say "   Shortcuts that the installed copy placed:"
tool links | sed 's/^/   /' || say "   (no shortcuts)"

step "Waiting for the update check (the timer fires 20 s after the window opened)"
out=$(helper wait "$question" "$wait_ms") || fail "the update question did not appear"
say "   The update question \"$question\" appeared: ${out#*text }"
if [ "$headless" = 0 ]; then
    say "" "   Answer the question in the window. Quorel stays open until you close it (or press Ctrl-C here)."
    told=  # what has been told already: d(ownloading), s(wapped), r(estarted)
    while tool processes Quorel.exe >/dev/null; do
        [[ $told != *d* ]] && out=$(helper --child $bar wait "$question" 100) &&
            told+=d && say "   The download's progress window is showing (the bar at ${out##*bar })."
        [[ $told != *s* ]] && [ -f "$drive_c/ProgramData/Quorelware/OldExecutable.bak" ] &&
            told+=s && say "   The update was downloaded and swapped in:" && show_install
        [[ $told != *r* ]] && seen_event "opened $new_version" &&
            told+=r && say "   Quorel restarted into $new_version."
        sleep 2
    done
    step "Quorel was closed"
    show_install
    exit 0
fi
helper reveal "$question" >/dev/null
screenshot 02-update-question

helper press "$question" 6 >/dev/null || fail "could not answer the update question"
say "   Answered \"是\" (Yes): Quorel downloads the new executable."
out=$(helper --child $bar wait "$question" "$wait_ms") || fail "the download's progress window did not appear"
helper --child $bar reveal "$question" >/dev/null
say "   Its progress window appeared: \"$(sed -n 's/^text //p' <<<"$out")\", the bar at ${out##*bar }."
screenshot 03-downloading
out=$(helper wait "更新成功！" "$wait_ms") || fail "$(helper wait "更新失败！" 1000 >/dev/null &&
    echo "Quorel reported that the update failed (更新失败！)" || echo "no answer to the update appeared")"
say "   The success box \"更新成功！\" appeared: ${out#*text }"
helper reveal "更新成功！" >/dev/null
screenshot 04-update-success
show_install

helper press "更新成功！" 6 >/dev/null || fail "could not answer the restart question"
say "   Answered \"是\" (Yes): Quorel restarts into the new executable."
timeout 120 bash -c "until grep -q '^event opened $new_version\$' '$events'; do sleep 0.5; done" ||
    fail "the new version did not open the web application"
helper wait "$caption" "$wait_ms" "$install_win" >/dev/null || fail "the restarted window did not appear"
say "   The restarted copy runs from $install_win and opened the web application as $new_version."
screenshot 05-restarted
# The old process counts the new release as up only once it has stayed up a moment, then ends.
timeout 60 bash -c "until grep -q 'restart into the new release' '$log_file' 2>/dev/null; do sleep 0.5; done" ||
    fail "the old process never judged the restart"

step "What happened"
seen_event "opened 3.2" || fail "the web application was never asked for with \"?ver3.2\""
say "   1. The downloaded $download_win (3.2.0.0) opened the web application with \"?ver3.2\","
say "      installed itself as $install_win, started that copy and closed."
say "   2. The installed copy opened its window \"$caption\" and placed its shortcuts (listed above)."
say "   3. Twenty seconds later it asked the update server, which offered $new_version; the question was answered Yes."
say "   4. It downloaded Quorel.exe $new_version in its progress window, found it signed by its own publisher,"
say "      $(signer_of "$demo/$arch-next/Quorel.exe"),"
say "      kept the old image as OldExecutable.bak and restarted into $new_version:"
show_install
say "   Running Quorel processes:"
tool processes Quorel.exe | sed 's/^/   /'
say "   The update log, C:\\users\\$user\\AppData\\Local\\Quorelware\\update.log (what support would read):"
sed 's/^/     /' "$log_file" 2>/dev/null || say "     (no log)"
say "   Screenshots: ${shots#"$root"/}/"
ls "$shots" | sed 's/^/     /'
say "" "Done. The demo server, Wine and the virtual display are being stopped."
