#!/usr/bin/env bash
# Checks that includes run one way only, down the layers (ARCHITECTURE.md):
# every quoted #include of a product file names a folder that its own folder
# may include, and only the listener and the window include Qt. Prints each
# violation as FILE:LINE and exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

# The folders each folder may include besides itself, bottom up.
declare -A may=(
  [text]=""
  [output]="text"
  [request]="text output snmpv3"
  [response]="text output"
  [trap]="text output response"
  [snmpv3]="text output"
  [exchange]="text output request response trap snmpv3"
  [platform]="text output"
  [ping]="text output platform"
  [listener]="text output request response trap snmpv3 exchange platform"
  [console]="text output request response trap snmpv3 exchange ping platform listener"
)
qt_allowed=" listener console "

bad=0
for folder in "${!may[@]}"; do
  [ -d "$folder" ] || continue
  while IFS= read -r hit; do
    file=${hit%%:*}
    rest=${hit#*:}
    line=${rest%%:*}
    text=${rest#*:}
    if [[ $text =~ \#include[[:space:]]*\"([^/\"]+)/ ]]; then
      target=${BASH_REMATCH[1]}
      [ "$target" = "$folder" ] && continue
      if [[ " ${may[$folder]} " != *" $target "* ]]; then
        echo "$file:$line: $folder/ may not include $target/: $text"
        bad=1
      fi
    elif [[ $text =~ \#include[[:space:]]*\<Q ]]; then
      if [[ $qt_allowed != *" $folder "* ]]; then
        echo "$file:$line: $folder/ may not include Qt: $text"
        bad=1
      fi
    fi
  done < <(grep -n -H -E '^[[:space:]]*#[[:space:]]*include' -r "$folder" --include='*.h' --include='*.cpp' || true)
done
# A folder of product code that the table does not know is a folder nobody
# has placed in the layers yet.
for dir in */; do
  dir=${dir%/}
  case "$dir" in tests|bench|scripts|docs|packaging|build*) continue ;; esac
  if [ -z "${may[$dir]+set}" ] && compgen -G "$dir/*.cpp" >/dev/null; then
    echo "$dir/: a folder of code that no layer names (add it to scripts/check-layers.sh and ARCHITECTURE.md)"
    bad=1
  fi
done
[ $bad = 0 ] && echo "layers: every include runs down"
exit $bad
