#!/bin/sh
# SPDX-License-Identifier: MIT
# Renders a manual page with groff, warnings on, output discarded: the page
# fails on any warning or error. Skipped (77) where groff is not installed.
page=$1
command -v groff >/dev/null 2>&1 || { echo "groff not installed"; exit 77; }
[ -r "$page" ] || { echo "cannot read $page"; exit 1; }
warnings=$(groff -t -man -ww -z "$page" 2>&1) || { echo "$warnings"; exit 1; }
if [ -n "$warnings" ]; then
  echo "$warnings"
  exit 1
fi
exit 0
