#!/bin/bash
# A disk that fills up during an upgrade: version 1 of the product on a
# small file system (a size-limited tmpfs the test mounts), then version 2,
# whose larger file cannot fit. /Silent ends with exit code 4 and names the
# file; /Auto asks with the copy-failure dialog. Either way every file of
# version 1 keeps its bytes and no temporary file is left beside them.
. "$(dirname "$0")/harness.sh"
. "$(dirname "$0")/product.sh"
wh_init

small="$WH_WORK/small"
mkdir -p "$small"
# Root may mount a tmpfs; inside the emulated route the mount stays in the
# run's own namespace, where Wine's server sees it too.
mount -t tmpfs -o size=8m setupkit-disk-full "$small" 2>/dev/null || wh_skip "cannot mount a tmpfs here (not root?)"
wh_on_exit umount -l "$small"

guid='{6C1B7E2A-0D55-4E0C-9A51-3F1B2C3D4E0D}'
base="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
wh_on_exit wh_reg_delete "$base\\$guid"
wh_on_exit wh_reg_delete 'HKLM\Software\Probe Works'
app="$small/Probe"
app_win="$(wh_winpath "$small")\\Probe"

# Version 1 with a file of 256 KB; version 2's is 2 MB.
P_GUID=$guid P_NO_RUNS=1 P_VERSION=1.0 PROBE_EXE=$WH_BIN/probe.exe make_product "$WH_WORK/v1"
head -c $((256 * 1024)) /dev/urandom >"$WH_WORK/v1/files/data/big.dat"
wh_build_setup "$WH_WORK/v1/product.xml" "$WH_WORK/Setup1.exe"
P_GUID=$guid P_NO_RUNS=1 P_VERSION=2.0 PROBE_EXE=$WH_BIN/probe.exe make_product "$WH_WORK/v2"
head -c $((2048 * 1024)) /dev/urandom >"$WH_WORK/v2/files/data/big.dat"
wh_build_setup "$WH_WORK/v2/product.xml" "$WH_WORK/Setup2.exe"

wh_reg_add "$base\\$guid" InstallLocation REG_SZ "$app_win\\"
rc=0
wh_wine "$WH_WORK/Setup1.exe" /Silent >/dev/null 2>"$WH_WORK/err.txt" || rc=$?
wh_assert_eq 0 "$rc" "exit code of version 1 (stderr: $(head -c 300 "$WH_WORK/err.txt"))"
cmp -s "$WH_WORK/v1/files/data/big.dat" "$app/data/big.dat" || wh_fail "version 1 was not installed"
cp -a "$app" "$WH_WORK/installed-v1"

# What is left holds a new copy of each program (about 1 MB) beside the old
# one, but not version 2's file, even counting the space of version 1's
# copy: a write that truncated the old file first would lose it.
avail=$(df --output=avail -B1 "$small" | tail -n 1 | tr -d ' ')
head -c $((avail - 1152 * 1024)) /dev/zero >"$small/filler" 2>/dev/null || true

version1_intact() {
  local diff
  diff=$(diff -r "$WH_WORK/installed-v1" "$app" 2>&1 | head -n 5) || true
  [[ -z $diff ]] || wh_fail "$1: version 1 changed: $diff"
  local left
  left=$(find "$app" -name '*.~setup' | head -n 3)
  [[ -z $left ]] || wh_fail "$1: temporary files were left: $left"
}

rc=0
wh_wine "$WH_WORK/Setup2.exe" /Silent >/dev/null 2>"$WH_WORK/err.txt" || rc=$?
wh_assert_eq 4 "$rc" "exit code of /Silent on a full disk (stderr: $(head -c 300 "$WH_WORK/err.txt"))"
grep -qF "$app_win\\data\\big.dat" "$WH_WORK/err.txt" ||
  wh_fail "standard error does not name the file that did not fit: $(cat "$WH_WORK/err.txt")"
version1_intact "/Silent"

dialog="Failed to copy file"
setup=$(wh_run_bg "$WH_WORK/Setup2.exe" /Auto)
wh_windriver wait "$dialog" >/dev/null || wh_fail "/Auto showed no copy-failure dialog on a full disk"
text=$(wh_windriver text "$dialog" | tr -d '\r')
grep -qF "File: $app_win\\data\\big.dat" <<<"$text" || wh_fail "the dialog does not name the file: $text"
wh_screenshot install-disk-full >/dev/null
wh_windriver click "$dialog" "Exit Setup" >/dev/null
rc=0; wh_bg_wait "$setup" 60 || rc=$?
wh_assert_eq 5 "$rc" "exit code after Exit Setup on a full disk"
version1_intact "/Auto"
echo "disk full: ok"
