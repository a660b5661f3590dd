#!/bin/sh
# What a user types first: --version, help COMMAND (the same as COMMAND
# --help, on standard output, exit 0), and for every command a usage error
# that names the command (exit 2).
. "$(dirname "$0")/common.sh"
"$SETUPKIT" --version | grep -qE '^setupkit [0-9]+\.[0-9]+\.[0-9]+$' || fail "--version: $("$SETUPKIT" --version 2>&1)"
for c in encode decode script check build list extract pin init; do
  "$SETUPKIT" help "$c" > "$WORK/help.txt" || fail "help $c failed"
  "$SETUPKIT" "$c" --help > "$WORK/own.txt" || fail "$c --help failed"
  cmp -s "$WORK/help.txt" "$WORK/own.txt" || fail "help $c differs from $c --help"
  grep -q "^usage: setupkit $c " "$WORK/help.txt" || fail "help $c: $(cat "$WORK/help.txt")"
  for bad in "--bogus" ""; do
    rc=0
    # shellcheck disable=SC2086 # an empty $bad is no argument at all
    "$SETUPKIT" "$c" $bad > /dev/null 2> "$WORK/err.txt" || rc=$?
    [ $rc -eq 2 ] || fail "$c ${bad:-without arguments}: exit $rc"
    grep -q "^setupkit: $c: " "$WORK/err.txt" || fail "$c ${bad:-without arguments}: the error does not name the command: $(cat "$WORK/err.txt")"
  done
done
# A program given where a project belongs is refused as no script.
for c in script check build; do
  rc=0
  "$SETUPKIT" "$c" "$DATA/stub_res.exe" > /dev/null 2> "$WORK/err.txt" || rc=$?
  [ $rc -ne 0 ] && grep -q 'stub_res.exe" is not a \(valid XML document\|setup script\)' "$WORK/err.txt" ||
    fail "$c of a program: exit $rc, $(cat "$WORK/err.txt")"
done
echo "PASS: --version, help COMMAND, the usage errors of every command, a program as project"
