#!/usr/bin/env bash
# Installs what the console needs on Debian 12, in one of two sets:
#
#   scripts/install-deps.sh run      building and running the console
#   scripts/install-deps.sh package  the above, and what building the Debian
#                                    package needs (dpkg-shlibdeps, file)
#   scripts/install-deps.sh test     the above, and what the tests need: their
#                                  SNMP peers (snmp, snmpd, snmptrapd),
#                                  GoogleTest, clang, packaging tools
#
# Packages already present are left as they are. Run it as yourself: when
# something is missing it says what and why, then asks sudo to install it
# (as root it installs without sudo).
#
# The test set brings SNMP daemons whose Debian packages enable and start
# services that would hold UDP 161 and 162, the console's ports. The tests
# start their own instances in their own network namespaces, so this script
# keeps the packages from starting anything while it installs (a policy-rc.d
# that refuses every start, in place of any the machine has, put back
# afterwards), then disables exactly the units its own install enabled.
# Units that were installed before are left alone.
set -euo pipefail

run_packages=(cmake g++ make qt6-base-dev libssl-dev fonts-ipafont-gothic libcap2-bin qt6-translations-l10n)
package_packages=("${run_packages[@]}" dpkg-dev file)
test_packages=(
  "${run_packages[@]}"
  # GoogleTest, sanitizer and fuzzer runtimes
  libgtest-dev clang libclang-rt-14-dev
  # real SNMP peers, namespaces, the end-to-end scripts' tools
  snmp snmpd snmptrapd iproute2 util-linux procps python3
  # packaging and the screenshot script
  dpkg-dev file xvfb xauth xdotool imagemagick
)

set_name=${1:-}
case "$set_name" in
  run) packages=("${run_packages[@]}") ;;
  package) packages=("${package_packages[@]}") ;;
  test) packages=("${test_packages[@]}") ;;
  *)
    echo "usage: $0 run|package|test" >&2
    exit 2
    ;;
esac

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] || exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: these packages are missing: ${missing[*]}"
  if ! command -v sudo >/dev/null; then
    echo "install-deps: sudo is not installed; as root, run: apt-get install ${missing[*]}" >&2
    exit 1
  fi
  echo "install-deps: installing them with apt-get needs root, so sudo asks for your password now."
  exec sudo -- bash "$(cd "$(dirname "$0")" && pwd)/$(basename "$0")" "$set_name"
fi

export DEBIAN_FRONTEND=noninteractive

# Units enabled by the packages this run installs, to disable afterwards.
units=()
for p in "${missing[@]}"; do
  case "$p" in
    snmpd) units+=(snmpd.service) ;;
    snmptrapd) units+=(snmptrapd.socket snmptrapd.service) ;;
  esac
done

# deb-systemd-invoke and invoke-rc.d take their policy from this one path
# only, so a policy that refuses every start stands in for the machine's own
# for the length of the install. The machine's file is moved aside (next to
# it, so it can be found again if this script is killed) and put back by the
# trap.
policy=/usr/sbin/policy-rc.d
saved_policy=/usr/sbin/policy-rc.d.quillet-saved
policy_placed=0

restore_policy() {
  [ "$policy_placed" -eq 1 ] || return 0
  if [ -e "$saved_policy" ] || [ -L "$saved_policy" ]; then
    mv -f "$saved_policy" "$policy"
  else
    rm -f "$policy"
  fi
  policy_placed=0
}

if [ ${#units[@]} -gt 0 ]; then
  if [ -e "$saved_policy" ] || [ -L "$saved_policy" ]; then
    echo "install-deps: $saved_policy is left from an interrupted run; put it back as $policy first:" >&2
    echo "  sudo mv $saved_policy $policy" >&2
    exit 1
  fi
  trap restore_policy EXIT
  trap 'exit 1' INT TERM HUP
  if [ -e "$policy" ] || [ -L "$policy" ]; then
    mv "$policy" "$saved_policy"
  fi
  policy_placed=1
  printf '#!/bin/sh\n# Written by the console'"'"'s install-deps.sh for the length of one install.\nexit 101\n' >"$policy"
  chmod 755 "$policy"
  echo "install-deps: services of the packages installed now are not started (policy-rc.d refuses)"
fi

apt-get update
apt-get install -y -o DPkg::Lock::Timeout=900 --no-install-recommends "${missing[@]}"
restore_policy

[ ${#units[@]} -gt 0 ] || exit 0
echo "install-deps: disabling what this install enabled, so nothing holds UDP 161 or 162: ${units[*]}"
if [ -d /run/systemd/system ]; then
  systemctl disable --now "${units[@]}"
else
  # No systemd running: undo the enable links that deb-systemd-helper made
  # for the package's maintainer script (it acts only on behalf of a
  # package), and turn the init script's start links into stop links.
  for unit in "${units[@]}"; do
    name=${unit%.*}
    DPKG_MAINTSCRIPT_PACKAGE=$name deb-systemd-helper disable "$unit"
    if [ "$unit" = "$name.service" ] && [ -x "/etc/init.d/$name" ]; then
      update-rc.d "$name" disable
    fi
  done
fi
