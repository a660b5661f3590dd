#!/bin/bash
# The test tools and the harness against programs whose behaviour is known
# (Wine's notepad, cmd, reg and taskkill), so that an end-to-end test that
# fails points at the installer, not at its checkers.
. "$(dirname "$0")/harness.sh"
wh_init

# A window as a person meets it: found by title, read, typed into, closed,
# and its question answered with a real click.
np=$(wh_run_bg notepad)
main="Untitled - Notepad"
[[ $(wh_windriver wait "$main") == 0x* ]] || wh_fail "wait prints no window handle"
PROBE_WINDOWS=1 wh_tool probe | grep -qF "|windows=$main" || wh_fail "the probe does not list the visible windows"
wh_windriver list | grep -qF "|Notepad|$main" || wh_fail "list misses notepad: $(wh_windriver list)"
wh_windriver settext "$main" Edit "hello 你好"
dump=$(wh_windriver dump "$main")
grep -qx 'class=Notepad' <<<"$dump" || wh_fail "dump: $dump"
grep -qE '^style=0x[0-9A-F]+ WS_CAPTION .*WS_THICKFRAME' <<<"$dump" || wh_fail "dump style: $dump"
grep -qE '^Edit\|hello 你好\|1\|1\|0,0,[0-9]+,[0-9]+\|' <<<"$dump" || wh_fail "settext or dump: $dump"
wh_screenshot notepad >/dev/null
# WM_SETTEXT leaves an edit unmodified; a key press really typed is a change.
wh_windriver key "$main" Space
for _ in $(seq 50); do
  dump=$(wh_windriver dump "$main")
  grep -q '^Edit| hello 你好|' <<<"$dump" && break
  sleep 0.1
done
grep -q '^Edit| hello 你好|' <<<"$dump" || wh_fail "the space key did not reach the edit: $dump"
wh_windriver key "$main" Alt+F4
question=$(wh_windriver --class '#32770' text Notepad)
grep -qF "Would you like to save the changes?" <<<"$question" || wh_fail "no save question: $question"
grep -qx "No" <<<"$question" || wh_fail "text shows captions with their mnemonics: $question"
wh_windriver click Notepad No
wh_windriver gone "$main"
wh_bg_wait "$np" 20 || wh_fail "notepad exit code $?"

# A file held without sharing cannot be written by another program, even
# one that shares everything, until the holder lets go.
held="$WH_WORK/held.txt"
: >"$held"
holder=$(wh_run_bg "$WH_BIN/holder.exe" "$held" "$WH_WORK/release")
wh_wait_for_line "$(wh_bg_log "$holder")" holding
! wh_tool holder --write "$held" x 2>/dev/null || wh_fail "a held file was written"
wh_assert_file_content "$held" "" "a held file"
touch "$WH_WORK/release"
wh_bg_wait "$holder" 20 || wh_fail "holder exit code $?"
wh_tool holder --write "$held" 写 || wh_fail "the released file cannot be written"
wh_assert_file_content "$held" "写" "the released file"

# The probe reports its name, folder and command line as the program sees
# them, Chinese included, with either form of PROBE_LOG.
app="$WH_WORK/app dir 应用"
mkdir -p "$app"
cp "$WH_BIN/probe.exe" "$app/App 应用.exe"
cp "$WH_BIN/probe.exe" "$app/stay.exe"
export PROBE_LOG="$WH_WORK/probe.log"
rc=0
(cd "$app" && wh_wine "./App 应用.exe" "a b" 你好 --exit 7 >/dev/null) || rc=$?
wh_assert_eq 7 "$rc" "probe --exit 7"
IFS='|' read -r name time cwd cmdline <"$PROBE_LOG"
wh_assert_eq "name=App 应用.exe" "$name"
wh_assert_eq "cwd=$(wh_winpath "$app")" "$cwd"
[[ $cmdline == 'cmdline='*'App 应用.exe" "a b" 你好 --exit 7' ]] || wh_fail "probe command line: $cmdline"
# FILETIME counts 100 ns from 1601; the line was written a moment ago.
now=$((($(date +%s) + 11644473600) * 10000000))
((now - ${time#time=} < 600000000 && now - ${time#time=} > -600000000)) || wh_fail "probe time $time, now $now"
stay=$(PROBE_LOG=$(wh_winpath "$PROBE_LOG") PROBE_CHECK="$(wh_winpath "$app")\App 应用.exe" \
  wh_run_bg "$app/stay.exe" --stay)
wh_wait_for_line "$PROBE_LOG" "name=stay.exe|"
grep -qF "|exists=1|cmdline=" "$PROBE_LOG" || wh_fail "PROBE_CHECK: $(tail -n 1 "$PROBE_LOG")"
sleep 1
wh_bg_running "$stay" || wh_fail "probe --stay ended by itself"
wh__sys taskkill /F /IM stay.exe >/dev/null || wh_fail "taskkill does not find the probe"
wh_bg_wait "$stay" 20 || true

# Shortcuts round-trip through the shell's link object. Wine keeps the
# target's local path in the ANSI code page, so the Chinese one is checked
# through the item ID list.
wh_tool lnkinfo --make "$WH_WORK/plain.lnk" 'C:\Program Files (x86)\Test\app.exe' 'C:\Program Files (x86)\Test' '--flag "x y"'
wh_tool lnkinfo --make "$WH_WORK/中文.lnk" 'C:\Program Files (x86)\测试\app.exe' 'C:\Program Files (x86)\测试'
plain=$(wh_tool lnkinfo "$WH_WORK/plain.lnk")
grep -qxF 'target=C:\Program Files (x86)\Test\app.exe' <<<"$plain" || wh_fail "lnkinfo: $plain"
grep -qxF 'args=--flag "x y"' <<<"$plain" || wh_fail "lnkinfo: $plain"
chinese=$(wh_tool lnkinfo "$WH_WORK/中文.lnk")
grep -qxF 'idlist=C:\Program Files (x86)\测试\app.exe' <<<"$chinese" || wh_fail "lnkinfo: $chinese"
grep -qxF 'workdir=C:\Program Files (x86)\测试' <<<"$chinese" || wh_fail "lnkinfo: $chinese"

# Shell folders with the bitness of the build's programs.
case $(wh__pe_machine "$WH_BIN/probe.exe")/$(wh_program_files) in
  'x86/C:\Program Files (x86)' | 'x64/C:\Program Files') ;;
  *) wh_fail "Program Files as the build's programs see it: $(wh_program_files)" ;;
esac

# File times in the local time Windows shows: 8 hours east of UTC here.
printf 'abc' >"$WH_WORK/dated.txt"
TZ=UTC touch -d '2021-03-04 05:06:07' "$WH_WORK/dated.txt"
wh_assert_eq "2021-03-04 13:06:07" "$(TZ=CST-8 wh_filetime_of "$WH_WORK/dated.txt")" "local write time"
wh_fileinfo "$WH_WORK/dated.txt" | grep -qx 'size=3' || wh_fail "fileinfo size"

# The registry, Chinese data exact.
key='HKLM\Software\setupkit-harness-test'
wh_on_exit wh_reg_delete "$key"
wh_reg_add "$key" Name REG_SZ "中文 名"
wh_reg_add "$key" Count REG_DWORD 4294967295
wh_assert_eq "REG_SZ 中文 名" "$(wh_reg_value "$key" Name)"
wh_assert_eq "REG_DWORD 4294967295" "$(wh_reg_value "$key" Count)"
# The view is the one the build under test writes into.
if [[ $WH_REG_VIEW == /reg:32 ]]; then
  wh__sys reg query 'HKLM\Software\Wow6432Node\setupkit-harness-test' /v Count >/dev/null ||
    wh_fail "the value is not in the 32-bit view"
else
  ! wh__sys reg query 'HKLM\Software\Wow6432Node\setupkit-harness-test' /v Count >/dev/null 2>&1 ||
    wh_fail "the value of a 64-bit build's test landed in the 32-bit view"
fi
wh_reg_delete "$key"
! wh_reg_query "$key" >/dev/null 2>&1 || wh_fail "wh_reg_delete left $key"

# A test that changes the Windows version and leaves a program running
# hands the prefix back as it found it.
before=$(WH_FAILING=1 wh_reg_value 'HKCU\Software\Wine' Version 2>/dev/null) || before=none
cp "$WH_BIN/probe.exe" "$WH_WORK/leftover.exe"
WH_TEST=inner bash -c '. "$1/harness.sh"; wh_init; wh_set_winver win10
  [[ $(wh_reg_value "HKCU\Software\Wine" Version) == "REG_SZ win10" ]] || exit 3
  wh_run_bg "$2" --stay >/dev/null; wh_wait_for_line "$PROBE_LOG" "name=leftover.exe|"' _ "$WH_DIR" "$WH_WORK/leftover.exe" ||
  wh_fail "the inner test failed"
after=$(WH_FAILING=1 wh_reg_value 'HKCU\Software\Wine' Version 2>/dev/null) || after=none
wh_assert_eq "$before" "$after" "the Windows version after a test that set it"
for p in /proc/[0-9]*; do
  [[ $(wine_program_name "${p#/proc/}") != leftover.exe ]] || wh_fail "a program of the ended test still runs"
done
echo "tools and harness: ok"
