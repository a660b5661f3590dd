#!/bin/bash
# wine-run.sh PROGRAM.exe [ARGS...]: runs a program of the Windows build
# under Wine. The cross build names it as its emulator, so ctest, test
# discovery and add_test commands all come through here.
# wine-run.sh --prepare: makes the prefix, which takes a while, and starts
# its server and services for good (until "wineserver -k"), so that each
# program after it starts in a moment.
#
# WINEPREFIX chooses the prefix; scripts/test.sh gives every run a fresh one
# in a temporary folder. Without it, a prefix of this user's own under
# TMPDIR is made once and reused, never ~/.wine.
set -uo pipefail

export WINEDEBUG="${WINEDEBUG:--all}"
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/setupkit-wine-$(id -u)}"

# shellcheck source=wine-env.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

if ! command -v wine >/dev/null 2>&1; then
  echo "wine-run.sh: wine is not installed (apt-get install wine wine64 wine32:i386)" >&2
  exit 127
fi

make_prefix() {
  # Mono and Gecko would be offered in a dialog that nobody can answer. The
  # prefix is a 64-bit one that runs 32-bit programs, as 64-bit Windows does.
  WINEARCH="${WINEARCH:-win64}" WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i </dev/null >/dev/null 2>&1 || return 1
  wineserver -w
  # A new prefix links Desktop, Documents and the like to the Unix home
  # folder; a program under test must never write there.
  local link
  for link in "$WINEPREFIX"/drive_c/users/*/*; do
    if [[ -L $link ]]; then
      rm -f "$link" && mkdir -p "$link"
    fi
  done
  touch "$WINEPREFIX/.setupkit-ready"
}

if [[ ! -e $WINEPREFIX/.setupkit-ready ]]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  # ctest -j starts several programs at once; one of them makes the prefix.
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [[ ! -e $WINEPREFIX/.setupkit-ready ]] && ! make_prefix; then
    echo "wine-run.sh: cannot create the Wine prefix $WINEPREFIX" >&2
    exit 125
  fi
  flock -u 9
  exec 9>&-
fi
if [[ ${1:-} == --prepare ]]; then
  # The services that Wine starts with the first program keep that
  # program's standard output open for as long as the server lives; with a
  # lasting server they must not get the output of a test, or whoever reads
  # it (ctest, test discovery) waits for its end for ever.
  # A server already running for the prefix would refuse the lasting one.
  wineserver -k >/dev/null 2>&1 && wineserver -w
  if ! wineserver -p </dev/null >/dev/null 2>&1 || ! wineboot </dev/null >/dev/null 2>&1; then
    echo "wine-run.sh: cannot start Wine in $WINEPREFIX" >&2
    exit 125
  fi
  exit 0
fi
if [[ $# -eq 0 ]]; then
  echo "usage: wine-run.sh PROGRAM.exe [ARGS...] | wine-run.sh --prepare" >&2
  exit 2
fi

# Test discovery reads the list of tests from standard output, which a
# Windows program writes with CR LF; the CRs would end up in the names.
for arg in "$@"; do
  if [[ $arg == --gtest_list_tests ]]; then
    wine "$@" | tr -d '\r'
    exit "${PIPESTATUS[0]}"
  fi
done
# Wine's loader now and then dies at start-up before the program runs (seen
# once in some six hundred starts in CI: a failure in a tenth of a second,
# without a byte of output). Such a start is tried once more; a program
# that ran, or said anything, keeps its result.
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
for attempt in 1 2; do
  started=$(date +%s%N)
  rc=0
  wine "$@" >"$out" 2>"$err" || rc=$?
  elapsed_ms=$((($(date +%s%N) - started) / 1000000))
  if [[ $rc != 0 && $attempt == 1 && ! -s $out && ! -s $err && $elapsed_ms -lt 1000 ]]; then
    echo "wine-run.sh: wine ended with $rc after $elapsed_ms ms without running $1; trying once more" >&2
    continue
  fi
  break
done
cat "$out"
cat "$err" >&2
exit "$rc"
