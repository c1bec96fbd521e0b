#!/bin/sh
# SPDX-License-Identifier: MIT
# A tool in standard-output mode, without the library: it traces its own
# command line, then does what its last argument says:
#   fault  a node of a kind the formalism does not define (a model fault)
#   hang   waits 30 seconds, then ends without END_TOOL
# and otherwise ends with END_TOOL(0) and the end lock file.
args="$*"
echo "START_TOOL(1:C,2,1,2,6,2,3,2:Sh,1:1,0:)"
echo "TR(${#args}:$args)"
for mode; do :; done
case "$mode" in
  fault) echo "CN(6:circle,2)" ;;
  hang) exec sleep 30 ;;  # the tool itself waits, so that stopping it ends it
esac
echo "END_TOOL(0)"
mkdir -p QX_MNGR && : > QX_MNGR/QX_exec_finished.lock
