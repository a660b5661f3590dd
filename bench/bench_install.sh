#!/bin/bash
# bench_install.sh: installs a 200 MB mixed product (half text that
# compresses, half noise that does not, plus the test product's files) with
# /Silent under Wine, and extracts the same setup natively with setupkit in
# the same run. Prints the installer's throughput and its peak resident
# memory (VmHWM of the Setup process) against the package size, and the
# ratio of installing to extracting.
#
#   bench/bench_install.sh [SIZE_MB]
#
# Environment: BUILD_ROOT (default build). The Windows build used is win32
# where this machine runs 32-bit programs natively, else win64 (timings of
# the emulated route of tests/wine/wine-route.sh would measure the emulator).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
size_mb=${1:-200}
BUILD_ROOT=$(realpath "${BUILD_ROOT:-$root/build}")
[[ ${SETUPKIT_WINE_ROUTE:-} != qemu ]] || export SETUPKIT_WINE_BITS=64
source "$root/tests/wine/wine-env.sh"
win=win32
[[ $SETUPKIT_WINE_BITS == 32 ]] || win=win64
export WH_BIN="$BUILD_ROOT/$win/bin" SETUPKIT_NATIVE="$BUILD_ROOT/native/bin/setupkit" WH_TEST=bench_install
. "$root/tests/wine/harness.sh"
. "$root/tests/wine/product.sh"
wh_init

guid='{0B0B0B0B-1111-4222-8333-BE4C4B4E4C01}'
P_GUID=$guid P_BIG_MB=$size_mb P_NO_RUNS=1 PROBE_EXE=$WH_BIN/probe.exe make_product "$WH_WORK/p"
wh_build_setup "$WH_WORK/p/product.xml" "$WH_WORK/BenchSetup.exe"
wh_on_exit wh_reg_delete "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$guid"
package=$(stat -c %s "$WH_WORK/BenchSetup.exe")
payload=$(du -sb "$WH_WORK/p/files" | cut -f1)
largest=$(find "$WH_WORK/p/files" -type f -printf '%s\n' | sort -n | tail -n 1)

# The peak resident size of the installer's own process, read while it runs.
watch_memory() {
  local peak=0 pid hwm
  while :; do
    for pid in $(pgrep -f 'BenchSetup.exe' || true); do
      hwm=$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$pid/status" 2>/dev/null || true)
      [[ -n $hwm && $hwm -gt $peak ]] && peak=$hwm && echo "$peak" >"$WH_WORK/peak"
    done
    sleep 0.05
  done
}
watch_memory &
watcher=$!
start=$(date +%s.%N)
rc=0
wh_wine "$WH_WORK/BenchSetup.exe" /Silent >/dev/null 2>&1 || rc=$?
end=$(date +%s.%N)
kill "$watcher" 2>/dev/null || true
[[ $rc == 0 ]] || wh_fail "the installation failed with exit code $rc"
peak_kb=$(cat "$WH_WORK/peak" 2>/dev/null || echo 0)

xstart=$(date +%s.%N)
"$SETUPKIT_NATIVE" extract "$WH_WORK/BenchSetup.exe" "$WH_WORK/extracted" >/dev/null
xend=$(date +%s.%N)

awk -v p="$payload" -v pk="$package" -v l="$largest" -v s="$start" -v e="$end" -v xs="$xstart" -v xe="$xend" \
    -v hwm="$peak_kb" -v bits="$win" 'BEGIN {
  mb = 1048576; t = e - s; xt = xe - xs
  printf "product: %.1f MB in files, package %.1f MB, largest file %.1f MB (%s build)\n", p / mb, pk / mb, l / mb, bits
  printf "Setup.exe /Silent under Wine:  %6.2f s  %6.1f MB/s\n", t, p / mb / t
  printf "setupkit extract (native):     %6.2f s  %6.1f MB/s\n", xt, p / mb / xt
  printf "install / extract time:        %6.2f\n", t / xt
  budget = pk / mb + 2 * l / mb + 96
  printf "Setup.exe peak resident (VmHWM): %.1f MB; budget package + 2 x largest + 96 MB = %.1f MB (%s)\n", \
    hwm / 1024, budget, (hwm / 1024 <= budget ? "within" : "OVER")
}'
