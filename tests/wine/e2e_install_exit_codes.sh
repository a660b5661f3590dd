#!/bin/bash
# Every way the installer ends says so in its exit code: the system gate
# (3 on Windows 8.1 for a product that needs Windows 10, 0 on Windows 10),
# no package (1), a package that cannot be read or lacks a file's data (1,
# before anything changes), no display at all (0: /Silent makes no
# window and installs all the same), an online setup whose
# download is not available (4), a destination that cannot be used in
# /Silent (4) and in /Auto once the window is closed (4).
. "$(dirname "$0")/harness.sh"
. "$(dirname "$0")/product.sh"
wh_init

guid='{6C1B7E2A-0D55-4E0C-9A51-3F1B2C3D4E05}'
base="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
wh_on_exit wh_reg_delete "$base\\$guid"
wh_on_exit wh_reg_delete 'HKLM\Software\Probe Works'
P_GUID=$guid P_WINVERSION=wveWin10OrHigher P_NO_RUNS=1 PROBE_EXE=$WH_BIN/probe.exe make_product "$WH_WORK/p"
wh_build_setup "$WH_WORK/p/product.xml" "$WH_WORK/ProbeSetup.exe"
app="$WH_WORK/Probe Folder"
wh_reg_add "$base\\$guid" InstallLocation REG_SZ "$(wh_winpath "$app")\\"

silent() {  # EXPECTED_CODE WHAT SETUP
  local rc=0
  wh_wine "$3" /Silent >"$WH_WORK/out.txt" 2>"$WH_WORK/err.txt" || rc=$?
  wh_assert_eq "$1" "$rc" "exit code: $2 (stderr: $(head -c 300 "$WH_WORK/err.txt"))"
}

wh_set_winver win81
silent 3 "Windows 8.1 for a product that needs Windows 10" "$WH_WORK/ProbeSetup.exe"
grep -qF "Please install this software in Windows 7 or higher." "$WH_WORK/err.txt" ||
  wh_fail "the refusal is not on standard error: $(cat "$WH_WORK/err.txt")"
[[ ! -e $app ]] || wh_fail "something was installed on a refused system"
wh_set_winver win10
silent 0 "Windows 10" "$WH_WORK/ProbeSetup.exe"
[[ -f $app/Uninstall.da1 ]] || wh_fail "nothing was installed on Windows 10"

# Without any display Wine can make no window at all, as on a machine
# where nobody is logged on: /Silent makes none and installs all the same.
rm -rf "$app"
rc=0
(unset DISPLAY; wh_wine "$WH_WORK/ProbeSetup.exe" /Silent) >"$WH_WORK/out.txt" 2>"$WH_WORK/err.txt" || rc=$?
wh_assert_eq 0 "$rc" "exit code of /Silent without a display (stderr: $(head -c 300 "$WH_WORK/err.txt"))"
[[ -f $app/Uninstall.da1 && -f $app/Uninstall.da2 ]] || wh_fail "/Silent without a display installed nothing"

# The installer with no package in it.
cp "${SETUP_EXE:-$WH_BIN/Setup.exe}" "$WH_WORK/Bare.exe"
silent 1 "an installer without a package" "$WH_WORK/Bare.exe"
[[ -s $WH_WORK/err.txt ]] || wh_fail "no word on standard error for an installer without a package"

# A script resource whose bytes were damaged after the build.
wrestool -x --raw --type=10 --name='{54682D66-DEF6-4E5B-8AB5-70FFDF2C0E3A}' "$WH_WORK/ProbeSetup.exe" \
  >"$WH_WORK/script.res" || wh_skip "wrestool cannot read the script resource"
python3 - "$WH_WORK/ProbeSetup.exe" "$WH_WORK/script.res" "$WH_WORK/Damaged.exe" <<'PY'
import sys
exe = bytearray(open(sys.argv[1], 'rb').read())
res = open(sys.argv[2], 'rb').read()
at = exe.find(res)
assert at > 0 and len(res) > 40
for i in range(20, 40):
    exe[at + i] ^= 0x5A
open(sys.argv[3], 'wb').write(exe)
PY
silent 1 "a damaged script" "$WH_WORK/Damaged.exe"
[[ -s $WH_WORK/err.txt ]] || wh_fail "no word on standard error for a damaged package"

# A file whose data the package lacks: the script names a ResID that the
# file data does not hold. Setup stops at start-up (1), says why, and the
# installed version is left as it was.
python3 - "$WH_WORK/ProbeSetup.exe" "$WH_WORK/script.res" "$WH_WORK/Missing.exe" <<'PY' ||
import sys, zlib, re
exe = bytearray(open(sys.argv[1], 'rb').read())
res = open(sys.argv[2], 'rb').read()
at = exe.find(res)
xor = lambda b: bytes(c ^ (i % 255) for i, c in enumerate(b))
xml = zlib.decompress(xor(res))
# The ResID of nested.dat, changed one hex digit at a time until the
# encoded script has its old length, so it fits where the old one was.
m = re.search(rb'ResID="(\{[0-9A-F-]+\})" SourceMask="nested.dat"', xml)
assert m, "no ResID for nested.dat"
old_id = m.group(1)
for pos in range(1, len(old_id) - 1):
    for digit in b"0123456789ABCDEF":
        if old_id[pos] in b"-" or old_id[pos] == digit:
            continue
        new_id = old_id[:pos] + bytes([digit]) + old_id[pos + 1:]
        enc = xor(zlib.compress(xml.replace(old_id, new_id), 9))
        if len(enc) == len(res):
            exe[at:at + len(res)] = enc
            open(sys.argv[3], 'wb').write(exe)
            sys.exit(0)
sys.exit(1)
PY
  wh_fail "cannot make a setup whose file data lacks a file"
cp -a "$app" "$WH_WORK/before-damaged"
silent 1 "a file whose data is missing from the package" "$WH_WORK/Missing.exe"
grep -qF "nested.dat: the package holds no data for this file" "$WH_WORK/err.txt" ||
  wh_fail "standard error does not say which file's data is missing: $(cat "$WH_WORK/err.txt")"
diff -r "$WH_WORK/before-damaged" "$app" >/dev/null || wh_fail "a damaged package changed the installed version"

# An online setup: its download is not available in this version.
wh_setupkit build "$WH_WORK/p/product.xml" --stub "${SETUP_EXE:-$WH_BIN/Setup.exe}" -o "$WH_WORK/Full.exe" \
  --online "$WH_WORK/Online.exe" >/dev/null || wh_fail "cannot build the online setup"
silent 4 "an online setup" "$WH_WORK/Online.exe"

# A destination that cannot be made: /Silent ends with 4 and the message.
wh_reg_add "$base\\$guid" InstallLocation REG_SZ 'C:\bad<name>\x'
silent 4 "a destination that cannot be created" "$WH_WORK/ProbeSetup.exe"
grep -qF 'Failed to create destination directory: C:\bad<name>\x\, please re-enter.' "$WH_WORK/err.txt" ||
  wh_fail "the destination message is not on standard error: $(cat "$WH_WORK/err.txt")"

# /Auto: the message in a box, then the progress page with nothing to go
# on with; closing the window ends with 4.
setup=$(wh_run_bg "$WH_WORK/ProbeSetup.exe" /Auto)
title="Probe Product Setup"
wh_windriver --class '#32770' wait "$title" >/dev/null || wh_fail "/Auto showed no message for the bad destination"
wh_windriver --class '#32770' key "$title" Enter >/dev/null
wh_windriver --class '#32770' gone "$title" >/dev/null
text=$(wh_windriver text "$title" | tr -d '\r')
grep -qxF "Installing" <<<"$text" || wh_fail "/Auto is not on the progress page: $text"
! grep -qxF "Install" <<<"$text" || wh_fail "/Auto offers Install after a failed check: $text"
wh_screenshot install-auto-after-failed-check >/dev/null
wh_windriver key "$title" Alt+F4 >/dev/null
rc=0; wh_bg_wait "$setup" 30 || rc=$?
wh_assert_eq 4 "$rc" "exit code of /Auto closed after a failed destination check"
