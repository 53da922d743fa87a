# shellcheck shell=bash
# Sourced by run.sh and test.sh: the build folders and LOG/ belong to the
# account that runs the scripts. A folder left by an earlier run through
# sudo is owned by root, and cmake or the console would fail on it with a
# bare "Permission denied"; this says which folder it is and how to get it
# back instead.

# require_own PATH...: returns 0 when each PATH that exists, and everything
# below it, belongs to the current user; otherwise prints the command that
# gives it back and returns 1. Root owns everything it needs.
require_own() {
    [ "$(id -u)" -ne 0 ] || return 0
    local path foreign=()
    for path in "$@"; do
        [ -e "$path" ] || continue
        if [ -n "$(find "$path" ! -user "$(id -u)" -print -quit 2>/dev/null)" ] ||
            ! find "$path" -maxdepth 0 -writable | grep -q .; then
            foreign+=("$path")
        fi
    done
    [ ${#foreign[@]} -gt 0 ] || return 0
    echo "These belong to another account (an earlier run through sudo?), so this one cannot write there:" >&2
    printf '  %s\n' "${foreign[@]}" >&2
    echo "Give them back to $(id -un) with:" >&2
    printf '  sudo chown -R %s:%s' "$(id -un)" "$(id -gn)" >&2
    printf ' %q' "${foreign[@]}" >&2
    printf '\n' >&2
    return 1
}
