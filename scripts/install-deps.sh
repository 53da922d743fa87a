#!/usr/bin/env bash
# Installs what building, running and testing the console needs on Debian 12.
# Runs as root (or through sudo); packages already present are left as they are.
set -euo pipefail

packages=(
  # build and run
  cmake g++ make qt6-base-dev fonts-ipafont-gothic
  # tests: GoogleTest, sanitizer and fuzzer runtimes, real SNMP peers, namespaces
  libgtest-dev clang libclang-rt-14-dev snmp snmpd snmptrapd iproute2 util-linux procps
  # packaging and the screenshot script
  dpkg-dev libcap2-bin file xvfb xauth xdotool imagemagick
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y -o DPkg::Lock::Timeout=900 --no-install-recommends "${missing[@]}"
fi
