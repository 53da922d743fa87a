#!/usr/bin/env bash
# Installs what is missing, builds the console and starts it. The log files
# go to LOG/ below the directory this is started from.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=Release -DQUILLET_BUILD_TESTS=OFF
cmake --build "$here/build" -j"$(nproc)" --target quillet
exec "$here/build/quillet"
