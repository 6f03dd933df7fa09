# Sourced by the scripts: gives them a display, starting a private Xvfb when there is none.
# Sets QUOREL_XVFB_PID when it started one; quorel_stop_xvfb stops it again.
QUOREL_XVFB_PID=
quorel_start_xvfb() {
    if [ -n "${DISPLAY:-}" ] && [ "${QUOREL_FORCE_XVFB:-0}" != 1 ]; then
        return 0
    fi
    local n=${1:-99}
    while [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ]; do
        n=$((n + 1))
    done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    QUOREL_XVFB_PID=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 100); do
        [ -e "/tmp/.X11-unix/X${n}" ] && return 0
        sleep 0.1
    done
    echo "Xvfb did not start on :$n" >&2
    return 1
}
quorel_stop_xvfb() {
    if [ -n "$QUOREL_XVFB_PID" ]; then
        kill "$QUOREL_XVFB_PID" 2>/dev/null || true
        wait "$QUOREL_XVFB_PID" 2>/dev/null || true
        QUOREL_XVFB_PID=
    fi
}
