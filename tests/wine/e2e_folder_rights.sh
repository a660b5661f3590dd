#!/bin/bash
# Product folders outside Program Files that only administrators can
# change, as a program reads their rights back (fileinfo --rights).
#
# Wine keeps no access lists: it shows a file's Unix mode as one (SYSTEM
# and the user full control, Everyone what "others" may do) and takes of a
# list it is given only what it maps to that mode. So "Everyone may
# change it" is a folder with write for others, and a folder made with the
# product's rights shows no entry for Everyone at all. What Wine cannot
# show (the owner, the entries for administrators and users) the unit
# tests check on the descriptors themselves.
#
#   - a new folder (C:\Rights Probe\App): made with the product's rights,
#     where a folder made by hand beside it shows Everyone's entry;
#   - this product's previous folder that everyone may change: protected by
#     the upgrade, which installs (exit 0);
#   - someone else's folder that everyone may change: /Silent refuses it
#     with exit 4 and the reason, changes nothing; interactively the user
#     is asked, "No" keeps the start page, "Yes" protects it and installs;
#   - Uninstall.exe in a folder everyone may change refuses with exit 1 and
#     removes nothing; protected again, it removes the product;
#   - an old uninstaller registered in a folder everyone may change is
#     never run by the installer; the same program in a protected folder is.
. "$(dirname "$0")/harness.sh"
. "$(dirname "$0")/product.sh"
wh_init

guid='{6C1B7E2A-0D55-4E0C-9A51-3F1B2C3D4E52}'
base='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
entry="$base\\$guid"
wh_on_exit wh_reg_delete "$entry"
wh_on_exit wh_reg_delete "${entry}_is1"
wh_on_exit wh_reg_delete 'HKLM\Software\Probe Works'
P_GUID=$guid P_TITLES="||Rights Probe" P_NO_RUNS=1 P_NO_UNINSTALLER=1 PROBE_EXE=$WH_BIN/probe.exe make_product "$WH_WORK/p"
title="Rights Probe Setup"

drive_c="$WINEPREFIX/drive_c"
fresh="$drive_c/Rights Probe"
open="$drive_c/Rights Open"
control="$drive_c/Rights Control"
rm -rf "$fresh" "$open" "$control"
wh_on_exit rm -rf "$fresh" "$open" "$control"
export PROBE_LOG="$WH_WORK/probe.log"
: >"$PROBE_LOG"

# setup_for FOLDER: the setup with FOLDER as its default destination.
setup_for() {
  sed -i "s|DefInstallPath=\"[^\"]*\"|DefInstallPath=\"${1//\\/\\\\}\"|" "$WH_WORK/p/product.xml"
  wh_build_setup "$WH_WORK/p/product.xml" "$WH_WORK/ProbeSetup.exe"
}
# install CODE: /Silent, standard error in err.txt.
install() {
  local rc=0
  LANG=en_GB.UTF-8 LC_ALL=en_GB.UTF-8 wh_wine "$WH_WORK/ProbeSetup.exe" /Silent \
    >"$WH_WORK/out.txt" 2>"$WH_WORK/err.txt" || rc=$?
  wh_assert_eq "$1" "$rc" "exit code of Setup.exe /Silent (stderr: $(head -c 400 "$WH_WORK/err.txt"))"
}
# uninstall FOLDER CODE
uninstall() {
  local rc=0
  LANG=en_GB.UTF-8 LC_ALL=en_GB.UTF-8 wh_wine "$1/Uninstall.exe" /SILENT \
    >"$WH_WORK/out.txt" 2>"$WH_WORK/err.txt" || rc=$?
  wh_assert_eq "$2" "$rc" "exit code of Uninstall.exe /SILENT (stderr: $(head -c 400 "$WH_WORK/err.txt"))"
}
rights() {
  local out
  out=$(wh_tool fileinfo --rights "$1" 2>&1) || wh_fail "fileinfo --rights $1: $out"
  tr -d '\r' <<<"$out"
}
# Everyone's entry: none, read and run (0x1200a9), or read, run and change.
everyone() { rights "$1" | grep -o '([^()]*;;;WD)' | cut -d';' -f3 || true; }

# A new folder outside Program Files: made with the product's rights.
mkdir -p "$control"
[[ -n $(everyone "$control") ]] || wh_fail "a folder made by hand shows no entry for Everyone: $(rights "$control")"
wh_reg_delete "$entry"
setup_for 'C:\Rights Probe\App'
install 0
[[ -f $fresh/App/app.exe ]] || wh_fail "nothing was installed into C:\\Rights Probe\\App"
wh_assert_eq "" "$(everyone "$fresh")" "Everyone's rights on the new C:\\Rights Probe ($(rights "$fresh"))"

# This product's previous folder, which everyone may change: the upgrade
# protects it and installs.
mkdir -p "$open/Old"
chmod 0777 "$open/Old"
wh_assert_eq 0x1301ff "$(everyone "$open/Old")" "Everyone's rights on a world-writable folder"
wh_reg_add "$entry" InstallLocation REG_SZ 'C:\Rights Open\Old\'
install 0
[[ -f $open/Old/app.exe ]] || wh_fail "the upgrade did not install into its previous folder"
[[ $(everyone "$open/Old") != 0x1301ff ]] || wh_fail "the previous folder still lets everyone change it: $(rights "$open/Old")"

# The uninstaller in a folder everyone may change: refused, nothing removed.
chmod 0777 "$open/Old"
uninstall "$open/Old" 1
grep -qF 'a folder that users without administrator rights can change' "$WH_WORK/err.txt" ||
  wh_fail "the uninstaller's refusal gives no reason: $(cat "$WH_WORK/err.txt")"
[[ -f $open/Old/app.exe && -f $open/Old/Uninstall.da1 ]] || wh_fail "the refused uninstaller removed files"
wh_reg_query "$entry" >/dev/null || wh_fail "the refused uninstaller removed the uninstall entry"

# Protected again, the same uninstaller removes the product.
chmod 0755 "$open/Old"
uninstall "$open/Old" 0
[[ ! -e $open/Old/app.exe ]] || wh_fail "the uninstaller did not remove the product from its protected folder"

# An old uninstaller registered in a folder everyone may change is not run
# by the installer; once the folder is protected, it is.
mkdir -p "$open/Planted"
cp "$WH_BIN/probe.exe" "$open/Planted/unins000.exe"
chmod 0777 "$open/Planted"
wh_reg_add "${entry}_is1" QuietUninstallString REG_SZ '"C:\Rights Open\Planted\unins000.exe" /SILENT'
install 0
[[ ! -s $PROBE_LOG ]] || wh_fail "the installer ran an uninstaller from a folder everyone may change: $(cat "$PROBE_LOG")"
chmod 0755 "$open/Planted"
install 0
grep -q 'name=unins000.exe' "$PROBE_LOG" ||
  wh_fail "the old uninstaller in a protected folder did not run, so the refusal above proves nothing"
wh_reg_delete "${entry}_is1"
uninstall "$fresh/App" 0
rm -rf "$open"

# Someone else's folder that everyone may change: refused in /Silent.
mkdir -p "$open/Shared"
chmod 0777 "$open/Shared"
wh_reg_delete "$entry"
setup_for 'C:\Rights Open\Shared'
install 4
grep -qF 'Users without administrator rights can change the folder C:\Rights Open\Shared\: ' "$WH_WORK/err.txt" ||
  wh_fail "the refusal does not give the reason: $(cat "$WH_WORK/err.txt")"
[[ -z $(ls -A "$open/Shared") ]] || wh_fail "the refused folder is not empty: $(ls -A "$open/Shared")"
wh_assert_eq 0x1301ff "$(everyone "$open/Shared")" "Everyone's rights on the refused folder"
! wh_reg_query "$entry" >/dev/null 2>&1 || wh_fail "the refused installation wrote an uninstall entry"

# Interactively: asked; "No" keeps the start page and the folder as it is,
# "Yes" protects it and installs.
setup=$(LANG=en_GB.UTF-8 LC_ALL=en_GB.UTF-8 wh_run_bg "$WH_WORK/ProbeSetup.exe")
wh_windriver key "Select Language" Enter >/dev/null || wh_fail "no language dialog"
wh_windriver wait "$title" >/dev/null || wh_fail "the main window did not appear"
ask() {
  wh_windriver click "$title" "Install" >/dev/null
  box=$(wh_windriver --class '#32770' text "$title" | tr -d '\r') || wh_fail "no question about the open folder"
  grep -qF 'Users without administrator rights can change the folder C:\Rights Open\Shared\: ' <<<"$box" &&
    grep -qF 'Make the folder changeable by administrators only' <<<"$box" || wh_fail "the wrong question: $box"
}
ask
WH_SHOT_OPTS="--class #32770" wh_screenshot install-open-folder-question "$title" >/dev/null
wh_windriver --class '#32770' click "$title" "&No" >/dev/null
wh_windriver --class '#32770' gone "$title" >/dev/null
grep -qxF "Install" <<<"$(wh_windriver text "$title" | tr -d '\r')" || wh_fail "the start page did not stay after No"
wh_assert_eq 0x1301ff "$(everyone "$open/Shared")" "Everyone's rights after No"
ask
wh_windriver --class '#32770' click "$title" "&Yes" >/dev/null
for _ in $(seq 150); do [[ -f $open/Shared/app.exe ]] && break; sleep 0.2; done
[[ -f $open/Shared/app.exe ]] || wh_fail "Yes did not install"
[[ $(everyone "$open/Shared") != 0x1301ff ]] || wh_fail "Yes did not protect the folder: $(rights "$open/Shared")"
wh_windriver close "$title" >/dev/null 2>&1 || true
wh_bg_wait "$setup" >/dev/null 2>&1 || true
uninstall "$open/Shared" 0
echo "ok"
