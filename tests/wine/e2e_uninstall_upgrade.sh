#!/bin/bash
# Installing version 2 over version 1 runs version 1's real uninstaller
# first: what ends up in the folder is exactly version 2's files (not
# version 1's file that version 2 dropped), with version 2's uninstaller
# in place and one uninstall entry; no copy of the uninstaller stays.
. "$(dirname "$0")/harness.sh"
. "$(dirname "$0")/product.sh"
wh_init

guid='{6C1B7E2A-0D55-4E0C-9A51-3F1B2C3D4E12}'
base='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
wh_reg_delete "$base\\$guid"
wh_on_exit wh_reg_delete "$base\\$guid"
wh_on_exit wh_reg_delete 'HKLM\Software\Probe Works'
wh_on_exit wh_reg_delete 'HKCU\Software\Probe Works'
app_win="$(wh_program_files)\\Probe Product"
app=$(wh_unixpath "$app_win")
rm -rf "$app"
wh_on_exit rm -rf "$app"

build() {
  local out
  out=$(wh_setupkit build "$1/product.xml" --stub "${SETUP_EXE:-$WH_BIN/Setup.exe}" -o "$2" 2>&1) ||
    wh_fail "setupkit build failed: $out"
}
install() {
  local rc=0
  wh_wine "$1" /SILENT >/dev/null 2>"$WH_WORK/err.txt" || rc=$?
  wh_assert_eq 0 "$rc" "exit code of $(basename "$1") (stderr: $(head -c 300 "$WH_WORK/err.txt"))"
}
tree() { (cd "$1" && find . -mindepth 1 | LC_ALL=C sort); }

# Version 1 has one data file more than version 2.
P_GUID=$guid P_VERSION=1.0 P_NO_RUNS=1 P_NO_UNINSTALLER=1 PROBE_EXE=$WH_BIN/probe.exe make_product "$WH_WORK/v1"
printf 'only in version 1\r\n' >"$WH_WORK/v1/files/data/sub/old-only.txt"
build "$WH_WORK/v1" "$WH_WORK/Setup1.exe"
P_GUID=$guid P_VERSION=2.0 P_NO_RUNS=1 P_NO_UNINSTALLER=1 PROBE_EXE=$WH_BIN/probe.exe make_product "$WH_WORK/v2"
build "$WH_WORK/v2" "$WH_WORK/Setup2.exe"

install "$WH_WORK/Setup1.exe"
[[ -f $app/data/sub/old-only.txt ]] || wh_fail "version 1 was not installed"
before=$(date +%s)
install "$WH_WORK/Setup2.exe"

# Exactly version 2's files: those of a fresh installation of it.
got=$(tree "$app")
rm -rf "$app"
wh_reg_delete "$base\\$guid"
install "$WH_WORK/Setup2.exe"
wh_assert_eq "$(tree "$app")" "$got" "the folder after the upgrade, against a fresh installation of version 2"
[[ $got != *old-only.txt* ]] || wh_fail "version 1's file stayed"
[[ -f $app/Uninstall.exe ]] || wh_fail "the upgrade lost version 2's Uninstall.exe"
wh_assert_eq "REG_SZ 2.0" "$(wh_reg_value "$base\\$guid" DisplayVersion)" "DisplayVersion after the upgrade"
entries=$(wh_reg_query "$base" | grep -ciF "$guid" || true)
wh_assert_eq 1 "$entries" "uninstall entries of the product"
pgrep -fa '~uninst' && wh_fail "a copy of the uninstaller is still running"
temp=$(wh_unixpath "$(wh__sys cmd /c echo %TEMP% | tr -d '\r')")
[[ -d $temp ]] || wh_fail "no temporary folder \"$temp\""
# The copy goes as its process ends; its private folder, emptied then,
# stays under Wine until the next removal sweeps it.
leftover=$(find "$temp" -maxdepth 1 -name '~uninst*' -newermt "@$before" -not -empty 2>/dev/null || true)
[[ -z $leftover ]] || wh_fail "a copy of the uninstaller stayed in the temporary folder: $leftover"

# Version 2's uninstaller, put there by the upgrade, removes version 2.
rc=0
wh_wine "$app/Uninstall.exe" /SILENT >/dev/null 2>"$WH_WORK/err.txt" || rc=$?
wh_assert_eq 0 "$rc" "exit code of version 2's uninstaller (stderr: $(head -c 300 "$WH_WORK/err.txt"))"
for _ in $(seq 50); do [[ -d $app ]] || break; sleep 0.1; done
[[ ! -d $app ]] || wh_fail "version 2's uninstaller left: $(ls -A "$app")"
