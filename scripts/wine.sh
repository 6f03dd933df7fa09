# Sourced by the scripts and the Wine wrapper: which Wine loader to run.
# Debian's "wine" command always goes through Wine's 32-bit loader. A kernel without 32-bit support
# cannot start it, and then nothing runs at all; the 64-bit loader still runs 64-bit programs.
quorel_wine=wine
QUOREL_RUNS_I686=1
if ! /usr/lib/wine/wine --version >/dev/null 2>&1 && [ -x /usr/lib/wine/wine64 ]; then
    quorel_wine=/usr/lib/wine/wine64
    # Programs that Wine starts from Windows programs take the same loader.
    export WINELOADER=$quorel_wine
    QUOREL_RUNS_I686=0
fi
