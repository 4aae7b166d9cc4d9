#!/usr/bin/env bash
# Builds the HTML API reference in BUILD_DIR (any Doxygen warning fails it) and
# checks that the families page lists every function kelvra.h declares.
set -euo pipefail
build=${1:?usage: check_docs.sh BUILD_DIR}
here=$(cd "$(dirname "$0")/.." && pwd)
cmake --build "$build" --target kelvra_docs
declared=$(grep -o 'kelvra_[a-z0-9_]*(' "$here/include/kelvra.h" | tr -d '(' | grep -v '_fn$' | sort -u)
listed=$(grep -o 'kelvra_[a-z0-9_]*()' "$here/docs/families.md" | tr -d '()' | sort -u)
if [ "$declared" != "$listed" ]; then
  echo "docs/families.md and kelvra.h differ (< header, > page):"
  diff <(echo "$declared") <(echo "$listed") || true
  exit 1
fi
echo "API reference built without warnings; the families page lists all $(echo "$declared" | wc -l) functions"
