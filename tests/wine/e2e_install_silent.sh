#!/bin/bash
# /Silent installs the test product and the example: every file with its
# time, the registry values, both shortcuts, the uninstall entry with its
# nineteen values, both data files decoded back, the programs run after
# installation (waited ones during the sequence, the others at the end),
# exit code 0 and not one window of the installer on the screen.
. "$(dirname "$0")/harness.sh"
. "$(dirname "$0")/product.sh"
wh_init

guid='{6C1B7E2A-0D55-4E0C-9A51-3F1B2C3D4E01}'
P_GUID=$guid PROBE_EXE=$WH_BIN/probe.exe make_product "$WH_WORK/p"
wh_build_setup "$WH_WORK/p/product.xml" "$WH_WORK/ProbeSetup.exe"
uninstall_key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$guid"
wh_on_exit wh_reg_delete "$uninstall_key"
wh_on_exit wh_reg_delete 'HKLM\Software\Probe Works'
wh_reg_delete "$uninstall_key"

log="$WH_WORK/probe.log"
export PROBE_LOG=$(wh_winpath "$log") PROBE_WINDOWS=1
rc=0
wh_wine "$WH_WORK/ProbeSetup.exe" /SILENT >"$WH_WORK/out.txt" 2>"$WH_WORK/err.txt" || rc=$?
wh_assert_eq 0 "$rc" "exit code of ProbeSetup.exe /SILENT (stderr: $(head -c 500 "$WH_WORK/err.txt"))"

# The product's folder: the expanded default, {pf}\{AppTitle} in English
# (the system speaks English, which the product offers).
app_win="$(wh_program_files)\\Probe Product"
app=$(wh_unixpath "$app_win")
[[ -d $app ]] || wh_fail "no product folder $app_win"
# A 32-bit setup (the default) on 64-bit Windows lands in Program Files
# (x86) and the 32-bit registry view; a 64-bit one (--arch x64) in Program
# Files and the 64-bit view, where 64-bit programs look.
if [[ $(wh__pe_machine "$WH_WORK/ProbeSetup.exe") == x64 ]]; then
  wh_assert_eq 'C:\Program Files\Probe Product' "$app_win" "the 64-bit product's folder"
  wh__sys reg query "$uninstall_key" /reg:64 >/dev/null 2>&1 || wh_fail "the 64-bit product's entry is not in the 64-bit view"
  ! wh__sys reg query "$uninstall_key" /reg:32 >/dev/null 2>&1 || wh_fail "the 64-bit product's entry is in the 32-bit view"
else
  wh_assert_eq 'C:\Program Files (x86)\Probe Product' "$app_win" "the 32-bit product's folder"
  ! wh__sys reg query "$uninstall_key" /reg:64 >/dev/null 2>&1 || wh_fail "the 32-bit product's entry is in the 64-bit view"
fi
for f in app.exe Uninstall.exe bin/helper-renamed.exe empty.txt data/readme.txt data/sub/nested.dat \
         Uninstall.da1 Uninstall.da2; do
  [[ -f $app/$f ]] || wh_fail "$f was not installed"
done
cmp -s "$WH_WORK/p/files/data/sub/nested.dat" "$app/data/sub/nested.dat" || wh_fail "nested.dat differs from the product's"
cmp -s "$WH_BIN/probe.exe" "$app/bin/helper-renamed.exe" || wh_fail "helper-renamed.exe differs"
[[ ! -s $app/empty.txt ]] || wh_fail "empty.txt is not empty"
# The script's times, as the publisher's files had them (local time).
wh_assert_eq "2021-06-15 08:30:00" "$(wh_filetime_of "$app_win\\data\\readme.txt")" "time of readme.txt"
wh_assert_eq "2020-01-02 03:04:05" "$(wh_filetime_of "$app_win\\data\\sub\\nested.dat")" "time of nested.dat"

# Registry values: strings expanded, "$10" is 16, "-1" all bits, the key
# named with a leading backslash and the title, the default value.
wh_assert_eq "REG_SZ $app_win\\" "$(wh_reg_value 'HKLM\Software\Probe Works\Probe Product' InstallDir)" InstallDir
wh_assert_eq "REG_DWORD 16" "$(wh_reg_value 'HKLM\Software\Probe Works\Probe Product' Sixteen)" Sixteen
wh_assert_eq "REG_DWORD 4294967295" "$(wh_reg_value 'HKLM\Software\Probe Works\Probe Product' AllBits)" AllBits
wh_assert_eq "REG_SZ default of Probe Product" "$(wh_reg_value 'HKCU\Software\Probe Works\Probe Product' '')" \
  "default value"

# The uninstall entry: every value, its type, its order of meaning.
entry() { wh_reg_value "$uninstall_key" "$1"; }
wh_assert_eq "REG_SZ Probe Product Version 2.5.1.300" "$(entry DisplayName)" DisplayName
wh_assert_eq "REG_SZ 2.5.1.300" "$(entry DisplayVersion)" DisplayVersion
size=$(( ($(stat -c %s "$WH_BIN/probe.exe") * 3 + 22 + 70000) / 1024 ))
wh_assert_eq "REG_DWORD $size" "$(entry EstimatedSize)" EstimatedSize
wh_assert_eq "REG_SZ https://probe.example.com/" "$(entry HelpLink)" HelpLink
wh_assert_eq "REG_SZ $(date +%Y%m%d)" "$(entry InstallDate)" InstallDate
wh_assert_eq "REG_SZ $app_win\\" "$(entry InstallLocation)" InstallLocation
wh_assert_eq "REG_SZ ENG" "$(entry InstallLanguage)" InstallLanguage
[[ $(entry InstallDateTime) =~ ^REG_BINARY\ [0-9a-f]{16}$ ]] || wh_fail "InstallDateTime: $(entry InstallDateTime)"
for v in MajorVersion VersionMajor; do wh_assert_eq "REG_DWORD 2" "$(entry $v)" $v; done
for v in MinorVersion VersionMinor; do wh_assert_eq "REG_DWORD 5" "$(entry $v)" $v; done
for v in NoModify NoRepair; do wh_assert_eq "REG_DWORD 1" "$(entry $v)" $v; done
wh_assert_eq "REG_SZ Probe Works" "$(entry Publisher)" Publisher
wh_assert_eq "REG_SZ \"$app_win\\Uninstall.exe\" /SILENT" "$(entry QuietUninstallString)" QuietUninstallString
wh_assert_eq "REG_SZ \"$app_win\\Uninstall.exe\"" "$(entry UninstallString)" UninstallString
for v in URLInfoAbout URLUpdateInfo; do wh_assert_eq "REG_SZ https://probe.example.com/" "$(entry $v)" $v; done

# The data files decode back to the script and the product picture.
wh_setupkit decode "$app/Uninstall.da1" "$WH_WORK/da1.xml" >/dev/null || wh_fail "Uninstall.da1 does not decode"
grep -q "GUID=\"$guid\"" "$WH_WORK/da1.xml" || wh_fail "Uninstall.da1 is not the product's script"
grep -q 'SourceMask="nested.dat"' "$WH_WORK/da1.xml" || wh_fail "Uninstall.da1 lacks the file list"
wh_setupkit decode "$app/Uninstall.da2" "$WH_WORK/da2.png" >/dev/null || wh_fail "Uninstall.da2 does not decode"
cmp -s "$WH_WORK/p/product.png" "$WH_WORK/da2.png" || wh_fail "Uninstall.da2 is not the product picture"

# Shortcuts in the program group (made on this fresh system) and on the
# desktop, with their targets and working folders.
group_link="$(wh_common_programs)\\Probe Product\\Probe Product.lnk"
lnk=$(wh_tool lnkinfo "$group_link" | tr -d '\r') || wh_fail "no shortcut $group_link"
grep -qxF "target=$app_win\\app.exe" <<<"$lnk" || wh_fail "group shortcut target: $lnk"
grep -qxF "workdir=$app_win\\data" <<<"$lnk" || wh_fail "group shortcut working folder: $lnk"
desk_link="$(wh_desktop)\\Probe Product on the desktop.lnk"
lnk=$(wh_tool lnkinfo "$desk_link" | tr -d '\r') || wh_fail "no shortcut $desk_link"
grep -qxF "workdir=$app_win\\" <<<"$lnk" || wh_fail "desktop shortcut working folder: $lnk"

# Programs: the waited one ran in its folder with the quoted name and its
# parameters; the other started after it. While the waited one ran, no
# window of the installer was on the screen.
grep -c . "$log" | grep -qx 2 || wh_fail "expected two program starts, the log holds: $(cat "$log")"
first=$(sed -n 1p "$log" | tr -d '\r')
[[ $first == *"|cwd=$app_win\\data|"* ]] || wh_fail "waited program's folder: $first"
[[ $first == *"|cmdline=\"$app_win\\app.exe\" waited \"$app_win\\\""* ]] || wh_fail "waited program's command line: $first"
[[ $first == *"|windows="* ]] || wh_fail "the probe did not list the windows on the screen: $first"
windows=${first#*|windows=}
windows=${windows%%|cmdline=*}
IFS=';' read -r -a titles <<<"$windows"
for title in "${titles[@]}"; do
  # The waited program's own console window (it is started with a new
  # console) carries the program's path, and is no window of the installer.
  [[ $title != "$app_win\app.exe" ]] || continue
  [[ $title != *"Probe Product"* ]] || wh_fail "a window of the installer was visible while it ran a program: $windows"
done
second=$(sed -n 2p "$log" | tr -d '\r')
[[ $second == *"|cmdline=\"$app_win\\app.exe\" nowait"* || $second == *"|cmdline=\"$app_win\\app.exe\"  nowait"* ]] ||
  wh_fail "program started at the end: $second"

# The example product, as the README's main job packs it.
hello_guid='{94D44A92-0BE3-4701-9588-FAAD61DB7B0B}'
wh_on_exit wh_reg_delete "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$hello_guid"
wh_on_exit wh_reg_delete 'HKLM\Software\Hello Software'
cp -r "$WH_ROOT/examples/hello" "$WH_WORK/hello"
wh_build_setup "$WH_WORK/hello/hello.xml" "$WH_WORK/HelloSetup.exe"
rc=0
wh_wine "$WH_WORK/HelloSetup.exe" /Silent >/dev/null 2>"$WH_WORK/err.txt" || rc=$?
wh_assert_eq 0 "$rc" "exit code of HelloSetup.exe /Silent (stderr: $(head -c 300 "$WH_WORK/err.txt"))"
hello=$(wh_unixpath "$(wh_program_files)\\Hello")
for f in README.txt hello.ini docs/CHANGES.txt; do
  cmp -s "$WH_ROOT/examples/hello/files/$f" "$hello/$f" || wh_fail "the example's $f was not installed as packed"
done
wh_assert_eq "REG_SZ Hello Version 1.0.0.0" \
  "$(wh_reg_value "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$hello_guid" DisplayName)" \
  "the example's DisplayName"
for link in "$(wh_common_programs)\\Hello\\Hello README.lnk" "$(wh_desktop)\\Hello README.lnk"; do
  wh_tool lnkinfo "$link" | tr -d '\r' | grep -qxF "target=$(wh_program_files)\\Hello\\README.txt" ||
    wh_fail "the example's shortcut $link is missing or wrong"
done
