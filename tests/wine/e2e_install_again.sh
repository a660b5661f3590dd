#!/bin/bash
# Installing over a previous installation: its quiet uninstallers run first
# (the "_is1" entry's, then the product's own), before any file is written;
# the previous folder is where the new version goes; a running copy of a
# packaged program is ended and its file replaced.
. "$(dirname "$0")/harness.sh"
. "$(dirname "$0")/product.sh"
wh_init

guid='{6C1B7E2A-0D55-4E0C-9A51-3F1B2C3D4E02}'
base="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
for k in "$base\\$guid" "$base\\${guid}_is1" "$base\\${guid}_kv"; do
  wh_reg_delete "$k"
  wh_on_exit wh_reg_delete "$k"
done
wh_on_exit wh_reg_delete 'HKLM\Software\Probe Works'
P_GUID=$guid P_VERSION=3.0 PROBE_EXE=$WH_BIN/probe.exe make_product "$WH_WORK/p"
wh_build_setup "$WH_WORK/p/product.xml" "$WH_WORK/ProbeSetup.exe"

# What an older version left: its uninstallers (probes that log their
# start), its folder, and its program, still running (a holder under the
# program's name, so its file is in use and differs from the new one).
old="$WH_WORK/old"
mkdir -p "$old/is1" "$old/own" "$old/kv" "$old/Probe Folder"
for d in is1 own kv; do cp "$WH_BIN/probe.exe" "$old/$d/Uninstall.exe"; done
app=$old/Probe\ Folder
app_win=$(wh_winpath "$app")
cp "$WH_BIN/holder.exe" "$app/app.exe"
wh_reg_add "$base\\${guid}_is1" QuietUninstallString REG_SZ "\"$(wh_winpath "$old/is1")\\Uninstall.exe\" /SILENT"
wh_reg_add "$base\\$guid" QuietUninstallString REG_SZ "\"$(wh_winpath "$old/own")\\Uninstall.exe\" /SILENT"
wh_reg_add "$base\\$guid" InstallLocation REG_SZ "$app_win\\"
# The "_kv" key is read only when the product's own key is missing.
wh_reg_add "$base\\${guid}_kv" QuietUninstallString REG_SZ "\"$(wh_winpath "$old/kv")\\Uninstall.exe\" /SILENT"

running=$(wh_run_bg "$app/app.exe" "$(wh_winpath "$WH_WORK/held.txt")" "$(wh_winpath "$WH_WORK/never")")
wh_wait_for_line "$(wh_bg_log "$running")" holding

log="$WH_WORK/probe.log"
export PROBE_LOG=$(wh_winpath "$log") PROBE_CHECK="$app_win\\bin\\helper-renamed.exe"
rc=0
wh_wine "$WH_WORK/ProbeSetup.exe" /Silent >"$WH_WORK/out.txt" 2>"$WH_WORK/err.txt" || rc=$?
wh_assert_eq 0 "$rc" "exit code (stderr: $(head -c 500 "$WH_WORK/err.txt"))"

# The uninstallers, in order, each before the first file of the new version.
mapfile -t starts < <(tr -d '\r' <"$log")
[[ ${#starts[@]} -ge 3 ]] || wh_fail "expected the two uninstallers and the waited program, the log holds: $(cat "$log")"
[[ ${starts[0]} == *"|cmdline=\"$(wh_winpath "$old/is1")\\Uninstall.exe\" /SILENT"* ]] ||
  wh_fail "first start is not the _is1 uninstaller: ${starts[0]}"
[[ ${starts[1]} == *"|cmdline=\"$(wh_winpath "$old/own")\\Uninstall.exe\" /SILENT"* ]] ||
  wh_fail "second start is not the product's own uninstaller: ${starts[1]}"
for i in 0 1; do
  [[ ${starts[$i]} == *"|exists=0"* ]] || wh_fail "an uninstaller ran after the new files were written: ${starts[$i]}"
done
! grep -qF "$(wh_winpath "$old/kv")" "$log" || wh_fail "the _kv uninstaller ran although the product's own key exists"

# The previous folder was used, and the running program was ended and its
# file replaced by the new one.
[[ -f $app/bin/helper-renamed.exe ]] || wh_fail "the new version did not go into the previous folder"
wh_bg_wait "$running" 20 || true
wh_bg_running "$running" && wh_fail "the running copy of app.exe was not ended"
cmp -s "$WH_BIN/probe.exe" "$app/app.exe" || wh_fail "app.exe was not replaced by the new version's"
wh_assert_eq "REG_SZ $app_win\\" "$(wh_reg_value "$base\\$guid" InstallLocation)" "InstallLocation after the upgrade"
wh_assert_eq "REG_SZ 3.0" "$(wh_reg_value "$base\\$guid" DisplayVersion)" "DisplayVersion after the upgrade"
