#!/bin/bash
# From a folder to an installed product in two commands: setupkit init,
# then setupkit build. The setup installs with /Silent (the files, the
# shortcut, the picture kept for the uninstaller) and its window shows the
# picture init drew (screenshot init-start-page.png).
. "$(dirname "$0")/harness.sh"
wh_init

mkdir -p "$WH_WORK/Init Probe/docs" "$WH_WORK/project"
cp "$WH_BIN/probe.exe" "$WH_WORK/Init Probe/initprobe.exe"
printf 'read me\r\n' >"$WH_WORK/Init Probe/docs/readme.txt"
out=$(cd "$WH_WORK/project" && wh_setupkit init "$WH_WORK/Init Probe" --publisher "Init Works" 2>&1) ||
  wh_fail "setupkit init failed: $out"
guid=$(sed -n 's/.* GUID="\({[0-9A-F-]*}\)".*/\1/p' "$WH_WORK/project/project.xml" | head -n 1)
[[ -n $guid ]] || wh_fail "the project has no GUID: $(head -c 600 "$WH_WORK/project/project.xml")"
key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$guid"
wh_on_exit wh_reg_delete "$key"
wh_build_setup "$WH_WORK/project/project.xml" "$WH_WORK/InitSetup.exe"

rc=0
wh_wine "$WH_WORK/InitSetup.exe" /Silent >"$WH_WORK/out.txt" 2>"$WH_WORK/err.txt" || rc=$?
wh_assert_eq 0 "$rc" "exit code of the new project's setup (stderr: $(head -c 300 "$WH_WORK/err.txt"))"
app=$(wh_unixpath "$(wh_program_files)\\Init Probe")
wh_on_exit rm -rf "$app"
cmp -s "$WH_BIN/probe.exe" "$app/initprobe.exe" || wh_fail "initprobe.exe was not installed"
[[ -f $app/docs/readme.txt ]] || wh_fail "docs\\readme.txt was not installed"
[[ -f "$(wh_unixpath "$(wh_common_programs)\\Init Probe\\initprobe.lnk")" ]] || wh_fail "no Start menu shortcut for initprobe.exe"
wh_setupkit decode "$app/Uninstall.da2" "$WH_WORK/da2.png" >/dev/null || wh_fail "Uninstall.da2 does not decode"
cmp -s "$WH_WORK/project/project.png" "$WH_WORK/da2.png" || wh_fail "the installed picture is not the one init drew"

# The window with init's picture, for a person to look at; then closed.
pid=$(wh_run_bg "$WH_WORK/InitSetup.exe")
# The title in Chinese and English: the language is asked first.
wh_windriver key "Select Language" Enter >/dev/null || wh_fail "no language dialog"
title="Init Probe Setup"
wh_windriver wait "$title" >/dev/null || wh_fail "the setup's window did not appear"
sleep 1
wh_screenshot init-start-page "$title" >/dev/null
wh_windriver close "$title" >/dev/null
wh_bg_wait "$pid" 30 || true
echo "PASS: init and build gave a setup that installs and shows its picture"
