#!/bin/bash
# What the uninstaller refuses, and its exit codes in /SILENT: missing,
# undecodable or foreign uninstall data (1, the file named); its own folder
# a drive root, the Windows folder, Program Files, the user's profile, the
# folder of all profiles, the desktop, documents or ProgramData (1); in
# each case nothing removed and nothing run. A path with "." or ".." or an
# unknown placeholder in the data is not followed but listed (4), and the
# uninstaller, its data and the entry stay; an entry that names another
# folder is not removed. A file in use, or an Uninstall.da1 that cannot be
# deleted, stays and is named (4), with the uninstaller, the data and the
# entry, so that a second run finishes. A folder of the product that is
# a link is removed as a link; nothing behind it is deleted.
. "$(dirname "$0")/harness.sh"
wh_init

cp "$WH_BIN/probe.exe" "$WH_WORK/runner.exe"
runner=$(wh_winpath "$WH_WORK/runner.exe")
log="$WH_WORK/probe.log"
export PROBE_LOG=$(wh_winpath "$log")

# A plain uninstall script: one uninstall program, the files given as
# "DestDir|name" arguments.
script() {
  local guid=$1 files="" f
  shift
  for f in "$@"; do
    files+="<TSetupFile Checked=\"True\" Condition=\"\" DestDir=\"${f%%|*}\" FileBytes=\"0\" IncludeSubPath=\"False\" LastWriteDate=\"0\" ResID=\"\" SourceMask=\"${f#*|}\" SourcePath=\"\" NewFileName=\"\"/>"
  done
  cat <<XML
<?xml version="1.0" encoding="utf-8"?>
<TSetupScript>
  <BaseInfo AppTitleENG="Refusal Probe" GUID="$guid" Version="1.0"/>
  <FileList><Items>$files</Items></FileList>
  <UninstallRunList><Items><TUninstallRun FileName="$runner" Params="ran" WaitType="urwWaitClose"/></Items></UninstallRunList>
</TSetupScript>
XML
}

# uninstall DIR EXPECTED-CODE WHAT: runs DIR/Uninstall.exe /SILENT.
uninstall() {
  local rc=0
  wh_wine "$1/Uninstall.exe" /SILENT >"$WH_WORK/out.txt" 2>"$WH_WORK/err.txt" || rc=$?
  wh_assert_eq "$2" "$rc" "exit code $3 (stderr: $(head -c 400 "$WH_WORK/err.txt"))"
}

nothing_ran() { [[ ! -s $log ]] || wh_fail "$1: an uninstall program ran: $(cat "$log")"; }

# Bad data, in a folder of its own: the data file's path is named, and the
# product's file and the uninstaller stay.
dir="$WH_WORK/bad"
mkdir -p "$dir"
cp "$WH_BIN/Uninstall.exe" "$dir/"
: >"$dir/product.txt"
dir_win=$(wh_winpath "$dir")
uninstall "$dir" 1 "without Uninstall.da1"
grep -qF "$dir_win\\Uninstall.da1" "$WH_WORK/err.txt" || wh_fail "the missing data file is not named: $(cat "$WH_WORK/err.txt")"
# The same without any display (Wine then makes no window at all): the
# refusal still reaches standard error.
rc=0
(unset DISPLAY; wh_wine "$dir/Uninstall.exe" /SILENT) >"$WH_WORK/out.txt" 2>"$WH_WORK/err.txt" || rc=$?
wh_assert_eq 1 "$rc" "exit code without Uninstall.da1 and without a display"
grep -qF "$dir_win\Uninstall.da1" "$WH_WORK/err.txt" ||
  wh_fail "without a display the missing data file is not named: $(cat "$WH_WORK/err.txt")"
head -c 3000 /dev/urandom >"$dir/Uninstall.da1"
uninstall "$dir" 1 "with undecodable data"
grep -qF "$dir_win\\Uninstall.da1" "$WH_WORK/err.txt" || wh_fail "the undecodable file is not named: $(cat "$WH_WORK/err.txt")"
printf '<?xml version="1.0"?>\r\n<TFileDataList><Items/></TFileDataList>\r\n' >"$dir/Uninstall.da1"
uninstall "$dir" 1 "with a document that is no setup script"
# An empty GUID would name the whole list of installed programs.
script "" "{app}|product.txt" >"$dir/Uninstall.da1"
uninstall "$dir" 1 "with an empty GUID"
[[ -f $dir/product.txt && -f $dir/Uninstall.exe && -f $dir/Uninstall.da1 ]] || wh_fail "bad data removed something"
nothing_ran "bad data"

# Folders that hold far more than one product.
profile_win=$(wh_desktop)
profile_win=${profile_win%\\*}
for folder_win in 'C:\' "$(wh_folder Windows)" "$(wh_program_files)" "$profile_win" "${profile_win%\*}" \
  "$(wh_desktop)" "$(wh_folder Documents | tr -d '\r')" "$(wh_folder CommonAppData | tr -d '\r')"; do
  folder=$(wh_unixpath "$folder_win")
  [[ -d $folder ]] || wh_fail "no folder $folder_win"
  wh_on_exit rm -f "$folder/Uninstall.exe" "$folder/Uninstall.da1" "$folder/refusal-victim.txt"
  cp "$WH_BIN/Uninstall.exe" "$folder/"
  : >"$folder/refusal-victim.txt"
  script '{6C1B7E2A-0D55-4E0C-9A51-3F1B2C3D4E21}' "{app}|refusal-victim.txt" >"$folder/Uninstall.da1"
  uninstall "$folder" 1 "in $folder_win"
  [[ -f $folder/refusal-victim.txt && -f $folder/Uninstall.exe ]] || wh_fail "the uninstaller in $folder_win removed something"
  grep -qiF "${folder_win%\\}" "$WH_WORK/err.txt" || wh_fail "the refusal in $folder_win does not name it: $(cat "$WH_WORK/err.txt")"
  rm -f "$folder/Uninstall.exe" "$folder/Uninstall.da1" "$folder/refusal-victim.txt"
done
nothing_ran "refused folders"

# ".", ".." and an unknown placeholder: not followed, but listed, and the
# uninstaller keeps what a second run needs.
entry_of() { echo "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$1"; }
# kept DIR GUID WHAT: the uninstaller, its data and the entry are all there.
kept() {
  sleep 3  # the copy that deletes the uninstaller has had its chance
  [[ -f $1/Uninstall.exe && -f $1/Uninstall.da1 ]] || wh_fail "$3: the uninstaller or its data is gone: $(ls -A "$1")"
  wh_reg_query "$(entry_of "$2")" >/dev/null 2>&1 || wh_fail "$3: the uninstall entry is gone"
}
dir="$WH_WORK/up/product"
mkdir -p "$dir"
cp "$WH_BIN/Uninstall.exe" "$dir/"
: >"$dir/inside.txt"
: >"$WH_WORK/up/outside.txt"
guid='{6C1B7E2A-0D55-4E0C-9A51-3F1B2C3D4E22}'
wh_on_exit wh_reg_delete "$(entry_of "$guid")"
wh_reg_add "$(entry_of "$guid")" InstallLocation REG_SZ "$(wh_winpath "$dir")\\"
script "$guid" "{app}|inside.txt" "{app}..|outside.txt" "{app}sub\\..\\..|outside.txt" "{app}.|dotted.txt" \
  "{nowhere}|placeholder.txt" >"$dir/Uninstall.da1"
uninstall "$dir" 4 "with \".\", \"..\" and an unknown placeholder in the data"
[[ -f $WH_WORK/up/outside.txt ]] || wh_fail "a path with \"..\" was followed"
[[ ! -e $dir/inside.txt ]] || wh_fail "the plain path beside the declined ones was not removed"
for declined in "$(wh_winpath "$dir")\\..\\outside.txt" "\\.\\dotted.txt" "{nowhere}\\placeholder.txt"; do
  grep -qF "$declined (not removed: " "$WH_WORK/err.txt" || wh_fail "$declined is not listed: $(cat "$WH_WORK/err.txt")"
done
kept "$dir" "$guid" "after declining paths"
# Without them the removal finishes; the entry now names another folder
# (installed again elsewhere): it belongs to that installation and stays.
script "$guid" "{app}|inside.txt" >"$dir/Uninstall.da1"
wh_reg_add "$(entry_of "$guid")" InstallLocation REG_SZ 'C:\Elsewhere\'
uninstall "$dir" 0 "once the data names only plain paths"
wh_assert_eq 'REG_SZ C:\Elsewhere\' "$(wh_reg_value "$(entry_of "$guid")" InstallLocation)" "the entry of the other installation"
for _ in $(seq 50); do [[ -d $dir ]] || break; sleep 0.1; done
[[ ! -d $dir ]] || wh_fail "the product's folder stayed: $(ls -A "$dir")"

# An Uninstall.da1 that cannot be deleted (another program reads it): it
# is named, and nothing that a second run needs goes.
dir="$WH_WORK/data-held"
mkdir -p "$dir"
cp "$WH_BIN/Uninstall.exe" "$dir/"
: >"$dir/free.txt"
guid='{6C1B7E2A-0D55-4E0C-9A51-3F1B2C3D4E24}'
wh_on_exit wh_reg_delete "$(entry_of "$guid")"
wh_reg_add "$(entry_of "$guid")" InstallLocation REG_SZ "$(wh_winpath "$dir")\\"
script "$guid" "{app}|free.txt" >"$dir/Uninstall.da1"
rm -f "$WH_WORK/release-data"
holder=$(wh_run_bg "$WH_BIN/holder.exe" --share-read "$(wh_winpath "$dir/Uninstall.da1")" "$(wh_winpath "$WH_WORK/release-data")")
wh_wait_for_line "$(wh_bg_log "$holder")" holding
uninstall "$dir" 4 "with Uninstall.da1 held open"
grep -qF "$(wh_winpath "$dir")\\Uninstall.da1" "$WH_WORK/err.txt" || wh_fail "the held data is not named: $(cat "$WH_WORK/err.txt")"
[[ ! -e $dir/free.txt ]] || wh_fail "the product's file was not removed"
kept "$dir" "$guid" "with Uninstall.da1 held open"
touch "$WH_WORK/release-data"
wh_bg_wait "$holder" 20 || wh_fail "the holder did not end"
uninstall "$dir" 0 "once Uninstall.da1 is free"
left=$(wh_reg_query "$(entry_of "$guid")" 2>&1) &&
  wh_fail "the second run left the entry: $left (stderr: $(cat "$WH_WORK/err.txt"))"
for _ in $(seq 50); do [[ -d $dir ]] || break; sleep 0.1; done
[[ ! -d $dir ]] || wh_fail "the second run left: $(ls -A "$dir")"

# A file in use stays, is named, and keeps the uninstaller for another run.
dir="$WH_WORK/held"
mkdir -p "$dir"
cp "$WH_BIN/Uninstall.exe" "$dir/"
: >"$dir/free.txt"
: >"$dir/held.txt"
script '{6C1B7E2A-0D55-4E0C-9A51-3F1B2C3D4E23}' "{app}|free.txt" "{app}|held.txt" >"$dir/Uninstall.da1"
holder=$(wh_run_bg "$WH_BIN/holder.exe" "$(wh_winpath "$dir/held.txt")" "$(wh_winpath "$WH_WORK/release")")
wh_wait_for_line "$(wh_bg_log "$holder")" holding
uninstall "$dir" 4 "with a file in use"
grep -qF "$(wh_winpath "$dir")\\held.txt" "$WH_WORK/err.txt" || wh_fail "the file in use is not named: $(cat "$WH_WORK/err.txt")"
[[ ! -e $dir/free.txt ]] || wh_fail "the free file was not removed"
[[ -f $dir/held.txt && -f $dir/Uninstall.exe && -f $dir/Uninstall.da1 ]] ||
  wh_fail "after a failed removal the uninstaller or its data is gone: $(ls -A "$dir")"
touch "$WH_WORK/release"
wh_bg_wait "$holder" 20 || wh_fail "the holder did not end"
uninstall "$dir" 0 "once the file is free"
for _ in $(seq 50); do [[ -d $dir ]] || break; sleep 0.1; done
[[ ! -d $dir ]] || wh_fail "the second run left: $(ls -A "$dir")"

# A folder of the product that is now a link (a junction planted as
# {app}\bin) leads out of the product's folder: the uninstaller removes the
# link and never deletes what lies behind it, however it is named.
dir="$WH_WORK/linked"
victim="$WH_WORK/victim"
mkdir -p "$dir" "$victim/deeper"
cp "$WH_BIN/Uninstall.exe" "$dir/"
: >"$dir/own.txt"
echo precious >"$victim/helper.dll"
echo precious >"$victim/deeper/data.txt"
ln -s "$victim" "$dir/bin"
script '{6C1B7E2A-0D55-4E0C-9A51-3F1B2C3D4E24}' "{app}|own.txt" "{app}bin|helper.dll" "{app}bin\\deeper|data.txt" \
  >"$dir/Uninstall.da1"
# Wine removes no link (its RemoveDirectoryW and DeleteFileW refuse one):
# there the link is named as left over, once, with exit 4.
rc=0
wh_wine "$dir/Uninstall.exe" /SILENT >"$WH_WORK/out.txt" 2>"$WH_WORK/err.txt" || rc=$?
if [[ $rc == 4 ]]; then
  wh_assert_eq 1 "$(grep -cF "$(wh_winpath "$dir")\bin (" "$WH_WORK/err.txt")" "times the link is named as left over"
  rm "$dir/bin"
else
  wh_assert_eq 0 "$rc" "exit code with {app}\\bin a link to another folder (stderr: $(head -c 400 "$WH_WORK/err.txt"))"
fi
[[ -f $victim/helper.dll && -f $victim/deeper/data.txt ]] ||
  wh_fail "the uninstaller deleted through the link: $(cd "$victim" && find . -type f)"
[[ ! -e $dir/own.txt ]] || wh_fail "the product's own file was not removed"
for _ in $(seq 50); do [[ -d $dir ]] || break; sleep 0.1; done
[[ ! -e $dir/bin && ! -L $dir/bin ]] || wh_fail "the link stayed in the product's folder"
