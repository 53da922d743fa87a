#!/bin/bash
# The test command's install step (scripts/install-deps.sh test) on a machine
# where the SNMP daemons are not installed yet: it installs snmpd and
# snmptrapd but leaves no SNMP service enabled or running, and leaves the
# machine's policy-rc.d as it was. Two cases, each from a purge of snmpd and
# snmptrapd:
#   1. no /usr/sbin/policy-rc.d at all;
#   2. a policy-rc.d of the machine's own that lets every service start.
# Without systemd running (as in a container) the packages still create
# their enable links (/etc/systemd/system/*.wants) and init script links
# (/etc/rc?.d), and invoke-rc.d would start the daemons through /sbin/init's
# scripts; those are what is checked, with the daemons' processes.
# Whatever was installed and enabled before is put back at the end.
#   $1, $2: the quillet executable and the build directory (not used)
# Skips (exit 77) when not root or when apt-get or dpkg is missing.
set -u

source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
install="$source_dir/scripts/install-deps.sh"
daemons=(snmpd snmptrapd)
policy=/usr/sbin/policy-rc.d

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: the install test needs root (it purges and installs packages)"
    exit 77
fi
for tool in apt-get dpkg-query deb-systemd-helper update-rc.d flock timeout tar; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is missing"
        exit 77
    fi
done

# The other end-to-end scripts take this lock shared while they use snmpd.
exec 9>>/tmp/quillet-snmp-packages.lock
if ! flock -w 600 9; then
    echo "FAIL: /tmp/quillet-snmp-packages.lock stayed held for 600 s"
    exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt_get() { timeout 600 apt-get -y -o DPkg::Lock::Timeout=900 "$@"; }
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

work="$(mktemp -d)"
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# What the machine has now, to put back at the end.
originally=()
for p in "${daemons[@]}"; do
    installed "$p" && originally+=("$p")
done
had_policy=0
if [ -e "$policy" ]; then
    had_policy=1
    cp -a "$policy" "$work/policy.machine"
fi
# Their enable and init links, the enable state deb-systemd-helper keeps,
# and their configuration.
saved_paths() {
    local path
    for path in /etc/systemd/system/*.wants/snmp* /etc/rc?.d/[SK][0-9][0-9]snmp* \
        /var/lib/systemd/deb-systemd-helper-enabled /var/lib/systemd/deb-systemd-helper-masked \
        /etc/snmp /etc/default/snmpd; do
        [ -e "$path" ] || [ -L "$path" ] && echo "${path#/}"
    done
}
saved_paths >"$work/saved.list"
tar -C / -cpf "$work/saved.tar" -T "$work/saved.list" 2>/dev/null
systemd_running=0
[ -d /run/systemd/system ] && systemd_running=1
active_units=()
if [ "$systemd_running" -eq 1 ]; then
    for unit in snmpd.service snmptrapd.socket snmptrapd.service; do
        systemctl -q is-active "$unit" && active_units+=("$unit")
    done
fi

# The machine's own daemons: what the packages' init scripts and units start
# writes its pid to /run/snmpd.pid or /run/snmptrapd.pid (the tests' own
# agents, here and elsewhere, keep theirs in their own folders).
host_daemons() {
    pgrep -f '^/usr/sbin/snmp(trap)?d .*-p /run/snmp(trap)?d\.pid' || true
}
host_daemons | sort >"$work/daemons.before"

# Daemons started since the test began are stopped by their pid.
stop_new_daemons() {
    local pid
    for pid in $(host_daemons | sort | comm -13 "$work/daemons.before" -); do
        kill "$pid" 2>/dev/null
    done
}

restore() {
    set +e
    stop_new_daemons
    if [ "$had_policy" -eq 1 ]; then
        cmp -s "$policy" "$work/policy.machine" || cp -a "$work/policy.machine" "$policy"
    else
        rm -f "$policy"
    fi
    rm -f /usr/sbin/policy-rc.d.quillet-saved
    local p extra=()
    for p in "${daemons[@]}"; do
        [[ " ${originally[*]} " == *" $p "* ]] || ! installed "$p" || extra+=("$p")
    done
    [ ${#extra[@]} -eq 0 ] || apt_get purge "${extra[@]}" >>"$work/restore.log" 2>&1
    if [ ${#originally[@]} -gt 0 ]; then
        # Installed again if a case ended half-way, then their links, enable
        # state and configuration as they were.
        for p in "${originally[@]}"; do
            installed "$p" || apt_get install --no-install-recommends "$p" >>"$work/restore.log" 2>&1
        done
        rm -f /etc/systemd/system/*.wants/snmp* /etc/rc?.d/[SK][0-9][0-9]snmp*
        tar -C / -xpf "$work/saved.tar" 2>>"$work/restore.log"
        if [ "$systemd_running" -eq 1 ]; then
            systemctl daemon-reload
            for unit in snmpd.service snmptrapd.socket snmptrapd.service; do
                if [[ " ${active_units[*]} " == *" $unit "* ]]; then
                    systemctl start "$unit"
                else
                    systemctl stop "$unit"
                fi
            done
        else
            stop_new_daemons
        fi
        for p in "${originally[@]}"; do
            installed "$p" || {
                echo "FAIL: could not put $p back; apt said:"
                cat "$work/restore.log"
            }
        done
    fi
    rm -rf "$work"
}
trap restore EXIT
trap 'exit 1' INT TERM HUP

# Links that enable a daemon: systemd's wants links and the init scripts'
# start links.
enabled_links() {
    local link
    for link in /etc/systemd/system/*.wants/snmp* /etc/rc?.d/S[0-9][0-9]snmp*; do
        [ -L "$link" ] && echo "$link"
    done
}

# run_case NAME: purges the daemons, runs the install step, checks.
run_case() {
    local name="$1"
    if ! apt_get purge "${daemons[@]}" >"$work/purge-$name.log" 2>&1; then
        cat "$work/purge-$name.log"
        fail "$name: apt-get purge ${daemons[*]}"
        return
    fi
    for p in "${daemons[@]}"; do
        installed "$p" && fail "$name: $p is still installed after the purge"
    done
    local policy_before=""
    [ -e "$policy" ] && policy_before="$(stat -c '%a %U %G' "$policy") $(sha256sum <"$policy")"

    if ! timeout 600 "$install" test >"$work/install-$name.log" 2>&1; then
        cat "$work/install-$name.log"
        fail "$name: install-deps.sh test failed"
    fi
    for p in "${daemons[@]}"; do
        installed "$p" || fail "$name: $p was not installed"
    done
    local links
    links="$(enabled_links)"
    [ -z "$links" ] || fail "$name: the install left SNMP services enabled: $(echo $links)"
    # A refused start leaves no process; one that slipped through may take
    # a few seconds to appear (the init script returns before the daemon
    # is up), so look for 5 s.
    local started="" i
    for i in $(seq 1 25); do
        started="$(host_daemons | sort | comm -13 "$work/daemons.before" -)"
        [ -z "$started" ] || break
        sleep 0.2
    done
    [ -z "$started" ] || fail "$name: SNMP daemons are running after the install: $(ps -o pid=,args= -p "$(echo $started | tr ' ' ,)")"
    if [ "$systemd_running" -eq 1 ]; then
        local unit
        for unit in snmpd.service snmptrapd.socket snmptrapd.service; do
            ! systemctl -q is-active "$unit" || fail "$name: $unit is active after the install"
        done
    fi
    local policy_after=""
    [ -e "$policy" ] && policy_after="$(stat -c '%a %U %G' "$policy") $(sha256sum <"$policy")"
    [ "$policy_after" = "$policy_before" ] ||
        fail "$name: $policy changed: before '$policy_before', after '$policy_after'"
    [ ! -e /usr/sbin/policy-rc.d.quillet-saved ] || fail "$name: policy-rc.d.quillet-saved was left behind"
    [ "$failures" -ne 0 ] || echo "ok: $name"
}

# 1. No policy-rc.d: invoke-rc.d would start the init scripts.
rm -f "$policy"
run_case "no policy-rc.d"

# 2. The machine's own policy-rc.d allows every start; it must stay as it is.
printf '#!/bin/sh\n# allows everything (install_test.sh)\nexit 0\n' >"$policy"
chmod 750 "$policy"
run_case "a policy-rc.d that allows starts"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all install checks passed"
