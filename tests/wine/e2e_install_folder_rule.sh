#!/bin/bash
# The installer goes only where its uninstaller can remove it from. In
# /Silent, with the folder of a previous installation's entry: a drive
# root, Program Files, the desktop, documents, ProgramData and the public
# desktop are refused with exit code 4 and a message naming the folder, as
# is a relative folder ("Hello", "D:Apps\Hello"); nothing is installed
# there and the entry is not rewritten. A folder spelled with ".", "/" and
# doubled backslashes is installed into its one plain form, stored so in
# "InstallLocation", and Uninstall.exe /SILENT removes the product with its
# entry (exit 0).
. "$(dirname "$0")/harness.sh"
. "$(dirname "$0")/product.sh"
wh_init

guid='{6C1B7E2A-0D55-4E0C-9A51-3F1B2C3D4E31}'
base="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
entry="$base\\$guid"
wh_on_exit wh_reg_delete "$entry"
wh_on_exit wh_reg_delete 'HKLM\Software\Probe Works'
P_GUID=$guid P_NO_RUNS=1 P_NO_UNINSTALLER=1 PROBE_EXE=$WH_BIN/probe.exe make_product "$WH_WORK/p"
wh_build_setup "$WH_WORK/p/product.xml" "$WH_WORK/ProbeSetup.exe"

# install FOLDER EXPECTED-CODE: /Silent with FOLDER as the previous
# installation's folder; standard error in err.txt.
install() {
  wh_reg_add "$entry" InstallLocation REG_SZ "$1"
  local rc=0
  LANG=en_GB.UTF-8 LC_ALL=en_GB.UTF-8 wh_wine "$WH_WORK/ProbeSetup.exe" /Silent \
    >"$WH_WORK/out.txt" 2>"$WH_WORK/err.txt" || rc=$?
  wh_assert_eq "$2" "$rc" "exit code for \"$1\" (stderr: $(head -c 400 "$WH_WORK/err.txt"))"
}

folder_of() { wh_folder "$1" | tr -d '\r'; }
pf=$(folder_of ProgramFiles)
for folder in 'C:\' 'c:\\' "$pf" "$pf\\" "$(folder_of Desktop)" "$(folder_of Documents)" "$(folder_of CommonAppData)" \
  "$(folder_of CommonDesktop)" "$(folder_of Windows)/"; do
  install "$folder" 4
  # Named in its plain spelling: "\" for "/", one trailing backslash.
  plain=$(printf '%s' "$folder" | sed 's#/#\\#g; s#\\*$#\\#')
  grep -qiF "Cannot install into $plain: " "$WH_WORK/err.txt" ||
    wh_fail "the refusal of $folder does not name it as $plain: $(cat "$WH_WORK/err.txt")"
  unix=$(wh_unixpath "$folder")
  [[ ! -e $unix/app.exe && ! -e $unix/Uninstall.da1 ]] || wh_fail "something was installed into $folder"
  wh_assert_eq "REG_SZ $folder" "$(wh_reg_value "$entry" InstallLocation)" "the entry after refusing $folder"
done
for folder in 'Hello' 'D:Apps\Hello' '\Apps\Hello'; do
  install "$folder" 4
  grep -qF "The destination directory $folder is not a full path" "$WH_WORK/err.txt" ||
    wh_fail "the refusal of the relative $folder is wrong: $(cat "$WH_WORK/err.txt")"
done
[[ -z $(find "$WH_WORK" -name app.exe -not -path "$WH_WORK/p/*") ]] || wh_fail "a refused run installed something"

# One plain spelling of a dotted, mixed and doubled folder.
mkdir -p "$WH_WORK/Apps"
work_win=$(wh_winpath "$WH_WORK")
install "$work_win\\Apps\\.\\Sub\\..\\Hello//\\\\" 0
[[ -f $WH_WORK/Apps/Hello/app.exe && -f $WH_WORK/Apps/Hello/Uninstall.exe ]] ||
  wh_fail "nothing was installed into Apps\\Hello: $(ls -R "$WH_WORK/Apps")"
[[ ! -e $WH_WORK/Apps/Sub ]] || wh_fail "the folder named only to be left by \"..\" was made"
wh_assert_eq "REG_SZ $work_win\\Apps\\Hello\\" "$(wh_reg_value "$entry" InstallLocation)" "InstallLocation"
wh_assert_eq "REG_SZ \"$work_win\\Apps\\Hello\\Uninstall.exe\" /SILENT" \
  "$(wh_reg_value "$entry" QuietUninstallString)" "QuietUninstallString"
rc=0
wh_wine "$WH_WORK/Apps/Hello/Uninstall.exe" /SILENT >"$WH_WORK/out.txt" 2>"$WH_WORK/err.txt" || rc=$?
wh_assert_eq 0 "$rc" "exit code of Uninstall.exe (stderr: $(head -c 400 "$WH_WORK/err.txt"))"
! wh_reg_query "$entry" >/dev/null 2>&1 || wh_fail "the uninstall entry stayed behind"
for _ in $(seq 50); do [[ -d $WH_WORK/Apps/Hello ]] || break; sleep 0.1; done
[[ ! -d $WH_WORK/Apps/Hello ]] || wh_fail "the product's folder stayed: $(ls -A "$WH_WORK/Apps/Hello")"
