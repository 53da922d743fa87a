#!/bin/bash
# The Debian package end to end: builds it with cpack from the build
# directory, installs it with apt-get, checks the one capability its
# postinst sets, the desktop entry and the icon, then starts the installed console as
# an ordinary user (uid 65534) in a network namespace of its own: it must
# write its start mark, hold UDP 161 and 162, and write its stop mark on
# SIGTERM. Finally removes the package again.
#   $1: the quillet executable (not used: the package is built from $2)
#   $2: the build directory (holds CPackConfig.cmake)
# Skips (exit 77) when not root, when network namespaces are unavailable, or
# when a quillet package that this test did not install is already there.
set -u

build="${2:?usage: package_test.sh QUILLET BUILD_DIR}"
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
nobody=65534

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: the package test needs root (dpkg, network namespaces)"
    exit 77
fi
if ! ip netns list >/dev/null 2>&1; then
    echo "SKIP: ip netns is unavailable"
    exit 77
fi
for tool in cpack dpkg-deb dpkg-shlibdeps apt-get getcap setpriv ss iconv flock timeout; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "FAIL: $tool is missing (scripts/install-deps.sh test installs it)"
        exit 1
    fi
done
if [ ! -f "$build/CPackConfig.cmake" ]; then
    echo "FAIL: $build/CPackConfig.cmake is missing"
    exit 1
fi

# Builds from several checkouts may run this test at the same time; the
# package is machine-wide, so one at a time.
exec 9>/tmp/quillet-package-test.lock
if ! flock -w 200 9; then
    echo "FAIL: another package test holds /tmp/quillet-package-test.lock"
    exit 1
fi

# Set just before installing and cleared after removing: a package found
# installed with this marker present is a leftover of an interrupted run.
marker=/var/tmp/quillet-package-test.installed

package_installed() {
    dpkg-query -W -f='${Status}' quillet 2>/dev/null | grep -q 'install ok installed'
}

if package_installed && [ ! -e "$marker" ]; then
    echo "SKIP: a quillet package is installed on this machine; leaving it alone"
    exit 77
fi

tag="$$"
ns="quillet-pkg-$tag"
work="$(mktemp -d)"
pid=""
failures=0

remove_package() {
    DEBIAN_FRONTEND=noninteractive timeout 120 apt-get remove -y -o DPkg::Lock::Timeout=60 quillet \
        >>"$work/remove.log" 2>&1 || timeout 60 dpkg -r quillet >>"$work/remove.log" 2>&1
}

cleanup() {
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    fi
    ip netns del "$ns" 2>/dev/null
    if [ -e "$marker" ]; then
        if package_installed || dpkg-query -W quillet >/dev/null 2>&1; then
            remove_package
            timeout 60 dpkg -P quillet >/dev/null 2>&1
        fi
        rm -f "$marker"
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Ends the test here; the trap cleans up.
fatal() {
    echo "FAIL: $*"
    echo "$((failures + 1)) check(s) failed"
    exit 1
}

# apt's download sandbox user must be able to read the package.
chmod 755 "$work"
mkdir -m 755 "$work/out"

# 1. Build the package.
if ! (cd "$build" && timeout 200 cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    fatal "cpack -G DEB"
fi
debs=("$work"/out/quillet_*.deb)
if [ "${#debs[@]}" -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    ls -l "$work/out"
    fatal "expected exactly one quillet_*.deb"
fi
deb="${debs[0]}"
echo "built $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
name="$(field Package)_$(field Version)_$(field Architecture).deb"
[ "$(basename "$deb")" = "$name" ] || fail "file name $(basename "$deb") is not $name"
[ "$(field Package)" = quillet ] || fail "package name is $(field Package)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture is $(field Architecture)"
[ "$(field Section)" = net ] || fail "section is $(field Section)"
[ -n "$(field Maintainer)" ] || fail "no maintainer"
[ -n "$(field Description)" ] || fail "no description"
# The description's own punctuation survives the build of the package.
grep -qF "ports 161 and 162; it gives it up" <<<"$(field Description)" || fail "description lost its semicolon"
depends="$(field Depends)"
# The package names alone, one a line.
depends_names="$(tr ',' '\n' <<<"$depends" | sed -E 's/^ *//; s/[ (].*$//')"
for needed in fonts-ipafont-gothic libcap2-bin libqt6widgets6 libqt6core6 libc6 libstdc++6; do
    grep -qxF "$needed" <<<"$depends_names" || fail "Depends lacks $needed: $depends"
done
[ "$(field Recommends)" = qt6-translations-l10n ] || fail "Recommends is $(field Recommends)"
contents="$(dpkg-deb -c "$deb")"
grep -Eq ' \./usr/bin/quillet$' <<<"$contents" || fail "the package does not hold ./usr/bin/quillet"
dpkg-deb -I "$deb" postinst >/dev/null 2>&1 || fail "the package has no postinst"

# 2. Install it.
touch "$marker"
if ! DEBIAN_FRONTEND=noninteractive timeout 150 apt-get install -y -o DPkg::Lock::Timeout=60 \
    --no-install-recommends "$deb" >"$work/install.log" 2>&1; then
    echo "apt-get install failed; trying dpkg -i"
    if ! timeout 60 dpkg -i "$deb" >>"$work/install.log" 2>&1; then
        DEBIAN_FRONTEND=noninteractive timeout 150 apt-get -f install -y -o DPkg::Lock::Timeout=60 \
            --no-install-recommends >>"$work/install.log" 2>&1
    fi
fi
if ! package_installed; then
    cat "$work/install.log"
    fatal "the package did not install"
fi
echo "ok: installed"

# 3. What the package put in place.
[ -x /usr/bin/quillet ] || fatal "/usr/bin/quillet is missing"
caps="$(getcap /usr/bin/quillet)"
echo "getcap: $caps"
# Exactly one capability, effective and permitted: nothing else (no
# cap_net_raw) for a Qt program any local user may start.
[ "$caps" = "/usr/bin/quillet cap_net_bind_service=ep" ] ||
    fail "getcap should show cap_net_bind_service=ep only: $caps"

desktop=/usr/share/applications/quillet.desktop
icon=/usr/share/icons/hicolor/scalable/apps/quillet.svg
if [ -f "$desktop" ]; then
    cmp -s "$desktop" "$source_dir/packaging/quillet.desktop" || fail "$desktop differs from the source"
    for line in '[Desktop Entry]' 'Type=Application' 'Name=Quillet' 'Exec=quillet' 'Icon=quillet' \
        'Terminal=false' 'Categories=Network;'; do
        grep -qxF "$line" "$desktop" || fail "$desktop lacks the line $line"
    done
    grep -q '^Comment=.' "$desktop" || fail "$desktop has no Comment"
    grep -q '^Comment\[ja\]=.' "$desktop" || fail "$desktop has no Comment[ja]"
else
    fail "$desktop is missing"
fi
if [ -f "$icon" ]; then
    cmp -s "$icon" "$source_dir/packaging/quillet.svg" || fail "$icon differs from the source"
    grep -q '<svg' "$icon" || fail "$icon is not an SVG image"
else
    fail "$icon is missing"
fi

# 4. The installed console, as an ordinary user, in a namespace of its own.
if ! ip netns add "$ns" 2>/dev/null; then
    fatal "cannot create the network namespace $ns"
fi
ip -n "$ns" link set lo up
run="$work/run"
mkdir "$run"
chmod 777 "$run"
xdg="$work/xdg"
mkdir -m 700 "$xdg"
chown "$nobody:$nobody" "$xdg"

(cd "$run" && exec ip netns exec "$ns" setpriv --reuid=$nobody --regid=$nobody --clear-groups \
    env -i PATH=/usr/bin:/bin HOME="$run" XDG_RUNTIME_DIR="$xdg" QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 \
    /usr/bin/quillet) >"$work/quillet.out" 2>&1 &
pid=$!

# The start mark is 46 bytes of code page 932: the 17-character mark, the
# date and time with their kanji, CR LF.
start_pattern='^\+\+LOGGING START  [0-9]{4}年[0-9]{2}月[0-9]{2}日 [0-9]{2}時[0-9]{2}分[0-9]{2}秒$'
stop_pattern='^--LOGGING STOP   [0-9]{4}年[0-9]{2}月[0-9]{2}日 [0-9]{2}時[0-9]{2}分[0-9]{2}秒$'
log=""
sigterm_caught() {
    # Bit 14 of SigCgt is SIGTERM: set once the console has its handler.
    local mask
    mask="$(awk '/^SigCgt:/ {print $2}' "/proc/$pid/status" 2>/dev/null)"
    [ -n "$mask" ] && (((0x$mask >> 14) & 1))
}
port_bound() {
    ip netns exec "$ns" ss -H -uln "sport = :$1" | grep -q .
}
ready=0
for _ in $(seq 1 300); do
    kill -0 "$pid" 2>/dev/null || break
    logs=("$run"/LOG/*.LOG)
    if [ -f "${logs[0]}" ] && [ "$(stat -c %s "${logs[0]}")" -ge 46 ] && port_bound 161 && port_bound 162 &&
        sigterm_caught; then
        log="${logs[0]}"
        ready=1
        break
    fi
    sleep 0.1
done
if [ "$ready" -ne 1 ]; then
    ls -lR "$run"
    ip netns exec "$ns" ss -H -ulnp
    cat "$work/quillet.out"
    kill -0 "$pid" 2>/dev/null || fatal "the installed console ended at start-up"
    fatal "no start mark, no bound ports 161/162 or no SIGTERM handler within 30 s (a bind failure stops start-up in its box)"
fi
echo "ok: started, log $(basename "$log")"

[[ "$(basename "$log")" =~ ^[0-9]{8}\.LOG$ ]] || fail "log file name $(basename "$log")"
head -c 46 "$log" | tail -c 2 | od -An -tx1 | grep -q '0d 0a' || fail "the start mark does not end with CR LF at byte 46"
start_text="$(head -c 44 "$log" | iconv -f CP932 -t UTF-8)"
[[ "$start_text" =~ $start_pattern ]] || fail "start mark: '$start_text'"

uid="$(awk '/^Uid:/ {print $2}' "/proc/$pid/status")"
[ "$uid" = "$nobody" ] || fail "the console runs as uid $uid"
# The console may still hold cap_net_bind_service (bit 10) or have given it
# up once bound; it holds nothing else in any set.
for set in CapEff CapPrm CapInh CapAmb; do
    value="$(awk -v set="$set:" '$1 == set {print $2}' "/proc/$pid/status")"
    (((0x$value & ~(1 << 10)) == 0)) || fail "the console holds more than cap_net_bind_service: $set $value"
done

sockets="$(ip netns exec "$ns" ss -H -ulnp)"
echo "$sockets"
for port in 161 162; do
    grep -E "(0\.0\.0\.0|\*):$port " <<<"$sockets" | grep -q '"quillet"' ||
        fail "UDP $port on all interfaces is not held by quillet"
done

# 5. SIGTERM: the window closes as if the operator closed it.
kill -TERM "$pid"
for _ in $(seq 1 150); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
    fail "the console is still running 15 s after SIGTERM"
else
    wait "$pid"
    status=$?
    pid=""
    [ "$status" -eq 0 ] || fail "the console exited with status $status after SIGTERM"
fi

size="$(stat -c %s "$log")"
# Start mark (46 bytes) and stop mark (44 bytes, CR LF, CR LF): nothing else
# was logged in this run.
[ "$size" -eq 94 ] || fail "the log holds $size bytes, not 46 + 48"
stop_text="$(tail -c 48 "$log" | head -c 44 | iconv -f CP932 -t UTF-8)"
[[ "$stop_text" =~ $stop_pattern ]] || fail "stop mark: '$stop_text'"
tail -c 4 "$log" | od -An -tx1 | grep -q '0d 0a 0d 0a' || fail "the stop mark does not end with CR LF CR LF"
if [ "$failures" -eq 0 ]; then echo "ok: start and stop marks"; fi
if [ -s "$work/quillet.out" ]; then
    echo "console output:"
    cat "$work/quillet.out"
fi

# 6. Remove it again.
remove_package
if package_installed; then
    cat "$work/remove.log"
    fail "the package is still installed after removal"
fi
for file in /usr/bin/quillet "$desktop" "$icon"; do
    [ ! -e "$file" ] || fail "$file is left after removal"
done
rm -f "$marker"
ip netns del "$ns" 2>/dev/null

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all package checks passed"
