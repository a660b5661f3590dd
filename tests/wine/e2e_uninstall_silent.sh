#!/bin/bash
# Install, then "Uninstall.exe /SILENT": the prefix is as it was before the
# installation (files, folders, registry, shortcuts) but for a file the
# test added under the product's folder, which stays with its folder, and
# a folder the test emptied, which the uninstaller did not empty itself. The
# product's uninstall programs run first, in order, by their wait types; a
# running copy of the product's program is ended; no copy of the
# uninstaller stays behind in the temporary folder or among the processes.
. "$(dirname "$0")/harness.sh"
. "$(dirname "$0")/product.sh"
wh_init

guid='{6C1B7E2A-0D55-4E0C-9A51-3F1B2C3D4E11}'
base='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
wh_on_exit wh_reg_delete "$base\\$guid"
wh_on_exit wh_reg_delete 'HKLM\Software\Probe Works'
wh_on_exit wh_reg_delete 'HKCU\Software\Probe Works'
wh_on_exit wh_reg_delete 'HKLM\Software\Probe Shared'

# Programs of the uninstall list live outside the product: a program of the
# product that still ran would keep its file.
tools="$WH_WORK/tools"
mkdir -p "$tools"
cp "$WH_BIN/probe.exe" "$tools/closer.exe"
cp "$WH_BIN/probe.exe" "$tools/stayer.exe"
cp "$WH_BIN/probe.exe" "$tools/starter.exe"
t=$(wh_winpath "$tools")
runs="            <TUninstallRun Checked=\"True\" Condition=\"\" FileName=\"$t\\closer.exe\" Params=\"closed &quot;{app}&quot;\" WaitSeconds=\"0\" WaitType=\"urwWaitClose\" WorkDir=\"{app}data\"/>
            <TUninstallRun Checked=\"True\" Condition=\"\" FileName=\"$t\\stayer.exe\" Params=\"--stay\" WaitSeconds=\"2\" WaitType=\"urwWaitSeconds\" WorkDir=\"\"/>
            <TUninstallRun Checked=\"True\" Condition=\"\" FileName=\"$t\\starter.exe\" Params=\"not waited\" WaitSeconds=\"0\" WaitType=\"urwNoWait\" WorkDir=\"\"/>"
# One value in a key of the product's own, one in a key that holds another
# value already.
shared='            <TSetupReg Checked="True" Condition="" RootKey="rrkLocalMachine" SubKey="Software\Probe Shared" ValueData="{app}" ValueName="FromProduct" ValueType="rvtString"/>'
# A title of its own: what other tests leave of "Probe Product" in the run's
# prefix is then no part of this comparison.
P_GUID=$guid P_TITLES="卸载探针|卸載探針|Uninstall Probe" P_NO_RUNS=1 P_NO_UNINSTALLER=1 P_UNINSTALL_RUNS=$runs P_EXTRA_REGS=$shared PROBE_EXE=$WH_BIN/probe.exe \
  make_product "$WH_WORK/p"
out=$(wh_setupkit build "$WH_WORK/p/product.xml" --stub "${SETUP_EXE:-$WH_BIN/Setup.exe}" -o "$WH_WORK/ProbeSetup.exe" 2>&1) ||
  wh_fail "setupkit build failed: $out"
grep -qF 'added the uninstaller' <<<"$out" || wh_fail "setupkit did not say that it added the uninstaller: $out"
wh_setupkit list "$WH_WORK/ProbeSetup.exe" | tr -d '\r' | grep -qF '{app}\Uninstall.exe' ||
  wh_fail "the setup lists no {app}\\Uninstall.exe"
out=$(wh_setupkit build "$WH_WORK/p/product.xml" --no-uninstaller --stub "${SETUP_EXE:-$WH_BIN/Setup.exe}" \
  -o "$WH_WORK/Bare.exe" 2>&1) || wh_fail "setupkit build --no-uninstaller failed: $out"
! wh_setupkit list "$WH_WORK/Bare.exe" | grep -qiF 'Uninstall.exe' || wh_fail "--no-uninstaller added the uninstaller"
wh_reg_add 'HKLM\Software\Probe Shared' Other REG_SZ keep
# The user's file stays by design; the next run starts without it.
app_win="$(wh_program_files)\\Uninstall Probe"
app=$(wh_unixpath "$app_win")
rm -rf "$app"
wh_on_exit rm -rf "$app"

# The state to come back to: every file and folder of drive C: but Wine's
# own, and the two registry trees a product writes into.
snapshot() {
  # The uninstaller's cleanup copy is deleted as its process ends; its
  # private folder, emptied then, stays under Wine until the next removal.
  (cd "$WINEPREFIX/drive_c" && find . -path ./windows -prune -o -path './users/*/Temp/~uninst{*}' -type d -empty \
    -prune -o -print | LC_ALL=C sort) >"$1.files"
  local tree
  for tree in HKLM HKCU; do
    wh_reg_export "$tree\\Software" "$WH_WORK/export.reg" || wh_fail "cannot export $tree\\Software"
    # Wine keeps system parameters it was first asked for under a volatile
    # key of its own, whenever a program happens to ask: not the product's.
    iconv -f UTF-16 -t UTF-8 "$WH_WORK/export.reg" | tr -d '\r' |
      awk '/^\[/ { skip = index($0, "\\Software\\Wine\\Temporary System Parameters") > 0 } !skip' >"$1.$tree"
  done
}
snapshot "$WH_WORK/before"

rc=0
wh_wine "$WH_WORK/ProbeSetup.exe" /SILENT >/dev/null 2>"$WH_WORK/err.txt" || rc=$?
wh_assert_eq 0 "$rc" "exit code of the installation (stderr: $(head -c 300 "$WH_WORK/err.txt"))"
for f in Uninstall.exe app.exe bin/helper-renamed.exe empty.txt data/sub/nested.dat Uninstall.da1; do
  [[ -f $app/$f ]] || wh_fail "$f was not installed"
done
cmp -s "$WH_BIN/Uninstall.exe" "$app/Uninstall.exe" || wh_fail "the installed Uninstall.exe is not the one setupkit added"
[[ -f "$(wh_unixpath "$(wh_desktop)")/Uninstall Probe on the desktop.lnk" ]] || wh_fail "no desktop shortcut to remove"

# What the user added, a folder the user emptied (not the uninstaller's to
# remove), and the product's programs still running, one of them under the
# name it was installed with.
printf 'mine\r\n' >"$app/data/user notes.txt"
rm "$app/data/sub/nested.dat"
running=$(wh_run_bg "$app/app.exe" --stay)
renamed=$(wh_run_bg "$app/bin/helper-renamed.exe" --stay)
sleep 1

log="$WH_WORK/probe.log"
export PROBE_LOG=$(wh_winpath "$log") PROBE_CHECK="$app_win\\app.exe"
start=$SECONDS
rc=0
wh_wine "$app/Uninstall.exe" /SILENT >"$WH_WORK/out.txt" 2>"$WH_WORK/err.txt" || rc=$?
took=$((SECONDS - start))
wh_assert_eq 0 "$rc" "exit code of Uninstall.exe /SILENT (stderr: $(head -c 500 "$WH_WORK/err.txt"))"
unset PROBE_CHECK

wh_bg_wait "$running" 20 || true
wh_bg_running "$running" && wh_fail "the running app.exe was not ended"
wh_bg_wait "$renamed" 20 || true
wh_bg_running "$renamed" && wh_fail "the running helper-renamed.exe was not ended"

# The uninstall programs: in list order, with expanded parameters and
# folder, the waited ones before the product's files went (the last one is
# not waited for and may start after); the waited-for-seconds one
# was left running after its two seconds.
# The one not waited for may still be starting.
wh_wait_for_line "$log" "name=starter.exe" 20
mapfile -t starts < <(tr -d '\r' <"$log")
wh_assert_eq 3 "${#starts[@]}" "uninstall programs started (log: $(cat "$log"))"
[[ ${starts[0]} == "name=closer.exe|"*"|cwd=$app_win\\data|exists=1|cmdline=\"$t\\closer.exe\" closed \"$app_win\\\"" ]] ||
  wh_fail "first uninstall program: ${starts[0]}"
[[ ${starts[1]} == "name=stayer.exe|"*"|exists=1|"* ]] || wh_fail "second uninstall program: ${starts[1]}"
[[ ${starts[2]} == "name=starter.exe|"*"|cmdline=\"$t\\starter.exe\" not waited" ]] ||
  wh_fail "third uninstall program: ${starts[2]}"
((took < 60)) || wh_fail "the uninstaller waited $took s: the two seconds of stayer.exe were not a limit"
pgrep -f 'stayer.exe' >/dev/null || wh_fail "stayer.exe did not outlive its two seconds of waiting"
wh__sys taskkill /F /IM stayer.exe >/dev/null 2>&1 || true

# The copy that deleted Uninstall.exe ends at once and takes itself along.
for _ in $(seq 50); do
  pgrep -f '~uninst' >/dev/null || break
  sleep 0.2
done
pgrep -fa '~uninst' && wh_fail "a copy of the uninstaller is still running"

# Compared with the state before: only the user's file with its folders
# and the folder the user emptied.
snapshot "$WH_WORK/after"
app_rel="./${app#*/c:/}"
expected=$(printf '%s\n' "$app_rel" "$app_rel/data" "$app_rel/data/sub" "$app_rel/data/user notes.txt" | LC_ALL=C sort)
added=$(LC_ALL=C comm -13 "$WH_WORK/before.files" "$WH_WORK/after.files")
removed=$(LC_ALL=C comm -23 "$WH_WORK/before.files" "$WH_WORK/after.files")
wh_assert_eq "$expected" "$added" "what stays on drive C: after uninstalling"
wh_assert_eq "" "$removed" "what the uninstaller removed that was there before the installation"
for tree in HKLM HKCU; do
  if ! diff -u "$WH_WORK/before.$tree" "$WH_WORK/after.$tree" >"$WH_WORK/reg.diff"; then
    wh_fail "$tree\\Software differs from its state before the installation: $(head -c 1500 "$WH_WORK/reg.diff")"
  fi
done
wh_assert_eq "REG_SZ keep" "$(wh_reg_value 'HKLM\Software\Probe Shared' Other)" "the shared key's other value"
