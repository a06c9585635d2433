#!/usr/bin/env bash
# Compares the library's dynamic symbol table with the committed list (natives/utils/QpUtils.exports),
# so that an export added or lost shows as a diff in review. scripts/check-exports.sh [LIBRARY]
# checks; with --update it rewrites the list from the library instead.
set -euo pipefail
cd "$(dirname "$0")/.."
update=0
if [ "${1:-}" = "--update" ]; then
  update=1
  shift
fi
lib=${1:-build/default/natives/utils/libQpUtils.so}
list=natives/utils/QpUtils.exports
# Defined, dynamic, demangled; versions and addresses stripped so that the list only changes
# when the interface does.
current=$(nm -D --defined-only --demangle "$lib" | awk '{ $1 = ""; $2 = ""; sub(/^  /, ""); print }' |
  LC_ALL=C sort -u)
if [ $update = 1 ]; then
  printf '%s\n' "$current" >"$list"
  echo "$list: $(wc -l <"$list") symbols"
  exit 0
fi
if ! diff -u "$list" <(printf '%s\n' "$current"); then
  echo "the exported symbols differ from $list (scripts/check-exports.sh --update to accept)" >&2
  exit 1
fi
