#!/usr/bin/env bash
# Installs what building and running need, builds the console into build/
# and starts it, all as the account that runs this script. Run it yourself,
# not through sudo: sudo is asked for twice at most, each time after saying
# why, to install missing packages and to give the built program the one
# privilege it needs (binding UDP 161 and 162). The log files go to LOG/
# below the directory this is started from.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/ownership.sh"

# The console is a window: without a desktop session Qt would abort.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "run.sh: the console needs a desktop session (X11 or Wayland), but neither DISPLAY nor" >&2
    echo "run.sh: WAYLAND_DISPLAY is set. Run this from a terminal inside your desktop session." >&2
    exit 1
fi

require_own "$here/build" "$PWD/LOG" || exit 1

"$here/scripts/install-deps.sh" run

cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=Release -DQUILLET_BUILD_TESTS=OFF
cmake --build "$here/build" -j"$(nproc)" --target quillet
quillet="$here/build/quillet"

if [ "$(id -u)" -ne 0 ]; then
    # A new link drops the capability; set it again only when it is gone.
    # getcap lives in /usr/sbin, outside an ordinary user's PATH on Debian.
    if [ "$(PATH="$PATH:/usr/sbin:/sbin" getcap "$quillet" 2>/dev/null | awk '{print $2}')" != \
        "cap_net_bind_service=ep" ]; then
        echo "run.sh: the console binds UDP ports 161 and 162, which needs the capability"
        echo "run.sh: cap_net_bind_service (and no other); it gives it up once both are bound."
        if ! command -v sudo >/dev/null; then
            echo "run.sh: sudo is not installed; as root, run: setcap cap_net_bind_service+ep $quillet" >&2
            exit 1
        fi
        echo "run.sh: setting it on build/quillet needs root, so sudo asks for your password now."
        if ! sudo setcap cap_net_bind_service+ep "$quillet"; then
            echo "run.sh: setcap failed: the file system holding $here/build does not keep file" >&2
            echo "run.sh: capabilities (extended attributes; NFS and some FUSE mounts do not)." >&2
            echo "run.sh: Clone the repository onto a local disk and run this again, or install" >&2
            echo "run.sh: the Debian package (README, \"Installing the package\")." >&2
            exit 1
        fi
    fi
fi

exec "$quillet"
