#!/bin/bash
# The interactive installer as a person meets it: a product with only a
# Simplified Chinese title asks no language and speaks Chinese; the start
# page shows title, version, destination and license; a destination that
# cannot be created, a drive root and a relative folder are refused with
# their messages and the start page stays; Browse... to a drive root gives
# the product's folder there; Install with a good one reaches the
# completion page; closing the start page leaves with exit code 2,
# cancelling the language dialog too.
. "$(dirname "$0")/harness.sh"
. "$(dirname "$0")/product.sh"
wh_init

guid='{6C1B7E2A-0D55-4E0C-9A51-3F1B2C3D4E04}'
base="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
wh_on_exit wh_reg_delete "$base\\$guid"
wh_on_exit wh_reg_delete 'HKLM\Software\Probe Works'
P_GUID=$guid P_TITLES="探针产品||" P_NO_RUNS=1 PROBE_EXE=$WH_BIN/probe.exe make_product "$WH_WORK/p"
wh_build_setup "$WH_WORK/p/product.xml" "$WH_WORK/ProbeSetup.exe"
title="探针产品 安装程序"
app="$WH_WORK/探针 folder"
app_win=$(wh_winpath "$app")
wh_reg_delete "$base\\$guid"

# The start page, in Chinese, without a language dialog.
setup=$(wh_run_bg "$WH_WORK/ProbeSetup.exe")
wh_windriver wait "$title" >/dev/null || wh_fail "the main window did not appear"
text=$(wh_windriver text "$title" | tr -d '\r')
for want in "探针产品" "版本：2.5.1.300" "安装目录：" "浏览..." "同意" "用户许可协议" "立即安装"; do
  grep -qxF "$want" <<<"$text" || wh_fail "the start page lacks \"$want\": $text"
done
wh_windriver dump "$title" | tr -d '\r' >"$WH_WORK/dump.txt"
grep -q '^client=750,480$' "$WH_WORK/dump.txt" || wh_fail "the window is not 750 x 480: $(head -n 5 "$WH_WORK/dump.txt")"
grep -q 'WS_POPUP' "$WH_WORK/dump.txt" || wh_fail "the window has a border or caption"
! grep -q '|Select Language|\|选择语言' <<<"$(wh_windriver list)" || wh_fail "a language dialog was shown"
wh_screenshot install-start-page >/dev/null

# A destination that cannot be created, a drive root and a relative
# folder: each refused with its message, then the start page again with
# the folder still there to correct.
refused() {  # FOLDER MESSAGE
  wh_windriver settext "$title" Edit "$1" >/dev/null
  wh_windriver click "$title" "立即安装" >/dev/null
  box=$(wh_windriver --class '#32770' text "$title" | tr -d '\r') || wh_fail "no message about $1"
  grep -qF "$2" <<<"$box" || wh_fail "wrong message for $1: $box"
  wh_windriver --class '#32770' key "$title" Enter >/dev/null
  wh_windriver --class '#32770' gone "$title" >/dev/null
  text=$(wh_windriver text "$title" | tr -d '\r')
  grep -qxF "立即安装" <<<"$text" || wh_fail "the start page did not stay after refusing $1: $text"
}
refused 'C:\bad<name>\x' '创建安装目录失败：C:\bad<name>\x\，请重新输入。'
refused 'C:\' '不能安装到 C:\：该文件夹属于系统或由许多程序共用'
refused 'Hello' '安装目录 Hello 不是完整路径'
[[ ! -e $(wh_unixpath 'C:\')/app.exe ]] || wh_fail "something was installed into C:\"

# Browse... from the drive root, answered with OK: the product's own
# folder there, named after the default destination's last part.
wh_windriver settext "$title" Edit 'C:\' >/dev/null
wh_windriver click "$title" @btnDestDir >/dev/null
wh_windriver --class '#32770' --title-contains wait "" >/dev/null || wh_fail "Browse opened no folder browser"
sleep 3  # the browser selects the start folder once its tree is filled
wh_windriver --class '#32770' --title-contains key "" Enter >/dev/null
wh_windriver --class '#32770' --title-contains gone "" >/dev/null || wh_fail "the folder browser did not close"
field=$(wh_windriver dump "$title" | tr -d '\r' | awk -F'|' '$6 == "edtDestDir" { print $2 }')
wh_assert_eq 'C:\探针产品\' "$field" "the destination after browsing to C:\"

# A good folder: the installation runs to the completion page.
wh_windriver settext "$title" Edit "$app_win" >/dev/null
wh_windriver click "$title" "立即安装" >/dev/null
for _ in $(seq 100); do
  text=$(wh_windriver text "$title" | tr -d '\r')
  # The page is complete once its button shows too.
  grep -qxF "安装完成" <<<"$text" && grep -qxF "退出" <<<"$text" && break
  sleep 0.2
done
grep -qxF "安装完成" <<<"$text" || wh_fail "no completion page: $text"
grep -qxF "退出" <<<"$text" || wh_fail "the completion button does not read 退出 (no program to start): $text"
wh_screenshot install-completion-page >/dev/null
[[ -f $app/data/sub/nested.dat ]] || wh_fail "nothing was installed into the folder typed"
wh_windriver click "$title" "退出" >/dev/null
rc=0; wh_bg_wait "$setup" 30 || rc=$?
wh_assert_eq 0 "$rc" "exit code of the completion button"
# The entry's strings are stored in UTF-16: the Chinese title survives
# whatever the system's code page.
wh_assert_eq "REG_SZ 探针产品 版本 2.5.1.300" "$(wh_reg_value "$base\\$guid" DisplayName)" DisplayName
wh_assert_eq "REG_SZ CHS" "$(wh_reg_value "$base\\$guid" InstallLanguage)" InstallLanguage

# Closing the start page: the user left before installing.
wh_reg_delete "$base\\$guid"
setup=$(wh_run_bg "$WH_WORK/ProbeSetup.exe")
wh_windriver wait "$title" >/dev/null
wh_windriver key "$title" Alt+F4 >/dev/null
rc=0; wh_bg_wait "$setup" 30 || rc=$?
wh_assert_eq 2 "$rc" "exit code after closing the start page"

# Three languages: the dialog comes first; Esc cancels it and ends setup.
P_GUID=$guid P_NO_RUNS=1 PROBE_EXE=$WH_BIN/probe.exe make_product "$WH_WORK/p3"
wh_build_setup "$WH_WORK/p3/product.xml" "$WH_WORK/ProbeSetup3.exe"
setup=$(wh_run_bg "$WH_WORK/ProbeSetup3.exe")
wh_windriver wait "Select Language" >/dev/null || wh_fail "no language dialog for a product in three languages"
text=$(wh_windriver dump "Select Language" | tr -d '\r')
grep -q '^ComboBox|English|1|' <<<"$text" || wh_fail "English is not preselected on an English system: $text"
wh_screenshot install-language-dialog >/dev/null
wh_windriver key "Select Language" Esc >/dev/null
rc=0; wh_bg_wait "$setup" 30 || rc=$?
wh_assert_eq 2 "$rc" "exit code after cancelling the language dialog"
