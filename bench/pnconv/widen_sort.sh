#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Writes a symmetric net scaled up from a sample by widening one of its sorts:
# the first sort the sample declares as a finite integer range or as a finite
# or cyclic enumeration gets SIZE values.
#
#   bench/pnconv/widen_sort.sh SAMPLE.pnml SIZE > WIDE.pnml
#
# A range keeps its start and ends at start + SIZE - 1. An enumeration gets
# the members PREFIX1 .. PREFIXSIZE, named 1 .. SIZE, where PREFIX is its
# first member's id without its final digits: the sample must name no member
# of that sort in its terms (its markings use `all`, its arcs variables), as
# the contest's Sudoku and SharedMemory models do. The declaration is expected
# as the contest writes it, one element per line.
set -euo pipefail
[ $# -eq 2 ] && [[ "$2" =~ ^[1-9][0-9]*$ ]] || { sed -n '3,14p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
awk -v size="$2" '
  done { print; next }
  /<finiteintrange / {
    start = $0; sub(/.*start="/, "", start); sub(/".*/, "", start)
    line = $0; sub(/end="[^"]*"/, "end=\"" (start + size - 1) "\"", line)
    print line; done = 1; next
  }
  /<(finite|cyclic)enumeration>/ { print; inside = 1; next }
  inside && /<feconstant / {
    if (!widened) {
      prefix = $0; sub(/.*id="/, "", prefix); sub(/".*/, "", prefix); sub(/[0-9]+$/, "", prefix)
      indent = $0; sub(/<.*/, "", indent)
      for (i = 1; i <= size; ++i) printf "%s<feconstant id=\"%s%d\" name=\"%d\"/>\n", indent, prefix, i, i
      widened = 1
    }
    next
  }
  inside && /<\/(finite|cyclic)enumeration>/ { print; done = 1; next }
  { print }
  END { if (!done) { print "widen_sort.sh: no finite integer range or enumeration to widen" > "/dev/stderr"; exit 1 } }
' "$1"
