#!/bin/bash
# bench_install.sh: installs and removes the same 208 MB product (150 files
# of 1 MiB, half text that compresses and half noise that does not, and
# 2,000 text files of about 25 KB in 20 folders: bench_build's product)
# three ways, in turns, under Wine in one prefix:
#   - setupkit's Setup.exe /Silent, removed by its Uninstall.exe /SILENT;
#   - an NSIS installer of the same files (makensis from Debian's nsis
#     package: zlib, not solid, the build's bitness) run with /S, removed by
#     its uninstaller with /S, run in place with "_?=" so that it can be
#     timed;
#   - writelimit.exe, which only writes the same files (CreateDirectoryW,
#     CreateFileW, WriteFile, SetFileTime), removed with rm -rf.
# Each round installs all three afresh into folders of its own, the first
# of them in turn, each after a sync; the removals follow, round by round,
# once every round has installed (why: see the rounds below). Prints the
# medians, setupkit's install time against NSIS's and against the write
# limit, its removal time against NSIS's, the CPU seconds of each program
# and of the wineserver, the installer's peak resident memory (VmHWM of the
# Setup process) against the package size, and a native "setupkit extract"
# of the same setup.
#
#   bench/bench_install.sh [ROUNDS]      (default 5)
#
# Environment: BUILD_ROOT (default build): its native build provides
# setupkit and bench_build, its Windows build Setup.exe and writelimit.exe.
# SETUPKIT_PHASE_TIMES=1 prints each installation's split by phase.
# The Windows build used is win32 where this machine runs 32-bit programs
# natively, else win64 (timings of the emulated route of
# tests/wine/wine-route.sh would measure the emulator).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-5}
[[ $rounds =~ ^[1-9][0-9]*$ ]] || { echo "bench_install.sh: ROUNDS must be a positive number, not \"$rounds\"" >&2; exit 2; }
BUILD_ROOT=$(realpath "${BUILD_ROOT:-$root/build}")
[[ ${SETUPKIT_WINE_ROUTE:-} != qemu ]] || export SETUPKIT_WINE_BITS=64
source "$root/tests/wine/wine-env.sh"
win=win32
[[ $SETUPKIT_WINE_BITS == 32 ]] || win=win64
export WH_BIN="$BUILD_ROOT/$win/bin" SETUPKIT_NATIVE="$BUILD_ROOT/native/bin/setupkit" WH_TEST=bench_install
. "$root/tests/wine/harness.sh"
command -v makensis >/dev/null 2>&1 || wh_skip "makensis is not installed (apt-get install nsis)"
[[ -x $BUILD_ROOT/native/bin/bench_build ]] || wh_skip "no native build in $BUILD_ROOT/native (bench_build)"
[[ -f $WH_BIN/writelimit.exe ]] || wh_skip "no $WH_BIN/writelimit.exe: build the $win tools"
wh_init

product="$WH_WORK/p/files"
"$BUILD_ROOT/native/bin/bench_build" --product "$product" >/dev/null
convert -size 64x32 gradient:orange-purple "png:$WH_WORK/p/product.png"
# The build's uninstaller, which the native setupkit has no copy of beside it.
mkdir "$WH_WORK/p/uninstaller"
cp "$WH_BIN/Uninstall.exe" "$WH_WORK/p/uninstaller/"
guid='{0B0B0B0B-1111-4222-8333-BE4C4B4E4C01}'
title="Bench Setupkit"
# One item per folder of the product, and the uninstaller.
cat >"$WH_WORK/p/product.xml" <<XML
<?xml version="1.0" encoding="utf-8"?>
<TSetupScript>
    <BaseInfo AllowModify="True" AppTitleCHS="$title" AppTitleCHT="$title" AppTitleENG="$title" BuildMiniSetup="False" CompanyName="Bench Works" CompanyUrl="" Condition="" DefInstallPath="{pf}\\{AppTitle}" FullDownloadUrl="" FullSetupFile="BenchSetup.exe" GotoUrl="" GotoUrlMode="gumSilent" GUID="$guid" IconFile="product.png" IconResID="" InstallFileDescription="Bench Setup" LegalCopyright="" LicenseCHSResID="" LicenseCHTResID="" LicenseENGResID="" LicenseFileCHS="" LicenseFileCHT="" LicenseFileENG="" MainFormColor="16357632" MiniSetupFile="" ProductName="Bench" UninstallFileDescription="Bench Uninstall" Version="1.0.0.0" WinVersion="wveWinXPOrHigher"/>
    <FileList>
        <Items>
            <TSetupFile Checked="True" Condition="" DestDir="{app}" FileBytes="0" IncludeSubPath="False" LastWriteDate="0" ResID="" SourceMask="Uninstall.exe" SourcePath="uninstaller" NewFileName=""/>
            <TSetupFile Checked="True" Condition="" DestDir="{app}\\bin" FileBytes="0" IncludeSubPath="False" LastWriteDate="0" ResID="" SourceMask="*.dll" SourcePath="files\\bin" NewFileName=""/>
            <TSetupFile Checked="True" Condition="" DestDir="{app}\\doc" FileBytes="0" IncludeSubPath="True" LastWriteDate="0" ResID="" SourceMask="*.*" SourcePath="files\\doc" NewFileName=""/>
        </Items>
    </FileList>
</TSetupScript>
XML
wh_build_setup "$WH_WORK/p/product.xml" "$WH_WORK/BenchSetup.exe"
entry="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$guid"
wh_on_exit wh_reg_delete "$entry"

# Each round installs into folders of its own, numbered by the round:
# "$pf\Bench Setupkit 1", and so on.
pf=$(wh_program_files)
pf_unix=$(wh_unixpath "$pf")
[[ -n $pf_unix && -d $pf_unix ]] || wh_fail "cannot map $pf to a Unix path"
sk_name=$title ns_name="Bench NSIS" wl_name="Bench Limit"
remove_folders() { rm -rf "$pf_unix/$sk_name "* "$pf_unix/$ns_name "* "$pf_unix/$wl_name "*; }
remove_folders
wh_on_exit remove_folders

# The NSIS installer: zlib, each file compressed on its own as in setupkit's
# package, the same bitness as the Windows build.
# shellcheck disable=SC2016 # NSIS's own variables, for makensis to expand
if [[ $win == win64 ]]; then target=amd64-unicode nsis_pf='$PROGRAMFILES64'; else target=x86-unicode nsis_pf='$PROGRAMFILES'; fi
cat >"$WH_WORK/p/bench.nsi" <<NSI
Target $target
SetCompressor zlib
OutFile "NsisSetup.exe"
InstallDir "$nsis_pf\\Bench NSIS"
RequestExecutionLevel admin
Section
  SetOutPath "\$INSTDIR"
  File /r "files\\*.*"
  WriteUninstaller "\$INSTDIR\\uninst.exe"
SectionEnd
; RMDir /r: the uninstaller removes the whole folder recursively, the
; usual way of an NSIS script that installs with File /r (per-file Delete
; would need a list of 2,150 files).
Section Uninstall
  RMDir /r "\$INSTDIR"
SectionEnd
NSI
out=$(cd "$WH_WORK/p" && makensis -V1 bench.nsi 2>&1) || wh_fail "makensis failed: $out"

package=$(stat -c %s "$WH_WORK/BenchSetup.exe")
nsis_size=$(stat -c %s "$WH_WORK/p/NsisSetup.exe")
payload=$(find "$product" -type f -printf '%s\n' | awk '{ t += $1 } END { print t }')
files=$(find "$product" -type f | wc -l)
largest=$(find "$product" -type f -printf '%s\n' | sort -n | tail -n 1)

# The peak resident size of the installer's own process, read while it runs.
# It polls through every round, so that its own load falls on all three
# ways of installing alike.
watch_memory() {
  local peak=0 pid hwm
  while :; do
    for pid in $(pgrep -f 'BenchSetup.exe' || true); do
      hwm=$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$pid/status" 2>/dev/null || true)
      [[ -n $hwm && $hwm -gt $peak ]] && peak=$hwm && echo "$peak" >"$WH_WORK/peak"
    done
    sleep 0.1
  done
}

now() { date +%s.%N; }
since() { awk -v s="$1" -v e="$(now)" 'BEGIN { printf "%.3f", e - s }'; }

# What an installation holds, for comparing with the product: each file's
# path, size and last-write time in seconds.
listing() { (cd "$1" && find . -type f "${@:2}" -printf '%P %s %T@\n' | LC_ALL=C sort); }
# The same files with the same content, and times within two seconds of the
# product's (NSIS's come out a second early here).
check_installed() {
  local name=$1 dir=$2 bad
  shift 2
  bad=$(paste -d ' ' <(listing "$product") <(listing "$dir" "$@") |
    awk '$1 != $4 || $2 != $5 || $3 - $6 > 2 || $6 - $3 > 2 { print; if (++n == 3) exit }')
  [[ -z $bad ]] ||
    wh_fail "$name: the installed files differ from the product in path, size or time (product, then installed): $bad"
  if ! diff -rq "$product/bin" "$dir/bin" >/dev/null || ! diff -rq "$product/doc" "$dir/doc" >/dev/null; then
    wh_fail "$name: the installed files differ from the product in content"
  fi
}

# Waits until a removed folder is gone; fails naming what is left.
wait_gone() {
  local dir=$1 _
  for _ in $(seq 1500); do
    [[ -e $dir ]] || return 0
    sleep 0.02
  done
  wh_fail "$dir is still there after its removal: $(cd "$dir" && find . | head -n 5 | tr '\n' ' ')"
}

watch_memory &
watcher=$!
stop_watcher() { kill "$watcher" 2>/dev/null || true; }
wh_on_exit stop_watcher

# Where a run's time goes: the CPU seconds (user + system) of the programs
# this script ran and waited for, read from bash's "times" in this shell
# (a subshell's would start from zero), and those of the prefix's wineserver, which
# serves every file call.
server=""
for pid in $(pgrep -x wineserver64 || pgrep -x wineserver || true); do
  if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then server=$pid; fi
done
[[ -n $server ]] || wh_fail "no wineserver of the prefix $WINEPREFIX is running"
hz=$(getconf CLK_TCK)
children_cpu() {
  times >"$WH_WORK/times.now"
  children=$(awk 'NR == 2 { t = 0; for (i = 1; i <= 2; ++i) { split($i, m, "m"); t += m[1] * 60 + m[2] } print t }' \
    "$WH_WORK/times.now")
}
server_cpu() { awk -v hz="$hz" '{ print ($14 + $15) / hz }' "/proc/$server/stat"; }

: >"$WH_WORK/times"
declare -A last
record() {
  last[$1]=$2
  echo "$1 $2" >>"$WH_WORK/times"
}
# measure NAME COMMAND...: runs COMMAND and records its wall time as NAME,
# its programs' CPU time as NAME.cpu and the wineserver's as NAME.server;
# returns COMMAND's exit code.
measure() {
  local name=$1 start cpu server_before rc=0
  shift
  children_cpu
  cpu=$children server_before=$(server_cpu) start=$(now)
  "$@" || rc=$?
  record "$name" "$(since "$start")"
  children_cpu
  record "$name.cpu" "$(awk -v a="$cpu" -v b="$children" 'BEGIN { print b - a }')"
  record "$name.server" "$(awk -v a="$server_before" -v b="$(server_cpu)" 'BEGIN { print b - a }')"
  return "$rc"
}
# A round's folders, Windows and Unix paths.
folders() {
  sk_win="$pf\\$sk_name $1" ns_win="$pf\\$ns_name $1" wl_win="$pf\\$wl_name $1"
  sk="$pf_unix/$sk_name $1" ns="$pf_unix/$ns_name $1" wl="$pf_unix/$wl_name $1"
}
# NSIS takes "/D=" and "_?=" up to the end of its command line unquoted, and
# Wine quotes an argument with spaces: the folder goes as separate words.
words() { read -ra "$1" <<<"$2"; }
write_limit() { wh_tool writelimit "$product" "$wl" >"$WH_WORK/out" 2>&1; }
# setupkit's removal ends when the folder is gone: the copy of
# Uninstall.exe that outlives it deletes the program and its folder.
setupkit_remove() {
  wh_wine "$sk/Uninstall.exe" /SILENT >/dev/null 2>"$WH_WORK/err" || return
  wait_gone "$sk"
}

# Installing the same product again would first run the uninstaller of the
# last round's installation, which the installer finds by its uninstall
# entry. Each round's entry is put aside after its installation and put
# back for its removal.
sk_install() {
  local rc=0
  wh_reg_delete "$entry"
  measure sk_install wh_wine "$WH_WORK/BenchSetup.exe" /Silent "/Dir=$sk_win" >/dev/null 2>"$WH_WORK/err" || rc=$?
  [[ $rc == 0 ]] || wh_fail "Setup.exe /Silent failed with exit code $rc: $(head -c 300 "$WH_WORK/err")"
  # With SETUPKIT_PHASE_TIMES set, where the installer's time went.
  [[ -z ${SETUPKIT_PHASE_TIMES:-} ]] || sed "s/^/  round $round: /" "$WH_WORK/err"
  wh_reg_export "$entry" "$WH_WORK/entry.$round.reg" || wh_fail "the installation of round $round made no entry $entry"
  wh_reg_delete "$entry"
}
ns_install() {
  local rc=0 to
  words to "/D=$ns_win"
  measure ns_install wh_wine "$WH_WORK/p/NsisSetup.exe" /S "${to[@]}" >/dev/null 2>"$WH_WORK/err" || rc=$?
  [[ $rc == 0 ]] || wh_fail "the NSIS installer failed with exit code $rc: $(head -c 300 "$WH_WORK/err")"
}
wl_install() {
  measure wl_process write_limit || wh_fail "writelimit failed: $(head -c 300 "$WH_WORK/out")"
  wl_write=$(sed -n 's/.*write_seconds=\([0-9.]*\).*/\1/p' "$WH_WORK/out" | tr -d '\r')
  [[ -n $wl_write ]] || wh_fail "writelimit printed no time: $(head -c 300 "$WH_WORK/out")"
  record wl_write "$wl_write"
}
installs=(sk_install ns_install wl_install)

# ext4 without a journal (the root file system of the machines this runs
# on) prefers not to hand out an inode freed in the last minute, or in the
# last six while its inode table block has unwritten changes, and every
# file made meanwhile scans past all of them, one buffer look-up each.
# Files made straight after thousands were removed pay for that scan: up
# to a second and a half of the wineserver's time for this product, more
# or less from round to round, alike for all three ways of installing. A
# user's machine has not just deleted thousands of files, so:
#   - all installations come first, then all removals;
#   - the rounds start six minutes after the last run of this script
#     cleaned up, waiting for what is left of them.
ended_stamp="${TMPDIR:-/tmp}/setupkit-bench-install.ended"
if [[ $(findmnt -no FSTYPE -T "$WH_WORK" 2>/dev/null) == ext4 ]] &&
  [[ $(cat "/sys/fs/ext4/$(basename "$(findmnt -no SOURCE -T "$WH_WORK")")/journal_task" 2>/dev/null) != *[0-9]* ]]; then
  if [[ -f $ended_stamp ]]; then
    wait_for=$(awk -v e="$(cat "$ended_stamp")" -v n="$(now)" 'BEGIN { w = e + 370 - n; printf "%d", (w > 0 ? w : 0) }')
    if [[ $wait_for -gt 0 ]]; then
      echo "waiting ${wait_for} s: the last run of this script removed its files less than six minutes ago"
      sleep "$wait_for"
    fi
  fi
  wh_on_exit eval 'now >"$ended_stamp"'
fi

for round in $(seq "$rounds"); do
  folders "$round"
  # Each round starts with the next of the three, and each starts on a
  # disk that has written out what came before.
  for i in 0 1 2; do
    sync
    "${installs[(round - 1 + i) % 3]}"
  done

  if [[ $round == 1 ]]; then
    check_installed "setupkit" "$sk" ! -name Uninstall.exe ! -name "Uninstall.da[0-9]"
    check_installed "NSIS" "$ns" ! -name uninst.exe
    check_installed "writelimit" "$wl"
  fi
  printf 'round %d: install setupkit %6.2f s, NSIS %6.2f s, write limit %6.2f s (process %.2f s)\n' \
    "$round" "${last[sk_install]}" "${last[ns_install]}" "$wl_write" "${last[wl_process]}"
done

for round in $(seq "$rounds"); do
  folders "$round"
  wh_reg_import "$WH_WORK/entry.$round.reg" || wh_fail "cannot put back the uninstall entry of round $round"
  rc=0
  sync
  measure sk_remove setupkit_remove || rc=$?
  [[ $rc == 0 ]] || wh_fail "Uninstall.exe /SILENT failed with exit code $rc: $(head -c 300 "$WH_WORK/err")"
  ! wh_reg_query "$entry" >/dev/null 2>&1 || wh_fail "Uninstall.exe /SILENT left its entry $entry"

  # In place ("_?="), NSIS's uninstaller cannot delete itself: its file and
  # the folder stay, and go afterwards, untimed.
  rc=0
  words in_place "_?=$ns_win"
  sync
  measure ns_remove wh_wine "$ns/uninst.exe" /S "${in_place[@]}" >/dev/null 2>"$WH_WORK/err" || rc=$?
  [[ $rc == 0 ]] || wh_fail "the NSIS uninstaller failed with exit code $rc: $(head -c 300 "$WH_WORK/err")"
  left=$(cd "$ns" && find . -mindepth 1 -printf '%P\n')
  [[ $left == uninst.exe ]] || wh_fail "the NSIS uninstaller left more than itself: $(head -n 5 <<<"$left" | tr '\n' ' ')"
  rm -rf "$ns" "$wl"

  printf 'round %d: remove setupkit %6.2f s, NSIS %6.2f s\n' "$round" "${last[sk_remove]}" "${last[ns_remove]}"
done
stop_watcher
peak_kb=$(cat "$WH_WORK/peak" 2>/dev/null || echo 0)

xstart=$(now)
"$SETUPKIT_NATIVE" extract "$WH_WORK/BenchSetup.exe" "$WH_WORK/extracted" >/dev/null
extract=$(since "$xstart")

awk -v p="$payload" -v n="$files" -v pk="$package" -v ns="$nsis_size" -v l="$largest" -v xt="$extract" \
    -v hwm="$peak_kb" -v bits="$win" -v rounds="$rounds" '
  { v[$1] = v[$1] " " $2 }
  function median(name,   a, k, i, j, t) {
    k = split(v[name], a, " ")
    for (i = 2; i <= k; ++i) for (j = i; j > 1 && a[j - 1] + 0 > a[j] + 0; --j) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
    return k % 2 ? a[(k + 1) / 2] : (a[k / 2] + a[k / 2 + 1]) / 2
  }
  END {
    mb = 1e6; mib = 1048576
    si = median("sk_install"); ni = median("ns_install"); wl = median("wl_write"); wp = median("wl_process")
    sr = median("sk_remove"); nr = median("ns_remove")
    printf "product: %d files, %.1f MB; largest file %.1f MB; setupkit package %.1f MB, NSIS installer %.1f MB (%s build)\n", \
      n, p / mb, l / mb, pk / mb, ns / mb, bits
    printf "medians of %d rounds, installing:\n", rounds
    printf "  setupkit Setup.exe /Silent:        %6.2f s  %6.1f MB/s\n", si, p / mb / si
    printf "  NSIS installer /S:                 %6.2f s  %6.1f MB/s\n", ni, p / mb / ni
    printf "  write limit (writing only):        %6.2f s  %6.1f MB/s  (whole process %.2f s)\n", wl, p / mb / wl, wp
    printf "  setupkit takes %.2fx the time of NSIS and %.2fx the write limit\n", si / ni, si / wl
    printf "  CPU seconds, program + wineserver: setupkit %.2f + %.2f, NSIS %.2f + %.2f, writelimit (with its reading) %.2f + %.2f\n", \
      median("sk_install.cpu"), median("sk_install.server"), median("ns_install.cpu"), median("ns_install.server"), \
      median("wl_process.cpu"), median("wl_process.server")
    printf "removing:\n"
    printf "  setupkit Uninstall.exe /SILENT:    %6.2f s\n", sr
    printf "  NSIS uninstaller /S (in place):    %6.2f s\n", nr
    printf "  setupkit takes %.2fx the time of NSIS\n", sr / nr
    printf "  CPU seconds, program + wineserver: setupkit %.2f + %.2f, NSIS %.2f + %.2f\n", \
      median("sk_remove.cpu"), median("sk_remove.server"), median("ns_remove.cpu"), median("ns_remove.server")
    printf "setupkit extract (native):           %6.2f s  %6.1f MB/s; Setup.exe takes %.2fx that\n", xt, p / mb / xt, si / xt
    budget = pk / mib + 2 * l / mib + 96
    printf "Setup.exe peak resident (VmHWM): %.1f MiB; budget package + 2 x largest + 96 MiB = %.1f MiB (%s)\n", \
      hwm / 1024, budget, (hwm / 1024 <= budget ? "within" : "OVER")
  }' "$WH_WORK/times"
