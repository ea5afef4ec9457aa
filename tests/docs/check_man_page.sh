#!/bin/sh
# Usage: check_man_page.sh PAGE NAME
# Fails when man warns about PAGE, or when its rendering lacks a NAME section
# that begins with NAME.
set -u
unset MANOPT
export LC_ALL=C.UTF-8 MANWIDTH=80
warnings=$(man --warnings -E UTF-8 -l "$1" 2>&1 >/dev/null) || { echo "man failed on $1"; exit 1; }
if [ -n "$warnings" ]; then
  printf '%s\n' "$warnings"
  exit 1
fi
man -E UTF-8 -l "$1" 2>/dev/null | grep -A1 '^NAME$' | grep -q "^ *$2 " ||
  { echo "$1 does not render a NAME section for $2"; exit 1; }
