#!/bin/bash
# wine-route.sh COMMAND [ARGS...]: runs COMMAND where Wine can run the
# 32-bit programs of the Windows build, the ones publishers ship. The test
# command and the main job re-enter themselves through it; a developer can
# run anything else the same way (a single ctest, a shell).
#
# The route is chosen once, printed, and handed down in SETUPKIT_WINE_ROUTE:
#   native  the kernel runs 32-bit code: Wine as it is.
#   qemu    the kernel refuses 32-bit code ("IA-32 emulation off"). The
#           command runs in a user and mount namespace of its own, whose
#           private binfmt_misc instance hands every i386 ELF program to
#           QEMU's user-mode emulator (scripts/fetch-qemu-i386.sh). Debian
#           12's 32-bit Wine loader then runs emulated, while wineserver and
#           every 64-bit part run natively: a classic WoW64 prefix. Nothing
#           on the host changes: the registration dies with the namespace.
#           Needs root (to map every user id into the namespace, so that
#           servers which drop to their own user still work) and Linux 6.7
#           or later (binfmt_misc per user namespace).
#   win64   neither: only 64-bit programs run, so the Windows tests take the
#           64-bit build of the same sources. Said loudly: the 32-bit
#           programs that users receive are then not tested.
# SETUPKIT_WINE_ROUTE set on entry is kept (already inside a route).
# SETUPKIT_QEMU_I386 names an emulator other than the cached one.
set -euo pipefail

if [[ $# -eq 0 ]]; then
  echo "usage: wine-route.sh COMMAND [ARGS...]" >&2
  exit 2
fi
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

say() { echo "wine-route: $*" >&2; }

if [[ -n ${SETUPKIT_WINE_ROUTE:-} ]]; then exec "$@"; fi

runs_i386() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }

fall_back() {
  say "######################################################################"
  say "NO ROUTE FOR 32-BIT PROGRAMS: $*"
  say "the Windows tests run the 64-bit build (win64) instead; the 32-bit"
  say "Setup.exe and Uninstall.exe that users receive are NOT tested here."
  say "######################################################################"
  SETUPKIT_WINE_ROUTE=win64 exec "$@"
}

if runs_i386; then
  say "native: this kernel runs 32-bit programs; Wine runs the win32 build as it is"
  SETUPKIT_WINE_ROUTE=native exec "$@"
fi

if [[ ! -e /lib/ld-linux.so.2 ]]; then
  # Without the i386 C library (wine32:i386 brings it) nothing 32-bit can run.
  say "win64: the i386 loader /lib/ld-linux.so.2 is missing (is wine32:i386 installed?)"
  SETUPKIT_WINE_ROUTE=win64 exec "$@"
fi

qemu="${SETUPKIT_QEMU_I386:-$(bash "$here/../../scripts/fetch-qemu-i386.sh" --print 2>/dev/null || true)}"
[[ -n $qemu && -x $qemu ]] || fall_back "this kernel refuses 32-bit code and no qemu-i386 is at hand (scripts/fetch-qemu-i386.sh fetches one)"
[[ $(id -u) -eq 0 ]] || fall_back "this kernel refuses 32-bit code, and the emulated route needs root to map every user into its namespace"
command -v unshare >/dev/null 2>&1 || fall_back "no unshare (util-linux)"

# The child unshares, then waits until its user and group ids are mapped
# (from here: only a process outside may map the whole range) and a line on
# the pipe says so; then it mounts its own binfmt_misc, registers the
# emulator and becomes the command. The F flag opens the emulator now, so it
# is found whatever the command's mounts and working folder.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
sync_dir="$(mktemp -d "${TMPDIR:-/tmp}/setupkit-route.XXXXXX")"
mkfifo "$sync_dir/go"
# shellcheck disable=SC2016
unshare --user --mount --propagation private -- bash -c '
  read -r line <"$1"
  [[ $line == mapped ]] || { echo "wine-route: the namespace was not set up" >&2; exit 125; }
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc ||
    { echo "wine-route: cannot mount binfmt_misc in the namespace (Linux 6.7 or later needed)" >&2; exit 125; }
  echo ":setupkit-i386:M::$2:$3:$4:F" >/proc/sys/fs/binfmt_misc/register ||
    { echo "wine-route: cannot register $4 for i386 programs" >&2; exit 125; }
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 ||
    { echo "wine-route: i386 programs still do not run through $4" >&2; exit 125; }
  : >"$1.ready"
  echo "wine-route: qemu: this kernel refuses 32-bit code; i386 programs run through $4" \
    "in a namespace of their own (each Windows program starts about a second slower)" >&2
  shift 4
  SETUPKIT_WINE_ROUTE=qemu exec "$@"' wine-route "$sync_dir/go" "$magic" "$mask" "$qemu" "$@" <&0 &
child=$!

# Ended from outside, the command is ended with us.
trap 'kill -TERM "$child" 2>/dev/null || true' INT TERM HUP
own_ns="$(readlink /proc/self/ns/user)"
mapped=0
for _ in $(seq 500); do
  ns="$(readlink "/proc/$child/ns/user" 2>/dev/null)" || break
  if [[ $ns != "$own_ns" ]]; then
    if echo '0 0 4294967295' >"/proc/$child/uid_map" && echo '0 0 4294967295' >"/proc/$child/gid_map"; then mapped=1; fi
    break
  fi
  sleep 0.01
done
# A child that died before it read the pipe would leave the writer waiting.
word=failed
[[ $mapped -eq 0 ]] || word=mapped
timeout 30 bash -c 'echo "$1" >"$2"' _ "$word" "$sync_dir/go" 2>/dev/null || true
rc=0
wait "$child" || rc=$?
ready=0
[[ ! -e $sync_dir/go.ready ]] || ready=1
rm -rf "$sync_dir"
if [[ $ready -eq 1 ]]; then exit "$rc"; fi
# The command never started: the route could not be set up.
if [[ $mapped -ne 1 ]]; then
  fall_back "cannot make a user namespace with every user id mapped (unshare --user --mount)"
fi
fall_back "the emulated route could not be set up (see above)"
