#!/bin/bash
# Running programs are ended by the file they run from, not by their name.
# Installing over the product ends the copy of app.exe that runs from the
# product's folder and writes the new app.exe in its place; removing it
# with "Uninstall.exe /SILENT" ends the product's programs again, a renamed
# one included. Programs of the same names elsewhere (another folder, a
# folder of the product where the product put no such file) run on through
# both, and so does the uninstaller itself.
. "$(dirname "$0")/harness.sh"
. "$(dirname "$0")/product.sh"
wh_init

guid='{6C1B7E2A-0D55-4E0C-9A51-3F1B2C3D4E31}'
base='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
wh_reg_delete "$base\\$guid"
wh_on_exit wh_reg_delete "$base\\$guid"
wh_on_exit wh_reg_delete 'HKLM\Software\Probe Works'
wh_on_exit wh_reg_delete 'HKCU\Software\Probe Works'
app_win="$(wh_program_files)\\Own Programs"
app=$(wh_unixpath "$app_win")
rm -rf "$app"
wh_on_exit rm -rf "$app"

# The real uninstaller goes with the product (setupkit adds it).
P_GUID=$guid P_TITLES="自有程序|自有程式|Own Programs" P_NO_RUNS=1 P_NO_UNINSTALLER=1 PROBE_EXE=$WH_BIN/probe.exe \
  make_product "$WH_WORK/p"
wh_build_setup "$WH_WORK/p/product.xml" "$WH_WORK/ProbeSetup.exe"

install() {
  local rc=0
  wh_wine "$WH_WORK/ProbeSetup.exe" /SILENT >/dev/null 2>"$WH_WORK/err.txt" || rc=$?
  wh_assert_eq 0 "$rc" "exit code of the installation (stderr: $(head -c 300 "$WH_WORK/err.txt"))"
}
# start PATH: the probe at PATH, running until it is ended; prints its pid
# once it runs.
start() {
  local pid
  pid=$(wh_run_bg "$1" --stay)
  wh_wait_for_line "$(wh_bg_log "$pid")" "name=" 30
  echo "$pid"
}
ended() {
  wh_bg_wait "$1" 20 || true
  wh_bg_running "$1" && wh_fail "$2 still runs: it was not ended"
  return 0
}
running() { wh_bg_running "$1" || wh_fail "$2 was ended: $(cat "$(wh_bg_log "$1")")"; }

install
[[ -f $app/app.exe && -f $app/bin/helper-renamed.exe && -f $app/Uninstall.exe ]] || wh_fail "the first installation is incomplete"

# An older app.exe (the same program with bytes of its own at the end, which
# the loader ignores) runs from the product's folder; the same names run
# from a folder of the user's, and an app.exe the user put into the
# product's data folder, where the product has no app.exe.
{ cat "$WH_BIN/probe.exe"; printf 'older version'; } >"$app/app.exe"
elsewhere="$WH_WORK/Elsewhere"
mkdir -p "$elsewhere"
cp "$WH_BIN/probe.exe" "$elsewhere/app.exe"
cp "$WH_BIN/probe.exe" "$elsewhere/helper-renamed.exe"
cp "$WH_BIN/probe.exe" "$app/data/app.exe"
own=$(start "$app/app.exe")
other_app=$(start "$elsewhere/app.exe")
other_helper=$(start "$elsewhere/helper-renamed.exe")
users=$(start "$app/data/app.exe")

# Without an uninstall entry no earlier uninstaller runs first: what ends
# the running copy is the installer's own step.
wh_reg_delete "$base\\$guid"
install
ended "$own" "the product's app.exe (during the installation)"
cmp -s "$WH_BIN/probe.exe" "$app/app.exe" || wh_fail "the installation did not write the new app.exe over the old one"
running "$other_app" "app.exe in another folder (during the installation)"
running "$other_helper" "helper-renamed.exe in another folder (during the installation)"
running "$users" "the user's app.exe in the product's data folder (during the installation)"

# The removal: the product's programs, the renamed one by its installed
# name, are ended; the others run on.
own=$(start "$app/app.exe")
own_helper=$(start "$app/bin/helper-renamed.exe")
rc=0
wh_wine "$app/Uninstall.exe" /SILENT >/dev/null 2>"$WH_WORK/err.txt" || rc=$?
wh_assert_eq 0 "$rc" "exit code of Uninstall.exe /SILENT (stderr: $(head -c 500 "$WH_WORK/err.txt"))"
ended "$own" "the product's app.exe (during the removal)"
ended "$own_helper" "the product's helper-renamed.exe (during the removal)"
[[ ! -e $app/app.exe && ! -e $app/bin/helper-renamed.exe ]] || wh_fail "the product's programs were not removed"
running "$other_app" "app.exe in another folder (during the removal)"
running "$other_helper" "helper-renamed.exe in another folder (during the removal)"
running "$users" "the user's app.exe in the product's data folder (during the removal)"
[[ -f $app/data/app.exe ]] || wh_fail "the uninstaller removed the user's app.exe"
