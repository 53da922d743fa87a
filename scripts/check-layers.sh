#!/usr/bin/env bash
# Checks that includes run one way only, down the layers (ARCHITECTURE.md):
# every quoted #include of a product file names a folder that its own folder
# may include, and only the listener and the window include Qt. A file whose
# layer is not its folder's has a rule of its own, which names the folders
# and the files it may include (its own folder is then no longer free to
# it). Prints each violation as FILE:LINE and exits 1 when there is one.
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

# Files below their folder's layer, by path without the extension (both the
# .h and the .cpp): the echo messages of ping/ are core, beside the platform
# worker that sends them.
declare -A may_file=(
  [ping/IcmpEcho]="text output ping/IcmpEcho"
)

bad=0
for folder in "${!may[@]}"; do
  [ -d "$folder" ] || continue
  while IFS= read -r hit; do
    file=${hit%%:*}
    rest=${hit#*:}
    line=${rest%%:*}
    text=${rest#*:}
    stem=${file%.*}
    if [[ $text =~ \#include[[:space:]]*\"(([^/\"]+)/[^\"]+)\" ]]; then
      target=${BASH_REMATCH[2]}
      targetStem=${BASH_REMATCH[1]%.*}
      if [ -n "${may_file[$stem]+set}" ]; then
        if [[ " ${may_file[$stem]} " != *" $target "* && " ${may_file[$stem]} " != *" $targetStem "* ]]; then
          echo "$file:$line: $stem may not include $targetStem: $text"
          bad=1
        fi
        continue
      fi
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
# A folder whose files go to the core and to another library (its
# CMakeLists.txt) holds core files that need a rule of their own above, and
# a rule of its own is only for a file the core builds.
for dir in */; do
  dir=${dir%/}
  [ -f "$dir/CMakeLists.txt" ] || continue
  core=$(sed -n '/target_sources(quillet_core/,/)/p' "$dir/CMakeLists.txt" | grep -o '[A-Za-z0-9_]*\.cpp' || true)
  others=$(grep -c 'target_sources(quillet_' "$dir/CMakeLists.txt" || true)
  [ -n "$core" ] && [ "$others" -gt 1 ] || continue
  for source in $core; do
    if [ -z "${may_file[$dir/${source%.cpp}]+set}" ]; then
      echo "$dir/$source: a core file in a folder of another layer, with no rule of its own here"
      bad=1
    fi
  done
done
for stem in "${!may_file[@]}"; do
  if ! sed -n '/target_sources(quillet_core/,/)/p' "${stem%/*}/CMakeLists.txt" 2>/dev/null | grep -qw "${stem##*/}\.cpp"; then
    echo "$stem: has a core rule here but is not built into quillet_core"
    bad=1
  fi
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
