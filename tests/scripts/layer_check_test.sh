#!/usr/bin/env bash
# Runs scripts/check-layers over small trees, one row each: the files with
# the one include each holds, and what the check must answer ("pass", or a
# piece of its complaint).
set -euo pipefail
check="$(cd "$(dirname "$0")/../.." && pwd)/scripts/check-layers"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

rows=(
  'pass|link/a.cpp:"platform/port.h" shell/m.cpp:"app/context.h" platform/t.cpp:<termios.h>'
  'a layer above it|core/x.h:"link/y.h"'
  'a layer above it|link/a.cpp:"app/context.h"'
  'pass|export/t.cpp:"datapath/nmea_fields.h"'
  'a layer above it|datapath/d.cpp:"export/track_export.h"'
  'only platform/ and core/|sim/s.cpp:"link/y.h"'
  'belong in platform/ and shell/qt/|core/x.cpp:<unistd.h>'
  'belong in platform/ and shell/qt/|ui/u.cpp:<QWidget>'
  'pass|shell/qt/w.cpp:<QWidget>'
  # folders that use each other: fine while no module goes round
  'pass|control/cmd.cpp:"update/up.h" update/up.cpp:"control/store.h"'
  'in a cycle|control/cmd.cpp:"update/up.h" update/up.h:"control/cmd.h"'
  'in a cycle|link/a.h:"link/b.h" link/b.cpp:"link/a.h"'
)

failed=0
for n in "${!rows[@]}"; do
  row="${rows[$n]}"
  want="${row%%|*}"
  tree="$work/$n"
  mkdir -p "$tree"
  git -C "$tree" init -q
  for entry in ${row#*|}; do
    file="${entry%%:*}"
    mkdir -p "$tree/$(dirname "$file")"
    echo "#include ${entry#*:}" >>"$tree/$file"
  done
  git -C "$tree" add -A
  rc=0
  out="$("$check" "$tree" 2>&1)" || rc=$?
  if [ "$want" = pass ]; then
    [ "$rc" -eq 0 ] || { echo "row $n: expected to pass, got: $out"; failed=1; }
  elif [ "$rc" -eq 0 ] || ! grep -qF -- "$want" <<<"$out"; then
    echo "row $n: expected a failure with \"$want\", got (exit $rc): $out"; failed=1
  fi
done
[ "$failed" -eq 0 ] && echo "layer check: ${#rows[@]} rows as expected"
exit "$failed"
