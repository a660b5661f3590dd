#!/bin/bash
# /Dir= beside a mode, as deployment tools pass it: /Silent /Dir=PATH
# installs there and registers that folder, over a previous installation's
# folder; the other order does the same; a folder that cannot be made ends
# with 4 and its message; alone it fills the destination field of the
# window; an unknown argument beside /Silent still opens the window.
. "$(dirname "$0")/harness.sh"
. "$(dirname "$0")/product.sh"
wh_init

guid='{6C1B7E2A-0D55-4E0C-9A51-3F1B2C3D4E0A}'
key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$guid"
wh_on_exit wh_reg_delete "$key"
wh_on_exit wh_reg_delete 'HKLM\Software\Probe Works'
P_GUID=$guid P_TITLES="探针产品||" P_NO_RUNS=1 PROBE_EXE=$WH_BIN/probe.exe make_product "$WH_WORK/p"
wh_build_setup "$WH_WORK/p/product.xml" "$WH_WORK/ProbeSetup.exe"

previous="$WH_WORK/Previous Place"
chosen="$WH_WORK/Chosen Place/Probe"
chosen_win=$(wh_winpath "$chosen")
mkdir -p "$previous"
wh_reg_add "$key" InstallLocation REG_SZ "$(wh_winpath "$previous")\\"

setup() {  # EXPECTED_CODE WHAT ARGS...
  local code=$1 what=$2 rc=0
  shift 2
  wh_wine "$WH_WORK/ProbeSetup.exe" "$@" >"$WH_WORK/out.txt" 2>"$WH_WORK/err.txt" || rc=$?
  wh_assert_eq "$code" "$rc" "exit code: $what (stderr: $(head -c 300 "$WH_WORK/err.txt"))"
}
installed_in() {  # FOLDER WHAT
  [[ -f $1/app.exe && -f $1/Uninstall.da1 ]] || wh_fail "$2: nothing was installed into $1"
  wh_assert_eq "REG_SZ $(wh_winpath "$1")\\" "$(wh_reg_value "$key" InstallLocation)" "$2: the registered folder"
  [[ -z $(ls -A "$previous") ]] || wh_fail "$2: the previous installation's folder got files: $(ls "$previous")"
}

# The mode first, then the folder, with blanks in it (one argument).
setup 0 "/Silent /Dir=" /Silent "/Dir=$chosen_win"
installed_in "$chosen" "/Silent /Dir="
# (The test product's Uninstall.exe is a probe: the folder goes by hand.)
rm -rf "$WH_WORK/Chosen Place"

# The other order, the switch in other case, the folder quoted inside the
# argument as an administrator types it on a command line.
wh_reg_add "$key" InstallLocation REG_SZ "$(wh_winpath "$previous")\\"
setup 0 "/DIR=\"...\" /silent" "/DIR=\"$chosen_win\"" /silent
installed_in "$chosen" "/DIR=\"...\" /silent"

# A folder that cannot be made: 4, and the message on standard error
# (Chinese, the product's one language, which the test console's code
# page turns into question marks: the folder it names is checked).
setup 4 "/Silent /Dir= with a folder that cannot be made" /Silent '/Dir=C:\bad<name>\x'
grep -qF 'C:\bad<name>\x\' "$WH_WORK/err.txt" ||
  wh_fail "the destination message is not on standard error: $(cat "$WH_WORK/err.txt")"
# An empty one is refused as an empty field is.
setup 4 "/Silent /Dir= with nothing after it" /Silent '/Dir='

# A product in one language asks for none: the window comes first.
title="探针产品 安装程序"
# Alone, the folder fills the window's destination field; closing leaves
# with 2.
pid=$(wh_run_bg "$WH_WORK/ProbeSetup.exe" '/Dir=D:\Apps\Probe')
wh_windriver wait "$title" >/dev/null || wh_fail "/Dir= alone opened no window"
field=$(wh_windriver dump "$title" | tr -d '\r' | awk -F'|' '$6 == "edtDestDir" { print $2 }')
wh_assert_eq 'D:\Apps\Probe' "$field" "the destination field after /Dir= alone"
wh_windriver close "$title" >/dev/null
rc=0
wh_bg_wait "$pid" 30 || rc=$?
wh_assert_eq 2 "$rc" "exit code after closing the window of /Dir= alone"

# An argument the installer does not know, beside /Silent: the window, as
# before there were switches to stand beside a mode.
pid=$(wh_run_bg "$WH_WORK/ProbeSetup.exe" /Silent /Bogus)
wh_windriver wait "$title" >/dev/null || wh_fail "/Silent /Bogus did not open the window"
wh_windriver close "$title" >/dev/null
rc=0
wh_bg_wait "$pid" 30 || rc=$?
wh_assert_eq 2 "$rc" "exit code after closing the window of /Silent /Bogus"
echo "PASS: /Dir= beside /Silent in both orders, refused folders, /Dir= alone, /Silent /Bogus"
