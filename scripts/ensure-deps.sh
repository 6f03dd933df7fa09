#!/usr/bin/env bash
# Installs the build and test dependencies when any of them is missing (Debian 12).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

missing=0
for tool in cmake python3 i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix i686-w64-mingw32-windres \
            wine wineserver Xvfb xwd osslsigncode openssl; do
    command -v "$tool" >/dev/null 2>&1 || missing=1
done
[ -d /usr/src/googletest/googletest ] || missing=1
[ -e /usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll ] || missing=1
[ -x /usr/bin/convert ] || missing=1
locale -a 2>/dev/null | grep -qi '^zh_CN\.utf8$' || missing=1
fc-list 2>/dev/null | grep -qi 'wqy' || missing=1
[ "$missing" = 0 ] && exit 0

echo "Installing the build and test dependencies (Debian packages)..."
if [ "$(id -u)" = 0 ]; then
    bash "$root/.ci/install-deps"
else
    sudo bash "$root/.ci/install-deps"
fi
